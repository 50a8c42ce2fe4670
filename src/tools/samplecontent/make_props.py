#!/usr/bin/env python3
"""Makes the textures of the sample game's props (committed; building needs
no tools): small images, since the props are plain shapes.

  data/textures/paint.png   64 x 64: the vehicle's red paint, slightly mottled.
  data/textures/glass.png   16 x 16: dark blue-grey windows.
  data/textures/tyre.png    64 x 64: black rubber with tread bands.
  data/textures/wood.png    128 x 128: planks for the hut and the ramp.
  data/textures/sky.png     8 x 256: the sky from the horizon (bottom row,
      hazy) to the zenith (top row, deep blue), for the sky dome.
  data/textures/lamp.png    16 x 16: the lamp's glowing glass.

Standard library only. Run from the repository root:
src/tools/samplecontent/make_props.py
"""

import os

from content import Random, fractal, octaves, write_png

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__)))))


def image(name, width, height, colour_at):
    rows = []
    for y in range(height):
        row = bytearray()
        for x in range(width):
            row.extend(max(0, min(255, int(c))) for c in colour_at(x, y))
        rows.append(bytes(row))
    write_png(os.path.join(ROOT, "data/textures", name), width, height, 3, rows)


def main():
    mottle = octaves(3, 4, seed=31)
    image("paint.png", 64, 64,
          lambda x, y: [v * (1.0 + 0.08 * fractal(mottle, x / 16.0, y / 16.0))
                        for v in (185, 32, 28)])
    image("glass.png", 16, 16, lambda x, y: (40, 55, 70))
    image("tyre.png", 64, 64,
          lambda x, y: (18, 18, 20) if (x // 4) % 3 else (40, 40, 42))
    grain = octaves(3, 8, seed=37)
    rng = Random(41)
    plank_shade = [0.85 + 0.3 * rng.uniform() for _ in range(8)]

    def wood(x, y):
        plank = y // 16
        edge = 0.55 if y % 16 == 0 else 1.0
        g = 1.0 + 0.12 * fractal(grain, x / 6.0, y / 40.0 + plank * 3.1)
        s = plank_shade[plank] * edge * g
        return (140 * s, 98 * s, 60 * s)

    image("wood.png", 128, 128, wood)

    def sky(x, y):
        t = 1.0 - y / 255.0  # 0 at the top row (zenith) ... 1 at the horizon
        top = (40, 90, 190)
        horizon = (190, 210, 230)
        k = t ** 2.2
        return [a + (b - a) * k for a, b in zip(top, horizon)]

    image("sky.png", 8, 256, sky)
    image("lamp.png", 16, 16, lambda x, y: (255, 225, 150))


if __name__ == "__main__":
    main()
