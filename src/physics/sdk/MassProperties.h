#pragma once
// Mass properties of solids, computed by the engine itself so that bodies
// weigh the same whatever simulation library steps them: the volume
// integrals of closed triangle meshes (convex hulls), moving them into an
// actor's frame, summing the parts of a compound and the principal axes of
// the result.

#include <cstddef>
#include <cstdint>

#include "physics/sdk/PhysicsSdkTypes.h"

// Mass (= volume at density 1), centre and inertia about the centre of the
// closed mesh; triangles may wind either way as long as all wind alike.
// A mesh without volume gives mass 0.
PhysicsMassProperties computeMeshMassProperties(const float* vertices, size_t vertexCount,
                                                const uint32_t* indices, size_t indexCount);

// The same solid at another density.
PhysicsMassProperties scaleMassProperties(const PhysicsMassProperties& props, float factor);

// The solid placed with the rigid pose: centre moved, tensor rotated.
PhysicsMassProperties transformMassProperties(const PhysicsMassProperties& props,
                                              const Matrix4& pose);

// Accumulates parts given in one frame: masses add, the centre is the
// weighted mean, tensors are moved to the common centre (parallel axes).
class MassPropertiesSum {
public:
    void add(const PhysicsMassProperties& part);
    // Mass 0 when nothing with mass was added.
    PhysicsMassProperties result() const;

private:
    double m_mass = 0.0;
    double m_moment[3] = {0, 0, 0};
    // Second moments about the origin (row-major).
    double m_second[9] = {0, 0, 0, 0, 0, 0, 0, 0, 0};
};

// Principal moments of the tensor and the rotation (columns = axes, a proper
// rotation) that turns the diagonal tensor into the given one.
void diagonalizeInertia(const float inertia[9], Vector3& principal, Matrix4& axes);
