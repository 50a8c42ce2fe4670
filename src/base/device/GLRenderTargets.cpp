#include "base/device/GLRenderTargets.h"

#include <algorithm>

#include "base/device/GLRenderDevice.h"
#include "base/device/GLResources.h"
#include "foundation/Log.h"

namespace {

GLenum depthFormatOf(int index) {
    switch (index) {
        case 1:
            return GL_DEPTH_COMPONENT16;
        case 3:
            return GL_DEPTH_COMPONENT32;
        default:
            return GL_DEPTH_COMPONENT24;
    }
}

GLenum stencilFormatOf(int index) {
    switch (index) {
        case 2:
            return GL_STENCIL_INDEX4;
        case 3:
            return GL_STENCIL_INDEX8;
        default:
            return GL_STENCIL_INDEX1;
    }
}

void attachTexture(GLenum attachment, GLTexture* texture, int face, int level) {
    GLuint name = texture ? texture->getName() : 0;
    GLenum target = texture ? texture->getTarget() : GL_TEXTURE_2D;
    if (target == GL_TEXTURE_1D) {
        glFramebufferTexture1D(GL_FRAMEBUFFER, attachment, target, name, level);
    } else if (target == GL_TEXTURE_3D) {
        glFramebufferTextureLayer(GL_FRAMEBUFFER, attachment, name, level, face);
    } else {
        glFramebufferTexture2D(GL_FRAMEBUFFER, attachment,
                               texture ? texture->getFaceTarget(face) : GL_TEXTURE_2D, name, level);
    }
}

bool isComplete() {
    return glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
}

void drainErrors() {
    while (glGetError() != GL_NO_ERROR) {
    }
}

}  // namespace

// ---------------------------------------------------------------- window

void GLRenderWindow::readPixels(uint8_t* buffer) {
    IRenderTarget* previous = m_device.getRenderTarget();
    if (previous != this) {
        m_device.setRenderTarget(this);
    }
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadBuffer(GL_BACK);
    glReadPixels(0, 0, m_width, m_height, GL_RGB, GL_UNSIGNED_BYTE, buffer);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    if (previous != this) {
        m_device.setRenderTarget(previous);
    }
}

// ---------------------------------------------------------------- render textures

GLFboRenderTexture::GLFboRenderTexture(GLFboRenderTargetManager& manager, GLRenderDevice& device)
    : m_manager(manager), m_device(device) {
    m_slots.resize(static_cast<size_t>(std::max(device.getMaxDrawBuffers(), 1)));
}

GLFboRenderTexture::~GLFboRenderTexture() {
    m_device.onRenderTextureDestroyed(this);
    m_manager.forgetRenderTexture(this);
    if (m_depthFormat) {
        m_manager.releaseRenderbuffer(m_depthFormat, m_width, m_height);
    }
    if (m_stencilFormat) {
        m_manager.releaseRenderbuffer(m_stencilFormat, m_width, m_height);
    }
    if (m_fbo) {
        glDeleteFramebuffers(1, &m_fbo);
    }
}

ITextureObject* GLFboRenderTexture::getColourTexture() const {
    return m_slots.empty() ? nullptr : m_slots[0].texture;
}

void GLFboRenderTexture::readPixels(uint8_t* buffer) {
    if (GLTexture* texture = m_slots.empty() ? nullptr : m_slots[0].texture) {
        texture->readBack(buffer, m_slots[0].face);
    }
}

bool GLFboRenderTexture::attachColourTexture(int index, ITextureObject* texture, int cubeFace,
                                             int mipLevel) {
    if (index < 0 || index >= static_cast<int>(m_slots.size()) || !m_fbo) {
        return false;
    }
    GLTexture* glTexture = static_cast<GLTexture*>(texture);
    m_slots[index] = Slot{glTexture, cubeFace, mipLevel};
    glBindFramebuffer(GL_FRAMEBUFFER, m_fbo);
    bool depth = glTexture && PixelFormatUtil::isDepth(glTexture->getFormat());
    attachTexture(depth ? GL_DEPTH_ATTACHMENT : GL_COLOR_ATTACHMENT0 + index, glTexture, cubeFace,
                  mipLevel);
    glBindFramebuffer(GL_FRAMEBUFFER, m_manager.getCurrentFramebuffer());
    m_drawBuffersDirty = true;
    return true;
}

