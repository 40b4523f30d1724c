#!/usr/bin/env python3
"""Figures from the block-step trace of voxotrope-trace.exe (VOXOTROPE_TRACE).

  trace_report.py TRACE [SECONDS]
  trace_report.py --line TRACE        on one line: corrections (their moves),
                                      skipped halves, blocks written unsafely,
                                      playback against capture; over the
                                      longest stretch without a window
                                      message, from 4 s into it
  trace_report.py --share TRACE FROM SECONDS
                                      on one line: what the program itself
                                      left out of SECONDS of sound from FROM
                                      (seconds since 1970, as `date +%s`):
                                      silence its anchorings left, sound its
                                      corrections cut, halves it dropped

Prints the capture and playback clock rates and their drift, the jitter of
the block steps and how late each step came after its half was complete,
where the write position stood against the device's cursors over time, the
corrections with their sizes, and the skipped halves. With SECONDS, one line
of figures per SECONDS of trace as well."""
import sys

RING = 16000    # bytes in each ring
HALF = 8000
RATE = 22050
LEAD = 3998     # anchored place: bytes beyond the device's write cursor


def load(path):
    """Rows of the trace; late, gap and cut (columns 9 to 11) are 0 in
    traces from before they were written."""
    rows = []
    with open(path) as f:
        next(f)
        for line in f:
            v = line.split()
            if len(v) >= 9:
                rows.append([int(x) for x in v[:12]] + [0] * (12 - len(v)))
    return rows


def share(rows, start, seconds):
    t0 = start * 1e6
    part = [r for r in rows if t0 <= r[0] < t0 + seconds * 1e6]
    ms = lambda b: b / 2 / RATE * 1000
    gap = ms(sum(r[10] for r in part))
    cut = ms(sum(r[11] for r in part))
    dropped = ms(HALF * sum(r[8] for r in part))
    return ("program: %.0f ms silence from %d anchorings, %.0f ms cut by %d corrections, "
            "%.0f ms in %d dropped halves; %.0f ms in all"
            % (gap, sum(1 for r in part if r[10]), cut, sum(1 for r in part if r[11]), dropped,
               sum(r[8] for r in part), gap + cut + dropped))


def unwrap(times, values):
    """Ring offsets as a running byte count: each step moves about as far as
    the time since the last one allows at 44100 bytes a second."""
    out = [values[0]]
    for i in range(1, len(values)):
        guess = out[-1] + (times[i] - times[i - 1]) * 2 * RATE
        out.append(values[i] + RING * round((guess - values[i]) / RING))
    return out


def spread(values, unit=""):
    v = sorted(values)
    if not v:
        return "none"
    pick = lambda q: v[min(len(v) - 1, int(q * len(v)))]
    return "min %.1f, median %.1f, p99 %.1f, max %.1f%s" % (v[0], pick(0.5), pick(0.99), v[-1], unit)


