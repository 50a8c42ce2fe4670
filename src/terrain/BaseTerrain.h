#pragma once
// BaseTerrain: the height grid of a square heightmap and the detail layers
// drawn on it. It loads the heightmap (with its size rules and padding), the
// detail layers with their weight maps and the global layer map, answers
// height queries and builds the LOD colour map: one colour texture of the
// whole terrain used in the distance. How the grid is cut into drawable
// pieces is the business of the derived class.
//
// The grid is centred on its node: column and row indices run along local
// +x and +z, grid point (col, row) lies at
// x = unitsPerPixel * (col - halfSize), z = unitsPerPixel * (row - halfSize),
// and its height (local y) is heights[col + row * n] * heightFactor.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

class Resource;
class Texture;
struct Image;

// One detail layer: a tiled texture blended in where its weight map says.
struct TerrainDetailLayer {
    // How often the detail texture repeats across the whole terrain.
    float repeat = 1.0f;
    std::string detailMapName;
    Resource* detailTexture = nullptr;  // one reference held
    std::string weightMapName;
    std::string weightMapPath;
    // Projection plane: 0 (xz), 0.5 (xy) or 1 (zy).
    float plane = 0.0f;
    bool hasDistanceColor = false;
    // The layer's colour in the LOD colour map.
    std::array<uint8_t, 3> distanceColor{128, 128, 128};
    // The weight map: one byte per pixel, first row at the top.
    uint32_t weightWidth = 0;
    uint32_t weightHeight = 0;
    std::vector<uint8_t> weights;
};

// What a detail layer is made from.
struct TerrainLayerParams {
    std::string detailMap;  // resolved path
    float unitSize = 0.0f;  // world size of one repeat of the detail texture
    std::string weightMapName;
    std::string weightMapPath;
    float plane = 0.0f;
    bool hasDistanceColor = false;
    std::array<float, 3> distanceColor{0, 0, 0};  // 0..1
};

class BaseTerrain {
public:
    // Largest grid accepted (vertices per side); larger heightmaps are
    // refused before their heights are allocated.
    static constexpr uint32_t kMaxGridSize = 8193;
    // World height of one height unit per unit of heightScale.
    static constexpr float kBaseFactor = 1.0f / 65535.0f;

    BaseTerrain();
    virtual ~BaseTerrain();
    BaseTerrain(const BaseTerrain&) = delete;
    BaseTerrain& operator=(const BaseTerrain&) = delete;

    // A pixel rectangle of the grid (x, z, width, height in grid units).
    struct PixelRect {
        int32_t x = 0;
        int32_t z = 0;
        int32_t width = 0;
        int32_t height = 0;
    };
    // A block of the weight maps: origin and size in weight-map pixels.
    struct WeightBlock {
        uint32_t x = 0;
        uint32_t z = 0;
        uint32_t width = 0;
        uint32_t height = 0;
    };

    // Every patch touching the rectangle reselects its layers and reloads its
    // weights texture.
    virtual void refreshLayerWeights(const PixelRect& rect) = 0;
    // True when every patch touching the rectangle has the layer among its
    // selected layers or a free slot for it.
    virtual bool canPaintLayer(size_t layer, const PixelRect& rect) const = 0;
    // Every patch touching the rectangle refills its vertices from the
    // heights.
    virtual void rebuildGeometry(const PixelRect& rect) = 0;
    // The weight-map block of the patch that holds grid position (x, z).
    virtual WeightBlock getPatchBlock(uint32_t x, uint32_t z) const = 0;

    // Loads the heightmap: a square image of side m, where m is a power of
    // two (the grid gets one more row and column, copied from the border) or
    // one more than a power of two. 16-bit grey, 8-bit grey (0..255) and
    // colour images (first channel x 256 + second) are read. On failure the
    // terrain has no heights and the reason is logged.
    bool loadHeightmap(const std::string& name, const std::string& path);
    // The same from an image already in memory (first row at the top);
    // `path` names it in messages.
    bool setHeightmapImage(const Image& image, const std::string& name, const std::string& path);

    // Scale and blend settings, applied once the heightmap is loaded. A
    // unitsPerPixel that is not above 0 is ignored with a log line.
    void setParameters(float heightScale, float unitsPerPixel, float lodBlendStart,
                       float lodBlendEnd);

    // Adds a detail layer; a layer that fails is not added (logged, or
    // silent when one of its files does not load).
    bool addLayer(const TerrainLayerParams& params);
    // Loads the global layer map (3 channels); none is no error.
    void setGlobalLayerMap(const std::string& name, const std::string& path);

