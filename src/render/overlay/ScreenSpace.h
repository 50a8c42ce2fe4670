#pragma once
// Screen-space drawing: an orthographic projection over (0, 0) to (width,
// height) with depth −1 to 1 and identity view and model matrices.

class IRenderDevice;

void setScreenSpaceMatrices(IRenderDevice& device, float width, float height);
