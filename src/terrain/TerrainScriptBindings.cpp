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
    api.addEntityClass("TerrainTransformGroup", "TransformGroup", nullptr,
                       {
                           {"getTerrainHeightAtWorldPos", "fff", "f", getTerrainHeightAtWorldPos},
                       });
    addDetailLayerScriptApi(api);
}
