#include "terrain/GeoMipMappingTerrain.h"

#include <algorithm>
#include <cmath>

#include "base/device/IRenderDevice.h"
#include "foundation/Log.h"
#include "scene/Camera.h"
#include "scene/SceneRenderContext.h"
#include "scene/TransformGroup.h"
#include "terrain/TerrainMaterial.h"
#include "terrain/TerrainSettings.h"

namespace {

bool isPowerOfTwo(uint32_t value) {
    return value != 0 && (value & (value - 1)) == 0;
}

// Patch range of a pixel rectangle, clamped to the patch table.
struct PatchRange {
    uint32_t firstColumn = 0;
    uint32_t lastColumn = 0;
    uint32_t firstRow = 0;
    uint32_t lastRow = 0;
};

PatchRange patchRange(const BaseTerrain::PixelRect& rect, uint32_t patchSize,
                      uint32_t patchesPerSide) {
    const double cell = double(patchSize - 1);
    const double last = double(patchesPerSide - 1);
    auto clampIndex = [last](double value) {
        return static_cast<uint32_t>(std::clamp(std::floor(value), 0.0, last));
    };
    PatchRange range;
    range.firstColumn = clampIndex((double(rect.x) - 1.0) / cell);
    range.lastColumn = clampIndex((double(rect.x) + double(rect.width)) / cell);
    range.firstRow = clampIndex((double(rect.z) - 1.0) / cell);
    range.lastRow = clampIndex((double(rect.z) + double(rect.height)) / cell);
    return range;
}

}  // namespace

GeoMipMappingTerrain::GeoMipMappingTerrain() = default;

GeoMipMappingTerrain::~GeoMipMappingTerrain() {
    // Shapes may hold their patches a little longer than the terrain lives.
    for (auto& patch : m_patches) {
        patch->detach();
    }
}

bool GeoMipMappingTerrain::build(int32_t patchSize, int32_t lodTextureSize, float globalLayerWeight,
                                 float maxLODDistance) {
    if (!hasHeights()) {
        return false;
    }
    const uint32_t cells = getSize() - 1;
    const bool validSize = patchSize >= 3 && patchSize <= kMaxPatchSize &&
                           isPowerOfTwo(uint32_t(patchSize - 1)) &&
                           cells % uint32_t(patchSize - 1) == 0;
    if (!validSize) {
        Log::get() << "Error: terrain '" << getHeightmapPath() << "': patchSize " << patchSize
                   << " is invalid, patchSize - 1 must be a power of two (at least 2) that "
                      "divides the heightmap size - 1 ("
                   << cells << "), and patchSize at most " << kMaxPatchSize << "\n";
        return false;
    }
    const uint32_t patchesPerSide = cells / uint32_t(patchSize - 1);
    if (patchesPerSide > kMaxPatchesPerSide) {
        Log::get() << "Error: terrain '" << getHeightmapPath() << "': patchSize " << patchSize
                   << " gives " << patchesPerSide << " patches per side, at most "
                   << kMaxPatchesPerSide << " are supported\n";
        return false;
    }

    // Each patch takes a block of at least one weight-map pixel.
    dropLayersSmallerThan(patchesPerSide);
    normaliseWeights();
    const uint32_t colorMapSize = lodTextureSize > 0 ? uint32_t(lodTextureSize) : 1;
    buildLodColorMap(colorMapSize, globalLayerWeight);

    for (auto& patch : m_patches) {
        patch->detach();
    }
    m_patches.clear();
    m_declaration.reset();
    m_strips.clear();

    m_patchSize = uint32_t(patchSize);
    m_patchesPerSide = patchesPerSide;
    m_levelCount = 0;
    for (uint32_t m = m_patchSize - 1; m > 2; m /= 2) {
        ++m_levelCount;
    }
    m_maxLODDistance = maxLODDistance;
    m_patches.reserve(size_t(patchesPerSide) * patchesPerSide);
    for (uint32_t row = 0; row < patchesPerSide; ++row) {
        for (uint32_t column = 0; column < patchesPerSide; ++column) {
            m_patches.emplace_back(new GeoMipMappingTerrainPatch(*this, column, row));
            m_patches.back()->init();
        }
    }
    for (uint32_t row = 0; row < patchesPerSide; ++row) {
        for (uint32_t column = 0; column < patchesPerSide; ++column) {
            GeoMipMappingTerrainPatch* patch = getPatch(column, row);
            if (row + 1 < patchesPerSide) {
                GeoMipMappingTerrainPatch* below = getPatch(column, row + 1);
                patch->setNeighbour(GeoMipMappingTerrainPatch::NextRow, below);
                below->setNeighbour(GeoMipMappingTerrainPatch::PreviousRow, patch);
            }
            if (column + 1 < patchesPerSide) {
                GeoMipMappingTerrainPatch* right = getPatch(column + 1, row);
                patch->setNeighbour(GeoMipMappingTerrainPatch::NextColumn, right);
                right->setNeighbour(GeoMipMappingTerrainPatch::PreviousColumn, patch);
            }
        }
    }
    m_levelsValid = false;
    return true;
}

