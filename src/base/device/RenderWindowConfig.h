#pragma once
// Main-window settings from the user configuration ("game.graphic.display.*").

#include <string>

#include "base/device/RenderTypes.h"

class Properties;

// Width and height (800 × 600 when missing or 0), bits per pixel (32 when
// missing or 0), full screen, multisampling (on when the sample count read
// is above 1), vertical sync, gamma for all channels (0 when missing, which
// leaves the display's gamma alone), a framed window and the caption. A
// null configuration reads as one without any of the keys.
RenderWindowSettings readRenderWindowSettings(const Properties* config, const std::string& caption);
