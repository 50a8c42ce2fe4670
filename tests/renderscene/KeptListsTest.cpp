// Render lists kept between frames against lists made afresh: two copies of
// one scene, one drawn by a renderer that keeps its lists and one by a
// renderer that walks the tree and builds every queue each frame, take the
// same script changes one after another. After each, both walks must find
// the same shapes in the same order, every geometry pass's kept queue must
// hold the entries of a queue built afresh from the same frame in the same
// order (while making only the entries that changed), and at the end both
// renderers must draw the same pixels.

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "RenderSceneFixture.h"
#include "render/material/Material.h"
#include "render/overlay/Screenshot.h"
#include "render/scene/LightAssignment.h"
#include "render/scene/ShapeRenderObject.h"
#include "scene/LODTransformGroup.h"
#include "scene/LightSource.h"
#include "scene/Shape.h"

namespace {

constexpr float kDegrees = 3.14159265f / 180.0f;

// One copy of the scene: rows of boxes in groups, a floor, an LOD group,
// a blended pane, a directional light and point lights of short range. The
// named nodes are what the changes work on.
struct World {
    SceneRenderContext context;
    std::unique_ptr<TransformGroup> root;
    Camera* camera = nullptr;
    std::map<std::string, TransformGroup*> nodes;
    // Every shape made so far, by creation number, for naming queue entries.
    std::map<const Shape*, int> ids;
    int nextId = 0;
    // Shared by both copies, so that their entries name the same buffers.
    static Geometry* box;
    static Geometry* small;
    static Geometry* floor;

    Shape* shape(TransformGroup& parent, const std::string& name, Geometry* geometry,
                 Material* material, const Vector3& at) {
        auto* made = new Shape(name);
        made->setGeometry(geometry);
        made->addMaterial(material);
        made->setTranslation(at);
        made->addShapeFlags(Shape::kCastsShadows | Shape::kReceivesShadows);
        parent.addChild(made);
        // A new shape may take a deleted one's address.
        ids[made] = nextId++;
        nodes[name] = made;
        return made;
    }

    TransformGroup* group(TransformGroup& parent, const std::string& name) {
        auto* made = new TransformGroup(name);
        parent.addChild(made);
        nodes[name] = made;
        return made;
    }

    LightSource* light(const std::string& name, int type, const Vector3& at, float range) {
        LightSource::Settings settings;
        settings.type = type;
        settings.range = range;
        settings.diffuseColor = {0.5f, 0.5f, 0.5f};
        settings.castsShadowMap = type == LightSource::Directional;
        settings.depthMapResolution = 128;
        settings.shadowFarDistance = 30.0f;
        auto* made = new LightSource(name, settings);
        made->setTranslation(at);
        made->setRotation({-60.0f * kDegrees, 0, 0});
        root->addChild(made);
        nodes[name] = made;
        return made;
    }

