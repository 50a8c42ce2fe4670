// Include files read through the virtual file system, the marker lines they
// leave in the output and the mapping of output places back to file and line.

#include <gtest/gtest.h>

#include <initializer_list>
#include <memory>
#include <string>

#include "PreprocessorTestUtil.h"
#include "TestSupport.h"
#include "foundation/File.h"

namespace {

class IncludeTest : public ::testing::Test {
protected:
    void SetUp() override {
        FileSystem::clearFileLoaders();
        FileSystem::addFileLoader(std::make_unique<NativeFileLoader>(m_dir.path(), 0));
        testsupport::makeDirs(m_dir / "shaders/lib");
    }
    void TearDown() override { FileSystem::clearFileLoaders(); }
    void write(const std::string& name, const std::string& text) {
        testsupport::writeFile(m_dir / name, text);
    }
    static PreprocessorOptions named(const char* fileName) {
        PreprocessorOptions options;
        options.fileName = fileName;
        return options;
    }

    testsupport::TempDir m_dir;
};

struct ExpectedPlace {
    const char* text;  // first found in the output
    const char* file;
    int line;
};

// Each text maps back to its file and line, by output place and by output line.
void expectPlaces(const std::string& output, const std::string& inputName,
                  std::initializer_list<ExpectedPlace> places) {
    for (const auto& e : places) {
        size_t position = output.find(e.text);
        ASSERT_NE(position, std::string::npos) << e.text;
        PreprocessorSourceLocation at = locatePreprocessedPosition(output, position, inputName);
        EXPECT_EQ(at.file, e.file) << e.text << "\n" << output;
        EXPECT_EQ(at.line, e.line) << e.text << "\n" << output;

        int outputLine = 1;
        for (size_t i = 0; i < position; ++i)
            outputLine += output[i] == '\n';
        PreprocessorSourceLocation byLine = locatePreprocessedLine(output, outputLine, inputName);
        EXPECT_EQ(byLine.file, e.file) << e.text;
        EXPECT_EQ(byLine.line, e.line) << e.text;
    }
}

TEST_F(IncludeTest, ProcessesTheFileInPlaceBetweenMarkers) {
    write("shaders/lib/light.cg", "float LIGHT;\n#define LIT 1\n");
    Processed r = preprocess("a\n#include \"lib/light.cg\"\nLIT\n", named("shaders/main.cg"));
    ASSERT_TRUE(r.ok) << r.log;
    EXPECT_EQ(r.output,
              "a\n"
              "//include shaders/lib/light.cg(1):1\n"
              "float LIGHT;\n"
              "//include shaders/main.cg(2):2\n"
              "\n1\n");
}

TEST_F(IncludeTest, NameFormsAndRelativeNames) {
    // Bare names, quotes and angle brackets; a nested include is relative to
    // the file it is written in.
    write("shaders/lib/a.cg", "A\n#include b.cg\n");
    write("shaders/lib/b.cg", "B");
    write("top.cg", "T");
    PreprocessorOptions options = named("shaders/main.cg");
    options.insertIncludeMarkers = false;
    for (const char* line : {"#include lib/a.cg", "#include \"lib/a.cg\"", "#include <lib/a.cg>"}) {
        Processed r = preprocess(line, options);
        ASSERT_TRUE(r.ok) << r.log;
        EXPECT_EQ(r.output, "A\nB\n") << line;
    }
    Processed top = preprocess("#include top.cg", named("main.cg"));
    ASSERT_TRUE(top.ok) << top.log;
    EXPECT_EQ(top.output, "//include top.cg(1):1\nT\n//include main.cg(1):2\n");
}

TEST_F(IncludeTest, FirstLineIncludeResumesOnTheNextLine) {
    // The directive's newline goes with it, so the parent resumes on line 2.
    write("lib.cg", "L\n");
    Processed r = preprocess("#include lib.cg\nm2\n", named("main.cg"));
    ASSERT_TRUE(r.ok) << r.log;
    EXPECT_EQ(r.output, "//include lib.cg(1):1\nL\n//include main.cg(2):2\nm2\n");
    PreprocessorSourceLocation at =
        locatePreprocessedPosition(r.output, r.output.find("m2"), "main.cg");
    EXPECT_EQ(at.file, "main.cg");
    EXPECT_EQ(at.line, 2);
}

// Marker lines come from shader text too: a line number of any length is
// capped at 2^30 instead of overflowing.
TEST_F(IncludeTest, MarkerLineNumbersAreCapped) {
    const std::string output = "//include a.cg(" + std::string(40, '9') + "):1\nx\n";
    PreprocessorSourceLocation at = locatePreprocessedPosition(output, output.find('x'), "main.cg");
    EXPECT_EQ(at.file, "a.cg");
    EXPECT_EQ(at.line, 1 << 30);
}

TEST_F(IncludeTest, MessagesNameTheIncludedFile) {
    write("shaders/bad.cg", "ok\n\n#endif\n");
    Processed r = preprocess("#include bad.cg\n", named("shaders/main.cg"));
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.log, "shaders/bad.cg(3) : error: #endif without #if\n");
}

