#include "base/device/GLRenderDevice.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "base/device/RenderDeviceUtil.h"
#include "foundation/Log.h"
#include "shaderlang/compiler/ShaderInterface.h"

#ifdef ENGINE_HAS_SHADER_COMPILER
#include "shaderlang/compiler/ShaderCompiler.h"
#endif

int GLRenderDevice::s_textureMemory = 0;
int GLRenderDevice::s_vertexBufferMemory = 0;
int GLRenderDevice::s_indexBufferMemory = 0;

namespace {

constexpr float kIdentity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

void multiply(const float* a, const float* b, float* out) {
    float result[16];
    for (int column = 0; column < 4; ++column) {
        for (int row = 0; row < 4; ++row) {
            float sum = 0.0f;
            for (int k = 0; k < 4; ++k) {
                sum += a[k * 4 + row] * b[column * 4 + k];
            }
            result[column * 4 + row] = sum;
        }
    }
    std::memcpy(out, result, sizeof(result));
}

// General 4×4 inverse by cofactors; false for a singular matrix.
bool invert(const float* m, float* out) {
    float inv[16];
    inv[0] = m[5] * m[10] * m[15] - m[5] * m[11] * m[14] - m[9] * m[6] * m[15] +
             m[9] * m[7] * m[14] + m[13] * m[6] * m[11] - m[13] * m[7] * m[10];
    inv[4] = -m[4] * m[10] * m[15] + m[4] * m[11] * m[14] + m[8] * m[6] * m[15] -
             m[8] * m[7] * m[14] - m[12] * m[6] * m[11] + m[12] * m[7] * m[10];
    inv[8] = m[4] * m[9] * m[15] - m[4] * m[11] * m[13] - m[8] * m[5] * m[15] +
             m[8] * m[7] * m[13] + m[12] * m[5] * m[11] - m[12] * m[7] * m[9];
    inv[12] = -m[4] * m[9] * m[14] + m[4] * m[10] * m[13] + m[8] * m[5] * m[14] -
              m[8] * m[6] * m[13] - m[12] * m[5] * m[10] + m[12] * m[6] * m[9];
    inv[1] = -m[1] * m[10] * m[15] + m[1] * m[11] * m[14] + m[9] * m[2] * m[15] -
             m[9] * m[3] * m[14] - m[13] * m[2] * m[11] + m[13] * m[3] * m[10];
    inv[5] = m[0] * m[10] * m[15] - m[0] * m[11] * m[14] - m[8] * m[2] * m[15] +
             m[8] * m[3] * m[14] + m[12] * m[2] * m[11] - m[12] * m[3] * m[10];
    inv[9] = -m[0] * m[9] * m[15] + m[0] * m[11] * m[13] + m[8] * m[1] * m[15] -
             m[8] * m[3] * m[13] - m[12] * m[1] * m[11] + m[12] * m[3] * m[9];
    inv[13] = m[0] * m[9] * m[14] - m[0] * m[10] * m[13] - m[8] * m[1] * m[14] +
              m[8] * m[2] * m[13] + m[12] * m[1] * m[10] - m[12] * m[2] * m[9];
    inv[2] = m[1] * m[6] * m[15] - m[1] * m[7] * m[14] - m[5] * m[2] * m[15] + m[5] * m[3] * m[14] +
             m[13] * m[2] * m[7] - m[13] * m[3] * m[6];
    inv[6] = -m[0] * m[6] * m[15] + m[0] * m[7] * m[14] + m[4] * m[2] * m[15] -
             m[4] * m[3] * m[14] - m[12] * m[2] * m[7] + m[12] * m[3] * m[6];
    inv[10] = m[0] * m[5] * m[15] - m[0] * m[7] * m[13] - m[4] * m[1] * m[15] +
              m[4] * m[3] * m[13] + m[12] * m[1] * m[7] - m[12] * m[3] * m[5];
    inv[14] = -m[0] * m[5] * m[14] + m[0] * m[6] * m[13] + m[4] * m[1] * m[14] -
              m[4] * m[2] * m[13] - m[12] * m[1] * m[6] + m[12] * m[2] * m[5];
    inv[3] = -m[1] * m[6] * m[11] + m[1] * m[7] * m[10] + m[5] * m[2] * m[11] -
             m[5] * m[3] * m[10] - m[9] * m[2] * m[7] + m[9] * m[3] * m[6];
    inv[7] = m[0] * m[6] * m[11] - m[0] * m[7] * m[10] - m[4] * m[2] * m[11] + m[4] * m[3] * m[10] +
             m[8] * m[2] * m[7] - m[8] * m[3] * m[6];
    inv[11] = -m[0] * m[5] * m[11] + m[0] * m[7] * m[9] + m[4] * m[1] * m[11] - m[4] * m[3] * m[9] -
              m[8] * m[1] * m[7] + m[8] * m[3] * m[5];
    inv[15] = m[0] * m[5] * m[10] - m[0] * m[6] * m[9] - m[4] * m[1] * m[10] + m[4] * m[2] * m[9] +
              m[8] * m[1] * m[6] - m[8] * m[2] * m[5];
    float det = m[0] * inv[0] + m[1] * inv[4] + m[2] * inv[8] + m[3] * inv[12];
    if (det == 0.0f) {
        return false;
    }
    for (int i = 0; i < 16; ++i) {
        out[i] = inv[i] / det;
    }
    return true;
}

GLenum toGL(CompareFunction function) {
    switch (function) {
        case CF_NEVER:
            return GL_NEVER;
        case CF_LESS:
            return GL_LESS;
        case CF_LESS_EQUAL:
            return GL_LEQUAL;
        case CF_EQUAL:
            return GL_EQUAL;
        case CF_NOT_EQUAL:
            return GL_NOTEQUAL;
        case CF_GREATER_EQUAL:
            return GL_GEQUAL;
        case CF_GREATER:
            return GL_GREATER;
        default:
            return GL_ALWAYS;
    }
}

GLenum toGL(BlendFactor factor) {
    switch (factor) {
        case BF_ZERO:
            return GL_ZERO;
        case BF_DEST_COLOUR:
            return GL_DST_COLOR;
        case BF_SOURCE_COLOUR:
            return GL_SRC_COLOR;
        case BF_ONE_MINUS_DEST_COLOUR:
            return GL_ONE_MINUS_DST_COLOR;
        case BF_ONE_MINUS_SOURCE_COLOUR:
            return GL_ONE_MINUS_SRC_COLOR;
        case BF_DEST_ALPHA:
            return GL_DST_ALPHA;
        case BF_SOURCE_ALPHA:
            return GL_SRC_ALPHA;
        case BF_ONE_MINUS_DEST_ALPHA:
            return GL_ONE_MINUS_DST_ALPHA;
        case BF_ONE_MINUS_SOURCE_ALPHA:
            return GL_ONE_MINUS_SRC_ALPHA;
        default:
            return GL_ONE;
    }
}

GLenum toGL(StencilOperation operation, bool swapIncrements) {
    switch (operation) {
        case SO_ZERO:
            return GL_ZERO;
        case SO_REPLACE:
            return GL_REPLACE;
        case SO_INCREMENT:
            return swapIncrements ? GL_DECR : GL_INCR;
        case SO_DECREMENT:
            return swapIncrements ? GL_INCR : GL_DECR;
        case SO_INCREMENT_WRAP:
            return swapIncrements ? GL_DECR_WRAP : GL_INCR_WRAP;
        case SO_DECREMENT_WRAP:
            return swapIncrements ? GL_INCR_WRAP : GL_DECR_WRAP;
        case SO_INVERT:
            return GL_INVERT;
        default:
            return GL_KEEP;
    }
}

GLenum toGL(PrimitiveType type) {
    switch (type) {
        case PT_TRIANGLE_STRIP:
            return GL_TRIANGLE_STRIP;
        case PT_LINE_LIST:
            return GL_LINES;
        case PT_LINE_STRIP:
            return GL_LINE_STRIP;
        case PT_POINT_LIST:
            return GL_POINTS;
        default:
            return GL_TRIANGLES;
    }
}

// The device's own program for drawing without engine shaders: the model,
// view, projection and texture matrices, colour times texture on unit 0,
// alpha test and user clip planes.
const char* kInternalVertexShader = R"(#version 330 core
layout(location = 0) in vec4 a_position;
layout(location = 3) in vec4 a_colour;
layout(location = 8) in vec4 a_texCoord;
uniform mat4 u_mvp;
uniform mat4 u_modelView;
uniform mat4 u_textureMatrix;
uniform vec4 u_clipPlanes[6];
out vec4 v_COLOR0;
out vec4 v_TEXCOORD0;
out float gl_ClipDistance[6];
void main() {
    gl_Position = u_mvp * a_position;
    vec4 eye = u_modelView * a_position;
    for (int i = 0; i < 6; ++i) {
        gl_ClipDistance[i] = dot(u_clipPlanes[i], eye);
    }
    v_COLOR0 = a_colour;
    v_TEXCOORD0 = u_textureMatrix * a_texCoord;
}
)";

