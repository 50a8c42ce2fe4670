#include "terrain/DetailLayerSettings.h"

#include "foundation/File.h"

namespace {

struct Folders {
    std::string user;
    std::string load;
    uint64_t detailCells = 0;
    uint64_t foliageCells = 0;
};

std::string withoutTrailingSlash(std::string folder) {
    while (folder.size() > 1 && (folder.back() == '/' || folder.back() == '\\')) {
        folder.pop_back();
    }
    return folder;
}

Folders& folders() {
    static Folders f;
    return f;
}

}  // namespace

namespace DetailLayerSettings {

void setUserFolder(const std::string& folder) {
    folders().user = withoutTrailingSlash(folder);
}

const std::string& getUserFolder() {
    return folders().user;
}

void setTerrainLoadDirectory(const std::string& folder) {
    folders().load = withoutTrailingSlash(folder);
}

const std::string& getTerrainLoadDirectory() {
    return folders().load;
}

const std::string& getSaveFolder() {
    return folders().load.empty() ? folders().user : folders().load;
}

std::string resolveDensityMapPath(const std::string& path) {
    if (folders().load.empty()) {
        return path;
    }
    const size_t slash = path.rfind('/');
    const std::string candidate =
        folders().load + "/" + (slash == std::string::npos ? path : path.substr(slash + 1));
    return FileSystem::openFile(candidate, FileMode::Read) ? candidate : path;
}

void addUploadedCells(bool foliage, uint32_t count) {
    (foliage ? folders().foliageCells : folders().detailCells) += count;
}

uint64_t getUploadedDetailCells() {
    return folders().detailCells;
}

uint64_t getUploadedFoliageCells() {
    return folders().foliageCells;
}

}  // namespace DetailLayerSettings
