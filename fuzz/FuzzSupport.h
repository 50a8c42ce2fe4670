#pragma once
// What the harnesses share: an in-memory file loader, so that entry points
// which read through the file system get the fuzzer's bytes without any file
// being written.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "foundation/File.h"

namespace fuzz {

// Serves the same bytes for every relative path below `folder` (a plain
// prefix ending in "/"), so an input that includes itself by any name gets
// itself back.
class MemoryFileLoader : public IFileLoader {
public:
    MemoryFileLoader(std::string folder, const uint8_t* data, size_t size);
    std::unique_ptr<File> open(const std::string& path, int mode, bool isAbsolute) override;
    int getPriority() const override { return 0; }

private:
    std::string m_folder;
    const uint8_t* m_data;
    size_t m_size;
};

// Registers one MemoryFileLoader for the lifetime of the object and removes
// every loader again afterwards, so runs do not share state.
class ScopedMemoryFiles {
public:
    ScopedMemoryFiles(const std::string& folder, const uint8_t* data, size_t size);
    ~ScopedMemoryFiles();
    ScopedMemoryFiles(const ScopedMemoryFiles&) = delete;
    ScopedMemoryFiles& operator=(const ScopedMemoryFiles&) = delete;
};

}  // namespace fuzz
