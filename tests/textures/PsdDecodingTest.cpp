// Photoshop files through the engine's reader: the kinds it takes, the white
// matte it takes out (clamped), the files it refuses, and agreement with
// stb_image's reader on the files that one decoded without overflow.

#include <gtest/gtest.h>

#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#define STBI_NO_STDIO
#define STBI_NO_LINEAR
#define STBI_NO_HDR
#define STBI_ONLY_PSD
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wunused-parameter"
#pragma GCC diagnostic ignored "-Wsign-compare"
#endif
#include <stb_image.h>
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "LogCapture.h"
#include "TestSupport.h"
#include "base/image/Image.h"

namespace {

using Plane = std::vector<uint16_t>;

void appendBe(std::string& out, uint32_t value, int bytes) {
    for (int shift = 8 * (bytes - 1); shift >= 0; shift -= 8) {
        out += static_cast<char>(value >> shift);
    }
}

std::string psdHeader(uint32_t channels, uint32_t width, uint32_t height, uint32_t depth,
                      uint32_t mode, uint32_t version = 1) {
    std::string out = "8BPS";
    appendBe(out, version, 2);
    out += std::string(6, '\0');
    appendBe(out, channels, 2);
    appendBe(out, height, 4);
    appendBe(out, width, 4);
    appendBe(out, depth, 2);
    appendBe(out, mode, 2);
    return out;
}

// Colour mode data, image resources and a layer section, each with some
// bytes the reader must skip.
std::string psdSections() {
    std::string out;
    for (uint32_t length : {0u, 6u, 3u}) {
        appendBe(out, length, 4);
        out += std::string(length, '\x5a');
    }
    return out;
}

// PackBits: runs of two or more equal bytes as run packets, the rest as
// literals.
std::string packBits(const std::string& row) {
    std::string out;
    size_t x = 0;
    while (x < row.size()) {
        size_t run = 1;
        while (x + run < row.size() && run < 128 && row[x + run] == row[x]) {
            ++run;
        }
        if (run > 1) {
            out += static_cast<char>(257 - run);
            out += row[x];
            x += run;
            continue;
        }
        size_t end = x + 1;
        while (end < row.size() && end - x < 128 &&
               (end + 1 >= row.size() || row[end + 1] != row[end])) {
            ++end;
        }
        out += static_cast<char>(end - x - 1);
        out += row.substr(x, end - x);
        x = end;
    }
    return out;
}

// A whole file: one plane of width × height samples per channel, top row
// first.
std::string makePsd(uint32_t width, uint32_t height, uint32_t depth, uint32_t mode,
                    const std::vector<Plane>& planes, bool rle) {
    std::string out =
        psdHeader(static_cast<uint32_t>(planes.size()), width, height, depth, mode) + psdSections();
    appendBe(out, rle ? 1 : 0, 2);
    std::string counts;
    std::string data;
    for (const Plane& plane : planes) {
        for (uint32_t y = 0; y < height; ++y) {
            std::string row;
            for (uint32_t x = 0; x < width; ++x) {
                appendBe(row, plane[y * width + x], depth / 8);
            }
            std::string packed = rle ? packBits(row) : row;
            appendBe(counts, static_cast<uint32_t>(packed.size()), 2);
            data += packed;
        }
    }
    return out + (rle ? counts : "") + data;
}

Image decode(const std::string& file, bool lowerLeft = false) {
    return ImageUtil::decodeImage(reinterpret_cast<const uint8_t*>(file.data()), file.size(),
                                  "test.psd", lowerLeft);
}

std::vector<uint8_t> decodeWithStb(const std::string& file) {
    int width = 0;
    int height = 0;
    int channels = 0;
    stbi_uc* pixels =
        stbi_load_from_memory(reinterpret_cast<const stbi_uc*>(file.data()),
                              static_cast<int>(file.size()), &width, &height, &channels, 4);
    if (pixels == nullptr) {
        return {};
    }
    std::vector<uint8_t> out(pixels, pixels + static_cast<size_t>(width) * height * 4);
    stbi_image_free(pixels);
    return out;
}

// The kinds of file the reader takes and the pixels they give, rows top
// first, every pixel compared.
TEST(PsdDecoding, Kinds) {
    struct Case {
        const char* what;
        uint32_t depth;
        uint32_t mode;
        std::vector<Plane> planes;  // 2 × 2 pixels each
        bool rle;
        int format;
        std::vector<uint8_t> pixels;
    };
    const Plane r = {10, 20, 30, 40};
    const Plane g = {50, 50, 50, 60};
    const Plane b = {200, 200, 200, 200};
    const Plane opaque = {255, 0, 255, 0};
    const Plane wideR = {0x0AFF, 0x1400, 0x1E80, 0x28FF};
    const Plane wideG = {0x3201, 0x3201, 0x3201, 0x3C00};
    const Plane wideB = {0xC8C8, 0xC8C8, 0xC8C8, 0xC800};
    const std::vector<uint8_t> rgbPixels = {10, 50, 200, 255, 20, 50, 200, 255,
                                            30, 50, 200, 255, 40, 60, 200, 255};
    const std::vector<uint8_t> rgbaPixels = {10, 50, 200, 255, 20, 50, 200, 0,
                                             30, 50, 200, 255, 40, 60, 200, 0};
    const Case cases[] = {
        {"RGB raw", 8, 3, {r, g, b}, false, IF_RGBA, rgbPixels},
        {"RGB PackBits", 8, 3, {r, g, b}, true, IF_RGBA, rgbPixels},
        {"RGBA PackBits", 8, 3, {r, g, b, opaque}, true, IF_RGBA, rgbaPixels},
        {"RGB 16-bit raw", 16, 3, {wideR, wideG, wideB}, false, IF_RGBA, rgbPixels},
        {"RGB 16-bit PackBits", 16, 3, {wideR, wideG, wideB}, true, IF_RGBA, rgbPixels},
        // A fifth channel (a spot colour or a second mask) is skipped.
        {"RGBA and one more", 8, 3, {r, g, b, opaque, {1, 2, 3, 4}}, false, IF_RGBA, rgbaPixels},
        {"RGB lacking blue",
         8,
         3,
         {r, g},
         true,
         IF_RGBA,
         {10, 50, 0, 255, 20, 50, 0, 255, 30, 50, 0, 255, 40, 60, 0, 255}},
        {"grey", 8, 1, {r}, false, IF_LUMINANCE, {10, 20, 30, 40}},
        {"grey 16-bit PackBits", 16, 1, {wideR}, true, IF_LUMINANCE, {10, 20, 30, 40}},
        {"grey and alpha",
         8,
         1,
         {r, opaque, b},
         true,
         IF_RGBA,
         {10, 10, 10, 255, 20, 20, 20, 0, 30, 30, 30, 255, 40, 40, 40, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string file = makePsd(2, 2, c.depth, c.mode, c.planes, c.rle);
        Image image = decode(file);
        ASSERT_TRUE(image.valid);
        EXPECT_EQ(image.width, 2u);
        EXPECT_EQ(image.height, 2u);
        EXPECT_EQ(image.format, c.format);
        EXPECT_EQ(image.channels, c.format == IF_LUMINANCE ? 1 : 4);
        EXPECT_EQ(image.componentType, ICT_UNSIGNED_BYTE);
        EXPECT_EQ(image.data, c.pixels);
        // The lower left origin turns the rows over.
        Image up = decode(file, true);
        ASSERT_TRUE(up.valid);
        size_t rowBytes = 2 * static_cast<size_t>(image.channels);
        EXPECT_TRUE(
            std::equal(up.data.begin(), up.data.begin() + rowBytes, c.pixels.begin() + rowBytes));
    }
}

// Partly transparent pixels lose the white matte: colour' = 255 - (255 -
// colour) / alpha, truncated. Colours darker than their alpha allows (the
// ones that overflowed the byte before) become 0; transparent and opaque
// pixels keep their colour.
TEST(PsdDecoding, WhiteMatteIsRemovedAndClamped) {
    struct Case {
        uint8_t colour;
        uint8_t alpha;
        uint8_t expected;
    };
    const Case cases[] = {
        {200, 128, 145},  // 255 - 55 × 255 / 128 = 145.43
        {100, 200, 57},   // 255 - 155 × 255 / 200 = 57.38
        {254, 254, 253},  // 255 - 255 / 254 = 253.996
        {129, 128, 3},    // 255 - 126 × 255 / 128 = 3.98
        {128, 128, 1},    // 1.99
        {126, 128, 0},    // -1.99: below the byte
        {10, 128, 0},     // -233
        {0, 1, 0},        // -64770
        {0, 254, 0},      // -1.004
        {3, 0, 3},       {3, 255, 3},
    };
    const uint32_t count = sizeof(cases) / sizeof(cases[0]);
    std::vector<Plane> planes(4);
    for (const Case& c : cases) {
        planes[0].push_back(c.colour);
        planes[1].push_back(c.colour);
        planes[2].push_back(c.colour);
        planes[3].push_back(c.alpha);
    }
    for (uint32_t depth : {8u, 16u}) {
        for (bool rle : {false, true}) {
            SCOPED_TRACE(std::to_string(depth) + (rle ? " bits PackBits" : " bits raw"));
            std::vector<Plane> wide = planes;
            if (depth == 16) {
                for (Plane& plane : wide) {
                    for (uint16_t& v : plane) {
                        v = static_cast<uint16_t>(v * 257);
                    }
                }
            }
            Image image = decode(makePsd(count, 1, depth, 3, wide, rle));
            ASSERT_TRUE(image.valid);
            ASSERT_EQ(image.data.size(), count * 4);
            for (uint32_t i = 0; i < count; ++i) {
                const Case& c = cases[i];
                SCOPED_TRACE(std::to_string(c.colour) + " at alpha " + std::to_string(c.alpha));
                EXPECT_EQ(std::vector<uint8_t>(image.data.begin() + i * 4,
                                               image.data.begin() + i * 4 + 4),
                          (std::vector<uint8_t>{c.expected, c.expected, c.expected, c.alpha}));
            }
        }
    }
    // The files that made the matte overflow (one found by the fuzzer) load.
    for (const auto& entry : std::filesystem::directory_iterator(std::string(ENGINE_FUZZ_INPUTS) +
                                                                 "/image/regression")) {
        if (entry.path().extension() == ".psd") {
            SCOPED_TRACE(entry.path().filename().string());
            EXPECT_TRUE(decode(testsupport::readFile(entry.path().string())).valid);
        }
    }
    // Grey with alpha goes the same way.
    Image grey = decode(makePsd(2, 1, 8, 1, {{200, 10}, {128, 128}}, false));
    ASSERT_TRUE(grey.valid);
    EXPECT_EQ(grey.data, (std::vector<uint8_t>{145, 145, 145, 128, 0, 0, 0, 128}));
}

// The files stb_image decoded without overflowing a byte come out the same:
// the image seeds of the fuzzer, and generated ones with partial alpha in
// range.
TEST(PsdDecoding, MatchesStbImage) {
    std::vector<std::string> files;
    for (const auto& entry :
         std::filesystem::directory_iterator(std::string(ENGINE_FUZZ_INPUTS) + "/image/seeds")) {
        if (entry.path().extension() == ".psd") {
            files.push_back(testsupport::readFile(entry.path().string()));
        }
    }
    EXPECT_GE(files.size(), 3u);
    Plane red;
    Plane green;
    Plane blue;
    Plane alpha;
    for (uint32_t i = 0; i < 7 * 5; ++i) {
        alpha.push_back(static_cast<uint16_t>(i % 3 == 0 ? 255 : 100 + i * 4));
        red.push_back(static_cast<uint16_t>(255 - (i * 5) % 60));
        green.push_back(static_cast<uint16_t>(i % 4 == 0 ? 255 : 250));
        blue.push_back(static_cast<uint16_t>(i % 3 == 0 ? 7 : 255));  // dark only where opaque
    }
    files.push_back(makePsd(7, 5, 8, 3, {red, green, blue, alpha}, false));
    files.push_back(makePsd(7, 5, 8, 3, {red, green, blue, alpha}, true));
    files.push_back(makePsd(7, 5, 8, 3, {red, green, blue, alpha, red}, true));
    files.push_back(makePsd(7, 5, 8, 3, {red, green}, false));
    for (size_t i = 0; i < files.size(); ++i) {
        SCOPED_TRACE("file " + std::to_string(i));
        std::vector<uint8_t> expected = decodeWithStb(files[i]);
        ASSERT_FALSE(expected.empty());
        Image image = decode(files[i]);
        ASSERT_TRUE(image.valid);
        EXPECT_EQ(image.format, IF_RGBA);
        EXPECT_EQ(image.data, expected);
    }
}

// Damaged and unsupported files are refused with a log line that says why,
// before any pixel buffer is allocated for a size the file cannot hold.
TEST(PsdDecoding, MalformedFilesAreRefused) {
    const Plane plane = {1, 2, 3, 4};
    const std::string good = makePsd(2, 2, 8, 3, {plane, plane, plane}, false);
    const std::string packed = makePsd(2, 2, 8, 3, {plane, plane, plane, plane}, true);
    const size_t dataStart = 26 + psdSections().size() + 2;
    auto withCompression = [&](const std::string& rest) {
        return psdHeader(3, 2, 2, 8, 3) + psdSections() + std::string("\0\1", 2) + rest;
    };
    // The row counts of three channels, then one plane's data per channel.
    const std::string counts(12, '\0');
    struct Case {
        const char* what;
        std::string file;
        const char* log;
    };
    const Case cases[] = {
        {"signature only", "8BPS", "header is truncated"},
        {"short header", good.substr(0, 25), "header is truncated"},
        {"version 2", psdHeader(3, 2, 2, 8, 3, 2) + good.substr(26), "version 2"},
        {"no channels", psdHeader(0, 2, 2, 8, 3) + good.substr(26), "channel count 0"},
        {"57 channels", psdHeader(57, 2, 2, 8, 3) + good.substr(26), "channel count 57"},
        {"1 bit", psdHeader(3, 2, 2, 1, 3) + good.substr(26), "depth of 1 bits"},
        {"32 bits", psdHeader(3, 2, 2, 32, 3) + good.substr(26), "depth of 32 bits"},
        {"CMYK", psdHeader(4, 2, 2, 8, 4) + good.substr(26), "colour mode 4"},
        {"indexed", psdHeader(1, 2, 2, 8, 2) + good.substr(26), "colour mode 2"},
        {"no width", psdHeader(3, 0, 2, 8, 3) + good.substr(26), "no pixels (0 x 2)"},
        {"too wide", psdHeader(3, 16385, 1, 8, 3) + good.substr(26),
         "16385 x 1 pixels is too large"},
        {"too large", psdHeader(3, 16384, 16384, 8, 3) + good.substr(26),
         "too short for 16384 x 16384 pixels"},
        {"section past the end",
         psdHeader(3, 2, 2, 8, 3) + std::string("\0\0\0\0\xff\xff\xff\xff", 8),
         "section runs past the end"},
        {"no compression field", good.substr(0, dataStart - 1), "ends before the Photoshop pixel"},
        {"ZIP compression", good.substr(0, dataStart - 1) + "\2" + good.substr(dataStart),
         "compression 2"},
        {"raw pixels cut short", good.substr(0, good.size() - 1), "too short for 2 x 2 pixels"},
        {"row counts cut short", withCompression(std::string(11, '\0')),
         "too short for 2 x 2 pixels"},
        {"PackBits data cut short", packed.substr(0, packed.size() - 1),
         "damaged PackBits data in channel 3"},
        // A literal of 3 bytes where a plane of 4 has 2 left.
        {"literal past the plane",
         withCompression(counts + "\x01\x01\x02" + "\x02\x01\x02\x03" + "\xfd\x01" + "\xfd\x01"),
         "damaged PackBits data in channel 0"},
        // A run of 3 where a plane has 2 left.
        {"run past the plane",
         withCompression(counts + "\xff\x01" + "\xfe\x02" + "\xfd\x01" + "\xfd\x01"),
         "damaged PackBits data in channel 0"},
        // No-op packets (128) give nothing.
        {"only no-ops", withCompression(counts + std::string(24, '\x80')),
         "damaged PackBits data in channel 0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        LogCapture log;
        Image image = decode(c.file);
        EXPECT_FALSE(image.valid);
        EXPECT_TRUE(image.data.empty());
        EXPECT_NE(log.text().find(c.log), std::string::npos) << log.text();
    }
    EXPECT_TRUE(decode(good).valid);
    EXPECT_TRUE(decode(packed).valid);
    // Runs, a no-op and a literal; a run may cross into the next row.
    Image runs = decode(withCompression(counts + "\xff\x01\x80\xff\x02" + "\xfd\x07" +
                                        std::string("\x00\x05\xfe\x06", 4)));
    ASSERT_TRUE(runs.valid);
    EXPECT_EQ(runs.data,
              (std::vector<uint8_t>{1, 7, 5, 255, 1, 7, 6, 255, 2, 7, 6, 255, 2, 7, 6, 255}));
}

}  // namespace
