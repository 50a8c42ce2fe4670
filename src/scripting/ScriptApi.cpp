#include "scripting/ScriptApi.h"

#include <algorithm>

#include "foundation/Log.h"

void ScriptApi::addGlobalFunctions(std::initializer_list<Method> methods) {
    m_globals.insert(m_globals.end(), methods.begin(), methods.end());
    m_globalSections.resize(m_globals.size(), m_section);
}

void ScriptApi::addEntityClass(const char* name, const char* parent, ScriptFactory factory,
                               std::initializer_list<Method> methods) {
    ClassDecl decl;
    decl.name = name;
    decl.section = m_section;
    decl.parent = parent != nullptr ? parent : "";
    decl.factory = factory;
    decl.methods.assign(methods.begin(), methods.end());
    m_classes.push_back(std::move(decl));
}

void ScriptApi::addMethods(const char* className, std::initializer_list<Method> methods) {
    for (const Method& method : methods) {
        m_addedMethods.emplace_back(className, method);
    }
}

void ScriptApi::addCreateFunction(const char* name, const char* className, const char* argNames,
                                  const char* summary) {
    m_createFunctions.push_back({name, className, m_section, argNames, summary});
}

void ScriptApi::describeClass(const char* className, ClassDoc doc) {
    m_classDocs.emplace_back(className, doc);
}

ScriptApi::ClassDoc ScriptApi::getClassDoc(const std::string& className) const {
    for (const auto& [name, doc] : m_classDocs) {
        if (name == className) {
            return doc;
        }
    }
    return {};
}

void ScriptApi::addEntryPoints(std::initializer_list<CallbackDecl> entryPoints) {
    m_entryPoints.insert(m_entryPoints.end(), entryPoints.begin(), entryPoints.end());
}

void ScriptApi::addCallbacks(std::initializer_list<CallbackDecl> callbacks) {
    for (const CallbackDecl& callback : callbacks) {
        m_callbacks.emplace_back(m_section, callback);
    }
}

void ScriptApi::addObjectClass(const char* name, ScriptFactory factory,
                               std::initializer_list<Method> methods, ScriptObjectDeleter deleter) {
    ClassDecl decl;
    decl.name = name;
    decl.section = m_section;
    decl.factory = factory;
    decl.objectClass = true;
    decl.deleter = deleter;
    decl.methods.assign(methods.begin(), methods.end());
    m_classes.push_back(std::move(decl));
}

void ScriptApi::buildClasses() const {
    // Parents first: a class waits while its parent is still to be built
    // here; a parent that is neither built nor declared is reported.
    std::vector<const ClassDecl*> pending;
    for (const ClassDecl& decl : m_classes) {
        pending.push_back(&decl);
    }
    auto declaredPending = [&pending](const std::string& name) {
        return std::any_of(pending.begin(), pending.end(),
                           [&name](const ClassDecl* d) { return d->name == name; });
    };
    bool cycle = false;
    while (!pending.empty()) {
        bool progress = false;
        for (size_t i = 0; i < pending.size();) {
            const ClassDecl& decl = *pending[i];
            Class* parent = nullptr;
            if (!decl.parent.empty()) {
                parent = ClassRegistry::find(decl.parent);
                if (parent == nullptr && !cycle && declaredPending(decl.parent)) {
                    ++i;
                    continue;
                }
                if (parent == nullptr) {
                    Log::get() << "Error: script class " << decl.name
                               << " has unknown parent class " << decl.parent << "\n";
                }
            }
            // A class registered before (an earlier install) keeps its
            // entry; the methods below are added to it.
            ClassRegistry::registerClass(std::make_unique<Class>(decl.name, parent, decl.factory));
            pending.erase(pending.begin() + static_cast<std::ptrdiff_t>(i));
            progress = true;
        }
        cycle = !progress;
    }
    for (const ClassDecl& decl : m_classes) {
        Class* cls = ClassRegistry::find(decl.name);
        for (const Method& method : decl.methods) {
            cls->addMethod(method);
        }
    }
    for (const auto& [className, method] : m_addedMethods) {
        if (Class* cls = ClassRegistry::find(className)) {
            cls->addMethod(method);
        } else {
            Log::get() << "Error: script method " << method.name << " for unknown class "
                       << className << "\n";
        }
    }
}

void ScriptApi::install(IScriptSystem& system) const {
    buildClasses();
    for (const Method& method : m_globals) {
        system.registerMethod(ScriptEntry::global(method.name), method);
    }
    for (const ClassDecl& decl : m_classes) {
        if (decl.objectClass) {
            continue;
        }
        for (const auto& [name, method] : ClassRegistry::find(decl.name)->getMethods()) {
            system.registerFunction(ScriptEntry::entity(name.c_str()), name.c_str());
        }
    }
    // Methods added to a class registered by an earlier install.
    for (const auto& [className, method] : m_addedMethods) {
        const std::string& owner = className;
        bool declaredHere = std::any_of(m_classes.begin(), m_classes.end(),
                                        [&owner](const ClassDecl& d) { return d.name == owner; });
        if (!declaredHere && ClassRegistry::find(className) != nullptr) {
            system.registerFunction(ScriptEntry::entity(method.name), method.name);
        }
    }
    for (const CreateFunctionDecl& create : m_createFunctions) {
        system.registerFunction(ScriptEntry::create(create.className.c_str()), create.name.c_str());
    }
    for (const ClassDecl& decl : m_classes) {
        if (!decl.objectClass) {
            continue;
        }
        ScriptEntry newEntry = ScriptEntry::objectNew(decl.name.c_str());
        ScriptEntry gcEntry = ScriptEntry::objectCollect(decl.deleter);
        system.registerClass(decl.name.c_str(), nullptr, &newEntry,
                             decl.deleter != nullptr ? &gcEntry : nullptr);
        system.pushGlobal(decl.name.c_str());
        for (const auto& [name, method] : ClassRegistry::find(decl.name)->getMethods()) {
            system.setFunctionField(ScriptEntry::objectMethod(name.c_str()), name.c_str());
        }
        system.popValue();
    }
}
