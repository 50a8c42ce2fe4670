// Method declarations, classes with inheritance, the class registry and the
// installation order of a ScriptApi.

#include "ScriptTestFixture.h"
#include "scripting/Class.h"

namespace scripttest {
namespace {

void nop(Entity*, ScriptValue*) {}

TEST(MethodTest, TypeLettersBecomeDeclaredCodes) {
    const Method method{"mixed", "ifsba", "fbi", nop};
    EXPECT_STREQ(method.name, "mixed");
    ASSERT_EQ(method.numArgs, 5u);
    const uint32_t args[] = {ScriptType::Int, ScriptType::Float, ScriptType::String,
                             ScriptType::Bool, ScriptType::None};
    for (uint32_t i = 0; i < 5; ++i) {
        EXPECT_EQ(method.argTypes[i], args[i]) << i;
    }
    ASSERT_EQ(method.numResults, 3u);
    EXPECT_EQ(method.resultTypes[0], ScriptType::Float);
    EXPECT_EQ(method.resultTypes[2], ScriptType::Int);

    char argLetters[ScriptSlots::MaxArgs + 1];
    char resultLetters[ScriptSlots::MaxResults + 1];
    method.describeArgs(argLetters);
    method.describeResults(resultLetters);
    EXPECT_STREQ(argLetters, "ifsba");
    EXPECT_STREQ(resultLetters, "fbi");

    const Method none{"none", "", "", nop};
    EXPECT_EQ(none.numArgs, 0u);
    EXPECT_EQ(none.numResults, 0u);
    const Method full{"full", "aaaaaaaaaa", "iii", nop};
    EXPECT_EQ(full.numArgs, 10u);
}

class ClassTest : public ::testing::Test {
protected:
    void TearDown() override { ClassRegistry::clear(); }
};

TEST_F(ClassTest, FindMethodWalksUpTheParentsAndAddKeepsTheFirst) {
    Class base("Base", nullptr, nullptr);
    Class middle("Middle", &base, nullptr);
    Class leaf("Leaf", &middle, nullptr);
    base.addMethod({"shared", "", "", nop});
    base.addMethod({"baseOnly", "i", "", nop});
    middle.addMethod({"shared", "ff", "", nop});
    middle.addMethod({"shared", "fff", "", nop});  // the first entry stays

    ASSERT_NE(leaf.findMethod("baseOnly"), nullptr);
    EXPECT_EQ(leaf.findMethod("baseOnly")->numArgs, 1u);
    EXPECT_EQ(leaf.findMethod("shared")->numArgs, 2u);
    EXPECT_EQ(base.findMethod("shared")->numArgs, 0u);
    EXPECT_EQ(leaf.findMethod("missing"), nullptr);
}

TEST_F(ClassTest, RegistryKeepsTheFirstClassOfAName) {
    auto first = std::make_unique<Class>("Thing", nullptr, nullptr);
    Class* kept = first.get();
    const uint64_t before = ClassRegistry::generation();
    EXPECT_TRUE(ClassRegistry::registerClass(std::move(first)));
    EXPECT_NE(ClassRegistry::generation(), before);
    EXPECT_FALSE(ClassRegistry::registerClass(std::make_unique<Class>("Thing", nullptr, nullptr)));
    EXPECT_EQ(ClassRegistry::find("Thing"), kept);
    EXPECT_EQ(ClassRegistry::find("thing"), nullptr);
    ClassRegistry::clear();
    EXPECT_EQ(ClassRegistry::find("Thing"), nullptr);
}

// Records what install asks of a script system, in order.
class RecordingSystem : public IScriptSystem {
public:
    std::vector<std::string> ops;
    int runString(const char*) override { return 0; }
    int runBuffer(const char*, size_t, const char*) override { return 0; }
    void registerFunction(const ScriptEntry& entry, const char* name) override {
        ops.push_back(std::string(kind(entry)) + " " + name + "->" + entry.target);
    }
    void registerMethod(const ScriptEntry& entry, Method method) override {
        ops.push_back(std::string(kind(entry)) + " method " + method.name);
    }
    void registerClass(const char* name, const char*, const ScriptEntry* newEntry,
                       const ScriptEntry* gcEntry) override {
        ops.push_back(std::string("class ") + name + (newEntry ? " new" : "") +
                      (gcEntry ? " gc" : ""));
    }
    void pushGlobal(const char* name) override { ops.push_back(std::string("push ") + name); }
    void popValue() override { ops.push_back("pop"); }
    void setFunctionField(const ScriptEntry& entry, const char* name) override {
        ops.push_back(std::string(kind(entry)) + " field " + name);
    }
    int newScriptObject(lua_State*, const char*) override { return 0; }
    int collectScriptObject(lua_State*, ScriptObjectDeleter) override { return 0; }
    int callObjectMethod(lua_State*, const char*) override { return 0; }
    int callNativeFunction(lua_State*, const char*, bool) override { return 0; }
    int newEntityObject(lua_State*, const char*) override { return 0; }
    bool callFunction(const char*, ScriptValue*, int, int, int*) override { return false; }
    void releaseReference(int*) override {}

private:
    static const char* kind(const ScriptEntry& entry) {
        switch (entry.kind) {
            case ScriptEntryKind::GlobalFunction:
                return "global";
            case ScriptEntryKind::EntityFunction:
                return "entity";
            case ScriptEntryKind::CreateFunction:
                return "create";
            case ScriptEntryKind::ObjectNew:
                return "new";
            case ScriptEntryKind::ObjectMethod:
                return "objectMethod";
            case ScriptEntryKind::ObjectCollect:
                return "collect";
        }
        return "?";
    }
};

TEST_F(ClassTest, InstallBindsInTheStartUpOrderWhateverTheDeclarationOrder) {
    CapturingSink sink;
    Log::get().addSink(&sink);
    ScriptApi api;
    api.addObjectClass("Tool", nullptr, {{"use", "", "", nop}});
    api.addMethods("Child", {{"extra", "", "", nop}});  // as another subsystem would
    api.addEntityClass("Child", "Root", nullptr, {{"childThing", "", "", nop}});
    api.addCreateFunction("createChild", "Child");
    api.addGlobalFunctions({{"first", "", "", nop}, {"second", "", "", nop}});
    api.addEntityClass("Root", nullptr, nullptr, {{"rootThing", "", "", nop}});
    api.addEntityClass("Stray", "NotDeclared", nullptr);

    RecordingSystem system;
    api.install(system);
    Log::get().removeSink(&sink);

    const std::vector<std::string> expected = {
        "global method first",
        "global method second",
        "entity childThing->childThing",
        "entity extra->extra",
        "entity rootThing->rootThing",
        "create createChild->Child",
        "class Tool new gc",
        "push Tool",
        "objectMethod field use",
        "pop",
    };
    EXPECT_EQ(system.ops, expected);
    Class* child = ClassRegistry::find("Child");
    ASSERT_NE(child, nullptr);
    EXPECT_EQ(child->getParent(), ClassRegistry::find("Root"));
    EXPECT_NE(child->findMethod("rootThing"), nullptr);
    EXPECT_NE(child->findMethod("extra"), nullptr);
    ASSERT_NE(ClassRegistry::find("Stray"), nullptr);
    EXPECT_EQ(ClassRegistry::find("Stray")->getParent(), nullptr);
    EXPECT_EQ(sink.take(), "Error: script class Stray has unknown parent class NotDeclared\n");
}

}  // namespace
}  // namespace scripttest
