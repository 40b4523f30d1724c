#!/usr/bin/env python3
"""Times clicks where they enter and where they leave the sound server.

Usage: latency_probe.py MODE FEED SPEAKER RATE CHANNELS CLICKS SPACING [options] [-- COMMAND...]

FEED is the FIFO of a pipe source (the virtual microphone), SPEAKER the FIFO
of the pipe sink (the virtual speaker), both at RATE Hz, CHANNELS channels,
s16le. The probe writes FEED itself, in 5-ms pieces paced by the clock, so a
sample enters the server when its piece is written (as a sound card hands
over a period once it has recorded it); it reads SPEAKER, where the server
writes a burst at a time ahead of playing it, so a sample leaves at the time
the burst came plus its place in the burst (LATENCY_DUMP=FILE keeps what it
read). All times are the host's
monotonic raw clock, the one Wine's QueryPerformanceCounter reads.

  program    CLICKS clicks into FEED, SPACING s apart, from the moment the
             file given by --go exists (the caller has started the program
             meanwhile); prints per click the ms from entering to leaving.
             --before CMD runs CMD 0.5 s before each click (to re-anchor
             the program's write position: a mouse move over its window).
  capture    clicks into FEED while COMMAND (voxotrope-soundprobe capture
             SECONDS FILE) records through a capture ring like the
             program's; --captured FILE names its recording. Prints per
             click the ms from the moment the last sample of the click's
             half entered to the moment the probe was signalled.
  playback   COMMAND (voxotrope-soundprobe playback ...) writes bursts 3998
             bytes beyond the output's write cursor; prints per burst the ms
             from the write to leaving, less the 1999 samples of the lead.

The last line is "summary: n=.. min=.. median=.. max=.. lost=..". Exits 1
when no click was timed."""
import argparse
import fcntl
import os
import subprocess
import sys
import termios
import threading
import time
from array import array

PROGRAM_RATE = 22050
HALF = 4000          # samples in a half of the program's capture ring
LEAD = 1999          # samples between the device's write cursor and a block
THRESHOLD = 6000     # the clicks are +-12000
F_SETPIPE_SZ = 1031


def now():
    return time.clock_gettime(time.CLOCK_MONOTONIC_RAW)


