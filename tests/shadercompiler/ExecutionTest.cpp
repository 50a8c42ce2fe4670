// Compiled programs run on a real GL context (Mesa llvmpipe through SDL's
// offscreen driver): full-screen quads are drawn into a float render target
// and the pixels read back are compared with values computed on the CPU.
// Parameters are set the way the render device sets them: by the register
// index the reflection reports, one register per matrix row.

#include "ShaderVariants.h"
#include "shaderlang/compiler/ShaderCompiler.h"

#include <SDL.h>
#include <epoxy/gl.h>
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>
#include <vector>

using shaderinterface::Reflection;
using shaderinterface::Stage;

namespace {

constexpr int kSize = 8;
using Vec4 = std::array<float, 4>;

// A program that only passes the position and the first texture coordinate
// set on; fragment programs of the tests read TEXCOORD0 or nothing.
const char* kPassVertex = R"(
struct VOut { float4 pos : POSITION; float4 uv : TEXCOORD0; };
VOut main_vp(float4 pos : POSITION, float4 uv : TEXCOORD0)
{
    VOut o;
    o.pos = pos;
    o.uv = uv;
    return o;
}
)";

class Registers {
public:
    explicit Registers(const Reflection& r) : m_reflection(r), m_values(r.numRegisters * 4, 0.0f) {}

    // Sets a parameter by its Cg name; a matrix takes its rows in order.
    void set(const std::string& name, const std::vector<float>& values) {
        for (const auto& p : m_reflection.parameters) {
            if (p.name != name)
                continue;
            ASSERT_LE(values.size(), static_cast<size_t>(p.registerCount) * 4) << name;
            for (size_t i = 0; i < values.size(); ++i)
                m_values[p.registerIndex * 4 + i] = values[i];
            return;
        }
        ADD_FAILURE() << "no parameter " << name;
    }
    // Loads the initial values the reflection carries, as the device does.
    void setInitialValues() {
        for (const auto& p : m_reflection.parameters) {
            for (size_t i = 0; i < p.initialValue.size(); ++i)
                m_values[p.registerIndex * 4 + i] = p.initialValue[i];
        }
    }
    const std::vector<float>& values() const { return m_values; }

private:
    const Reflection& m_reflection;
    std::vector<float> m_values;
};

struct Stages {
    shadercompiler::CompileResult vs, fs;
};

class ExecutionTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (!std::getenv("DISPLAY"))
            setenv("SDL_VIDEODRIVER", "offscreen", 0);
        ASSERT_EQ(SDL_Init(SDL_INIT_VIDEO), 0) << SDL_GetError();
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
        s_window = SDL_CreateWindow("shader compiler test", SDL_WINDOWPOS_UNDEFINED,
                                    SDL_WINDOWPOS_UNDEFINED, kSize, kSize,
                                    SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
        ASSERT_NE(s_window, nullptr) << SDL_GetError();
        s_context = SDL_GL_CreateContext(s_window);
        ASSERT_NE(s_context, nullptr) << SDL_GetError();

        glGenTextures(1, &s_target);
        glBindTexture(GL_TEXTURE_2D, s_target);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA32F, kSize, kSize, 0, GL_RGBA, GL_FLOAT, nullptr);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        glGenFramebuffers(1, &s_fbo);
        glBindFramebuffer(GL_FRAMEBUFFER, s_fbo);
        glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, s_target, 0);
        ASSERT_EQ(glCheckFramebufferStatus(GL_FRAMEBUFFER),
                  static_cast<GLenum>(GL_FRAMEBUFFER_COMPLETE));
        glViewport(0, 0, kSize, kSize);

        // Full-screen quad: clip-space position and a texture coordinate
        // from 0 to 1 across it.
        const float quad[] = {-1, -1, 0, 1, 0, 0, 0, 1, 1, -1, 0, 1, 1, 0, 0, 1,
                              -1, 1,  0, 1, 0, 1, 0, 1, 1, 1,  0, 1, 1, 1, 0, 1};
        glGenVertexArrays(1, &s_vao);
        glBindVertexArray(s_vao);
        glGenBuffers(1, &s_vbo);
        glBindBuffer(GL_ARRAY_BUFFER, s_vbo);
        glBufferData(GL_ARRAY_BUFFER, sizeof(quad), quad, GL_STATIC_DRAW);
        glVertexAttribPointer(shaderinterface::kAttribPosition, 4, GL_FLOAT, GL_FALSE,
                              8 * sizeof(float), nullptr);
        glEnableVertexAttribArray(shaderinterface::kAttribPosition);
        glVertexAttribPointer(shaderinterface::kAttribTexCoord0, 4, GL_FLOAT, GL_FALSE,
                              8 * sizeof(float), reinterpret_cast<void*>(4 * sizeof(float)));
        glEnableVertexAttribArray(shaderinterface::kAttribTexCoord0);
    }
    static void TearDownTestSuite() {
        if (s_context) {
            glDeleteBuffers(1, &s_vbo);
            glDeleteVertexArrays(1, &s_vao);
            glDeleteFramebuffers(1, &s_fbo);
            glDeleteTextures(1, &s_target);
            SDL_GL_DeleteContext(s_context);
        }
        if (s_window)
            SDL_DestroyWindow(s_window);
        SDL_Quit();
        s_context = nullptr;
        s_window = nullptr;
    }
    void TearDown() override {
        if (m_program)
            glDeleteProgram(m_program);
        EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    }

    static Stages compile(const std::string& vertexSource, const std::string& fragmentSource) {
        Stages s;
        s.vs = shadercompiler::compile(vertexSource, "main_vp", Stage::Vertex);
        s.fs = shadercompiler::compile(fragmentSource, "main_fp", Stage::Fragment);
        EXPECT_TRUE(s.vs.success) << s.vs.listing;
        EXPECT_TRUE(s.fs.success) << s.fs.listing;
        return s;
    }

    static GLuint compileStage(GLenum kind, const std::string& text) {
        GLuint shader = glCreateShader(kind);
        const char* src = text.c_str();
        glShaderSource(shader, 1, &src, nullptr);
        glCompileShader(shader);
        GLint ok = 0, logLength = 0;
        glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
        glGetShaderiv(shader, GL_INFO_LOG_LENGTH, &logLength);
        std::string log(logLength > 0 ? logLength : 0, '\0');
        if (logLength > 0)
            glGetShaderInfoLog(shader, logLength, nullptr, log.data());
        EXPECT_TRUE(ok) << log << "\n" << text;
        // The driver accepts the text without a warning.
        EXPECT_EQ(log.find_first_not_of(std::string("\0\n ", 3)), std::string::npos) << log << "\n"
                                                                                     << text;
        return shader;
    }

    // Links the pair and draws the quad with the given register contents;
    // samplers are set to the units their reflection names.
    // Compiles and links the pair into m_program.
    void link(const Stages& s) {
        ASSERT_TRUE(s.vs.success && s.fs.success);
        GLuint vs = compileStage(GL_VERTEX_SHADER, s.vs.glsl);
        GLuint fs = compileStage(GL_FRAGMENT_SHADER, s.fs.glsl);
        if (m_program)
            glDeleteProgram(m_program);
        m_program = glCreateProgram();
        glAttachShader(m_program, vs);
        glAttachShader(m_program, fs);
        glLinkProgram(m_program);
        glDeleteShader(vs);
        glDeleteShader(fs);
        GLint ok = 0;
        glGetProgramiv(m_program, GL_LINK_STATUS, &ok);
        char log[2048] = "";
        glGetProgramInfoLog(m_program, sizeof log, nullptr, log);
        ASSERT_TRUE(ok) << log;
    }

    void draw(const Stages& s, const Registers& vp, const Registers& fp) {
        link(s);
        if (HasFatalFailure())
            return;
        glUseProgram(m_program);
        auto upload = [&](const char* array, const Registers& regs) {
            if (regs.values().empty())
                return;
            GLint loc = glGetUniformLocation(m_program, array);
            ASSERT_GE(loc, 0) << array;
            glUniform4fv(loc, static_cast<GLsizei>(regs.values().size() / 4), regs.values().data());
        };
        upload(shaderinterface::kVertexRegisterArray, vp);
        upload(shaderinterface::kFragmentRegisterArray, fp);
        for (const auto& sampler : s.fs.reflection.samplers) {
            GLint loc = glGetUniformLocation(m_program, sampler.glslName.c_str());
            ASSERT_GE(loc, 0) << sampler.glslName;
            glUniform1i(loc, sampler.textureUnit);
        }
        const float clear[4] = {-1, -1, -1, -1};
        glClearBufferfv(GL_COLOR, 0, clear);
        glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
        glReadPixels(0, 0, kSize, kSize, GL_RGBA, GL_FLOAT, m_pixels.data());
    }

    Vec4 pixel(int x, int y) const {
        const float* p = &m_pixels[(static_cast<size_t>(y) * kSize + x) * 4];
        return {p[0], p[1], p[2], p[3]};
    }
    static void expectNear(const Vec4& actual, const Vec4& expected, float tolerance = 1e-4f) {
        for (int i = 0; i < 4; ++i) {
            EXPECT_NEAR(actual[i], expected[i], tolerance)
                << "component " << i << " got (" << actual[0] << ", " << actual[1] << ", "
                << actual[2] << ", " << actual[3] << ")";
        }
    }

    static GLuint texture1x1(const Vec4& colour) {
        unsigned char texel[4];
        for (int i = 0; i < 4; ++i)
            texel[i] = static_cast<unsigned char>(colour[i] * 255.0f + 0.5f);
        GLuint t = 0;
        glGenTextures(1, &t);
        glBindTexture(GL_TEXTURE_2D, t);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 1, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, texel);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
        return t;
    }

    static SDL_Window* s_window;
    static SDL_GLContext s_context;
    static GLuint s_fbo, s_target, s_vao, s_vbo;
    GLuint m_program = 0;
    std::array<float, kSize * kSize * 4> m_pixels{};
};

