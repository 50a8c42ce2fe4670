#include "render/scene/RenderTextureCache.h"

#include "base/device/IRenderDevice.h"
#include "foundation/Log.h"

RenderTextureCache::~RenderTextureCache() {
    // Targets go before the textures attached to them.
    m_targets.clear();
    for (auto& map : m_shadowMaps) {
        for (auto& target : map->targets) {
            target.reset();
        }
    }
}

std::unique_ptr<ITextureObject> RenderTextureCache::createTargetTexture(IRenderDevice& device,
                                                                        PixelFormat format,
                                                                        int width, int height) {
    if (width <= 0 || height <= 0) {
        return nullptr;
    }
    TextureDesc desc;
    desc.width = static_cast<uint32_t>(width);
    desc.height = static_cast<uint32_t>(height);
    desc.format = format;
    desc.usage = BU_RENDER_TARGET;
    desc.mipCount = 0;
    desc.mipFilter = TF_NONE;
    desc.wrapS = desc.wrapT = desc.wrapR = TW_CLAMP_TO_EDGE;
    std::unique_ptr<ITextureObject> texture = device.createTexture(desc);
    if (!texture || !texture->isValid()) {
        return nullptr;
    }
    return texture;
}

RenderTextureCache::ShadowMap& RenderTextureCache::acquireShadowMap(PixelFormat format, int size,
                                                                    bool cube, uint32_t frame,
                                                                    size_t& index) {
    for (index = 0; index < m_shadowMaps.size(); ++index) {
        ShadowMap& map = *m_shadowMaps[index];
        if (map.format == format && map.size == size && map.cube == cube && map.frame != frame) {
            map.frame = frame;
            return map;
        }
    }
    auto created = std::make_unique<ShadowMap>();
    ShadowMap& map = *created;
    map.format = format;
    map.size = size;
    map.cube = cube;
    map.frame = frame;
    index = m_shadowMaps.size();
    m_shadowMaps.push_back(std::move(created));

    TextureDesc desc;
    desc.width = desc.height = static_cast<uint32_t>(size);
    desc.format = format;
    desc.type = cube ? TT_CUBE : TT_2D;
    desc.usage = BU_RENDER_TARGET;
    desc.mipCount = 0;
    desc.mipFilter = TF_NONE;
    desc.wrapS = desc.wrapT = desc.wrapR = TW_CLAMP_TO_EDGE;
    map.texture = m_device.createTexture(desc);
    map.failed = !map.texture || !map.texture->isValid();
    const int faces = cube ? 6 : 1;
    for (int face = 0; face < faces && !map.failed; ++face) {
        RenderTextureDesc targetDesc;
        targetDesc.colourTexture = map.texture.get();
        targetDesc.cubeFace = face;
        // Colour maps need a depth buffer of their own; depth maps are one.
        targetDesc.depthBuffer = !PixelFormatUtil::isDepth(format);
        map.targets[face] = m_device.createRenderTexture(targetDesc);
        map.failed = !map.targets[face];
    }
    if (map.failed) {
        for (auto& target : map.targets) {
            target.reset();
        }
        map.texture.reset();
    }
    return map;
}

IRenderTexture* RenderTextureCache::targetFor(ITextureObject& texture) {
    const PixelFormat format = texture.getFormat();
    const int width = static_cast<int>(texture.getWidth());
    const int height = static_cast<int>(texture.getHeight());
    for (Target& entry : m_targets) {
        if (entry.format == format && entry.width == width && entry.height == height) {
            if (!entry.target) {
                return nullptr;
            }
            entry.target->attachColourTexture(0, &texture, 0, 0);
            return entry.target.get();
        }
    }
    Target& entry = m_targets.emplace_back();
    entry.format = format;
    entry.width = width;
    entry.height = height;
    RenderTextureDesc desc;
    desc.colourTexture = &texture;
    desc.depthBuffer = true;
    entry.target = m_device.createRenderTexture(desc);
    if (!entry.target) {
        Log::get() << "Warning: no render target of " << width << " x " << height
                   << " pixels for reflection or depth-blend maps\n";
    }
    return entry.target.get();
}
