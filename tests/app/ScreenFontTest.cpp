#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "LogText.h"
#include "TestSupport.h"
#include "app/ScreenFont.h"
#include "base/image/Image.h"
#include "foundation/File.h"
#include "foundation/Log.h"

namespace {

// A 256 × 256 font image (16-pixel cells) whose glyph g has ink up to
// column `ink[g]` (-1: an empty cell).
Image fontImage(const std::vector<std::pair<int, int>>& inkColumns, uint8_t value = 200) {
    Image image;
    image.width = 256;
    image.height = 256;
    image.channels = 1;
    image.componentType = ICT_UNSIGNED_BYTE;
    image.format = IF_LUMINANCE;
    image.data.assign(256 * 256, 0);
    image.valid = true;
    for (auto [glyph, column] : inkColumns) {
        int x = (glyph % 16) * 16 + column;
        int y = (glyph / 16) * 16 + 7;
        image.data[y * 256 + x] = value;
    }
    return image;
}

TEST(ScreenFont, AdvancesFromTheGlyphImage) {
    // Blank and digits get fixed shares of the 16-pixel cell; others 0.9 ×
    // their rightmost inked column, or 0.7 × the cell when none (or only
    // column 0) is inked. The bold half follows the same rules.
    Image image = fontImage({{0, 12}, {16, 3}, {33, 9}, {35, 0}, {36, 15}, {128 + 33, 13}});
    std::vector<int> advances =
        ScreenFont::computeAdvances(image.data.data(), image.width, image.height);
    ASSERT_EQ(advances.size(), 256u);
    struct Case {
        int glyph;
        int advance;
    };
    const Case cases[] = {
        {0, 6},   {16, 8},  {25, 8},        {33, 8},  {34, 11},
        {35, 11}, {36, 13}, {128 + 33, 11}, {128, 6}, {128 + 20, 8},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(advances[c.glyph], c.advance) << "glyph " << c.glyph;
    }
    // A value of 32 is no ink.
    Image faint = fontImage({{33, 9}}, 32);
    EXPECT_EQ(ScreenFont::computeAdvances(faint.data.data(), 256, 256)[33], 11);
}

TEST(ScreenFont, LinesGlyphsAndPen) {
    ScreenFont font;
    ASSERT_TRUE(font.buildFromImage(nullptr, fontImage({{33, 9}})));
    font.drawText(0.5f, 0.5f, 0.1f, "A\nA", false);
    ASSERT_EQ(font.getQueuedCount(), 12);
    const ScreenFont::Vertex* v = font.getQueuedVertices();
    // Second vertex of a quad is its bottom left.
    EXPECT_FLOAT_EQ(v[1].x, 320.0f);
    EXPECT_FLOAT_EQ(v[1].y, 240.0f);
    EXPECT_FLOAT_EQ(v[0].y, 288.0f);
    EXPECT_NEAR(v[6 + 1].y, 480.0f * 0.39f, 1e-3);
    // Glyph 33 ('A') sits in column 1 of row 2.
    EXPECT_FLOAT_EQ(v[0].u, 1.0f / 16);
    EXPECT_FLOAT_EQ(v[0].v, 2.0f / 16);
    EXPECT_FLOAT_EQ(v[2].u, 2.0f / 16);
    EXPECT_FLOAT_EQ(v[2].v, 3.0f / 16);

    // The pen moves by the glyph height over the cell width times the
    // advance, less 0.01; fixed mode uses 18.
    font.clearText();
    font.drawText(0.0f, 0.0f, 0.1f, "AA", false);
    float s = 48.0f;
    EXPECT_NEAR(font.getQueuedVertices()[7].x, s / 16 * 8 - 0.01f, 1e-4);
    font.clearText();
    font.drawText(0.0f, 0.0f, 0.1f, "AA", true);
    EXPECT_NEAR(font.getQueuedVertices()[7].x, s / 16 * 18 - 0.01f, 1e-4);

    font.clearText();
    font.drawText(0.1f, 0.1f, 0.1f, "", false);
    font.drawText(0.1f, 0.1f, 0.1f, "\n", false);
    EXPECT_EQ(font.getQueuedCount(), 0);
}

TEST(ScreenFont, GlyphChoice) {
    ScreenFont file;
    ASSERT_TRUE(file.buildFromImage(nullptr, fontImage({})));
    ScreenFont embedded;
    embedded.buildEmbedded(nullptr);
    struct Case {
        ScreenFont* font;
        bool bold;
        uint8_t character;
        int glyph;
    };
    const Case cases[] = {
        {&file, false, '\t', 0},       // control codes show the blank
        {&file, false, 'A', 33},       //
        {&file, true, 'A', 161},       // bold half
        {&file, true, 255, 255},       // beyond the last glyph: the last
        {&file, false, 228, 100},      // ä at 132
        {&file, true, 220, 154 + 96},  // bold Ü
        {&embedded, false, 200, 127},  //
        {&embedded, true, 'A', 33},    // no bold forms
        {&embedded, false, 246, 116},  // ö at 148
    };
    for (const Case& c : cases) {
        c.font->setBold(c.bold);
        EXPECT_EQ(c.font->glyphIndex(c.character), c.glyph)
            << static_cast<int>(c.character) << (c.bold ? " bold" : "");
    }
    EXPECT_EQ(embedded.getAdvance(0), 6);
    EXPECT_EQ(embedded.getAdvance(3), 11);
    EXPECT_EQ(embedded.getFixedAdvance(), 11);
}

TEST(ScreenFont, QueueGrowsAndKeepsWhatItHeld) {
    ScreenFont font;
    font.buildEmbedded(nullptr);
    EXPECT_EQ(font.getCapacity(), ScreenFont::kInitialCapacity);
    font.drawText(0.0f, 0.5f, 0.05f, "x", false);
    float firstX = font.getQueuedVertices()[0].x;
    std::string line(700, 'y');
    font.drawText(0.0f, 0.0f, 0.05f, line.c_str(), false);
    EXPECT_EQ(font.getQueuedCount(), 6 + 6 * 700);
    EXPECT_EQ(font.getCapacity(), ScreenFont::kInitialCapacity + 6 * 700 + 128);
    EXPECT_FLOAT_EQ(font.getQueuedVertices()[0].x, firstX);
    EXPECT_FLOAT_EQ(font.getQueuedVertices()[1].y, 240.0f);
}

TEST(ScreenFont, ShippedFontAndFallback) {
    testsupport::TempDir dir;
    FileSystem::addFileLoader(std::make_unique<NativeFileLoader>(DATA_FOLDER "/", 10));
    FileSystem::addFileLoader(std::make_unique<NativeFileLoader>(dir.path(), 20));
    {
        LogText log;
        ScreenFont font;
        font.build(nullptr, "shared/font/sansSerif.png");
        EXPECT_EQ(log.text(), "");
        EXPECT_EQ(font.getColumns(), 16);
        EXPECT_EQ(font.getRows(), 16);
        EXPECT_EQ(font.getBoldOffset(), 128);
        int cell = font.getImageWidth() / 16;
        // Letters are narrower than their cell and wider than nothing; the
        // bold 'm' is at least as wide as the regular one.
        int m = font.glyphIndex('m');
        EXPECT_GT(font.getAdvance(m), cell / 4);
        EXPECT_LT(font.getAdvance(m), cell);
        EXPECT_GE(font.getAdvance(m + 128), font.getAdvance(m));
        EXPECT_LT(font.getAdvance(font.glyphIndex('i')), font.getAdvance(m));
    }
    // A colour image, or no file, falls back to the embedded font.
    std::vector<uint8_t> rgb(32 * 32 * 3, 128);
    ASSERT_TRUE(ImageUtil::saveImage(dir / "colour.png", 32, 32, 3, IF_RGB, rgb.data()));
    for (const char* name : {"colour.png", "missing.png"}) {
        LogText log;
        ScreenFont font;
        font.build(nullptr, name);
        EXPECT_EQ(log.text(), "Warning: Font loading failed. Using embedded font.\n") << name;
        EXPECT_EQ(font.getRows(), 8) << name;
    }
    FileSystem::clearFileLoaders();
}

}  // namespace
