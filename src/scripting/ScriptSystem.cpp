#include "foundation/Entity.h"
#include "scripting/IScriptSystem.h"

namespace ScriptType {

const char* name(uint32_t type) {
    switch (type) {
        case None:
            return "any";
        case Int:
            return "int";
        case Bool:
            return "bool";
        case Float:
            return "float";
        case String:
            return "string";
        case Reference:
            return "reference";
        default:
            return "?";
    }
}

}  // namespace ScriptType

void deleteScriptObject(Entity* object) {
    delete object;
}

namespace {

std::unique_ptr<IScriptSystem>& current() {
    static std::unique_ptr<IScriptSystem> system;
    return system;
}

}  // namespace

namespace ScriptSystem {

IScriptSystem* get() {
    return current().get();
}

void set(std::unique_ptr<IScriptSystem> system) {
    current().reset();
    current() = std::move(system);
}

}  // namespace ScriptSystem
