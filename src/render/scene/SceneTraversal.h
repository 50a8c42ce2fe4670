#pragma once
// The two walks of the scene graph a renderer makes each frame: the light
// walk collects the lights whose influence reaches into the view, the shape
// walk the visible shapes. Both cull whole subtrees against the view frustum
// and the clip distances and visit one child of each level-of-detail group;
// the shape walk also skips subtrees outside the renderer's object mask and
// sends each visited node's render event.

#include <array>
#include <cstdint>
#include <unordered_map>
#include <vector>

#include "base/math/Matrix4.h"
#include "scene/BoundingSphere.h"

class DebugDrawLists;
class RenderAttachment;
class LightSource;
class Node;
class RawTransformGroup;
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
    // centre to the camera. `object`: the shape's render object as the sink
    // left it at the last visit, while no render object was dropped or
    // replaced since (else null); the sink leaves the one it used.
    virtual void addVisibleShape(Shape& shape, const Matrix4& world, const BoundingSphere& bounds,
                                 float distance, RenderAttachment*& object) = 0;
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
    // The shape walk over a flat list of the tree's shapes kept between
    // calls: the same sink calls in the same order and the same render events
    // as collectShapes, with culling run over the list's copies of the
    // shapes' bounds. The list is made again when the scene's structure, the
    // root or the object mask changed; shapes that moved get their copies
    // refreshed. An LOD group's entry chooses its child each call, and the
    // entries below it count only under the chosen child. Subtrees of nodes
    // with render listeners (which may change their subtree while the walk
    // runs) are walked as collectShapes does. A bounding sphere of a group
    // contains those of its children, so culling each shape alone passes
    // the same shapes as culling their groups first. Debug drawing takes
    // collectShapes.
    TraversalCounts collectShapesFlat(Node* root, const TraversalSettings& settings,
                                      ITraversalSink& sink);

private:
    static constexpr size_t kPrefetchAhead = 8;
    // A shape of the flat list, an LOD group (kLod), or the root of a
    // subtree walked as collectShapes does (kLive).
    struct FlatEntry {
        static constexpr uint32_t kLive = 0x1;
        static constexpr uint32_t kCullOverride = 0x2;
        static constexpr uint32_t kNotRendered = 0x4;
        static constexpr uint32_t kCastsShadows = 0x8;
        static constexpr uint32_t kLod = 0x10;
        // The bounds are empty.
        static constexpr uint32_t kEmpty = 0x20;
        static constexpr uint32_t kNone = 0xFFFFFFFFu;
        // A shape's world bounds; an LOD group's origin in the world.
        Vector3 center;
        float radius = 0.0f;
        RawTransformGroup* node = nullptr;
        // What the sink left for the shape (see addVisibleShape).
        RenderAttachment* object = nullptr;
        float clipDistance = 0.0f;
        uint32_t flags = 0;
        // The entry of the nearest LOD group above (kNone: none) and the
        // index of its child the entry lies under.
        uint32_t lodParent = kNone;
        uint32_t lodChild = 0;
        // An LOD group's: where its distances are in m_lodDistances, its
        // number of children, and the child it chose this call (kNone: it
        // lies under a child its own LOD group did not choose).
        uint32_t lodSlot = 0;
        uint32_t lodChildren = 0;
        uint32_t chosen = kNone;
    };
    void buildFlatList(RawTransformGroup& root, uint32_t objectMask);
    // Refreshes the shape entry's copies and the origins of the LOD groups
    // above it.
    void refreshFlatEntry(uint32_t index);
    // Whether the entry lies under the chosen children of its LOD groups.
    bool chosenByLods(const FlatEntry& entry) const {
        return entry.lodParent == FlatEntry::kNone ||
               m_flat[entry.lodParent].chosen == entry.lodChild;
    }
    // Brings the copies of moved shapes up to date.
    void refreshMovedShapes();
    // The walk of collectShapes from `start` on, adding to `counts`.
    void walkShapes(RawTransformGroup& start, const TraversalSettings& settings,
                    ITraversalSink& sink, TraversalCounts& counts);

    // Pushes the children to visit, last first, so they pop in list order;
    // `lightsOnly` leaves out children without lights in their subtree.
    void pushChildren(Node& node, const TraversalSettings& settings, bool lightsOnly);

    // Nodes still to visit; kept between frames so a walk allocates nothing.
    std::vector<Node*> m_stack;

    // The flat list, the index of each shape entry by node, and what the
    // list was made from.
    // The entries hold what culling reads; the world matrices of visible
    // shapes are apart, by the same index.
    std::vector<FlatEntry> m_flat;
    std::vector<Matrix4> m_flatWorlds;
    std::unordered_map<const Node*, uint32_t> m_flatIndex;
    std::vector<std::array<float, 8>> m_lodDistances;
    // The list being made: nodes with their LOD group entry and child.
    struct BuildItem {
        RawTransformGroup* node;
        uint32_t lodParent;
        uint32_t lodChild;
    };
    std::vector<BuildItem> m_buildStack;
    const Node* m_flatRoot = nullptr;
    uint32_t m_flatMask = 0;
    uint64_t m_flatStructure = 0;
    // Moves of the scene's move log already applied to the list.
    uint64_t m_flatMoves = 0;
    // The render object count the entries' objects were left at.
    uint64_t m_flatObjects = 0;
};
