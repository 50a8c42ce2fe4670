#pragma once
// The render device over an OpenGL 3.3 core context. What older hardware did
// with fixed function (matrices, texture matrix, alpha test, clip planes,
// immediate drawing, drawing without a bound shader) is done by one small
// internal program of the device.

#include <epoxy/gl.h>

#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "base/device/GLRenderTargets.h"
#include "base/device/GLResources.h"
#include "base/device/IRenderDevice.h"

class GLRenderDevice : public IRenderDevice {
public:
    static constexpr int kMaxTextureUnits = 8;
    static constexpr int kMaxStreams = 4;
    static constexpr int kMaxClipPlanes = 6;

    GLRenderDevice();
    ~GLRenderDevice() override;

    int getLastError() const override { return m_lastError; }

    void setModelMatrix(const float* m) override;
    const float* getModelMatrix() const override { return m_model; }
    void setViewMatrix(const float* m) override;
    const float* getViewMatrix() const override { return m_view; }
    void setProjectionMatrix(const float* m) override;
    const float* getProjectionMatrix() const override { return m_projection; }

    void setScissor(int x, int y, int width, int height) override;
    void resetScissor() override;
    void setViewport(int x, int y, int width, int height) override;
    void getViewport(int* viewport) const override;

    void enableDepthTest() override;
    void disableDepthTest() override;
    void setDepthFunction(CompareFunction function) override;
    CompareFunction getDepthFunction() const override { return m_depthFunction; }
    void enableDepthWrite() override;
    void disableDepthWrite() override;
    void setColourWriteMask(bool r, bool g, bool b, bool a) override;
    void setAlphaTest(CompareFunction function, float reference) override;

    bool hasStencil() const override { return m_stencilBits > 0; }
    bool hasTwoSidedStencil() const override { return m_stencilBits > 0; }
    bool hasStencilWrap() const override { return true; }
    int getStencilBits() const override { return m_stencilBits; }
    void enableStencilTest() override { glEnable(GL_STENCIL_TEST); }
    void disableStencilTest() override { glDisable(GL_STENCIL_TEST); }
    void setStencilState(CompareFunction function, int reference, uint32_t mask,
                         StencilOperation fail, StencilOperation depthFail, StencilOperation pass,
                         bool twoSided) override;

    int getMaxClipPlanes() const override { return m_maxClipPlanes; }
    void enableClipPlane(int index) override;
    void disableClipPlane(int index) override;
    void setClipPlane(int index, const float* plane) override;

    bool supportsMipmapGeneration() const override { return m_initialised; }
    bool supportsFloatTextures() const override { return m_initialised; }
    bool supportsS3TC() const override { return m_s3tc; }
    bool supportsVTC() const override { return false; }
    bool supportsNonPowerOfTwo() const override { return m_initialised; }
    bool supportsFramebufferObjects() const override { return m_initialised; }
    int getTextureUnitCount() const override { return m_textureUnitCount; }
    int getMaxTextureSize() const override { return m_maxTextureSize; }
    float getMaxAnisotropy() const override { return m_maxAnisotropy; }

    void setTextureWrap(int unit, int s, int t, int r) override;
    void bindTexture(int unit, ITextureObject* texture) override;
    ITextureObject* getBoundTexture(int unit) const override;
    void setTextureMatrix(int unit, const float* m) override;
    const float* getTextureMatrix(int unit) const override;

    int getMaxDrawBuffers() const override { return m_maxDrawBuffers; }
    bool supportsDepthTextures() const override;
    PixelFormat getFirstSupportedRenderTextureFormat(const PixelFormat* candidates,
                                                     int count) const override;
    void setRenderTarget(IRenderTarget* target) override;
    IRenderTarget* getRenderTarget() const override { return m_currentTarget; }
    bool copyToTexture(IRenderTarget* source, int srcX, int srcY, int srcWidth, int srcHeight,
                       IRenderTarget* destination, int dstX, int dstY, int dstWidth,
                       int dstHeight) override;

