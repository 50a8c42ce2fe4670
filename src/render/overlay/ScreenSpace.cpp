#include "render/overlay/ScreenSpace.h"

#include "base/device/IRenderDevice.h"
#include "base/math/Matrix4.h"

void setScreenSpaceMatrices(IRenderDevice& device, float width, float height) {
    Matrix4 projection = Matrix4::orthographic(0.0f, width, 0.0f, height, -1.0f, 1.0f);
    Matrix4 identity;
    device.setProjectionMatrix(projection.data());
    device.setViewMatrix(identity.data());
    device.setModelMatrix(identity.data());
}
