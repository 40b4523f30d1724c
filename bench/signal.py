#!/usr/bin/env python3
"""Writes a test signal to stdout forever, raw signed 16-bit little-endian
mono at 22050 Hz.

  signal.py ramp    sample n is n modulo 65536: every step is +1, so a lost,
                    repeated or misplaced stretch shows in what comes back
  signal.py tones   440 Hz and 97 Hz together: zero crossings everywhere for
                    the half-wave effects, and no repetition after a ring
                    length (8000 samples) or any other short distance"""
import array
import math
import sys


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


def main():
    chunks = ramp() if sys.argv[1:] == ["ramp"] else tones()
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
