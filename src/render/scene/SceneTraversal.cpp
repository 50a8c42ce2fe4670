#include "render/scene/SceneTraversal.h"

#include <algorithm>
#include <cmath>

#include "render/overlay/DebugDraw.h"
#include "scene/LODTransformGroup.h"
#include "scene/LightSource.h"
#include "scene/SceneChanges.h"
#include "scene/Shape.h"

namespace {

const float kSphereColours[3][4] = {
    {1.0f, 0.2f, 0.2f, 1.0f}, {0.2f, 1.0f, 0.2f, 1.0f}, {0.2f, 0.2f, 1.0f, 1.0f}};

float distanceBetween(const Vector3& a, const Vector3& b) {
    const Vector3 d = a - b;
    return std::sqrt(d.x * d.x + d.y * d.y + d.z * d.z);
}

// False when bounds of this centre and radius are culled: outside the
// frustum (BoundingSphere::intersectsFrustum, here where the flat walk's
// loop can have it inline), or their nearest point at or beyond the clip
// distance.
bool withinView(const Vector3& center, float radius, float distance,
                const TraversalSettings& settings) {
    for (const float* p : settings.frustum) {
        if (p[0] * center.x + p[1] * center.y + p[2] * center.z + p[3] <= -radius) {
            return false;
        }
    }
    return distance - radius < settings.clipDistance;
}

// The same for a node, whose own or the global cull override, or empty
// bounds, let it pass.
bool passesCulling(const ScenegraphNode& node, const BoundingSphere& bounds, float distance,
                   const TraversalSettings& settings) {
    return settings.cullOverride || node.getCullOverride() || bounds.isEmpty() ||
           withinView(bounds.getCenter(), bounds.getRadius(), distance, settings);
}

// Whether a shape that passed culling is handed to the sink: drawn, within
// its own clip distance, and a shadow caster where only those are taken.
bool takesShape(bool notRendered, bool castsShadows, float clipDistance, float distance,
                float radius, const TraversalSettings& settings) {
    return !notRendered && distance - radius < clipDistance * settings.viewDistanceCoeff &&
           (!settings.shadowCastersOnly || castsShadows);
}

}  // namespace

void frustumPlanesFromMatrix(const Matrix4& m, float planes[6][4]) {
    // Rows of the column-major matrix.
    auto row = [&m](int r, float* out) {
        out[0] = m[r];
        out[1] = m[4 + r];
        out[2] = m[8 + r];
        out[3] = m[12 + r];
    };
    float r[4][4];
    for (int i = 0; i < 4; ++i) {
        row(i, r[i]);
    }
    for (int p = 0; p < 6; ++p) {
        const int axis = p / 2;
        const float sign = (p % 2 == 0) ? 1.0f : -1.0f;
        float length = 0.0f;
        for (int c = 0; c < 4; ++c) {
            planes[p][c] = r[3][c] + sign * r[axis][c];
        }
        length = std::sqrt(planes[p][0] * planes[p][0] + planes[p][1] * planes[p][1] +
                           planes[p][2] * planes[p][2]);
        if (length > 0.0f) {
            for (float& c : planes[p]) {
                c /= length;
            }
        }
    }
}

size_t chooseLodChild(const std::array<float, 8>& distances, size_t numChildren, float distance) {
    if (numChildren == 0) {
        return 0;
    }
    size_t chosen = numChildren - 1;
    for (size_t i = 1; i < distances.size(); ++i) {
        if (distance < distances[i]) {
            chosen = i - 1;
            break;
        }
    }
    return std::min(chosen, numChildren - 1);
}

