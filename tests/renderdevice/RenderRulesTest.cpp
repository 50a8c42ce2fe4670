// Device rules that need no GL context: version and extension parsing, mip
// counts, display-mode filtering, pixel-format sizes, error names, window
// settings from the configuration and parameter-block layout.

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <string>

#include "base/device/RenderDeviceUtil.h"
#include "base/device/RenderTypes.h"
#include "base/device/RenderWindowConfig.h"
#include "base/device/ShaderParameters.h"
#include "base/image/PixelFormat.h"
#include "foundation/Properties.h"

using namespace renderdeviceutil;

TEST(GLVersion, ParsesMajorAndMinorAndIgnoresTheRest) {
    struct Case {
        const char* text;
        bool ok;
        int major;
        int minor;
    } cases[] = {
        {"1.2.1", true, 1, 2},
        {"1.3", true, 1, 3},
        {"2.0.3 Vendor Build 77", true, 2, 0},
        {"4.5 (Core Profile) Mesa 22.3.6", true, 4, 5},
        {"3.10", true, 3, 10},
        {"OpenGL ES 3.2", false, 0, 0},
        {"3", false, 0, 0},
        {"", false, 0, 0},
    };
    for (const Case& c : cases) {
        int major = -1;
        int minor = -1;
        EXPECT_EQ(parseGLVersion(c.text, &major, &minor), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(major, c.major) << c.text;
            EXPECT_EQ(minor, c.minor) << c.text;
        }
    }
    EXPECT_FALSE(parseGLVersion(nullptr, nullptr, nullptr));
}

TEST(ExtensionList, FindsOnlyWholeWords) {
    const char* list = "GL_EXT_framebuffer_object_xyz GL_ARB_a GL_EXT_blit";
    EXPECT_FALSE(hasExtensionWord(list, "GL_EXT_framebuffer_object"));
    EXPECT_TRUE(hasExtensionWord(list, "GL_EXT_framebuffer_object_xyz"));
    EXPECT_TRUE(hasExtensionWord(list, "GL_ARB_a"));
    EXPECT_TRUE(hasExtensionWord(list, "GL_EXT_blit"));
    EXPECT_FALSE(hasExtensionWord(list, "ARB_a"));
    EXPECT_FALSE(hasExtensionWord(list, "GL_EXT"));
    EXPECT_TRUE(hasExtensionWord("GL_x_object GL_x", "GL_x"));
    EXPECT_FALSE(hasExtensionWord(list, ""));
}

TEST(MipCount, HalvesUntilEveryDimensionIsOne) {
    struct Case {
        uint32_t w, h, d, expected;
    } cases[] = {
        {256, 256, 1, 8}, {1, 1, 1, 1}, {256, 1, 1, 8}, {300, 200, 1, 8},
        {2, 2, 1, 1},     {0, 0, 0, 1}, {4, 4, 16, 4},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(getMaxMipCount(c.w, c.h, c.d), c.expected) << c.w << "x" << c.h << "x" << c.d;
    }
}

TEST(DisplayModes, DropsModesBelow480AndRepeatedSizes) {
    std::vector<std::pair<int, int>> modes = {{1920, 1080}, {1920, 1080}, {640, 400},
                                              {640, 480},   {800, 600},   {320, 240}};
    std::vector<std::pair<int, int>> expected = {{1920, 1080}, {640, 480}, {800, 600}};
    EXPECT_EQ(filterDisplayModes(modes), expected);
}

TEST(RectangleFromTop, ScissorAtTopLandsAtTargetHeightMinusHeight) {
    EXPECT_EQ(flipY(600, 0, 100), 500);
    EXPECT_EQ(flipY(600, 500, 100), 0);
    EXPECT_EQ(nextPowerOfTwo(300), 512u);
    EXPECT_EQ(nextPowerOfTwo(256), 256u);
    EXPECT_EQ(nextPowerOfTwo(0), 1u);
}

