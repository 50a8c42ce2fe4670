#pragma once
// The script class "TerrainTransformGroup" with "getTerrainHeightAtWorldPos".

class ScriptApi;

void addTerrainScriptApi(ScriptApi& api);
