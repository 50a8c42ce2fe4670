// Decoding of DXT1, DXT3 and DXT5 levels to 8-bit RGBA pixels.

#include <cstring>

#include "base/image/Image.h"

namespace {

void expand565(uint16_t colour, uint8_t* rgb) {
    uint32_t r = (colour >> 11) & 31;
    uint32_t g = (colour >> 5) & 63;
    uint32_t b = colour & 31;
    rgb[0] = static_cast<uint8_t>((r << 3) | (r >> 2));
    rgb[1] = static_cast<uint8_t>((g << 2) | (g >> 4));
    rgb[2] = static_cast<uint8_t>((b << 3) | (b >> 2));
}

uint8_t mix(uint32_t a, uint32_t b, uint32_t weightA, uint32_t weightB, uint32_t total) {
    return static_cast<uint8_t>((a * weightA + b * weightB + total / 2) / total);
}

// The 16 pixels of one block, row by row, four bytes each. With
// `punchThrough` (DXT1) a block whose first endpoint is not greater than the
// second has three colours and a transparent black.
void decodeColours(const uint8_t* block, bool punchThrough, uint8_t out[64]) {
    uint16_t c0 = static_cast<uint16_t>(block[0] | block[1] << 8);
    uint16_t c1 = static_cast<uint16_t>(block[2] | block[3] << 8);
    uint8_t palette[4][4] = {};
    expand565(c0, palette[0]);
    expand565(c1, palette[1]);
    palette[0][3] = palette[1][3] = palette[2][3] = palette[3][3] = 255;
    for (int c = 0; c < 3; ++c) {
        if (c0 > c1 || !punchThrough) {
            palette[2][c] = mix(palette[0][c], palette[1][c], 2, 1, 3);
            palette[3][c] = mix(palette[0][c], palette[1][c], 1, 2, 3);
        } else {
            palette[2][c] = mix(palette[0][c], palette[1][c], 1, 1, 2);
            palette[3][c] = 0;
        }
    }
    if (punchThrough && c0 <= c1) {
        palette[3][3] = 0;
    }
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 4; ++x) {
            int index = (block[4 + y] >> (2 * x)) & 3;
            std::memcpy(out + (y * 4 + x) * 4, palette[index], 4);
        }
    }
}

void decodeExplicitAlpha(const uint8_t* block, uint8_t out[64]) {
    for (int i = 0; i < 16; ++i) {
        uint32_t nibble = (block[i / 2] >> (4 * (i % 2))) & 15;
        out[i * 4 + 3] = static_cast<uint8_t>(nibble * 17);
    }
}

void decodeInterpolatedAlpha(const uint8_t* block, uint8_t out[64]) {
    uint32_t a0 = block[0];
    uint32_t a1 = block[1];
    uint8_t values[8] = {static_cast<uint8_t>(a0), static_cast<uint8_t>(a1)};
    if (a0 > a1) {
        for (uint32_t i = 1; i < 7; ++i) {
            values[i + 1] = mix(a0, a1, 7 - i, i, 7);
        }
    } else {
        for (uint32_t i = 1; i < 5; ++i) {
            values[i + 1] = mix(a0, a1, 5 - i, i, 5);
        }
        values[6] = 0;
        values[7] = 255;
    }
    uint64_t bits = 0;
    for (int i = 0; i < 6; ++i) {
        bits |= static_cast<uint64_t>(block[2 + i]) << (8 * i);
    }
    for (int i = 0; i < 16; ++i) {
        out[i * 4 + 3] = values[(bits >> (3 * i)) & 7];
    }
}

}  // namespace

namespace ImageUtil {

void decodeDxtLevel(const uint8_t* level, uint32_t width, uint32_t height, PixelFormat format,
                    uint8_t* rgba) {
    bool dxt1 = format == PF_DXT1 || format == PF_DXT1_A;
    size_t blockBytes = dxt1 ? 8 : 16;
    uint32_t blocksWide = (width + 3) / 4;
    uint32_t blocksHigh = (height + 3) / 4;
    uint8_t pixels[64];
    for (uint32_t by = 0; by < blocksHigh; ++by) {
        for (uint32_t bx = 0; bx < blocksWide; ++bx) {
            const uint8_t* block = level + (static_cast<size_t>(by) * blocksWide + bx) * blockBytes;
            decodeColours(dxt1 ? block : block + 8, dxt1, pixels);
            if (format == PF_DXT3) {
                decodeExplicitAlpha(block, pixels);
            } else if (format == PF_DXT5) {
                decodeInterpolatedAlpha(block, pixels);
            }
            // Blocks at the right and bottom edges hold pixels past the level.
            for (uint32_t y = 0; y < 4 && by * 4 + y < height; ++y) {
                for (uint32_t x = 0; x < 4 && bx * 4 + x < width; ++x) {
                    size_t at = (static_cast<size_t>(by * 4 + y) * width + bx * 4 + x) * 4;
                    std::memcpy(rgba + at, pixels + (y * 4 + x) * 4, 4);
                }
            }
        }
    }
}

}  // namespace ImageUtil
