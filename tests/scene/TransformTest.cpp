#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <numbers>

#include "SceneTestUtil.h"
#include "scene/TransformGroup.h"

namespace {

constexpr float kHalfPi = static_cast<float>(std::numbers::pi / 2);

struct RotationCase {
    const char* label;
    Vector3 rotation;  // composed into the matrix
    Vector3 expected;  // read back
};

TEST(TransformGroupTest, RotationReadBackIncludingGimbalLock) {
    const RotationCase cases[] = {
        {"x quarter turn", {kHalfPi, 0, 0}, {kHalfPi, 0, 0}},
        {"general", {0.3f, -0.7f, 1.1f}, {0.3f, -0.7f, 1.1f}},
        {"negative z", {0, 0.2f, -2.5f}, {0, 0.2f, -2.5f}},
        // ry = pi/2: the gimbal branch folds z into x and reports rz = 0.
        {"y quarter turn", {0, kHalfPi, 0}, {0, kHalfPi, 0}},
        {"gimbal with x and z", {0.4f, kHalfPi, 0.1f}, {0.3f, kHalfPi, 0}},
        {"gimbal negative", {0.0f, -kHalfPi, 0.0f}, {0, -kHalfPi, 0}},
    };
    for (const RotationCase& c : cases) {
        SCOPED_TRACE(c.label);
        TransformGroup node("n");
        Matrix4 m = composeTransform({1, 2, 3}, c.rotation, {1, 1, 1});
        node.setLocalMatrix(m, 0);
        EXPECT_TRUE(node.isMatrixNewer());
        Vector3 r = node.getRotation();
        expectVectorNear(r, c.expected, 1e-3f);
        EXPECT_FALSE(node.isMatrixNewer());
        // Whatever the angles, they describe the same matrix.
        expectMatrixNear(composeTransform(node.getTranslation(), r, node.getScale()), m, 1e-3f);
    }
}

TEST(TransformGroupTest, SetRotationIsReturnedUnchanged) {
    TransformGroup node("n");
    node.setRotation({kHalfPi, 0, 0});
    EXPECT_EQ(node.getRotation(), Vector3(kHalfPi, 0, 0));
    // The matrix rotates +y onto +z.
    expectVectorNear(node.getLocalMatrix().transformVector({0, 1, 0}), {0, 0, 1});
}

TEST(TransformGroupTest, MatrixYRotationGoesThroughGimbalBranch) {
    TransformGroup node("n");
    Matrix4 m = Matrix4::rotationY(kHalfPi);
    m.m[2] = -1.0f;  // exactly, as a loader would write it
    m.m[0] = 0.0f;
    node.setLocalMatrix(m, 0);
    Vector3 r = node.getRotation();
    EXPECT_NEAR(r.y, kHalfPi, 1e-6f);
    EXPECT_EQ(r.z, 0.0f);
}

TEST(TransformGroupTest, ScaledMatrixReadsBackFiniteAngles) {
    // Unnormalised columns push -element 2 beyond 1: the square root of
    // 1 - a^2 would be NaN, the gimbal branch takes over instead.
    TransformGroup node("n");
    node.setLocalMatrix(composeTransform({}, {0.2f, 1.0f, 0.3f}, {2, 2, 2}), 0);
    Vector3 r = node.getRotation();
    for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(std::isfinite(r[i])) << i;
    }
    EXPECT_EQ(r.z, 0.0f);
}

TEST(TransformGroupTest, ScaleReadBackSnapsNearOne) {
    struct Case {
        float length;
        float expected;
    };
    const Case cases[] = {{1.000005f, 1.0f},
                          {0.999995f, 1.0f},
                          {1.00002f, 1.00002f},
                          {0.99998f, 0.99998f},
                          {2.5f, 2.5f}};
    for (const Case& c : cases) {
        TransformGroup node("n");
        node.setLocalMatrix(Matrix4::scaling({c.length, 1, 3}), 0);
        Vector3 s = node.getScale();
        EXPECT_EQ(s.x, c.expected) << c.length;
        EXPECT_EQ(s.y, 1.0f);
        EXPECT_FLOAT_EQ(s.z, 3.0f);
    }
}