TEST(PixelFormats, MemorySizes) {
    using namespace PixelFormatUtil;
    EXPECT_EQ(getMemorySize(101, 3, PF_BYTE_RGB24), 909u);
    EXPECT_EQ(getMemorySize(4, 4, PF_BYTE_BGRA32, 2), 128u);
    EXPECT_EQ(getMemorySize(16, 16, PF_FLOAT_RGBA128), 4096u);
    EXPECT_EQ(getMemorySize(5, 5, PF_DXT1), 32u);     // 2×2 blocks of 8
    EXPECT_EQ(getMemorySize(1, 1, PF_DXT5), 16u);     // one block
    EXPECT_EQ(getMemorySize(8, 8, PF_DXT3, 4), 64u);  // depth not applied
    EXPECT_EQ(getMemorySize(4, 4, PF_L16), 32u);
    EXPECT_STREQ(getName(PF_SHORT_RGBA64), "PF_SHORT_RGBA64");
    EXPECT_STREQ(getName(static_cast<PixelFormat>(99)), "PF_UNKNOWN");
    EXPECT_TRUE(hasAlphaFlag(PF_DXT1_A));
    EXPECT_FALSE(hasAlphaFlag(PF_DXT1));
    EXPECT_TRUE(isDepth(PF_DEPTH24));
    EXPECT_EQ(getInfo(PF_BYTE_BGRA32).masks[2], 0xFF000000u);
    EXPECT_EQ(getInfo(PF_BYTE_RGB24).shifts[0], 16);
}

TEST(RenderDeviceErrors, NamesOfEveryCode) {
    std::map<int, std::string> expected = {
        {0, "none"},
        {1, "ERROR UNKNOWN"},
        {2, "Error: UNSUPPORTED COLOR BUFFER FORMAT"},
        {3, "Error: UNSUPPORTED DEPTH_BUFFER FORMAT"},
        {4, "Error: UNSUPPORTED STENCIL BUFFER FORMAT"},
        {5, "Error: UNSUPPORTED SHADER FORMAT"},
        {6, "Error: UNSUPPORTED SHADER VERSION"},
        {7, "Error: INVALID SHADER CODE"},
        {8, "Error: UNKNOWN"},
        {42, "ERROR UNKNOWN"},
    };
    for (const auto& [code, name] : expected) {
        EXPECT_EQ(getRenderDeviceErrorName(code), name) << code;
    }
}

TEST(WindowSettings, DepthAndStencilRequests) {
    struct Case {
        bool depthOverride;
        int depthMode;
        bool stencilOverride;
        int stencilMode;
        int depth;
        int stencil;
    } cases[] = {
        {true, 0, false, 3, 24, 0}, {true, 1, true, 0, 16, 0},  {true, 3, true, 2, 32, 4},
        {false, 1, true, 0, 24, 8}, {true, 2, true, 4, 24, 16}, {true, 0, true, 1, 24, 1},
    };
    for (const Case& c : cases) {
        RenderWindowSettings settings;
        settings.depthOverride = c.depthOverride;
        settings.depthMode = c.depthMode;
        settings.stencilOverride = c.stencilOverride;
        settings.stencilMode = c.stencilMode;
        EXPECT_EQ(getRequestedDepthBits(settings), c.depth);
        EXPECT_EQ(getRequestedStencilBits(settings), c.stencil);
    }
}

namespace {

class MapProperties : public Properties {
public:
    explicit MapProperties(std::map<std::string, std::string> values)
        : Properties("test", false), m_values(std::move(values)) {}
    const char* getString(const char* path) const override {
        auto it = m_values.find(path);
        return it == m_values.end() ? nullptr : it->second.c_str();
    }
    void setString(const char* path, const char* value) override { m_values[path] = value; }
    bool hasElement(const char* path) const override { return m_values.count(path) != 0; }
    void save() override {}

private:
    std::map<std::string, std::string> m_values;
};

}  // namespace

