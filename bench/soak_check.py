#!/usr/bin/env python3
"""Checks what the program played during a soak run (raw s16le mono).

  soak_check.py passthrough FILE   the counter came back: every step +1
  soak_check.py effects FILE       all seven effects on two tones: every
                                   block carries sound, no stretch repeats
                                   the one a ring length (8000 samples)
                                   before it; moves of the playback
                                   position are counted (Deeper, last in
                                   the chain, shows them: it leaves every
                                   second sample 0 or -1)

Leading silence (before the first sound) is skipped. Prints one line of
figures and a verdict; exits 1 when a fault was seen."""
import array
import sys

RATE = 22050
RING = 8000  # samples in the playback ring: a stale replay repeats from here


def load(path):
    samples = array.array("h")
    with open(path, "rb") as f:
        samples.frombytes(f.read())
    if sys.byteorder != "little":
        samples.byteswap()
    start = 0
    while start < len(samples) and samples[start] in (0, -1):
        start += 1
    return samples, start


def where(i, start):
    return "%.2f s" % ((i - start) / RATE)


def passthrough(samples, start):
    breaks = []
    lost = repeated = 0
    for i in range(start + 1, len(samples)):
        step = (samples[i] - samples[i - 1]) & 0xFFFF
        if step != 1:
            jump = ((step - 1 + 32768) & 0xFFFF) - 32768  # samples skipped (+) or replayed (-)
            breaks.append((i, jump))
            if jump > 0:
                lost += jump
            else:
                repeated -= jump
    seconds = (len(samples) - start) / RATE
    print("passthrough: %.1f s checked, %d breaks, %d samples lost, %d replayed"
          % (seconds, len(breaks), lost, repeated))
    for i, jump in breaks[:20]:
        print("  at %s: %+d samples" % (where(i, start), jump))
    return not breaks


def effects(samples, start):
    # Deeper, last, writes the data at the even places of each block and 0 or
    # -1 at the odd ones. Blocks are taken at the phase of the first one; a
    # block whose data lie at the odd places was written at a position moved
    # by an odd number of samples: a re-anchoring of the playback position.
    quiet = moves = 0
    moved_at = []
    parity = None
    for b in range(start, len(samples) - 4000, 4000):
        even = sum(1 for x in samples[b:b + 4000:2] if x not in (0, -1))
        odd = sum(1 for x in samples[b + 1:b + 4000:2] if x not in (0, -1))
        if even == 0 and odd == 0:
            quiet += 1
            continue
        now = 0 if even >= odd else 1
        if parity is not None and now != parity:
            moves += 1
            moved_at.append(b)
        parity = now
    # Stale replays: runs of data equal to those a ring length before.
    stale = []
    run = 0
    for i in range(start + RING, len(samples)):
        if samples[i] == samples[i - RING] and samples[i] not in (0, -1):
            run += 1
            if run == 200:  # 200 equal data samples: 400 samples with Deeper's fill
                stale.append(i)
        else:
            run = 0
    seconds = (len(samples) - start) / RATE
    print("effects: %.1f s checked, %d silent blocks, %d stale replays, "
          "%d odd moves of the playback position" % (seconds, quiet, len(stale), moves))
    for i in moved_at[:10]:
        print("  moved near %s" % where(i, start))
    for i in stale[:10]:
        print("  stale stretch at %s" % where(i, start))
    return not quiet and not stale


def main():
    mode, path = sys.argv[1], sys.argv[2]
    samples, start = load(path)
    if len(samples) - start < RATE:
        print("%s: less than a second of sound came back" % mode)
        return 1
    good = passthrough(samples, start) if mode == "passthrough" else effects(samples, start)
    print("verdict:", "no fault seen" if good else "FAULTS SEEN")
    return 0 if good else 1


if __name__ == "__main__":
    sys.exit(main())
