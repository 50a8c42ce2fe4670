#include "app/ScreenFont.h"

#include <algorithm>
#include <cstring>

#include "app/EmbeddedFont.h"
#include "base/device/IRenderDevice.h"
#include "base/image/Image.h"
#include "foundation/Log.h"
#include "render/overlay/ScreenSpace.h"

namespace {

constexpr int kFileColumns = 16;
constexpr int kFileRows = 16;
constexpr int kFileBoldOffset = 128;
constexpr int kFileFixedAdvance = 18;
constexpr int kEmbeddedFixedAdvance = 11;

// Latin-1 umlauts and the codes at which the font image holds them.
struct Remap {
    uint8_t from;
    uint8_t to;
};
constexpr Remap kUmlauts[] = {{196, 142}, {214, 153}, {220, 154},
                              {228, 132}, {246, 148}, {252, 129}};

}  // namespace

ScreenFont::ScreenFont() = default;
ScreenFont::~ScreenFont() = default;

std::vector<int> ScreenFont::computeAdvances(const uint8_t* pixels, int width, int height) {
    int cellWidth = width / kFileColumns;
    int cellHeight = height / kFileRows;
    std::vector<int> advances(kFileColumns * kFileRows);
    for (int g = 0; g < kFileColumns * kFileRows; ++g) {
        int n = g % 128;
        float advance = 0.0f;
        if (n == 0) {
            advance = cellWidth * 0.4f;
        } else if (n >= 16 && n <= 25) {
            advance = cellWidth * 0.55f;
        } else {
            int left = (g % kFileColumns) * cellWidth;
            int top = (g / kFileColumns) * cellHeight;
            int rightmost = -1;
            for (int x = cellWidth - 1; x >= 0 && rightmost < 0; --x) {
                for (int y = 0; y < cellHeight; ++y) {
                    if (pixels[static_cast<size_t>(top + y) * width + left + x] > 32) {
                        rightmost = x;
                        break;
                    }
                }
            }
            advance = rightmost > 0 ? rightmost * 0.9f : cellWidth * 0.7f;
        }
        advances[g] = static_cast<int>(advance);
    }
    return advances;
}

bool ScreenFont::buildFromImage(IRenderDevice* device, const Image& image) {
    if (!image.valid || image.channels != 1 || image.componentType != ICT_UNSIGNED_BYTE ||
        image.format != IF_LUMINANCE || image.width < kFileColumns || image.height < kFileRows) {
        return false;
    }
    m_imageWidth = static_cast<int>(image.width);
    m_imageHeight = static_cast<int>(image.height);
    m_columns = kFileColumns;
    m_rows = kFileRows;
    m_firstCharacter = 32;
    m_boldOffset = kFileBoldOffset;
    m_fixedAdvance = kFileFixedAdvance;
    m_advances = computeAdvances(image.data.data(), m_imageWidth, m_imageHeight);
    createDeviceObjects(device, image.data.data());
    return true;
}

void ScreenFont::build(IRenderDevice* device, const std::string& path) {
    Image image = ImageUtil::loadImage(false, path);
    if (!buildFromImage(device, image)) {
        Log::get() << "Warning: Font loading failed. Using embedded font.\n";
        buildEmbedded(device);
    }
}

void ScreenFont::buildEmbedded(IRenderDevice* device) {
    m_imageWidth = embeddedfont::kWidth;
    m_imageHeight = embeddedfont::kHeight;
    m_columns = embeddedfont::kColumns;
    m_rows = embeddedfont::kRows;
    m_firstCharacter = 32;
    m_boldOffset = 0;
    m_fixedAdvance = kEmbeddedFixedAdvance;
    m_advances.assign(embeddedfont::kAdvances, embeddedfont::kAdvances + embeddedfont::kGlyphs);
    createDeviceObjects(device, embeddedfont::kPixels);
}

void ScreenFont::createDeviceObjects(IRenderDevice* device, const uint8_t* pixels) {
    m_texture.reset();
    m_declaration.reset();
    m_buffer.reset();
    m_bufferCapacity = 0;
    if (m_vertices.size() < static_cast<size_t>(kInitialCapacity)) {
        m_vertices.resize(kInitialCapacity);
    }
    m_queued = 0;
    if (device == nullptr) {
        return;
    }
    // The glyph image is coverage: drawn as alpha over the text colour.
    TextureDesc desc;
    desc.width = static_cast<uint32_t>(m_imageWidth);
    desc.height = static_cast<uint32_t>(m_imageHeight);
    desc.format = PF_A8;
    desc.data = pixels;
    desc.mipCount = 0;
    desc.minFilter = TF_LINEAR;
    desc.magFilter = TF_LINEAR;
    desc.mipFilter = TF_NONE;
    desc.wrapS = TW_CLAMP_TO_EDGE;
    desc.wrapT = TW_CLAMP_TO_EDGE;
    m_texture = device->createTexture(desc);

    VertexDeclarationDesc layout;
    layout.position.type = VET_FLOAT3;
    layout.diffuse.type = VET_FLOAT4;
    layout.texCoords[0].type = VET_FLOAT2;
    m_declaration = device->createVertexDeclaration(layout);
}

