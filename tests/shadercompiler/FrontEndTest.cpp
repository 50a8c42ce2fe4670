// The language the shader sources use: small programs that must compile (and
// whose GLSL a real compiler accepts) and programs that must fail with a
// message naming the problem and its line.

#include "ShaderVariants.h"
#include "shaderlang/compiler/ShaderCompiler.h"

#include <gtest/gtest.h>

#include <map>
#include <ostream>
#include <string>
#include <vector>

using shaderinterface::Stage;

namespace {

struct GoodCase {
    const char* name;
    Stage stage;
    const char* source;
};

const GoodCase kGood[] = {
    {"swizzles_and_promotion", Stage::Fragment, R"(
float4 main_fp(float4 c : COLOR0, uniform float k) : COLOR
{
    float f = c.r;
    float3 v = 0;
    v += f.xxx;
    float4 w = float4(v.xy, 1, f);
    w.zw = c.bg;
    w.x = f.x;
    return w.abgr + k.xxxx + k;
}
)"},
    {"constructors_casts_ternary_compound", Stage::Fragment, R"(
float4 main_fp(float4 t : TEXCOORD0) : COLOR
{
    int i = (int)t.x;
    float3 a = (float3)t;
    half2 h = half2(t.x, 2);
    fixed f = i > 1 ? t.y : h.x;
    bool3 b = bool3(true, i == 2, f < 0.5);
    int2 n = int2(3, i);
    n *= 2;
    n -= int2(1, 1);
    a *= 0.5;
    a /= 2;
    a.x++;
    --i;
    float4x4 m = 0;
    return float4(a, any(b) ? n.x : n.y) + m[0] + (float)i;
}
)"},
    {"matrices_arrays_static_const", Stage::Vertex, R"(
static const float weights[3] = { 0.25, 0.5, 0.25 };
static const int kCount = 3;
float4 main_vp(float4 p : POSITION, uniform float4x4 mvp, uniform float3x4 rows[2],
               uniform float2x2 r2) : POSITION
{
    float4 acc = 0;
    for (int i = 0; i < kCount; i++)
        acc += p * weights[i];
    float3 q = mul(rows[1], acc);
    float4 back = mul(q, rows[0]);
    float4x4 m2 = mul(mvp, mvp);
    float2 z = mul(r2, p.xy) + r2[1];
    return mul(m2, back) + float4(mvp[2].xyz, z.x) + m2[0][1];
}
)"},
    {"structs_uniform_members_and_samplers", Stage::Fragment, R"(
struct Light { uniform float4 colors[2]; uniform float4 dir; };
struct Maps { sampler2D base : TEXUNIT3; samplerCUBE env; };
struct VOut { float4 pos : POSITION; float2 uv : TEXCOORD0; float3 n : TEXCOORD1; };
struct Inner { Light light; };
struct FIn { VOut vs; Maps maps; Inner inner; uniform float4 tint; };
float4 main_fp(FIn In) : COLOR
{
    float4 c = tex2D(In.maps.base, In.vs.uv) * In.inner.light.colors[1];
    c += texCUBE(In.maps.env, In.vs.n) * In.tint;
    return c * saturate(dot(In.vs.n, In.inner.light.dir.xyz));
}
)"},
    {"functions_in_out_inout_overloads", Stage::Fragment, R"(
float scale(float x) { return x * 2; }
float3 scale(float3 x) { return x * 3; }
float helper(float x);
void split(in float4 v, out float3 rgb, inout float a)
{
    rgb = v.rgb;
    a *= v.a;
}
float4 main_fp(float4 c : COLOR0) : COLOR
{
    float3 rgb;
    float a = 0.5;
    split(c, rgb, a);
    return float4(scale(rgb), scale(a));
}
)"},
    {"control_flow", Stage::Fragment, R"(
float4 main_fp(float4 t : TEXCOORD0, uniform float4 limits) : COLOR
{
    float s = 0;
    int n = (int)limits.x;
    for (int i = 0; i < n; i++) {
        if (i == 2)
            continue;
        if (s > 4)
            break;
        s += t.x;
    }
    int k = 0;
    while (k < n) {
        k++;
    }
    do {
        s -= 0.5;
    } while (s > 10);
    if (t.y < 0)
        discard;
    else
        s += 1;
    return float4(s, k, 0, 1);
}
)"},
    {"standard_library", Stage::Fragment, R"(
uniform sampler2D tex : TEXUNIT0;
uniform samplerCUBE cube;
uniform sampler2DShadow shadow;
float4 main_fp(float4 t : TEXCOORD0, float3 n : TEXCOORD1, uniform float4x4 m) : COLOR
{
    float3 a = normalize(n);
    float3 b = cross(a, t.xyz);
    float s = dot(a, b) + length(b) + distance(a, b);
    float3 r = reflect(a, b) + refract(a, b, 0.9);
    float4 l = lerp(t, t.wzyx, 0.3);
    s += saturate(s) + clamp(s, 0, 1) + min(s, 1) + max(s, 0) + abs(s) + sign(s);
    s += pow(abs(s), 2) + exp(s) + exp2(s) + log(abs(s) + 1) + log2(abs(s) + 1);
    s += sqrt(abs(s)) + rsqrt(abs(s) + 1) + frac(s) + floor(s) + ceil(s) + fmod(s, 3);
    s += step(0.5, s) + smoothstep(0, 1, s);
    s += sin(s) + cos(s) + tan(s) + asin(0.5) + acos(0.5) + atan(s) + atan2(s, 2);
    float2 d = ddx(t.xy) + ddy(t.xy);
    if (any(r) && all(d))
        s += 1;
    clip(s);
    clip(t.xyz);
    float4 c = tex2D(tex, t.xy) + tex2Dproj(tex, t) + tex2Dlod(tex, t) + tex2Dbias(tex, t);
    c += texCUBE(cube, n) + tex2Dproj(shadow, t) + tex2D(shadow, t.xyz);
    c += mul(m, l) + mul(l, m);
    return c * s + float4(r, d.x);
}
)"},
    {"vertex_texture_lookup_and_outputs", Stage::Vertex, R"(
uniform sampler2D heights;
void main_vp(float4 p : POSITION, float2 uv : TEXCOORD0, out float4 pos : POSITION,
             out float4 color : COLOR0, out float fog : TEXCOORD5)
{
    float h = tex2Dlod(heights, float4(uv, 0, 0)).x;
    pos = p + float4(0, h, 0, 0);
    color = h.xxxx;
    fog = h;
}
)"},
    {"fragment_depth_and_second_colour", Stage::Fragment, R"(
void main_fp(float4 t : TEXCOORD0, out float4 colour : COLOR, out float4 glow : COLOR1,
             out float depth : DEPTH)
{
    colour = t;
    glow = t.wzyx;
    depth = saturate(t.z);
}
)"},
    {"nested_constant_loops", Stage::Fragment, R"(
float4 main_fp(uniform float4 u[16], uniform float4 w[4]) : COLOR
{
    float4 s = 0;
    for (int i = 3; i >= 0; i--)
        float4 t = w[i];
    for (int a = 0; a < 16; a++)
        for (int b = 0; b < 16; b++)
            for (int c = 0; c < 16; c += 4)
                s += u[a] * u[b] * u[c] + w[c / 4];
    return s;
}
)"},
    // Programs as they come from tutorials and effect collections.
    {"sincos_and_float_classes", Stage::Fragment, R"(
float4 main_fp(float4 t : TEXCOORD0, uniform float4 k) : COLOR
{
    float s, c;
    sincos(t.x * 6.28, s, c);
    float3 s3, c3;
    sincos(t.xyz, s3, c3);
    int n = 2;
    float4 v = float4(s, c, s3.y, c3.z);
    sincos((float)n, v.x, v.y);
    bool4 bad = isnan(k) || isinf(k);
    bool ok = isfinite(k.x) && !isnan(s) && !isinf(c);
    bool3 fin = isfinite(k.xyz);
    return all(fin) && ok && !any(bad) ? v : float4(0, 0, 0, 0);
}
)"},
    {"texture_kinds", Stage::Fragment, R"(
sampler1D ramp;
sampler2DARRAY layers : TEXUNIT4;
samplerRECT screen;
struct Maps { sampler2D base; sampler1D gradient; };
float4 lookup(sampler1D s, float x) { return tex1D(s, x); }
float4 main_fp(float4 t : TEXCOORD0, Maps maps) : COLOR
{
    float4 c = tex1D(ramp, t.x) + lookup(maps.gradient, t.y);
    c += tex1Dproj(ramp, t.xw) + tex1Dlod(ramp, t) + tex1Dbias(ramp, t);
    c += tex1Dgrad(ramp, t.x, ddx(t.x), ddy(t.x));
    c += tex2Dgrad(maps.base, t.xy, ddx(t.xy), ddy(t.xy));
    c += tex2D(maps.base, t.xy, ddx(t.xy), ddy(t.xy)) + tex1D(ramp, t.x, ddx(t.x), ddy(t.x));
    c += tex2DARRAY(layers, float3(t.xy, 2)) + tex2DARRAYlod(layers, t) + tex2DARRAYbias(layers, t);
    c += texRECT(screen, t.xy * 512) + texRECTproj(screen, t.xyw) + texRECTproj(screen, t);
    return c;
}
)"},
    {"typedefs_struct_constructors_initializer_lists", Stage::Fragment, R"(
typedef float4 colour;
typedef float3 Palette[3], Vec;
typedef struct { colour tint; float weight; } Layer;
typedef struct LightTag { Vec dir; float power; } Light;
struct Pair { Layer a; Layer b; };
static const Palette kPalette = { { 1, 0, 0 }, float3(0, 1, 0), 0.5 };
static const Light kLights[2] = { { { 0, 0, 1 }, 2 }, { float3(1, 0, 0), 0.5 } };
const Layer kBase = { float4(1, 1, 1, 1), 0.25 };
Layer blend(Layer x, Layer y) { return Layer(lerp(x.tint, y.tint, y.weight), x.weight + y.weight); }
colour main_fp(float4 t : TEXCOORD0) : COLOR
{
    typedef int Count;
    Count n = 2;
    Layer l = Layer(t, 0.5);
    struct LightTag sun = { normalize(t.xyz), 3 };
    Light moon = Light(t.zyx, n);
    Pair p = { l, { colour(0, 0, 0, 1), 1 } };
    Pair q = Pair(blend(p.a, p.b), kBase);
    Vec v = kPalette[n] * kLights[1].power + sun.dir * moon.power;
    return q.a.tint + float4(v, q.b.weight);
}
)"},
    {"texture_kinds_in_vertex_programs", Stage::Vertex, R"(
float4 main_vp(float4 p : POSITION, uniform sampler1D heights, uniform sampler2DARRAY tiles,
               out float4 colour : COLOR0) : POSITION
{
    colour = tex2DARRAYlod(tiles, float4(p.xy, 1, 0));
    return p + tex1Dlod(heights, float4(p.x, 0, 0, 0)).x;
}
)"},
};

void PrintTo(const GoodCase& c, std::ostream* os) {
    *os << c.name;
}

class GoodProgram : public ::testing::TestWithParam<GoodCase> {};

TEST_P(GoodProgram, CompilesToValidGlsl) {
    const GoodCase& c = GetParam();
    bool vertex = c.stage == Stage::Vertex;
    auto r = shadercompiler::compile(c.source, vertex ? "main_vp" : "main_fp", c.stage);
    ASSERT_TRUE(r.success) << r.listing;
    EXPECT_EQ(r.listing, "");
    if (shadertest::glslangValidator().empty())
        GTEST_SKIP() << "glslangValidator is not installed (Debian package glslang-tools)";
    auto check = shadertest::validateGlsl(vertex ? r.glsl : "", vertex ? "" : r.glsl);
    EXPECT_TRUE(check.ok) << check.output << "\n" << r.glsl;
}

INSTANTIATE_TEST_SUITE_P(Language, GoodProgram, ::testing::ValuesIn(kGood),
                         [](const auto& info) { return std::string(info.param.name); });

struct BadCase {
    const char* name;
    Stage stage;
    const char* source;
    int line;
    const char* message;
};

const BadCase kBad[] = {
    {"undefined_variable", Stage::Fragment, "float4 main_fp() : COLOR\n{\n    return missing;\n}\n",
     3, "undefined variable 'missing'"},
    {"undefined_function", Stage::Fragment,
     "float4 main_fp() : COLOR\n{\n    return nothing(1);\n}\n", 3, "undefined function 'nothing'"},
    {"wrong_argument_count", Stage::Fragment,
     "float f(float a, float b) { return a + b; }\nfloat4 main_fp() : COLOR\n{\n"
     "    return f(1, 2, 3);\n}\n",
     4, "no overload of function 'f' takes 3 arguments"},
    {"wrong_builtin_argument_count", Stage::Fragment,
     "float4 main_fp(float4 c : COLOR0) : COLOR\n{\n    return dot(c);\n}\n", 3,
     "function 'dot' takes 2 arguments, not 1"},
    {"no_matching_overload", Stage::Fragment,
     "float f(float2 a) { return a.x; }\nfloat4 main_fp(float4x4 m : TEXCOORD0) : COLOR\n{\n"
     "    return f(m);\n}\n",
     4, "no overload of function 'f' matches (float4x4)"},
    {"swizzle_out_of_range", Stage::Fragment,
     "float4 main_fp(float2 t : TEXCOORD0) : COLOR\n{\n    return t.z;\n}\n", 3,
     "swizzle 'z' out of range for float2"},
    {"swizzle_mixes_sets", Stage::Fragment,
     "float4 main_fp(float4 t : TEXCOORD0) : COLOR\n{\n    return t.xg;\n}\n", 3,
     "invalid swizzle 'xg'"},
    {"assign_to_uniform_parameter", Stage::Fragment,
     "float4 main_fp(uniform float4 k) : COLOR\n{\n    k = 1;\n    return k;\n}\n", 3,
     "cannot assign to uniform parameter 'k'"},
    {"assign_to_uniform_global", Stage::Fragment,
     "float4 tint;\nfloat4 main_fp() : COLOR\n{\n    tint.x += 1;\n    return tint;\n}\n", 4,
     "cannot assign to uniform parameter 'tint'"},
    {"assign_to_uniform_member", Stage::Fragment,
     "struct S { uniform float4 tint; };\nfloat4 main_fp(S In) : COLOR\n{\n"
     "    In.tint = 0;\n    return In.tint;\n}\n",
     4, "cannot assign to uniform member 'tint'"},
    {"missing_return", Stage::Fragment,
     "float f(float x)\n{\n    if (x > 0)\n        return x;\n}\n"
     "float4 main_fp() : COLOR { return f(1); }\n",
     1, "missing return statement at the end of function 'f'"},
    {"syntax_error", Stage::Fragment,
     "float4 main_fp() : COLOR\n{\n    float a = 1\n    return a;\n}\n", 4,
     "syntax error: expected ';' near 'return'"},
    {"type_mismatch", Stage::Fragment,
     "float4 main_fp(float4x4 m : TEXCOORD0) : COLOR\n{\n    float3 v = m;\n    return 1;\n}\n", 3,
     "cannot convert float4x4 to float3"},
    {"constant_index_out_of_range", Stage::Fragment,
     "float4 main_fp(uniform float4 a[2]) : COLOR\n{\n    return a[2];\n}\n", 3,
     "index 2 out of range for float4[2]"},
    {"vertex_program_without_position", Stage::Vertex,
     "float4 main_vp(float4 p : POSITION) : COLOR0\n{\n    return p;\n}\n", 1,
     "vertex program 'main_vp' does not write POSITION"},
    {"discard_in_vertex_program", Stage::Vertex,
     "float4 main_vp(float4 p : POSITION) : POSITION\n{\n    discard;\n    return p;\n}\n", 3,
     "discard is only allowed in fragment programs"},
    {"derivative_in_vertex_program", Stage::Vertex,
     "float4 main_vp(float4 p : POSITION) : POSITION\n{\n    return ddx(p);\n}\n", 3,
     "'ddx' is only available in fragment programs"},
    {"unknown_vertex_semantic", Stage::Vertex,
     "float4 main_vp(float4 p : POSITION, float4 q : FOO) : POSITION\n{\n    return p + q;\n}\n", 1,
     "unknown vertex input semantic 'FOO'"},
    {"recursion", Stage::Fragment,
     "float f(float x);\nfloat f(float x)\n{\n    return f(x);\n}\n"
     "float4 main_fp() : COLOR { return f(1); }\n",
     2, "recursive call of function 'f'"},
    {"constant_index_out_of_range_once_unrolled", Stage::Fragment,
     "float4 main_fp(uniform float4 a[2]) : COLOR\n{\n    float4 s = 0;\n"
     "    for (int i = 0; i < 3; i++)\n        s += a[i];\n    return s;\n}\n",
     5, "index 2 out of range for float4[2]"},
    {"integer_constant_too_large", Stage::Fragment,
     "float4 main_fp() : COLOR\n{\n    return 4294967296;\n}\n", 3,
     "integer constant '4294967296' is too large"},
    {"float_constant_out_of_range", Stage::Fragment,
     "float4 main_fp() : COLOR\n{\n    return 1e400;\n}\n", 3,
     "floating-point constant '1e400' is out of range"},
    {"array_too_large", Stage::Fragment,
     "float4 big[100000000];\nfloat4 main_fp(uniform int i) : COLOR { return big[i]; }\n", 1,
     "array size 100000000 is larger than 4096"},
    {"too_many_registers", Stage::Fragment,
     "float4x4 m[2048];\nfloat4 main_fp(uniform int i) : COLOR\n{\n    return m[i][0];\n}\n", 1,
     "'m' needs more than 4096 registers"},
    {"matrix_vertex_input", Stage::Vertex,
     "float4 main_vp(float4x4 m : TEXCOORD0) : POSITION\n{\n    return m[0];\n}\n", 1,
     "vertex input 'm' is a matrix; pass its rows as float4 inputs"},
    {"texture_unit_taken_twice", Stage::Fragment,
     "sampler2D a : TEXUNIT1;\nsampler2D b : TEXUNIT1;\n"
     "float4 main_fp(float2 t : TEXCOORD0) : COLOR { return tex2D(a, t) + tex2D(b, t); }\n",
     2, "samplers 'a' and 'b' both use texture unit 1"},
    {"texture_unit_out_of_range", Stage::Fragment,
     "sampler2D a : TEXUNIT99999999999;\n"
     "float4 main_fp(float2 t : TEXCOORD0) : COLOR { return tex2D(a, t); }\n",
     1,
     "sampler 'a' has the semantic TEXUNIT99999999999; texture units go from TEXUNIT0 to "
     "TEXUNIT31"},
    {"sincos_output_of_another_type", Stage::Fragment,
     "float4 main_fp(float4 t : TEXCOORD0) : COLOR\n{\n    float s;\n    float2 c;\n"
     "    sincos(t.x, s, c);\n    return s;\n}\n",
     5, "argument 3 of 'sincos' must be a float, not float2"},
    {"sincos_output_not_assignable", Stage::Fragment,
     "float4 main_fp(float4 t : TEXCOORD0, uniform float k) : COLOR\n{\n    float s;\n"
     "    sincos(t.x, s, k);\n    return s;\n}\n",
     4, "cannot assign to uniform parameter 'k'"},
    {"isnan_of_a_matrix", Stage::Fragment,
     "float4 main_fp(uniform float4x4 m) : COLOR\n{\n    return isnan(m) ? 1 : 0;\n}\n", 3,
     "argument 1 of 'isnan' must be a scalar or vector, not float4x4"},
    {"tex1D_on_a_sampler2D", Stage::Fragment,
     "sampler2D s;\nfloat4 main_fp(float4 t : TEXCOORD0) : COLOR\n{\n    return tex1D(s, "
     "t.x);\n}\n",
     4, "argument 1 of 'tex1D' must be a sampler1D, not sampler2D"},
    {"tex2DARRAY_with_two_coordinates", Stage::Fragment,
     "sampler2DARRAY s;\nfloat4 main_fp(float4 t : TEXCOORD0) : COLOR\n{\n"
     "    return tex2DARRAY(s, t.xy);\n}\n",
     4, "argument 2 of 'tex2DARRAY' must be a float3, not float2"},
    {"texRECT_on_a_sampler2DARRAY", Stage::Fragment,
     "sampler2DARRAY s;\nfloat4 main_fp(float4 t : TEXCOORD0) : COLOR\n{\n"
     "    return texRECT(s, t.xy);\n}\n",
     4, "argument 1 of 'texRECT' must be a samplerRECT, not sampler2DARRAY"},
    {"tex2Dgrad_with_scalar_gradients", Stage::Fragment,
     "sampler2D s;\nfloat4 main_fp(float4 t : TEXCOORD0) : COLOR\n{\n"
     "    return tex2Dgrad(s, t.xy, t.x, t.y);\n}\n",
     4, "argument 3 of 'tex2Dgrad' must be a float2, not float"},
    {"tex2D_with_one_gradient", Stage::Fragment,
     "sampler2D s;\nfloat4 main_fp(float4 t : TEXCOORD0) : COLOR\n{\n"
     "    return tex2D(s, t.xy, t.zw);\n}\n",
     4, "function 'tex2D' takes 2 or 4 arguments, not 3"},
    {"sampler1D_passed_as_sampler2D", Stage::Fragment,
     "float4 f(sampler2D s, float2 t) { return tex2D(s, t); }\nsampler1D r;\n"
     "float4 main_fp(float4 t : TEXCOORD0) : COLOR\n{\n    return f(r, t.xy);\n}\n",
     5, "no overload of function 'f' matches (sampler1D, float2)"},
    {"typedef_redefines_a_type", Stage::Fragment,
     "struct S { float a; };\ntypedef float4 S;\nfloat4 main_fp() : COLOR { return 0; }\n", 2,
     "redefinition of type 'S'"},
    {"typedef_of_a_built_in_name", Stage::Fragment,
     "typedef float half;\nfloat4 main_fp() : COLOR { return 0; }\n", 1,
     "redefinition of type 'half'"},
    {"struct_constructor_with_too_few_values", Stage::Fragment,
     "struct S { float4 a; float b; };\nfloat4 main_fp() : COLOR\n{\n    S s = S(1);\n"
     "    return s.a;\n}\n",
     4, "constructor of 1 values for struct 'S' of 2 members"},
    {"struct_constructor_with_a_wrong_value", Stage::Fragment,
     "struct S { float4 a; float b; };\nfloat4 main_fp(uniform float4x4 m) : COLOR\n{\n"
     "    S s = S(m, 1);\n    return s.a;\n}\n",
     4, "cannot convert float4x4 to float4 in member 'a' of 'S'"},
    {"struct_with_a_sampler_built_from_values", Stage::Fragment,
     "struct S { sampler2D map; float4 a; };\nsampler2D g;\nfloat4 main_fp() : COLOR\n{\n"
     "    S s = S(g, 1);\n    return s.a;\n}\n",
     5, "struct 'S' cannot be built from values: member 'map' is a uniform or sampler"},
    {"struct_initializer_list_too_long", Stage::Fragment,
     "struct S { float4 a; float b; };\nfloat4 main_fp() : COLOR\n{\n    S s = { 1, 2, 3 };\n"
     "    return s.a;\n}\n",
     4, "initializer list of 3 values for struct 'S' of 2 members"},
    {"struct_member_initialized_with_a_struct_of_another_kind", Stage::Fragment,
     "struct A { float x; };\nstruct B { float x; };\nstruct P { A a; };\n"
     "float4 main_fp() : COLOR\n{\n    B b = { 1 };\n    P p = { b };\n    return p.a.x;\n}\n",
     7, "cannot convert B to A in initialization of member 'a'"},
    {"array_initializer_list_too_short", Stage::Fragment,
     "static const float w[3] = { 1, 2 };\nfloat4 main_fp() : COLOR { return w[0]; }\n", 1,
     "initializer list of 2 values for float[3]"},
    {"missing_entry_point", Stage::Fragment, "float4 main_vp() : POSITION { return 0; }\n", 1,
     "entry point 'main_fp' not found"},
};

void PrintTo(const BadCase& c, std::ostream* os) {
    *os << c.name;
}

class BadProgram : public ::testing::TestWithParam<BadCase> {};

TEST_P(BadProgram, FailsWithMessageAndLine) {
    const BadCase& c = GetParam();
    bool vertex = c.stage == Stage::Vertex;
    auto r = shadercompiler::compile(c.source, vertex ? "main_vp" : "main_fp", c.stage);
    EXPECT_FALSE(r.success);
    EXPECT_TRUE(r.glsl.empty());
    std::string expected =
        "shader(" + std::to_string(c.line) + ") : error: " + std::string(c.message);
    EXPECT_NE(r.listing.find(expected), std::string::npos)
        << "expected: " << expected << "\nlisting:\n"
        << r.listing;
}

INSTANTIATE_TEST_SUITE_P(Language, BadProgram, ::testing::ValuesIn(kBad),
                         [](const auto& info) { return std::string(info.param.name); });

// A global with an initial value is a parameter whose value the reflection
// carries, register by register; const and static globals are constants.
TEST(Parameters, InitialValuesOfGlobals) {
    const char* text = R"(float4 tint = { 1, 0.5, 0.25, 1 };
float gain = 2 * 0.75;
float2x3 rot = float2x3(1, 2, 3, 4, 5, 6);
struct L { float4 c; bool on; };
L light = { float4(0.1, 0.2, 0.3, 0.4), true };
float4 palette[3] = { 1, float4(0, 1, 0, 1), { 0, 0, 1, -1 } };
static const float kScale = 4;
const float4 kOffset = -float4(1, 2, 3, 4);
int count = kScale / 3;
float4 derived = tint * 2;
uniform float4 plain;
float4 main_fp(uniform int i) : COLOR
{
    return tint * gain + rot[1].xyzz + light.c * light.on + palette[i] + kOffset + count +
           derived + plain;
}
)";
    auto r = shadercompiler::compile(text, "main_fp", Stage::Fragment);
    ASSERT_TRUE(r.success) << r.listing;
    EXPECT_EQ(r.listing,
              "shader(10) : warning: initial value of parameter 'derived' is not a constant and "
              "is ignored\n");
    std::map<std::string, std::vector<float>> values;
    for (const auto& p : r.reflection.parameters)
        values[p.name] = p.initialValue;
    std::map<std::string, std::vector<float>> expected = {
        {"tint", {1, 0.5f, 0.25f, 1}},
        {"gain", {1.5f, 0, 0, 0}},
        {"rot", {1, 2, 3, 0, 4, 5, 6, 0}},
        {"light.c", {0.1f, 0.2f, 0.3f, 0.4f}},
        {"light.on", {1, 0, 0, 0}},
        {"palette[0]", {1, 1, 1, 1}},
        {"palette[1]", {0, 1, 0, 1}},
        {"palette[2]", {0, 0, 1, -1}},
        {"count", {1, 0, 0, 0}},
        {"derived", {}},
        {"plain", {}},
        {"i", {}},
    };
    EXPECT_EQ(values, expected);
    // The constants are written into the program text, not read from registers.
    EXPECT_EQ(values.count("kScale") + values.count("kOffset"), 0u);
    if (!shadertest::glslangValidator().empty()) {
        auto check = shadertest::validateGlsl("", r.glsl);
        EXPECT_TRUE(check.ok) << check.output << "\n" << r.glsl;
    }
}

