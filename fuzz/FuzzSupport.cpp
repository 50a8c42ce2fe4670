#include "FuzzSupport.h"

#include <cstring>
#include <limits>

#include "foundation/ZIPFileLoader.h"

namespace fuzz {

MemoryFileLoader::MemoryFileLoader(std::string folder, const uint8_t* data, size_t size)
    : m_folder(std::move(folder)), m_data(data), m_size(size) {}

std::unique_ptr<File> MemoryFileLoader::open(const std::string& path, int mode, bool isAbsolute) {
    if (!(mode & FileMode::Read) || isAbsolute || path.compare(0, m_folder.size(), m_folder) != 0 ||
        m_size > static_cast<size_t>(std::numeric_limits<int>::max())) {
        return nullptr;
    }
    // The read-only in-memory file the archive loader opens entries as.
    auto bytes = std::make_unique_for_overwrite<char[]>(m_size + 1);
    if (m_size > 0) {
        std::memcpy(bytes.get(), m_data, m_size);
    }
    return std::make_unique<ZIPFile>(std::move(bytes), static_cast<int>(m_size));
}

ScopedMemoryFiles::ScopedMemoryFiles(const std::string& folder, const uint8_t* data, size_t size) {
    FileSystem::clearFileLoaders();
    FileSystem::addFileLoader(std::make_unique<MemoryFileLoader>(folder, data, size));
}

ScopedMemoryFiles::~ScopedMemoryFiles() {
    FileSystem::clearFileLoaders();
}

}  // namespace fuzz
