#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "SceneTestUtil.h"
#include "scene/BoundingSphere.h"

namespace {

struct MergeCase {
    const char* label;
    BoundingSphere target;
    BoundingSphere other;
    Vector3 expectedCenter;
    float expectedRadius;
};

TEST(BoundingSphereTest, MergeCases) {
    const MergeCase cases[] = {
        {"point into reset sphere", BoundingSphere(), BoundingSphere({5, 0, 0}, 0), {5, 0, 0}, 0},
        {"into reset sphere", BoundingSphere(), BoundingSphere({1, 2, 3}, 2), {1, 2, 3}, 2},
        {"disjoint unit spheres",
         BoundingSphere({0, 0, 0}, 1),
         BoundingSphere({4, 0, 0}, 1),
         {2, 0, 0},
         3},
        {"unequal overlapping",
         BoundingSphere({0, 0, 0}, 2),
         BoundingSphere({3, 0, 0}, 1),
         {1, 0, 0},
         3},
        {"other inside", BoundingSphere({0, 0, 0}, 5), BoundingSphere({1, 1, 0}, 1), {0, 0, 0}, 5},
        {"this inside other",
         BoundingSphere({1, 0, 0}, 1),
         BoundingSphere({0, 0, 0}, 5),
         {0, 0, 0},
         5},
    };
    for (const MergeCase& c : cases) {
        SCOPED_TRACE(c.label);
        BoundingSphere s = c.target;
        s.merge(c.other, Matrix4::identity());
        expectVectorNear(s.getCenter(), c.expectedCenter);
        EXPECT_NEAR(s.getRadius(), c.expectedRadius, 1e-5f);
    }
}

TEST(BoundingSphereTest, MergeTransformsOtherAndIgnoresEmpty) {
    BoundingSphere s({0, 0, 0}, 1);
    BoundingSphere other({1, 0, 0}, 1);
    // Scale 3 on y only: the radius grows by the longest column.
    s.merge(other, Matrix4::translation({10, 0, 0}) * Matrix4::scaling({1, 3, 1}));
    // other becomes centre (11, 0, 0), radius 3: the result spans -1 to 14.
    EXPECT_NEAR(s.getRadius(), 7.5f, 1e-5f);
    expectVectorNear(s.getCenter(), {6.5f, 0, 0});

    BoundingSphere empty({100, 0, 0}, 50);
    empty.setEmpty(true);
    s.merge(empty, Matrix4::identity());
    EXPECT_NEAR(s.getRadius(), 7.5f, 1e-5f);
    BoundingSphere copy({1, 1, 1}, 1);
    copy.set(empty);
    EXPECT_EQ(copy.getRadius(), 1.0f);
    EXPECT_FALSE(copy.intersects(empty));
}

TEST(BoundingSphereTest, RayAndOverlapTests) {
    BoundingSphere s({0, 0, -10}, 2);
    float distance = 0;
    EXPECT_TRUE(s.hitByRay({0, 0, 0}, {0, 0, -1}));
    ASSERT_TRUE(s.rayDistance({0, 0, 0}, {0, 0, -1}, distance));
    EXPECT_NEAR(distance, 8.0f, 1e-5f);
    EXPECT_TRUE(s.hitByRay({2, 0, 0}, {0, 0, -1}));  // grazing
    EXPECT_FALSE(s.hitByRay({2.01f, 0, 0}, {0, 0, -1}));
    EXPECT_FALSE(s.rayDistance({0, 3, 0}, {0, 0, -1}, distance));

    EXPECT_TRUE(s.containsPoint({0, 2, -10}));
    EXPECT_FALSE(s.containsPoint({0, 2.01f, -10}));
    EXPECT_TRUE(s.intersects(BoundingSphere({0, 5, -10}, 3)));
    EXPECT_FALSE(s.intersects(BoundingSphere({0, 5.1f, -10}, 3)));

    // An axis-aligned box |x|, |y|, |z| <= 1 as six inward planes.
    const float box[6][4] = {{1, 0, 0, 1},  {-1, 0, 0, 1}, {0, 1, 0, 1},
                             {0, -1, 0, 1}, {0, 0, 1, 1},  {0, 0, -1, 1}};
    EXPECT_TRUE(BoundingSphere({0, 0, 0}, 0.1f).intersectsFrustum(box));
    EXPECT_TRUE(BoundingSphere({1.5f, 0, 0}, 0.6f).intersectsFrustum(box));
    EXPECT_FALSE(BoundingSphere({1.5f, 0, 0}, 0.5f).intersectsFrustum(box));
}

TEST(BoundingSphereTest, TransformScalesRadiusByLongestColumn) {
    BoundingSphere s({1, 0, 0}, 2);
    s.transform(Matrix4::translation({0, 5, 0}) * Matrix4::scaling({1, 1, 4}));
    expectVectorNear(s.getCenter(), {1, 5, 0});
    EXPECT_FLOAT_EQ(s.getRadius(), 8.0f);
}

// Smallest sphere through the given boundary points (1 to 4 of them), in
// double precision; false when they are degenerate.
bool sphereThrough(const std::vector<Vector3>& pts, double c[3], double& r2) {
    const size_t n = pts.size();
    double p0[3] = {pts[0].x, pts[0].y, pts[0].z};
    if (n == 1) {
        c[0] = p0[0], c[1] = p0[1], c[2] = p0[2];
        r2 = 0;
        return true;
    }
    // Centre = p0 + sum of lambda_i * (p_i - p0), with |c - p_i| = |c - p0|.
    double v[3][3];
    for (size_t i = 1; i < n; ++i) {
        v[i - 1][0] = pts[i].x - p0[0];
        v[i - 1][1] = pts[i].y - p0[1];
        v[i - 1][2] = pts[i].z - p0[2];
    }
    const size_t m = n - 1;
    double a[3][4] = {};
    for (size_t i = 0; i < m; ++i) {
        for (size_t j = 0; j < m; ++j) {
            a[i][j] = 2 * (v[i][0] * v[j][0] + v[i][1] * v[j][1] + v[i][2] * v[j][2]);
        }
        a[i][m] = v[i][0] * v[i][0] + v[i][1] * v[i][1] + v[i][2] * v[i][2];
    }
    for (size_t col = 0; col < m; ++col) {
        size_t pivot = col;
        for (size_t row = col + 1; row < m; ++row) {
            if (std::fabs(a[row][col]) > std::fabs(a[pivot][col])) {
                pivot = row;
            }
        }
        if (std::fabs(a[pivot][col]) < 1e-12) {
            return false;
        }
        std::swap(a[col], a[pivot]);
        for (size_t row = 0; row < m; ++row) {
            if (row != col) {
                double f = a[row][col] / a[col][col];
                for (size_t k = col; k <= m; ++k) {
                    a[row][k] -= f * a[col][k];
                }
            }
        }
    }
    for (int k = 0; k < 3; ++k) {
        c[k] = p0[k];
    }
    for (size_t i = 0; i < m; ++i) {
        double lambda = a[i][m] / a[i][i];
        for (int k = 0; k < 3; ++k) {
            c[k] += lambda * v[i][k];
        }
    }
    r2 = 0;
    for (int k = 0; k < 3; ++k) {
        r2 += (c[k] - p0[k]) * (c[k] - p0[k]);
    }
    return true;
}

// The smallest enclosing sphere by trying every set of up to four points.
double bruteForceRadius(const std::vector<Vector3>& points) {
    double best = 1e30;
    const size_t n = points.size();
    std::vector<Vector3> subset;
    auto consider = [&]() {
        double c[3], r2;
        if (!sphereThrough(subset, c, r2)) {
            return;
        }
        for (const Vector3& p : points) {
            double d = 0;
            for (int k = 0; k < 3; ++k) {
                d += (p[k] - c[k]) * (p[k] - c[k]);
            }
            if (d > r2 * (1 + 1e-9) + 1e-12) {
                return;
            }
        }
        best = std::min(best, std::sqrt(r2));
    };
    for (size_t i = 0; i < n; ++i) {
        for (size_t j = i; j < n; ++j) {
            for (size_t k = j; k < n; ++k) {
                for (size_t l = k; l < n; ++l) {
                    subset.clear();
                    subset.push_back(points[i]);
                    if (j != i)
                        subset.push_back(points[j]);
                    if (k != j)
                        subset.push_back(points[k]);
                    if (l != k)
                        subset.push_back(points[l]);
                    consider();
                }
            }
        }
    }
    return best;
}

TEST(SmallestEnclosingSphereTest, MatchesBruteForceOnRandomSets) {
    std::mt19937 rng(1234);
    std::uniform_real_distribution<float> coord(-10.0f, 10.0f);
    for (int round = 0; round < 60; ++round) {
        size_t count = 2 + static_cast<size_t>(round % 11);
        std::vector<Vector3> points(count);
        for (Vector3& p : points) {
            p = {coord(rng), coord(rng), round % 5 == 0 ? 0.0f : coord(rng)};  // some planar
        }
        BoundingSphere s;
        s.setFromPoints(&points[0].x, points.size());
        ASSERT_FALSE(s.isEmpty());
        double expected = bruteForceRadius(points);
        EXPECT_NEAR(s.getRadius(), expected, 1e-4 * (1 + expected)) << "round " << round;
        for (const Vector3& p : points) {
            EXPECT_LE(length(p - s.getCenter()), s.getRadius() * (1 + 1e-5f) + 1e-5f);
        }
    }
}

TEST(SmallestEnclosingSphereTest, SpecialSets) {
    BoundingSphere none;
    none.setFromPoints(nullptr, 0);
    EXPECT_TRUE(none.isEmpty());

    Vector3 single[] = {{3, 4, 5}};
    BoundingSphere one;
    one.setEmpty(true);
    one.setFromPoints(&single[0].x, 1);
    EXPECT_FALSE(one.isEmpty());
    expectVectorNear(one.getCenter(), {3, 4, 5});
    EXPECT_EQ(one.getRadius(), 0.0f);

    // Repeated and collinear points, read with a stride of 5 floats.
    std::vector<float> strided;
    for (float x : {0.0f, 2.0f, 2.0f, 10.0f, 4.0f, 0.0f}) {
        strided.insert(strided.end(), {x, 1.0f, 1.0f, 99.0f, -99.0f});
    }
    BoundingSphere line;
    line.setFromPoints(strided.data(), 6, 5);
    expectVectorNear(line.getCenter(), {5, 1, 1});
    EXPECT_NEAR(line.getRadius(), 5.0f, 1e-5f);

    // Cube corners: the sphere through all eight.
    std::vector<Vector3> cube;
    for (int i = 0; i < 8; ++i) {
        cube.push_back({i & 1 ? 1.0f : -1.0f, i & 2 ? 1.0f : -1.0f, i & 4 ? 1.0f : -1.0f});
    }
    BoundingSphere box;
    box.setFromPoints(&cube[0].x, cube.size());
    expectVectorNear(box.getCenter(), {0, 0, 0});
    EXPECT_NEAR(box.getRadius(), std::sqrt(3.0f), 1e-5f);
}

}  // namespace