    World(Material* red, Material* blue, Material* glass, Material* mirror) {
        root = createRootNode(context);
        camera = new Camera("camera", 60.0f, 0.1f, 100.0f);
        camera->setTranslation({0, 6, 8});
        camera->setRotation({-35.0f * kDegrees, 0, 0});
        root->addChild(camera);
        context.setActiveCamera(camera);
        context.environment.ambientColor = {0.3f, 0.3f, 0.3f};
        shape(*root, "floor", floor, blue, {0, 0, 0})->setRotation({-90.0f * kDegrees, 0, 0});
        for (int row = 0; row < 3; ++row) {
            TransformGroup* rowGroup = group(*root, "row" + std::to_string(row));
            for (int i = 0; i < 6; ++i) {
                // Pairs at equal distance from the camera: their order is
                // the walk's.
                const float x =
                    float(i / 2) * 1.2f * (i % 2 ? 1.0f : -1.0f) + (i % 2 ? 0.6f : -0.6f);
                shape(*rowGroup, "box" + std::to_string(row) + std::to_string(i),
                      i % 3 == 2 ? small : box, (i + row) % 2 ? red : blue,
                      {x, 0.3f, float(row) * -1.5f});
            }
        }
        auto* lod = new LODTransformGroup("lod", {0.0f, 9.0f, 100.0f});
        lod->setTranslation({0, 0.3f, 2.0f});
        root->addChild(lod);
        nodes["lod"] = lod;
        shape(*lod, "lodNear", box, red, {0, 0, 0});
        shape(*lod, "lodFar", small, blue, {0, 0, 0});
        shape(*root, "pane", box, glass, {1.0f, 1.0f, 1.0f});
        // A mirror: its reflection is drawn by a sub-renderer that shares the
        // shapes' render data.
        Shape* mirrorShape = shape(*root, "mirror", box, mirror, {0.0f, 0.02f, -0.5f});
        // A flat mirror on the floor, under the boxes.
        mirrorShape->setScale({8.0f, 0.05f, 6.0f});
        light("sun", LightSource::Directional, {0, 10, 0}, 100.0f);
        light("lampA", LightSource::Point, {-3.0f, 1.0f, 0.0f}, 2.5f);
        light("lampB", LightSource::Point, {3.0f, 1.0f, -3.0f}, 2.5f);
    }
};

Geometry* World::box = nullptr;
Geometry* World::small = nullptr;
Geometry* World::floor = nullptr;

// One entry, named by what it draws: shape id, slot, light group's lights,
// shaders, and distance.
std::string describe(const World& world, const RenderQueueEntry& entry,
                     const std::map<const LightListEntry*, std::string>& lightNames) {
    std::ostringstream out;
    auto found = world.ids.find(entry.shape);
    out << (found == world.ids.end() ? -1 : found->second) << "/"
        << (entry.slot - entry.data->slots.data()) << "/" << entry.vertexShader << "+"
        << entry.fragmentShader << "/" << entry.geometry << "/" << entry.blended << "/"
        << entry.distance << "/[";
    if (entry.lights != nullptr) {
        for (int i = 0; i < entry.lights->count; ++i) {
            auto name = lightNames.find(entry.lights->lights[i]);
            out << (name == lightNames.end() ? "?" : name->second) << " ";
        }
        out << entry.lights->configWord;
    }
    out << "]";
    return out.str();
}

class KeptListsTest : public RenderSceneFixture {
protected:
    void SetUp() override {
        RenderSceneFixture::SetUp();
        m_red = solidPaint(0.9f, 0.2f, 0.2f);
        m_blue = solidPaint(0.2f, 0.3f, 0.9f);
        m_green = solidPaint(0.2f, 0.8f, 0.3f);
        m_glass = solidPaint(0.8f, 0.8f, 0.9f, 0.5f);
        MaterialDesc mirror;
        mirror.ambientColor = {0.2f, 0.2f, 0.2f};
        mirror.reflectionMap = true;
        mirror.reflectionResolution = 64;
        m_mirror = MaterialLibrary::get(mirror);
        m_box = RefPtr<Geometry>(new IndexedFaceSetGeometry("box", makeBoxMesh({0.3f, 0.3f, 0.3f}),
                                                            VertexAttribute::Normal));
        m_small = RefPtr<Geometry>(new IndexedFaceSetGeometry(
            "small", makeBoxMesh({0.15f, 0.15f, 0.15f}), VertexAttribute::Normal));
        m_floor = RefPtr<Geometry>(
            new IndexedFaceSetGeometry("floor", makeQuadMesh(6.0f), VertexAttribute::Normal));
        World::box = m_box.get();
        World::small = m_small.get();
        World::floor = m_floor.get();
        kept = std::make_unique<World>(m_red.get(), m_blue.get(), m_glass.get(), m_mirror.get());
        fresh = std::make_unique<World>(m_red.get(), m_blue.get(), m_glass.get(), m_mirror.get());
        freshRenderer = std::make_unique<SceneRenderer>(*s_device, *library);
        freshRenderer->setKeptLists(false);
        renderer->setShadowQuality(1.0f);
        freshRenderer->setShadowQuality(1.0f);
        ASSERT_TRUE(renderer->getKeptLists());
    }

    void TearDown() override {
        kept.reset();
        fresh.reset();
        freshRenderer.reset();
        RenderSceneFixture::TearDown();
    }

    // One frame of a world: the ids of the shapes its walk found visible,
    // and, with `queues`, the geometry passes' queues as the renderer keeps
    // them and as built afresh, described.
    struct FrameLists {
        std::vector<int> visible;
        std::vector<std::string> kept;
        std::vector<std::string> fresh;
        uint32_t entriesMade = 0;
    };
    FrameLists walk(SceneRenderer& drawer, World& world, bool queues) {
        FrameLists lists;
        if (!drawer.beginFrame(world.context, kSize, kSize, 16.0f)) {
            return lists;
        }
        for (const Shape* shape : drawer.getVisibleShapes()) {
            lists.visible.push_back(world.ids.at(shape));
        }
        if (queues) {
            // Light records are made by the frame's light walk.
            std::map<const LightListEntry*, std::string> lightNames;
            for (const char* name : {"sun", "lampA", "lampB"}) {
                lightNames[static_cast<const LightListEntry*>(
                    static_cast<LightSource*>(world.nodes[name])->getLightRecord())] = name;
            }
            for (bool fresh : {false, true}) {
                for (int pass : {RenderPassTable::kOpaque, RenderPassTable::kFurtherLights,
                                 RenderPassTable::kTransparent}) {
                    if (fresh) {
                        drawer.buildFreshQueue(pass);
                    } else {
                        drawer.buildSortedQueue(pass);
                    }
                    std::vector<std::string>& lines = fresh ? lists.fresh : lists.kept;
                    lines.push_back("pass " + std::to_string(pass));
                    for (const RenderQueueEntry& entry : drawer.getLastQueue().entries()) {
                        lines.push_back(describe(world, entry, lightNames));
                    }
                }
                if (!fresh) {
                    lists.entriesMade = drawer.getLastFrameCounts().entriesMade;
                }
            }
        }
        drawer.endFrame();
        return lists;
    }