TEST(WindowSettings, FromConfigurationWithDefaults) {
    MapProperties empty(std::map<std::string, std::string>{});
    RenderWindowSettings defaults = readRenderWindowSettings(&empty, "MyGame");
    EXPECT_EQ(defaults.width, 800);
    EXPECT_EQ(defaults.height, 600);
    EXPECT_EQ(defaults.bitsPerPixel, 32);
    EXPECT_FALSE(defaults.fullScreen);
    EXPECT_FALSE(defaults.multisampling);
    EXPECT_EQ(defaults.samples, 2);
    EXPECT_FALSE(defaults.verticalSync);
    // A missing gamma reads 0, which leaves the display's gamma alone.
    EXPECT_EQ(defaults.gammaRed, 0.0f);
    EXPECT_EQ(defaults.windowStyle, 1);
    EXPECT_EQ(defaults.caption, "MyGame");
    EXPECT_TRUE(defaults.depthOverride);
    EXPECT_FALSE(defaults.stencilOverride);

    MapProperties set({{"game.graphic.display.width", "1024"},
                       {"game.graphic.display.height", "0"},
                       {"game.graphic.display.bpp", "16"},
                       {"game.graphic.display.fullscreen", "TRUE"},
                       {"game.graphic.display.filter.msaa", "4"},
                       {"game.graphic.display.vsync", "true"},
                       {"game.graphic.display.gamma", "1.5"}});
    RenderWindowSettings s = readRenderWindowSettings(&set, "x");
    EXPECT_EQ(s.width, 1024);
    EXPECT_EQ(s.height, 600);
    EXPECT_EQ(s.bitsPerPixel, 16);
    EXPECT_TRUE(s.fullScreen);
    EXPECT_TRUE(s.multisampling);
    EXPECT_EQ(s.samples, 4);
    EXPECT_TRUE(s.verticalSync);
    EXPECT_FLOAT_EQ(s.gammaRed, 1.5f);
    EXPECT_FLOAT_EQ(s.gammaGreen, 1.5f);
    EXPECT_FLOAT_EQ(s.gammaBlue, 1.5f);

    for (const char* msaa : {"1", "0"}) {
        MapProperties one(
            std::map<std::string, std::string>{{"game.graphic.display.filter.msaa", msaa}});
        RenderWindowSettings m = readRenderWindowSettings(&one, "x");
        EXPECT_FALSE(m.multisampling) << msaa;
        EXPECT_EQ(m.samples, std::atoi(msaa)) << msaa;
    }
}

TEST(ShaderParameterBlocks, MatricesAreRowsWhenTransposingAndColumnsOtherwise) {
    ShaderParameterMap map;
    map.addParameter("In.modelViewProj", 2);
    map.addParameter("In.colour", 0);
    map.addSampler("In.baseMap");
    ShaderParameters block(map);
    float m[16];
    for (int i = 0; i < 16; ++i) {
        m[i] = static_cast<float>(i);
    }
    EXPECT_EQ(block.setMatrix("In.modelViewProj", m), 2);
    const auto& entries = block.getEntries();
    ASSERT_EQ(entries.size(), 6u);
    EXPECT_FALSE(entries[0].set);
    EXPECT_FALSE(entries[1].set);
    for (int row = 0; row < 4; ++row) {
        EXPECT_TRUE(entries[2 + row].set);
        for (int k = 0; k < 4; ++k) {
            EXPECT_EQ(entries[2 + row].value[k], m[k * 4 + row]);
        }
    }
    block.setTransposeMatrices(false);
    block.setMatrix(2, m);
    for (int column = 0; column < 4; ++column) {
        for (int k = 0; k < 4; ++k) {
            EXPECT_EQ(block.getEntries()[2 + column].value[k], m[column * 4 + k]);
        }
    }
    float v[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    EXPECT_EQ(block.setVector("unknown", v), -1);
    EXPECT_EQ(block.setVectorArray("In.colour", v, 2), 0);
    EXPECT_EQ(block.getEntries()[1].value[3], 8.0f);
    EXPECT_TRUE(block.getSecondaryEntries().empty());
    block.setSecondaryVector(3, v);
    EXPECT_EQ(block.getSecondaryEntries().size(), 4u);
    // A wild index is refused instead of growing the table without bound.
    block.setVector(ShaderParameters::kMaxRegisters, v);
    block.setVector(-1, v);
    EXPECT_EQ(block.getEntries().size(), 6u);
    ASSERT_EQ(block.getSamplerNames().size(), 1u);
    EXPECT_EQ(block.getSamplerNames()[0], "In.baseMap");
    EXPECT_EQ(block.getParameters().size(), 2u);
}
