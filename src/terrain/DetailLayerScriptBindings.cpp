#include "terrain/DetailLayerScriptBindings.h"

#include <algorithm>

#include "foundation/Log.h"
#include "scripting/ScriptApi.h"
#include "terrain/FoliageConstructor.h"
#include "terrain/FoliageTransformGroup.h"
#include "terrain/TerrainDetailTransformGroup.h"

namespace {

int32_t toScriptInt(int64_t value) {
    return int32_t(std::clamp<int64_t>(value, INT32_MIN, INT32_MAX));
}

void getDensityParallelogram(Entity* entity, ScriptValue* values) {
    auto* group = dynamic_cast<TerrainDetailTransformGroup*>(entity);
    const int64_t count = group != nullptr
                              ? group->getDensityParallelogram(
                                    values[0].floatValue, values[1].floatValue,
                                    values[2].floatValue, values[3].floatValue,
                                    values[4].floatValue, values[5].floatValue, values[6].intValue)
                              : 0;
    scriptResult(values).setInt(toScriptInt(count));
}

void setDensityParallelogram(Entity* entity, ScriptValue* values) {
    auto* group = dynamic_cast<TerrainDetailTransformGroup*>(entity);
    const int64_t count =
        group != nullptr ? group->setDensityParallelogram(
                               values[0].floatValue, values[1].floatValue, values[2].floatValue,
                               values[3].floatValue, values[4].floatValue, values[5].floatValue,
                               values[6].intValue, values[7].floatValue)
                         : 0;
    scriptResult(values).setFloat(float(count));
}

void setDensityMaskedParallelogram(Entity* entity, ScriptValue* values) {
    auto* group = dynamic_cast<TerrainDetailTransformGroup*>(entity);
    auto* mask =
        dynamic_cast<TerrainDetailTransformGroup*>(EntityRegistry::find(values[7].intValue));
    int64_t count = 0;
    if (group != nullptr && mask == nullptr) {
        Log::get() << "Error: setDensityMaskedParallelogram: mask " << values[7].intValue
                   << " is not a TerrainDetailTransformGroup\n";
    } else if (group != nullptr) {
        count = group->setDensityMaskedParallelogram(
            values[0].floatValue, values[1].floatValue, values[2].floatValue, values[3].floatValue,
            values[4].floatValue, values[5].floatValue, values[6].intValue, *mask,
            values[8].intValue, values[9].floatValue);
    }
    scriptResult(values).setFloat(float(count));
}

void getDensityRegion(Entity* entity, ScriptValue* values) {
    auto* group = dynamic_cast<TerrainDetailTransformGroup*>(entity);
    const int64_t count = group != nullptr
                              ? group->getDensityRegion(values[0].floatValue, values[1].floatValue,
                                                        values[2].floatValue, values[3].floatValue,
                                                        values[4].intValue)
                              : 0;
    scriptResult(values).setInt(toScriptInt(count));
}

void getDensityRegionWorld(Entity* entity, ScriptValue* values) {
    auto* group = dynamic_cast<TerrainDetailTransformGroup*>(entity);
    const int64_t count =
        group != nullptr ? group->getDensityRegionWorld(values[0].floatValue, values[1].floatValue,
                                                        values[2].floatValue, values[3].floatValue,
                                                        values[4].intValue)
                         : 0;
    scriptResult(values).setInt(toScriptInt(count));
}

void saveDensityMapToFile(Entity* entity, ScriptValue* values) {
    auto* group = dynamic_cast<TerrainDetailTransformGroup*>(entity);
    const bool saved = group != nullptr && values[0].type == ScriptType::String &&
                       values[0].stringValue != nullptr &&
                       group->saveDensityMapToFile(values[0].stringValue);
    scriptResult(values).setBool(saved);
}

void getDensityMapFileName(Entity* entity, ScriptValue* values) {
    auto* group = dynamic_cast<TerrainDetailTransformGroup*>(entity);
    if (group == nullptr) {
        scriptResult(values).setString("");
        return;
    }
    // The text must outlive the push back to the script.
    static std::string text;
    text = group->getDensityMapFileName();
    scriptResult(values).setString(text.c_str());
}

void setEnableGrowth(Entity* entity, ScriptValue* values) {
    if (auto* foliage = dynamic_cast<FoliageTransformGroup*>(entity)) {
        foliage->setEnableGrowth(values[0].isTrue());
    }
}

const char* stringArgument(const ScriptValue& value) {
    return value.type == ScriptType::String && value.stringValue != nullptr ? value.stringValue
                                                                            : "";
}

Entity* newFoliageConstructor(ScriptValue* /*values*/) {
    return new FoliageConstructor();
}

void foliageSetDensityMap(Entity* entity, ScriptValue* values) {
    auto* constructor = dynamic_cast<FoliageConstructor*>(entity);
    scriptResult(values).setBool(constructor != nullptr &&
                                 constructor->setDensityMap(stringArgument(values[0])));
}

void foliageSetPlantThreshold(Entity* entity, ScriptValue* values) {
    if (auto* constructor = dynamic_cast<FoliageConstructor*>(entity)) {
        constructor->setPlantThreshold(values[0].floatValue);
    }
}

void foliageSetCellSize(Entity* entity, ScriptValue* values) {
    if (auto* constructor = dynamic_cast<FoliageConstructor*>(entity)) {
        constructor->setCellSize(values[0].intValue, values[1].floatValue);
    }
}

void foliageSetFoliageSize(Entity* entity, ScriptValue* values) {
    if (auto* constructor = dynamic_cast<FoliageConstructor*>(entity)) {
        constructor->setFoliageSize(values[0].floatValue, values[1].floatValue,
                                    values[2].floatValue);
    }
}

void foliageSetMaterial(Entity* entity, ScriptValue* values) {
    auto* constructor = dynamic_cast<FoliageConstructor*>(entity);
    scriptResult(values).setBool(constructor != nullptr &&
                                 constructor->setMaterial(stringArgument(values[0])));
}

void foliageFinalize(Entity* entity, ScriptValue* values) {
    auto* constructor = dynamic_cast<FoliageConstructor*>(entity);
    const int32_t id = constructor != nullptr
                           ? constructor->finalize(stringArgument(values[0]), values[1].intValue)
                           : 0;
    if (id != 0) {
        scriptResult(values).setInt(id);
    }
}

}  // namespace

