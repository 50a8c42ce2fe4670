#include "render/scene/SceneRenderer.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <typeinfo>

#include "base/device/IRenderDevice.h"
#include "base/device/Texture.h"
#include "foundation/Log.h"
#include "render/material/Material.h"
#include "render/overlay/DebugDraw.h"
#include "render/scene/ShapeRenderObject.h"
#include "render/shader/Shader.h"
#include "render/shader/ShaderLibrary.h"
#include "scene/Camera.h"
#include "scene/LightSource.h"
#include "scene/SceneChanges.h"
#include "scene/SceneRenderContext.h"
#include "scene/Shape.h"

namespace {

namespace su = shaderuniforms;

// The device data of one sub-mesh.
struct SubMeshBuffers : public RenderAttachment {
    std::unique_ptr<IVertexBuffer> vertices;
    std::unique_ptr<IIndexBuffer> indices;
};

// Row r of a column-major matrix.
void row(const Matrix4& m, int r, float* out) {
    out[0] = m[r];
    out[1] = m[4 + r];
    out[2] = m[8 + r];
    out[3] = m[12 + r];
}

// Writes `rows` rows of a matrix into both stages where they declare the
// register (-1: not declared).
void setRows(IShaderObject* object, int reg, const Matrix4& m, int rows) {
    if (reg < 0) {
        return;
    }
    float v[4];
    for (int r = 0; r < rows; ++r) {
        row(m, r, v);
        object->setLocalParameter(reg + r, v);
    }
}

void setVector(IShaderObject* object, int reg, const float* v) {
    if (reg >= 0) {
        object->setLocalParameter(reg, v);
    }
}

// The shader key bits a shape's own data selects: vertex colours when its
// sub-mesh carries them, skinning when the sub-mesh has skin data and bones
// are bound (a skin without bones is drawn in its rest pose).
uint32_t shapeKeyBits(const Shape& shape, const ShapeSlot& slot) {
    uint32_t bits = 0;
    if ((shape.getShapeFlags() & Shape::kVertexColors) &&
        (slot.vertexAttributes & VertexAttribute::Color)) {
        bits |= ShaderKey::kVertexColor;
    }
    if ((shape.getShapeFlags() & Shape::kSkinned) &&
        (slot.vertexAttributes & VertexAttribute::Skin) && !shape.getBones().empty()) {
        bits |= ShaderKey::kSkinning;
    }
    return bits;
}

// Identity of a light group's lights for the queue order; 0 without lights.
uint64_t lightSetOf(const LightGroup* group) {
    if (group == nullptr) {
        return 0;
    }
    uint64_t hash = 0xCBF29CE484222325ull ^ group->configWord;
    for (int i = 0; i < group->count; ++i) {
        hash = (hash ^ reinterpret_cast<uintptr_t>(group->lights[i])) * 0x100000001B3ull;
    }
    return hash | 1u;
}

bool sameLights(const LightGroup* a, const LightGroup* b) {
    return a == b || (a != nullptr && b != nullptr && sameLightGroup(*a, *b));
}

// Whether b can be drawn in the same instanced draw as a.
bool sameBatch(const RenderQueueEntry& a, const RenderQueueEntry& b) {
    return a.vertexShader == b.vertexShader && a.fragmentShader == b.fragmentShader &&
           a.slot->material == b.slot->material && a.geometry == b.geometry &&
           a.lightSet == b.lightSet && sameLights(a.lights, b.lights);
}

// Three rows of a model matrix per instance.
constexpr uint32_t kInstanceFloats = 12;
constexpr uint32_t kInstanceBytes = kInstanceFloats * sizeof(float);

ITextureObject* deviceTexture(Resource* resource) {
    auto* texture = dynamic_cast<Texture*>(resource);
    return texture ? texture->getDeviceTexture() : nullptr;
}

Vector3 normalized(const Vector3& v) {
    float length = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
    return length > 0.0f ? v * (1.0f / length) : Vector3{0.0f, 0.0f, -1.0f};
}

const float kBlack[4] = {0.0f, 0.0f, 0.0f, 0.0f};

// Default sizes of render textures whose file value is 0 or negative.
constexpr int kDefaultShadowMapSize = 512;
constexpr int kDefaultReflectionSize = 256;
constexpr int kDefaultDepthBlendSize = 512;
// How far below a depth-blended surface geometry fades it out completely
// (world units).
constexpr float kDepthBlendDistance = 1.0f;
// Depth offset while casters render into a depth map, against acne on lit
// faces.
constexpr float kShadowOffsetFactor = 1.5f;
constexpr float kShadowOffsetUnits = 4.0f;

const char kSectionCameraSetup[] = "Camera Setup";
const char kSectionRenderGeometry[] = "Render Geometry";
const char kSectionBuildQueues[] = "Build render queues";
const char kSectionSortQueues[] = "Sort render queues";
const char kSectionRenderQueue[] = "Render queue";
const char kSectionBuildQueuesShadow[] = "Build render queues ShadowGen";
const char kSectionSortQueuesShadow[] = "Sort render queues ShadowGen";
const char kSectionRenderQueueShadow[] = "Render queue ShadowGen";

// Enters a section for its lifetime.
class SectionScope {
public:
    SectionScope(IRenderSections* sections, const char* name) : m_sections(sections) {
        if (m_sections != nullptr) {
            m_sections->enterSection(name);
        }
    }
    ~SectionScope() {
        if (m_sections != nullptr) {
            m_sections->leaveSection();
        }
    }
    SectionScope(const SectionScope&) = delete;
    SectionScope& operator=(const SectionScope&) = delete;

private:
    IRenderSections* m_sections;
};

}  // namespace

// What a light keeps of its last shadow map: the texture (owned by the
// renderer's cache), the matrix from world space into the map and the frame
// that rendered it.
struct LightShadowData : public RenderAttachment {
    const SceneRenderer* renderer = nullptr;
    ITextureObject* map = nullptr;
    Matrix4 worldToMap;
    uint32_t frame = 0;
    bool cube = false;
};

SceneRenderer::SceneRenderer(IRenderDevice& device, ShaderLibrary& library, uint32_t flags,
                             int depth)
    : m_device(device), m_library(library), m_flags(flags), m_depth(std::max(depth, 0)) {
    // The main renderer measures from its own camera; nesting stops below
    // depth 1.
    if (m_depth == 0) {
        m_flags &= ~kParentCameraDistances;
    }
    if (m_depth >= 2) {
        m_flags &= ~(kShadowMaps | kReflections);
    }
    m_depth = std::min(m_depth, ShapeRenderObject::kMaxDepth - 1);
}

SceneRenderer::~SceneRenderer() = default;

void SceneRenderer::render(SceneRenderContext& context, int width, int height, float frameTimeMs) {
    {
        SectionScope section(m_sections, kSectionCameraSetup);
        if (!beginFrame(context, width, height, frameTimeMs)) {
            return;
        }
    }
    SectionScope section(m_sections, kSectionRenderGeometry);
    renderPasses();
    endFrame();
}

void SceneRenderer::renderPasses() {
    for (int pass = 1; pass < RenderPassTable::kNumPasses; ++pass) {
        switch (m_passes[pass].type) {
            case PassType::Marker:
                if (m_flags & kReflections) {
                    renderDepthBlendMaps();
                    renderReflections();
                }
                break;
            case PassType::ShadowMap:
                renderShadowMaps();
                break;
            case PassType::Refraction:
                if ((m_flags & kRefraction) && !m_refractiveShapes.empty()) {
                    if (copyRefraction()) {
                        ++m_counts.refractionCopies;
                    }
                    // Refractive shapes go through every geometry pass over
                    // what is drawn so far.
                    for (int geometryPass = 0; geometryPass < RenderPassTable::kNumPasses;
                         ++geometryPass) {
                        if (m_passes[geometryPass].type == PassType::Geometry) {
                            renderPass(geometryPass, m_refractiveShapes, false);
                        }
                    }
                }
                break;
            case PassType::Geometry:
                renderPass(pass, m_shapes, true);
                break;
        }
    }
}

size_t SceneRenderer::buildSortedQueue(int pass) {
    if (m_context == nullptr || pass < 0 || pass >= RenderPassTable::kNumPasses) {
        return 0;
    }
    return sortedQueue(pass, m_shapes).size();
}

size_t SceneRenderer::buildFreshQueue(int pass) {
    if (m_context == nullptr || pass < 0 || pass >= RenderPassTable::kNumPasses) {
        return 0;
    }
    buildQueue(m_passes[pass], m_shapes);
    m_queue.sort();
    m_current = &m_queue;
    return m_queue.size();
}

void SceneRenderer::setKeptLists(bool kept) {
    m_keptLists = kept;
    for (KeptQueue& queue : m_kept) {
        queue.valid = false;
    }
}

void SceneRenderer::endFrame() {
    m_lights.clear();
    m_shapes.clear();
    m_changedShapes.clear();
    m_refractiveShapes.clear();
    m_reflectionShapes.clear();
    m_pendingDepthBlend.clear();
    m_context = nullptr;
}

