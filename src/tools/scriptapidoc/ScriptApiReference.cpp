#include "ScriptApiReference.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <set>

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

std::string trim(const std::string& text) {
    size_t begin = text.find_first_not_of(" \t\n");
    if (begin == std::string::npos) {
        return "";
    }
    size_t end = text.find_last_not_of(" \t\n");
    return text.substr(begin, end - begin + 1);
}

std::vector<std::string> split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    size_t start = 0;
    while (true) {
        size_t end = text.find(separator, start);
        parts.push_back(text.substr(start, end == std::string::npos ? end : end - start));
        if (end == std::string::npos) {
            return parts;
        }
        start = end + 1;
    }
}

// A function as the reference shows it: the name a script calls, its values
// with their types resolved, and its sentence.
struct FunctionView {
    std::string name;
    std::string owner;  // "TransformGroup" for entity functions; empty for globals
    std::vector<ScriptValueDoc> args;
    std::vector<ScriptValueDoc> results;
    std::string summary;
};

// The documented values with the declared types filled in; values the text
// does not name are called argN / resultN so the output stays usable while
// the gap check reports them.
std::vector<ScriptValueDoc> resolveValues(const char* text, const uint32_t* types, uint32_t count,
                                          const char* fallbackName) {
    std::vector<ScriptValueDoc> values = parseValueDocs(text);
    values.resize(std::max<size_t>(values.size(), count));
    for (uint32_t i = 0; i < count; ++i) {
        ScriptValueDoc& value = values[i];
        if (value.type.empty() || types[i] != ScriptType::None) {
            value.type = luaType(types[i]);
        }
        if (value.name.empty()) {
            value.name = fallbackName + std::to_string(i + 1);
        }
    }
    values.resize(count);
    return values;
}

FunctionView viewOf(const Method& method, const std::string& owner, const ScriptValueDoc* id) {
    FunctionView view;
    view.name = method.name;
    view.owner = owner;
    if (id != nullptr) {
        view.args.push_back(*id);
    }
    for (const ScriptValueDoc& arg :
         resolveValues(method.argNames, method.argTypes, method.numArgs, "arg")) {
        view.args.push_back(arg);
    }
    view.results =
        resolveValues(method.resultNames, method.resultTypes, method.numResults, "result");
    view.summary = method.summary;
    return view;
}

FunctionView viewOf(const ScriptApi::CallbackDecl& callback) {
    FunctionView view;
    view.name = callback.name;
    view.args = parseValueDocs(callback.argNames);
    view.results = parseValueDocs(callback.resultNames);
    view.summary = callback.summary;
    return view;
}

