#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "LogCapture.h"
#include "base/image/Image.h"

namespace {

constexpr uint32_t kFourCC = 0x4;
constexpr uint32_t kRGB = 0x40;
constexpr uint32_t kAlpha = 0x1;
constexpr uint32_t kComplex = 0x8;
constexpr uint32_t kMipmap = 0x400000;
constexpr uint32_t kCube = 0x200;

struct Header {
    const char* magic = "DDS ";
    uint32_t width = 8;
    uint32_t height = 8;
    uint32_t mipmapCount = 0;
    uint32_t pixelFlags = kFourCC;
    const char* fourCC = "DXT1";
    uint32_t bitCount = 0;
    uint32_t masks[4] = {0, 0, 0, 0};  // r, g, b, a
    uint32_t caps = 0;
    uint32_t caps2 = 0;
};

void putU32(std::string& file, size_t offset, uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        file[offset + i] = static_cast<char>(value >> (8 * i));
    }
}

// A file with the header and `dataBytes` bytes counting up after it.
std::string makeDds(const Header& h, size_t dataBytes) {
    std::string file(128 + dataBytes, '\0');
    std::memcpy(file.data(), h.magic, 4);
    putU32(file, 4, 124);
    putU32(file, 12, h.height);
    putU32(file, 16, h.width);
    putU32(file, 28, h.mipmapCount);
    putU32(file, 76, 32);
    putU32(file, 80, h.pixelFlags);
    std::memcpy(file.data() + 84, h.fourCC, 4);
    putU32(file, 88, h.bitCount);
    for (int i = 0; i < 4; ++i) {
        putU32(file, 92 + 4 * i, h.masks[i]);
    }
    putU32(file, 108, h.caps);
    putU32(file, 112, h.caps2);
    for (size_t i = 0; i < dataBytes; ++i) {
        file[128 + i] = static_cast<char>(i * 7 + 1);
    }
    return file;
}

Image read(const std::string& file, bool lowerLeft = false) {
    return ImageUtil::readDds(reinterpret_cast<const uint8_t*>(file.data()), file.size(), "t.dds",
                              lowerLeft);
}

Header rgb(uint32_t bits, uint32_t r, uint32_t g, uint32_t b, uint32_t a) {
    Header h;
    h.pixelFlags = kRGB | (a != 0 ? kAlpha : 0);
    h.fourCC = "\0\0\0\0";
    h.bitCount = bits;
    h.masks[0] = r;
    h.masks[1] = g;
    h.masks[2] = b;
    h.masks[3] = a;
    return h;
}

Header dxt(const char* code) {
    Header h;
    h.fourCC = code;
    return h;
}

struct HeaderCase {
    const char* label;
    Header header;
    size_t dataBytes;
    bool valid;
    int channels;
    int format;
    std::string log;
};

