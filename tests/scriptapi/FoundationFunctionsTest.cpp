// Configuration files from scripts, and every bound function called with
// wrong, missing and stale arguments.

#include <set>

#include "ScriptApiFixture.h"
#include "TestSupport.h"
#include "foundation/File.h"
#include "foundation/FoundationScriptBindings.h"
#include "foundation/TimerScheduler.h"
#include "scene/SceneScriptBindings.h"
#include "scripting/Class.h"
#include "scripting/CoreScriptFunctions.h"
#include "scripting/ScriptApi.h"
#include "scripting/ScriptCallbacks.h"

namespace scriptapitest {
namespace {

using FoundationFunctionsTest = ScriptApiTest;

TEST_F(FoundationFunctionsTest, ConfigFileReadsWritesAndSaves) {
    testsupport::TempDir dir;
    FileSystem::addFileLoader(std::make_unique<NativeFileLoader>(dir.path(), 10));
    // Saving writes to the path as given: an absolute one.
    const std::string path = dir / "settings.xml";
    testsupport::writeFile(path,
                           "<settings><count>12</count><ratio>0.5</ratio>"
                           "<on>TRUE</on><name a=\"x\">hello</name><empty/></settings>");
    run("f = loadXMLFile('" + path +
        "', 'settings')\n"
        "count = getXMLInt(f, 'settings.count'); ratio = getXMLFloat(f, 'settings.ratio')\n"
        "on = getXMLBool(f, 'settings.on'); name = getXMLString(f, 'settings.name')\n"
        "attr = getXMLString(f, 'settings.name#a'); missing = getXMLInt(f, 'settings.nothing')\n"
        "empty = getXMLString(f, 'settings.empty')\n"
        "setXMLInt(f, 'settings.count', 7); setXMLFloat(f, 'settings.ratio', 1.5)\n"
        "setXMLBool(f, 'settings.on', false); setXMLString(f, 'settings.name#a', 'y')\n"
        "setXMLString(f, 'settings.created', 'no'); saveXMLFile(f)\n"
        "className = getClassName(f); delete(f)");
    EXPECT_EQ(number("count"), 12);
    EXPECT_EQ(number("ratio"), 0.5);
    EXPECT_EQ(text("on"), "true");
    EXPECT_EQ(text("name"), "hello");
    EXPECT_EQ(text("attr"), "x");
    EXPECT_TRUE(isNil("missing"));
    EXPECT_TRUE(isNil("empty"));
    EXPECT_EQ(text("className"), "XMLConfigFile");
    EXPECT_EQ(testsupport::readFile(path).find("created"), std::string::npos);
    run("g = loadXMLFile('" + path +
        "', 'again')\n"
        "count = getXMLInt(g, 'settings.count'); ratio = getXMLString(g, 'settings.ratio')\n"
        "on = getXMLBool(g, 'settings.on'); attr = getXMLString(g, 'settings.name#a')\n"
        "delete(g)");
    EXPECT_EQ(number("count"), 7);
    EXPECT_EQ(text("ratio"), "1.500000");
    EXPECT_EQ(text("on"), "false");
    EXPECT_EQ(text("attr"), "y");
    FileSystem::clearFileLoaders();
}

TEST_F(FoundationFunctionsTest, UnreadableConfigFileStillGivesAnEntity) {
    run("f = loadXMLFile('/no/such/file.xml', 'broken')\n"
        "value = getXMLString(f, 'a.b'); setXMLString(f, 'a.b', 'c'); saveXMLFile(f)\n"
        "delete(f); afterDelete = getClassName(f)");
    EXPECT_GT(number("f"), 0);
    EXPECT_TRUE(isNil("value"));
    EXPECT_TRUE(isNil("afterDelete"));
}

// Every name the bindings declare, called with argument lists of the wrong
// types, too few arguments, stale ids and extreme numbers. Nothing may
// crash or raise a script error; stale ids are only logged.
TEST_F(FoundationFunctionsTest, BadArgumentsNeverHarmTheEngine) {
    ScriptApi api;
    addCoreScriptFunctions(api);
    addFoundationScriptApi(api);
    addSceneScriptApi(api, SceneScriptHost{});
    addScriptCallbackFunctions(api);
    std::set<std::string> names;
    for (const Method& method : api.getGlobalFunctions()) {
        names.insert(method.name);
    }
    for (const ScriptApi::ClassDecl& decl : api.getClasses()) {
        for (const Method& method : decl.methods) {
            names.insert(method.name);
        }
    }
    for (const auto& [className, method] : api.getAddedMethods()) {
        names.insert(method.name);
    }
    for (const ScriptApi::CreateFunctionDecl& create : api.getCreateFunctions()) {
        names.insert(create.name);
    }
    names.erase("source");  // reads files; covered by the script system
    std::string list;
    for (const std::string& name : names) {
        list += "'" + name + "', ";
    }
    run("stale = createTransformGroup('stale'); delete(stale)\n"
        "failures = ''\n"
        "local huge, nan = 1e300, 0 / 0\n"
        "for _, name in ipairs({" +
        list +
        "}) do\n"
        "  local f = _G[name]\n"
        "  local sets = {\n"
        "    {}, {stale}, {stale, 1, 2, 3}, {{}, {}, {}},\n"
        "    {createTransformGroup('n'), {}, {}, 'x', true, nil, 'y'},\n"
        "    {createTransformGroup('n'), 'text', nil, huge, -huge, nan, -1},\n"
        "    {createTransformGroup('n'), -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},\n"
        "    {createCamera('c', 'x'), true, 'Integer', {}, huge},\n"
        "  }\n"
        "  for i, args in ipairs(sets) do\n"
        "    local ok, message = pcall(f, unpack(args, 1, 12))\n"
        "    if not ok then failures = failures .. name .. ' ' .. i .. ': ' .. tostring(message) "
        ".. '; ' end\n"
        "  end\n"
        "end");
    EXPECT_EQ(text("failures"), "");
    EXPECT_EQ(names.count("setTranslation"), 1u);  // the scene classes are among them
    // Timers added with junk arguments are deleted at their first expiry.
    TimerScheduler::get().advance(1e9);
}

}  // namespace
}  // namespace scriptapitest
