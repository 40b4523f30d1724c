#!/usr/bin/env python3
"""Times clicks from the virtual microphone to the virtual speaker.

Usage: latency_probe.py FIFO SINK CLICKS SPACING
Writes CLICKS short bursts, SPACING seconds apart, into a WAV file, plays it
into the PulseAudio sink SINK with paplay while it reads what the speaker
plays from FIFO, and times every burst by the clock of the read that brought
it: the sample's time is the read's time less the samples still behind it
in that read. Prints one delay per burst in milliseconds, from the moment
paplay was started plus the burst's place in the file."""
import os
import subprocess
import sys
import tempfile
import threading
import time
import wave
from array import array

RATE = 22050
BURST = 220  # 10 ms of full-scale square wave: an onset no effect-free path blurs
THRESHOLD = 8000


def make_clicks(path, clicks, spacing):
    samples = array("h", bytes(2 * int(RATE * (1.0 + clicks * spacing))))
    starts = []
    for k in range(clicks):
        start = int(RATE * (0.5 + k * spacing))
        starts.append(start)
        for i in range(BURST):
            samples[start + i] = 20000 if (i // 11) % 2 == 0 else -20000
    with wave.open(path, "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(RATE)
        w.writeframes(samples.tobytes())
    return starts


def main():
    fifo, sink, clicks, spacing = sys.argv[1], sys.argv[2], int(sys.argv[3]), float(sys.argv[4])
    folder = tempfile.mkdtemp()
    path = os.path.join(folder, "clicks.wav")
    starts = make_clicks(path, clicks, spacing)

    onsets = []  # monotonic times of the bursts heard
    stop = threading.Event()

    def listen():
        fd = os.open(fifo, os.O_RDONLY)
        heard = 0  # samples read so far
        quiet_until = 0
        pending = b""
        while not stop.is_set():
            data = os.read(fd, 4096)
            now = time.monotonic()
            data = pending + data
            usable = len(data) // 2 * 2
            pending = data[usable:]
            block = array("h", data[:usable])
            for i, v in enumerate(block):
                if heard + i >= quiet_until and abs(v) > THRESHOLD:
                    onsets.append(now - (len(block) - i) / RATE)
                    quiet_until = heard + i + int(RATE * spacing / 2)
            heard += len(block)
        os.close(fd)

    reader = threading.Thread(target=listen, daemon=True)
    reader.start()
    time.sleep(1.0)  # whatever was waiting in the pipe has been read
    onsets.clear()
    began = time.monotonic()
    subprocess.run(["paplay", "--latency-msec=20", "-d", sink, path], check=True)
    time.sleep(2.0)  # the last burst is still on its way
    stop.set()

    fed = [began + s / RATE for s in starts]
    for t in fed:
        after = [o for o in onsets if o > t]
        if after and after[0] - t < spacing / 2 + 0.5:
            print(f"{1000 * (after[0] - t):.0f}")
        else:
            print("lost")
    os.remove(path)
    os.rmdir(folder)


if __name__ == "__main__":
    main()