const char* kInternalFragmentShader = R"(#version 330 core
in vec4 v_COLOR0;
in vec4 v_TEXCOORD0;
uniform sampler2D u_texture;
uniform int u_useTexture;  // 0 none, 1 modulate, 2 alpha only
uniform int u_alphaFunction;
uniform float u_alphaReference;
layout(location = 0) out vec4 o_COLOR;
void main() {
    vec4 colour = v_COLOR0;
    if (u_useTexture != 0) {
        vec4 texel = textureProj(u_texture, v_TEXCOORD0.xyw);
        colour = u_useTexture == 2 ? vec4(colour.rgb, colour.a * texel.a) : colour * texel;
    }
    float a = colour.a;
    float r = u_alphaReference;
    bool pass = true;
    if (u_alphaFunction == 0) pass = false;
    else if (u_alphaFunction == 2) pass = a < r;
    else if (u_alphaFunction == 3) pass = a <= r;
    else if (u_alphaFunction == 4) pass = a == r;
    else if (u_alphaFunction == 5) pass = a != r;
    else if (u_alphaFunction == 6) pass = a >= r;
    else if (u_alphaFunction == 7) pass = a > r;
    if (!pass) discard;
    o_COLOR = colour;
}
)";

std::string getShaderLog(GLuint shader) {
    GLint length = 0;
    glGetShaderiv(shader, GL_INFO_LOG_LENGTH, &length);
    std::string text(length > 0 ? length : 0, '\0');
    if (length > 0) {
        glGetShaderInfoLog(shader, length, nullptr, text.data());
        text.resize(std::strlen(text.c_str()));
    }
    return text;
}

std::string getProgramLog(GLuint program) {
    GLint length = 0;
    glGetProgramiv(program, GL_INFO_LOG_LENGTH, &length);
    std::string text(length > 0 ? length : 0, '\0');
    if (length > 0) {
        glGetProgramInfoLog(program, length, nullptr, text.data());
        text.resize(std::strlen(text.c_str()));
    }
    return text;
}

GLuint compileStage(GLenum stage, const char* source, std::string* log) {
    GLuint shader = glCreateShader(stage);
    glShaderSource(shader, 1, &source, nullptr);
    glCompileShader(shader);
    GLint ok = GL_FALSE;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
    if (!ok) {
        *log = getShaderLog(shader);
        glDeleteShader(shader);
        return 0;
    }
    return shader;
}

GLuint linkStages(GLuint vertex, GLuint fragment, std::string* log) {
    GLuint program = glCreateProgram();
    glAttachShader(program, vertex);
    glAttachShader(program, fragment);
    glLinkProgram(program);
    glDetachShader(program, vertex);
    glDetachShader(program, fragment);
    GLint ok = GL_FALSE;
    glGetProgramiv(program, GL_LINK_STATUS, &ok);
    if (!ok) {
        *log = getProgramLog(program);
        glDeleteProgram(program);
        return 0;
    }
    return program;
}

GLint registerArrayLocation(GLuint program, const char* name) {
    GLint location = glGetUniformLocation(program, name);
    if (location < 0) {
        location = glGetUniformLocation(program, (std::string(name) + "[0]").c_str());
    }
    return location;
}

}  // namespace

GLRenderDevice::GLRenderDevice() {
    std::memcpy(m_model, kIdentity, sizeof(m_model));
    std::memcpy(m_view, kIdentity, sizeof(m_view));
    std::memcpy(m_projection, kIdentity, sizeof(m_projection));
    std::memcpy(m_modelView, kIdentity, sizeof(m_modelView));
    for (TextureUnit& unit : m_units) {
        std::memcpy(unit.matrix, kIdentity, sizeof(unit.matrix));
        std::memcpy(unit.glMatrix, kIdentity, sizeof(unit.glMatrix));
    }
    s_textureMemory = 0;
    s_vertexBufferMemory = 0;
    s_indexBufferMemory = 0;
}

GLRenderDevice::~GLRenderDevice() {
    destroyRenderWindow();
}

bool GLRenderDevice::checkGLError(const char* what) {
    bool clean = true;
    for (int i = 0; i < 16; ++i) {
        GLenum error = glGetError();
        if (error == GL_NO_ERROR) {
            break;
        }
        clean = false;
        char code[16];
        std::snprintf(code, sizeof(code), "0x%04X", static_cast<unsigned>(error));
        Log::get() << "Error: GL error " << code << " in " << what << "\n";
    }
    return clean;
}

// ---------------------------------------------------------------- start-up

