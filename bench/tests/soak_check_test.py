#!/usr/bin/env python3
"""bench/soak_check.py against sound with known faults: clean sound must pass,
and each fault the playback ring can make must be found, counted and sized,
sample for sample (counter), and where a resampler stands between (noise
resampled by sox to 48000 Hz stereo, as a desktop's sound server does)."""
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

try:
    import numpy as np
except ImportError:  # the system's python3 has it (python3-numpy)
    if sys.executable != "/usr/bin/python3" and os.path.exists("/usr/bin/python3"):
        os.execv("/usr/bin/python3", ["/usr/bin/python3"] + sys.argv)
    print("no numpy: skipped")
    sys.exit(77)

HERE = os.path.dirname(os.path.abspath(__file__))
CHECK = os.path.join(HERE, "..", "soak_check.py")
sys.path.insert(0, os.path.join(HERE, ".."))
import soak_check  # noqa: E402

RATE, RING = 22050, 8000
LEAD = 500  # silence before the sound


def at(seconds):
    return LEAD + int(seconds * RATE)


def faults(x):
    """The faults, at known places: 150 samples one ring old (6.8 ms), 300
    one ring new (13.6 ms), a 5-ms silence inserted, 64 samples replaced by
    silence, a whole ring replayed, 37 samples lost (a slip)."""
    y = x.copy()
    a = at(4); y[a:a + 150] = x[a - RING:a - RING + 150]
    a = at(6); y[a:a + 300] = x[a + RING:a + RING + 300]
    a = at(10); y[a:a + 64] = 0
    a = at(12); y[a:a + RING] = x[a - RING:a]
    a = at(8); y = np.concatenate([y[:a], np.zeros(110, np.int16), y[a:]])
    a = at(14); y = np.concatenate([y[:a], y[a + 37:]])
    return y


EXPECTED = {"wrong_pass": "3", "silences": "2", "inserted": "1", "slips": "1", "unknown": "0"}


