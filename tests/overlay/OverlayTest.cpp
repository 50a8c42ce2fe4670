#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "TestRenderWindow.h"
#include "TestSupport.h"
#include "app/ScreenFont.h"
#include "base/device/IRenderDevice.h"
#include "base/device/Texture.h"
#include "base/image/Image.h"
#include "base/math/Matrix4.h"
#include "render/overlay/DebugDraw.h"
#include "render/overlay/Overlay.h"
#include "render/overlay/Screenshot.h"

namespace {

constexpr int kSize = 64;

class OverlayTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_device = createRenderDevice().release();
        ASSERT_NE(testsupport::openTestRenderWindow(*s_device, kSize), nullptr);
    }
    static void TearDownTestSuite() {
        Overlay::releaseSharedResources();
        delete s_device;
        s_device = nullptr;
    }
    void SetUp() override {
        device().setRenderTarget(nullptr);
        device().setViewport(0, 0, kSize, kSize);
        const float black[4] = {0, 0, 0, 1};
        device().clear(CLEAR_COLOUR | CLEAR_DEPTH, black, 1.0f, 0);
    }

    IRenderDevice& device() { return *s_device; }

    // A 2 × 2 texture whose lower row (first in memory) is blue and upper
    // row green, held once as a resource would be.
    Texture* twoRowTexture() {
        const uint8_t pixels[16] = {0, 0, 255, 255, 0, 0, 255, 255, 0, 255, 0, 255, 0, 255, 0, 255};
        TextureDesc desc;
        desc.width = 2;
        desc.height = 2;
        desc.format = PF_BYTE_RGBA32;
        desc.data = pixels;
        desc.mipCount = 0;
        desc.minFilter = TF_POINT;
        desc.magFilter = TF_POINT;
        desc.mipFilter = TF_NONE;
        auto* texture = new Texture("two rows", device().createTexture(desc));
        texture->addRef();
        return texture;
    }

    // The window's pixels, RGB from the lower left.
    std::vector<uint8_t> pixels() {
        std::vector<uint8_t> rgb(kSize * kSize * 3);
        device().getRenderWindow()->readPixels(rgb.data());
        return rgb;
    }
    static const uint8_t* at(const std::vector<uint8_t>& rgb, int x, int y) {
        return &rgb[(y * kSize + x) * 3];
    }

    static IRenderDevice* s_device;
};

IRenderDevice* OverlayTest::s_device = nullptr;

TEST_F(OverlayTest, CoversItsRectangleWithTextureAndColour) {
    Overlay overlay("quarter", twoRowTexture());
    overlay.setRect(0.5f, 0.5f, 0.5f, 0.5f);
    overlay.setColour(1.0f, 1.0f, 1.0f, 1.0f);
    overlay.draw(device(), kSize, kSize);
    std::vector<uint8_t> rgb = pixels();
    // Upper-right quarter: green above, blue below; the rest untouched.
    EXPECT_EQ(at(rgb, 48, 60)[1], 255);
    EXPECT_EQ(at(rgb, 48, 36)[2], 255);
    for (auto [x, y] : {std::pair{10, 10}, {10, 54}, {54, 10}, {31, 31}}) {
        EXPECT_EQ(at(rgb, x, y)[0] + at(rgb, x, y)[1] + at(rgb, x, y)[2], 0) << x << "," << y;
    }
}

TEST_F(OverlayTest, FlippedTexCoordsAndTint) {
    Overlay overlay("full", twoRowTexture());
    overlay.setRect(0.0f, 0.0f, 1.0f, 1.0f);
    const float flipped[8] = {0, 1, 0, 0, 1, 1, 1, 0};
    overlay.setTexCoords(flipped);
    overlay.setColour(0.0f, 1.0f, 1.0f, 1.0f);
    overlay.draw(device(), kSize, kSize);
    std::vector<uint8_t> rgb = pixels();
    EXPECT_EQ(at(rgb, 32, 60)[2], 255);  // blue now on top
    EXPECT_EQ(at(rgb, 32, 60)[1], 0);
    EXPECT_EQ(at(rgb, 32, 4)[1], 255);  // green below
    EXPECT_EQ(at(rgb, 32, 4)[0], 0);
}

TEST_F(OverlayTest, UnchangedValuesWriteNoVertices) {
    Overlay overlay("same", twoRowTexture());
    overlay.setColour(0.5f, 0.5f, 0.5f, 1.0f);
    overlay.draw(device(), kSize, kSize);
    EXPECT_EQ(overlay.getVertexWrites(), 1);
    overlay.setColour(0.5f, 0.5f, 0.5f, 1.0f);
    overlay.setRect(0.1f, 0.1f, 0.2f, 0.2f);
    EXPECT_FALSE(overlay.isChanged());
    overlay.draw(device(), kSize, kSize);
    EXPECT_EQ(overlay.getVertexWrites(), 1);
    // A new viewport size moves the corners.
    overlay.draw(device(), kSize / 2, kSize / 2);
    EXPECT_EQ(overlay.getVertexWrites(), 2);
    overlay.setColour(0.5f, 0.6f, 0.5f, 1.0f);
    EXPECT_TRUE(overlay.isChanged());
}

