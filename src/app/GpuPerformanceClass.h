#pragma once
// GPU performance classes: the user's choice in the configuration or the
// class detected from the OpenGL renderer name through the reference list
// of known GPUs, and the scalability coefficients each class gives.

#include <string>

#include "app/EngineManager.h"

class ScriptApi;

namespace gpuclass {

constexpr int Low = 0;
constexpr int Medium = 1;
constexpr int High = 2;
constexpr int VeryHigh = 3;

// "low", "medium", "high", "very high" in any case; anything else Medium.
int fromName(const char* name);
// "Low" .. "Very High"; "Medium" for a class outside 0..3.
const char* displayName(int gpuClass);

// The class of the first gpu entry of the reference file whose id (lowered)
// the lowered renderer name contains; Medium when none matches or the file
// does not load. The search ends at a vendor without a name and at a gpu
// without id or profile.
int detect(const std::string& rendererName, const std::string& referencePath);

// Detects, lets the automatic flag pick the detected class, sets the
// coefficients of the selected class and logs the profile.
void select(EngineManager::Scalability& scalability, const std::string& rendererName,
            const std::string& referencePath);

// "getGPUPerformanceClass", "setGPUPerformanceClass",
// "getAutoGPUPerformanceClass".
void addScriptFunctions(ScriptApi& api);

}  // namespace gpuclass
