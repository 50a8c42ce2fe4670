#include "render/scene/RenderStats.h"

#include <cstdio>

#include "scene/SceneRenderContext.h"

std::string renderStatsText(const RenderStatistics& s, const RenderMemoryUse& memory,
                            uint32_t shadersBuilt) {
    std::string text = "Render stats\n\n";
    char line[96];
    auto add = [&text, &line](const char* format, auto... values) {
        std::snprintf(line, sizeof(line), format, values...);
        text += line;
    };
    add("Num objects:   %u\n", s.objects);
    add("Num materials: %u\n", s.materials);
    add("Num lights:    %u\n", s.lights);
    if (s.objects > 0) {
        add("Lights/Object: %.2f\n", static_cast<double>(s.lights) / s.objects);
    } else {
        text += "Lights/Object: 0\n";
    }
    add("Rendered VBs:      %u\n", s.drawCalls);
    add("Rendered tris:     %u\n", s.primitives);
    add("Rendered vertices: %u\n", s.indices);
    add("Texture memory used:       %lldKB\n", static_cast<long long>(memory.textureBytes >> 10));
    add("VertexBuffer memory used:  %lldKB\n",
        static_cast<long long>(memory.vertexBufferBytes >> 10));
    add("IndexBuffer memory used:   %lldKB\n",
        static_cast<long long>(memory.indexBufferBytes >> 10));
    add("Shaders built:          %u\n", shadersBuilt);
    add("Uploaded detail cells:  %u  total: %u\n", s.detailCellsUploaded, s.detailCellsTotal);
    add("Uploaded foliage cells: %u  total: %u\n", s.foliageCellsUploaded, s.foliageCellsTotal);
    // Each instanced draw call drew `instances` of the rendered VBs.
    add("Draw calls:             %u\n", s.drawCalls - s.instances + s.instancedDrawCalls);
    add("Instanced draw calls:   %u  instances: %u\n", s.instancedDrawCalls, s.instances);
    return text;
}