SceneRenderer& SceneRenderer::subRenderer(std::unique_ptr<SceneRenderer>& slot, uint32_t flags) {
    if (!slot) {
        slot = std::make_unique<SceneRenderer>(m_device, m_library, flags, m_depth + 1);
        slot->m_parent = this;
    }
    slot->m_shadowQuality = m_shadowQuality;
    slot->m_sections = m_sections;
    slot->m_keptLists = m_keptLists;
    return *slot;
}

const SceneRenderer& SceneRenderer::topRenderer() const {
    const SceneRenderer* top = this;
    while (top->m_parent != nullptr) {
        top = top->m_parent;
    }
    return *top;
}

const LightShadowData* SceneRenderer::currentShadow(const LightSource& light) const {
    auto* shadow = dynamic_cast<const LightShadowData*>(light.getShadowData());
    if (shadow == nullptr || m_context == nullptr || shadow->renderer != &topRenderer() ||
        shadow->frame != m_context->frameNumber || shadow->map == nullptr) {
        return nullptr;
    }
    return shadow;
}

PixelFormat SceneRenderer::getShadowMapFormat() {
    if (!m_shadowFormatsChosen) {
        m_shadowFormatsChosen = true;
        if (m_device.supportsDepthTextures()) {
            static const PixelFormat kDepth[] = {PF_DEPTH32, PF_DEPTH24, PF_DEPTH16};
            m_shadowFormat = m_device.getFirstSupportedRenderTextureFormat(kDepth, 3);
        }
        static const PixelFormat kColour[] = {PF_SHORT_RGBA64, PF_FLOAT_RGBA64, PF_BYTE_RGBA32};
        m_cubeShadowFormat = m_device.getFirstSupportedRenderTextureFormat(kColour, 3);
        if (m_shadowFormat == PF_UNKNOWN) {
            Log::get() << "Warning: the device renders no depth texture format; directional "
                          "and spot lights throw no shadows\n";
        }
    }
    return m_shadowFormat;
}

PixelFormat SceneRenderer::getCubeShadowMapFormat() {
    getShadowMapFormat();
    return m_cubeShadowFormat;
}

void SceneRenderer::renderView(SceneRenderContext& context, const SubView& view,
                               IRenderTarget* target, int shadowPass) {
    IRenderTarget* previous = m_device.getRenderTarget();
    m_device.setRenderTarget(target);
    if (beginView(context, view)) {
        if (m_flags & kShadowGeneration) {
            const bool offset = shadowPass == RenderPassTable::kShadowDepth;
            m_flags = offset ? (m_flags | kShadowDepthPass) : (m_flags & ~kShadowDepthPass);
            if (offset) {
                m_device.enablePolygonOffset(kShadowOffsetFactor, kShadowOffsetUnits);
            }
            renderPass(shadowPass, m_shapes, true);
            if (offset) {
                m_device.disablePolygonOffset();
            }
        } else {
            renderPasses();
        }
        endFrame();
    }
    m_device.setRenderTarget(previous);
}

// Directional and spot lights render their casters once into a depth map,
// point lights six times into the faces of a distance cube map; each light at
// most once per frame.
RenderTextureCache& SceneRenderer::renderTextures() {
    if (!m_textures) {
        m_textures = std::make_unique<RenderTextureCache>(m_device);
    }
    return *m_textures;
}

void SceneRenderer::renderShadowMaps() {
    if ((m_flags & (kShadowMaps | kLighting)) != (kShadowMaps | kLighting) ||
        m_shadowQuality == 0.0f || m_lights.getShadowEntries().empty()) {
        return;
    }
    SceneRenderContext& context = *m_context;
    SceneRenderer& caster = subRenderer(
        m_shadowRenderer, kParentCameraDistances | kShadowGeneration | kRefractiveInMain);
    RenderTextureCache& textures = renderTextures();
    const int maxSize = m_device.getMaxTextureSize();
    // Higher qualities double the resolution a light asks for.
    const int qualityScale = m_shadowQuality >= 2.0f ? 2 : 1;
    for (LightListEntry* entry : m_lights.getShadowEntries()) {
        if (entry->shadowFrame == context.frameNumber) {
            continue;
        }
        entry->shadowFrame = context.frameNumber;
        LightSource& light = *entry->light;
        const LightSource::Settings& settings = light.getSettings();
        const bool cube = light.getType() == LightSource::Point;
        if (!cube && light.getType() != LightSource::Directional &&
            light.getType() != LightSource::Spot) {
            continue;
        }
        const PixelFormat format = cube ? getCubeShadowMapFormat() : getShadowMapFormat();
        if (format == PF_UNKNOWN) {
            continue;
        }
        const int requested =
            renderTextureSize(settings.depthMapResolution, kDefaultShadowMapSize, maxSize);
        const int size =
            renderTextureSize(requested * qualityScale, kDefaultShadowMapSize, maxSize);
        size_t index = 0;
        RenderTextureCache::ShadowMap& map =
            textures.acquireShadowMap(format, size, cube, context.frameNumber, index);
        if (map.failed) {
            // Told once; the light throws no shadow.
            if (!map.reported) {
                map.reported = true;
                Log::get() << "happend: " << static_cast<int>(index) << "\n";
            }
            continue;
        }
        auto* shadow = dynamic_cast<LightShadowData*>(light.getShadowData());
        if (shadow == nullptr) {
            auto created = std::make_unique<LightShadowData>();
            shadow = created.get();
            light.setShadowData(std::move(created));
        }
        SubView view;
        if (cube) {
            for (int face = 0; face < 6; ++face) {
                view =
                    pointLightFaceView(entry->world.getTranslation(), face, light.getRange(), size);
                caster.renderView(context, view, map.targets[face].get(),
                                  RenderPassTable::kShadowColour);
                ++m_counts.shadowMapViews;
            }
        } else {
            view = light.getType() == LightSource::Spot
                       ? spotLightView(entry->world, light.getConeAngle(), light.getRange(), size)
                       : directionalLightView(entry->world, m_cameraPosition,
                                              settings.shadowFarDistance,
                                              settings.shadowExtrusionDistance, size);
            caster.renderView(context, view, map.targets[0].get(), RenderPassTable::kShadowDepth);
            ++m_counts.shadowMapViews;
        }
        shadow->renderer = this;
        shadow->map = map.texture.get();
        shadow->cube = cube;
        shadow->frame = context.frameNumber;
        shadow->worldToMap = clipToTextureMatrix() * view.projection * view.view;
    }
    restoreView();
}

// Each listed shape's planar reflection maps: the scene mirrored at the
// plane through the shape's position with its Y axis as normal, drawn into
// the shape's own texture without the shape itself.
void SceneRenderer::renderReflections() {
    if (m_reflectionShapes.empty()) {
        return;
    }
    SceneRenderContext& context = *m_context;
    SceneRenderer& mirror = subRenderer(m_reflectionRenderer, kLighting | kRefractiveInMain);
    RenderTextureCache& textures = renderTextures();
    const int maxSize = m_device.getMaxTextureSize();
    bool drew = false;
    for (Shape* shape : m_reflectionShapes) {
        auto* data = static_cast<ShapeRenderObject*>(shape->getRenderObject());
        if (data == nullptr) {
            continue;
        }
        mirror.setExcludedShape(shape);
        // A render event of the mirrored view may make the shape drop its
        // render data (and its slots with it): the walk stops there.
        for (size_t i = 0; i < data->slots.size() && shape->getRenderObject() == data; ++i) {
            ShapeSlot& slot = data->slots[i];
            if (!slot.planarReflection) {
                continue;
            }
            const MaterialDesc& desc = slot.material->getDesc();
            const int size =
                renderTextureSize(desc.reflectionResolution, kDefaultReflectionSize, maxSize);
            if (!slot.reflectionTexture ||
                slot.reflectionTexture->getWidth() != static_cast<uint32_t>(size)) {
                slot.reflectionTexture =
                    RenderTextureCache::createTargetTexture(m_device, PF_BYTE_RGBA32, size, size);
                // Its entries' shader keys read whether the map exists.
                ++data->revision;
            }
            SubView view;
            if (!slot.reflectionTexture ||
                !mirroredView(m_view, m_projection, m_cameraPosition, data->world.getTranslation(),
                              data->world.getColumn(1), view)) {
                continue;
            }
            IRenderTexture* target = textures.targetFor(*slot.reflectionTexture);
            if (target == nullptr) {
                continue;
            }
            view.width = view.height = size;
            mirror.setObjectMask(desc.reflectionObjectMask);
            mirror.renderView(context, view, target, 0);
            target->detach(0);
            ++m_counts.reflectionViews;
            drew = true;
        }
    }
    mirror.setObjectMask(0xFFFFFFFFu);
    mirror.setExcludedShape(nullptr);
    if (drew) {
        restoreView();
    }
}

