#pragma once
// Reads the 24-bit uncompressed BMP files the screenshot writer makes, finds
// the pixels a test script named in its log, and makes the plain TGA textures
// the rendering tests draw with.

#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

struct Bitmap {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgb;  // rows from the bottom
    const uint8_t* at(int x, int y) const { return &rgb[(y * width + x) * 3]; }
};

inline uint32_t le32(const std::string& s, size_t offset) {
    return static_cast<uint8_t>(s[offset]) | static_cast<uint8_t>(s[offset + 1]) << 8 |
           static_cast<uint8_t>(s[offset + 2]) << 16 |
           static_cast<uint32_t>(static_cast<uint8_t>(s[offset + 3])) << 24;
}

// A 24-bit uncompressed BMP as the screenshot writer makes it.
inline Bitmap readBmp(const std::string& file) {
    Bitmap bitmap;
    if (file.size() < 54 || file.compare(0, 2, "BM") != 0 || le32(file, 28) % 65536 != 24) {
        return bitmap;
    }
    uint32_t offset = le32(file, 10);
    bitmap.width = static_cast<int>(le32(file, 18));
    auto height = static_cast<int32_t>(le32(file, 22));
    bool topDown = height < 0;
    bitmap.height = topDown ? -height : height;
    size_t rowBytes = (static_cast<size_t>(bitmap.width) * 3 + 3) / 4 * 4;
    if (file.size() < offset + rowBytes * bitmap.height) {
        bitmap.width = bitmap.height = 0;
        return bitmap;
    }
    bitmap.rgb.resize(static_cast<size_t>(bitmap.width) * bitmap.height * 3);
    for (int y = 0; y < bitmap.height; ++y) {
        int fileRow = topDown ? bitmap.height - 1 - y : y;
        for (int x = 0; x < bitmap.width; ++x) {
            size_t p = offset + fileRow * rowBytes + x * 3;
            uint8_t* out = &bitmap.rgb[(y * bitmap.width + x) * 3];
            out[0] = static_cast<uint8_t>(file[p + 2]);
            out[1] = static_cast<uint8_t>(file[p + 1]);
            out[2] = static_cast<uint8_t>(file[p]);
        }
    }
    return bitmap;
}

struct Probe {
    int x = 0;
    int y = 0;  // from the bottom of the image
};

// The points a test script printed as "probe NAME x y" lines, x and y being
// window coordinates 0..1, as pixels of `image`.
inline std::map<std::string, Probe> readProbes(const std::string& log, const Bitmap& image) {
    std::map<std::string, Probe> probes;
    for (size_t at = log.find("probe "); at != std::string::npos; at = log.find("probe ", at + 1)) {
        char name[32];
        float x = 0;
        float y = 0;
        if (std::sscanf(log.c_str() + at, "probe %31s %f %f", name, &x, &y) == 3) {
            // Window y runs from the bottom, as the image rows do.
            probes[name] = {static_cast<int>(x * image.width), static_cast<int>(y * image.height)};
        }
    }
    return probes;
}

// An 8 x 8 uncompressed 24-bit TGA of one colour.
inline std::string plainTga(int r, int g, int b) {
    std::string tga(18, '\0');
    tga[2] = 2;
    tga[12] = 8;
    tga[14] = 8;
    tga[16] = 24;
    for (int i = 0; i < 64; ++i) {
        tga += static_cast<char>(b);
        tga += static_cast<char>(g);
        tga += static_cast<char>(r);
    }
    return tga;
}
