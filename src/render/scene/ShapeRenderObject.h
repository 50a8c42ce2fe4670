#pragma once
// What the renderer keeps with a visible shape (the shape owns it and drops
// it when its geometry, materials or flags change): the camera distance and
// LOD choices per renderer depth, the world transform, the light groups and
// one render object per material slot and light group.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/device/IGpuResources.h"
#include "base/math/Matrix4.h"
#include "render/scene/LightAssignment.h"
#include "render/shader/ShaderKey.h"
#include "scene/RenderAttachment.h"

class Geometry;
class Material;
class Shader;
class VertexBufferGeometry;

// One way of drawing a material slot: its shader key and the shader pair
// built for it.
struct RenderObject {
    ShaderKey key;
    Shader* vertex = nullptr;
    Shader* fragment = nullptr;
    // The key the shaders were asked for (they may have failed).
    bool requested = false;
};

// A material slot of the shape: one sub-mesh of its geometry with the
// material drawing it.
struct ShapeSlot {
    // Render objects 0..3 draw with the shape's light group of that index,
    // the last one without lights.
    static constexpr int kUnlit = LightGroups::kMaxGroups;
    // The render object a shadow-generation renderer draws the slot with.
    static constexpr int kShadowCaster = kUnlit + 1;

    Material* material = nullptr;
    size_t subMesh = 0;
    // VertexAttribute bits of the sub-mesh's vertex data (0 when the geometry
    // keeps none the renderer can see).
    uint32_t vertexAttributes = 0;
    bool blended = false;
    bool refractive = false;
    // The material mirrors the scene at the shape's plane into a texture of
    // the shape's own.
    bool planarReflection = false;
    // Nothing of the slot is the shape's own but its place: a plain mesh
    // sub-mesh without skin data, whose material samples no texture of the
    // shape's and needs no per-object parameters. Such slots of equal state
    // are drawn together with one instanced draw call.
    bool instanceable = false;
    // The shape's own textures for this slot, made when first needed; they
    // go with the render data, that is with the shape.
    std::unique_ptr<ITextureObject> reflectionTexture;
    std::unique_ptr<ITextureObject> depthBlendTexture;
    // The depth-blend map was made (or could not be); it is not tried again.
    bool depthBlendDone = false;
    // The custom shader level for the current distance (-1: none) and its
    // define index and texture names.
    int lodLevel = -1;
    int lodDefineIndex = 0;
    const std::vector<std::string>* textureNames = nullptr;
    RenderObject objects[kShadowCaster + 1];
};

class ShapeRenderObject : public RenderAttachment {
public:
    // Renderer nesting depths that keep a distance of their own.
    static constexpr int kMaxDepth = 3;

    // What every frame reads and writes comes first, together.
    // The geometry the slots were made for, and the same as vertex buffers
    // (none when it draws itself).
    Geometry* geometry = nullptr;
    VertexBufferGeometry* buffers = nullptr;
    // Negative: no distance yet, so the first visit chooses the LODs.
    float distance[kMaxDepth] = {-1.0f, -1.0f, -1.0f};
    // The radius of the shape's world bounds at its last visit.
    float boundsRadius = 0.0f;
    uint32_t frameNumber = 0;
    // Lights in all light groups together, and the number of groups.
    uint32_t lightCount = 0;
    uint32_t lightGroupCount = 0;
    bool refractive = false;
    bool reflective = false;
    // Whether any slot blends, and whether any slot's material has a
    // depth-blend map.
    bool blended = false;
    bool depthBlended = false;
    // The geometry's sub-meshes keep their materials for its lifetime (plain
    // meshes), so the slots need no check against them.
    bool fixedSubMeshes = false;
    // The shape's flag, as it was when the render data was made (a change
    // of the shape's flags drops the render data).
    bool receivesShadows = false;
    // Changes whenever something the shape's queue entries are made of
    // changes: its light groups, LOD levels or own textures.
    uint32_t revision = 0;
    // For the renderer that keeps its queues between frames: which renderer
    // last counted the shape visible, in which of its frames, and the
    // revision its entries were last made for; the build that last added
    // the shape's entries.
    const void* keptBy = nullptr;
    uint32_t keptFrame = 0;
    uint32_t keptRevision = 0;
    uint64_t addedMark = 0;
    // The shape's place among the visible shapes of the last walk that took
    // it (for the queue's walk order).
    uint32_t visibleIndex = 0;
    LightAssignmentStamp lightStamp;
    Matrix4 world;
    LightGroups lights;
    std::vector<ShapeSlot> slots;
};
