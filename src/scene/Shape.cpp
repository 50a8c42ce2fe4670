#include "scene/Shape.h"

#include <algorithm>

#include "foundation/Log.h"
#include "scene/SceneChanges.h"

Shape::Shape(const std::string& name) : TransformGroup(name) {
    addKind(EntityKind::Shape);
}

Shape::~Shape() {
    // Lists that point into the render object let go of it.
    if (m_renderObject) {
        scenechanges::renderObjectsChanged();
    }
    unbindSkin();
    if (m_geometry) {
        m_geometry->unregisterShape(this);
    }
}

void Shape::setClipDistance(float distance) {
    if (distance != m_clipDistance) {
        m_clipDistance = distance;
        scenechanges::structureChanged(getParent());
    }
}

void Shape::setRenderObject(std::unique_ptr<RenderAttachment> object) {
    if (m_renderObject) {
        scenechanges::renderObjectsChanged();
    }
    m_renderObject = std::move(object);
}

void Shape::dropRenderObject() {
    if (m_renderObject) {
        m_renderObject.reset();
        scenechanges::renderObjectsChanged();
    }
}

std::unique_ptr<TransformGroup> Shape::createCopy() const {
    auto copy = std::make_unique<Shape>(getName());
    copy->setGeometry(m_geometry.get());
    copy->m_shapeFlags = m_shapeFlags;
    copy->m_clipDistance = m_clipDistance;
    copy->m_materials = m_materials;
    if (m_shapeFlags & kSkinned) {
        // The bones are bound once the copies of the bones are known.
        copy->bindSkin({});
    }
    return copy;
}

void Shape::setGeometry(Geometry* geometry) {
    if (m_geometry) {
        m_geometry->unregisterShape(this);
    }
    m_geometry = RefPtr<Geometry>(geometry);
    m_shapeFlags &= ~(kSkinned | kVertexColors);
    if (geometry) {
        if (geometry->getKindFlags() & Geometry::kListsShapesOnSet) {
            geometry->registerShape(this);
        }
        if (geometry->getContentFlags() & Geometry::kHasSkin) {
            m_shapeFlags |= kSkinned;
        }
        if (geometry->getContentFlags() & Geometry::kHasVertexColors) {
            m_shapeFlags |= kVertexColors;
        }
    }
    dropRenderObject();
    invalidateBounds();
}

void Shape::addMaterial(ShapeMaterial* material) {
    dropRenderObject();
    m_materials.emplace_back(material);
}

void Shape::clearMaterials() {
    dropRenderObject();
    m_materials.clear();
}

void Shape::addShapeFlags(uint32_t flags) {
    uint32_t updated = m_shapeFlags | flags;
    if (updated != m_shapeFlags) {
        m_shapeFlags = updated;
        dropRenderObject();
        scenechanges::structureChanged(getParent());
    }
}

void Shape::clearShapeFlags(uint32_t flags) {
    uint32_t updated = m_shapeFlags & ~flags;
    if (updated != m_shapeFlags) {
        m_shapeFlags = updated;
        dropRenderObject();
        scenechanges::structureChanged(getParent());
    }
}

void Shape::unbindSkin() {
    if (!m_bones.empty()) {
        m_bones[0]->removeWorldTransformListener(this);
    }
    for (RawTransformGroup* bone : m_bones) {
        bone->removeDeleteListener(this);
    }
    m_bones.clear();
    m_inverseBindMatrices.clear();
    m_skinRootMatrix = Matrix4::identity();
}

