#include "terrain/BaseTerrain.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "base/device/IRenderDevice.h"
#include "base/device/Texture.h"
#include "base/image/Image.h"
#include "foundation/Log.h"
#include "foundation/ResourceManager.h"
#include "terrain/TerrainSettings.h"

namespace {

// Largest LOD colour map, whatever the device takes: the map and one
// resampled weight map per layer are held in memory while it is built.
constexpr uint32_t kMaxLodTextureSize = 8192;
// Without a device (tools, tests) the colour map is still computed, this
// large at most.
constexpr uint32_t kMaxLodTextureSizeWithoutDevice = 4096;

bool isPowerOfTwo(uint64_t value) {
    return value != 0 && (value & (value - 1)) == 0;
}

// Bytes of one level of a byte or 16-bit image without compression, or 0
// when the image is compressed or its data is too short.
uint64_t plainLevelBytes(const Image& image) {
    if (image.format == IF_DXT1 || image.format == IF_DXT3 || image.format == IF_DXT5 ||
        image.channels < 1) {
        return 0;
    }
    const uint64_t componentBytes = image.componentType == ICT_UNSIGNED_SHORT ? 2 : 1;
    const uint64_t bytes =
        uint64_t(image.width) * image.height * uint64_t(image.channels) * componentBytes;
    return bytes <= image.data.size() ? bytes : 0;
}

// Mean red, green and blue of an image's first level: grey images give their
// grey to all three, 16-bit samples count with their high byte, compressed
// images are decoded first. False for an image without pixels.
bool meanColor(const Image& image, std::array<uint8_t, 3>& color) {
    const uint64_t pixels = uint64_t(image.width) * image.height;
    if (pixels == 0) {
        return false;
    }
    std::vector<uint8_t> decoded;
    const uint8_t* data = nullptr;
    int channels = image.channels;
    bool sixteenBit = image.componentType == ICT_UNSIGNED_SHORT;
    bool bgr = image.format == IF_BGR || image.format == IF_BGRA;
    if (image.format == IF_DXT1 || image.format == IF_DXT3 || image.format == IF_DXT5) {
        decoded.resize(pixels * 4);
        ImageUtil::decodeDxtLevel(image.data.data(), image.width, image.height,
                                  ImageUtil::getSizingFormat(image), decoded.data());
        data = decoded.data();
        channels = 4;
        sixteenBit = false;
        bgr = false;
    } else if (plainLevelBytes(image) != 0) {
        data = image.data.data();
    } else {
        return false;
    }
    uint64_t sums[3] = {0, 0, 0};
    const size_t componentBytes = sixteenBit ? 2 : 1;
    const size_t pixelBytes = size_t(channels) * componentBytes;
    for (uint64_t i = 0; i < pixels; ++i) {
        const uint8_t* pixel = data + i * pixelBytes;
        for (int c = 0; c < 3; ++c) {
            const int channel = channels >= 3 ? (bgr ? 2 - c : c) : 0;
            uint32_t value;
            if (sixteenBit) {
                uint16_t sample;
                std::memcpy(&sample, pixel + channel * 2, 2);
                value = sample >> 8;
            } else {
                value = pixel[channel];
            }
            sums[c] += value;
        }
    }
    for (int c = 0; c < 3; ++c) {
        color[c] = static_cast<uint8_t>(sums[c] / pixels);
    }
    return true;
}

uint8_t colorByte(float component) {
    // Written so that NaN gives 0.
    return component > 0.0f ? static_cast<uint8_t>(std::min(component * 255.0f, 255.0f)) : 0;
}

uint32_t nextTextureNumber() {
    static uint32_t counter = 0;
    return counter++;
}

}  // namespace

BaseTerrain::BaseTerrain() = default;

BaseTerrain::~BaseTerrain() {
    ResourceManager::instance().release(m_lodColorTexture);
    for (TerrainDetailLayer& layer : m_layers) {
        releaseLayer(layer);
    }
}

void BaseTerrain::releaseLayer(TerrainDetailLayer& layer) {
    ResourceManager::instance().release(layer.detailTexture);
    layer.detailTexture = nullptr;
}

