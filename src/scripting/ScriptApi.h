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
//
// The reference (tool scriptapidoc) is written from the same lists: each
// method carries its argument names and a sentence (see Method.h), a
// subsystem names its section first (setSection), classes and create
// functions carry a description, and the functions that the engine calls
// in scripts (entry points, callbacks) are declared with addCallbacks.

#include <initializer_list>
#include <string>
#include <vector>

#include "scripting/Class.h"
#include "scripting/IScriptSystem.h"

class ScriptApi {
public:
    struct ClassDecl {
        std::string name;
        std::string section;
        std::string parent;  // empty: none
        ScriptFactory factory = nullptr;
        bool objectClass = false;  // handed to scripts as object handles
        ScriptObjectDeleter deleter = nullptr;
        std::vector<Method> methods;
    };
    struct CreateFunctionDecl {
        std::string name;
        std::string className;
        std::string section;
        const char* argNames = "";  // as Method::argNames, every name typed
        const char* summary = "";
    };
    // What the reference says about a class: the name its id goes by in
    // the argument lists ("node", "light") and a sentence.
    struct ClassDoc {
        const char* idName = "";
        const char* summary = "";
    };
    // A script function the engine calls: an entry point of the startup
    // script ("update") or a callback whose name a script hands over
    // ("callbackName" of addTimer). Names as Method::argNames, every value
    // typed ("number dt: seconds").
    struct CallbackDecl {
        const char* name;
        const char* argNames;
        const char* resultNames;
        const char* summary;
    };

    // The reference section (a subsystem's name) of what is added next.
    void setSection(const char* section) { m_section = section; }

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
    void addCreateFunction(const char* name, const char* className, const char* argNames = "",
                           const char* summary = "");
    // Reference text of a class declared here or elsewhere.
    void describeClass(const char* className, ClassDoc doc);
    // Script functions the engine calls, for the reference only: entry
    // points the startup script defines, and callbacks named by a script.
    void addEntryPoints(std::initializer_list<CallbackDecl> entryPoints);
    void addCallbacks(std::initializer_list<CallbackDecl> callbacks);
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
    // The section each global function was added in, by index.
    const std::vector<std::string>& getGlobalSections() const { return m_globalSections; }
    const std::vector<ClassDecl>& getClasses() const { return m_classes; }
    const std::vector<CreateFunctionDecl>& getCreateFunctions() const { return m_createFunctions; }
    // Methods added to a class by name with addMethods, in the order added.
    const std::vector<std::pair<std::string, Method>>& getAddedMethods() const {
        return m_addedMethods;
    }
    // The class's reference text; empty texts when none was given.
    ClassDoc getClassDoc(const std::string& className) const;
    const std::vector<CallbackDecl>& getEntryPoints() const { return m_entryPoints; }
    // Callbacks with the section each was added in.
    const std::vector<std::pair<std::string, CallbackDecl>>& getCallbacks() const {
        return m_callbacks;
    }

private:
    void buildClasses() const;

    std::string m_section;
    std::vector<Method> m_globals;
    std::vector<std::string> m_globalSections;
    std::vector<std::pair<std::string, ClassDoc>> m_classDocs;
    std::vector<CallbackDecl> m_entryPoints;
    std::vector<std::pair<std::string, CallbackDecl>> m_callbacks;
    std::vector<ClassDecl> m_classes;
    std::vector<std::pair<std::string, Method>> m_addedMethods;
    std::vector<CreateFunctionDecl> m_createFunctions;
};
