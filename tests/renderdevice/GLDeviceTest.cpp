// The OpenGL device on a real context (Mesa llvmpipe through SDL's offscreen
// driver): clears, draws through declarations and shaders, state, render
// textures, copies, texture formats and buffers, checked by reading pixels.

#include <gtest/gtest.h>

#include <epoxy/gl.h>

#include <array>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "CapturingLogSink.h"
#include "TestRenderWindow.h"
#include "base/device/GLResources.h"
#include "base/device/IRenderDevice.h"
#include "base/device/SdlGLRenderDevice.h"
#include "foundation/Log.h"
#include "shaderlang/compiler/ShaderInterface.h"

namespace {

constexpr int kSize = 64;
using Rgb = std::array<int, 3>;

// A compiled stage pair written to the compiler's contract: registers in
// vp_regs / fp_regs, varyings "v_" + semantic, output o_COLOR.
const char* kVertexGlsl = R"(#version 330 core
layout(location = 0) in vec4 a_POSITION;
layout(location = 8) in vec4 a_TEXCOORD0;
uniform vec4 vp_regs[4];
out vec4 v_TEXCOORD0;
void main() {
    gl_Position = vec4(dot(vp_regs[0], a_POSITION), dot(vp_regs[1], a_POSITION),
                       dot(vp_regs[2], a_POSITION), dot(vp_regs[3], a_POSITION));
    v_TEXCOORD0 = a_TEXCOORD0;
}
)";

const char* kFragmentGlsl = R"(#version 330 core
in vec4 v_TEXCOORD0;
uniform vec4 fp_regs[2];
uniform sampler2D s_baseMap;
layout(location = 0) out vec4 o_COLOR;
void main() {
    o_COLOR = fp_regs[0] * texture(s_baseMap, v_TEXCOORD0.xy) + fp_regs[1];
}
)";

shaderinterface::Reflection vertexReflection() {
    shaderinterface::Reflection r;
    r.stage = shaderinterface::Stage::Vertex;
    r.numRegisters = 4;
    r.parameters.push_back({"In.modelViewProj", shaderinterface::ParamType::Float4x4, 0, 4, {}});
    return r;
}

shaderinterface::Reflection fragmentReflection() {
    shaderinterface::Reflection r;
    r.stage = shaderinterface::Stage::Fragment;
    r.numRegisters = 2;
    r.parameters.push_back({"In.scale", shaderinterface::ParamType::Float4, 0, 1, {}});
    r.parameters.push_back({"In.bias", shaderinterface::ParamType::Float4, 1, 1, {}});
    r.samplers.push_back({"In.baseMap", "s_baseMap", shaderinterface::SamplerKind::Sampler2D, 1});
    return r;
}

constexpr float kIdentity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

struct Vertex {
    float x, y, z;
    uint32_t colour;
    float u, v;
};

class GLDeviceTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_device = createRenderDevice().release();
        RenderWindowSettings settings;
        settings.stencilOverride = true;
        settings.stencilMode = 3;
        settings.caption = "renderdevice test";
        s_window = testsupport::openTestRenderWindow(*s_device, kSize, settings);
        ASSERT_NE(s_window, nullptr);
    }
    static void TearDownTestSuite() {
        delete s_device;
        s_device = nullptr;
        s_window = nullptr;
    }

    void SetUp() override {
        ASSERT_NE(s_window, nullptr);
        IRenderDevice& d = *s_device;
        d.setRenderTarget(nullptr);
        d.unbindVertexShader();
        d.unbindFragmentShader();
        d.unbindVertexDeclaration();
        d.setIndexBuffer(nullptr);
        for (int unit = 0; unit < d.getTextureUnitCount(); ++unit) {
            d.bindTexture(unit, nullptr);
        }
        d.setModelMatrix(kIdentity);
        d.setViewMatrix(kIdentity);
        d.setProjectionMatrix(kIdentity);
        d.setViewport(0, 0, kSize, kSize);
        d.resetScissor();
        d.setColourWriteMask(true, true, true, true);
        d.enableDepthWrite();
        d.disableDepthTest();
        d.setBlendFunction(BF_ONE, BF_ZERO);
        d.setAlphaTest(CF_ALWAYS, 0.0f);
        d.setCullMode(CULL_NONE);
        d.disableStencilTest();
        float white[4] = {1, 1, 1, 1};
        d.setCurrentColour(white);
        Log::get().addSink(&m_log);
    }
    void TearDown() override {
        Log::get().removeSink(&m_log);
        EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    }

    IRenderDevice& device() { return *s_device; }

    std::vector<uint8_t> readWindow() {
        std::vector<uint8_t> pixels(s_window->getPixelBufferSize());
        s_window->readPixels(pixels.data());
        return pixels;
    }
    static Rgb at(const std::vector<uint8_t>& pixels, int x, int y, int width = kSize) {
        const uint8_t* p = &pixels[(static_cast<size_t>(y) * width + x) * 3];
        return {p[0], p[1], p[2]};
    }
    Rgb windowPixel(int x, int y) { return at(readWindow(), x, y); }

    static void expectNear(const Rgb& actual, const Rgb& expected, int tolerance = 2) {
        for (int i = 0; i < 3; ++i) {
            EXPECT_NEAR(actual[i], expected[i], tolerance)
                << "channel " << i << " got (" << actual[0] << "," << actual[1] << "," << actual[2]
                << ") expected (" << expected[0] << "," << expected[1] << "," << expected[2] << ")";
        }
    }

    void clearTo(float r, float g, float b) {
        float colour[4] = {r, g, b, 1};
        device().clear(CLEAR_COLOUR | CLEAR_DEPTH | CLEAR_STENCIL, colour, 1.0f, 0);
    }

    // Position, colour and one texture coordinate set in one stream.
    std::unique_ptr<IVertexDeclaration> makeDeclaration(bool colour = true) {
        VertexDeclarationDesc desc;
        desc.position.type = VET_FLOAT3;
        if (colour) {
            desc.diffuse.type = VET_COLOUR;
        }
        desc.texCoords[0].type = VET_FLOAT2;
        return device().createVertexDeclaration(desc);
    }

    // A quad from (x0, y0) to (x1, y1) in clip space, as two indexed
    // triangles.
    struct Quad {
        std::unique_ptr<IVertexBuffer> vertices;
        std::unique_ptr<IIndexBuffer> indices;
    };
    Quad makeQuad(float x0, float y0, float x1, float y1, float z, uint32_t colour) {
        Vertex v[4] = {{x0, y0, z, colour, 0, 0},
                       {x1, y0, z, colour, 1, 0},
                       {x1, y1, z, colour, 1, 1},
                       {x0, y1, z, colour, 0, 1}};
        uint16_t i[6] = {0, 1, 2, 0, 2, 3};
        Quad quad;
        quad.vertices = device().createVertexBuffer(sizeof(v), v, BU_STATIC | BU_WRITE_ONLY);
        quad.indices = device().createIndexBuffer(sizeof(i), i, BU_STATIC | BU_WRITE_ONLY, false);
        return quad;
    }
    void drawQuad(const Quad& quad, IVertexDeclaration& declaration) {
        device().setVertexBuffer(quad.vertices.get());
        device().setIndexBuffer(quad.indices.get());
        device().bindVertexDeclaration(&declaration);
        device().draw(6, 0, PT_TRIANGLE_LIST);
        device().unbindVertexDeclaration();
        device().setIndexBuffer(nullptr);
    }
    uint32_t colourOf(int r, int g, int b, int a = 255) { return device().packColour(r, g, b, a); }

    std::unique_ptr<IShaderObject> compiled(bool fragment) {
        shaderinterface::Reflection reflection =
            fragment ? fragmentReflection() : vertexReflection();
        ShaderSourceDesc desc;
        desc.kind = SSK_COMPILED;
        desc.stage = fragment ? 0 : 1;
        desc.source = fragment ? kFragmentGlsl : kVertexGlsl;
        desc.reflection = &reflection;
        return device().createShader(desc);
    }

    std::unique_ptr<ITextureObject> solidTexture(uint8_t r, uint8_t g, uint8_t b, uint8_t a = 255) {
        uint8_t pixels[16];
        for (int i = 0; i < 4; ++i) {
            pixels[4 * i] = r;
            pixels[4 * i + 1] = g;
            pixels[4 * i + 2] = b;
            pixels[4 * i + 3] = a;
        }
        TextureDesc desc;
        desc.width = desc.height = 2;
        desc.format = PF_BYTE_RGBA32;
        desc.data = pixels;
        desc.mipCount = 0;
        return device().createTexture(desc);
    }

    static IRenderDevice* s_device;
    static IRenderWindow* s_window;
    testsupport::CapturingLogSink m_log;
};

