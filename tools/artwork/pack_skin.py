#!/usr/bin/env python3
"""Packs the skin's drawings into the exact files the resource script embeds,
and checks those files.

  pack_skin.py bmp WIDTH HEIGHT RAW-RGB OUT.bmp
      raw 8-bit RGB rows, top row first, into a 24-bit bottom-up BI_RGB file
  pack_skin.py icon RAW-RGB RAW-ALPHA OUT.ico OUT.dib
      a 32 x 32 drawing of at most 256 colours into the icon file and its
      bare image (the bytes of the RT_ICON resource)
  pack_skin.py check DIR
      exits non-zero, naming every fault, unless each file in DIR has its
      fixed size and layout

ImageMagick writes bitmaps with resolution fields, sometimes with a colour
table or a larger header, which is why the files are laid out here by hand.
"""
import struct
import sys
from pathlib import Path

# File, width, height of every bitmap resource.
BITMAPS = [
    ("mainbkg.bmp", 150, 100),
    ("bkg.bmp", 150, 100),
    ("pitch.bmp", 50, 20),
    ("volume.bmp", 50, 20),
    ("triangle.bmp", 50, 20),
    ("am.bmp", 50, 20),
    ("reverse.bmp", 50, 20),
    ("crazy.bmp", 50, 20),
    ("deeper.bmp", 50, 20),
    ("open.bmp", 18, 18),
    ("slibkg.bmp", 10, 45),
    ("thumb.bmp", 10, 9),
    ("about.bmp", 250, 187),
]
ICON_FILE = "voxotrope.ico"
ICON_IMAGE_FILE = "voxotrope-icon.dib"
ICON_SIZE = 32
ICON_IMAGE_BYTES = 40 + 256 * 4 + ICON_SIZE * ICON_SIZE + ICON_SIZE * 4  # 2216

FILE_HEADER = struct.Struct("<2sIHHI")  # BITMAPFILEHEADER, 14 bytes
INFO_HEADER = struct.Struct("<IiiHHIIiiII")  # BITMAPINFOHEADER, 40 bytes
ICON_DIR = struct.Struct("<HHH")
ICON_ENTRY = struct.Struct("<BBBBHHII")


def row_bytes(width, bits):
    return (width * bits + 31) // 32 * 4


def read_exact(path, size):
    data = Path(path).read_bytes()
    if len(data) != size:
        sys.exit(f"{path}: {len(data)} bytes, expected {size}")
    return data


def pack_bmp(width, height, raw_path, out_path):
    raw = read_exact(raw_path, width * height * 3)
    stride = row_bytes(width, 24)
    pixels = bytearray()
    for y in reversed(range(height)):  # bottom row first
        row = raw[y * width * 3:(y + 1) * width * 3]
        for x in range(width):
            r, g, b = row[x * 3:x * 3 + 3]
            pixels += bytes((b, g, r))
        pixels += bytes(stride - width * 3)
    info = INFO_HEADER.pack(40, width, height, 1, 24, 0, len(pixels), 0, 0, 0, 0)
    offset = FILE_HEADER.size + INFO_HEADER.size
    head = FILE_HEADER.pack(b"BM", offset + len(pixels), 0, 0, offset)
    Path(out_path).write_bytes(head + info + pixels)


