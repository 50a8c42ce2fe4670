#pragma once
// The fixture of the physics world tests: a settings file, a fresh world and
// a scene root, with boxes and a ground to put into it.

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "TestSupport.h"
#include "foundation/File.h"
#include "physics/PhysicsManager.h"
#include "physics/PhysicsRBObject.h"
#include "physics/ScenegraphPhysicsContext.h"
#include "scene/Geometry.h"
#include "scene/Shape.h"

namespace physicstest {

constexpr float kFrameMs = 1000.0f / 60.0f;

inline Shape* makeBoxShape(const std::string& name, Vector3 half) {
    auto* shape = new Shape(name);
    shape->setGeometry(new IndexedFaceSetGeometry(name + "Geometry", makeBoxMesh(half), 0));
    return shape;
}

inline PhysicsRBObject* giveBody(ScenegraphNode& node, uint32_t type) {
    auto body = std::make_unique<PhysicsRBObject>(node, PhysicsRBObject::kDefaultState | type);
    PhysicsRBObject* raw = body.get();
    node.setPhysicsObject(std::move(body));
    return raw;
}

class PhysicsWorld : public ::testing::Test {
protected:
    void SetUp() override { startWith(""); }
    void TearDown() override {
        root.reset();
        PhysicsManager::get().shutdown();
        FileSystem::clearFileLoaders();
    }

    // The settings file (empty: the engine's defaults), then a fresh world.
    void startWith(const std::string& xml) {
        PhysicsManager::get().shutdown();
        FileSystem::clearFileLoaders();
        if (xml.empty()) {
            testsupport::writePhysicsConfig(dir.path());
        } else {
            testsupport::writeFile(dir / "physics.xml", xml);
        }
        FileSystem::addFileLoader(std::make_unique<NativeFileLoader>(dir.path(), 10));
        ASSERT_TRUE(PhysicsManager::get().init());
        context = ScenegraphPhysicsContext::get();
        ASSERT_NE(context, nullptr);
        root = std::make_unique<TransformGroup>("root");
    }

    // A 100 x 1 x 100 static box with its top at y = 0.
    Shape* addGround() {
        Shape* ground = makeBoxShape("ground", {50, 0.5f, 50});
        ground->setTranslation({0, -0.5f, 0});
        root->addChild(ground);
        giveBody(*ground, PhysicsObject::kStatic);
        return ground;
    }

    Shape* addBox(const std::string& name, Vector3 position,
                  uint32_t type = PhysicsObject::kDynamic, Node* parent = nullptr) {
        Shape* box = makeBoxShape(name, {0.5f, 0.5f, 0.5f});
        box->setTranslation(position);
        (parent != nullptr ? parent : root.get())->addChild(box);
        giveBody(*box, type);
        return box;
    }

    void frames(int count) {
        for (int i = 0; i < count; ++i) {
            context->step(kFrameMs);
        }
    }

    static float worldY(Shape* node) { return node->getWorldMatrix().getTranslation().y; }

    testsupport::TempDir dir;
    ScenegraphPhysicsContext* context = nullptr;
    std::unique_ptr<TransformGroup> root;
};

}  // namespace physicstest
