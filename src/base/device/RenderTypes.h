#pragma once
// Render-state enumerations and the descriptions handed to the render
// device's factories. The numbers are the values passed through the device
// interface; every part that draws shares them.

#include <cstdint>
#include <string>

#include "base/image/PixelFormat.h"

namespace shaderinterface {
struct Reflection;
}

enum CompareFunction : int {
    CF_NEVER = 0,
    CF_ALWAYS = 1,
    CF_LESS = 2,
    CF_LESS_EQUAL = 3,
    CF_EQUAL = 4,
    CF_NOT_EQUAL = 5,
    CF_GREATER_EQUAL = 6,
    CF_GREATER = 7,
};

enum BlendFactor : int {
    BF_ONE = 0,
    BF_ZERO = 1,
    BF_DEST_COLOUR = 2,
    BF_SOURCE_COLOUR = 3,
    BF_ONE_MINUS_DEST_COLOUR = 4,
    BF_ONE_MINUS_SOURCE_COLOUR = 5,
    BF_DEST_ALPHA = 6,
    BF_SOURCE_ALPHA = 7,
    BF_ONE_MINUS_DEST_ALPHA = 8,
    BF_ONE_MINUS_SOURCE_ALPHA = 9,
};

enum StencilOperation : int {
    SO_KEEP = 0,
    SO_ZERO = 1,
    SO_REPLACE = 2,
    SO_INCREMENT = 3,
    SO_DECREMENT = 4,
    SO_INCREMENT_WRAP = 5,
    SO_DECREMENT_WRAP = 6,
    SO_INVERT = 7,
};

enum CullMode : int { CULL_NONE = 0, CULL_BACK = 1, CULL_FRONT = 2 };

enum FillMode : int { FILL_POINTS = 0, FILL_WIREFRAME = 1, FILL_SOLID = 2 };

enum PrimitiveType : int {
    PT_TRIANGLE_LIST = 0,
    PT_TRIANGLE_STRIP = 1,
    PT_LINE_LIST = 2,
    PT_LINE_STRIP = 3,
    PT_POINT_LIST = 4,  // immediate draws only
};

enum ClearFlags : uint32_t { CLEAR_COLOUR = 1, CLEAR_DEPTH = 2, CLEAR_STENCIL = 4 };

enum TextureWrap : int { TW_REPEAT = 0, TW_MIRRORED_REPEAT = 1, TW_CLAMP_TO_EDGE = 2 };

enum TextureFilter : int { TF_NONE = 0, TF_POINT = 1, TF_LINEAR = 2, TF_ANISOTROPIC = 3 };

enum TextureType : int {
    TT_1D = 1,
    TT_2D = 2,
    TT_3D = 3,
    TT_CUBE = 4,
};

enum GpuVendor : int { GPU_VENDOR_ATI = 0, GPU_VENDOR_NVIDIA = 1, GPU_VENDOR_UNKNOWN = 2 };

enum RenderDeviceError : int {
    RDE_NONE = 0,
    RDE_NO_COLOUR_TEXTURE = 1,
    RDE_UNSUPPORTED_COLOR_BUFFER_FORMAT = 2,
    RDE_UNSUPPORTED_DEPTH_BUFFER_FORMAT = 3,
    RDE_UNSUPPORTED_STENCIL_BUFFER_FORMAT = 4,
    RDE_UNSUPPORTED_SHADER_FORMAT = 5,
    RDE_UNSUPPORTED_SHADER_VERSION = 6,
    RDE_INVALID_SHADER_CODE = 7,
    RDE_UNKNOWN = 8,
};

// The text the frame loop logs after "RenderDevice " for an error code.
const char* getRenderDeviceErrorName(int error);

// Buffer usage flags (textures use them as well, plus BU_RENDER_TARGET).
enum BufferUsage : uint32_t {
    BU_STATIC = 1,
    BU_DYNAMIC = 2,
    BU_WRITE_ONLY = 4,
    BU_DISCARDABLE = 8,
    BU_RENDER_TARGET = 16,
};

enum LockMode : int {
    LOCK_NORMAL = 0,
    LOCK_DISCARD = 1,
    LOCK_READ_ONLY = 2,
    LOCK_NO_OVERWRITE = 3
};

enum VertexElementType : int {
    VET_NONE = 0,
    VET_FLOAT1 = 1,
    VET_FLOAT2 = 2,
    VET_FLOAT3 = 3,
    VET_FLOAT4 = 4,
    VET_SHORT2 = 5,
    VET_SHORT4 = 6,
    VET_COLOUR = 7,
    VET_SHORT2N = 8,
    VET_SHORT4N = 9,
    VET_UBYTE4N = 10,
    VET_UBYTE4 = 11,
};

