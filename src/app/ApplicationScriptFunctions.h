#pragma once
// The application's script functions over the user configuration, the
// input device, the folders and files, restart; and the engine's
// scalability values.

class ScriptApi;

// "getFullscreen" to "createFolder": settings in the user configuration
// (saved at once), input queries and mappings, folders, files, restart.
void addApplicationScriptFunctions(ScriptApi& api);

// "setViewDistanceCoeff" and the other scalability setters and getters.
void addEngineScriptFunctions(ScriptApi& api);
