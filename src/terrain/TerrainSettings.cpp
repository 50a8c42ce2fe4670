#include "terrain/TerrainSettings.h"

#include <cmath>

#include "foundation/Log.h"

namespace {

struct Settings {
    float lodDistanceCoeff = 1.0f;
    unsigned generation = 0;
    bool vertexLighting = false;
    bool vertexLightingConfigured = false;
    bool classVertexLighting = false;
    float layerDistanceCoeff = 1.0f;
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
    settings().vertexLightingConfigured = true;
}

void setClassVertexLighting(bool vertexLighting) {
    settings().classVertexLighting = vertexLighting;
}

bool getVertexLighting() {
    const Settings& s = settings();
    return s.vertexLightingConfigured ? s.vertexLighting : s.classVertexLighting;
}

void setLayerDistanceCoeff(float coeff) {
    if (!(coeff > 0.0f && coeff <= 1.0f)) {
        Log::get() << "Warning: terrain layer distance coefficient " << coeff
                   << " ignored, it must lie in (0, 1]\n";
        return;
    }
    if (coeff != settings().layerDistanceCoeff) {
        settings().layerDistanceCoeff = coeff;
        // Patches choose their variants again.
        ++settings().generation;
    }
}

float getLayerDistanceCoeff() {
    return settings().layerDistanceCoeff;
}

}  // namespace TerrainSettings