IRenderDevice* GLDeviceTest::s_device = nullptr;
IRenderWindow* GLDeviceTest::s_window = nullptr;

TEST_F(GLDeviceTest, ReportsCoreProfileCapabilities) {
    IRenderDevice& d = device();
    EXPECT_TRUE(d.supportsFramebufferObjects());
    EXPECT_TRUE(d.supportsS3TC());  // Mesa offers S3TC
    EXPECT_GE(d.getTextureUnitCount(), 8);
    EXPECT_GT(d.getMaxTextureSize(), 1024);
    EXPECT_EQ(d.getStencilBits(), 8);
    EXPECT_TRUE(d.hasStencil());
    EXPECT_TRUE(d.supportsDepthTextures());
    EXPECT_GE(d.getMaxClipPlanes(), 6);
    EXPECT_EQ(d.getVertexShaderVersion(), 3);
    EXPECT_EQ(d.getFragmentShaderVersion(), 4);
    EXPECT_EQ(d.getDepthFunction(), CF_LESS_EQUAL);
    EXPECT_FALSE(d.getRendererName().empty());
    EXPECT_EQ(d.getRenderTarget(), s_window);
    EXPECT_EQ(s_window->getKind(), RTK_WINDOW);
    EXPECT_EQ(s_window->getWidth(), kSize);
    PixelFormat wanted[] = {PF_DXT1, PF_BYTE_RGBA32, PF_BYTE_RGB24};
    EXPECT_EQ(d.getFirstSupportedRenderTextureFormat(wanted, 3), PF_BYTE_RGBA32);
    PixelFormat none[] = {PF_DXT5};
    EXPECT_EQ(d.getFirstSupportedRenderTextureFormat(none, 1), PF_UNKNOWN);
    // The same window comes back on a second request.
    EXPECT_EQ(d.createRenderWindow(RenderWindowSettings()), s_window);
    for (int i = 0; i < d.getDisplayModeCount(); ++i) {
        int w = 0;
        int h = 0;
        d.getDisplayMode(i, &w, &h);
        EXPECT_GE(h, 480);
    }
    int w = -1;
    int h = -1;
    d.getDisplayMode(d.getDisplayModeCount(), &w, &h);
    EXPECT_EQ(w, 0);
    EXPECT_EQ(h, 0);
}

TEST_F(GLDeviceTest, WindowCaptionAndResize) {
    SDL_Window* window = static_cast<SdlGLRenderWindow*>(s_window)->getSdlWindow();
    EXPECT_STREQ(SDL_GetWindowTitle(window), "renderdevice test");
    s_window->setCaption("another caption");
    EXPECT_STREQ(SDL_GetWindowTitle(window), "another caption");
    s_window->setCaption("renderdevice test");
    // A resized window remembers its new size.
    SDL_SetWindowSize(window, 48, 32);
    SDL_PumpEvents();
    EXPECT_EQ(s_window->getWidth(), 48);
    EXPECT_EQ(s_window->getHeight(), 32);
    SDL_SetWindowSize(window, kSize, kSize);
    SDL_PumpEvents();
    SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
    EXPECT_EQ(s_window->getWidth(), kSize);
    EXPECT_EQ(s_window->getHeight(), kSize);
}

TEST_F(GLDeviceTest, ClearWritesEveryChannelAndRestoresMasks) {
    IRenderDevice& d = device();
    d.setColourWriteMask(true, false, true, false);
    d.disableDepthWrite();
    float colour[4] = {0.2f, 0.4f, 0.6f, 1.0f};
    d.clear(CLEAR_COLOUR | CLEAR_DEPTH | CLEAR_STENCIL, colour, 0.25f, 7);
    expectNear(windowPixel(10, 10), {51, 102, 153});
    float depth = 0;
    glReadPixels(5, 5, 1, 1, GL_DEPTH_COMPONENT, GL_FLOAT, &depth);
    EXPECT_NEAR(depth, 0.25f, 1e-3);
    GLubyte stencil = 0;
    glReadPixels(5, 5, 1, 1, GL_STENCIL_INDEX, GL_UNSIGNED_BYTE, &stencil);
    EXPECT_EQ(stencil, 7);

    // The masks hold again for drawing: white over the clear keeps green.
    auto declaration = makeDeclaration();
    Quad quad = makeQuad(-1, -1, 1, 1, 0, colourOf(255, 255, 255));
    drawQuad(quad, *declaration);
    expectNear(windowPixel(10, 10), {255, 102, 255});
    glReadPixels(5, 5, 1, 1, GL_DEPTH_COMPONENT, GL_FLOAT, &depth);
    EXPECT_NEAR(depth, 0.25f, 1e-3);  // depth writes stayed off

    d.setColourWriteMask(true, true, true, true);
    d.enableDepthWrite();
    d.clear(CLEAR_COLOUR, nullptr, 1.0f, 0);
    expectNear(windowPixel(0, 0), {0, 0, 0});
}

TEST_F(GLDeviceTest, TriangleThroughCompiledShaderPair) {
    IRenderDevice& d = device();
    clearTo(0, 0, 0);
    auto vs = compiled(false);
    auto fs = compiled(true);
    ASSERT_NE(vs, nullptr) << m_log.text();
    ASSERT_NE(fs, nullptr) << m_log.text();
    EXPECT_EQ(d.getLastError(), 0);
    EXPECT_EQ(fs->getParameterIndex("In.bias"), 1);
    EXPECT_EQ(fs->getParameterIndex("In.missing"), -1);

    auto white = solidTexture(255, 255, 255);
    d.bindTexture(1, white.get());
    auto declaration = makeDeclaration(false);
    Vertex tri[3] = {{-1, -1, 0, 0, 0, 0}, {3, -1, 0, 0, 0, 0}, {-1, 3, 0, 0, 0, 0}};
    auto vb = d.createVertexBuffer(sizeof(tri), tri, BU_STATIC);

    d.bindVertexShader(vs.get());
    d.bindFragmentShader(fs.get());
    // Scale x by 0.5: the triangle covers the left 3/4 of the target only.
    float scaleX[16] = {0.5f, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, -0.5f, 0, 0, 1};
    auto vertexBlock = vs->createParameters();
    EXPECT_TRUE(vertexBlock->getTransposeMatrices());
    EXPECT_EQ(vertexBlock->setMatrix("In.modelViewProj", scaleX), 0);
    auto fragmentBlock = fs->createParameters();
    float scale[4] = {1.0f, 0.0f, 0.5f, 1.0f};
    float bias[4] = {0.0f, 0.25f, 0.0f, 0.0f};
    fragmentBlock->setVector("In.scale", scale);
    fragmentBlock->setVector(1, bias);
    d.applyParameters(false, *vertexBlock);
    d.applyParameters(true, *fragmentBlock);
    d.setVertexBuffer(vb.get());
    d.bindVertexDeclaration(declaration.get());
    d.draw(3, 0, PT_TRIANGLE_LIST);
    d.unbindVertexDeclaration();

    auto pixels = readWindow();
    expectNear(at(pixels, 4, 32), {255, 64, 128});
    expectNear(at(pixels, 60, 32), {0, 0, 0});
    GLint firstProgram = 0;
    glGetIntegerv(GL_CURRENT_PROGRAM, &firstProgram);

    // Register changes reach the program after switching pairs and back.
    auto fs2 = compiled(true);
    ASSERT_NE(fs2, nullptr);
    d.bindFragmentShader(fs2.get());
    float zero[4] = {0, 0, 0, 0};
    float blue[4] = {0, 0, 1, 1};
    d.setVector(true, "In.scale", zero);
    d.setVector(true, "In.bias", blue);
    EXPECT_EQ(d.setVector(true, "In.nothing", blue), -1);
    d.bindVertexDeclaration(declaration.get());
    d.draw(3, 0, PT_TRIANGLE_LIST);
    expectNear(windowPixel(4, 32), {0, 0, 255});
    GLint secondProgram = 0;
    glGetIntegerv(GL_CURRENT_PROGRAM, &secondProgram);
    EXPECT_NE(secondProgram, firstProgram);
    d.bindFragmentShader(fs.get());
    float green[4] = {0, 1, 0, 0};
    d.setVector(true, 1, green);
    d.draw(3, 0, PT_TRIANGLE_LIST);
    d.unbindVertexDeclaration();
    expectNear(windowPixel(4, 32), {255, 255, 128});
    // The first pair's program was linked once and is reused.
    GLint reused = 0;
    glGetIntegerv(GL_CURRENT_PROGRAM, &reused);
    EXPECT_EQ(reused, firstProgram);

    // Destroying a bound shader leaves the device without it.
    fs.reset();
    EXPECT_EQ(d.getBoundFragmentShader(), nullptr);
    d.unbindVertexShader();
    d.unbindFragmentShader();
}

