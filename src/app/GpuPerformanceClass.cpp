#include "app/GpuPerformanceClass.h"

#include <strings.h>

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "foundation/Log.h"
#include "foundation/Properties.h"
#include "foundation/XMLConfigFile.h"
#include "scripting/ScriptApi.h"
#include "terrain/TerrainSettings.h"

namespace {

const char kConfigKey[] = "game.graphic.scalability.gpuPerformaceClass";

struct ClassRow {
    const char* name;
    const char* displayName;
    float viewDistanceCoeff;
    float shadowQuality;
    float terrainLodDistanceCoeff;
    // The terrain's cheaper pixels: detail layers to a share of their
    // distance, lighting per vertex (unless the configuration says).
    float terrainLayerDistanceCoeff;
    bool terrainVertexLighting;
};

const ClassRow kClasses[] = {
    {"low", "Low", 0.75f, 0.0f, 0.75f, 0.5f, true},
    {"medium", "Medium", 1.0f, 1.0f, 1.0f, 1.0f, false},
    {"high", "High", 1.5f, 1.0f, 1.5f, 1.0f, false},
    {"very high", "Very High", 2.0f, 2.0f, 2.0f, 1.0f, false},
};
constexpr int kClassCount = 4;

std::string lowered(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

void getGPUPerformanceClass(Entity*, ScriptValue* values) {
    Properties* config = EngineManager::get().getConfig();
    const char* value = config != nullptr ? config->getString(kConfigKey) : nullptr;
    if (value != nullptr) {
        values[ScriptSlots::FirstResult].setString(value);
    }
}

void setGPUPerformanceClass(Entity*, ScriptValue* values) {
    Properties* config = EngineManager::get().getConfig();
    if (config == nullptr || values[0].type != ScriptType::String) {
        return;
    }
    config->setString(kConfigKey, values[0].stringValue);
    config->save();
}

void getAutoGPUPerformanceClass(Entity*, ScriptValue* values) {
    values[ScriptSlots::FirstResult].setString(
        gpuclass::displayName(EngineManager::get().getScalability().detectedClass));
}

}  // namespace

namespace gpuclass {

int fromName(const char* name) {
    if (name != nullptr) {
        for (int i = 0; i < kClassCount; ++i) {
            if (strcasecmp(name, kClasses[i].name) == 0) {
                return i;
            }
        }
    }
    return Medium;
}

const char* displayName(int gpuClass) {
    return gpuClass >= 0 && gpuClass < kClassCount ? kClasses[gpuClass].displayName : "Medium";
}

int detect(const std::string& rendererName, const std::string& referencePath) {
    XMLConfigFile reference(referencePath, "PerformanceReferenceFile", false);
    if (!reference.isLoaded()) {
        return Medium;
    }
    std::string renderer = lowered(rendererName);
    char vendorPath[128];
    char path[192];
    for (int v = 0;; ++v) {
        std::snprintf(vendorPath, sizeof(vendorPath), "performanceReference.gpus.vendor(%d)", v);
        std::snprintf(path, sizeof(path), "%s#name", vendorPath);
        if (reference.getString(path) == nullptr) {
            return Medium;
        }
        for (int g = 0;; ++g) {
            char gpuPath[160];
            std::snprintf(gpuPath, sizeof(gpuPath), "%s.gpu(%d)", vendorPath, g);
            std::snprintf(path, sizeof(path), "%s#id", gpuPath);
            const char* id = reference.getString(path);
            std::string idText = id != nullptr ? id : "";
            std::snprintf(path, sizeof(path), "%s#profile", gpuPath);
            const char* profile = reference.getString(path);
            if (id == nullptr || profile == nullptr) {
                break;
            }
            if (renderer.find(lowered(idText)) != std::string::npos) {
                return fromName(profile);
            }
        }
    }
}

void select(EngineManager::Scalability& scalability, const std::string& rendererName,
            const std::string& referencePath) {
    scalability.detectedClass = detect(rendererName, referencePath);
    if (scalability.automatic) {
        scalability.selectedClass = scalability.detectedClass;
    }
    int selected = scalability.selectedClass;
    if (selected >= 0 && selected < kClassCount) {
        const ClassRow& row = kClasses[selected];
        scalability.viewDistanceCoeff = row.viewDistanceCoeff;
        scalability.shadowQuality = row.shadowQuality;
        scalability.terrainLodDistanceCoeff = row.terrainLodDistanceCoeff;
        TerrainSettings::setLodDistanceCoeff(row.terrainLodDistanceCoeff);
        TerrainSettings::setLayerDistanceCoeff(row.terrainLayerDistanceCoeff);
        TerrainSettings::setClassVertexLighting(row.terrainVertexLighting);
    }
    Log::get() << "GPU profile: " << displayName(selected) << "\n";
    Log::get() << "  View Distance Coeff: " << scalability.viewDistanceCoeff << "\n";
    Log::get() << "  Shadow Quality: " << scalability.shadowQuality << "\n";
    Log::get() << "  Terrain LOD Distance Coeff: " << scalability.terrainLodDistanceCoeff << "\n";
}

void addScriptFunctions(ScriptApi& api) {
    api.addGlobalFunctions({
        {"getGPUPerformanceClass", "", "s", getGPUPerformanceClass, "",
         "name: as stored, such as \"medium\"",
         "Returns the graphics quality class stored in the user configuration; nil when none is "
         "stored."},
        {"setGPUPerformanceClass", "s", "", setGPUPerformanceClass,
         "name: \"low\", \"medium\", \"high\" or \"very high\" (any case)", "",
         "Stores the graphics quality class in the user configuration and saves it; it is "
         "applied at the next start."},
        {"getAutoGPUPerformanceClass", "", "s", getAutoGPUPerformanceClass, "",
         "name: display name such as \"Medium\"",
         "Returns the quality class detected for this graphics card."},
    });
}

}  // namespace gpuclass
