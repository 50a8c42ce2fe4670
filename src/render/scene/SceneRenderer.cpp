#include "render/scene/SceneRenderer.h"

#include <algorithm>
#include <cmath>
#include <typeinfo>

#include "base/3d/IRenderDevice.h"
#include "base/3d/Texture.h"
#include "render/material/Material.h"
#include "render/overlay/DebugDraw.h"
#include "render/scene/ShapeRenderObject.h"
#include "render/shader/Shader.h"
#include "render/shader/ShaderLibrary.h"
#include "scene/Camera.h"
#include "scene/LightSource.h"
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

ITextureObject* deviceTexture(Resource* resource) {
    auto* texture = dynamic_cast<Texture*>(resource);
    return texture ? texture->getDeviceTexture() : nullptr;
}

Vector3 normalized(const Vector3& v) {
    float length = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
    return length > 0.0f ? v * (1.0f / length) : Vector3{0.0f, 0.0f, -1.0f};
}

const float kBlack[4] = {0.0f, 0.0f, 0.0f, 0.0f};

const char kSectionCameraSetup[] = "Camera Setup";
const char kSectionRenderGeometry[] = "Render Geometry";
const char kSectionBuildQueues[] = "Build render queues";
const char kSectionSortQueues[] = "Sort render queues";
const char kSectionRenderQueue[] = "Render queue";

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
    for (int pass = 1; pass < RenderPassTable::kNumPasses; ++pass) {
        switch (m_passes[pass].type) {
            case PassType::Marker:
                // Reflections of the listed shapes are rendered here once
                // the reflection renderer exists.
                break;
            case PassType::ShadowMap:
                // Shadow maps of the shadow light list are rendered here once
                // the shadow renderer exists.
                break;
            case PassType::Refraction:
                if ((m_flags & kRefraction) && !m_refractiveShapes.empty()) {
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
    endFrame();
}

size_t SceneRenderer::buildSortedQueue(int pass) {
    if (m_context == nullptr || pass < 0 || pass >= RenderPassTable::kNumPasses) {
        return 0;
    }
    buildQueue(m_passes[pass], m_shapes);
    m_queue.sort();
    return m_queue.size();
}

void SceneRenderer::endFrame() {
    m_lights.clear();
    m_shapes.clear();
    m_refractiveShapes.clear();
    m_reflectionShapes.clear();
    m_context = nullptr;
}

bool SceneRenderer::beginFrame(SceneRenderContext& context, int width, int height,
                               float frameTimeMs) {
    Camera* camera = context.getActiveCamera();
    if (context.getRootNode() == nullptr || camera == nullptr || width <= 0 || height <= 0) {
        return false;
    }
    m_context = &context;

    // Camera set-up.
    ++context.frameNumber;
    context.frameTimeMs = frameTimeMs;
    context.secondary = m_depth > 0;
    context.viewportWidth = width;
    context.viewportHeight = height;
    context.subMeshDrawer = this;
    context.statistics = RenderStatistics();
    m_device.setViewport(0, 0, width, height);
    m_projection =
        camera->getProjectionMatrix(static_cast<float>(width), static_cast<float>(height));
    m_view = camera->getViewMatrix();
    m_viewProjection = m_projection * m_view;
    m_cameraPosition = camera->getWorldMatrix().getTranslation();
    m_device.setViewMatrix(m_view.data());
    m_device.setProjectionMatrix(m_projection.data());

    const SceneEnvironment& environment = context.environment;
    TraversalSettings settings;
    settings.cameraPosition = m_cameraPosition;
    frustumPlanesFromMatrix(m_viewProjection, settings.frustum);
    settings.objectMask = m_objectMask;
    settings.cullOverride = environment.globalCullOverride;
    settings.clipDistance = environment.globalClipDistance;
    settings.viewDistanceCoeff = environment.viewDistanceCoeff;
    settings.rendererFlag = static_cast<int32_t>(m_flags);
    if (m_debugLists != nullptr && environment.debugFlags != 0) {
        m_debugLists->setMask(environment.debugFlags);
        settings.debug = m_debugLists;
    }

    // The walks fill the per-frame lists and give the visible shapes their
    // light groups.
    m_lights.clear();
    m_shapes.clear();
    m_refractiveShapes.clear();
    m_reflectionShapes.clear();
    m_counts = FrameCounts();
    m_anyFurtherGroups = false;
    m_anyBlended = false;
    Node* root = context.getRootNode();
    if (m_flags & kLighting) {
        m_traversal.collectLights(root, settings, *this);
        m_lights.sort();
    }
    context.statistics.objects += m_traversal.collectShapes(root, settings, *this).objects;
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

ShapeRenderObject& SceneRenderer::renderData(Shape& shape) {
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
    if (Geometry* geometry = data.geometry) {
        // Vertex-buffer geometries draw one sub-mesh per material run; other
        // geometries (terrain patches, particle systems) one per material.
        auto* buffers = dynamic_cast<VertexBufferGeometry*>(geometry);
        data.buffers = buffers;
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
            // A reflection map of size 0 has nothing to render into.
            data.reflective = data.reflective || (desc.reflectionMap && !desc.reflectionCube &&
                                                  desc.reflectionResolution > 0);
        }
    }
    shape.setRenderObject(std::move(created));
    return data;
}

void SceneRenderer::chooseLods(ShapeRenderObject& data, float distance) {
    for (ShapeSlot& slot : data.slots) {
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
    }
}

void SceneRenderer::addVisibleShape(Shape& shape, const Matrix4& world,
                                    const BoundingSphere& bounds, float distance) {
    if (&shape == m_excludedShape) {
        return;
    }
    ShapeRenderObject& data = renderData(shape);
    if (data.refractive && !(m_flags & (kRefraction | kRefractiveInMain))) {
        return;
    }
    data.world = world;
    if (distance != data.distance[m_depth]) {
        data.distance[m_depth] = distance;
        chooseLods(data, distance);
    }
    SceneRenderContext& context = *m_context;
    if ((m_flags & kLighting) && data.frameNumber != context.frameNumber) {
        LightAssignmentInput input;
        input.bounds = &bounds;
        input.distance = data.distance[m_depth];
        input.receivesShadows = (shape.getShapeFlags() & Shape::kReceivesShadows) != 0;
        input.shadowQuality = m_shadowQuality;
        refreshLights(m_lights, input, data.lightStamp, data.lights);
    }
    data.frameNumber = context.frameNumber;
    context.statistics.lights += static_cast<uint32_t>(data.lights.numLights());

    m_anyFurtherGroups = m_anyFurtherGroups || data.lights.count > 1;
    m_anyBlended = m_anyBlended || data.blended;
    if (data.refractive && !(m_flags & kRefractiveInMain)) {
        m_refractiveShapes.push_back(&shape);
    } else {
        m_shapes.push_back(&shape);
    }
    if ((m_flags & kReflections) && data.reflective) {
        m_reflectionShapes.push_back(&shape);
    }
}

void SceneRenderer::renderPass(int index, const std::vector<Shape*>& shapes, bool clear) {
    const RenderPass& pass = m_passes[index];
    const FillMode fill = m_context->environment.wireFrame ? FILL_WIREFRAME : FILL_SOLID;
    {
        SectionScope section(m_sections, kSectionBuildQueues);
        buildQueue(pass, shapes);
    }
    if (m_queue.empty()) {
        if (clear && pass.clearFlags != 0) {
            m_device.clear(pass.clearFlags, pass.clearColour, pass.clearDepth, pass.clearStencil);
        }
        return;
    }
    {
        SectionScope section(m_sections, kSectionSortQueues);
        m_queue.sort();
    }
    SectionScope section(m_sections, kSectionRenderQueue);
    setPassState(m_device, pass, clear, fill);
    renderQueue(pass.lightMode == PassLightMode::FurtherGroups);
    restorePassState(m_device, pass, fill);
    m_counts.entries[index] += static_cast<uint32_t>(m_queue.size());
}

void SceneRenderer::buildQueue(const RenderPass& pass, const std::vector<Shape*>& shapes) {
    m_queue.clear();
    // Passes that no shape of the frame takes part in are not walked.
    if ((pass.lightMode == PassLightMode::FurtherGroups && !m_anyFurtherGroups) ||
        (!pass.takesOpaque && !m_anyBlended)) {
        return;
    }
    for (Shape* shape : shapes) {
        // The shape drops its render data when its geometry, materials or
        // flags change, which a render event listener may have done.
        auto* object = static_cast<ShapeRenderObject*>(shape->getRenderObject());
        if (object == nullptr) {
            continue;
        }
        ShapeRenderObject& data = *object;
        const int groups = data.lights.count;
        for (ShapeSlot& slot : data.slots) {
            if (slot.blended ? !pass.takesBlended : !pass.takesOpaque) {
                continue;
            }
            switch (pass.lightMode) {
                case PassLightMode::None:
                    queueEntry(*shape, data, slot, ShapeSlot::kUnlit, false);
                    break;
                case PassLightMode::FurtherGroups:
                    for (int g = 1; g < groups; ++g) {
                        queueEntry(*shape, data, slot, g, true);
                    }
                    break;
                case PassLightMode::Lit:
                    if (groups == 0) {
                        queueEntry(*shape, data, slot, ShapeSlot::kUnlit, false);
                        break;
                    }
                    const int first = pass.groupRange == PassGroupRange::FromSecond ? 1 : 0;
                    const int end = pass.groupRange == PassGroupRange::First ? 1 : groups;
                    for (int g = first; g < end; ++g) {
                        queueEntry(*shape, data, slot, g, g > 0);
                    }
                    break;
            }
        }
    }
}

void SceneRenderer::queueEntry(Shape& shape, ShapeRenderObject& data, ShapeSlot& slot,
                               int objectIndex, bool furtherLights) {
    const LightGroup* lights =
        objectIndex == ShapeSlot::kUnlit ? nullptr : &data.lights.groups[objectIndex];
    RenderObject& object = slot.objects[objectIndex];
    const ShaderKey key =
        makeKey(*slot.material, shape, slot, lights ? lights->configWord : 0, furtherLights);
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
    m_queue.add(entry);
}

void SceneRenderer::renderQueue(bool furtherLights) {
    SceneRenderContext& context = *m_context;
    Shader* vertex = nullptr;
    Shader* fragment = nullptr;
    const Material* material = nullptr;
    int lodLevel = -2;
    bool bound = false;
    for (const RenderQueueEntry& entry : m_queue.entries()) {
        const ShapeSlot& slot = *entry.slot;
        const bool shadersChanged =
            entry.object->vertex != vertex || entry.object->fragment != fragment;
        if (shadersChanged || slot.material != material || slot.lodLevel != lodLevel) {
            unbindTextures();
            vertex = entry.object->vertex;
            fragment = entry.object->fragment;
            material = slot.material;
            lodLevel = slot.lodLevel;
            bound = bindMaterial(*material, lodLevel, *vertex, *fragment, furtherLights);
            ++context.statistics.materials;
        }
        if (!bound) {
            continue;
        }
        setObjectUniforms(*material, entry.data->world, entry.lights, *vertex, *fragment);
        m_device.setModelMatrix(entry.data->world.data());
        if (Geometry* geometry = entry.shape->getGeometry()) {
            geometry->draw(context, slot.subMesh);
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
    if ((shape.getShapeFlags() & Shape::kVertexColors) &&
        (slot.vertexAttributes & VertexAttribute::Color)) {
        key.words[2] |= ShaderKey::kVertexColor;
    }
    key.setFogModes(fogMode, volumeFogMode);
    // No shadow maps are rendered yet: a shadow group lights its shape
    // without sampling one.
    key.words[3] = lightWord & ~ShaderKey::kDepthShadowMap;
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
    const float camera[4] = {m_cameraPosition.x, m_cameraPosition.y, m_cameraPosition.z, 1.0f};
    const float fog[4] = {environment.fog.parameters[0], environment.fog.parameters[1], 0, 0};
    const float volumeFog[4] = {environment.volumeFog.parameters[0],
                                environment.volumeFog.parameters[1],
                                environment.volumeFog.parameters[2], 0};
    const float cosPower[4] = {desc.cosPower, desc.emissiveCoeff, material.getNormalMapScale(),
                               material.getNormalMapBias()};
    const float depthBias[4] = {desc.depthBias, desc.opacity, 0, 0};
    const float reflection[4] = {material.getFresnelR0(), desc.reflectionBumpScale,
                                 desc.refractionCoeff, desc.refractionBumpScale};
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
    if (fragment.usesSampler(su::ReflectionMap))
        bind(material.getEnvironmentMap());
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
    return true;
}

void SceneRenderer::setObjectUniforms(const Material& material, const Matrix4& model,
                                      const LightGroup* lights, Shader& vertex, Shader& fragment) {
    const SceneRenderContext& context = *m_context;
    const Matrix4 modelView = m_view * model;
    const Matrix4 modelViewProjection = m_projection * modelView;
    const Vector3 modelCamera = model.inverse().transformPoint(m_cameraPosition);
    const float modelCameraPosition[4] = {modelCamera.x, modelCamera.y, modelCamera.z, 1.0f};
    const MaterialDesc& desc = material.getDesc();
    const Vector3& sceneAmbient = context.environment.ambientColor;
    const float ambient[4] = {sceneAmbient.x * desc.ambientColor[0],
                              sceneAmbient.y * desc.ambientColor[1],
                              sceneAmbient.z * desc.ambientColor[2], 1.0f};
    for (Shader* shader : {&vertex, &fragment}) {
        IShaderObject* object = shader->getObject();
        setRows(object, shader->getPerObjectRegister(su::ModelMatrix), model, 3);
        setRows(object, shader->getPerObjectRegister(su::ModelViewMatrix), modelView, 3);
        setRows(object, shader->getPerObjectRegister(su::ModelViewProjMatrix), modelViewProjection,
                4);
        setVector(object, shader->getPerObjectRegister(su::ModelCameraPosition),
                  modelCameraPosition);
        setVector(object, shader->getPerObjectRegister(su::AmbientColor), ambient);

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
        }
        if (shader->getShadowDepthBiasRegister() != Shader::kNoRegister) {
            setVector(object, shader->getShadowDepthBiasRegister(), biases);
        }
    }
}

void SceneRenderer::unbindTextures() {
    for (int unit = 0; unit < m_unitsUsed; ++unit) {
        m_device.bindTexture(unit, nullptr);
    }
    m_unitsUsed = 0;
}

IVertexDeclaration* SceneRenderer::declarationFor(uint32_t attributes) {
    // The device lays a stream out as position, normal, colour, texture
    // coordinates; sub-meshes put colour and skin data after the texture
    // coordinates, so those layouts have no declaration yet.
    if (attributes & (VertexAttribute::Color | VertexAttribute::Skin)) {
        return nullptr;
    }
    attributes &= 31u;
    std::unique_ptr<IVertexDeclaration>& slot = m_declarations[attributes];
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
    IVertexDeclaration* declaration = declarationFor(subMesh.vertexAttributes);
    if (declaration == nullptr) {
        return;
    }
    m_device.setVertexBuffer(buffers->vertices.get());
    m_device.setIndexBuffer(buffers->indices.get());
    m_device.bindVertexDeclaration(declaration);
    m_device.draw(static_cast<int>(subMesh.indexCount), 0, PT_TRIANGLE_LIST);
    m_device.unbindVertexDeclaration();
}
