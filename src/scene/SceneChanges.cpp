#include "scene/SceneChanges.h"

#include <array>
#include <atomic>

#include "scene/Node.h"

namespace scenechanges {

namespace {

// The scene is changed from the main thread only; the counters are atomic
// so that a stray change elsewhere cannot tear them.
std::atomic<uint64_t> s_structure{1};
std::atomic<uint64_t> s_renderObjects{1};
std::atomic<uint64_t> s_moved{0};
std::array<const Node*, kMovedLogSize> s_movedLog{};

}  // namespace

uint64_t structure() {
    return s_structure.load(std::memory_order_relaxed);
}

void structureChanged(const Node* below) {
    for (const Node* node = below; node != nullptr; node = node->getParent()) {
        if (node->hasKind(EntityKind::ScenegraphNode) &&
            static_cast<const ScenegraphNode*>(node)->hasRenderListeners()) {
            return;
        }
    }
    s_structure.fetch_add(1, std::memory_order_relaxed);
}

void shapeMoved(const Node* shape) {
    const uint64_t index = s_moved.load(std::memory_order_relaxed);
    s_movedLog[index % kMovedLogSize] = shape;
    s_moved.store(index + 1, std::memory_order_relaxed);
}

uint64_t renderObjects() {
    return s_renderObjects.load(std::memory_order_relaxed);
}

void renderObjectsChanged() {
    s_renderObjects.fetch_add(1, std::memory_order_relaxed);
}

uint64_t movedCount() {
    return s_moved.load(std::memory_order_relaxed);
}

const Node* movedShape(uint64_t index) {
    const uint64_t count = movedCount();
    if (index >= count || count - index > kMovedLogSize) {
        return nullptr;
    }
    return s_movedLog[index % kMovedLogSize];
}

}  // namespace scenechanges
