#pragma once
// OpenGL GPU resources: textures, vertex and index buffers, vertex
// declarations and shader stages.

#include <epoxy/gl.h>

#include <cstdint>
#include <string>
#include <vector>

#include "base/device/IGpuResources.h"
#include "base/device/ShaderParameters.h"

class GLRenderDevice;

// How a pixel format lives in a core-profile texture. Luminance and alpha
// formats are red / red-green textures read through a swizzle.
struct GLPixelFormat {
    GLint internalFormat;
    GLenum format;  // 0 for compressed and unknown formats
    GLenum type;
    bool swizzled;  // luminance or alpha read through the swizzle
    GLint swizzle[4];
};
const GLPixelFormat& getGLPixelFormat(PixelFormat format);

// The GL wrap mode of a TW_ value (GL_REPEAT for unknown values).
GLint getGLTextureWrap(int wrap);

// Binds a texture for resource work on a unit the device never hands out,
// so that the mirrored bindings of the drawing units stay valid; the active
// unit is GL_TEXTURE0 again afterwards.
class ScratchTextureBinding {
public:
    static constexpr GLenum kScratchUnit = GL_TEXTURE0 + 15;
    ScratchTextureBinding(GLenum target, GLuint name);
    ~ScratchTextureBinding();
    ScratchTextureBinding(const ScratchTextureBinding&) = delete;
    ScratchTextureBinding& operator=(const ScratchTextureBinding&) = delete;

private:
    GLenum m_target;
};

class GLTexture : public ITextureObject {
public:
    GLTexture(GLRenderDevice& device, const TextureDesc& desc);
    ~GLTexture() override;

    int getType() const override { return m_type; }
    PixelFormat getFormat() const override { return m_format; }
    uint32_t getWidth() const override { return m_width; }
    uint32_t getHeight() const override { return m_height; }
    uint32_t getDepth() const override { return m_depth; }
    uint32_t getMipCount() const override { return m_mipCount; }
    int getFaceCount() const override { return m_type == TT_CUBE ? 6 : 1; }
    void lock(LockMode mode) override;
    void unlock(const void* buffer) override;
    void readBack(void* buffer, int face) override;
    uint32_t getMemorySize() const override { return m_memorySize; }
    bool isValid() const override { return m_name != 0; }

    uint32_t getUsage() const { return m_usage; }
    bool isRenderTarget() const { return (m_usage & BU_RENDER_TARGET) != 0; }
    GLenum getTarget() const { return m_target; }
    GLuint getName() const { return m_name; }
    // The GL target of one face (cube faces have their own).
    GLenum getFaceTarget(int face) const;

private:
    void allocateLevels();
    void upload(const void* data, uint32_t rowLength, uint32_t sliceSize);
    void uploadLevel(int level, int face, uint32_t w, uint32_t h, uint32_t d, const void* data);
    void setFilters(const TextureDesc& desc);

    GLRenderDevice& m_device;
    uint32_t m_usage;
    uint32_t m_width;
    uint32_t m_height;
    uint32_t m_depth;
    uint32_t m_mipCount = 0;
    int m_type;
    PixelFormat m_format;
    GLenum m_target;
    GLuint m_name = 0;
    bool m_dataHasMipmaps = false;
    bool m_locked = false;
    LockMode m_lockMode = LOCK_NORMAL;
    uint32_t m_memorySize = 0;
};

// Storage shared by vertex and index buffers. Resource work binds the
// buffer to GL_COPY_WRITE_BUFFER so that the vertex-array bindings the
// device mirrors stay as they are.
class GLBufferStorage {
public:
    GLBufferStorage(uint32_t size, const void* data, uint32_t usage);
    ~GLBufferStorage();
    void* lock(uint32_t offset, uint32_t length, LockMode mode);
    bool unlock();
    void read(uint32_t offset, uint32_t length, void* destination);
    void write(uint32_t offset, uint32_t length, const void* source, bool discard,
               bool wholeRewriteReallocates);
    GLuint getName() const { return m_name; }
    uint32_t getSize() const { return m_size; }
    bool isLocked() const { return m_locked; }
    static GLenum getGLUsage(uint32_t usage);

private:
    bool inRange(uint32_t offset, uint32_t length) const;

    GLuint m_name = 0;
    uint32_t m_size;
    uint32_t m_usage;
    bool m_locked = false;
};

