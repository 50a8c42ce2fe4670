#pragma once
// The one object through which the engine talks to the graphics hardware. It
// owns the GL context (through the main window), mirrors the state the
// renderer changes so that repeated settings cost nothing, creates the GPU
// resources and issues the draws. Main thread only.

#include <cstdint>
#include <memory>
#include <string>

#include "base/device/IGpuResources.h"
#include "base/device/IRenderTarget.h"
#include "base/device/RenderTypes.h"

class IRenderDevice {
public:
    virtual ~IRenderDevice() = default;

    // Opens the video system and lists the display modes.
    virtual bool init(bool verbose) = 0;
    // RenderDeviceError of the last factory call.
    virtual int getLastError() const = 0;

    // Matrices, column-major 4×4.
    virtual void setModelMatrix(const float* m) = 0;
    virtual const float* getModelMatrix() const = 0;
    virtual void setViewMatrix(const float* m) = 0;
    virtual const float* getViewMatrix() const = 0;
    virtual void setProjectionMatrix(const float* m) = 0;
    virtual const float* getProjectionMatrix() const = 0;

    // Rectangles with y measured from the top of the current target.
    virtual void setScissor(int x, int y, int width, int height) = 0;
    virtual void resetScissor() = 0;
    virtual void setViewport(int x, int y, int width, int height) = 0;
    // As stored: x, y from the bottom (GL convention), width, height.
    virtual void getViewport(int* viewport) const = 0;

    virtual void enableDepthTest() = 0;
    virtual void disableDepthTest() = 0;
    virtual void setDepthFunction(CompareFunction function) = 0;
    virtual CompareFunction getDepthFunction() const = 0;
    virtual void enableDepthWrite() = 0;
    virtual void disableDepthWrite() = 0;
    virtual void setColourWriteMask(bool r, bool g, bool b, bool a) = 0;
    // Always switches alpha testing off.
    virtual void setAlphaTest(CompareFunction function, float reference) = 0;

    virtual bool hasStencil() const = 0;
    virtual bool hasTwoSidedStencil() const = 0;
    virtual bool hasStencilWrap() const = 0;
    virtual int getStencilBits() const = 0;
    virtual void enableStencilTest() = 0;
    virtual void disableStencilTest() = 0;
    virtual void setStencilState(CompareFunction function, int reference, uint32_t mask,
                                 StencilOperation fail, StencilOperation depthFail,
                                 StencilOperation pass, bool twoSided) = 0;

    virtual int getMaxClipPlanes() const = 0;
    virtual void enableClipPlane(int index) = 0;
    virtual void disableClipPlane(int index) = 0;
    // Plane (a, b, c, d) keeps points with a·x + b·y + c·z − d >= 0, given
    // in the space of the current model and view matrices.
    virtual void setClipPlane(int index, const float* plane) = 0;

    virtual bool supportsMipmapGeneration() const = 0;
    virtual bool supportsFloatTextures() const = 0;
    virtual bool supportsS3TC() const = 0;
    virtual bool supportsVTC() const = 0;
    virtual bool supportsNonPowerOfTwo() const = 0;
    virtual bool supportsFramebufferObjects() const = 0;
    virtual int getTextureUnitCount() const = 0;
    virtual int getMaxTextureSize() const = 0;
    virtual float getMaxAnisotropy() const = 0;

    virtual void setTextureWrap(int unit, int s, int t, int r) = 0;
    virtual void bindTexture(int unit, ITextureObject* texture) = 0;
    virtual ITextureObject* getBoundTexture(int unit) const = 0;
    virtual void setTextureMatrix(int unit, const float* m) = 0;
    virtual const float* getTextureMatrix(int unit) const = 0;

    virtual int getMaxDrawBuffers() const = 0;
    virtual bool supportsDepthTextures() const = 0;
    // The first candidate the render-target probe found usable, PF_UNKNOWN
    // when none.
    virtual PixelFormat getFirstSupportedRenderTextureFormat(const PixelFormat* candidates,
                                                             int count) const = 0;
    // Null means the main window.
    virtual void setRenderTarget(IRenderTarget* target) = 0;
    virtual IRenderTarget* getRenderTarget() const = 0;
    // Copies a rectangle of the window (x, y from the bottom) into a
    // rectangle of a render texture, scaling when the sizes differ. False
    // when the source is not a window or the destination not a render
    // texture.
    virtual bool copyToTexture(IRenderTarget* source, int srcX, int srcY, int srcWidth,
                               int srcHeight, IRenderTarget* destination, int dstX, int dstY,
                               int dstWidth, int dstHeight) = 0;

    virtual int getVertexShaderVersion() const = 0;
    virtual int getFragmentShaderVersion() const = 0;
    virtual int getVertexMaxLocalParameters() const = 0;
    virtual int getFragmentMaxLocalParameters() const = 0;
    virtual void bindVertexShader(IShaderObject* shader) = 0;
    virtual void unbindVertexShader() = 0;
    virtual IShaderObject* getBoundVertexShader() const = 0;
    virtual void bindFragmentShader(IShaderObject* shader) = 0;
    virtual void unbindFragmentShader() = 0;
    virtual IShaderObject* getBoundFragmentShader() const = 0;
    virtual void applyParameters(bool fragment, const IShaderParameters& parameters) = 0;
    virtual int getParameterIndex(bool fragment, const char* name) const = 0;
    virtual int setVector(bool fragment, const char* name, const float* v) = 0;
    virtual void setVector(bool fragment, int index, const float* v) = 0;
    virtual int setVectorArray(bool fragment, const char* name, const float* v, int count) = 0;
    virtual void setVectorArray(bool fragment, int index, const float* v, int count) = 0;
    virtual int setMatrix(bool fragment, const char* name, const float* m) = 0;
    virtual void setMatrix(bool fragment, int index, const float* m) = 0;

