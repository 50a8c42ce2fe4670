#include "terrain/TerrainDetailTransformGroup.h"

#include <algorithm>
#include <cmath>

#include "base/device/IRenderDevice.h"
#include "base/device/Texture.h"
#include "base/image/Image.h"
#include "base/platform/Platform.h"
#include "foundation/Log.h"
#include "foundation/ResourceManager.h"
#include "render/material/CustomShader.h"
#include "render/material/Material.h"
#include "terrain/CellGeometry.h"
#include "terrain/DetailLayerSettings.h"
#include "terrain/GeoMipMappingTerrain.h"
#include "terrain/GeoMipMappingTerrainPatch.h"
#include "terrain/TerrainDetailGeometry.h"
#include "terrain/TerrainTransformGroup.h"

namespace {

uint32_t nextPowerOfTwo(uint64_t v) {
    uint64_t p = 1;
    while (p < v) {
        p <<= 1;
    }
    return uint32_t(p);
}

bool hasDotDot(const std::string& path) {
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find_first_of("/\\", start);
        if (end == std::string::npos) {
            end = path.size();
        }
        if (path.compare(start, end - start, "..") == 0 && end - start == 2) {
            return true;
        }
        start = end + 1;
    }
    return false;
}

// A texture around a device texture of side x side RGBA texels (none
// without a device), entered into the resources under `name`, or under
// `name` with a number when that is taken.
Texture* createDensityTexture(const std::string& name, uint32_t side) {
    std::unique_ptr<ITextureObject> object;
    if (IRenderDevice* device = TextureSettings::getRenderDevice()) {
        if (side > uint32_t(std::max(device->getMaxTextureSize(), 1))) {
            return nullptr;
        }
        TextureDesc desc;
        desc.width = side;
        desc.height = side;
        desc.format = PF_BYTE_RGBA32;
        desc.mipCount = 0;
        desc.wrapS = desc.wrapT = desc.wrapR = TW_CLAMP_TO_EDGE;
        object = device->createTexture(desc);
        if (!object) {
            return nullptr;
        }
    }
    // Layers of the same name (a scene loaded twice) give their cells the
    // same names; the texture names must still differ.
    static uint32_t counter = 0;
    std::string unique = name;
    while (ResourceManager::instance().find(unique) != nullptr) {
        unique = name + "#" + std::to_string(++counter);
    }
    auto* texture = new Texture(unique, std::move(object));
    if (!ResourceManager::instance().add(texture)) {
        delete texture;
        return nullptr;
    }
    return texture;
}

}  // namespace

TerrainDetailGeometry::~TerrainDetailGeometry() {
    ResourceManager::instance().release(densityTexture);
}

