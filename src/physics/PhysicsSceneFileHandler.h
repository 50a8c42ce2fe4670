#pragma once
// Turns the physics attributes the scene loader reads into physics
// descriptions of the loaded nodes, and hands a loaded scene to the physics
// world before its "onCreate" functions run.

#include "scene/i3d/I3DSections.h"

class PhysicsSceneFileHandler : public I3DPhysicsHandler {
public:
    void setRigidBody(RawTransformGroup& node, const I3DRigidBodyDesc& desc) override;
    // The node's physics becomes its joint, made with the scene's bodies.
    void setJoint(RawTransformGroup& node, const I3DJointDesc& desc) override;
    void registerSubtree(TransformGroup& root) override;
};
