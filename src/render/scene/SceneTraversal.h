#pragma once
// The two walks of the scene graph a renderer makes each frame: the light
// walk collects the lights whose influence reaches into the view, the shape
// walk the visible shapes. Both cull whole subtrees against the view frustum
// and the clip distances and visit one child of each level-of-detail group;
// the shape walk also skips subtrees outside the renderer's object mask and
// sends each visited node's render event.

#include <array>
#include <cstdint>
#include <vector>

#include "base/math/Matrix4.h"

class BoundingSphere;
class DebugDrawLists;
class LightSource;
class Node;
class Shape;

// Frustum planes (a, b, c, d) with a·x + b·y + c·z + d the signed distance,
// inside positive, normalised: left, right, bottom, top, near, far.
void frustumPlanesFromMatrix(const Matrix4& viewProjection, float planes[6][4]);

// The child an LOD group with `numChildren` children shows at `distance`:
// the first i in 1..7 with distance < distances[i] chooses child i − 1,
// else the last child.
size_t chooseLodChild(const std::array<float, 8>& distances, size_t numChildren, float distance);

// Receives what the walks find.
class ITraversalSink {
public:
    virtual ~ITraversalSink() = default;
    virtual void addLight(LightSource& light, const Matrix4& world, float distance) = 0;
    // `bounds`: the shape's world bounds (kind 0); `distance`: from their
    // centre to the camera.
    virtual void addVisibleShape(Shape& shape, const Matrix4& world, const BoundingSphere& bounds,
                                 float distance) = 0;
};

struct TraversalSettings {
    Vector3 cameraPosition;
    float frustum[6][4] = {};
    // Nodes whose object mask shares no bit with it are hidden from the
    // shape walk.
    uint32_t objectMask = 0xFFFFFFFFu;
    bool cullOverride = false;
    float clipDistance = 0.0f;
    float viewDistanceCoeff = 1.0f;
    // The flag sent with each render event.
    int32_t rendererFlag = 0;
    bool shadowCastersOnly = false;
    // Where debug spheres and light symbols go (none: no debug drawing).
    DebugDrawLists* debug = nullptr;
};

struct TraversalCounts {
    // Shapes handed to the sink.
    uint32_t objects = 0;
};

class SceneTraversal {
public:
    void collectLights(Node* root, const TraversalSettings& settings, ITraversalSink& sink);
    TraversalCounts collectShapes(Node* root, const TraversalSettings& settings,
                                  ITraversalSink& sink);

private:
    // Pushes the children to visit, last first, so they pop in list order;
    // `lightsOnly` leaves out children without lights in their subtree.
    void pushChildren(Node& node, const TraversalSettings& settings, bool lightsOnly);

    // Nodes still to visit; kept between frames so a walk allocates nothing.
    std::vector<Node*> m_stack;
};
