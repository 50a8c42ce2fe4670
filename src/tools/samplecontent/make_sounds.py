#!/usr/bin/env python3
"""Makes the sample game's sounds and music (committed; building needs no tools).

  data/sounds/engine.wav   1 s mono loop: a four-stroke engine at idle; the
      game raises its pitch with the vehicle's speed.
  data/sounds/rain.wav     2 s mono loop: rain, filtered noise with drops.
  data/sounds/birds.wav    4 s mono loop: a few chirps, then quiet; placed in
      the world as a positional sound.
  data/music/theme.ogg     32 s stereo: a calm loop of four chords with bass
      and arpeggio, streamed as background music.

Standard library only, plus the project's `oggencode` (built into
build/bin/ by tools/build) for the music. Run from the repository root:
src/tools/samplecontent/make_sounds.py [--oggencode PATH]
"""

import argparse
import math
import os
import subprocess
import tempfile

from content import Random, write_wave

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__)))))
RATE = 22050


def crossfade_loop(samples, fade):
    """Blends the last `fade` samples into the first ones, so the sound
    loops without a click; the result is `fade` samples shorter."""
    n = len(samples) - fade
    out = samples[:n]
    for i in range(fade):
        t = i / fade
        out[i] = samples[i] * t + samples[n + i] * (1.0 - t)
    return out


def engine():
    # 55 Hz firing, a whole number of cycles per second: the loop is seamless.
    n = RATE
    rng = Random(3)
    noise = [rng.uniform(-1, 1) for _ in range(n)]
    out = []
    low = 0.0
    for i in range(n):
        t = i / RATE
        phase = 2 * math.pi * 55 * t
        tone = (0.55 * math.sin(phase) + 0.3 * math.sin(2 * phase + 0.4) +
                0.18 * math.sin(3 * phase + 1.1) + 0.1 * math.sin(5 * phase))
        # Each firing is a pulse: amplitude follows a sharpened half-speed sine.
        pulse = 0.6 + 0.4 * abs(math.sin(math.pi * 27.5 * t)) ** 3
        low += 0.08 * (noise[i] - low)
        out.append(0.55 * pulse * tone + 0.25 * low)
    return out


def rain():
    n = 2 * RATE + RATE // 4
    rng = Random(5)
    out = []
    low = 0.0
    for _ in range(n):
        white = rng.uniform(-1, 1)
        low += 0.35 * (white - low)
        out.append(0.35 * low + 0.08 * white)
    # Drops: short decaying clicks at random times.
    for _ in range(90):
        at = int(rng.uniform(0, n - 400))
        level = rng.uniform(0.1, 0.35)
        freq = rng.uniform(1500, 4000)
        for k in range(400):
            out[at + k] += level * math.exp(-k / 60.0) * math.sin(2 * math.pi * freq * k / RATE)
    return crossfade_loop(out, RATE // 4)


def birds():
    n = 4 * RATE
    out = [0.0] * n
    rng = Random(7)
    at = int(0.2 * RATE)
    for _ in range(7):
        length = int(rng.uniform(0.06, 0.14) * RATE)
        start = rng.uniform(2200, 3200)
        sweep = rng.uniform(600, 1600) * (1 if rng.uniform() > 0.4 else -1)
        phase = 0.0
        for k in range(length):
            t = k / length
            phase += 2 * math.pi * (start + sweep * t) / RATE
            envelope = math.sin(math.pi * t) ** 2
            out[at + k] += 0.5 * envelope * math.sin(phase)
        at += length + int(rng.uniform(0.04, 0.25) * RATE)
    return out


def music():
    """Four bars a chord, C - Am - F - G, 2 s a bar at 120 beats a minute."""
    seconds = 32
    n = seconds * RATE
    left = [0.0] * n
    right = [0.0] * n
    chords = [(60, 64, 67), (57, 60, 64), (53, 57, 60), (55, 59, 62)]

    def freq(note):
        return 440.0 * 2 ** ((note - 69) / 12.0)

    def add(start, length, f, level, pan, attack=0.02, release=0.3, harmonics=(1.0, 0.3)):
        a = int(start * RATE)
        m = min(int(length * RATE), n - a)
        for k in range(m):
            t = k / RATE
            env = min(1.0, t / attack) * min(1.0, (length - t) / release)
            v = 0.0
            for h, amp in enumerate(harmonics, 1):
                v += amp * math.sin(2 * math.pi * f * h * t)
            v *= level * max(env, 0.0)
            left[a + k] += v * (1.0 - pan)
            right[a + k] += v * pan

    bar = 2.0
    for i in range(seconds // 2):
        chord = chords[(i // 2) % 4]
        start = i * bar
        if i % 2 == 0:
            for j, note in enumerate(chord):  # pad over two bars
                add(start, 2 * bar, freq(note), 0.07, 0.3 + 0.2 * j, attack=0.6, release=0.8)
            add(start, 2 * bar, freq(chord[0] - 24), 0.16, 0.5, attack=0.05, release=0.5,
                harmonics=(1.0, 0.5, 0.2))
        for step in range(8):  # arpeggio in eighths
            note = chord[step % 3] + (12 if step >= 4 else 0)
            add(start + step * 0.25, 0.24, freq(note), 0.05, 0.2 + 0.6 * (step % 2),
                attack=0.005, release=0.2, harmonics=(1.0, 0.15, 0.05))
    peak = max(max(abs(x) for x in left), max(abs(x) for x in right))
    scale = 0.8 / peak
    interleaved = []
    for l, r in zip(left, right):
        interleaved.append(l * scale)
        interleaved.append(r * scale)
    return interleaved


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--oggencode", default=os.path.join(ROOT, "build/bin/oggencode"))
    args = parser.parse_args()
    os.makedirs(os.path.join(ROOT, "data/sounds"), exist_ok=True)
    os.makedirs(os.path.join(ROOT, "data/music"), exist_ok=True)
    write_wave(os.path.join(ROOT, "data/sounds/engine.wav"), engine(), RATE)
    write_wave(os.path.join(ROOT, "data/sounds/rain.wav"), rain(), RATE)
    write_wave(os.path.join(ROOT, "data/sounds/birds.wav"), birds(), RATE)
    with tempfile.TemporaryDirectory() as folder:
        wave = os.path.join(folder, "theme.wav")
        write_wave(wave, music(), RATE, channels=2)
        subprocess.run([args.oggencode, wave, os.path.join(ROOT, "data/music/theme.ogg"), "0.2"],
                       check=True)


if __name__ == "__main__":
    main()
