// Hot reload over the real inotify watcher: files opened through a folder
// loader are watched, and applyChanges reloads what was made from the ones
// that changed since the last call.

#include <gtest/gtest.h>

#include <cstdio>

#include "CapturingLogSink.h"
#include "TestSupport.h"
#include "foundation/HotReload.h"
#include "foundation/ResourceManager.h"

namespace {

// Holds its file's text; a reload takes the new text unless it is "bad".
class TextResource : public Resource {
public:
    explicit TextResource(const std::string& name) : Resource(name, ResourceType::Script) {}
    bool load() override {
        setLoaded(FileSystem::readWholeFile(getName(), text));
        return isLoaded();
    }
    bool activate() override {
        setActive(true);
        return true;
    }
    void deactivate() override { setActive(false); }
    void unload() override { setLoaded(false); }
    bool reloadFromFile() override {
        std::string next;
        ++reloads;
        if (!FileSystem::readWholeFile(getName(), next) || next == "bad") {
            return false;
        }
        text = next;
        return true;
    }

    std::string text;
    int reloads = 0;
};

// Takes every file whose name ends in ".cg", as the shader library takes
// its sources.
class RecordingHandler : public IHotReloadHandler {
public:
    HotReloadResult reloadFile(const std::string& name) override {
        if (name.size() < 3 || name.compare(name.size() - 3, 3, ".cg") != 0) {
            return HotReloadResult::NotMine;
        }
        names += name + "\n";
        return HotReloadResult::Reloaded;
    }
    std::string names;
};

class HotReloadTest : public ::testing::Test {
protected:
    void SetUp() override {
        FileSystem::addFileLoader(std::make_unique<NativeFileLoader>(folder.path(), 10));
        manager.registerLoader(
            std::make_unique<GenericResourceLoader<TextResource, ResourceType::Script>>());
        hot = HotReload::create(manager);
        ASSERT_TRUE(hot);
        hot->addHandler(&handler);
    }
    void TearDown() override {
        hot.reset();
        manager.shutdown();
        FileSystem::clearFileLoaders();
    }
    void write(const std::string& name, const std::string& text) {
        testsupport::writeFile(folder / name, text);
    }
    TextResource* get(const std::string& name) {
        return static_cast<TextResource*>(manager.get(name, ResourceType::Script));
    }

    testsupport::TempDir folder;
    testsupport::ScopedLogCapture log;
    ResourceManager manager;
    RecordingHandler handler;
    std::unique_ptr<HotReload> hot;
};

TEST_F(HotReloadTest, ChangedFilesAreReloadedOnceAtTheNextCall) {
    write("a.lua", "one");
    write("b.lua", "untouched");
    TextResource* a = get("a.lua");
    TextResource* b = get("b.lua");
    ASSERT_TRUE(a && b);
    EXPECT_EQ(hot->applyChanges(), 0);

    // Two saves before the next frame are one reload.
    write("a.lua", "two");
    write("a.lua", "three");
    // A file of the folder that the engine never read changes nothing.
    write("c.lua", "never read");
    EXPECT_EQ(hot->applyChanges(), 1);
    EXPECT_EQ(a->text, "three");
    EXPECT_EQ(a->reloads, 1);
    EXPECT_EQ(b->reloads, 0);
    EXPECT_EQ(log.count("Reloaded a.lua\n"), 1u) << log.text();
    EXPECT_EQ(hot->applyChanges(), 0);
    EXPECT_EQ(a->reloads, 1);
    manager.release(a);
    manager.release(b);
}

TEST_F(HotReloadTest, SaveByRenameIsSeenAndARefusedFileKeepsTheOldData) {
    write("a.lua", "one");
    TextResource* a = get("a.lua");
    ASSERT_TRUE(a);

    write("a.lua.tmp", "renamed");
    ASSERT_EQ(std::rename((folder / "a.lua.tmp").c_str(), (folder / "a.lua").c_str()), 0);
    EXPECT_EQ(hot->applyChanges(), 1);
    EXPECT_EQ(a->text, "renamed");

    write("a.lua", "bad");
    EXPECT_EQ(hot->applyChanges(), 0);
    EXPECT_EQ(a->text, "renamed");
    EXPECT_NE(log.text().find("Error: could not reload a.lua, the previous version stays in use\n"),
              std::string::npos)
        << log.text();
    manager.release(a);
}

TEST_F(HotReloadTest, HandlersGetTheFilesNoResourceWasMadeFrom) {
    write("shader.cg", "v1");
    write("notes.txt", "v1");
    std::string text;
    ASSERT_TRUE(FileSystem::readWholeFile("shader.cg", text));
    ASSERT_TRUE(FileSystem::readWholeFile("notes.txt", text));

    write("shader.cg", "v2");
    write("notes.txt", "v2");
    EXPECT_EQ(hot->applyChanges(), 1);
    EXPECT_EQ(handler.names, "shader.cg\n");
    // Nobody made anything from notes.txt: no line for it.
    EXPECT_EQ(log.text().find("notes.txt"), std::string::npos) << log.text();

    // Without the hot reload nothing observes the file system.
    hot.reset();
    EXPECT_EQ(FileSystem::getReadObserver(), nullptr);
}

}  // namespace
