#include <gtest/gtest.h>

#include "TestSupport.h"
#include "foundation/Log.h"

namespace {

struct PieceSink : ILogSink {
    std::vector<std::string> pieces;
    void write(const char* text) override { pieces.emplace_back(text); }
};

TEST(Log, FloatFormat) {
    const std::pair<float, const char*> cases[] = {
        {1.5f, "1.5"},
        {0.1f, "0.1"},
        {2.0f, "2"},
        {0.75f, "0.75"},
        {1234567.0f, "1.23457e+06"},
        {-0.000125f, "-0.000125"},
    };
    for (const auto& [value, text] : cases) {
        EXPECT_EQ(formatLogFloat(value), text);
    }
}

TEST(Log, PiecesReachEverySinkInOrder) {
    PieceSink first;
    PieceSink second;
    Log& log = Log::get();
    log.addSink(&first);
    log.addSink(&second);
    log << "a" << int32_t(-3) << uint32_t(4000000000u) << 2.5f << "\n";
    log.removeSink(&first);
    log << "b";
    log.removeSink(&second);
    log.removeSink(&second);  // not in the list: nothing changes
    EXPECT_EQ(first.pieces, (std::vector<std::string>{"a", "-3", "4000000000", "2.5", "\n"}));
    EXPECT_EQ(second.pieces.back(), "b");
}

TEST(FileLogSink, TruncatesOnFirstWriteThenAppends) {
    testsupport::TempDir dir;
    std::string path = dir / "game.log";
    testsupport::writeFile(path, "old run\n");
    {
        FileLogSink untouched(path);
        // A run that logs nothing leaves the previous file as it was.
    }
    EXPECT_EQ(testsupport::readFile(path), "old run\n");
    FileLogSink sink(path);
    sink.write("a");
    sink.write("b\n");
    EXPECT_EQ(testsupport::readFile(path), "ab\n");
}

}  // namespace
