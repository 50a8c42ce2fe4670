#pragma once
// What the harnesses share: an in-memory file loader, so that entry points
// which read through the file system get the fuzzer's bytes without any file
// being written.

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "foundation/File.h"

namespace fuzz {

// Fixed files a harness needs beside the fuzzer's input: path, contents.
using FixedFiles = std::map<std::string, std::string>;

// Serves the same bytes for every relative path below `folder` (a plain
// prefix ending in "/"), so an input that includes itself by any name gets
// itself back; the paths of `fixed` get their own contents instead.
class MemoryFileLoader : public IFileLoader {
public:
    MemoryFileLoader(std::string folder, const uint8_t* data, size_t size,
                     const FixedFiles* fixed = nullptr);
    std::unique_ptr<File> open(const std::string& path, int mode, bool isAbsolute) override;
    int getPriority() const override { return 0; }

private:
    std::string m_folder;
    const uint8_t* m_data;
    size_t m_size;
    const FixedFiles* m_fixed;
};

// Registers one MemoryFileLoader for the lifetime of the object and removes
// every loader again afterwards, so runs do not share state. `fixed` must
// outlive the object.
class ScopedMemoryFiles {
public:
    ScopedMemoryFiles(const std::string& folder, const uint8_t* data, size_t size,
                      const FixedFiles* fixed = nullptr);
    ~ScopedMemoryFiles();
    ScopedMemoryFiles(const ScopedMemoryFiles&) = delete;
    ScopedMemoryFiles& operator=(const ScopedMemoryFiles&) = delete;
};

// An uncompressed TGA image (grey for one channel, BGR for three) of
// width x height pixels, first row at the top, with the bytes `pixel` gives
// for column, row and channel.
std::string makeTga(uint16_t width, uint16_t height, int channels,
                    uint8_t (*pixel)(uint32_t column, uint32_t row, int channel));

}  // namespace fuzz