// Components, bytes and normalisation of an element type (0 for None and
// unknown codes).
int getVertexElementComponents(VertexElementType type);
int getVertexElementSize(VertexElementType type);

struct TextureDesc {
    const void* data = nullptr;  // levels (and cube faces) one after another
    bool dataHasMipmaps = false;
    uint32_t mipCount = 0xFFFFFFFFu;  // levels beyond the base; all by default
    uint32_t rowLength = 0;           // pixels; 0 = width
    uint32_t sliceSize = 0;           // pixels; 0 = width × height
    uint32_t width = 512;
    uint32_t height = 512;
    uint32_t depth = 1;
    int type = TT_2D;
    PixelFormat format = PF_BYTE_RGB24;
    uint32_t usage = BU_STATIC | BU_WRITE_ONLY;
    int minFilter = TF_LINEAR;
    int mipFilter = TF_POINT;
    int magFilter = TF_LINEAR;
    int wrapS = TW_REPEAT;
    int wrapT = TW_REPEAT;
    int wrapR = TW_REPEAT;
    float maxAnisotropy = 2.0f;
};

struct VertexElementDesc {
    VertexElementType type = VET_NONE;
    int stream = 0;
};

struct GenericAttributeDesc {
    int attribute = 0;  // vertex attribute location
    VertexElementType type = VET_NONE;
    int stream = 0;
};

// The elements of a vertex layout. Whatever order the data has, offsets
// within a stream accumulate in this fixed order: position, blend weights,
// normal, diffuse, specular, blend indices, texture coordinates 0..3,
// tangent, binormal, generic attributes. A stream index at or beyond the
// stream count is taken as the last stream.
struct VertexDeclarationDesc {
    int numStreams = 1;
    VertexElementDesc position;
    VertexElementDesc blendWeights;
    VertexElementDesc normal;
    VertexElementDesc diffuse;
    VertexElementDesc specular;
    VertexElementDesc blendIndices;
    VertexElementDesc texCoords[4];  // used in order while the type is not None
    VertexElementDesc tangent;
    VertexElementDesc binormal;
    GenericAttributeDesc generic[4];  // used in order while the type is not None
    // Streams whose elements advance once per instance instead of once per
    // vertex (bit i: stream i).
    uint32_t instanceStreams = 0;
};

enum ShaderSourceKind : int {
    SSK_CG_SOURCE = 0,  // Cg-dialect source, compiled by the engine's compiler
    SSK_COMPILED = 3,   // compiled GLSL text with its reflection (the shader cache)
};

struct ShaderSourceDesc {
    std::string source;
    int kind = SSK_CG_SOURCE;
    std::string entryPoint;
    int stage = 1;            // 0 fragment; otherwise vertex, the value being its version 1..3
    int fragmentVersion = 3;  // 1..4
    int profileVariant = 0;   // 0 standard, 1 vendor option
    bool keepText = false;    // keep the compiled text as the device's last program text
    // For SSK_COMPILED: the reflection of the compiled text (not owned,
    // read during creation only).
    const shaderinterface::Reflection* reflection = nullptr;
};

class ITextureObject;

struct RenderTextureDesc {
    ITextureObject* colourTexture = nullptr;  // made with BU_RENDER_TARGET; not owned
    int cubeFace = 0;
    int mipLevel = 0;
    bool depthBuffer = false;
    int depthIndex = 0;  // 0 -> 24 bits, 1 -> 16, 2 -> 24, 3 -> 32
    bool stencilBuffer = false;
    int stencilIndex = 0;  // 0 and 1 -> 1 bit, 2 -> 4 bits, 3 -> 8 bits
};

struct RenderWindowSettings {
    int width = 256;
    int height = 256;
    bool depthOverride = true;  // when false the depth buffer is 24 bits
    int depthMode = 0;          // 1 -> 16 bits, 3 -> 32 bits, other -> 24
    bool stencilOverride = false;
    int stencilMode = 0;    // 1 -> 1, 2 -> 4, 3 -> 8, 4 -> 16 bits; other -> 8 with 24-bit depth
    int bitsPerPixel = 32;  // full screen only
    bool fullScreen = true;
    int reserved0 = -1;
    int reserved1 = -1;
    int reserved2 = 60;
    bool verticalSync = true;
    bool multisampling = false;
    int samples = 2;
    // Display gamma per channel; a value of 0 or less in any channel leaves
    // the display's gamma as it is.
    float gammaRed = 1.0f;
    float gammaGreen = 1.0f;
    float gammaBlue = 1.0f;
    int windowStyle = 0;  // 0 borderless, 1 framed, 2 resizable framed
    std::string caption;
};

// Depth and stencil bits a window requests for its settings; stencil 0 means
// no stencil request.
int getRequestedDepthBits(const RenderWindowSettings& settings);
int getRequestedStencilBits(const RenderWindowSettings& settings);
