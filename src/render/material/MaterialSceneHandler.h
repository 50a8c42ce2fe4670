#pragma once
// Builds the materials of scene files: each "Material" element becomes the
// shared Material of its description (MaterialLibrary), so equal elements,
// in one file or across files, draw with one material.

#include "scene/i3d/I3DSections.h"

class MaterialSceneHandler : public I3DMaterialHandler {
public:
    ~MaterialSceneHandler() override { uninstall(); }

    RefPtr<ShapeMaterial> createMaterial(const MaterialDesc& desc) override;

    // Plugs this handler into the scene loader, or takes it out again.
    void install();
    void uninstall();
};
