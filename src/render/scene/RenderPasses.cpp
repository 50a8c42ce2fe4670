#include "render/scene/RenderPasses.h"

#include "base/device/IRenderDevice.h"

RenderPassTable::RenderPassTable() {
    RenderPass& depthOnly = m_passes[kDepthOnly];
    for (bool& channel : depthOnly.colourMask) {
        channel = false;
    }
    depthOnly.lightMode = PassLightMode::None;

    m_passes[kMarker].type = PassType::Marker;

    // Shadow casters render into a depth texture.
    RenderPass& shadowDepth = m_passes[kShadowDepth];
    shadowDepth.type = PassType::ShadowMap;
    shadowDepth.clearFlags = CLEAR_DEPTH;
    for (bool& channel : shadowDepth.colourMask) {
        channel = false;
    }
    shadowDepth.lightMode = PassLightMode::None;

    // Point lights render distances into colour cube maps cleared to white.
    RenderPass& shadowColour = m_passes[kShadowColour];
    shadowColour.type = PassType::ShadowMap;
    for (float& c : shadowColour.clearColour) {
        c = 1.0f;
    }
    shadowColour.lightMode = PassLightMode::None;

    m_passes[kOpaque].groupRange = PassGroupRange::First;

    RenderPass& further = m_passes[kFurtherLights];
    further.clearFlags = 0;
    further.depthWrite = false;
    further.blending = true;
    further.blendSource = BF_ONE;
    further.blendDestination = BF_ONE;
    further.lightMode = PassLightMode::FurtherGroups;
    further.groupRange = PassGroupRange::FromSecond;

    RenderPass& refraction = m_passes[kRefraction];
    refraction.type = PassType::Refraction;
    refraction.clearFlags = 0;
    refraction.depthWrite = false;
    refraction.colourMask[0] = refraction.colourMask[1] = refraction.colourMask[2] = false;
    refraction.lightMode = PassLightMode::None;

    RenderPass& transparent = m_passes[kTransparent];
    transparent.clearFlags = 0;
    transparent.depthWrite = false;
    transparent.blending = true;
    transparent.groupRange = PassGroupRange::First;
    transparent.takesOpaque = false;
    transparent.takesBlended = true;
}

void setPassState(IRenderDevice& device, const RenderPass& pass, bool clear, FillMode fillMode) {
    if (clear && pass.clearFlags != 0) {
        device.clear(pass.clearFlags, pass.clearColour, pass.clearDepth, pass.clearStencil);
    }
    device.setColourWriteMask(pass.colourMask[0], pass.colourMask[1], pass.colourMask[2],
                              pass.colourMask[3]);
    if (pass.depthWrite) {
        device.enableDepthWrite();
    } else {
        device.disableDepthWrite();
    }
    if (pass.depthFunction == CF_ALWAYS) {
        device.disableDepthTest();
    } else {
        device.enableDepthTest();
        device.setDepthFunction(pass.depthFunction);
    }
    if (pass.blending) {
        device.setBlendFunction(pass.blendSource, pass.blendDestination);
    } else {
        device.setBlendFunction(BF_ONE, BF_ZERO);
    }
    device.setCullMode(pass.cullMode);
    const FillMode fill = fillMode != FILL_SOLID ? fillMode : pass.fillMode;
    if (fill != FILL_SOLID) {
        device.setFillMode(fill);
    }
}

void restorePassState(IRenderDevice& device, const RenderPass& pass, FillMode fillMode) {
    device.setColourWriteMask(true, true, true, true);
    device.setAlphaTest(CF_ALWAYS, 0.0f);
    if (pass.fillMode != FILL_SOLID || fillMode != FILL_SOLID) {
        device.setFillMode(FILL_SOLID);
    }
    // Later drawing (debug lines, text) expects depth writes and no blending.
    device.enableDepthWrite();
    device.setBlendFunction(BF_ONE, BF_ZERO);
}
