#pragma once
// Emitter meshes and camera views for the effects tests.

#include <memory>
#include <vector>

#include "effects/EffectGeometry.h"
#include "scene/Geometry.h"

namespace effectstest {

struct TriangleSpec {
    Vector3 corners[3];
};

// A mesh of the given triangles; with `normal` every corner carries it.
inline RefPtr<Geometry> makeEmitter(const std::vector<TriangleSpec>& triangles,
                                    const Vector3* normal = nullptr) {
    auto mesh = std::make_unique<MeshData>();
    for (const TriangleSpec& spec : triangles) {
        MeshTriangle triangle;
        for (int c = 0; c < 3; ++c) {
            triangle.corners[c].position = static_cast<uint32_t>(mesh->positions.size());
            mesh->positions.push_back(spec.corners[c]);
            if (normal != nullptr) {
                triangle.corners[c].normal[0] = normal->x;
                triangle.corners[c].normal[1] = normal->y;
                triangle.corners[c].normal[2] = normal->z;
            }
        }
        triangle.attributes = normal != nullptr ? VertexAttribute::Normal : 0;
        mesh->triangles.push_back(triangle);
    }
    return RefPtr<Geometry>(new IndexedFaceSetGeometry("emitter", std::move(mesh), 0));
}

// A triangle in the plane y = 0 facing +y with the given area.
inline TriangleSpec flatTriangle(float x, float area) {
    return {{{x, 0, 0}, {x, 0, area}, {x + 2, 0, 0}}};
}

// The camera at `position` looking down -z with y up.
inline EffectView viewFrom(const Vector3& position) {
    EffectView view;
    view.position = position;
    return view;
}

}  // namespace effectstest