void BaseTerrain::getGridNormal(int64_t col, int64_t row, float slopeFactor,
                                float normal[3]) const {
    const int64_t last = int64_t(m_size) - 1;
    auto h = [this, last](int64_t c, int64_t r) {
        return getHeight(uint32_t(std::clamp<int64_t>(c, 0, last)),
                         uint32_t(std::clamp<int64_t>(r, 0, last)));
    };
    const float sx = h(col - 1, row - 1) - h(col + 1, row - 1) + 2 * h(col - 1, row) -
                     2 * h(col + 1, row) + h(col - 1, row + 1) - h(col + 1, row + 1);
    const float sz = h(col - 1, row - 1) + 2 * h(col, row - 1) + h(col + 1, row - 1) -
                     h(col - 1, row + 1) - 2 * h(col, row + 1) - h(col + 1, row + 1);
    const float a = sx * slopeFactor;
    const float b = sz * slopeFactor;
    const float k = 1.0f / std::sqrt(a * a + 1.0f + b * b);
    normal[0] = a * k;
    normal[1] = k;
    normal[2] = b * k;
}

float BaseTerrain::getWorldSize() const {
    return m_size > 0 ? m_unitsPerPixel * float(m_size - 1) : 0.0f;
}

bool BaseTerrain::loadHeightmap(const std::string& name, const std::string& path) {
    Image image = ImageUtil::loadImage(false, path);
    if (!image.valid) {
        resetHeights(name, path);
        Log::get() << "faild to load heightmap '" << path << "'\n";
        return false;
    }
    return setHeightmapImage(image, name, path);
}

void BaseTerrain::resetHeights(const std::string& name, const std::string& path) {
    m_heights.clear();
    m_heights.shrink_to_fit();
    m_size = 0;
    m_halfSize = 0.0f;
    m_heightmapName = name;
    m_heightmapPath = path;
}

bool BaseTerrain::setHeightmapImage(const Image& image, const std::string& name,
                                    const std::string& path) {
    resetHeights(name, path);
    if (image.width != image.height) {
        Log::get() << "load heightmap '" << path << "': height must equal width\n";
        return false;
    }
    const uint64_t m = image.width;
    uint64_t n = 0;
    if (isPowerOfTwo(m)) {
        n = m + 1;
    } else if (m >= 2 && isPowerOfTwo(m - 1)) {
        n = m;
    } else {
        Log::get() << "load heightmap '" << path << "': width must either be n^2 or n^2+1\n";
        return false;
    }
    if (n > kMaxGridSize) {
        Log::get() << "Error: load heightmap '" << path << "': " << static_cast<uint32_t>(m)
                   << " pixels per side, at most " << kMaxGridSize << " are supported\n";
        return false;
    }
    if (plainLevelBytes(image) == 0) {
        Log::get() << "Error: load heightmap '" << path
                   << "': compressed or incomplete images cannot be read as heights\n";
        return false;
    }

    m_size = static_cast<uint32_t>(n);
    m_heights.assign(n * n, 0);
    uint16_t highest = 0;
    uint16_t lowest = 65535;
    const int channels = image.channels;
    const bool sixteenBit = image.componentType == ICT_UNSIGNED_SHORT;
    const size_t pixelBytes = size_t(channels) * (sixteenBit ? 2 : 1);
    for (uint64_t row = 0; row < m; ++row) {
        const uint8_t* source = image.data.data() + row * m * pixelBytes;
        for (uint64_t col = 0; col < m; ++col) {
            const uint8_t* pixel = source + col * pixelBytes;
            uint16_t value;
            if (sixteenBit) {
                // The first channel of a 16-bit image, in host order.
                std::memcpy(&value, pixel, 2);
            } else if (channels == 1) {
                value = pixel[0];
            } else {
                value = static_cast<uint16_t>(pixel[0] * 256 + pixel[1]);
            }
            m_heights[col + row * n] = value;
            highest = std::max(highest, value);
            lowest = std::min(lowest, value);
        }
    }
    if (n == m + 1) {
        // The extra column repeats its left neighbour, the extra row the row
        // above; the corner averages the two.
        for (uint64_t row = 0; row < m; ++row) {
            m_heights[m + row * n] = m_heights[m - 1 + row * n];
        }
        for (uint64_t col = 0; col < m; ++col) {
            m_heights[col + m * n] = m_heights[col + (m - 1) * n];
        }
        m_heights[m + m * n] = static_cast<uint16_t>(
            (uint32_t(m_heights[m + (m - 1) * n]) + m_heights[m - 1 + m * n]) >> 1);
    }
    m_highest = highest;
    m_lowest = lowest;
    m_halfSize = float(n - 1) * 0.5f;
    return true;
}

