#pragma once
// Render textures the scene renderer draws into, kept for the run: shadow
// maps by format, size and kind (every light rendered in a frame takes a map
// of its own, so several lights of one size need several maps), and render
// targets with a depth buffer, by format and size, that the per-object
// reflection and depth-blend textures are attached to while they are drawn.

#include <cstdint>
#include <memory>
#include <vector>

#include "base/device/IGpuResources.h"
#include "base/device/IRenderTarget.h"
#include "base/image/PixelFormat.h"

class IRenderDevice;

class RenderTextureCache {
public:
    struct ShadowMap {
        std::unique_ptr<ITextureObject> texture;
        // One target per cube face; one for a 2D map.
        std::unique_ptr<IRenderTexture> targets[6];
        PixelFormat format = PF_UNKNOWN;
        int size = 0;
        bool cube = false;
        // The frame that took the map last.
        uint32_t frame = 0;
        // The device could not make it; kept so that it is not tried again.
        bool failed = false;
        // The failure was logged.
        bool reported = false;
    };

    explicit RenderTextureCache(IRenderDevice& device) : m_device(device) {}
    ~RenderTextureCache();
    RenderTextureCache(const RenderTextureCache&) = delete;
    RenderTextureCache& operator=(const RenderTextureCache&) = delete;

    // A map of the format, size and kind that `frame` has not taken yet,
    // made on first use (failed when the device could not make it); `index`
    // is its place in the cache.
    ShadowMap& acquireShadowMap(PixelFormat format, int size, bool cube, uint32_t frame,
                                size_t& index);
    size_t getNumShadowMaps() const { return m_shadowMaps.size(); }

    // A render texture with a depth buffer of the texture's format and size
    // with `texture` (a 2D render-target texture) attached as its colour;
    // null when the device cannot make it. The caller detaches the texture
    // when it is drawn, so that no target keeps a texture that goes away.
    IRenderTexture* targetFor(ITextureObject& texture);

    // A colour texture a render target can take: 2D, no mip levels, linear
    // filtering, clamped. Null when the device cannot make it.
    static std::unique_ptr<ITextureObject> createTargetTexture(IRenderDevice& device,
                                                               PixelFormat format, int width,
                                                               int height);

private:
    struct Target {
        PixelFormat format = PF_UNKNOWN;
        int width = 0;
        int height = 0;
        std::unique_ptr<IRenderTexture> target;
    };

    IRenderDevice& m_device;
    std::vector<std::unique_ptr<ShadowMap>> m_shadowMaps;
    std::vector<Target> m_targets;
};
