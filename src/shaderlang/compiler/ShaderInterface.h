#pragma once
// The contract between compiled shaders and the render device: where vertex
// attributes live, how varyings and the parameter registers are named, and
// what the reflection of a compiled stage lists. Both sides include this
// header; nothing here depends on GL.

#include <cstdint>
#include <string>
#include <vector>

namespace shaderinterface {

// Fixed vertex attribute locations, one per vertex input semantic. Vertex
// declarations of the render device bind their streams to these.
enum AttributeLocation : int {
    kAttribPosition = 0,
    kAttribBlendWeight = 1,
    kAttribNormal = 2,
    kAttribColor0 = 3,
    kAttribColor1 = 4,
    kAttribTangent = 5,
    kAttribBinormal = 6,
    kAttribBlendIndices = 7,
    kAttribTexCoord0 = 8,  // TEXCOORD0..TEXCOORD7 -> 8..15
    kNumAttributes = 16,
};

// GLSL names of the per-stage parameter register arrays ("uniform vec4
// vp_regs[N];"). Every uniform of a stage lives in its stage's array; a
// matrix takes four consecutive registers, one row each.
constexpr const char* kVertexRegisterArray = "vp_regs";
constexpr const char* kFragmentRegisterArray = "fp_regs";

// GLSL names of varyings are "v_" + semantic ("v_TEXCOORD0", "v_COLOR0"), so
// any vertex stage links with any fragment stage reading a subset of them.
constexpr const char* kVaryingPrefix = "v_";

// Fragment colour output, at location 0.
constexpr const char* kFragmentColorOutput = "o_COLOR";

enum class Stage { Vertex, Fragment };

enum class ParamType {
    Float,
    Float2,
    Float3,
    Float4,
    Int,
    Int2,
    Int3,
    Int4,
    Bool,
    Bool2,
    Bool3,
    Bool4,
    Float2x2,
    Float2x3,
    Float2x4,
    Float3x2,
    Float3x3,
    Float3x4,
    Float4x2,
    Float4x3,
    Float4x4,
};

// Sampler2DArray binds a 2D array texture, SamplerRect a rectangle texture
// addressed in texels.
enum class SamplerKind {
    Sampler2D,
    SamplerCube,
    Sampler2DShadow,
    Sampler1D,
    Sampler2DArray,
    SamplerRect
};

// One uniform leaf: its full Cg name ("In.lights.diffuseColors[2]"), type,
// first register and register count, and for a global declared with an
// initial value ("float4 tint = { 1, 0.5, 0, 1 };") that value: four floats
// per register, the value until a material or script sets another.
struct ParameterInfo {
    std::string name;
    ParamType type = ParamType::Float4;
    int registerIndex = 0;
    int registerCount = 1;
    std::vector<float> initialValue;  // empty or registerCount * 4 floats
};

// One sampler: its full Cg name ("In.baseMap"), the GLSL uniform name the
// device sets to the unit after linking, its kind and texture unit.
struct SamplerInfo {
    std::string name;
    std::string glslName;
    SamplerKind kind = SamplerKind::Sampler2D;
    int textureUnit = 0;
};

struct Reflection {
    Stage stage = Stage::Vertex;
    int numRegisters = 0;  // size of the stage's register array
    std::vector<ParameterInfo> parameters;
    std::vector<SamplerInfo> samplers;
};

}  // namespace shaderinterface
