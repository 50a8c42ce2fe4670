#pragma once
// The scene renderer: sets up the active camera, walks the scene graph for
// lights and visible shapes, gives every visible shape its light groups,
// and runs the table of render passes. Each geometry pass builds a render
// queue (one entry per shape, material slot and light group), brings the
// entries' shaders up to date, sorts the queue and draws it binding only
// what changed. It also makes and draws the device buffers of sub-meshes.
// Sub-renderers of the same class draw the other views of a frame: shadow
// maps of the shadow-casting lights, the planar reflections of mirroring
// shapes and the depth-blend maps; the main renderer copies the screen for
// refractive shapes before drawing them.

#include <cstdint>
#include <memory>
#include <vector>

#include "base/math/Matrix4.h"
#include "render/scene/InstanceBuffer.h"
#include "render/scene/LightAssignment.h"
#include "render/scene/RenderPasses.h"
#include "render/scene/RenderQueue.h"
#include "render/scene/RenderTextureCache.h"
#include "render/scene/SceneTraversal.h"
#include "render/scene/SubViews.h"
#include "render/shader/ShaderKey.h"
#include "scene/Geometry.h"
#include "scene/Shape.h"

class DebugDrawLists;
class IRenderDevice;
class IVertexDeclaration;
class LightSource;
class Material;
class Node;
class SceneRenderContext;
class Shader;
class ShaderLibrary;
class Shape;
class ShapeRenderObject;
struct LightShadowData;
struct ShapeSlot;

// Receives the named steps of a frame (the profiler's sections); names are
// static texts, told apart by their address.
class IRenderSections {
public:
    virtual ~IRenderSections() = default;
    virtual void enterSection(const char* name) = 0;
    virtual void leaveSection() = 0;
};

class SceneRenderer : public ISubMeshDrawer, private ITraversalSink {
public:
    // Flag word bits.
    // The renderer owns a shadow-generation sub-renderer.
    static constexpr uint32_t kShadowMaps = 0x1;
    // It keeps a light list and gives shapes light groups.
    static constexpr uint32_t kLighting = 0x2;
    // It owns the sub-renderer of reflections and depth-blend maps.
    static constexpr uint32_t kReflections = 0x4;
    // It draws refractive shapes at the refraction stage.
    static constexpr uint32_t kRefraction = 0x8;
    // Refractive shapes go to the main list.
    static constexpr uint32_t kRefractiveInMain = 0x10;
    // It renders shadow maps (shadow path).
    static constexpr uint32_t kShadowGeneration = 0x20;
    // The shadow path uses the depth pass (directional and spot lights).
    static constexpr uint32_t kShadowDepthPass = 0x40;
    // LOD distances are measured from the parent renderer's camera.
    static constexpr uint32_t kParentCameraDistances = 0x80;
    static constexpr uint32_t kMainRendererFlags = 0xF;

    SceneRenderer(IRenderDevice& device, ShaderLibrary& library,
                  uint32_t flags = kMainRendererFlags, int depth = 0);
    ~SceneRenderer() override;

    // Draws the context's scene from its active camera into the current
    // target of the given size and counts the frame. Nothing without a root
    // or a camera, or for an empty viewport (a minimised window).
    void render(SceneRenderContext& context, int width, int height, float frameTimeMs);

    // The steps of render, apart for measuring them: beginFrame sets up the
    // camera and walks the scene (false: nothing to draw); buildSortedQueue
    // builds and sorts one pass's queue without drawing it; endFrame empties
    // the frame's lists.
    bool beginFrame(SceneRenderContext& context, int width, int height, float frameTimeMs);
    size_t buildSortedQueue(int pass);
    // The same built afresh from the frame's visible shapes, whatever the
    // renderer keeps (the kept queues stay as they are).
    size_t buildFreshQueue(int pass);
    void endFrame();

    std::unique_ptr<RenderAttachment> createDeviceData(const SubMesh& subMesh) override;
    void drawSubMesh(const SubMesh& subMesh, RenderAttachment* deviceData) override;
    void drawSubMeshInstances(const SubMesh& subMesh, RenderAttachment* deviceData,
                              uint32_t instances) override;

