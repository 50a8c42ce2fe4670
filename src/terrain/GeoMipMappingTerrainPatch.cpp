#include "terrain/GeoMipMappingTerrainPatch.h"

#include <algorithm>
#include <cmath>

#include "base/device/IRenderDevice.h"
#include "base/device/Texture.h"
#include "base/image/Image.h"
#include "foundation/Log.h"
#include "foundation/ResourceManager.h"
#include "scene/SceneRenderContext.h"
#include "terrain/GeoMipMappingTerrain.h"

namespace {

uint32_t nextWeightsTextureNumber() {
    static uint32_t counter = 0;
    return counter++;
}

}  // namespace

GeoMipMappingTerrainPatch::GeoMipMappingTerrainPatch(GeoMipMappingTerrain& terrain, uint32_t column,
                                                     uint32_t row)
    : VertexBufferGeometry("GeoMipMappingTerrainPatch"),
      m_terrain(&terrain),
      m_column(column),
      m_row(row) {
    // The renderer picks the material through the sub-mesh; the vertices
    // live in the patch's own buffer.
    auto subMesh = std::make_unique<SubMesh>();
    subMesh->vertexAttributes = VertexAttribute::Normal | VertexAttribute::TexCoords0;
    m_subMesh = subMesh.get();
    addSubMesh(std::move(subMesh));
}

GeoMipMappingTerrainPatch::~GeoMipMappingTerrainPatch() {
    releaseWeightsTexture();
}

void GeoMipMappingTerrainPatch::releaseWeightsTexture() {
    ResourceManager::instance().release(m_weightsTexture);
    m_weightsTexture = nullptr;
}

void GeoMipMappingTerrainPatch::init() {
    releaseWeightsTexture();
    m_vertexBuffer.reset();
    selectLayers();
    rebuildGeometry();
}

int GeoMipMappingTerrainPatch::getNumSelectedLayers() const {
    return int(std::count_if(m_selected.begin(), m_selected.end(), [](int i) { return i >= 0; }));
}

void GeoMipMappingTerrainPatch::fillVertices(TerrainVertex* out) const {
    if (m_terrain == nullptr) {
        return;
    }
    const GeoMipMappingTerrain& terrain = *m_terrain;
    const uint32_t patchSize = terrain.getPatchSize();
    const uint32_t n = terrain.getSize();
    const uint32_t col0 = m_column * (patchSize - 1);
    const uint32_t row0 = m_row * (patchSize - 1);
    const float unitsPerPixel = terrain.getUnitsPerPixel();
    const float halfSize = terrain.getHalfSize();
    const BaseTerrain::WeightBlock block = terrain.getPatchBlock(col0, row0);
    // The weight-map coordinates span the block's texel centres.
    auto inset = [](uint32_t blockSize) {
        return blockSize > 0 ? std::max(0.0f, 1.0f - 2.0f / float(blockSize)) : 1.0f;
    };
    const float gx = inset(block.width);
    const float gz = inset(block.height);
    const float slopeFactor = unitsPerPixel * 0.1f;
    auto h = [&terrain, n](int64_t col, int64_t row) {
        col = std::clamp<int64_t>(col, 0, n - 1);
        row = std::clamp<int64_t>(row, 0, n - 1);
        return terrain.getHeight(uint32_t(col), uint32_t(row));
    };
    const float cells = float(patchSize - 1);
    for (uint32_t r = 0; r < patchSize; ++r) {
        const int64_t row = row0 + r;
        for (uint32_t c = 0; c < patchSize; ++c) {
            const int64_t col = col0 + c;
            TerrainVertex& v = *out++;
            v.position[0] = unitsPerPixel * (float(col) - halfSize);
            v.position[1] = h(col, row);
            v.position[2] = unitsPerPixel * (float(row) - halfSize);
            terrain.getGridNormal(col, row, slopeFactor, v.normal);
            v.texCoord[0] =
                static_cast<int16_t>(32767.0f * (0.5f + (float(c) / cells - 0.5f) * gx));
            v.texCoord[1] =
                static_cast<int16_t>(32767.0f * (0.5f + (float(r) / cells - 0.5f) * gz));
        }
    }
}

