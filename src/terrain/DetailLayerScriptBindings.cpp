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
    // Channels outside the map are logged and count or change nothing.
    api.addEntityClass(
        "TerrainDetailTransformGroup", "TransformGroup", nullptr,
        {
            {"getDensityParallelogram", "ffffffi", "i", getDensityParallelogram,
             "x, z: world units, a corner; wx, wz: world units, the first side; hx, hz: world "
             "units, the second side; channel: density map channel",
             "count: density map pixels set",
             "Counts the set pixels of the channel inside a parallelogram on the ground."},
            {"setDensityParallelogram", "ffffffif", "f", setDensityParallelogram,
             "x, z: world units, a corner; wx, wz: world units, the first side; hx, hz: world "
             "units, the second side; channel: density map channel; value: above 0.5 sets, "
             "otherwise clears",
             "count: density map pixels changed",
             "Paints or clears a parallelogram of the channel, for example to cut grass under a "
             "road."},
            {"setDensityMaskedParallelogram", "ffffffiiif", "f", setDensityMaskedParallelogram,
             "x, z: world units, a corner; wx, wz: world units, the first side; hx, hz: world "
             "units, the second side; channel: density map channel; mask: another detail layer; "
             "maskChannel: its channel; value: above 0.5 sets, otherwise clears",
             "count: density map pixels changed",
             "Paints or clears the parallelogram only where the mask layer's channel is set; a "
             "mask that is not a detail layer is logged and 0 returned."},
            {"getDensityRegion", "ffffi", "i", getDensityRegion,
             "x, z: density map pixels, a corner; width, height: density map pixels; channel: "
             "density map channel",
             "count: pixels set", "Counts the set pixels of the channel in a map rectangle."},
            {"getDensityRegionWorld", "ffffi", "i", getDensityRegionWorld,
             "x, z: world units, a corner; width, height: world units; channel: density map "
             "channel",
             "count: density map pixels set",
             "Counts the set pixels of the channel in a rectangle on the ground."},
            {"saveDensityMapToFile", "s", "b", saveDensityMapToFile,
             "path: relative to the user's density map folder, empty for the map's own name",
             "saved",
             "Saves the density map; false when there is no map or the path is absolute, holds "
             "\"..\" or cannot be written (logged)."},
            {"getDensityMapFileName", "", "s", getDensityMapFileName, "", "fileName",
             "Returns the density map's file name without its folder."},
        });
    api.describeClass("TerrainDetailTransformGroup",
                      {"layer",
                       "A detail layer on a terrain (grass, stones) placed by a density "
                       "map."});
    api.addEntityClass("FoliageTransformGroup", "TerrainDetailTransformGroup", nullptr,
                       {
                           {"setEnableGrowth", "b", "", setEnableGrowth, "enabled", "",
                            "Lets the foliage grow back over time or keeps it as it is."},
                       });
    api.describeClass("FoliageTransformGroup",
                      {"foliage", "A detail layer of plants that can grow back."});
    api.addObjectClass(
        "FoliageConstructor", newFoliageConstructor,
        {
            {"setDensityMap", "s", "b", foliageSetDensityMap, "path: image file", "accepted",
             "Chooses the density map image; false for a path longer than 255 characters "
             "(logged)."},
            {"setPlantThreshold", "f", "", foliageSetPlantThreshold,
             "threshold: 0 to 1, the density above which a plant grows", "",
             "Sets how dense the map must be for a plant."},
            {"setCellSize", "if", "", foliageSetCellSize,
             "cells: terrain grid units per cell side, a power of two; blocksPerUnit: plant "
             "blocks per grid unit",
             "",
             "Sets the size of the cells the foliage is built and drawn in; a size that is "
             "not a power of two is logged and ignored."},
            {"setFoliageSize", "fff", "", foliageSetFoliageSize,
             "width, height: world units; heightVariance: world units, added at random", "",
             "Sets the size of the plants."},
            {"setMaterial", "s", "b", foliageSetMaterial, "name: a material of a loaded scene",
             "found",
             "Chooses the plants' material by name; false when none has that name "
             "(logged)."},
            {"finalize", "si", "i", foliageFinalize, "name: the new node's name; terrain",
             "foliage: id of the new node",
             "Builds the foliage layer below the terrain and returns it; nil when a parameter is "
             "missing or the id names no terrain (logged)."},
        });
    api.describeClass("FoliageConstructor",
                      {"",
                       "Describes a foliage layer step by step and then builds it on a "
                       "terrain."});
}
