#pragma once
// Render targets on OpenGL: the main window's default framebuffer and render
// textures on framebuffer objects, with the manager that probes formats,
// shares depth and stencil renderbuffers and copies the window into
// textures.

#include <epoxy/gl.h>

#include <map>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "base/device/IRenderTarget.h"
#include "base/device/RenderTypes.h"

class GLRenderDevice;
class GLTexture;
class GLFboRenderTargetManager;

class GLRenderWindow : public IRenderWindow {
public:
    explicit GLRenderWindow(GLRenderDevice& device) : m_device(device) {}
    int getKind() const override { return RTK_WINDOW; }
    int getWidth() const override { return m_width; }
    int getHeight() const override { return m_height; }
    void readPixels(uint8_t* buffer) override;
    uint32_t getPixelBufferSize() const override {
        return static_cast<uint32_t>(m_width) * static_cast<uint32_t>(m_height) * 3;
    }
    bool isFlipped() const override { return false; }
    void setCaption(const char* caption) override { m_caption = caption ? caption : ""; }
    bool isFullScreen() const override { return m_fullScreen; }
    void setSize(int width, int height) override {
        m_width = width;
        m_height = height;
    }
    const std::string& getCaption() const { return m_caption; }

protected:
    GLRenderDevice& m_device;
    int m_width = 800;
    int m_height = 600;
    bool m_fullScreen = false;
    std::string m_caption;
};

class GLFboRenderTexture : public IRenderTexture {
public:
    GLFboRenderTexture(GLFboRenderTargetManager& manager, GLRenderDevice& device);
    ~GLFboRenderTexture() override;

    int getKind() const override { return RTK_RENDER_TEXTURE; }
    int getWidth() const override { return m_width; }
    int getHeight() const override { return m_height; }
    void readPixels(uint8_t* buffer) override;
    uint32_t getPixelBufferSize() const override {
        return static_cast<uint32_t>(m_width) * static_cast<uint32_t>(m_height) * 3;
    }
    bool isFlipped() const override { return false; }
    ITextureObject* getColourTexture() const override;
    bool attachColourTexture(int index, ITextureObject* texture, int cubeFace,
                             int mipLevel) override;
    void detach(int index) override;
    void activate() override;
    int getErrorCode() const override { return m_error; }

    GLuint getFramebuffer() const { return m_fbo; }
    int getColourFace() const { return m_slots.empty() ? 0 : m_slots[0].face; }
    int getColourLevel() const { return m_slots.empty() ? 0 : m_slots[0].level; }

private:
    friend class GLFboRenderTargetManager;
    struct Slot {
        GLTexture* texture = nullptr;
        int face = 0;
        int level = 0;
    };

    GLFboRenderTargetManager& m_manager;
    GLRenderDevice& m_device;
    GLuint m_fbo = 0;
    int m_width = 0;
    int m_height = 0;
    int m_error = 0;
    std::vector<Slot> m_slots;
    bool m_drawBuffersDirty = true;
    GLenum m_depthFormat = 0;
    GLenum m_stencilFormat = 0;
};

class GLFboRenderTargetManager {
public:
    explicit GLFboRenderTargetManager(GLRenderDevice& device);
    ~GLFboRenderTargetManager();

    void probe(bool verbose);
    std::unique_ptr<GLFboRenderTexture> createRenderTexture(const RenderTextureDesc& desc);
    void makeCurrent(IRenderTarget* target);
    // Binds a render texture's colour texture on the active unit and
    // regenerates its mip levels when it has some.
    void bindRenderTexture(GLTexture& texture);
    bool supportsDepthTextures() const { return m_depthTextures; }
    bool copyToTexture(IRenderTarget* source, int srcX, int srcY, int srcWidth, int srcHeight,
                       IRenderTarget* destination, int dstX, int dstY, int dstWidth, int dstHeight);

    // Shared depth and stencil renderbuffers, keyed by format and size.
    GLuint acquireRenderbuffer(GLenum format, int width, int height);
    void releaseRenderbuffer(GLenum format, int width, int height);
    size_t getRenderbufferCount() const { return m_renderbuffers.size(); }
    // The GL name of the framebuffer currently drawn to.
    GLuint getCurrentFramebuffer() const { return m_currentFbo; }
    void forgetRenderTexture(GLFboRenderTexture* texture);

private:
    struct SharedRenderbuffer {
        GLuint name = 0;
        int uses = 0;
    };
    using RenderbufferKey = std::tuple<GLenum, int, int>;

    GLRenderDevice& m_device;
    std::map<RenderbufferKey, SharedRenderbuffer> m_renderbuffers;
    bool m_depthTextures = false;
    GLuint m_currentFbo = 0;
    GLFboRenderTexture* m_current = nullptr;
};