TEST_F(GLDeviceTest, ShaderCreationErrors) {
    IRenderDevice& d = device();
    struct Case {
        int kind, stage, fragmentVersion, variant, error;
    } cases[] = {
        {SSK_COMPILED, 0, 4, 1, RDE_UNSUPPORTED_SHADER_VERSION},
        {SSK_COMPILED, 0, 5, 0, RDE_UNSUPPORTED_SHADER_VERSION},
        {SSK_COMPILED, 4, 3, 0, RDE_UNSUPPORTED_SHADER_VERSION},
        {SSK_COMPILED, 2, 3, 1, RDE_UNSUPPORTED_SHADER_VERSION},
        {1, 0, 3, 0, RDE_UNSUPPORTED_SHADER_FORMAT},
    };
    for (const Case& c : cases) {
        ShaderSourceDesc desc;
        desc.kind = c.kind;
        desc.stage = c.stage;
        desc.fragmentVersion = c.fragmentVersion;
        desc.profileVariant = c.variant;
        desc.source = kFragmentGlsl;
        EXPECT_EQ(d.createShader(desc), nullptr);
        EXPECT_EQ(d.getLastError(), c.error) << c.kind << " " << c.stage;
    }
    ShaderSourceDesc broken;
    broken.kind = SSK_COMPILED;
    broken.stage = 0;
    broken.source = "#version 330 core\nvoid main() { this is not glsl; }\n";
    broken.keepText = true;
    EXPECT_EQ(d.createShader(broken), nullptr);
    EXPECT_EQ(d.getLastError(), RDE_INVALID_SHADER_CODE);
    EXPECT_NE(m_log.text().find("Failed to create fragment shader, "), std::string::npos);
    EXPECT_EQ(d.getLastProgramText(), broken.source);
}

#ifdef ENGINE_HAS_SHADER_COMPILER
TEST_F(GLDeviceTest, CgSourceIsCompiledAndDrawn) {
    IRenderDevice& d = device();
    const char* source = R"(
struct VsIn { float4 position : POSITION; };
struct VsOut { float4 position : POSITION; };
VsOut main_vp(VsIn In, uniform float4x4 modelViewProj) {
    VsOut Out;
    Out.position = mul(modelViewProj, In.position);
    return Out;
}
float4 main_fp(uniform float4 colour) : COLOR { return colour; }
float4 glow = { 1, 0, 1, 1 };
float4 main_glow() : COLOR { return glow; }
)";
    ShaderSourceDesc vdesc;
    vdesc.source = source;
    vdesc.entryPoint = "main_vp";
    vdesc.stage = 1;
    auto vs = d.createShader(vdesc);
    ASSERT_NE(vs, nullptr) << m_log.text();
    ShaderSourceDesc fdesc = vdesc;
    fdesc.entryPoint = "main_fp";
    fdesc.stage = 0;
    auto fs = d.createShader(fdesc);
    ASSERT_NE(fs, nullptr) << m_log.text();
    clearTo(0, 0, 0);
    d.bindVertexShader(vs.get());
    d.bindFragmentShader(fs.get());
    EXPECT_GE(d.setMatrix(false, "modelViewProj", kIdentity), 0) << m_log.text();
    float colour[4] = {0.0f, 1.0f, 1.0f, 1.0f};
    EXPECT_GE(d.setVector(true, "colour", colour), 0);
    auto declaration = makeDeclaration(false);
    Quad quad = makeQuad(-1, -1, 1, 1, 0, 0);
    drawQuad(quad, *declaration);
    d.unbindVertexShader();
    d.unbindFragmentShader();
    expectNear(windowPixel(32, 32), {0, 255, 255});

    // A parameter declared with an initial value draws with it until it is set.
    fdesc.entryPoint = "main_glow";
    auto glow = d.createShader(fdesc);
    ASSERT_NE(glow, nullptr) << m_log.text();
    d.bindVertexShader(vs.get());
    d.bindFragmentShader(glow.get());
    drawQuad(quad, *declaration);
    expectNear(windowPixel(32, 32), {255, 0, 255});
    float green[4] = {0.0f, 1.0f, 0.0f, 1.0f};
    EXPECT_GE(d.setVector(true, "glow", green), 0);
    drawQuad(quad, *declaration);
    expectNear(windowPixel(32, 32), {0, 255, 0});
    d.unbindVertexShader();
    d.unbindFragmentShader();

    ShaderSourceDesc bad = vdesc;
    bad.source = "float4 main_vp( { garbage";
    EXPECT_EQ(d.createShader(bad), nullptr);
    EXPECT_EQ(d.getLastError(), RDE_INVALID_SHADER_CODE);
    EXPECT_NE(m_log.text().find("Listing: "), std::string::npos);
}
// A per-instance stream advances once per instance, and its start offset
// picks the first instance: of four stripes (red, green, blue, white) a
// draw of two instances from the second one shows green and blue only. A
// plain draw afterwards reads its vertices as before.
TEST_F(GLDeviceTest, InstancedDrawReadsPerInstanceStreamFromItsOffset) {
    IRenderDevice& d = device();
    const char* source = R"(
struct VsIn {
    float4 position : POSITION;
    float4 offset : TEXCOORD5;
    float4 tint : TEXCOORD6;
};
struct VsOut { float4 position : POSITION; float4 colour : COLOR0; };
VsOut main_vp(VsIn In) {
    VsOut Out;
    Out.position = In.position + float4(In.offset.xy, 0, 0);
    Out.colour = In.tint;
    return Out;
}
float4 main_fp(VsOut In) : COLOR { return In.colour; }
)";
    ShaderSourceDesc vdesc;
    vdesc.source = source;
    vdesc.entryPoint = "main_vp";
    vdesc.stage = 1;
    auto vs = d.createShader(vdesc);
    ASSERT_NE(vs, nullptr) << m_log.text();
    ShaderSourceDesc fdesc = vdesc;
    fdesc.entryPoint = "main_fp";
    fdesc.stage = 0;
    auto fs = d.createShader(fdesc);
    ASSERT_NE(fs, nullptr) << m_log.text();

    VertexDeclarationDesc desc;
    desc.numStreams = 2;
    desc.instanceStreams = 2u;
    desc.position.type = VET_FLOAT3;
    desc.diffuse.type = VET_COLOUR;
    desc.texCoords[0].type = VET_FLOAT2;
    desc.generic[0] = {shaderinterface::kAttribTexCoord0 + 5, VET_FLOAT4, 1};
    desc.generic[1] = {shaderinterface::kAttribTexCoord0 + 6, VET_FLOAT4, 1};
    auto instanced = d.createVertexDeclaration(desc);
    ASSERT_NE(instanced, nullptr);
    EXPECT_EQ(instanced->getStreamStride(1), 32);
    // One stripe a quarter of the window wide; each instance moves it right.
    const float instances[4][8] = {{0.0f, 0, 0, 0, 1, 0, 0, 1},
                                   {0.5f, 0, 0, 0, 0, 1, 0, 1},
                                   {1.0f, 0, 0, 0, 0, 0, 1, 1},
                                   {1.5f, 0, 0, 0, 1, 1, 1, 1}};
    auto perInstance = d.createVertexBuffer(sizeof(instances), instances, BU_STATIC);
    Quad stripe = makeQuad(-1, -1, -0.5f, 1, 0, 0);

    clearTo(0, 0, 0);
    d.bindVertexShader(vs.get());
    d.bindFragmentShader(fs.get());
    IVertexBuffer* const streams[2] = {stripe.vertices.get(), perInstance.get()};
    d.setVertexBuffers(streams, 2);
    d.setIndexBuffer(stripe.indices.get());
    d.setVertexStreamOffset(1, sizeof(instances[0]));
    d.bindVertexDeclaration(instanced.get());
    d.drawInstanced(6, 0, PT_TRIANGLE_LIST, 2);
    d.unbindVertexDeclaration();
    d.setVertexStreamOffset(1, 0);
    const int y = kSize / 2;
    expectNear(windowPixel(kSize / 8, y), {0, 0, 0});
    expectNear(windowPixel(3 * kSize / 8, y), {0, 255, 0});
    expectNear(windowPixel(5 * kSize / 8, y), {0, 0, 255});
    expectNear(windowPixel(7 * kSize / 8, y), {0, 0, 0});
    // Nothing is drawn without instances.
    d.bindVertexDeclaration(instanced.get());
    d.drawInstanced(6, 0, PT_TRIANGLE_LIST, 0);
    d.unbindVertexDeclaration();
    expectNear(windowPixel(kSize / 8, y), {0, 0, 0});
    d.unbindVertexShader();
    d.unbindFragmentShader();

    // The same stripe drawn plainly with the fixed-function colour path.
    auto plain = makeDeclaration();
    Quad white = makeQuad(-1, -1, -0.5f, 1, 0, colourOf(255, 255, 255));
    drawQuad(white, *plain);
    expectNear(windowPixel(kSize / 8, y), {255, 255, 255});
    expectNear(windowPixel(7 * kSize / 8, y), {0, 0, 0});
}
#endif

