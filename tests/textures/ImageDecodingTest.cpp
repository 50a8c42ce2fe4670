#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "LogCapture.h"
#include "PngMaker.h"
#include "TestSupport.h"
#include "base/device/Texture.h"
#include "base/image/Image.h"
#include "foundation/File.h"

namespace {

class ImageDecodingTest : public ::testing::Test {
protected:
    void SetUp() override {
        FileSystem::addFileLoader(std::make_unique<NativeFileLoader>(m_dir.path(), 10));
    }
    void TearDown() override { FileSystem::clearFileLoaders(); }

    Image load(const std::string& name, const std::string& contents, bool lowerLeft = false) {
        testsupport::writeFile(m_dir / name, contents);
        return ImageUtil::loadImage(lowerLeft, name);
    }

    testsupport::TempDir m_dir;
};

// Every file that once crashed, hung, leaked or exhausted memory in a reader
// is refused cleanly through the texture resource and through the image
// loader in both row orders (the DDS flip only runs for the lower left).
// The GIF file is a sound 1 × 1 picture that only leaked: it loads.
TEST_F(ImageDecodingTest, MalformedFilesAreRefused) {
    std::vector<std::string> names = testsupport::fixtureFiles("malformed");
    int images = 0;
    for (const std::string& name : names) {
        std::string extension = name.substr(name.rfind('.') + 1);
        if (extension != "dds" && extension != "tga" && extension != "pgm" && extension != "gif") {
            continue;
        }
        SCOPED_TRACE(name);
        ++images;
        testsupport::writeFile(
            m_dir / name, testsupport::readFile(testsupport::fixturePath("malformed/" + name)));
        bool sound = name == "gif_palette_leak.gif";
        Image image = ImageUtil::loadImage(false, name);
        EXPECT_EQ(image.valid, sound);
        EXPECT_EQ(ImageUtil::loadImage(true, name).valid, sound);
        if (sound) {
            EXPECT_EQ(image.width * image.height, 1u);
            EXPECT_EQ(image.data.size(), static_cast<size_t>(image.channels));
        }
        Texture texture(name);
        EXPECT_EQ(texture.load(), sound);
    }
    EXPECT_GE(images, 10);
}

// Grey stays one channel, palettes and transparency become RGB(A), grey with
// alpha becomes RGBA, 16-bit samples stay 16-bit; rows come top first unless
// the lower left origin is asked for.
TEST_F(ImageDecodingTest, PngKinds) {
    struct Case {
        const char* what;
        std::string png;
        int channels;
        int format;
        int componentType;
        std::vector<uint8_t> topLeft;     // first pixel of the top row
        std::vector<uint8_t> bottomLeft;  // first pixel of the bottom row
    };
    const std::string palette("\x10\x20\x30\xF0\xE0\xD0", 6);
    const Case cases[] = {
        {"grey",
         testpng::makePng(2, 2, 8, 0, std::string("\x11\x22\x33\x44", 4)),
         1,
         IF_LUMINANCE,
         ICT_UNSIGNED_BYTE,
         {0x11},
         {0x33}},
        {"grey 4-bit",
         testpng::makePng(2, 2, 4, 0, std::string("\xF0\x00", 2)),
         1,
         IF_LUMINANCE,
         ICT_UNSIGNED_BYTE,
         {0xFF},
         {0x00}},
        {"palette",
         testpng::makePng(2, 2, 8, 3, std::string("\x00\x01\x01\x00", 4), palette),
         3,
         IF_RGB,
         ICT_UNSIGNED_BYTE,
         {0x10, 0x20, 0x30},
         {0xF0, 0xE0, 0xD0}},
        {"palette with transparency",
         testpng::makePng(2, 2, 8, 3, std::string("\x00\x01\x01\x00", 4), palette,
                          std::string("\x80", 1)),
         4,
         IF_RGBA,
         ICT_UNSIGNED_BYTE,
         {0x10, 0x20, 0x30, 0x80},
         {0xF0, 0xE0, 0xD0, 0xFF}},
        {"grey with alpha",
         testpng::makePng(1, 2, 8, 4, std::string("\x50\x60\x70\x80", 4)),
         4,
         IF_RGBA,
         ICT_UNSIGNED_BYTE,
         {0x50, 0x50, 0x50, 0x60},
         {0x70, 0x70, 0x70, 0x80}},
        {"16-bit",
         testpng::make16BitPng(1, 2),
         3,
         IF_RGB,
         ICT_UNSIGNED_SHORT,
         {0x40, 0x40, 0x40, 0x40, 0x40, 0x40},
         {0x41, 0x41, 0x41, 0x41, 0x41, 0x41}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Image down = load("kind.png", c.png, false);
        Image up = load("kind.png", c.png, true);
        ASSERT_TRUE(down.valid && up.valid);
        EXPECT_EQ(down.channels, c.channels);
        EXPECT_EQ(down.format, c.format);
        EXPECT_EQ(down.componentType, c.componentType);
        size_t pixelBytes = c.topLeft.size();
        size_t rowBytes = down.width * pixelBytes;
        ASSERT_EQ(down.data.size(), rowBytes * down.height);
        std::vector<uint8_t> top(down.data.begin(), down.data.begin() + pixelBytes);
        std::vector<uint8_t> bottom(down.data.end() - rowBytes,
                                    down.data.end() - rowBytes + pixelBytes);
        EXPECT_EQ(top, c.topLeft);
        EXPECT_EQ(bottom, c.bottomLeft);
        EXPECT_EQ(std::vector<uint8_t>(up.data.begin(), up.data.begin() + pixelBytes),
                  c.bottomLeft);
    }
}

// Headers that claim more pixels than the cap, or far more than the file
// could hold, are refused before any pixel is decoded; damaged data after a
// sound header is refused too.
TEST_F(ImageDecodingTest, ImplausibleAndDamagedFilesAreRefused) {
    std::string rgb(4 * 4 * 3, '\x7f');
    std::string good = testpng::makePng(4, 4, 8, 2, rgb);
    std::string huge = testpng::makePng(16385, 16384, 8, 6, "");
    // A TGA header for 16384 × 16384 true-colour pixels and no pixels.
    std::string tga(18, '\0');
    tga[2] = 2;
    tga[12] = tga[14] = 0x00;
    tga[13] = tga[15] = 0x40;
    tga[16] = 32;
    // A TGA header without a colour map: image type, size, bits per pixel.
    auto tgaHeader = [](char type, int width, int height, char bits) {
        std::string header(18, '\0');
        header[2] = type;
        header[12] = static_cast<char>(width & 0xff);
        header[13] = static_cast<char>(width >> 8);
        header[14] = static_cast<char>(height & 0xff);
        header[15] = static_cast<char>(height >> 8);
        header[16] = bits;
        return header;
    };
    // One run-length packet (128 pixels) for 254 × 4096 pixels, and half the
    // pixels of an uncompressed image: both far below the 64 MiB that any
    // file may claim, but more than the file holds.
    const std::string rleShort = tgaHeader(10, 254, 4096, 32) + "\xff\x10\x20\x30\x40";
    const std::string rawShort = tgaHeader(2, 64, 64, 24) + std::string(64 * 32 * 3, '\x55');
    struct Case {
        const char* name;
        std::string contents;
        const char* log;  // a piece of the log, or "" for any
    };
    const Case cases[] = {
        {"huge.png", huge, "16385 x 16384 pixels is too large"},
        {"empty.tga", tga, "the file is too short for 16384 x 16384 pixels"},
        {"short rle.tga", rleShort, "the file is too short for 254 x 4096 pixels"},
        {"short.tga", rawShort, "the file is too short for 64 x 64 pixels"},
        {"truncated.png", good.substr(0, good.size() - 20), ""},
        {"damaged.png", good.substr(0, 40) + std::string(20, '\xff') + good.substr(60), ""},
        {"truncated.jpg", std::string("\xFF\xD8\xFF\xE0\x00\x10JFIF", 10), ""},
        {"pnm.pgm", "P5\n\n", ""},
        {"no maximum.pgm", "P5 2 1\n\x10\x20", ""},
        {"maximum 0.pgm", "P5 2 1 0\n\x10\x20", "malformed PNM header"},
        {"height past int.ppm", "P6 2  2278278266 2 653", "malformed PNM header"},
        {"empty.bmp", "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LogCapture log;
        EXPECT_FALSE(load(c.name, c.contents).valid);
        EXPECT_NE(log.text().find(c.log), std::string::npos) << log.text();
    }
    EXPECT_TRUE(load("good.png", good).valid);
    EXPECT_TRUE(
        load("rle.tga", tgaHeader(10, 128, 2, 32) + "\xff\x10\x20\x30\x40" + "\xff\x50\x60\x70\x80")
            .valid);
    EXPECT_TRUE(load("raw.tga", tgaHeader(2, 64, 64, 24) + std::string(64 * 64 * 3, '\x55')).valid);
    EXPECT_TRUE(load("good.pgm", "P5 # size\n2 1 255\n\x10\x20").valid);
}

}  // namespace
