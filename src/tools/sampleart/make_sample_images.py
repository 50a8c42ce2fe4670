#!/usr/bin/python3
"""Draws the images of the sample game (committed; building needs no tools).

  data/textures/logo.png  128 x 128 RGBA: a ring with a colour gradient
      on a transparent ground, used as the sample's overlay image.

Needs Python 3 with PIL (Debian: python3-pil). Run from the repository
root: src/tools/sampleart/make_sample_images.py
"""

import math
import os
import sys

from PIL import Image


def make_logo(path):
    size = 128
    image = Image.new("RGBA", (size, size), (0, 0, 0, 0))
    pixels = image.load()
    centre = (size - 1) / 2.0
    for y in range(size):
        for x in range(size):
            dx = x - centre
            dy = y - centre
            radius = math.hypot(dx, dy)
            # A ring between radius 38 and 60 with soft edges, and a dot.
            ring = min(max(0.0, min(radius - 38.0, 60.0 - radius) + 1.0), 1.0)
            dot = min(max(0.0, 16.0 - radius + 1.0), 1.0)
            coverage = max(ring, dot)
            if coverage <= 0.0:
                continue
            angle = (math.atan2(dy, dx) + math.pi) / (2.0 * math.pi)
            red = int(255 * (0.5 + 0.5 * math.cos(2 * math.pi * angle)))
            green = int(255 * (0.5 + 0.5 * math.cos(2 * math.pi * (angle - 1 / 3))))
            blue = int(255 * (0.5 + 0.5 * math.cos(2 * math.pi * (angle - 2 / 3))))
            if dot >= ring:
                red, green, blue = 255, 255, 255
            pixels[x, y] = (red, green, blue, int(255 * coverage))
    image.save(path, optimize=True)


def main():
    make_logo(os.path.join(os.getcwd(), "data/textures/logo.png"))
    return 0


if __name__ == "__main__":
    sys.exit(main())