TEST_F(GLDeviceTest, DrawingWithoutShadersUsesColourTextureAndMatrices) {
    IRenderDevice& d = device();
    clearTo(0, 0, 0);
    auto declaration = makeDeclaration();
    auto texture = solidTexture(255, 128, 255);
    d.bindTexture(0, texture.get());
    EXPECT_EQ(d.getBoundTexture(0), texture.get());
    // Model matrix moves a small quad into the top-right quarter.
    float model[16] = {0.5f, 0, 0, 0, 0, 0.5f, 0, 0, 0, 0, 1, 0, 0.5f, 0.5f, 0, 1};
    d.setModelMatrix(model);
    Quad quad = makeQuad(-1, -1, 1, 1, 0, colourOf(255, 255, 0));
    drawQuad(quad, *declaration);
    auto pixels = readWindow();
    expectNear(at(pixels, 48, 48), {255, 128, 0});
    expectNear(at(pixels, 16, 16), {0, 0, 0});

    // Alpha test: a reference above the vertex alpha rejects everything.
    d.setModelMatrix(kIdentity);
    d.bindTexture(0, nullptr);
    Quad translucent = makeQuad(-1, -1, 1, 1, 0, colourOf(0, 0, 255, 100));
    d.setAlphaTest(CF_GREATER, 0.5f);
    drawQuad(translucent, *declaration);
    expectNear(windowPixel(16, 16), {0, 0, 0});
    d.setAlphaTest(CF_LESS, 0.5f);
    drawQuad(translucent, *declaration);
    expectNear(windowPixel(16, 16), {0, 0, 255});
    d.setAlphaTest(CF_ALWAYS, 0.5f);

    // A clip plane keeping x >= 0 leaves the left half alone.
    clearTo(0, 0, 0);
    float plane[4] = {1, 0, 0, 0};
    d.setClipPlane(0, plane);
    d.enableClipPlane(0);
    Quad red = makeQuad(-1, -1, 1, 1, 0, colourOf(255, 0, 0));
    drawQuad(red, *declaration);
    d.disableClipPlane(0);
    pixels = readWindow();
    expectNear(at(pixels, 10, 32), {0, 0, 0});
    expectNear(at(pixels, 54, 32), {255, 0, 0});

    // A texture matrix shifting s by 0.5 samples the other half of a
    // two-texel texture.
    uint8_t halves[6] = {255, 0, 0, 0, 255, 0};
    TextureDesc desc;
    desc.width = 2;
    desc.height = 1;
    desc.data = halves;
    desc.mipCount = 0;
    desc.minFilter = desc.magFilter = TF_POINT;
    desc.mipFilter = TF_NONE;
    auto split = d.createTexture(desc);
    // With the plane off again the whole quad is drawn.
    Quad white0 = makeQuad(-1, -1, 1, 1, 0, colourOf(255, 255, 255));
    drawQuad(white0, *declaration);
    expectNear(windowPixel(10, 32), {255, 255, 255});
    d.bindTexture(0, split.get());
    Quad white = makeQuad(-1, -1, 1, 1, 0, colourOf(255, 255, 255));
    drawQuad(white, *declaration);
    expectNear(windowPixel(10, 32), {255, 0, 0});
    float shift[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0.5f, 0, 1, 0, 0, 0, 0, 1};
    d.setTextureMatrix(0, shift);
    drawQuad(white, *declaration);
    expectNear(windowPixel(10, 32), {0, 255, 0});
    d.setTextureMatrix(0, kIdentity);
    d.bindTexture(0, nullptr);
}

TEST_F(GLDeviceTest, BlendAndDepthFunctions) {
    IRenderDevice& d = device();
    auto declaration = makeDeclaration();
    struct BlendCase {
        BlendFactor src, dst;
        Rgb expected;
    } blends[] = {
        {BF_ONE, BF_ZERO, {0, 0, 255}},
        {BF_ONE, BF_ONE, {255, 0, 255}},
        {BF_SOURCE_ALPHA, BF_ONE_MINUS_SOURCE_ALPHA, {128, 0, 127}},
        {BF_ZERO, BF_SOURCE_COLOUR, {0, 0, 0}},
    };
    Quad blue = makeQuad(-1, -1, 1, 1, 0, colourOf(0, 0, 255, 128));
    for (const BlendCase& c : blends) {
        clearTo(1, 0, 0);
        d.setBlendFunction(c.src, c.dst);
        drawQuad(blue, *declaration);
        expectNear(windowPixel(32, 32), c.expected, 3);
    }
    d.setBlendFunction(BF_ONE, BF_ZERO);

    struct DepthCase {
        CompareFunction function;
        bool drawn;
    } depths[] = {
        {CF_LESS, true},   {CF_GREATER, false}, {CF_EQUAL, false},
        {CF_NEVER, false}, {CF_ALWAYS, true},   {CF_GREATER_EQUAL, false},
    };
    // The quad lies at depth 0.25 (z = -0.5); the buffer holds 0.5.
    Quad green = makeQuad(-1, -1, 1, 1, -0.5f, colourOf(0, 255, 0));
    d.enableDepthTest();
    for (const DepthCase& c : depths) {
        float black[4] = {0, 0, 0, 1};
        d.clear(CLEAR_COLOUR | CLEAR_DEPTH, black, 0.5f, 0);
        d.setDepthFunction(c.function);
        drawQuad(green, *declaration);
        expectNear(windowPixel(32, 32), c.drawn ? Rgb{0, 255, 0} : Rgb{0, 0, 0});
    }
    d.setDepthFunction(CF_LESS_EQUAL);
    d.disableDepthTest();
}

