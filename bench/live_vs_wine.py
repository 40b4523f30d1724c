#!/usr/bin/env python3
"""Reads the four-channel recording of bench/live_vs_wine.sh and prints, per
path, what came back of the microphone's signal and how late.

  live_vs_wine.py RECORDING.wav SKIP_SECONDS

Channel 0 is the microphone, 1 "Voxotrope microphone" (voxotrope-live), 2
PipeWire's loopback, 3 what the Windows program plays (the speaker's
monitor); all four recorded by one client in the same graph cycles, so the
delay between channel 0 and another is the path's, sample for sample.

At 22050 Hz the signal is bench/signal.py's counter and every output sample
is placed on the input's timeline: after a silence of S samples the timeline
moved by M; S + M > 0 samples of input were lost (replaced by the silence or
skipped), S + M < 0 were played twice, S + M = 0 was a pause (a silence
inserted, the sound goes on later). Gaps: the time silenced or skipped
(M > 0) as a share of the time checked. What the microphone's own counter lost (the feeder
starved) reaches every path alike and is taken off their figures. At other rates (resampled noise) only
the delay is measured, by cross-correlation. Prints one line per path:
"PATH: checked=..s silences=N (..ms) lost=..ms replayed=..ms gaps=..% delay
median=..ms min=.. max=..", where gaps are silences and lost sound as a share
of the time checked. What the microphone's own counter lost (the feeder
starved) reaches every path alike and is taken off their figures."""
import array
import sys
import wave

NAMES = ["voxotrope-live", "pw-loopback", "wine"]


def channels(path):
    with wave.open(path, "rb") as w:
        rate, count = w.getframerate(), w.getnchannels()
        data = array.array("h")
        data.frombytes(w.readframes(w.getnframes()))
    return rate, [data[c::count] for c in range(count)]


def timeline(samples):
    """(position, offset) of every counter run and (position, length) of
    every silence; offset = value - position modulo 65536."""
    runs, silences = [], []
    i, n = 0, len(samples)
    while i < n:
        if samples[i] == 0 and (i + 1 >= n or samples[i + 1] != 1):
            j = i
            while j < n and samples[j] == 0:
                j += 1
            silences.append((i, j - i))
            i = j
            continue
        j = i + 1
        while j < n and (samples[j] - samples[j - 1]) & 0xFFFF == 1:
            j += 1
        runs.append((i, (samples[i] - i) & 0xFFFF, j - i))
        i = j
    return runs, silences


def signed(x):
    return ((x + 32768) & 0xFFFF) - 32768


def counter_faults(samples):
    """Silences (count, samples), lost, replayed and skipped samples of a
    counter against its own timeline."""
    runs, silences = timeline(samples)
    silences = [x for x in silences if runs and x[0] > runs[0][0]]  # not the start
    lost = replayed = skipped = 0
    for (p1, o1, l1), (p2, o2, _) in zip(runs, runs[1:]):
        gap = p2 - (p1 + l1)  # silence between the two runs
        move = signed(o2 - o1)
        net = gap + move      # input samples the output went past
        lost += max(net, 0)
        replayed += max(-net, 0)
        skipped += max(move, 0)
    return runs, [len(silences), sum(n for _, n in silences), lost, replayed, skipped]


def counter_path(name, mic, out, rate, feed=None):
    ref_runs, _ = timeline(mic)
    runs, faults = counter_faults(out)
    if feed:  # what the microphone itself lost reaches every path alike
        faults = [max(f - g, 0) for f, g in zip(faults, feed)]
    silence_count, silent, lost, replayed, skipped = faults
    # Delay: the microphone's offset less the path's, once a second, where
    # both carry the counter.
    delays = []
    ref = {}
    for (p, offset, length) in ref_runs:
        for q in range(p - p % rate + rate if p % rate else p, p + length, rate):
            ref[q] = offset
    for (p, offset, length) in runs:
        for q in range(p - p % rate + rate if p % rate else p, p + length, rate):
            if q in ref:
                delays.append(((ref[q] - offset) & 0xFFFF) / rate * 1000)
    seconds = len(out) / rate
    report(name, seconds, silence_count, silent, lost, replayed, delays, rate, skipped)


def noise_path(name, mic, out, rate):
    import numpy
    a = numpy.array(mic, dtype=numpy.float64)
    b = numpy.array(out, dtype=numpy.float64)
    window, most = 2 * rate, rate  # 2-s pieces, delays up to 1 s
    delays = []
    for start in range(rate, len(b) - window - most, 10 * rate):
        x = a[start:start + window]
        y = b[start:start + window + most]
        size = 1 << (len(y) + len(x)).bit_length()
        corr = numpy.fft.irfft(numpy.fft.rfft(y, size) * numpy.conj(numpy.fft.rfft(x, size)), size)[:most]
        if corr.max() > 0:
            delays.append(int(corr.argmax()) / rate * 1000)
    report(name, len(out) / rate, None, 0, None, None, delays, rate)


def report(name, seconds, silences, silent, lost, replayed, delays, rate, skipped=0):
    ms = lambda n: n / rate * 1000
    delays.sort()
    delay = ("delay median=%.1fms min=%.1f max=%.1f" % (delays[len(delays) // 2], delays[0], delays[-1])
             if delays else "delay unknown")
    if silences is None:
        print("%s: checked=%.1fs %s" % (name, seconds, delay))
        return
    print("%s: checked=%.1fs silences=%d (%.0fms) lost=%.0fms replayed=%.0fms gaps=%.2f%% %s"
          % (name, seconds, silences, ms(silent), ms(lost), ms(replayed),
             100 * (silent + skipped) / (seconds * rate), delay))


def main():
    path, skip = sys.argv[1], float(sys.argv[2])
    rate, chans = channels(path)
    first = int(skip * rate)
    mic = chans[0][first:]
    feed = None
    if rate == 22050:
        feed = counter_faults(mic)[1]
        print("microphone (the feed itself, taken off each path's figures): silences=%d (%.0fms) "
              "lost=%.0fms replayed=%.0fms" % (feed[0], feed[1] / rate * 1000, feed[2] / rate * 1000,
                                               feed[3] / rate * 1000))
    for k, name in enumerate(NAMES, 1):
        out = chans[k][first:]
        if rate == 22050:
            counter_path(name, mic, out, rate, feed)
        else:
            noise_path(name, mic, out, rate)


if __name__ == "__main__":
    main()