// A class with its own methods (declared and added) in declaration order.
struct ClassView {
    const ScriptApi::ClassDecl* decl = nullptr;  // none: declared elsewhere
    std::string name;
    std::string section;
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
        view.section = decl.section;
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

bool isObjectClass(const ClassView& view) {
    return view.decl != nullptr && view.decl->objectClass;
}

// The first argument of an entity function of the class.
ScriptValueDoc idArgument(const ScriptApi& api, const std::string& className) {
    ScriptValueDoc id;
    id.type = "integer";
    const char* idName = api.getClassDoc(className).idName;
    id.name = idName != nullptr && *idName != '\0' ? idName : "id";
    id.note = "id of a " + className + " or of a class derived from it";
    return id;
}

std::vector<FunctionView> classFunctions(const ScriptApi& api, const ClassView& view) {
    std::vector<FunctionView> functions;
    const ScriptValueDoc id = idArgument(api, view.name);
    for (const Method* method : view.methods) {
        functions.push_back(viewOf(*method, view.name, isObjectClass(view) ? nullptr : &id));
    }
    return functions;
}

// Sections in the order they first appear.
std::vector<std::string> sectionOrder(const ScriptApi& api, const std::vector<ClassView>& views) {
    std::vector<std::string> order;
    auto add = [&order](const std::string& section) {
        if (std::find(order.begin(), order.end(), section) == order.end()) {
            order.push_back(section);
        }
    };
    for (const std::string& section : api.getGlobalSections()) {
        add(section);
    }
    for (const ScriptApi::CreateFunctionDecl& create : api.getCreateFunctions()) {
        add(create.section);
    }
    for (const ClassView& view : views) {
        add(view.section);
    }
    return order;
}

std::string sectionTitle(const std::string& section) {
    return section.empty() ? std::string("Other") : section;
}

std::string anchorOf(const std::string& text) {
    std::string anchor;
    for (char c : text) {
        if (std::isalnum(static_cast<unsigned char>(c)) != 0) {
            anchor += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        } else if (!anchor.empty() && anchor.back() != '-') {
            anchor += '-';
        }
    }
    return anchor;
}

// ---- Gap check ----

bool containsWord(const std::string& text, std::initializer_list<const char*> words) {
    std::string lower;
    for (char c : text) {
        lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return std::any_of(words.begin(), words.end(), [&lower](const char* word) {
        return lower.find(word) != std::string::npos;
    });
}

bool nameIs(const std::string& name, std::initializer_list<const char*> names) {
    return std::any_of(names.begin(), names.end(),
                       [&name](const char* candidate) { return name == candidate; });
}

// The kind of quantity a value's name says it holds, and the units that
// may measure it; none for names that carry no such hint.
struct Quantity {
    const char* kind;
    std::initializer_list<const char*> units;
};

const Quantity* quantityOf(const std::string& name) {
    static const Quantity angle{"an angle", {"radians", "degrees"}};
    static const Quantity time{"a time", {"milliseconds", "seconds"}};
    static const Quantity distance{"a distance",
                                   {"world units", "screen fraction", "pixels", "texels"}};
    if (nameIs(name, {"rx", "ry", "rz", "yaw", "roll"}) ||
        containsWord(name, {"angle", "fov", "steer"})) {
        return &angle;
    }
    if (nameIs(name, {"dt"}) || containsWord(name, {"time", "interval", "delay", "duration"})) {
        return &time;
    }
    if (containsWord(name, {"distance", "radius", "range", "length", "width", "height", "near",
                            "far", "offset"})) {
        return &distance;
    }
    return nullptr;
}

void checkValues(std::vector<std::string>& gaps, const std::string& label, const char* what,
                 const char* text, const uint32_t* types, uint32_t count, bool typesDeclared) {
    const std::vector<ScriptValueDoc> values = parseValueDocs(text);
    if (typesDeclared && values.size() != count) {
        gaps.push_back(label + ": " + std::to_string(count) + " " + what + "s declared, " +
                       std::to_string(values.size()) + " named (\"" + text + "\")");
        return;
    }
    for (size_t i = 0; i < values.size(); ++i) {
        const ScriptValueDoc& value = values[i];
        std::string type = value.type;
        if (typesDeclared) {
            const char* declared = luaType(types[i]);
            if (!type.empty() && types[i] != ScriptType::None && type != declared) {
                gaps.push_back(label + ": " + what + " '" + value.name + "' is declared " +
                               declared + " but documented as " + type);
            }
            if (type.empty() || types[i] != ScriptType::None) {
                type = declared;
            }
        }
        if (value.name.empty()) {
            gaps.push_back(label + ": " + what + " " + std::to_string(i + 1) + " has no name");
            continue;
        }
        if (type.empty()) {
            gaps.push_back(label + ": " + what + " '" + value.name + "' has no type");
        }
        const Quantity* quantity = quantityOf(value.name);
        if (type == "number" && value.note.empty()) {
            gaps.push_back(label + ": number " + what + " '" + value.name +
                           "' says no unit, range or meaning");
        } else if (quantity != nullptr && type == "number" &&
                   !containsWord(value.note, quantity->units)) {
            std::string units;
            for (const char* unit : quantity->units) {
                units += (units.empty() ? "" : ", ") + std::string(unit);
            }
            gaps.push_back(label + ": " + what + " '" + value.name + "' looks like " +
                           quantity->kind + " but names no unit (" + units + ")");
        }
    }
}

void checkSummary(std::vector<std::string>& gaps, const std::string& label, const char* summary) {
    const std::string text = trim(summary != nullptr ? summary : "");
    if (text.empty()) {
        gaps.push_back(label + ": no sentence saying what it does");
    } else if (text.back() != '.') {
        gaps.push_back(label + ": the sentence does not end with a full stop");
    }
}

void checkMethod(std::vector<std::string>& gaps, const std::string& label, const Method& method) {
    checkValues(gaps, label, "argument", method.argNames, method.argTypes, method.numArgs, true);
    checkValues(gaps, label, "result", method.resultNames, method.resultTypes, method.numResults,
                true);
    checkSummary(gaps, label, method.summary);
}

void checkCallback(std::vector<std::string>& gaps, const std::string& label,
                   const ScriptApi::CallbackDecl& callback) {
    checkValues(gaps, label, "argument", callback.argNames, nullptr, 0, false);
    checkValues(gaps, label, "result", callback.resultNames, nullptr, 0, false);
    checkSummary(gaps, label, callback.summary);
}

// ---- Lua annotations ----

std::string luaComment(const std::string& text) {
    std::string out;
    for (const std::string& line : split(text, '\n')) {
        out += "--- " + line + "\n";
    }
    return out;
}

void luaFunction(std::string& out, const std::string& name, const FunctionView& view,
                 const std::string& extra) {
    out += "\n";
    std::string summary = view.summary;
    if (!extra.empty()) {
        summary += (summary.empty() ? "" : " ") + extra;
    }
    if (!summary.empty()) {
        out += luaComment(summary);
    }
    std::string params;
    for (const ScriptValueDoc& arg : view.args) {
        out += "---@param " + arg.name + (arg.optional ? "?" : "") + " " + arg.type;
        out += arg.note.empty() ? "\n" : " " + arg.note + "\n";
        params += (params.empty() ? "" : ", ") + arg.name;
    }
    for (const ScriptValueDoc& result : view.results) {
        out += "---@return " + result.type + (result.optional ? "?" : "") + " " + result.name;
        out += result.note.empty() ? "\n" : " # " + result.note + "\n";
    }
    out += "function " + name + "(" + params + ") end\n";
}

std::string luaFunctionType(const FunctionView& view) {
    std::string text = "fun(";
    for (size_t i = 0; i < view.args.size(); ++i) {
        const ScriptValueDoc& arg = view.args[i];
        text += (i > 0 ? ", " : "") + arg.name + (arg.optional ? "?" : "") + ": " +
                (arg.type.empty() ? "any" : arg.type);
    }
    text += ")";
    for (size_t i = 0; i < view.results.size(); ++i) {
        const ScriptValueDoc& result = view.results[i];
        text += (i > 0 ? ", " : ": ") + (result.type.empty() ? "any" : result.type) +
                (result.optional ? "?" : "");
    }
    return text;
}

void luaCallback(std::string& out, const char* prefix, const FunctionView& view) {
    out += "\n" + luaComment(view.summary);
    for (const ScriptValueDoc& arg : view.args) {
        if (!arg.note.empty()) {
            out += "--- `" + arg.name + "`: " + arg.note + "\n";
        }
    }
    for (const ScriptValueDoc& result : view.results) {
        if (!result.note.empty()) {
            out += "--- returns `" + result.name + "`: " + result.note + "\n";
        }
    }
    out += "---@alias " + std::string(prefix) + view.name + " " + luaFunctionType(view) + "\n";
}

// ---- Markdown ----

std::string signature(const FunctionView& view, const std::string& called) {
    std::string text = "`" + called + "(";
    for (size_t i = 0; i < view.args.size(); ++i) {
        text += (i > 0 ? ", " : "") + view.args[i].name + (view.args[i].optional ? "?" : "");
    }
    text += ")";
    for (size_t i = 0; i < view.results.size(); ++i) {
        text += (i > 0 ? ", " : " → ") + view.results[i].name;
    }
    return text + "`";
}

// One row per run of values that share type, note and optionality.
void valueRows(std::string& out, const char* direction, const std::vector<ScriptValueDoc>& values) {
    for (size_t i = 0; i < values.size();) {
        size_t j = i + 1;
        while (j < values.size() && values[j].type == values[i].type &&
               values[j].note == values[i].note && values[j].optional == values[i].optional) {
            ++j;
        }
        std::string names;
        for (size_t k = i; k < j; ++k) {
            names += (names.empty() ? "`" : ", `") + values[k].name + "`";
        }
        out += std::string("| ") + direction + " | " + names + " | " +
               (values[i].type.empty() ? "any" : values[i].type) +
               (values[i].optional ? ", optional" : "") + " | " + values[i].note + " |\n";
        i = j;
    }
}

void markdownFunction(std::string& out, const FunctionView& view, const std::string& called,
                      const std::string& anchor) {
    out += "\n<a id=\"" + anchor + "\"></a>\n#### " + signature(view, called) + "\n\n";
    out += (view.summary.empty() ? std::string("(undocumented)") : view.summary) + "\n";
    if (view.args.empty() && view.results.empty()) {
        return;
    }
    out += "\n| | Name | Type | Unit or meaning |\n|---|---|---|---|\n";
    valueRows(out, "in", view.args);
    valueRows(out, "out", view.results);
}

std::string classIntro(const ScriptApi& api, const std::vector<ClassView>& views,
                       const ClassView& view) {
    std::string out;
    const char* summary = api.getClassDoc(view.name).summary;
    if (summary != nullptr && *summary != '\0') {
        out += std::string(summary) + "\n\n";
    }
    if (isObjectClass(view)) {
        return out + "Object class: `" + view.name +
               ":new()` makes an object the script owns (collecting the handle deletes it); " +
               "methods are called with a colon.\n";
    }
    std::string chain;
    // Bounded: a cycle of parents is a declaration error reported at
    // install time.
    int depth = 0;
    for (const ClassView* v = &view; v != nullptr && v->decl != nullptr && depth < 32; ++depth) {
        const std::string& parent = v->decl->parent;
        if (parent.empty()) {
            break;
        }
        chain += " < " + parent;
        v = findView(views, parent);
    }
    return out + "Entity class" + (chain.empty() ? std::string() : ": " + view.name + chain) +
           ". Its functions take the entity id first and are found for this class and the "
           "classes derived from it.\n";
}

}  // namespace

std::vector<ScriptValueDoc> parseValueDocs(const char* text) {
    std::vector<ScriptValueDoc> values;
    if (text == nullptr || trim(text).empty()) {
        return values;
    }
    for (const std::string& group : split(text, ';')) {
        std::string names = group;
        std::string note;
        const size_t colon = group.find(':');
        if (colon != std::string::npos) {
            names = group.substr(0, colon);
            note = trim(group.substr(colon + 1));
        }
        // A type written before a name holds for the names after it in
        // the group: "number x, y, z".
        std::string groupType;
        for (const std::string& item : split(names, ',')) {
            ScriptValueDoc value;
            std::string word = trim(item);
            const size_t space = word.find(' ');
            if (space != std::string::npos) {
                groupType = word.substr(0, space);
                word = trim(word.substr(space + 1));
            }
            value.type = groupType;
            if (!word.empty() && word.back() == '?') {
                value.optional = true;
                word.pop_back();
            }
            value.name = word;
            value.note = note;
            values.push_back(value);
        }
    }
    return values;
}

std::vector<std::string> findReferenceGaps(const ScriptApi& api) {
    std::vector<std::string> gaps;
    for (const Method& method : api.getGlobalFunctions()) {
        checkMethod(gaps, std::string("global function ") + method.name, method);
    }
    const std::vector<ClassView> views = classViews(api);
    for (const ClassView& view : views) {
        const ScriptApi::ClassDoc doc = api.getClassDoc(view.name);
        if (doc.summary == nullptr || trim(doc.summary).empty()) {
            gaps.push_back("class " + view.name + ": no description (describeClass)");
        }
        if (!isObjectClass(view) && (doc.idName == nullptr || *doc.idName == '\0')) {
            gaps.push_back("class " + view.name + ": no name for its id argument (describeClass)");
        }
        const char* separator = isObjectClass(view) ? ":" : ".";
        for (const Method* method : view.methods) {
            checkMethod(gaps, view.name + separator + method->name, *method);
        }
    }
    for (const ScriptApi::CreateFunctionDecl& create : api.getCreateFunctions()) {
        const std::string label = "create function " + create.name;
        checkValues(gaps, label, "argument", create.argNames, nullptr, 0, false);
        checkSummary(gaps, label, create.summary);
    }
    for (const ScriptApi::CallbackDecl& entry : api.getEntryPoints()) {
        checkCallback(gaps, std::string("entry point ") + entry.name, entry);
    }
    for (const auto& [section, callback] : api.getCallbacks()) {
        checkCallback(gaps, std::string("callback ") + callback.name, callback);
    }
    return gaps;
}

std::string writeLuaAnnotations(const ScriptApi& api) {
    std::string out =
        "---@meta\n"
        "-- The engine's script API for Lua language servers, written by the tool\n"
        "-- scriptapidoc from the engine's script bindings. Do not edit.\n";
    out += "\n-- Entry points: functions of the startup script that the engine calls\n";
    for (const ScriptApi::CallbackDecl& entry : api.getEntryPoints()) {
        luaCallback(out, "entry.", viewOf(entry));
    }
    out += "\n-- Callbacks: functions a script names to the engine\n";
    for (const auto& [section, callback] : api.getCallbacks()) {
        luaCallback(out, "callback.", viewOf(callback));
    }
    out += "\n-- Global functions\n";
    for (const Method& method : api.getGlobalFunctions()) {
        luaFunction(out, method.name, viewOf(method, "", nullptr), "");
    }
    const std::vector<ClassView> views = classViews(api);
    out += "\n-- Create functions: each makes an entity and returns its id\n";
    for (const ScriptApi::CreateFunctionDecl& create : api.getCreateFunctions()) {
        FunctionView view;
        view.args = parseValueDocs(create.argNames);
        view.results.push_back({"integer", "id", "id of the new " + create.className});
        view.summary = create.summary;
        luaFunction(out, create.name, view, "");
    }
    // Entity functions are global functions taking the entity id first; a
    // name that several classes bind is written once, with every class.
    std::map<std::string, std::vector<std::string>> classesOf;
    std::vector<FunctionView> order;
    for (const ClassView& view : views) {
        if (isObjectClass(view)) {
            continue;
        }
        for (const FunctionView& function : classFunctions(api, view)) {
            auto& classes = classesOf[function.name];
            if (classes.empty()) {
                order.push_back(function);
            }
            classes.push_back(view.name);
        }
    }
    out += "\n-- Entity functions: the first argument is the entity's id\n";
    for (const FunctionView& function : order) {
        std::string classes;
        for (const std::string& c : classesOf[function.name]) {
            classes += (classes.empty() ? "" : ", ") + c;
        }
        luaFunction(out, function.name, function, "Entity function of " + classes + ".");
    }
    for (const ClassView& view : views) {
        if (!isObjectClass(view)) {
            continue;
        }
        out += "\n";
        const char* summary = api.getClassDoc(view.name).summary;
        if (summary != nullptr && *summary != '\0') {
            out += luaComment(summary);
        }
        out += "---@class " + view.name + "\n" + view.name + " = {}\n";
        out += "\n--- A new object owned by the script.\n---@return " + view.name + "\n";
        out += "function " + view.name + ":new() end\n";
        for (const FunctionView& function : classFunctions(api, view)) {
            luaFunction(out, view.name + ":" + function.name, function, "");
        }
    }
    return out;
}

std::string writeMarkdownReference(const ScriptApi& api) {
    std::string out =
        "# Script API reference\n\n"
        "Written by the tool `scriptapidoc` from the engine's script bindings; do not\n"
        "edit. The same declarations give the editor annotations (`engine_api.lua`)\n"
        "and the lint configuration (`luacheckrc`).\n\n"
        "## Conventions\n\n"
        "- Types: integer, boolean, number, string, any; a table handed to an `any`\n"
        "  argument reaches the engine as a reference.\n"
        "- Ids: engine objects reach scripts as integer entity ids; 0 names none.\n"
        "- Units unless a table says otherwise: angles in radians, times in\n"
        "  milliseconds, distances and positions in world units; screen positions\n"
        "  are fractions of the window from its bottom left corner (0 to 1).\n"
        "- A result a function does not set reaches the script as nil; an argument\n"
        "  left out reads as 0, false or the empty string.\n"
        "- Entity functions take the entity id first. An id that names no entity\n"
        "  logs `Lua: Unknown entity id: <id> method name: <name>` and every result\n"
        "  is nil; an entity whose class does not have the function is left alone\n"
        "  and every result is nil.\n"
        "- Errors inside the engine are written to the log and the script goes on.\n";
    const std::vector<ClassView> views = classViews(api);
    const std::vector<std::string> sections = sectionOrder(api, views);
    const std::vector<Method>& globals = api.getGlobalFunctions();
    const std::vector<std::string>& globalSections = api.getGlobalSections();

    out += "\n## Index\n\n- [Entry points and callbacks](#entry-points-and-callbacks): ";
    std::string entries;
    for (const ScriptApi::CallbackDecl& entry : api.getEntryPoints()) {
        entries += (entries.empty() ? "" : ", ") + std::string("[") + entry.name + "](#entry-" +
                   anchorOf(entry.name) + ")";
    }
    for (const auto& [section, callback] : api.getCallbacks()) {
        entries += (entries.empty() ? "" : ", ") + std::string("[") + callback.name +
                   "](#callback-" + anchorOf(callback.name) + ")";
    }
    out += entries + "\n";
    for (const std::string& section : sections) {
        out += "- [" + sectionTitle(section) + "](#" + anchorOf(sectionTitle(section)) + ")";
        std::string items;
        for (size_t i = 0; i < globals.size(); ++i) {
            if (globalSections[i] == section) {
                items += (items.empty() ? "" : ", ") + std::string("[") + globals[i].name + "](#" +
                         anchorOf(globals[i].name) + ")";
            }
        }
        for (const ScriptApi::CreateFunctionDecl& create : api.getCreateFunctions()) {
            if (create.section == section) {
                items += (items.empty() ? "" : ", ") + std::string("[") + create.name + "](#" +
                         anchorOf(create.name) + ")";
            }
        }
        for (const ClassView& view : views) {
            if (view.section == section) {
                items += (items.empty() ? "" : ", ") + std::string("class [") + view.name +
                         "](#class-" + anchorOf(view.name) + ")";
            }
        }
        out += items.empty() ? "\n" : ": " + items + "\n";
    }

    out += "\n## Entry points and callbacks\n\n";
    out +=
        "The engine calls these script functions. The entry points are global\n"
        "functions of the startup script; a callback is the function a script names\n"
        "when it registers it. With a target table the engine calls\n"
        "`target[callbackName](target, ...)`, without one the global function.\n";
    out += "\n### Entry points\n";
    for (const ScriptApi::CallbackDecl& entry : api.getEntryPoints()) {
        FunctionView view = viewOf(entry);
        markdownFunction(out, view, view.name, "entry-" + anchorOf(view.name));
    }
    out += "\n### Callbacks\n";
    for (const auto& [section, callback] : api.getCallbacks()) {
        FunctionView view = viewOf(callback);
        markdownFunction(out, view, view.name, "callback-" + anchorOf(view.name));
    }

    for (const std::string& section : sections) {
        out += "\n## " + sectionTitle(section) + "\n";
        bool heading = false;
        for (size_t i = 0; i < globals.size(); ++i) {
            if (globalSections[i] != section) {
                continue;
            }
            if (!heading) {
                out += "\n### Global functions\n";
                heading = true;
            }
            markdownFunction(out, viewOf(globals[i], "", nullptr), globals[i].name,
                             anchorOf(globals[i].name));
        }
        heading = false;
        for (const ScriptApi::CreateFunctionDecl& create : api.getCreateFunctions()) {
            if (create.section != section) {
                continue;
            }
            if (!heading) {
                out +=
                    "\n### Create functions\n\nEach hands its arguments to the class's factory "
                    "(numbers arrive as numbers, whatever the factory wants) and returns the "
                    "new entity's id; a new node is linked nowhere.\n";
                heading = true;
            }
            FunctionView view;
            view.args = parseValueDocs(create.argNames);
            view.results.push_back({"integer", "id", "id of the new " + create.className});
            view.summary = create.summary;
            markdownFunction(out, view, create.name, anchorOf(create.name));
        }
        for (const ClassView& view : views) {
            if (view.section != section) {
                continue;
            }
            out += "\n<a id=\"class-" + anchorOf(view.name) + "\"></a>\n### " + view.name + "\n\n" +
                   classIntro(api, views, view);
            if (view.methods.empty()) {
                out += "\nNo functions of its own.\n";
                continue;
            }
            for (const FunctionView& function : classFunctions(api, view)) {
                const std::string called =
                    isObjectClass(view) ? "object:" + function.name : function.name;
                markdownFunction(out, function, called,
                                 anchorOf(view.name) + "-" + anchorOf(function.name));
            }
        }
    }
    return out;
}

std::string writeLuacheckConfig(const ScriptApi& api,
                                const std::vector<std::string>& foundationGlobals) {
    std::string out =
        "-- luacheck configuration for game scripts, written by the tool scriptapidoc\n"
        "-- from the engine's script bindings. Do not edit. Use it with\n"
        "--     luacheck --config docs/script-api/luacheckrc scripts/\n"
        "-- or copy it to the game folder as .luacheckrc. The engine's functions are\n"
        "-- read-only globals; the entry points and the foundation scripts' tables may\n"
        "-- be defined. A callback named to the engine by string is a global function\n"
        "-- defined at the top of a file (or a field of a target table).\n"
        "std = \"lua51\"\n"
        "allow_defined_top = true\n"
        "-- Entry points and callbacks are defined for the engine, which calls them by\n"
        "-- name: a global defined at the top and used nowhere else is no fault.\n"
        "ignore = {\"131\"}\n"
        "-- The engine calls entry points and callbacks with arguments a script may\n"
        "-- not need, and many functions return x, y, z of which one is used.\n"
        "unused_args = false\n"
        "unused_secondaries = false\n"
        "max_line_length = 120\n";
    out += "\nglobals = {\n";
    for (const ScriptApi::CallbackDecl& entry : api.getEntryPoints()) {
        out += "    \"" + std::string(entry.name) + "\",\n";
    }
    for (const std::string& name : foundationGlobals) {
        out += "    \"" + name + "\",\n";
    }
    out += "}\n\nread_globals = {\n";
    std::set<std::string> written;
    auto add = [&](const std::string& name) {
        if (written.insert(name).second) {
            out += "    \"" + name + "\",\n";
        }
    };
    for (const Method& method : api.getGlobalFunctions()) {
        add(method.name);
    }
    for (const ScriptApi::CreateFunctionDecl& create : api.getCreateFunctions()) {
        add(create.name);
    }
    for (const ClassView& view : classViews(api)) {
        if (isObjectClass(view)) {
            add(view.name);
            continue;
        }
        for (const Method* method : view.methods) {
            add(method->name);
        }
    }
    out += "}\n";
    return out;
}

std::vector<std::string> findTopLevelGlobals(const std::string& scriptText) {
    std::vector<std::string> names;
    for (const std::string& line : split(scriptText, '\n')) {
        std::string rest = line;
        if (rest.rfind("function ", 0) == 0) {
            rest = rest.substr(9);
        }
        size_t end = 0;
        while (end < rest.size() &&
               (std::isalnum(static_cast<unsigned char>(rest[end])) != 0 || rest[end] == '_')) {
            ++end;
        }
        if (end == 0 || std::isdigit(static_cast<unsigned char>(rest[0])) != 0) {
            continue;
        }
        const std::string name = rest.substr(0, end);
        const std::string after = trim(rest.substr(end));
        const bool assigned = after.rfind("=", 0) == 0 && after.rfind("==", 0) != 0;
        const bool defined = line.rfind("function ", 0) == 0;
        if ((assigned || defined) && name != "local" &&
            std::find(names.begin(), names.end(), name) == names.end()) {
            names.push_back(name);
        }
    }
    return names;
}
