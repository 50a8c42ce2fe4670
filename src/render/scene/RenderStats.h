#pragma once
// The text of the render statistics page: what the last scene render drew
// and what the device holds.

#include <cstdint>
#include <string>

struct RenderStatistics;

struct RenderMemoryUse {
    int64_t textureBytes = 0;
    int64_t vertexBufferBytes = 0;
    int64_t indexBufferBytes = 0;
};

// One line per figure, each ending in "\n"; lights per object with two
// decimals ("0" without objects), memory in kilobytes.
std::string renderStatsText(const RenderStatistics& statistics, const RenderMemoryUse& memory,
                            uint32_t shadersBuilt);
