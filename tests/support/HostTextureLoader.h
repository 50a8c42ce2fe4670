#pragma once
// Texture resources without device textures, for programs that run the
// engine's loaders without a GPU (terrain tests, fuzz harnesses): a texture
// is entered for every name whose file opens.

#include <memory>
#include <string>

#include "base/device/Texture.h"
#include "foundation/File.h"
#include "foundation/ResourceManager.h"

namespace testsupport {

class HostTextureLoader : public ResourceLoader {
public:
    HostTextureLoader() : ResourceLoader(ResourceType::Texture) {}
    std::unique_ptr<Resource> create(const std::string& name) override {
        if (!FileSystem::openFile(name, FileMode::Read)) {
            return nullptr;
        }
        return std::make_unique<Texture>(name, nullptr);
    }
};

}  // namespace testsupport