float BaseTerrain::getLodBlendStart() const {
    return m_lodBlendStart * TerrainSettings::getLayerDistanceCoeff();
}

float BaseTerrain::getLodBlendEnd() const {
    return m_lodBlendEnd * TerrainSettings::getLayerDistanceCoeff();
}

void BaseTerrain::setParameters(float heightScale, float unitsPerPixel, float lodBlendStart,
                                float lodBlendEnd) {
    // Values from the file that would turn positions or the shaders' blend
    // into NaN are ignored.
    auto finite = [](float value, float fallback, const char* name) {
        if (std::isfinite(value)) {
            return value;
        }
        Log::get() << "Warning: terrain " << name << " is not a number, using " << fallback << "\n";
        return fallback;
    };
    m_heightFactor = finite(heightScale, 6553.6f, "heightScale") * kBaseFactor;
    if (unitsPerPixel > 0.0f && std::isfinite(unitsPerPixel)) {
        m_unitsPerPixel = unitsPerPixel;
    } else {
        Log::get() << "Warning: terrain unitsPerPixel " << unitsPerPixel
                   << " ignored, it must be above 0\n";
    }
    m_lodBlendStart = finite(lodBlendStart, 100.0f, "lodBlendStart");
    m_lodBlendEnd = finite(lodBlendEnd, 220.0f, "lodBlendEnd");
    // The shaders divide by the width of the blend band.
    if (!(m_lodBlendEnd > m_lodBlendStart)) {
        Log::get() << "Warning: terrain lodBlendEnd " << m_lodBlendEnd
                   << " must lie beyond lodBlendStart " << m_lodBlendStart << ", using "
                   << m_lodBlendStart + 1.0f << "\n";
        m_lodBlendEnd = m_lodBlendStart + 1.0f;
    }
}

bool BaseTerrain::addLayer(const TerrainLayerParams& params) {
    if (!(params.unitSize > 0.0f) || !std::isfinite(params.unitSize)) {
        Log::get() << "Error: Terrain layer '" << params.detailMap << "' unitSize "
                   << params.unitSize << " must be above 0, layer ignored\n";
        return false;
    }
    TerrainDetailLayer layer;
    layer.detailMapName = params.detailMap;
    layer.weightMapName = params.weightMapName;
    layer.weightMapPath = params.weightMapPath;
    layer.plane = params.plane;
    layer.detailTexture = ResourceManager::instance().get(params.detailMap, ResourceType::Texture);
    Image weights = ImageUtil::loadImage(false, params.weightMapPath);
    if (layer.detailTexture == nullptr || !weights.valid) {
        releaseLayer(layer);
        return false;
    }
    if (weights.channels != 1 || weights.componentType != ICT_UNSIGNED_BYTE ||
        weights.format != IF_LUMINANCE || plainLevelBytes(weights) == 0) {
        Log::get() << "Error: Terrain weightmap '" << params.weightMapPath
                   << "' incorrect format. Must be 8bit single channel.\n";
        releaseLayer(layer);
        return false;
    }
    if (!m_layers.empty() &&
        (weights.width != m_layers[0].weightWidth || weights.height != m_layers[0].weightHeight)) {
        Log::get() << "Error: Terrain weightmap '" << params.weightMapPath
                   << "' size incorrect. Same size is needed.\n";
        releaseLayer(layer);
        return false;
    }
    if (params.hasDistanceColor) {
        layer.hasDistanceColor = true;
        for (int c = 0; c < 3; ++c) {
            layer.distanceColor[c] = colorByte(params.distanceColor[c]);
        }
    } else {
        Image detail = ImageUtil::loadImage(true, params.detailMap);
        if (!detail.valid || !meanColor(detail, layer.distanceColor)) {
            releaseLayer(layer);
            return false;
        }
    }
    layer.weightWidth = weights.width;
    layer.weightHeight = weights.height;
    layer.weights.assign(weights.data.begin(),
                         weights.data.begin() + uint64_t(weights.width) * weights.height);
    const float divisions = m_size > 0 ? float(m_size - 1) : 0.0f;
    layer.repeat = m_unitsPerPixel * divisions / params.unitSize;
    m_layers.push_back(std::move(layer));
    return true;
}

