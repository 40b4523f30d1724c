#!/usr/bin/env python3
"""How much of what the program played is the captured speech, sample for sample.

Usage: passthrough_match.py INPUT.wav PLAYED.raw MIN-PERCENT
PLAYED.raw is what the speaker received (s16le mono 22050 Hz). The played
stream is cut into windows of 500 samples; a voiced window (some sample beyond
+-500) counts as exact when it equals 500 consecutive input samples somewhere.
A resynchronisation moves the playback position by less than a block, so a
window that straddles such a splice does not match; everything else must.
Prints the share of exact windows and the number of distinct offsets, and
exits 1 when the share is below MIN-PERCENT."""
import sys
import wave
from array import array

WINDOW = 500
KEY = 16


def samples(data):
    a = array("h")
    a.frombytes(data[: len(data) // 2 * 2])
    if sys.byteorder != "little":
        a.byteswap()
    return a


def main():
    source, played, minimum = sys.argv[1], sys.argv[2], float(sys.argv[3])
    with wave.open(source, "rb") as w:
        if (w.getnchannels(), w.getsampwidth(), w.getframerate()) != (1, 2, 22050):
            sys.exit("input is not mono 16-bit 22050 Hz")
        x = samples(w.readframes(w.getnframes()))
    with open(played, "rb") as f:
        y = samples(f.read())
    xb = x.tobytes()
    where = {}
    for i in range(len(x) - WINDOW + 1):
        where.setdefault(xb[2 * i : 2 * (i + KEY)], []).append(i)

    voiced = exact = 0
    offsets = set()
    yb = y.tobytes()
    for start in range(0, len(y) - WINDOW + 1, WINDOW):
        window = y[start : start + WINDOW]
        if max(abs(v) for v in window) <= 500:
            continue
        voiced += 1
        piece = yb[2 * start : 2 * (start + WINDOW)]
        for i in where.get(piece[: 2 * KEY], []):
            if xb[2 * i : 2 * (i + WINDOW)] == piece:
                exact += 1
                offsets.add(start - i)
                break
    share = 100.0 * exact / voiced if voiced else 0.0
    print(f"{exact} of {voiced} voiced windows exact ({share:.1f} %), {len(offsets)} offset(s)")
    return 0 if voiced and share >= minimum else 1


if __name__ == "__main__":
    sys.exit(main())
