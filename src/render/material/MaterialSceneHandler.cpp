#include "render/material/MaterialSceneHandler.h"

#include "render/material/Material.h"

RefPtr<ShapeMaterial> MaterialSceneHandler::createMaterial(const MaterialDesc& desc) {
    RefPtr<Material> material = MaterialLibrary::get(desc);
    return RefPtr<ShapeMaterial>(material.get());
}

void MaterialSceneHandler::install() {
    I3DSectionHandlers::get().materials = this;
}

void MaterialSceneHandler::uninstall() {
    if (I3DSectionHandlers::get().materials == this) {
        I3DSectionHandlers::get().materials = nullptr;
    }
}
