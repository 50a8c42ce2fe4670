#include "foundation/ZIPFileLoader.h"

#include <zip.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "base/platform/Platform.h"
#include "foundation/Log.h"
#include "foundation/TextUtil.h"

namespace {

// An entry is read into a buffer of this size first, doubled as its bytes
// arrive.
constexpr size_t kFirstReadBlock = 64 * 1024;

std::string lowerAscii(const char* text) {
    std::string result(text);
    for (char& c : result) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return result;
}

// Closes an entry stream on every way out.
struct EntryStream {
    zip_file_t* file;
    ~EntryStream() {
        if (file != nullptr) {
            zip_fclose(file);
        }
    }
};

std::string compressionMethodName(zip_int32_t method) {
    switch (method) {
        case ZIP_CM_DEFLATE64:
            return "Deflate64";
        case ZIP_CM_BZIP2:
            return "BZIP2";
        case ZIP_CM_LZMA:
            return "LZMA";
        case ZIP_CM_LZMA2:
            return "LZMA2";
        case ZIP_CM_XZ:
            return "XZ";
        case 93:
            return "Zstandard";
        case ZIP_CM_PPMD:
            return "PPMd";
        default:
            return std::to_string(method);
    }
}

std::string encryptionMethodName(zip_uint16_t method) {
    switch (method) {
        case ZIP_EM_AES_128:
            return "AES-128";
        case ZIP_EM_AES_192:
            return "AES-192";
        case ZIP_EM_AES_256:
            return "AES-256";
        case ZIP_EM_UNKNOWN:
            return "unknown";
        default:
            return "strong encryption " + std::to_string(method);
    }
}

// Why the loader cannot read an entry, from its directory record alone; empty
// when it can. Entries are either plain or carry the traditional PKWARE
// encryption, and their compression must be one the library decodes. Asking
// the library to open anything else fails after it has allocated, so such
// entries are never opened.
std::string unreadableReason(const zip_stat_t& stat) {
    if ((stat.valid & ZIP_STAT_ENCRYPTION_METHOD) && stat.encryption_method != ZIP_EM_NONE &&
        stat.encryption_method != ZIP_EM_TRAD_PKWARE) {
        return "unsupported encryption method " + encryptionMethodName(stat.encryption_method);
    }
    if ((stat.valid & ZIP_STAT_COMP_METHOD) &&
        !zip_compression_method_supported(stat.comp_method, 0)) {
        return "unsupported compression method " + compressionMethodName(stat.comp_method);
    }
    // A stored entry is no larger than its data, and Deflate makes at most
    // 1032 bytes of one (a 258-byte match in two bits). An entry claiming
    // more is damaged and refused at once. Other methods have no useful
    // bound; for them (and every entry) the reading grows its buffer only
    // with bytes that arrive.
    if ((stat.valid & ZIP_STAT_COMP_METHOD) && (stat.valid & ZIP_STAT_COMP_SIZE) &&
        (stat.valid & ZIP_STAT_SIZE)) {
        const uint64_t limit = stat.comp_method == ZIP_CM_STORE     ? stat.comp_size
                               : stat.comp_method == ZIP_CM_DEFLATE ? stat.comp_size * 1032 + 1032
                                                                    : UINT64_MAX;
        if (stat.size > limit) {
            return "size of " + std::to_string(stat.size) + " bytes is more than its " +
                   std::to_string(stat.comp_size) + " compressed bytes can hold";
        }
    }
    return std::string();
}

}  // namespace

ZIPFile::ZIPFile(std::unique_ptr<char[]> data, int size) : m_data(std::move(data)), m_size(size) {}

int ZIPFile::read(void* buffer, int count) {
    if (count < 0) {
        return -1;
    }
    int n = std::min(count, m_size - m_position);
    if (n > 0) {
        std::memcpy(buffer, m_data.get() + m_position, static_cast<size_t>(n));
        m_position += n;
    }
    return n;
}

int ZIPFile::write(const void*, int) {
    return 0;
}

