#pragma once
// What the scene keeps for drawing a frame: the root node, the active camera,
// the viewport and the drawing statistics. The renderer fills the viewport
// and the sub-mesh drawer; project and unproject read them.

#include <cstdint>
#include <memory>

#include "base/math/Vector3.h"
#include "foundation/Entity.h"
#include "scene/SceneEnvironment.h"
#include "scene/SubDsSettings.h"

class Camera;
class ISubMeshDrawer;
class TransformGroup;

// Counted while a frame is drawn and reset when the next one sets up its
// camera.
struct RenderStatistics {
    // Visible shapes the shape walk handed to the renderer.
    uint32_t objects = 0;
    // Material changes while drawing the queues.
    uint32_t materials = 0;
    // Light group entries given to the visible shapes.
    uint32_t lights = 0;
    // Sub-meshes drawn, their triangles and indices, each instance of an
    // instanced draw counted.
    uint32_t drawCalls = 0;
    uint32_t primitives = 0;
    uint32_t indices = 0;
    // Instanced draw calls and the shapes they drew together.
    uint32_t instancedDrawCalls = 0;
    uint32_t instances = 0;
    // Terrain detail and foliage cells uploaded this frame and alive.
    uint32_t detailCellsUploaded = 0;
    uint32_t detailCellsTotal = 0;
    uint32_t foliageCellsUploaded = 0;
    uint32_t foliageCellsTotal = 0;
};

class SceneRenderContext : public ActionListener {
public:
    SceneRenderContext() = default;
    ~SceneRenderContext() override;
    SceneRenderContext(const SceneRenderContext&) = delete;
    SceneRenderContext& operator=(const SceneRenderContext&) = delete;

    // Both references are dropped when their node is deleted.
    void setRootNode(TransformGroup* root);
    TransformGroup* getRootNode() const { return m_root; }
    void setActiveCamera(Camera* camera);
    Camera* getActiveCamera() const { return m_camera; }

    void actionPerformed(void* source, int eventKind, int32_t value1, int32_t value2) override;

    // Viewport (0, 0, width, height) in pixels.
    int32_t viewportWidth = 0;
    int32_t viewportHeight = 0;
    // Not owned; none until the renderer exists.
    ISubMeshDrawer* subMeshDrawer = nullptr;
    RenderStatistics statistics;
    // Ambient colour, fog and view distance, set by scripts.
    SceneEnvironment environment;
    // The level choice of subdivision surfaces, set from the console.
    SubDsSettings subds;
    // Counts rendered frames: advanced once per frame when the renderer sets
    // up the camera, so listeners of the render event can tell a new frame
    // from a further visit in the same one.
    uint32_t frameNumber = 0;
    // Game time of the frame being drawn, in milliseconds.
    float frameTimeMs = 0.0f;
    // Set while a sub-render (reflections, shadow maps) walks the scene.
    bool secondary = false;

private:
    void track(Entity* oldEntity, Entity* newEntity);

    TransformGroup* m_root = nullptr;
    Camera* m_camera = nullptr;
};

// World point to (window x / width, window y / height, depth 0 at the near
// plane to 1 at the far plane) with the active camera. False without a camera
// or viewport, or for a point in the camera's plane.
bool projectPoint(SceneRenderContext& context, const Vector3& world, Vector3& screen);
// The inverse of projectPoint.
bool unprojectPoint(SceneRenderContext& context, const Vector3& screen, Vector3& world);

// Start-up: the scene root "RootNode", set as the context's root.
std::unique_ptr<TransformGroup> createRootNode(SceneRenderContext& context);
// Start-up: the "default camera" (55 degrees, 0.25, 10000), added to the root
// and made the active camera. The root owns it.
Camera* createDefaultCamera(TransformGroup& root, SceneRenderContext& context);
