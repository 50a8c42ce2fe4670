#pragma once
// Counters of changes to any scene tree, read by the renderers' lists that
// are kept between frames. A list notes the counters when it is made and
// compares them before it is used again: unchanged structure and render
// object counts mean that every node, shape and render object it points at
// is still alive and drawn under the same conditions; the move log names the
// shapes whose world bounds may have changed since.

#include <cstddef>
#include <cstdint>

class Node;

namespace scenechanges {

// Changes to what decides which shapes a walk of the tree reaches and how:
// links, deletions, visibility, object masks, cull overrides, render
// listeners, clip distances and shape flags. `below`: the node the change is
// below (a new child's parent, a changed node's parent; none: the change is
// a tree's root). Changes below a node with render listeners are not
// counted: the lists walk such subtrees afresh each time, as their
// listeners change them while they are walked (foliage cells come and go).
uint64_t structure();
void structureChanged(const Node* below);

// Shapes' render objects dropped or replaced: lists that point into them
// must let go (a shape's first render object concerns nobody).
uint64_t renderObjects();
void renderObjectsChanged();

// Shapes whose world bounds may have changed (they or an ancestor moved, or
// what they draw changed extent), in the order of the changes. The log keeps
// the last kMovedLogSize shapes; the pointers are only compared, never
// followed, since a logged shape may be gone.
constexpr size_t kMovedLogSize = 4096;
void shapeMoved(const Node* shape);
// The number of shapeMoved calls so far.
uint64_t movedCount();
// The shape of move number `index`; null where the log no longer holds it.
const Node* movedShape(uint64_t index);

}  // namespace scenechanges