SDL_Window* ExecutionTest::s_window = nullptr;
SDL_GLContext ExecutionTest::s_context = nullptr;
GLuint ExecutionTest::s_fbo = 0, ExecutionTest::s_target = 0, ExecutionTest::s_vao = 0,
       ExecutionTest::s_vbo = 0;

// The driver takes every variant of the shared sources without a warning,
// and each vertex program links with its fragment program.
TEST_F(ExecutionTest, DriverCompilesAndLinksTheCorpus) {
    for (const auto& v : shadertest::corpusVariants()) {
        SCOPED_TRACE(v.name);
        std::string text = shadertest::buildVariantText(v);
        link(compile(text, text));
    }
}

TEST_F(ExecutionTest, MulInBothOrdersMatchesTheCpu) {
    const char* fragment = R"(
float4 main_fp(uniform float4x4 M, uniform float3x4 R, uniform float4 v) : COLOR
{
    float4 a = mul(M, v);
    float4 b = mul(v, M);
    float3 c = mul(R, v);
    float4 d = mul(c, R);
    float4x4 MM = mul(M, M);
    return a + 10 * b + 100 * float4(c, 0) + 1000 * d + 10000 * MM[2];
}
)";
    Stages s = compile(kPassVertex, fragment);
    ASSERT_TRUE(s.fs.success);
    const float M[4][4] = {{1, 2, 3, 4}, {0.5f, -1, 2, 0}, {3, 0, 1, -2}, {0, 1, 0.25f, 1}};
    const float R[3][4] = {{1, 0, 2, 1}, {0, 3, -1, 0.5f}, {2, 1, 0, -1}};
    const float v[4] = {0.5f, -2, 1, 3};
    Registers vp(s.vs.reflection), fp(s.fs.reflection);
    fp.set("M", {M[0][0], M[0][1], M[0][2], M[0][3], M[1][0], M[1][1], M[1][2], M[1][3], M[2][0],
                 M[2][1], M[2][2], M[2][3], M[3][0], M[3][1], M[3][2], M[3][3]});
    fp.set("R", {R[0][0], R[0][1], R[0][2], R[0][3], R[1][0], R[1][1], R[1][2], R[1][3], R[2][0],
                 R[2][1], R[2][2], R[2][3]});
    fp.set("v", {v[0], v[1], v[2], v[3]});
    draw(s, vp, fp);

    // mul(M, v) treats v as a column, mul(v, M) as a row.
    Vec4 expected{};
    float c[3] = {};
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 4; ++j)
            c[i] += R[i][j] * v[j];
    }
    for (int i = 0; i < 4; ++i) {
        float a = 0, b = 0, d = 0, mm = 0;
        for (int j = 0; j < 4; ++j) {
            a += M[i][j] * v[j];
            b += v[j] * M[j][i];
            mm += M[2][j] * M[j][i];
        }
        for (int j = 0; j < 3; ++j)
            d += c[j] * R[j][i];
        expected[i] = a + 10 * b + (i < 3 ? 100 * c[i] : 0) + 1000 * d + 10000 * mm;
    }
    expectNear(pixel(3, 3), expected, 0.05f);
}

