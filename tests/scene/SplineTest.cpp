#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "SceneTestUtil.h"
#include "scene/Shape.h"
#include "scene/SplineGeometry.h"

namespace {

// Four equally spaced points on the x axis: an open curve through them is a
// straight line, so its lengths are known exactly.
std::vector<Vector3> linePoints() {
    return {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {3, 0, 0}};
}

std::vector<Vector3> squarePoints() {
    return {{-1, -1, 0}, {1, -1, 0}, {1, 1, 0}, {-1, 1, 0}};
}

TEST(SplineTest, OpenCurveMeasuresOneSegmentLessThanClosed) {
    // Open, clamped ends: segment 0 runs from x = 1/6 to 1, segment 1 from 1
    // to 2, segment 2 from 2 to 17/6, segment 3 (not counted) to 3.
    SplineGeometry open("open", linePoints(), false);
    const std::vector<float>& l = open.getCumulativeLengths();
    ASSERT_EQ(l.size(), 5u);
    const float expected[] = {0, 5.0f / 6, 11.0f / 6, 16.0f / 6, 17.0f / 6};
    for (size_t i = 0; i < 5; ++i) {
        EXPECT_NEAR(l[i], expected[i], 1e-5f) << i;
    }
    EXPECT_NEAR(open.getLength(), 16.0f / 6, 1e-5f);
    EXPECT_FALSE(open.isClosed());

    // Closed square: four equal segments, all counted.
    SplineGeometry closed("closed", squarePoints(), true);
    EXPECT_NEAR(closed.getLength(), closed.getCumulativeLengths()[4], 1e-6f);
    for (size_t i = 1; i <= 4; ++i) {
        EXPECT_NEAR(closed.getCumulativeLengths()[i], closed.getLength() * i / 4, 1e-5f);
    }
    // A segment's length is the sum of its 8 chords, not the true arc.
    float chords = 0;
    for (int k = 0; k < 8; ++k) {
        chords += length(closed.segmentPoint(0, (k + 1) / 8.0f) - closed.segmentPoint(0, k / 8.0f));
    }
    EXPECT_NEAR(closed.getCumulativeLengths()[1], chords, 1e-6f);
}

TEST(SplineTest, EvaluationByArcLength) {
    SplineGeometry open("open", linePoints(), false);
    struct Case {
        float t;
        float x;
    };
    // Arc length 8/3 from x = 1/6; t = 1 lands at the end of the third
    // segment, values outside [0, 1] are clamped.
    const Case cases[] = {
        {0, 1.0f / 6}, {0.5f, 1.5f}, {1, 17.0f / 6}, {1.5f, 17.0f / 6}, {-1, 1.0f / 6}};
    for (const Case& c : cases) {
        expectVectorNear(open.evaluate(c.t), {c.x, 0, 0});
    }

    // The closed square ends where it starts; each quarter starts a segment.
    SplineGeometry closed("closed", squarePoints(), true);
    const std::vector<Vector3> p = squarePoints();
    auto segmentStart = [&](size_t i) {
        return (p[(i + 3) % 4] + p[i] * 4.0f + p[(i + 1) % 4]) * (1.0f / 6.0f);
    };
    expectVectorNear(closed.evaluate(0), segmentStart(0));
    expectVectorNear(closed.evaluate(0.25f), segmentStart(1));
    expectVectorNear(closed.evaluate(0.75f), segmentStart(3));
    expectVectorNear(closed.evaluate(1), segmentStart(0));
}

TEST(SplineTest, DegenerateCurvesStayFinite) {
    SplineGeometry single("one", {{2, 3, 4}}, false);
    EXPECT_EQ(single.getLength(), 0.0f);
    expectVectorNear(single.evaluate(0.7f), {2, 3, 4});
    // Repeated points make zero-length segments.
    SplineGeometry repeated("same", {{1, 1, 1}, {1, 1, 1}, {1, 1, 1}}, true);
    expectVectorNear(repeated.evaluate(0.5f), {1, 1, 1});
    SplineGeometry none("none", {}, false);
    expectVectorNear(none.evaluate(0.5f), {0, 0, 0});
    EXPECT_TRUE(none.getBounds().isEmpty());
}

TEST(SplineTest, ParameterWrapsByWholeTurns) {
    struct Case {
        float t;
        float wrapped;
    };
    const Case cases[] = {{1.25f, 0.25f},
                          {-0.5f, 0.5f},
                          {0, 0},
                          {1, 1},
                          {2, 1},
                          {-1, 0},
                          {3.75f, 0.75f},
                          {-2.25f, 0.75f},
                          {1000000.5f, 0.5f},
                          {std::numeric_limits<float>::quiet_NaN(), 0}};
    for (const Case& c : cases) {
        EXPECT_NEAR(wrapSplineParameter(c.t), c.wrapped, 1e-6f) << c.t;
    }
}

TEST(SplineTest, WorldPositionAndOrientationOfAShape) {
    TransformGroup root("root");
    auto* shape = new Shape("curve");
    root.addChild(shape);
    root.setTranslation({0, 10, 0});
    Vector3 out;
    EXPECT_FALSE(getSplineWorldPosition(*shape, 0.5f, out));  // no geometry
    shape->setGeometry(makeSphereGeometry({0, 0, 0}, 1));
    EXPECT_FALSE(getSplineWorldPosition(*shape, 0.5f, out));  // no spline
    EXPECT_FALSE(getSplineWorldOrientation(*shape, 0.5f, {0, 1, 0}, out));

    shape->setGeometry(new SplineGeometry("line", linePoints(), false));
    ASSERT_TRUE(getSplineWorldPosition(*shape, 1.5f, out));  // evaluated at 0.5
    expectVectorNear(out, {1.5f, 10, 0});

    // Along +x with +y up, also at the very end of the curve.
    for (float t : {0.3f, 1.0f}) {
        Vector3 rotation;
        ASSERT_TRUE(getSplineWorldOrientation(*shape, t, {0, 1, 0}, rotation));
        Matrix4 frame = composeTransform({}, rotation, {1, 1, 1});
        expectVectorNear(frame.getColumn(2), {1, 0, 0}, 1e-4f);
        expectVectorNear(frame.getColumn(1), {0, 1, 0}, 1e-4f);
    }
}

}  // namespace
