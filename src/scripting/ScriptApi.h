#pragma once
// ScriptApi: the list of everything scripts can call, filled by each
// subsystem from its own bindings file and installed into a script system
// in one fixed order. The same lists feed the API reference.
//
//     void addSceneScriptApi(ScriptApi& api) {
//         api.addEntityClass("TransformGroup", "RawTransformGroup", createTransformGroup, {
//             {"setTranslation", "fff", "", setTranslation},
//             {"getTranslation", "", "fff", getTranslation},
//         });
//         api.addCreateFunction("createTransformGroup", "TransformGroup");
//         api.addGlobalFunctions({
//             {"loadI3DFile", "s", "i", loadI3DFile},
//         });
//     }
//
// A subsystem may add methods to a class that another one declares
// (addMethods); classes may be declared in any order, parents are resolved
// by name at install time.

#include <initializer_list>
#include <string>
#include <vector>

#include "scripting/Class.h"
#include "scripting/IScriptSystem.h"

class ScriptApi {
public:
    struct ClassDecl {
        std::string name;
        std::string parent;  // empty: none
        ScriptFactory factory = nullptr;
        bool objectClass = false;  // handed to scripts as object handles
        ScriptObjectDeleter deleter = nullptr;
        std::vector<Method> methods;
    };
    struct CreateFunctionDecl {
        std::string name;
        std::string className;
    };

    // Global functions, bound in the order added.
    void addGlobalFunctions(std::initializer_list<Method> methods);
    // A class whose objects scripts address by entity id; each method is
    // also bound as a global entity function of the same name.
    void addEntityClass(const char* name, const char* parent, ScriptFactory factory,
                        std::initializer_list<Method> methods = {});
    // More methods for a class declared here or already registered.
    void addMethods(const char* className, std::initializer_list<Method> methods);
    // A global that makes an entity of the class through its factory and
    // returns its id.
    void addCreateFunction(const char* name, const char* className);
    // A class whose objects scripts own as handles, made with
    // Class:new(); the deleter runs when the handle is collected.
    void addObjectClass(const char* name, ScriptFactory factory,
                        std::initializer_list<Method> methods,
                        ScriptObjectDeleter deleter = deleteScriptObject);

    // Builds the classes into ClassRegistry, then binds the global
    // functions, the entity functions and create functions, and the object
    // classes, in that order. Problems with the declarations are logged.
    void install(IScriptSystem& system) const;

    const std::vector<Method>& getGlobalFunctions() const { return m_globals; }
    const std::vector<ClassDecl>& getClasses() const { return m_classes; }
    const std::vector<CreateFunctionDecl>& getCreateFunctions() const { return m_createFunctions; }
    // Methods added to a class by name with addMethods, in the order added.
    const std::vector<std::pair<std::string, Method>>& getAddedMethods() const {
        return m_addedMethods;
    }

private:
    void buildClasses() const;

    std::vector<Method> m_globals;
    std::vector<ClassDecl> m_classes;
    std::vector<std::pair<std::string, Method>> m_addedMethods;
    std::vector<CreateFunctionDecl> m_createFunctions;
};