// A depth-blend map, made once per shape and material slot: how far below the
// surface the geometry under it lies, seen straight down onto the shape.
void SceneRenderer::renderDepthBlendMaps() {
    if (m_pendingDepthBlend.empty()) {
        return;
    }
    SceneRenderContext& context = *m_context;
    SceneRenderer& below = subRenderer(m_reflectionRenderer, kLighting | kRefractiveInMain);
    RenderTextureCache& textures = renderTextures();
    const int maxSize = m_device.getMaxTextureSize();
    bool drew = false;
    for (const auto& [shape, index] : m_pendingDepthBlend) {
        auto* data = static_cast<ShapeRenderObject*>(shape->getRenderObject());
        if (data == nullptr || index >= data->slots.size()) {
            continue;
        }
        ShapeSlot& slot = data->slots[index];
        if (slot.depthBlendDone) {
            continue;
        }
        slot.depthBlendDone = true;
        const int size = renderTextureSize(slot.material->getDesc().depthBlendResolution,
                                           kDefaultDepthBlendSize, maxSize);
        SubView view;
        // A shape without extent has no square to look down onto.
        if (!depthBlendView(data->world, data->boundsRadius, size, view)) {
            continue;
        }
        std::unique_ptr<ITextureObject> texture =
            RenderTextureCache::createTargetTexture(m_device, PF_BYTE_RGBA32, size, size);
        IRenderTexture* target = texture ? textures.targetFor(*texture) : nullptr;
        if (target == nullptr) {
            continue;
        }
        below.setExcludedShape(shape);
        below.m_depthBlendRendering = true;
        below.renderView(context, view, target, 0);
        below.m_depthBlendRendering = false;
        below.setExcludedShape(nullptr);
        target->detach(0);
        // The slot is gone when a render event made the shape drop its render
        // data; the new data makes its map again.
        if (shape->getRenderObject() != data) {
            continue;
        }
        slot.depthBlendTexture = std::move(texture);
        ++data->revision;
        ++m_counts.depthBlendViews;
        drew = true;
    }
    m_pendingDepthBlend.clear();
    if (drew) {
        restoreView();
    }
}

// Copies what is drawn so far into the refraction texture, the size of the
// viewport (clamped to what the device takes). Only a renderer drawing into
// the window has a screen to copy.
bool SceneRenderer::copyRefraction() {
    IRenderWindow* window = m_device.getRenderWindow();
    IRenderTarget* current = m_device.getRenderTarget();
    if (window == nullptr || (current != nullptr && current != window)) {
        return false;
    }
    const int maxSize = m_device.getMaxTextureSize();
    const int width = renderTextureSize(m_viewWidth, 1, maxSize);
    const int height = renderTextureSize(m_viewHeight, 1, maxSize);
    if (!m_refractionTexture || m_refractionTexture->getWidth() != uint32_t(width) ||
        m_refractionTexture->getHeight() != uint32_t(height)) {
        m_refractionTarget.reset();
        m_refractionTexture =
            RenderTextureCache::createTargetTexture(m_device, PF_BYTE_RGBA32, width, height);
        if (m_refractionTexture) {
            RenderTextureDesc desc;
            desc.colourTexture = m_refractionTexture.get();
            m_refractionTarget = m_device.createRenderTexture(desc);
        }
        if (!m_refractionTarget) {
            m_refractionTexture.reset();
            return false;
        }
    }
    return m_device.copyToTexture(window, 0, 0, m_viewWidth, m_viewHeight, m_refractionTarget.get(),
                                  0, 0, width, height);
}

void SceneRenderer::restoreView() {
    SceneRenderContext& context = *m_context;
    context.secondary = m_depth > 0;
    context.subMeshDrawer = this;
    context.viewportWidth = m_viewWidth;
    context.viewportHeight = m_viewHeight;
    m_device.setViewport(0, 0, m_viewWidth, m_viewHeight);
    m_device.setInvertCulling(m_mirrored);
    m_device.setViewMatrix(m_view.data());
    m_device.setProjectionMatrix(m_projection.data());
}

bool SceneRenderer::beginFrame(SceneRenderContext& context, int width, int height,
                               float frameTimeMs) {
    Camera* camera = context.getActiveCamera();
    if (context.getRootNode() == nullptr || camera == nullptr || width <= 0 || height <= 0) {
        return false;
    }
    // Camera set-up.
    ++context.frameNumber;
    context.frameTimeMs = frameTimeMs;
    context.statistics = RenderStatistics();
    SubView view;
    view.projection =
        camera->getProjectionMatrix(static_cast<float>(width), static_cast<float>(height));
    view.view = camera->getViewMatrix();
    view.cullViewProjection = view.projection * view.view;
    view.position = camera->getWorldMatrix().getTranslation();
    view.width = width;
    view.height = height;
    return beginView(context, view);
}

bool SceneRenderer::beginView(SceneRenderContext& context, const SubView& view) {
    if (context.getRootNode() == nullptr || view.width <= 0 || view.height <= 0) {
        return false;
    }
    m_context = &context;
    context.secondary = m_depth > 0;
    context.viewportWidth = view.width;
    context.viewportHeight = view.height;
    context.subMeshDrawer = this;
    m_viewWidth = view.width;
    m_viewHeight = view.height;
    m_device.setViewport(0, 0, view.width, view.height);
    m_projection = view.projection;
    m_view = view.view;
    m_viewProjection = m_projection * m_view;
    m_cameraPosition = view.position;
    m_cameraPositionW = view.positionW;
    m_mirrored = view.mirrored;
    m_device.setInvertCulling(m_mirrored);
    m_device.setViewMatrix(m_view.data());
    m_device.setProjectionMatrix(m_projection.data());

    const SceneEnvironment& environment = context.environment;
    TraversalSettings settings;
    // A renderer below another measures LOD and clip distances from the
    // camera above, so its shapes keep the level of detail of the main view.
    settings.cameraPosition = (m_flags & kParentCameraDistances) && m_parent != nullptr
                                  ? m_parent->m_cameraPosition
                                  : m_cameraPosition;
    frustumPlanesFromMatrix(view.cullViewProjection, settings.frustum);
    settings.objectMask = m_objectMask;
    settings.cullOverride = environment.globalCullOverride;
    settings.clipDistance = environment.globalClipDistance;
    settings.viewDistanceCoeff = environment.viewDistanceCoeff;
    settings.rendererFlag = static_cast<int32_t>(m_flags);
    settings.shadowCastersOnly = (m_flags & kShadowGeneration) != 0;
    if (m_debugLists != nullptr && environment.debugFlags != 0 && m_depth == 0) {
        m_debugLists->setMask(environment.debugFlags);
        settings.debug = m_debugLists;
    }

    // The walks fill the per-frame lists and give the visible shapes their
    // light groups.
    m_lights.clear();
    m_shapes.clear();
    m_changedShapes.clear();
    m_refractiveShapes.clear();
    m_reflectionShapes.clear();
    m_pendingDepthBlend.clear();
    m_counts = FrameCounts();
    ++m_keptFrame;
    m_anyFurtherGroups = false;
    m_anyBlended = false;
    Node* root = context.getRootNode();
    if ((m_flags & kLighting) && !(m_flags & kShadowGeneration)) {
        m_traversal.collectLights(root, settings, *this);
        m_lights.sort();
    }
    const TraversalCounts walked = m_keptLists
                                       ? m_traversal.collectShapesFlat(root, settings, *this)
                                       : m_traversal.collectShapes(root, settings, *this);
    context.statistics.objects += walked.objects;
    m_counts.lights = static_cast<uint32_t>(m_lights.getEntries().size());
    m_counts.shadowLights = static_cast<uint32_t>(m_lights.getShadowEntries().size());
    m_counts.shapes = static_cast<uint32_t>(m_shapes.size());
    m_counts.refractiveShapes = static_cast<uint32_t>(m_refractiveShapes.size());
    m_counts.reflectionShapes = static_cast<uint32_t>(m_reflectionShapes.size());
    return true;
}

void SceneRenderer::addLight(LightSource& light, const Matrix4& world, float distance) {
    const bool castsShadowMaps =
        (light.getLightFlags() & LightSource::kCastsShadowMap) != 0 && m_shadowQuality != 0.0f;
    m_lights.add(light, world, distance, castsShadowMaps);
}

// A geometry may move a sub-mesh to another material after the slots were
// made (terrain patches switch between their near, blend and far materials):
// the slots are then made again.
bool SceneRenderer::slotsMatchSubMeshes(Shape& shape, const ShapeRenderObject& data) {
    // The geometry's kind was looked up when the slots were made.
    if (shape.getGeometry() != data.geometry) {
        return false;
    }
    if (data.fixedSubMeshes) {
        return true;
    }
    VertexBufferGeometry* buffers = data.buffers;
    if (buffers == nullptr) {
        return true;
    }
    for (const ShapeSlot& slot : data.slots) {
        if (slot.subMesh >= buffers->getNumSubMeshes()) {
            return false;
        }
        const int index = buffers->getSubMesh(slot.subMesh).materialIndex;
        const size_t materialIndex = static_cast<size_t>(std::max(index, 0));
        if (materialIndex >= shape.getNumMaterials() ||
            shape.getMaterial(materialIndex) != slot.material) {
            return false;
        }
    }
    return true;
}