bool GLRenderDevice::initGL() {
    glDisable(GL_DITHER);
    glFrontFace(GL_CCW);

    const char* vendor = reinterpret_cast<const char*>(glGetString(GL_VENDOR));
    const char* renderer = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
    const char* version = reinterpret_cast<const char*>(glGetString(GL_VERSION));
    vendor = vendor ? vendor : "";
    renderer = renderer ? renderer : "";
    version = version ? version : "";
    m_renderer = renderer;
    if (m_verbose) {
        Log::get() << "OpenGL Rendersystem"
                   << "\n"
                   << "  Card Vendor: " << vendor << "\n"
                   << "  Renderer: " << renderer << "\n"
                   << "  Version: " << version << "\n";
    }
    if (std::strstr(vendor, "NVIDIA")) {
        m_vendor = GPU_VENDOR_NVIDIA;
    } else if (std::strstr(vendor, "ATI")) {
        m_vendor = GPU_VENDOR_ATI;
    } else {
        m_vendor = GPU_VENDOR_UNKNOWN;
    }

    int major = 0;
    int minor = 0;
    if (!renderdeviceutil::parseGLVersion(version, &major, &minor) || major * 10 + minor < 33) {
        Log::get() << "Version 3.3.0 or better is required. Your version is " << version << "\n";
        return false;
    }
    GLint profile = 0;
    glGetIntegerv(GL_CONTEXT_PROFILE_MASK, &profile);
    if ((profile & GL_CONTEXT_CORE_PROFILE_BIT) == 0 && major * 10 + minor < 32) {
        Log::get() << "GLRenderDevice::initGL: No core profile context!\n";
        return false;
    }

    std::string extensions;
    GLint extensionCount = 0;
    glGetIntegerv(GL_NUM_EXTENSIONS, &extensionCount);
    for (GLint i = 0; i < extensionCount; ++i) {
        const char* name = reinterpret_cast<const char*>(glGetStringi(GL_EXTENSIONS, i));
        if (name) {
            extensions += name;
            extensions += ' ';
        }
    }
    auto hasExtension = [&](const char* name) {
        bool found = renderdeviceutil::hasExtensionWord(extensions.c_str(), name);
        if (!found && m_verbose) {
            Log::get() << "    " << name << " not supported"
                       << "\n";
        }
        return found;
    };

    GLint value = 0;
    glGetIntegerv(GL_MAX_TEXTURE_IMAGE_UNITS, &value);
    m_textureUnitCount = std::min<int>(value, kMaxTextureUnits);
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &value);
    m_maxTextureSize = value;
    m_s3tc = hasExtension("GL_EXT_texture_compression_s3tc");
    m_anisotropic = hasExtension("GL_EXT_texture_filter_anisotropic") ||
                    hasExtension("GL_ARB_texture_filter_anisotropic");
    m_maxAnisotropy = 1.0f;
    if (m_anisotropic) {
        glGetFloatv(GL_MAX_TEXTURE_MAX_ANISOTROPY_EXT, &m_maxAnisotropy);
    }

    // The default framebuffer's stencil size (GL_STENCIL_BITS is gone from
    // the core profile).
    GLint stencilBits = 0;
    glGetFramebufferAttachmentParameteriv(GL_FRAMEBUFFER, GL_STENCIL,
                                          GL_FRAMEBUFFER_ATTACHMENT_STENCIL_SIZE, &stencilBits);
    m_stencilBits = stencilBits;

    glGetIntegerv(GL_MAX_VERTEX_UNIFORM_COMPONENTS, &value);
    m_vertexMaxLocal = value / 4;
    glGetIntegerv(GL_MAX_FRAGMENT_UNIFORM_COMPONENTS, &value);
    m_fragmentMaxLocal = value / 4;
    glGetIntegerv(GL_MAX_DRAW_BUFFERS, &value);
    m_maxDrawBuffers = std::clamp<int>(value, 1, 8);
    glGetIntegerv(GL_MAX_CLIP_DISTANCES, &value);
    m_maxClipPlanes = std::min<int>(value, kMaxClipPlanes);
    glGetFloatv(GL_ALIASED_LINE_WIDTH_RANGE, m_lineWidthRange);
    glGetFloatv(GL_POINT_SIZE_RANGE, m_pointSizeRange);
    if (m_verbose) {
        Log::get() << "    max_texture_layers: " << static_cast<int32_t>(m_textureUnitCount)
                   << "\n";
    }

    glGenVertexArrays(1, &m_vao);
    glGenVertexArrays(1, &m_immediateVao);
    glGenBuffers(1, &m_immediateBuffer);
    glBindVertexArray(m_immediateVao);
    glEnableVertexAttribArray(shaderinterface::kAttribPosition);
    glBindVertexArray(m_vao);
    if (!createInternalProgram()) {
        return false;
    }

    m_targetManager = std::make_unique<GLFboRenderTargetManager>(*this);
    m_targetManager->probe(m_verbose);

    std::memcpy(m_projection, kIdentity, sizeof(m_projection));
    std::memcpy(m_view, kIdentity, sizeof(m_view));
    std::memcpy(m_model, kIdentity, sizeof(m_model));
    updateModelView();
    enableDepthTest();
    setDepthFunction(CF_LESS_EQUAL);
    setCullMode(CULL_BACK);
    if (m_window) {
        setViewport(0, 0, m_window->getWidth(), m_window->getHeight());
    }
    checkGLError("GLRenderDevice::initGL");
    if (m_verbose) {
        Log::get() << "OpenGL initialization successful"
                   << "\n";
    }
    m_initialised = true;
    return true;
}

bool GLRenderDevice::createInternalProgram() {
    std::string log;
    GLuint vertex = compileStage(GL_VERTEX_SHADER, kInternalVertexShader, &log);
    GLuint fragment = vertex ? compileStage(GL_FRAGMENT_SHADER, kInternalFragmentShader, &log) : 0;
    GLuint program = (vertex && fragment) ? linkStages(vertex, fragment, &log) : 0;
    if (vertex) {
        glDeleteShader(vertex);
    }
    if (fragment) {
        glDeleteShader(fragment);
    }
    if (!program) {
        Log::get() << "GLRenderDevice::initGL: Couldn't build the internal shaders: " << log
                   << "\n";
        return false;
    }
    m_internal.program = program;
    m_internal.mvp = glGetUniformLocation(program, "u_mvp");
    m_internal.modelView = glGetUniformLocation(program, "u_modelView");
    m_internal.textureMatrix = glGetUniformLocation(program, "u_textureMatrix");
    m_internal.useTexture = glGetUniformLocation(program, "u_useTexture");
    m_internal.alphaFunction = glGetUniformLocation(program, "u_alphaFunction");
    m_internal.alphaReference = glGetUniformLocation(program, "u_alphaReference");
    m_internal.clipPlanes = glGetUniformLocation(program, "u_clipPlanes");
    glUseProgram(program);
    glUniform1i(glGetUniformLocation(program, "u_texture"), 0);
    m_currentProgram = program;
    m_internalDirty = true;
    return true;
}

void GLRenderDevice::adoptWindow(std::unique_ptr<GLRenderWindow> window) {
    m_window = std::move(window);
    if (!m_currentTarget) {
        m_currentTarget = m_window.get();
    }
}

void GLRenderDevice::fenceFrame() {
    if (!m_initialised) {
        return;
    }
    const int capacity = kMaxFramesInFlight + 1;
    GLsync fence = glFenceSync(GL_SYNC_GPU_COMMANDS_COMPLETE, 0);
    if (fence == nullptr) {
        return;
    }
    m_frameFences[(m_fenceHead + m_fenceCount) % capacity] = fence;
    ++m_fenceCount;
    while (m_fenceCount > kMaxFramesInFlight) {
        GLsync oldest = m_frameFences[m_fenceHead];
        const GLenum result = glClientWaitSync(oldest, GL_SYNC_FLUSH_COMMANDS_BIT, kFenceTimeoutNs);
        if ((result == GL_TIMEOUT_EXPIRED || result == GL_WAIT_FAILED) && !m_fenceTimeoutLogged) {
            // Never wait without end: the frame is let go and the loop runs on.
            Log::get() << "Warning: the GPU did not finish a frame in time; frames are no "
                          "longer held back for it\n";
            m_fenceTimeoutLogged = true;
        }
        glDeleteSync(oldest);
        m_frameFences[m_fenceHead] = nullptr;
        m_fenceHead = (m_fenceHead + 1) % capacity;
        --m_fenceCount;
    }
}

void GLRenderDevice::releaseFrameFences() {
    const int capacity = kMaxFramesInFlight + 1;
    for (; m_fenceCount > 0; --m_fenceCount) {
        glDeleteSync(m_frameFences[m_fenceHead]);
        m_frameFences[m_fenceHead] = nullptr;
        m_fenceHead = (m_fenceHead + 1) % capacity;
    }
    m_fenceHead = 0;
}