TEST(DdsReader, HeaderTable) {
    const uint32_t kR8 = 0xFF0000, kG8 = 0xFF00, kB8 = 0xFF, kA8 = 0xFF000000;
    const std::string unsupported = "'t.dds' has unsupported pixel format ";
    Header lowerMagic = dxt("DXT1");
    lowerMagic.magic = "dds ";
    Header badMagic = dxt("DXT1");
    badMagic.magic = "PNG!";
    Header noRgb = rgb(24, kR8, kG8, kB8, 0);
    noRgb.pixelFlags = 0;
    Header alpha24 = rgb(24, kR8, kG8, kB8, 0);
    alpha24.pixelFlags |= kAlpha;
    Header zeroWidth = dxt("DXT1");
    zeroWidth.width = 0;
    const HeaderCase cases[] = {
        {"DXT1", dxt("DXT1"), 32, true, 4, IF_DXT1, ""},
        {"DXT3", dxt("DXT3"), 64, true, 4, IF_DXT3, ""},
        {"DXT5", dxt("DXT5"), 64, true, 4, IF_DXT5, ""},
        {"lower-case magic", lowerMagic, 32, true, 4, IF_DXT1, ""},
        {"BGRA", rgb(32, kR8, kG8, kB8, kA8), 256, true, 4, IF_BGRA, ""},
        {"RGBA", rgb(32, kB8, kG8, kR8, kA8), 256, true, 4, IF_RGBA, ""},
        {"BGR", rgb(24, kR8, kG8, kB8, 0), 192, true, 3, IF_BGR, ""},
        {"RGB", rgb(24, kB8, kG8, kR8, 0), 192, true, 3, IF_RGB, ""},
        {"DXT2", dxt("DXT2"), 64, false, 0, 0,
         "'t.dds' has an invalid dxt format, only DXT1, DXT3 and DXT5 are support.\n"},
        {"neither code nor RGB", noRgb, 192, false, 0, 0, unsupported + "(Unknow format)\n"},
        {"A2R10G10B10", rgb(32, 0x3FF00000, 0xFFC00, 0x3FF, 0xC0000000), 256, false, 0, 0,
         unsupported + "DDS_A2R10G10B10\n"},
        {"A1R5G5B5", rgb(16, 0x7C00, 0x3E0, 0x1F, 0x8000), 128, false, 0, 0,
         unsupported + "DDS_A1R5G5B5\n"},
        {"A4R4G4B4", rgb(16, 0xF00, 0xF0, 0xF, 0xF000), 128, false, 0, 0,
         unsupported + "DDS_A4R4G4B4\n"},
        {"24-bit with alpha", alpha24, 192, false, 0, 0, unsupported + "(Unknow format)\n"},
        {"X8R8G8B8", rgb(32, kR8, kG8, kB8, 0), 256, false, 0, 0, unsupported + "DDS_X8R8G8B8\n"},
        {"R5G6B5", rgb(16, 0xF800, 0x7E0, 0x1F, 0), 128, false, 0, 0, unsupported + "DDS_R5G6B5\n"},
        {"8-bit", rgb(8, 0xE0, 0x1C, 0x3, 0), 64, false, 0, 0, unsupported + "(Unknow format)\n"},
        {"bad magic", badMagic, 32, false, 0, 0,
         "'t.dds' is an invalid DDS file. Header code: 'PNG!'\n"},
        {"data one byte short", dxt("DXT1"), 31, false, 0, 0,
         "Error loading 't.dds': Corrupt dds image file.\n"},
        {"zero width", zeroWidth, 32, false, 0, 0,
         "Error loading 't.dds': Corrupt dds image file.\n"},
    };
    for (const HeaderCase& c : cases) {
        SCOPED_TRACE(c.label);
        LogCapture log;
        Image image = read(makeDds(c.header, c.dataBytes));
        EXPECT_EQ(image.valid, c.valid);
        EXPECT_EQ(log.text(), c.log);
        if (c.valid) {
            EXPECT_EQ(image.channels, c.channels);
            EXPECT_EQ(image.format, c.format);
            EXPECT_EQ(image.componentType, ICT_UNSIGNED_BYTE);
            EXPECT_EQ(image.width, 8u);
            EXPECT_EQ(image.data.size(), c.dataBytes);
            EXPECT_EQ(image.data[0], 1);
        }
    }
}

TEST(DdsReader, ShortFilesAreRefusedSilently) {
    std::string file = makeDds(dxt("DXT1"), 0);
    LogCapture log;
    EXPECT_FALSE(read(file.substr(0, 127)).valid);
    EXPECT_EQ(log.text(), "");
}

TEST(DdsReader, MipChainsAndCubeMaps) {
    struct Case {
        const char* label;
        uint32_t mipmapCount;
        uint32_t caps;
        uint32_t caps2;
        uint32_t mipCount;
        bool cubeMap;
        size_t dataBytes;  // 8×8 DXT1: 32, 8, 8, 8 bytes for 8, 4, 2, 1
    };
    const Case cases[] = {
        {"count 1 with cap", 1, kMipmap, 0, 0, false, 32},
        {"count 4 with cap", 4, kMipmap, 0, 3, false, 56},
        {"count 4 without cap", 4, 0, 0, 0, false, 32},
        {"cube map", 0, kComplex, kCube, 0, true, 6 * 32},
        {"cube map with mips", 2, kComplex | kMipmap, kCube, 1, true, 6 * 40},
        {"cube bit without complex cap", 0, 0, kCube, 0, false, 32},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        Header h = dxt("DXT1");
        h.mipmapCount = c.mipmapCount;
        h.caps = c.caps;
        h.caps2 = c.caps2;
        Image image = read(makeDds(h, c.dataBytes + 16));
        ASSERT_TRUE(image.valid);
        EXPECT_EQ(image.mipCount, c.mipCount);
        EXPECT_EQ(image.cubeMap, c.cubeMap);
        EXPECT_EQ(image.data.size(), c.dataBytes);
        // One byte short of the chain is a corrupt file.
        LogCapture log;
        EXPECT_FALSE(read(makeDds(h, c.dataBytes - 1)).valid);
        EXPECT_NE(log.text().find("Corrupt dds image file"), std::string::npos);
    }
}

