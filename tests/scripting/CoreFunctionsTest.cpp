// runBuffer and "_ALERT", the globals "bitAND", "print" and "source", and
// the Script resource.

#include <lua.hpp>

#include "ScriptTestFixture.h"
#include "TestSupport.h"
#include "foundation/File.h"
#include "foundation/ResourceManager.h"
#include "scripting/Script.h"

namespace scripttest {
namespace {

using RunBufferTest = ScriptTest;

TEST_F(RunBufferTest, ErrorsGoToTheLogOrToAlert) {
    const std::string syntax = "x = = 1";
    EXPECT_NE(system_->runBuffer(syntax.data(), syntax.size(), "broken.lua"), 0);
    std::string message = log();
    EXPECT_NE(message.find("broken.lua"), std::string::npos) << message;
    EXPECT_EQ(message.back(), '\n');

    EXPECT_NE(system_->runString("error('at run time', 0)"), 0);
    EXPECT_EQ(log(), "at run time\n");

    run("function _ALERT(m) alerted = m end");
    EXPECT_NE(system_->runString("error('to alert', 0)"), 0);
    EXPECT_EQ(log(), "");
    run("assert(alerted == 'to alert')");

    // An _ALERT that fails itself is logged instead of escaping.
    run("function _ALERT(m) error('alert failed', 0) end");
    EXPECT_NE(system_->runString("error('x', 0)"), 0);
    EXPECT_EQ(log(), "alert failed\n");
}

TEST_F(RunBufferTest, ChunkResultsAndErrorsLeaveNothingBehind) {
    for (int i = 0; i < 100; ++i) {
        system_->runString("return 1, 2, 3");
        system_->runString("error('e', 0)");
    }
    log();
    EXPECT_EQ(lua_gettop(system_->getState()), 0);
}

TEST_F(RunBufferTest, EndlesslyNestedRunsStopWithAnError) {
    // As a script that sources itself would, without the resource manager.
    run("chunk = 'depth = (depth or 0) + 1; runChunk(chunk)'\n"
        "runChunk(chunk)\n"
        "after = 1");
    EXPECT_EQ(number("after"), 1.0);
    EXPECT_GT(number("depth"), 10.0);
    EXPECT_EQ(log(), "scripts nested too deeply\n");
}

TEST_F(RunBufferTest, BitAndUsesRoundedInts) {
    struct Case {
        const char* args;
        double expected;
    };
    const Case cases[] = {
        {"12, 10", 8}, {"-1, 255", 255}, {"7.6, 3", 0}, {"5.5, 7", 6}, {"0, -1", 0}};
    for (const Case& c : cases) {
        run(std::string("v = bitAND(") + c.args + ")");
        EXPECT_EQ(number("v"), c.expected) << c.args;
    }
}

TEST_F(RunBufferTest, PrintFormatsUpToSixValues) {
    struct Case {
        const char* args;
        const char* text;
    };
    const Case cases[] = {
        {"'a', 1.5, true, nil, {}, 3", "a1.5true3\n"},
        {"1, 2, 3, 4, 5, 6, 7", "123456\n"},
        {"10000000, 0.1, 1/3", "1e+070.10.333333\n"},
        {"false", "false\n"},
        {"", "\n"},
    };
    for (const Case& c : cases) {
        run(std::string("print(") + c.args + ")");
        EXPECT_EQ(log(), c.text) << c.args;
    }
}

class SourceTest : public ScriptTest {
protected:
    void SetUp() override {
        ScriptTest::SetUp();
        FileSystem::addFileLoader(std::make_unique<NativeFileLoader>(dir_.path(), 0));
        ResourceManager::instance().registerLoader(
            std::make_unique<GenericResourceLoader<Script, ResourceType::Script>>());
    }
    void TearDown() override {
        // "source" keeps the reference of every request; let go of them so
        // that each test starts from an empty table.
        ResourceManager& manager = ResourceManager::instance();
        manager.shutdown();
        for (Resource* script : manager.getResources(ResourceType::Script)) {
            for (int count = script->getRefCount(); count > 0; --count) {
                manager.release(script);
            }
        }
        FileSystem::clearFileLoaders();
        ScriptTest::TearDown();
    }
    testsupport::TempDir dir_;
};

TEST_F(SourceTest, SourcingTwiceRunsOnceAndHoldsTheFirstLoad) {
    testsupport::writeFile(dir_ / "counter.lua", "runs = (runs or 0) + 1\n");
    ResourceManager& manager = ResourceManager::instance();
    const size_t heldBefore = manager.getHeldResources().size();
    run("source('counter.lua'); source('counter.lua')");
    EXPECT_EQ(number("runs"), 1.0);
    EXPECT_EQ(manager.getHeldResources().size(), heldBefore + 1);
    Resource* script = manager.find("counter.lua");
    ASSERT_NE(script, nullptr);
    EXPECT_EQ(script->getType(), ResourceType::Script);
    EXPECT_TRUE(script->isActive());
    EXPECT_EQ(script->getRefCount(), 2);  // the hold and the second request
    EXPECT_EQ(log(), "");

    // A reload runs it again.
    EXPECT_TRUE(manager.reload("counter.lua"));
    EXPECT_EQ(number("runs"), 2.0);
}

TEST_F(SourceTest, AScriptSourcedOnceGoesAtShutdown) {
    testsupport::writeFile(dir_ / "once.lua", "x = 1\n");
    // Each nesting level of a script that sources itself creates its own
    // resource before the outer one is entered; all of them are held.
    testsupport::writeFile(dir_ / "self.lua", "source('self.lua')\n");
    run("source('once.lua'); source('self.lua')");
    ResourceManager& manager = ResourceManager::instance();
    ASSERT_NE(manager.find("once.lua"), nullptr);
    EXPECT_EQ(manager.find("once.lua")->getRefCount(), 1);
    manager.shutdown();
    EXPECT_EQ(manager.find("once.lua"), nullptr);
    EXPECT_TRUE(manager.getResources(ResourceType::Script).empty());
}

TEST_F(SourceTest, BrokenOrMissingFilesAreLoggedAndTheCallerGoesOn) {
    testsupport::writeFile(dir_ / "broken.lua", "this is not lua\n");
    run("source('broken.lua'); source('missing.lua'); after = 1");
    EXPECT_EQ(number("after"), 1.0);
    const std::string text = log();
    // The syntax error names the chunk; it does not fail the load.
    EXPECT_NE(text.find("broken.lua"), std::string::npos) << text;
    EXPECT_NE(ResourceManager::instance().find("broken.lua"), nullptr);
    EXPECT_NE(text.find("Error: Can't load resource: missing.lua\n"), std::string::npos) << text;
    EXPECT_EQ(ResourceManager::instance().find("missing.lua"), nullptr);
}

TEST_F(SourceTest, SourcedScriptsCanSourceOthers) {
    testsupport::writeFile(
        dir_ / "outer.lua",
        "order = (order or '') .. 'o'; source('inner.lua'); order = order .. 'O'\n");
    testsupport::writeFile(dir_ / "inner.lua", "order = order .. 'i'\n");
    run("source('outer.lua'); source('inner.lua')");
    run("assert(order == 'oiO', order)");
}

}  // namespace
}  // namespace scripttest
