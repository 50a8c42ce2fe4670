#include "base/device/GLResources.h"

#include <algorithm>
#include <cstring>

#include "base/device/GLRenderDevice.h"
#include "base/device/RenderDeviceUtil.h"
#include "foundation/Log.h"
#include "shaderlang/compiler/ShaderInterface.h"

namespace {

#define SWIZZLE_LUMINANCE              \
    true, {                            \
        GL_RED, GL_RED, GL_RED, GL_ONE \
    }
#define SWIZZLE_ALPHA                     \
    true, {                               \
        GL_ZERO, GL_ZERO, GL_ZERO, GL_RED \
    }
#define SWIZZLE_LUMINANCE_ALPHA          \
    true, {                              \
        GL_RED, GL_RED, GL_RED, GL_GREEN \
    }
#define SWIZZLE_NONE \
    false, {         \
        0, 0, 0, 0   \
    }

const GLPixelFormat kGLFormats[PF_COUNT] = {
    {GL_RGBA8, 0, 0, SWIZZLE_NONE},                              // PF_UNKNOWN
    {GL_R8, GL_RED, GL_UNSIGNED_BYTE, SWIZZLE_LUMINANCE},        // PF_L8
    {GL_R8, GL_RED, GL_UNSIGNED_BYTE, SWIZZLE_ALPHA},            // PF_A8
    {GL_R16, GL_RED, GL_UNSIGNED_SHORT, SWIZZLE_LUMINANCE},      // PF_L16
    {GL_RG8, GL_RG, GL_UNSIGNED_BYTE, SWIZZLE_LUMINANCE_ALPHA},  // PF_BYTE_LA16
    {GL_RGB8, GL_RGB, GL_UNSIGNED_BYTE, SWIZZLE_NONE},           // PF_BYTE_RGB24
    {GL_RGB8, GL_BGR, GL_UNSIGNED_BYTE, SWIZZLE_NONE},           // PF_BYTE_BGR24
    {GL_RGBA8, GL_RGBA, GL_UNSIGNED_BYTE, SWIZZLE_NONE},         // PF_BYTE_RGBA32
    {GL_RGBA8, GL_BGRA, GL_UNSIGNED_BYTE, SWIZZLE_NONE},         // PF_BYTE_BGRA32
    {GL_COMPRESSED_RGBA_S3TC_DXT1_EXT, 0, 0, SWIZZLE_NONE},      // PF_DXT1
    {GL_COMPRESSED_RGBA_S3TC_DXT1_EXT, 0, 0, SWIZZLE_NONE},      // PF_DXT1_A
    {GL_COMPRESSED_RGBA_S3TC_DXT3_EXT, 0, 0, SWIZZLE_NONE},      // PF_DXT3
    {GL_COMPRESSED_RGBA_S3TC_DXT5_EXT, 0, 0, SWIZZLE_NONE},      // PF_DXT5
    {GL_R16F, GL_RED, GL_HALF_FLOAT, SWIZZLE_LUMINANCE},         // PF_FLOAT_R16
    {GL_RGB16F, GL_RGB, GL_HALF_FLOAT, SWIZZLE_NONE},            // PF_FLOAT_RGB48
    {GL_RGBA16F, GL_RGBA, GL_HALF_FLOAT, SWIZZLE_NONE},          // PF_FLOAT_RGBA64
    {GL_R32F, GL_RED, GL_FLOAT, SWIZZLE_LUMINANCE},              // PF_FLOAT_R32
    {GL_RGB32F, GL_RGB, GL_FLOAT, SWIZZLE_NONE},                 // PF_FLOAT_RGB96
    {GL_RGBA32F, GL_RGBA, GL_FLOAT, SWIZZLE_NONE},               // PF_FLOAT_RGBA128
    {GL_RGBA16, GL_RGBA, GL_UNSIGNED_SHORT, SWIZZLE_NONE},       // PF_SHORT_RGBA64
    {GL_DEPTH_COMPONENT16, GL_DEPTH_COMPONENT, GL_UNSIGNED_SHORT, SWIZZLE_NONE},  // PF_DEPTH16
    {GL_DEPTH_COMPONENT24, GL_DEPTH_COMPONENT, GL_UNSIGNED_INT, SWIZZLE_NONE},    // PF_DEPTH24
    {GL_DEPTH_COMPONENT32, GL_DEPTH_COMPONENT, GL_UNSIGNED_INT, SWIZZLE_NONE},    // PF_DEPTH32
};

#undef SWIZZLE_LUMINANCE
#undef SWIZZLE_ALPHA
#undef SWIZZLE_LUMINANCE_ALPHA
#undef SWIZZLE_NONE

GLenum targetOf(int type) {
    switch (type) {
        case TT_1D:
            return GL_TEXTURE_1D;
        case TT_3D:
            return GL_TEXTURE_3D;
        case TT_CUBE:
            return GL_TEXTURE_CUBE_MAP;
        default:
            return GL_TEXTURE_2D;
    }
}

uint32_t half(uint32_t value) {
    return value > 1 ? value / 2 : 1;
}

}  // namespace

