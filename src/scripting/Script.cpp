#include "scripting/Script.h"

#include "foundation/File.h"
#include "foundation/ResourceManager.h"
#include "scripting/IScriptSystem.h"

Script::Script(const std::string& name) : Resource(name, ResourceType::Script) {}

bool Script::load() {
    setLoaded(true);
    return true;
}

bool Script::activate() {
    if (isActive()) {
        return true;
    }
    IScriptSystem* system = ScriptSystem::get();
    std::string text;
    if (system == nullptr || !FileSystem::readWholeFile(getName(), text)) {
        return false;
    }
    // The text keeps its terminating zero; script errors are the script
    // system's to report.
    system->runBuffer(text.c_str(), text.size(), getName().c_str());
    setActive(true);
    setLoaded(false);
    return true;
}

bool Script::reloadFromFile() {
    IScriptSystem* system = ScriptSystem::get();
    std::string text;
    if (system == nullptr || !FileSystem::readWholeFile(getName(), text)) {
        return false;
    }
    return system->rerunBuffer(text.c_str(), text.size(), getName().c_str()) == 0;
}

void Script::deactivate() {
    setActive(false);
}

void Script::unload() {
    setLoaded(false);
}

void sourceScript(const char* fileName) {
    ResourceManager& manager = ResourceManager::instance();
    Resource* script = manager.get(fileName != nullptr ? fileName : "", ResourceType::Script);
    // The first load is held until shutdown, which then destroys it; a
    // later request keeps the reference it took.
    if (script != nullptr && script->getRefCount() == 1) {
        manager.addHeldResource(script);
        manager.release(script);
    }
}