void BaseTerrain::setGlobalLayerMap(const std::string& name, const std::string& path) {
    m_globalLayer.clear();
    m_globalLayerWidth = 0;
    m_globalLayerHeight = 0;
    m_globalLayerMapName = name;
    m_globalLayerMapPath = path;
    if (path.empty()) {
        return;
    }
    Image image = ImageUtil::loadImage(false, path);
    if (!image.valid) {
        return;
    }
    if (image.channels != 3 || image.componentType != ICT_UNSIGNED_BYTE ||
        plainLevelBytes(image) == 0) {
        Log::get() << "Error: global layer map '" << path << "' does not have 3 channels\n";
        return;
    }
    const uint64_t pixels = uint64_t(image.width) * image.height;
    m_globalLayer.assign(image.data.begin(), image.data.begin() + pixels * 3);
    if (image.format == IF_BGR) {
        for (uint64_t i = 0; i < pixels; ++i) {
            std::swap(m_globalLayer[i * 3], m_globalLayer[i * 3 + 2]);
        }
    }
    m_globalLayerWidth = image.width;
    m_globalLayerHeight = image.height;
}

float BaseTerrain::getHeightAtGridPosition(float px, float pz) const {
    const float n = float(m_size);
    // Written so that NaN lands outside as well.
    if (m_size == 0 || !(px >= 0.0f && pz >= 0.0f && px <= n && pz <= n)) {
        return 0.0f;
    }
    const uint32_t last = m_size - 1;
    const uint32_t col = std::min(static_cast<uint32_t>(px), last);
    const uint32_t row = std::min(static_cast<uint32_t>(pz), last);
    const float fx = px - float(col);
    const float fz = pz - float(row);
    const float h00 = getHeight(col, row);
    const bool nextCol = col + 1 < m_size;
    const bool nextRow = row + 1 < m_size;
    const float h10 = nextCol ? getHeight(col + 1, row) : h00;
    const float h01 = nextRow ? getHeight(col, row + 1) : h00;
    const float h11 = nextCol && nextRow ? getHeight(col + 1, row + 1) : h00;
    return (h10 * fx + h00 * (1.0f - fx)) * (1.0f - fz) + fz * (fx * h11 + (1.0f - fx) * h01);
}

float BaseTerrain::getHeightAtLocalPosition(float x, float z) const {
    return getHeightAtGridPosition(x / m_unitsPerPixel + m_halfSize,
                                   z / m_unitsPerPixel + m_halfSize);
}

void BaseTerrain::dropLayersSmallerThan(uint32_t minSize) {
    for (size_t i = 0; i < m_layers.size();) {
        TerrainDetailLayer& layer = m_layers[i];
        if (layer.weightWidth >= minSize && layer.weightHeight >= minSize) {
            ++i;
            continue;
        }
        Log::get() << "Error: Terrain weightmap '" << layer.weightMapPath << "' has "
                   << layer.weightWidth << " x " << layer.weightHeight << " pixels, fewer than the "
                   << minSize << " patches per side, layer ignored\n";
        releaseLayer(layer);
        m_layers.erase(m_layers.begin() + long(i));
    }
}

void BaseTerrain::normaliseWeights() {
    if (m_layers.empty()) {
        return;
    }
    const size_t pixels = size_t(getWeightMapWidth()) * getWeightMapHeight();
    for (size_t p = 0; p < pixels; ++p) {
        uint32_t sum = 0;
        for (const TerrainDetailLayer& layer : m_layers) {
            sum += layer.weights[p];
        }
        if (sum == 0) {
            m_layers[0].weights[p] = 255;
            continue;
        }
        const float scale = 1.0f / (float(sum) / 255.0f);
        for (TerrainDetailLayer& layer : m_layers) {
            const float weight = std::min(float(layer.weights[p]) * scale, 255.0f);
            layer.weights[p] = static_cast<uint8_t>(weight);
        }
    }
}

