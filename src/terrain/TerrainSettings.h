#pragma once
// Process-wide terrain settings: the level-of-detail distance coefficient
// scripts set ("setTerrainLODDistanceCoeff"), the vertex-lighting switch
// latched from the configuration at start-up, and what the GPU class
// chooses for the terrain's pixel cost. The class is chosen before scenes
// load; terrains made earlier keep what they were made with.

namespace TerrainSettings {

// Patch distances are divided by the coefficient before a level is chosen:
// above 1 keeps finer levels farther away. Values that are not above 0 (or
// not finite) are refused with a log line and the coefficient stays.
void setLodDistanceCoeff(float coeff);
float getLodDistanceCoeff();
// Counts coefficient changes, so terrains know to choose their levels again
// even when the camera has not moved.
unsigned getLodDistanceCoeffGeneration();

// Set from "game.graphic.scalability.terrain.perPixelLighting" when the
// configuration has it (true when it is not "true"): directional lighting
// is then computed per vertex. Without it the GPU class decides.
void setVertexLighting(bool vertexLighting);
// The GPU class's choice, used while the configuration says nothing.
void setClassVertexLighting(bool vertexLighting);
bool getVertexLighting();

// The share of the terrain's LOD blend distances within which the detail
// layers are drawn (0 < coeff <= 1; others are refused with a log line).
// Below 1 the far variant, which samples the LOD colour map alone, starts
// nearer: fewer texture lookups per pixel.
void setLayerDistanceCoeff(float coeff);
float getLayerDistanceCoeff();

}  // namespace TerrainSettings