class Feed(threading.Thread):
    """Writes FEED in 5-ms pieces on the clock: silence, and a 10-ms click
    of a 1-kHz square wave at every time asked for. Keeps the time each
    click's first sample entered."""

    def __init__(self, path, rate, channels):
        super().__init__(daemon=True)
        self.path, self.rate, self.channels = path, rate, channels
        self.piece = rate // 200
        half = rate // 2000
        click = array("h", [12000 if (i // half) % 2 == 0 else -12000
                            for i in range(2 * self.piece) for _ in range(channels)])
        self.click = [click[:len(click) // 2].tobytes(), click[len(click) // 2:].tobytes()]
        self.silence = bytes(2 * channels * self.piece)
        self.due = []       # times at which clicks are to start
        self.entered = []   # when each click's first sample entered
        self.stop = threading.Event()

    def run(self):
        fd = os.open(self.path, os.O_WRONLY)
        start = now()
        j = 0
        pending = 0  # pieces of the current click still to write
        waiting = array("i", [0])
        while not self.stop.is_set():
            j += 1
            wait = start + j * self.piece / self.rate - now()
            if wait > 0:
                time.sleep(wait)
            # A sound card drops what the server does not take: a server
            # that reads the pipe late (PipeWire reads it once per cycle)
            # must not find a backlog there that would count as latency.
            fcntl.ioctl(fd, termios.FIONREAD, waiting)
            if waiting[0] >= 2 * len(self.silence) and not pending:
                continue
            if not pending and self.due and now() >= self.due[0]:
                self.due.pop(0)
                pending = len(self.click)
            if pending:
                os.write(fd, self.click[len(self.click) - pending])
                if pending == len(self.click):
                    self.entered.append(now() - self.piece / self.rate)
                pending -= 1
            else:
                os.write(fd, self.silence)
        os.close(fd)


class Speaker(threading.Thread):
    """Reads SPEAKER and keeps the time each click left: the time of the
    burst that brought it (a read that had to wait) plus its place in it."""

    def __init__(self, path, rate, channels, spacing):
        super().__init__(daemon=True)
        self.path, self.rate, self.channels = path, rate, channels
        self.gap = int(rate * spacing / 2)
        self.left = []
        self.stop = threading.Event()

    def run(self):
        fd = os.open(self.path, os.O_RDONLY)
        try:
            fcntl.fcntl(fd, F_SETPIPE_SZ, 1 << 20)  # PipeWire drops what does not fit
        except OSError:
            pass
        frame = 2 * self.channels
        dump = open(os.environ["LATENCY_DUMP"], "wb") if os.environ.get("LATENCY_DUMP") else None
        pending = b""
        index = 0      # frames read so far
        burst = None   # (time, frame index) of the last read that waited
        quiet_until = 0
        while not self.stop.is_set():
            asked = now()
            data = os.read(fd, 1 << 16)
            came = now()
            if not data:
                break
            if burst is None or came - asked > 0.0005:
                burst = (came, index)
            if dump:
                dump.write(data)
            data = pending + data
            usable = len(data) // frame * frame
            pending = data[usable:]
            samples = array("h", data[:usable])
            for i in range(0, len(samples), self.channels):
                n = index + i // self.channels
                if n >= quiet_until and abs(samples[i]) > THRESHOLD:
                    self.left.append(burst[0] + (n - burst[1]) / self.rate)
                    quiet_until = n + self.gap
            index += len(samples) // self.channels
        os.close(fd)


def onsets(path, spacing):
    """Sample indices of the clicks in a 22050 Hz mono recording."""
    data = array("h")
    with open(path, "rb") as f:
        data.frombytes(f.read())
    found, quiet_until = [], 0
    for n, v in enumerate(data):
        if n >= quiet_until and abs(v) > THRESHOLD:
            found.append(n)
            quiet_until = n + int(PROGRAM_RATE * spacing / 2)
    return found


def pair(starts, ends, spacing):
    """For each start, the ms to the first end after it (within a spacing
    and a half second), or None."""
    delays = []
    for t in starts:
        after = [e for e in ends if e > t]
        delays.append(1000 * (after[0] - t) if after and after[0] - t < spacing + 0.5 else None)
    return delays


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("mode", choices=["program", "capture", "playback"])
    for name in ("feed", "speaker"):
        parser.add_argument(name)
    parser.add_argument("rate", type=int)
    parser.add_argument("channels", type=int)
    parser.add_argument("clicks", type=int)
    parser.add_argument("spacing", type=float)
    parser.add_argument("--go")
    parser.add_argument("--before")
    parser.add_argument("--captured")
    words = sys.argv[1:]
    cut = words.index("--") if "--" in words else len(words)
    a = parser.parse_args(words[:cut])
    a.command = words[cut + 1:]

    feed = Feed(a.feed, a.rate, a.channels)
    speaker = Speaker(a.speaker, a.rate, a.channels, a.spacing)
    feed.start()
    speaker.start()
    delays = []
    if a.mode == "program":
        while a.go and not os.path.exists(a.go):
            time.sleep(0.05)
        first = now() + 1.0
        for k in range(a.clicks):
            due = first + k * a.spacing
            if a.before:
                time.sleep(max(0, due - 0.5 - now()))
                subprocess.run(a.before, shell=True)
            feed.due.append(due)
        time.sleep(max(0, first + a.clicks * a.spacing + 1.0 - now()))
        delays = pair(feed.entered, speaker.left, a.spacing)
    elif a.mode == "capture":
        job = subprocess.Popen(a.command, stdout=subprocess.PIPE, text=True)
        time.sleep(1.5)
        feed.due.extend(now() + k * a.spacing for k in range(a.clicks))
        lines = [line.split() for line in job.stdout if line.strip()]
        job.wait()
        time.sleep(0.5)
        signals = [float(w[0]) for w in lines]
        if any(int(w[1]) != i % 2 for i, w in enumerate(lines)):
            print("the capture probe missed a signal: its halves do not alternate")
        # A click in half b of the recording at place p waited for the
        # 3999 - p samples after it; the probe was signalled at signals[b].
        for n in onsets(a.captured, a.spacing):
            b, p = divmod(n, HALF)
            entered = [e for e in feed.entered if e < signals[b]] if b < len(signals) else []
            if entered:
                delays.append(1000 * (signals[b] - entered[-1]) - 1000 * (HALF - 1 - p) / PROGRAM_RATE)
    else:
        time.sleep(0.5)
        job = subprocess.run(a.command, stdout=subprocess.PIPE, text=True)
        written = [float(line.split()[0]) for line in job.stdout.splitlines() if line.strip()]
        time.sleep(1.0)
        delays = [d - 1000 * LEAD / PROGRAM_RATE if d is not None else None
                  for d in pair(written, speaker.left, a.spacing)]
    feed.stop.set()
    speaker.stop.set()
    timed = sorted(d for d in delays if d is not None)
    for d in delays:
        print("%.1f" % d if d is not None else "lost")
    if not timed:
        print("summary: n=0 lost=%d" % len(delays))
        return 1
    print("summary: n=%d min=%.1f median=%.1f max=%.1f lost=%d"
          % (len(timed), timed[0], timed[len(timed) // 2], timed[-1], len(delays) - len(timed)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
