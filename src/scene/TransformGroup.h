#pragma once
// RawTransformGroup: a local matrix, the cached world matrix and the cached
// bounds of three kinds. TransformGroup: translation, rotation and scale kept
// beside the matrix.

#include <array>
#include <memory>

#include "base/math/Matrix4.h"
#include "scene/BoundingSphere.h"
#include "scene/Node.h"
#include "scene/NodeAnimation.h"

class TransformGroup;

class RawTransformGroup : public ScenegraphNode {
public:
    static constexpr int kNumBoundKinds = 3;
    // Transform flag: the node keeps its place in the world when its parent
    // moves.
    static constexpr uint32_t kNoTransformInheritance = 0x2;

    explicit RawTransformGroup(const std::string& name);
    ~RawTransformGroup() override;

    const char* getClassName() const override { return "RawTransformGroup"; }

    void removeChildAt(size_t index, bool beingDestroyed) override;
    size_t addChild(Node* child) override;

    void invalidateWorld(int32_t reason) override;
    const BoundingSphere& getLocalBounds(int kind) override;

    // Stores the matrix, sends the local-transform event, invalidates the
    // bounds and the world matrix.
    virtual void setLocalMatrix(const Matrix4& matrix, int32_t reason);
    // Parent world x local, recomputed only along the dirty part of the path
    // to the root.
    virtual const Matrix4& getWorldMatrix();
    // Marks the bounds dirty here and up the tree to the first ancestor whose
    // bounds are dirty already.
    virtual void invalidateBounds();

    const Matrix4& getLocalMatrix() const { return m_localMatrix; }
    // The local bounds in world space.
    const BoundingSphere& getWorldBounds(int kind);

    bool isWorldDirty() const { return m_worldDirty; }
    bool isLocalBoundsDirty(int kind) const { return m_localBoundsDirty[kind]; }
    bool isWorldBoundsDirty(int kind) const { return m_worldBoundsDirty[kind]; }

    uint32_t getTransformFlags() const { return m_transformFlags; }
    void setTransformFlags(uint32_t flags) { m_transformFlags = flags; }

    int32_t getPhysicsIndex() const { return m_physicsIndex; }
    void setPhysicsIndex(int32_t index) { m_physicsIndex = index; }

    // The animation (character set) that moves this node, held by
    // reference; setting another one releases the previous one.
    NodeAnimation* getAnimation() const { return m_animation.get(); }
    void setAnimation(NodeAnimation* animation);

protected:
    // Merges the children's bounds of the kind, transformed by the local
    // matrix, into the sphere.
    void mergeChildBounds(int kind, BoundingSphere& into);
    BoundingSphere& localBoundsStorage(int kind) { return m_localBounds[kind]; }
    void clearLocalBoundsDirty(int kind) { m_localBoundsDirty[kind] = false; }

private:
    Matrix4 m_localMatrix;
    Matrix4 m_worldMatrix;
    bool m_worldDirty = true;
    std::array<BoundingSphere, kNumBoundKinds> m_localBounds;
    std::array<bool, kNumBoundKinds> m_localBoundsDirty = {true, true, true};
    std::array<BoundingSphere, kNumBoundKinds> m_worldBounds;
    std::array<bool, kNumBoundKinds> m_worldBoundsDirty = {true, true, true};
    uint32_t m_transformFlags = 0;
    int32_t m_physicsIndex = -1;
    RefPtr<NodeAnimation> m_animation;
};

class TransformGroup : public RawTransformGroup {
public:
    explicit TransformGroup(const std::string& name);

    const char* getClassName() const override { return "TransformGroup"; }

    void setLocalMatrix(const Matrix4& matrix, int32_t reason) override;

    Vector3 getTranslation();
    Vector3 getRotation();
    Vector3 getScale();
    void setTranslation(const Vector3& translation);
    void setRotation(const Vector3& rotation);
    void setScale(const Vector3& scale);
    // Translation and rotation at once with one rebuild of the matrix.
    void setTranslationRotation(const Vector3& translation, const Vector3& rotation);
    // All three at once with one rebuild of the matrix.
    void setTransform(const Vector3& translation, const Vector3& rotation, const Vector3& scale);

    // Turns the node's Z axis along `direction` with `up` as the up hint; the
    // translation stays and the scale becomes 1.
    void setDirection(const Vector3& direction, const Vector3& up);

    bool isMatrixNewer() const { return m_matrixNewer; }

    // A new node of this class with the same name and class state, unlinked.
    // Subtree cloning adds the transform group state and the children.
    virtual std::unique_ptr<TransformGroup> createCopy() const;
    // Copies translation, rotation, scale, transform flags, the three flags,
    // the object mask and the user attributes from `source`.
    void copyTransformGroupState(TransformGroup& source);

    // A grid of heights a node stands for (a terrain), for the physics world's
    // height field: `size` × `size` samples, row by row along the node's z
    // axis, each sample times `heightFactor` the local height; samples are
    // `spacing` apart and the grid is centred on the node's origin.
    struct HeightGrid {
        uint32_t size = 0;
        const uint16_t* samples = nullptr;
        float heightFactor = 0.0f;
        float spacing = 0.0f;
    };
    // The node's height grid; empty (size 0) for nodes that are no terrain.
    virtual HeightGrid getHeightGrid() const { return {}; }

private:
    void updateFromMatrix();
    void rebuildMatrix();

    Vector3 m_translation;
    Vector3 m_rotation;
    Vector3 m_scale{1.0f, 1.0f, 1.0f};
    bool m_matrixNewer = false;
};