TEST_F(GLDeviceTest, StencilStateMasksDrawing) {
    IRenderDevice& d = device();
    auto declaration = makeDeclaration();
    clearTo(0, 0, 0);
    d.enableStencilTest();
    // Write 1 into the left half only.
    d.setScissor(0, 0, kSize / 2, kSize);
    d.setStencilState(CF_ALWAYS, 1, 0xFF, SO_KEEP, SO_KEEP, SO_REPLACE, false);
    Quad black = makeQuad(-1, -1, 1, 1, 0, colourOf(0, 0, 0));
    drawQuad(black, *declaration);
    d.resetScissor();
    d.setStencilState(CF_EQUAL, 1, 0xFF, SO_KEEP, SO_KEEP, SO_KEEP, false);
    Quad white = makeQuad(-1, -1, 1, 1, 0, colourOf(255, 255, 255));
    drawQuad(white, *declaration);
    d.disableStencilTest();
    auto pixels = readWindow();
    expectNear(at(pixels, 10, 32), {255, 255, 255});
    expectNear(at(pixels, 54, 32), {0, 0, 0});
}

TEST_F(GLDeviceTest, ViewportAndScissorAreMeasuredFromTheTop) {
    IRenderDevice& d = device();
    auto declaration = makeDeclaration();
    clearTo(0, 0, 0);
    // The top-left 16×16 pixels.
    d.setViewport(0, 0, 16, 16);
    int viewport[4];
    d.getViewport(viewport);
    EXPECT_EQ(viewport[1], kSize - 16);
    Quad white = makeQuad(-1, -1, 1, 1, 0, colourOf(255, 255, 255));
    drawQuad(white, *declaration);
    auto pixels = readWindow();
    expectNear(at(pixels, 8, kSize - 8), {255, 255, 255});
    expectNear(at(pixels, 8, 8), {0, 0, 0});

    d.setViewport(0, 0, kSize, kSize);
    clearTo(0, 0, 0);
    d.setScissor(32, 0, 32, 10);  // right half, top 10 rows
    drawQuad(white, *declaration);
    d.resetScissor();
    pixels = readWindow();
    expectNear(at(pixels, 40, kSize - 5), {255, 255, 255});
    expectNear(at(pixels, 40, kSize - 12), {0, 0, 0});
    expectNear(at(pixels, 20, kSize - 5), {0, 0, 0});
    // Reset scissor disables it: the next clear covers everything.
    clearTo(0, 1, 0);
    expectNear(windowPixel(0, 0), {0, 255, 0});
}

TEST_F(GLDeviceTest, RenderToTextureAndReadBack) {
    IRenderDevice& d = device();
    TextureDesc desc;
    desc.width = 32;
    desc.height = 16;
    desc.format = PF_BYTE_RGBA32;
    desc.usage = BU_RENDER_TARGET;
    desc.mipCount = 0;
    auto colour = d.createTexture(desc);
    RenderTextureDesc rtDesc;
    rtDesc.colourTexture = colour.get();
    rtDesc.depthBuffer = true;
    rtDesc.stencilBuffer = false;
    auto target = d.createRenderTexture(rtDesc);
    ASSERT_NE(target, nullptr) << getRenderDeviceErrorName(d.getLastError());
    EXPECT_EQ(target->getKind(), RTK_RENDER_TEXTURE);
    EXPECT_EQ(target->getWidth(), 32);
    EXPECT_EQ(target->getColourTexture(), colour.get());

    d.setRenderTarget(target.get());
    EXPECT_EQ(d.getRenderTarget(), target.get());
    d.setViewport(0, 0, 32, 16);
    float green[4] = {0, 1, 0, 1};
    d.clear(CLEAR_COLOUR | CLEAR_DEPTH, green, 1.0f, 0);
    // Top half red through the viewport measured from the render texture's top.
    d.setViewport(0, 0, 32, 8);
    auto declaration = makeDeclaration();
    Quad red = makeQuad(-1, -1, 1, 1, 0, colourOf(255, 0, 0));
    drawQuad(red, *declaration);
    d.setRenderTarget(nullptr);
    EXPECT_EQ(d.getRenderTarget(), s_window);

    std::vector<uint8_t> pixels(target->getPixelBufferSize());
    target->readPixels(pixels.data());
    expectNear(at(pixels, 5, 2, 32), {0, 255, 0});
    expectNear(at(pixels, 5, 13, 32), {255, 0, 0});
    std::vector<uint8_t> texturePixels(32 * 16 * 3);
    colour->readBack(texturePixels.data(), 0);
    EXPECT_EQ(texturePixels, pixels);

    // A second render texture of the same size shares the depth buffer and
    // clearing another target leaves the current one current.
    auto colour2 = d.createTexture(desc);
    rtDesc.colourTexture = colour2.get();
    auto target2 = d.createRenderTexture(rtDesc);
    ASSERT_NE(target2, nullptr);
    float blue[4] = {0, 0, 1, 1};
    d.clearTarget(target2.get(), CLEAR_COLOUR, blue, 1.0f, 0);
    EXPECT_EQ(d.getRenderTarget(), s_window);
    target2->readPixels(pixels.data());
    expectNear(at(pixels, 0, 0, 32), {0, 0, 255});

    // Without a colour texture the render texture fails with code 1.
    RenderTextureDesc empty;
    EXPECT_EQ(d.createRenderTexture(empty), nullptr);
    EXPECT_EQ(d.getLastError(), RDE_NO_COLOUR_TEXTURE);

    // A depth texture target (shadow map) renders depth only.
    TextureDesc depthDesc = desc;
    depthDesc.format = PF_DEPTH24;
    depthDesc.mipFilter = TF_NONE;
    auto depthTexture = d.createTexture(depthDesc);
    RenderTextureDesc shadowDesc;
    shadowDesc.colourTexture = depthTexture.get();
    shadowDesc.depthBuffer = true;
    auto shadow = d.createRenderTexture(shadowDesc);
    ASSERT_NE(shadow, nullptr) << d.getLastError();
    d.setRenderTarget(shadow.get());
    d.clear(CLEAR_DEPTH, nullptr, 0.5f, 0);
    d.setRenderTarget(nullptr);
    shadow->readPixels(pixels.data());
    EXPECT_NEAR(pixels[0], 128, 1);
}

