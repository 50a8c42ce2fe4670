#pragma once
// One square piece of a geo-mipmapped terrain: patchSize x patchSize grid
// vertices (shared with the neighbours along the borders) in one device
// vertex buffer, drawn as a triangle strip of the level its camera distance
// asks for. Edges beside a coarser neighbour are snapped onto that
// neighbour's vertices, so no cracks open between levels. The patch also
// selects the (at most four) detail layers that cover it and keeps their
// weights in a small texture.
//
// The shape that draws the patch listens to it (layer selection and
// geometry changes). Drawing goes straight to the render device: the strips
// are shared by all patches of the terrain.

#include <array>
#include <cstdint>
#include <memory>

#include "scene/Geometry.h"

class GeoMipMappingTerrain;
class IVertexBuffer;
class Texture;

// The 28-byte vertex of a patch: position, normal and the weight-map
// coordinate in 0..32767.
struct TerrainVertex {
    float position[3];
    float normal[3];
    int16_t texCoord[2];
};
static_assert(sizeof(TerrainVertex) == 28, "patch vertices are 28 bytes");

class ITerrainPatchListener {
public:
    virtual ~ITerrainPatchListener() = default;
    virtual void patchLayersChanged() = 0;
    virtual void patchGeometryChanged() = 0;
};

class GeoMipMappingTerrainPatch : public VertexBufferGeometry {
public:
    static constexpr int kMaxLayers = 4;
    // Neighbour slots: previous row (the z = 0 edge), next row, previous
    // column (the x = 0 edge), next column.
    enum Side { PreviousRow = 0, NextRow = 1, PreviousColumn = 2, NextColumn = 3 };

    GeoMipMappingTerrainPatch(GeoMipMappingTerrain& terrain, uint32_t column, uint32_t row);
    ~GeoMipMappingTerrainPatch() override;

    // Selects the layers, makes the weights texture and the vertex buffer.
    void init();
    // The terrain is going away: the patch draws nothing from now on.
    void detach() { m_terrain = nullptr; }
    // The terrain, none once it is gone.
    GeoMipMappingTerrain* getTerrain() const { return m_terrain; }

    void draw(SceneRenderContext& context, size_t subMesh) override;

    // Chooses the level for a camera distance (already divided by the LOD
    // coefficient); nothing when the distance is the stored one.
    void prepareForDrawing(float distance);
    int getLevel() const { return m_level; }
    float getDistance() const { return m_distance; }

    // Writes the patchSize^2 vertices from the terrain's heights.
    void fillVertices(TerrainVertex* out) const;
    // Refills the vertex buffer and the bounds from the heights.
    void rebuildGeometry();

    // Picks the layers with the largest weight sums over the patch's block
    // and rebuilds the weights texture; the listener is told.
    void selectLayers();
    // Terrain layer indices of the selected layers, -1 in unused slots.
    const std::array<int, kMaxLayers>& getSelectedLayers() const { return m_selected; }
    int getNumSelectedLayers() const;
    // Share of each selected layer in the patch's weights (percent).
    const std::array<float, kMaxLayers>& getCoverage() const { return m_coverage; }
    Texture* getWeightsTexture() const { return m_weightsTexture; }

    void setNeighbour(Side side, GeoMipMappingTerrainPatch* patch) { m_neighbours[side] = patch; }
    GeoMipMappingTerrainPatch* getNeighbour(Side side) const { return m_neighbours[side]; }
    // The key of the strip drawn now: the level in bits 16 and up, and per
    // side (4 bits each, previous row lowest) how many levels coarser the
    // neighbour there is.
    uint32_t getStripKey() const;

    uint32_t getColumn() const { return m_column; }
    uint32_t getRow() const { return m_row; }

    // Which of the shape's materials (near, blend, far) draws the patch.
    void setMaterialVariant(int variant);
    int getMaterialVariant() const { return m_variant; }

    void setListener(ITerrainPatchListener* listener) { m_listener = listener; }

    // The bounds in world space as of the last level update.
    const BoundingSphere& getWorldBounds() const { return m_worldBounds; }
    void setWorldBounds(const BoundingSphere& bounds) { m_worldBounds = bounds; }

private:
    void buildWeightsTexture();
    void releaseWeightsTexture();

    GeoMipMappingTerrain* m_terrain;
    uint32_t m_column;
    uint32_t m_row;
    std::array<GeoMipMappingTerrainPatch*, 4> m_neighbours{};
    float m_distance = -1.0f;
    int m_level = 0;
    std::unique_ptr<IVertexBuffer> m_vertexBuffer;
    Texture* m_weightsTexture = nullptr;  // one reference held
    std::array<int, kMaxLayers> m_selected{-1, -1, -1, -1};
    std::array<float, kMaxLayers> m_coverage{};
    ITerrainPatchListener* m_listener = nullptr;
    SubMesh* m_subMesh = nullptr;  // the one sub-mesh: which material draws
    int m_variant = 0;
    BoundingSphere m_worldBounds;
};
