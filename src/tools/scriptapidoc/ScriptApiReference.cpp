#include "ScriptApiReference.h"

#include <map>
#include <vector>

#include "scripting/ScriptApi.h"

namespace {

const char* luaType(uint32_t code) {
    switch (code) {
        case ScriptType::Int:
            return "integer";
        case ScriptType::Bool:
            return "boolean";
        case ScriptType::Float:
            return "number";
        case ScriptType::String:
            return "string";
        default:
            return "any";
    }
}

std::string argumentName(uint32_t index) {
    return "arg" + std::to_string(index + 1);
}

// A class with its own methods (declared and added) in declaration order.
struct ClassView {
    const ScriptApi::ClassDecl* decl = nullptr;  // none: declared elsewhere
    std::string name;
    std::vector<const Method*> methods;
};

std::vector<ClassView> classViews(const ScriptApi& api) {
    std::vector<ClassView> views;
    std::map<std::string, size_t> index;
    for (const ScriptApi::ClassDecl& decl : api.getClasses()) {
        index[decl.name] = views.size();
        ClassView& view = views.emplace_back();
        view.decl = &decl;
        view.name = decl.name;
        for (const Method& method : decl.methods) {
            view.methods.push_back(&method);
        }
    }
    for (const auto& [className, method] : api.getAddedMethods()) {
        auto it = index.find(className);
        if (it == index.end()) {
            it = index.emplace(className, views.size()).first;
            views.emplace_back().name = className;
        }
        views[it->second].methods.push_back(&method);
    }
    return views;
}

const ClassView* findView(const std::vector<ClassView>& views, const std::string& name) {
    for (const ClassView& view : views) {
        if (view.name == name) {
            return &view;
        }
    }
    return nullptr;
}

// "(string, number) -> integer" for the Markdown tables.
std::string signature(const Method& method) {
    std::string text;
    for (uint32_t i = 0; i < method.numArgs; ++i) {
        text += (i > 0 ? ", " : "") + std::string(luaType(method.argTypes[i]));
    }
    text = text.empty() ? "none" : text;
    std::string results;
    for (uint32_t i = 0; i < method.numResults; ++i) {
        results += (i > 0 ? ", " : "") + std::string(luaType(method.resultTypes[i]));
    }
    return text + " | " + (results.empty() ? "none" : results);
}

void luaFunction(std::string& out, const std::string& comment, const std::string& name,
                 const Method& method, const char* idType) {
    out += "\n";
    if (!comment.empty()) {
        out += "--- " + comment + "\n";
    }
    std::string params;
    if (idType != nullptr) {
        out += std::string("---@param id ") + idType + "\n";
        params = "id";
    }
    for (uint32_t i = 0; i < method.numArgs; ++i) {
        out += "---@param " + argumentName(i) + " " + luaType(method.argTypes[i]) + "\n";
        params += (params.empty() ? "" : ", ") + argumentName(i);
    }
    for (uint32_t i = 0; i < method.numResults; ++i) {
        out += std::string("---@return ") + luaType(method.resultTypes[i]) + "\n";
    }
    out += "function " + name + "(" + params + ") end\n";
}

}  // namespace

std::string writeLuaAnnotations(const ScriptApi& api) {
    std::string out =
        "---@meta\n"
        "-- The engine's script API for Lua language servers, written by the tool\n"
        "-- scriptapidoc from the engine's script bindings. Do not edit.\n";
    out += "\n-- Global functions\n";
    for (const Method& method : api.getGlobalFunctions()) {
        luaFunction(out, "", method.name, method, nullptr);
    }
    const std::vector<ClassView> views = classViews(api);
    out += "\n-- Create functions: the arguments are handed to the class's factory\n";
    for (const ScriptApi::CreateFunctionDecl& create : api.getCreateFunctions()) {
        out += "\n--- Makes a " + create.className + " and returns its entity id.\n";
        out += "---@param ... any\n---@return integer\n";
        out += "function " + create.name + "(...) end\n";
    }
    // Entity functions are global functions taking the entity id first; a
    // name that several classes bind is written once, with every class.
    std::map<std::string, std::vector<std::string>> classesOf;
    std::vector<std::pair<const Method*, std::string>> order;
    for (const ClassView& view : views) {
        if (view.decl != nullptr && view.decl->objectClass) {
            continue;
        }
        for (const Method* method : view.methods) {
            auto& classes = classesOf[method->name];
            if (classes.empty()) {
                order.emplace_back(method, method->name);
            }
            classes.push_back(view.name);
        }
    }
    out += "\n-- Entity functions: the first argument is the entity's id\n";
    for (const auto& [method, name] : order) {
        std::string classes;
        for (const std::string& c : classesOf[name]) {
            classes += (classes.empty() ? "" : ", ") + c;
        }
        luaFunction(out, "Entity function of " + classes + ".", name, *method, "integer");
    }
    for (const ClassView& view : views) {
        if (view.decl == nullptr || !view.decl->objectClass) {
            continue;
        }
        out += "\n---@class " + view.name + "\n" + view.name + " = {}\n";
        out += "\n--- A new object owned by the script.\n---@return " + view.name + "\n";
        out += "function " + view.name + ":new() end\n";
        for (const Method* method : view.methods) {
            luaFunction(out, "", view.name + ":" + method->name, *method, nullptr);
        }
    }
    return out;
}

std::string writeMarkdownReference(const ScriptApi& api) {
    std::string out =
        "# Script API reference\n\n"
        "Written by the tool `scriptapidoc` from the engine's script bindings; do not\n"
        "edit. Types: integer, boolean, number, string, any (a table is handed on as\n"
        "a reference). A result a function does not set reaches the script as nil.\n";
    const char* header = "| Function | Arguments | Results |\n|---|---|---|\n";
    out += "\n## Global functions\n\n";
    out += header;
    for (const Method& method : api.getGlobalFunctions()) {
        out += "| " + std::string(method.name) + " | " + signature(method) + " |\n";
    }
    out +=
        "\n## Create functions\n\nEach hands its arguments to the class's factory and "
        "returns the new entity's id.\n\n| Function | Class |\n|---|---|\n";
    for (const ScriptApi::CreateFunctionDecl& create : api.getCreateFunctions()) {
        out += "| " + create.name + " | " + create.className + " |\n";
    }
    const std::vector<ClassView> views = classViews(api);
    for (const ClassView& view : views) {
        out += "\n## " + view.name + "\n\n";
        const bool objectClass = view.decl != nullptr && view.decl->objectClass;
        if (objectClass) {
            out += "Object class: `" + view.name + ":new()` makes an object the script owns; " +
                   "methods are called with a colon.\n";
        } else {
            std::string chain;
            // Bounded: a cycle of parents is a declaration error reported
            // at install time.
            int depth = 0;
            for (const ClassView* v = &view; v != nullptr && v->decl != nullptr && depth < 32;
                 ++depth) {
                const std::string& parent = v->decl->parent;
                if (parent.empty()) {
                    break;
                }
                chain += " < " + parent;
                v = findView(views, parent);
            }
            out += "Entity class" + (chain.empty() ? std::string() : ": " + view.name + chain) +
                   ". Its functions take the entity id first and are found for this class "
                   "and the classes derived from it.\n";
        }
        if (view.methods.empty()) {
            out += "\nNo functions of its own.\n";
            continue;
        }
        out += "\n";
        out += header;
        for (const Method* method : view.methods) {
            out += "| " + std::string(method->name) + " | " + signature(*method) + " |\n";
        }
    }
    return out;
}