TEST(DdsReader, HugeMipCountIsCorruptNotEndless) {
    Header h = dxt("DXT1");
    h.mipmapCount = 0xFFFFFFFFu;
    h.caps = kMipmap;
    LogCapture log;
    EXPECT_FALSE(read(makeDds(h, 4096)).valid);
    EXPECT_NE(log.text().find("Corrupt dds image file"), std::string::npos);
}

// Sizes whose products or sums pass 2^64 are corrupt, never a valid image
// with no data or a flip outside the buffer (both row orders).
TEST(DdsReader, SizesThatWrapAreCorrupt) {
    Header bgra = rgb(32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000);
    struct Case {
        const char* label;
        Header header;
        uint32_t width, height, mipmapCount, caps, caps2;
    };
    const Case cases[] = {
        {"BGRA max × max", bgra, 0xFFFFFFFFu, 0xFFFFFFFFu, 0, 0, 0},
        {"DXT5 max × max", dxt("DXT5"), 0xFFFFFFFFu, 0xFFFFFFFFu, 0, 0, 0},
        {"BGRA wraps to 64 bytes", bgra, 0x80020004u, 0x7FFE0004u, 0, 0, 0},
        {"DXT1 cube max × max with mips", dxt("DXT1"), 0xFFFFFFFFu, 0xFFFFFFFFu, 33,
         kMipmap | kComplex, kCube},
        {"33 levels of 1 × 1", dxt("DXT1"), 1, 1, 34, kMipmap, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        Header h = c.header;
        h.width = c.width;
        h.height = c.height;
        h.mipmapCount = c.mipmapCount;
        h.caps = c.caps;
        h.caps2 = c.caps2;
        for (bool lowerLeft : {false, true}) {
            LogCapture log;
            EXPECT_FALSE(read(makeDds(h, 4096), lowerLeft).valid);
            EXPECT_EQ(log.text(), "Error loading 't.dds': Corrupt dds image file.\n");
        }
    }
}

TEST(DdsReader, UncompressedFlipSwapsRows) {
    Header h = rgb(24, 0xFF0000, 0xFF00, 0xFF, 0);
    h.width = 2;
    h.height = 3;
    std::string file = makeDds(h, 18);
    Image top = read(file, false);
    Image bottom = read(file, true);
    ASSERT_TRUE(top.valid && bottom.valid);
    for (int row = 0; row < 3; ++row) {
        EXPECT_EQ(0, std::memcmp(&top.data[row * 6], &bottom.data[(2 - row) * 6], 6));
    }
}

// What a DXT block says about one pixel: its block's endpoints (colour and,
// for DXT5, alpha) and the pixel's colour index and alpha value or index.
struct Texel {
    uint32_t endpoints;
    uint64_t alphaEndpoints;
    int colourIndex;
    int alpha;
    bool operator==(const Texel&) const = default;
};

int blockBytes(int format) {
    return format == IF_DXT1 ? 8 : 16;
}

std::vector<Texel> decode(const uint8_t* level, uint32_t width, uint32_t height, int format) {
    std::vector<Texel> texels(width * height);
    uint32_t blocksWide = (width + 3) / 4;
    for (uint32_t y = 0; y < height; ++y) {
        for (uint32_t x = 0; x < width; ++x) {
            const uint8_t* block = level + ((y / 4) * blocksWide + x / 4) * blockBytes(format);
            int px = x % 4, py = y % 4;
            Texel t{};
            const uint8_t* colour = format == IF_DXT1 ? block : block + 8;
            std::memcpy(&t.endpoints, colour, 4);
            t.colourIndex = (colour[4 + py] >> (2 * px)) & 3;
            if (format == IF_DXT3) {
                uint16_t row = static_cast<uint16_t>(block[2 * py] | block[2 * py + 1] << 8);
                t.alpha = (row >> (4 * px)) & 0xF;
            } else if (format == IF_DXT5) {
                uint64_t bits = 0;
                for (int i = 0; i < 6; ++i) {
                    bits |= static_cast<uint64_t>(block[2 + i]) << (8 * i);
                }
                t.alphaEndpoints = block[0] | block[1] << 8;
                t.alpha = static_cast<int>((bits >> (3 * (4 * py + px))) & 7);
            }
            texels[y * width + x] = t;
        }
    }
    return texels;
}

std::vector<Texel> flipRows(const std::vector<Texel>& texels, uint32_t width, uint32_t height) {
    std::vector<Texel> flipped(texels.size());
    for (uint32_t y = 0; y < height; ++y) {
        for (uint32_t x = 0; x < width; ++x) {
            flipped[(height - 1 - y) * width + x] = texels[y * width + x];
        }
    }
    return flipped;
}

// Every level of a random 8×16 chain (down to 1×1, so the levels under
// four rows are covered) decodes after the flip to the decoded original
// turned upside down.
TEST(DdsReader, DxtFlipMatchesFlippedDecode) {
    for (const char* code : {"DXT1", "DXT3", "DXT5"}) {
        SCOPED_TRACE(code);
        Header h = dxt(code);
        h.width = 8;
        h.height = 16;
        h.mipmapCount = 5;  // 8×16, 4×8, 2×4, 1×2, 1×1
        h.caps = kMipmap;
        std::string file = makeDds(h, 4096);
        std::mt19937 random(7);
        for (size_t i = 128; i < file.size(); ++i) {
            file[i] = static_cast<char>(random());
        }
        Image original = read(file, false);
        Image flipped = read(file, true);
        ASSERT_TRUE(original.valid && flipped.valid);
        int format = original.format;
        PixelFormat sizing = ImageUtil::getSizingFormat(original);
        size_t offset = 0;
        uint32_t w = 8, hgt = 16;
        for (uint32_t level = 0; level <= original.mipCount; ++level) {
            SCOPED_TRACE(level);
            std::vector<Texel> expected =
                flipRows(decode(&original.data[offset], w, hgt, format), w, hgt);
            EXPECT_EQ(decode(&flipped.data[offset], w, hgt, format), expected);
            offset += PixelFormatUtil::getMemorySize(w, hgt, sizing);
            w = w > 1 ? w / 2 : 1;
            hgt = hgt > 1 ? hgt / 2 : 1;
        }
        EXPECT_EQ(offset, original.data.size());
    }
}

// Encodes random pixels exactly: every block uses only its two endpoint
// colours (and, for DXT5, its two endpoint alphas), so the RGBA source that
// the test keeps is what the block means. Returns the level's blocks.
std::string encodeExactLevel(uint32_t width, uint32_t height, bool dxt5, std::mt19937& random,
                             std::vector<uint8_t>& source) {
    auto expand = [](uint32_t v, int bits) {
        return static_cast<uint8_t>(bits == 5 ? (v << 3) | (v >> 2) : (v << 2) | (v >> 4));
    };
    uint32_t blocksWide = (width + 3) / 4, blocksHigh = (height + 3) / 4;
    source.assign(size_t{width} * height * 4, 0);
    std::string blocks;
    for (uint32_t by = 0; by < blocksHigh; ++by) {
        for (uint32_t bx = 0; bx < blocksWide; ++bx) {
            // Four-colour mode needs the first endpoint above the second.
            uint16_t c0 = static_cast<uint16_t>(random() | 0x8000);
            uint16_t c1 = static_cast<uint16_t>(random() & 0x7FFF);
            uint8_t a0 = static_cast<uint8_t>(random() | 0x80),
                    a1 = static_cast<uint8_t>(random() & 0x7F);
            std::string block(dxt5 ? 16 : 8, '\0');
            size_t colour = dxt5 ? 8 : 0;
            block[colour] = static_cast<char>(c0);
            block[colour + 1] = static_cast<char>(c0 >> 8);
            block[colour + 2] = static_cast<char>(c1);
            block[colour + 3] = static_cast<char>(c1 >> 8);
            if (dxt5) {
                block[0] = static_cast<char>(a0);
                block[1] = static_cast<char>(a1);
            }
            uint64_t alphaBits = 0;
            for (uint32_t y = 0; y < 4; ++y) {
                for (uint32_t x = 0; x < 4; ++x) {
                    uint32_t pick = random() & 1;
                    block[colour + 4 + y] =
                        static_cast<char>(block[colour + 4 + y] | pick << (2 * x));
                    uint32_t alphaPick = random() & 1;
                    alphaBits |= uint64_t{alphaPick} << (3 * (4 * y + x));
                    uint32_t px = bx * 4 + x, py = by * 4 + y;
                    if (px >= width || py >= height) {
                        continue;
                    }
                    uint16_t c = pick ? c1 : c0;
                    uint8_t* out = &source[(size_t{py} * width + px) * 4];
                    out[0] = expand(c >> 11, 5);
                    out[1] = expand((c >> 5) & 63, 6);
                    out[2] = expand(c & 31, 5);
                    out[3] = dxt5 ? (alphaPick ? a1 : a0) : 255;
                }
            }
            for (int i = 0; dxt5 && i < 6; ++i) {
                block[2 + i] = static_cast<char>(alphaBits >> (8 * i));
            }
            blocks += block;
        }
    }
    return blocks;
}

// DXT levels whose height is not a multiple of four cannot be turned over
// block by block; loaded with the lower left origin, such a chain arrives as
// the pixels of its source turned upside down (DXT1 as RGB, DXT5 as RGBA),
// every level. Read top down, the blocks stay as they are.
TEST(DdsReader, DxtChainsOfAnyHeightFlipExactly) {
    for (bool dxt5 : {false, true}) {
        SCOPED_TRACE(dxt5 ? "DXT5" : "DXT1");
        Header h = dxt(dxt5 ? "DXT5" : "DXT1");
        h.width = 30;
        h.height = 18;
        h.mipmapCount = 5;  // 30×18, 15×9, 7×4, 3×2, 1×1
        h.caps = kMipmap;
        std::mt19937 random(11);
        std::string blocks;
        std::vector<std::vector<uint8_t>> sources(5);
        for (uint32_t level = 0, w = 30, hgt = 18; level < 5; ++level) {
            blocks += encodeExactLevel(w, hgt, dxt5, random, sources[level]);
            w = std::max(w / 2, 1u);
            hgt = std::max(hgt / 2, 1u);
        }
        std::string file = makeDds(h, 0) + blocks;
        Image top = read(file, false);
        ASSERT_TRUE(top.valid);
        EXPECT_EQ(top.format, dxt5 ? IF_DXT5 : IF_DXT1);
        EXPECT_EQ(top.data.size(), blocks.size());

        Image image = read(file, true);
        ASSERT_TRUE(image.valid);
        int channels = dxt5 ? 4 : 3;
        EXPECT_EQ(image.format, dxt5 ? IF_RGBA : IF_RGB);
        EXPECT_EQ(image.channels, channels);
        EXPECT_EQ(image.mipCount, 4u);
        size_t offset = 0;
        for (uint32_t level = 0, w = 30, hgt = 18; level < 5; ++level) {
            SCOPED_TRACE(level);
            int mismatches = 0;
            for (uint32_t y = 0; y < hgt; ++y) {
                for (uint32_t x = 0; x < w; ++x) {
                    const uint8_t* want = &sources[level][(size_t{hgt - 1 - y} * w + x) * 4];
                    const uint8_t* got = &image.data[offset + (size_t{y} * w + x) * channels];
                    mismatches += std::memcmp(want, got, channels) != 0;
                }
            }
            EXPECT_EQ(mismatches, 0);
            offset += size_t{w} * hgt * channels;
            w = std::max(w / 2, 1u);
            hgt = std::max(hgt / 2, 1u);
        }
        EXPECT_EQ(offset, image.data.size());
    }
}

TEST(ImageResample, AveragesWhenShrinkingAndKeepsFlatImages) {
    // A 4×1 ramp halves to two values in order whose mean stays the ramp's;
    // a flat image stays flat at any size.
    const uint8_t ramp[4] = {0, 100, 200, 255};
    uint8_t two[2] = {};
    ImageUtil::resample(ramp, 4, 1, 1, two, 2, 1);
    EXPECT_LT(two[0], 100);
    EXPECT_GT(two[1], 150);
    EXPECT_NEAR((two[0] + two[1]) / 2.0, 138.75, 8.0);

    std::vector<uint8_t> flat(5 * 3 * 3);
    for (size_t i = 0; i < flat.size(); ++i) {
        flat[i] = static_cast<uint8_t>(i % 3 == 0 ? 10 : i % 3 == 1 ? 128 : 250);
    }
    for (auto [w, h] : {std::pair{2u, 2u}, {7u, 9u}, {1u, 1u}}) {
        std::vector<uint8_t> out(w * h * 3, 0);
        ImageUtil::resample(flat.data(), 5, 3, 3, out.data(), w, h);
        for (size_t i = 0; i < out.size(); ++i) {
            ASSERT_EQ(out[i], flat[i % 3]) << w << "x" << h << " at " << i;
        }
    }
    // Enlarging interpolates between the two pixels.
    const uint8_t pair[2] = {0, 200};
    uint8_t four[4] = {};
    ImageUtil::resample(pair, 2, 1, 1, four, 4, 1);
    EXPECT_EQ(four[0], 0);
    EXPECT_EQ(four[3], 200);
    EXPECT_LT(four[1], four[2]);
}

}  // namespace