    int getVertexShaderVersion() const override { return m_initialised ? 3 : 0; }
    int getFragmentShaderVersion() const override { return m_initialised ? 4 : 0; }
    int getVertexMaxLocalParameters() const override { return m_vertexMaxLocal; }
    int getFragmentMaxLocalParameters() const override { return m_fragmentMaxLocal; }
    void bindVertexShader(IShaderObject* shader) override;
    void unbindVertexShader() override { bindVertexShader(nullptr); }
    IShaderObject* getBoundVertexShader() const override { return m_vertexShader; }
    void bindFragmentShader(IShaderObject* shader) override;
    void unbindFragmentShader() override { bindFragmentShader(nullptr); }
    IShaderObject* getBoundFragmentShader() const override { return m_fragmentShader; }
    void applyParameters(bool fragment, const IShaderParameters& parameters) override;
    int getParameterIndex(bool fragment, const char* name) const override;
    int setVector(bool fragment, const char* name, const float* v) override;
    void setVector(bool fragment, int index, const float* v) override;
    int setVectorArray(bool fragment, const char* name, const float* v, int count) override;
    void setVectorArray(bool fragment, int index, const float* v, int count) override;
    int setMatrix(bool fragment, const char* name, const float* m) override;
    void setMatrix(bool fragment, int index, const float* m) override;

    int getMaxVertexStreams() const override { return kMaxStreams; }
    void setVertexBuffer(IVertexBuffer* buffer) override { setVertexBuffers(&buffer, 1); }
    void setVertexBuffers(IVertexBuffer* const* buffers, int count) override;
    IVertexBuffer* const* getVertexBuffers() const override { return m_vertexBuffers; }
    int getVertexStreamCount() const override { return m_streamCount; }
    void setIndexBuffer(IIndexBuffer* buffer) override;
    void setVertexStreamOffset(int stream, uint32_t offset) override;
    IIndexBuffer* getIndexBuffer() const override { return m_indexBuffer; }

    void setBlendFunction(BlendFactor source, BlendFactor destination) override;
    void setInvertCulling(bool invert) override;
    void setCullMode(CullMode mode) override;
    void setFillMode(FillMode mode) override;
    FillMode getFillMode() const override { return m_fillMode; }

    int getTextureMemory() const override { return s_textureMemory; }
    int getVertexBufferMemory() const override { return s_vertexBufferMemory; }
    int getIndexBufferMemory() const override { return s_indexBufferMemory; }

    void enablePolygonOffset(float factor, float units) override;
    void disablePolygonOffset() override { glDisable(GL_POLYGON_OFFSET_FILL); }
    void setCurrentColour(const float* colour) override;

    void bindVertexDeclaration(IVertexDeclaration* declaration) override;
    void unbindVertexDeclaration() override;
    void draw(int count, int start, PrimitiveType type) override;
    void drawInstanced(int count, int start, PrimitiveType type, int instances) override;

    uint32_t packColour(uint8_t r, uint8_t g, uint8_t b, uint8_t a) const override {
        return uint32_t(r) | (uint32_t(g) << 8) | (uint32_t(b) << 16) | (uint32_t(a) << 24);
    }
    void flush() override { glFlush(); }
    void clearTarget(IRenderTarget* target, uint32_t flags, const float* colour, float depth,
                     int stencil) override;
    void clear(uint32_t flags, const float* colour, float depth, int stencil) override;

    GpuVendor getVendor() const override { return m_vendor; }
    std::string getRendererName() const override { return m_renderer; }
    float getReservedQuery0() const override { return 0.0f; }
    float getReservedQuery1() const override { return 0.0f; }

    IRenderWindow* getRenderWindow() const override { return m_window.get(); }
    void destroyRenderWindow() override;

