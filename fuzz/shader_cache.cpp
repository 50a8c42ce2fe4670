// Shader cache files: a cached program's text and reflection read through the
// file system (an in-memory loader here) for both stages; an accepted entry
// must keep its parameters inside the register count it claims and its
// samplers on the units the device has.

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "FuzzSupport.h"
#include "render/shader/ShaderCacheFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::ScopedMemoryFiles files("fuzz/", data, size);
    const ShaderCacheLimits limits;
    const shaderinterface::Stage stages[] = {shaderinterface::Stage::Vertex,
                                             shaderinterface::Stage::Fragment};
    for (shaderinterface::Stage stage : stages) {
        ShaderCacheEntry entry;
        if (!readShaderCacheFile("fuzz/vs_cache.xml", stage, limits, entry)) {
            continue;
        }
        // The device trusts these when it uploads the register array.
        const shaderinterface::Reflection& r = entry.reflection;
        for (const shaderinterface::ParameterInfo& p : r.parameters) {
            const bool inside = p.registerIndex >= 0 && p.registerCount >= 1 &&
                                p.registerIndex + p.registerCount <= r.numRegisters;
            const bool initialFits =
                p.initialValue.empty() ||
                p.initialValue.size() == static_cast<size_t>(p.registerCount) * 4;
            if (!inside || !initialFits) {
                abort();
            }
        }
        for (const shaderinterface::SamplerInfo& s : r.samplers) {
            if (s.textureUnit < 0 || s.textureUnit >= limits.maxTextureUnits) {
                abort();
            }
        }
        volatile size_t length = formatShaderCacheFile(entry).size();
        (void)length;
    }
    return 0;
}