TEST_F(ExecutionTest, VertexMatrixPlacesTheQuad) {
    // Scales the quad to the right half of the target: x' = 0.5 x + 0.5.
    const char* vertex = R"(
struct VIn { float4 pos : POSITION; uniform float4x4 mvp; };
float4 main_vp(VIn In) : POSITION
{
    return mul(In.mvp, In.pos);
}
)";
    Stages s = compile(vertex, "float4 main_fp() : COLOR { return float4(1, 2, 3, 4); }");
    Registers vp(s.vs.reflection), fp(s.fs.reflection);
    vp.set("In.mvp", {0.5f, 0, 0, 0.5f, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1});
    draw(s, vp, fp);
    expectNear(pixel(1, 4), {-1, -1, -1, -1});
    expectNear(pixel(6, 4), {1, 2, 3, 4});
}

TEST_F(ExecutionTest, SwizzlesPromotionAndComponentFunctions) {
    const char* fragment = R"(
float4 main_fp(uniform float4 a, uniform float4 b) : COLOR
{
    float3 p = a.x;
    float4 s = b.wzyx;
    s.xz = a.gr;
    float4 r;
    r.x = p.y + s.x + s.z * 10;
    r.y = saturate(b.x) + saturate(b.y) * 10 + saturate(b.z) * 100;
    r.z = lerp(a.z, a.w, 0.25) + frac(b.w) * 100;
    r.w = a.xxx.z * 2 + dot(p, 1);
    return r;
}
)";
    Stages s = compile(kPassVertex, fragment);
    Registers vp(s.vs.reflection), fp(s.fs.reflection);
    fp.set("a", {0.5f, 3, 2, 6});
    fp.set("b", {-1, 0.25f, 7, 2.75f});
    draw(s, vp, fp);
    // p = (0.5, 0.5, 0.5); s = (3, 7, 0.5, -1).
    expectNear(pixel(2, 5), {0.5f + 3 + 5, 0 + 2.5f + 100, 3 + 75, 1 + 1.5f});
}