void GLRenderDevice::releaseGL() {
    if (!m_initialised) {
        return;
    }
    releaseFrameFences();
    m_targetManager.reset();
    for (auto& [key, linked] : m_programs) {
        if (linked.program) {
            glDeleteProgram(linked.program);
        }
    }
    m_programs.clear();
    m_currentLinked = nullptr;
    m_programDirty = true;
    if (m_internal.program) {
        glDeleteProgram(m_internal.program);
    }
    m_internal = InternalProgram();
    m_currentProgram = 0;
    glDeleteBuffers(1, &m_immediateBuffer);
    glDeleteVertexArrays(1, &m_immediateVao);
    glDeleteVertexArrays(1, &m_vao);
    m_immediateBuffer = m_immediateVao = m_vao = 0;
    m_initialised = false;
}

void GLRenderDevice::destroyRenderWindow() {
    releaseGL();
    if (m_currentTarget == m_window.get()) {
        m_currentTarget = nullptr;
    }
    m_window.reset();
}

// ---------------------------------------------------------------- matrices

void GLRenderDevice::updateModelView() {
    multiply(m_view, m_model, m_modelView);
    m_internalDirty = true;
}

void GLRenderDevice::setModelMatrix(const float* m) {
    std::memcpy(m_model, m, sizeof(m_model));
    updateModelView();
}

void GLRenderDevice::setViewMatrix(const float* m) {
    std::memcpy(m_view, m, sizeof(m_view));
    updateModelView();
}

void GLRenderDevice::setProjectionMatrix(const float* m) {
    std::memcpy(m_projection, m, sizeof(m_projection));
    m_internalDirty = true;
}

// ---------------------------------------------------------------- viewport

int GLRenderDevice::getTargetHeight() const {
    return m_currentTarget ? m_currentTarget->getHeight() : 0;
}

void GLRenderDevice::setScissorEnabled(bool enabled) {
    if (enabled) {
        glEnable(GL_SCISSOR_TEST);
    } else {
        glDisable(GL_SCISSOR_TEST);
    }
    m_scissorEnabled = enabled;
}

void GLRenderDevice::setScissor(int x, int y, int width, int height) {
    setScissorEnabled(true);
    glScissor(x, renderdeviceutil::flipY(getTargetHeight(), y, height), width, height);
}

void GLRenderDevice::resetScissor() {
    setScissorEnabled(false);
    glScissor(m_viewport[0], m_viewport[1], m_viewport[2], m_viewport[3]);
}

void GLRenderDevice::setViewport(int x, int y, int width, int height) {
    m_viewport[0] = x;
    m_viewport[1] = renderdeviceutil::flipY(getTargetHeight(), y, height);
    m_viewport[2] = width;
    m_viewport[3] = height;
    glViewport(m_viewport[0], m_viewport[1], width, height);
    glScissor(m_viewport[0], m_viewport[1], width, height);
}

void GLRenderDevice::getViewport(int* viewport) const {
    std::memcpy(viewport, m_viewport, sizeof(m_viewport));
}

// ---------------------------------------------------------------- depth, colour, alpha

void GLRenderDevice::enableDepthTest() {
    glClearDepth(1.0);
    glEnable(GL_DEPTH_TEST);
}

void GLRenderDevice::disableDepthTest() {
    glDisable(GL_DEPTH_TEST);
}

void GLRenderDevice::setDepthFunction(CompareFunction function) {
    m_depthFunction = function;
    glDepthFunc(toGL(function));
}

void GLRenderDevice::enableDepthWrite() {
    m_depthWrite = true;
    glDepthMask(GL_TRUE);
}

void GLRenderDevice::disableDepthWrite() {
    m_depthWrite = false;
    glDepthMask(GL_FALSE);
}

void GLRenderDevice::setColourWriteMask(bool r, bool g, bool b, bool a) {
    m_colourMask[0] = r;
    m_colourMask[1] = g;
    m_colourMask[2] = b;
    m_colourMask[3] = a;
    glColorMask(r, g, b, a);
}

void GLRenderDevice::setAlphaTest(CompareFunction function, float reference) {
    m_alphaFunction = (function >= CF_NEVER && function <= CF_GREATER) ? function : CF_ALWAYS;
    m_alphaReference = reference;
    m_internalDirty = true;
}

// ---------------------------------------------------------------- stencil

void GLRenderDevice::setStencilState(CompareFunction function, int reference, uint32_t mask,
                                     StencilOperation fail, StencilOperation depthFail,
                                     StencilOperation pass, bool twoSided) {
    GLenum glFunction = toGL(function);
    if (!twoSided) {
        glStencilMask(mask);
        glStencilFunc(glFunction, reference, mask);
        glStencilOp(toGL(fail, false), toGL(depthFail, false), toGL(pass, false));
        m_stencilWriteMask = mask;
        return;
    }
    if (!hasTwoSidedStencil()) {
        return;
    }
    bool flipped = (m_currentTarget && m_currentTarget->isFlipped()) != m_invertCulling;
    glStencilMask(mask);
    m_stencilWriteMask = mask;
    glStencilFuncSeparate(GL_BACK, glFunction, reference, mask);
    glStencilOpSeparate(GL_BACK, toGL(fail, !flipped), toGL(depthFail, !flipped),
                        toGL(pass, !flipped));
    glStencilFuncSeparate(GL_FRONT, glFunction, reference, mask);
    glStencilOpSeparate(GL_FRONT, toGL(fail, flipped), toGL(depthFail, flipped),
                        toGL(pass, flipped));
}

// ---------------------------------------------------------------- clip planes

void GLRenderDevice::enableClipPlane(int index) {
    if (index >= 0 && index < m_maxClipPlanes) {
        m_clipEnabled |= 1u << index;
        m_internalDirty = true;
    }
}

void GLRenderDevice::disableClipPlane(int index) {
    if (index >= 0 && index < m_maxClipPlanes) {
        m_clipEnabled &= ~(1u << index);
        m_internalDirty = true;
    }
}

void GLRenderDevice::setClipPlane(int index, const float* plane) {
    if (index < 0 || index >= kMaxClipPlanes) {
        return;
    }
    // Kept in eye space, the way the plane is transformed when it is set.
    double equation[4] = {plane[0], plane[1], plane[2], -plane[3]};
    float inverse[16];
    if (!invert(m_modelView, inverse)) {
        std::memcpy(inverse, kIdentity, sizeof(inverse));
    }
    for (int j = 0; j < 4; ++j) {
        double sum = 0.0;
        for (int i = 0; i < 4; ++i) {
            sum += equation[i] * inverse[j * 4 + i];
        }
        m_clipPlanes[index][j] = static_cast<float>(sum);
    }
    m_internalDirty = true;
}

void GLRenderDevice::applyClipDistances(bool internal) {
    uint32_t wanted = internal ? m_clipEnabled : 0;
    if (wanted == m_clipApplied) {
        return;
    }
    for (int i = 0; i < kMaxClipPlanes; ++i) {
        uint32_t bit = 1u << i;
        if ((wanted & bit) != (m_clipApplied & bit)) {
            if (wanted & bit) {
                glEnable(GL_CLIP_DISTANCE0 + i);
            } else {
                glDisable(GL_CLIP_DISTANCE0 + i);
            }
        }
    }
    m_clipApplied = wanted;
}

// ---------------------------------------------------------------- textures

void GLRenderDevice::setTextureWrap(int unit, int s, int t, int r) {
    if (unit < 0 || unit >= m_textureUnitCount || !m_units[unit].texture) {
        return;
    }
    GLenum target = m_units[unit].target;
    if (unit != 0) {
        glActiveTexture(GL_TEXTURE0 + unit);
    }
    glTexParameteri(target, GL_TEXTURE_WRAP_S, getGLTextureWrap(s));
    glTexParameteri(target, GL_TEXTURE_WRAP_T, getGLTextureWrap(t));
    if (target == GL_TEXTURE_3D) {
        glTexParameteri(target, GL_TEXTURE_WRAP_R, getGLTextureWrap(r));
    }
    if (unit != 0) {
        glActiveTexture(GL_TEXTURE0);
    }
}