void GeoMipMappingTerrain::refreshLayerWeights(const PixelRect& rect) {
    if (m_patches.empty()) {
        return;
    }
    const PatchRange range = patchRange(rect, m_patchSize, m_patchesPerSide);
    for (uint32_t row = range.firstRow; row <= range.lastRow; ++row) {
        for (uint32_t column = range.firstColumn; column <= range.lastColumn; ++column) {
            getPatch(column, row)->selectLayers();
        }
    }
}

bool GeoMipMappingTerrain::canPaintLayer(size_t layer, const PixelRect& rect) const {
    if (m_patches.empty()) {
        return false;
    }
    const PatchRange range = patchRange(rect, m_patchSize, m_patchesPerSide);
    for (uint32_t row = range.firstRow; row <= range.lastRow; ++row) {
        for (uint32_t column = range.firstColumn; column <= range.lastColumn; ++column) {
            const auto& selected = getPatch(column, row)->getSelectedLayers();
            const bool present =
                std::find(selected.begin(), selected.end(), int(layer)) != selected.end();
            const bool freeSlot = std::find(selected.begin(), selected.end(), -1) != selected.end();
            if (!present && !freeSlot) {
                return false;
            }
        }
    }
    return true;
}

void GeoMipMappingTerrain::rebuildGeometry(const PixelRect& rect) {
    if (m_patches.empty()) {
        return;
    }
    const PatchRange range = patchRange(rect, m_patchSize, m_patchesPerSide);
    for (uint32_t row = range.firstRow; row <= range.lastRow; ++row) {
        for (uint32_t column = range.firstColumn; column <= range.lastColumn; ++column) {
            getPatch(column, row)->rebuildGeometry();
        }
    }
    m_levelsValid = false;
}

BaseTerrain::WeightBlock GeoMipMappingTerrain::getPatchBlock(uint32_t x, uint32_t z) const {
    WeightBlock block;
    if (m_patchesPerSide == 0) {
        return block;
    }
    const uint32_t column = std::min(x / (m_patchSize - 1), m_patchesPerSide - 1);
    const uint32_t row = std::min(z / (m_patchSize - 1), m_patchesPerSide - 1);
    block.width = getWeightMapWidth() / m_patchesPerSide;
    block.height = getWeightMapHeight() / m_patchesPerSide;
    block.x = column * block.width;
    block.z = row * block.height;
    return block;
}

int GeoMipMappingTerrain::levelForDistance(float distance) const {
    if (!(m_maxLODDistance > 0.0f) || m_levelCount == 0) {
        return 0;
    }
    const float scaled = distance / m_maxLODDistance * float(m_levelCount);
    if (!(scaled > 0.0f)) {
        return 0;
    }
    return scaled >= float(m_levelCount) ? m_levelCount : static_cast<int>(scaled);
}

void GeoMipMappingTerrain::updateLevels(const Vector3& cameraWorld) {
    const Matrix4 world = m_node != nullptr ? m_node->getWorldMatrix() : Matrix4::identity();
    const unsigned generation = TerrainSettings::getLodDistanceCoeffGeneration();
    if (m_levelsValid && cameraWorld == m_lastCamera && generation == m_lastCoeffGeneration &&
        std::equal(std::begin(world.m), std::end(world.m), std::begin(m_lastWorld.m))) {
        return;
    }
    m_levelsValid = true;
    m_lastCamera = cameraWorld;
    m_lastWorld = world;
    m_lastCoeffGeneration = generation;

    const float coeff = TerrainSettings::getLodDistanceCoeff();
    const float scale = world.maxColumnLength();
    for (auto& patch : m_patches) {
        const BoundingSphere& bounds = patch->getBounds();
        const BoundingSphere worldBounds(world.transformPoint(bounds.getCenter()),
                                         bounds.getRadius() * scale);
        patch->setWorldBounds(worldBounds);
        const float distance = length(worldBounds.getCenter() - cameraWorld);
        patch->prepareForDrawing(distance / coeff);
        patch->setMaterialVariant(TerrainMaterial::variantForDistance(
            distance, worldBounds.getRadius(), getLodBlendStart(), getLodBlendEnd()));
    }
}

