#include "effects/EffectGeometry.h"

#include "base/device/IGpuResources.h"
#include "base/device/IRenderDevice.h"
#include "foundation/Log.h"
#include "scene/Camera.h"
#include "scene/Node.h"
#include "scene/SceneRenderContext.h"

EffectGeometry::EffectGeometry(const std::string& name, const EffectsEnvironment& environment)
    : VertexBufferGeometry(name, true), m_environment(environment) {}

EffectGeometry::~EffectGeometry() = default;

bool EffectGeometry::createVertexStorage(uint64_t maxVertices, uint32_t vertexStride,
                                         const VertexDeclarationDesc& declaration,
                                         uint32_t attributes) {
    const uint64_t bytes = maxVertices * uint64_t(vertexStride);
    if (maxVertices > kMaxEffectVertices || bytes > UINT32_MAX) {
        Log::get() << "Error: " << getClassName() << " " << Entity::getName() << ": "
                   << std::to_string(maxVertices) << " vertices do not fit one vertex buffer\n";
        return false;
    }
    m_vertexStride = vertexStride;
    m_vertices.assign(static_cast<size_t>(bytes), 0);
    if (m_environment.device != nullptr && bytes > 0) {
        m_declaration = m_environment.device->createVertexDeclaration(declaration);
        m_buffer = m_environment.device->createVertexBuffer(
            static_cast<uint32_t>(bytes), nullptr, BU_DYNAMIC | BU_WRITE_ONLY | BU_DISCARDABLE);
    }
    auto subMesh = std::make_unique<SubMesh>();
    subMesh->vertexAttributes = attributes;
    subMesh->vertexStride = vertexStrideFor(attributes);
    addSubMesh(std::move(subMesh));
    return true;
}

void EffectGeometry::onShapeRendered(Shape& shape) {
    SceneRenderContext* context = m_environment.context;
    if (context == nullptr || context->secondary) {
        return;
    }
    Camera* camera = context->getActiveCamera();
    if (camera == nullptr || (m_updated && context->frameNumber == m_lastFrame)) {
        return;
    }
    m_updated = true;
    m_lastFrame = context->frameNumber;

    // The vertices are drawn with the shape's world matrix: the camera is
    // brought into the shape's frame.
    const Matrix4 toShape = shape.getWorldMatrix().inverse();
    const Matrix4& cameraWorld = camera->getWorldMatrix();
    EffectView view;
    view.position = toShape.transformPoint(cameraWorld.getTranslation());
    for (int i = 0; i < 3; ++i) {
        Vector3 axis = normalize(toShape.transformVector(cameraWorld.getColumn(i)));
        if (length(axis) > 0.0f) {
            view.axes[i] = axis;
        }
    }
    advanceFrame(view, context->frameTimeMs);
}

void EffectGeometry::advanceFrame(const EffectView& view, float dtMs) {
    m_numVertices = update(view, dtMs);
    if (m_buffer && m_numVertices > 0) {
        m_buffer->write(0, m_numVertices * m_vertexStride, m_vertices.data(), true);
    }
}

void EffectGeometry::draw(SceneRenderContext& context, size_t subMesh) {
    IRenderDevice* device = m_environment.device;
    if (subMesh != 0 || m_numVertices == 0 || device == nullptr || !m_buffer || !m_declaration) {
        return;
    }
    device->setIndexBuffer(nullptr);
    device->setVertexBuffer(m_buffer.get());
    device->bindVertexDeclaration(m_declaration.get());
    device->draw(static_cast<int>(m_numVertices), 0, PT_TRIANGLE_LIST);
    device->unbindVertexDeclaration();
    context.statistics.drawCalls += 1;
    context.statistics.primitives += m_numVertices / 3;
    context.statistics.indices += m_numVertices;
}

// ---- EffectShape ----

EffectShape::EffectShape(const std::string& name) : Shape(name) {
    addRenderListener(this);
}

EffectShape::~EffectShape() {
    removeRenderListener(this);
}

std::unique_ptr<TransformGroup> EffectShape::createCopy() const {
    auto copy = std::make_unique<EffectShape>(getName());
    copy->setGeometry(getGeometry());
    copy->addShapeFlags(getShapeFlags());
    copy->setClipDistance(getClipDistance());
    for (size_t i = 0; i < getNumMaterials(); ++i) {
        copy->addMaterial(getMaterial(i));
    }
    copy->setCullOverride(getCullOverride());
    return copy;
}

void EffectShape::actionPerformed(void* source, int eventKind, int32_t value1, int32_t value2) {
    if (eventKind == SceneEvents::renderEventKind()) {
        if (auto* effect = dynamic_cast<EffectGeometry*>(getGeometry())) {
            effect->onShapeRendered(*this);
        }
        return;
    }
    Shape::actionPerformed(source, eventKind, value1, value2);
}