TEST_F(ExecutionTest, SincosFloatClassesAndVectorLogicMatchTheCpu) {
    const char* fragment = R"(
float4 main_fp(uniform float4 a, uniform float4 specials, uniform float4 b) : COLOR
{
    float s, c;
    sincos(a.x, s, c);
    float2 s2, c2;
    sincos(a.yz, s2, c2);
    // 1 NaN, 2 infinite, 4 finite, per component.
    float4 kind = (float4)isnan(specials) + (float4)isinf(specials) * 2 +
                  (float4)isfinite(specials) * 4;
    bool4 p = b > 0;
    bool4 q = b.yxwz > 0;
    float4 logic = (float4)(p && q) + (float4)(p || q) * 2 + (float4)(!p) * 4 +
                   (float4)(p && true) * 8;
    return float4(s + c * 10, s2.y + c2.x * 10, dot(kind, float4(1, 8, 64, 512)),
                  dot(logic, float4(1, 16, 256, 4096)));
}
)";
    Stages s = compile(kPassVertex, fragment);
    Registers vp(s.vs.reflection), fp(s.fs.reflection);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    fp.set("a", {0.5f, 1.25f, -2, 0});
    fp.set("specials", {1, nan, inf, -inf});
    fp.set("b", {1, 0, -1, 2});
    draw(s, vp, fp);
    // kind = (4, 1, 2, 2); p = (1, 0, 0, 1), q = (0, 1, 1, 0).
    float logic[4];
    const bool p[4] = {true, false, false, true}, q[4] = {false, true, true, false};
    for (int i = 0; i < 4; ++i)
        logic[i] = (p[i] && q[i]) + (p[i] || q[i]) * 2.0f + !p[i] * 4.0f + p[i] * 8.0f;
    expectNear(
        pixel(3, 3),
        {std::sin(0.5f) + std::cos(0.5f) * 10, std::sin(-2.0f) + std::cos(1.25f) * 10,
         4 + 1 * 8 + 2 * 64 + 2 * 512, logic[0] + logic[1] * 16 + logic[2] * 256 + logic[3] * 4096},
        1e-3f);
}

TEST_F(ExecutionTest, ParametersStartWithTheirInitialValues) {
    const char* fragment = R"(
float4 tint = { 0.5, 0.25, 2, 1 };
float3x3 m = float3x3(1, 2, 3, 4, 5, 6, 7, 8, 9);
struct L { float4 c; float w; };
L light = L(float4(1, 2, 3, 4), -2);
int4 counts[2] = { int4(1, 2, 3, 4), 7 };
float4 main_fp(uniform float4 x) : COLOR
{
    return tint + float4(m[1], 0) + light.c * light.w + x + counts[1] * 100;
}
)";
    Stages s = compile(kPassVertex, fragment);
    ASSERT_TRUE(s.fs.success);
    Registers vp(s.vs.reflection), fp(s.fs.reflection);
    fp.setInitialValues();
    fp.set("x", {0, 0, 0, 10});
    draw(s, vp, fp);
    expectNear(pixel(1, 6),
               {0.5f + 4 - 2 + 700, 0.25f + 5 - 4 + 700, 2 + 6 - 6 + 700, 1 + 0 - 8 + 10 + 700});
}

TEST_F(ExecutionTest, StructUniformsAreSetByRegisterIndex) {
    const char* fragment = R"(
struct Light { uniform float4 colour; uniform float4 dirs[3]; };
struct FIn {
    Light light;
    uniform float4 scale;
    uniform float3x4 m;
    uniform float4 pick;
};
float4 main_fp(FIn In) : COLOR
{
    return In.light.colour * In.scale + In.light.dirs[2] + In.m[1] +
           In.light.dirs[(int)In.pick.x] * 100;
}
)";
    Stages s = compile(kPassVertex, fragment);
    ASSERT_TRUE(s.fs.success);
    // Each leaf is listed under its full name; the dynamically indexed
    // array takes all its registers.
    std::vector<std::string> names;
    for (const auto& p : s.fs.reflection.parameters)
        names.push_back(p.name);
    EXPECT_EQ(names,
              (std::vector<std::string>{"In.light.colour", "In.light.dirs[0]", "In.light.dirs[1]",
                                        "In.light.dirs[2]", "In.scale", "In.m", "In.pick"}));
    Registers vp(s.vs.reflection), fp(s.fs.reflection);
    fp.set("In.light.colour", {1, 2, 3, 4});
    fp.set("In.scale", {2, 2, 0.5f, 1});
    fp.set("In.light.dirs[0]", {0.01f, 0.02f, 0.03f, 0.04f});
    fp.set("In.light.dirs[1]", {5, 6, 7, 8});
    fp.set("In.light.dirs[2]", {0.5f, 0.25f, 0.125f, 1});
    fp.set("In.m", {9, 9, 9, 9, 1, 10, 100, 1000, 9, 9, 9, 9});
    fp.set("In.pick", {1, 0, 0, 0});
    draw(s, vp, fp);
    expectNear(
        pixel(4, 4),
        {2 + 0.5f + 1 + 500, 4 + 0.25f + 10 + 600, 1.5f + 0.125f + 100 + 700, 4 + 1 + 1000 + 800},
        1e-3f);
}

