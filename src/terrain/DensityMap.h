#pragma once
// A square bit-packed density map: up to eight on/off channels per pixel.
// Channel k of pixel (x, z) is bit (x + z * size) * channels + k of the
// array, bit b of a byte being 1 << (b mod 8). Row 0 is the top row of the
// image it was read from.
//
// Pixel (x, z) covers [x, x + 1) x [z, z + 1) in density coordinates and
// counts as inside a shape when its centre (x + 0.5, z + 0.5) is.

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

struct Image;

class DensityMap {
public:
    static constexpr uint32_t kMaxChannels = 8;
    // Largest side accepted; larger images are refused.
    static constexpr uint32_t kMaxSize = 16384;

    // A rectangle of pixels (first column, first row, width, height).
    struct Rect {
        int32_t x = 0;
        int32_t z = 0;
        int32_t width = 0;
        int32_t height = 0;
        bool empty() const { return width <= 0 || height <= 0; }
    };

    // An empty map of size x size with `channels` channels (clamped to
    // 1..8); false (logged) for a size of 0 or above kMaxSize.
    bool create(uint32_t size, uint32_t channels);
    // Reads an image through the file system. Only the first byte of each
    // pixel counts: its bit k becomes channel k. The image must be square;
    // otherwise the map stays empty and false is returned (logged).
    bool load(const std::string& path, uint32_t channels);
    bool setImage(const Image& image, uint32_t channels, const std::string& path);
    // Writes the map as an 8-bit grey image (pixel = sum of 2^k over its set
    // channels) to a file of the native file system, so that loading it
    // gives the same map.
    bool save(const std::string& nativePath) const;

    bool isValid() const { return m_size > 0; }
    uint32_t getSize() const { return m_size; }
    uint32_t getChannelCount() const { return m_channels; }
    const std::string& getPath() const { return m_path; }

    bool get(uint32_t x, uint32_t z, uint32_t channel) const {
        const uint64_t bit = bitIndex(x, z, channel);
        return (m_bits[size_t(bit >> 3)] & (1u << (bit & 7))) != 0;
    }
    // Returns true when the bit changed.
    bool set(uint32_t x, uint32_t z, uint32_t channel, bool value) {
        const uint64_t bit = bitIndex(x, z, channel);
        uint8_t& byte = m_bits[size_t(bit >> 3)];
        const uint8_t mask = static_cast<uint8_t>(1u << (bit & 7));
        const bool old = (byte & mask) != 0;
        if (old == value) {
            return false;
        }
        byte = static_cast<uint8_t>(value ? byte | mask : byte & ~mask);
        return true;
    }
    // The number formed by `count` channels from `first` (channel first + i
    // is bit i); channels past the last read as 0.
    uint32_t getBits(uint32_t x, uint32_t z, uint32_t first, uint32_t count) const;
    void setBits(uint32_t x, uint32_t z, uint32_t first, uint32_t count, uint32_t value);

    // Visits every pixel of the map whose centre lies inside the
    // parallelogram with corner (x, z) and edges (wx, wz), (hx, hz), all in
    // density coordinates. Pixels outside the map are never visited; a
    // shape with a non-finite coordinate visits nothing. Returns the
    // rectangle around the visited pixels.
    template <typename Visit>
    Rect forEachInParallelogram(float x, float z, float wx, float wz, float hx, float hz,
                                Visit&& visit) const;

    // Set pixels of a channel in the parallelogram.
    int64_t countParallelogram(float x, float z, float wx, float wz, float hx, float hz,
                               uint32_t channel) const;
    // Paints one channel, or every channel when `channel` is negative.
    // Returns the number of changed bits for every channel, or the number
    // of covered pixels that were set before for one channel. `touched`
    // receives the covered rectangle.
    int64_t paintParallelogram(float x, float z, float wx, float wz, float hx, float hz,
                               int32_t channel, bool value, Rect& touched);
    // Paints one channel only where `mask` has `maskChannel` set (a mask of
    // another size is sampled at the scaled, rounded pixel). Returns the
    // number of changed bits.
    int64_t paintMaskedParallelogram(float x, float z, float wx, float wz, float hx, float hz,
                                     uint32_t channel, const DensityMap& mask, uint32_t maskChannel,
                                     bool value, Rect& touched);
    // Set pixels of a channel in the pixel rectangle (x, z, width, height);
    // pixels outside the map count as the nearest border pixel, once for
    // every time the rectangle covers them.
    int64_t countRegion(int64_t x, int64_t z, int64_t width, int64_t height,
                        uint32_t channel) const;

private:
    uint64_t bitIndex(uint32_t x, uint32_t z, uint32_t channel) const {
        return (uint64_t(x) + uint64_t(z) * m_size) * m_channels + channel;
    }

    std::string m_path;
    uint32_t m_size = 0;
    uint32_t m_channels = 0;
    std::vector<uint8_t> m_bits;
};

template <typename Visit>
DensityMap::Rect DensityMap::forEachInParallelogram(float x, float z, float wx, float wz, float hx,
                                                    float hz, Visit&& visit) const {
    Rect rect;
    const double px[4] = {x, x + wx, double(x) + wx + hx, x + hx};
    const double pz[4] = {z, z + wz, double(z) + wz + hz, z + hz};
    double zMin = pz[0];
    double zMax = pz[0];
    for (int i = 0; i < 4; ++i) {
        if (!std::isfinite(px[i]) || !std::isfinite(pz[i])) {
            return rect;
        }
        zMin = std::min(zMin, pz[i]);
        zMax = std::max(zMax, pz[i]);
    }
    if (m_size == 0) {
        return rect;
    }
    const double last = double(m_size) - 1.0;
    // Rows whose centre lies in [zMin, zMax), clipped to the map.
    const double firstRow = std::max(0.0, std::ceil(zMin - 0.5));
    const double lastRow = std::min(last, std::ceil(zMax - 0.5) - 1.0);
    int32_t minCol = INT32_MAX;
    int32_t maxCol = -1;
    int32_t minRow = INT32_MAX;
    int32_t maxRow = -1;
    for (double row = firstRow; row <= lastRow; row += 1.0) {
        const double zc = row + 0.5;
        double xa = INFINITY;
        double xb = -INFINITY;
        for (int e = 0; e < 4; ++e) {
            const int f = (e + 1) & 3;
            const double dz = pz[f] - pz[e];
            if (std::fabs(dz) < 0.0001) {
                continue;
            }
            if (zc < std::min(pz[e], pz[f]) || zc > std::max(pz[e], pz[f])) {
                continue;
            }
            const double xe = px[e] + (zc - pz[e]) * (px[f] - px[e]) / dz;
            xa = std::min(xa, xe);
            xb = std::max(xb, xe);
        }
        if (!(xa <= xb)) {
            continue;
        }
        const double firstCol = std::max(0.0, std::ceil(xa - 0.5));
        const double lastCol = std::min(last, std::ceil(xb - 0.5) - 1.0);
        if (firstCol > lastCol) {
            continue;
        }
        const auto r = static_cast<uint32_t>(row);
        for (auto col = static_cast<uint32_t>(firstCol); col <= static_cast<uint32_t>(lastCol);
             ++col) {
            visit(col, r);
        }
        minCol = std::min(minCol, int32_t(firstCol));
        maxCol = std::max(maxCol, int32_t(lastCol));
        minRow = std::min(minRow, int32_t(r));
        maxRow = int32_t(r);
    }
    if (maxRow >= 0) {
        rect = {minCol, minRow, maxCol - minCol + 1, maxRow - minRow + 1};
    }
    return rect;
}