TEST_F(GLDeviceTest, CopyToTextureDirectAndScaled) {
    IRenderDevice& d = device();
    // Window: left half red, right half blue.
    clearTo(0, 0, 1);
    d.setScissor(0, 0, kSize / 2, kSize);
    clearTo(1, 0, 0);
    d.resetScissor();
    struct Case {
        int width, height;
    } cases[] = {{64, 64}, {16, 8}};
    for (const Case& c : cases) {
        TextureDesc desc;
        desc.width = c.width;
        desc.height = c.height;
        desc.format = PF_BYTE_RGB24;
        desc.usage = BU_RENDER_TARGET;
        desc.mipCount = 0;
        auto texture = d.createTexture(desc);
        RenderTextureDesc rtDesc;
        rtDesc.colourTexture = texture.get();
        auto target = d.createRenderTexture(rtDesc);
        ASSERT_NE(target, nullptr);
        EXPECT_TRUE(
            d.copyToTexture(s_window, 0, 0, kSize, kSize, target.get(), 0, 0, c.width, c.height));
        std::vector<uint8_t> pixels(target->getPixelBufferSize());
        target->readPixels(pixels.data());
        expectNear(at(pixels, 1, c.height / 2, c.width), {255, 0, 0});
        expectNear(at(pixels, c.width - 2, c.height / 2, c.width), {0, 0, 255});
        // Only a window can be the source, only a render texture the target.
        EXPECT_FALSE(d.copyToTexture(target.get(), 0, 0, 4, 4, target.get(), 0, 0, 4, 4));
        EXPECT_FALSE(d.copyToTexture(s_window, 0, 0, 4, 4, s_window, 0, 0, 4, 4));
    }
    EXPECT_EQ(d.getRenderTarget(), s_window);
    expectNear(windowPixel(2, 2), {255, 0, 0});
}

TEST_F(GLDeviceTest, TextureFormatsUploadAndReadBack) {
    IRenderDevice& d = device();
    // RGB24 with 101-pixel rows (303 bytes: unaligned rows).
    {
        const int w = 101;
        const int h = 3;
        std::vector<uint8_t> data(w * h * 3);
        for (size_t i = 0; i < data.size(); ++i) {
            data[i] = static_cast<uint8_t>(i * 7 + 3);
        }
        TextureDesc desc;
        desc.width = w;
        desc.height = h;
        desc.data = data.data();
        desc.mipCount = 0;
        auto texture = d.createTexture(desc);
        std::vector<uint8_t> back(data.size());
        texture->readBack(back.data(), 0);
        EXPECT_EQ(back, data);
        GLint alignment = 0;
        glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
        EXPECT_EQ(alignment, 4);  // restored after the upload
    }
    // A row length wider than the texture: only the first pixels of each row.
    {
        uint8_t data[2 * 4 * 3];
        for (int i = 0; i < 24; ++i) {
            data[i] = static_cast<uint8_t>(i);
        }
        TextureDesc desc;
        desc.width = 2;
        desc.height = 2;
        desc.rowLength = 4;
        desc.data = data;
        desc.mipCount = 0;
        auto texture = d.createTexture(desc);
        uint8_t back[12];
        texture->readBack(back, 0);
        const uint8_t expected[12] = {0, 1, 2, 3, 4, 5, 12, 13, 14, 15, 16, 17};
        EXPECT_EQ(std::memcmp(back, expected, 12), 0);
    }
    struct Case {
        PixelFormat format;
        std::vector<uint8_t> texel;
        Rgb rgb;  // what read-back gives
    } cases[] = {
        {PF_BYTE_BGRA32, {10, 20, 30, 40}, {30, 20, 10}},
        {PF_BYTE_BGR24, {10, 20, 30}, {30, 20, 10}},
        {PF_BYTE_RGBA32, {10, 20, 30, 40}, {10, 20, 30}},
        {PF_L8, {77}, {77, 77, 77}},
        {PF_BYTE_LA16, {90, 5}, {90, 90, 90}},
        {PF_A8, {200}, {0, 0, 0}},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> data;
        for (int i = 0; i < 4; ++i) {
            data.insert(data.end(), c.texel.begin(), c.texel.end());
        }
        TextureDesc desc;
        desc.width = desc.height = 2;
        desc.format = c.format;
        desc.data = data.data();
        desc.mipCount = 0;
        auto texture = d.createTexture(desc);
        ASSERT_TRUE(texture->isValid()) << PixelFormatUtil::getName(c.format);
        uint8_t back[12];
        texture->readBack(back, 0);
        expectNear({back[9], back[10], back[11]}, c.rgb, 0);
    }
    // Luminance shows as grey, alpha only modulates alpha when drawn.
    {
        auto declaration = makeDeclaration();
        uint8_t grey[4] = {128, 128, 128, 128};
        TextureDesc desc;
        desc.width = desc.height = 2;
        desc.format = PF_L8;
        desc.data = grey;
        desc.mipCount = 0;
        auto texture = d.createTexture(desc);
        clearTo(0, 0, 0);
        d.bindTexture(0, texture.get());
        Quad white = makeQuad(-1, -1, 1, 1, 0, colourOf(255, 255, 255));
        drawQuad(white, *declaration);
        expectNear(windowPixel(32, 32), {128, 128, 128});
        desc.format = PF_A8;
        auto alpha = d.createTexture(desc);
        d.bindTexture(0, alpha.get());
        d.setBlendFunction(BF_SOURCE_ALPHA, BF_ONE_MINUS_SOURCE_ALPHA);
        Quad yellow = makeQuad(-1, -1, 1, 1, 0, colourOf(255, 255, 0));
        clearTo(0, 0, 0);
        drawQuad(yellow, *declaration);
        d.setBlendFunction(BF_ONE, BF_ZERO);
        d.bindTexture(0, nullptr);
        expectNear(windowPixel(32, 32), {128, 128, 0}, 3);
    }
    // DXT1: one 4×4 block of pure red (colour 0 = 0xF800, every index 0).
    {
        const uint8_t block[8] = {0x00, 0xF8, 0x00, 0x00, 0, 0, 0, 0};
        TextureDesc desc;
        desc.width = desc.height = 4;
        desc.format = PF_DXT1;
        desc.data = block;
        desc.mipCount = 0;
        auto texture = d.createTexture(desc);
        ASSERT_TRUE(texture->isValid());
        EXPECT_EQ(texture->getMemorySize(), 8u);
        uint8_t back[8] = {};
        texture->readBack(back, 0);
        EXPECT_EQ(std::memcmp(back, block, 8), 0);
        auto declaration = makeDeclaration();
        clearTo(0, 0, 0);
        d.bindTexture(0, texture.get());
        Quad white = makeQuad(-1, -1, 1, 1, 0, colourOf(255, 255, 255));
        drawQuad(white, *declaration);
        d.bindTexture(0, nullptr);
        expectNear(windowPixel(32, 32), {255, 0, 0});
    }
    // Unlocking uploads new contents; a read-only lock leaves them.
    {
        auto texture = solidTexture(1, 2, 3);
        uint8_t newPixels[16] = {9, 8, 7, 0, 9, 8, 7, 0, 9, 8, 7, 0, 9, 8, 7, 0};
        uint8_t other[16] = {};
        texture->lock(LOCK_READ_ONLY);
        texture->unlock(other);
        uint8_t back[12];
        texture->readBack(back, 0);
        expectNear({back[0], back[1], back[2]}, {1, 2, 3}, 0);
        texture->lock(LOCK_DISCARD);
        texture->unlock(newPixels);
        texture->readBack(back, 0);
        expectNear({back[0], back[1], back[2]}, {9, 8, 7}, 0);
    }
}

