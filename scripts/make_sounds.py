#!/usr/bin/env python3
"""Synthesises Lumarq's seven sound cues as short 16-bit mono PCM WAVE files in
resources/sounds/: RSTART (a rising two-note chime), RCLICK (a click), RTICK (a
tick), RPOP (a pop), RSTRUM (a plucked string), REXIT (a falling fade-out) and
RAIR (a breath of filtered noise). Deterministic; standard library only."""
import math
import os
import random
import struct
import wave

RATE = 44100


def envelope(i, n, attack=0.005, release=0.3):
    t = i / RATE
    length = n / RATE
    a = min(1.0, t / attack) if attack > 0 else 1.0
    r = min(1.0, (length - t) / (release * length)) if release > 0 else 1.0
    return max(0.0, a * r)


def tone(seconds, freq_at, harmonics=(1.0,), decay=0.0, attack=0.005, release=0.3):
    n = int(seconds * RATE)
    phase = 0.0
    out = []
    for i in range(n):
        phase += 2 * math.pi * freq_at(i / RATE) / RATE
        v = sum(h * math.sin((k + 1) * phase) for k, h in enumerate(harmonics)) / sum(harmonics)
        v *= envelope(i, n, attack, release) * math.exp(-decay * i / RATE)
        out.append(v)
    return out


def start():
    first = tone(0.15, lambda t: 660.0, (1.0, 0.3), decay=6)
    second = tone(0.2, lambda t: 990.0, (1.0, 0.3), decay=6)
    return first + second


def click():
    rnd = random.Random(7)
    n = int(0.01 * RATE)
    return [rnd.uniform(-1, 1) * math.exp(-i / (0.0015 * RATE)) for i in range(n)]


def tick():
    return tone(0.05, lambda t: 2200.0, decay=90, attack=0.0005, release=0.2)


def pop():
    # A quick downward sweep sounds like a cork.
    return tone(0.03, lambda t: 900.0 - 15000.0 * t, decay=60, attack=0.001, release=0.3)


def strum():
    # Karplus-Strong plucked string.
    rnd = random.Random(11)
    period = int(RATE / 196.0)
    buf = [rnd.uniform(-1, 1) for _ in range(period)]
    out = []
    n = int(0.19 * RATE)
    for i in range(n):
        v = buf[i % period]
        nxt = 0.5 * (v + buf[(i + 1) % period]) * 0.996
        buf[i % period] = nxt
        out.append(v * envelope(i, n, 0.0005, 0.2))
    return out


def exit_fade():
    return tone(2.0, lambda t: 520.0 * (0.5 ** (t / 1.6)), (1.0, 0.4, 0.15), decay=1.2, attack=0.02, release=0.5)


def air():
    rnd = random.Random(3)
    n = int(0.6 * RATE)
    out = []
    low = 0.0
    for i in range(n):
        # One-pole low-pass whose opening swells and closes: a soft whoosh.
        k = 0.02 + 0.25 * math.sin(math.pi * i / n)
        low += k * (rnd.uniform(-1, 1) - low)
        out.append(low * 2.5 * envelope(i, n, 0.05, 0.4))
    return out


def write(name, samples, gain=0.6):
    path = os.path.join(os.path.dirname(__file__), "..", "resources", "sounds", name + ".wav")
    frames = b"".join(struct.pack("<h", int(max(-1.0, min(1.0, s * gain)) * 32767)) for s in samples)
    with wave.open(path, "wb") as f:
        f.setnchannels(1)
        f.setsampwidth(2)
        f.setframerate(RATE)
        f.writeframes(frames)


def main():
    write("RSTART", start())
    write("RCLICK", click())
    write("RTICK", tick())
    write("RPOP", pop())
    write("RSTRUM", strum())
    write("REXIT", exit_fade())
    write("RAIR", air())


if __name__ == "__main__":
    main()
