#pragma once
// The animation a transform group takes part in. A node holds a counted
// reference to it without knowing the animation library, which implements
// it (character sets).

#include <unordered_map>

#include "foundation/Entity.h"

class Node;
class RawTransformGroup;
class TransformGroup;

// Source node to its copy, for a cloned subtree.
using CloneMap = std::unordered_map<const Node*, TransformGroup*>;

class NodeAnimation : public RefCounted {
public:
    // The entity scripts address the animation by.
    virtual Entity& getAnimationEntity() = 0;
    // The node leaves the animation: it is being destroyed, or it was
    // handed another animation. The animation stops touching it.
    virtual void releaseNode(RawTransformGroup& node) = 0;
    // Copies the animation for a cloned subtree and binds the copy to the
    // copies of its nodes; none (and a log line) when not all of them were
    // copied.
    virtual NodeAnimation* cloneFor(const CloneMap& map) = 0;
};
