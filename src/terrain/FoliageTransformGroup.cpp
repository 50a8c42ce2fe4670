#include "terrain/FoliageTransformGroup.h"

#include <algorithm>
#include <cmath>

#include "foundation/Log.h"
#include "render/material/Material.h"
#include "terrain/BaseTerrain.h"
#include "terrain/FoliageCellGeometry.h"
#include "terrain/FoliageCellShape.h"
#include "terrain/GeoMipMappingTerrain.h"
#include "terrain/TerrainTransformGroup.h"

namespace {

constexpr float kTwoPi = 6.2831853f;
constexpr float kThirdPi = 1.0471976f;

float finiteOr(float value, float fallback) {
    return std::isfinite(value) ? value : fallback;
}

}  // namespace

FoliageTransformGroup::FoliageTransformGroup(const std::string& name, const FoliageParams& params,
                                             TerrainTransformGroup& terrainNode)
    : TerrainDetailTransformGroup(name, params, terrainNode, false), m_params(params) {
    addKind(EntityKind::FoliageTransformGroup);
    if (!isValid()) {
        return;
    }
    m_params.atlasSize = std::max(1, params.atlasSize);
    m_params.plantThreshold = finiteOr(params.plantThreshold, 0.5f);
    m_params.width = finiteOr(params.width, 2.0f);
    m_params.height = finiteOr(params.height, 2.0f);
    m_params.heightVariance = finiteOr(params.heightVariance, 0.2f);
    m_params.positionVariance = finiteOr(params.positionVariance, 0.3f);
    m_params.growthStateTime = finiteOr(params.growthStateTime, 0.0f);
    const float blocks = getCellSize() * finiteOr(params.blocksPerUnit, 0.0f);
    if (!(blocks >= 0.5f)) {
        Log::get() << "Error: foliage '" << name << "': numBlocksPerUnit " << params.blocksPerUnit
                   << " gives no plants per cell\n";
        return;
    }
    m_blocksPerSide = uint32_t(std::min(std::nearbyint(double(blocks)), 1.0e9));
    if (m_blocksPerSide > kMaxBlocksPerSide) {
        Log::get() << "Warning: foliage '" << name << "': " << m_blocksPerSide
                   << " blocks per cell side clamped to " << kMaxBlocksPerSide << "\n";
        m_blocksPerSide = kMaxBlocksPerSide;
    }

    m_numStates = std::max(0, params.growthNumStates == 1 ? 0 : params.growthNumStates);
    if (m_numStates > 0) {
        for (uint32_t b = 0; b < 32; ++b) {
            if ((uint64_t(1) << b) <= uint64_t(m_numStates)) {
                ++m_growthBits;
            }
        }
        if (getDensityMap().getChannelCount() <= m_growthBits) {
            // Channel 0 marks the plants; the states need channels of their
            // own, so growth stays off.
            Log::get() << "Error: foliage, not enough channels to store growth state\n";
            m_numStates = 0;
            m_growthBits = 0;
        }
    }
    m_growthTimer = m_params.growthStateTime;

    VertexDeclarationDesc desc;
    desc.position.type = VET_FLOAT3;
    // The atlas coordinate is stored as 0..32767 and read as 0..1.
    desc.texCoords[0].type = VET_SHORT2N;
    auto buffers = std::make_unique<SharedCellBuffers>(desc, PT_TRIANGLE_LIST);
    const uint64_t plants = uint64_t(m_blocksPerSide) * m_blocksPerSide;
    std::vector<uint32_t> indices;
    indices.reserve(size_t(plants * FoliageCellGeometry::kIndicesPerPlant));
    static constexpr uint32_t kQuad[12] = {0, 1, 2, 0, 2, 3, 0, 2, 1, 0, 3, 2};
    for (uint64_t i = 0; i < plants; ++i) {
        for (uint32_t q = 0; q < 3; ++q) {
            const auto v = uint32_t(i * FoliageCellGeometry::kVerticesPerPlant + 4 * q);
            for (uint32_t k : kQuad) {
                indices.push_back(v + k);
            }
        }
    }
    buffers->setIndices(std::move(indices), plants * FoliageCellGeometry::kVerticesPerPlant);
    setSharedBuffers(std::move(buffers));
    m_plants.reserve(size_t(plants));
    addLevel(getViewDistance(), 0.0f);
}

FoliageTransformGroup::~FoliageTransformGroup() {
    destroyLevels();
}

uint32_t FoliageTransformGroup::getGrowthState(uint32_t x, uint32_t z) const {
    if (m_numStates <= 0) {
        return 0;
    }
    const DensityMap& map = getDensityMap();
    const uint32_t state = map.getBits(x, z, map.getChannelCount() - m_growthBits, m_growthBits);
    return std::min(state, uint32_t(m_numStates - 1));
}

