#include "base/device/RenderDeviceUtil.h"

#include <cctype>
#include <cstring>

namespace renderdeviceutil {

namespace {

bool readNumber(const char*& p, int* value) {
    if (!std::isdigit(static_cast<unsigned char>(*p))) {
        return false;
    }
    int result = 0;
    while (std::isdigit(static_cast<unsigned char>(*p))) {
        result = result * 10 + (*p - '0');
        ++p;
    }
    *value = result;
    return true;
}

}  // namespace

bool parseGLVersion(const char* version, int* major, int* minor) {
    if (!version) {
        return false;
    }
    const char* p = version;
    int maj = 0;
    int min = 0;
    if (!readNumber(p, &maj) || *p != '.') {
        return false;
    }
    ++p;
    if (!readNumber(p, &min)) {
        return false;
    }
    *major = maj;
    *minor = min;
    return true;
}

bool hasExtensionWord(const char* list, const char* name) {
    if (!list || !name || !*name) {
        return false;
    }
    size_t length = std::strlen(name);
    const char* p = list;
    while ((p = std::strstr(p, name)) != nullptr) {
        bool startsWord = p == list || p[-1] == ' ';
        bool endsWord = p[length] == ' ' || p[length] == '\0';
        if (startsWord && endsWord) {
            return true;
        }
        p += length;
    }
    return false;
}

uint32_t getMaxMipCount(uint32_t width, uint32_t height, uint32_t depth) {
    width = width ? width : 1;
    height = height ? height : 1;
    depth = depth ? depth : 1;
    uint32_t count = 0;
    while (width > 1 || height > 1 || depth > 1) {
        width = width > 1 ? width / 2 : 1;
        height = height > 1 ? height / 2 : 1;
        depth = depth > 1 ? depth / 2 : 1;
        ++count;
    }
    return count == 0 ? 1 : count;
}

uint32_t nextPowerOfTwo(uint32_t value) {
    uint32_t result = 1;
    while (result < value && result < 0x80000000u) {
        result <<= 1;
    }
    return result;
}

}  // namespace renderdeviceutil

namespace renderdeviceutil {

std::vector<std::pair<int, int>> filterDisplayModes(const std::vector<std::pair<int, int>>& modes) {
    std::vector<std::pair<int, int>> kept;
    for (const auto& mode : modes) {
        if (mode.second < 480) {
            continue;
        }
        bool seen = false;
        for (const auto& other : kept) {
            seen = seen || other == mode;
        }
        if (!seen) {
            kept.push_back(mode);
        }
    }
    return kept;
}

}  // namespace renderdeviceutil
