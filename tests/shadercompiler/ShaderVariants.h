#pragma once
// Builds the text the engine compiles for one shader variant: the texture
// coordinate header, the counter macros, the feature defines and the shared
// sources from data/shared/shader, with custom code inserted at its markers,
// then runs the engine's preprocessor over it.

#include <ostream>
#include <string>
#include <utility>
#include <vector>

namespace shadertest {

struct Variant {
    std::string name;
    int directional = 0, point = 0, spot = 0;
    std::vector<std::string> features;  // "ALBEDO_MAP", "SKINNING", ...
    int fogMode = 0;
    int volumeFogMode = 0;
    // (hook, code) pairs inserted at "//customPos_<hook>".
    std::vector<std::pair<std::string, std::string>> injections;
};

// Keeps test names readable in failure messages.
inline void PrintTo(const Variant& v, std::ostream* os) {
    *os << v.name;
}

// The terrain code for `layers` detail layers, with or without the LOD map.
std::vector<std::pair<std::string, std::string>> terrainInjections(int layers, bool lodMap,
                                                                   bool vertexLighting);

// The variants the tests compile: lights of the three kinds, normal, gloss,
// parallax, emissive, reflection and refraction maps, shadow maps, fog,
// skinning and the terrain injections.
const std::vector<Variant>& corpusVariants();

// The preprocessed text of a variant; empty (and a test failure) on error.
std::string buildVariantText(const Variant& v);

// Reads a file of the shared shader folder.
std::string readSharedShader(const std::string& name);

// Path of glslangValidator (Debian's glslang-tools), empty when missing.
std::string glslangValidator();

struct GlslCheck {
    bool ok = false;
    std::string output;
};
// Compiles GLSL stages with glslangValidator; with both stages given they
// are also linked. An empty text leaves its stage out. Warnings fail too.
GlslCheck validateGlsl(const std::string& vertex, const std::string& fragment);

}  // namespace shadertest
