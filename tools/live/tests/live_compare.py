#!/usr/bin/env python3
"""Checks a recording of "Voxotrope microphone" block for block against
voxotrope-render on the sound that was fed into the microphone.

  live_compare.py RENDER SPEECH.raw FED.raw RECORDING.raw WORKDIR [RENDER OPTIONS...]

SPEECH.raw begins and ends with half a second of silence, which the player
may shorten; the comparison runs from the first block that starts after it
to the end. FED.raw is the microphone recorded beside the program: where
the speech is not in it whole, the sandbox lost some of it on the way in
(another process took the CPU) and the check exits 3, to be run again.

The program's blocks start wherever its capture happened to start, so the
grid is found first: every one of the 4000 possible phases of one block of
the speech is rendered (one file, one block each) and looked up in the
recording. Then the speech from the first block boundary on is rendered
whole and must be in the recording sample for sample. Exits 1 on a
difference."""
import array
import os
import subprocess
import sys
import wave

BLOCK = 4000
PAD = 11025  # the silence around the speech


def samples(path):
    data = array.array("h")
    with open(path, "rb") as f:
        data.frombytes(f.read())
    return data


def write_wav(path, data):
    with wave.open(path, "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(22050)
        w.writeframes(data.tobytes())


def render(renderer, options, data, work, name):
    source, target = os.path.join(work, name + "-in.wav"), os.path.join(work, name + "-out.wav")
    write_wav(source, data)
    subprocess.run([renderer, *options, source, target], check=True)
    with wave.open(target, "rb") as w:
        out = array.array("h")
        out.frombytes(w.readframes(w.getnframes()))
    return out


def main():
    renderer, speech_path, fed_path, recording_path, work, *options = sys.argv[1:]
    speech, recording = samples(speech_path), samples(recording_path)
    if samples(fed_path).tobytes().find(speech[PAD:-PAD].tobytes()) < 0:
        print("the speech did not reach the microphone whole")
        return 3
    heard = recording.tobytes()
    # Candidate k: the program's block boundary lies k samples before
    # speech[base + BLOCK], so one of its blocks is speech[base + BLOCK - k:][:BLOCK].
    base = PAD + BLOCK
    candidates = array.array("h")
    for k in range(BLOCK):
        candidates.extend(speech[base + BLOCK - k:base + 2 * BLOCK - k])
    rendered = render(renderer, options, candidates, work, "phases").tobytes()
    found = []
    for k in range(BLOCK):
        at = heard.find(rendered[2 * BLOCK * k:2 * BLOCK * (k + 1)])
        if at >= 0 and at % 2 == 0:
            found.append((k, at // 2))
    if not found:
        print("FAIL: no block of the recording is a rendered block of the speech")
        return 1
    # A block whose cuts fall where both grids leave the sound alone (a
    # silence inside the speech, for Crazy or Triangle) matches at more than
    # one phase: the phase is the one whose whole rendering is in the recording.
    for k, at in found:
        first = PAD + (base + BLOCK - k - PAD) % BLOCK  # the first boundary after the leading silence
        expected = render(renderer, options, speech[first:], work, "whole")
        start = at - (base + BLOCK - k - first)
        got = recording[start:start + len(expected)]
        if start < 0 or len(got) < len(expected):
            verdict = f"FAIL: the recording ends {len(expected) - len(got)} samples early"
            continue
        wrong = [i for i in range(len(expected)) if got[i] != expected[i]]
        if not wrong:
            break
        verdict = f"FAIL: {len(wrong)} of {len(expected)} samples differ, the first at block {wrong[0] // BLOCK}"
    else:
        print(verdict)
        return 1
    print(f"ok: {len(expected)} samples ({len(expected) // BLOCK} blocks) equal, phase {k}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
