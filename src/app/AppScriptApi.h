#pragma once
// What scripts can call, gathered from every subsystem of the build, and the
// application's own functions.

class ScriptApi;

// The engine's script API: every subsystem adds its own bindings.
void buildScriptApi(ScriptApi& api);

// The application functions ("requestExit", ...), bound at the end of start-up.
void addApplicationScriptApi(ScriptApi& api);

// The resource loaders of the subsystems in this build, by type number.
void registerResourceLoaders();