ShapeRenderObject& SceneRenderer::renderData(Shape& shape, RenderAttachment* known) {
    // What the walk remembers is render data the renderer made and nobody
    // dropped since: only geometries that move sub-meshes between materials
    // need the check against the shape.
    if (known != nullptr && static_cast<ShapeRenderObject*>(known)->fixedSubMeshes) {
        return *static_cast<ShapeRenderObject*>(known);
    }
    // The renderer is the one to give shapes their render object; another
    // kind of attachment is replaced.
    if (RenderAttachment* attached = shape.getRenderObject();
        attached != nullptr && typeid(*attached) == typeid(ShapeRenderObject)) {
        auto& existing = static_cast<ShapeRenderObject&>(*attached);
        if (slotsMatchSubMeshes(shape, existing)) {
            return existing;
        }
    }
    auto created = std::make_unique<ShapeRenderObject>();
    ShapeRenderObject& data = *created;
    data.geometry = shape.getGeometry();
    data.receivesShadows = (shape.getShapeFlags() & Shape::kReceivesShadows) != 0;
    if (Geometry* geometry = data.geometry) {
        // Vertex-buffer geometries draw one sub-mesh per material run; other
        // geometries (terrain patches, particle systems) one per material.
        auto* buffers = dynamic_cast<VertexBufferGeometry*>(geometry);
        data.buffers = buffers;
        data.fixedSubMeshes = typeid(*geometry) == typeid(IndexedFaceSetGeometry);
        const size_t count = buffers ? buffers->getNumSubMeshes() : shape.getNumMaterials();
        data.slots.reserve(count);
        for (size_t i = 0; i < count; ++i) {
            size_t materialIndex = i;
            uint32_t attributes = 0;
            if (buffers != nullptr) {
                const SubMesh& subMesh = buffers->getSubMesh(i);
                materialIndex = static_cast<size_t>(std::max(subMesh.materialIndex, 0));
                attributes = subMesh.vertexAttributes;
            }
            auto* material = materialIndex < shape.getNumMaterials()
                                 ? dynamic_cast<Material*>(shape.getMaterial(materialIndex))
                                 : nullptr;
            if (material == nullptr) {
                continue;
            }
            ShapeSlot& slot = data.slots.emplace_back();
            slot.material = material;
            slot.subMesh = i;
            slot.vertexAttributes = attributes;
            const MaterialDesc& desc = material->getDesc();
            slot.blended = desc.alphaBlending;
            slot.refractive = desc.refractionMap;
            data.refractive = data.refractive || desc.refractionMap;
            data.blended = data.blended || desc.alphaBlending;
            data.depthBlended = data.depthBlended || desc.depthBlendMap;
            slot.planarReflection = desc.reflectionMap && !desc.reflectionCube;
            data.reflective = data.reflective || slot.planarReflection;
            // Geometries that draw themselves (subdivision levels, terrain,
            // effects) and skinned sub-meshes stay single.
            slot.instanceable = buffers != nullptr &&
                                typeid(*geometry) == typeid(IndexedFaceSetGeometry) &&
                                buffers->getSubMesh(i).primitive == MeshPrimitive::Triangles &&
                                !(attributes & VertexAttribute::Skin) && !slot.planarReflection &&
                                !desc.refractionMap && !desc.depthBlendMap;
        }
    }
    shape.setRenderObject(std::move(created));
    return data;
}

bool SceneRenderer::chooseLods(ShapeRenderObject& data, float distance) {
    bool changed = false;
    for (ShapeSlot& slot : data.slots) {
        const int oldLevel = slot.lodLevel;
        const int oldDefine = slot.lodDefineIndex;
        const std::vector<std::string>* oldNames = slot.textureNames;
        slot.lodLevel = slot.material->getLodLevel(distance);
        slot.lodDefineIndex = 0;
        slot.textureNames = nullptr;
        if (const CustomShader* custom = slot.material->getCustomShader();
            custom != nullptr && slot.lodLevel >= 0 &&
            static_cast<size_t>(slot.lodLevel) < custom->getLodLevels().size()) {
            const CustomShader::LodLevel& level = custom->getLodLevels()[size_t(slot.lodLevel)];
            slot.lodDefineIndex = level.defineIndex;
            slot.textureNames = &level.textureNames;
        } else {
            slot.lodLevel = -1;
        }
        changed = changed || slot.lodLevel != oldLevel || slot.lodDefineIndex != oldDefine ||
                  slot.textureNames != oldNames;
    }
    return changed;
}

void SceneRenderer::addVisibleShape(Shape& shape, const Matrix4& world,
                                    const BoundingSphere& bounds, float distance,
                                    RenderAttachment*& object) {
    if (&shape == m_excludedShape) {
        return;
    }
    ShapeRenderObject& data = renderData(shape, object);
    object = &data;
    if (data.refractive && !(m_flags & (kRefraction | kRefractiveInMain))) {
        return;
    }
    data.world = world;
    data.boundsRadius = bounds.getRadius();
    bool changed = false;
    if (distance != data.distance[m_depth]) {
        data.distance[m_depth] = distance;
        changed = chooseLods(data, distance);
    }
    SceneRenderContext& context = *m_context;
    if ((m_flags & kLighting) && data.frameNumber != context.frameNumber) {
        LightAssignmentInput input;
        input.bounds = &bounds;
        input.distance = data.distance[m_depth];
        input.receivesShadows = data.receivesShadows;
        input.shadowQuality = m_shadowQuality;
        // Groups assigned anew but the same as before (a light moved
        // without reaching or leaving the shape) leave the entries as they
        // are.
        if (refreshLights(m_lights, input, data.lightStamp, m_assigned) &&
            !(m_assigned == data.lights)) {
            data.lights = m_assigned;
            data.lightCount = static_cast<uint32_t>(data.lights.numLights());
            data.lightGroupCount = static_cast<uint32_t>(data.lights.count);
            changed = true;
        }
    }
    if (changed) {
        ++data.revision;
    }
    data.frameNumber = context.frameNumber;
    context.statistics.lights += data.lightCount;

    m_anyFurtherGroups = m_anyFurtherGroups || data.lightGroupCount > 1;
    m_anyBlended = m_anyBlended || data.blended;
    if (data.refractive && !(m_flags & kRefractiveInMain)) {
        data.visibleIndex = static_cast<uint32_t>(m_refractiveShapes.size());
        m_refractiveShapes.push_back(&shape);
    } else {
        data.visibleIndex = static_cast<uint32_t>(m_shapes.size());
        m_shapes.push_back(&shape);
        if (keepsQueues()) {
            // A shape not seen unchanged by this renderer's last frame has
            // its entries made anew; the new revision retires any old ones.
            const bool seen = data.keptBy == this && data.keptFrame + 1 == m_keptFrame &&
                              data.keptRevision == data.revision;
            if (!seen) {
                ++data.revision;
                m_changedShapes.push_back(&shape);
            }
            data.keptBy = this;
            data.keptFrame = m_keptFrame;
            data.keptRevision = data.revision;
        }
    }
    if ((m_flags & kReflections) && data.reflective) {
        m_reflectionShapes.push_back(&shape);
    }
    if ((m_flags & kReflections) && data.depthBlended) {
        for (size_t i = 0; i < data.slots.size(); ++i) {
            const ShapeSlot& slot = data.slots[i];
            if (!slot.depthBlendDone && slot.material->getDesc().depthBlendMap) {
                m_pendingDepthBlend.emplace_back(&shape, i);
            }
        }
    }
}

void SceneRenderer::renderPass(int index, const std::vector<Shape*>& shapes, bool clear) {
    const RenderPass& pass = m_passes[index];
    const FillMode fill = m_context->environment.wireFrame ? FILL_WIREFRAME : FILL_SOLID;
    const bool shadowPath = (m_flags & kShadowGeneration) != 0;
    const RenderQueue& queue = sortedQueue(index, shapes);
    if (queue.empty()) {
        if (clear && pass.clearFlags != 0) {
            m_device.clear(pass.clearFlags, pass.clearColour, pass.clearDepth, pass.clearStencil);
        }
        return;
    }
    SectionScope section(m_sections, shadowPath ? kSectionRenderQueueShadow : kSectionRenderQueue);
    setPassState(m_device, pass, clear, fill);
    renderQueue(index, pass.lightMode == PassLightMode::FurtherGroups);
    restorePassState(m_device, pass, fill);
    m_counts.entries[index] += static_cast<uint32_t>(queue.size());
}

bool SceneRenderer::passIsEmpty(const RenderPass& pass) const {
    return (pass.lightMode == PassLightMode::FurtherGroups && !m_anyFurtherGroups) ||
           (!pass.takesOpaque && !m_anyBlended);
}

bool SceneRenderer::keepsQueues() const {
    return m_keptLists && m_depth == 0 && !(m_flags & kShadowGeneration);
}

