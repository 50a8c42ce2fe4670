#pragma once
// Saves what the main window shows as an image file.

#include <string>

class IRenderDevice;

// Reads the main window's pixels (RGB, rows from the bottom) and writes them
// with the image writer; the type follows from the path's extension. The
// render target in use before is restored. False when there is no window or
// the file could not be written.
bool saveScreenshot(IRenderDevice& device, const std::string& path);
