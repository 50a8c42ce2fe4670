#pragma once
// GPU resources created by the render device. Each is owned by whoever asked
// for it and destroyed through its virtual destructor; it must not outlive the
// device.

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "base/device/RenderTypes.h"

class ITextureObject {
public:
    virtual ~ITextureObject() = default;
    virtual int getType() const = 0;
    virtual PixelFormat getFormat() const = 0;
    virtual uint32_t getWidth() const = 0;
    virtual uint32_t getHeight() const = 0;
    virtual uint32_t getDepth() const = 0;
    // Mip levels beyond the base that the texture has.
    virtual uint32_t getMipCount() const = 0;
    virtual int getFaceCount() const = 0;  // 6 for cube maps, else 1
    virtual void lock(LockMode mode) = 0;
    // Unless locked read-only, uploads the whole base level and its mips
    // from the buffer, laid out as at creation.
    virtual void unlock(const void* buffer) = 0;
    // Base level of a face: compressed formats as compressed data, every
    // other format as 8-bit RGB.
    virtual void readBack(void* buffer, int face) = 0;
    virtual uint32_t getMemorySize() const = 0;
    // False when the driver could not make the texture (no GL object).
    virtual bool isValid() const = 0;
};

class IVertexBuffer {
public:
    virtual ~IVertexBuffer() = default;
    // A pointer to `length` bytes at `offset` (length 0: to the end), or
    // null when the mapping failed.
    virtual void* lock(uint32_t offset, uint32_t length, LockMode mode) = 0;
    virtual void unlock() = 0;
    virtual bool isLocked() const = 0;
    virtual void read(uint32_t offset, uint32_t length, void* destination) = 0;
    virtual void write(uint32_t offset, uint32_t length, const void* source, bool discard) = 0;
    virtual uint32_t getSize() const = 0;
};

class IIndexBuffer {
public:
    virtual ~IIndexBuffer() = default;
    virtual void* lock(uint32_t offset, uint32_t length, LockMode mode) = 0;
    virtual void unlock() = 0;
    virtual bool isLocked() const = 0;
    virtual void read(uint32_t offset, uint32_t length, void* destination) = 0;
    virtual void write(uint32_t offset, uint32_t length, const void* source, bool discard) = 0;
    virtual uint32_t getSize() const = 0;
    virtual bool is32Bit() const = 0;
};

class IVertexDeclaration {
public:
    virtual ~IVertexDeclaration() = default;
    // Sum of the element sizes of a stream; 0 beyond the stream count.
    virtual int getStreamStride(int stream) const = 0;
    virtual int getNumStreams() const = 0;
};

using ShaderParameterList = std::vector<std::pair<std::string, int>>;

class IShaderParameters {
public:
    virtual ~IShaderParameters() = default;
    // By-name setters return the register index, or the negative lookup
    // result unchanged when the name is unknown.
    virtual int setVector(const char* name, const float* v) = 0;
    virtual void setVector(int index, const float* v) = 0;
    virtual int setVectorArray(const char* name, const float* v, int count) = 0;
    virtual void setVectorArray(int index, const float* v, int count) = 0;
    virtual int setMatrix(const char* name, const float* m) = 0;
    virtual void setMatrix(int index, const float* m) = 0;
    virtual int setMatrixArray(const char* name, const float* m, int count) = 0;
    virtual void setMatrixArray(int index, const float* m, int count) = 0;
    // A second table of the same shapes, kept but never applied.
    virtual int setSecondaryVector(const char* name, const float* v) = 0;
    virtual void setSecondaryVector(int index, const float* v) = 0;
    virtual int setSecondaryVectorArray(const char* name, const float* v, int count) = 0;
    virtual void setSecondaryVectorArray(int index, const float* v, int count) = 0;
    virtual void setTransposeMatrices(bool transpose) = 0;
    virtual bool getTransposeMatrices() const = 0;
    virtual int getIndex(const char* name) const = 0;
    virtual const ShaderParameterList& getParameters() const = 0;
    virtual const std::vector<std::string>& getSamplerNames() const = 0;
};

class IShaderObject {
public:
    virtual ~IShaderObject() = default;
    virtual int getParameterIndex(const char* name) const = 0;
    // A block for this shader; it must not outlive the shader.
    virtual std::unique_ptr<IShaderParameters> createParameters() = 0;
    virtual void setParameterMap(const ShaderParameterList& parameters) = 0;
    virtual void setSamplerList(const std::vector<std::string>& samplers) = 0;
    virtual void addParameter(const char* name, int index) = 0;
    virtual void addSampler(const char* name) = 0;
    virtual void setLocalParameter(int index, const float* v) = 0;
    virtual void applyParameters(const IShaderParameters& parameters) = 0;
    virtual bool isFragment() const = 0;
};
