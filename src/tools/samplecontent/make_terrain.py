#!/usr/bin/env python3
"""Makes the sample game's terrain images (committed; building needs no tools).

  data/terrain/height.png      513 x 513, 16-bit grey: rolling hills in a
      bowl of higher ground, with a flat meadow in the middle where the
      vehicle starts.
  data/textures/grass.png, dirt.png, rock.png   256 x 256 RGB detail
      textures that tile.
  data/textures/grass_atlas.png   256 x 64 RGBA: four columns of grass tufts,
      short to tall, for the foliage's growth states.

Standard library only. Run from the repository root:
src/tools/samplecontent/make_terrain.py
"""

import math
import os

from content import Random, fractal, octaves, write_png

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__)))))
SIZE = 513


def smoothstep(a, b, x):
    t = min(max((x - a) / (b - a), 0.0), 1.0)
    return t * t * (3.0 - 2.0 * t)


def height_at(layers, x, y):
    """0..1 at pixel (x, y)."""
    u = x / (SIZE - 1)
    v = y / (SIZE - 1)
    r = math.hypot(u - 0.5, v - 0.5) * 2.0
    hills = 0.3 + 0.4 * fractal(layers, u * 4.0, v * 4.0)
    rim = 0.4 * smoothstep(0.7, 1.1, r)
    meadow = smoothstep(0.1, 0.3, r)  # 0 in the middle: flat
    return (0.3 + (hills - 0.3) * meadow) + rim


def heightmap():
    layers = octaves(6, 4, seed=11)
    heights = [[height_at(layers, x, y) for x in range(SIZE)] for y in range(SIZE)]
    low = min(min(row) for row in heights)
    high = max(max(row) for row in heights)
    rows = []
    for row in heights:
        out = bytearray()
        for h in row:
            out += int(round((h - low) / (high - low) * 65535)).to_bytes(2, "big")
        rows.append(bytes(out))
    write_png(os.path.join(ROOT, "data/terrain/height.png"), SIZE, SIZE, 1, rows, bits=16)


def detail_texture(name, seed, base, variation, speckle, period=8):
    layers = octaves(4, period, seed)
    fine = octaves(2, 64, seed + 5)
    rng = Random(seed)
    rows = []
    for y in range(256):
        row = bytearray()
        for x in range(256):
            n = fractal(layers, x / 256.0 * period, y / 256.0 * period)
            f = fractal(fine, x / 256.0 * 64, y / 256.0 * 64)
            s = speckle * (rng.uniform() - 0.5)
            for c in range(3):
                value = base[c] + variation[c] * n + 40 * f * variation[c] / 60.0 + s
                row.append(max(0, min(255, int(value))))
        rows.append(bytes(row))
    write_png(os.path.join(ROOT, "data/textures", name), 256, 256, 3, rows)


def grass_atlas():
    """Four 64 x 64 cells; cell i holds tufts of height (i + 1) / 4."""
    width, height = 256, 64
    pixels = [[(0, 0, 0, 0)] * width for _ in range(height)]
    rng = Random(23)
    for cell in range(4):
        tall = (cell + 1) / 4.0
        for _ in range(28):
            x0 = cell * 64 + 6 + rng.uniform() * 52
            lean = (rng.uniform() - 0.5) * 14
            top = height - 1 - (0.45 + 0.55 * rng.uniform()) * tall * (height - 4)
            shade = 0.7 + 0.3 * rng.uniform()
            steps = 64
            for i in range(steps + 1):
                t = i / steps
                y = int(round(height - 1 - t * (height - 1 - top)))
                x = x0 + lean * t * t
                half = 1.6 * (1.0 - t) + 0.3
                for px in range(int(x - half), int(x + half) + 1):
                    if cell * 64 <= px < cell * 64 + 64 and 0 <= y < height:
                        g = int((90 + 110 * t) * shade)
                        pixels[y][px] = (int(g * 0.45), g, int(g * 0.25), 255)
    rows = [bytes(c for p in row for c in p) for row in pixels]
    write_png(os.path.join(ROOT, "data/textures/grass_atlas.png"), width, height, 4, rows)


def main():
    os.makedirs(os.path.join(ROOT, "data/terrain"), exist_ok=True)
    os.makedirs(os.path.join(ROOT, "data/textures"), exist_ok=True)
    heightmap()
    detail_texture("grass.png", 3, (70, 120, 45), (18, 30, 12), 24)
    detail_texture("dirt.png", 5, (115, 88, 60), (25, 20, 15), 30)
    detail_texture("rock.png", 7, (118, 116, 112), (35, 35, 33), 40, period=16)
    grass_atlas()


if __name__ == "__main__":
    main()
