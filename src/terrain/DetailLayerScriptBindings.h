#pragma once
// Script classes of the detail layers: "TerrainDetailTransformGroup" with
// the density map operations and "FoliageTransformGroup".

class ScriptApi;

void addDetailLayerScriptApi(ScriptApi& api);