    // Grid.
    bool hasHeights() const { return !m_heights.empty(); }
    uint32_t getSize() const { return m_size; }
    float getHalfSize() const { return m_halfSize; }
    const std::vector<uint16_t>& getHeights() const { return m_heights; }
    uint16_t getHighestHeight() const { return m_highest; }
    uint16_t getLowestHeight() const { return m_lowest; }
    // World height of one height unit (heights x factor = local y).
    float getHeightFactor() const { return m_heightFactor; }
    float getUnitsPerPixel() const { return m_unitsPerPixel; }
    // Where the detail layers start to fade into the LOD colour map and
    // where they are gone: the file's distances times the GPU class's layer
    // distance coefficient (TerrainSettings).
    float getLodBlendStart() const;
    float getLodBlendEnd() const;
    // Side of the terrain in world units: unitsPerPixel x (n - 1).
    float getWorldSize() const;
    const std::string& getHeightmapName() const { return m_heightmapName; }
    const std::string& getHeightmapPath() const { return m_heightmapPath; }

    // Height of a grid point; the point must lie on the grid.
    float getHeight(uint32_t col, uint32_t row) const {
        return float(m_heights[col + size_t(row) * m_size]) * m_heightFactor;
    }
    // Normal at a grid point from the Sobel gradients of the heights around
    // it (neighbour indices clamped to the grid), tilted by `slopeFactor`
    // per height unit.
    void getGridNormal(int64_t col, int64_t row, float slopeFactor, float normal[3]) const;
    // Bilinear height at a fractional grid position; 0 outside the grid
    // (below 0 or beyond n). Neighbours past the last row or column take the
    // height of the cell's own corner.
    float getHeightAtGridPosition(float px, float pz) const;
    // Height at a point of the node's local space (x and z in world units),
    // as a local height.
    float getHeightAtLocalPosition(float x, float z) const;

    // Layers.
    const std::vector<TerrainDetailLayer>& getLayers() const { return m_layers; }
    // Size of the weight maps (those of the first layer), 0 without layers.
    uint32_t getWeightMapWidth() const { return m_layers.empty() ? 0 : m_layers[0].weightWidth; }
    uint32_t getWeightMapHeight() const { return m_layers.empty() ? 0 : m_layers[0].weightHeight; }
    bool hasGlobalLayerMap() const { return m_globalLayerWidth > 0; }

    // The LOD colour texture (built by the colour map step), none before.
    Texture* getLodColorTexture() const { return m_lodColorTexture; }
    // The LOD colour map's pixels (S x S, three bytes each, first row at the
    // top), as last built.
    const std::vector<uint8_t>& getLodColorPixels() const { return m_lodColorPixels; }
    uint32_t getLodTextureSize() const { return m_lodTextureSize; }
    float getGlobalLayerWeight() const { return m_globalLayerWeight; }

protected:
    // Makes every weight-map pixel's weights add up to 255 (truncated); a
    // pixel without any weight goes to the first layer.
    void normaliseWeights();
    // Drops layers whose weight maps are narrower or lower than `minSize`
    // pixels (logged); the first remaining layer sets the weight-map size.
    void dropLayersSmallerThan(uint32_t minSize);
    // Builds the LOD colour map of side `size` (clamped to the device's
    // largest texture) and its texture.
    void buildLodColorMap(uint32_t size, float globalLayerWeight);

private:
    void resetHeights(const std::string& name, const std::string& path);
    void releaseLayer(TerrainDetailLayer& layer);

    Texture* m_lodColorTexture = nullptr;  // one reference held
    std::vector<TerrainDetailLayer> m_layers;
    uint32_t m_globalLayerWidth = 0;
    uint32_t m_globalLayerHeight = 0;
    std::vector<uint8_t> m_globalLayer;  // three bytes per pixel
    std::vector<uint16_t> m_heights;
    uint32_t m_size = 0;
    float m_halfSize = 0.0f;
    uint16_t m_highest = 0;
    uint16_t m_lowest = 65535;
    float m_heightFactor = 1.0f;
    float m_unitsPerPixel = 1.6f;
    float m_lodBlendStart = 100.0f;
    float m_lodBlendEnd = 220.0f;
    std::string m_heightmapName;
    std::string m_heightmapPath;
    std::string m_globalLayerMapName;
    std::string m_globalLayerMapPath;
    float m_globalLayerWeight = 0.15f;
    uint32_t m_lodTextureSize = 0;
    std::vector<uint8_t> m_lodColorPixels;
};