// One text holds both stages; each compile emits only what its entry point
// reaches, so fragment-only helpers and their uniforms do not reach the
// vertex program.
TEST(Stages, OnlyWhatTheEntryPointReachesIsEmitted) {
    const char* text = R"(
float4 edge(float2 uv, float4 tint) { return abs(ddx(uv.x)).xxxx * tint; }
float4 main_fp(float4 uv : TEXCOORD0, uniform float4 tint) : COLOR { return edge(uv.xy, tint); }
float4 main_vp(float4 p : POSITION, uniform float4x4 mvp) : POSITION { return mul(mvp, p); }
)";
    auto vs = shadercompiler::compile(text, "main_vp", Stage::Vertex);
    ASSERT_TRUE(vs.success) << vs.listing;
    EXPECT_EQ(vs.glsl.find("edge"), std::string::npos) << vs.glsl;
    ASSERT_EQ(vs.reflection.parameters.size(), 1u);
    EXPECT_EQ(vs.reflection.parameters[0].name, "mvp");
    auto fs = shadercompiler::compile(text, "main_fp", Stage::Fragment);
    ASSERT_TRUE(fs.success) << fs.listing;
    ASSERT_EQ(fs.reflection.parameters.size(), 1u);
    EXPECT_EQ(fs.reflection.parameters[0].name, "tint");
}