    virtual int getMaxVertexStreams() const = 0;
    virtual void setVertexBuffer(IVertexBuffer* buffer) = 0;
    // Keeps at most the first getMaxVertexStreams() buffers.
    virtual void setVertexBuffers(IVertexBuffer* const* buffers, int count) = 0;
    virtual IVertexBuffer* const* getVertexBuffers() const = 0;
    virtual int getVertexStreamCount() const = 0;
    virtual void setIndexBuffer(IIndexBuffer* buffer) = 0;
    virtual IIndexBuffer* getIndexBuffer() const = 0;
    // Bytes skipped at the start of a stream's buffer (0 by default); GL 3.3
    // has no base instance, so a per-instance stream is pointed at the
    // first instance of each draw this way.
    virtual void setVertexStreamOffset(int stream, uint32_t offset) = 0;

    // One/Zero switches blending off.
    virtual void setBlendFunction(BlendFactor source, BlendFactor destination) = 0;
    virtual void setInvertCulling(bool invert) = 0;
    virtual void setCullMode(CullMode mode) = 0;
    virtual void setFillMode(FillMode mode) = 0;
    virtual FillMode getFillMode() const = 0;

    virtual int getTextureMemory() const = 0;
    virtual int getVertexBufferMemory() const = 0;
    virtual int getIndexBufferMemory() const = 0;

    virtual void enablePolygonOffset(float factor, float units) = 0;
    virtual void disablePolygonOffset() = 0;
    // The colour of vertices drawn without a colour array.
    virtual void setCurrentColour(const float* colour) = 0;

    // Ignored while another declaration is bound.
    virtual void bindVertexDeclaration(IVertexDeclaration* declaration) = 0;
    virtual void unbindVertexDeclaration() = 0;
    // Nothing without a bound declaration. `start` is the first vertex, or
    // with an index buffer the first index.
    virtual void draw(int count, int start, PrimitiveType type) = 0;
    // The same draw `instances` times; streams the declaration marks as
    // per-instance advance once per instance.
    virtual void drawInstanced(int count, int start, PrimitiveType type, int instances) = 0;

    // r in the lowest byte, a in the highest.
    virtual uint32_t packColour(uint8_t r, uint8_t g, uint8_t b, uint8_t a) const = 0;
    virtual void flush() = 0;
    virtual void clearTarget(IRenderTarget* target, uint32_t flags, const float* colour,
                             float depth, int stencil) = 0;
    // Colour null means (0, 0, 0, 1).
    virtual void clear(uint32_t flags, const float* colour, float depth, int stencil) = 0;

    // Swapped frames whose GPU work may still be running: the device waits
    // after each swap so that there are never more than two.
    virtual int getFramesInFlight() const = 0;

    virtual GpuVendor getVendor() const = 0;
    virtual std::string getRendererName() const = 0;
    virtual float getReservedQuery0() const = 0;
    virtual float getReservedQuery1() const = 0;

    // The main window: the same one on every call once it exists. The device
    // owns it; null when it cannot be created.
    virtual IRenderWindow* createRenderWindow(const RenderWindowSettings& settings) = 0;
    virtual IRenderWindow* getRenderWindow() const = 0;
    // Destroys the main window (and with it the GL context).
    virtual void destroyRenderWindow() = 0;

    virtual std::unique_ptr<IRenderTexture> createRenderTexture(const RenderTextureDesc& desc) = 0;
    virtual std::unique_ptr<IShaderObject> createShader(const ShaderSourceDesc& desc) = 0;
    virtual const std::string& getLastProgramText() const = 0;
    virtual std::unique_ptr<ITextureObject> createTexture(const TextureDesc& desc) = 0;
    virtual std::unique_ptr<IVertexBuffer> createVertexBuffer(uint32_t size, const void* data,
                                                              uint32_t usage) = 0;
    virtual std::unique_ptr<IIndexBuffer> createIndexBuffer(uint32_t size, const void* data,
                                                            uint32_t usage, bool use32Bit) = 0;
    virtual std::unique_ptr<IVertexDeclaration> createVertexDeclaration(
        const VertexDeclarationDesc& desc) = 0;

    // Immediate drawing from client memory. Colours are 4 floats per
    // vertex; without them the immediate colour is used.
    virtual void setImmediateColour(float r, float g, float b, float a) = 0;
    virtual void drawLines(const float* positions, int stride, const float* colours,
                           int colourStride, int lineCount, float width) = 0;
    virtual void drawPoints(const float* positions, int stride, const float* colours,
                            int colourStride, int pointCount, float size) = 0;
    virtual void drawUserArrays(const float* positions, int stride, const float* colours,
                                int colourStride, PrimitiveType type, int vertexCount) = 0;

    // Full-screen display modes at least 480 pixels high, in the video
    // system's order.
    virtual int getDisplayModeCount() const = 0;
    // 0, 0 for an index out of range.
    virtual void getDisplayMode(int index, int* width, int* height) const = 0;
};

// The process's device (SDL window, OpenGL 3.3 core context).
std::unique_ptr<IRenderDevice> createRenderDevice();
