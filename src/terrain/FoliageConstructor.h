#pragma once
// Builds a foliage layer from a script: the parameters start at the scene
// file's defaults, "finalize" creates the FoliageTransformGroup below a
// terrain node.
//
// The material: the one named with setMaterial (a material entity of a
// loaded scene, found by name); without one, the material of the first
// foliage layer already on that terrain.

#include <string>

#include "foundation/Entity.h"
#include "terrain/FoliageTransformGroup.h"

class FoliageConstructor : public Entity {
public:
    FoliageConstructor();
    ~FoliageConstructor() override;

    const char* getClassName() const override { return "FoliageConstructor"; }

    // Paths longer than 255 characters are refused (false, logged).
    bool setDensityMap(const std::string& path);
    void setPlantThreshold(float threshold);
    // `cells` in terrain grid units, a power of two >= 1; otherwise logged
    // and nothing changes.
    bool setCellSize(int32_t cells, float blocksPerUnit);
    void setFoliageSize(float width, float height, float heightVariance);
    // A material entity of that name; false (logged) when none exists.
    bool setMaterial(const std::string& name);
    // The new node's id, or 0 (logged) when parameters are missing or the
    // id does not name a terrain.
    int32_t finalize(const std::string& name, int32_t terrainId);

    const FoliageParams& getParams() const { return m_params; }

private:
    FoliageParams m_params;
    int32_t m_cellGrid = 64;         // grid units; the world size follows the terrain
    Material* m_material = nullptr;  // one reference held
};