GLint getGLTextureWrap(int wrap) {
    switch (wrap) {
        case TW_MIRRORED_REPEAT:
            return GL_MIRRORED_REPEAT;
        case TW_CLAMP_TO_EDGE:
            return GL_CLAMP_TO_EDGE;
        default:
            return GL_REPEAT;
    }
}

ScratchTextureBinding::ScratchTextureBinding(GLenum target, GLuint name) : m_target(target) {
    glActiveTexture(kScratchUnit);
    glBindTexture(target, name);
}

ScratchTextureBinding::~ScratchTextureBinding() {
    glBindTexture(m_target, 0);
    glActiveTexture(GL_TEXTURE0);
}

const GLPixelFormat& getGLPixelFormat(PixelFormat format) {
    int index = static_cast<int>(format);
    return kGLFormats[(index >= 0 && index < PF_COUNT) ? index : 0];
}

// ---------------------------------------------------------------- textures

GLTexture::GLTexture(GLRenderDevice& device, const TextureDesc& desc)
    : m_device(device),
      m_usage(desc.usage),
      m_width(std::max(desc.width, 1u)),
      m_height(std::max(desc.height, 1u)),
      m_depth(std::max(desc.depth, 1u)),
      m_type(desc.type),
      m_format(desc.format),
      m_target(targetOf(desc.type)),
      m_dataHasMipmaps(desc.dataHasMipmaps) {
    if (PixelFormatUtil::isCompressed(m_format) && !device.supportsS3TC()) {
        return;
    }
    if (PixelFormatUtil::isFloat(m_format) && !device.supportsFloatTextures()) {
        Log::get() << "GLTexture::GLTexture: current video card does not support floating "
                      "point textures\n";
        return;
    }
    uint32_t levels =
        renderdeviceutil::getMaxMipCount(m_width, m_height, m_type == TT_3D ? m_depth : 1);
    m_mipCount = std::min(levels, desc.mipCount);

    // Errors left by earlier calls are theirs, not this texture's.
    device.checkGLError("a call before GLTexture::GLTexture");
    glGenTextures(1, &m_name);
    ScratchTextureBinding binding(m_target, m_name);
    glTexParameteri(m_target, GL_TEXTURE_BASE_LEVEL, 0);
    glTexParameteri(m_target, GL_TEXTURE_MAX_LEVEL, static_cast<GLint>(m_mipCount));
    const GLPixelFormat& gl = getGLPixelFormat(m_format);
    if (gl.swizzled) {
        glTexParameteriv(m_target, GL_TEXTURE_SWIZZLE_RGBA, gl.swizzle);
    }
    if (!desc.data || !(m_mipCount == 0 || desc.dataHasMipmaps)) {
        allocateLevels();
    }
    if (desc.data) {
        upload(desc.data, desc.rowLength, desc.sliceSize);
    }
    setFilters(desc);
    if (PixelFormatUtil::isDepth(m_format)) {
        glTexParameteri(m_target, GL_TEXTURE_COMPARE_MODE, GL_COMPARE_REF_TO_TEXTURE);
        glTexParameteri(m_target, GL_TEXTURE_COMPARE_FUNC, GL_LEQUAL);
    }
    // A texture the driver refused (too large, out of memory) keeps no GL
    // name and counts no memory, as one the hardware cannot hold at all.
    if (!device.checkGLError("GLTexture::GLTexture")) {
        glDeleteTextures(1, &m_name);
        m_name = 0;
        return;
    }

    // Real bytes of every level and face.
    uint32_t w = m_width;
    uint32_t h = m_height;
    uint32_t d = m_type == TT_3D ? m_depth : 1;
    for (uint32_t level = 0; level <= m_mipCount; ++level) {
        m_memorySize += PixelFormatUtil::getMemorySize(w, h, m_format, d) * getFaceCount();
        w = half(w);
        h = half(h);
        d = half(d);
    }
    GLRenderDevice::s_textureMemory += static_cast<int>(m_memorySize);
}

