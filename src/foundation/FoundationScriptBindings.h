#pragma once
// The script classes "Entity", "Properties" and "XMLConfigFile" and the
// global function "loadXMLFile".

class ScriptApi;

void addFoundationScriptApi(ScriptApi& api);
