#!/usr/bin/env python3
"""Checks what the program played during a soak run (raw s16le).

  soak_check.py passthrough FILE       a counter came back from 22050 Hz
                                       mono devices, sample for sample
  soak_check.py effects FILE           all seven effects on two tones, from
                                       22050 Hz mono devices
  soak_check.py noise FILE RATE CH     the noise of bench/signal.py came back
                                       through a server that resampled it to
                                       RATE Hz and CH channels (numpy)
  soak_check.py noise-effects FILE RATE CH
                                       all seven effects on that noise

The playback ring holds 8000 samples (362.8 ms). When the program writes a
block where the device has already played, the device plays the ring's old
content: a stretch one ring too old (stale). When it writes over what the
device has not played yet, a stretch one ring too new (ahead) replaces it.
Both are stretches from the wrong pass of the ring.

- passthrough: every sample is the counter value of some input position,
  read at its own sample boundaries. Runs of +1 steps are placed against
  the timeline; a run one ring behind or ahead of it is a wrong pass, zeros
  are silences (inserted when the timeline moves on by their length, else
  replacing sound), sound that reads as the counter only one byte on was
  written at an odd offset and is noise to a listener, and any other move
  of the timeline is a slip (samples lost or played twice).
- noise: the same, with the input position found by matching every
  millisecond of sound against the known noise at the timeline's offset and
  one ring before and after it; where none matches for a while, the offset
  is searched again (a slip). Boundaries are then measured sample by sample.
- effects: no stretch of data equal to the one a ring length before it, no
  silent block; Deeper, last in the chain, shows odd moves of the playback
  position (it leaves every second sample 0 or -1).
- noise-effects: no stretch of 3 ms or more equal to the sound one ring
  length before it (allowing for the silences in between), no silent block.

Leading silence (before the first sound) is skipped. Prints its findings,
one line "figures: key=value ..." and a verdict; exits 1 when a stretch from
the wrong pass of the ring, a silent block or sound that fits nothing was
seen, or sound written a byte off. Silences and slips are reported, not
judged: they are the platform's unless they come with a wrong pass."""
import array
import os
import runpy
import sys

RATE = 22050
RING = 8000  # samples in the playback ring: a stale replay repeats from here
BLOCK = 4000


