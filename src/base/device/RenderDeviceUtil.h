#pragma once
// Small rules of the device that need no GL context.

#include <cstdint>
#include <string>

namespace renderdeviceutil {

// Major and minor number of a GL version string ("3.3.0 Mesa 22" → 3, 3).
// False when it does not start with "<digits>.<digits>".
bool parseGLVersion(const char* version, int* major, int* minor);

// Whether `name` is a whole blank-separated word of `list`.
bool hasExtensionWord(const char* list, const char* name);

// Mip levels beyond the base that a size allows: halvings until every
// dimension is 1, at least 1 (a 1×1×1 texture counts 1).
uint32_t getMaxMipCount(uint32_t width, uint32_t height, uint32_t depth);

// The GL y (from the bottom) of a rectangle given from the top of a target.
inline int flipY(int targetHeight, int y, int height) {
    return targetHeight - y - height;
}

// The smallest power of two at or above a value (at least 1).
uint32_t nextPowerOfTwo(uint32_t value);

}  // namespace renderdeviceutil

#include <utility>
#include <vector>

namespace renderdeviceutil {

// Full-screen modes worth offering: at least 480 pixels high, each size
// once, in the given order.
std::vector<std::pair<int, int>> filterDisplayModes(const std::vector<std::pair<int, int>>& modes);

}  // namespace renderdeviceutil
