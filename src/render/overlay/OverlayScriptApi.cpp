#include "render/overlay/OverlayScriptApi.h"

#include "base/device/IRenderDevice.h"
#include "base/device/Texture.h"
#include "foundation/ResourceManager.h"
#include "render/overlay/Overlay.h"
#include "scripting/ScriptApi.h"

namespace {

Entity* createOverlay(ScriptValue* values) {
    if (values[0].type != ScriptType::String || values[1].type != ScriptType::String) {
        return nullptr;
    }
    Resource* texture =
        ResourceManager::instance().get(values[1].stringValue, ResourceType::Texture, true);
    if (texture == nullptr) {
        return nullptr;
    }
    return new Overlay(values[0].stringValue, static_cast<Texture*>(texture));
}

void setOverlayColor(Entity* object, ScriptValue* values) {
    static_cast<Overlay*>(object)->setColour(values[0].floatValue, values[1].floatValue,
                                             values[2].floatValue, values[3].floatValue);
}

void setOverlayUVs(Entity* object, ScriptValue* values) {
    float uvs[8];
    for (int i = 0; i < 8; ++i) {
        uvs[i] = values[i].floatValue;
    }
    static_cast<Overlay*>(object)->setTexCoords(uvs);
}

void renderOverlay(Entity* object, ScriptValue* values) {
    auto* overlay = static_cast<Overlay*>(object);
    overlay->setRect(values[0].floatValue, values[1].floatValue, values[2].floatValue,
                     values[3].floatValue);
    if (IRenderDevice* device = TextureSettings::getRenderDevice()) {
        int viewport[4];
        device->getViewport(viewport);
        overlay->draw(*device, viewport[2], viewport[3]);
    }
}

}  // namespace

void addOverlayScriptApi(ScriptApi& api) {
    api.setSection("Overlays");
    api.addEntityClass(
        "Overlay", "Entity", createOverlay,
        {
            {"setOverlayColor", "ffff", "", setOverlayColor, "r, g, b, a: 0 to 1", "",
             "Tints the overlay's texture and sets its opacity."},
            {"setOverlayUVs", "ffffffff", "", setOverlayUVs,
             "u0, v0: texture coordinates of the lower left corner, 0 to 1 across the texture; "
             "u1, v1: of the upper left corner; u2, v2: of the lower right corner; "
             "u3, v3: of the upper right corner",
             "", "Chooses the part of the texture the overlay shows."},
            {"renderOverlay", "ffff", "", renderOverlay,
             "x, y: screen fractions from the bottom left, the lower left corner; "
             "width, height: screen fractions",
             "",
             "Draws the overlay at once on top of the scene; call it from draw every frame it "
             "should show."},
        });
    api.describeClass("Overlay", {"overlay",
                                  "A textured rectangle drawn over the scene, for logos and "
                                  "HUDs."});
    api.addCreateFunction("createOverlay", "Overlay", "string name; string path: image file",
                          "Makes an overlay showing the whole image; nil when the image cannot "
                          "be loaded (logged).");
}
