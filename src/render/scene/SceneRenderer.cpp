#include "render/scene/SceneRenderer.h"

#include <algorithm>
#include <cmath>

#include "base/3d/IRenderDevice.h"
#include "base/3d/Texture.h"
#include "render/material/Material.h"
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

}  // namespace

SceneRenderer::SceneRenderer(IRenderDevice& device, ShaderLibrary& library)
    : m_device(device), m_library(library) {}

SceneRenderer::~SceneRenderer() = default;

void SceneRenderer::collect(Node* node) {
    if (node == nullptr) {
        return;
    }
    if (auto* sceneNode = dynamic_cast<ScenegraphNode*>(node)) {
        if (!sceneNode->getVisibility()) {
            return;
        }
        sceneNode->sendRenderEvent(0);
    }
    if (auto* shape = dynamic_cast<Shape*>(node)) {
        if (!(shape->getShapeFlags() & Shape::kNotRendered) && shape->getGeometry()) {
            m_shapes.push_back(shape);
        }
    } else if (auto* light = dynamic_cast<LightSource*>(node)) {
        if (light->getType() != LightSource::Ambient) {
            m_lights.push_back(light);
        }
    }
    for (Node* child : node->getChildren()) {
        collect(child);
    }
}

void SceneRenderer::render(SceneRenderContext& context, int width, int height) {
    m_drawn = 0;
    m_skipped = 0;
    Camera* camera = context.getActiveCamera();
    if (context.getRootNode() == nullptr || camera == nullptr || width <= 0 || height <= 0) {
        return;
    }
    context.viewportWidth = width;
    context.viewportHeight = height;
    context.subMeshDrawer = this;
    ++context.frameNumber;
    m_projection =
        camera->getProjectionMatrix(static_cast<float>(width), static_cast<float>(height));
    m_view = camera->getViewMatrix();
    m_viewProjection = m_projection * m_view;
    m_cameraPosition = camera->getWorldMatrix().getTranslation();

    m_shapes.clear();
    m_lights.clear();
    collect(context.getRootNode());

    // The first light group: directional lights first, then point and spot
    // lights, at most four.
    m_numGroup = 0;
    std::fill(std::begin(m_groupCount), std::end(m_groupCount), 0);
    for (int type : {LightSource::Directional, LightSource::Point, LightSource::Spot}) {
        for (LightSource* light : m_lights) {
            if (light->getType() == type && m_numGroup < kMaxLights) {
                m_group[m_numGroup++] = light;
                ++m_groupCount[type];
            }
        }
    }

    m_device.setViewMatrix(m_view.data());
    m_device.setProjectionMatrix(m_projection.data());
    m_device.enableDepthTest();
    m_device.setDepthFunction(CF_LESS_EQUAL);
    m_device.enableDepthWrite();
    m_device.setBlendFunction(BF_ONE, BF_ZERO);
    m_device.setCullMode(CULL_NONE);
    for (Shape* shape : m_shapes) {
        drawShape(*shape, context);
    }
    m_device.unbindVertexShader();
    m_device.unbindFragmentShader();
    unbindTextures();
}

ShaderKey SceneRenderer::makeKey(const Material& material, const Shape& shape,
                                 const SubMesh& subMesh, int lodDefineIndex,
                                 const SceneRenderContext& context) const {
    const MaterialDesc& desc = material.getDesc();
    ShaderKey key;
    uint32_t& w0 = key.words[0];
    w0 = ShaderKey::kAmbient | ShaderKey::kDiffuse;
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
    if (material.getEmissiveMap().texture)
        w0 |= ShaderKey::kEmissiveMap;
    const SceneEnvironment& environment = context.environment;
    if (desc.allowFog && environment.fog.mode > 0)
        w0 |= ShaderKey::kFog;
    if (desc.allowVolumeFog && environment.volumeFog.mode > 0)
        w0 |= ShaderKey::kVolumeFog;
    if (const CustomShader* custom = material.getCustomShader()) {
        key.setCustom(static_cast<uint32_t>(custom->getIndex()),
                      static_cast<uint32_t>(lodDefineIndex));
    }
    if ((shape.getShapeFlags() & Shape::kVertexColors) &&
        (subMesh.vertexAttributes & VertexAttribute::Color)) {
        key.words[2] |= ShaderKey::kVertexColor;
    }
    key.setFogModes(static_cast<uint32_t>(environment.fog.mode),
                    static_cast<uint32_t>(environment.volumeFog.mode));
    for (int kind = 0; kind < 3; ++kind) {
        key.setLightCount(static_cast<ShaderLightKind>(kind), false, m_groupCount[kind]);
    }
    return key;
}

