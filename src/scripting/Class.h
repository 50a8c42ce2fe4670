#pragma once
// Class: which methods scripts may call on the objects of one engine class,
// with a factory for the create functions and "new", and a parent whose
// methods are inherited. ClassRegistry: the process-wide classes by name.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "scripting/Method.h"

// Makes an object of the class from the converted arguments (slots 0 to 9);
// null when it cannot.
using ScriptFactory = Entity* (*)(ScriptValue* values);

class Class {
public:
    // The name must equal what the class's objects report from getClassName,
    // which must return static text (entity calls cache lookups by that
    // pointer).
    Class(std::string name, Class* parent, ScriptFactory factory);
    Class(const Class&) = delete;
    Class& operator=(const Class&) = delete;
    virtual ~Class() = default;

    // Inserts a copy under the method's name; an existing entry stays.
    void addMethod(const Method& method);
    // Own methods first, then the parent's, grandparent's and so on.
    const Method* findMethod(std::string_view name) const;

    const char* getName() const { return m_name.c_str(); }
    Class* getParent() const { return m_parent; }
    ScriptFactory getFactory() const { return m_factory; }
    // Own methods, ordered by name byte by byte.
    const std::map<std::string, Method, std::less<>>& getMethods() const { return m_methods; }

private:
    std::map<std::string, Method, std::less<>> m_methods;
    std::string m_name;
    ScriptFactory m_factory;
    Class* m_parent;
};

namespace ClassRegistry {

// Enters the class under its name. A name that is taken keeps its class
// (others may point at it as their parent): the new one is destroyed and
// false returned.
bool registerClass(std::unique_ptr<Class> cls);
Class* find(std::string_view name);
// Every class in name order.
std::vector<Class*> all();
// Destroys every class (process exit; tests between cases).
void clear();

// Changes whenever a class is entered, a method added or the registry
// cleared; lets callers cache lookups safely.
uint64_t generation();

}  // namespace ClassRegistry
