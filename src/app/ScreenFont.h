#pragma once
// ScreenFont: the one bitmap font of all on-screen text. Text is queued
// during the frame as textured quads in a 640 × 480 virtual screen and drawn
// by flushText in one buffer upload and one draw.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class IRenderDevice;
class ITextureObject;
class IVertexBuffer;
class IVertexDeclaration;
struct Image;

class ScreenFont {
public:
    struct Vertex {
        float x, y, z;
        float r, g, b, a;
        float u, v;
    };

    static constexpr int kVirtualWidth = 640;
    static constexpr int kVirtualHeight = 480;
    static constexpr int kInitialCapacity = 4096;

    ScreenFont();
    ~ScreenFont();
    ScreenFont(const ScreenFont&) = delete;
    ScreenFont& operator=(const ScreenFont&) = delete;

    // Builds from the font image (16 × 16 cells, rows from the top, one
    // 8-bit channel, bold forms in the upper half); anything else logs a
    // warning and builds the embedded font. Without a device only the
    // layout is built and nothing can be drawn.
    void build(IRenderDevice* device, const std::string& path);
    void buildEmbedded(IRenderDevice* device);
    // Builds from an image already in memory; false when it is no font
    // image (then nothing changed).
    bool buildFromImage(IRenderDevice* device, const Image& image);

    void setColour(float r, float g, float b, float a);
    const float* getColour() const { return m_colour; }
    void setBold(bool bold) { m_bold = bold; }
    bool isBold() const { return m_bold; }

    // Queues a text at (x, y) in screen fractions (0 left / bottom, 1 right /
    // top), glyphs `size` screen heights high; line i of the text sits at
    // y − size × i × 1.1.
    void drawText(float x, float y, float size, const char* text, bool fixedAdvance);
    // Draws the queued text and empties the queue. Leaves the projection,
    // view and model matrices and the depth and blend states as it set them.
    void flushText(IRenderDevice& device);
    // Empties the queue without drawing.
    void clearText() { m_queued = 0; }

    int getQueuedCount() const { return m_queued; }
    const Vertex* getQueuedVertices() const { return m_vertices.data(); }
    int getCapacity() const { return static_cast<int>(m_vertices.size()); }
    int getColumns() const { return m_columns; }
    int getRows() const { return m_rows; }
    int getBoldOffset() const { return m_boldOffset; }
    int getFixedAdvance() const { return m_fixedAdvance; }
    int getAdvance(int glyph) const;
    int getImageWidth() const { return m_imageWidth; }
    bool hasTexture() const { return m_texture != nullptr; }

    // Advances of the 256 glyphs of a 16 × 16 font image in image pixels:
    // the blank and the digits get fixed shares of the cell width, every
    // other glyph 0.9 times its rightmost column with a value above 32.
    static std::vector<int> computeAdvances(const uint8_t* pixels, int width, int height);

    // The glyph a character byte shows, the umlauts of Latin-1 moved to
    // where the font image holds them.
    int glyphIndex(uint8_t character) const;

private:
    void queueLine(float x, float y, float size, const char* text, size_t length, bool fixed);
    void createDeviceObjects(IRenderDevice* device, const uint8_t* pixels);

    float m_colour[4] = {1.0f, 1.0f, 1.0f, 1.0f};
    int m_imageWidth = 0;
    int m_imageHeight = 0;
    int m_columns = 0;
    int m_rows = 0;
    int m_firstCharacter = 32;
    int m_boldOffset = 0;
    int m_fixedAdvance = 0;
    std::vector<int> m_advances;
    bool m_bold = false;
    std::unique_ptr<ITextureObject> m_texture;
    std::unique_ptr<IVertexDeclaration> m_declaration;
    std::unique_ptr<IVertexBuffer> m_buffer;
    std::vector<Vertex> m_vertices;  // the capacity is its size
    int m_queued = 0;
    int m_bufferCapacity = 0;
};
