#include "scene/TransformGroup.h"

#include <cmath>

#include "scene/SceneChanges.h"

RawTransformGroup::RawTransformGroup(const std::string& name) : ScenegraphNode(name) {
    addKind(EntityKind::RawTransformGroup);
}

RawTransformGroup::~RawTransformGroup() {
    setAnimation(nullptr);
}

void RawTransformGroup::setAnimation(NodeAnimation* animation) {
    if (animation == m_animation.get()) {
        return;
    }
    // Keeps the previous animation alive until it has let go of this node.
    RefPtr<NodeAnimation> previous = std::move(m_animation);
    m_animation = animation;
    if (previous) {
        previous->releaseNode(*this);
    }
}

void RawTransformGroup::removeChildAt(size_t index, bool beingDestroyed) {
    Node* child = getChildAt(index);
    if (child == nullptr) {
        return;
    }
    ScenegraphNode::removeChildAt(index, beingDestroyed);
    // A child on its way out is half destroyed: only a live child is told.
    if (child->hasKind(EntityKind::RawTransformGroup) &&
        (!beingDestroyed || child->getParent() == nullptr)) {
        static_cast<RawTransformGroup*>(child)->invalidateWorld(0);
    }
    invalidateBounds();
}

size_t RawTransformGroup::addChild(Node* child) {
    size_t index = ScenegraphNode::addChild(child);
    if (child == nullptr || child->getParent() != this) {
        return index;  // not linked
    }
    if (child->hasKind(EntityKind::RawTransformGroup)) {
        static_cast<RawTransformGroup*>(child)->invalidateWorld(0);
    }
    invalidateBounds();
    return index;
}

void RawTransformGroup::setLocalMatrix(const Matrix4& matrix, int32_t reason) {
    m_localMatrix = matrix;
    sendLocalTransformEvent(reason);
    invalidateBounds();
    invalidateWorld(reason);
}

const Matrix4& RawTransformGroup::getWorldMatrix() {
    if (m_worldDirty) {
        Node* parent = getParent();
        if (parent && parent->hasKind(EntityKind::RawTransformGroup)) {
            m_worldMatrix =
                static_cast<RawTransformGroup*>(parent)->getWorldMatrix() * m_localMatrix;
        } else {
            m_worldMatrix = m_localMatrix;
        }
        m_worldDirty = false;
    }
    return m_worldMatrix;
}

void RawTransformGroup::invalidateWorld(int32_t reason) {
    if (m_worldDirty) {
        return;
    }
    // The old world matrix is still valid here: it places a non-inheriting
    // child whose own cache is stale.
    const Matrix4 oldWorld = m_worldMatrix;
    if (hasKind(EntityKind::Shape)) {
        scenechanges::shapeMoved(this);
    }
    sendWorldTransformEvent(reason);
    m_worldBoundsDirty.fill(true);
    m_worldDirty = true;
    for (size_t i = 0; i < getNumChildren(); ++i) {
        Node* node = getChildAt(i);
        if (!node->hasKind(EntityKind::RawTransformGroup)) {
            continue;
        }
        auto* child = static_cast<RawTransformGroup*>(node);
        if ((child->m_transformFlags & kNoTransformInheritance) == 0) {
            child->invalidateWorld(reason);
        } else {
            Matrix4 childWorld =
                child->m_worldDirty ? oldWorld * child->m_localMatrix : child->m_worldMatrix;
            child->setLocalMatrix(getWorldMatrix().inverse() * childWorld, reason);
        }
    }
}

void RawTransformGroup::mergeChildBounds(int kind, BoundingSphere& into) {
    for (Node* node : getChildren()) {
        if (node->hasKind(EntityKind::RawTransformGroup)) {
            auto* child = static_cast<RawTransformGroup*>(node);
            into.merge(child->getLocalBounds(kind), m_localMatrix);
        }
    }
}

const BoundingSphere& RawTransformGroup::getLocalBounds(int kind) {
    if (m_localBoundsDirty[kind]) {
        m_localBounds[kind].reset();
        mergeChildBounds(kind, m_localBounds[kind]);
        m_localBoundsDirty[kind] = false;
    }
    return m_localBounds[kind];
}

const BoundingSphere& RawTransformGroup::getWorldBounds(int kind) {
    if (m_worldBoundsDirty[kind]) {
        BoundingSphere& world = m_worldBounds[kind];
        world.set(getLocalBounds(kind));
        // Bringing this node's world matrix up to date as well keeps the rule
        // that clean world bounds imply a clean world matrix: only then does a
        // later world invalidation, which stops at dirty matrices, reach these
        // bounds.
        getWorldMatrix();
        Node* parent = getParent();
        if (parent && parent->hasKind(EntityKind::RawTransformGroup)) {
            world.transform(static_cast<RawTransformGroup*>(parent)->getWorldMatrix());
        }
        m_worldBoundsDirty[kind] = false;
    }
    return m_worldBounds[kind];
}