    std::unique_ptr<IRenderTexture> createRenderTexture(const RenderTextureDesc& desc) override;
    std::unique_ptr<IShaderObject> createShader(const ShaderSourceDesc& desc) override;
    const std::string& getLastProgramText() const override { return m_lastProgramText; }
    std::unique_ptr<ITextureObject> createTexture(const TextureDesc& desc) override;
    std::unique_ptr<IVertexBuffer> createVertexBuffer(uint32_t size, const void* data,
                                                      uint32_t usage) override;
    std::unique_ptr<IIndexBuffer> createIndexBuffer(uint32_t size, const void* data, uint32_t usage,
                                                    bool use32Bit) override;
    std::unique_ptr<IVertexDeclaration> createVertexDeclaration(
        const VertexDeclarationDesc& desc) override;

    void setImmediateColour(float r, float g, float b, float a) override;
    void drawLines(const float* positions, int stride, const float* colours, int colourStride,
                   int lineCount, float width) override;
    void drawPoints(const float* positions, int stride, const float* colours, int colourStride,
                    int pointCount, float size) override;
    void drawUserArrays(const float* positions, int stride, const float* colours, int colourStride,
                        PrimitiveType type, int vertexCount) override;

    // --- used by the GL resources of this backend ---
    bool isInitialised() const { return m_initialised; }
    bool isVerbose() const { return m_verbose; }
    void addSupportedRenderTextureFormat(PixelFormat format);
    void onTextureDestroyed(GLTexture* texture);
    void onVertexBufferDestroyed(GLVertexBuffer* buffer);
    void onIndexBufferDestroyed(GLIndexBuffer* buffer);
    void onDeclarationDestroyed(GLVertexDeclaration* declaration);
    void onShaderDestroyed(GLShader* shader);
    void onRenderTextureDestroyed(IRenderTarget* target);
    // Logs and clears pending GL errors; true when there were none.
    bool checkGLError(const char* what);
    GLFboRenderTargetManager* getRenderTargetManager() const { return m_targetManager.get(); }
    bool isScissorEnabled() const { return m_scissorEnabled; }
    void setScissorEnabled(bool enabled);

    // Called after each swap: puts a fence behind the frame and waits until
    // the frame kMaxFramesInFlight swaps back is done, so the CPU never runs
    // further ahead of the GPU (a software renderer would otherwise queue
    // frames without end). Each wait gives up after kFenceTimeoutNs.
    void fenceFrame();
    int getFramesInFlight() const override { return m_fenceCount; }
    static constexpr int kMaxFramesInFlight = 2;
    static constexpr uint64_t kFenceTimeoutNs = 2000000000ull;

    static int s_textureMemory;
    static int s_vertexBufferMemory;
    static int s_indexBufferMemory;

protected:
    // Runs once on the first window, with its context current.
    bool initGL();
    // Applies the window's first binding as the current target.
    void adoptWindow(std::unique_ptr<GLRenderWindow> window);
    void releaseGL();

    bool m_verbose = false;
    std::unique_ptr<GLRenderWindow> m_window;

private:
    void releaseFrameFences();

    // Fences of the frames in flight, oldest at m_fenceHead.
    GLsync m_frameFences[kMaxFramesInFlight + 1] = {};
    int m_fenceHead = 0;
    int m_fenceCount = 0;
    bool m_fenceTimeoutLogged = false;

private:
    struct TextureUnit {
        GLTexture* texture = nullptr;
        GLenum target = 0;
        float matrix[16];
        float glMatrix[16];
    };
    struct LinkedProgram {
        GLuint program = 0;
        GLint vertexRegisters = -1;
        GLint fragmentRegisters = -1;
        uint64_t vertexVersion = 0;
        uint64_t fragmentVersion = 0;
    };
    struct InternalProgram {
        GLuint program = 0;
        GLint mvp = -1;
        GLint modelView = -1;
        GLint textureMatrix = -1;
        GLint useTexture = -1;
        GLint alphaFunction = -1;
        GLint alphaReference = -1;
        GLint clipPlanes = -1;
    };

