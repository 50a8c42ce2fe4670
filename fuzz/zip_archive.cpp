// ZIP archives: the archive loader serves "fuzz/data.zip" from the input and
// every entry the archive names is opened through it (with the wrong and the
// right password) and read to the end.

#include <zip.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "foundation/ZIPFileLoader.h"

namespace {

// The entry names, read with the library itself so the harness reaches
// every entry; a few at most.
std::vector<std::string> entryNames(const uint8_t* data, size_t size) {
    std::vector<std::string> names;
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* source = zip_source_buffer_create(data, size, 0, &error);
    zip_t* archive = source != nullptr ? zip_open_from_source(source, ZIP_RDONLY, &error) : nullptr;
    if (archive == nullptr) {
        if (source != nullptr) {
            zip_source_free(source);
        }
    } else {
        const zip_int64_t count = zip_get_num_entries(archive, 0);
        for (zip_int64_t i = 0; i < count && i < 16; ++i) {
            if (const char* name = zip_get_name(archive, static_cast<zip_uint64_t>(i), 0)) {
                names.emplace_back(name);
            }
        }
        zip_discard(archive);
    }
    zip_error_fini(&error);
    return names;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::vector<std::string> names = entryNames(data, size);
    for (const char* password : {"wrong", FileSystem::kDefaultArchivePassword}) {
        ZIPFileLoader loader("fuzz/", password, 25);
        if (!loader.addArchiveFromMemory("fuzz/data.zip",
                                         std::string(reinterpret_cast<const char*>(data), size))) {
            return 0;
        }
        for (const std::string& name : names) {
            std::unique_ptr<File> file = loader.open("data/" + name, FileMode::Read, false);
            if (!file) {
                continue;
            }
            char buffer[4096];
            while (file->read(buffer, sizeof(buffer)) > 0) {
            }
            file->seek(file->getSize() / 2);
            file->read(buffer, 1);
        }
        loader.open("data/missing.txt", FileMode::Read, false);
    }
    return 0;
}