    std::vector<uint8_t> pixels(SceneRenderer& drawer, World& world) {
        drawer.render(world.context, kSize, kSize, 16.0f);
        if (const char* folder = std::getenv("RENDERSCENE_SCREENSHOTS")) {
            saveScreenshot(*s_device, std::string(folder) + "/kept-lists-" +
                                          (drawer.getKeptLists() ? "kept" : "fresh") + ".png");
        }
        std::vector<uint8_t> out(s_window->getPixelBufferSize());
        s_window->readPixels(out.data());
        return out;
    }

    RefPtr<Material> m_red, m_blue, m_green, m_glass, m_mirror;
    RefPtr<Geometry> m_box, m_small, m_floor;
    std::unique_ptr<World> kept;
    std::unique_ptr<World> fresh;
    std::unique_ptr<SceneRenderer> freshRenderer;
};

TEST_F(KeptListsTest, KeptQueuesMatchFreshOnesAfterEachChange) {
    struct Change {
        const char* what;
        std::function<void(World&)> apply;
        // The most queue entries the kept renderer may make for it (-1: any).
        int mostMade = -1;
    };
    Material* green = m_green.get();
    Material* glass = m_glass.get();
    const Change changes[] = {
        {"first frame", [](World&) {}},
        {"nothing changed", [](World&) {}, 0},
        {"one node moved",
         [](World& w) {
             w.nodes["box01"]->setTranslation({0.2f, 0.3f, 1.0f});
         },
         3},
        {"a group moved",
         [](World& w) {
             w.nodes["row1"]->setTranslation({0.5f, 0, 0.5f});
         }},
        {"a subtree deleted", [](World& w) { delete w.nodes["row2"]; }},
        {"a new scene linked",
         [](World& w) {
             TransformGroup* added = w.group(*w.root, "added");
             added->setTranslation({-2.0f, 0, 1.0f});
             for (int i = 0; i < 4; ++i) {
                 w.shape(
                     *added, "new" + std::to_string(i), w.box,
                     static_cast<Material*>(static_cast<Shape*>(w.nodes["box00"])->getMaterial(0)),
                     {float(i) * 0.7f, 0.3f, 0});
             }
         }},
        {"a material changed",
         [green](World& w) {
             auto* shape = static_cast<Shape*>(w.nodes["box03"]);
             shape->clearMaterials();
             shape->addMaterial(green);
         }},
        {"a light moved into range",
         [](World& w) {
             w.nodes["lampB"]->setTranslation({0.0f, 1.0f, 0.0f});
         }},
        {"the light moved a little",
         [](World& w) {
             w.nodes["lampB"]->setTranslation({0.2f, 1.0f, 0.0f});
         }},
        {"the light moved out of range",
         [](World& w) {
             w.nodes["lampB"]->setTranslation({0.0f, 30.0f, 0.0f});
         }},
        {"LOD switch (camera moved back)",
         [](World& w) {
             w.camera->setTranslation({0, 6, 12});
         }},
        {"object mask change", [](World& w) { w.nodes["row0"]->setObjectMask(0); }},
        {"mask restored, a shape hidden",
         [](World& w) {
             w.nodes["row0"]->setObjectMask(0xFFFFFFFFu);
             w.nodes["box10"]->setVisibility(false);
         }},
        {"a shape turns blended",
         [glass](World& w) {
             auto* shape = static_cast<Shape*>(w.nodes["box11"]);
             shape->clearMaterials();
             shape->addMaterial(glass);
         }},
        {"camera turned",
         [](World& w) {
             w.camera->setRotation({-50.0f * kDegrees, 0.3f, 0});
         }},
        {"nothing changed again", [](World&) {}, 0},
    };
    for (const Change& change : changes) {
        SCOPED_TRACE(change.what);
        change.apply(*kept);
        change.apply(*fresh);
        const FrameLists lists = walk(*renderer, *kept, true);
        // The flat walk finds what the tree walk finds, in the same order.
        EXPECT_EQ(lists.visible, walk(*freshRenderer, *fresh, false).visible);
        ASSERT_GT(lists.fresh.size(), 3u);
        ASSERT_EQ(lists.kept.size(), lists.fresh.size());
        for (size_t i = 0; i < lists.kept.size(); ++i) {
            ASSERT_EQ(lists.kept[i], lists.fresh[i]) << "entry " << i;
        }
        if (change.mostMade >= 0) {
            EXPECT_LE(lists.entriesMade, uint32_t(change.mostMade));
        }
    }
    // Both draw the same frames, shadows and reflection and all, once the
    // kept queues serve drawn frames.
    for (World* world : {kept.get(), fresh.get()}) {
        world->camera->setTranslation({0, 3.0f, 6.0f});
        world->camera->setRotation({-20.0f * kDegrees, 0, 0});
    }
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(pixels(*renderer, *kept), pixels(*freshRenderer, *fresh)) << "frame " << i;
    }
}

}  // namespace