TerrainDetailTransformGroup::TerrainDetailTransformGroup(const std::string& name,
                                                         const TerrainDetailParams& params,
                                                         TerrainTransformGroup& terrainNode,
                                                         bool surfaceCells)
    : LocalGeometryTransformGroup(name), m_terrainNode(&terrainNode) {
    addKind(EntityKind::TerrainDetailTransformGroup);
    setObjectMask(params.objectMask);
    terrainNode.addDeleteListener(this);
    m_material = params.material;
    if (m_material != nullptr) {
        m_material->addRef();
    }
    m_viewDistance = std::isfinite(params.viewDistance) ? params.viewDistance : 50.0f;
    m_terrainOffset = std::isfinite(params.terrainOffset) ? params.terrainOffset : 0.0f;
    m_densityMapName = params.densityMapPath;
    m_shaderParameterName = params.densityMapShaderName;

    const BaseTerrain& terrain = terrainNode.getTerrain();
    const float upp = terrain.getUnitsPerPixel();
    const uint32_t n = terrain.getSize();
    if (!terrain.hasHeights() || n < 3 || !(upp > 0.0f)) {
        Log::get() << "Error: detail layer '" << name << "': the terrain has no heights\n";
        return;
    }
    if (!(params.cellSize > 0.0f) || !std::isfinite(params.cellSize)) {
        Log::get() << "Error: detail layer '" << name << "': cell size " << params.cellSize
                   << " must be above 0\n";
        return;
    }
    const double rounded = std::nearbyint(double(params.cellSize) / upp);
    // Cells must leave at least two per side: the window's cell coordinates
    // are centred on the terrain.
    const uint32_t gridCells = n - 1;
    if (rounded > double(gridCells) / 2.0) {
        Log::get() << "Error: detail layer '" << name << "': cell size " << params.cellSize
                   << " is larger than half the terrain (" << float(gridCells) * upp * 0.5f
                   << ")\n";
        return;
    }
    m_cellGrid = rounded > 1.0 ? nextPowerOfTwo(uint64_t(rounded)) : 1u;
    m_cellsPerSide = gridCells / m_cellGrid;
    setCellSize(float(m_cellGrid) * upp);

    const std::string path = DetailLayerSettings::resolveDensityMapPath(params.densityMapPath);
    if (path.size() > kMaxPathLength) {
        Log::get() << "Error: density map path of '" << name << "' is longer than "
                   << uint32_t(kMaxPathLength) << " characters\n";
        return;
    }
    const uint32_t channels = uint32_t(std::clamp<int32_t>(params.numDensityMapChannels, 1, 8));
    if (!m_map.load(path, channels)) {
        Log::get() << "Error: failed loading density map " << path << "\n";
        return;
    }
    if (m_map.getSize() < m_cellsPerSide) {
        Log::get() << "Error: density map " << path << " has " << m_map.getSize()
                   << " pixels per side, fewer than the " << m_cellsPerSide << " cells\n";
        return;
    }
    m_pixelsPerCell = m_map.getSize() / m_cellsPerSide;
    m_pixelsPerCellF = float(m_map.getSize()) / float(m_cellsPerSide);
    m_valid = true;

    if (surfaceCells) {
        VertexDeclarationDesc desc;
        desc.position.type = VET_FLOAT3;
        desc.normal.type = VET_FLOAT3;
        desc.texCoords[0].type = VET_SHORT2;
        auto buffers = std::make_unique<SharedCellBuffers>(desc, PT_TRIANGLE_STRIP);
        std::vector<uint32_t> strip;
        const uint32_t coarser[4] = {0, 0, 0, 0};
        GeoMipMappingTerrain::generateStrip(m_cellGrid + 1, 0, coarser, strip);
        const uint64_t side = uint64_t(m_cellGrid) + 1;
        buffers->setIndices(std::move(strip), side * side);
        setSharedBuffers(std::move(buffers));
        addLevel(m_viewDistance, 0.0f);
    }
}

TerrainDetailTransformGroup::~TerrainDetailTransformGroup() {
    destroyLevels();
    if (m_terrainNode != nullptr) {
        m_terrainNode->removeDeleteListener(this);
    }
    if (m_material != nullptr) {
        m_material->release();
    }
}

void TerrainDetailTransformGroup::setSharedBuffers(std::unique_ptr<SharedCellBuffers> buffers) {
    m_buffers = std::move(buffers);
}

void TerrainDetailTransformGroup::actionPerformed(void* source, int eventKind, int32_t value1,
                                                  int32_t value2) {
    if (eventKind == entityDestroyedEventKind() && m_terrainNode != nullptr &&
        source == static_cast<Entity*>(m_terrainNode)) {
        m_terrainNode = nullptr;
        return;
    }
    LocalGeometryTransformGroup::actionPerformed(source, eventKind, value1, value2);
}

BaseTerrain* TerrainDetailTransformGroup::getTerrain() const {
    return m_terrainNode != nullptr ? &m_terrainNode->getTerrain() : nullptr;
}

float TerrainDetailTransformGroup::toDensity(float world) const {
    const float half = getCellSize() * float(m_cellsPerSide) * 0.5f;
    return (world + half) / getCellSize() * m_pixelsPerCellF;
}

bool TerrainDetailTransformGroup::checkChannel(int32_t channel, bool allowAll,
                                               const char* operation) const {
    if (!m_valid) {
        return false;
    }
    if ((allowAll && channel == -1) ||
        (channel >= 0 && uint32_t(channel) < m_map.getChannelCount())) {
        return true;
    }
    Log::get() << "Error: " << operation << " on '" << getName() << "': channel " << channel
               << " out of range, the density map has " << m_map.getChannelCount() << " channels\n";
    return false;
}

