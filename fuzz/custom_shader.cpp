// Custom shader files: read through the file system (an in-memory loader
// here) the way materials load them, registered, checked against the limits
// the shader builder relies on, and released so the registry empties again.

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "FuzzSupport.h"
#include "render/material/CustomShader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::ScopedMemoryFiles files("fuzz/", data, size);
    {
        RefPtr<CustomShader> shader = CustomShaderLibrary::get("fuzz/shader.xml");
        if (!shader) {
            return 0;
        }
        const auto& levels = shader->getLodLevels();
        if (levels.size() > CustomShader::kMaxLodLevels) {
            abort();
        }
        for (const CustomShader::LodLevel& level : levels) {
            if (level.textureNames.size() > CustomShader::kMaxEntriesPerList ||
                level.parameters.size() > CustomShader::kMaxEntriesPerList ||
                level.codeInjections.size() > CustomShader::kMaxEntriesPerList ||
                level.defineIndex < 0 || level.defineIndex > CustomShaderRegistry::kMaxDefineSets) {
                abort();
            }
            if (level.defineIndex > 0 && CustomShaderRegistry::getLodDefines(
                                             shader->getIndex(), level.defineIndex) == nullptr) {
                abort();
            }
        }
        shader->getLodLevel(0.0f);
        shader->getLodLevel(1e30f);
    }
    // Released: a later input starts from an empty registry.
    if (CustomShaderLibrary::find("fuzz/shader.xml") != nullptr) {
        abort();
    }
    return 0;
}