def pack_icon(rgb_path, alpha_path, ico_path, dib_path):
    n = ICON_SIZE
    rgb = read_exact(rgb_path, n * n * 3)
    alpha = read_exact(alpha_path, n * n)
    colours = [rgb[i * 3:i * 3 + 3] for i in range(n * n)]
    # Index 0 stays black for the transparent pixels: black XOR-ed onto the
    # screen where the mask is set leaves the screen as it was.
    palette = [b"\0\0\0"]
    for i, c in enumerate(colours):
        if alpha[i] >= 128 and c not in palette:
            palette.append(c)
    if len(palette) > 256:
        sys.exit(f"{rgb_path}: {len(palette)} colours, at most 256 fit the icon")
    index = {c: i for i, c in enumerate(palette)}
    table = b"".join(bytes((c[2], c[1], c[0], 0)) for c in palette)
    table += bytes(256 * 4 - len(table))
    xor = bytearray()
    mask = bytearray()
    for y in reversed(range(n)):
        bits = 0
        for x in range(n):
            i = y * n + x
            opaque = alpha[i] >= 128
            xor.append(index[colours[i]] if opaque else 0)
            bits = bits << 1 | (0 if opaque else 1)
        mask += bits.to_bytes(n // 8, "big") + bytes(row_bytes(n, 1) - n // 8)
    image_size = len(xor) + len(mask)
    info = INFO_HEADER.pack(40, n, 2 * n, 1, 8, 0, image_size, 0, 0, 0, 0)
    image = info + table + bytes(xor) + bytes(mask)
    assert len(image) == ICON_IMAGE_BYTES
    head = ICON_DIR.pack(0, 1, 1)
    entry = ICON_ENTRY.pack(n, n, 0, 0, 0, 0, len(image), ICON_DIR.size + ICON_ENTRY.size)
    Path(ico_path).write_bytes(head + entry + image)
    Path(dib_path).write_bytes(image)


def check_bmp(path, width, height):
    faults = []
    data = path.read_bytes()
    image = row_bytes(width, 24) * height
    expected_size = FILE_HEADER.size + INFO_HEADER.size + image
    if len(data) != expected_size:
        return [f"{path.name}: {len(data)} bytes, expected {expected_size}"]
    magic, file_size, _, _, offset = FILE_HEADER.unpack_from(data)
    fields = INFO_HEADER.unpack_from(data, FILE_HEADER.size)
    want = (40, width, height, 1, 24, 0, image, 0, 0, 0, 0)
    names = ("header size", "width", "height", "planes", "bits per pixel", "compression",
             "image size", "x resolution", "y resolution", "colours used", "colours important")
    if magic != b"BM" or file_size != len(data) or offset != FILE_HEADER.size + INFO_HEADER.size:
        faults.append(f"{path.name}: file header {magic!r} {file_size} {offset}")
    for name, got, wanted in zip(names, fields, want):
        if got != wanted:
            faults.append(f"{path.name}: {name} {got}, expected {wanted}")
    return faults


def check_icon(directory):
    ico = directory / ICON_FILE
    dib = directory / ICON_IMAGE_FILE
    faults = []
    data = ico.read_bytes()
    head = ICON_DIR.size + ICON_ENTRY.size
    if len(data) != head + ICON_IMAGE_BYTES:
        return [f"{ico.name}: {len(data)} bytes, expected {head + ICON_IMAGE_BYTES}"]
    if ICON_DIR.unpack_from(data) != (0, 1, 1):
        faults.append(f"{ico.name}: not a one-image icon file")
    entry = ICON_ENTRY.unpack_from(data, ICON_DIR.size)
    if entry != (32, 32, 0, 0, 0, 0, ICON_IMAGE_BYTES, head):
        faults.append(f"{ico.name}: directory entry {entry}")
    info = INFO_HEADER.unpack_from(data, head)
    if info != (40, 32, 64, 1, 8, 0, 32 * 32 + 32 * 4, 0, 0, 0, 0):
        faults.append(f"{ico.name}: image header {info}")
    if dib.read_bytes() != data[head:]:
        faults.append(f"{dib.name}: differs from the image in {ico.name}")
    return faults


def check(directory):
    directory = Path(directory)
    expected = {name for name, _, _ in BITMAPS} | {ICON_FILE, ICON_IMAGE_FILE}
    faults = []
    present = {p.name for p in directory.iterdir()}
    for name in sorted(expected - present):
        faults.append(f"{name}: missing")
    for name in sorted(present - expected):
        faults.append(f"{name}: not part of the skin")
    if not faults:
        for name, width, height in BITMAPS:
            faults += check_bmp(directory / name, width, height)
        faults += check_icon(directory)
    for fault in faults:
        print(f"skin check: {fault}", file=sys.stderr)
    if faults:
        sys.exit(1)
    print(f"skin check: {len(BITMAPS)} bitmaps and the icon in {directory} are well formed")


def main(argv):
    if len(argv) == 6 and argv[1] == "bmp":
        pack_bmp(int(argv[2]), int(argv[3]), argv[4], argv[5])
    elif len(argv) == 6 and argv[1] == "icon":
        pack_icon(*argv[2:])
    elif len(argv) == 3 and argv[1] == "check":
        check(argv[2])
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main(sys.argv)