TEST_F(OverlayTest, DebugPrimitivesAreDrawnOnceAndForgotten) {
    DebugDrawLists lists;
    const float red[4] = {1, 0, 0, 1};
    const float yellow[4] = {1, 1, 0, 1};
    // Clip-space coordinates: identity matrices.
    Matrix4 identity;
    device().setProjectionMatrix(identity.data());
    device().setViewMatrix(identity.data());
    lists.addTriangle({-1, -1, 0}, {1, -1, 0}, {-1, 1, 0}, red);
    lists.addLine({-1, 0.515625f, -0.5f}, {1, 0.515625f, -0.5f}, yellow, false);
    lists.draw(device(), kSize, kSize);
    std::vector<uint8_t> rgb = pixels();
    EXPECT_EQ(at(rgb, 8, 8)[0], 255);    // inside the triangle
    EXPECT_EQ(at(rgb, 56, 56)[0], 0);    // outside
    EXPECT_EQ(at(rgb, 40, 48)[1], 255);  // the on-top line
    EXPECT_TRUE(lists.getDepthTriangles().empty());
    EXPECT_TRUE(lists.getTopLines().empty());

    // Spheres only while their bit is in the mask (off at start): 8 ×
    // radius segments, at least 8, per circle.
    EXPECT_EQ(lists.getMask(), 0x16u);
    lists.addSphere({0, 0, 0}, 2.0f, red, red, red, DebugDrawLists::kBoundingSpheres);
    EXPECT_TRUE(lists.getDepthLines().empty());
    lists.setMask(DebugDrawLists::kBoundingSpheres);
    lists.addSphere({0, 0, 0}, 2.0f, red, red, red, DebugDrawLists::kBoundingSpheres);
    EXPECT_EQ(lists.getDepthLines().size(), 3u * 16u * 2u);
    lists.clear();
    lists.setMask(0);
    lists.addSphere({0, 0, 0}, 2.0f, red, red, red, DebugDrawLists::kBoundingSpheres);
    lists.addLightSymbol({0, 0, 0}, {0, 0, -1}, 5.0f, 0.5f, 2);
    EXPECT_TRUE(lists.getDepthLines().empty());
}

TEST(DebugSymbols, LightSymbolsByType) {
    // Range 5 gives spheres of 40 segments per circle; arrows are three
    // lines; the spot's cone circle has 16 segments and four side lines.
    struct Case {
        int type;
        size_t points;
        size_t lines;
    };
    const Case cases[] = {
        {0, 1, 3 * 40 + 4 * 3},
        {1, 1, 3 * 40},
        {2, 0, 3 + 16 + 4},
    };
    for (const Case& c : cases) {
        DebugDrawLists lists;
        lists.addLightSymbol({1, 2, 3}, {0, -2, 0}, 5.0f, 0.6f, c.type);
        EXPECT_EQ(lists.getDepthPoints().size(), c.points) << c.type;
        EXPECT_EQ(lists.getDepthLines().size(), 2 * c.lines) << c.type;
        EXPECT_TRUE(lists.getTopLines().empty());
    }
    // The spot's arrow runs the symbol length along the unit direction.
    DebugDrawLists spot;
    spot.addLightSymbol({1, 2, 3}, {0, -2, 0}, 5.0f, 0.6f, 2);
    const DebugDrawLists::Vertex& tip = spot.getDepthLines()[1];
    EXPECT_FLOAT_EQ(tip.y, 2.0f - spot.getSymbolLength());
    EXPECT_FLOAT_EQ(tip.x, 1.0f);
}

// A frame with text and overlays, saved through the screenshot writer and
// probed after reading the file back.
TEST_F(OverlayTest, ScreenshotOfTextAndOverlays) {
    testsupport::TempDir dir;
    Overlay quarter("quarter", twoRowTexture());
    quarter.setRect(0.5f, 0.5f, 0.5f, 0.5f);
    quarter.draw(device(), kSize, kSize);
    ScreenFont font;
    font.buildEmbedded(&device());
    font.setColour(1.0f, 0.0f, 0.0f, 1.0f);
    font.drawText(0.0f, 0.0f, 0.3f, "MM", false);
    font.flushText(device());
    ASSERT_TRUE(saveScreenshot(device(), dir / "shot.png"));
    std::string file = testsupport::readFile(dir / "shot.png");
    Image image = ImageUtil::decodeImage(reinterpret_cast<const uint8_t*>(file.data()), file.size(),
                                         "shot.png", true);
    ASSERT_TRUE(image.valid);
    ASSERT_EQ(image.width, static_cast<uint32_t>(kSize));
    ASSERT_EQ(image.channels, 3);
    auto pixel = [&image](int x, int y) { return &image.data[(y * kSize + x) * 3]; };
    EXPECT_EQ(pixel(48, 60)[1], 255);  // overlay, upper row green
    int redPixels = 0;
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 32; ++x) {
            redPixels += pixel(x, y)[0] > 128 && pixel(x, y)[1] < 64;
        }
    }
    EXPECT_GT(redPixels, 20);  // the text in the lower left
    EXPECT_EQ(pixel(10, 54)[0] + pixel(10, 54)[1] + pixel(10, 54)[2], 0);
}

}  // namespace