TEST(TransformGroupTest, ComposesTranslationRotationScaleInOrder) {
    TransformGroup node("n");
    node.setScale({2, 1, 1});
    node.setRotation({0, 0, kHalfPi});
    node.setTranslation({10, 0, 0});
    // (1, 0, 0) scaled to (2, 0, 0), turned about z to (0, 2, 0), moved.
    expectVectorNear(node.getLocalMatrix().transformPoint({1, 0, 0}), {10, 2, 0});
    EXPECT_EQ(node.getTranslation(), Vector3(10, 0, 0));
    EXPECT_EQ(node.getScale(), Vector3(2, 1, 1));
}

TEST(TransformGroupTest, SettersStartFromTheNewerMatrix) {
    TransformGroup node("n");
    node.setLocalMatrix(composeTransform({1, 2, 3}, {0, 0, 0.5f}, {1, 1, 1}), 0);
    node.setScale({2, 2, 2});
    expectVectorNear(node.getTranslation(), {1, 2, 3});
    expectVectorNear(node.getRotation(), {0, 0, 0.5f});
}

TEST(TransformGroupTest, WorldMatrixRecomputedOnlyOnDirtyPath) {
    TransformGroup root("root");
    auto* a = new TransformGroup("a");
    auto* b = new TransformGroup("b");
    auto* sibling = new TransformGroup("sibling");
    root.addChild(a);
    a->addChild(b);
    root.addChild(sibling);
    root.setTranslation({1, 0, 0});
    a->setTranslation({0, 2, 0});
    b->setTranslation({0, 0, 3});
    expectVectorNear(b->getWorldMatrix().getTranslation(), {1, 2, 3});
    sibling->getWorldMatrix();
    EXPECT_FALSE(a->isWorldDirty());

    a->setTranslation({0, 5, 0});
    EXPECT_TRUE(a->isWorldDirty());
    EXPECT_TRUE(b->isWorldDirty());
    EXPECT_FALSE(root.isWorldDirty());
    EXPECT_FALSE(sibling->isWorldDirty());
    expectVectorNear(b->getWorldMatrix().getTranslation(), {1, 5, 3});
    EXPECT_FALSE(a->isWorldDirty());
}

TEST(TransformGroupTest, ChildWithoutInheritanceStaysInPlace) {
    for (bool queriedBefore : {true, false}) {
        SCOPED_TRACE(queriedBefore ? "world cached" : "world never asked for");
        TransformGroup root("root");
        auto* parent = new TransformGroup("parent");
        auto* child = new TransformGroup("child");
        root.addChild(parent);
        parent->addChild(child);
        parent->setTranslation({1, 0, 0});
        parent->getWorldMatrix();
        child->setTransformFlags(RawTransformGroup::kNoTransformInheritance);
        child->setTranslation({0, 5, 0});
        if (queriedBefore) {
            expectVectorNear(child->getWorldMatrix().getTranslation(), {1, 5, 0});
        }
        parent->setTranslation({10, 0, 0});
        parent->setRotation({0, 0, 1.0f});
        expectVectorNear(child->getWorldMatrix().getTranslation(), {1, 5, 0}, 1e-4f);
        EXPECT_TRUE(child->isMatrixNewer());
        // The local transform took the change instead.
        Vector3 local = child->getTranslation();
        EXPECT_GT(length(local - Vector3(0, 5, 0)), 1.0f);
    }
}

TEST(TransformGroupTest, InheritingChildMovesWithParent) {
    TransformGroup parent("parent");
    auto* child = new TransformGroup("child");
    parent.addChild(child);
    child->setTranslation({0, 5, 0});
    child->getWorldMatrix();
    parent.setTranslation({10, 0, 0});
    expectVectorNear(child->getWorldMatrix().getTranslation(), {10, 5, 0});
    EXPECT_EQ(child->getTranslation(), Vector3(0, 5, 0));
}

