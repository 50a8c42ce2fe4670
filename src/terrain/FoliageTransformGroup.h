#pragma once
// Foliage on a terrain: plants of three crossed quads on the blocks where
// channel 0 of the density map is set, built per cell around the camera.
// Positions, heights and atlas columns come from a generator seeded by the
// cell's coordinates, so a rebuilt cell looks the same. Optionally the last
// channels of the map hold a growth state per pixel: the plant's height and
// atlas sub-column follow it, and a sweep over the cells advances the states
// over time.

#include "base/math/RandomGenerator.h"
#include "terrain/TerrainDetailTransformGroup.h"

struct FoliageParams : TerrainDetailParams {
    int32_t atlasSize = 1;
    float plantThreshold = 0.5f;
    float blocksPerUnit = 2.0f;
    float width = 2.0f;
    float height = 2.0f;
    float heightVariance = 0.2f;
    float positionVariance = 0.3f;
    int32_t growthNumStates = 0;
    float growthStateTime = 0.0f;  // ms for one sweep over all cells
};

class FoliageTransformGroup : public TerrainDetailTransformGroup {
public:
    // Largest number of blocks along a cell side; more is clamped (logged).
    static constexpr uint32_t kMaxBlocksPerSide = 256;

    FoliageTransformGroup(const std::string& name, const FoliageParams& params,
                          TerrainTransformGroup& terrainNode);
    ~FoliageTransformGroup() override;

    const char* getClassName() const override { return "FoliageTransformGroup"; }

    void setEnableGrowth(bool enable) { m_growthEnabled = enable; }
    bool isGrowthEnabled() const { return m_growthEnabled; }
    // Growth states in use (0: none).
    int32_t getGrowthNumStates() const { return m_numStates; }
    uint32_t getGrowthBitCount() const { return m_growthBits; }
    uint32_t getBlocksPerSide() const { return m_blocksPerSide; }
    const FoliageParams& getParams() const { return m_params; }

    // The growth state of a density pixel (clamped to the last state).
    uint32_t getGrowthState(uint32_t x, uint32_t z) const;
    void setGrowthState(uint32_t x, uint32_t z, uint32_t state);
    // One step of the growth sweep for a frame of `frameMs`; returns the
    // number of cells visited.
    uint32_t advanceGrowth(float frameMs);

protected:
    bool buildCell(LocalGeometryShape& shape) override;
    void releaseCell(LocalGeometryShape& shape) override;
    std::unique_ptr<LocalGeometryShape> createCellShape(const std::string& name,
                                                        int level) override;
    void beforeCellUpdate(float frameMs) override;

private:
    struct Plant {
        float x, z;  // from the terrain's corner
        float r2, r3;
        uint32_t state;
    };
    // Ground height at a position measured from the terrain's corner.
    float groundHeight(float x, float z) const;

    FoliageParams m_params;
    uint32_t m_blocksPerSide = 0;
    int32_t m_numStates = 0;
    uint32_t m_growthBits = 0;
    bool m_growthEnabled = true;
    float m_growthTimer = 0.0f;
    float m_growthCredit = 0.0f;
    uint64_t m_growthCursor = 0;
    RandomGenerator m_random;
    std::vector<Plant> m_plants;  // scratch of the cell being built
};