void GLRenderDevice::bindTexture(int unit, ITextureObject* texture) {
    if (unit < 0 || unit >= m_textureUnitCount) {
        return;
    }
    GLTexture* glTexture = static_cast<GLTexture*>(texture);
    TextureUnit& slot = m_units[unit];
    if (glTexture == slot.texture && (!glTexture || !glTexture->isRenderTarget())) {
        return;
    }
    if (unit != 0) {
        glActiveTexture(GL_TEXTURE0 + unit);
    }
    if (!glTexture) {
        if (slot.target) {
            glBindTexture(slot.target, 0);
        }
        slot.target = 0;
    } else {
        if (slot.target && slot.target != glTexture->getTarget()) {
            glBindTexture(slot.target, 0);
        }
        slot.target = glTexture->getTarget();
        if (glTexture->isRenderTarget() && m_targetManager) {
            m_targetManager->bindRenderTexture(*glTexture);
        } else {
            glBindTexture(slot.target, glTexture->getName());
        }
    }
    slot.texture = glTexture;
    if (unit != 0) {
        glActiveTexture(GL_TEXTURE0);
    } else {
        m_internalDirty = true;
    }
}

ITextureObject* GLRenderDevice::getBoundTexture(int unit) const {
    if (unit < 0 || unit >= kMaxTextureUnits) {
        return nullptr;
    }
    return m_units[unit].texture;
}

void GLRenderDevice::setTextureMatrix(int unit, const float* m) {
    if (unit < 0 || unit >= kMaxTextureUnits) {
        return;
    }
    TextureUnit& slot = m_units[unit];
    std::memcpy(slot.matrix, m, sizeof(slot.matrix));
    std::memcpy(slot.glMatrix, m, sizeof(slot.glMatrix));
    if (slot.target != GL_TEXTURE_3D && slot.target != GL_TEXTURE_CUBE_MAP) {
        // 2D coordinates carry r = 0 and q = 1: the third column's offset
        // becomes the translation.
        slot.glMatrix[12] = m[8];
        slot.glMatrix[13] = m[9];
    }
    if (unit == 0) {
        m_internalDirty = true;
    }
}

const float* GLRenderDevice::getTextureMatrix(int unit) const {
    if (unit < 0 || unit >= kMaxTextureUnits) {
        return kIdentity;
    }
    return m_units[unit].matrix;
}

void GLRenderDevice::onTextureDestroyed(GLTexture* texture) {
    for (TextureUnit& slot : m_units) {
        if (slot.texture == texture) {
            slot.texture = nullptr;
            slot.target = 0;
        }
    }
    m_internalDirty = true;
}

// ---------------------------------------------------------------- render targets

bool GLRenderDevice::supportsDepthTextures() const {
    return m_targetManager && m_targetManager->supportsDepthTextures();
}

void GLRenderDevice::addSupportedRenderTextureFormat(PixelFormat format) {
    if (format > PF_UNKNOWN && format < PF_COUNT) {
        m_supportedFormats[format] = true;
    }
}

PixelFormat GLRenderDevice::getFirstSupportedRenderTextureFormat(const PixelFormat* candidates,
                                                                 int count) const {
    for (int i = 0; i < count; ++i) {
        PixelFormat format = candidates[i];
        if (format > PF_UNKNOWN && format < PF_COUNT && m_supportedFormats[format]) {
            return format;
        }
    }
    return PF_UNKNOWN;
}

void GLRenderDevice::setRenderTarget(IRenderTarget* target) {
    if (!target) {
        target = m_window.get();
    }
    if (m_targetManager) {
        m_targetManager->makeCurrent(target);
    }
    m_currentTarget = target;
    applyCullFace();
}

void GLRenderDevice::onRenderTextureDestroyed(IRenderTarget* target) {
    if (m_currentTarget == target) {
        setRenderTarget(nullptr);
    }
}

bool GLRenderDevice::copyToTexture(IRenderTarget* source, int srcX, int srcY, int srcWidth,
                                   int srcHeight, IRenderTarget* destination, int dstX, int dstY,
                                   int dstWidth, int dstHeight) {
    if (!m_targetManager) {
        return false;
    }
    return m_targetManager->copyToTexture(source, srcX, srcY, srcWidth, srcHeight, destination,
                                          dstX, dstY, dstWidth, dstHeight);
}

std::unique_ptr<IRenderTexture> GLRenderDevice::createRenderTexture(const RenderTextureDesc& desc) {
    m_lastError = 0;
    if (!m_targetManager) {
        m_lastError = RDE_UNKNOWN;
        return nullptr;
    }
    std::unique_ptr<GLFboRenderTexture> texture = m_targetManager->createRenderTexture(desc);
    m_lastError = texture->getErrorCode();
    if (m_lastError != 0) {
        return nullptr;
    }
    return texture;
}

// ---------------------------------------------------------------- shaders

void GLRenderDevice::bindVertexShader(IShaderObject* shader) {
    GLShader* glShader = static_cast<GLShader*>(shader);
    if (glShader == m_vertexShader) {
        return;
    }
    m_vertexShader = glShader;
    m_programDirty = true;
}

void GLRenderDevice::bindFragmentShader(IShaderObject* shader) {
    GLShader* glShader = static_cast<GLShader*>(shader);
    if (glShader == m_fragmentShader) {
        return;
    }
    m_fragmentShader = glShader;
    m_programDirty = true;
}

void GLRenderDevice::applyParameters(bool fragment, const IShaderParameters& parameters) {
    if (GLShader* shader = stageShader(fragment)) {
        shader->applyParameters(parameters);
    }
}

int GLRenderDevice::getParameterIndex(bool fragment, const char* name) const {
    GLShader* shader = stageShader(fragment);
    return shader ? shader->getParameterIndex(name) : -1;
}

int GLRenderDevice::setVector(bool fragment, const char* name, const float* v) {
    int index = getParameterIndex(fragment, name);
    if (index >= 0) {
        setVector(fragment, index, v);
    }
    return index;
}

void GLRenderDevice::setVector(bool fragment, int index, const float* v) {
    if (GLShader* shader = stageShader(fragment)) {
        shader->setRegisters(index, v, 1);
    }
}

int GLRenderDevice::setVectorArray(bool fragment, const char* name, const float* v, int count) {
    int index = getParameterIndex(fragment, name);
    if (index >= 0) {
        setVectorArray(fragment, index, v, count);
    }
    return index;
}

void GLRenderDevice::setVectorArray(bool fragment, int index, const float* v, int count) {
    if (GLShader* shader = stageShader(fragment)) {
        shader->setRegisters(index, v, count);
    }
}

int GLRenderDevice::setMatrix(bool fragment, const char* name, const float* m) {
    int index = getParameterIndex(fragment, name);
    if (index >= 0) {
        setMatrix(fragment, index, m);
    }
    return index;
}

void GLRenderDevice::setMatrix(bool fragment, int index, const float* m) {
    float rows[16];
    for (int row = 0; row < 4; ++row) {
        for (int column = 0; column < 4; ++column) {
            rows[row * 4 + column] = m[column * 4 + row];
        }
    }
    if (GLShader* shader = stageShader(fragment)) {
        shader->setRegisters(index, rows, 4);
    }
}

