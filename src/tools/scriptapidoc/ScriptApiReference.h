#pragma once
// The script API reference written from the same declarations that bind the
// functions: an annotation file for Lua language servers (editor completion
// and type hints) and a Markdown reference grouped by class.

#include <string>

class ScriptApi;

// "---@meta" file: one function per script name with one "---@param" per
// argument and one "---@return" per result; entity functions take the id
// first; object classes become "---@class" tables with "new".
std::string writeLuaAnnotations(const ScriptApi& api);

// Global functions, create functions, then one section per class.
std::string writeMarkdownReference(const ScriptApi& api);

// File names of the two outputs inside the reference folder.
constexpr const char* kLuaAnnotationsFile = "engine_api.lua";
constexpr const char* kMarkdownReferenceFile = "script_api.md";