void ScreenFont::setColour(float r, float g, float b, float a) {
    m_colour[0] = r;
    m_colour[1] = g;
    m_colour[2] = b;
    m_colour[3] = a;
}

int ScreenFont::getAdvance(int glyph) const {
    if (glyph < 0 || glyph >= static_cast<int>(m_advances.size())) {
        return 0;
    }
    return m_advances[glyph];
}

int ScreenFont::glyphIndex(uint8_t character) const {
    for (const Remap& remap : kUmlauts) {
        if (character == remap.from) {
            character = remap.to;
            break;
        }
    }
    int glyph = character - m_firstCharacter;
    if (m_bold) {
        glyph += m_boldOffset;
    }
    return std::clamp(glyph, 0, std::max(0, m_columns * m_rows - 1));
}

void ScreenFont::drawText(float x, float y, float size, const char* text, bool fixedAdvance) {
    if (text == nullptr || m_columns == 0) {
        return;
    }
    int line = 0;
    const char* start = text;
    while (true) {
        const char* end = std::strchr(start, '\n');
        size_t length = end != nullptr ? static_cast<size_t>(end - start) : std::strlen(start);
        queueLine(x, y - size * static_cast<float>(line) * 1.1f, size, start, length, fixedAdvance);
        if (end == nullptr) {
            break;
        }
        start = end + 1;
        ++line;
    }
}

void ScreenFont::queueLine(float x, float y, float size, const char* text, size_t length,
                           bool fixed) {
    if (length == 0) {
        return;
    }
    size_t needed = static_cast<size_t>(m_queued) + 6 * length;
    if (needed > m_vertices.size()) {
        m_vertices.resize(m_vertices.size() + 6 * length + 128);
    }
    float bottom = kVirtualHeight * y;
    float s = kVirtualHeight * size;
    float top = bottom + s;
    float pen = kVirtualWidth * x;
    float cellWidth = static_cast<float>(m_imageWidth) / m_columns;
    float du = 1.0f / m_columns;
    float dv = 1.0f / m_rows;
    const float* c = m_colour;
    Vertex* out = m_vertices.data() + m_queued;
    for (size_t i = 0; i < length; ++i) {
        int g = glyphIndex(static_cast<uint8_t>(text[i]));
        float left = static_cast<float>(g % m_columns) / m_columns;
        float upper = static_cast<float>(g / m_columns) / m_rows;
        float right = left + du;
        float lower = upper + dv;
        const Vertex quad[6] = {
            {pen, top, 0, c[0], c[1], c[2], c[3], left, upper},
            {pen, bottom, 0, c[0], c[1], c[2], c[3], left, lower},
            {pen + s, bottom, 0, c[0], c[1], c[2], c[3], right, lower},
            {pen + s, bottom, 0, c[0], c[1], c[2], c[3], right, lower},
            {pen + s, top, 0, c[0], c[1], c[2], c[3], right, upper},
            {pen, top, 0, c[0], c[1], c[2], c[3], left, upper},
        };
        std::copy(quad, quad + 6, out);
        out += 6;
        pen += s / cellWidth * static_cast<float>(fixed ? m_fixedAdvance : m_advances[g]) - 0.01f;
    }
    m_queued += static_cast<int>(6 * length);
}

void ScreenFont::flushText(IRenderDevice& device) {
    if (!m_texture || !m_declaration) {
        m_queued = 0;
        return;
    }
    if (m_queued == 0) {
        return;
    }
    setScreenSpaceMatrices(device, static_cast<float>(kVirtualWidth),
                           static_cast<float>(kVirtualHeight));

    auto bytes = static_cast<uint32_t>(m_queued * sizeof(Vertex));
    if (!m_buffer || m_bufferCapacity < m_queued) {
        m_buffer.reset();
        m_buffer = device.createVertexBuffer(bytes, nullptr, BU_DYNAMIC | BU_WRITE_ONLY);
        m_bufferCapacity = m_buffer ? m_queued : 0;
    }
    if (m_buffer) {
        m_buffer->write(0, bytes, m_vertices.data(), true);
        device.disableDepthTest();
        device.setBlendFunction(BF_SOURCE_ALPHA, BF_ONE_MINUS_SOURCE_ALPHA);
        device.setVertexBuffer(m_buffer.get());
        // The quads are not indexed: an index buffer the scene left bound
        // would draw only as many vertices as it holds indices.
        device.setIndexBuffer(nullptr);
        device.bindTexture(0, m_texture.get());
        device.bindVertexDeclaration(m_declaration.get());
        device.draw(m_queued, 0, PT_TRIANGLE_LIST);
        device.bindTexture(0, nullptr);
        device.unbindVertexDeclaration();
    }
    m_queued = 0;
}