GLTexture::~GLTexture() {
    m_device.onTextureDestroyed(this);
    if (m_name) {
        glDeleteTextures(1, &m_name);
        GLRenderDevice::s_textureMemory -= static_cast<int>(m_memorySize);
    }
}

GLenum GLTexture::getFaceTarget(int face) const {
    if (m_type == TT_CUBE) {
        return GL_TEXTURE_CUBE_MAP_POSITIVE_X + std::clamp(face, 0, 5);
    }
    return m_target;
}

void GLTexture::uploadLevel(int level, int face, uint32_t w, uint32_t h, uint32_t d,
                            const void* data) {
    const GLPixelFormat& gl = getGLPixelFormat(m_format);
    GLenum target = getFaceTarget(face);
    bool compressed = PixelFormatUtil::isCompressed(m_format);
    GLenum format = gl.format;
    GLenum type = gl.type;
    if (!data && isRenderTarget() && !PixelFormatUtil::isDepth(m_format)) {
        format = GL_RGBA;
        type = GL_UNSIGNED_BYTE;
    }
    if (compressed) {
        GLsizei size = static_cast<GLsizei>(PixelFormatUtil::getMemorySize(w, h, m_format, 1));
        if (m_target == GL_TEXTURE_3D) {
            glCompressedTexImage3D(target, level, gl.internalFormat, w, h, d, 0, size * d, data);
        } else if (m_target == GL_TEXTURE_1D) {
            glCompressedTexImage1D(target, level, gl.internalFormat, w, 0, size, data);
        } else {
            glCompressedTexImage2D(target, level, gl.internalFormat, w, h, 0, size, data);
        }
        return;
    }
    if (format == 0) {
        format = GL_RGBA;
        type = GL_UNSIGNED_BYTE;
    }
    if (m_target == GL_TEXTURE_3D) {
        glTexImage3D(target, level, gl.internalFormat, w, h, d, 0, format, type, data);
    } else if (m_target == GL_TEXTURE_1D) {
        glTexImage1D(target, level, gl.internalFormat, w, 0, format, type, data);
    } else {
        glTexImage2D(target, level, gl.internalFormat, w, h, 0, format, type, data);
    }
}

void GLTexture::allocateLevels() {
    uint32_t w = m_width;
    uint32_t h = m_height;
    uint32_t d = m_depth;
    for (uint32_t level = 0; level <= m_mipCount; ++level) {
        for (int face = 0; face < getFaceCount(); ++face) {
            uploadLevel(static_cast<int>(level), face, w, h, d, nullptr);
        }
        w = half(w);
        h = half(h);
        d = half(d);
    }
}

