#pragma once
// Everything the device can draw into: the main window and render textures.

#include <cstdint>

class ITextureObject;

enum RenderTargetKind : int { RTK_WINDOW = 0, RTK_RENDER_TEXTURE = 1 };

class IRenderTarget {
public:
    virtual ~IRenderTarget() = default;
    virtual int getKind() const = 0;
    virtual int getWidth() const = 0;
    virtual int getHeight() const = 0;
    // RGB, 8 bits per channel, width × height pixels from the lower-left
    // corner; the buffer holds getPixelBufferSize() bytes.
    virtual void readPixels(uint8_t* buffer) = 0;
    virtual uint32_t getPixelBufferSize() const = 0;
    // Whether the target's rows run top-down, which flips face orientation.
    virtual bool isFlipped() const = 0;
};

class IRenderWindow : public IRenderTarget {
public:
    virtual void setCaption(const char* caption) = 0;
    virtual bool isFullScreen() const = 0;
    // Remembers a new size (for a window the user resized).
    virtual void setSize(int width, int height) = 0;
    virtual void swapBuffers() = 0;
};

class IRenderTexture : public IRenderTarget {
public:
    virtual ITextureObject* getColourTexture() const = 0;
    // Attaches a texture at a colour slot (depth formats at the depth
    // attachment); slot 0 also becomes the colour texture. False when the
    // slot is beyond the device's draw-buffer count.
    virtual bool attachColourTexture(int index, ITextureObject* texture, int cubeFace,
                                     int mipLevel) = 0;
    virtual void detach(int index) = 0;
    virtual void activate() = 0;
    // RenderDeviceError of the creation, 0 when complete.
    virtual int getErrorCode() const = 0;
};
