#pragma once
// A script system with a small class tree of test entities bound through the
// real binding API, and the log caught as text.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "CapturingLogSink.h"
#include "foundation/Entity.h"
#include "foundation/Log.h"
#include "scripting/LuaScriptSystem.h"
#include "scripting/ScriptApi.h"

namespace scripttest {

using CapturingSink = testsupport::CapturingLogSink;

// One slot as a native function saw it (strings copied, they die with the
// call).
struct SeenValue {
    uint32_t type = 0;
    uint64_t raw = 0;
    std::string text;  // for strings
    bool nullText = false;
};

struct SeenCall {
    std::string function;
    Entity* object = nullptr;
    std::vector<SeenValue> args;  // all 10 argument slots
};

// Calls recorded by the test natives, cleared by the fixture.
std::vector<SeenCall>& calls();

// Widget <- Gadget <- Gizmo, registered entities; Orphan reports a class
// that has no Class.
class Widget : public Entity {
public:
    explicit Widget(const std::string& name) : Entity(name, true) {}
    const char* getClassName() const override { return "Widget"; }
    float value = 0.0f;
};

class Gadget : public Widget {
public:
    using Widget::Widget;
    const char* getClassName() const override { return "Gadget"; }
    float x = 0, y = 0, z = 0;
};

class Gizmo : public Gadget {
public:
    using Gadget::Gadget;
    const char* getClassName() const override { return "Gizmo"; }
};

class Orphan : public Entity {
public:
    Orphan() : Entity("orphan", true) {}
    const char* getClassName() const override { return "Orphan"; }
};

// A script-owned object; counts its deletions.
class Builder : public Entity {
public:
    Builder() : Entity("builder", false) {}
    ~Builder() override { ++deleted; }
    static int deleted;
    int size = 0;
};

// The reference the native "keep" took, or null.
int* keptReference();

// Declares the test classes and functions plus the core functions.
void addTestScriptApi(ScriptApi& api);

class ScriptTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Runs a chunk that must succeed.
    void run(const std::string& chunk);
    // Runs a chunk and returns a global number it set.
    double number(const std::string& global);
    std::string log() { return sink_.take(); }

    LuaScriptSystem* system_ = nullptr;
    CapturingSink sink_;
};

}  // namespace scripttest