void GLTexture::upload(const void* data, uint32_t rowLength, uint32_t sliceSize) {
    bool compressed = PixelFormatUtil::isCompressed(m_format);
    bool generate = m_mipCount > 0 && !m_dataHasMipmaps;
    uint32_t lastLevel = generate ? 0 : m_mipCount;
    uint32_t bytesPerPixel = PixelFormatUtil::getBytesPerPixel(m_format);
    rowLength = rowLength ? rowLength : m_width;
    sliceSize = sliceSize ? sliceSize : rowLength * m_height;
    const uint8_t* source = static_cast<const uint8_t*>(data);

    bool setRowLength = !compressed && rowLength != m_width;
    bool setImageHeight = !compressed && sliceSize != m_width * m_height;
    uint32_t w = m_width;
    uint32_t h = m_height;
    uint32_t d = m_depth;
    for (uint32_t level = 0; level <= lastLevel; ++level) {
        // Level 0 may have its own pitch; smaller levels are packed.
        uint32_t pitch = level == 0 ? rowLength : w;
        uint32_t rows = level == 0 ? sliceSize / pitch : h;
        if (!compressed) {
            if (level == 0 && setRowLength) {
                glPixelStorei(GL_UNPACK_ROW_LENGTH, static_cast<GLint>(pitch));
            }
            if (level == 0 && setImageHeight) {
                glPixelStorei(GL_UNPACK_IMAGE_HEIGHT, static_cast<GLint>(rows));
            }
            bool aligned = (pitch * bytesPerPixel) % 4 == 0;
            glPixelStorei(GL_UNPACK_ALIGNMENT, aligned ? 4 : 1);
        }
        uint32_t faceBytes = compressed ? PixelFormatUtil::getMemorySize(w, h, m_format, 1) *
                                              (m_target == GL_TEXTURE_3D ? d : 1)
                                        : pitch * rows * bytesPerPixel * d;
        for (int face = 0; face < getFaceCount(); ++face) {
            uploadLevel(static_cast<int>(level), face, w, h, d, source);
            source += faceBytes;
        }
        if (level == 0 && (setRowLength || setImageHeight)) {
            glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
            glPixelStorei(GL_UNPACK_IMAGE_HEIGHT, 0);
        }
        w = half(w);
        h = half(h);
        d = half(d);
    }
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    if (generate) {
        glGenerateMipmap(m_target);
    }
}