TEST_F(GLDeviceTest, FloatDepthAndCubeTextures) {
    IRenderDevice& d = device();
    {
        const float texel[4] = {0.25f, 0.5f, 0.75f, 1.0f};
        std::vector<float> data;
        for (int i = 0; i < 4; ++i) {
            data.insert(data.end(), texel, texel + 4);
        }
        TextureDesc desc;
        desc.width = desc.height = 2;
        desc.format = PF_FLOAT_RGBA128;
        desc.data = data.data();
        desc.mipCount = 0;
        auto texture = d.createTexture(desc);
        ASSERT_TRUE(texture->isValid());
        EXPECT_EQ(texture->getMemorySize(), 2u * 2u * 16u);
        uint8_t back[12];
        texture->readBack(back, 0);
        expectNear({back[9], back[10], back[11]}, {64, 128, 191}, 1);
    }
    // Depth textures compare for shadow-map lookups.
    {
        TextureDesc desc;
        desc.width = desc.height = 4;
        desc.format = PF_DEPTH24;
        desc.mipCount = 0;
        auto texture = d.createTexture(desc);
        glBindTexture(GL_TEXTURE_2D, static_cast<GLTexture*>(texture.get())->getName());
        GLint mode = 0;
        GLint function = 0;
        glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_COMPARE_MODE, &mode);
        glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_COMPARE_FUNC, &function);
        glBindTexture(GL_TEXTURE_2D, 0);
        EXPECT_EQ(mode, GL_COMPARE_REF_TO_TEXTURE);
        EXPECT_EQ(function, GL_LEQUAL);
    }
    // A cube map with its mips in the data: per level the six faces in
    // order, each face its own colour; every face and level is counted.
    {
        std::vector<uint8_t> data;
        for (int level = 0; level < 2; ++level) {
            int pixels = level == 0 ? 4 : 1;
            for (int face = 0; face < 6; ++face) {
                for (int p = 0; p < pixels; ++p) {
                    data.push_back(static_cast<uint8_t>(10 * face + level));
                    data.push_back(static_cast<uint8_t>(100 + face));
                    data.push_back(static_cast<uint8_t>(200 + level));
                }
            }
        }
        TextureDesc desc;
        desc.width = desc.height = 2;
        desc.type = TT_CUBE;
        desc.data = data.data();
        desc.dataHasMipmaps = true;
        auto texture = d.createTexture(desc);
        ASSERT_TRUE(texture->isValid());
        EXPECT_EQ(texture->getFaceCount(), 6);
        EXPECT_EQ(texture->getMipCount(), 1u);
        EXPECT_EQ(texture->getMemorySize(), 6u * (12u + 3u));
        uint8_t back[12];
        texture->readBack(back, 4);
        expectNear({back[9], back[10], back[11]}, {40, 104, 200}, 0);
        glBindTexture(GL_TEXTURE_CUBE_MAP, static_cast<GLTexture*>(texture.get())->getName());
        uint8_t level1[4] = {};
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glGetTexImage(GL_TEXTURE_CUBE_MAP_POSITIVE_X + 3, 1, GL_RGB, GL_UNSIGNED_BYTE, level1);
        glPixelStorei(GL_PACK_ALIGNMENT, 4);
        glBindTexture(GL_TEXTURE_CUBE_MAP, 0);
        expectNear({level1[0], level1[1], level1[2]}, {31, 103, 201}, 0);
    }
}

TEST_F(GLDeviceTest, MipCountsAndGeneratedLevels) {
    IRenderDevice& d = device();
    struct Case {
        uint32_t width, height, mipCount, expected;
    } cases[] = {{256, 256, 0xFFFFFFFFu, 8},
                 {1, 1, 0xFFFFFFFFu, 1},
                 {256, 1, 0xFFFFFFFFu, 8},
                 {64, 64, 2, 2},
                 {64, 64, 0, 0}};
    for (const Case& c : cases) {
        TextureDesc desc;
        desc.width = c.width;
        desc.height = c.height;
        desc.mipCount = c.mipCount;
        auto texture = d.createTexture(desc);
        EXPECT_EQ(texture->getMipCount(), c.expected) << c.width << "x" << c.height;
        auto* gl = static_cast<GLTexture*>(texture.get());
        glBindTexture(GL_TEXTURE_2D, gl->getName());
        GLint maxLevel = -1;
        glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, &maxLevel);
        glBindTexture(GL_TEXTURE_2D, 0);
        EXPECT_EQ(maxLevel, static_cast<GLint>(c.expected));
    }
    // Level 1 of an uploaded 4×4 texture is built by the GL from level 0.
    std::vector<uint8_t> data(4 * 4 * 3, 200);
    TextureDesc desc;
    desc.width = desc.height = 4;
    desc.data = data.data();
    auto texture = d.createTexture(desc);
    auto* gl = static_cast<GLTexture*>(texture.get());
    glBindTexture(GL_TEXTURE_2D, gl->getName());
    uint8_t level1[2 * 2 * 3] = {};
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 1, GL_RGB, GL_UNSIGNED_BYTE, level1);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glBindTexture(GL_TEXTURE_2D, 0);
    EXPECT_EQ(level1[0], 200);
    EXPECT_EQ(level1[11], 200);
    // The memory counter holds the real bytes of every level.
    int before = d.getTextureMemory();
    TextureDesc big;
    big.width = big.height = 8;
    big.format = PF_BYTE_RGBA32;
    auto counted = d.createTexture(big);
    EXPECT_EQ(d.getTextureMemory() - before, (64 + 16 + 4 + 1) * 4);
    counted.reset();
    EXPECT_EQ(d.getTextureMemory(), before);
}

TEST_F(GLDeviceTest, RefusedTexturesAreReportedAndLeaveTheDeviceUsable) {
    IRenderDevice& d = device();
    int before = d.getTextureMemory();
    TextureDesc huge;
    huge.width = static_cast<uint32_t>(d.getMaxTextureSize()) * 2;
    huge.height = 1;
    huge.mipCount = 0;
    auto refused = d.createTexture(huge);
    ASSERT_NE(refused, nullptr);
    EXPECT_EQ(static_cast<GLTexture*>(refused.get())->getName(), 0u);
    EXPECT_EQ(d.getTextureMemory(), before);
    EXPECT_NE(m_log.text().find("Error: GL error 0x0501 in GLTexture::GLTexture"),
              std::string::npos)
        << m_log.text();
    // A render texture over it reports the colour attachment and is not made.
    RenderTextureDesc rtDesc;
    rtDesc.colourTexture = refused.get();
    rtDesc.depthBuffer = true;
    EXPECT_EQ(d.createRenderTexture(rtDesc), nullptr);
    EXPECT_EQ(d.getLastError(), RDE_UNSUPPORTED_COLOR_BUFFER_FORMAT);
    EXPECT_EQ(d.getRenderTarget(), s_window);
    refused.reset();
    EXPECT_EQ(d.getTextureMemory(), before);

    m_log.take();
    auto usable = solidTexture(10, 20, 30);
    EXPECT_NE(static_cast<GLTexture*>(usable.get())->getName(), 0u);
    EXPECT_EQ(m_log.text(), "");
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(GLDeviceTest, VertexAndIndexBuffers) {
    IRenderDevice& d = device();
    int vertexBefore = d.getVertexBufferMemory();
    int indexBefore = d.getIndexBufferMemory();
    std::vector<std::unique_ptr<IVertexBuffer>> owned;
    IVertexBuffer* buffers[6];
    for (int i = 0; i < 6; ++i) {
        owned.push_back(d.createVertexBuffer(64, nullptr, BU_DYNAMIC | BU_WRITE_ONLY));
        buffers[i] = owned.back().get();
    }
    EXPECT_EQ(d.getVertexBufferMemory() - vertexBefore, 6 * 64);
    d.setVertexBuffers(buffers, 6);
    EXPECT_EQ(d.getVertexStreamCount(), 4);
    EXPECT_EQ(d.getMaxVertexStreams(), 4);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(d.getVertexBuffers()[i], buffers[i]);
    }
    d.setVertexBuffer(buffers[5]);
    EXPECT_EQ(d.getVertexStreamCount(), 1);
    owned[5].reset();
    EXPECT_EQ(d.getVertexBuffers()[0], nullptr);  // destroyed buffers leave the streams

    auto vb = d.createVertexBuffer(16, nullptr, BU_STATIC);
    uint8_t source[16];
    for (int i = 0; i < 16; ++i) {
        source[i] = static_cast<uint8_t>(i + 1);
    }
    vb->write(0, 16, source, false);
    uint8_t* mapped = static_cast<uint8_t*>(vb->lock(4, 4, LOCK_NORMAL));
    ASSERT_NE(mapped, nullptr);
    EXPECT_TRUE(vb->isLocked());
    EXPECT_EQ(mapped[0], 5);
    mapped[0] = 99;
    vb->unlock();
    EXPECT_FALSE(vb->isLocked());
    uint8_t back[16] = {};
    vb->read(0, 16, back);
    EXPECT_EQ(back[4], 99);
    EXPECT_EQ(back[15], 16);
    // Reads, writes and locks past the end are refused.
    EXPECT_EQ(vb->lock(12, 8, LOCK_NORMAL), nullptr);
    vb->write(10, 8, source, false);
    vb->read(0, 16, back);
    EXPECT_EQ(back[10], 11);
    // A discarding partial write keeps only the new bytes defined.
    vb->write(0, 4, source + 8, true);
    vb->read(0, 4, back);
    EXPECT_EQ(back[0], 9);

    uint32_t indices[3] = {7, 8, 9};
    auto ib = d.createIndexBuffer(sizeof(indices), indices, BU_STATIC, true);
    EXPECT_TRUE(ib->is32Bit());
    EXPECT_EQ(d.getIndexBufferMemory() - indexBefore, 12);
    uint32_t* map = static_cast<uint32_t*>(ib->lock(0, 0, LOCK_READ_ONLY));
    ASSERT_NE(map, nullptr);
    EXPECT_EQ(map[2], 9u);
    ib->unlock();
    d.setIndexBuffer(ib.get());
    EXPECT_EQ(d.getIndexBuffer(), ib.get());
    ib.reset();
    EXPECT_EQ(d.getIndexBuffer(), nullptr);
    EXPECT_EQ(d.getIndexBufferMemory(), indexBefore);
}

