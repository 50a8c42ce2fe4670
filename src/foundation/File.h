#pragma once
// The virtual file system: every data file is opened by name through the
// priority-sorted list of file loaders and read through a File.

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

namespace FileMode {
constexpr int Read = 2;
constexpr int Write = 4;
}  // namespace FileMode

class File {
public:
    virtual ~File() = default;
    // Bytes read, or -1 when the file is not open.
    virtual int read(void* buffer, int count) = 0;
    // Bytes written, or -1 when the file is not open.
    virtual int write(const void* buffer, int count) = 0;
    virtual int seek(int position) = 0;
    virtual int getSize() = 0;
    virtual bool isEof() = 0;
    // Platform file time (100 ns units), 0 when unknown.
    virtual int64_t getLastWriteTime() = 0;
    virtual bool hasError() = 0;
};

// A file of the operating system, over a buffered C stream.
class NativeFile : public File {
public:
    NativeFile(const std::string& path, int mode);
    ~NativeFile() override;

    bool isOpen() const { return m_stream != nullptr; }
    // The path the stream was opened with (the loader's folder and the name).
    const std::string& getPath() const { return m_path; }

    int read(void* buffer, int count) override;
    int write(const void* buffer, int count) override;
    int seek(int position) override;
    int getSize() override;
    bool isEof() override;
    int64_t getLastWriteTime() override;
    bool hasError() override;

private:
    FILE* m_stream = nullptr;
    std::string m_path;
};

class IFileLoader {
public:
    virtual ~IFileLoader() = default;
    virtual std::unique_ptr<File> open(const std::string& path, int mode, bool isAbsolute) = 0;
    virtual int getPriority() const = 0;
};

// Opens files below a folder; the folder is a plain prefix, so it ends in "/".
class NativeFileLoader : public IFileLoader {
public:
    NativeFileLoader(std::string folder, int priority)
        : m_folder(std::move(folder)), m_priority(priority) {}
    std::unique_ptr<File> open(const std::string& path, int mode, bool isAbsolute) override;
    int getPriority() const override { return m_priority; }
    const std::string& getFolder() const { return m_folder; }

private:
    std::string m_folder;
    int m_priority;
};

// Told of every file the loaders open for reading from a folder of the
// native file system (never of archive entries).
class IFileReadObserver {
public:
    virtual ~IFileReadObserver() = default;
    // `name` as the engine asked for it, `nativePath` where it was found.
    virtual void fileOpened(const std::string& name, const std::string& nativePath) = 0;
};

namespace FileSystem {

// A path that bypasses the loaders' folders: second character ":" (a drive
// letter path) or a leading "/".
bool isAbsolutePath(const std::string& path);

// Appends a loader and re-sorts the list by priority (stable for equals).
void addFileLoader(std::unique_ptr<IFileLoader> loader);

// Destroys every loader (process exit, and tests between cases).
void clearFileLoaders();

size_t getNumFileLoaders();
IFileLoader* getFileLoader(size_t index);

// Asks the loaders in priority order; the first file returned wins. Nothing
// is logged here: callers report what they could not find.
std::unique_ptr<File> openFile(const std::string& path, int mode);

// One observer or none (the default: opening costs nothing extra).
void setReadObserver(IFileReadObserver* observer);
IFileReadObserver* getReadObserver();

// Reads a whole file through the loaders; false when it cannot be opened or
// read completely.
bool readWholeFile(const std::string& path, std::string& contents);

}  // namespace FileSystem
