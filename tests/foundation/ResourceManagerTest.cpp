#include <gtest/gtest.h>

#include <set>

#include "CapturingLogSink.h"
#include "foundation/Log.h"
#include "foundation/ResourceManager.h"

namespace {

// What the test resources do, and the calls they saw, one "op name" per line.
struct Behaviour {
    std::set<std::string> failLoad;
    std::set<std::string> failActivate;
    std::set<std::string> stayActive;  // deactivate leaves the resource active
    std::string calls;
};
Behaviour* behaviour = nullptr;

class TestResource : public Resource {
public:
    TestResource(const std::string& name, int type) : Resource(name, type) {}
    ~TestResource() override { note("destroy"); }

    bool load() override {
        note("load");
        if (behaviour->failLoad.count(getName())) {
            return false;
        }
        setLoaded(true);
        return true;
    }
    bool activate() override {
        note("activate");
        if (behaviour->failActivate.count(getName())) {
            return false;
        }
        setActive(true);
        return true;
    }
    void deactivate() override {
        note("deactivate");
        if (!behaviour->stayActive.count(getName())) {
            setActive(false);
        }
    }
    void unload() override {
        note("unload");
        setLoaded(false);
    }
    void setState(bool loaded, bool active) {
        setLoaded(loaded);
        setActive(active);
    }

private:
    void note(const char* op) { behaviour->calls += std::string(op) + " " + getName() + "\n"; }
};

class TestTexture : public TestResource {
public:
    explicit TestTexture(const std::string& name) : TestResource(name, ResourceType::Texture) {}
};

class TestScript : public TestResource {
public:
    explicit TestScript(const std::string& name) : TestResource(name, ResourceType::Script) {}
};

class RecordingReloader : public Resource::CustomResourceReloader {
public:
    bool reload(Resource& resource) override {
        behaviour->calls += "custom " + resource.getName() + "\n";
        return true;
    }
};

class ResourceManagerTest : public ::testing::Test {
protected:
    void SetUp() override {
        behaviour = &state;
        manager.registerLoader(
            std::make_unique<GenericResourceLoader<TestTexture, ResourceType::Texture>>());
        manager.registerLoader(
            std::make_unique<GenericResourceLoader<TestScript, ResourceType::Script>>());
    }
    void TearDown() override { manager.shutdown(); }
    TestResource* get(const std::string& name, int type = ResourceType::Texture,
                      bool logErrors = true) {
        return static_cast<TestResource*>(manager.get(name, type, logErrors));
    }
    std::string takeCalls() { return std::exchange(state.calls, std::string()); }