int64_t TerrainDetailTransformGroup::getDensityParallelogram(float x, float z, float wx, float wz,
                                                             float hx, float hz,
                                                             int32_t channel) const {
    if (!checkChannel(channel, false, "getDensityParallelogram")) {
        return 0;
    }
    const float s = m_pixelsPerCellF / getCellSize();
    return m_map.countParallelogram(toDensity(x), toDensity(z), wx * s, wz * s, hx * s, hz * s,
                                    uint32_t(channel));
}

int64_t TerrainDetailTransformGroup::setDensityParallelogram(float x, float z, float wx, float wz,
                                                             float hx, float hz, int32_t channel,
                                                             float value) {
    if (!checkChannel(channel, true, "setDensityParallelogram")) {
        return 0;
    }
    const float s = m_pixelsPerCellF / getCellSize();
    DensityMap::Rect touched;
    const int64_t result = m_map.paintParallelogram(toDensity(x), toDensity(z), wx * s, wz * s,
                                                    hx * s, hz * s, channel, value > 0.5f, touched);
    if (value != 0.0f || result > 0) {
        rebuildDensityRect(touched);
    }
    return result;
}

int64_t TerrainDetailTransformGroup::setDensityMaskedParallelogram(
    float x, float z, float wx, float wz, float hx, float hz, int32_t channel,
    const TerrainDetailTransformGroup& mask, int32_t maskChannel, float value) {
    if (!checkChannel(channel, false, "setDensityMaskedParallelogram") ||
        !mask.checkChannel(maskChannel, false, "setDensityMaskedParallelogram (mask)")) {
        return 0;
    }
    const float s = m_pixelsPerCellF / getCellSize();
    DensityMap::Rect touched;
    const int64_t changed = m_map.paintMaskedParallelogram(
        toDensity(x), toDensity(z), wx * s, wz * s, hx * s, hz * s, uint32_t(channel), mask.m_map,
        uint32_t(maskChannel), value > 0.5f, touched);
    if (value != 0.0f || changed > 0) {
        rebuildDensityRect(touched);
    }
    return changed;
}

int64_t TerrainDetailTransformGroup::getDensityRegion(float x, float z, float width, float height,
                                                      int32_t channel) const {
    if (!checkChannel(channel, false, "getDensityRegion")) {
        return 0;
    }
    auto round = [](float v) {
        const double r = std::floor(double(v) + 0.5);
        // Non-finite values and values far outside any map count as none.
        return std::isfinite(r) ? int64_t(std::clamp(r, -1.0e12, 1.0e12)) : int64_t(0);
    };
    return m_map.countRegion(round(x), round(z), round(width), round(height), uint32_t(channel));
}

int64_t TerrainDetailTransformGroup::getDensityRegionWorld(float x, float z, float width,
                                                           float height, int32_t channel) const {
    if (!m_valid) {
        return 0;
    }
    const float s = m_pixelsPerCellF / getCellSize();
    return getDensityRegion(toDensity(x), toDensity(z), width * s, height * s, channel);
}

bool TerrainDetailTransformGroup::saveDensityMapToFile(const std::string& path) const {
    if (!m_valid) {
        Log::get() << "Error: saveDensityMapToFile on '" << getName() << "': no density map\n";
        return false;
    }
    std::string relative = path.empty() ? m_map.getPath() : path;
    const bool absolute = !relative.empty() && (relative[0] == '/' || relative[0] == '\\' ||
                                                relative.find(':') != std::string::npos);
    if (path.empty() && absolute) {
        // A map loaded from an absolute path is saved under its file name.
        const size_t slash = relative.find_last_of("/\\");
        relative = relative.substr(slash + 1);
    } else if (absolute) {
        Log::get() << "Error: saveDensityMapToFile: '" << path
                   << "' must be a path below the save folder\n";
        return false;
    }
    if (relative.empty() || relative.size() > kMaxPathLength || hasDotDot(relative)) {
        Log::get() << "Error: saveDensityMapToFile: path '" << relative
                   << "' refused (empty, longer than " << uint32_t(kMaxPathLength)
                   << " characters or holding \"..\")\n";
        return false;
    }
    const std::string& folder = DetailLayerSettings::getSaveFolder();
    if (folder.empty()) {
        Log::get() << "Error: saveDensityMapToFile: no folder to save into\n";
        return false;
    }
    const std::string target = folder + "/" + relative;
    const std::string parent = platform::folderOfPath(target);
    if (!parent.empty() && !platform::createFolderPath(parent)) {
        Log::get() << "Error: saveDensityMapToFile: cannot create folder '" << parent << "'\n";
        return false;
    }
    if (!m_map.save(target)) {
        Log::get() << "Error: saveDensityMapToFile: writing '" << target << "' failed\n";
        return false;
    }
    return true;
}

