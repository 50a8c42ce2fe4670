#include "scene/Node.h"

#include <algorithm>

#include "foundation/Log.h"
#include "scene/SceneChanges.h"

namespace SceneEvents {

int renderEventKind() {
    static const int kind = allocateEventKind();
    return kind;
}

int localTransformEventKind() {
    static const int kind = allocateEventKind();
    return kind;
}

int worldTransformEventKind() {
    static const int kind = allocateEventKind();
    return kind;
}

int shapeBoundsChangedEventKind() {
    static const int kind = allocateEventKind();
    return kind;
}

void allocateEventKinds() {
    renderEventKind();
    localTransformEventKind();
    worldTransformEventKind();
    shapeBoundsChangedEventKind();
}

}  // namespace SceneEvents

Node::Node(const std::string& name) : Entity(name, true) {
    addKind(NodeKind::Node);
}

Node::~Node() {
    releaseLinks();
}

void Node::releaseLinks() {
    // A linked node leaves its parent, which counts the change; a tree's
    // root going with its children counts here.
    if (m_parent == nullptr && !m_children.empty()) {
        scenechanges::structureChanged(nullptr);
    }
    if (m_parent) {
        size_t index = m_parent->indexOfChild(this);
        if (index < m_parent->getNumChildren()) {
            m_parent->removeChildAt(index, true);
        }
        m_parent = nullptr;
    }
    // All children are detached before the first is deleted: nothing done
    // while deleting one child (its delete listeners included) may reach this
    // half-destroyed node through another child's parent link.
    std::vector<Node*> children;
    children.swap(m_children);
    for (Node* child : children) {
        child->m_parent = nullptr;
    }
    if (m_ownsChildren) {
        for (Node* child : children) {
            delete child;
        }
    }
}

size_t Node::indexOfChild(const Node* child) const {
    auto it = std::find(m_children.begin(), m_children.end(), child);
    return static_cast<size_t>(it - m_children.begin());
}

void Node::removeChildAt(size_t index, bool /*beingDestroyed*/) {
    if (index >= m_children.size()) {
        return;
    }
    countLightsOf(*m_children[index], false);
    scenechanges::structureChanged(this);
    m_children.erase(m_children.begin() + static_cast<std::ptrdiff_t>(index));
}

void Node::countLightsOf(const Node& child, bool linked) {
    const uint32_t lights = child.getSubtreeLightCount();
    if (lights == 0) {
        return;
    }
    for (Node* node = this; node != nullptr; node = node->m_parent) {
        node->m_lightsBelow = linked ? node->m_lightsBelow + lights : node->m_lightsBelow - lights;
    }
}

bool Node::isSelfOrAncestor(const Node* node) const {
    for (const Node* n = this; n != nullptr; n = n->m_parent) {
        if (n == node) {
            return true;
        }
    }
    return false;
}

size_t Node::addChild(Node* child) {
    if (child == nullptr) {
        return m_children.size();
    }
    // A node linked below itself would make the tree a cycle that every walk
    // (world matrices, bounds, deletion) runs around forever.
    if (isSelfOrAncestor(child)) {
        Log::get() << "Warning: Cannot link a node below itself: " << child->getName() << "\n";
        return m_children.size();
    }
    if (child->m_parent) {
        Node* oldParent = child->m_parent;
        size_t index = oldParent->indexOfChild(child);
        if (index < oldParent->getNumChildren()) {
            oldParent->removeChildAt(index, false);
        }
    }
    child->m_parent = this;
    m_children.push_back(child);
    countLightsOf(*child, true);
    scenechanges::structureChanged(this);
    return m_children.size() - 1;
}

void Node::unlink() {
    if (!m_parent) {
        return;
    }
    Node* parent = m_parent;
    size_t index = parent->indexOfChild(this);
    m_parent = nullptr;
    if (index < parent->getNumChildren()) {
        parent->removeChildAt(index, false);
    }
}

