#pragma once
// Opens the render device of a GL test: a small plain window, on SDL's
// offscreen driver (Mesa's software renderer) unless a display exists.
// Header only, for the test programs that link the render device.

#include <cstdlib>

#include "base/device/IRenderDevice.h"

namespace testsupport {

// Starts the device and opens a size × size window with the other settings
// as given; the window, or null when either step fails.
inline IRenderWindow* openTestRenderWindow(IRenderDevice& device, int size,
                                           RenderWindowSettings settings = RenderWindowSettings()) {
    if (!std::getenv("DISPLAY")) {
        setenv("SDL_VIDEODRIVER", "offscreen", 0);
    }
    if (!device.init(false)) {
        return nullptr;
    }
    settings.width = size;
    settings.height = size;
    settings.fullScreen = false;
    settings.verticalSync = false;
    return device.createRenderWindow(settings);
}

}  // namespace testsupport