void GeoMipMappingTerrain::updateLevels(SceneRenderContext& context) {
    Camera* camera = context.getActiveCamera();
    if (camera == nullptr) {
        return;
    }
    const Matrix4& cameraWorld = camera->getWorldMatrix();
    m_viewValid = context.viewportWidth > 0 && context.viewportHeight > 0;
    if (m_viewValid) {
        const Matrix4 projection = camera->getProjectionMatrix(float(context.viewportWidth),
                                                               float(context.viewportHeight));
        auto same = [](const Matrix4& a, const Matrix4& b) {
            return std::equal(std::begin(a.m), std::end(a.m), std::begin(b.m));
        };
        if (!same(cameraWorld, m_viewCamera) || !same(projection, m_viewProjection)) {
            m_viewCamera = cameraWorld;
            m_viewProjection = projection;
            // Planes of projection x view (rows combined), pointing inwards.
            const Matrix4 m = projection * camera->getViewMatrix();
            auto row = [&m](int r, int c) { return m.m[4 * c + r]; };
            for (int p = 0; p < 6; ++p) {
                const int axis = p / 2;
                const float sign = (p % 2 == 0) ? 1.0f : -1.0f;
                float length2 = 0.0f;
                for (int c = 0; c < 4; ++c) {
                    m_planes[p][c] = row(3, c) + sign * row(axis, c);
                    if (c < 3) {
                        length2 += m_planes[p][c] * m_planes[p][c];
                    }
                }
                const float inverse = length2 > 0.0f ? 1.0f / std::sqrt(length2) : 0.0f;
                for (float& value : m_planes[p]) {
                    value *= inverse;
                }
            }
        }
    }
    updateLevels(cameraWorld.getTranslation());
}

bool GeoMipMappingTerrain::isOutsideView(const GeoMipMappingTerrainPatch& patch) const {
    return m_viewValid && !patch.getWorldBounds().intersectsFrustum(m_planes);
}

void GeoMipMappingTerrain::generateStrip(uint32_t patchSize, int level, const uint32_t coarser[4],
                                         std::vector<uint32_t>& indices) {
    indices.clear();
    const uint32_t q = patchSize - 1;
    const uint32_t d = 1u << level;
    if (patchSize < 3 || d * 2 > q) {
        return;
    }
    // Moves a position along an edge down onto the grid of a neighbour
    // `levels` levels coarser.
    auto snap = [d](uint32_t position, uint32_t levels) {
        if (levels == 0) {
            return position;
        }
        const uint32_t step = d << levels;
        return position / step * step;
    };
    auto emit = [&](uint32_t x, uint32_t z) {
        if (z == 0) {
            x = snap(x, coarser[GeoMipMappingTerrainPatch::PreviousRow]);
        } else if (z == q) {
            x = snap(x, coarser[GeoMipMappingTerrainPatch::NextRow]);
        }
        if (x == 0) {
            z = snap(z, coarser[GeoMipMappingTerrainPatch::PreviousColumn]);
        } else if (x == q) {
            z = snap(z, coarser[GeoMipMappingTerrainPatch::NextColumn]);
        }
        indices.push_back(x + patchSize * z);
    };
    for (uint32_t f = 0; f < q; f += 2 * d) {
        const uint32_t l = f + d;
        const uint32_t m = f + 2 * d;
        // Left to right over rows f and l.
        emit(0, f);
        for (uint32_t x = 0; x + d <= q; x += d) {
            emit(x, l);
            emit(x + d, f);
        }
        emit(q, l);
        emit(q, l);
        emit(q, l);
        // Right to left over rows l and m.
        for (uint32_t x = q; x >= d; x -= d) {
            emit(x, m);
            emit(x - d, l);
        }
        emit(0, m);
        if (m < q) {
            emit(0, m);
        }
    }
}

const GeoMipMappingTerrain::Strip* GeoMipMappingTerrain::getStrip(uint32_t key,
                                                                  IRenderDevice& device) {
    auto found = m_strips.find(key);
    if (found != m_strips.end()) {
        return &found->second;
    }
    const uint32_t coarser[4] = {key & 15u, (key >> 4) & 15u, (key >> 8) & 15u, (key >> 12) & 15u};
    generateStrip(m_patchSize, int(key >> 16), coarser, m_indexScratch);
    Strip& strip = m_strips[key];
    strip.indexCount = uint32_t(m_indexScratch.size());
    if (m_indexScratch.empty()) {
        return &strip;
    }
    // 16-bit indices address 65536 vertices; the largest patches have more.
    const bool wide = uint64_t(m_patchSize) * m_patchSize > 65536;
    if (wide) {
        strip.buffer =
            device.createIndexBuffer(uint32_t(m_indexScratch.size() * 4), m_indexScratch.data(),
                                     BU_STATIC | BU_WRITE_ONLY, true);
    } else {
        std::vector<uint16_t> narrow(m_indexScratch.begin(), m_indexScratch.end());
        strip.buffer = device.createIndexBuffer(uint32_t(narrow.size() * 2), narrow.data(),
                                                BU_STATIC | BU_WRITE_ONLY, false);
    }
    return &strip;
}

IVertexDeclaration* GeoMipMappingTerrain::getVertexDeclaration(IRenderDevice& device) {
    if (!m_declaration) {
        VertexDeclarationDesc desc;
        desc.position.type = VET_FLOAT3;
        desc.normal.type = VET_FLOAT3;
        desc.texCoords[0].type = VET_SHORT2;
        m_declaration = device.createVertexDeclaration(desc);
    }
    return m_declaration.get();
}