void RawTransformGroup::invalidateBounds() {
    if (hasKind(EntityKind::Shape)) {
        scenechanges::shapeMoved(this);
    }
    m_worldBoundsDirty.fill(true);
    bool wasClean = !m_localBoundsDirty[0] || !m_localBoundsDirty[1] || !m_localBoundsDirty[2];
    if (!wasClean) {
        return;
    }
    m_localBoundsDirty.fill(true);
    Node* parent = getParent();
    if (parent && parent->hasKind(EntityKind::RawTransformGroup)) {
        static_cast<RawTransformGroup*>(parent)->invalidateBounds();
    }
}

TransformGroup::TransformGroup(const std::string& name) : RawTransformGroup(name) {
    addKind(EntityKind::TransformGroup);
}

void TransformGroup::setLocalMatrix(const Matrix4& matrix, int32_t reason) {
    RawTransformGroup::setLocalMatrix(matrix, reason);
    m_matrixNewer = true;
}

void TransformGroup::updateFromMatrix() {
    if (!m_matrixNewer) {
        return;
    }
    const Matrix4& m = getLocalMatrix();
    m_translation = m.getTranslation();
    m_rotation = rotationFromMatrix(m);
    m_scale = scaleFromMatrix(m);
    m_matrixNewer = false;
}

void TransformGroup::rebuildMatrix() {
    setLocalMatrix(composeTransform(m_translation, m_rotation, m_scale), 0);
    m_matrixNewer = false;
}

Vector3 TransformGroup::getTranslation() {
    updateFromMatrix();
    return m_translation;
}

Vector3 TransformGroup::getRotation() {
    updateFromMatrix();
    return m_rotation;
}

Vector3 TransformGroup::getScale() {
    updateFromMatrix();
    return m_scale;
}

void TransformGroup::setTranslation(const Vector3& translation) {
    updateFromMatrix();
    m_translation = translation;
    rebuildMatrix();
}

void TransformGroup::setRotation(const Vector3& rotation) {
    updateFromMatrix();
    m_rotation = rotation;
    rebuildMatrix();
}

void TransformGroup::setScale(const Vector3& scale) {
    updateFromMatrix();
    m_scale = scale;
    rebuildMatrix();
}

void TransformGroup::setTranslationRotation(const Vector3& translation, const Vector3& rotation) {
    updateFromMatrix();
    m_translation = translation;
    m_rotation = rotation;
    rebuildMatrix();
}

void TransformGroup::setTransform(const Vector3& translation, const Vector3& rotation,
                                  const Vector3& scale) {
    updateFromMatrix();
    m_translation = translation;
    m_rotation = rotation;
    m_scale = scale;
    rebuildMatrix();
}

void TransformGroup::setDirection(const Vector3& direction, const Vector3& up) {
    Vector3 z = normalize(direction);
    if (dot(z, z) == 0.0f) {
        return;
    }
    Vector3 x = normalize(cross(up, z));
    if (dot(x, x) == 0.0f) {
        // The up hint is parallel to the direction (or zero): any axis
        // across the direction gives a valid frame, where the plain formula
        // would give NaNs.
        Vector3 axis = std::fabs(z.x) < 0.9f ? Vector3(1, 0, 0) : Vector3(0, 1, 0);
        x = normalize(cross(axis, z));
    }
    Vector3 y = cross(z, x);
    Matrix4 m;
    m.setColumn(0, x);
    m.setColumn(1, y);
    m.setColumn(2, z);
    m.setTranslation(getLocalMatrix().getTranslation());
    setLocalMatrix(m, 0);
}

std::unique_ptr<TransformGroup> TransformGroup::createCopy() const {
    return std::make_unique<TransformGroup>(getName());
}

void TransformGroup::copyTransformGroupState(TransformGroup& source) {
    source.updateFromMatrix();
    m_translation = source.m_translation;
    m_rotation = source.m_rotation;
    m_scale = source.m_scale;
    rebuildMatrix();
    setTransformFlags(source.getTransformFlags());
    setVisibility(source.getVisibility());
    setEnabled(source.isEnabled());
    setCullOverride(source.getCullOverride());
    setObjectMask(source.getObjectMask());
    setUserAttributes(source.getUserAttributes());
}
