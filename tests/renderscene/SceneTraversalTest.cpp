// The two scene walks without a device: culling against the frustum and the
// clip distances, object masks, the LOD child choice, render events. Every
// shape walk is also made over the kept flat list, which must find the
// same shapes in the same order.

#include <gtest/gtest.h>

#include <array>
#include <cfloat>
#include <memory>
#include <string>
#include <vector>

#include "render/scene/SceneTraversal.h"
#include "scene/Geometry.h"
#include "scene/LODTransformGroup.h"
#include "scene/LightSource.h"
#include "scene/Node.h"
#include "scene/Shape.h"

namespace {

class RecordingSink : public ITraversalSink {
public:
    void addLight(LightSource& light, const Matrix4&, float) override {
        lights.push_back(light.getName());
    }
    void addVisibleShape(Shape& shape, const Matrix4&, const BoundingSphere&, float,
                         RenderAttachment*&) override {
        shapes.push_back(shape.getName());
    }
    std::vector<std::string> lights;
    std::vector<std::string> shapes;
};

class EventCounter : public ActionListener {
public:
    void actionPerformed(void*, int kind, int32_t, int32_t flag) override {
        if (kind == SceneEvents::renderEventKind()) {
            ++events;
            lastFlag = flag;
        }
    }
    int events = 0;
    int32_t lastFlag = 0;
};

// A unit box geometry shared by the test shapes.
RefPtr<Geometry> boxGeometry() {
    static RefPtr<Geometry> geometry(
        new IndexedFaceSetGeometry("box", makeBoxMesh({0.5f, 0.5f, 0.5f}), 0));
    return geometry;
}

Shape* addShape(Node& parent, const std::string& name, const Vector3& position) {
    auto* shape = new Shape(name);
    shape->setGeometry(boxGeometry().get());
    shape->setTranslation(position);
    parent.addChild(shape);
    return shape;
}

LightSource* addLight(Node& parent, const std::string& name, int type, const Vector3& position,
                      float range) {
    LightSource::Settings settings;
    settings.type = type;
    settings.range = range;
    auto* light = new LightSource(name, settings);
    light->setTranslation(position);
    parent.addChild(light);
    return light;
}

// A camera at the origin looking down −z, 90° wide, near 0.1, far 1000.
TraversalSettings viewSettings() {
    TraversalSettings settings;
    const float n = 0.1f;
    const float f = 1000.0f;
    Matrix4 projection;
    for (float& v : projection.m) {
        v = 0.0f;
    }
    projection.m[0] = 1.0f;
    projection.m[5] = 1.0f;
    projection.m[10] = -(f + n) / (f - n);
    projection.m[11] = -1.0f;
    projection.m[14] = -2.0f * f * n / (f - n);
    frustumPlanesFromMatrix(projection, settings.frustum);
    settings.clipDistance = FLT_MAX;
    settings.rendererFlag = 0xF;
    return settings;
}

class SceneTraversalTest : public ::testing::Test {
protected:
    std::vector<std::string> shapes(const TraversalSettings& settings) {
        RecordingSink sink;
        walker.collectShapes(&root, settings, sink);
        RecordingSink flatSink;
        flatWalker.collectShapesFlat(&root, settings, flatSink);
        EXPECT_EQ(flatSink.shapes, sink.shapes) << "the flat walk differs";
        return sink.shapes;
    }
    std::vector<std::string> lights(const TraversalSettings& settings) {
        RecordingSink sink;
        walker.collectLights(&root, settings, sink);
        return sink.lights;
    }

