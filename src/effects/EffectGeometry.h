#pragma once
// The common part of particle systems and precipitation: a geometry whose
// vertices are rebuilt on the CPU once per rendered frame (when a shape that
// shows it is visited by the renderer) and uploaded into one dynamic vertex
// buffer sized once at creation. EffectShape is the shape that forwards its
// render event to the geometry.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/device/RenderTypes.h"
#include "base/math/Vector3.h"
#include "scene/Geometry.h"
#include "scene/Shape.h"

class IRenderDevice;
class IVertexBuffer;
class IVertexDeclaration;
class Material;

// What effect geometries draw with and read the camera from. Neither is
// owned; without a device the geometry still simulates but draws nothing.
struct EffectsEnvironment {
    IRenderDevice* device = nullptr;
    SceneRenderContext* context = nullptr;
};

// The camera of one frame, in the frame of the shape being rendered.
struct EffectView {
    Vector3 position;
    // The camera's x (right), y (up) and z (towards the viewer) axes.
    Vector3 axes[3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
};

class EffectGeometry : public VertexBufferGeometry {
public:
    ~EffectGeometry() override;

    // Draws the vertices of the last update; nothing before the first one.
    void draw(SceneRenderContext& context, size_t subMesh) override;

    // A shape that shows the geometry was visited by the renderer: the first
    // visit of a frame (by frame number) that is not a sub-render updates.
    void onShapeRendered(Shape& shape);
    // One frame of simulation seen from `view`, then the vertex upload.
    void advanceFrame(const EffectView& view, float dtMs);

    // The vertex data of the last update: getNumVertices() vertices of
    // getVertexStride() bytes.
    const uint8_t* getVertexData() const { return m_vertices.data(); }
    uint32_t getNumVertices() const { return m_numVertices; }
    uint32_t getVertexStride() const { return m_vertexStride; }
    const EffectsEnvironment& getEnvironment() const { return m_environment; }

protected:
    EffectGeometry(const std::string& name, const EffectsEnvironment& environment);

    // Sizes the vertex storage (and the device buffer, when there is a
    // device) for `maxVertices` vertices; one sub-mesh with the given
    // VertexAttribute bits describes them to the renderer. False when the
    // size is beyond what one buffer holds.
    bool createVertexStorage(uint64_t maxVertices, uint32_t vertexStride,
                             const VertexDeclarationDesc& declaration, uint32_t attributes);
    uint8_t* vertexStorage() { return m_vertices.data(); }

    // Moves the simulation on by dtMs and writes the vertices; returns the
    // number of vertices written.
    virtual uint32_t update(const EffectView& view, float dtMs) = 0;

private:
    EffectsEnvironment m_environment;
    std::vector<uint8_t> m_vertices;
    uint32_t m_vertexStride = 0;
    uint32_t m_numVertices = 0;
    bool m_updated = false;
    uint32_t m_lastFrame = 0;
    std::unique_ptr<IVertexDeclaration> m_declaration;
    std::unique_ptr<IVertexBuffer> m_buffer;
};

// A shape that shows an effect geometry: it listens to its own render event
// and hands it to its geometry, so every copy made of it (scene file
// "Shape" and "Dynamic" elements, clones) keeps the geometry updating.
class EffectShape : public Shape {
public:
    explicit EffectShape(const std::string& name);
    ~EffectShape() override;

    std::unique_ptr<TransformGroup> createCopy() const override;
    void actionPerformed(void* source, int eventKind, int32_t value1, int32_t value2) override;
};

// The largest number of vertices one effect geometry draws, so that its
// buffer stays far below the 32-bit size limit.
constexpr uint64_t kMaxEffectVertices = uint64_t(6) << 17;