// Vertex inputs are bound by semantic to the locations the render device's
// vertex declarations use.
TEST(Stages, VertexInputsTakeTheirFixedLocations) {
    const char* text = R"(
struct VIn {
    float4 p : POSITION; float4 w : BLENDWEIGHT; float3 n : NORMAL; float4 c0 : COLOR0;
    float4 c1 : COLOR1; float4 idx : BLENDINDICES; float3 tan : TANGENT; float3 bin : BINORMAL;
    float2 t0 : TEXCOORD0; float4 t7 : TEXCOORD7;
};
float4 main_vp(VIn i) : POSITION
{
    return i.p * i.w + i.c0 + i.c1 + i.idx + float4(i.n + i.tan + i.bin, i.t0.x) + i.t7;
}
)";
    auto vs = shadercompiler::compile(text, "main_vp", Stage::Vertex);
    ASSERT_TRUE(vs.success) << vs.listing;
    using namespace shaderinterface;
    const std::pair<const char*, int> kLocations[] = {
        {"POSITION", kAttribPosition},   {"BLENDWEIGHT", kAttribBlendWeight},
        {"NORMAL", kAttribNormal},       {"COLOR0", kAttribColor0},
        {"COLOR1", kAttribColor1},       {"BLENDINDICES", kAttribBlendIndices},
        {"TANGENT", kAttribTangent},     {"BINORMAL", kAttribBinormal},
        {"TEXCOORD0", kAttribTexCoord0}, {"TEXCOORD7", kAttribTexCoord0 + 7}};
    for (const auto& [semantic, location] : kLocations) {
        std::string decl =
            "layout(location = " + std::to_string(location) + ") in vec4 a_" + semantic + ";\n";
        EXPECT_NE(vs.glsl.find(decl), std::string::npos) << decl << vs.glsl;
    }
    // An index on a one-slot input names the same attribute; a second slot
    // does not exist.
    auto same = shadercompiler::compile(
        "float4 main_vp(float4 p : POSITION, float4 n : NORMAL0, float4 m : NORMAL) : POSITION "
        "{ return p + n + m; }",
        "main_vp", Stage::Vertex);
    ASSERT_TRUE(same.success) << same.listing;
    EXPECT_EQ(same.glsl.find("a_NORMAL0"), std::string::npos) << same.glsl;
    auto second = shadercompiler::compile(
        "float4 main_vp(float4 p : POSITION, float4 n : NORMAL1) : POSITION { return p + n; }",
        "main_vp", Stage::Vertex);
    EXPECT_FALSE(second.success);
    EXPECT_NE(second.listing.find("unknown vertex input semantic 'NORMAL1'"), std::string::npos)
        << second.listing;
}

