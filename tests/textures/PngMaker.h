#pragma once
// Builds PNG files byte by byte, for the kinds the engine's own writer never
// makes (16-bit samples, palettes, grey with alpha, damaged headers).

#include <zlib.h>

#include <cstdint>
#include <string>

namespace testpng {

inline void appendChunk(std::string& png, const char* type, const std::string& data) {
    auto be32 = [&png](uint32_t v) {
        for (int shift = 24; shift >= 0; shift -= 8) {
            png += static_cast<char>(v >> shift);
        }
    };
    be32(static_cast<uint32_t>(data.size()));
    std::string body = std::string(type, 4) + data;
    png += body;
    be32(static_cast<uint32_t>(
        crc32(0, reinterpret_cast<const Bytef*>(body.data()), static_cast<uInt>(body.size()))));
}

// colourType: 0 grey, 2 RGB, 3 palette, 4 grey + alpha, 6 RGBA. `rows` holds
// the packed samples of every row, top row first, without filter bytes.
// `palette` (PLTE) and `transparency` (tRNS) are added when not empty.
inline std::string makePng(uint32_t width, uint32_t height, int bitDepth, int colourType,
                           const std::string& rows, const std::string& palette = "",
                           const std::string& transparency = "") {
    std::string raw;
    size_t rowBytes = height > 0 ? rows.size() / height : 0;
    for (uint32_t y = 0; y < height; ++y) {
        raw += '\0';  // no filter
        raw += rows.substr(y * rowBytes, rowBytes);
    }
    uLongf size = compressBound(static_cast<uLong>(raw.size()));
    std::string packed(size, '\0');
    compress(reinterpret_cast<Bytef*>(packed.data()), &size,
             reinterpret_cast<const Bytef*>(raw.data()), static_cast<uLong>(raw.size()));
    packed.resize(size);
    std::string header(13, '\0');
    for (int i = 0; i < 4; ++i) {
        header[i] = static_cast<char>(width >> (24 - 8 * i));
        header[4 + i] = static_cast<char>(height >> (24 - 8 * i));
    }
    header[8] = static_cast<char>(bitDepth);
    header[9] = static_cast<char>(colourType);
    std::string png = "\x89PNG\r\n\x1a\n";
    appendChunk(png, "IHDR", header);
    if (!palette.empty()) {
        appendChunk(png, "PLTE", palette);
    }
    if (!transparency.empty()) {
        appendChunk(png, "tRNS", transparency);
    }
    appendChunk(png, "IDAT", packed);
    appendChunk(png, "IEND", "");
    return png;
}

// A PNG of 16 bits per channel, RGB, each row one grey value.
inline std::string make16BitPng(uint32_t width, uint32_t height) {
    std::string rows;
    for (uint32_t y = 0; y < height; ++y) {
        rows += std::string(width * 6, static_cast<char>(0x40 + y));
    }
    return makePng(width, height, 16, 2, rows);
}

}  // namespace testpng
