#pragma once
// Helpers shared by the scene tests: the log capture, an event recorder and
// matrix comparison.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "CapturingLogSink.h"
#include "base/math/Matrix4.h"
#include "foundation/Entity.h"
#include "foundation/Log.h"

using CapturedLog = testsupport::ScopedLogCapture;

struct RecordedEvent {
    void* source;
    int kind;
    int32_t value1;
    int32_t value2;
};

class EventRecorder : public ActionListener {
public:
    void actionPerformed(void* source, int kind, int32_t v1, int32_t v2) override {
        events.push_back({source, kind, v1, v2});
    }
    std::vector<RecordedEvent> events;
};

inline void expectMatrixNear(const Matrix4& a, const Matrix4& b, float tolerance = 1e-5f) {
    for (int i = 0; i < 16; ++i) {
        EXPECT_NEAR(a.m[i], b.m[i], tolerance) << "element " << i;
    }
}

inline void expectVectorNear(const Vector3& a, const Vector3& b, float tolerance = 1e-5f) {
    EXPECT_NEAR(a.x, b.x, tolerance);
    EXPECT_NEAR(a.y, b.y, tolerance);
    EXPECT_NEAR(a.z, b.z, tolerance);
}

#include <memory>

#include "scene/Geometry.h"

// A mesh over the given positions with one triangle per three consecutive
// positions; `materials` gives each triangle's material index (all 0 when
// empty).
inline std::unique_ptr<MeshData> makeMesh(const std::vector<Vector3>& positions,
                                          const std::vector<int32_t>& materials = {}) {
    auto mesh = std::make_unique<MeshData>();
    mesh->positions = positions;
    for (size_t t = 0; t + 2 < positions.size(); t += 3) {
        MeshTriangle triangle;
        for (int c = 0; c < 3; ++c) {
            triangle.corners[c].position = static_cast<uint32_t>(t + c);
        }
        size_t index = t / 3;
        triangle.material = index < materials.size() ? materials[index] : 0;
        mesh->triangles.push_back(triangle);
    }
    return mesh;
}

// One triangle whose three vertices all follow bone 0 fully.
inline std::unique_ptr<MeshData> skinnedMesh() {
    auto mesh = makeMesh({{-1, 0, 0}, {1, 0, 0}, {0, 1, 0}});
    mesh->skinWeights.assign(3, {1, 0, 0, 0});
    mesh->boneIndices.assign(3, {0, 0, 0, 0});
    return mesh;
}

// Geometry whose bounding sphere is centre `center`, radius `radius`: two
// opposite points on the x axis and one at the centre.
inline IndexedFaceSetGeometry* makeSphereGeometry(const Vector3& center, float radius) {
    return new IndexedFaceSetGeometry(
        "sphere",
        makeMesh({center - Vector3(radius, 0, 0), center + Vector3(radius, 0, 0), center}), 0);
}