void GeoMipMappingTerrainPatch::rebuildGeometry() {
    if (m_terrain == nullptr) {
        return;
    }
    const uint32_t patchSize = m_terrain->getPatchSize();
    const size_t count = size_t(patchSize) * patchSize;
    std::vector<TerrainVertex>& vertices = m_terrain->vertexScratch();
    vertices.resize(count);
    fillVertices(vertices.data());
    boundsStorage().setFromPoints(reinterpret_cast<const float*>(vertices.data()), count,
                                  sizeof(TerrainVertex) / sizeof(float));
    if (IRenderDevice* device = TextureSettings::getRenderDevice()) {
        const uint32_t bytes = uint32_t(count * sizeof(TerrainVertex));
        if (m_vertexBuffer && m_vertexBuffer->getSize() == bytes) {
            m_vertexBuffer->write(0, bytes, vertices.data(), true);
        } else {
            m_vertexBuffer = device->createVertexBuffer(
                bytes, vertices.data(), BU_DYNAMIC | BU_WRITE_ONLY | BU_DISCARDABLE);
        }
    }
    if (m_listener != nullptr) {
        m_listener->patchGeometryChanged();
    }
}

void GeoMipMappingTerrainPatch::prepareForDrawing(float distance) {
    if (distance == m_distance || m_terrain == nullptr) {
        return;
    }
    m_level = m_terrain->levelForDistance(distance);
    m_distance = distance;
}

uint32_t GeoMipMappingTerrainPatch::getStripKey() const {
    uint32_t key = uint32_t(m_level) << 16;
    for (int side = 0; side < 4; ++side) {
        const GeoMipMappingTerrainPatch* neighbour = m_neighbours[side];
        if (neighbour != nullptr && neighbour->m_level > m_level) {
            const uint32_t coarser = std::min(uint32_t(neighbour->m_level - m_level), 15u);
            key |= coarser << (4 * side);
        }
    }
    return key;
}

void GeoMipMappingTerrainPatch::setMaterialVariant(int variant) {
    m_variant = variant;
    m_subMesh->materialIndex = variant;
}

void GeoMipMappingTerrainPatch::selectLayers() {
    m_selected.fill(-1);
    m_coverage.fill(0.0f);
    if (m_terrain == nullptr) {
        return;
    }
    const std::vector<TerrainDetailLayer>& layers = m_terrain->getLayers();
    if (!layers.empty()) {
        const uint32_t cells = m_terrain->getPatchSize() - 1;
        const BaseTerrain::WeightBlock block =
            m_terrain->getPatchBlock(m_column * cells, m_row * cells);
        const uint32_t width = m_terrain->getWeightMapWidth();
        std::vector<std::pair<int, uint64_t>> sums;
        sums.reserve(layers.size());
        uint64_t total = 0;
        for (size_t i = 0; i < layers.size(); ++i) {
            uint64_t sum = 0;
            for (uint32_t z = block.z; z < block.z + block.height; ++z) {
                const uint8_t* row = layers[i].weights.data() + size_t(z) * width;
                for (uint32_t x = block.x; x < block.x + block.width; ++x) {
                    sum += row[x];
                }
            }
            sums.emplace_back(int(i), sum);
            total += sum;
        }
        std::stable_sort(sums.begin(), sums.end(),
                         [](const auto& a, const auto& b) { return a.second > b.second; });
        int selected = 0;
        for (const auto& [layer, sum] : sums) {
            if (selected == kMaxLayers) {
                break;
            }
            if (sum > 1) {
                m_selected[selected] = layer;
                m_coverage[selected] = std::ceil(float(sum) / float(total) * 100.0f);
                ++selected;
            }
        }
        if (selected == 0) {
            m_selected[0] = 0;
            m_coverage[0] = 100.0f;
        }
    }
    buildWeightsTexture();
    if (m_listener != nullptr) {
        m_listener->patchLayersChanged();
    }
}

