#pragma once
// The scene node that draws a Geometry with a list of materials, optionally
// skinned to a list of bone nodes.

#include <memory>
#include <vector>

#include "scene/Geometry.h"
#include "scene/RenderAttachment.h"
#include "scene/ShapeMaterial.h"
#include "scene/TransformGroup.h"

class Shape : public ActionListener, public TransformGroup {
public:
    static constexpr uint32_t kSkinned = 0x8;
    static constexpr uint32_t kVertexColors = 0x10;
    static constexpr uint32_t kCastsShadows = 0x40;
    static constexpr uint32_t kReceivesShadows = 0x100;
    static constexpr uint32_t kNotRendered = 0x400;
    // Bones that fit the shaders' palette.
    static constexpr size_t kMaxPaletteBones = 40;
    // Floats one bone takes in the palette (three matrix rows).
    static constexpr size_t kPaletteFloatsPerBone = 12;

    explicit Shape(const std::string& name);
    ~Shape() override;

    const char* getClassName() const override { return "Shape"; }
    std::unique_ptr<TransformGroup> createCopy() const override;
    const BoundingSphere& getLocalBounds(int kind) override;

    // World-transform events of the first bone and the shape-bounds event
    // invalidate the bounds; deletion of a bone drops the skin binding.
    void actionPerformed(void* source, int eventKind, int32_t value1, int32_t value2) override;

    Geometry* getGeometry() const { return m_geometry.get(); }
    void setGeometry(Geometry* geometry);

    void addMaterial(ShapeMaterial* material);
    // Drops every material (and the render object made with them).
    void clearMaterials();
    size_t getNumMaterials() const { return m_materials.size(); }
    ShapeMaterial* getMaterial(size_t index) const { return m_materials[index].get(); }

    uint32_t getShapeFlags() const { return m_shapeFlags; }
    // ORs the bits in; a change drops the render object.
    void addShapeFlags(uint32_t flags);
    void clearShapeFlags(uint32_t flags);

    float getClipDistance() const { return m_clipDistance; }
    void setClipDistance(float distance);

    RenderAttachment* getRenderObject() const { return m_renderObject.get(); }
    void setRenderObject(std::unique_ptr<RenderAttachment> object);

    // Binds the skin to the bones (not owned). Inverse bind matrices are taken
    // relative to the frame of the first bone's parent. A missing bone leaves
    // the shape unskinned.
    void bindSkin(const std::vector<RawTransformGroup*>& bones);
    const std::vector<RawTransformGroup*>& getBones() const { return m_bones; }
    const std::vector<Matrix4>& getInverseBindMatrices() const { return m_inverseBindMatrices; }
    const Matrix4& getSkinRootMatrix() const { return m_skinRootMatrix; }

    // Writes, per bone (at most kMaxPaletteBones, and at most maxBones), the
    // first three rows of skin root x bone world x inverse bind matrix into
    // kPaletteFloatsPerBone floats; returns the number of bones written.
    size_t writeSkinningPalette(float* out, size_t maxBones);

private:
    void dropRenderObject();
    void unbindSkin();

    RefPtr<Geometry> m_geometry;
    uint32_t m_shapeFlags = 0;
    float m_clipDistance = 1000000.0f;
    std::vector<RefPtr<ShapeMaterial>> m_materials;
    std::unique_ptr<RenderAttachment> m_renderObject;
    std::vector<RawTransformGroup*> m_bones;
    std::vector<Matrix4> m_inverseBindMatrices;
    Matrix4 m_skinRootMatrix;
    std::unique_ptr<BoundingSphere> m_skinBounds;
};
