#pragma once
// A script system with the core, foundation, scene, physics and callback
// bindings installed over a scene of its own, the log caught as text, and
// helpers to read script globals back.

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "CapturingLogSink.h"
#include "render/material/MaterialSceneHandler.h"
#include "scene/SceneRenderContext.h"
#include "scene/TransformGroup.h"
#include "scripting/LuaScriptSystem.h"

namespace scriptapitest {

class ScriptApiTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Runs a chunk that must succeed.
    void run(const std::string& chunk);
    // A global the chunks set: number (nil fails), text (drops the log
    // caught so far), or whether it is nil.
    double number(const std::string& global);
    std::string text(const std::string& global);
    bool isNil(const std::string& global);
    std::string log() { return sink_.take(); }

    LuaScriptSystem* system_ = nullptr;
    testsupport::CapturingLogSink sink_;
    std::unique_ptr<SceneRenderContext> context_;
    // The engine-owned root of this scene ("RootNode"), the global `root`.
    std::unique_ptr<TransformGroup> root_;
    // Scene files get their materials from the renderer's handler, as in the game.
    MaterialSceneHandler materials_;
};

}  // namespace scriptapitest
