#pragma once
// Process-wide terrain settings: the level-of-detail distance coefficient
// scripts set ("setTerrainLODDistanceCoeff") and the vertex-lighting switch
// latched from the configuration at start-up.

namespace TerrainSettings {

// Patch distances are divided by the coefficient before a level is chosen:
// above 1 keeps finer levels farther away. Values that are not above 0 (or
// not finite) are refused with a log line and the coefficient stays.
void setLodDistanceCoeff(float coeff);
float getLodDistanceCoeff();
// Counts coefficient changes, so terrains know to choose their levels again
// even when the camera has not moved.
unsigned getLodDistanceCoeffGeneration();

// True when "game.graphic.scalability.terrain.perPixelLighting" is present
// and not "true": directional lighting is then computed per vertex.
void setVertexLighting(bool vertexLighting);
bool getVertexLighting();

}  // namespace TerrainSettings