void SceneRenderer::drawShape(Shape& shape, SceneRenderContext& context) {
    auto* geometry = dynamic_cast<VertexBufferGeometry*>(shape.getGeometry());
    if (geometry == nullptr) {
        return;
    }
    const Vector3 position = shape.getWorldMatrix().getTranslation();
    const Vector3 toCamera = position - m_cameraPosition;
    const float distance =
        std::sqrt(toCamera.x * toCamera.x + toCamera.y * toCamera.y + toCamera.z * toCamera.z);
    m_device.setModelMatrix(shape.getWorldMatrix().data());
    for (size_t i = 0; i < geometry->getNumSubMeshes(); ++i) {
        const SubMesh& subMesh = geometry->getSubMesh(i);
        const size_t materialIndex = static_cast<size_t>(std::max(subMesh.materialIndex, 0));
        auto* material = materialIndex < shape.getNumMaterials()
                             ? dynamic_cast<Material*>(shape.getMaterial(materialIndex))
                             : nullptr;
        if (material == nullptr) {
            ++m_skipped;
            continue;
        }
        // The custom shader's level for the distance; below every level the
        // key carries no custom code.
        int lodLevel = material->getLodLevel(distance);
        int lodDefineIndex = 0;
        const std::vector<std::string>* textureNames = nullptr;
        if (const CustomShader* custom = material->getCustomShader(); custom && lodLevel >= 0) {
            const CustomShader::LodLevel& level = custom->getLodLevels()[size_t(lodLevel)];
            lodDefineIndex = level.defineIndex;
            textureNames = &level.textureNames;
        }
        ShaderKey key = makeKey(*material, shape, subMesh, lodDefineIndex, context);
        Shader* vertex = nullptr;
        Shader* fragment = nullptr;
        if (!m_library.getShaders(key, textureNames, vertex, fragment) ||
            !bindMaterial(*material, lodLevel, *vertex, *fragment, context)) {
            ++m_skipped;
            continue;
        }
        setObjectUniforms(*material, shape, *vertex, *fragment, context);
        geometry->draw(context, i);
        unbindTextures();
        ++m_drawn;
    }
}

bool SceneRenderer::bindMaterial(const Material& material, int lodLevel, Shader& vertex,
                                 Shader& fragment, const SceneRenderContext& context) {
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
        setVector(object, shader->getPerFrameRegister(su::FogColor), environment.fog.color);
        setVector(object, shader->getPerFrameRegister(su::VolumeFogParams), volumeFog);
        setVector(object, shader->getPerFrameRegister(su::VolumeFogColor),
                  environment.volumeFog.color);
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

void SceneRenderer::setObjectUniforms(const Material& material, Shape& shape, Shader& vertex,
                                      Shader& fragment, const SceneRenderContext& context) {
    const Matrix4& model = shape.getWorldMatrix();
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
            LightSource* light = nullptr;
            for (int i = 0, seen = 0; i < m_numGroup; ++i) {
                if (m_group[i]->getType() == static_cast<int>(slot.kind) && seen++ == slot.index) {
                    light = m_group[i];
                    break;
                }
            }
            if (light == nullptr) {
                continue;
            }
            const Matrix4& world = light->getWorldMatrix();
            const Vector3 p = world.getTranslation();
            const float range = light->getRange();
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