def one_line(rows):
    # The longest stretch between window messages, from 4 s after its start
    # as the long-run check: the program left alone.
    marks = [0] + [i for i, r in enumerate(rows) if r[7] in (1, 3)] + [len(rows) - 1]
    first, last = max(zip(marks, marks[1:]), key=lambda m: rows[m[1]][0] - rows[m[0]][0])
    rows = [r for r in rows[first:last] if r[0] >= rows[first][0] + 4e6]
    moves = [((rows[i][6] - rows[i - 1][6] - HALF + RING // 2) % RING - RING // 2) / 2 / RATE * 1000
             for i in range(1, len(rows)) if rows[i][7] == 2 and not rows[i][8] and not rows[i - 1][8]]
    played = [r for r in rows if not r[8]]
    t = [r[0] / 1e6 for r in played]
    capture = unwrap(t, [r[2] for r in played])
    play = unwrap(t, [r[4] for r in played])
    drift = 100 * ((play[-1] - play[0]) / (capture[-1] - capture[0]) - 1)
    unsafe = sum(1 for r in played if (r[6] - r[5]) % RING > RING - HALF or (r[6] - r[4]) % RING > RING - HALF)
    text = "%d" % len([r for r in rows if r[7] == 2])
    if moves:
        text += " (%+.0f to %+.0f ms)" % (min(moves), max(moves))
    return text + "; skipped %d; unsafe %d; playback %+.3f %%" % (sum(r[8] for r in rows), unsafe, drift)


def main():
    if sys.argv[1] == "--share":
        print(share(load(sys.argv[2]), float(sys.argv[3]), float(sys.argv[4])))
        return 0
    if sys.argv[1] == "--line":
        rows = load(sys.argv[2])
        print(one_line(rows) if len(rows) > 2 else "no trace")
        return 0
    rows = load(sys.argv[1])
    window = float(sys.argv[2]) if len(sys.argv) > 2 else 0
    played = [r for r in rows if not r[8]]
    if len(played) < 3:
        print("fewer than three blocks in the trace")
        return 1
    t = [r[0] / 1e6 for r in played]
    capture = unwrap(t, [r[2] for r in played])
    play = unwrap(t, [r[4] for r in played])
    span = t[-1] - t[0]
    capture_rate = (capture[-1] - capture[0]) / 2 / span
    play_rate = (play[-1] - play[0]) / 2 / span
    print("%.1f s, %d block steps (%d halves skipped)" % (span, len(rows), len(rows) - len(played)))
    print("clocks (samples/s, against the wall clock): capture %.2f, playback %.2f; "
          "playback runs %+.3f %% against capture" % (capture_rate, play_rate,
                                                      100 * (play_rate / capture_rate - 1)))
    steps = [(t[i] - t[i - 1]) * 1000 for i in range(1, len(t))]
    print("step intervals (ms): " + spread(steps))
    late = [(r[2] - (r[1] + 1) * HALF) % RING / (2 * RATE) * 1000 for r in played]
    print("step after its half was complete (ms): " + spread(late))
    beyond = [(r[6] - r[5]) % RING for r in played]
    ahead = [(r[6] - r[4]) % RING for r in played]
    print("write position beyond the write cursor (bytes): " + spread(beyond) +
          "; anchored place %d" % LEAD)
    print("write position beyond the play cursor (bytes): " + spread(ahead) +
          "; a block overwrites unplayed sound above %d" % (RING - HALF))
    unsafe = sum(1 for b, a in zip(beyond, ahead) if b > RING - HALF or a > RING - HALF)
    print("blocks written where the device had read or had yet to play: %d" % unsafe)
    print("window messages that left the position where it was: %d" % sum(1 for r in rows if r[7] == 3))
    for kind, name in ((1, "anchored on request (a window message)"), (2, "corrections")):
        moves = []
        for i in range(1, len(rows)):
            if rows[i][7] == kind and not rows[i][8] and not rows[i - 1][8]:
                # where the block would have gone without the anchoring
                moves.append(((rows[i][6] - rows[i - 1][6] - HALF + RING // 2) % RING - RING // 2) // 2)
        count = sum(1 for r in rows if r[7] == kind)
        text = "%s: %d" % (name, count)
        if moves:
            text += "; moves (samples, + later): " + spread(moves)
        print(text)
    if window:
        print("per %g s: seconds, playback against capture (%%), beyond the write cursor min..max, "
              "corrections, skipped" % window)
        start = 0
        for i in range(1, len(played) + 1):
            if i == len(played) or t[i] - t[start] >= window:
                j = i - 1
                if j > start:
                    drift = ((play[j] - play[start]) / (capture[j] - capture[start]) - 1) * 100
                    lo, hi = min(beyond[start:j + 1]), max(beyond[start:j + 1])
                    t0, t1 = played[start][0], played[j][0]
                    fixes = sum(1 for r in rows if t0 < r[0] <= t1 and r[7] == 2)
                    skips = sum(1 for r in rows if t0 < r[0] <= t1 and r[8])
                    print("  %7.1f  %+7.3f  %5d..%5d  %d  %d" % (t[start] - t[0], drift, lo, hi, fixes, skips))
                start = i
    return 0


if __name__ == "__main__":
    sys.exit(main())