TEST_F(IncludeTest, MissingFileFailsTheRun) {
    Processed r = preprocess("x\n#include \"nothere.cg\"\n", named("shaders/main.cg"));
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.log, "shaders/main.cg(2) : error: Could find include file: nothere.cg\n");
    EXPECT_EQ(r.output, "xPreprocession failed, check log");
}

TEST_F(IncludeTest, IncludeCycleStops) {
    write("shaders/a.cg", "a\n#include b.cg\n");
    write("shaders/b.cg", "b\n#include a.cg\n");
    Processed r = preprocess("#include a.cg\n", named("shaders/main.cg"));
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.log.find(": error: #include nested too deeply"), std::string::npos) << r.log;
    EXPECT_EQ(r.log.find('\n'), r.log.size() - 1) << r.log;
}

TEST_F(IncludeTest, MacrosCrossFilesAndCountersKeepCounting) {
    write("shaders/units.cg", "sampler2D a : TEXUNITN;\n");
    Processed r = preprocess(
        "#define curUnit 0\n"
        "#define IncrementCurUnit #defeval curUnit #eval curUnit+1\n"
        "#define TEXUNITN_(number) TEXUNIT#1\n"
        "#define TEXUNITN TEXUNITN_(curUnit) IncrementCurUnit\n"
        "#include units.cg\n#include units.cg\nTEXUNITN\n",
        [] {
            PreprocessorOptions options = named("shaders/main.cg");
            options.insertIncludeMarkers = false;
            return options;
        }());
    ASSERT_TRUE(r.ok) << r.log;
    EXPECT_EQ(r.output, "sampler2D a : TEXUNIT0 ;\nsampler2D a : TEXUNIT1 ;\nTEXUNIT2 \n");
}

TEST_F(IncludeTest, InputFromAStream) {
    // Longer than one read so the chunks are joined.
    std::string text = "#define A 1\n";
    for (int i = 0; i < 300; ++i)
        text += "A ";
    write("stream.cg", text);
    std::unique_ptr<File> file = FileSystem::openFile("stream.cg", FileMode::Read);
    ASSERT_TRUE(file);
    std::string output;
    PreprocessorOptions options;
    options.inputStream = file.get();
    options.outputString = &output;
    Preprocessor preprocessor(options);
    EXPECT_TRUE(preprocessor.run());
    std::string expected;
    for (int i = 0; i < 300; ++i)
        expected += "1 ";
    EXPECT_EQ(output, expected);
}

TEST_F(IncludeTest, OutputPlacesMapBackToFileAndLine) {
    write("shaders/lib.cg", "l1\nl2\n#include inner.cg\nl4\n");
    write("shaders/inner.cg", "i1\ni2");
    PreprocessorOptions options = named("shaders/main.cg");
    options.trimBeforeTerminators = false;  // keeps every input line
    Processed r = preprocess("m1\n#include lib.cg\nm3\nm4\n", options);
    ASSERT_TRUE(r.ok) << r.log;

    expectPlaces(r.output, options.fileName,
                 {{"m1", "shaders/main.cg", 1},
                  {"l1", "shaders/lib.cg", 1},
                  {"l2", "shaders/lib.cg", 2},
                  {"i1", "shaders/inner.cg", 1},
                  {"i2", "shaders/inner.cg", 2},
                  {"l4", "shaders/lib.cg", 4},
                  {"m3", "shaders/main.cg", 3},
                  {"m4", "shaders/main.cg", 4}});
}

TEST_F(IncludeTest, LineMarkersKeepEveryOutputLineExact) {
    // Directive lines, skipped blocks and comments spanning lines all drop
    // input lines; with line markers each token still maps to its own line.
    write("shaders/inc.cg", "/* two\nlines */\n#define I 1\ni4\n#ifdef NO\nx\n#endif\ni8\n");
    PreprocessorOptions options = named("shaders/main.cg");
    options.insertLineMarkers = true;
    Processed r = preprocess(
        "#define A 1\n"
        "/* block\n"
        "   comment */\n"
        "m4\n"
        "#ifdef UNDEFINED\n"
        "skipped\n"
        "#else\n"
        "m8\n"
        "#endif\n"
        "m10 /* spans\n"
        "*/ m11\n"
        "#include inc.cg\n"
        "\n"
        "m14\n",
        options);
    ASSERT_TRUE(r.ok) << r.log;
    expectPlaces(r.output, options.fileName,
                 {{"m4", "shaders/main.cg", 4},
                  {"m8", "shaders/main.cg", 8},
                  {"m10", "shaders/main.cg", 10},
                  {"m11", "shaders/main.cg", 11},
                  {"i4", "shaders/inc.cg", 4},
                  {"i8", "shaders/inc.cg", 8},
                  {"m14", "shaders/main.cg", 14}});
    EXPECT_EQ(r.output.find("skipped"), std::string::npos);
    // Markers stand only where lines were lost, one per place.
    EXPECT_EQ(r.output.find(":2\n//include"), std::string::npos) << r.output;

    // Without the option the output is what it always was.
    options.insertLineMarkers = false;
    Processed plain = preprocess("#define A 1\n/* c\n */\nm4\n", options);
    EXPECT_EQ(plain.output, "\nm4\n");
}

}  // namespace