void SceneTraversal::pushChildren(Node& node, const TraversalSettings& settings, bool lightsOnly) {
    const std::vector<Node*>& children = node.getChildren();
    auto visible = [lightsOnly](Node* child) {
        return child->hasKind(EntityKind::RawTransformGroup) &&
               static_cast<ScenegraphNode*>(child)->getVisibility() &&
               (!lightsOnly || child->getSubtreeLightCount() != 0);
    };
    if (node.hasKind(EntityKind::LODTransformGroup) && !children.empty()) {
        auto& lod = static_cast<LODTransformGroup&>(node);
        const float distance =
            distanceBetween(lod.getWorldMatrix().getTranslation(), settings.cameraPosition);
        Node* child = children[chooseLodChild(lod.getDistances(), children.size(), distance)];
        if (visible(child)) {
            m_stack.push_back(child);
        }
        return;
    }
    for (auto it = children.rbegin(); it != children.rend(); ++it) {
        if (visible(*it)) {
            m_stack.push_back(*it);
        }
    }
}

void SceneTraversal::collectLights(Node* root, const TraversalSettings& settings,
                                   ITraversalSink& sink) {
    m_stack.clear();
    if (root == nullptr || !root->hasKind(EntityKind::RawTransformGroup) ||
        root->getSubtreeLightCount() == 0) {
        return;
    }
    m_stack.push_back(root);
    while (!m_stack.empty()) {
        auto* node = static_cast<RawTransformGroup*>(m_stack.back());
        m_stack.pop_back();
        const BoundingSphere& bounds = node->getWorldBounds(1);
        const float distance = distanceBetween(bounds.getCenter(), settings.cameraPosition);
        if (!passesCulling(*node, bounds, distance, settings)) {
            continue;
        }
        if (node->hasKind(EntityKind::LightSource)) {
            auto* light = static_cast<LightSource*>(node);
            if (light->getLightFlags() & LightSource::kCollected) {
                const Matrix4& world = light->getWorldMatrix();
                sink.addLight(*light, world, distance);
                if (settings.debug != nullptr) {
                    settings.debug->addLightSymbol(world.getTranslation(), -world.getColumn(2),
                                                   std::max(light->getRange(), 0.0f),
                                                   light->getConeAngle(), light->getType());
                }
            }
        }
        pushChildren(*node, settings, true);
    }
}

TraversalCounts SceneTraversal::collectShapes(Node* root, const TraversalSettings& settings,
                                              ITraversalSink& sink) {
    TraversalCounts counts;
    if (root == nullptr || !root->hasKind(EntityKind::RawTransformGroup)) {
        return counts;
    }
    walkShapes(*static_cast<RawTransformGroup*>(root), settings, sink, counts);
    return counts;
}

void SceneTraversal::walkShapes(RawTransformGroup& start, const TraversalSettings& settings,
                                ITraversalSink& sink, TraversalCounts& counts) {
    m_stack.clear();
    m_stack.push_back(&start);
    while (!m_stack.empty()) {
        auto* node = static_cast<RawTransformGroup*>(m_stack.back());
        m_stack.pop_back();
        if ((node->getObjectMask() & settings.objectMask) == 0) {
            continue;
        }
        const BoundingSphere& bounds = node->getWorldBounds(0);
        const float distance = distanceBetween(bounds.getCenter(), settings.cameraPosition);
        if (!passesCulling(*node, bounds, distance, settings)) {
            continue;
        }
        // Listeners (particle systems, foliage) update what they draw on the
        // event, so the shape is taken after they did.
        node->sendRenderEvent(settings.rendererFlag);
        if (node->hasKind(EntityKind::Shape)) {
            auto* shape = static_cast<Shape*>(node);
            if (settings.debug != nullptr && !bounds.isEmpty()) {
                settings.debug->addSphere(bounds.getCenter(), bounds.getRadius(), kSphereColours[0],
                                          kSphereColours[1], kSphereColours[2],
                                          DebugDrawLists::kBoundingSpheres);
            }
            const uint32_t shapeFlags = shape->getShapeFlags();
            if (takesShape((shapeFlags & Shape::kNotRendered) != 0,
                           (shapeFlags & Shape::kCastsShadows) != 0, shape->getClipDistance(),
                           distance, bounds.getRadius(), settings)) {
                ++counts.objects;
                RenderAttachment* object = nullptr;
                sink.addVisibleShape(*shape, shape->getWorldMatrix(), bounds, distance, object);
            }
        }
        pushChildren(*node, settings, false);
    }
}