void GLFboRenderTexture::detach(int index) {
    if (index < 0 || index >= static_cast<int>(m_slots.size()) || !m_fbo) {
        return;
    }
    GLTexture* texture = m_slots[index].texture;
    bool depth = texture && PixelFormatUtil::isDepth(texture->getFormat());
    glBindFramebuffer(GL_FRAMEBUFFER, m_fbo);
    glFramebufferTexture2D(GL_FRAMEBUFFER,
                           depth ? GL_DEPTH_ATTACHMENT : GL_COLOR_ATTACHMENT0 + index,
                           GL_TEXTURE_2D, 0, 0);
    glBindFramebuffer(GL_FRAMEBUFFER, m_manager.getCurrentFramebuffer());
    m_slots[index] = Slot();
    m_drawBuffersDirty = true;
}

void GLFboRenderTexture::activate() {
    glBindFramebuffer(GL_FRAMEBUFFER, m_fbo);
    if (!m_drawBuffersDirty) {
        return;
    }
    GLenum buffers[8];
    int count = 0;
    for (const Slot& slot : m_slots) {
        if (!slot.texture || PixelFormatUtil::isDepth(slot.texture->getFormat()) || count >= 8) {
            break;
        }
        buffers[count] = GL_COLOR_ATTACHMENT0 + count;
        ++count;
    }
    if (count == 0) {
        glDrawBuffer(GL_NONE);
        glReadBuffer(GL_NONE);
    } else {
        glDrawBuffers(count, buffers);
        glReadBuffer(GL_COLOR_ATTACHMENT0);
    }
    m_drawBuffersDirty = false;
}

// ---------------------------------------------------------------- manager

GLFboRenderTargetManager::GLFboRenderTargetManager(GLRenderDevice& device) : m_device(device) {}

GLFboRenderTargetManager::~GLFboRenderTargetManager() {
    for (auto& [key, buffer] : m_renderbuffers) {
        glDeleteRenderbuffers(1, &buffer.name);
    }
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
}