int ZIPFile::seek(int position) {
    m_position = std::clamp(position, 0, m_size);
    return m_position;
}

// An open archive and its entry index by lower-case name. Where names differ
// only in case, the first entry of the central directory wins.
struct ZIPFileLoader::Archive {
    zip_t* handle = nullptr;
    std::string path;
    zip_uint64_t fileSize = 0;
    std::unordered_map<std::string, zip_uint64_t> entries;
    // Entries refused for a method the loader cannot read: logged once.
    std::unordered_set<zip_uint64_t> unreadable;
    // The archive's bytes when it is served from memory; the library reads
    // them in place.
    std::string memory;

    ~Archive() {
        if (handle != nullptr) {
            zip_discard(handle);
        }
    }
};

ZIPFileLoader::ZIPFileLoader(std::string folder, std::string password, int priority)
    : m_folder(std::move(folder)), m_password(std::move(password)), m_priority(priority) {}

ZIPFileLoader::~ZIPFileLoader() = default;

ZIPFileLoader::Archive* ZIPFileLoader::findArchive(const std::string& archivePath) {
    auto it = m_archives.find(archivePath);
    if (it != m_archives.end()) {
        return it->second.get();
    }
    // Missing archives are not remembered: one may appear later.
    if (!platform::isPlainFile(archivePath)) {
        return nullptr;
    }
    int error = 0;
    zip_t* handle = zip_open(archivePath.c_str(), ZIP_RDONLY, &error);
    if (handle == nullptr) {
        return nullptr;
    }
    auto archive = std::make_unique<Archive>();
    archive->handle = handle;
    archive->fileSize =
        static_cast<zip_uint64_t>(std::max<int64_t>(platform::getFileSize(archivePath), 0));
    return addArchive(archivePath, std::move(archive));
}

bool ZIPFileLoader::addArchiveFromMemory(const std::string& archivePath, std::string bytes) {
    if (m_archives.count(archivePath) != 0) {
        return false;
    }
    auto archive = std::make_unique<Archive>();
    archive->memory = std::move(bytes);
    archive->fileSize = archive->memory.size();
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* source =
        zip_source_buffer_create(archive->memory.data(), archive->memory.size(), 0, &error);
    if (source != nullptr) {
        archive->handle = zip_open_from_source(source, ZIP_RDONLY, &error);
        if (archive->handle == nullptr) {
            zip_source_free(source);
        }
    }
    zip_error_fini(&error);
    if (archive->handle == nullptr) {
        return false;
    }
    addArchive(archivePath, std::move(archive));
    return true;
}

ZIPFileLoader::Archive* ZIPFileLoader::addArchive(const std::string& archivePath,
                                                  std::unique_ptr<Archive> archive) {
    archive->path = archivePath;
    zip_int64_t count = zip_get_num_entries(archive->handle, 0);
    archive->entries.reserve(count > 0 ? static_cast<size_t>(count) : 0);
    for (zip_int64_t i = 0; i < count; ++i) {
        const char* name = zip_get_name(archive->handle, static_cast<zip_uint64_t>(i), 0);
        if (name != nullptr) {
            archive->entries.emplace(lowerAscii(name), static_cast<zip_uint64_t>(i));
        }
    }
    Archive* result = archive.get();
    m_archives.emplace(archivePath, std::move(archive));
    return result;
}