uint64_t SceneRenderer::keptStateKey() const {
    const SceneEnvironment& environment = m_context->environment;
    uint64_t hash = 0xCBF29CE484222325ull;
    auto mix = [&hash](uint64_t value) { hash = (hash ^ value) * 0x100000001B3ull; };
    mix(reinterpret_cast<uintptr_t>(m_context));
    mix(static_cast<uint64_t>(environment.fog.mode));
    mix(static_cast<uint64_t>(environment.volumeFog.mode));
    mix(environment.instancing ? 1u : 0u);
    mix(m_refractionTexture ? 1u : 0u);
    mix(m_depthBlendRendering ? 1u : 0u);
    // Shadow groups sample their light's map only in frames that made it.
    for (const LightListEntry* entry : m_lights.getShadowEntries()) {
        mix(reinterpret_cast<uintptr_t>(entry));
        mix(currentShadow(*entry->light) != nullptr ? 1u : 0u);
    }
    return hash;
}

RenderQueue& SceneRenderer::sortedQueue(int index, const std::vector<Shape*>& shapes) {
    const RenderPass& pass = m_passes[index];
    const bool shadowPath = (m_flags & kShadowGeneration) != 0;
    RenderQueue* queue = &m_queue;
    bool merge = false;
    {
        SectionScope section(m_sections,
                             shadowPath ? kSectionBuildQueuesShadow : kSectionBuildQueues);
        if (keepsQueues() && &shapes == &m_shapes) {
            KeptQueue& kept = m_kept[index];
            queue = &kept.queue;
            m_keptBuilding = &kept;
            if (updateKeptQueue(index)) {
                merge = true;
            } else {
                m_building = &kept.queue;
                kept.retry.clear();
                kept.retryNext.clear();
                buildQueue(pass, shapes);
                m_building = &m_queue;
                kept.valid = true;
                kept.frame = m_keptFrame;
                kept.structure = scenechanges::structure();
                kept.renderObjects = scenechanges::renderObjects();
                kept.state = keptStateKey();
                // The entries made anew in later frames go to the frame's
                // queue first: up to a whole pass of them without
                // allocating.
                m_queue.reserve(kept.queue.size());
            }
            m_keptBuilding = nullptr;
        } else {
            buildQueue(pass, shapes);
        }
    }
    if (!queue->empty() || (merge && !m_queue.empty())) {
        SectionScope section(m_sections,
                             shadowPath ? kSectionSortQueuesShadow : kSectionSortQueues);
        if (merge) {
            m_queue.sort();
            queue->mergeSorted(m_queue);
        } else {
            queue->sort();
        }
    }
    m_current = queue;
    return *queue;
}

bool SceneRenderer::updateKeptQueue(int index) {
    KeptQueue& kept = m_kept[index];
    if (!kept.valid || kept.frame + 1 != m_keptFrame ||
        kept.structure != scenechanges::structure() ||
        kept.renderObjects != scenechanges::renderObjects() || kept.state != keptStateKey()) {
        kept.valid = false;
        return false;
    }
    kept.frame = m_keptFrame;
    kept.retry.swap(kept.retryNext);
    kept.retryNext.clear();
    m_queue.clear();
    const RenderPass& pass = m_passes[index];
    if (passIsEmpty(pass)) {
        kept.queue.clear();
        return true;
    }
    // Entries of shapes still visible and unchanged stay with their new
    // distances; shapes with stale entries have theirs made anew.
    const uint64_t mark = ++m_addMark;
    m_rebuild.clear();
    kept.queue.keepIf([this, mark](RenderQueueEntry& entry) {
        ShapeRenderObject& data = *entry.data;
        if (data.keptBy != this || data.keptFrame != m_keptFrame) {
            return false;
        }
        if (data.revision != entry.revision) {
            if (data.addedMark != mark) {
                data.addedMark = mark;
                m_rebuild.push_back(entry.shape);
            }
            return false;
        }
        const float distance = data.distance[m_depth];
        entry.distance = std::isnan(distance) ? 0.0f : distance;
        entry.order = (entry.order & 0xFFFFFFFFu) | (uint64_t(data.visibleIndex) << 32);
        return true;
    });
    for (Shape* shape : m_rebuild) {
        addShapeEntries(pass, *shape, *static_cast<ShapeRenderObject*>(shape->getRenderObject()));
    }
    // Shapes the walk found visible anew or changed, and those whose
    // shaders failed last frame, once each.
    auto add = [&](Shape* shape) {
        auto* data = static_cast<ShapeRenderObject*>(shape->getRenderObject());
        if (data != nullptr && data->keptBy == this && data->keptFrame == m_keptFrame &&
            data->addedMark != mark) {
            data->addedMark = mark;
            addShapeEntries(pass, *shape, *data);
        }
    };
    for (Shape* shape : m_changedShapes) {
        add(shape);
    }
    for (Shape* shape : kept.retry) {
        add(shape);
    }
    return true;
}

void SceneRenderer::buildQueue(const RenderPass& pass, const std::vector<Shape*>& shapes) {
    m_building->clear();
    // Passes that no shape of the frame takes part in are not walked.
    if (passIsEmpty(pass)) {
        return;
    }
    for (Shape* shape : shapes) {
        // The shape drops its render data when its geometry, materials or
        // flags change, which a render event listener may have done.
        auto* object = static_cast<ShapeRenderObject*>(shape->getRenderObject());
        if (object != nullptr) {
            addShapeEntries(pass, *shape, *object);
        }
    }
}

void SceneRenderer::addShapeEntries(const RenderPass& pass, Shape& shape, ShapeRenderObject& data) {
    const int groups = data.lights.count;
    for (ShapeSlot& slot : data.slots) {
        if (slot.blended ? !pass.takesBlended : !pass.takesOpaque) {
            continue;
        }
        switch (pass.lightMode) {
            case PassLightMode::None:
                queueEntry(shape, data, slot, ShapeSlot::kUnlit, false);
                break;
            case PassLightMode::FurtherGroups:
                for (int g = 1; g < groups; ++g) {
                    queueEntry(shape, data, slot, g, true);
                }
                break;
            case PassLightMode::Lit:
                if (groups == 0) {
                    queueEntry(shape, data, slot, ShapeSlot::kUnlit, false);
                    break;
                }
                const int first = pass.groupRange == PassGroupRange::FromSecond ? 1 : 0;
                const int end = pass.groupRange == PassGroupRange::First ? 1 : groups;
                for (int g = first; g < end; ++g) {
                    queueEntry(shape, data, slot, g, g > 0);
                }
                break;
        }
    }
}

void SceneRenderer::queueEntry(Shape& shape, ShapeRenderObject& data, ShapeSlot& slot,
                               int objectIndex, bool furtherLights) {
    const bool caster = (m_flags & kShadowGeneration) != 0;
    if (caster) {
        objectIndex = ShapeSlot::kShadowCaster;
    }
    const LightGroup* lights =
        objectIndex >= ShapeSlot::kUnlit ? nullptr : &data.lights.groups[objectIndex];
    RenderObject& object = slot.objects[objectIndex];
    uint32_t lightWord = lights ? lights->configWord : 0;
    // A shadow group samples its light's map only when the map of this frame
    // exists.
    if (lights != nullptr && (lightWord & ShaderKey::kDepthShadowMap) &&
        (lights->count == 0 || currentShadow(*lights->lights[0]->light) == nullptr)) {
        lightWord &= ~ShaderKey::kDepthShadowMap;
    }
    ShaderKey key = caster ? shadowCasterKey(shape, slot)
                           : makeKey(*slot.material, shape, slot, lightWord, furtherLights);
    // A shape whose render event listeners may draw it or set its values
    // stays single, as do custom shaders (per-object parameters).
    if (slot.instanceable && m_context->environment.instancing &&
        !(key.words[2] & ShaderKey::kSkinning) && slot.material->getCustomShader() == nullptr &&
        !shape.hasRenderListeners()) {
        key.words[2] |= ShaderKey::kInstancing;
    }
    if (key != object.key || !object.requested || object.vertex == nullptr) {
        object.key = key;
        object.requested = true;
        if (!m_library.getShaders(key, slot.textureNames, object.vertex, object.fragment)) {
            object.vertex = nullptr;
            object.fragment = nullptr;
        }
    }
    if (object.vertex == nullptr || object.fragment == nullptr) {
        // Failed keys are remembered by the library; the entry is not drawn.
        // A kept queue asks again next frame, as a fresh build would.
        if (m_keptBuilding != nullptr) {
            m_keptBuilding->retryNext.push_back(&shape);
        }
        return;
    }
    RenderQueueEntry entry;
    entry.shape = &shape;
    entry.data = &data;
    entry.slot = &slot;
    entry.object = &object;
    entry.lights = lights;
    const float distance = data.distance[m_depth];
    entry.distance = std::isnan(distance) ? 0.0f : distance;
    entry.blended = slot.blended;
    entry.vertexShader = reinterpret_cast<uintptr_t>(object.vertex);
    entry.fragmentShader = reinterpret_cast<uintptr_t>(object.fragment);
    entry.materialSort = slot.material->getId();
    entry.geometry = data.buffers != nullptr && slot.subMesh < data.buffers->getNumSubMeshes()
                         ? reinterpret_cast<uintptr_t>(&data.buffers->getSubMesh(slot.subMesh))
                         : reinterpret_cast<uintptr_t>(data.geometry);
    entry.lightSet = lightSetOf(lights);
    entry.keyFlags = object.key.words[2];
    entry.revision = data.revision;
    entry.order = (uint64_t(data.visibleIndex) << 32) | (uint64_t(&slot - data.slots.data()) << 8) |
                  uint64_t(objectIndex);
    m_building->add(entry);
    ++m_counts.entriesMade;
}