void Shape::bindSkin(const std::vector<RawTransformGroup*>& bones) {
    unbindSkin();
    if (m_geometry && (m_geometry->getContentFlags() & Geometry::kHasSkin)) {
        if (bones.size() > kMaxPaletteBones) {
            Log::get() << "Warning: Max bones per mesh limit exceeded\n";
        }
        m_bones.reserve(bones.size());
        m_inverseBindMatrices.reserve(bones.size());
        for (size_t i = 0; i < bones.size(); ++i) {
            RawTransformGroup* bone = bones[i];
            if (bone == nullptr) {
                m_bones.clear();
                m_inverseBindMatrices.clear();
                m_skinRootMatrix = Matrix4::identity();
                clearShapeFlags(kSkinned);
                break;
            }
            if (i == 0) {
                Node* parent = bone->getParent();
                if (parent && parent->hasKind(EntityKind::RawTransformGroup)) {
                    m_skinRootMatrix =
                        static_cast<RawTransformGroup*>(parent)->getWorldMatrix().inverse();
                }
                m_inverseBindMatrices.push_back(bone->getLocalMatrix().inverse());
            } else {
                m_inverseBindMatrices.push_back(
                    (m_skinRootMatrix * bone->getWorldMatrix()).inverse());
            }
            m_bones.push_back(bone);
        }
        if (!m_bones.empty()) {
            m_bones[0]->addWorldTransformListener(this);
            // Bones are not owned: a bone that is deleted first must not
            // leave a dangling pointer behind.
            for (RawTransformGroup* bone : m_bones) {
                bone->addDeleteListener(this);
            }
        }
    }
    m_skinBounds = std::make_unique<BoundingSphere>();
    m_skinBounds->setEmpty(true);
    invalidateBounds();
}

void Shape::actionPerformed(void* source, int eventKind, int32_t, int32_t) {
    if (eventKind == SceneEvents::worldTransformEventKind() ||
        eventKind == SceneEvents::shapeBoundsChangedEventKind()) {
        invalidateBounds();
        return;
    }
    if (eventKind != entityDestroyedEventKind()) {
        return;
    }
    bool isBone = false;
    for (RawTransformGroup* bone : m_bones) {
        if (static_cast<Entity*>(bone) == source) {
            isBone = true;
            break;
        }
    }
    if (!isBone) {
        return;
    }
    // The dying bone is half destroyed: touch only the others.
    for (size_t i = 0; i < m_bones.size(); ++i) {
        RawTransformGroup* bone = m_bones[i];
        if (static_cast<Entity*>(bone) == source) {
            continue;
        }
        if (i == 0) {
            bone->removeWorldTransformListener(this);
        }
        bone->removeDeleteListener(this);
    }
    m_bones.clear();
    m_inverseBindMatrices.clear();
    m_skinRootMatrix = Matrix4::identity();
    clearShapeFlags(kSkinned);
    invalidateBounds();
}

const BoundingSphere& Shape::getLocalBounds(int kind) {
    if (kind != 0 || !isLocalBoundsDirty(kind)) {
        return RawTransformGroup::getLocalBounds(kind);
    }
    BoundingSphere& bounds = localBoundsStorage(kind);
    bounds.reset();
    if (m_geometry) {
        if ((m_shapeFlags & kSkinned) && !m_bones.empty() && m_skinBounds) {
            m_skinBounds->set(m_geometry->getBounds());
            m_skinBounds->setEmpty(m_geometry->getBounds().isEmpty());
            bounds.merge(*m_skinBounds, m_bones[0]->getWorldMatrix() * m_inverseBindMatrices[0]);
        } else {
            bounds.merge(m_geometry->getBounds(), getLocalMatrix());
        }
    }
    mergeChildBounds(kind, bounds);
    clearLocalBoundsDirty(kind);
    return bounds;
}

size_t Shape::writeSkinningPalette(float* out, size_t maxBones) {
    size_t count = std::min({m_bones.size(), maxBones, kMaxPaletteBones});
    for (size_t i = 0; i < count; ++i) {
        Matrix4 m = m_skinRootMatrix * m_bones[i]->getWorldMatrix() * m_inverseBindMatrices[i];
        float* row = out + i * kPaletteFloatsPerBone;
        for (int r = 0; r < 3; ++r) {
            for (int c = 0; c < 4; ++c) {
                row[4 * r + c] = m.m[4 * c + r];
            }
        }
    }
    return count;
}