void GLFboRenderTargetManager::probe(bool verbose) {
    Log& log = Log::get();
    if (verbose) {
        log << "Supported fbo format depth/stencil combinations:\n";
    }
    static constexpr PixelFormat kColourFormats[] = {PF_BYTE_RGB24, PF_BYTE_BGR24, PF_BYTE_RGBA32,
                                                     PF_BYTE_BGRA32, PF_SHORT_RGBA64};
    static constexpr int kDepthBits[] = {0, 16, 24, 32};
    static constexpr GLenum kDepthFormats[] = {0, GL_DEPTH_COMPONENT16, GL_DEPTH_COMPONENT24,
                                               GL_DEPTH_COMPONENT32};
    static constexpr int kStencilBits[] = {0, 1, 4, 8, 16};
    static constexpr GLenum kStencilFormats[] = {0, GL_STENCIL_INDEX1, GL_STENCIL_INDEX4,
                                                 GL_STENCIL_INDEX8, GL_STENCIL_INDEX16};
    drainErrors();
    for (PixelFormat format : kColourFormats) {
        TextureDesc desc;
        desc.width = desc.height = 16;
        desc.format = format;
        desc.usage = BU_RENDER_TARGET;
        desc.mipCount = 0;
        desc.minFilter = desc.magFilter = TF_POINT;
        desc.mipFilter = TF_NONE;
        desc.wrapS = desc.wrapT = TW_CLAMP_TO_EDGE;
        GLTexture texture(m_device, desc);
        GLuint fbo = 0;
        glGenFramebuffers(1, &fbo);
        glBindFramebuffer(GL_FRAMEBUFFER, fbo);
        attachTexture(GL_COLOR_ATTACHMENT0, &texture, 0, 0);
        if (verbose) {
            log << PixelFormatUtil::getName(format) << ":";
        }
        bool any = false;
        for (int d = 0; d < 4; ++d) {
            for (int s = 0; s < 5; ++s) {
                GLuint buffers[2] = {0, 0};
                glGenRenderbuffers(2, buffers);
                if (kDepthFormats[d]) {
                    glBindRenderbuffer(GL_RENDERBUFFER, buffers[0]);
                    glRenderbufferStorage(GL_RENDERBUFFER, kDepthFormats[d], 16, 16);
                    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER,
                                              buffers[0]);
                }
                drainErrors();
                if (kStencilFormats[s]) {
                    glBindRenderbuffer(GL_RENDERBUFFER, buffers[1]);
                    glRenderbufferStorage(GL_RENDERBUFFER, kStencilFormats[s], 16, 16);
                    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_STENCIL_ATTACHMENT,
                                              GL_RENDERBUFFER, buffers[1]);
                }
                bool usable = glGetError() == GL_NO_ERROR && isComplete();
                if (usable) {
                    any = true;
                    m_device.addSupportedRenderTextureFormat(format);
                    if (verbose) {
                        log << " D" << static_cast<int32_t>(kDepthBits[d]) << "S"
                            << static_cast<int32_t>(kStencilBits[s]);
                    }
                }
                glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, 0);
                glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_STENCIL_ATTACHMENT, GL_RENDERBUFFER,
                                          0);
                glBindRenderbuffer(GL_RENDERBUFFER, 0);
                glDeleteRenderbuffers(2, buffers);
                drainErrors();
            }
        }
        if (verbose) {
            log << (any ? "" : " not supported") << "\n";
        }
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        glDeleteFramebuffers(1, &fbo);
    }

    static constexpr PixelFormat kDepthTextureFormats[] = {PF_DEPTH16, PF_DEPTH24, PF_DEPTH32};
    static constexpr int kDepthTextureBits[] = {16, 24, 32};
    for (int i = 0; i < 3; ++i) {
        TextureDesc desc;
        desc.width = desc.height = 16;
        desc.format = kDepthTextureFormats[i];
        desc.usage = BU_RENDER_TARGET;
        desc.mipCount = 0;
        desc.mipFilter = TF_NONE;
        GLTexture texture(m_device, desc);
        GLuint fbo = 0;
        glGenFramebuffers(1, &fbo);
        glBindFramebuffer(GL_FRAMEBUFFER, fbo);
        attachTexture(GL_DEPTH_ATTACHMENT, &texture, 0, 0);
        glDrawBuffer(GL_NONE);
        glReadBuffer(GL_NONE);
        bool usable = glGetError() == GL_NO_ERROR && isComplete();
        if (usable) {
            m_depthTextures = true;
            m_device.addSupportedRenderTextureFormat(kDepthTextureFormats[i]);
        }
        if (verbose) {
            log << "Depth-" << static_cast<int32_t>(kDepthTextureBits[i])
                << (usable ? "bits: supported\n" : "bits: not supported\n");
        }
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        glDeleteFramebuffers(1, &fbo);
        drainErrors();
    }
    glBindFramebuffer(GL_FRAMEBUFFER, m_currentFbo);
}

GLuint GLFboRenderTargetManager::acquireRenderbuffer(GLenum format, int width, int height) {
    SharedRenderbuffer& shared = m_renderbuffers[RenderbufferKey(format, width, height)];
    if (shared.uses++ == 0) {
        glGenRenderbuffers(1, &shared.name);
        glBindRenderbuffer(GL_RENDERBUFFER, shared.name);
        glRenderbufferStorage(GL_RENDERBUFFER, format, width, height);
        glBindRenderbuffer(GL_RENDERBUFFER, 0);
    }
    return shared.name;
}

void GLFboRenderTargetManager::releaseRenderbuffer(GLenum format, int width, int height) {
    auto it = m_renderbuffers.find(RenderbufferKey(format, width, height));
    if (it == m_renderbuffers.end()) {
        return;
    }
    if (--it->second.uses <= 0) {
        glDeleteRenderbuffers(1, &it->second.name);
        m_renderbuffers.erase(it);
    }
}