std::unique_ptr<File> ZIPFileLoader::openEntry(Archive& archive,
                                               const std::string& entryName) const {
    auto it = archive.entries.find(lowerAscii(entryName.c_str()));
    if (it == archive.entries.end()) {
        return nullptr;
    }
    zip_uint64_t index = it->second;
    zip_stat_t stat;
    zip_stat_init(&stat);
    if (zip_stat_index(archive.handle, index, 0, &stat) != 0 || !(stat.valid & ZIP_STAT_SIZE) ||
        stat.size > static_cast<zip_uint64_t>(kMaxEntrySize) ||
        ((stat.valid & ZIP_STAT_COMP_SIZE) && stat.comp_size > archive.fileSize)) {
        return nullptr;
    }
    if (archive.unreadable.count(index) != 0) {
        return nullptr;
    }
    std::string reason = unreadableReason(stat);
    if (!reason.empty()) {
        archive.unreadable.insert(index);
        Log::get() << "Error: Can't read '" << entryName << "' in archive '" << archive.path
                   << "': " << reason << "\n";
        return nullptr;
    }
    bool encrypted =
        (stat.valid & ZIP_STAT_ENCRYPTION_METHOD) && stat.encryption_method != ZIP_EM_NONE;
    // Only encrypted entries get the password; plain ones open whatever it is.
    EntryStream stream{encrypted
                           ? zip_fopen_index_encrypted(archive.handle, index, 0, m_password.c_str())
                           : zip_fopen_index(archive.handle, index, 0)};
    if (stream.file == nullptr) {
        return nullptr;
    }
    // The size is only what the directory claims, and a few bytes of some
    // methods can claim (and even decompress to) far more than they hold:
    // the buffer grows with the bytes that actually arrive, up to the claim.
    const size_t size = static_cast<size_t>(stat.size);
    size_t capacity = std::min(size, kFirstReadBlock);
    auto data = std::make_unique_for_overwrite<char[]>(capacity);
    size_t total = 0;
    while (total < size) {
        if (total == capacity) {
            const size_t grown = std::min(size, capacity * 2);
            auto larger = std::make_unique_for_overwrite<char[]>(grown);
            std::memcpy(larger.get(), data.get(), total);
            data = std::move(larger);
            capacity = grown;
        }
        zip_int64_t n =
            zip_fread(stream.file, data.get() + total, static_cast<zip_uint64_t>(capacity - total));
        if (n <= 0) {
            return nullptr;
        }
        total += static_cast<size_t>(n);
    }
    // Reading on to the end makes the library check the CRC, which catches a
    // wrong password that passed the header check and damaged data; more data
    // than the directory announced means the directory lies.
    char beyond = 0;
    if (zip_fread(stream.file, &beyond, 1) != 0) {
        return nullptr;
    }
    return std::make_unique<ZIPFile>(std::move(data), static_cast<int>(size));
}

std::unique_ptr<File> ZIPFileLoader::open(const std::string& path, int mode, bool isAbsolute) {
    if (!(mode & FileMode::Read)) {
        return nullptr;
    }
    std::string normalized = path;
    std::replace(normalized.begin(), normalized.end(), '\\', '/');
    std::vector<std::string> components = splitText("/", normalized, false);
    if (components.size() < 2) {
        return nullptr;
    }
    std::string base = isAbsolute ? std::string() : m_folder;
    for (size_t i = 0; i + 1 < components.size(); ++i) {
        if (i > 0) {
            base += "/";
        }
        base += components[i];
        // An empty component (leading "/", "//") names no archive.
        if (components[i].empty()) {
            continue;
        }
        Archive* archive = findArchive(base + ".zip");
        if (archive == nullptr) {
            continue;
        }
        std::string entryName = components[i + 1];
        for (size_t j = i + 2; j < components.size(); ++j) {
            entryName += "/";
            entryName += components[j];
        }
        // A name ending in "/" is a folder entry, not a file.
        if (entryName.empty() || entryName.back() == '/') {
            continue;
        }
        if (auto file = openEntry(*archive, entryName)) {
            return file;
        }
    }
    return nullptr;
}

namespace FileSystem {

void addArchiveLoaders(const std::string& appBasePath, const char* archiveKey) {
    if (appBasePath.empty()) {
        return;
    }
    if (archiveKey != nullptr) {
        addFileLoader(std::make_unique<ZIPFileLoader>(appBasePath, archiveKey, 20));
    }
    addFileLoader(std::make_unique<ZIPFileLoader>(appBasePath, kDefaultArchivePassword, 25));
}

}  // namespace FileSystem
