#pragma once
// GeoMipMappingTerrain: a BaseTerrain cut into square patches of
// patchSize x patchSize vertices. Each patch draws at a level of detail
// chosen from its distance to the camera (level l uses every 2^l-th vertex);
// the triangle strips for each level and neighbour situation are made once
// and shared by all patches.

#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "base/math/Matrix4.h"
#include "foundation/Entity.h"
#include "scene/BoundingSphere.h"
#include "terrain/BaseTerrain.h"
#include "terrain/GeoMipMappingTerrainPatch.h"

class IIndexBuffer;
class IRenderDevice;
class IVertexDeclaration;
class RawTransformGroup;
class SceneRenderContext;

class GeoMipMappingTerrain : public BaseTerrain {
public:
    // Largest patch side (vertices) and patch count per side.
    static constexpr int32_t kMaxPatchSize = 257;
    static constexpr uint32_t kMaxPatchesPerSide = 256;

    struct Strip {
        uint32_t indexCount = 0;
        std::unique_ptr<IIndexBuffer> buffer;
    };

    GeoMipMappingTerrain();
    ~GeoMipMappingTerrain() override;

    // Cuts the loaded heights into patches. patchSize - 1 must be a power of
    // two of at least 2 dividing n - 1, patchSize at most 257; otherwise, or
    // without heights, nothing is built (logged) and false returned. A
    // maxLODDistance not above 0 keeps every patch at the finest level.
    bool build(int32_t patchSize, int32_t lodTextureSize, float globalLayerWeight,
               float maxLODDistance);

    void refreshLayerWeights(const PixelRect& rect) override;
    bool canPaintLayer(size_t layer, const PixelRect& rect) const override;
    void rebuildGeometry(const PixelRect& rect) override;
    WeightBlock getPatchBlock(uint32_t x, uint32_t z) const override;

    uint32_t getPatchSize() const { return m_patchSize; }
    uint32_t getPatchesPerSide() const { return m_patchesPerSide; }
    // Levels beyond the finest: the coarsest level is getLevelCount().
    int getLevelCount() const { return m_levelCount; }
    float getMaxLODDistance() const { return m_maxLODDistance; }
    size_t getNumPatches() const { return m_patches.size(); }
    GeoMipMappingTerrainPatch* getPatch(uint32_t column, uint32_t row) const {
        return m_patches[column + size_t(row) * m_patchesPerSide].get();
    }

    // The level for a distance (already divided by the LOD coefficient).
    int levelForDistance(float distance) const;

    // The node the terrain hangs below (not owned), for its world transform.
    void setNode(RawTransformGroup* node) { m_node = node; }
    // Chooses every patch's level and material variant for a camera at a
    // world position; nothing when neither the camera, the node's transform
    // nor the LOD coefficient changed since the last call.
    void updateLevels(const Vector3& cameraWorld);
    // The same from the context's active camera (patches call it as they
    // draw, so levels follow the camera the frame is drawn from).
    void updateLevels(SceneRenderContext& context);
    // Forgets the last camera, so that the next update chooses again.
    void invalidateLevels() { m_levelsValid = false; }
    // Whether the patch lies entirely outside the view of the camera of the
    // last context update (false when no view is known).
    bool isOutsideView(const GeoMipMappingTerrainPatch& patch) const;

    // The cached strip of a key (see GeoMipMappingTerrainPatch::getStripKey),
    // made and uploaded on first use; none without a device buffer.
    const Strip* getStrip(uint32_t key, IRenderDevice& device);
    size_t getNumCachedStrips() const { return m_strips.size(); }
    IVertexDeclaration* getVertexDeclaration(IRenderDevice& device);

    // The index list of one strip: vertex (x, z) of the patch is x + V z.
    // `coarser` gives per side (previous row, next row, previous column,
    // next column) how many levels coarser the neighbour is (0: same or
    // finer); that edge's vertices are moved down onto the neighbour's grid.
    static void generateStrip(uint32_t patchSize, int level, const uint32_t coarser[4],
                              std::vector<uint32_t>& indices);

    // Scratch space for filling patch vertex buffers.
    std::vector<TerrainVertex>& vertexScratch() { return m_vertexScratch; }

private:
    std::vector<RefPtr<GeoMipMappingTerrainPatch>> m_patches;
    uint32_t m_patchSize = 0;
    uint32_t m_patchesPerSide = 0;
    int m_levelCount = 0;
    float m_maxLODDistance = 160.0f;
    std::map<uint32_t, Strip> m_strips;
    std::unique_ptr<IVertexDeclaration> m_declaration;

    RawTransformGroup* m_node = nullptr;
    bool m_levelsValid = false;
    // The view of the last context update: its matrices and frustum planes
    // (a, b, c, d with a x + b y + c z + d the distance inside).
    bool m_viewValid = false;
    Matrix4 m_viewCamera;
    Matrix4 m_viewProjection;
    float m_planes[6][4] = {};
    Vector3 m_lastCamera;
    Matrix4 m_lastWorld;
    unsigned m_lastCoeffGeneration = 0;
    std::vector<TerrainVertex> m_vertexScratch;
    std::vector<uint32_t> m_indexScratch;
};