void FoliageTransformGroup::setGrowthState(uint32_t x, uint32_t z, uint32_t state) {
    if (m_numStates <= 0) {
        return;
    }
    DensityMap& map = getDensityMap();
    map.setBits(x, z, map.getChannelCount() - m_growthBits, m_growthBits,
                std::min(state, uint32_t(m_numStates - 1)));
}

float FoliageTransformGroup::groundHeight(float x, float z) const {
    const BaseTerrain* terrain = getTerrain();
    const uint32_t n = terrain->getSize();
    const float last = float(n - 1);
    const float gx = std::clamp(x / terrain->getUnitsPerPixel(), 0.0f, last);
    const float gz = std::clamp(z / terrain->getUnitsPerPixel(), 0.0f, last);
    const auto c0 = uint32_t(gx);
    const auto r0 = uint32_t(gz);
    const uint32_t c1 = std::min(c0 + 1, n - 1);
    const uint32_t r1 = std::min(r0 + 1, n - 1);
    const float fx = gx - float(c0);
    const float fz = gz - float(r0);
    const float top = terrain->getHeight(c0, r0) * (1 - fx) + terrain->getHeight(c1, r0) * fx;
    const float bottom = terrain->getHeight(c0, r1) * (1 - fx) + terrain->getHeight(c1, r1) * fx;
    return top * (1 - fz) + bottom * fz + getTerrainOffset();
}

std::unique_ptr<LocalGeometryShape> FoliageTransformGroup::createCellShape(const std::string& name,
                                                                           int /*level*/) {
    auto shape = std::make_unique<FoliageCellShape>(name);
    shape->setGeometry(
        new FoliageCellGeometry(name, *getSharedBuffers(), VertexAttribute::TexCoords0));
    if (getMaterial() != nullptr) {
        shape->addMaterial(getMaterial());
    }
    return shape;
}

void FoliageTransformGroup::releaseCell(LocalGeometryShape& shape) {
    shape.setVisibility(false);
    if (auto* geometry = dynamic_cast<FoliageCellGeometry*>(shape.getGeometry())) {
        geometry->clear();
        geometry->vertices.clear();
    }
}

bool FoliageTransformGroup::buildCell(LocalGeometryShape& shape) {
    auto* geometry = dynamic_cast<FoliageCellGeometry*>(shape.getGeometry());
    const BaseTerrain* terrain = getTerrain();
    uint32_t cx = 0;
    uint32_t cz = 0;
    if (geometry == nullptr || terrain == nullptr || !terrain->hasHeights() ||
        m_blocksPerSide == 0 || !terrainCell(shape, cx, cz)) {
        if (geometry != nullptr) {
            geometry->setIndexCount(0);
            geometry->vertices.clear();
        }
        return false;
    }
    const DensityMap& map = getDensityMap();
    const uint32_t t = m_blocksPerSide;
    const float d = getPixelsPerCellF();
    const uint32_t lastPixel = map.getSize() - 1;
    const float cell = getCellSize();
    m_random.seed((cz % 65535u) | ((cx % 65535u) << 16));
    m_plants.clear();
    for (uint32_t j = 0; j < t; ++j) {
        for (uint32_t k = 0; k < t; ++k) {
            const float r0 = m_random.unit();
            const float r1 = m_random.unit();
            const float r2 = m_random.unit();
            const float r3 = m_random.unit();
            const auto px = std::min(lastPixel, uint32_t(float(cx) * d + float(k) * d / float(t)));
            const auto pz = std::min(lastPixel, uint32_t(float(cz) * d + float(j) * d / float(t)));
            const float value = map.get(px, pz, 0) ? 1.0f : 0.0f;
            if (!(m_params.plantThreshold < value)) {
                continue;
            }
            uint32_t state = 0;
            if (m_numStates > 0) {
                state = getGrowthState(px, pz);
                if (state == 0) {
                    continue;
                }
            }
            const float bx = float(cx * t + k);
            const float bz = float(cz * t + j);
            m_plants.push_back({cell * bx / float(t) + (r0 - 0.5f) * m_params.positionVariance,
                                cell * bz / float(t) + (r1 - 0.5f) * m_params.positionVariance, r2,
                                r3, state});
        }
    }
    if (m_plants.empty()) {
        geometry->setIndexCount(0);
        geometry->vertices.clear();
        return false;
    }

    const float b = 1.0f / float(m_params.atlasSize);
    const float half = cell * float(getCellsPerSide()) * 0.5f;
    geometry->vertices.resize(m_plants.size() * FoliageCellGeometry::kVerticesPerPlant);
    FoliageVertex* out = geometry->vertices.data();
    for (const Plant& plant : m_plants) {
        float h = m_params.height + (plant.r2 - 0.5f) * m_params.heightVariance;
        float uMin = 0.0f;
        float uMax = b;
        if (m_numStates > 1) {
            const float steps = float(m_numStates - 1);
            h *= float(plant.state) / steps;
            uMin = float(plant.state - 1) * b / steps;
            uMax = float(plant.state) * b / steps;
        }
        for (int32_t i = 1; i < m_params.atlasSize; ++i) {
            if (plant.r3 > float(i) * b) {
                uMin += b;
                uMax += b;
            }
        }
        const float y = groundHeight(plant.x, plant.z);
        const float x = plant.x - half;
        const float z = plant.z - half;
        const auto u0 = int16_t(uMin * 32767.0f);
        const auto u1 = int16_t(uMax * 32767.0f);
        const float angle = plant.r3 * kTwoPi;
        for (float a : {angle, angle + kThirdPi, angle + 2.0f * kThirdPi}) {
            const float dx = std::cos(a) * m_params.width * 0.5f;
            const float dz = std::sin(a) * m_params.width * 0.5f;
            *out++ = {{x - dx, y, z - dz}, {u0, 0}};
            *out++ = {{x + dx, y, z + dz}, {u1, 0}};
            *out++ = {{x + dx, y + h, z + dz}, {u1, 32767}};
            *out++ = {{x - dx, y + h, z - dz}, {u0, 32767}};
        }
    }
    const float centreX = (float(shape.cellX) + 0.5f) * cell;
    const float centreZ = (float(shape.cellZ) + 0.5f) * cell;
    geometry->setBounds(
        BoundingSphere({centreX, groundHeight(centreX + half, centreZ + half), centreZ},
                       cell * 1.4142135f * 1.1f));
    geometry->upload(geometry->vertices.data(),
                     uint32_t(geometry->vertices.size() * sizeof(FoliageVertex)));
    geometry->setIndexCount(uint32_t(m_plants.size() * FoliageCellGeometry::kIndicesPerPlant));
    shape.invalidateBounds();
    countBuiltCell();
    return true;
}

