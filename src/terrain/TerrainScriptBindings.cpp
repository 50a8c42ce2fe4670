#include "terrain/TerrainScriptBindings.h"

#include "scripting/ScriptApi.h"
#include "terrain/DetailLayerScriptBindings.h"
#include "terrain/TerrainTransformGroup.h"

namespace {

void getTerrainHeightAtWorldPos(Entity* entity, ScriptValue* values) {
    auto* terrain = dynamic_cast<TerrainTransformGroup*>(entity);
    const float height =
        terrain != nullptr ? terrain->getHeightAtWorldPosition(
                                 {values[0].floatValue, values[1].floatValue, values[2].floatValue})
                           : 0.0f;
    scriptResult(values).setFloat(height);
}

}  // namespace

void addTerrainScriptApi(ScriptApi& api) {
    api.setSection("Terrain");
    api.addEntityClass("TerrainTransformGroup", "TransformGroup", nullptr,
                       {
                           {"getTerrainHeightAtWorldPos", "fff", "f", getTerrainHeightAtWorldPos,
                            "x, y, z: world units, world space", "height: world units",
                            "Returns the height of the terrain's surface below the position; 0 "
                            "outside the terrain."},
                       });
    api.describeClass("TerrainTransformGroup",
                      {"terrain", "A heightmap terrain from a scene file."});
    addDetailLayerScriptApi(api);
}