class GLVertexBuffer : public IVertexBuffer {
public:
    GLVertexBuffer(GLRenderDevice& device, uint32_t size, const void* data, uint32_t usage);
    ~GLVertexBuffer() override;
    void* lock(uint32_t offset, uint32_t length, LockMode mode) override {
        return m_storage.lock(offset, length, mode);
    }
    void unlock() override;
    bool isLocked() const override { return m_storage.isLocked(); }
    void read(uint32_t offset, uint32_t length, void* destination) override {
        m_storage.read(offset, length, destination);
    }
    void write(uint32_t offset, uint32_t length, const void* source, bool discard) override {
        m_storage.write(offset, length, source, discard, true);
    }
    uint32_t getSize() const override { return m_storage.getSize(); }
    GLuint getName() const { return m_storage.getName(); }

private:
    GLRenderDevice& m_device;
    GLBufferStorage m_storage;
};

class GLIndexBuffer : public IIndexBuffer {
public:
    GLIndexBuffer(GLRenderDevice& device, uint32_t size, const void* data, uint32_t usage,
                  bool use32Bit);
    ~GLIndexBuffer() override;
    void* lock(uint32_t offset, uint32_t length, LockMode mode) override {
        return m_storage.lock(offset, length, mode);
    }
    void unlock() override;
    bool isLocked() const override { return m_storage.isLocked(); }
    void read(uint32_t offset, uint32_t length, void* destination) override {
        m_storage.read(offset, length, destination);
    }
    void write(uint32_t offset, uint32_t length, const void* source, bool discard) override {
        m_storage.write(offset, length, source, discard, false);
    }
    uint32_t getSize() const override { return m_storage.getSize(); }
    bool is32Bit() const override { return m_32Bit; }
    GLuint getName() const { return m_storage.getName(); }
    GLenum getIndexType() const { return m_32Bit ? GL_UNSIGNED_INT : GL_UNSIGNED_SHORT; }
    uint32_t getIndexSize() const { return m_32Bit ? 4 : 2; }

private:
    GLRenderDevice& m_device;
    GLBufferStorage m_storage;
    bool m_32Bit;
};

class GLVertexDeclaration : public IVertexDeclaration {
public:
    struct Attribute {
        GLuint location;
        GLint components;
        GLenum type;
        GLboolean normalised;
        int stream;
        uintptr_t offset;
        // Advances once per instance.
        bool perInstance;
    };

    GLVertexDeclaration(GLRenderDevice& device, const VertexDeclarationDesc& desc);
    ~GLVertexDeclaration() override;
    int getStreamStride(int stream) const override;
    int getNumStreams() const override { return m_numStreams; }
    const std::vector<Attribute>& getAttributes() const { return m_attributes; }
    bool usesColour() const { return m_usesColour; }

private:
    GLRenderDevice& m_device;
    int m_numStreams;
    int m_strides[4] = {0, 0, 0, 0};
    std::vector<Attribute> m_attributes;
    bool m_usesColour = false;
};

// One compiled shader stage with its parameter registers. A vertex and a
// fragment stage are linked into a program by the device on first use of
// the pair.
class GLShader : public IShaderObject {
public:
    struct Sampler {
        std::string glslName;
        int unit;
    };

    GLShader(GLRenderDevice& device, bool fragment, GLuint shader, int numRegisters);
    ~GLShader() override;

    int getParameterIndex(const char* name) const override { return m_map.getIndex(name); }
    std::unique_ptr<IShaderParameters> createParameters() override;
    void setParameterMap(const ShaderParameterList& parameters) override {
        m_map.setParameters(parameters);
    }
    void setSamplerList(const std::vector<std::string>& samplers) override;
    void addParameter(const char* name, int index) override { m_map.addParameter(name, index); }
    void addSampler(const char* name) override { m_map.addSampler(name); }
    void setLocalParameter(int index, const float* v) override;
    void applyParameters(const IShaderParameters& parameters) override;
    bool isFragment() const override { return m_fragment; }

    void setRegisters(int index, const float* v, int count);
    void addGLSampler(const std::string& glslName, int unit) {
        m_glSamplers.push_back({glslName, unit});
    }
    GLuint getGLShader() const { return m_shader; }
    const std::vector<float>& getRegisters() const { return m_registers; }
    int getNumRegisters() const { return static_cast<int>(m_registers.size() / 4); }
    // Counts changes of the registers so that each linked program uploads
    // them only when they changed since its last upload.
    uint64_t getRegisterVersion() const { return m_registerVersion; }
    const std::vector<Sampler>& getGLSamplers() const { return m_glSamplers; }

private:
    GLRenderDevice& m_device;
    bool m_fragment;
    GLuint m_shader;
    ShaderParameterMap m_map;
    std::vector<Sampler> m_glSamplers;
    std::vector<float> m_registers;
    uint64_t m_registerVersion = 1;
};