InstanceBuffer& SceneRenderer::instanceBuffer() {
    SceneRenderer* top = this;
    while (top->m_parent != nullptr) {
        top = top->m_parent;
    }
    if (!top->m_instanceBuffer) {
        top->m_instanceBuffer = std::make_unique<InstanceBuffer>(m_device);
    }
    return *top->m_instanceBuffer;
}

void SceneRenderer::prepareInstances() {
    m_batches.clear();
    const std::vector<RenderQueueEntry>& entries = m_current->entries();
    uint64_t total = 0;
    for (size_t i = 0; i < entries.size();) {
        if (!(entries[i].keyFlags & ShaderKey::kInstancing)) {
            ++i;
            continue;
        }
        size_t end = i + 1;
        while (end < entries.size() && sameBatch(entries[i], entries[end])) {
            ++end;
        }
        m_batches.push_back({i, static_cast<uint32_t>(end - i), 0});
        total += end - i;
        i = end;
    }
    if (m_batches.empty()) {
        return;
    }
    uint32_t offset = 0;
    const uint64_t bytes = total * kInstanceBytes;
    auto* out =
        bytes <= UINT32_MAX
            ? static_cast<float*>(instanceBuffer().map(static_cast<uint32_t>(bytes), offset))
            : nullptr;
    if (out == nullptr) {
        // Their shaders read the model from the instance stream: without it
        // the entries are not drawn.
        if (!m_instancesReported) {
            m_instancesReported = true;
            Log::get() << "Error: no room for " << static_cast<double>(total)
                       << " instances; instanced shapes are not drawn\n";
        }
        for (InstanceBatch& batch : m_batches) {
            batch.offset = UINT32_MAX;
        }
        return;
    }
    for (InstanceBatch& batch : m_batches) {
        batch.offset = offset;
        offset += batch.count * kInstanceBytes;
        for (size_t i = batch.first; i < batch.first + batch.count; ++i) {
            const Matrix4& m = entries[i].data->world;
            for (int r = 0; r < 3; ++r) {
                out[0] = m[r];
                out[1] = m[4 + r];
                out[2] = m[8 + r];
                out[3] = m[12 + r];
                out += 4;
            }
        }
    }
    instanceBuffer().unmap();
}

void SceneRenderer::renderQueue(int pass, bool furtherLights) {
    SceneRenderContext& context = *m_context;
    prepareInstances();
    const std::vector<RenderQueueEntry>& entries = m_current->entries();
    Shader* vertex = nullptr;
    Shader* fragment = nullptr;
    const Material* material = nullptr;
    int lodLevel = -2;
    bool bound = false;
    size_t nextBatch = 0;
    for (size_t i = 0; i < entries.size();) {
        const RenderQueueEntry& entry = entries[i];
        const InstanceBatch* batch = nullptr;
        if (nextBatch < m_batches.size() && m_batches[nextBatch].first == i) {
            batch = &m_batches[nextBatch++];
        }
        i += batch != nullptr ? batch->count : 1;
        const ShapeSlot& slot = *entry.slot;
        // The entry's own shaders: its render object is shared with the
        // sub-renderers, which may have asked it for others since.
        Shader* entryVertex = reinterpret_cast<Shader*>(entry.vertexShader);
        Shader* entryFragment = reinterpret_cast<Shader*>(entry.fragmentShader);
        const bool shadersChanged = entryVertex != vertex || entryFragment != fragment;
        if (shadersChanged || slot.material != material || slot.lodLevel != lodLevel) {
            unbindTextures();
            vertex = entryVertex;
            fragment = entryFragment;
            material = slot.material;
            lodLevel = slot.lodLevel;
            bound = bindMaterial(*material, lodLevel, *vertex, *fragment, furtherLights);
            ++context.statistics.materials;
        }
        if (!bound) {
            continue;
        }
        bindObjectTextures(slot, entry.lights);
        if (batch != nullptr) {
            if (batch->offset == UINT32_MAX) {
                continue;
            }
            setObjectUniforms(*material, nullptr, entry.lights, *entry.data, *vertex, *fragment);
            m_device.setModelMatrix(entry.data->world.data());
            m_instanceOffset = batch->offset;
            entry.data->buffers->drawInstances(context, slot.subMesh, batch->count);
            ++m_counts.draws[pass];
            continue;
        }
        setObjectUniforms(*material, &entry.data->world, entry.lights, *entry.data, *vertex,
                          *fragment);
        if (entry.keyFlags & ShaderKey::kSkinning) {
            setSkinningPalette(*entry.shape, *vertex);
        }
        m_device.setModelMatrix(entry.data->world.data());
        if (Geometry* geometry = entry.shape->getGeometry()) {
            geometry->draw(context, slot.subMesh);
            ++m_counts.draws[pass];
        }
    }
    unbindTextures();
    m_device.unbindVertexShader();
    m_device.unbindFragmentShader();
}

ShaderKey SceneRenderer::makeKey(const Material& material, const Shape& shape,
                                 const ShapeSlot& slot, uint32_t lightWord,
                                 bool furtherLights) const {
    const MaterialDesc& desc = material.getDesc();
    ShaderKey key;
    uint32_t& w0 = key.words[0];
    // Further light groups add their light only: ambient and emissive light
    // were drawn with the first group.
    w0 = furtherLights ? ShaderKey::kDiffuse : (ShaderKey::kAmbient | ShaderKey::kDiffuse);
    if (desc.specularColor[0] > 0.0f || desc.specularColor[1] > 0.0f ||
        desc.specularColor[2] > 0.0f) {
        w0 |= ShaderKey::kSpecular;
    }
    if (desc.alphaBlending)
        w0 |= ShaderKey::kAlphaBlended;
    else if (desc.alphaTestCutoff > 0.0f)
        w0 |= ShaderKey::kAlphaTested;
    if (material.getAlbedoMap().texture)
        w0 |= ShaderKey::kAlbedoMap;
    if (material.getNormalMap().texture)
        w0 |= ShaderKey::kNormalMap;
    if (material.getGlossMap().texture)
        w0 |= ShaderKey::kGlossMap;
    if (material.getEmissiveMap().texture && !furtherLights)
        w0 |= ShaderKey::kEmissiveMap;
    const SceneEnvironment& environment = m_context->environment;
    const uint32_t fogMode = desc.allowFog ? static_cast<uint32_t>(environment.fog.mode) : 0u;
    const uint32_t volumeFogMode =
        desc.allowVolumeFog ? static_cast<uint32_t>(environment.volumeFog.mode) : 0u;
    if (fogMode > 0)
        w0 |= ShaderKey::kFog;
    if (volumeFogMode > 0)
        w0 |= ShaderKey::kVolumeFog;
    if (const CustomShader* custom = material.getCustomShader(); custom && slot.lodLevel >= 0) {
        key.setCustom(static_cast<uint32_t>(custom->getIndex()),
                      static_cast<uint32_t>(slot.lodDefineIndex));
    }
    key.words[2] |= shapeKeyBits(shape, slot);
    key.setFogModes(fogMode, volumeFogMode);
    key.words[3] = lightWord;
    if (desc.reflectionMap) {
        if (!desc.reflectionCube) {
            if (slot.reflectionTexture)
                w0 |= ShaderKey::kReflectionMap2D;
        } else if (auto* cube = dynamic_cast<Texture*>(material.getEnvironmentMap().texture);
                   cube != nullptr && cube->getDeviceTexture() != nullptr &&
                   cube->getDeviceTexture()->getType() == TT_CUBE) {
            w0 |= ShaderKey::kReflectionMapCube;
        }
    }
    // Refractive shapes sample the screen copy the main renderer made.
    if (desc.refractionMap && m_refractionTexture && (m_flags & kRefraction))
        w0 |= ShaderKey::kRefractionMap;
    if (slot.depthBlendTexture && !m_depthBlendRendering)
        w0 |= ShaderKey::kDepthBlendMap;
    if (m_depthBlendRendering)
        key.words[2] |= ShaderKey::kDepthBlendMapRendering;
    return key;
}

ShaderKey SceneRenderer::shadowCasterKey(const Shape& shape, const ShapeSlot& slot) const {
    // No lighting and no maps: depth maps take only the depth; distance
    // cube maps write each pixel's distance from the light.
    ShaderKey key;
    if (!(m_flags & kShadowDepthPass))
        key.words[0] |= ShaderKey::kDepthVis | ShaderKey::kProjDepthVis;
    // Alpha-tested casters keep their cut-outs in the map.
    const MaterialDesc& desc = slot.material->getDesc();
    if (desc.alphaTestCutoff > 0.0f && !desc.alphaBlending &&
        slot.material->getAlbedoMap().texture != nullptr)
        key.words[0] |= ShaderKey::kAlphaTested | ShaderKey::kAlbedoMap;
    key.words[2] |= shapeKeyBits(shape, slot);
    return key;
}

