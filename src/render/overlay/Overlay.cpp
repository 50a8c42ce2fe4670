#include "render/overlay/Overlay.h"

#include <cstring>

#include "base/device/IRenderDevice.h"
#include "base/device/Texture.h"
#include "foundation/ResourceManager.h"
#include "render/overlay/ScreenSpace.h"

namespace {

struct OverlayVertex {
    float x, y, z;
    float r, g, b, a;
    float u, v;
};
static_assert(sizeof(OverlayVertex) == 36);

std::unique_ptr<IVertexDeclaration>& sharedDeclaration() {
    static std::unique_ptr<IVertexDeclaration> declaration;
    return declaration;
}

}  // namespace

Overlay::Overlay(const std::string& name, Texture* texture)
    : Entity(name, true), m_texture(texture) {}

Overlay::~Overlay() {
    m_buffer.reset();
    if (m_texture != nullptr) {
        ResourceManager::instance().release(m_texture);
    }
}

void Overlay::releaseSharedResources() {
    sharedDeclaration().reset();
}

bool Overlay::assign(float* target, const float* values, int count) {
    if (std::memcmp(target, values, count * sizeof(float)) == 0) {
        return false;
    }
    std::memcpy(target, values, count * sizeof(float));
    m_changed = true;
    return true;
}

void Overlay::setRect(float x, float y, float width, float height) {
    const float rect[4] = {x, y, width, height};
    assign(m_rect, rect, 4);
}

void Overlay::setColour(float r, float g, float b, float a) {
    const float colour[4] = {r, g, b, a};
    assign(m_colour, colour, 4);
}

void Overlay::setTexCoords(const float* uvs) {
    assign(m_uvs, uvs, 8);
}

void Overlay::writeVertices(float pixels[4]) {
    float left = pixels[0];
    float bottom = pixels[1];
    float right = pixels[0] + pixels[2];
    float top = pixels[1] + pixels[3];
    const float* c = m_colour;
    const float* t = m_uvs;  // lower-left, upper-left, lower-right, upper-right
    const OverlayVertex lowerLeft{left, bottom, 0, c[0], c[1], c[2], c[3], t[0], t[1]};
    const OverlayVertex upperLeft{left, top, 0, c[0], c[1], c[2], c[3], t[2], t[3]};
    const OverlayVertex lowerRight{right, bottom, 0, c[0], c[1], c[2], c[3], t[4], t[5]};
    const OverlayVertex upperRight{right, top, 0, c[0], c[1], c[2], c[3], t[6], t[7]};
    const OverlayVertex vertices[6] = {lowerLeft,  lowerRight, upperRight,
                                       upperRight, upperLeft,  lowerLeft};
    m_buffer->write(0, sizeof(vertices), vertices, true);
    std::memcpy(m_writtenPixels, pixels, sizeof(m_writtenPixels));
    m_changed = false;
    ++m_vertexWrites;
}

void Overlay::draw(IRenderDevice& device, int viewportWidth, int viewportHeight) {
    float pixels[4] = {m_rect[0] * viewportWidth, m_rect[1] * viewportHeight,
                       m_rect[2] * viewportWidth, m_rect[3] * viewportHeight};
    if (!m_buffer) {
        m_buffer = device.createVertexBuffer(6 * sizeof(OverlayVertex), nullptr,
                                             BU_WRITE_ONLY | BU_DISCARDABLE);
        if (!m_buffer) {
            return;
        }
        m_changed = true;
    }
    std::unique_ptr<IVertexDeclaration>& declaration = sharedDeclaration();
    if (!declaration) {
        VertexDeclarationDesc layout;
        layout.position.type = VET_FLOAT3;
        layout.diffuse.type = VET_FLOAT4;
        layout.texCoords[0].type = VET_FLOAT2;
        declaration = device.createVertexDeclaration(layout);
        if (!declaration) {
            return;
        }
    }
    // A new viewport size moves the corners as well.
    if (m_changed || std::memcmp(pixels, m_writtenPixels, sizeof(pixels)) != 0) {
        writeVertices(pixels);
    }

    setScreenSpaceMatrices(device, static_cast<float>(viewportWidth),
                           static_cast<float>(viewportHeight));
    device.bindTexture(0, m_texture != nullptr ? m_texture->getDeviceTexture() : nullptr);
    device.disableDepthTest();
    device.setBlendFunction(BF_SOURCE_ALPHA, BF_ONE_MINUS_SOURCE_ALPHA);
    device.setVertexBuffer(m_buffer.get());
    // Not indexed: an index buffer the scene left bound would pick the
    // vertices instead.
    device.setIndexBuffer(nullptr);
    device.bindVertexDeclaration(declaration.get());
    device.draw(6, 0, PT_TRIANGLE_LIST);
    device.unbindVertexDeclaration();
    device.bindTexture(0, nullptr);
    device.enableDepthTest();
    device.setBlendFunction(BF_ONE, BF_ZERO);
}
