#pragma once
// File loaders over ZIP archives lying in a folder, and the in-memory file an
// archive entry opens as. Entries may be encrypted with the traditional ZIP
// password scheme; each loader has one password.

#include <map>
#include <memory>
#include <string>

#include "foundation/File.h"

// A whole decompressed archive entry in memory; read-only.
class ZIPFile : public File {
public:
    ZIPFile(std::unique_ptr<char[]> data, int size);

    // Copies min(count, size - position) bytes and advances; -1 for a
    // negative count.
    int read(void* buffer, int count) override;
    // Archives are read-only: always 0.
    int write(const void* buffer, int count) override;
    // Moves to the position clamped to [0, size]; returns the new position.
    int seek(int position) override;
    int getSize() override { return m_size; }
    bool isEof() override { return m_position >= m_size; }
    int64_t getLastWriteTime() override { return 0; }
    bool hasError() override { return false; }

private:
    std::unique_ptr<char[]> m_data;
    int m_size;
    int m_position = 0;
};

class ZIPFileLoader : public IFileLoader {
public:
    // Entries larger than this are refused instead of being held in memory.
    static constexpr int64_t kMaxEntrySize = int64_t(1) << 30;

    // The folder is a plain prefix, so it ends in "/".
    ZIPFileLoader(std::string folder, std::string password, int priority);
    ~ZIPFileLoader() override;

    // A path "c0/c1/.../cn" is looked for as the entry "c1/.../cn" in
    // folder + "c0.zip", then as "c2/.../cn" in folder + "c0/c1.zip" and so
    // on; entry names match without regard to ASCII case. A path of one
    // component is never in an archive. Requests to write are refused.
    std::unique_ptr<File> open(const std::string& path, int mode, bool isAbsolute) override;
    int getPriority() const override { return m_priority; }

    // Serves the archive path (folder + "c0.zip", ...) from bytes held in
    // memory instead of the file system, for archives built or received in
    // memory. False, with nothing added, when the bytes are no ZIP archive.
    bool addArchiveFromMemory(const std::string& archivePath, std::string bytes);

    const std::string& getFolder() const { return m_folder; }
    const std::string& getPassword() const { return m_password; }
    // Archives opened so far; they stay open until the loader is destroyed.
    size_t getNumCachedArchives() const { return m_archives.size(); }

private:
    struct Archive;
    Archive* findArchive(const std::string& archivePath);
    // Indexes an opened archive's entries and keeps it under its path.
    Archive* addArchive(const std::string& archivePath, std::unique_ptr<Archive> archive);
    std::unique_ptr<File> openEntry(Archive& archive, const std::string& entryName) const;

    std::string m_folder;
    std::string m_password;
    int m_priority;
    std::map<std::string, std::unique_ptr<Archive>> m_archives;
};

namespace FileSystem {

// The password of the game's own archives.
inline constexpr const char* kDefaultArchivePassword = "Qm7TzR2xLp9VfK4d";

// Registers the archive loaders over the program folder: with an archive key
// one with that key at priority 20, then always one with the default password
// at priority 25. Nothing when the folder is empty.
void addArchiveLoaders(const std::string& appBasePath, const char* archiveKey);

}  // namespace FileSystem
