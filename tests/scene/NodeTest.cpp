#include <gtest/gtest.h>

#include "SceneTestUtil.h"
#include "scene/LightSource.h"
#include "scene/Shape.h"

namespace {

// Counts how often each node's bounds invalidation runs.
class CountingGroup : public TransformGroup {
public:
    using TransformGroup::TransformGroup;
    void invalidateBounds() override {
        ++invalidations;
        TransformGroup::invalidateBounds();
    }
    int invalidations = 0;
};

class DeleteWatcher : public ActionListener {
public:
    void actionPerformed(void* source, int kind, int32_t, int32_t) override {
        if (kind == entityDestroyedEventKind()) {
            deleted.push_back(static_cast<Entity*>(source));
        }
    }
    std::vector<Entity*> deleted;
};

TEST(NodeTest, KindBitsAndClassNames) {
    TransformGroup group("g");
    EXPECT_EQ(group.getFlags(), NodeKind::Node | EntityKind::ScenegraphNode |
                                    EntityKind::RawTransformGroup | EntityKind::TransformGroup);
    EXPECT_STREQ(group.getClassName(), "TransformGroup");
    EXPECT_TRUE(group.ownsChildren());
    EXPECT_TRUE(group.isRegistered());
    EXPECT_EQ(EntityRegistry::find(group.getId()), &group);
    RawTransformGroup raw("r");
    EXPECT_STREQ(raw.getClassName(), "RawTransformGroup");
    EXPECT_FALSE(raw.hasKind(EntityKind::TransformGroup));
    Node plain("p");
    EXPECT_FALSE(plain.ownsChildren());
    EXPECT_EQ(plain.getFlags(), NodeKind::Node);
}

TEST(NodeTest, AddChildMovesNodeBetweenParents) {
    TransformGroup a("a"), b("b");
    auto* x = new TransformGroup("x");
    auto* y = new TransformGroup("y");
    auto* z = new TransformGroup("z");
    EXPECT_EQ(a.addChild(x), 0u);
    EXPECT_EQ(a.addChild(y), 1u);
    EXPECT_EQ(b.addChild(z), 0u);
    EXPECT_EQ(b.addChild(x), 1u);  // the new last index
    EXPECT_EQ(x->getParent(), &b);
    ASSERT_EQ(a.getNumChildren(), 1u);
    EXPECT_EQ(a.getChildAt(0), y);
    EXPECT_EQ(b.getChildAt(1), x);
    // Re-adding to the same parent puts it last.
    EXPECT_EQ(b.addChild(z), 1u);
    EXPECT_EQ(b.getChildAt(0), x);
}

TEST(NodeTest, MovedChildTakesNewParentsTransform) {
    TransformGroup a("a"), b("b");
    a.setTranslation({1, 0, 0});
    b.setTranslation({0, 7, 0});
    auto* child = new TransformGroup("child");
    a.addChild(child);
    expectVectorNear(child->getWorldMatrix().getTranslation(), {1, 0, 0});
    b.addChild(child);
    expectVectorNear(child->getWorldMatrix().getTranslation(), {0, 7, 0});
}

TEST(NodeTest, RemoveChildAtKeepsParentLinkButUnlinkClearsIt) {
    TransformGroup root("root");
    auto* x = new TransformGroup("x");
    auto* y = new TransformGroup("y");
    root.addChild(x);
    root.addChild(y);
    root.removeChildAt(0, false);
    EXPECT_EQ(root.getChildAt(0), y);
    EXPECT_EQ(x->getParent(), &root);
    delete x;  // not in the list any more: root keeps y only
    EXPECT_EQ(root.getNumChildren(), 1u);
    y->unlink();
    EXPECT_EQ(y->getParent(), nullptr);
    EXPECT_EQ(root.getNumChildren(), 0u);
    y->unlink();  // nothing to do
    delete y;
}

TEST(NodeTest, DeletingANodeDeletesItsSubtreeAndLeavesItsParent) {
    TransformGroup root("root");
    auto* branch = new TransformGroup("branch");
    auto* leaf1 = new TransformGroup("leaf1");
    auto* leaf2 = new TransformGroup("leaf2");
    auto* keep = new TransformGroup("keep");
    root.addChild(branch);
    root.addChild(keep);
    branch->addChild(leaf1);
    leaf1->addChild(leaf2);
    DeleteWatcher watcher;
    for (Entity* e : std::vector<Entity*>{branch, leaf1, leaf2}) {
        e->addDeleteListener(&watcher);
    }
    int32_t leafId = leaf2->getId();
    delete branch;
    EXPECT_EQ(watcher.deleted.size(), 3u);
    EXPECT_EQ(EntityRegistry::find(leafId), nullptr);
    ASSERT_EQ(root.getNumChildren(), 1u);
    EXPECT_EQ(root.getChildAt(0), keep);
}

// Every node knows the lights below it through linking, moving, unlinking
// and deleting, and a refused link changes nothing.
TEST(NodeTest, SubtreeLightCountsFollowTheTree) {
    TransformGroup root("root");
    auto* branch = new TransformGroup("branch");
    auto* leaf = new TransformGroup("leaf");
    auto* other = new TransformGroup("other");
    auto* lamp = new LightSource("lamp", LightSource::Settings());
    auto* sun = new LightSource("sun", LightSource::Settings());
    root.addChild(branch);
    root.addChild(other);
    leaf->addChild(lamp);
    lamp->addChild(sun);
    branch->addChild(leaf);
    auto counts = [&]() {
        return std::vector<uint32_t>{root.getSubtreeLightCount(), branch->getSubtreeLightCount(),
                                     leaf->getSubtreeLightCount(), other->getSubtreeLightCount(),
                                     lamp->getSubtreeLightCount()};
    };
    EXPECT_EQ(counts(), (std::vector<uint32_t>{2, 2, 2, 0, 2}));
    other->addChild(leaf);
    EXPECT_EQ(counts(), (std::vector<uint32_t>{2, 0, 2, 2, 2}));
    CapturedLog log;
    sun->addChild(&root);
    EXPECT_EQ(counts(), (std::vector<uint32_t>{2, 0, 2, 2, 2})) << "refused link";
    delete sun;
    EXPECT_EQ(counts(), (std::vector<uint32_t>{1, 0, 1, 1, 1}));
    leaf->unlink();
    EXPECT_EQ(counts(), (std::vector<uint32_t>{0, 0, 1, 0, 1}));
    branch->addChild(leaf);
    other->removeChildAt(0, false);
    EXPECT_EQ(counts(), (std::vector<uint32_t>{1, 1, 1, 0, 1}));
}

TEST(NodeTest, LinkingBelowItselfIsRefused) {
    TransformGroup root("root");
    auto* middle = new TransformGroup("middle");
    auto* leaf = new TransformGroup("leaf");
    root.addChild(middle);
    middle->addChild(leaf);
    root.getWorldBounds(0);
    CapturedLog log;
    EXPECT_EQ(leaf->addChild(&root), 0u);
    EXPECT_EQ(middle->addChild(middle), 1u);
    EXPECT_EQ(log.count("Warning: Cannot link a node below itself: "), 2u);
    // Nothing moved and no cache was touched.
    EXPECT_EQ(root.getParent(), nullptr);
    EXPECT_EQ(leaf->getNumChildren(), 0u);
    EXPECT_EQ(middle->getNumChildren(), 1u);
    EXPECT_FALSE(root.isLocalBoundsDirty(0));
    // Out-of-range indices reach nothing.
    EXPECT_EQ(middle->getChildAt(1), nullptr);
    middle->removeChildAt(5, false);
    EXPECT_EQ(middle->getChildAt(0), leaf);
}

TEST(NodeTest, PlainNodeDoesNotDeleteChildren) {
    auto* parent = new Node("parent");
    TransformGroup child("child");
    parent->addChild(&child);
    delete parent;
    EXPECT_EQ(child.getParent(), nullptr);
}

TEST(NodeTest, UserAttributesAreCreatedAndReplaced) {
    TransformGroup node("n");
    EXPECT_EQ(node.getUserAttribute("speed"), nullptr);
    node.setUserAttribute("speed", UserAttribute::makeFloat(2.5f));
    node.setUserAttribute("name", UserAttribute::makeString("car"));
    ASSERT_NE(node.getUserAttribute("speed"), nullptr);
    EXPECT_EQ(node.getUserAttribute("speed")->type, UserAttribute::Float);
    EXPECT_EQ(node.getUserAttribute("speed")->floatValue, 2.5f);
    node.setUserAttribute("speed", UserAttribute::makeInteger(3));
    EXPECT_EQ(node.getUserAttribute("speed")->type, UserAttribute::Integer);
    EXPECT_EQ(node.getUserAttribute("speed")->intValue, 3);
    EXPECT_EQ(node.getUserAttribute("name")->stringValue, "car");
    EXPECT_EQ(node.getUserAttributes().size(), 2u);
}

TEST(NodeTest, DefaultFlags) {
    TransformGroup node("n");
    EXPECT_TRUE(node.getVisibility());
    EXPECT_TRUE(node.isEnabled());
    EXPECT_FALSE(node.getCullOverride());
    EXPECT_EQ(node.getLocalMatrix(), Matrix4::identity());
    EXPECT_TRUE(node.isWorldDirty());
}

// root -> a -> b -> c, all bounds computed.
struct Chain {
    CountingGroup root{"root"};
    CountingGroup* a = new CountingGroup("a");
    CountingGroup* b = new CountingGroup("b");
    CountingGroup* c = new CountingGroup("c");
    Chain() {
        root.addChild(a);
        a->addChild(b);
        b->addChild(c);
        root.getWorldBounds(0);
        root.getWorldBounds(1);
        root.getWorldBounds(2);
        for (CountingGroup* g : {&root, a, b, c}) {
            g->invalidations = 0;
        }
    }
};

TEST(BoundsTest, InvalidationClimbsToFirstDirtyAncestorOnly) {
    Chain chain;
    for (CountingGroup* g : {&chain.root, chain.a, chain.b, chain.c}) {
        EXPECT_FALSE(g->isLocalBoundsDirty(0));
    }
    chain.c->invalidateBounds();
    EXPECT_EQ(chain.root.invalidations, 1);
    EXPECT_TRUE(chain.root.isLocalBoundsDirty(1));

    Chain second;
    second.b->invalidateBounds();  // b, a and root dirty now
    second.root.invalidations = second.a->invalidations = second.b->invalidations = 0;
    second.c->invalidateBounds();
    EXPECT_EQ(second.c->invalidations, 1);
    EXPECT_EQ(second.b->invalidations, 1);  // reached, found dirty, stopped
    EXPECT_EQ(second.a->invalidations, 0);
    EXPECT_EQ(second.root.invalidations, 0);
    EXPECT_TRUE(second.c->isLocalBoundsDirty(0));
}

TEST(BoundsTest, GroupBoundsFollowShapesAndTransforms) {
    TransformGroup root("root");
    auto* group = new TransformGroup("group");
    auto* shapeA = new Shape("a");
    auto* shapeB = new Shape("b");
    root.addChild(group);
    group->addChild(shapeA);
    group->addChild(shapeB);
    shapeA->setGeometry(makeSphereGeometry({0, 0, 0}, 1));
    shapeB->setGeometry(makeSphereGeometry({0, 0, 0}, 1));
    shapeA->setTranslation({-2, 0, 0});
    shapeB->setTranslation({2, 0, 0});
    group->setTranslation({0, 10, 0});
    root.setScale({2, 2, 2});

    const BoundingSphere& local = group->getLocalBounds(0);
    expectVectorNear(local.getCenter(), {0, 10, 0});
    EXPECT_NEAR(local.getRadius(), 3.0f, 1e-5f);
    const BoundingSphere& world = group->getWorldBounds(0);
    expectVectorNear(world.getCenter(), {0, 20, 0});
    EXPECT_NEAR(world.getRadius(), 6.0f, 1e-5f);
    // Kinds are kept apart: shapes put nothing into kind 1.
    EXPECT_EQ(group->getLocalBounds(1).getRadius(), 0.0f);

    // Moving one shape reaches the group's cached bounds.
    shapeB->setTranslation({6, 0, 0});
    EXPECT_TRUE(group->isLocalBoundsDirty(0));
    EXPECT_TRUE(group->isWorldBoundsDirty(0));
    EXPECT_NEAR(group->getWorldBounds(0).getRadius(), 10.0f, 1e-5f);
    // Moving the root moves the world bounds but not the group's local ones.
    group->getLocalBounds(0);
    root.setTranslation({100, 0, 0});
    EXPECT_FALSE(group->isLocalBoundsDirty(0));
    EXPECT_TRUE(group->isWorldBoundsDirty(0));
    EXPECT_NEAR(group->getWorldBounds(0).getCenter().x, 104.0f, 1e-4f);
}

TEST(BoundsTest, RemovingAChildInvalidatesTheParent) {
    TransformGroup root("root");
    auto* shape = new Shape("s");
    shape->setGeometry(makeSphereGeometry({0, 0, 0}, 4));
    root.addChild(shape);
    EXPECT_NEAR(root.getLocalBounds(0).getRadius(), 4.0f, 1e-5f);
    delete shape;
    EXPECT_TRUE(root.isLocalBoundsDirty(0));
    EXPECT_EQ(root.getLocalBounds(0).getRadius(), 0.0f);
}

}  // namespace