class SoakCheck(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.mkdtemp()

    def tearDown(self):
        shutil.rmtree(self.folder)

    def check(self, mode, samples, rate=RATE, channels=1, resample=False):
        """Runs the check on SAMPLES (int16 at 22050 Hz, mono, or the bytes
        of a recording), resampled first when asked; returns its exit code
        and figures."""
        path = os.path.join(self.folder, "played.raw")
        if isinstance(samples, bytes):
            open(path, "wb").write(samples)
        else:
            samples.astype("<i2").tofile(path)
        if resample:
            converted = path + ".48k"
            subprocess.run(["sox", "-D", "-V1", "-t", "raw", "-r", str(RATE), "-e", "signed", "-b", "16",
                            "-c", "1", path, "-t", "raw", "-r", str(rate), "-e", "signed",
                            "-b", "16", "-c", str(channels), converted], check=True)
            path = converted
        run = subprocess.run([sys.executable, CHECK, mode, path, str(rate), str(channels)],
                             capture_output=True, text=True)
        line = [l for l in run.stdout.splitlines() if l.startswith("figures: ")]
        self.assertTrue(line, run.stdout + run.stderr)
        return run.returncode, dict(kv.split("=") for kv in line[0].split()[1:]), run.stdout

    def expect_faults(self, result, wrong_ms):
        code, figures, text = result
        self.assertEqual(code, 1, text)
        for key, value in EXPECTED.items():
            self.assertEqual(figures[key], value, "%s\n%s" % (key, text))
        # 6.8 + 13.6 + 362.8 ms from the wrong pass, within a millisecond
        self.assertAlmostEqual(float(figures["wrong_pass_ms"]), wrong_ms, delta=1.5, msg=text)
        self.assertEqual(figures["first_wrong_s"], "4.0", text)

    def test_counter(self):
        n = np.arange(16 * RATE)
        clean = np.concatenate([np.zeros(LEAD, np.int16),
                                ((n + 12345) & 0xFFFF).astype(np.uint16).view(np.int16)])
        code, figures, text = self.check("passthrough", clean)
        self.assertEqual((code, figures["wrong_pass"], figures["silences"]), (0, "0", "0"), text)
        self.expect_faults(self.check("passthrough", faults(clean)), 383)
        # A block written one byte off, and the sound right behind it: heard
        # as full-scale noise until the position is whole again. A fault,
        # whatever wrote it; and so is a recording that begins mid-sample.
        data = clean.astype("<i2").tobytes()
        a, b = 2 * at(3), 2 * at(3) + 2 * 4000
        data = data[:a] + b"\0" + data[a:b] + data[b + 1:]
        code, figures, text = self.check("passthrough", data)
        self.assertEqual((code, figures["shifted"], figures["wrong_pass"]), (1, "1", "0"), text)
        self.assertAlmostEqual(float(figures["shifted_ms"]), 181.4, delta=1, msg=text)
        code, figures, text = self.check("passthrough", data[2 * at(1) + 1:])
        self.assertEqual(code, 1, text)

    def test_referee_is_the_teams_own(self):
        # bench/heard_check.py is a copy, for a clone that has no team folder
        # beside it; it is never taught anything of its own.
        shared = os.path.join(HERE, "..", "..", "..", "shared", "heard_check.py")
        if not os.path.exists(shared):
            self.skipTest("no shared referee beside the checkout")
        with open(shared, "rb") as a, open(os.path.join(HERE, "..", "heard_check.py"), "rb") as b:
            self.assertEqual(a.read(), b.read())

    def noise(self):
        return np.concatenate([np.zeros(LEAD, np.int16),
                               np.tile(soak_check.noise_period(), 2)[:16 * RATE]])

    def test_noise_at_22050(self):
        clean = self.noise()
        code, figures, text = self.check("noise", clean)
        self.assertEqual((code, figures["wrong_pass"], figures["slips"]), (0, "0", "0"), text)
        self.expect_faults(self.check("noise", faults(clean)), 383)

    def test_noise_resampled(self):
        clean = self.noise()
        code, figures, text = self.check("noise", clean, 48000, 2, resample=True)
        self.assertEqual((code, figures["wrong_pass"], figures["silences"]), (0, "0", "0"), text)
        self.expect_faults(self.check("noise", faults(clean), 48000, 2, resample=True), 383)

    def test_effects_stale_through_deepers_fill(self):
        # Deeper leaves every second sample 0 or -1; those samples once reset
        # the count of equal data, so no stale stretch was ever seen.
        x = self.noise()
        x[1::2] = 0
        code, figures, text = self.check("effects", x)
        self.assertEqual((code, figures["wrong_pass"]), (0, "0"), text)
        a = at(5); x[a:a + 200] = x[a - RING:a - RING + 200]
        code, figures, text = self.check("effects", x)
        self.assertEqual((code, figures["wrong_pass"], figures["first_wrong_s"]), (1, "1", "5.0"), text)

    def test_noise_effects_resampled(self):
        # A stand-in for the chain: Deeper's every second sample zeroed, and
        # a squaring that no resampler undoes; then a ring replayed and a
        # silent block.
        x = self.noise().astype(float)
        x[1::2] = 0
        effect = np.clip(x * np.abs(x) / 4000, -20000, 20000).astype(np.int16)
        code, figures, text = self.check("noise-effects", effect, 48000, 2, resample=True)
        self.assertEqual((code, figures["wrong_pass"], figures["silent_blocks"]), (0, "0", "0"), text)
        bad = effect.copy()
        a = at(5); bad[a:a + RING] = effect[a - RING:a]
        a = at(9); bad[a:a + 4000] = 0
        code, figures, text = self.check("noise-effects", bad, 48000, 2, resample=True)
        self.assertEqual((code, figures["wrong_pass"], figures["silent_blocks"]), (1, "1", "1"), text)
        self.assertAlmostEqual(float(figures["wrong_pass_ms"]), 362.8, delta=3, msg=text)


if __name__ == "__main__":
    if not shutil.which("sox"):
        print("no sox: skipped")
        sys.exit(77)
    unittest.main()
