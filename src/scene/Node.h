#pragma once
// The base classes of the scene tree: Node (parent and children) and
// ScenegraphNode (flags, node event listeners, user attributes).

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "foundation/Entity.h"
#include "scene/PhysicsObject.h"

class BoundingSphere;

namespace NodeKind {
// Set by the Node constructor; the other node bits are in EntityKind.
constexpr uint32_t Node = 0x2;
}  // namespace NodeKind

// Event kinds of the scene graph, taken once from the engine's event counter.
namespace SceneEvents {
// The renderer visited the node: (0, flag from the renderer).
int renderEventKind();
// The node's local matrix was set: (reason, 0).
int localTransformEventKind();
// The node's cached world matrix was invalidated: (reason, 0).
int worldTransformEventKind();
// Sent to a shape when what it draws changed its extent: the shape
// invalidates its bounds.
int shapeBoundsChangedEventKind();
// Takes all four kinds now so that their values do not depend on which is
// asked for first; called once at start-up.
void allocateEventKinds();
}  // namespace SceneEvents

// Nodes own their children only from ScenegraphNode on (ownsChildren): such a
// node deletes its whole subtree. Children are kept as plain pointers because
// ownership changes as nodes are linked and unlinked.
class Node : public Entity {
public:
    explicit Node(const std::string& name);
    ~Node() override;

    const char* getClassName() const override { return "Node"; }

    // Removes the list entry; the child's parent link stays as it is. An
    // index beyond the children is ignored.
    virtual void removeChildAt(size_t index, bool beingDestroyed);
    // Moves the child here (from its old parent, if any) as the last child;
    // returns its index. The node itself or one of its ancestors is not
    // linked (the result is then getNumChildren()).
    virtual size_t addChild(Node* child);

    // Removes the node from its parent's list and clears the parent link.
    void unlink();

    Node* getParent() const { return m_parent; }
    size_t getNumChildren() const { return m_children.size(); }
    // None for an index beyond the children.
    Node* getChildAt(size_t index) const {
        return index < m_children.size() ? m_children[index] : nullptr;
    }
    const std::vector<Node*>& getChildren() const { return m_children; }
    // Index of the child in the list, or getNumChildren() when absent.
    size_t indexOfChild(const Node* child) const;
    // True for this node and every node on its path to the root.
    bool isSelfOrAncestor(const Node* node) const;
    bool ownsChildren() const { return m_ownsChildren; }
    // Light sources in the subtree, this node included, kept up to date as
    // children are linked and unlinked: walks that look for lights pass over
    // subtrees without any.
    uint32_t getSubtreeLightCount() const {
        return m_lightsBelow + (hasKind(EntityKind::LightSource) ? 1u : 0u);
    }

protected:
    // Leaves the parent (with the being-destroyed flag) and deletes or
    // detaches the children; the destructors call it, the first one to run
    // does the work.
    void releaseLinks();

    bool m_ownsChildren = false;

private:
    // Adds the child's subtree lights to this node and its ancestors, or
    // takes them away.
    void countLightsOf(const Node& child, bool linked);

    Node* m_parent = nullptr;
    std::vector<Node*> m_children;
    uint32_t m_lightsBelow = 0;
};

struct UserAttribute {
    enum Type : int32_t { Boolean = 0, Integer = 1, Float = 2, String = 3 };

    Type type = Integer;
    bool boolValue = false;
    int32_t intValue = 0;
    float floatValue = 0.0f;
    std::string stringValue;

    static UserAttribute makeBoolean(bool value);
    static UserAttribute makeInteger(int32_t value);
    static UserAttribute makeFloat(float value);
    static UserAttribute makeString(const std::string& value);
};

class ScenegraphNode : public Node {
public:
    explicit ScenegraphNode(const std::string& name);
    ~ScenegraphNode() override;

    const char* getClassName() const override { return "ScenegraphNode"; }

    virtual void invalidateWorld(int32_t reason) = 0;
    // Bounds of kind 0 to 2 of the subtree in the parent's frame.
    virtual const BoundingSphere& getLocalBounds(int kind) = 0;

    bool getVisibility() const { return m_visibility; }
    void setVisibility(bool visible);
    bool isEnabled() const { return m_enabled; }
    void setEnabled(bool enabled) { m_enabled = enabled; }
    bool getCullOverride() const { return m_cullOverride; }
    void setCullOverride(bool cullOverride);
    // A renderer draws the node's subtree only when this mask shares a bit
    // with the renderer's own mask; all bits by default.
    uint32_t getObjectMask() const { return m_objectMask; }
    void setObjectMask(uint32_t mask);

    // Listeners are not owned; the same listener may be added more than once.
    void addRenderListener(ActionListener* listener);
    void removeRenderListener(ActionListener* listener);
    bool hasRenderListeners() const { return !m_renderListeners.empty(); }
    void addLocalTransformListener(ActionListener* listener) {
        m_localTransformListeners.push_back(listener);
    }
    void removeLocalTransformListener(ActionListener* listener);
    void addWorldTransformListener(ActionListener* listener) {
        m_worldTransformListeners.push_back(listener);
    }
    void removeWorldTransformListener(ActionListener* listener);

    // Sent by the renderer when it visits the node.
    void sendRenderEvent(int32_t rendererFlag);

    // The attribute or none.
    const UserAttribute* getUserAttribute(const std::string& name) const;
    // Creates or replaces the entry.
    void setUserAttribute(const std::string& name, const UserAttribute& attribute);
    const std::map<std::string, UserAttribute>& getUserAttributes() const {
        return m_userAttributes;
    }
    void setUserAttributes(const std::map<std::string, UserAttribute>& attributes) {
        m_userAttributes = attributes;
    }

    // The physics description (none: the node takes no part in physics).
    PhysicsObject* getPhysicsObject() const { return m_physicsObject.get(); }
    // Installs a new description and hands back the old one.
    std::unique_ptr<PhysicsObject> setPhysicsObject(std::unique_ptr<PhysicsObject> object) {
        std::swap(object, m_physicsObject);
        return object;
    }

protected:
    void sendLocalTransformEvent(int32_t reason);
    void sendWorldTransformEvent(int32_t reason);

private:
    void notify(std::vector<ActionListener*>& listeners, int kind, int32_t v1, int32_t v2);

    bool m_visibility = true;
    bool m_enabled = true;
    bool m_cullOverride = false;
    uint32_t m_objectMask = 0xFFFFFFFFu;
    std::vector<ActionListener*> m_renderListeners;
    std::vector<ActionListener*> m_localTransformListeners;
    std::vector<ActionListener*> m_worldTransformListeners;
    std::map<std::string, UserAttribute> m_userAttributes;
    std::unique_ptr<PhysicsObject> m_physicsObject;
};
