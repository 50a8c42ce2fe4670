#include "FuzzSupport.h"

#include <cstring>
#include <limits>

#include "foundation/ZIPFileLoader.h"

namespace fuzz {

MemoryFileLoader::MemoryFileLoader(std::string folder, const uint8_t* data, size_t size,
                                   const FixedFiles* fixed)
    : m_folder(std::move(folder)), m_data(data), m_size(size), m_fixed(fixed) {}

std::unique_ptr<File> MemoryFileLoader::open(const std::string& path, int mode, bool isAbsolute) {
    if (!(mode & FileMode::Read) || isAbsolute || path.compare(0, m_folder.size(), m_folder) != 0) {
        return nullptr;
    }
    const uint8_t* data = m_data;
    size_t size = m_size;
    if (m_fixed != nullptr) {
        if (auto it = m_fixed->find(path); it != m_fixed->end()) {
            data = reinterpret_cast<const uint8_t*>(it->second.data());
            size = it->second.size();
        }
    }
    if (size > static_cast<size_t>(std::numeric_limits<int>::max())) {
        return nullptr;
    }
    // The read-only in-memory file the archive loader opens entries as.
    auto bytes = std::make_unique_for_overwrite<char[]>(size + 1);
    if (size > 0) {
        std::memcpy(bytes.get(), data, size);
    }
    return std::make_unique<ZIPFile>(std::move(bytes), static_cast<int>(size));
}

ScopedMemoryFiles::ScopedMemoryFiles(const std::string& folder, const uint8_t* data, size_t size,
                                     const FixedFiles* fixed) {
    FileSystem::clearFileLoaders();
    FileSystem::addFileLoader(std::make_unique<MemoryFileLoader>(folder, data, size, fixed));
}

ScopedMemoryFiles::~ScopedMemoryFiles() {
    FileSystem::clearFileLoaders();
}

std::string makeTga(uint16_t width, uint16_t height, int channels,
                    uint8_t (*pixel)(uint32_t column, uint32_t row, int channel)) {
    // Image type 3 is uncompressed grey, 2 uncompressed colour; descriptor
    // bit 5 puts the first row at the top.
    std::string tga(18, '\0');
    tga[2] = static_cast<char>(channels == 1 ? 3 : 2);
    tga[12] = static_cast<char>(width & 0xFF);
    tga[13] = static_cast<char>(width >> 8);
    tga[14] = static_cast<char>(height & 0xFF);
    tga[15] = static_cast<char>(height >> 8);
    tga[16] = static_cast<char>(channels * 8);
    tga[17] = 0x20;
    for (uint32_t row = 0; row < height; ++row) {
        for (uint32_t column = 0; column < width; ++column) {
            for (int c = channels - 1; c >= 0; --c) {
                tga += static_cast<char>(pixel(column, row, channels == 1 ? 0 : c));
            }
        }
    }
    return tga;
}

}  // namespace fuzz
