#pragma once
// Custom shaders: XML files that add textures, parameters and code to the
// generated shaders of the materials that name them. CustomShaderLibrary
// shares one CustomShader per file name; CustomShaderRegistry gives each
// loaded shader the index that shader keys carry and keeps the define text
// of its LOD levels, which the shader builder reads.
//
// File layout:
//
//     <CustomShader>
//       <LodLevel startDistance="0">
//         <Textures><Texture name="dirtMap"/></Textures>
//         <Parameters><Parameter name="tint" target="In.custom.tint"/></Parameters>
//         <CodeInjections>
//           <CodeInjection position="FS_ALBEDO">albedo *= In.custom.tint;</CodeInjection>
//         </CodeInjections>
//       </LodLevel>
//     </CustomShader>

#include <string>
#include <vector>

#include "foundation/Entity.h"

class CustomShader : public RefCounted {
public:
    struct Parameter {
        std::string name;
        std::string target;  // the uniform the value is written to
    };
    struct CodeInjection {
        std::string position;  // the marker name in the shader sources
        std::string code;
    };
    struct LodLevel {
        float startDistance = 0.0f;
        std::vector<std::string> textureNames;
        std::vector<Parameter> parameters;
        std::vector<CodeInjection> codeInjections;
        // The level's define set in the registry (1..15), 0 when it got none.
        int32_t defineIndex = 0;
    };

    // Levels beyond this many are dropped with a log line.
    static constexpr size_t kMaxLodLevels = 15;
    // Entries per list of one level; more are dropped with a log line.
    static constexpr size_t kMaxEntriesPerList = 64;

    explicit CustomShader(std::string fileName);
    ~CustomShader() override;

    const std::string& getFileName() const { return m_fileName; }
    const std::vector<LodLevel>& getLodLevels() const { return m_levels; }
    // Index 1..127 in the registry, 0 when it could not be registered.
    int32_t getIndex() const { return m_index; }

    // Reads the file through the file system; a file that cannot be read
    // leaves the shader without levels. Registers the shader and its levels.
    void load();
    // Builds the levels from already parsed text lookups (used by load).
    void setLevels(std::vector<LodLevel> levels);
    // Hot reload: reads the file again and takes its code injections and
    // start distances. Materials keep their textures and parameters, so a
    // file whose levels, textures or parameters changed is refused (false,
    // logged) and nothing changes.
    bool reloadCode();
    // Takes the code injections and start distances of levels shaped like
    // the current ones; false (nothing changed) for other shapes.
    bool replaceCode(const std::vector<LodLevel>& levels);

    // The index of the last level whose start distance is at or below the
    // distance; -1 below the first start or without levels.
    int32_t getLodLevel(float distance) const;

private:
    // The levels of the file as written; false when it cannot be read.
    bool readLevels(std::vector<LodLevel>& levels) const;
    // Drops levels that do not start beyond the one before (logged) and
    // puts an empty level from 0 before a first level that starts later.
    static std::vector<LodLevel> sortLevels(std::vector<LodLevel> levels);

    std::string m_fileName;
    std::vector<LodLevel> m_levels;
    int32_t m_index = 0;
};

namespace CustomShaderLibrary {
// The shader of that file, loaded on first use and shared while referenced.
RefPtr<CustomShader> get(const std::string& fileName);
// A shader the engine generates rather than reads: made from the given
// levels, registered, and shared under `name` like a loaded one (materials
// name it as their custom shader file). An existing shader of that name is
// returned unchanged.
RefPtr<CustomShader> create(const std::string& name, std::vector<CustomShader::LodLevel> levels);
// The live shader of that file or none (no reference added).
CustomShader* find(const std::string& fileName);
}  // namespace CustomShaderLibrary

// What the shader builder reads for a shader key's custom fields: index
// 1..127 names a registered shader, LOD field 1..15 its define text.
namespace CustomShaderRegistry {
constexpr int32_t kMaxShaders = 127;
constexpr int32_t kMaxDefineSets = 15;
// Index 1..127, or 0 with "Error: too many custom defines\n" when full.
int32_t registerShader(CustomShader* shader);
void unregisterShader(int32_t index);
// Define set 1..15 of the shader at `index`, or 0 with "Error: too many
// custom defines\n" when the shader has 15 already.
int32_t registerLodDefines(int32_t index, const std::string& text);
CustomShader* getShader(int32_t index);
// The define text of a set, or null for an unknown index or set.
const std::string* getLodDefines(int32_t index, int32_t defineSet);
}  // namespace CustomShaderRegistry