TEST_F(GLDeviceTest, DeclarationStridesFollowTheFixedElementOrder) {
    IRenderDevice& d = device();
    VertexDeclarationDesc desc;
    desc.numStreams = 2;
    desc.texCoords[0] = {VET_FLOAT2, 0};
    desc.position = {VET_FLOAT3, 0};
    desc.normal = {VET_SHORT4N, 1};
    desc.diffuse = {VET_COLOUR, 7};       // beyond the streams: the last one
    desc.texCoords[2] = {VET_FLOAT4, 0};  // after a None set: not used
    desc.generic[0] = {12, VET_FLOAT1, 0};
    auto declaration = d.createVertexDeclaration(desc);
    EXPECT_EQ(declaration->getNumStreams(), 2);
    EXPECT_EQ(declaration->getStreamStride(0), 12 + 8 + 4);
    EXPECT_EQ(declaration->getStreamStride(1), 8 + 4);
    EXPECT_EQ(declaration->getStreamStride(2), 0);

    // Two streams drawn: positions in one buffer, colours in another.
    VertexDeclarationDesc split;
    split.numStreams = 2;
    split.position = {VET_FLOAT3, 0};
    split.diffuse = {VET_COLOUR, 1};
    auto twoStreams = d.createVertexDeclaration(split);
    float positions[9] = {-1, -1, 0, 3, -1, 0, -1, 3, 0};
    uint32_t colours[3];
    for (uint32_t& c : colours) {
        c = colourOf(0, 255, 255);
    }
    auto p = d.createVertexBuffer(sizeof(positions), positions, BU_STATIC);
    auto c = d.createVertexBuffer(sizeof(colours), colours, BU_STATIC);
    IVertexBuffer* streams[2] = {p.get(), c.get()};
    clearTo(0, 0, 0);
    d.setVertexBuffers(streams, 2);
    d.bindVertexDeclaration(twoStreams.get());
    // Binding another declaration meanwhile is ignored.
    d.bindVertexDeclaration(declaration.get());
    d.draw(3, 0, PT_TRIANGLE_LIST);
    d.unbindVertexDeclaration();
    expectNear(windowPixel(32, 32), {0, 255, 255});
    // Without a declaration nothing is drawn.
    clearTo(0, 0, 0);
    d.draw(3, 0, PT_TRIANGLE_LIST);
    expectNear(windowPixel(32, 32), {0, 0, 0});
}

TEST_F(GLDeviceTest, ImmediateLinesPointsAndUserArrays) {
    IRenderDevice& d = device();
    clearTo(0, 0, 0);
    float triangle[9] = {-1, -1, 0, 3, -1, 0, -1, 3, 0};
    float colours[12] = {1, 0, 1, 1, 1, 0, 1, 1, 1, 0, 1, 1};
    d.drawUserArrays(triangle, 0, colours, 0, PT_TRIANGLE_LIST, 3);
    expectNear(windowPixel(32, 32), {255, 0, 255});

    clearTo(0, 0, 0);
    d.setImmediateColour(0, 1, 0, 1);
    // A horizontal line through the middle row, positions with a 16-byte stride.
    float line[8] = {-1, 0.01f, 0, 0, 1, 0.01f, 0, 0};
    d.drawLines(line, 16, nullptr, 0, 1, 1.0f);
    auto pixels = readWindow();
    expectNear(at(pixels, 20, 32), {0, 255, 0});
    expectNear(at(pixels, 20, 20), {0, 0, 0});

    clearTo(0, 0, 0);
    float point[3] = {0.02f, 0.02f, 0};
    float red[4] = {1, 0, 0, 1};
    d.drawPoints(point, 0, red, 0, 1, 4.0f);
    pixels = readWindow();
    expectNear(at(pixels, 32, 32), {255, 0, 0});
    expectNear(at(pixels, 10, 10), {0, 0, 0});

    // Afterwards the current colour is white again for declaration draws.
    clearTo(0, 0, 0);
    VertexDeclarationDesc desc;
    desc.position.type = VET_FLOAT3;
    auto declaration = d.createVertexDeclaration(desc);
    auto vb = d.createVertexBuffer(sizeof(triangle), triangle, BU_STATIC);
    d.setVertexBuffer(vb.get());
    d.bindVertexDeclaration(declaration.get());
    d.draw(3, 0, PT_TRIANGLE_LIST);
    d.unbindVertexDeclaration();
    expectNear(windowPixel(32, 32), {255, 255, 255});
}

TEST_F(GLDeviceTest, CullingFollowsModeAndInversion) {
    IRenderDevice& d = device();
    // Counter-clockwise quad: front facing.
    auto declaration = makeDeclaration();
    Quad quad = makeQuad(-1, -1, 1, 1, 0, colourOf(255, 255, 255));
    struct Case {
        CullMode mode;
        bool invert;
        bool drawn;
    } cases[] = {{CULL_NONE, false, true},
                 {CULL_BACK, false, true},
                 {CULL_FRONT, false, false},
                 {CULL_BACK, true, false},
                 {CULL_FRONT, true, true}};
    for (const Case& c : cases) {
        clearTo(0, 0, 0);
        d.setInvertCulling(c.invert);
        d.setCullMode(c.mode);
        drawQuad(quad, *declaration);
        expectNear(windowPixel(32, 32), c.drawn ? Rgb{255, 255, 255} : Rgb{0, 0, 0});
    }
    d.setInvertCulling(false);
    d.setCullMode(CULL_NONE);
    d.setFillMode(FILL_WIREFRAME);
    EXPECT_EQ(d.getFillMode(), FILL_WIREFRAME);
    clearTo(0, 0, 0);
    drawQuad(quad, *declaration);
    expectNear(windowPixel(32, 20), {0, 0, 0});  // the inside stays empty
    d.setFillMode(FILL_SOLID);
}

}  // namespace
