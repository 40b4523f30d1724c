#!/usr/bin/env python3
"""The skin packer's layout and its format check.

  test_skin_files.py PACK_SKIN.py BITMAPS-DIR
"""
import shutil
import struct
import subprocess
import sys
import tempfile
import unittest
from pathlib import Path

PACK = Path(sys.argv[1]).resolve()
BITMAPS = Path(sys.argv[2]).resolve()


def run(*args):
    return subprocess.run([sys.executable, str(PACK), *map(str, args)], capture_output=True, text=True)


class Packing(unittest.TestCase):
    def setUp(self):
        self.dir = Path(tempfile.mkdtemp())

    def tearDown(self):
        shutil.rmtree(self.dir)

    def test_bitmap_rows_are_bgr_bottom_up_and_padded(self):
        # 3 x 2 pixels: 9 bytes a row, padded to 12.
        (self.dir / "in.rgb").write_bytes(bytes(range(1, 19)))
        self.assertEqual(run("bmp", 3, 2, self.dir / "in.rgb", self.dir / "out.bmp").returncode, 0)
        data = (self.dir / "out.bmp").read_bytes()
        self.assertEqual(data[:14], b"BM" + struct.pack("<IHHI", 78, 0, 0, 54))
        self.assertEqual(data[14:54], struct.pack("<IiiHHIIiiII", 40, 3, 2, 1, 24, 0, 24, 0, 0, 0, 0))
        self.assertEqual(data[54:], bytes([12, 11, 10, 15, 14, 13, 18, 17, 16, 0, 0, 0,
                                           3, 2, 1, 6, 5, 4, 9, 8, 7, 0, 0, 0]))

    def test_icon_indices_and_mask_follow_the_alpha(self):
        # Top row transparent; below it the left half red, the right half
        # transparent (its colour, green, must not reach the palette).
        rgb = bytearray()
        alpha = bytearray()
        for y in range(32):
            for x in range(32):
                opaque = y > 0 and x < 16
                rgb += b"\xff\x00\x00" if x < 16 else b"\x00\xff\x00"
                alpha.append(255 if opaque else 0)
        (self.dir / "i.rgb").write_bytes(rgb)
        (self.dir / "i.a").write_bytes(alpha)
        result = run("icon", self.dir / "i.rgb", self.dir / "i.a", self.dir / "i.ico", self.dir / "i.dib")
        self.assertEqual(result.returncode, 0, result.stderr)
        image = (self.dir / "i.dib").read_bytes()
        self.assertEqual(len(image), 2216)
        self.assertEqual((self.dir / "i.ico").read_bytes()[22:], image)
        palette = image[40:40 + 1024]
        self.assertEqual(palette[:8], bytes([0, 0, 0, 0, 0, 0, 255, 0]))  # black, red
        self.assertEqual(palette[8:], bytes(1016))
        xor = image[1064:1064 + 1024]
        mask = image[2088:]
        self.assertEqual(xor[:32], bytes([1] * 16 + [0] * 16))  # bottom row
        self.assertEqual(xor[-32:], bytes(32))  # top row, stored last
        self.assertEqual(mask[:4], b"\x00\x00\xff\xff")
        self.assertEqual(mask[-4:], b"\xff\xff\xff\xff")


class Check(unittest.TestCase):
    def setUp(self):
        self.dir = Path(tempfile.mkdtemp()) / "bitmaps"
        shutil.copytree(BITMAPS, self.dir)

    def tearDown(self):
        shutil.rmtree(self.dir.parent)

    def patch(self, name, offset, fmt, value):
        path = self.dir / name
        data = bytearray(path.read_bytes())
        struct.pack_into(fmt, data, offset, value)
        path.write_bytes(bytes(data))

    def assertRejected(self, name):
        result = run("check", self.dir)
        self.assertEqual(result.returncode, 1)
        self.assertIn(name, result.stderr)

    def test_committed_skin_passes(self):
        result = run("check", BITMAPS)
        self.assertEqual(result.returncode, 0, result.stderr)

    def test_faults_are_rejected(self):
        faults = [
            # (file, offset, format, value): what an image editor might write
            ("bkg.bmp", 14 + 24, "<i", 2835),   # a resolution
            ("thumb.bmp", 14 + 32, "<I", 256),  # a colour table
            ("pitch.bmp", 14 + 8, "<i", -20),   # rows top-down
            ("open.bmp", 14 + 20, "<I", 0),     # image size left out
            ("slibkg.bmp", 14 + 14, "<H", 32),  # 32 bits a pixel
            ("voxotrope.ico", 6 + 4, "<H", 1),  # planes 1 in the entry
        ]
        for name, offset, fmt, value in faults:
            with self.subTest(name=name):
                self.tearDown()
                self.setUp()
                self.patch(name, offset, fmt, value)
                self.assertRejected(name)

    def test_wrong_size_is_rejected(self):
        path = self.dir / "about.bmp"
        path.write_bytes(path.read_bytes()[:-752])
        self.assertRejected("about.bmp")

    def test_icon_image_must_match_the_icon_file(self):
        path = self.dir / "voxotrope-icon.dib"
        data = bytearray(path.read_bytes())
        data[100] ^= 0xFF
        path.write_bytes(bytes(data))
        self.assertRejected("voxotrope-icon.dib")

    def test_missing_and_stray_files_are_rejected(self):
        (self.dir / "am.bmp").unlink()
        (self.dir / "am-old.bmp").write_bytes(b"")
        result = run("check", self.dir)
        self.assertEqual(result.returncode, 1)
        self.assertIn("am.bmp: missing", result.stderr)
        self.assertIn("am-old.bmp", result.stderr)


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1])