def load(path):
    samples = array.array("h")
    with open(path, "rb") as f:
        data = f.read()
    samples.frombytes(data[:len(data) // 2 * 2])
    if sys.byteorder != "little":
        samples.byteswap()
    start = 0
    while start < len(samples) and samples[start] in (0, -1):
        start += 1
    return samples, start


def where(i, start, rate=RATE):
    return "%.2f s" % ((i - start) / rate)


def ms(samples, rate=RATE):
    return 1000.0 * samples / rate


def figures(**values):
    print("figures: " + " ".join("%s=%s" % item for item in values.items()))


def lengths(runs, rate=RATE):
    """'3 x 5.0 ms, 1 x 2.9 ms': the commonest lengths (samples) in ms."""
    counts = {}
    for n in runs:
        key = round(ms(n, rate), 1)
        counts[key] = counts.get(key, 0) + 1
    common = sorted(counts, key=lambda k: (-counts[k], -k))[:6]
    return ", ".join("%d x %.1f ms" % (counts[k], k) for k in common)


def report(kind, seconds, events, rate):
    """Prints the findings of a passthrough check from its events (kind,
    first sample, length, move of the timeline) and returns the verdict."""
    wrong = [e for e in events if e[0] in ("stale", "ahead")]
    shifted = [e for e in events if e[0] == "shifted"]
    silences = [e for e in events if e[0] == "silence"]
    inserted = [e for e in silences if e[3]]
    slips = [e for e in events if e[0] == "slip"]
    unknown = [e for e in events if e[0] == "unknown"]
    wrong_ms = ms(sum(e[2] for e in wrong), rate)
    shifted_ms = ms(sum(e[2] for e in shifted), rate)
    silent_ms = ms(sum(e[2] for e in silences), rate)
    print("%s: %.1f s checked, %d stretches from the wrong pass of the ring "
          "(%d stale, %d ahead, %.0f ms), %d silences (%.0f ms; %d inserted, %d replacing "
          "sound), %d slips, %d stretches that fit nothing"
          % (kind, seconds, len(wrong), sum(e[0] == "stale" for e in wrong),
             sum(e[0] == "ahead" for e in wrong), wrong_ms, len(silences), silent_ms,
             len(inserted), len(silences) - len(inserted), len(slips), len(unknown)))
    if shifted:
        print("  written a byte off (heard as noise): %d stretches, %.0f ms; the first at %s"
              % (len(shifted), shifted_ms, where(shifted[0][1], 0, rate)))
    if wrong:
        print("  wrong pass: %s; the first at %s" % (lengths([e[2] for e in wrong], rate),
                                                   where(wrong[0][1], 0, rate)))
    if silences:
        print("  silences: %s; the first at %s" % (lengths([e[2] for e in silences], rate),
                                                 where(silences[0][1], 0, rate)))
    if slips:
        print("  slips (ms the timeline moved): "
              + ", ".join("%+.1f" % ms(e[3], rate) for e in slips[:10]))
    for e in events[:12]:
        size = ms(e[3] if e[0] == "slip" else e[2], rate)
        print("  %s at %s: %+.1f ms%s" % (e[0], where(e[1], 0, rate), size,
                                         " (inserted)" if e[0] == "silence" and e[3] else ""))
    # What a listener misses: silence, and sound left out where the timeline
    # jumped on; sound played twice where it went back.
    left_out_ms = ms(sum(e[3] for e in slips if e[3] > 0), rate)
    replayed_ms = ms(sum(-e[3] for e in slips if e[3] < 0), rate) + wrong_ms
    figures(seconds="%.1f" % seconds, wrong_pass=len(wrong), wrong_pass_ms="%.0f" % wrong_ms,
            first_wrong_s="%.1f" % (wrong[0][1] / rate) if wrong else "-",
            silences=len(silences), silence_ms="%.0f" % silent_ms, inserted=len(inserted),
            slips=len(slips), unknown=len(unknown), left_out_ms="%.0f" % left_out_ms,
            replayed_ms="%.0f" % replayed_ms, shifted=len(shifted), shifted_ms="%.0f" % shifted_ms,
            disturbed_pct="%.2f" % ((silent_ms + shifted_ms + left_out_ms) / 10 / seconds if seconds else 0))
    return not wrong and not unknown and not shifted


def shifted_runs(data, samples, start):
    """Where the sound reads as the counter one byte on and not at its own
    sample boundaries: written at an odd byte offset, heard as full-scale
    noise. Runs of 8 samples or more, as (first, end) sample indices."""
    odd = array.array("h")
    odd.frombytes(data[1:1 + (len(data) - 1) // 2 * 2])
    if sys.byteorder != "little":
        odd.byteswap()
    runs, run = [], 0
    end = min(len(samples), len(odd))
    for i in range(start + 1, end):
        if (odd[i] - odd[i - 1]) & 0xFFFF == 1 and (samples[i] - samples[i - 1]) & 0xFFFF != 1:
            run += 1
        else:
            if run >= 8:
                runs.append((i - run - 1, i))
            run = 0
    if run >= 8:
        runs.append((end - run - 1, end))
    return runs


def passthrough(samples, start, shifted=()):
    """Counter runs placed against the timeline (value less position).
    Sound written a byte off (SHIFTED, from shifted_runs) is taken out like a
    silence and counted as disturbed; it is a fault. Any other run that does
    not continue the timeline moves it: a stretch from the wrong pass, or a
    slip. The silences since the last run were inserted when the timeline
    then moves on by their length."""
    events = []
    n = len(samples)
    base = None  # the timeline: counter value less output position, mod 65536
    silences = []  # the silences and shifted stretches since the last run
    noise = dict(shifted)
    i = start
    while i < n:
        if i in noise:
            events.append(["shifted", i - start, noise[i] - i, 0])
            silences.append(events[-1])
            i = noise[i]
            continue
        if samples[i] == 0 and (i + 1 >= n or samples[i + 1] != 1):
            j = i
            while j < n and samples[j] == 0:
                j += 1
            events.append(["silence", i - start, j - i, 0])
            silences.append(events[-1])
            i = j
            continue
        j = i + 1
        while j < n and (samples[j] - samples[j - 1]) & 0xFFFF == 1 and j not in noise:
            j += 1
        offset = (samples[i] - i) & 0xFFFF
        if base is None:
            base = offset
        move = ((offset - base + 32768) & 0xFFFF) - 32768
        silent = sum(e[2] for e in silences)
        if move in (-RING, RING):
            events.append(["stale" if move < 0 else "ahead", i - start, j - i, 0])
        elif move:
            if silences and -move == silent:
                for e in silences:
                    e[3] = e[2]  # inserted: the sound goes on after it
            else:
                events.append(["slip", i - start, 0, move])
            base = offset
        silences = []
        i = j
    return report("passthrough", (n - start) / RATE, events, RATE)


def effects(samples, start):
    # Deeper, last, writes the data at the even places of each block and 0 or
    # -1 at the odd ones. Blocks are taken at the phase of the first one; a
    # block whose data lie at the odd places was written at a position moved
    # by an odd number of samples: a re-anchoring of the playback position.
    quiet = moves = 0
    moved_at = []
    parity = None
    for b in range(start, len(samples) - BLOCK, BLOCK):
        even = sum(1 for x in samples[b:b + BLOCK:2] if x not in (0, -1))
        odd = sum(1 for x in samples[b + 1:b + BLOCK:2] if x not in (0, -1))
        if even == 0 and odd == 0:
            quiet += 1
            continue
        now = 0 if even >= odd else 1
        if parity is not None and now != parity:
            moves += 1
            moved_at.append(b)
        parity = now
    # Stale replays: runs of data equal to those a ring length before.
    stale = []  # [first sample, data samples]
    run = 0
    for i in range(start + RING, len(samples)):
        if samples[i] == samples[i - RING] and samples[i] not in (0, -1):
            run += 1
            if run == 40:  # 40 equal data samples: 80 samples (3.6 ms) with Deeper's fill
                stale.append([i, 0])
            if run >= 40:
                stale[-1][1] = run
        elif samples[i] not in (0, -1):
            run = 0
    seconds = (len(samples) - start) / RATE
    print("effects: %.1f s checked, %d silent blocks, %d stale replays, "
          "%d odd moves of the playback position" % (seconds, quiet, len(stale), moves))
    for i in moved_at[:10]:
        print("  moved near %s" % where(i, start))
    for i, n in stale[:10]:
        print("  stale stretch at %s: %.1f ms" % (where(i, start), ms(2 * n)))
    figures(seconds="%.1f" % seconds, wrong_pass=len(stale),
            wrong_pass_ms="%.0f" % ms(2 * sum(n for _, n in stale)),
            first_wrong_s="%.1f" % ((stale[0][0] - start) / RATE) if stale else "-",
            silent_blocks=quiet, odd_moves=moves)
    return not quiet and not stale


# --- Resampled sound (numpy) -------------------------------------------------

FRAME_MS = 1.0
FITS = 0.1    # residual energy / reference energy under which sound fits
QUIET = 1e-3  # frame energy / reference energy under which a frame is silent


def runs_of(mask):
    """(first, end) of every run of True in a boolean numpy array."""
    np = __import__("numpy")
    edges = np.diff(np.concatenate(([0], mask.astype(int), [0])))
    return list(zip(np.flatnonzero(edges == 1), np.flatnonzero(edges == -1)))


def mono(path, channels):
    """The sound as floats, channels averaged, from its first loud sample."""
    np = __import__("numpy")
    x = np.fromfile(path, dtype="<i2").astype(float)
    x = x[:len(x) // channels * channels].reshape(-1, channels).mean(axis=1)
    loud = np.flatnonzero(np.abs(x) > 64)
    return x[loud[0]:] if len(loud) else x[:0]


def noise_period():
    """One period of bench/signal.py's noise at 22050 Hz. The file is run,
    not imported: its name would clash with Python's signal module."""
    path = os.path.join(os.path.dirname(os.path.abspath(__file__)), "signal.py")
    return runpy.run_path(path)["noise_period"]()


def noise_spectrum(rate):
    """The spectrum of one period of bench/signal.py's noise at RATE."""
    np = __import__("numpy")
    period = noise_period().astype(float)
    length = len(period) * rate // RATE
    if length * RATE != len(period) * rate:
        sys.exit("the noise period is no whole number of samples at %d Hz" % rate)
    spectrum = np.zeros(length // 2 + 1, complex)
    spectrum[:len(period) // 2 + 1] = np.fft.rfft(period) * (length / len(period))
    return spectrum, length


class Reference:
    """The noise as it should sound at RATE, held OVERSAMPLE times finer so
    that it can be read at any offset to a sixteenth of a sample:
    out[t] = gain * ref(t + offset)."""

    OVERSAMPLE = 16

    def __init__(self, rate):
        np = self.np = __import__("numpy")
        self.spectrum, self.length = noise_spectrum(rate)
        fine = np.zeros(self.length * self.OVERSAMPLE // 2 + 1, complex)
        fine[:len(self.spectrum)] = self.spectrum * self.OVERSAMPLE
        self.fine = np.fft.irfft(fine, self.length * self.OVERSAMPLE).astype(np.float32)

    def at(self, offset, t0, n):
        """ref(t + offset) for t = t0 .. t0 + n - 1."""
        first = int(round((t0 + offset) * self.OVERSAMPLE))
        index = (first + self.OVERSAMPLE * self.np.arange(n)) % len(self.fine)
        return self.fine[index].astype(float)

    def find(self, x, t0, n, around=None, span=0):
        """The offset at which out[t0 : t0 + n] fits, its normalised
        correlation and the gain; searched in the whole period, or within
        SPAN samples of AROUND."""
        np = self.np
        piece = x[t0:t0 + n]
        if around is None:
            cross = self.spectrum * np.conj(np.fft.rfft(piece, self.length))
            lag = int(np.argmax(np.fft.irfft(cross, self.length))) - t0
        else:
            first = int(np.floor(around)) - span
            window = self.at(first, t0, n + 2 * span)
            size = 1 << int(np.ceil(np.log2(len(window) + n)))
            c = np.fft.irfft(np.fft.rfft(window, size) * np.conj(np.fft.rfft(piece, size)), size)
            lag = first + int(np.argmax(c[:2 * span + 1]))
        steps = np.arange(-self.OVERSAMPLE, self.OVERSAMPLE + 1) / self.OVERSAMPLE
        fit = [float(np.dot(self.at(lag + d, t0, n), piece)) for d in steps]
        offset = lag + steps[int(np.argmax(fit))]
        y = self.at(offset, t0, n)
        yy, xy = np.dot(y, y), np.dot(y, piece)
        return offset, float(xy / np.sqrt(yy * np.dot(piece, piece) + 1e-9)), float(xy / (yy + 1e-9))


def frame_fit(x, ref, offset, gain, t0, n, frame):
    """Per frame of out[t0 : t0 + n]: the residual energy against the
    reference at OFFSET relative to the reference's energy, and the latter."""
    y = gain * ref.at(offset, t0, n)
    res = ((x[t0:t0 + n] - y) ** 2).reshape(-1, frame).sum(axis=1)
    energy = (y * y).reshape(-1, frame).sum(axis=1) + 1e-9
    return res / energy, energy


class Fit:
    """Sample by sample, where a stretch of the sound fits: the timeline (o),
    one ring before it (s), one ring after it (a), or silent (z), each judged
    on the energy over a quarter of a frame. A fit shorter than two such
    spans is chance and does not count; gaps up to one span are closed."""

    def __init__(self, x, ref, gain, ring, frame):
        self.x, self.ref, self.gain, self.ring, self.frame = x, ref, gain, ring, frame
        self.np = ref.np
        self.width = max(3, frame // 4)

    def smooth(self, v):
        return self.np.convolve(v, self.np.ones(self.width) / self.width, "same")

    def runs(self, mask):
        found = []
        for a, b in runs_of(mask):
            if found and a - found[-1][1] <= self.width:
                found[-1] = (found[-1][0], b)
            else:
                found.append((a, b))
        return [(a, b) for a, b in found if b - a >= 2 * self.width]

    def masks(self, a, b, offset):
        x = self.x[a:b]
        fits = {}
        for k, shift in (("o", 0), ("s", -self.ring), ("a", self.ring)):
            y = self.gain * self.ref.at(offset + shift, a, b - a)
            fits[k] = self.smooth((x - y) ** 2) < FITS * self.smooth(y * y)
            if k == "o":
                fits["z"] = self.smooth(x * x) < 0.01 * self.smooth(y * y)
        return fits


def noise(x, rate):
    """Classes every frame of the resampled noise: fits the timeline (o), one
    ring before it (s) or after it (a), silent (z) or nothing (?); searches
    the timeline again after eight frames that fit nothing. Returns the
    events, or None when the sound is not the noise."""
    np = __import__("numpy")
    ref = Reference(rate)
    ring = RING * rate / RATE
    frame = max(8, int(round(rate * FRAME_MS / 1000)))
    probe = 4096
    if len(x) < 4 * probe:
        print("noise: too little sound came back")
        return None
    # The timeline from the first stretch that fits well (the sound may start
    # with faults); the frames before it are placed by searching again.
    score = 0
    for t in range(probe, min(len(x) - 2 * probe, 60 * rate), rate // 2):
        offset, score, gain = ref.find(x, t, 2 * probe)
        if score > 0.95:
            break
    if score < 0.8:
        print("noise: the sound does not match the noise (correlation %.2f)" % score)
        return None
    classes = np.zeros(len(x) // frame, dtype="U1")
    offsets = np.zeros(len(classes))  # the timeline's offset at every frame
    slips = {}  # frame: move of the timeline, in samples
    f = 0
    while f < len(classes):
        t0 = f * frame
        n = min((1 << 16) // frame, len(classes) - f) * frame
        fit, energy = frame_fit(x, ref, offset, gain, t0, n, frame)
        old, _ = frame_fit(x, ref, offset - ring, gain, t0, n, frame)
        new, _ = frame_fit(x, ref, offset + ring, gain, t0, n, frame)
        own = (x[t0:t0 + n] ** 2).reshape(-1, frame).sum(axis=1)
        c = np.full(len(fit), "?")
        c[fit < FITS] = "o"
        c[(old < FITS) & (old < fit)] = "s"
        c[(new < FITS) & (new < fit)] = "a"
        c[own < QUIET * energy] = "z"
        # Eight frames in a row that fit nothing: the timeline may have moved.
        lost = np.convolve((c == "?").astype(int), np.ones(8, int), "valid")
        moved = False
        for b in np.flatnonzero(lost == 8)[:1]:
            t = t0 + b * frame
            if t + probe <= len(x):
                found, score, _ = ref.find(x, t, probe, around=offset, span=int(ring) + 4096)
                if score > 0.8 and abs(found - offset) >= 0.5:
                    classes[f:f + b] = c[:b]
                    offsets[f:f + b] = offset
                    slips[f + b] = found - offset
                    offset = found
                    f += b
                    moved = True
        if not moved:
            classes[f:f + len(c)] = c
            offsets[f:f + len(c)] = offset
            f += len(c)
    return events_of(classes, offsets, slips, Fit(x, ref, gain, ring, frame))


def events_of(classes, offsets, slips, fit):
    """Events (kind, first sample, length in samples, move) from the runs of
    frames other than 'o', measured sample by sample over the run and the
    frames beside it. A silence right before a slip of about its length was
    inserted. What fits nothing for a frame or two beside another event
    holds that event's boundary."""
    events = []
    frame = fit.frame

    def add(kind, first, length, move=0):
        last = events[-1] if events else None
        if last and last[0] == kind != "slip" and first <= last[1] + last[2] + frame:
            last[2] = max(last[2], first + length - last[1])
        else:
            events.append([kind, first, length, move])

    n = len(classes)
    f = 0
    while f < n:
        if f in slips:
            move = slips[f]
            last = events[-1] if events else None
            if (last and last[0] == "silence" and f * frame - last[1] <= last[2] + 3 * frame
                    and abs(last[2] + move) <= 2 * frame):
                last[3] = -move
            else:
                add("slip", f * frame, 0, move)
        if classes[f] == "o":
            f += 1
            continue
        g = f + 1
        while g < n and classes[g] != "o" and g not in slips:
            g += 1
        a = f * frame if f in slips or f == 0 else (f - 1) * frame
        b = g * frame if g in slips or g == n else (g + 1) * frame
        masks = fit.masks(a, b, offsets[f])
        # Up to eight frames before a slip may already follow the new
        # timeline: what fits it there is no stretch from another pass.
        moved_on = fit.masks(a, b, offsets[g])["o"] if g in slips else False
        found = False
        for k, name in (("z", "silence"), ("s", "stale"), ("a", "ahead")):
            for s, e in fit.runs(masks[k] if k == "z" else masks[k] & ~masks["o"] & ~moved_on):
                add(name, a + s, e - s)
                found = True
        unfit = fit.runs(~(masks["o"] | masks["s"] | masks["a"] | masks["z"]))
        beside = g in slips or (events and events[-1][1] + events[-1][2] >= a - frame)
        if not found and unfit and not (beside and g - f <= 2):
            add("unknown", a + unfit[0][0], sum(e - s for s, e in unfit))
        f = g
    return events


def noise_passthrough(path, rate, channels):
    x = mono(path, channels)
    events = noise(x, rate)
    if events is None:
        return False
    return report("noise", len(x) / rate, events, rate)


def noise_effects(path, rate, channels):
    """Frames equal to the sound one ring before (or one ring and a silence
    before, for the silences that may lie in between), and the silences."""
    np = __import__("numpy")
    x = mono(path, channels)
    if len(x) < 2 * rate:
        print("noise-effects: less than two seconds of sound came back")
        return False
    frame = max(8, int(round(rate * FRAME_MS / 1000)))
    n = len(x) // frame * frame
    x = x[:n]
    own = (x * x).reshape(-1, frame).sum(axis=1)
    quiet = own < 4.0 * frame  # below 2 LSB rms
    silences = [(a, b - a) for a, b in runs_of(quiet) if b < len(own)]  # not the cut at the end
    ring = int(round(RING * rate / RATE))
    shifts = {0} | {length * frame for _, length in silences if length < 40}
    # A replay through the same resampler matches to 0.99 and more, at one
    # distance throughout; chance matches of the shaped sound are single
    # frames, or faint ringing that looks alike at many distances.
    faint = own < 0.0025 * np.median(own)  # below 5 % of the usual level
    replayed = np.zeros(len(own), bool)
    for shift in sorted(shifts):
        best = np.zeros(len(own))
        for lag in range(ring + shift - 3, ring + shift + 4):
            if lag >= n:
                continue
            num = np.zeros(n)
            num[lag:] = x[lag:] * x[:-lag]
            past = np.zeros(n)
            past[lag:] = x[:-lag] ** 2
            den = np.sqrt(own * past.reshape(-1, frame).sum(axis=1)) + 1e-9
            best = np.maximum(best, num.reshape(-1, frame).sum(axis=1) / den)
        matched = (best > 0.99) & ~faint
        same = matched.copy()
        same[1:-1] |= matched[:-2] & matched[2:]
        # Bridging a lone frame joins two chance matches into a run of
        # three: a replay matches in three frames of its own at least.
        for a, b in runs_of(same):
            if matched[a:b].sum() >= 3:
                replayed[a:b] = True
    stale = runs_of(replayed)
    blocks = [s for s in silences if s[1] * frame >= 0.9 * BLOCK * rate / RATE]
    stale_ms = sum(b - a for a, b in stale) * FRAME_MS
    silent_ms = sum(s[1] for s in silences) * FRAME_MS
    seconds = n / rate
    print("noise-effects: %.1f s checked, %d stretches equal to the sound a ring before "
          "(%.0f ms), %d silent blocks, %d silences (%.0f ms)"
          % (seconds, len(stale), stale_ms, len(blocks), len(silences), silent_ms))
    if silences:
        print("  silences: " + lengths([s[1] * frame for s in silences], rate))
    for a, b in stale[:10]:
        print("  stale stretch at %.2f s: %.0f ms" % (a * frame / rate, (b - a) * FRAME_MS))
    figures(seconds="%.1f" % seconds, wrong_pass=len(stale), wrong_pass_ms="%.0f" % stale_ms,
            first_wrong_s="%.1f" % (stale[0][0] * frame / rate) if stale else "-",
            silent_blocks=len(blocks), silences=len(silences), silence_ms="%.0f" % silent_ms)
    return not stale and not blocks


def main():
    mode, path = sys.argv[1], sys.argv[2]
    rate = int(sys.argv[3]) if len(sys.argv) > 3 else RATE
    channels = int(sys.argv[4]) if len(sys.argv) > 4 else 1
    if mode in ("noise", "noise-effects"):
        good = (noise_passthrough if mode == "noise" else noise_effects)(path, rate, channels)
    else:
        if (rate, channels) != (RATE, 1):
            sys.exit("%s needs 22050 Hz mono sound; use noise or noise-effects" % mode)
        samples, start = load(path)
        if len(samples) - start < RATE:
            print("%s: less than a second of sound came back" % mode)
            return 1
        if mode == "passthrough":
            good = passthrough(samples, start, shifted_runs(open(path, "rb").read(), samples, start))
        else:
            good = effects(samples, start)
    print("verdict:", "no fault seen" if good else "FAULTS SEEN")
    return 0 if good else 1


if __name__ == "__main__":
    sys.exit(main())
