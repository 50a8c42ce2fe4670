#include "foundation/Entity.h"

#include <algorithm>
#include <unordered_map>

namespace {

int32_t g_nextId = 1;

std::unordered_map<int32_t, Entity*>& registry() {
    // Built on first use, never torn down before exit: entities alive at exit
    // are simply forgotten.
    static auto* map = new std::unordered_map<int32_t, Entity*>();
    return *map;
}

}  // namespace

int allocateEventKind() {
    static int counter = 0;
    return counter++;
}

int entityDestroyedEventKind() {
    static const int kind = allocateEventKind();
    return kind;
}

Entity::Entity(const std::string& name, bool registered)
    : m_registered(registered), m_name(name), m_id(g_nextId++) {
    if (m_registered) {
        registry()[m_id] = this;
    }
}

Entity::~Entity() {
    leaveRegistry();
    // Listeners may remove (and destroy) themselves or others while being
    // told: walk a snapshot and skip every entry no longer in the live list.
    if (!m_deleteListeners.empty()) {
        const int kind = entityDestroyedEventKind();
        std::vector<ActionListener*> listeners = m_deleteListeners;
        for (size_t i = 0; i < listeners.size(); ++i) {
            ActionListener* listener = listeners[i];
            size_t before =
                static_cast<size_t>(std::count(listeners.begin(), listeners.begin() + i, listener));
            size_t live = static_cast<size_t>(
                std::count(m_deleteListeners.begin(), m_deleteListeners.end(), listener));
            if (before < live) {
                listener->actionPerformed(this, kind, 0, 0);
            }
        }
    }
}

void Entity::leaveRegistry() {
    if (m_registered) {
        registry().erase(m_id);
    }
}

void Entity::addDeleteListener(ActionListener* listener) {
    m_deleteListeners.push_back(listener);
}

void Entity::removeDeleteListener(ActionListener* listener) {
    auto it = std::find(m_deleteListeners.begin(), m_deleteListeners.end(), listener);
    if (it != m_deleteListeners.end()) {
        m_deleteListeners.erase(it);
    }
}

namespace EntityRegistry {

Entity* find(int32_t id) {
    auto& map = registry();
    auto it = map.find(id);
    return it == map.end() ? nullptr : it->second;
}

std::vector<Entity*> all() {
    std::vector<Entity*> result;
    result.reserve(registry().size());
    for (auto& [id, entity] : registry()) {
        result.push_back(entity);
    }
    return result;
}

std::vector<Entity*> byKind(uint32_t mask) {
    std::vector<Entity*> result;
    for (auto& [id, entity] : registry()) {
        if (entity->hasKind(mask)) {
            result.push_back(entity);
        }
    }
    return result;
}

size_t count() {
    return registry().size();
}

int32_t peekNextId() {
    return g_nextId;
}

}  // namespace EntityRegistry

std::string listEntitiesText() {
    std::string text = "Registered Entity List\n\n";
    for (auto& [id, entity] : registry()) {
        text += entity->getName();
        text += " (class=";
        text += entity->getClassName();
        text += ")\n";
    }
    return text;
}
