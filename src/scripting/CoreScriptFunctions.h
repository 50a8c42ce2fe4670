#pragma once
// The script system's own global functions: "bitAND", "print", "source".

class ScriptApi;

void addCoreScriptFunctions(ScriptApi& api);