void SceneTraversal::refreshFlatEntry(uint32_t index) {
    FlatEntry& entry = m_flat[index];
    const BoundingSphere& bounds = entry.node->getWorldBounds(0);
    entry.center = bounds.getCenter();
    entry.radius = bounds.getRadius();
    entry.flags =
        bounds.isEmpty() ? (entry.flags | FlatEntry::kEmpty) : (entry.flags & ~FlatEntry::kEmpty);
    m_flatWorlds[index] = entry.node->getWorldMatrix();
    // A shape moves with its LOD groups, if they moved.
    for (uint32_t lod = entry.lodParent; lod != FlatEntry::kNone; lod = m_flat[lod].lodParent) {
        m_flat[lod].center = m_flat[lod].node->getWorldMatrix().getTranslation();
    }
}

void SceneTraversal::buildFlatList(RawTransformGroup& root, uint32_t objectMask) {
    m_flat.clear();
    m_flatWorlds.clear();
    m_flatIndex.clear();
    m_lodDistances.clear();
    m_flatMoves = scenechanges::movedCount();
    // The same order as the walk: depth first, children in list order.
    m_buildStack.clear();
    m_buildStack.push_back({&root, FlatEntry::kNone, 0});
    while (!m_buildStack.empty()) {
        BuildItem item = m_buildStack.back();
        m_buildStack.pop_back();
        RawTransformGroup* node = item.node;
        if ((node->getObjectMask() & objectMask) == 0) {
            continue;
        }
        const bool live = node->hasRenderListeners();
        const bool lod = !live && node->hasKind(EntityKind::LODTransformGroup);
        const auto index = static_cast<uint32_t>(m_flat.size());
        if (live || lod || node->hasKind(EntityKind::Shape)) {
            FlatEntry& entry = m_flat.emplace_back();
            m_flatWorlds.emplace_back();
            entry.node = node;
            entry.flags = node->getCullOverride() ? FlatEntry::kCullOverride : 0;
            entry.lodParent = item.lodParent;
            entry.lodChild = item.lodChild;
            if (live) {
                entry.flags |= FlatEntry::kLive;
                continue;
            }
            if (lod) {
                entry.flags |= FlatEntry::kLod;
                entry.lodSlot = static_cast<uint32_t>(m_lodDistances.size());
                entry.lodChildren = static_cast<uint32_t>(node->getNumChildren());
                entry.center = node->getWorldMatrix().getTranslation();
                m_lodDistances.push_back(static_cast<LODTransformGroup*>(node)->getDistances());
            } else {
                auto* shape = static_cast<Shape*>(node);
                const uint32_t shapeFlags = shape->getShapeFlags();
                if (shapeFlags & Shape::kNotRendered) {
                    entry.flags |= FlatEntry::kNotRendered;
                }
                if (shapeFlags & Shape::kCastsShadows) {
                    entry.flags |= FlatEntry::kCastsShadows;
                }
                entry.clipDistance = shape->getClipDistance();
                refreshFlatEntry(index);
                m_flatIndex.emplace(node, index);
            }
        }
        const std::vector<Node*>& children = node->getChildren();
        for (size_t i = children.size(); i-- > 0;) {
            Node* child = children[i];
            if (child->hasKind(EntityKind::RawTransformGroup) &&
                static_cast<ScenegraphNode*>(child)->getVisibility()) {
                m_buildStack.push_back({static_cast<RawTransformGroup*>(child),
                                        lod ? index : item.lodParent,
                                        lod ? static_cast<uint32_t>(i) : item.lodChild});
            }
        }
    }
}

void SceneTraversal::refreshMovedShapes() {
    const uint64_t moves = scenechanges::movedCount();
    if (moves - m_flatMoves > scenechanges::kMovedLogSize / 2) {
        // Many moves: every copy is refreshed, cheaper than looking each up.
        for (size_t i = 0; i < m_flat.size(); ++i) {
            if (!(m_flat[i].flags & (FlatEntry::kLive | FlatEntry::kLod))) {
                refreshFlatEntry(static_cast<uint32_t>(i));
            }
        }
    } else {
        for (uint64_t i = m_flatMoves; i < moves; ++i) {
            auto found = m_flatIndex.find(scenechanges::movedShape(i));
            if (found != m_flatIndex.end()) {
                refreshFlatEntry(found->second);
            }
        }
    }
    // Reading the bounds logs nothing, so every move up to here is applied.
    m_flatMoves = moves;
}

