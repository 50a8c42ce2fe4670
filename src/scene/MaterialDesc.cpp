#include "scene/MaterialDesc.h"

#include "foundation/Log.h"
#include "scene/Geometry.h"

namespace {

// A name of kMaxCustomNameLength characters or more, or one entry too many,
// is refused with the engine's messages.
bool acceptCustomEntry(const char* kind, const std::string& name, size_t count, size_t limit) {
    if (count >= limit) {
        Log::get() << "Error: too many custom " << kind << "s! Maximal "
                   << static_cast<uint32_t>(limit) << "allowed.\n";
        return false;
    }
    if (name.size() >= MaterialDesc::kMaxCustomNameLength) {
        Log::get() << "Error: too long custom " << kind << " name '" << name << "'! Maximal "
                   << static_cast<uint32_t>(MaterialDesc::kMaxCustomNameLength) << "allowed.\n";
        return false;
    }
    return true;
}

}  // namespace

bool MaterialDesc::addCustomTexture(const std::string& textureName, const MaterialMapDesc& map) {
    if (!acceptCustomEntry("texture", textureName, customTextures.size(), kMaxCustomTextures)) {
        return false;
    }
    customTextures.push_back({textureName, map});
    return true;
}

bool MaterialDesc::addCustomParameter(const std::string& parameterName,
                                      const std::array<float, 4>& value) {
    if (!acceptCustomEntry("parameter", parameterName, customParameters.size(),
                           kMaxCustomParameters)) {
        return false;
    }
    customParameters.push_back({parameterName, value});
    return true;
}

uint32_t MaterialDesc::getVertexAttributes() const {
    uint32_t attributes = VertexAttribute::Normal;
    bool anyMap = albedoMap.isSet() || normalMap.isSet() || glossMap.isSet() ||
                  emissiveMap.isSet() || !customTextures.empty();
    if (anyMap) {
        attributes |= VertexAttribute::TexCoords0;
    }
    if (emissiveMap.isSet()) {
        attributes |= VertexAttribute::TexCoords1;
    }
    return attributes;
}
