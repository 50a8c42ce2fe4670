#include "foundation/File.h"

#include <algorithm>
#include <vector>

#include "base/platform/Platform.h"

NativeFile::NativeFile(const std::string& path, int mode) : m_path(path) {
    const char* streamMode = nullptr;
    if (mode & FileMode::Read) {
        streamMode = "rb";
    } else if (mode & FileMode::Write) {
        streamMode = "wb";
    }
    if (streamMode != nullptr) {
        m_stream = std::fopen(path.c_str(), streamMode);
    }
}

NativeFile::~NativeFile() {
    if (m_stream != nullptr) {
        std::fclose(m_stream);
    }
}

int NativeFile::read(void* buffer, int count) {
    if (m_stream == nullptr || count < 0) {
        return -1;
    }
    return static_cast<int>(std::fread(buffer, 1, static_cast<size_t>(count), m_stream));
}

int NativeFile::write(const void* buffer, int count) {
    if (m_stream == nullptr || count < 0) {
        return -1;
    }
    return static_cast<int>(std::fwrite(buffer, 1, static_cast<size_t>(count), m_stream));
}

int NativeFile::seek(int position) {
    if (m_stream == nullptr) {
        return -1;
    }
    return std::fseek(m_stream, position, SEEK_SET);
}

int NativeFile::getSize() {
    if (m_stream == nullptr) {
        return -1;
    }
    long position = std::ftell(m_stream);
    std::fseek(m_stream, 0, SEEK_END);
    long size = std::ftell(m_stream);
    std::fseek(m_stream, position, SEEK_SET);
    return static_cast<int>(size);
}

bool NativeFile::isEof() {
    return m_stream != nullptr && std::feof(m_stream) != 0;
}

int64_t NativeFile::getLastWriteTime() {
    return platform::getLastWriteTime(m_path);
}

bool NativeFile::hasError() {
    return m_stream == nullptr || std::ferror(m_stream) != 0;
}

std::unique_ptr<File> NativeFileLoader::open(const std::string& path, int mode, bool isAbsolute) {
    std::string fullPath = isAbsolute ? path : m_folder + path;
    // A folder opens as a stream on Linux; it is not a file to the engine.
    if ((mode & FileMode::Read) && platform::isFolder(fullPath)) {
        return nullptr;
    }
    auto file = std::make_unique<NativeFile>(fullPath, mode);
    if (!file->isOpen()) {
        return nullptr;
    }
    return file;
}

namespace FileSystem {

namespace {

std::vector<std::unique_ptr<IFileLoader>>& loaders() {
    static auto* list = new std::vector<std::unique_ptr<IFileLoader>>();
    return *list;
}

IFileReadObserver* g_readObserver = nullptr;

}  // namespace

void setReadObserver(IFileReadObserver* observer) {
    g_readObserver = observer;
}

IFileReadObserver* getReadObserver() {
    return g_readObserver;
}

bool isAbsolutePath(const std::string& path) {
    return (path.size() >= 2 && path[1] == ':') || (!path.empty() && path[0] == '/');
}

void addFileLoader(std::unique_ptr<IFileLoader> loader) {
    auto& list = loaders();
    list.push_back(std::move(loader));
    std::stable_sort(list.begin(), list.end(), [](const auto& a, const auto& b) {
        return a->getPriority() < b->getPriority();
    });
}

void clearFileLoaders() {
    loaders().clear();
}

size_t getNumFileLoaders() {
    return loaders().size();
}

IFileLoader* getFileLoader(size_t index) {
    auto& list = loaders();
    return index < list.size() ? list[index].get() : nullptr;
}

std::unique_ptr<File> openFile(const std::string& path, int mode) {
    bool absolute = isAbsolutePath(path);
    for (auto& loader : loaders()) {
        if (auto file = loader->open(path, mode, absolute)) {
            if (g_readObserver != nullptr && (mode & FileMode::Read) != 0) {
                if (auto* native = dynamic_cast<NativeFile*>(file.get())) {
                    g_readObserver->fileOpened(path, native->getPath());
                }
            }
            return file;
        }
    }
    return nullptr;
}

bool readWholeFile(const std::string& path, std::string& contents) {
    auto file = openFile(path, FileMode::Read);
    if (!file) {
        return false;
    }
    int size = file->getSize();
    if (size < 0) {
        return false;
    }
    contents.resize(static_cast<size_t>(size));
    int read = size > 0 ? file->read(contents.data(), size) : 0;
    if (read != size) {
        contents.clear();
        return false;
    }
    return true;
}

}  // namespace FileSystem