void GeoMipMappingTerrainPatch::buildWeightsTexture() {
    releaseWeightsTexture();
    IRenderDevice* device = TextureSettings::getRenderDevice();
    const std::vector<TerrainDetailLayer>& layers = m_terrain->getLayers();
    if (device == nullptr || layers.empty()) {
        return;
    }
    const uint32_t cells = m_terrain->getPatchSize() - 1;
    const BaseTerrain::WeightBlock block =
        m_terrain->getPatchBlock(m_column * cells, m_row * cells);
    const uint32_t width = m_terrain->getWeightMapWidth();
    const uint32_t height = m_terrain->getWeightMapHeight();
    if (block.width == 0 || block.height == 0) {
        return;
    }
    // The block grown by one pixel on every side, one channel per selected
    // layer, shrunk back to the block's size.
    const uint32_t grownWidth = block.width + 2;
    const uint32_t grownHeight = block.height + 2;
    std::vector<uint8_t> grown(size_t(grownWidth) * grownHeight * 4, 0);
    for (uint32_t gz = 0; gz < grownHeight; ++gz) {
        const int64_t z = std::clamp<int64_t>(int64_t(block.z) + gz - 1, 0, int64_t(height) - 1);
        for (uint32_t gx = 0; gx < grownWidth; ++gx) {
            const int64_t x = std::clamp<int64_t>(int64_t(block.x) + gx - 1, 0, int64_t(width) - 1);
            uint8_t* texel = grown.data() + (size_t(gz) * grownWidth + gx) * 4;
            for (int k = 0; k < kMaxLayers; ++k) {
                if (m_selected[k] >= 0) {
                    texel[k] = layers[size_t(m_selected[k])].weights[size_t(z) * width + size_t(x)];
                }
            }
        }
    }
    std::vector<uint8_t> texels(size_t(block.width) * block.height * 4);
    ImageUtil::resample(grown.data(), grownWidth, grownHeight, 4, texels.data(), block.width,
                        block.height);
    TextureDesc desc;
    desc.data = texels.data();
    desc.width = block.width;
    desc.height = block.height;
    desc.format = PF_BYTE_RGBA32;
    desc.mipCount = 0;
    desc.wrapS = desc.wrapT = desc.wrapR = TW_CLAMP_TO_EDGE;
    std::unique_ptr<ITextureObject> object = device->createTexture(desc);
    if (!object) {
        Log::get() << "Error: terrain weights texture (" << block.width << " x " << block.height
                   << ") could not be created\n";
        return;
    }
    auto* texture = new Texture("GeoMipMappingTerrainPatchDetailLayerWeightsTexture" +
                                    std::to_string(nextWeightsTextureNumber()),
                                std::move(object));
    if (!ResourceManager::instance().add(texture)) {
        delete texture;
        return;
    }
    m_weightsTexture = texture;
}

void GeoMipMappingTerrainPatch::draw(SceneRenderContext& context, size_t subMesh) {
    if (m_terrain == nullptr || subMesh != 0) {
        return;
    }
    // The first patch drawn in a frame brings every patch's level up to
    // date, so neighbours agree on their edges for the whole frame.
    m_terrain->updateLevels(context);
    IRenderDevice* device = TextureSettings::getRenderDevice();
    if (device == nullptr || !m_vertexBuffer || m_terrain->isOutsideView(*this)) {
        return;
    }
    const GeoMipMappingTerrain::Strip* strip = m_terrain->getStrip(getStripKey(), *device);
    IVertexDeclaration* declaration = m_terrain->getVertexDeclaration(*device);
    if (strip == nullptr || !strip->buffer || declaration == nullptr) {
        return;
    }
    device->setVertexBuffer(m_vertexBuffer.get());
    device->setIndexBuffer(strip->buffer.get());
    device->bindVertexDeclaration(declaration);
    device->draw(int(strip->indexCount), 0, PT_TRIANGLE_STRIP);
    device->unbindVertexDeclaration();
    device->setIndexBuffer(nullptr);
    context.statistics.drawCalls += 1;
    context.statistics.primitives += strip->indexCount - 2;
    context.statistics.indices += strip->indexCount;
}
