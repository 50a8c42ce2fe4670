#include "foundation/Md5.h"

#include <md5.h>

std::array<uint8_t, 16> md5Digest(const void* data, size_t size) {
    MD5_CTX context;
    MD5Init(&context);
    MD5Update(&context, static_cast<const uint8_t*>(data), size);
    std::array<uint8_t, 16> digest{};
    MD5Final(digest.data(), &context);
    return digest;
}

std::string md5Hex(const void* data, size_t size) {
    static const char kHex[] = "0123456789abcdef";
    auto digest = md5Digest(data, size);
    std::string text;
    text.reserve(32);
    for (uint8_t b : digest) {
        text += kHex[b >> 4];
        text += kHex[b & 15];
    }
    return text;
}
