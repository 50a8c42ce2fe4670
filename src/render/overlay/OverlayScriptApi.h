#pragma once
// The script class "Overlay" with its create function and methods.

class ScriptApi;

void addOverlayScriptApi(ScriptApi& api);
