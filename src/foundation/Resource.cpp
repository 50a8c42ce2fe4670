#include "foundation/Resource.h"

namespace ResourceType {

const char* displayName(int type) {
    switch (type) {
        case Texture:
            return "Texture";
        case SampleChunk:
            return "Samplechunk";
        case SampleChunkSpat:
            return "SamplechunkSpat";
        case Script:
            return "Script";
        default:
            return "";
    }
}

}  // namespace ResourceType

Resource::Resource(const std::string& name, int type, bool registered)
    : Entity(name, registered), m_type(type) {}

Resource::~Resource() = default;

bool Resource::reloadFromFile() {
    if (m_customReloader) {
        return m_customReloader->reload(*this);
    }
    deactivate();
    unload();
    return load() && activate();
}