    bool createInternalProgram();
    LinkedProgram* linkProgram(GLShader* vertex, GLShader* fragment);
    // Makes the program of the bound stages (or the internal one) current
    // and uploads what changed. False when nothing can be drawn.
    bool prepareProgram();
    void updateInternalUniforms();
    void applyClipDistances(bool internal);
    void applyCullFace();
    void updateModelView();
    void applyDeclaration();
    void drawImmediate(const float* positions, int stride, const float* colours, int colourStride,
                       GLenum mode, int vertexCount);
    int getTargetHeight() const;
    GLShader* stageShader(bool fragment) const {
        return fragment ? m_fragmentShader : m_vertexShader;
    }

    int m_lastError = 0;
    bool m_initialised = false;
    std::unique_ptr<GLFboRenderTargetManager> m_targetManager;

    float m_model[16];
    float m_view[16];
    float m_projection[16];
    float m_modelView[16];
    bool m_depthWrite = true;
    CompareFunction m_depthFunction = CF_LESS;
    bool m_colourMask[4] = {true, true, true, true};
    uint32_t m_stencilWriteMask = 0xFFFFFFFFu;

    bool m_s3tc = false;
    bool m_anisotropic = false;
    int m_textureUnitCount = 0;
    int m_maxTextureSize = 0;
    float m_maxAnisotropy = 1.0f;
    int m_maxClipPlanes = 0;
    float m_lineWidthRange[2] = {1.0f, 1.0f};
    float m_pointSizeRange[2] = {1.0f, 1.0f};
    TextureUnit m_units[kMaxTextureUnits];
    int m_stencilBits = 0;
    int m_maxDrawBuffers = 1;
    bool m_supportedFormats[PF_COUNT] = {};
    IRenderTarget* m_currentTarget = nullptr;

    IVertexBuffer* m_vertexBuffers[kMaxStreams] = {nullptr, nullptr, nullptr, nullptr};
    int m_streamCount = 0;
    GLIndexBuffer* m_indexBuffer = nullptr;
    GLVertexDeclaration* m_declaration = nullptr;
    uint32_t m_enabledAttributes = 0;
    // Locations whose attribute divisor is 1 (per instance).
    uint32_t m_instancedAttributes = 0;
    uint32_t m_streamOffsets[kMaxStreams] = {0, 0, 0, 0};
    FillMode m_fillMode = FILL_SOLID;
    float m_immediateColour[4] = {1.0f, 1.0f, 1.0f, 1.0f};

    GLShader* m_vertexShader = nullptr;
    GLShader* m_fragmentShader = nullptr;
    std::string m_lastProgramText;
    int m_vertexMaxLocal = 0;
    int m_fragmentMaxLocal = 0;
    std::map<std::pair<const GLShader*, const GLShader*>, LinkedProgram> m_programs;
    LinkedProgram* m_currentLinked = nullptr;
    bool m_programDirty = true;
    GLuint m_currentProgram = 0;
    InternalProgram m_internal;
    bool m_internalDirty = true;

    CompareFunction m_alphaFunction = CF_ALWAYS;
    float m_alphaReference = 0.0f;
    uint32_t m_clipEnabled = 0;
    uint32_t m_clipApplied = 0;
    float m_clipPlanes[kMaxClipPlanes][4] = {};

    int m_viewport[4] = {0, 0, 0, 0};
    bool m_scissorEnabled = false;
    bool m_invertCulling = false;
    CullMode m_cullMode = CULL_BACK;
    GpuVendor m_vendor = GPU_VENDOR_UNKNOWN;
    std::string m_renderer;

    GLuint m_vao = 0;
    GLuint m_immediateVao = 0;
    GLuint m_immediateBuffer = 0;
    std::vector<float> m_immediateScratch;
};
