#include "base/3d/Image.h"

#include <strings.h>

#include <algorithm>
#include <cmath>
#include <utility>

#include "foundation/File.h"

namespace ImageUtil {

PixelFormat getSizingFormat(const Image& image) {
    switch (image.format) {
        case IF_DXT1:
            return image.channels == 4 ? PF_DXT1_A : PF_DXT1;
        case IF_DXT3:
            return PF_DXT3;
        case IF_DXT5:
            return PF_DXT5;
        case IF_BGR:
            return PF_BYTE_BGR24;
        case IF_RGBA:
            return PF_BYTE_RGBA32;
        case IF_BGRA:
            return PF_BYTE_BGRA32;
        case IF_LUMINANCE:
            return PF_L8;
        default:
            return PF_BYTE_RGB24;
    }
}

Image loadImage(bool lowerLeftOrigin, const std::string& path) {
    std::string contents;
    if (!FileSystem::readWholeFile(path, contents)) {
        return Image();
    }
    const auto* bytes = reinterpret_cast<const uint8_t*>(contents.data());
    if (path.size() >= 3 && strcasecmp(path.c_str() + path.size() - 3, "dds") == 0) {
        return readDds(bytes, contents.size(), path, lowerLeftOrigin);
    }
    return decodeWithImageLibrary(bytes, contents.size(), lowerLeftOrigin);
}

namespace {

// The four pixel rows of a block live in one byte each (DXT1 colour
// indices), two bytes each (DXT3 explicit alpha) or twelve bits each (DXT5
// alpha indices). `rows` is how many rows of the block hold pixels: levels
// under four pixels high only reverse those.
void flipColourRows(uint8_t* indices, int rows) {
    std::reverse(indices, indices + rows);
}

void flipExplicitAlphaRows(uint8_t* alpha, int rows) {
    for (int i = 0; i < rows / 2; ++i) {
        std::swap(alpha[2 * i], alpha[2 * (rows - 1 - i)]);
        std::swap(alpha[2 * i + 1], alpha[2 * (rows - 1 - i) + 1]);
    }
}

void flipAlphaIndexRows(uint8_t* indices, int rows) {
    uint64_t bits = 0;
    for (int i = 0; i < 6; ++i) {
        bits |= static_cast<uint64_t>(indices[i]) << (8 * i);
    }
    uint64_t row[4];
    for (int r = 0; r < 4; ++r) {
        row[r] = (bits >> (12 * r)) & 0xFFF;
    }
    std::reverse(row, row + rows);
    bits = 0;
    for (int r = 0; r < 4; ++r) {
        bits |= row[r] << (12 * r);
    }
    for (int i = 0; i < 6; ++i) {
        indices[i] = static_cast<uint8_t>(bits >> (8 * i));
    }
}

void flipBlock(uint8_t* block, PixelFormat format, int rows) {
    switch (format) {
        case PF_DXT1:
        case PF_DXT1_A:
            flipColourRows(block + 4, rows);
            break;
        case PF_DXT3:
            flipExplicitAlphaRows(block, rows);
            flipColourRows(block + 12, rows);
            break;
        case PF_DXT5:
            flipAlphaIndexRows(block + 2, rows);
            flipColourRows(block + 12, rows);
            break;
        default:
            break;
    }
}

}  // namespace

void flipLevel(uint8_t* level, uint32_t width, uint32_t height, PixelFormat format) {
    if (level == nullptr || width == 0 || height < 2) {
        return;
    }
    if (!PixelFormatUtil::isCompressed(format)) {
        size_t rowBytes = static_cast<size_t>(width) * PixelFormatUtil::getBytesPerPixel(format);
        for (uint32_t top = 0, bottom = height - 1; top < bottom; ++top, --bottom) {
            std::swap_ranges(level + top * rowBytes, level + (top + 1) * rowBytes,
                             level + bottom * rowBytes);
        }
        return;
    }
    size_t blockBytes = (format == PF_DXT1 || format == PF_DXT1_A) ? 8 : 16;
    uint32_t blocksWide = (width + 3) / 4;
    uint32_t blocksHigh = (height + 3) / 4;
    size_t rowBytes = blocksWide * blockBytes;
    // A level of fewer than four rows lives in the upper rows of one block
    // row; only those rows change places.
    int rowsInBlock = height < 4 ? static_cast<int>(height) : 4;
    for (uint32_t top = 0, bottom = blocksHigh - 1; top < bottom; ++top, --bottom) {
        std::swap_ranges(level + top * rowBytes, level + (top + 1) * rowBytes,
                         level + bottom * rowBytes);
    }
    for (size_t offset = 0; offset < rowBytes * blocksHigh; offset += blockBytes) {
        flipBlock(level + offset, format, rowsInBlock);
    }
}

namespace {

struct Tap {
    uint32_t first = 0;
    std::vector<float> weights;
};

// Tent filter taps along one axis: for each destination pixel the source
// pixels it covers and their normalised weights.
std::vector<Tap> makeTaps(uint32_t sourceLength, uint32_t destinationLength) {
    std::vector<Tap> taps(destinationLength);
    double scale = static_cast<double>(sourceLength) / destinationLength;
    double radius = std::max(1.0, scale);
    for (uint32_t d = 0; d < destinationLength; ++d) {
        double centre = (d + 0.5) * scale - 0.5;
        auto low = static_cast<int64_t>(std::ceil(centre - radius));
        auto high = static_cast<int64_t>(std::floor(centre + radius));
        low = std::max<int64_t>(low, 0);
        high = std::min<int64_t>(high, static_cast<int64_t>(sourceLength) - 1);
        Tap& tap = taps[d];
        double sum = 0.0;
        for (int64_t s = low; s <= high; ++s) {
            double w = 1.0 - std::fabs(static_cast<double>(s) - centre) / radius;
            tap.weights.push_back(static_cast<float>(std::max(w, 0.0)));
            sum += tap.weights.back();
        }
        if (tap.weights.empty() || sum <= 0.0) {
            // The nearest source pixel when the tent touches none.
            low = std::clamp<int64_t>(std::llround(centre), 0, sourceLength - 1);
            tap.weights.assign(1, 1.0f);
            sum = 1.0;
        }
        tap.first = static_cast<uint32_t>(low);
        for (float& w : tap.weights) {
            w = static_cast<float>(w / sum);
        }
    }
    return taps;
}

}  // namespace

void resample(const uint8_t* source, uint32_t sourceWidth, uint32_t sourceHeight, int channels,
              uint8_t* destination, uint32_t destinationWidth, uint32_t destinationHeight) {
    if (source == nullptr || destination == nullptr || sourceWidth == 0 || sourceHeight == 0 ||
        destinationWidth == 0 || destinationHeight == 0 || channels <= 0) {
        return;
    }
    std::vector<Tap> columns = makeTaps(sourceWidth, destinationWidth);
    std::vector<Tap> rows = makeTaps(sourceHeight, destinationHeight);
    // Horizontal pass into floats, then vertical pass into bytes.
    size_t stride = static_cast<size_t>(destinationWidth) * channels;
    std::vector<float> horizontal(stride * sourceHeight);
    for (uint32_t y = 0; y < sourceHeight; ++y) {
        const uint8_t* in = source + static_cast<size_t>(y) * sourceWidth * channels;
        float* out = horizontal.data() + y * stride;
        for (uint32_t x = 0; x < destinationWidth; ++x) {
            const Tap& tap = columns[x];
            for (int c = 0; c < channels; ++c) {
                float value = 0.0f;
                for (size_t i = 0; i < tap.weights.size(); ++i) {
                    value += tap.weights[i] * in[(tap.first + i) * channels + c];
                }
                out[x * channels + c] = value;
            }
        }
    }
    for (uint32_t y = 0; y < destinationHeight; ++y) {
        const Tap& tap = rows[y];
        uint8_t* out = destination + y * stride;
        for (size_t x = 0; x < stride; ++x) {
            float value = 0.0f;
            for (size_t i = 0; i < tap.weights.size(); ++i) {
                value += tap.weights[i] * horizontal[(tap.first + i) * stride + x];
            }
            out[x] = static_cast<uint8_t>(std::clamp(std::lround(value), 0L, 255L));
        }
    }
}

}  // namespace ImageUtil
