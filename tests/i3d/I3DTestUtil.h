#pragma once
// Scene files written by the tests: a folder in the file system, the log
// caught, and lookups in the loaded tree.

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "CapturingLogSink.h"
#include "TestSupport.h"
#include "foundation/File.h"
#include "render/material/MaterialSceneHandler.h"
#include "scene/i3d/I3DLoader.h"

class I3DTest : public ::testing::Test {
protected:
    void SetUp() override {
        FileSystem::addFileLoader(std::make_unique<NativeFileLoader>(dir.path(), 0));
        materials.install();
    }
    void TearDown() override {
        materials.uninstall();
        FileSystem::clearFileLoaders();
    }

    // Writes "<i3D name="test" version="1.5">body</i3D>" as `file` and loads it.
    bool load(const std::string& body, const std::string& file = "scene.i3d") {
        return loadRaw("<i3D name=\"test\" version=\"1.5\">\n" + body + "\n</i3D>\n", file);
    }
    bool loadRaw(const std::string& text, const std::string& file = "scene.i3d") {
        size_t slash = file.rfind('/');
        if (slash != std::string::npos) {
            testsupport::makeDirs(dir / file.substr(0, slash));
        }
        testsupport::writeFile(dir / file, text);
        return loadI3DFile(file, result);
    }
    // The node at a "/"-separated path of names below the root, or none.
    TransformGroup* node(const std::string& path) const {
        Node* at = result.root.get();
        size_t begin = 0;
        while (at != nullptr && begin <= path.size()) {
            size_t end = path.find('/', begin);
            std::string name = path.substr(begin, end == std::string::npos ? end : end - begin);
            Node* next = nullptr;
            for (Node* child : at->getChildren()) {
                if (child->getName() == name) {
                    next = child;
                    break;
                }
            }
            at = next;
            if (end == std::string::npos) {
                break;
            }
            begin = end + 1;
        }
        return static_cast<TransformGroup*>(at);
    }

    testsupport::TempDir dir;
    testsupport::ScopedLogCapture log;
    // Materials are made by the renderer's handler, as in the game.
    MaterialSceneHandler materials;
    I3DLoadResult result;
};