void GLTexture::setFilters(const TextureDesc& desc) {
    GLint minFilter = GL_NEAREST;
    bool minPoint = desc.minFilter == TF_NONE || desc.minFilter == TF_POINT;
    bool minLinear = desc.minFilter == TF_LINEAR || desc.minFilter == TF_ANISOTROPIC;
    bool mipPoint = desc.mipFilter == TF_POINT;
    bool mipLinear = desc.mipFilter == TF_LINEAR || desc.mipFilter == TF_ANISOTROPIC;
    if (minPoint) {
        minFilter = mipPoint    ? GL_NEAREST_MIPMAP_NEAREST
                    : mipLinear ? GL_NEAREST_MIPMAP_LINEAR
                                : GL_NEAREST;
    } else if (minLinear) {
        minFilter = mipPoint    ? GL_LINEAR_MIPMAP_NEAREST
                    : mipLinear ? GL_LINEAR_MIPMAP_LINEAR
                                : GL_LINEAR;
    }
    glTexParameteri(m_target, GL_TEXTURE_MIN_FILTER, minFilter);
    if (desc.magFilter == TF_NONE || desc.magFilter == TF_POINT) {
        glTexParameteri(m_target, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    } else if (desc.magFilter <= TF_ANISOTROPIC) {
        glTexParameteri(m_target, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    }
    glTexParameteri(m_target, GL_TEXTURE_WRAP_S, getGLTextureWrap(desc.wrapS));
    glTexParameteri(m_target, GL_TEXTURE_WRAP_T, getGLTextureWrap(desc.wrapT));
    if (m_target == GL_TEXTURE_3D) {
        glTexParameteri(m_target, GL_TEXTURE_WRAP_R, getGLTextureWrap(desc.wrapR));
    }
    bool anisotropic = desc.minFilter == TF_ANISOTROPIC || desc.magFilter == TF_ANISOTROPIC;
    if (anisotropic && m_device.getMaxAnisotropy() > 1.0f) {
        glTexParameterf(m_target, GL_TEXTURE_MAX_ANISOTROPY_EXT,
                        std::min(desc.maxAnisotropy, m_device.getMaxAnisotropy()));
    }
}

void GLTexture::lock(LockMode mode) {
    m_locked = true;
    m_lockMode = mode;
}

void GLTexture::unlock(const void* buffer) {
    if (m_locked && m_lockMode != LOCK_READ_ONLY && m_name && buffer) {
        ScratchTextureBinding binding(m_target, m_name);
        upload(buffer, 0, 0);
        m_device.checkGLError("GLTexture::unlock");
    }
    m_locked = false;
}

void GLTexture::readBack(void* buffer, int face) {
    if (!m_name || !buffer) {
        return;
    }
    ScratchTextureBinding binding(m_target, m_name);
    GLenum target = getFaceTarget(face);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    if (PixelFormatUtil::isCompressed(m_format)) {
        glGetCompressedTexImage(target, 0, buffer);
    } else if (PixelFormatUtil::isDepth(m_format)) {
        size_t count = size_t(m_width) * m_height * (m_target == GL_TEXTURE_3D ? m_depth : 1);
        std::vector<float> depth(count);
        glGetTexImage(target, 0, GL_DEPTH_COMPONENT, GL_FLOAT, depth.data());
        uint8_t* out = static_cast<uint8_t*>(buffer);
        for (size_t i = 0; i < count; ++i) {
            uint8_t value = static_cast<uint8_t>(std::clamp(depth[i], 0.0f, 1.0f) * 255.0f + 0.5f);
            out[3 * i] = out[3 * i + 1] = out[3 * i + 2] = value;
        }
    } else {
        glGetTexImage(target, 0, GL_RGB, GL_UNSIGNED_BYTE, buffer);
        // Swizzles do not apply to read-back: rebuild what the texture shows.
        const GLPixelFormat& gl = getGLPixelFormat(m_format);
        const GLint* swizzle = gl.swizzle;
        if (gl.swizzled) {
            size_t count = size_t(m_width) * m_height * (m_target == GL_TEXTURE_3D ? m_depth : 1);
            uint8_t* out = static_cast<uint8_t*>(buffer);
            bool alphaOnly = swizzle[0] == GL_ZERO;
            for (size_t i = 0; i < count; ++i) {
                uint8_t value = alphaOnly ? 0 : out[3 * i];
                out[3 * i] = out[3 * i + 1] = out[3 * i + 2] = value;
            }
        }
    }
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    m_device.checkGLError("GLTexture::readBack");
}

// ---------------------------------------------------------------- buffers

GLenum GLBufferStorage::getGLUsage(uint32_t usage) {
    if (usage == BU_STATIC || usage == (BU_STATIC | BU_WRITE_ONLY)) {
        return GL_STATIC_DRAW;
    }
    if (usage == (BU_DYNAMIC | BU_WRITE_ONLY | BU_DISCARDABLE)) {
        return GL_STREAM_DRAW;
    }
    return GL_DYNAMIC_DRAW;
}

GLBufferStorage::GLBufferStorage(uint32_t size, const void* data, uint32_t usage)
    : m_size(size), m_usage(usage) {
    glGenBuffers(1, &m_name);
    glBindBuffer(GL_COPY_WRITE_BUFFER, m_name);
    glBufferData(GL_COPY_WRITE_BUFFER, size, data, getGLUsage(usage));
}

GLBufferStorage::~GLBufferStorage() {
    if (m_locked) {
        glBindBuffer(GL_COPY_WRITE_BUFFER, m_name);
        glUnmapBuffer(GL_COPY_WRITE_BUFFER);
    }
    glDeleteBuffers(1, &m_name);
}

bool GLBufferStorage::inRange(uint32_t offset, uint32_t length) const {
    return offset <= m_size && length <= m_size - offset;
}

void* GLBufferStorage::lock(uint32_t offset, uint32_t length, LockMode mode) {
    if (m_locked) {
        return nullptr;
    }
    if (length == 0 && offset < m_size) {
        length = m_size - offset;
    }
    if (length == 0 || !inRange(offset, length)) {
        return nullptr;
    }
    glBindBuffer(GL_COPY_WRITE_BUFFER, m_name);
    bool writeOnly = (m_usage & (BU_WRITE_ONLY | BU_DISCARDABLE)) != 0;
    GLbitfield access = 0;
    switch (mode) {
        case LOCK_READ_ONLY:
            access = GL_MAP_READ_BIT;
            break;
        case LOCK_DISCARD:
            access = GL_MAP_WRITE_BIT | GL_MAP_INVALIDATE_BUFFER_BIT;
            break;
        case LOCK_NO_OVERWRITE:
            access = GL_MAP_WRITE_BIT | GL_MAP_UNSYNCHRONIZED_BIT;
            break;
        default:
            access = writeOnly ? GL_MAP_WRITE_BIT : (GL_MAP_READ_BIT | GL_MAP_WRITE_BIT);
            break;
    }
    void* pointer = glMapBufferRange(GL_COPY_WRITE_BUFFER, offset, length, access);
    m_locked = pointer != nullptr;
    return pointer;
}

bool GLBufferStorage::unlock() {
    if (!m_locked) {
        return true;
    }
    glBindBuffer(GL_COPY_WRITE_BUFFER, m_name);
    m_locked = false;
    return glUnmapBuffer(GL_COPY_WRITE_BUFFER) == GL_TRUE;
}

void GLBufferStorage::read(uint32_t offset, uint32_t length, void* destination) {
    if (!destination || m_locked || !inRange(offset, length)) {
        return;
    }
    glBindBuffer(GL_COPY_WRITE_BUFFER, m_name);
    glGetBufferSubData(GL_COPY_WRITE_BUFFER, offset, length, destination);
}

void GLBufferStorage::write(uint32_t offset, uint32_t length, const void* source, bool discard,
                            bool wholeRewriteReallocates) {
    if (!source || m_locked || !inRange(offset, length)) {
        return;
    }
    glBindBuffer(GL_COPY_WRITE_BUFFER, m_name);
    if (wholeRewriteReallocates && offset == 0 && length == m_size) {
        glBufferData(GL_COPY_WRITE_BUFFER, m_size, source, getGLUsage(m_usage));
        return;
    }
    if (discard) {
        glBufferData(GL_COPY_WRITE_BUFFER, m_size, nullptr, getGLUsage(m_usage));
    }
    glBufferSubData(GL_COPY_WRITE_BUFFER, offset, length, source);
}

GLVertexBuffer::GLVertexBuffer(GLRenderDevice& device, uint32_t size, const void* data,
                               uint32_t usage)
    : m_device(device), m_storage(size, data, usage) {
    GLRenderDevice::s_vertexBufferMemory += static_cast<int>(size);
}

GLVertexBuffer::~GLVertexBuffer() {
    m_device.onVertexBufferDestroyed(this);
    GLRenderDevice::s_vertexBufferMemory -= static_cast<int>(m_storage.getSize());
}

void GLVertexBuffer::unlock() {
    if (!m_storage.unlock()) {
        Log::get() << "Failed to unlock vertex buffer";
    }
}

GLIndexBuffer::GLIndexBuffer(GLRenderDevice& device, uint32_t size, const void* data,
                             uint32_t usage, bool use32Bit)
    : m_device(device), m_storage(size, data, usage), m_32Bit(use32Bit) {
    GLRenderDevice::s_indexBufferMemory += static_cast<int>(size);
}

GLIndexBuffer::~GLIndexBuffer() {
    m_device.onIndexBufferDestroyed(this);
    GLRenderDevice::s_indexBufferMemory -= static_cast<int>(m_storage.getSize());
}

void GLIndexBuffer::unlock() {
    if (!m_storage.unlock()) {
        Log::get() << "Failed to unlock index buffer";
    }
}

// ---------------------------------------------------------------- declarations

GLVertexDeclaration::GLVertexDeclaration(GLRenderDevice& device, const VertexDeclarationDesc& desc)
    : m_device(device), m_numStreams(std::clamp(desc.numStreams, 1, 4)) {
    using namespace shaderinterface;
    auto add = [&](GLuint location, VertexElementType type, int stream, bool colour) {
        int components = getVertexElementComponents(type);
        if (components == 0 || location >= kNumAttributes) {
            return;
        }
        stream = std::clamp(stream, 0, m_numStreams - 1);
        GLenum glType = GL_FLOAT;
        bool normalised = false;
        switch (type) {
            case VET_SHORT2:
            case VET_SHORT4:
                glType = GL_SHORT;
                break;
            case VET_SHORT2N:
            case VET_SHORT4N:
                glType = GL_SHORT;
                normalised = true;
                break;
            case VET_UBYTE4N:
                glType = GL_UNSIGNED_BYTE;
                normalised = true;
                break;
            case VET_COLOUR:
            case VET_UBYTE4:
                glType = GL_UNSIGNED_BYTE;
                // Byte colour arrays always reach shaders as 0..1.
                normalised = colour;
                break;
            default:
                break;
        }
        m_attributes.push_back(Attribute{location, components, glType,
                                         static_cast<GLboolean>(normalised ? GL_TRUE : GL_FALSE),
                                         stream, static_cast<uintptr_t>(m_strides[stream]),
                                         ((desc.instanceStreams >> stream) & 1u) != 0});
        m_strides[stream] += getVertexElementSize(type);
        m_usesColour = m_usesColour || location == kAttribColor0;
    };
    add(kAttribPosition, desc.position.type, desc.position.stream, false);
    add(kAttribBlendWeight, desc.blendWeights.type, desc.blendWeights.stream, false);
    add(kAttribNormal, desc.normal.type, desc.normal.stream, false);
    add(kAttribColor0, desc.diffuse.type, desc.diffuse.stream, true);
    add(kAttribColor1, desc.specular.type, desc.specular.stream, true);
    add(kAttribBlendIndices, desc.blendIndices.type, desc.blendIndices.stream, false);
    for (int i = 0; i < 4 && desc.texCoords[i].type != VET_NONE; ++i) {
        add(kAttribTexCoord0 + i, desc.texCoords[i].type, desc.texCoords[i].stream, false);
    }
    add(kAttribTangent, desc.tangent.type, desc.tangent.stream, false);
    add(kAttribBinormal, desc.binormal.type, desc.binormal.stream, false);
    for (int i = 0; i < 4 && desc.generic[i].type != VET_NONE; ++i) {
        if (desc.generic[i].attribute >= 0) {
            add(static_cast<GLuint>(desc.generic[i].attribute), desc.generic[i].type,
                desc.generic[i].stream, false);
        }
    }
}

GLVertexDeclaration::~GLVertexDeclaration() {
    m_device.onDeclarationDestroyed(this);
}

int GLVertexDeclaration::getStreamStride(int stream) const {
    return (stream >= 0 && stream < m_numStreams) ? m_strides[stream] : 0;
}

// ---------------------------------------------------------------- shaders

GLShader::GLShader(GLRenderDevice& device, bool fragment, GLuint shader, int numRegisters)
    : m_device(device),
      m_fragment(fragment),
      m_shader(shader),
      m_registers(static_cast<size_t>(std::max(numRegisters, 0)) * 4, 0.0f) {}

GLShader::~GLShader() {
    m_device.onShaderDestroyed(this);
    glDeleteShader(m_shader);
}

std::unique_ptr<IShaderParameters> GLShader::createParameters() {
    auto parameters = std::make_unique<ShaderParameters>(m_map);
    parameters->setTransposeMatrices(true);
    return parameters;
}

void GLShader::setSamplerList(const std::vector<std::string>& samplers) {
    m_map.clearSamplers();
    for (const auto& name : samplers) {
        m_map.addSampler(name);
    }
}

void GLShader::setRegisters(int index, const float* v, int count) {
    int total = getNumRegisters();
    if (!v || index < 0 || count <= 0 || index >= total) {
        return;
    }
    count = std::min(count, total - index);
    std::memcpy(&m_registers[size_t(index) * 4], v, sizeof(float) * 4 * count);
    ++m_registerVersion;
}

void GLShader::setLocalParameter(int index, const float* v) {
    setRegisters(index, v, 1);
}

void GLShader::applyParameters(const IShaderParameters& parameters) {
    // Blocks of this backend are ShaderParameters, made by a GLShader.
    const auto& block = static_cast<const ShaderParameters&>(parameters);
    const auto& entries = block.getEntries();
    size_t count = std::min(entries.size(), m_registers.size() / 4);
    for (size_t i = 0; i < count; ++i) {
        if (entries[i].set) {
            std::memcpy(&m_registers[i * 4], entries[i].value, sizeof(entries[i].value));
        }
    }
    ++m_registerVersion;
}