// Nesting the later passes would recurse through without end is refused
// while parsing, whether it comes from brackets or from long operator chains.
TEST(HostileInput, DeepNestingIsRefusedWithoutRunningOutOfStack) {
    const std::string kMessage =
        "shader(1) : error: statements or expressions nested more than 256 levels deep";
    const std::string sources[] = {
        "float4 main_fp() : COLOR { return " + std::string(100000, '(') + "1" +
            std::string(100000, ')') + "; }",
        "float4 main_fp() : COLOR { float a = 1; return a" +
            [] {
                std::string chain;
                for (int i = 0; i < 100000; ++i)
                    chain += " + a";
                return chain;
            }() +
            "; }",
        "float4 main_fp() : COLOR { float a = 1; return a" +
            [] {
                std::string chain;
                for (int i = 0; i < 100000; ++i)
                    chain += ".x";
                return chain;
            }() +
            "; }",
        "float4 main_fp() : COLOR { " + std::string(100000, '{') + std::string(100000, '}') +
            " return 0; }",
        "float4 main_fp() : COLOR { float a = " + std::string(100000, '-') + "1; return a; }",
    };
    for (const auto& source : sources) {
        auto r = shadercompiler::compile(source, "main_fp", Stage::Fragment);
        EXPECT_FALSE(r.success);
        EXPECT_EQ(r.listing.rfind(kMessage, 0), 0u) << r.listing;
    }
    // The same within the limit compiles.
    auto r = shadercompiler::compile("float4 main_fp() : COLOR { return " + std::string(100, '(') +
                                         "1" + std::string(100, ')') + "; }",
                                     "main_fp", Stage::Fragment);
    EXPECT_TRUE(r.success) << r.listing;
}

// Constants defined from constants, each used twice: folding each once keeps
// the compile linear where walking the definitions would take 2^60 steps.
TEST(HostileInput, ChainedConstantsFoldOnce) {
    std::string source = "static const int i0 = 1;\nconst float f0 = 0.5;\n";
    for (int n = 1; n <= 60; ++n) {
        std::string a = std::to_string(n - 1), b = std::to_string(n);
        source += "static const int i" + b + " = i" + a + " + i" + a + " - i" + a + ";\n";
        source += "const float f" + b + " = f" + a + " * f" + a + " / f" + a + ";\n";
    }
    source +=
        "float4 start = f60;\n"
        "float4 main_fp(uniform float4 u[2]) : COLOR { return u[i60] + start; }\n";
    auto r = shadercompiler::compile(source, "main_fp", Stage::Fragment);
    ASSERT_TRUE(r.success) << r.listing;
    ASSERT_EQ(r.reflection.parameters.size(), 2u);
    EXPECT_EQ(r.reflection.parameters[0].initialValue,
              (std::vector<float>{0.5f, 0.5f, 0.5f, 0.5f}));
    EXPECT_EQ(r.reflection.parameters[1].name, "u[1]");
}

}  // namespace
