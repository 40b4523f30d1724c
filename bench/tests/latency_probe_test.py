#!/usr/bin/env python3
"""bench/latency_probe.py against a device pair with a known fixed delay: a
stand-in for the sound server reads the probe's microphone pipe and writes
every sample to the speaker pipe in 10-ms bursts, each burst written as its
first sample falls due, DELAY after that sample came. The probe must time
every click at DELAY, within 1.5 ms and however late the stand-in itself
wrote a burst (a busy machine may hold its thread back) or early it dated
one, and lose none;
run after run. The slowest click may also have been read late by the
probe's own thread: it gets 3.5 ms more, less than the 5-ms piece or the
10-ms burst that a miscounted click would be off by. The stand-in and the
probe run at real-time priority where the system allows it, as the soak
runs its feeders and recorders."""
import os
import subprocess
import sys
import tempfile
import threading
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
PROBE = os.path.join(HERE, "..", "latency_probe.py")
RATE = 22050
BURST = RATE // 100
PIECE = (RATE // 200) / RATE  # the probe's pieces, in seconds
# The probe at real-time priority where allowed, as the soak runs its tools.
REALTIME = ["chrt", "-f", "10"] if subprocess.run(["chrt", "-f", "10", "true"],
                                                  capture_output=True).returncode == 0 else []


def now():
    return time.clock_gettime(time.CLOCK_MONOTONIC_RAW)


def server(feed, speaker, delay, stop, late, early):
    """Copies FEED to SPEAKER, each 10-ms burst written when its first
    sample is DELAY old (a sample's age counts from its 5-ms piece's end,
    less the piece, as the probe counts it). Appends to LATE how many
    seconds after that each burst went out, and to EARLY how much earlier
    than the last read a read dated its first sample: a probe held back
    writes its pieces in a rush, and they read as older than they are."""
    try:  # this thread only, as the sound server's own would be
        os.sched_setscheduler(0, os.SCHED_FIFO, os.sched_param(10))
    except OSError:
        pass
    source = os.open(feed, os.O_RDONLY | os.O_NONBLOCK)
    sink = os.open(speaker, os.O_WRONLY)
    queue = bytearray()
    came = []  # (time the first sample of a read came, samples in it)
    last_read = now()
    while not stop.is_set():
        try:
            data = os.read(source, 1 << 16)
        except BlockingIOError:
            data = b""
        if data:
            first = now() - len(data) / 2 / RATE
            # One piece read as it came is dated a piece back, as the probe
            # dates it; more than that, not past the last read, is early.
            early.append(max(0.0, last_read - first - PIECE))
            came.append((first, len(data) // 2))
            queue += data
        last_read = now()
        while len(queue) >= 2 * BURST and came and now() >= came[0][0] + delay:
            late.append(now() - came[0][0] - delay)
            try:
                os.write(sink, bytes(queue[:2 * BURST]))
            except BrokenPipeError:  # the probe has finished
                return
            del queue[:2 * BURST]
            taken = BURST
            while taken and came:
                first, count = came[0]
                if count > taken:
                    came[0] = (first + taken / RATE, count - taken)
                    taken = 0
                else:
                    came.pop(0)
                    taken -= count
        time.sleep(0.0005)
    os.close(sink)
    os.close(source)


class LatencyProbe(unittest.TestCase):
    def measure(self, delay):
        folder = tempfile.mkdtemp()
        feed, speaker, go = (os.path.join(folder, name) for name in ("feed", "speaker", "go"))
        os.mkfifo(feed)
        os.mkfifo(speaker)
        open(go, "w").close()
        stop = threading.Event()
        late, early = [], [0.0]
        stand_in = threading.Thread(target=server, args=(feed, speaker, delay, stop, late, early),
                                    daemon=True)
        stand_in.start()
        run = subprocess.run([*REALTIME, sys.executable, PROBE, "program", feed, speaker, str(RATE), "1",
                              "6", "0.3", "--go", go], capture_output=True, text=True, timeout=60)
        stop.set()
        line = [l for l in run.stdout.splitlines() if l.startswith("summary: ")]
        self.assertTrue(line, run.stdout + run.stderr)
        return dict(kv.split("=") for kv in line[0].split()[1:]), run.stdout, 1000 * max(late), 1000 * max(early)

    def test_known_delays(self):
        for delay in (0.05, 0.2):
            for _ in range(2):
                figures, text, late_ms, early_ms = self.measure(delay)
                self.assertEqual((figures["n"], figures["lost"]), ("6", "0"), text)
                for key, reader_late in (("min", 0), ("median", 0), ("max", 3.5)):
                    self.assertGreaterEqual(float(figures[key]), 1000 * delay + 0.5 - 1.5 - early_ms, text)
                    self.assertLessEqual(float(figures[key]),
                                         1000 * delay + 0.5 + 1.5 + late_ms + reader_late, text)


if __name__ == "__main__":
    unittest.main()
