#pragma once
// A detail layer of a terrain: a density map with up to eight on/off
// channels covering the whole terrain, the script operations that read and
// paint it, and cells around the camera built from it. This class builds
// each cell as a piece of the terrain surface (its heights plus an offset),
// drawn only where one of the first four channels is set; foliage derives
// from it and builds plants instead.
//
// When the layer's material has a custom shader, every surface cell draws
// with a material of its own: the custom shader compiled with
// "#define TERRAIN_DETAIL_CHANNEL_<k + 1>" for exactly the channels k that
// occur in the cell, and, when the layer names a density map shader
// parameter, the cell's window of the density map as the custom texture of
// that name (RGBA, channel k in component k).
//
// The group is a child of its terrain node with an identity transform, so
// its space is the terrain's: the origin at the terrain's centre. World
// positions given to the density operations are offsets from that centre.

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "foundation/Entity.h"
#include "terrain/DensityMap.h"
#include "terrain/LocalGeometryTransformGroup.h"

class IIndexBuffer;
class IRenderDevice;
class IVertexBuffer;
class IVertexDeclaration;
class Material;
class TerrainTransformGroup;
class BaseTerrain;
class CustomShader;
class SharedCellBuffers;
class TerrainDetailGeometry;

// What a detail layer is made from (defaults of the scene file).
struct TerrainDetailParams {
    float cellSize = 64.0f;  // world units
    uint32_t objectMask = 0xFFFFFFFFu;
    float viewDistance = 50.0f;
    Material* material = nullptr;  // a reference is taken
    float terrainOffset = 0.0f;
    std::string densityMapPath;  // resolved
    int32_t numDensityMapChannels = 1;
    std::string densityMapShaderName;
};

class TerrainDetailTransformGroup : public LocalGeometryTransformGroup {
public:
    // Node flag of a hidden cell shape.
    static constexpr uint32_t kDetailNodeFlag = 0x400;
    // Paths longer than this are refused.
    static constexpr size_t kMaxPathLength = 255;
    // Largest side of a cell's density texture; a cell with more density
    // pixels per side gets its block scaled down to this.
    static constexpr uint32_t kMaxDensityTextureSide = 256;

    // Builds the group on the terrain node. Any failure (no terrain, a cell
    // larger than half the terrain, a density map that does not load or is
    // smaller than the cell count) is logged and leaves the group empty.
    // `surfaceCells` is false when a subclass builds its own cells.
    TerrainDetailTransformGroup(const std::string& name, const TerrainDetailParams& params,
                                TerrainTransformGroup& terrainNode, bool surfaceCells = true);
    ~TerrainDetailTransformGroup() override;

    const char* getClassName() const override { return "TerrainDetailTransformGroup"; }

    void actionPerformed(void* source, int eventKind, int32_t value1, int32_t value2) override;

    // True when the density map loaded and the cells are set up.
    bool isValid() const { return m_valid; }
    DensityMap& getDensityMap() { return m_map; }
    const DensityMap& getDensityMap() const { return m_map; }
    // Terrain grid units per cell side (a power of two).
    uint32_t getCellGridSize() const { return m_cellGrid; }
    uint32_t getCellsPerSide() const { return m_cellsPerSide; }
    uint32_t getDensityPixelsPerCell() const { return m_pixelsPerCell; }
    float getViewDistance() const { return m_viewDistance; }
    float getTerrainOffset() const { return m_terrainOffset; }
    Material* getMaterial() const { return m_material; }
    // The terrain, none once its node is deleted.
    BaseTerrain* getTerrain() const;

    // World offset from the terrain centre to density coordinates.
    float toDensity(float world) const;

    // The script operations. Channels out of range are logged and give 0.
    int64_t getDensityParallelogram(float x, float z, float wx, float wz, float hx, float hz,
                                    int32_t channel) const;
    int64_t setDensityParallelogram(float x, float z, float wx, float wz, float hx, float hz,
                                    int32_t channel, float value);
    int64_t setDensityMaskedParallelogram(float x, float z, float wx, float wz, float hx, float hz,
                                          int32_t channel, const TerrainDetailTransformGroup& mask,
                                          int32_t maskChannel, float value);
    int64_t getDensityRegion(float x, float z, float width, float height, int32_t channel) const;
    int64_t getDensityRegionWorld(float x, float z, float width, float height,
                                  int32_t channel) const;
    // Saves the map below the density map folder (DetailLayerSettings): an
    // empty path saves under the map's own path. Paths that are absolute,
    // hold "..", or are too long are refused. True when the file was written.
    bool saveDensityMapToFile(const std::string& path) const;
    // The density map's path after its last "/".
    std::string getDensityMapFileName() const;

    // The define lines that select the channels of a mask (bit k: channel
    // k, k < 4): "#define TERRAIN_DETAIL_CHANNEL_<k + 1>\n" for each set bit.
    static std::string channelDefines(uint32_t mask);
    // The layer material's custom shader with the defines of a channel mask
    // (1..15), made on first use and shared by every layer of that shader;
    // none without a custom shader or when it cannot be registered.
    CustomShader* getChannelShader(uint32_t mask);

protected:
    bool buildCell(LocalGeometryShape& shape) override;
    void releaseCell(LocalGeometryShape& shape) override;
    std::unique_ptr<LocalGeometryShape> createCellShape(const std::string& name,
                                                        int level) override;

    // Terrain cell of a window cell, false outside the terrain.
    bool terrainCell(const LocalGeometryShape& shape, uint32_t& cx, uint32_t& cz) const;
    // Marks the cells under a density rectangle for an immediate rebuild.
    void rebuildDensityRect(const DensityMap::Rect& rect);
    float getPixelsPerCellF() const { return m_pixelsPerCellF; }
    TerrainTransformGroup* getTerrainNode() const { return m_terrainNode; }
    SharedCellBuffers* getSharedBuffers() const { return m_buffers.get(); }
    void setSharedBuffers(std::unique_ptr<SharedCellBuffers> buffers);

private:
    bool checkChannel(int32_t channel, bool allowAll, const char* operation) const;
    // Fills the cell's density texels (and its texture) from the block of
    // the cell grown by one pixel.
    void buildDensityTexels(uint32_t cx, uint32_t cz, LocalGeometryShape& shape,
                            TerrainDetailGeometry& geometry);
    // Gives the shape a material for the cell's channels (and texture) when
    // they changed since the last build.
    void updateCellMaterial(LocalGeometryShape& shape, TerrainDetailGeometry& geometry);
    bool usesCellMaterials() const;

    TerrainTransformGroup* m_terrainNode;  // not owned; cleared when it is deleted
    Material* m_material = nullptr;        // one reference held
    uint32_t m_cellGrid = 1;
    uint32_t m_cellsPerSide = 0;
    float m_viewDistance = 50.0f;
    float m_terrainOffset = 0.0f;
    std::string m_densityMapName;
    std::string m_shaderParameterName;
    DensityMap m_map;
    uint32_t m_pixelsPerCell = 0;
    float m_pixelsPerCellF = 0.0f;
    bool m_valid = false;
    std::unique_ptr<SharedCellBuffers> m_buffers;
    // Channel-selecting variants of the material's custom shader by mask.
    std::array<RefPtr<CustomShader>, 16> m_channelShaders;
    std::vector<uint8_t> m_blockScratch;  // the grown block of the cell being built
    bool m_textureFailed = false;         // logged once
};