void BaseTerrain::buildLodColorMap(uint32_t size, float globalLayerWeight) {
    ResourceManager::instance().release(m_lodColorTexture);
    m_lodColorTexture = nullptr;
    m_globalLayerWeight = globalLayerWeight;

    IRenderDevice* device = TextureSettings::getRenderDevice();
    uint32_t maxSize = kMaxLodTextureSizeWithoutDevice;
    if (device != nullptr && device->getMaxTextureSize() > 0) {
        maxSize = std::min<uint32_t>(static_cast<uint32_t>(device->getMaxTextureSize()),
                                     kMaxLodTextureSize);
    }
    const uint32_t s = std::clamp<uint32_t>(size, 1, maxSize);
    if (s != size) {
        Log::get() << "Warning: terrain lodTextureSize " << size << " clamped to " << s << "\n";
    }
    m_lodTextureSize = s;
    const size_t texels = size_t(s) * s;

    std::vector<uint8_t> global(texels * 3, 255);
    if (hasGlobalLayerMap()) {
        ImageUtil::resample(m_globalLayer.data(), m_globalLayerWidth, m_globalLayerHeight, 3,
                            global.data(), s, s);
    }
    std::vector<std::vector<uint8_t>> weights(m_layers.size());
    for (size_t i = 0; i < m_layers.size(); ++i) {
        weights[i].resize(texels);
        ImageUtil::resample(m_layers[i].weights.data(), m_layers[i].weightWidth,
                            m_layers[i].weightHeight, 1, weights[i].data(), s, s);
    }
    const float globalWeight =
        std::isfinite(globalLayerWeight) ? std::clamp(globalLayerWeight, 0.0f, 1.0f) : 0.15f;
    m_lodColorPixels.assign(texels * 3, 0);
    for (size_t t = 0; t < texels; ++t) {
        float color[3] = {0, 0, 0};
        if (m_layers.empty()) {
            // Without detail layers the global layer map (or white) is the
            // whole colour.
            for (int c = 0; c < 3; ++c) {
                color[c] = global[t * 3 + c];
            }
        } else {
            float sum = 0.0f;
            for (size_t i = 0; i < m_layers.size(); ++i) {
                sum += float(weights[i][t]) / 255.0f;
            }
            // A texel without any weight stays black.
            if (sum > 0.0f) {
                const float inverse = 1.0f / sum;
                for (size_t i = 0; i < m_layers.size(); ++i) {
                    const float w = float(weights[i][t]) / 255.0f * inverse;
                    for (int c = 0; c < 3; ++c) {
                        color[c] += w * float(m_layers[i].distanceColor[c]);
                    }
                }
            }
        }
        for (int c = 0; c < 3; ++c) {
            const float value =
                globalWeight * float(global[t * 3 + c]) + (1.0f - globalWeight) * color[c];
            m_lodColorPixels[t * 3 + c] = static_cast<uint8_t>(std::clamp(value, 0.0f, 255.0f));
        }
    }

    if (device == nullptr) {
        return;
    }
    TextureDesc desc;
    desc.data = m_lodColorPixels.data();
    desc.width = s;
    desc.height = s;
    desc.format = PF_BYTE_RGB24;
    desc.mipFilter = TF_LINEAR;
    desc.wrapS = desc.wrapT = desc.wrapR = TW_CLAMP_TO_EDGE;
    std::unique_ptr<ITextureObject> object = device->createTexture(desc);
    if (!object) {
        Log::get() << "Error: terrain LOD colour texture (" << s << " x " << s
                   << ") could not be created\n";
        return;
    }
    auto* texture = new Texture("BaseTerrainColorTexture" + std::to_string(nextTextureNumber()),
                                std::move(object));
    if (!ResourceManager::instance().add(texture)) {
        delete texture;
        return;
    }
    m_lodColorTexture = texture;
}