std::unique_ptr<IShaderObject> GLRenderDevice::createShader(const ShaderSourceDesc& desc) {
    m_lastError = RDE_UNKNOWN;
    if (!m_initialised) {
        return nullptr;
    }
    bool fragment = desc.stage == 0;
    if (!fragment && (desc.stage > 3 || desc.profileVariant != 0)) {
        m_lastError = RDE_UNSUPPORTED_SHADER_VERSION;
        return nullptr;
    }
    if (fragment &&
        (desc.fragmentVersion > 4 || (desc.fragmentVersion == 4 && desc.profileVariant != 0) ||
         desc.profileVariant < 0 || desc.profileVariant > 1)) {
        m_lastError = RDE_UNSUPPORTED_SHADER_VERSION;
        return nullptr;
    }
    const char* stageName = fragment ? "fragment" : "vertex";
    std::string glsl;
    shaderinterface::Reflection reflection;
    if (desc.kind == SSK_CG_SOURCE) {
#ifdef ENGINE_HAS_SHADER_COMPILER
        shadercompiler::CompileResult result = shadercompiler::compile(
            desc.source, desc.entryPoint,
            fragment ? shaderinterface::Stage::Fragment : shaderinterface::Stage::Vertex);
        if (!result.success) {
            Log::get() << "Failed to create " << stageName << " shader, "
                       << "The compile returned an error."
                       << "\n";
            Log::get() << "Listing: " << result.listing << "\n";
            m_lastError = RDE_INVALID_SHADER_CODE;
            return nullptr;
        }
        glsl = std::move(result.glsl);
        reflection = std::move(result.reflection);
#else
        Log::get() << "Failed to create " << stageName
                   << " shader, the engine was built without its shader compiler"
                   << "\n";
        return nullptr;
#endif
    } else if (desc.kind == SSK_COMPILED) {
        glsl = desc.source;
        if (desc.reflection) {
            reflection = *desc.reflection;
        }
    } else {
        m_lastError = RDE_UNSUPPORTED_SHADER_FORMAT;
        return nullptr;
    }
    if (desc.keepText) {
        m_lastProgramText = glsl;
    }
    std::string log;
    GLuint shader =
        compileStage(fragment ? GL_FRAGMENT_SHADER : GL_VERTEX_SHADER, glsl.c_str(), &log);
    if (!shader) {
        Log::get() << "Failed to create " << stageName << " shader, " << log << "\n";
        m_lastError = RDE_INVALID_SHADER_CODE;
        return nullptr;
    }
    int numRegisters = reflection.numRegisters;
    for (const auto& parameter : reflection.parameters) {
        numRegisters = std::max(numRegisters, parameter.registerIndex + parameter.registerCount);
    }
    auto object = std::make_unique<GLShader>(*this, fragment, shader, numRegisters);
    for (const auto& parameter : reflection.parameters) {
        object->addParameter(parameter.name.c_str(), parameter.registerIndex);
        // A parameter declared with an initial value holds it until a
        // material or script sets another.
        if (parameter.registerCount > 0 &&
            parameter.initialValue.size() >= size_t(parameter.registerCount) * 4) {
            object->setRegisters(parameter.registerIndex, parameter.initialValue.data(),
                                 parameter.registerCount);
        }
    }
    for (const auto& sampler : reflection.samplers) {
        object->addSampler(sampler.name.c_str());
        object->addGLSampler(sampler.glslName, sampler.textureUnit);
    }
    m_lastError = 0;
    return object;
}

void GLRenderDevice::onShaderDestroyed(GLShader* shader) {
    for (auto it = m_programs.begin(); it != m_programs.end();) {
        if (it->first.first == shader || it->first.second == shader) {
            if (it->second.program) {
                if (m_currentProgram == it->second.program) {
                    m_currentProgram = 0;
                }
                glDeleteProgram(it->second.program);
            }
            it = m_programs.erase(it);
        } else {
            ++it;
        }
    }
    if (m_vertexShader == shader) {
        m_vertexShader = nullptr;
    }
    if (m_fragmentShader == shader) {
        m_fragmentShader = nullptr;
    }
    m_currentLinked = nullptr;
    m_programDirty = true;
}

GLRenderDevice::LinkedProgram* GLRenderDevice::linkProgram(GLShader* vertex, GLShader* fragment) {
    auto key = std::make_pair(static_cast<const GLShader*>(vertex),
                              static_cast<const GLShader*>(fragment));
    auto it = m_programs.find(key);
    if (it != m_programs.end()) {
        return &it->second;
    }
    LinkedProgram& linked = m_programs[key];
    std::string log;
    linked.program = linkStages(vertex->getGLShader(), fragment->getGLShader(), &log);
    if (!linked.program) {
        Log::get() << "Error: Failed to link shader program: " << log << "\n";
        return &linked;
    }
    glUseProgram(linked.program);
    m_currentProgram = linked.program;
    for (const GLShader* stage : {vertex, fragment}) {
        for (const auto& sampler : stage->getGLSamplers()) {
            GLint location = glGetUniformLocation(linked.program, sampler.glslName.c_str());
            if (location >= 0) {
                glUniform1i(location, sampler.unit);
            }
        }
    }
    linked.vertexRegisters =
        registerArrayLocation(linked.program, shaderinterface::kVertexRegisterArray);
    linked.fragmentRegisters =
        registerArrayLocation(linked.program, shaderinterface::kFragmentRegisterArray);
    checkGLError("linking a shader program");
    return &linked;
}

void GLRenderDevice::updateInternalUniforms() {
    float mvp[16];
    multiply(m_projection, m_modelView, mvp);
    glUniformMatrix4fv(m_internal.mvp, 1, GL_FALSE, mvp);
    glUniformMatrix4fv(m_internal.modelView, 1, GL_FALSE, m_modelView);
    glUniformMatrix4fv(m_internal.textureMatrix, 1, GL_FALSE, m_units[0].glMatrix);
    int textureMode = 0;
    if (GLTexture* texture = m_units[0].texture) {
        if (texture->getTarget() == GL_TEXTURE_2D && texture->isValid()) {
            textureMode = texture->getFormat() == PF_A8 ? 2 : 1;
        }
    }
    glUniform1i(m_internal.useTexture, textureMode);
    glUniform1i(m_internal.alphaFunction, m_alphaFunction);
    glUniform1f(m_internal.alphaReference, m_alphaReference);
    // Planes that are off pass everything (distance = w) even where a driver
    // keeps clipping against distances the program writes.
    float planes[kMaxClipPlanes][4];
    for (int i = 0; i < kMaxClipPlanes; ++i) {
        bool on = (m_clipEnabled & (1u << i)) != 0;
        for (int k = 0; k < 4; ++k) {
            planes[i][k] = on ? m_clipPlanes[i][k] : (k == 3 ? 1.0f : 0.0f);
        }
    }
    glUniform4fv(m_internal.clipPlanes, kMaxClipPlanes, &planes[0][0]);
    m_internalDirty = false;
}

