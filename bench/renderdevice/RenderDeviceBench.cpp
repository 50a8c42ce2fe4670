// One frame of 5 000 indexed draws of a small mesh: through the render device
// (declaration, buffers, a shader pair from our compiler, a parameter block per draw,
// a texture switch every 10 draws) and the same work written directly
// against GL. Each side has a GL context of its own on the same window, so
// neither disturbs the other's state. Before timing, both frames are drawn
// once and their pixels compared: the two sides do the same work.
//
// Run headless: SDL_VIDEODRIVER=offscreen (Mesa llvmpipe through EGL).

#include <SDL.h>
#include <benchmark/benchmark.h>
#include <epoxy/gl.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "base/device/IRenderDevice.h"
#include "base/device/SdlGLRenderDevice.h"
#include "shaderlang/compiler/ShaderCompiler.h"
#include "shaderlang/compiler/ShaderInterface.h"

namespace {

constexpr int kWindowSize = 256;
constexpr int kDraws = 5000;
constexpr int kDrawsPerTexture = 10;
constexpr int kTextures = 8;
constexpr int kColumns = 100;

// The shader pair, in the engine's Cg dialect: both sides draw with what
// our compiler makes of it.
const char* kShaderSource = R"(
struct VsIn {
    float4 position : POSITION;
    float2 uv : TEXCOORD0;
};
struct VsOut {
    float4 position : POSITION;
    float2 uv : TEXCOORD0;
};
VsOut main_vp(VsIn In, uniform float4x4 modelViewProj) {
    VsOut Out;
    Out.position = mul(modelViewProj, In.position);
    Out.uv = In.uv;
    return Out;
}
float4 main_fp(VsOut In, uniform float4 scale, uniform float4 bias,
               uniform sampler2D baseMap : TEXUNIT0) : COLOR {
    return scale * tex2D(baseMap, In.uv) + bias;
}
)";

struct Vertex {
    float x, y, z;
    float u, v;
};

// A small mesh: a quad of two indexed triangles around the origin.
const Vertex kVertices[4] = {{-0.008f, -0.016f, 0, 0, 0},
                             {0.008f, -0.016f, 0, 1, 0},
                             {0.008f, 0.016f, 0, 1, 1},
                             {-0.008f, 0.016f, 0, 0, 1}};
const uint16_t kIndices[6] = {0, 1, 2, 0, 2, 3};

// Per draw: a column-major model-view-projection (a translation on a grid)
// and the fragment stage's scale and bias.
struct DrawValues {
    float matrix[16];
    float fragment[8];
};

std::vector<DrawValues> makeDrawValues() {
    std::vector<DrawValues> draws(kDraws);
    for (int i = 0; i < kDraws; ++i) {
        DrawValues& d = draws[i];
        std::memset(d.matrix, 0, sizeof(d.matrix));
        d.matrix[0] = d.matrix[5] = d.matrix[10] = d.matrix[15] = 1.0f;
        d.matrix[12] = -0.99f + 1.98f * static_cast<float>(i % kColumns) / kColumns;
        d.matrix[13] = -0.98f + 1.96f * static_cast<float>(i / kColumns) / (kDraws / kColumns);
        float shade = static_cast<float>(i % 7) / 7.0f;
        const float fragment[8] = {shade, 1.0f - shade, 0.5f, 1.0f, 0.0f, 0.1f, 0.0f, 0.0f};
        std::memcpy(d.fragment, fragment, sizeof(fragment));
    }
    return draws;
}

std::vector<uint8_t> texturePixels(int index) {
    std::vector<uint8_t> pixels(4 * 4 * 4);
    for (size_t p = 0; p < pixels.size(); p += 4) {
        pixels[p] = static_cast<uint8_t>(30 * index);
        pixels[p + 1] = static_cast<uint8_t>(255 - 30 * index);
        pixels[p + 2] = static_cast<uint8_t>(p * 4);
        pixels[p + 3] = 255;
    }
    return pixels;
}

