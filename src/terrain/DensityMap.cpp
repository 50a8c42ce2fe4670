#include "terrain/DensityMap.h"

#include "base/image/Image.h"
#include "foundation/Log.h"

bool DensityMap::create(uint32_t size, uint32_t channels) {
    m_size = 0;
    m_bits.clear();
    if (size == 0 || size > kMaxSize) {
        Log::get() << "Error: density map '" << m_path << "': " << size << " pixels per side, 1 to "
                   << kMaxSize << " are supported\n";
        return false;
    }
    m_channels = std::min(std::max(channels, 1u), kMaxChannels);
    m_size = size;
    const uint64_t bits = uint64_t(size) * size * m_channels;
    m_bits.assign(size_t((bits + 7) / 8), 0);
    return true;
}

bool DensityMap::load(const std::string& path, uint32_t channels) {
    m_path = path;
    const Image image = ImageUtil::loadImage(false, path);
    if (!image.valid) {
        m_size = 0;
        m_bits.clear();
        return false;
    }
    return setImage(image, channels, path);
}

bool DensityMap::setImage(const Image& image, uint32_t channels, const std::string& path) {
    m_path = path;
    m_size = 0;
    m_bits.clear();
    if (image.width != image.height) {
        Log::get() << "Error: density map '" << path << "' is " << image.width << " x "
                   << image.height << " pixels, it must be square\n";
        return false;
    }
    if (image.format == IF_DXT1 || image.format == IF_DXT3 || image.format == IF_DXT5 ||
        image.channels < 1) {
        Log::get() << "Error: density map '" << path << "' is not an uncompressed image\n";
        return false;
    }
    const uint64_t stride =
        uint64_t(image.channels) * (image.componentType == ICT_UNSIGNED_SHORT ? 2 : 1);
    const uint64_t pixels = uint64_t(image.width) * image.height;
    if (pixels * stride > image.data.size()) {
        Log::get() << "Error: density map '" << path << "' holds fewer pixels than its size\n";
        return false;
    }
    if (!create(image.width, channels)) {
        return false;
    }
    const auto used = static_cast<uint8_t>((1u << m_channels) - 1u);
    for (uint32_t z = 0; z < m_size; ++z) {
        for (uint32_t x = 0; x < m_size; ++x) {
            const uint8_t byte =
                image.data[size_t((uint64_t(x) + uint64_t(z) * m_size) * stride)] & used;
            if (byte != 0) {
                setBits(x, z, 0, m_channels, byte);
            }
        }
    }
    return true;
}

bool DensityMap::save(const std::string& nativePath) const {
    if (m_size == 0) {
        return false;
    }
    // The saver takes the bottom row first.
    std::vector<uint8_t> pixels(size_t(m_size) * m_size);
    for (uint32_t z = 0; z < m_size; ++z) {
        uint8_t* row = pixels.data() + size_t(m_size - 1 - z) * m_size;
        for (uint32_t x = 0; x < m_size; ++x) {
            row[x] = static_cast<uint8_t>(getBits(x, z, 0, m_channels));
        }
    }
    return ImageUtil::saveImage(nativePath, m_size, m_size, 1, IF_LUMINANCE, pixels.data());
}

uint32_t DensityMap::getBits(uint32_t x, uint32_t z, uint32_t first, uint32_t count) const {
    uint32_t value = 0;
    for (uint32_t i = 0; i < count && first + i < m_channels; ++i) {
        if (get(x, z, first + i)) {
            value |= 1u << i;
        }
    }
    return value;
}

void DensityMap::setBits(uint32_t x, uint32_t z, uint32_t first, uint32_t count, uint32_t value) {
    for (uint32_t i = 0; i < count && first + i < m_channels; ++i) {
        set(x, z, first + i, ((value >> i) & 1u) != 0);
    }
}

int64_t DensityMap::countParallelogram(float x, float z, float wx, float wz, float hx, float hz,
                                       uint32_t channel) const {
    if (channel >= m_channels) {
        return 0;
    }
    int64_t count = 0;
    forEachInParallelogram(x, z, wx, wz, hx, hz, [&](uint32_t px, uint32_t pz) {
        count += get(px, pz, channel) ? 1 : 0;
    });
    return count;
}