    uint32_t getFlags() const { return m_flags; }
    int getDepth() const { return m_depth; }
    // Nodes whose object mask shares no bit with this one stay hidden.
    void setObjectMask(uint32_t mask) { m_objectMask = mask; }
    uint32_t getObjectMask() const { return m_objectMask; }
    // A shape this renderer never draws (none: null).
    void setExcludedShape(Shape* shape) { m_excludedShape = shape; }
    // 0 switches shadow maps off.
    void setShadowQuality(float quality) { m_shadowQuality = quality; }
    // Where the walks put bounding spheres and light symbols while the
    // environment's debug flags are set (not owned; none: no debug drawing).
    void setDebugLists(DebugDrawLists* lists) { m_debugLists = lists; }
    // Told of "Camera Setup", "Render Geometry" and each pass's "Build render
    // queues", "Sort render queues" and "Render queue" (not owned; none: not
    // told).
    void setSections(IRenderSections* sections) { m_sections = sections; }
    // Whether the renderer keeps its lists between frames (on by default):
    // the shape walk runs over a flat list of the scene's shapes, and a main
    // renderer keeps the queues of its view's passes, making entries only
    // for shapes that became visible or changed. Off, every frame walks the
    // tree and builds every queue afresh; both draw the same.
    void setKeptLists(bool kept);
    bool getKeptLists() const { return m_keptLists; }
    // The queue the last buildSortedQueue or pass drawn used (for comparing
    // kept queues with fresh ones).
    const RenderQueue& getLastQueue() const { return *m_current; }
    // The shapes the frame's walk found visible, in walk order (refractive
    // ones apart).
    const std::vector<Shape*>& getVisibleShapes() const { return m_shapes; }

    // What the last frame collected and drew.
    struct FrameCounts {
        uint32_t lights = 0;
        uint32_t shadowLights = 0;
        uint32_t shapes = 0;
        uint32_t refractiveShapes = 0;
        // Shapes with a reflection map to render into.
        uint32_t reflectionShapes = 0;
        // Queue entries drawn per pass, and the draw calls that drew them
        // (an instanced draw counts one).
        uint32_t entries[RenderPassTable::kNumPasses] = {};
        uint32_t draws[RenderPassTable::kNumPasses] = {};
        // Queue entries made this frame; the others were kept from the last.
        uint32_t entriesMade = 0;
        // Shadow map renderings (a point light counts six), reflection
        // textures and depth-blend maps drawn, and copies of the screen for
        // refraction.
        uint32_t shadowMapViews = 0;
        uint32_t reflectionViews = 0;
        uint32_t depthBlendViews = 0;
        uint32_t refractionCopies = 0;
    };

    const RenderPassTable& getPasses() const { return m_passes; }
    // Shadow maps made so far (kept for the run).
    size_t getNumShadowMaps() const { return m_textures ? m_textures->getNumShadowMaps() : 0; }
    const FrameCounts& getLastFrameCounts() const { return m_counts; }

private:
    // Camera set-up from a view and the walks; renderView draws a view with
    // this (sub-)renderer into `target`: the shadow path with `shadowPass`
    // for a shadow-generation renderer, all passes otherwise.
    bool beginView(SceneRenderContext& context, const SubView& view);
    void renderPasses();
    void renderView(SceneRenderContext& context, const SubView& view, IRenderTarget* target,
                    int shadowPass);
    // The format of directional and spot light shadow maps (a depth format
    // when the device renders one; PF_UNKNOWN: none, those lights throw no
    // shadow) and of point-light cube maps.
    PixelFormat getShadowMapFormat();
    PixelFormat getCubeShadowMapFormat();
    RenderTextureCache& renderTextures();
    // Steps of the main renderer's frame.
    void renderShadowMaps();
    void renderReflections();
    void renderDepthBlendMaps();
    bool copyRefraction();
    // Back to this renderer's view after a sub-renderer drew.
    void restoreView();
    SceneRenderer& subRenderer(std::unique_ptr<SceneRenderer>& slot, uint32_t flags);
    const SceneRenderer& topRenderer() const;
    // The light's shadow map of this frame, or null.
    const LightShadowData* currentShadow(const LightSource& light) const;