TEST_F(ExecutionTest, SamplersUseTheirReflectedUnits) {
    const char* fragment = R"(
struct Maps { sampler2D first; sampler2D second : TEXUNIT2; };
float4 main_fp(float4 uv : TEXCOORD0, Maps maps, uniform sampler2D third) : COLOR
{
    return tex2D(maps.first, uv.xy) + tex2D(maps.second, uv.xy) * 10 + tex2D(third, uv.xy) * 100;
}
)";
    Stages s = compile(kPassVertex, fragment);
    ASSERT_TRUE(s.fs.success);
    ASSERT_EQ(s.fs.reflection.samplers.size(), 3u);
    int first = -1, second = -1, third = -1;
    for (const auto& sampler : s.fs.reflection.samplers) {
        if (sampler.name == "maps.first")
            first = sampler.textureUnit;
        if (sampler.name == "maps.second")
            second = sampler.textureUnit;
        if (sampler.name == "third")
            third = sampler.textureUnit;
    }
    // TEXUNIT2 is kept; the others take the free units in declaration order.
    EXPECT_EQ(first, 0);
    EXPECT_EQ(second, 2);
    EXPECT_EQ(third, 1);
    GLuint textures[3] = {texture1x1({0.2f, 0, 0, 1}), texture1x1({0, 0.4f, 0, 0}),
                          texture1x1({0, 0, 0.6f, 0})};
    for (int i = 0; i < 3; ++i) {
        glActiveTexture(GL_TEXTURE0 + (i == 0 ? first : i == 1 ? second : third));
        glBindTexture(GL_TEXTURE_2D, textures[i]);
    }
    Registers vp(s.vs.reflection), fp(s.fs.reflection);
    draw(s, vp, fp);
    expectNear(pixel(5, 2), {0.2f, 4, 60, 1}, 0.05f);
    for (int i = 0; i < 3; ++i) {
        glActiveTexture(GL_TEXTURE0 + i);
        glBindTexture(GL_TEXTURE_2D, 0);
    }
    glActiveTexture(GL_TEXTURE0);
    glDeleteTextures(3, textures);
}

