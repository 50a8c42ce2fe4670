#pragma once
// The script classes "Entity", "Properties" and "XMLConfigFile" and the
// global functions "httpGet", "httpGetAsync" and "loadXMLFile".

class ScriptApi;

void addFoundationScriptApi(ScriptApi& api);
