#pragma once
// The GL device with what needs SDL: the video subsystem, display modes and
// the main window with its OpenGL 3.3 core context.

#include <SDL.h>

#include <utility>
#include <vector>

#include "base/device/GLRenderDevice.h"

class SdlGLRenderWindow : public GLRenderWindow {
public:
    SdlGLRenderWindow(GLRenderDevice& device, SDL_Window* window, SDL_GLContext context, int width,
                      int height, bool fullScreen);
    ~SdlGLRenderWindow() override;
    void setCaption(const char* caption) override;
    void swapBuffers() override;
    SDL_Window* getSdlWindow() const { return m_window; }

private:
    // Sees every event as it is queued, whoever pumps them: a resized window
    // remembers its new size.
    static int watchEvents(void* window, SDL_Event* event);

    SDL_Window* m_window;
    SDL_GLContext m_context;
};

class SdlGLRenderDevice : public GLRenderDevice {
public:
    SdlGLRenderDevice() = default;
    ~SdlGLRenderDevice() override;

    bool init(bool verbose) override;
    IRenderWindow* createRenderWindow(const RenderWindowSettings& settings) override;
    int getDisplayModeCount() const override { return static_cast<int>(m_modes.size()); }
    void getDisplayMode(int index, int* width, int* height) const override;

private:
    bool m_initialisedVideo = false;
    std::vector<std::pair<int, int>> m_modes;
};
