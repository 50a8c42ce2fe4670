#include "base/device/SdlGLRenderDevice.h"

#include "base/device/RenderDeviceUtil.h"
#include "foundation/Log.h"

SdlGLRenderWindow::SdlGLRenderWindow(GLRenderDevice& device, SDL_Window* window,
                                     SDL_GLContext context, int width, int height, bool fullScreen)
    : GLRenderWindow(device), m_window(window), m_context(context) {
    m_width = width;
    m_height = height;
    m_fullScreen = fullScreen;
    SDL_AddEventWatch(&SdlGLRenderWindow::watchEvents, this);
}

SdlGLRenderWindow::~SdlGLRenderWindow() {
    SDL_DelEventWatch(&SdlGLRenderWindow::watchEvents, this);
    SDL_GL_DeleteContext(m_context);
    SDL_DestroyWindow(m_window);
}

int SdlGLRenderWindow::watchEvents(void* window, SDL_Event* event) {
    auto* self = static_cast<SdlGLRenderWindow*>(window);
    if (event->type == SDL_WINDOWEVENT && event->window.event == SDL_WINDOWEVENT_SIZE_CHANGED &&
        event->window.windowID == SDL_GetWindowID(self->m_window)) {
        self->setSize(event->window.data1, event->window.data2);
    }
    return 0;
}

void SdlGLRenderWindow::setCaption(const char* caption) {
    GLRenderWindow::setCaption(caption);
    SDL_SetWindowTitle(m_window, getCaption().c_str());
}

void SdlGLRenderWindow::swapBuffers() {
    SDL_GL_SwapWindow(m_window);
    m_device.fenceFrame();
}

SdlGLRenderDevice::~SdlGLRenderDevice() {
    // The context must go while SDL video still runs.
    destroyRenderWindow();
    if (m_initialisedVideo) {
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
    }
}

bool SdlGLRenderDevice::init(bool verbose) {
    m_verbose = verbose;
    if (!m_initialisedVideo) {
        if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
            Log::get() << "Error: SDL video initialization failed: " << SDL_GetError() << "\n";
            return false;
        }
        m_initialisedVideo = true;
    }
    std::vector<std::pair<int, int>> modes;
    int count = SDL_GetNumDisplayModes(0);
    for (int i = 0; i < count; ++i) {
        SDL_DisplayMode mode;
        if (SDL_GetDisplayMode(0, i, &mode) == 0) {
            modes.emplace_back(mode.w, mode.h);
        }
    }
    m_modes = renderdeviceutil::filterDisplayModes(modes);
    return true;
}

void SdlGLRenderDevice::getDisplayMode(int index, int* width, int* height) const {
    if (index < 0 || index >= getDisplayModeCount()) {
        *width = 0;
        *height = 0;
        return;
    }
    *width = m_modes[index].first;
    *height = m_modes[index].second;
}

namespace {

void requestAttributes(const RenderWindowSettings& settings, bool multisampling) {
    SDL_GL_ResetAttributes();
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
    SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, getRequestedDepthBits(settings));
    int stencil = getRequestedStencilBits(settings);
    if (stencil > 0) {
        SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, stencil);
    }
    if (multisampling) {
        SDL_GL_SetAttribute(SDL_GL_MULTISAMPLEBUFFERS, 1);
        SDL_GL_SetAttribute(SDL_GL_MULTISAMPLESAMPLES, settings.samples);
    }
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
}

}  // namespace

IRenderWindow* SdlGLRenderDevice::createRenderWindow(const RenderWindowSettings& settings) {
    if (m_window) {
        return m_window.get();
    }
    if (!m_initialisedVideo) {
        Log::get() << "Error: the render device was not initialised\n";
        return nullptr;
    }
    Uint32 flags = SDL_WINDOW_OPENGL;
    if (settings.fullScreen) {
        flags |= SDL_WINDOW_FULLSCREEN;
    }
    if (settings.windowStyle == 0) {
        flags |= SDL_WINDOW_BORDERLESS;
    } else if (settings.windowStyle == 2) {
        flags |= SDL_WINDOW_RESIZABLE;
    }
    int width = settings.width > 0 ? settings.width : 800;
    int height = settings.height > 0 ? settings.height : 600;

    SDL_Window* window = nullptr;
    SDL_GLContext context = nullptr;
    // A multisampled format the driver lacks is retried without samples
    // rather than ending start-up.
    for (bool multisampling : {settings.multisampling, false}) {
        requestAttributes(settings, multisampling);
        window = SDL_CreateWindow(settings.caption.c_str(), SDL_WINDOWPOS_UNDEFINED,
                                  SDL_WINDOWPOS_UNDEFINED, width, height, flags);
        if (window) {
            context = SDL_GL_CreateContext(window);
            if (context) {
                break;
            }
            SDL_DestroyWindow(window);
            window = nullptr;
        }
        if (!settings.multisampling) {
            break;
        }
        Log::get() << "Warning: no multisampled OpenGL context (" << SDL_GetError()
                   << "), trying without\n";
    }
    if (!window) {
        Log::get() << "GLRenderDevice::createRenderWindow: No OpenGL 3.3 core profile context: "
                   << SDL_GetError() << "\n";
        return nullptr;
    }
    SDL_GL_MakeCurrent(window, context);
    if (settings.fullScreen) {
        SDL_ShowCursor(SDL_DISABLE);
    }
    if (settings.gammaRed > 0.0f && settings.gammaGreen > 0.0f && settings.gammaBlue > 0.0f) {
        Uint16 red[256];
        Uint16 green[256];
        Uint16 blue[256];
        SDL_CalculateGammaRamp(settings.gammaRed, red);
        SDL_CalculateGammaRamp(settings.gammaGreen, green);
        SDL_CalculateGammaRamp(settings.gammaBlue, blue);
        // Drivers without gamma ramps (offscreen) refuse; that is not an error.
        SDL_SetWindowGammaRamp(window, red, green, blue);
    }
    SDL_GL_SetSwapInterval(settings.verticalSync ? 1 : 0);

    auto glWindow = std::make_unique<SdlGLRenderWindow>(*this, window, context, width, height,
                                                        settings.fullScreen);
    glWindow->setCaption(settings.caption.c_str());
    adoptWindow(std::move(glWindow));
    if (!isInitialised() && !initGL()) {
        destroyRenderWindow();
        return nullptr;
    }
    return m_window.get();
}

std::unique_ptr<IRenderDevice> createRenderDevice() {
    return std::make_unique<SdlGLRenderDevice>();
}
