#pragma once
// Reads the 24-bit uncompressed BMP files the screenshot writer makes, and
// makes the plain TGA textures the rendering tests draw with.

#include <cstdint>
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
