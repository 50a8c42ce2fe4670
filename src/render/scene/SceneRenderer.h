#pragma once
// The scene renderer: sets up the active camera, walks the scene tree once
// per frame collecting shapes and lights, and draws every shape's sub-meshes
// in one opaque pass with the generated shaders of its material and the
// scene's first light group (up to four lights, directional ones first).
// It also makes and draws the device buffers of sub-meshes.

#include <cstdint>
#include <memory>
#include <vector>

#include "base/math/Matrix4.h"
#include "render/shader/ShaderKey.h"
#include "scene/Geometry.h"

class IRenderDevice;
class IVertexDeclaration;
class LightSource;
class Material;
class Node;
class SceneRenderContext;
class Shader;
class ShaderLibrary;
class Shape;

class SceneRenderer : public ISubMeshDrawer {
public:
    static constexpr int kMaxLights = 4;

    SceneRenderer(IRenderDevice& device, ShaderLibrary& library);
    ~SceneRenderer() override;

    // Draws the context's scene from its active camera into the current
    // target of the given size. Nothing without a root or a camera.
    void render(SceneRenderContext& context, int width, int height);

    std::unique_ptr<RenderAttachment> createDeviceData(const SubMesh& subMesh) override;
    void drawSubMesh(const SubMesh& subMesh, RenderAttachment* deviceData) override;

    // Objects drawn and skipped (no material or no shaders) in the last frame.
    uint32_t getDrawnCount() const { return m_drawn; }
    uint32_t getSkippedCount() const { return m_skipped; }

private:
    struct FrameState;

    void collect(Node* node);
    ShaderKey makeKey(const Material& material, const Shape& shape, const SubMesh& subMesh,
                      int lodDefineIndex, const SceneRenderContext& context) const;
    void drawShape(Shape& shape, SceneRenderContext& context);
    // Binds textures and sets the per-frame, per-material and custom
    // uniforms; false when the pair is incomplete.
    bool bindMaterial(const Material& material, int lodLevel, Shader& vertex, Shader& fragment,
                      const SceneRenderContext& context);
    void setObjectUniforms(const Material& material, Shape& shape, Shader& vertex, Shader& fragment,
                           const SceneRenderContext& context);
    void unbindTextures();
    IVertexDeclaration* declarationFor(uint32_t attributes);

    IRenderDevice& m_device;
    ShaderLibrary& m_library;
    // Reused every frame, so a frame allocates nothing once they have grown.
    std::vector<Shape*> m_shapes;
    std::vector<LightSource*> m_lights;
    LightSource* m_group[kMaxLights] = {};
    int m_groupCount[kNumShaderLightKinds] = {};
    int m_numGroup = 0;
    Matrix4 m_view;
    Matrix4 m_viewProjection;
    Matrix4 m_projection;
    Vector3 m_cameraPosition;
    int m_unitsUsed = 0;
    uint32_t m_drawn = 0;
    uint32_t m_skipped = 0;
    // One declaration per vertex attribute set (5 bits).
    std::unique_ptr<IVertexDeclaration> m_declarations[32];
};