void FoliageTransformGroup::beforeCellUpdate(float frameMs) {
    if (m_numStates > 0 && m_growthEnabled) {
        advanceGrowth(frameMs);
    }
}

uint32_t FoliageTransformGroup::advanceGrowth(float frameMs) {
    if (m_numStates <= 1 || !isValid() || !(frameMs > 0.0f) || !std::isfinite(frameMs)) {
        return 0;
    }
    const uint64_t cells = uint64_t(getCellsPerSide()) * getCellsPerSide();
    const float time = m_params.growthStateTime;
    m_growthTimer -= frameMs;
    // Spread one sweep over the growth time: cells x dt / time cells per
    // frame, never more than one sweep in a frame.
    if (time > 0.0f) {
        m_growthCredit = std::min(float(cells), m_growthCredit + float(cells) * frameMs / time);
    } else {
        m_growthCredit = float(cells);
    }
    const auto budget = uint32_t(m_growthCredit);
    m_growthCredit -= float(budget);

    const DensityMap& map = getDensityMap();
    const double d = getPixelsPerCellF();
    const int64_t last = int64_t(map.getSize());
    const uint32_t perSide = getCellsPerSide();
    const int32_t halfCells = int32_t(perSide / 2);
    uint32_t visited = 0;
    for (uint32_t step = 0; step < budget; ++step) {
        if (m_growthCursor >= cells) {
            if (m_growthTimer > 0.0f) {
                break;
            }
            m_growthCursor = 0;
            m_growthTimer = time;
        }
        const auto cx = uint32_t(m_growthCursor % perSide);
        const auto cz = uint32_t(m_growthCursor / perSide);
        const int64_t x0 = std::clamp<int64_t>(int64_t(cx * d), 0, last);
        const int64_t x1 = std::clamp<int64_t>(int64_t(std::ceil((cx + 1) * d)), 0, last);
        const int64_t z0 = std::clamp<int64_t>(int64_t(cz * d), 0, last);
        const int64_t z1 = std::clamp<int64_t>(int64_t(std::ceil((cz + 1) * d)), 0, last);
        bool changed = false;
        for (int64_t z = z0; z < z1; ++z) {
            for (int64_t x = x0; x < x1; ++x) {
                if (!map.get(uint32_t(x), uint32_t(z), 0)) {
                    continue;
                }
                const uint32_t state = getGrowthState(uint32_t(x), uint32_t(z));
                if (state + 1 < uint32_t(m_numStates)) {
                    setGrowthState(uint32_t(x), uint32_t(z), state + 1);
                    changed = true;
                }
            }
        }
        if (changed) {
            const int32_t wx = int32_t(cx) - halfCells;
            const int32_t wz = int32_t(cz) - halfCells;
            markCellsForRebuild(wx, wz, wx, wz, false);
        }
        ++m_growthCursor;
        ++visited;
    }
    return visited;
}
