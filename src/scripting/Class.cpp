#include "scripting/Class.h"

namespace {

struct Registry {
    std::map<std::string, std::unique_ptr<Class>, std::less<>> classes;
    uint64_t generation = 1;
};

Registry& registry() {
    // Destroyed at process exit, which deletes every class.
    static Registry instance;
    return instance;
}

}  // namespace

Class::Class(std::string name, Class* parent, ScriptFactory factory)
    : m_name(std::move(name)), m_factory(factory), m_parent(parent) {}

void Class::addMethod(const Method& method) {
    if (m_methods.emplace(method.name, method).second) {
        ++registry().generation;
    }
}

const Method* Class::findMethod(std::string_view name) const {
    for (const Class* cls = this; cls != nullptr; cls = cls->m_parent) {
        auto it = cls->m_methods.find(name);
        if (it != cls->m_methods.end()) {
            return &it->second;
        }
    }
    return nullptr;
}

namespace ClassRegistry {

bool registerClass(std::unique_ptr<Class> cls) {
    if (!cls) {
        return false;
    }
    Registry& reg = registry();
    std::string name = cls->getName();
    bool inserted = reg.classes.emplace(std::move(name), std::move(cls)).second;
    if (inserted) {
        ++reg.generation;
    }
    return inserted;
}

Class* find(std::string_view name) {
    Registry& reg = registry();
    auto it = reg.classes.find(name);
    return it == reg.classes.end() ? nullptr : it->second.get();
}

std::vector<Class*> all() {
    std::vector<Class*> result;
    for (auto& [name, cls] : registry().classes) {
        result.push_back(cls.get());
    }
    return result;
}

void clear() {
    Registry& reg = registry();
    reg.classes.clear();
    ++reg.generation;
}

uint64_t generation() {
    return registry().generation;
}

}  // namespace ClassRegistry