std::vector<uint8_t> readBackBuffer() {
    std::vector<uint8_t> pixels(kWindowSize * kWindowSize * 4);
    glFinish();
    glReadPixels(0, 0, kWindowSize, kWindowSize, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    return pixels;
}

// ------------------------------------------------------------- the device

struct DeviceScene {
    std::unique_ptr<IRenderDevice> device;
    IRenderWindow* window = nullptr;
    SDL_GLContext context = nullptr;
    std::unique_ptr<IShaderObject> vertexShader;
    std::unique_ptr<IShaderObject> fragmentShader;
    std::unique_ptr<IVertexDeclaration> declaration;
    std::unique_ptr<IVertexBuffer> vertices;
    std::unique_ptr<IIndexBuffer> indices;
    std::unique_ptr<ITextureObject> textures[kTextures];
    std::vector<std::unique_ptr<IShaderParameters>> vertexBlocks;
    std::vector<std::unique_ptr<IShaderParameters>> fragmentBlocks;

    bool create(const std::vector<DrawValues>& draws) {
        device = createRenderDevice();
        if (!device->init(false)) {
            return false;
        }
        RenderWindowSettings settings;
        settings.width = settings.height = kWindowSize;
        settings.fullScreen = false;
        settings.verticalSync = false;
        settings.windowStyle = 1;
        settings.caption = "render device bench";
        window = device->createRenderWindow(settings);
        if (!window) {
            return false;
        }
        context = SDL_GL_GetCurrentContext();

        ShaderSourceDesc desc;
        desc.kind = SSK_CG_SOURCE;
        desc.source = kShaderSource;
        desc.entryPoint = "main_vp";
        desc.stage = 1;
        vertexShader = device->createShader(desc);
        desc.entryPoint = "main_fp";
        desc.stage = 0;
        fragmentShader = device->createShader(desc);
        if (!vertexShader || !fragmentShader) {
            return false;
        }

        VertexDeclarationDesc declarationDesc;
        declarationDesc.position.type = VET_FLOAT3;
        declarationDesc.texCoords[0].type = VET_FLOAT2;
        declaration = device->createVertexDeclaration(declarationDesc);
        vertices = device->createVertexBuffer(sizeof(kVertices), kVertices, BU_STATIC);
        indices = device->createIndexBuffer(sizeof(kIndices), kIndices, BU_STATIC, false);
        for (int t = 0; t < kTextures; ++t) {
            std::vector<uint8_t> pixels = texturePixels(t);
            TextureDesc textureDesc;
            textureDesc.width = textureDesc.height = 4;
            textureDesc.format = PF_BYTE_RGBA32;
            textureDesc.data = pixels.data();
            textureDesc.mipCount = 0;
            textureDesc.minFilter = textureDesc.magFilter = TF_POINT;
            textureDesc.mipFilter = TF_NONE;
            textures[t] = device->createTexture(textureDesc);
        }
        int matrixIndex = vertexShader->getParameterIndex("modelViewProj");
        int scaleIndex = fragmentShader->getParameterIndex("scale");
        int biasIndex = fragmentShader->getParameterIndex("bias");
        if (matrixIndex < 0 || scaleIndex < 0 || biasIndex < 0) {
            return false;
        }
        for (const DrawValues& values : draws) {
            vertexBlocks.push_back(vertexShader->createParameters());
            vertexBlocks.back()->setMatrix(matrixIndex, values.matrix);
            fragmentBlocks.push_back(fragmentShader->createParameters());
            fragmentBlocks.back()->setVector(scaleIndex, values.fragment);
            fragmentBlocks.back()->setVector(biasIndex, values.fragment + 4);
        }
        device->disableDepthTest();
        device->setCullMode(CULL_NONE);
        device->setViewport(0, 0, kWindowSize, kWindowSize);
        return true;
    }

    void frame() {
        IRenderDevice& d = *device;
        d.clear(CLEAR_COLOUR, nullptr, 1.0f, 0);
        d.bindVertexShader(vertexShader.get());
        d.bindFragmentShader(fragmentShader.get());
        d.setVertexBuffer(vertices.get());
        d.setIndexBuffer(indices.get());
        d.bindVertexDeclaration(declaration.get());
        for (int i = 0; i < kDraws; ++i) {
            if (i % kDrawsPerTexture == 0) {
                d.bindTexture(0, textures[(i / kDrawsPerTexture) % kTextures].get());
            }
            d.applyParameters(false, *vertexBlocks[i]);
            d.applyParameters(true, *fragmentBlocks[i]);
            d.draw(6, 0, PT_TRIANGLE_LIST);
        }
        d.unbindVertexDeclaration();
        d.bindTexture(0, nullptr);
        glFinish();
    }
};

// ------------------------------------------------------------- raw GL

GLuint compileStage(GLenum stage, const std::string& text) {
    GLuint shader = glCreateShader(stage);
    const char* source = text.c_str();
    glShaderSource(shader, 1, &source, nullptr);
    glCompileShader(shader);
    return shader;
}

// A stage's register index of a uniform, -1 when the compiler did not keep it.
int registerOf(const shaderinterface::Reflection& reflection, const char* name) {
    for (const auto& parameter : reflection.parameters) {
        if (parameter.name == name) {
            return parameter.registerIndex;
        }
    }
    return -1;
}

struct RawScene {
    SDL_GLContext context = nullptr;
    GLuint program = 0;
    GLint vertexRegisters = -1;
    GLint fragmentRegisters = -1;
    int vertexCount = 0;
    int fragmentCount = 0;
    int matrixRegister = -1;
    int scaleRegister = -1;
    int biasRegister = -1;
    GLuint vao = 0;
    GLuint buffers[2] = {0, 0};
    GLuint textures[kTextures] = {};
    std::vector<float> vertexRows;
    std::vector<float> fragmentRows;

    ~RawScene() {
        if (context) {
            SDL_GL_DeleteContext(context);
        }
    }

    bool create(SDL_Window* window, const std::vector<DrawValues>& draws) {
        context = SDL_GL_CreateContext(window);
        if (!context || SDL_GL_MakeCurrent(window, context) != 0) {
            return false;
        }
        using shaderinterface::Stage;
        shadercompiler::CompileResult vertex =
            shadercompiler::compile(kShaderSource, "main_vp", Stage::Vertex);
        shadercompiler::CompileResult fragment =
            shadercompiler::compile(kShaderSource, "main_fp", Stage::Fragment);
        if (!vertex.success || !fragment.success) {
            return false;
        }
        GLuint vs = compileStage(GL_VERTEX_SHADER, vertex.glsl);
        GLuint fs = compileStage(GL_FRAGMENT_SHADER, fragment.glsl);
        program = glCreateProgram();
        glAttachShader(program, vs);
        glAttachShader(program, fs);
        glLinkProgram(program);
        glDeleteShader(vs);
        glDeleteShader(fs);
        GLint linked = 0;
        glGetProgramiv(program, GL_LINK_STATUS, &linked);
        if (!linked) {
            return false;
        }
        glUseProgram(program);
        vertexRegisters = glGetUniformLocation(program, shaderinterface::kVertexRegisterArray);
        fragmentRegisters = glGetUniformLocation(program, shaderinterface::kFragmentRegisterArray);
        for (const auto& sampler : fragment.reflection.samplers) {
            glUniform1i(glGetUniformLocation(program, sampler.glslName.c_str()),
                        sampler.textureUnit);
        }
        vertexCount = std::max(vertex.reflection.numRegisters, 4);
        fragmentCount = std::max(fragment.reflection.numRegisters, 2);
        matrixRegister = registerOf(vertex.reflection, "modelViewProj");
        scaleRegister = registerOf(fragment.reflection, "scale");
        biasRegister = registerOf(fragment.reflection, "bias");
        if (matrixRegister < 0 || scaleRegister < 0 || biasRegister < 0) {
            return false;
        }

        glGenVertexArrays(1, &vao);
        glBindVertexArray(vao);
        glGenBuffers(2, buffers);
        glBindBuffer(GL_ARRAY_BUFFER, buffers[0]);
        glBufferData(GL_ARRAY_BUFFER, sizeof(kVertices), kVertices, GL_STATIC_DRAW);
        glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, buffers[1]);
        glBufferData(GL_ELEMENT_ARRAY_BUFFER, sizeof(kIndices), kIndices, GL_STATIC_DRAW);
        glEnableVertexAttribArray(shaderinterface::kAttribPosition);
        glVertexAttribPointer(shaderinterface::kAttribPosition, 3, GL_FLOAT, GL_FALSE,
                              sizeof(Vertex), nullptr);
        glEnableVertexAttribArray(shaderinterface::kAttribTexCoord0);
        glVertexAttribPointer(shaderinterface::kAttribTexCoord0, 2, GL_FLOAT, GL_FALSE,
                              sizeof(Vertex), reinterpret_cast<void*>(3 * sizeof(float)));

        glGenTextures(kTextures, textures);
        for (int t = 0; t < kTextures; ++t) {
            std::vector<uint8_t> pixels = texturePixels(t);
            glBindTexture(GL_TEXTURE_2D, textures[t]);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
            glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 4, 4, 0, GL_RGBA, GL_UNSIGNED_BYTE,
                         pixels.data());
        }
        // What the blocks hold, laid out as each stage's register array: the
        // matrix one row per register.
        vertexRows.assign(draws.size() * vertexCount * 4, 0.0f);
        fragmentRows.assign(draws.size() * fragmentCount * 4, 0.0f);
        for (size_t i = 0; i < draws.size(); ++i) {
            float* rows = &vertexRows[(i * vertexCount + matrixRegister) * 4];
            for (int row = 0; row < 4; ++row) {
                for (int column = 0; column < 4; ++column) {
                    rows[row * 4 + column] = draws[i].matrix[column * 4 + row];
                }
            }
            float* fragmentRegistersOfDraw = &fragmentRows[i * fragmentCount * 4];
            std::memcpy(fragmentRegistersOfDraw + scaleRegister * 4, draws[i].fragment,
                        4 * sizeof(float));
            std::memcpy(fragmentRegistersOfDraw + biasRegister * 4, draws[i].fragment + 4,
                        4 * sizeof(float));
        }
        glDisable(GL_DEPTH_TEST);
        glDisable(GL_CULL_FACE);
        glViewport(0, 0, kWindowSize, kWindowSize);
        glClearColor(0, 0, 0, 1);
        return glGetError() == GL_NO_ERROR;
    }

    void frame() {
        glClear(GL_COLOR_BUFFER_BIT);
        glUseProgram(program);
        glBindVertexArray(vao);
        glActiveTexture(GL_TEXTURE0);
        for (int i = 0; i < kDraws; ++i) {
            if (i % kDrawsPerTexture == 0) {
                glBindTexture(GL_TEXTURE_2D, textures[(i / kDrawsPerTexture) % kTextures]);
            }
            glUniform4fv(vertexRegisters, vertexCount, &vertexRows[i * vertexCount * 4]);
            glUniform4fv(fragmentRegisters, fragmentCount, &fragmentRows[i * fragmentCount * 4]);
            glDrawElements(GL_TRIANGLES, 6, GL_UNSIGNED_SHORT, nullptr);
        }
        glBindTexture(GL_TEXTURE_2D, 0);
        glFinish();
    }
};