    void addLight(LightSource& light, const Matrix4& world, float distance) override;
    void addVisibleShape(Shape& shape, const Matrix4& world, const BoundingSphere& bounds,
                         float distance, RenderAttachment*& object) override;

    // The shape's render data, created (with its material slots) on first
    // use; `known`: its render data as the walk remembers it, or null.
    static bool slotsMatchSubMeshes(Shape& shape, const ShapeRenderObject& data);
    ShapeRenderObject& renderData(Shape& shape, RenderAttachment* known = nullptr);
    // True when a slot's level changed.
    static bool chooseLods(ShapeRenderObject& data, float distance);

    void renderPass(int pass, const std::vector<Shape*>& shapes, bool clear);
    // Builds and sorts the pass's queue of `shapes` (under the profiler's
    // sections) and returns it: the kept queue of the pass for the view's
    // shapes of a renderer that keeps its lists, else the frame's queue.
    RenderQueue& sortedQueue(int pass, const std::vector<Shape*>& shapes);
    void buildQueue(const RenderPass& pass, const std::vector<Shape*>& shapes);
    void addShapeEntries(const RenderPass& pass, Shape& shape, ShapeRenderObject& data);
    // The kept queue of the pass brought up to this frame: entries of shapes
    // no longer visible or changed are dropped, those of shapes visible anew
    // or changed are put into m_queue. False when the queue must be built
    // afresh instead.
    bool updateKeptQueue(int pass);
    bool keepsQueues() const;
    // No visible shape of the frame takes part in the pass (it has no
    // further light groups, or nothing blends).
    bool passIsEmpty(const RenderPass& pass) const;
    // What every queue entry's shader key depends on beyond the shape.
    uint64_t keptStateKey() const;
    void queueEntry(Shape& shape, ShapeRenderObject& data, ShapeSlot& slot, int objectIndex,
                    bool furtherLights);
    void renderQueue(int pass, bool furtherLights);
    // Finds the runs of queue entries drawn with one instanced draw and
    // writes their model matrices to the instance buffer.
    void prepareInstances();
    InstanceBuffer& instanceBuffer();
    ShaderKey makeKey(const Material& material, const Shape& shape, const ShapeSlot& slot,
                      uint32_t lightWord, bool furtherLights) const;
    // What a shadow-generation renderer draws casters with.
    ShaderKey shadowCasterKey(const Shape& shape, const ShapeSlot& slot) const;
    // Binds the slot's own textures and the group's shadow map to the units
    // bindMaterial kept for them.
    void bindObjectTextures(const ShapeSlot& slot, const LightGroup* lights);
    // Binds shaders and textures and sets the per-frame, per-material and
    // custom uniforms; false when the pair is incomplete.
    bool bindMaterial(const Material& material, int lodLevel, Shader& vertex, Shader& fragment,
                      bool furtherLights);
    // Model null: the uniforms of an instanced draw, whose model matrices
    // come from the instance buffer.
    void setObjectUniforms(const Material& material, const Matrix4* model, const LightGroup* lights,
                           const ShapeRenderObject& data, Shader& vertex, Shader& fragment);
    // Uploads the shape's bone palette to the vertex stage's blend matrices.
    void setSkinningPalette(Shape& shape, Shader& vertex);
    void unbindTextures();
    IVertexDeclaration* declarationFor(uint32_t attributes, bool instanced);

    IRenderDevice& m_device;
    ShaderLibrary& m_library;
    uint32_t m_flags;
    int m_depth;
    uint32_t m_objectMask = 0xFFFFFFFFu;
    Shape* m_excludedShape = nullptr;
    float m_shadowQuality = 0.0f;
    DebugDrawLists* m_debugLists = nullptr;
    IRenderSections* m_sections = nullptr;
    RenderPassTable m_passes;
    SceneTraversal m_traversal;
    SceneRenderContext* m_context = nullptr;

