#!/usr/bin/env python3
"""Writes a test signal to stdout forever, raw signed 16-bit little-endian
mono at 22050 Hz.

  signal.py ramp    sample n is n modulo 65536: every step is +1, so a lost,
                    repeated or misplaced stretch shows in what comes back
  signal.py tones   440 Hz and 97 Hz together: zero crossings everywhere for
                    the half-wave effects, and no repetition after a ring
                    length (8000 samples) or any other short distance
  signal.py noise   noise from 100 to 6000 Hz that repeats only every
                    NOISE_PERIOD samples (27.3 s): every stretch of it is
                    unique, so its place can be found again in sound that
                    a sound server has resampled (bench/soak_check.py)"""
import array
import math
import sys

RATE = 22050


def ramp():
    period = array.array("h", (n - 65536 if n >= 32768 else n for n in range(65536)))
    while True:
        yield period


def tones():
    n = 0
    while True:
        chunk = array.array("h", (round(9000 * math.sin(2 * math.pi * 440 * k / 22050) +
                                        6000 * math.sin(2 * math.pi * 97 * k / 22050))
                                  for k in range(n, n + 22050)))
        n += 22050
        yield chunk


NOISE_PERIOD = 147 * 4096  # a whole number of samples at 48000 Hz too (x 320/147)
NOISE_BAND = (100, 6000)   # Hz: well inside every resampler's pass band
NOISE_RMS = 4000


def noise_period():
    """One period of the noise as int16 samples (numpy): equal amplitudes and
    seeded random phases in the band, so the same on every run."""
    import numpy
    import random
    chance = random.Random(16)
    lo = math.ceil(NOISE_BAND[0] * NOISE_PERIOD / RATE)
    hi = math.floor(NOISE_BAND[1] * NOISE_PERIOD / RATE)
    spectrum = numpy.zeros(NOISE_PERIOD // 2 + 1, complex)
    phases = numpy.array([chance.random() for _ in range(hi + 1 - lo)])
    spectrum[lo:hi + 1] = numpy.exp(2j * numpy.pi * phases)
    x = numpy.fft.irfft(spectrum, NOISE_PERIOD)
    x *= NOISE_RMS / numpy.sqrt(numpy.mean(x * x))
    return numpy.round(x).astype(numpy.int16)


def noise():
    period = array.array("h", noise_period().tobytes())
    while True:
        yield period


def main():
    kind = sys.argv[1] if len(sys.argv) > 1 else "tones"
    chunks = {"ramp": ramp, "noise": noise}.get(kind, tones)()
    out = sys.stdout.buffer
    try:
        for chunk in chunks:
            if sys.byteorder != "little":
                chunk.byteswap()
            out.write(chunk.tobytes())
    except (BrokenPipeError, KeyboardInterrupt):
        pass


if __name__ == "__main__":
    main()