UserAttribute UserAttribute::makeBoolean(bool value) {
    UserAttribute a;
    a.type = Boolean;
    a.boolValue = value;
    return a;
}

UserAttribute UserAttribute::makeInteger(int32_t value) {
    UserAttribute a;
    a.type = Integer;
    a.intValue = value;
    return a;
}

UserAttribute UserAttribute::makeFloat(float value) {
    UserAttribute a;
    a.type = Float;
    a.floatValue = value;
    return a;
}

UserAttribute UserAttribute::makeString(const std::string& value) {
    UserAttribute a;
    a.type = String;
    a.stringValue = value;
    return a;
}

ScenegraphNode::ScenegraphNode(const std::string& name) : Node(name) {
    addKind(EntityKind::ScenegraphNode);
    m_ownsChildren = true;
}

ScenegraphNode::~ScenegraphNode() {
    // The body leaves the physics world while the node it listens to is
    // still whole.
    m_physicsObject.reset();
    // The subtree goes while this node's listener lists still exist: a
    // descendant told of its own or a bone's deletion (a skinned shape) may
    // still unregister from them.
    releaseLinks();
}

namespace {

void removeFirst(std::vector<ActionListener*>& listeners, ActionListener* listener) {
    auto it = std::find(listeners.begin(), listeners.end(), listener);
    if (it != listeners.end()) {
        listeners.erase(it);
    }
}

}  // namespace

void ScenegraphNode::setVisibility(bool visible) {
    if (visible != m_visibility) {
        m_visibility = visible;
        scenechanges::structureChanged(getParent());
    }
}

void ScenegraphNode::setCullOverride(bool cullOverride) {
    if (cullOverride != m_cullOverride) {
        m_cullOverride = cullOverride;
        scenechanges::structureChanged(getParent());
    }
}

void ScenegraphNode::setObjectMask(uint32_t mask) {
    if (mask != m_objectMask) {
        m_objectMask = mask;
        scenechanges::structureChanged(getParent());
    }
}

void ScenegraphNode::addRenderListener(ActionListener* listener) {
    m_renderListeners.push_back(listener);
    scenechanges::structureChanged(getParent());
}

void ScenegraphNode::removeRenderListener(ActionListener* listener) {
    removeFirst(m_renderListeners, listener);
    scenechanges::structureChanged(getParent());
}

void ScenegraphNode::removeLocalTransformListener(ActionListener* listener) {
    removeFirst(m_localTransformListeners, listener);
}

void ScenegraphNode::removeWorldTransformListener(ActionListener* listener) {
    removeFirst(m_worldTransformListeners, listener);
}

void ScenegraphNode::notify(std::vector<ActionListener*>& listeners, int kind, int32_t v1,
                            int32_t v2) {
    // Indexed walk over the live list: no copy per event, and a listener
    // that removes itself while being told cannot make the walk overrun.
    for (size_t i = 0; i < listeners.size(); ++i) {
        listeners[i]->actionPerformed(this, kind, v1, v2);
    }
}

void ScenegraphNode::sendRenderEvent(int32_t rendererFlag) {
    if (!m_renderListeners.empty()) {
        notify(m_renderListeners, SceneEvents::renderEventKind(), 0, rendererFlag);
    }
}

void ScenegraphNode::sendLocalTransformEvent(int32_t reason) {
    if (!m_localTransformListeners.empty()) {
        notify(m_localTransformListeners, SceneEvents::localTransformEventKind(), reason, 0);
    }
}

void ScenegraphNode::sendWorldTransformEvent(int32_t reason) {
    if (!m_worldTransformListeners.empty()) {
        notify(m_worldTransformListeners, SceneEvents::worldTransformEventKind(), reason, 0);
    }
}

const UserAttribute* ScenegraphNode::getUserAttribute(const std::string& name) const {
    auto it = m_userAttributes.find(name);
    return it == m_userAttributes.end() ? nullptr : &it->second;
}

void ScenegraphNode::setUserAttribute(const std::string& name, const UserAttribute& attribute) {
    m_userAttributes[name] = attribute;
}