std::string TerrainDetailTransformGroup::getDensityMapFileName() const {
    const std::string& path = m_map.getPath().empty() ? m_densityMapName : m_map.getPath();
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

void TerrainDetailTransformGroup::rebuildDensityRect(const DensityMap::Rect& rect) {
    if (rect.empty() || m_map.getSize() == 0) {
        return;
    }
    const double size = m_map.getSize();
    const double cells = m_cellsPerSide;
    const int32_t half = int32_t(m_cellsPerSide / 2);
    const auto x0 = int32_t(std::trunc(rect.x / size * cells)) - half;
    const auto z0 = int32_t(std::trunc(rect.z / size * cells)) - half;
    const auto x1 = int32_t(std::ceil((rect.x + rect.width) / size * cells)) - half;
    const auto z1 = int32_t(std::ceil((rect.z + rect.height) / size * cells)) - half;
    markCellsForRebuild(x0, z0, x1 - 1, z1 - 1, true);
}

bool TerrainDetailTransformGroup::terrainCell(const LocalGeometryShape& shape, uint32_t& cx,
                                              uint32_t& cz) const {
    const int64_t x = int64_t(shape.cellX) + m_cellsPerSide / 2;
    const int64_t z = int64_t(shape.cellZ) + m_cellsPerSide / 2;
    if (!m_valid || x < 0 || z < 0 || x >= int64_t(m_cellsPerSide) ||
        z >= int64_t(m_cellsPerSide)) {
        return false;
    }
    cx = uint32_t(x);
    cz = uint32_t(z);
    return true;
}

std::unique_ptr<LocalGeometryShape> TerrainDetailTransformGroup::createCellShape(
    const std::string& name, int /*level*/) {
    auto shape = std::make_unique<LocalGeometryShape>(name);
    shape->setGeometry(new TerrainDetailGeometry(
        name, *m_buffers, VertexAttribute::Normal | VertexAttribute::TexCoords0));
    if (m_material != nullptr) {
        shape->addMaterial(m_material);
    }
    return shape;
}

void TerrainDetailTransformGroup::releaseCell(LocalGeometryShape& shape) {
    shape.setVisibility(false);
    if (auto* geometry = dynamic_cast<CellGeometry*>(shape.getGeometry())) {
        geometry->clear();
    }
}

bool TerrainDetailTransformGroup::buildCell(LocalGeometryShape& shape) {
    auto* geometry = dynamic_cast<TerrainDetailGeometry*>(shape.getGeometry());
    BaseTerrain* terrain = getTerrain();
    uint32_t cx = 0;
    uint32_t cz = 0;
    if (geometry == nullptr || terrain == nullptr || !terrain->hasHeights() ||
        !terrainCell(shape, cx, cz)) {
        if (geometry != nullptr) {
            geometry->setIndexCount(0);
            geometry->vertices.clear();
            geometry->channelMask = 0;
        }
        return false;
    }
    // Which of the first four channels occur in the cell's block, grown by
    // one pixel on every side.
    const int64_t d = m_pixelsPerCell;
    const int64_t last = int64_t(m_map.getSize()) - 1;
    const uint32_t channels = std::min(4u, m_map.getChannelCount());
    uint32_t present = 0;
    for (int64_t z = int64_t(cz) * d - 1; z <= int64_t(cz + 1) * d; ++z) {
        for (int64_t x = int64_t(cx) * d - 1; x <= int64_t(cx + 1) * d; ++x) {
            const auto px = uint32_t(std::clamp<int64_t>(x, 0, last));
            const auto pz = uint32_t(std::clamp<int64_t>(z, 0, last));
            present |= m_map.getBits(px, pz, 0, channels);
        }
    }
    geometry->channelMask = present;
    if (present == 0) {
        geometry->setIndexCount(0);
        geometry->vertices.clear();
        return false;
    }
    const uint32_t p = m_cellGrid;
    const uint32_t n = terrain->getSize();
    const float upp = terrain->getUnitsPerPixel();
    const float slopeFactor = upp * 0.1f;
    auto h = [terrain, n](int64_t col, int64_t row) {
        return terrain->getHeight(uint32_t(std::clamp<int64_t>(col, 0, n - 1)),
                                  uint32_t(std::clamp<int64_t>(row, 0, n - 1)));
    };
    geometry->vertices.resize(size_t(p + 1) * (p + 1));
    TerrainVertex* out = geometry->vertices.data();
    const float inset = 1.0f - 4.0f / float(std::max<int64_t>(d, 4));
    const float cellX0 = float(shape.cellX) * getCellSize();
    const float cellZ0 = float(shape.cellZ) * getCellSize();
    double heightSum = 0.0;
    for (uint32_t r = 0; r <= p; ++r) {
        const int64_t row = int64_t(p) * cz + r;
        for (uint32_t c = 0; c <= p; ++c) {
            const int64_t col = int64_t(p) * cx + c;
            TerrainVertex& v = *out++;
            v.position[0] = cellX0 + float(c) * upp;
            v.position[1] = h(col, row) + m_terrainOffset;
            v.position[2] = cellZ0 + float(r) * upp;
            heightSum += v.position[1];
            terrain->getGridNormal(col, row, slopeFactor, v.normal);
            v.texCoord[0] =
                static_cast<int16_t>(32767.0f * (0.5f + (float(c) / float(p) - 0.5f) * inset));
            v.texCoord[1] =
                static_cast<int16_t>(32767.0f * (0.5f + (float(r) / float(p) - 0.5f) * inset));
        }
    }
    const float average = float(heightSum / double(geometry->vertices.size()));
    geometry->setBounds(
        BoundingSphere({cellX0 + getCellSize() * 0.5f, average, cellZ0 + getCellSize() * 0.5f},
                       getCellSize() * 1.4142135f * 1.2f));
    geometry->upload(geometry->vertices.data(),
                     uint32_t(geometry->vertices.size() * sizeof(TerrainVertex)));
    geometry->setIndexCount(uint32_t(m_buffers->getIndices().size()));
    if (usesCellMaterials()) {
        if (!m_shaderParameterName.empty()) {
            buildDensityTexels(cx, cz, shape, *geometry);
        }
        updateCellMaterial(shape, *geometry);
    }
    shape.invalidateBounds();
    countBuiltCell();
    return true;
}

bool TerrainDetailTransformGroup::usesCellMaterials() const {
    return m_material != nullptr && m_material->getCustomShader() != nullptr;
}

std::string TerrainDetailTransformGroup::channelDefines(uint32_t mask) {
    std::string text;
    for (uint32_t k = 0; k < 4; ++k) {
        if (mask & (1u << k)) {
            text += "#define TERRAIN_DETAIL_CHANNEL_" + std::to_string(k + 1) + "\n";
        }
    }
    return text;
}

CustomShader* TerrainDetailTransformGroup::getChannelShader(uint32_t mask) {
    mask &= 15u;
    CustomShader* base = m_material != nullptr ? m_material->getCustomShader() : nullptr;
    if (mask == 0 || base == nullptr) {
        return nullptr;
    }
    RefPtr<CustomShader>& shader = m_channelShaders[mask];
    if (!shader) {
        // The base shader's levels with the defines put at the top of the
        // shared sources, so every piece of the levels' code sees them.
        std::vector<CustomShader::LodLevel> levels = base->getLodLevels();
        const std::string defines = channelDefines(mask);
        for (CustomShader::LodLevel& level : levels) {
            level.codeInjections.insert(level.codeInjections.begin(), {"HAS_TEXTURES", defines});
        }
        std::string name = base->getFileName() + " <detail channels";
        for (uint32_t k = 0; k < 4; ++k) {
            if (mask & (1u << k)) {
                name += " " + std::to_string(k + 1);
            }
        }
        shader = CustomShaderLibrary::create(name + ">", std::move(levels));
    }
    return shader->getIndex() != 0 ? shader.get() : nullptr;
}

void TerrainDetailTransformGroup::buildDensityTexels(uint32_t cx, uint32_t cz,
                                                     LocalGeometryShape& shape,
                                                     TerrainDetailGeometry& geometry) {
    const int64_t d = m_pixelsPerCell;
    const auto side = uint32_t(std::min<int64_t>(d, kMaxDensityTextureSide));
    const uint32_t grown = side + 2;
    const int64_t last = int64_t(m_map.getSize()) - 1;
    const uint32_t channels = std::min(4u, m_map.getChannelCount());
    // Block texel i stands for density pixel (cell start - 1 + i x (D + 2) /
    // grown): each pixel of the grown block once while D fits the texture,
    // evenly spaced pixels beyond.
    auto pixel = [d, grown, last](uint32_t cell, uint32_t i) {
        const int64_t p = int64_t(cell) * d - 1 + int64_t(i) * (d + 2) / int64_t(grown);
        return uint32_t(std::clamp<int64_t>(p, 0, last));
    };
    m_blockScratch.assign(size_t(grown) * grown * 4, 0);
    uint8_t* texel = m_blockScratch.data();
    for (uint32_t j = 0; j < grown; ++j) {
        const uint32_t z = pixel(cz, j);
        for (uint32_t i = 0; i < grown; ++i, texel += 4) {
            const uint32_t bits = m_map.getBits(pixel(cx, i), z, 0, channels);
            for (uint32_t k = 0; k < channels; ++k) {
                texel[k] = (bits & (1u << k)) ? 255 : 0;
            }
        }
    }
    geometry.densityTexels.resize(size_t(side) * side * 4);
    ImageUtil::resample(m_blockScratch.data(), grown, grown, 4, geometry.densityTexels.data(), side,
                        side);
    geometry.densityTextureSide = side;
    if (geometry.densityTexture == nullptr && !m_textureFailed) {
        geometry.densityTexture = createDensityTexture(shape.getName() + "_DensityMap", side);
        if (geometry.densityTexture == nullptr) {
            Log::get() << "Error: detail layer '" << getName() << "': density texture of " << side
                       << " x " << side << " texels could not be created\n";
            m_textureFailed = true;
        }
    }
    if (geometry.densityTexture != nullptr) {
        if (ITextureObject* object = geometry.densityTexture->getDeviceTexture()) {
            object->lock(LOCK_DISCARD);
            object->unlock(geometry.densityTexels.data());
        }
    }
}

void TerrainDetailTransformGroup::updateCellMaterial(LocalGeometryShape& shape,
                                                     TerrainDetailGeometry& geometry) {
    if (geometry.materialMask == geometry.channelMask) {
        return;
    }
    MaterialDesc desc = m_material->getDesc();
    desc.name = shape.getName() + "_Material";
    if (CustomShader* shader = getChannelShader(geometry.channelMask)) {
        desc.customShader = shader->getFileName();
    }
    if (geometry.densityTexture != nullptr) {
        const MaterialMapDesc map{geometry.densityTexture->getName(), false};
        auto own = std::find_if(
            desc.customTextures.begin(), desc.customTextures.end(),
            [this](const MaterialCustomTextureDesc& t) { return t.name == m_shaderParameterName; });
        if (own != desc.customTextures.end()) {
            own->map = map;
        } else {
            desc.addCustomTexture(m_shaderParameterName, map);
        }
    }
    shape.clearMaterials();
    shape.addMaterial(new Material(desc));
    geometry.materialMask = geometry.channelMask;
}
