#pragma once
// The fixed table of render passes a scene renderer runs each frame, the
// state each pass sets on the device, and which objects take part in it.

#include <cstdint>

#include "base/device/RenderTypes.h"

class IRenderDevice;

enum class PassType : int {
    Geometry = 0,
    ShadowMap = 2,
    Marker = 3,
    Refraction = 4,
};

// Which light groups a geometry pass draws an object with.
enum class PassLightMode : int {
    // One entry per object, without lights.
    None = 0,
    // One entry per light group from the second on; objects with fewer
    // groups stay out.
    FurtherGroups = 1,
    // One entry per group in the pass's group range; objects without groups
    // get one entry without lights.
    Lit = 2,
};

enum class PassGroupRange : int { First = 0, FromSecond = 1, All = 2 };

struct RenderPass {
    PassType type = PassType::Geometry;
    uint32_t clearFlags = CLEAR_COLOUR | CLEAR_DEPTH;
    float clearColour[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    float clearDepth = 1.0f;
    int clearStencil = 0;
    bool depthWrite = true;
    bool blending = false;
    BlendFactor blendSource = BF_SOURCE_ALPHA;
    BlendFactor blendDestination = BF_ONE_MINUS_SOURCE_ALPHA;
    // CF_ALWAYS switches the depth test off.
    CompareFunction depthFunction = CF_LESS_EQUAL;
    bool colourMask[4] = {true, true, true, true};
    PassLightMode lightMode = PassLightMode::Lit;
    PassGroupRange groupRange = PassGroupRange::All;
    CullMode cullMode = CULL_BACK;
    FillMode fillMode = FILL_SOLID;
    // Which objects the pass draws: materials without and with alpha
    // blending.
    bool takesOpaque = true;
    bool takesBlended = false;
};

class RenderPassTable {
public:
    static constexpr int kNumPasses = 8;
    // Pass 0 is never run by the frame; 1 marks the frame (reflections are
    // rendered there); 2 and 3 generate shadow maps (directional and spot
    // lights into depth textures, point lights into colour cube maps); 4 is
    // the opaque pass with each object's first light group; 5 adds every
    // further light group; 6 is the refraction stage; 7 draws blended
    // objects.
    static constexpr int kDepthOnly = 0;
    static constexpr int kMarker = 1;
    static constexpr int kShadowDepth = 2;
    static constexpr int kShadowColour = 3;
    static constexpr int kOpaque = 4;
    static constexpr int kFurtherLights = 5;
    static constexpr int kRefraction = 6;
    static constexpr int kTransparent = 7;

    RenderPassTable();

    const RenderPass& operator[](int index) const { return m_passes[index]; }
    RenderPass& operator[](int index) { return m_passes[index]; }

private:
    RenderPass m_passes[kNumPasses];
};

// Sets the pass's state: clear (when it clears and `clear` is set), colour
// mask, depth write, depth test and function, blending, cull mode and a
// non-solid fill mode. `fillMode` overrides the pass's fill mode when it is
// not solid (wire-frame debugging).
void setPassState(IRenderDevice& device, const RenderPass& pass, bool clear,
                  FillMode fillMode = FILL_SOLID);
// Back to all colour channels, no alpha test, solid fill.
void restorePassState(IRenderDevice& device, const RenderPass& pass,
                      FillMode fillMode = FILL_SOLID);