bool GLRenderDevice::prepareProgram() {
    if (!m_vertexShader || !m_fragmentShader) {
        if (m_currentProgram != m_internal.program) {
            glUseProgram(m_internal.program);
            m_currentProgram = m_internal.program;
        }
        if (m_internalDirty) {
            updateInternalUniforms();
        }
        applyClipDistances(true);
        return m_internal.program != 0;
    }
    if (m_programDirty) {
        m_currentLinked = linkProgram(m_vertexShader, m_fragmentShader);
        m_programDirty = false;
    }
    LinkedProgram* linked = m_currentLinked;
    if (!linked || !linked->program) {
        return false;
    }
    if (m_currentProgram != linked->program) {
        glUseProgram(linked->program);
        m_currentProgram = linked->program;
    }
    if (linked->vertexVersion != m_vertexShader->getRegisterVersion()) {
        if (linked->vertexRegisters >= 0 && m_vertexShader->getNumRegisters() > 0) {
            glUniform4fv(linked->vertexRegisters, m_vertexShader->getNumRegisters(),
                         m_vertexShader->getRegisters().data());
        }
        linked->vertexVersion = m_vertexShader->getRegisterVersion();
    }
    if (linked->fragmentVersion != m_fragmentShader->getRegisterVersion()) {
        if (linked->fragmentRegisters >= 0 && m_fragmentShader->getNumRegisters() > 0) {
            glUniform4fv(linked->fragmentRegisters, m_fragmentShader->getNumRegisters(),
                         m_fragmentShader->getRegisters().data());
        }
        linked->fragmentVersion = m_fragmentShader->getRegisterVersion();
    }
    applyClipDistances(false);
    return true;
}

// ---------------------------------------------------------------- buffers and declarations

void GLRenderDevice::setVertexBuffers(IVertexBuffer* const* buffers, int count) {
    int kept = std::clamp(count, 0, kMaxStreams);
    bool changed = kept != m_streamCount;
    for (int i = 0; i < kMaxStreams; ++i) {
        IVertexBuffer* buffer = i < kept ? buffers[i] : nullptr;
        changed = changed || buffer != m_vertexBuffers[i];
        m_vertexBuffers[i] = buffer;
    }
    m_streamCount = kept;
    if (changed && m_declaration) {
        applyDeclaration();
    }
}

void GLRenderDevice::setIndexBuffer(IIndexBuffer* buffer) {
    GLIndexBuffer* glBuffer = static_cast<GLIndexBuffer*>(buffer);
    if (glBuffer == m_indexBuffer) {
        return;
    }
    m_indexBuffer = glBuffer;
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, glBuffer ? glBuffer->getName() : 0);
}

void GLRenderDevice::setVertexStreamOffset(int stream, uint32_t offset) {
    if (stream < 0 || stream >= kMaxStreams || m_streamOffsets[stream] == offset) {
        return;
    }
    m_streamOffsets[stream] = offset;
    if (m_declaration) {
        applyDeclaration();
    }
}

void GLRenderDevice::bindVertexDeclaration(IVertexDeclaration* declaration) {
    if (m_declaration || !declaration) {
        return;
    }
    m_declaration = static_cast<GLVertexDeclaration*>(declaration);
    applyDeclaration();
}

void GLRenderDevice::applyDeclaration() {
    uint32_t enabled = 0;
    GLuint boundBuffer = 0xFFFFFFFFu;
    for (const auto& attribute : m_declaration->getAttributes()) {
        IVertexBuffer* buffer =
            attribute.stream < m_streamCount ? m_vertexBuffers[attribute.stream] : nullptr;
        if (!buffer) {
            continue;
        }
        GLuint name = static_cast<GLVertexBuffer*>(buffer)->getName();
        if (name != boundBuffer) {
            glBindBuffer(GL_ARRAY_BUFFER, name);
            boundBuffer = name;
        }
        glVertexAttribPointer(
            attribute.location, attribute.components, attribute.type, attribute.normalised,
            m_declaration->getStreamStride(attribute.stream),
            reinterpret_cast<const void*>(attribute.offset + m_streamOffsets[attribute.stream]));
        const uint32_t bit = 1u << attribute.location;
        if (attribute.perInstance != ((m_instancedAttributes & bit) != 0)) {
            glVertexAttribDivisor(attribute.location, attribute.perInstance ? 1 : 0);
            m_instancedAttributes ^= bit;
        }
        enabled |= bit;
    }
    uint32_t changed = enabled ^ m_enabledAttributes;
    for (GLuint location = 0; changed; ++location, changed >>= 1) {
        if (changed & 1u) {
            if (enabled & (1u << location)) {
                glEnableVertexAttribArray(location);
            } else {
                glDisableVertexAttribArray(location);
            }
        }
    }
    m_enabledAttributes = enabled;
}

void GLRenderDevice::unbindVertexDeclaration() {
    if (!m_declaration) {
        return;
    }
    for (GLuint location = 0; m_enabledAttributes; ++location) {
        if (m_enabledAttributes & (1u << location)) {
            glDisableVertexAttribArray(location);
            m_enabledAttributes &= ~(1u << location);
        }
    }
    if (m_declaration->usesColour()) {
        glVertexAttrib4f(shaderinterface::kAttribColor0, 1.0f, 1.0f, 1.0f, 1.0f);
    }
    m_declaration = nullptr;
}

void GLRenderDevice::onVertexBufferDestroyed(GLVertexBuffer* buffer) {
    for (IVertexBuffer*& slot : m_vertexBuffers) {
        if (slot == buffer) {
            slot = nullptr;
        }
    }
}

void GLRenderDevice::onIndexBufferDestroyed(GLIndexBuffer* buffer) {
    if (m_indexBuffer == buffer) {
        m_indexBuffer = nullptr;
        glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
    }
}

void GLRenderDevice::onDeclarationDestroyed(GLVertexDeclaration* declaration) {
    if (m_declaration == declaration) {
        unbindVertexDeclaration();
    }
}

void GLRenderDevice::draw(int count, int start, PrimitiveType type) {
    if (!m_declaration || count <= 0 || !prepareProgram()) {
        return;
    }
    if (m_indexBuffer) {
        glDrawElements(toGL(type), count, m_indexBuffer->getIndexType(),
                       reinterpret_cast<const void*>(static_cast<uintptr_t>(start) *
                                                     m_indexBuffer->getIndexSize()));
    } else {
        glDrawArrays(toGL(type), start, count);
    }
}

void GLRenderDevice::drawInstanced(int count, int start, PrimitiveType type, int instances) {
    if (!m_declaration || count <= 0 || instances <= 0 || !prepareProgram()) {
        return;
    }
    if (m_indexBuffer) {
        glDrawElementsInstanced(toGL(type), count, m_indexBuffer->getIndexType(),
                                reinterpret_cast<const void*>(static_cast<uintptr_t>(start) *
                                                              m_indexBuffer->getIndexSize()),
                                instances);
    } else {
        glDrawArraysInstanced(toGL(type), start, count, instances);
    }
}

// ---------------------------------------------------------------- blending, culling, fill

void GLRenderDevice::setBlendFunction(BlendFactor source, BlendFactor destination) {
    GLenum src = toGL(source);
    GLenum dst = toGL(destination);
    if (src == GL_ONE && dst == GL_ZERO) {
        glDisable(GL_BLEND);
        return;
    }
    glEnable(GL_BLEND);
    glBlendFunc(src, dst);
}

void GLRenderDevice::setInvertCulling(bool invert) {
    m_invertCulling = invert;
    applyCullFace();
}

void GLRenderDevice::setCullMode(CullMode mode) {
    m_cullMode = mode;
    applyCullFace();
}

void GLRenderDevice::applyCullFace() {
    if (m_cullMode != CULL_BACK && m_cullMode != CULL_FRONT) {
        glDisable(GL_CULL_FACE);
        return;
    }
    bool flipped = (m_currentTarget && m_currentTarget->isFlipped()) != m_invertCulling;
    bool back = (m_cullMode == CULL_BACK) != flipped;
    glCullFace(back ? GL_BACK : GL_FRONT);
    glEnable(GL_CULL_FACE);
}

