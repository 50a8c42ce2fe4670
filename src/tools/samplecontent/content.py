"""Shared pieces of the sample content scripts: the seeded generator, value
noise that tiles, and writers for PNG and wave files (standard library only,
so the scripts run on any Python 3)."""

import math
import struct
import zlib


class Random:
    """A small seeded generator (xorshift32), so every run of a script writes
    the same bytes whatever Python's own generator does."""

    def __init__(self, seed):
        self.state = (seed * 2654435761 + 1) & 0xFFFFFFFF or 1

    def next(self):
        x = self.state
        x ^= (x << 13) & 0xFFFFFFFF
        x ^= x >> 17
        x ^= (x << 5) & 0xFFFFFFFF
        self.state = x
        return x

    def uniform(self, low=0.0, high=1.0):
        return low + (high - low) * (self.next() / 4294967296.0)


class ValueNoise:
    """Smooth noise over a square lattice of `period` cells that wraps, so
    textures made from it tile."""

    def __init__(self, period, seed):
        rng = Random(seed)
        self.period = period
        self.values = [rng.uniform(-1.0, 1.0) for _ in range(period * period)]

    def at(self, x, y):
        p = self.period
        xi = math.floor(x)
        yi = math.floor(y)
        fx = x - xi
        fy = y - yi
        # Smoothstep between lattice values.
        sx = fx * fx * (3.0 - 2.0 * fx)
        sy = fy * fy * (3.0 - 2.0 * fy)
        x0 = xi % p
        y0 = yi % p
        x1 = (x0 + 1) % p
        y1 = (y0 + 1) % p
        v = self.values
        top = v[y0 * p + x0] + (v[y0 * p + x1] - v[y0 * p + x0]) * sx
        bottom = v[y1 * p + x0] + (v[y1 * p + x1] - v[y1 * p + x0]) * sx
        return top + (bottom - top) * sy


def fractal(layers, x, y, gain=0.5):
    """Sum of octaves: layer i is sampled at twice the frequency of layer
    i - 1 with `gain` times its amplitude; about -1..1."""
    total = 0.0
    amplitude = 1.0
    norm = 0.0
    frequency = 1.0
    for layer in layers:
        total += amplitude * layer.at(x * frequency, y * frequency)
        norm += amplitude
        amplitude *= gain
        frequency *= 2.0
    return total / norm


def octaves(count, period, seed):
    """Noise layers for `fractal`, each with a lattice twice as fine."""
    return [ValueNoise(period << i, seed + 97 * i) for i in range(count)]


def write_png(path, width, height, channels, rows, bits=8):
    """`rows` yields one bytes object per row (big-endian samples for 16
    bits). Each row is stored with the "up" filter, which suits smooth data."""
    colour_type = {1: 0, 2: 4, 3: 2, 4: 6}[channels]
    stride = width * channels * bits // 8
    raw = bytearray()
    previous = bytes(stride)
    for row in rows:
        assert len(row) == stride
        raw.append(2)
        raw.extend((a - b) & 0xFF for a, b in zip(row, previous))
        previous = row
    assert len(raw) == height * (stride + 1)

    def chunk(kind, body):
        return (struct.pack(">I", len(body)) + kind + body +
                struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF))

    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n")
        f.write(chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, bits, colour_type, 0, 0, 0)))
        f.write(chunk(b"IDAT", zlib.compress(bytes(raw), 9)))
        f.write(chunk(b"IEND", b""))


def write_wave(path, samples, rate, channels=1):
    """16-bit PCM; `samples` are floats in -1..1, interleaved when stereo."""
    data = struct.pack("<%dh" % len(samples),
                       *(max(-32767, min(32767, int(s * 32767.0))) for s in samples))
    fmt = struct.pack("<HHIIHH", 1, channels, rate, rate * channels * 2, channels * 2, 16)
    with open(path, "wb") as f:
        f.write(b"RIFF" + struct.pack("<I", 4 + 8 + len(fmt) + 8 + len(data)) + b"WAVE")
        f.write(b"fmt " + struct.pack("<I", len(fmt)) + fmt)
        f.write(b"data" + struct.pack("<I", len(data)) + data)