bool SceneRenderer::bindMaterial(const Material& material, int lodLevel, Shader& vertex,
                                 Shader& fragment, bool furtherLights) {
    const SceneRenderContext& context = *m_context;
    IShaderObject* vs = vertex.getObject();
    IShaderObject* fs = fragment.getObject();
    if (vs == nullptr || fs == nullptr) {
        return false;
    }
    m_device.bindVertexShader(vs);
    m_device.bindFragmentShader(fs);

    const MaterialDesc& desc = material.getDesc();
    const SceneEnvironment& environment = context.environment;
    const float camera[4] = {m_cameraPosition.x, m_cameraPosition.y, m_cameraPosition.z,
                             m_cameraPositionW};
    const float fog[4] = {environment.fog.parameters[0], environment.fog.parameters[1], 0, 0};
    const float volumeFog[4] = {environment.volumeFog.parameters[0],
                                environment.volumeFog.parameters[1],
                                environment.volumeFog.parameters[2], 0};
    const float cosPower[4] = {desc.cosPower, desc.emissiveCoeff, material.getNormalMapScale(),
                               material.getNormalMapBias()};
    const float depthBias[4] = {desc.depthBias, desc.opacity, 0, desc.alphaTestCutoff};
    const float reflection[4] = {material.getFresnelR0(), desc.reflectionBumpScale,
                                 desc.refractionCoeff, desc.refractionBumpScale};
    // Depth-blend maps hold how far below the surface (kDepthBlendCameraDistance
    // from their camera) geometry lies, from 0 to kDepthBlendDistance, from an
    // orthographic view from 1 to 1000.
    const float depthBlendInfo[4] = {1.0f, 1000.0f, kDepthBlendCameraDistance,
                                     1.0f / kDepthBlendDistance};
    const float viewportWidth[4] = {float(context.viewportWidth), 0, 0, 0};
    const float viewportHeight[4] = {float(context.viewportHeight), 0, 0, 0};
    for (Shader* shader : {&vertex, &fragment}) {
        IShaderObject* object = shader->getObject();
        setRows(object, shader->getPerFrameRegister(su::ViewMatrix), m_view, 4);
        setRows(object, shader->getPerFrameRegister(su::ProjMatrix), m_projection, 4);
        setRows(object, shader->getPerFrameRegister(su::ViewProjMatrix), m_viewProjection, 4);
        setVector(object, shader->getPerFrameRegister(su::CameraPosition), camera);
        setVector(object, shader->getPerFrameRegister(su::FogParams), fog);
        // Fog fades what further light groups add to black, so the fog
        // colour is added once, with the first group.
        setVector(object, shader->getPerFrameRegister(su::FogColor),
                  furtherLights ? kBlack : environment.fog.color);
        setVector(object, shader->getPerFrameRegister(su::VolumeFogParams), volumeFog);
        setVector(object, shader->getPerFrameRegister(su::VolumeFogColor),
                  furtherLights ? kBlack : environment.volumeFog.color);
        setVector(object, shader->getPerFrameRegister(su::ViewportWidth), viewportWidth);
        setVector(object, shader->getPerFrameRegister(su::ViewportHeight), viewportHeight);
        setVector(object, shader->getPerFrameRegister(su::MatCosPowerEmissive), cosPower);
        setVector(object, shader->getPerFrameRegister(su::MatDepthBiasOpacity), depthBias);
        setVector(object, shader->getPerFrameRegister(su::MatReflectionRefraction), reflection);
        setVector(object, shader->getPerFrameRegister(su::DepthBlendMapRenderingInfo),
                  depthBlendInfo);
    }

    // Units in the order the shared sources declare their samplers.
    m_unitsUsed = 0;
    auto bind = [this](const Material::TextureRef& ref) {
        m_device.bindTexture(m_unitsUsed, deviceTexture(ref.texture));
        int wrap = ref.wrap ? TW_REPEAT : TW_CLAMP_TO_EDGE;
        m_device.setTextureWrap(m_unitsUsed, wrap, wrap, wrap);
        ++m_unitsUsed;
    };
    if (fragment.usesSampler(su::BaseMap))
        bind(material.getAlbedoMap());
    if (fragment.usesSampler(su::NormalMap))
        bind(material.getNormalMap());
    if (fragment.usesSampler(su::GlossMap))
        bind(material.getGlossMap());
    if (fragment.usesSampler(su::EmissiveMap))
        bind(material.getEmissiveMap());
    m_reflectionUnit = -1;
    m_depthBlendUnit = -1;
    m_shadowUnit = -1;
    if (fragment.usesSampler(su::ReflectionMap)) {
        // A cube map is the material's; a planar reflection the shape's own
        // texture, bound per object.
        if (desc.reflectionCube) {
            bind(material.getEnvironmentMap());
        } else {
            m_reflectionUnit = m_unitsUsed++;
        }
    }
    if (fragment.usesSampler(su::RefractionMap)) {
        m_device.bindTexture(m_unitsUsed, m_refractionTexture.get());
        m_device.setTextureWrap(m_unitsUsed, TW_CLAMP_TO_EDGE, TW_CLAMP_TO_EDGE, TW_CLAMP_TO_EDGE);
        ++m_unitsUsed;
    }
    if (fragment.usesSampler(su::DepthBlendMap)) {
        m_depthBlendUnit = m_unitsUsed++;
    }
    if (lodLevel >= 0 && size_t(lodLevel) < material.getLodLevelData().size()) {
        const Material::LodLevelData& level = material.getLodLevelData()[size_t(lodLevel)];
        for (size_t i = 0; i < level.textures.size(); ++i) {
            if (fragment.usesCustomTexture(i)) {
                m_device.bindTexture(m_unitsUsed++, deviceTexture(level.textures[i]));
            }
        }
        // Custom parameter values by their target uniforms.
        const CustomShader* custom = material.getCustomShader();
        const auto& parameters = custom->getLodLevels()[size_t(lodLevel)].parameters;
        for (size_t i = 0; i < parameters.size() && i < level.parameterValues.size(); ++i) {
            setVector(vs, vertex.getCustomParameterRegister(i), level.parameterValues[i].data());
            setVector(fs, fragment.getCustomParameterRegister(i), level.parameterValues[i].data());
        }
    }
    if (fragment.usesSampler(su::DepthShadowMap)) {
        m_shadowUnit = m_unitsUsed++;
    }
    return true;
}

void SceneRenderer::bindObjectTextures(const ShapeSlot& slot, const LightGroup* lights) {
    if (m_reflectionUnit >= 0) {
        m_device.bindTexture(m_reflectionUnit, slot.reflectionTexture.get());
        m_device.setTextureWrap(m_reflectionUnit, TW_CLAMP_TO_EDGE, TW_CLAMP_TO_EDGE,
                                TW_CLAMP_TO_EDGE);
    }
    if (m_depthBlendUnit >= 0) {
        m_device.bindTexture(m_depthBlendUnit, slot.depthBlendTexture.get());
        m_device.setTextureWrap(m_depthBlendUnit, TW_CLAMP_TO_EDGE, TW_CLAMP_TO_EDGE,
                                TW_CLAMP_TO_EDGE);
    }
    if (m_shadowUnit >= 0) {
        // The first light of a shadow group is the one that throws it.
        const LightShadowData* shadow = lights != nullptr && lights->count > 0
                                            ? currentShadow(*lights->lights[0]->light)
                                            : nullptr;
        m_device.bindTexture(m_shadowUnit, shadow != nullptr ? shadow->map : nullptr);
    }
}

