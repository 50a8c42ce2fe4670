#include "terrain/TerrainSettings.h"

#include <cmath>

#include "foundation/Log.h"

namespace {

struct Settings {
    float lodDistanceCoeff = 1.0f;
    unsigned generation = 0;
    bool vertexLighting = false;
};

Settings& settings() {
    static Settings s;
    return s;
}

}  // namespace

namespace TerrainSettings {

void setLodDistanceCoeff(float coeff) {
    if (!(coeff > 0.0f) || !std::isfinite(coeff)) {
        Log::get() << "Warning: terrain LOD distance coefficient " << coeff
                   << " ignored, it must be above 0\n";
        return;
    }
    if (coeff != settings().lodDistanceCoeff) {
        settings().lodDistanceCoeff = coeff;
        ++settings().generation;
    }
}

float getLodDistanceCoeff() {
    return settings().lodDistanceCoeff;
}

unsigned getLodDistanceCoeffGeneration() {
    return settings().generation;
}

void setVertexLighting(bool vertexLighting) {
    settings().vertexLighting = vertexLighting;
}

bool getVertexLighting() {
    return settings().vertexLighting;
}

}  // namespace TerrainSettings