TEST(TransformGroupTest, TransformEventsCarryTheirReason) {
    TransformGroup parent("parent");
    auto* child = new TransformGroup("child");
    parent.addChild(child);
    parent.getWorldMatrix();
    child->getWorldMatrix();
    EventRecorder local, parentWorld, childWorld;
    parent.addLocalTransformListener(&local);
    parent.addWorldTransformListener(&parentWorld);
    child->addWorldTransformListener(&childWorld);

    parent.setLocalMatrix(Matrix4::translation({1, 0, 0}), 7);
    ASSERT_EQ(local.events.size(), 1u);
    EXPECT_EQ(local.events[0].kind, SceneEvents::localTransformEventKind());
    EXPECT_EQ(local.events[0].value1, 7);
    EXPECT_EQ(local.events[0].source, static_cast<Entity*>(&parent));
    ASSERT_EQ(parentWorld.events.size(), 1u);
    EXPECT_EQ(parentWorld.events[0].kind, SceneEvents::worldTransformEventKind());
    EXPECT_EQ(parentWorld.events[0].value1, 7);
    ASSERT_EQ(childWorld.events.size(), 1u);
    EXPECT_EQ(childWorld.events[0].value1, 7);

    // Already dirty: no second world event until the matrix is recomputed.
    parent.setLocalMatrix(Matrix4::translation({2, 0, 0}), 3);
    EXPECT_EQ(local.events.size(), 2u);
    EXPECT_EQ(parentWorld.events.size(), 1u);
    child->getWorldMatrix();
    parent.setTranslation({3, 0, 0});
    ASSERT_EQ(parentWorld.events.size(), 2u);
    EXPECT_EQ(parentWorld.events[1].value1, 0);

    parent.removeWorldTransformListener(&parentWorld);
    parent.getWorldMatrix();
    parent.setTranslation({4, 0, 0});
    EXPECT_EQ(parentWorld.events.size(), 2u);
}

TEST(TransformGroupTest, EventKindsAreDistinct) {
    SceneEvents::allocateEventKinds();
    int kinds[] = {SceneEvents::renderEventKind(), SceneEvents::localTransformEventKind(),
                   SceneEvents::worldTransformEventKind(),
                   SceneEvents::shapeBoundsChangedEventKind(), entityDestroyedEventKind()};
    for (size_t i = 0; i < 5; ++i) {
        for (size_t j = i + 1; j < 5; ++j) {
            EXPECT_NE(kinds[i], kinds[j]);
        }
    }
}

TEST(TransformGroupTest, RenderEventCarriesRendererFlag) {
    TransformGroup node("n");
    EventRecorder recorder;
    node.addRenderListener(&recorder);
    node.sendRenderEvent(5);
    ASSERT_EQ(recorder.events.size(), 1u);
    EXPECT_EQ(recorder.events[0].kind, SceneEvents::renderEventKind());
    EXPECT_EQ(recorder.events[0].value1, 0);
    EXPECT_EQ(recorder.events[0].value2, 5);
}

TEST(TransformGroupTest, SetDirectionAimsZAxis) {
    TransformGroup node("n");
    node.setTranslation({1, 2, 3});
    node.setScale({4, 4, 4});
    node.setDirection({0, 0, -5}, {0, 1, 0});
    const Matrix4& m = node.getLocalMatrix();
    expectVectorNear(m.getColumn(2), {0, 0, -1});
    expectVectorNear(m.getColumn(1), {0, 1, 0});
    expectVectorNear(m.getColumn(0), {-1, 0, 0});
    EXPECT_EQ(node.getScale(), Vector3(1, 1, 1));
    EXPECT_EQ(node.getTranslation(), Vector3(1, 2, 3));

    // Up parallel to the direction still gives an orthonormal frame.
    node.setDirection({0, 3, 0}, {0, 1, 0});
    const Matrix4& p = node.getLocalMatrix();
    expectVectorNear(p.getColumn(2), {0, 1, 0});
    for (int i = 0; i < 3; ++i) {
        EXPECT_NEAR(length(p.getColumn(i)), 1.0f, 1e-5f);
        EXPECT_NEAR(dot(p.getColumn(i), p.getColumn((i + 1) % 3)), 0.0f, 1e-5f);
    }
}

TEST(MatrixTest, InverseUndoesTransform) {
    Matrix4 m = composeTransform({3, -2, 7}, {0.3f, 1.2f, -0.4f}, {2, 0.5f, 3});
    expectMatrixNear(m * m.inverse(), Matrix4::identity(), 1e-5f);
    Matrix4 singular = Matrix4::scaling({1, 0, 1});
    Matrix4 out = Matrix4::translation({9, 9, 9});
    EXPECT_FALSE(singular.invert(out));
    EXPECT_EQ(out, Matrix4::translation({9, 9, 9}));
}

}  // namespace