    TransformGroup root{"root"};
    SceneTraversal walker;
    // Keeps its flat list from call to call.
    SceneTraversal flatWalker;
};

using Names = std::vector<std::string>;

TEST_F(SceneTraversalTest, FrustumAndDistanceCulling) {
    auto* group = new TransformGroup("group");
    root.addChild(group);
    addShape(*group, "ahead", {0, 0, -10});
    Shape* behind = addShape(*group, "behind", {0, 0, 10});
    Shape* far = addShape(root, "far", {0, 0, -300});
    far->setClipDistance(250);
    TraversalSettings settings = viewSettings();
    EXPECT_EQ(shapes(settings), (Names{"ahead"}));

    // The view distance coefficient scales the clip distance.
    settings.viewDistanceCoeff = 2.0f;
    EXPECT_EQ(shapes(settings), (Names{"ahead", "far"}));

    // The global clip distance culls at the nearest point of the bounds.
    settings.clipDistance = 9.2f;
    EXPECT_EQ(shapes(settings), (Names{"ahead"}));
    settings.clipDistance = 9.1f;
    EXPECT_EQ(shapes(settings), (Names{}));

    settings = viewSettings();
    behind->setCullOverride(true);
    EXPECT_EQ(shapes(settings), (Names{"ahead", "behind"}));
    behind->setCullOverride(false);
    settings.cullOverride = true;
    EXPECT_EQ(shapes(settings), (Names{"ahead", "behind"}));

    // Hidden and not-rendered shapes stay out; shadow walks take casters.
    settings = viewSettings();
    group->setVisibility(false);
    EXPECT_EQ(shapes(settings), (Names{}));
    group->setVisibility(true);
    static_cast<Shape*>(group->getChildAt(0))->addShapeFlags(Shape::kNotRendered);
    EXPECT_EQ(shapes(settings), (Names{}));
    static_cast<Shape*>(group->getChildAt(0))->clearShapeFlags(Shape::kNotRendered);
    settings.shadowCastersOnly = true;
    EXPECT_EQ(shapes(settings), (Names{}));
    static_cast<Shape*>(group->getChildAt(0))->addShapeFlags(Shape::kCastsShadows);
    EXPECT_EQ(shapes(settings), (Names{"ahead"}));
}

// Groups pass the planes they lie wholly inside on to their children, which
// are still tested against the others: a group reaching past the far plane
// and a nested group reaching past the left one keep only their children
// inside.
TEST_F(SceneTraversalTest, NestedGroupsStraddlingPlanes) {
    auto* deep = new TransformGroup("deep");
    root.addChild(deep);
    addShape(*deep, "before far end", {0, 0, -990});
    addShape(*deep, "past far end", {0, 0, -1010});
    auto* side = new TransformGroup("side");
    deep->addChild(side);
    addShape(*side, "centre", {0, 0, -20});
    addShape(*side, "left of view", {-30, 0, -20});
    addShape(*side, "left edge", {-20.2f, 0, -20});
    EXPECT_EQ(shapes(viewSettings()), (Names{"before far end", "centre", "left edge"}));
}

TEST_F(SceneTraversalTest, ObjectMaskHidesShapesButNotLights) {
    auto* masked = new TransformGroup("masked");
    root.addChild(masked);
    masked->setObjectMask(0x2);
    addShape(*masked, "inside", {0, 0, -10});
    addLight(*masked, "lamp", LightSource::Point, {0, 0, -10}, 5);
    addShape(root, "outside", {2, 0, -10});
    TraversalSettings settings = viewSettings();
    settings.objectMask = 0x1;
    EXPECT_EQ(shapes(settings), (Names{"outside"}));
    EXPECT_EQ(lights(settings), (Names{"lamp"}));
    settings.objectMask = 0x3;
    EXPECT_EQ(shapes(settings), (Names{"inside", "outside"}));
}

TEST_F(SceneTraversalTest, LightsOutOfViewAndDirectionalLights) {
    addLight(root, "near", LightSource::Point, {0, 0, -10}, 5);
    // Its sphere lies wholly behind the camera.
    addLight(root, "behind", LightSource::Point, {0, 0, 30}, 5);
    // Far away and behind the camera, yet a directional light reaches all.
    auto* group = new TransformGroup("distant");
    root.addChild(group);
    addLight(*group, "sun", LightSource::Directional, {0, 5000, 9000}, 1);
    LightSource* off = addLight(root, "off", LightSource::Point, {0, 0, -10}, 5);
    off->setLightFlags(off->getLightFlags() & ~LightSource::kCollected);
    EXPECT_EQ(lights(viewSettings()), (Names{"near", "sun"}));
}

TEST_F(SceneTraversalTest, LodGroupVisitsOneChild) {
    struct Case {
        std::vector<float> distances;
        int children;
        float distance;
        size_t expected;
    };
    const Case cases[] = {
        {{0, 50, 100}, 3, 49.9f, 0}, {{0, 50, 100}, 3, 50, 1},   {{0, 50, 100}, 3, 99.9f, 1},
        {{0, 50, 100}, 3, 100, 2},   {{0, 50, 100}, 3, 5000, 2}, {{0, 50, 100}, 2, 50, 1},
        {{0, 50, 100}, 2, 500, 1},   {{0, 50, 100}, 1, 500, 0},
    };
    for (const Case& c : cases) {
        LODTransformGroup lod("lod", c.distances);
        EXPECT_EQ(chooseLodChild(lod.getDistances(), size_t(c.children), c.distance), c.expected)
            << c.children << " children at " << c.distance;
    }

    // In a walk: the group at 60 units shows its middle child only.
    auto* lod = new LODTransformGroup("lod", {0, 50, 100});
    root.addChild(lod);
    lod->setTranslation({0, 0, -60});
    addShape(*lod, "high", {});
    addShape(*lod, "middle", {});
    addShape(*lod, "low", {});
    EXPECT_EQ(shapes(viewSettings()), (Names{"middle"}));
    static_cast<Shape*>(lod->getChildAt(1))->setVisibility(false);
    EXPECT_EQ(shapes(viewSettings()), (Names{}));
}

TEST_F(SceneTraversalTest, VisitedNodesSendTheirRenderEvent) {
    EventCounter seen;
    EventCounter culled;
    Shape* ahead = addShape(root, "ahead", {0, 0, -10});
    Shape* behind = addShape(root, "behind", {0, 0, 10});
    ahead->addRenderListener(&seen);
    behind->addRenderListener(&culled);
    RecordingSink sink;
    walker.collectShapes(&root, viewSettings(), sink);
    walker.collectLights(&root, viewSettings(), sink);
    EXPECT_EQ(seen.events, 1);
    EXPECT_EQ(seen.lastFlag, 0xF);
    EXPECT_EQ(culled.events, 0);
}

// A listener that links a new shape below its node on the first render
// event, as foliage makes its cells: the flat walk walks such a subtree as
// the tree walk does, and moves of shapes in its list are seen.
class GrowingListener : public ActionListener {
public:
    explicit GrowingListener(TransformGroup& node) : m_node(node) {}
    void actionPerformed(void*, int kind, int32_t, int32_t) override {
        if (kind == SceneEvents::renderEventKind()) {
            ++events;
            if (m_node.getNumChildren() == 1) {
                addShape(m_node, "grown", {1, 0, 0});
            }
        }
    }
    int events = 0;

private:
    TransformGroup& m_node;
};

TEST_F(SceneTraversalTest, FlatWalkFollowsListenersMovesAndChanges) {
    auto* cells = new TransformGroup("cells");
    root.addChild(cells);
    cells->setTranslation({0, 0, -20});
    addShape(*cells, "seed", {0, 0, 0});
    GrowingListener grower(*cells);
    cells->addRenderListener(&grower);
    Shape* mover = addShape(root, "mover", {0, 0, -10});
    addShape(root, "still", {3, 0, -10});
    const TraversalSettings settings = viewSettings();
    RecordingSink sink;
    flatWalker.collectShapesFlat(&root, settings, sink);
    EXPECT_EQ(sink.shapes, (Names{"seed", "grown", "mover", "still"}));
    EXPECT_EQ(grower.events, 1);
    // Moved behind the camera, back in view, hidden, shown: each frame the
    // flat walk finds what the tree walk finds.
    for (const Vector3& at : {Vector3{0, 0, 10}, Vector3{1, 0, -12}}) {
        mover->setTranslation(at);
        shapes(settings);
    }
    mover->setVisibility(false);
    EXPECT_EQ(shapes(settings), (Names{"seed", "grown", "still"}));
    mover->setVisibility(true);
    mover->addShapeFlags(Shape::kNotRendered);
    EXPECT_EQ(shapes(settings), (Names{"seed", "grown", "still"}));
    // Both walks sent the listener's node its event each time.
    EXPECT_EQ(grower.events, 1 + 2 * 4);
}

}  // namespace