TEST_F(ExecutionTest, OneDimensionalRectangleAndArrayTextures) {
    const char* fragment = R"(
sampler1D ramp : TEXUNIT0;
samplerRECT rect : TEXUNIT1;
sampler2DARRAY layers : TEXUNIT2;
float4 main_fp(float4 uv : TEXCOORD0) : COLOR
{
    return float4(tex1D(ramp, 0.625).r, texRECT(rect, float2(1.5, 0.5)).r,
                  tex2DARRAY(layers, float3(0.5, 0.5, 2)).r,
                  tex1Dlod(ramp, float4(0.125, 0, 0, 0)).r);
}
)";
    Stages s = compile(kPassVertex, fragment);
    ASSERT_TRUE(s.fs.success);
    ASSERT_EQ(s.fs.reflection.samplers.size(), 3u);
    EXPECT_EQ(s.fs.reflection.samplers[0].kind, shaderinterface::SamplerKind::Sampler1D);
    EXPECT_EQ(s.fs.reflection.samplers[1].kind, shaderinterface::SamplerKind::SamplerRect);
    EXPECT_EQ(s.fs.reflection.samplers[2].kind, shaderinterface::SamplerKind::Sampler2DArray);
    // Four texels (or layers) whose red channel tells them apart.
    auto texels = [](std::initializer_list<float> reds) {
        std::vector<unsigned char> data;
        for (float r : reds)
            data.insert(data.end(), {static_cast<unsigned char>(r * 255.0f + 0.5f), 0, 0, 255});
        return data;
    };
    GLuint textures[3];
    glGenTextures(3, textures);
    const GLenum targets[3] = {GL_TEXTURE_1D, GL_TEXTURE_RECTANGLE, GL_TEXTURE_2D_ARRAY};
    for (int i = 0; i < 3; ++i) {
        glActiveTexture(GL_TEXTURE0 + i);
        glBindTexture(targets[i], textures[i]);
        glTexParameteri(targets[i], GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        glTexParameteri(targets[i], GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    }
    std::vector<unsigned char> ramp = texels({0.2f, 0.4f, 0.6f, 0.8f});
    std::vector<unsigned char> rect = texels({0.1f, 0.3f, 0.5f, 0.7f});
    std::vector<unsigned char> layers = texels({0.25f, 0.5f, 0.75f});
    glActiveTexture(GL_TEXTURE0);
    glTexImage1D(GL_TEXTURE_1D, 0, GL_RGBA8, 4, 0, GL_RGBA, GL_UNSIGNED_BYTE, ramp.data());
    glActiveTexture(GL_TEXTURE1);
    glTexImage2D(GL_TEXTURE_RECTANGLE, 0, GL_RGBA8, 4, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE,
                 rect.data());
    glActiveTexture(GL_TEXTURE2);
    glTexImage3D(GL_TEXTURE_2D_ARRAY, 0, GL_RGBA8, 1, 1, 3, 0, GL_RGBA, GL_UNSIGNED_BYTE,
                 layers.data());
    Registers vp(s.vs.reflection), fp(s.fs.reflection);
    draw(s, vp, fp);
    expectNear(pixel(6, 1), {0.6f, 0.3f, 0.75f, 0.2f}, 0.01f);
    for (int i = 0; i < 3; ++i) {
        glActiveTexture(GL_TEXTURE0 + i);
        glBindTexture(targets[i], 0);
    }
    glActiveTexture(GL_TEXTURE0);
    glDeleteTextures(3, textures);
}

TEST_F(ExecutionTest, VaryingsPassBySemantic) {
    // The vertex program writes more than the fragment program reads, in a
    // different struct and order.
    const char* vertex = R"(
struct VOut {
    float4 pos : POSITION;
    float4 colour : COLOR0;
    float2 uv : TEXCOORD3;
    float4 unused : TEXCOORD1;
};
VOut main_vp(float4 pos : POSITION, float4 uv : TEXCOORD0, uniform float4 tint)
{
    VOut o;
    o.pos = pos;
    o.colour = tint;
    o.uv = uv.xy * 2;
    o.unused = 0;
    return o;
}
)";
    const char* fragment = R"(
struct FIn { float2 coords : TEXCOORD3; float4 colour : COLOR0; };
float4 main_fp(FIn In) : COLOR
{
    return float4(In.coords, In.colour.zw);
}
)";
    Stages s = compile(vertex, fragment);
    Registers vp(s.vs.reflection), fp(s.fs.reflection);
    vp.set("tint", {0, 0, 7, 9});
    draw(s, vp, fp);
    // Pixel centres: uv = (x + 0.5) / kSize, doubled.
    expectNear(pixel(1, 6), {2 * 1.5f / kSize, 2 * 6.5f / kSize, 7, 9}, 1e-3f);
    expectNear(pixel(6, 0), {2 * 6.5f / kSize, 2 * 0.5f / kSize, 7, 9}, 1e-3f);
}

}  // namespace
