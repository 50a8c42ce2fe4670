#pragma once
// The application's script functions for the screen: screenshots, display
// modes, text output and the window caption.

class ScriptApi;

void addScreenScriptFunctions(ScriptApi& api);
