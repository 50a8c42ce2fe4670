#pragma once
// The script API reference written from the same declarations that bind the
// functions: an annotation file for Lua language servers (editor completion
// and type hints), a Markdown reference grouped by subsystem and class, and
// a luacheck configuration that knows the engine's globals.

#include <string>
#include <vector>

class ScriptApi;

// One documented argument or result: "table target?: note" gives the type
// "table", the name "target", optional, and the note.
struct ScriptValueDoc {
    std::string type;  // Lua type; empty: the declared one
    std::string name;
    std::string note;  // unit, range or meaning; may be empty
    bool optional = false;
};

// The values of an argument or result list written as Method.h describes:
// groups separated by ";", names by ",", each group with an optional
// ": note" shared by its names.
std::vector<ScriptValueDoc> parseValueDocs(const char* text);

// What the reference lacks, one line per gap naming the function and what
// is missing (names, types, units, sentence); empty when complete.
std::vector<std::string> findReferenceGaps(const ScriptApi& api);

// "---@meta" file: one function per script name with a "---@param" per
// argument and a "---@return" per result, each named and explained; entity
// functions take the id first; object classes become "---@class" tables
// with "new"; callbacks become "---@alias" function types.
std::string writeLuaAnnotations(const ScriptApi& api);

// Conventions, an index, the entry points and callbacks, then one section
// per subsystem with its global functions, create functions and classes.
std::string writeMarkdownReference(const ScriptApi& api);

// A luacheck configuration: the engine's functions and object classes are
// read-only globals, the entry points and the foundation scripts' globals
// may be defined.
std::string writeLuacheckConfig(const ScriptApi& api,
                                const std::vector<std::string>& foundationGlobals);

// The globals a foundation script defines at its top level ("Name = ..."
// or "function Name(").
std::vector<std::string> findTopLevelGlobals(const std::string& scriptText);

// File names of the outputs inside the reference folder.
constexpr const char* kLuaAnnotationsFile = "engine_api.lua";
constexpr const char* kMarkdownReferenceFile = "script_api.md";
constexpr const char* kLuacheckConfigFile = "luacheckrc";
