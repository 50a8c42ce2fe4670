#include "base/device/RenderTypes.h"

const char* getRenderDeviceErrorName(int error) {
    switch (error) {
        case RDE_NONE:
            return "none";
        case RDE_UNSUPPORTED_COLOR_BUFFER_FORMAT:
            return "Error: UNSUPPORTED COLOR BUFFER FORMAT";
        case RDE_UNSUPPORTED_DEPTH_BUFFER_FORMAT:
            return "Error: UNSUPPORTED DEPTH_BUFFER FORMAT";
        case RDE_UNSUPPORTED_STENCIL_BUFFER_FORMAT:
            return "Error: UNSUPPORTED STENCIL BUFFER FORMAT";
        case RDE_UNSUPPORTED_SHADER_FORMAT:
            return "Error: UNSUPPORTED SHADER FORMAT";
        case RDE_UNSUPPORTED_SHADER_VERSION:
            return "Error: UNSUPPORTED SHADER VERSION";
        case RDE_INVALID_SHADER_CODE:
            return "Error: INVALID SHADER CODE";
        case RDE_UNKNOWN:
            return "Error: UNKNOWN";
        default:
            return "ERROR UNKNOWN";
    }
}

int getVertexElementComponents(VertexElementType type) {
    switch (type) {
        case VET_FLOAT1:
            return 1;
        case VET_FLOAT2:
        case VET_SHORT2:
        case VET_SHORT2N:
            return 2;
        case VET_FLOAT3:
            return 3;
        case VET_FLOAT4:
        case VET_SHORT4:
        case VET_COLOUR:
        case VET_SHORT4N:
        case VET_UBYTE4N:
        case VET_UBYTE4:
            return 4;
        default:
            return 0;
    }
}

int getVertexElementSize(VertexElementType type) {
    switch (type) {
        case VET_FLOAT1:
        case VET_SHORT2:
        case VET_COLOUR:
        case VET_SHORT2N:
        case VET_UBYTE4N:
        case VET_UBYTE4:
            return 4;
        case VET_FLOAT2:
        case VET_SHORT4:
        case VET_SHORT4N:
            return 8;
        case VET_FLOAT3:
            return 12;
        case VET_FLOAT4:
            return 16;
        default:
            return 0;
    }
}

int getRequestedDepthBits(const RenderWindowSettings& settings) {
    if (!settings.depthOverride) {
        return 24;
    }
    switch (settings.depthMode) {
        case 1:
            return 16;
        case 3:
            return 32;
        default:
            return 24;
    }
}

int getRequestedStencilBits(const RenderWindowSettings& settings) {
    if (!settings.stencilOverride) {
        return 0;
    }
    switch (settings.stencilMode) {
        case 1:
            return 1;
        case 2:
            return 4;
        case 3:
            return 8;
        case 4:
            return 16;
        default:
            return getRequestedDepthBits(settings) == 24 ? 8 : 0;
    }
}
