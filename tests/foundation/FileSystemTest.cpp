#include <gtest/gtest.h>

#include "TestSupport.h"
#include "foundation/File.h"

namespace {

class FileSystemTest : public ::testing::Test {
protected:
    void TearDown() override { FileSystem::clearFileLoaders(); }
    testsupport::TempDir first;
    testsupport::TempDir second;
};

TEST_F(FileSystemTest, LowerPriorityNumberWinsAndEqualPrioritiesKeepOrder) {
    testsupport::writeFile(first / "a.txt", "first");
    testsupport::writeFile(second / "a.txt", "second");
    testsupport::writeFile(second / "b.txt", "only second");
    FileSystem::addFileLoader(std::make_unique<NativeFileLoader>(second.path(), 20));
    FileSystem::addFileLoader(std::make_unique<NativeFileLoader>(first.path(), 10));
    std::string text;
    ASSERT_TRUE(FileSystem::readWholeFile("a.txt", text));
    EXPECT_EQ(text, "first");
    ASSERT_TRUE(FileSystem::readWholeFile("b.txt", text));
    EXPECT_EQ(text, "only second");
    EXPECT_EQ(FileSystem::openFile("c.txt", FileMode::Read), nullptr);

    FileSystem::clearFileLoaders();
    FileSystem::addFileLoader(std::make_unique<NativeFileLoader>(second.path(), 10));
    FileSystem::addFileLoader(std::make_unique<NativeFileLoader>(first.path(), 10));
    ASSERT_TRUE(FileSystem::readWholeFile("a.txt", text));
    EXPECT_EQ(text, "second");
}

TEST_F(FileSystemTest, AbsolutePathsBypassTheFolder) {
    EXPECT_TRUE(FileSystem::isAbsolutePath("C:/data/x.txt"));
    EXPECT_TRUE(FileSystem::isAbsolutePath("/tmp/x"));
    EXPECT_FALSE(FileSystem::isAbsolutePath("data/x"));
    EXPECT_FALSE(FileSystem::isAbsolutePath("C"));
    testsupport::writeFile(second / "abs.txt", "abs");
    FileSystem::addFileLoader(std::make_unique<NativeFileLoader>(first.path(), 10));
    std::string text;
    ASSERT_TRUE(FileSystem::readWholeFile(second / "abs.txt", text));
    EXPECT_EQ(text, "abs");
}

TEST_F(FileSystemTest, NativeFileOperations) {
    testsupport::writeFile(first / "f.bin", "0123456789");
    NativeFileLoader loader(first.path(), 10);
    auto file = loader.open("f.bin", FileMode::Read, false);
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(file->getSize(), 10);
    char buffer[8] = {};
    EXPECT_EQ(file->seek(6), 0);
    EXPECT_EQ(file->read(buffer, 8), 4);
    EXPECT_EQ(std::string(buffer, 4), "6789");
    EXPECT_TRUE(file->isEof());
    EXPECT_FALSE(file->hasError());
    EXPECT_GT(file->getLastWriteTime(), 0);
    EXPECT_EQ(file->write("x", 1), 0);  // read-only stream

    auto out = loader.open("new.bin", FileMode::Write, false);
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(out->write("abc", 3), 3);
    out.reset();
    EXPECT_EQ(testsupport::readFile(first / "new.bin"), "abc");

    // A folder is not a file.
    testsupport::makeDirs(first / "folder");
    EXPECT_EQ(loader.open("folder", FileMode::Read, false), nullptr);

    NativeFile closed(first / "missing.bin", FileMode::Read);
    EXPECT_EQ(closed.read(buffer, 1), -1);
    EXPECT_EQ(closed.getSize(), -1);
    EXPECT_EQ(closed.seek(0), -1);
    EXPECT_TRUE(closed.hasError());
    EXPECT_FALSE(closed.isEof());
}

}  // namespace
