#pragma once
// Overlay: a textured, tinted rectangle that scripts place on the screen in
// fractions of the viewport (origin at the lower left), drawn on top of the
// scene without depth testing.

#include <memory>
#include <string>

#include "foundation/Entity.h"

class IRenderDevice;
class IVertexBuffer;
class IVertexDeclaration;
class Texture;

class Overlay : public Entity {
public:
    // Takes over one reference on the texture (from the resource manager),
    // released through it when the overlay goes.
    Overlay(const std::string& name, Texture* texture);
    ~Overlay() override;

    const char* getClassName() const override { return "Overlay"; }

    // Each marks the overlay changed only when a value differs.
    void setRect(float x, float y, float width, float height);
    void setColour(float r, float g, float b, float a);
    // (u, v) of the lower-left, upper-left, lower-right and upper-right
    // corner.
    void setTexCoords(const float* uvs);

    // Draws at once into a viewport of that size in pixels.
    void draw(IRenderDevice& device, int viewportWidth, int viewportHeight);

    const float* getRect() const { return m_rect; }
    const float* getColour() const { return m_colour; }
    const float* getTexCoords() const { return m_uvs; }
    bool isChanged() const { return m_changed; }
    Texture* getTexture() const { return m_texture; }
    // How often the vertices were written (each write is one upload).
    int getVertexWrites() const { return m_vertexWrites; }

    // The declaration all overlays share; destroy it before the device.
    static void releaseSharedResources();

private:
    bool assign(float* target, const float* values, int count);
    void writeVertices(float pixelRect[4]);

    Texture* m_texture;
    float m_rect[4] = {0.1f, 0.1f, 0.2f, 0.2f};
    float m_uvs[8] = {0, 0, 0, 1, 1, 0, 1, 1};
    float m_colour[4] = {1, 1, 1, 1};
    bool m_changed = true;
    float m_writtenPixels[4] = {0, 0, 0, 0};
    int m_vertexWrites = 0;
    std::unique_ptr<IVertexBuffer> m_buffer;
};