std::unique_ptr<GLFboRenderTexture> GLFboRenderTargetManager::createRenderTexture(
    const RenderTextureDesc& desc) {
    auto target = std::make_unique<GLFboRenderTexture>(*this, m_device);
    GLTexture* texture = static_cast<GLTexture*>(desc.colourTexture);
    if (!texture) {
        target->m_error = RDE_NO_COLOUR_TEXTURE;
        return target;
    }
    target->m_width = static_cast<int>(texture->getWidth());
    target->m_height = static_cast<int>(texture->getHeight());
    m_device.checkGLError("a call before GLFboRenderTargetManager::createRenderTexture");
    glGenFramebuffers(1, &target->m_fbo);
    target->attachColourTexture(0, texture, desc.cubeFace, desc.mipLevel);
    target->activate();
    m_device.checkGLError("GLFboRenderTargetManager::createRenderTexture");
    // A colour texture the framebuffer cannot take (one the driver refused,
    // a level it does not have) must not pass for a usable target.
    if (!isComplete()) {
        target->m_error = RDE_UNSUPPORTED_COLOR_BUFFER_FORMAT;
    }
    if (target->m_error == 0 && desc.depthBuffer &&
        !PixelFormatUtil::isDepth(texture->getFormat())) {
        GLenum format = depthFormatOf(desc.depthIndex);
        GLuint buffer = acquireRenderbuffer(format, target->m_width, target->m_height);
        target->m_depthFormat = format;
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, buffer);
        if (!isComplete()) {
            target->m_error = RDE_UNSUPPORTED_DEPTH_BUFFER_FORMAT;
        }
    }
    if (target->m_error == 0 && desc.stencilBuffer) {
        GLenum format = stencilFormatOf(desc.stencilIndex);
        GLuint buffer = acquireRenderbuffer(format, target->m_width, target->m_height);
        target->m_stencilFormat = format;
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_STENCIL_ATTACHMENT, GL_RENDERBUFFER, buffer);
        if (glGetError() != GL_NO_ERROR || !isComplete()) {
            target->m_error = RDE_UNSUPPORTED_STENCIL_BUFFER_FORMAT;
        }
    }
    drainErrors();
    glBindFramebuffer(GL_FRAMEBUFFER, m_currentFbo);
    return target;
}

void GLFboRenderTargetManager::forgetRenderTexture(GLFboRenderTexture* texture) {
    if (m_current == texture) {
        m_current = nullptr;
        m_currentFbo = 0;
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
    }
}

void GLFboRenderTargetManager::makeCurrent(IRenderTarget* target) {
    if (target && target->getKind() == RTK_RENDER_TEXTURE) {
        auto* texture = static_cast<GLFboRenderTexture*>(target);
        texture->activate();
        m_current = texture;
        m_currentFbo = texture->getFramebuffer();
        return;
    }
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    m_current = nullptr;
    m_currentFbo = 0;
}

void GLFboRenderTargetManager::bindRenderTexture(GLTexture& texture) {
    glBindTexture(texture.getTarget(), texture.getName());
    if (texture.getMipCount() > 0) {
        glGenerateMipmap(texture.getTarget());
    }
}

bool GLFboRenderTargetManager::copyToTexture(IRenderTarget* source, int srcX, int srcY,
                                             int srcWidth, int srcHeight,
                                             IRenderTarget* destination, int dstX, int dstY,
                                             int dstWidth, int dstHeight) {
    if (!source || source->getKind() != RTK_WINDOW || !destination ||
        destination->getKind() != RTK_RENDER_TEXTURE) {
        return false;
    }
    auto* target = static_cast<GLFboRenderTexture*>(destination);
    auto* texture = static_cast<GLTexture*>(target->getColourTexture());
    if (!texture || !texture->isValid()) {
        return false;
    }
    glBindFramebuffer(GL_READ_FRAMEBUFFER, 0);
    glReadBuffer(GL_BACK);
    if (srcWidth == dstWidth && srcHeight == dstHeight) {
        ScratchTextureBinding binding(texture->getTarget(), texture->getName());
        glCopyTexSubImage2D(texture->getFaceTarget(target->getColourFace()),
                            target->getColourLevel(), dstX, dstY, srcX, srcY, srcWidth, srcHeight);
    } else {
        // A filtered blit gives what drawing a scaled copy would.
        if (target->m_drawBuffersDirty) {
            target->activate();
        }
        glBindFramebuffer(GL_DRAW_FRAMEBUFFER, target->getFramebuffer());
        bool scissor = m_device.isScissorEnabled();
        if (scissor) {
            glDisable(GL_SCISSOR_TEST);
        }
        glBlitFramebuffer(srcX, srcY, srcX + srcWidth, srcY + srcHeight, dstX, dstY,
                          dstX + dstWidth, dstY + dstHeight, GL_COLOR_BUFFER_BIT, GL_LINEAR);
        if (scissor) {
            glEnable(GL_SCISSOR_TEST);
        }
    }
    glBindFramebuffer(GL_FRAMEBUFFER, m_currentFbo);
    if (m_current) {
        glReadBuffer(GL_COLOR_ATTACHMENT0);
    }
    return m_device.checkGLError("copyToTexture");
}
