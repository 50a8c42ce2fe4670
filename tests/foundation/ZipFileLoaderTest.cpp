#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <functional>

#include "AllocationWatch.h"
#include "CapturingLogSink.h"
#include "TestSupport.h"
#include "foundation/File.h"
#include "foundation/ZIPFileLoader.h"

namespace {

struct Entry {
    std::string name;
    std::string contents;
};

// Builds an archive with the `zip` tool from files staged under their entry
// names; extra options such as {"-P", password} or {"-0"} go before the names.
// Calling it again on the same archive adds entries.
void makeZip(const std::string& archive, const std::vector<Entry>& entries,
             const std::vector<std::string>& options = {}) {
    testsupport::TempDir staging;
    testsupport::makeDirs(archive.substr(0, archive.rfind('/')));
    std::vector<std::string> argv = {"/usr/bin/zip", "-q", "-X", "-D"};
    argv.insert(argv.end(), options.begin(), options.end());
    argv.push_back(archive);
    for (const Entry& entry : entries) {
        std::string path = staging / entry.name;
        testsupport::makeDirs(path.substr(0, path.rfind('/')));
        testsupport::writeFile(path, entry.contents);
        argv.push_back(entry.name);
    }
    auto result = testsupport::runProgram(argv, staging.path(), {});
    ASSERT_EQ(result.exitCode, 0) << result.output;
}

std::string readAll(File& file) {
    std::string text(static_cast<size_t>(file.getSize()), '\0');
    int n = file.read(text.data(), static_cast<int>(text.size()));
    return n == static_cast<int>(text.size()) ? text : "<short read>";
}

// The text of a path through the loader list, or "<none>".
std::string openText(const std::string& path) {
    auto file = FileSystem::openFile(path, FileMode::Read);
    return file ? readAll(*file) : "<none>";
}

std::string openText(IFileLoader& loader, const std::string& path, bool isAbsolute = false) {
    auto file = loader.open(path, FileMode::Read, isAbsolute);
    return file ? readAll(*file) : "<none>";
}

class ZipFileLoaderTest : public ::testing::Test {
protected:
    void TearDown() override { FileSystem::clearFileLoaders(); }
    testsupport::TempDir dir;
};

TEST_F(ZipFileLoaderTest, LooksUpFoldersThenArchivesShallowestFirst) {
    testsupport::makeDirs(dir / "shared/font");
    testsupport::writeFile(dir / "shared/font/sansSerif.png", "plain font");
    makeZip(dir / "shared.zip", {{"font/sansSerif.png", "zip font"},
                                 {"scripts/foundation/input.lua", "shallow input"},
                                 {"Mixed/CaseName.TXT", "mixed case"},
                                 {"readme.txt", "readme in archive"}});
    makeZip(dir / "shared/scripts.zip",
            {{"foundation/input.lua", "deep input"}, {"foundation/only.lua", "deep only"}});
    FileSystem::addFileLoader(
        std::make_unique<ZIPFileLoader>(dir.path(), FileSystem::kDefaultArchivePassword, 25));
    FileSystem::addFileLoader(std::make_unique<NativeFileLoader>(dir.path(), 10));

    const struct {
        const char* path;
        const char* expected;
    } cases[] = {
        {"shared/font/sansSerif.png", "plain font"},
        {"shared/scripts/foundation/input.lua", "shallow input"},
        {"shared/scripts/foundation/only.lua", "deep only"},
        {"shared\\scripts\\foundation\\only.lua", "deep only"},
        {"shared/MIXED/casename.txt", "mixed case"},
        {"shared/readme.txt", "readme in archive"},
        {"readme.txt", "<none>"},
        {"shared/scripts/foundation/missing.lua", "<none>"},
        {"shared/font", "<none>"},
        {"other/font/sansSerif.png", "<none>"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(openText(c.path), c.expected) << c.path;
    }
}

TEST_F(ZipFileLoaderTest, OneComponentPathsAreNeverLookedForInArchives) {
    // Even an archive whose name would fit a one-component lookup is ignored.
    makeZip(dir / "readme.txt.zip", {{"readme.txt", "x"}});
    makeZip(dir / ".zip", {{"readme.txt", "x"}});
    ZIPFileLoader loader(dir.path(), "", 25);
    EXPECT_EQ(openText(loader, "readme.txt"), "<none>");
    EXPECT_EQ(loader.getNumCachedArchives(), 0u);
}

TEST_F(ZipFileLoaderTest, EncryptedEntriesOpenOnlyWithTheirPassword) {
    makeZip(dir / "shared.zip", {{"secret/a.txt", "shallow A"}}, {"-P", "passwordA"});
    makeZip(dir / "shared.zip", {{"plain/p.txt", "not encrypted"}});
    makeZip(dir / "shared/secret.zip", {{"a.txt", "deep B"}}, {"-P", "passwordB"});

    const struct {
        const char* password;
        const char* secret;
    } cases[] = {
        {"passwordA", "shallow A"},
        {"passwordB", "deep B"},  // the wrong password lets the search go deeper
        {"passworda", "<none>"},
        {"", "<none>"},
    };
    for (const auto& c : cases) {
        ZIPFileLoader loader(dir.path(), c.password, 25);
        EXPECT_EQ(openText(loader, "shared/secret/a.txt"), c.secret) << c.password;
        EXPECT_EQ(openText(loader, "shared/plain/p.txt"), "not encrypted") << c.password;
    }
}

// Entries whose encryption or compression the loader cannot read are
// refused from their directory record with one line naming entry and method,
// and never opened (opening them leaks inside the library); later requests
// stay quiet. A readable entry beside them still opens.
TEST_F(ZipFileLoaderTest, EntriesWithUnreadableMethodsAreRefusedOnce) {
    // A stored archive whose method fields say Deflate64 (9).
    makeZip(dir / "made.zip", {{"x.txt", "contents"}, {"ok.txt", "fine"}}, {"-0"});
    std::string deflate64 = testsupport::readFile(dir / "made.zip");
    for (size_t at = 0; at + 12 <= deflate64.size(); ++at) {
        bool local = deflate64.compare(at, 4, "PK\x03\x04") == 0;
        bool central = deflate64.compare(at, 4, "PK\x01\x02") == 0;
        size_t name = at + (local ? 30 : 46);
        if ((local || central) && name + 5 <= deflate64.size() &&
            deflate64.compare(name, 5, "x.txt") == 0) {
            deflate64[at + (local ? 8 : 10)] = 9;
        }
    }
    const struct {
        const char* label;
        std::string archive;
        const char* method;
        bool readableBeside;
    } cases[] = {
        {"unsupported encryption",
         testsupport::readFile(
             testsupport::fixturePath("malformed/libzip_unsupported_encryption_leak.zip")),
         "encryption method ", false},
        {"unsupported encryption (fuzzer)",
         testsupport::readFile(
             testsupport::fixturePath("malformed/libzip_unsupported_encryption_leak_fuzzer.zip")),
         "encryption method ", false},
        {"Deflate64", deflate64, "compression method Deflate64", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        testsupport::writeFile(dir / "pack.zip", c.archive);
        ZIPFileLoader loader(dir.path(), "secret", 25);
        testsupport::ScopedLogCapture log;
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(openText(loader, "pack/x.txt"), "<none>");
        }
        EXPECT_EQ(log.count("Error: Can't read 'x.txt' in archive '" + dir / "pack.zip" +
                            "': unsupported " + c.method),
                  1u)
            << log.text();
        EXPECT_EQ(log.count("\n"), 1u) << log.text();
        if (c.readableBeside) {
            EXPECT_EQ(openText(loader, "pack/ok.txt"), "fine");
        }
    }
}

TEST_F(ZipFileLoaderTest, WrongPasswordFallsThroughToLowerPriorityLoaders) {
    makeZip(dir / "data.zip", {{"level.xml", "default key"}},
            {"-P", FileSystem::kDefaultArchivePassword});
    makeZip(dir / "game.zip", {{"level.xml", "game key"}}, {"-P", "gameKey"});
    FileSystem::addArchiveLoaders(dir.path(), "gameKey");
    EXPECT_EQ(openText("data/level.xml"), "default key");
    EXPECT_EQ(openText("game/level.xml"), "game key");

    FileSystem::clearFileLoaders();
    FileSystem::addArchiveLoaders(dir.path(), "otherKey");
    EXPECT_EQ(openText("data/level.xml"), "default key");
    EXPECT_EQ(openText("game/level.xml"), "<none>");
}

TEST_F(ZipFileLoaderTest, ArchiveLoaderRegistration) {
    const struct {
        std::string folder;
        const char* key;
        std::vector<std::pair<int, std::string>> loaders;
    } cases[] = {
        {dir.path(), "gameKey", {{20, "gameKey"}, {25, FileSystem::kDefaultArchivePassword}}},
        {dir.path(), nullptr, {{25, FileSystem::kDefaultArchivePassword}}},
        {"", "gameKey", {}},
    };
    for (const auto& c : cases) {
        FileSystem::clearFileLoaders();
        FileSystem::addFileLoader(std::make_unique<NativeFileLoader>(dir.path(), 10));
        FileSystem::addFileLoader(std::make_unique<NativeFileLoader>(dir.path(), 30));
        FileSystem::addArchiveLoaders(c.folder, c.key);
        ASSERT_EQ(FileSystem::getNumFileLoaders(), c.loaders.size() + 2);
        for (size_t i = 0; i < c.loaders.size(); ++i) {
            auto* zip = dynamic_cast<ZIPFileLoader*>(FileSystem::getFileLoader(i + 1));
            ASSERT_NE(zip, nullptr);
            EXPECT_EQ(zip->getPriority(), c.loaders[i].first);
            EXPECT_EQ(zip->getPassword(), c.loaders[i].second);
            EXPECT_EQ(zip->getFolder(), c.folder);
        }
    }
}

TEST_F(ZipFileLoaderTest, ZipFileReadsSeeksAndStaysReadOnly) {
    std::string big;
    for (int i = 0; i < 200000; ++i) {
        big += static_cast<char>('a' + (i * 7919 % 26));
    }
    makeZip(dir / "pack.zip", {{"big.bin", big}, {"small.txt", "0123456789"}, {"empty", ""}});
    ZIPFileLoader loader(dir.path(), "", 25);
    EXPECT_EQ(openText(loader, "pack/big.bin"), big);
    EXPECT_EQ(openText(loader, "pack/empty"), "");

    auto file = loader.open("pack/small.txt", FileMode::Read, false);
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(file->getSize(), 10);
    EXPECT_FALSE(file->isEof());
    EXPECT_FALSE(file->hasError());
    EXPECT_EQ(file->getLastWriteTime(), 0);
    char buffer[16] = {};
    EXPECT_EQ(file->read(buffer, 4), 4);
    EXPECT_EQ(std::string(buffer, 4), "0123");
    EXPECT_EQ(file->seek(7), 7);
    EXPECT_EQ(file->read(buffer, 16), 3);
    EXPECT_EQ(std::string(buffer, 3), "789");
    EXPECT_TRUE(file->isEof());
    EXPECT_EQ(file->read(buffer, 16), 0);
    EXPECT_EQ(file->seek(1000), 10);
    EXPECT_TRUE(file->isEof());
    EXPECT_EQ(file->seek(-5), 0);
    EXPECT_FALSE(file->isEof());
    EXPECT_EQ(file->read(buffer, -1), -1);
    EXPECT_EQ(file->write("x", 1), 0);
    EXPECT_EQ(file->read(buffer, 2), 2);
    EXPECT_EQ(std::string(buffer, 2), "01");

    EXPECT_EQ(loader.open("pack/small.txt", FileMode::Write, false), nullptr);
}

TEST_F(ZipFileLoaderTest, ArchivesAreCachedPerLoader) {
    ZIPFileLoader loader(dir.path(), "", 25);
    EXPECT_EQ(openText(loader, "pack/a.txt"), "<none>");
    EXPECT_EQ(loader.getNumCachedArchives(), 0u);  // a missing archive is not remembered

    makeZip(dir / "pack.zip", {{"a.txt", "A"}, {"b.txt", "B"}});
    EXPECT_EQ(openText(loader, "pack/a.txt"), "A");
    EXPECT_EQ(loader.getNumCachedArchives(), 1u);
    // The open archive keeps serving after its file is gone; another loader
    // has its own cache and no longer finds it.
    ASSERT_EQ(unlink((dir / "pack.zip").c_str()), 0);
    EXPECT_EQ(openText(loader, "pack/b.txt"), "B");
    ZIPFileLoader other(dir.path(), "", 25);
    EXPECT_EQ(openText(other, "pack/b.txt"), "<none>");
}

TEST_F(ZipFileLoaderTest, ArchivesServedFromMemory) {
    makeZip(dir / "made.zip", {{"a.txt", "plain A"}});
    makeZip(dir / "made.zip", {{"s/b.txt", "secret B"}}, {"-P", "key"});
    std::string bytes = testsupport::readFile(dir / "made.zip");
    // Served from memory alone: the file on disk is gone.
    ASSERT_EQ(unlink((dir / "made.zip").c_str()), 0);

    ZIPFileLoader loader("mem/", "key", 25);
    ASSERT_TRUE(loader.addArchiveFromMemory("mem/made.zip", bytes));
    EXPECT_FALSE(loader.addArchiveFromMemory("mem/made.zip", bytes));  // the path is taken
    EXPECT_EQ(openText(loader, "made/a.txt"), "plain A");
    EXPECT_EQ(openText(loader, "made/S/B.TXT"), "secret B");
    EXPECT_EQ(openText(loader, "made/c.txt"), "<none>");

    // Bytes that are no archive, and an archive cut short, add nothing.
    EXPECT_FALSE(loader.addArchiveFromMemory("mem/junk.zip", "no archive here"));
    EXPECT_FALSE(loader.addArchiveFromMemory("mem/cut.zip", bytes.substr(0, bytes.size() - 10)));
    EXPECT_EQ(openText(loader, "cut/a.txt"), "<none>");
    EXPECT_EQ(loader.getNumCachedArchives(), 1u);
}

TEST_F(ZipFileLoaderTest, DriveLetterPathsAreAbsolute) {
    char* previous = getcwd(nullptr, 0);
    ASSERT_EQ(chdir(dir.path().c_str()), 0);
    makeZip(dir / "C:/data.zip", {{"x.txt", "in C:/data.zip"}, {"y.txt", "deep y"}});
    makeZip(dir / "C:.zip", {{"data/x.txt", "in C:.zip"}});
    // The loader's own folder plays no part.
    ZIPFileLoader loader(dir / "elsewhere/", "", 25);
    FileSystem::addFileLoader(std::make_unique<ZIPFileLoader>(dir / "elsewhere/", "", 25));
    std::string x = openText("C:/data/x.txt");
    std::string y = openText("C:/data/y.txt");
    std::string relative = openText(loader, "C:/data/x.txt", false);
    ASSERT_EQ(chdir(previous), 0);
    std::free(previous);
    EXPECT_EQ(x, "in C:.zip");
    EXPECT_EQ(y, "deep y");
    EXPECT_EQ(relative, "<none>");
    // A path from the root is absolute too; its empty first component names no archive.
    EXPECT_EQ(openText(loader, dir / "C:/data/y.txt", true), "deep y");
    EXPECT_EQ(openText(loader, dir / "C:/data/x.txt", true), "in C:.zip");
}

// Offsets of the size fields in the first central directory record and the
// first local header of an archive.
size_t findSignature(const std::string& bytes, const char* signature) {
    size_t at = bytes.find(signature, 0, 4);
    EXPECT_NE(at, std::string::npos);
    return at;
}

void put32(std::string& bytes, size_t offset, uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        bytes[offset + i] = static_cast<char>((value >> (8 * i)) & 0xff);
    }
}

uint32_t get32(const std::string& bytes, size_t offset) {
    uint32_t value = 0;
    for (int i = 3; i >= 0; --i) {
        value = (value << 8) | static_cast<unsigned char>(bytes[offset + i]);
    }
    return value;
}

constexpr const char kCentral[] = "PK\x01\x02";
constexpr const char kLocal[] = "PK\x03\x04";

// Sets the uncompressed size in both headers, so that the directory agrees
// with itself but not with the data.
void setUncompressedSize(std::string& bytes, uint32_t size) {
    put32(bytes, findSignature(bytes, kCentral) + 24, size);
    put32(bytes, findSignature(bytes, kLocal) + 22, size);
}

TEST_F(ZipFileLoaderTest, DamagedArchivesOpenNothing) {
    std::string text;
    for (int i = 0; i < 4000; ++i) {
        text += "line " + std::to_string(i) + "\n";
    }
    makeZip(dir / "deflated.zip", {{"data.txt", text}});
    makeZip(dir / "stored.zip", {{"data.txt", text}}, {"-0"});
    const std::string deflated = testsupport::readFile(dir / "deflated.zip");
    const std::string stored = testsupport::readFile(dir / "stored.zip");
    const uint32_t size = static_cast<uint32_t>(text.size());

    const struct {
        const char* name;
        const std::string* source;
        std::function<void(std::string&)> damage;
    } cases[] = {
        {"intact", &deflated, [](std::string&) {}},
        {"empty file", &deflated, [](std::string& b) { b.clear(); }},
        {"not a zip", &deflated, [](std::string& b) { b = std::string(4096, 'x'); }},
        {"cut in half", &deflated, [](std::string& b) { b.resize(b.size() / 2); }},
        {"cut before the end record", &deflated, [](std::string& b) { b.resize(b.size() - 10); }},
        {"deflated data changed", &deflated, [](std::string& b) { b[200] ^= 0x55; }},
        {"stored data changed", &stored, [](std::string& b) { b[200] ^= 0x01; }},
        {"size too large", &deflated,
         [size](std::string& b) { setUncompressedSize(b, size + 10); }},
        {"size too small", &deflated,
         [size](std::string& b) { setUncompressedSize(b, size - 10); }},
        {"stored size too small", &stored,
         [size](std::string& b) { setUncompressedSize(b, size - 10); }},
        {"size above the limit", &deflated,
         [](std::string& b) { setUncompressedSize(b, 0xF0000000u); }},
        {"compressed size beyond the file", &deflated,
         [](std::string& b) { put32(b, findSignature(b, kCentral) + 20, 0x7FFFFFF0u); }},
        {"local header beyond the file", &deflated,
         [](std::string& b) { put32(b, findSignature(b, kCentral) + 42, 0x7FFFFFF0u); }},
        {"directory offset beyond the file", &deflated,
         [](std::string& b) {
             size_t end = b.rfind("PK\x05\x06", std::string::npos, 4);
             put32(b, end + 16, get32(b, end + 16) + 100000);
         }},
        {"crc changed", &stored,
         [](std::string& b) {
             size_t central = findSignature(b, kCentral);
             put32(b, central + 16, get32(b, central + 16) ^ 1u);
             put32(b, findSignature(b, kLocal) + 14, get32(b, central + 16));
         }},
    };
    for (const auto& c : cases) {
        std::string bytes = *c.source;
        c.damage(bytes);
        testsupport::TempDir folder;
        testsupport::writeFile(folder / "pack.zip", bytes);
        ZIPFileLoader loader(folder.path(), "", 25);
        bool intact = std::string(c.name) == "intact";
        std::string opened = openText(loader, "pack/data.txt");
        EXPECT_EQ(opened == text, intact) << c.name;
        EXPECT_EQ(opened == "<none>", !intact) << c.name;
    }

    // A size that the compressed data cannot hold is refused with its
    // reason before anything is allocated for it.
    for (const std::string* source : {&deflated, &stored}) {
        std::string bytes = *source;
        const uint32_t compressed = get32(bytes, findSignature(bytes, kCentral) + 20);
        const uint32_t claimed = source == &stored ? compressed + 1 : compressed * 1033 + 1033;
        setUncompressedSize(bytes, claimed);
        testsupport::writeFile(dir / "claims.zip", bytes);
        ZIPFileLoader loader(dir.path(), "", 25);
        testsupport::ScopedLogCapture log;
        EXPECT_EQ(openText(loader, "claims/data.txt"), "<none>");
        EXPECT_EQ(log.count("Error: Can't read 'data.txt' in archive '" + dir / "claims.zip" +
                            "': size of " + std::to_string(claimed) + " bytes is more than its " +
                            std::to_string(compressed) + " compressed bytes can hold\n"),
                  1u)
            << log.text();
    }

    // A folder with an archive's name is not an archive.
    testsupport::makeDirs(dir / "folder.zip/data.txt");
    ZIPFileLoader loader(dir.path(), "", 25);
    EXPECT_EQ(openText(loader, "folder/data.txt"), "<none>");
    EXPECT_EQ(loader.getNumCachedArchives(), 0u);
}

// An entry's claimed size is not allocated before its bytes arrive: the
// buffer grows with them. Entries larger than the first block, in every
// method the tool writes, read whole; their bzip2 entry claiming almost
// 1 GiB gives nothing, and the loader never asked for much memory.
TEST_F(ZipFileLoaderTest, ClaimedSizesAreNotAllocatedAhead) {
    std::string text;
    for (int i = 0; text.size() < 250000; ++i) {
        text += "entry line " + std::to_string(i) + "\n";
    }
    for (const char* method : {"-0", "-9", "bzip2"}) {
        SCOPED_TRACE(method);
        const std::string name = std::string("m") + (method[0] == '-' ? method + 1 : method);
        if (method[0] == '-') {
            makeZip(dir / (name + ".zip"), {{"big.txt", text}}, {method});
        } else {
            makeZip(dir / (name + ".zip"), {{"big.txt", text}}, {"-Z", method});
        }
        ZIPFileLoader loader(dir.path(), "", 25);
        EXPECT_EQ(openText(loader, name + "/big.txt"), text);
    }

    std::string bytes = testsupport::readFile(dir / "mbzip2.zip");
    setUncompressedSize(bytes, (1u << 30) - 1);
    testsupport::writeFile(dir / "claims.zip", bytes);
    ZIPFileLoader loader(dir.path(), "", 25);
    resetLargestAllocation();
    EXPECT_EQ(openText(loader, "claims/big.txt"), "<none>");
    const long long largest = largestAllocation();
    if (largest >= 0) {
        EXPECT_LT(largest, 1024 * 1024) << "bytes asked for at once";
    }
}

TEST_F(ZipFileLoaderTest, NoSingleByteDamageGivesWrongData) {
    const std::string text = "local function f(x) return x * 2 end\nreturn f(21) -- answer\n";
    makeZip(dir / "good.zip", {{"s/code.lua", text + text + text}}, {"-P", "secret"});
    const std::string good = testsupport::readFile(dir / "good.zip");
    int opened = 0;
    for (size_t at = 0; at < good.size(); ++at) {
        for (int mask : {0x01, 0xff}) {
            std::string bytes = good;
            bytes[at] = static_cast<char>(bytes[at] ^ mask);
            testsupport::writeFile(dir / "pack.zip", bytes);
            ZIPFileLoader loader(dir.path(), "secret", 25);
            std::string result = openText(loader, "pack/s/code.lua");
            ASSERT_TRUE(result == text + text + text || result == "<none>") << at;
            opened += result != "<none>";
        }
    }
    // Bytes outside what the reader checks (times, version fields) may change freely.
    EXPECT_GT(opened, 0);
}

}  // namespace
