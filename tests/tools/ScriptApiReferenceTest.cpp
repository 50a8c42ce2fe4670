// The script API reference: its format, and that the committed copy matches
// the bindings of this build.

#include <gtest/gtest.h>

#include <string>

#include "ScriptApiReference.h"
#include "TestSupport.h"
#include "app/AppScriptApi.h"
#include "scripting/ScriptApi.h"

namespace {

void nothing(Entity*, ScriptValue*) {}

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

TEST(ScriptApiReferenceTest, AnnotationsAndTablesFollowTheDeclarations) {
    ScriptApi api;
    api.addGlobalFunctions({{"mix", "isb", "fa", nothing}});
    api.addEntityClass("Base", nullptr, nullptr, {{"remove", "", "", nothing}});
    api.addEntityClass("Part", "Base", nullptr,
                       {{"remove", "", "", nothing}, {"move", "fff", "", nothing}});
    api.addMethods("Base", {{"listen", "sa", "i", nothing}});
    api.addCreateFunction("createPart", "Part");
    api.addObjectClass("Builder", nullptr, {{"finish", "s", "i", nothing}});

    const std::string lua = writeLuaAnnotations(api);
    EXPECT_EQ(lua.rfind("---@meta\n", 0), 0u);
    EXPECT_TRUE(contains(lua,
                         "---@param arg1 integer\n---@param arg2 string\n---@param arg3 boolean\n"
                         "---@return number\n---@return any\nfunction mix(arg1, arg2, arg3) end\n"))
        << lua;
    // One definition for a name that two classes bind, naming both.
    EXPECT_TRUE(contains(lua,
                         "--- Entity function of Base, Part.\n---@param id integer\n"
                         "function remove(id) end\n"))
        << lua;
    EXPECT_EQ(lua.find("function remove"), lua.rfind("function remove"));
    EXPECT_TRUE(contains(lua,
                         "---@param id integer\n---@param arg1 string\n---@param arg2 any\n"
                         "---@return integer\nfunction listen(id, arg1, arg2) end\n"));
    EXPECT_TRUE(contains(lua, "---@return integer\nfunction createPart(...) end\n"));
    EXPECT_TRUE(contains(lua, "---@class Builder\nBuilder = {}\n"));
    EXPECT_TRUE(contains(lua, "---@return Builder\nfunction Builder:new() end\n"));
    EXPECT_TRUE(contains(lua,
                         "---@param arg1 string\n---@return integer\n"
                         "function Builder:finish(arg1) end\n"));

    const std::string md = writeMarkdownReference(api);
    EXPECT_TRUE(contains(md, "| mix | integer, string, boolean | number, any |\n")) << md;
    EXPECT_TRUE(contains(md, "| createPart | Part |\n"));
    EXPECT_TRUE(contains(md, "## Part\n\nEntity class: Part < Base."));
    EXPECT_TRUE(contains(md, "| move | number, number, number | none |\n"));
    EXPECT_TRUE(contains(md, "| listen | string, any | integer |\n"));
    EXPECT_LT(md.find("## Base"), md.find("| listen"));
    EXPECT_TRUE(contains(md, "## Builder\n\nObject class"));
}

// The committed reference is what the tool writes for this build. When a
// binding changes, rewrite it with: build/bin/scriptapidoc docs/script-api
TEST(ScriptApiReferenceTest, CommittedReferenceIsUpToDate) {
    ScriptApi api;
    buildScriptApi(api);
    addApplicationScriptApi(api);
    const std::string folder = std::string(SCRIPT_API_DOCS) + "/";
    EXPECT_TRUE(testsupport::readFile(folder + kLuaAnnotationsFile) == writeLuaAnnotations(api))
        << folder << kLuaAnnotationsFile
        << " is out of date: run scriptapidoc docs/script-api and commit the result";
    EXPECT_TRUE(testsupport::readFile(folder + kMarkdownReferenceFile) ==
                writeMarkdownReference(api))
        << folder << kMarkdownReferenceFile
        << " is out of date: run scriptapidoc docs/script-api and commit the result";
}

}  // namespace