void SceneRenderer::setObjectUniforms(const Material& material, const Matrix4* model,
                                      const LightGroup* lights, const ShapeRenderObject& data,
                                      Shader& vertex, Shader& fragment) {
    const SceneRenderContext& context = *m_context;
    const MaterialDesc& desc = material.getDesc();
    const Vector3& sceneAmbient = context.environment.ambientColor;
    const float ambient[4] = {sceneAmbient.x * desc.ambientColor[0],
                              sceneAmbient.y * desc.ambientColor[1],
                              sceneAmbient.z * desc.ambientColor[2], 1.0f};
    Matrix4 modelView;
    Matrix4 modelViewProjection;
    float modelCameraPosition[4] = {0, 0, 0, 1};
    if (model != nullptr) {
        modelView = m_view * *model;
        modelViewProjection = m_projection * modelView;
        const Vector3 modelCamera = model->inverse().transformPoint(m_cameraPosition);
        modelCameraPosition[0] = modelCamera.x;
        modelCameraPosition[1] = modelCamera.y;
        modelCameraPosition[2] = modelCamera.z;
    }
    for (Shader* shader : {&vertex, &fragment}) {
        IShaderObject* object = shader->getObject();
        if (model != nullptr) {
            setRows(object, shader->getPerObjectRegister(su::ModelMatrix), *model, 3);
            setRows(object, shader->getPerObjectRegister(su::ModelViewMatrix), modelView, 3);
            setRows(object, shader->getPerObjectRegister(su::ModelViewProjMatrix),
                    modelViewProjection, 4);
            setVector(object, shader->getPerObjectRegister(su::ModelCameraPosition),
                      modelCameraPosition);
        }
        setVector(object, shader->getPerObjectRegister(su::AmbientColor), ambient);
        if (m_depthBlendUnit >= 0 && model != nullptr) {
            // The depth-blend map spans the shape's bounds: its half width
            // in model units goes with the opacity.
            const float scale = std::max(model->maxColumnLength(), 1.0e-6f);
            const float half = data.boundsRadius / std::numbers::sqrt2_v<float> / scale;
            const float depthBias[4] = {desc.depthBias, desc.opacity,
                                        half > 0.0f ? 1.0f / half : 0.0f, desc.alphaTestCutoff};
            setVector(object, shader->getPerFrameRegister(su::MatDepthBiasOpacity), depthBias);
        }

        float biases[4] = {0, 0, 0, 0};
        for (int s = 0; s < shader->getNumLightSlots(); ++s) {
            const Shader::LightSlot& slot = shader->getLightSlot(s);
            // The group holds the lights of each kind in order, so a slot's
            // light is found by its kind and index.
            const LightListEntry* entry = nullptr;
            for (int i = 0, seen = 0; lights != nullptr && i < lights->count; ++i) {
                if (lights->lights[i]->light->getType() == static_cast<int>(slot.kind) &&
                    seen++ == slot.index) {
                    entry = lights->lights[i];
                    break;
                }
            }
            if (entry == nullptr) {
                continue;
            }
            const LightSource* light = entry->light;
            const Matrix4& world = entry->world;
            const Vector3 p = world.getTranslation();
            const float range = std::max(light->getRange(), 0.0f);
            const float w = slot.kind == ShaderLightKind::Directional ? 1.0f
                            : range > 0.0f                            ? 1.0f / range
                                                                      : 0.0f;
            const float position[4] = {p.x, p.y, p.z, w};
            const Vector3 axis = normalized(-world.getColumn(2));
            const float direction[4] = {axis.x, axis.y, axis.z, 0.0f};
            const float cone[4] = {light->getCosOuterCone(), light->getCosInnerCone(), 0, 0};
            const Vector3& d = light->getDiffuseColor();
            const float diffuse[4] = {d.x, d.y, d.z, 1.0f};
            const Vector3& sc = light->getSpecularColor();
            const float specular[4] = {sc.x * desc.specularColor[0], sc.y * desc.specularColor[1],
                                       sc.z * desc.specularColor[2], 1.0f};
            setVector(object, slot.position, position);
            setVector(object, slot.direction, direction);
            setVector(object, slot.coneParams, cone);
            setVector(object, slot.diffuseColor, diffuse);
            setVector(object, slot.specularColor, specular);
            biases[s] = light->getSettings().depthMapBias;
            if (slot.matrix >= 0) {
                // Instanced shaders map world positions.
                if (const LightShadowData* shadow = currentShadow(*light)) {
                    setRows(object, slot.matrix,
                            model != nullptr ? shadow->worldToMap * *model : shadow->worldToMap, 4);
                }
            }
        }
        if (shader->getShadowDepthBiasRegister() != Shader::kNoRegister) {
            setVector(object, shader->getShadowDepthBiasRegister(), biases);
        }
    }
}

void SceneRenderer::setSkinningPalette(Shape& shape, Shader& vertex) {
    const int reg = vertex.getBlendMatricesRegister();
    if (reg < 0) {
        return;
    }
    const size_t bones = shape.writeSkinningPalette(m_palette, Shape::kMaxPaletteBones);
    IShaderObject* object = vertex.getObject();
    // Three registers per bone: the rows of its matrix.
    for (size_t i = 0; i < bones * 3; ++i) {
        object->setLocalParameter(reg + static_cast<int>(i), m_palette + 4 * i);
    }
}

void SceneRenderer::unbindTextures() {
    for (int unit = 0; unit < m_unitsUsed; ++unit) {
        m_device.bindTexture(unit, nullptr);
    }
    m_unitsUsed = 0;
}

IVertexDeclaration* SceneRenderer::declarationFor(uint32_t attributes, bool instanced) {
    attributes &= 31u;
    std::unique_ptr<IVertexDeclaration>& slot =
        instanced ? m_instancedDeclarations[attributes] : m_declarations[attributes];
    if (!slot) {
        VertexDeclarationDesc desc;
        desc.position.type = VET_FLOAT3;
        if (attributes & VertexAttribute::Normal)
            desc.normal.type = VET_FLOAT3;
        int texCoords = 0;
        if (attributes & VertexAttribute::TexCoords0)
            desc.texCoords[texCoords++].type = VET_FLOAT2;
        if (attributes & VertexAttribute::TexCoords1)
            desc.texCoords[texCoords++].type = VET_FLOAT2;
        // Sub-meshes keep colour, skin weights and bone indices after the
        // texture coordinates, where the device puts generic attributes:
        // they go to the colour and blend inputs by location.
        using namespace shaderinterface;
        int generic = 0;
        auto add = [&](int location) {
            desc.generic[generic].attribute = location;
            desc.generic[generic++].type = VET_FLOAT4;
        };
        if (attributes & VertexAttribute::Color)
            add(kAttribColor0);
        if ((attributes & VertexAttribute::Skin) && !instanced) {
            add(kAttribBlendWeight);
            add(kAttribBlendIndices);
        }
        if (instanced) {
            // The model matrix rows of each instance, from the second stream.
            desc.numStreams = 2;
            desc.instanceStreams = 2u;
            for (int r = 0; r < 3; ++r) {
                add(kAttribTexCoord0 + 5 + r);
                desc.generic[generic - 1].stream = 1;
            }
        }
        slot = m_device.createVertexDeclaration(desc);
    }
    return slot.get();
}

std::unique_ptr<RenderAttachment> SceneRenderer::createDeviceData(const SubMesh& subMesh) {
    auto buffers = std::make_unique<SubMeshBuffers>();
    // The loader caps vertex and index counts; sizes are still computed in
    // 64 bits and refused beyond what the device takes.
    const uint64_t vertexBytes = uint64_t(subMesh.vertices.size()) * sizeof(float);
    const uint64_t indexBytes = uint64_t(subMesh.indices.size()) * sizeof(uint32_t);
    if (vertexBytes == 0 || indexBytes == 0 || vertexBytes > UINT32_MAX ||
        indexBytes > UINT32_MAX) {
        return buffers;
    }
    buffers->vertices = m_device.createVertexBuffer(static_cast<uint32_t>(vertexBytes),
                                                    subMesh.vertices.data(), BU_STATIC);
    buffers->indices = m_device.createIndexBuffer(static_cast<uint32_t>(indexBytes),
                                                  subMesh.indices.data(), BU_STATIC, true);
    return buffers;
}

void SceneRenderer::drawSubMesh(const SubMesh& subMesh, RenderAttachment* deviceData) {
    auto* buffers = static_cast<SubMeshBuffers*>(deviceData);
    if (buffers == nullptr || !buffers->vertices || !buffers->indices ||
        subMesh.primitive != MeshPrimitive::Triangles) {
        return;
    }
    IVertexDeclaration* declaration = declarationFor(subMesh.vertexAttributes, false);
    if (declaration == nullptr) {
        return;
    }
    m_device.setVertexBuffer(buffers->vertices.get());
    m_device.setIndexBuffer(buffers->indices.get());
    m_device.bindVertexDeclaration(declaration);
    m_device.draw(static_cast<int>(subMesh.indexCount), 0, PT_TRIANGLE_LIST);
    m_device.unbindVertexDeclaration();
}

void SceneRenderer::drawSubMeshInstances(const SubMesh& subMesh, RenderAttachment* deviceData,
                                         uint32_t instances) {
    auto* buffers = static_cast<SubMeshBuffers*>(deviceData);
    IVertexBuffer* instanceData = instanceBuffer().getBuffer();
    if (buffers == nullptr || !buffers->vertices || !buffers->indices || instanceData == nullptr ||
        subMesh.primitive != MeshPrimitive::Triangles) {
        return;
    }
    IVertexDeclaration* declaration = declarationFor(subMesh.vertexAttributes, true);
    if (declaration == nullptr) {
        return;
    }
    IVertexBuffer* const streams[2] = {buffers->vertices.get(), instanceData};
    m_device.setVertexBuffers(streams, 2);
    m_device.setIndexBuffer(buffers->indices.get());
    m_device.setVertexStreamOffset(1, m_instanceOffset);
    m_device.bindVertexDeclaration(declaration);
    m_device.drawInstanced(static_cast<int>(subMesh.indexCount), 0, PT_TRIANGLE_LIST,
                           static_cast<int>(instances));
    m_device.unbindVertexDeclaration();
    m_device.setVertexStreamOffset(1, 0);
}