    // Per frame; reused, so a steady frame allocates nothing.
    LightList m_lights;
    std::vector<Shape*> m_shapes;
    std::vector<Shape*> m_refractiveShapes;
    std::vector<Shape*> m_reflectionShapes;
    RenderQueue m_queue;
    // The queue being drawn.
    RenderQueue* m_current = &m_queue;
    FrameCounts m_counts;
    // Where queueEntry puts entries.
    RenderQueue* m_building = &m_queue;

    // Kept lists: the walk's flat list lives in m_traversal; a main
    // renderer's queues per pass follow.
    bool m_keptLists = true;
    // Frames of this renderer, counted for the shapes' visibility marks.
    uint32_t m_keptFrame = 0;
    // Visible shapes whose entries must be made anew this frame.
    std::vector<Shape*> m_changedShapes;
    // Light groups just assigned, before they are compared with a shape's.
    LightGroups m_assigned;
    struct KeptQueue {
        RenderQueue queue;
        bool valid = false;
        // The renderer frame, scene structure and render object counts and
        // state key it was made for.
        uint32_t frame = 0;
        uint64_t structure = 0;
        uint64_t renderObjects = 0;
        uint64_t state = 0;
        // Shapes whose entries failed (their shaders could not be made):
        // they are tried again the next frame.
        std::vector<Shape*> retry;
        std::vector<Shape*> retryNext;
    };
    KeptQueue m_kept[RenderPassTable::kNumPasses];
    std::vector<Shape*> m_rebuild;
    // Numbers the kept-queue updates, for the shapes' added marks.
    uint64_t m_addMark = 0;
    // The kept queue being updated (none: a fresh build).
    KeptQueue* m_keptBuilding = nullptr;
    // Whether any visible shape has a second light group, or blends.
    bool m_anyFurtherGroups = false;
    bool m_anyBlended = false;

    Matrix4 m_view;
    Matrix4 m_viewProjection;
    Matrix4 m_projection;
    Vector3 m_cameraPosition;
    float m_cameraPositionW = 1.0f;
    int m_viewWidth = 0;
    int m_viewHeight = 0;
    bool m_mirrored = false;
    int m_unitsUsed = 0;
    // Units bindMaterial kept for per-object textures (-1: none).
    int m_reflectionUnit = -1;
    int m_depthBlendUnit = -1;
    int m_shadowUnit = -1;
    // Set while this renderer draws a depth-blend map.
    bool m_depthBlendRendering = false;

    // Sub-renderers, made on first use, and the renderer above this one.
    std::unique_ptr<SceneRenderer> m_shadowRenderer;
    std::unique_ptr<SceneRenderer> m_reflectionRenderer;
    SceneRenderer* m_parent = nullptr;
    // Shadow maps and per-shape render targets, made on first use.
    std::unique_ptr<RenderTextureCache> m_textures;
    bool m_shadowFormatsChosen = false;
    PixelFormat m_shadowFormat = PF_UNKNOWN;
    PixelFormat m_cubeShadowFormat = PF_UNKNOWN;
    // The copy of the screen refractive shapes sample.
    std::unique_ptr<ITextureObject> m_refractionTexture;
    std::unique_ptr<IRenderTexture> m_refractionTarget;
    // Slots whose depth-blend map is drawn before the frame's passes.
    std::vector<std::pair<Shape*, size_t>> m_pendingDepthBlend;
    // One declaration per vertex attribute set (5 bits), without and with
    // the per-instance stream.
    std::unique_ptr<IVertexDeclaration> m_declarations[32];
    std::unique_ptr<IVertexDeclaration> m_instancedDeclarations[32];
    // Runs of queue entries drawn instanced: the first entry, the count and
    // where their matrices start in the instance buffer.
    struct InstanceBatch {
        size_t first = 0;
        uint32_t count = 0;
        uint32_t offset = 0;
    };
    std::vector<InstanceBatch> m_batches;
    // Owned by the top renderer, shared by its sub-renderers.
    std::unique_ptr<InstanceBuffer> m_instanceBuffer;
    // Where the batch being drawn starts.
    uint32_t m_instanceOffset = 0;
    bool m_instancesReported = false;
    // The bone palette of the shape being drawn.
    float m_palette[Shape::kMaxPaletteBones * Shape::kPaletteFloatsPerBone] = {};
};