    Behaviour state;
    testsupport::ScopedLogCapture log;
    ResourceManager manager;
};

TEST_F(ResourceManagerTest, GetSharesAndLastReleaseDestroys) {
    TestResource* first = get("data/a.png");
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(takeCalls(), "load data/a.png\nactivate data/a.png\n");
    EXPECT_EQ(std::string(first->getClassName()), "Resource");
    EXPECT_EQ(first->getName(), "data/a.png");
    EXPECT_EQ(first->getType(), ResourceType::Texture);
    EXPECT_EQ(get("data/a.png"), first);
    EXPECT_EQ(takeCalls(), "");
    EXPECT_EQ(first->getRefCount(), 2);

    manager.release(first);
    EXPECT_EQ(first->getRefCount(), 1);
    EXPECT_EQ(manager.find("data/a.png"), first);
    EXPECT_EQ(takeCalls(), "");

    manager.release(first);
    EXPECT_EQ(manager.find("data/a.png"), nullptr);
    EXPECT_EQ(takeCalls(), "deactivate data/a.png\ndestroy data/a.png\n");

    TestResource* again = get("data/a.png");
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(again->getRefCount(), 1);
    EXPECT_EQ(takeCalls(), "load data/a.png\nactivate data/a.png\n");
    manager.release(again);
    manager.release(nullptr);
    EXPECT_EQ(log.text(), "");
}

TEST_F(ResourceManagerTest, NamesAreComparedExactly) {
    TestResource* lower = get("data/a.png");
    TestResource* upper = get("data/A.png");
    ASSERT_NE(lower, nullptr);
    ASSERT_NE(upper, nullptr);
    EXPECT_NE(lower, upper);
    std::vector<Resource*> all = manager.getResources();
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(all[0], upper);  // byte order: "A" before "a"
    manager.release(lower);
    manager.release(upper);
}

TEST_F(ResourceManagerTest, SameNameWithAnotherTypeIsRefused) {
    TestResource* texture = get("shared/x.png");
    ASSERT_NE(texture, nullptr);
    takeCalls();
    EXPECT_EQ(get("shared/x.png", ResourceType::Script), nullptr);
    EXPECT_EQ(log.text(),
              "Error: Can't load resource: shared/x.png with same name but different type\n"
              "Error: Can't load resource: shared/x.png\n");
    log.take();
    EXPECT_EQ(get("shared/x.png", ResourceType::Script, false), nullptr);
    EXPECT_EQ(log.text(),
              "Error: Can't load resource: shared/x.png with same name but different type\n");
    EXPECT_EQ(texture->getRefCount(), 1);
    EXPECT_EQ(takeCalls(), "");
    EXPECT_EQ(manager.find("shared/x.png"), texture);
    manager.release(texture);
}

TEST_F(ResourceManagerTest, FailedCreationLeavesNoEntry) {
    const struct {
        const char* name;
        int type;
        bool failLoad;
        bool failActivate;
        const char* calls;
        const char* logText;
    } cases[] = {
        {"bad.png", ResourceType::Texture, true, false, "load bad.png\ndestroy bad.png\n",
         "Error: Can't load resource: bad.png\n"},
        {"bad.lua", ResourceType::Script, false, true,
         "load bad.lua\nactivate bad.lua\ndestroy bad.lua\n",
         "Error: Can't load resource: bad.lua\n"},
        {"a.wav", ResourceType::SampleChunk, false, false, "",
         "No loader found to load resource: a.wav\nError: Can't load resource: a.wav\n"},
    };
    for (const auto& c : cases) {
        for (int attempt = 0; attempt < 2; ++attempt) {  // each get starts over
            state.failLoad = c.failLoad ? std::set<std::string>{c.name} : std::set<std::string>{};
            state.failActivate =
                c.failActivate ? std::set<std::string>{c.name} : std::set<std::string>{};
            log.take();
            EXPECT_EQ(get(c.name, c.type), nullptr) << c.name;
            EXPECT_EQ(takeCalls(), c.calls) << c.name;
            EXPECT_EQ(log.text(), c.logText) << c.name;
            EXPECT_EQ(manager.find(c.name), nullptr) << c.name;
        }
        log.take();
        get(c.name, c.type, false);
        EXPECT_EQ(log.text().find("Error: Can't load resource"), std::string::npos) << c.name;
        takeCalls();
    }
}

TEST_F(ResourceManagerTest, GetOfAnExistingResourceBringsItUp) {
    const struct {
        bool loaded;
        bool active;
        bool failActivate;
        const char* calls;
        bool succeeds;
    } cases[] = {
        {true, true, false, "", true},
        {true, false, false, "activate r\n", true},
        {false, false, false, "load r\nactivate r\n", true},
        {false, false, true, "load r\nactivate r\n", false},
    };
    for (const auto& c : cases) {
        state.failActivate.clear();
        TestResource* resource = get("r");
        ASSERT_NE(resource, nullptr);
        takeCalls();
        resource->setState(c.loaded, c.active);
        if (c.failActivate) {
            state.failActivate.insert("r");
        }
        log.take();
        TestResource* again = get("r");
        EXPECT_EQ(takeCalls(), c.calls);
        EXPECT_EQ(again, c.succeeds ? resource : nullptr);
        EXPECT_EQ(resource->getRefCount(), c.succeeds ? 2 : 1);
        EXPECT_EQ(log.text(), c.succeeds ? "" : "Error: Can't load resource: r\n");
        if (c.succeeds) {
            manager.release(again);
        }
        manager.release(resource);
        EXPECT_EQ(manager.find("r"), nullptr);
        takeCalls();
    }
}

TEST_F(ResourceManagerTest, LastReleaseRemovesEvenAResourceThatStaysActive) {
    state.stayActive.insert("sticky.png");
    TestResource* sticky = get("sticky.png");
    ASSERT_NE(sticky, nullptr);
    takeCalls();
    manager.release(sticky);
    EXPECT_EQ(takeCalls(), "deactivate sticky.png\ndestroy sticky.png\n");
    EXPECT_EQ(manager.find("sticky.png"), nullptr);
    EXPECT_TRUE(manager.getResources().empty());
}

TEST_F(ResourceManagerTest, ReloadUsesTheCustomReloaderWhenThereIsOne) {
    TestResource* plain = get("plain.png");
    TestResource* custom = get("custom.png");
    TestResource* empty = get("memory.png");
    TestResource* failing = get("failing.lua", ResourceType::Script);
    ASSERT_TRUE(plain && custom && empty && failing);
    custom->setCustomReloader(std::make_unique<RecordingReloader>());
    empty->setCustomReloader(std::make_unique<Resource::EmptyResourceReloader>());
    get("plain.png");
    takeCalls();

    const struct {
        const char* name;
        bool found;
        const char* calls;
    } cases[] = {
        {"plain.png", true,
         "deactivate plain.png\nunload plain.png\nload plain.png\n"
         "activate plain.png\n"},
        {"custom.png", true, "custom custom.png\n"},
        {"memory.png", true, ""},
        {"failing.lua", true, "deactivate failing.lua\nunload failing.lua\nload failing.lua\n"},
        {"Plain.png", false, ""},
    };
    state.failLoad.insert("failing.lua");
    for (const auto& c : cases) {
        EXPECT_EQ(manager.reload(c.name), c.found) << c.name;
        EXPECT_EQ(takeCalls(), c.calls) << c.name;
    }
    EXPECT_EQ(plain->getRefCount(), 2);
    EXPECT_TRUE(plain->isActive());
    EXPECT_FALSE(failing->isLoaded());
    EXPECT_FALSE(failing->isActive());
    for (Resource* r : {static_cast<Resource*>(plain), static_cast<Resource*>(plain),
                        static_cast<Resource*>(custom), static_cast<Resource*>(empty),
                        static_cast<Resource*>(failing)}) {
        manager.release(r);
    }
    EXPECT_TRUE(manager.getResources().empty());
}

TEST_F(ResourceManagerTest, HeldResourcesLiveUntilShutdown) {
    TestResource* startup = get("startup.lua", ResourceType::Script);
    ASSERT_NE(startup, nullptr);
    manager.addHeldResource(startup);
    manager.release(startup);
    EXPECT_EQ(startup->getRefCount(), 1);
    EXPECT_EQ(manager.find("startup.lua"), startup);

    TestResource* shared = get("shared.lua", ResourceType::Script);
    ASSERT_NE(shared, nullptr);
    manager.addHeldResource(shared);
    ASSERT_EQ(manager.getHeldResources().size(), 2u);
    takeCalls();

    manager.shutdown();
    // The held-only resource goes; the one still referenced elsewhere stays.
    EXPECT_EQ(takeCalls(), "deactivate startup.lua\ndestroy startup.lua\n");
    EXPECT_TRUE(manager.getHeldResources().empty());
    EXPECT_EQ(shared->getRefCount(), 1);
    EXPECT_EQ(manager.find("startup.lua"), nullptr);
    EXPECT_EQ(manager.find("shared.lua"), shared);
    EXPECT_EQ(manager.getLoader(ResourceType::Script), nullptr);
    manager.release(shared);
    EXPECT_EQ(takeCalls(), "deactivate shared.lua\ndestroy shared.lua\n");
}

TEST_F(ResourceManagerTest, ConsoleTexts) {
    TestResource* b = get("b.png");
    TestResource* a = get("a.png");
    get("a.png");
    TestResource* script = get("s.lua", ResourceType::Script);
    ASSERT_TRUE(a && b && script);
    b->setState(false, true);
    script->setState(false, false);

    EXPECT_EQ(listResourcesCommandText(manager),
              "Resource List\n"
              "\nTexture List\n\n"
              "a.png (loaded, active,  2 refs)\n"
              "b.png (active,  1 refs)\n"
              "\nSamplechunk List\n\n"
              "\nSamplechunkSpat List\n\n"
              "\nScript List\n\n"
              "s.lua ( 1 refs)\n");

    takeCalls();
    const struct {
        std::vector<std::string> tokens;
        const char* answer;
        const char* calls;
    } reloads[] = {
        {{"reload", "s.lua"},
         "s.lua reloaded",
         "deactivate s.lua\nunload s.lua\nload s.lua\nactivate s.lua\n"},
        {{"reload", "S.lua"},
         "S.lua not found. Execute listResources for a list of all used resources.",
         ""},
        {{"reload"}, "Reloads resource with given name", ""},
        {{"reload", "s.lua", "a.png"}, "Reloads resource with given name", ""},
    };
    for (const auto& c : reloads) {
        EXPECT_EQ(reloadCommandText(manager, c.tokens), c.answer);
        EXPECT_EQ(takeCalls(), c.calls);
    }

    const struct {
        std::vector<std::string> tokens;
        const char* answer;
        const char* calls;
    } reloadAlls[] = {
        {{"reloadAll", "TEXTURE"},
         "a.png reloaded\nb.png reloaded\n",
         "deactivate a.png\nunload a.png\nload a.png\nactivate a.png\n"
         "deactivate b.png\nunload b.png\nload b.png\nactivate b.png\n"},
        {{"reloadAll", "samplechunk"}, "", ""},
        {{"reloadAll", "sound"},
         "Resource type sound not found. Execute listResources for a list of all known resource "
         "types.\n",
         ""},
        {{"reloadAll"}, "Reload all resources with given type", ""},
    };
    for (const auto& c : reloadAlls) {
        EXPECT_EQ(reloadAllCommandText(manager, c.tokens), c.answer);
        EXPECT_EQ(takeCalls(), c.calls);
    }
    for (Resource* r : {static_cast<Resource*>(a), static_cast<Resource*>(a),
                        static_cast<Resource*>(b), static_cast<Resource*>(script)}) {
        manager.release(r);
    }
}

TEST(ResourceTypeTest, DisplayNames) {
    const char* expected[] = {"Texture", "Samplechunk", "SamplechunkSpat", "Script"};
    for (int type = 0; type < ResourceType::Count; ++type) {
        EXPECT_STREQ(ResourceType::displayName(type), expected[type]);
    }
    EXPECT_STREQ(ResourceType::displayName(4), "");
    EXPECT_STREQ(ResourceType::displayName(-1), "");
}

}  // namespace