void GLRenderDevice::setFillMode(FillMode mode) {
    m_fillMode = mode;
    GLenum glMode = mode == FILL_POINTS ? GL_POINT : mode == FILL_WIREFRAME ? GL_LINE : GL_FILL;
    glPolygonMode(GL_FRONT_AND_BACK, glMode);
}

void GLRenderDevice::enablePolygonOffset(float factor, float units) {
    glEnable(GL_POLYGON_OFFSET_FILL);
    glPolygonOffset(factor, units);
}

void GLRenderDevice::setCurrentColour(const float* colour) {
    glVertexAttrib4fv(shaderinterface::kAttribColor0, colour);
}

// ---------------------------------------------------------------- clearing

void GLRenderDevice::clear(uint32_t flags, const float* colour, float depth, int stencil) {
    static constexpr float kBlack[4] = {0.0f, 0.0f, 0.0f, 1.0f};
    GLbitfield bits = 0;
    bool masked = !(m_colourMask[0] && m_colourMask[1] && m_colourMask[2] && m_colourMask[3]);
    bool restoreColour = false;
    bool restoreDepth = false;
    bool restoreStencil = false;
    if (flags & CLEAR_COLOUR) {
        const float* c = colour ? colour : kBlack;
        glClearColor(c[0], c[1], c[2], c[3]);
        bits |= GL_COLOR_BUFFER_BIT;
        if (masked) {
            glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
            restoreColour = true;
        }
    }
    if (flags & CLEAR_DEPTH) {
        glClearDepth(depth);
        bits |= GL_DEPTH_BUFFER_BIT;
        if (!m_depthWrite) {
            glDepthMask(GL_TRUE);
            restoreDepth = true;
        }
    }
    if (flags & CLEAR_STENCIL) {
        glClearStencil(stencil);
        bits |= GL_STENCIL_BUFFER_BIT;
        if (m_stencilWriteMask != 0xFFFFFFFFu) {
            glStencilMask(0xFFFFFFFFu);
            restoreStencil = true;
        }
    }
    if (bits) {
        glClear(bits);
    }
    if (restoreColour) {
        glColorMask(m_colourMask[0], m_colourMask[1], m_colourMask[2], m_colourMask[3]);
    }
    if (restoreDepth) {
        glDepthMask(GL_FALSE);
    }
    if (restoreStencil) {
        glStencilMask(m_stencilWriteMask);
    }
}

void GLRenderDevice::clearTarget(IRenderTarget* target, uint32_t flags, const float* colour,
                                 float depth, int stencil) {
    IRenderTarget* previous = m_currentTarget;
    setRenderTarget(target);
    clear(flags, colour, depth, stencil);
    setRenderTarget(previous);
}

// ---------------------------------------------------------------- factories

std::unique_ptr<ITextureObject> GLRenderDevice::createTexture(const TextureDesc& desc) {
    if (!m_initialised) {
        return nullptr;
    }
    return std::make_unique<GLTexture>(*this, desc);
}

std::unique_ptr<IVertexBuffer> GLRenderDevice::createVertexBuffer(uint32_t size, const void* data,
                                                                  uint32_t usage) {
    m_lastError = 0;
    if (!m_initialised) {
        return nullptr;
    }
    auto buffer = std::make_unique<GLVertexBuffer>(*this, size, data, usage);
    checkGLError("GLVertexBuffer::GLVertexBuffer");
    return buffer;
}

std::unique_ptr<IIndexBuffer> GLRenderDevice::createIndexBuffer(uint32_t size, const void* data,
                                                                uint32_t usage, bool use32Bit) {
    m_lastError = 0;
    if (!m_initialised) {
        return nullptr;
    }
    auto buffer = std::make_unique<GLIndexBuffer>(*this, size, data, usage, use32Bit);
    checkGLError("GLIndexBuffer::GLIndexBuffer");
    return buffer;
}

std::unique_ptr<IVertexDeclaration> GLRenderDevice::createVertexDeclaration(
    const VertexDeclarationDesc& desc) {
    m_lastError = 0;
    return std::make_unique<GLVertexDeclaration>(*this, desc);
}

// ---------------------------------------------------------------- immediate drawing

void GLRenderDevice::setImmediateColour(float r, float g, float b, float a) {
    m_immediateColour[0] = r;
    m_immediateColour[1] = g;
    m_immediateColour[2] = b;
    m_immediateColour[3] = a;
}

void GLRenderDevice::drawImmediate(const float* positions, int stride, const float* colours,
                                   int colourStride, GLenum mode, int vertexCount) {
    if (!m_initialised || !positions || vertexCount <= 0) {
        return;
    }
    // Client arrays are gone from the core profile: the vertices are packed
    // into a stream buffer (positions, then colours).
    size_t positionStride = stride > 0 ? stride : 3 * sizeof(float);
    size_t colourStep = colourStride > 0 ? colourStride : 4 * sizeof(float);
    size_t floats = size_t(vertexCount) * (colours ? 7 : 3);
    if (m_immediateScratch.size() < floats) {
        m_immediateScratch.resize(floats);
    }
    float* out = m_immediateScratch.data();
    const uint8_t* p = reinterpret_cast<const uint8_t*>(positions);
    for (int i = 0; i < vertexCount; ++i, p += positionStride) {
        std::memcpy(out + 3 * i, p, 3 * sizeof(float));
    }
    if (colours) {
        const uint8_t* c = reinterpret_cast<const uint8_t*>(colours);
        float* colourOut = out + 3 * vertexCount;
        for (int i = 0; i < vertexCount; ++i, c += colourStep) {
            std::memcpy(colourOut + 4 * i, c, 4 * sizeof(float));
        }
    }
    glBindVertexArray(m_immediateVao);
    glBindBuffer(GL_ARRAY_BUFFER, m_immediateBuffer);
    glBufferData(GL_ARRAY_BUFFER, floats * sizeof(float), out, GL_STREAM_DRAW);
    glVertexAttribPointer(shaderinterface::kAttribPosition, 3, GL_FLOAT, GL_FALSE, 0, nullptr);
    if (colours) {
        glVertexAttribPointer(shaderinterface::kAttribColor0, 4, GL_FLOAT, GL_FALSE, 0,
                              reinterpret_cast<const void*>(3 * sizeof(float) * vertexCount));
        glEnableVertexAttribArray(shaderinterface::kAttribColor0);
    } else {
        glDisableVertexAttribArray(shaderinterface::kAttribColor0);
        glVertexAttrib4fv(shaderinterface::kAttribColor0, m_immediateColour);
    }
    if (prepareProgram()) {
        glDrawArrays(mode, 0, vertexCount);
    }
    glBindVertexArray(m_vao);
    glVertexAttrib4f(shaderinterface::kAttribColor0, 1.0f, 1.0f, 1.0f, 1.0f);
}

void GLRenderDevice::drawLines(const float* positions, int stride, const float* colours,
                               int colourStride, int lineCount, float width) {
    glLineWidth(std::clamp(width, m_lineWidthRange[0], m_lineWidthRange[1]));
    drawImmediate(positions, stride, colours, colourStride, GL_LINES, 2 * lineCount);
}

void GLRenderDevice::drawPoints(const float* positions, int stride, const float* colours,
                                int colourStride, int pointCount, float size) {
    glPointSize(std::clamp(size, m_pointSizeRange[0], m_pointSizeRange[1]));
    drawImmediate(positions, stride, colours, colourStride, GL_POINTS, pointCount);
}

void GLRenderDevice::drawUserArrays(const float* positions, int stride, const float* colours,
                                    int colourStride, PrimitiveType type, int vertexCount) {
    drawImmediate(positions, stride, colours, colourStride, toGL(type), vertexCount);
}
