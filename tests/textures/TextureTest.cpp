#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "LogCapture.h"
#include "PngMaker.h"
#include "TestRenderWindow.h"
#include "TestSupport.h"
#include "base/device/SdlGLRenderDevice.h"
#include "base/device/Texture.h"
#include "base/image/Image.h"
#include "foundation/File.h"
#include "foundation/Log.h"

namespace {

// A GL device that can pretend to lack non-power-of-two textures and to
// have a small maximum size.
class LimitedDevice : public SdlGLRenderDevice {
public:
    bool supportsNonPowerOfTwo() const override { return nonPowerOfTwo; }
    int getMaxTextureSize() const override {
        return maxSize > 0 ? maxSize : SdlGLRenderDevice::getMaxTextureSize();
    }
    bool nonPowerOfTwo = true;
    int maxSize = 0;
};

using testpng::make16BitPng;

class TextureTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_device = new LimitedDevice();
        ASSERT_NE(testsupport::openTestRenderWindow(*s_device, 64), nullptr);
    }
    static void TearDownTestSuite() {
        delete s_device;
        s_device = nullptr;
    }
    void SetUp() override {
        s_device->nonPowerOfTwo = true;
        s_device->maxSize = 0;
        TextureSettings::setRenderDevice(s_device);
        TextureSettings::setFilter(0.0f, false);
        FileSystem::addFileLoader(std::make_unique<NativeFileLoader>(m_dir.path(), 10));
    }
    void TearDown() override {
        FileSystem::clearFileLoaders();
        TextureSettings::setRenderDevice(nullptr);
    }

    // An 8-bit image written through the engine's image writer.
    std::string writeImage(const std::string& name, uint32_t w, uint32_t h, int format) {
        int channels = format == IF_LUMINANCE ? 1 : format <= IF_BGR ? 3 : 4;
        std::vector<uint8_t> pixels(w * h * channels);
        for (size_t i = 0; i < pixels.size(); ++i) {
            pixels[i] = static_cast<uint8_t>(i);
        }
        EXPECT_TRUE(ImageUtil::saveImage(m_dir / name, w, h, channels, format, pixels.data()));
        return name;
    }

    static LimitedDevice* s_device;
    testsupport::TempDir m_dir;
};

LimitedDevice* TextureTest::s_device = nullptr;