void addDetailLayerScriptApi(ScriptApi& api) {
    api.addEntityClass(
        "TerrainDetailTransformGroup", "TransformGroup", nullptr,
        {
            {"getDensityParallelogram", "ffffffi", "i", getDensityParallelogram},
            {"setDensityParallelogram", "ffffffif", "f", setDensityParallelogram},
            {"setDensityMaskedParallelogram", "ffffffiiif", "f", setDensityMaskedParallelogram},
            {"getDensityRegion", "ffffi", "i", getDensityRegion},
            {"getDensityRegionWorld", "ffffi", "i", getDensityRegionWorld},
            {"saveDensityMapToFile", "s", "b", saveDensityMapToFile},
            {"getDensityMapFileName", "", "s", getDensityMapFileName},
        });
    api.addEntityClass("FoliageTransformGroup", "TerrainDetailTransformGroup", nullptr,
                       {
                           {"setEnableGrowth", "b", "", setEnableGrowth},
                       });
    api.addObjectClass("FoliageConstructor", newFoliageConstructor,
                       {
                           {"setDensityMap", "s", "b", foliageSetDensityMap},
                           {"setPlantThreshold", "f", "", foliageSetPlantThreshold},
                           {"setCellSize", "if", "", foliageSetCellSize},
                           {"setFoliageSize", "fff", "", foliageSetFoliageSize},
                           {"setMaterial", "s", "b", foliageSetMaterial},
                           {"finalize", "si", "i", foliageFinalize},
                       });
}