int64_t DensityMap::paintParallelogram(float x, float z, float wx, float wz, float hx, float hz,
                                       int32_t channel, bool value, Rect& touched) {
    int64_t result = 0;
    if (channel >= int32_t(m_channels)) {
        touched = {};
        return 0;
    }
    if (channel < 0) {
        touched = forEachInParallelogram(x, z, wx, wz, hx, hz, [&](uint32_t px, uint32_t pz) {
            for (uint32_t k = 0; k < m_channels; ++k) {
                result += set(px, pz, k, value) ? 1 : 0;
            }
        });
        return result;
    }
    const auto k = static_cast<uint32_t>(channel);
    touched = forEachInParallelogram(x, z, wx, wz, hx, hz, [&](uint32_t px, uint32_t pz) {
        result += get(px, pz, k) ? 1 : 0;
        set(px, pz, k, value);
    });
    return result;
}

int64_t DensityMap::paintMaskedParallelogram(float x, float z, float wx, float wz, float hx,
                                             float hz, uint32_t channel, const DensityMap& mask,
                                             uint32_t maskChannel, bool value, Rect& touched) {
    touched = {};
    if (channel >= m_channels || maskChannel >= mask.m_channels || mask.m_size == 0) {
        return 0;
    }
    const double scale = double(mask.m_size) / double(m_size);
    const uint32_t maskLast = mask.m_size - 1;
    int64_t changed = 0;
    touched = forEachInParallelogram(x, z, wx, wz, hx, hz, [&](uint32_t px, uint32_t pz) {
        const auto mx =
            static_cast<uint32_t>(std::min(double(maskLast), std::floor(px * scale + 0.5)));
        const auto mz =
            static_cast<uint32_t>(std::min(double(maskLast), std::floor(pz * scale + 0.5)));
        if (mask.get(mx, mz, maskChannel)) {
            changed += set(px, pz, channel, value) ? 1 : 0;
        }
    });
    return changed;
}

int64_t DensityMap::countRegion(int64_t x, int64_t z, int64_t width, int64_t height,
                                uint32_t channel) const {
    if (channel >= m_channels || m_size == 0 || width <= 0 || height <= 0) {
        return 0;
    }
    // How often each map index is covered by [start, start + length) once
    // indices outside are clamped to the border: the part before the map
    // lands on 0, the part after it on size - 1. Worked out per row and
    // column instead of pixel by pixel, so a huge rectangle costs no more
    // than the map.
    const int64_t last = int64_t(m_size) - 1;
    struct Span {
        int64_t before = 0;  // covered indices below 0
        int64_t after = 0;   // covered indices above last
        int64_t first = 0;   // inside part [first, end)
        int64_t end = 0;
    };
    auto span = [last](int64_t start, int64_t length) {
        Span s;
        const int64_t stop = start + length;  // exclusive
        s.before = std::max<int64_t>(0, std::min<int64_t>(stop, 0) - start);
        s.after = std::max<int64_t>(0, stop - std::max<int64_t>(start, last + 1));
        s.first = std::max<int64_t>(start, 0);
        s.end = std::min<int64_t>(stop, last + 1);
        return s;
    };
    // Keeps the arithmetic far from overflowing.
    constexpr int64_t kLimit = int64_t(1) << 30;
    const Span cols = span(std::clamp(x, -kLimit, kLimit), std::min(width, kLimit));
    const Span rows = span(std::clamp(z, -kLimit, kLimit), std::min(height, kLimit));
    auto rowCount = [&](uint32_t row) {
        int64_t count = 0;
        if (cols.before > 0 && get(0, row, channel)) {
            count += cols.before;
        }
        if (cols.after > 0 && get(uint32_t(last), row, channel)) {
            count += cols.after;
        }
        for (int64_t col = cols.first; col < cols.end; ++col) {
            count += get(uint32_t(col), row, channel) ? 1 : 0;
        }
        return count;
    };
    int64_t count = 0;
    if (rows.before > 0) {
        count += rows.before * rowCount(0);
    }
    if (rows.after > 0) {
        count += rows.after * rowCount(uint32_t(last));
    }
    for (int64_t row = rows.first; row < rows.end; ++row) {
        count += rowCount(uint32_t(row));
    }
    return count;
}