TEST_F(TextureTest, CreationChecksAndMessages) {
    writeImage("wide.png", 300, 256, IF_RGB);
    writeImage("square.png", 256, 256, IF_RGB);
    writeImage("grey.png", 16, 16, IF_LUMINANCE);
    testsupport::writeFile(m_dir / "deep.png", make16BitPng(8, 8));
    struct Case {
        const char* name;
        bool nonPowerOfTwo;
        int maxSize;
        bool created;
        std::string log;
    };
    const Case cases[] = {
        {"wide.png", false, 0, false, "Error: Texture, width or height doesn't equal 2^n\n"},
        {"wide.png", true, 0, true, ""},
        {"square.png", false, 0, true, ""},
        {"square.png", false, 128, false, "Error: Texture, width or height to big\n"},
        {"deep.png", true, 0, false,
         "Error: Texture, invalid component type, only unsigned byte supported (deep.png)\n"},
        {"grey.png", true, 0, false, "Error: Texture, invalid number of channels (grey.png)\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name) + (c.nonPowerOfTwo ? " npot" : " pot-only"));
        s_device->nonPowerOfTwo = c.nonPowerOfTwo;
        s_device->maxSize = c.maxSize;
        Texture texture(c.name);
        ASSERT_TRUE(texture.load());
        LogCapture log;
        EXPECT_EQ(texture.activate(), c.created);
        EXPECT_EQ(log.text(), c.log);
        EXPECT_EQ(texture.getDeviceTexture() != nullptr, c.created);
        // Either way the image is gone after the attempt.
        EXPECT_FALSE(texture.isLoaded());
        EXPECT_EQ(texture.getImage(), nullptr);
    }
}

TEST_F(TextureTest, SixteenBitImagesLoadWithShortComponents) {
    testsupport::writeFile(m_dir / "deep.png", make16BitPng(4, 2));
    Image image = ImageUtil::loadImage(false, "deep.png");
    ASSERT_TRUE(image.valid);
    EXPECT_EQ(image.componentType, ICT_UNSIGNED_SHORT);
    EXPECT_EQ(image.channels, 3);
    EXPECT_EQ(image.data.size(), 4u * 2u * 6u);
}

TEST_F(TextureTest, PrefersTheDdsFileBesideTheName) {
    writeImage("rock.png", 8, 8, IF_RGB);
    // An 8×8 DXT1 file: header, 4 blocks.
    std::string dds(128 + 32, '\0');
    std::memcpy(dds.data(), "DDS ", 4);
    dds[12] = 8;
    dds[16] = 8;
    dds[80] = 0x4;
    std::memcpy(dds.data() + 84, "DXT1", 4);
    testsupport::writeFile(m_dir / "rock.dds", dds);
    // The writer needs an extension to know the type.
    testsupport::writeFile(m_dir / "plain",
                           testsupport::readFile(m_dir / writeImage("plain.png", 8, 8, IF_RGBA)));
    testsupport::writeFile(m_dir / "plain.dds", dds);

    Texture rock("rock.png");
    ASSERT_TRUE(rock.load());
    EXPECT_EQ(rock.getImage()->format, IF_DXT1);
    ASSERT_TRUE(rock.activate());
    // Every DXT1 file becomes DXT1 with alpha, which does not count as alpha.
    EXPECT_EQ(rock.getDeviceTexture()->getFormat(), PF_DXT1_A);
    EXPECT_FALSE(rock.hasAlpha());

    // Without an extension the name is read as it is.
    Texture plain("plain");
    ASSERT_TRUE(plain.load());
    EXPECT_EQ(plain.getImage()->format, IF_RGBA);
    EXPECT_TRUE(plain.hasAlpha());
    ASSERT_TRUE(plain.activate());
    EXPECT_EQ(plain.getDeviceTexture()->getFormat(), PF_BYTE_RGBA32);
    EXPECT_TRUE(plain.hasAlpha());

    EXPECT_EQ(Texture::getPreferredDdsName("maps.v2/rock"), "");
    EXPECT_EQ(Texture::getPreferredDdsName("maps/rock.tga"), "maps/rock.dds");
}

// A cube map file keeps each face's levels together; every face of the
// device texture must show its own pixels.
TEST_F(TextureTest, CubeMapFacesKeepTheirPixels) {
    const uint32_t levelBytes[2] = {4 * 4 * 4, 2 * 2 * 4};
    std::string dds(128, '\0');
    std::memcpy(dds.data(), "DDS ", 4);
    dds[12] = 4;
    dds[16] = 4;
    dds[28] = 2;            // two levels
    dds[80] = 0x40 | 0x1;   // RGB with alpha
    dds[88] = 32;           // bits
    dds[92 + 2] = '\xFF';   // red mask 0xFF0000
    dds[96 + 1] = '\xFF';   // green mask 0xFF00
    dds[100] = '\xFF';      // blue mask 0xFF
    dds[104 + 3] = '\xFF';  // alpha mask
    dds[108] = 0x8;         // complex
    dds[110] = 0x40;        // mipmap (0x400000)
    dds[113] = 0x2;         // cube map (0x200)
    for (int face = 0; face < 6; ++face) {
        for (uint32_t bytes : levelBytes) {
            for (uint32_t i = 0; i < bytes; i += 4) {
                // B, G, R, A: red tells the face, green the level.
                dds += static_cast<char>(0);
                dds += static_cast<char>(bytes == levelBytes[0] ? 0 : 200);
                dds += static_cast<char>(40 * face + 10);
                dds += static_cast<char>(255);
            }
        }
    }
    testsupport::writeFile(m_dir / "sky.dds", dds);
    Texture sky("sky.dds");
    ASSERT_TRUE(sky.load());
    ASSERT_TRUE(sky.getImage()->cubeMap);
    ASSERT_TRUE(sky.activate());
    ITextureObject* texture = sky.getDeviceTexture();
    ASSERT_EQ(texture->getFaceCount(), 6);
    for (int face = 0; face < 6; ++face) {
        std::vector<uint8_t> rgb(4 * 4 * 3);
        texture->readBack(rgb.data(), face);
        EXPECT_EQ(rgb[0], 40 * face + 10) << "face " << face;
        EXPECT_EQ(rgb[1], 0) << "face " << face;
    }
}

TEST_F(TextureTest, MissingFileFailsToLoad) {
    Texture texture("missing.png");
    EXPECT_FALSE(texture.load());
    EXPECT_FALSE(texture.activate());
}

// Every writable type comes back with the same size and pixels (JPEG
// close to them) and with rows in the order asked for.
TEST_F(TextureTest, SavedImagesReadBack) {
    const uint32_t w = 8, h = 4;
    std::vector<uint8_t> pixels(w * h * 3);
    for (uint32_t y = 0; y < h; ++y) {
        for (uint32_t x = 0; x < w * 3; ++x) {
            pixels[y * w * 3 + x] = static_cast<uint8_t>(y * 60 + (x % 3) * 10);
        }
    }
    for (const char* name : {"shot.png", "shot.tga", "shot.bmp", "shot.jpg"}) {
        SCOPED_TRACE(name);
        bool lossy = std::strstr(name, ".jpg") != nullptr;
        ASSERT_TRUE(ImageUtil::saveImage(m_dir / name, w, h, 3, IF_RGB, pixels.data()));
        // Overwriting an existing file works.
        ASSERT_TRUE(ImageUtil::saveImage(m_dir / name, w, h, 3, IF_RGB, pixels.data()));
        Image bottomUp = ImageUtil::loadImage(true, name);
        Image topDown = ImageUtil::loadImage(false, name);
        ASSERT_TRUE(bottomUp.valid && topDown.valid);
        ASSERT_EQ(bottomUp.width, w);
        ASSERT_EQ(bottomUp.height, h);
        ASSERT_EQ(bottomUp.channels, 3);
        ASSERT_EQ(bottomUp.data.size(), pixels.size());
        int rgbOffset = bottomUp.format == IF_BGR ? 2 : 0;  // red's place
        for (uint32_t y = 0; y < h; ++y) {
            int expected = pixels[y * w * 3];
            int upward = bottomUp.data[y * w * 3 + rgbOffset];
            int downward = topDown.data[(h - 1 - y) * w * 3 + rgbOffset];
            EXPECT_NEAR(upward, expected, lossy ? 12 : 0) << "row " << y;
            EXPECT_NEAR(downward, expected, lossy ? 12 : 0) << "row " << y;
        }
    }
    LogCapture log;
    EXPECT_FALSE(ImageUtil::saveImage(m_dir / "x.png", w, h, 3, IF_DXT1, pixels.data()));
    EXPECT_EQ(log.text(),
              "Error: Can't save image file '" + (m_dir / "x.png") + "'. Format not supported\n");
}

}  // namespace
