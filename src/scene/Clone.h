#pragma once
// Copying a subtree of transform groups.

#include <memory>

#include "scene/TransformGroup.h"

// Copies `source` and every descendant with the TransformGroup bit, each as
// its own class (name, class state, transform group state, flags, user
// attributes, the physics description's copy). Skinned shapes are bound to the copies of their
// bones; when the first bone lies outside the subtree, the bone's subtree is copied too and linked
// beside the original bone. Returns the unlinked copy of the root, or none when `source` is no
// transform group.
std::unique_ptr<TransformGroup> cloneSubtree(Node& source);