TraversalCounts SceneTraversal::collectShapesFlat(Node* root, const TraversalSettings& settings,
                                                  ITraversalSink& sink) {
    if (settings.debug != nullptr) {
        return collectShapes(root, settings, sink);
    }
    TraversalCounts counts;
    if (root == nullptr || !root->hasKind(EntityKind::RawTransformGroup)) {
        return counts;
    }
    auto& top = *static_cast<RawTransformGroup*>(root);
    if (m_flatRoot != root || m_flatMask != settings.objectMask ||
        m_flatStructure != scenechanges::structure()) {
        m_flatRoot = root;
        m_flatMask = settings.objectMask;
        m_flatStructure = scenechanges::structure();
        buildFlatList(top, settings.objectMask);
    } else if (scenechanges::movedCount() != m_flatMoves) {
        refreshMovedShapes();
    }
    if (m_flatObjects != scenechanges::renderObjects()) {
        m_flatObjects = scenechanges::renderObjects();
        for (FlatEntry& entry : m_flat) {
            entry.object = nullptr;
        }
    }
    const bool overrideAll = settings.cullOverride;
    for (size_t i = 0; i < m_flat.size(); ++i) {
        FlatEntry& entry = m_flat[i];
        // What the sink left for a shape a few entries ahead is fetched
        // meanwhile (a visit reads its first three cache lines).
        if (i + kPrefetchAhead < m_flat.size()) {
            if (const auto* ahead =
                    reinterpret_cast<const char*>(m_flat[i + kPrefetchAhead].object)) {
                __builtin_prefetch(ahead);
                __builtin_prefetch(ahead + 64);
                __builtin_prefetch(ahead + 128);
            }
        }
        if (!chosenByLods(entry)) {
            if (entry.flags & FlatEntry::kLod) {
                entry.chosen = FlatEntry::kNone;
            }
            continue;
        }
        if (entry.flags & FlatEntry::kLod) {
            // The walk's choice: by the distance from the group's origin.
            const float distance = distanceBetween(entry.center, settings.cameraPosition);
            entry.chosen = entry.lodChildren == 0
                               ? FlatEntry::kNone
                               : static_cast<uint32_t>(chooseLodChild(m_lodDistances[entry.lodSlot],
                                                                      entry.lodChildren, distance));
            continue;
        }
        if (entry.flags & FlatEntry::kLive) {
            // Its render events may change its own subtree (foliage cells
            // come and go); the list is then made again on the next call.
            // Shapes a listener moved get their copies refreshed.
            walkShapes(*entry.node, settings, sink, counts);
            if (scenechanges::movedCount() != m_flatMoves) {
                refreshMovedShapes();
            }
            continue;
        }
        const float distance = distanceBetween(entry.center, settings.cameraPosition);
        if (!overrideAll && !(entry.flags & (FlatEntry::kCullOverride | FlatEntry::kEmpty)) &&
            !withinView(entry.center, entry.radius, distance, settings)) {
            continue;
        }
        if (takesShape((entry.flags & FlatEntry::kNotRendered) != 0,
                       (entry.flags & FlatEntry::kCastsShadows) != 0, entry.clipDistance, distance,
                       entry.radius, settings)) {
            ++counts.objects;
            // A render event may have dropped render objects during this
            // walk: the entries' ones are then not handed on.
            if (m_flatObjects != scenechanges::renderObjects()) {
                entry.object = nullptr;
            }
            BoundingSphere bounds(entry.center, entry.radius);
            bounds.setEmpty((entry.flags & FlatEntry::kEmpty) != 0);
            sink.addVisibleShape(*static_cast<Shape*>(entry.node), m_flatWorlds[i], bounds,
                                 distance, entry.object);
        }
    }
    return counts;
}
