// The shaderc tool as shader authors use it: the engine's preprocessor with
// defines and includes, one stage compiled, GLSL and reflection printed, or
// the error listing naming the included file and a non-zero exit.

#include "TestSupport.h"

#include <gtest/gtest.h>

namespace {

const char* kMain = R"(#include "lib/helpers.cg"
struct VOut { float4 pos : POSITION; float4 colour : COLOR0; };
VOut main_vp(float4 pos : POSITION, uniform float4x4 mvp, uniform float4 tints[4])
{
    VOut o;
    o.pos = mul(mvp, pos);
    o.colour = brighten(tints[TINT]);
    return o;
}
)";

TEST(ShadercTool, PrintsGlslAndReflectionWithDefinesAndIncludes) {
    testsupport::TempDir dir;
    testsupport::makeDirs(dir / "lib");
    testsupport::writeFile(dir / "lib/helpers.cg",
                           "// helpers\nfloat4 brighten(float4 c)\n{\n    return c * 2;\n}\n");
    testsupport::writeFile(dir / "custom.cg", kMain);
    auto run =
        testsupport::runProgram({SHADERC_PATH, "-vs", "-DTINT=2", "custom.cg"}, dir.path(), {});
    ASSERT_EQ(run.exitCode, 0) << run.output;
    EXPECT_EQ(run.output.rfind("#version 330 core\n", 0), 0u) << run.output;
    EXPECT_NE(run.output.find("// parameter mvp float4x4 register 0 count 4\n"), std::string::npos)
        << run.output;
    // TINT selects the one array element that takes a register.
    EXPECT_NE(run.output.find("// parameter tints[2] float4 register 4 count 1\n"),
              std::string::npos)
        << run.output;
    EXPECT_EQ(run.output.find("tints[0]"), std::string::npos) << run.output;
}

TEST(ShadercTool, ErrorInAnIncludedFileNamesItsLineAndFails) {
    testsupport::TempDir dir;
    testsupport::makeDirs(dir / "lib");
    testsupport::writeFile(
        dir / "lib/helpers.cg",
        "// helpers\nfloat4 brighten(float4 c)\n{\n    return c * strength;\n}\n");
    testsupport::writeFile(dir / "custom.cg", kMain);
    auto run =
        testsupport::runProgram({SHADERC_PATH, "-vs", "-DTINT=2", "custom.cg"}, dir.path(), {});
    EXPECT_NE(run.exitCode, 0);
    EXPECT_NE(run.output.find("lib/helpers.cg(4) : error: undefined variable 'strength'"),
              std::string::npos)
        << run.output;
    EXPECT_EQ(run.output.find("#version"), std::string::npos) << run.output;

    // Without the define the error lies in the main file.
    testsupport::writeFile(dir / "lib/helpers.cg", "float4 brighten(float4 c) { return c; }\n");
    run = testsupport::runProgram({SHADERC_PATH, "-vs", "custom.cg"}, dir.path(), {});
    EXPECT_NE(run.exitCode, 0);
    EXPECT_NE(run.output.find("custom.cg(7) : error: undefined variable 'TINT'"), std::string::npos)
        << run.output;
}

TEST(ShadercTool, MessagesNameTheLineWhereTheTextWasWritten) {
    // Comments, skipped blocks and directive lines leave no lines in the
    // preprocessed text; messages still name the line in the file.
    const char* kHeader =
        "/* Shared helpers.\n"
        "   Two lines of comment. */\n"
        "#define SCALE 2.0\n"
        "float4 scaled(float4 c)\n"
        "{\n"
        "    return c * SCALE * HELPER_GAIN;\n"
        "}\n";
    struct Case {
        const char* name;
        const char* body;  // follows the include line
        const char* expected;
    } cases[] = {
        {"after a block comment",
         "/*\n"
         " * A block comment\n"
         " * of several lines.\n"
         " */\n"
         "float4 main_fp(float4 c : COLOR0) : COLOR { return c * missing; }\n",
         "custom.cg(6) : error: undefined variable 'missing'"},
        {"after a skipped block",
         "#ifdef NOT_DEFINED\n"
         "float4 unused;\n"
         "float4 unused2;\n"
         "#else\n"
         "#define GAIN 1\n"
         "#endif\n"
         "float4 main_fp(float4 c : COLOR0) : COLOR\n"
         "{\n"
         "    return c * missing;\n"
         "}\n",
         "custom.cg(10) : error: undefined variable 'missing'"},
        {"after a comment ending inside a line",
         "float4 main_fp(float4 c : COLOR0) : COLOR /* a comment\n"
         "   ending here */ { return c * missing; }\n",
         "custom.cg(3) : error: undefined variable 'missing'"},
        {"inside the included file",
         "float4 main_fp(float4 c : COLOR0) : COLOR { return scaled(c); }\n",
         "lib/header.cg(6) : error: undefined variable 'HELPER_GAIN'"},
        {"a warning",
         "// A parameter with a value that is no constant.\n"
         "#define DOUBLE 2\n"
         "float4 base;\n"
         "float4 k = base * DOUBLE;\n"
         "float4 main_fp() : COLOR { return k; }\n",
         "custom.cg(5) : warning: initial value of parameter 'k' is not a constant and is "
         "ignored"},
    };
    for (const Case& c : cases) {
        testsupport::TempDir dir;
        testsupport::makeDirs(dir / "lib");
        testsupport::writeFile(dir / "lib/header.cg", kHeader);
        testsupport::writeFile(dir / "custom.cg",
                               std::string("#include \"lib/header.cg\"\n") + c.body);
        std::vector<std::string> args = {SHADERC_PATH, "-fs", "custom.cg"};
        if (std::string(c.name) != "inside the included file")
            args.insert(args.begin() + 2, "-DHELPER_GAIN=1");
        auto run = testsupport::runProgram(args, dir.path(), {});
        EXPECT_NE(run.output.find(c.expected), std::string::npos) << c.name << "\n" << run.output;
    }
}

TEST(ShadercTool, PreprocessingFailurePrintsThePreprocessorsMessage) {
    testsupport::TempDir dir;
    testsupport::writeFile(dir / "custom.cg", "float4 a;\n#include \"lib/absent.cg\"\n");
    auto run = testsupport::runProgram({SHADERC_PATH, "-fs", "custom.cg"}, dir.path(), {});
    EXPECT_NE(run.exitCode, 0);
    EXPECT_NE(run.output.find("custom.cg(2) : error: Could find include file: lib/absent.cg"),
              std::string::npos)
        << run.output;
}

}  // namespace
