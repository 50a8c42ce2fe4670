#include "AssimpExport.h"

#include <assimp/postprocess.h>
#include <assimp/scene.h>
#include <assimp/Exporter.hpp>
#include <assimp/Importer.hpp>

#include <memory>

namespace testsupport {

namespace {

// The exporter's scene copy stops at metadata of some types the glTF reader
// records; the tests' models keep nothing there that matters.
void dropMetadata(aiNode* node) {
    delete node->mMetaData;
    node->mMetaData = nullptr;
    for (unsigned i = 0; i < node->mNumChildren; ++i) {
        dropMetadata(node->mChildren[i]);
    }
}

}  // namespace

bool exportModel(const std::string& input, const std::string& output, const std::string& formatId,
                 bool animations, std::string& error) {
    Assimp::Importer importer;
    if (importer.ReadFile(input, aiProcess_Triangulate) == nullptr) {
        error = importer.GetErrorString();
        return false;
    }
    std::unique_ptr<aiScene> scene(importer.GetOrphanedScene());
    delete scene->mMetaData;
    scene->mMetaData = nullptr;
    dropMetadata(scene->mRootNode);
    if (!animations) {
        for (unsigned i = 0; i < scene->mNumAnimations; ++i) {
            delete scene->mAnimations[i];
        }
        delete[] scene->mAnimations;
        scene->mAnimations = nullptr;
        scene->mNumAnimations = 0;
    }
    Assimp::Exporter exporter;
    if (exporter.Export(scene.get(), formatId, output) != aiReturn_SUCCESS) {
        error = exporter.GetErrorString();
        return false;
    }
    return true;
}

}  // namespace testsupport
