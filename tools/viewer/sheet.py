#!/usr/bin/env python3
"""Puts four equally sized PNG images (the viewer's shots) into one 2 x 2
sheet: sheet.py OUT.png A.png B.png C.png D.png. Reads and writes 8-bit RGB
and RGBA PNG files without interlacing, with the standard library only."""

import struct
import sys
import zlib


def read_png(path):
    with open(path, "rb") as f:
        data = f.read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise ValueError(path + " is not a PNG file")
    pos, idat, header = 8, b"", None
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        pos += 12 + length
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            idat += body
    width, height, depth, colour, _, _, interlace = header
    if depth != 8 or colour not in (2, 6) or interlace:
        raise ValueError(path + ": only 8-bit RGB or RGBA PNG files without interlacing")
    channels = 3 if colour == 2 else 4
    stride = width * channels
    raw = zlib.decompress(idat)
    rows, previous = [], bytearray(stride)
    for y in range(height):
        kind = raw[y * (stride + 1)]
        line = bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            left = line[i - channels] if i >= channels else 0
            up = previous[i]
            corner = previous[i - channels] if i >= channels else 0
            if kind == 1:
                line[i] = (line[i] + left) & 255
            elif kind == 2:
                line[i] = (line[i] + up) & 255
            elif kind == 3:
                line[i] = (line[i] + (left + up) // 2) & 255
            elif kind == 4:
                p = left + up - corner
                pa, pb, pc = abs(p - left), abs(p - up), abs(p - corner)
                pred = left if pa <= pb and pa <= pc else (up if pb <= pc else corner)
                line[i] = (line[i] + pred) & 255
        rgb = bytearray()
        for x in range(width):
            rgb += line[x * channels:x * channels + 3]
        rows.append(bytes(rgb))
        previous = line
    return width, height, rows


def write_png(path, width, height, rows):
    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(
            ">I", zlib.crc32(kind + body) & 0xFFFFFFFF)

    raw = b"".join(b"\x00" + row for row in rows)
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n")
        f.write(chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)))
        f.write(chunk(b"IDAT", zlib.compress(raw, 9)))
        f.write(chunk(b"IEND", b""))


def main():
    if len(sys.argv) != 6:
        sys.exit("usage: sheet.py OUT.png A.png B.png C.png D.png")
    images = [read_png(p) for p in sys.argv[2:]]
    width, height = images[0][0], images[0][1]
    if any(w != width or h != height for w, h, _ in images):
        sys.exit("sheet.py: the images differ in size")
    rows = []
    for left, right in ((0, 1), (2, 3)):
        for y in range(height):
            rows.append(images[left][2][y] + images[right][2][y])
    write_png(sys.argv[1], width * 2, height * 2, rows)


if __name__ == "__main__":
    main()