DeviceScene* g_device = nullptr;
RawScene* g_raw = nullptr;

SDL_Window* sdlWindow() {
    return static_cast<SdlGLRenderWindow*>(g_device->window)->getSdlWindow();
}

void BM_DeviceFrame(benchmark::State& state) {
    SDL_GL_MakeCurrent(sdlWindow(), g_device->context);
    for (auto _ : state) {
        g_device->frame();
    }
    state.SetItemsProcessed(state.iterations() * kDraws);
}
BENCHMARK(BM_DeviceFrame)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_RawGLFrame(benchmark::State& state) {
    SDL_GL_MakeCurrent(sdlWindow(), g_raw->context);
    for (auto _ : state) {
        g_raw->frame();
    }
    state.SetItemsProcessed(state.iterations() * kDraws);
}
BENCHMARK(BM_RawGLFrame)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace

int main(int argc, char** argv) {
    if (!std::getenv("DISPLAY")) {
        setenv("SDL_VIDEODRIVER", "offscreen", 0);
    }
    std::vector<DrawValues> draws = makeDrawValues();
    auto device = std::make_unique<DeviceScene>();
    auto raw = std::make_unique<RawScene>();
    if (!device->create(draws)) {
        std::fprintf(stderr, "render device bench: no device or window\n");
        return 1;
    }
    g_device = device.get();
    if (!raw->create(sdlWindow(), draws)) {
        std::fprintf(stderr, "render device bench: raw GL set-up failed\n");
        return 1;
    }
    g_raw = raw.get();

    SDL_GL_MakeCurrent(sdlWindow(), device->context);
    device->frame();
    std::vector<uint8_t> devicePixels = readBackBuffer();
    SDL_GL_MakeCurrent(sdlWindow(), raw->context);
    raw->frame();
    std::vector<uint8_t> rawPixels = readBackBuffer();
    if (devicePixels != rawPixels) {
        std::fprintf(stderr, "render device bench: the two frames differ\n");
        return 1;
    }
    size_t lit = 0;
    for (size_t p = 0; p < devicePixels.size(); p += 4) {
        lit += (devicePixels[p] | devicePixels[p + 1] | devicePixels[p + 2]) != 0;
    }
    std::printf("both frames agree; %zu of %d pixels drawn\n", lit, kWindowSize * kWindowSize);
    if (lit == 0) {
        std::fprintf(stderr, "render device bench: nothing was drawn\n");
        return 1;
    }

    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    // The raw side's context goes first; the device then closes its window.
    SDL_Window* window = sdlWindow();
    raw.reset();
    SDL_GL_MakeCurrent(window, device->context);
    device.reset();
    return 0;
}
