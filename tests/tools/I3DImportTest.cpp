#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <numbers>

#include "AssimpExport.h"
#include "CapturingLogSink.h"
#include "ImportScene.h"
#include "ModelFiles.h"
#include "TestSupport.h"
#include "animation/AnimationSceneHandler.h"
#include "animation/CharacterSet.h"
#include "foundation/File.h"
#include "render/material/Material.h"
#include "render/material/MaterialSceneHandler.h"
#include "scene/Camera.h"
#include "scene/LightSource.h"
#include "scene/Shape.h"
#include "scene/i3d/I3DLoader.h"
#include "scene/i3d/I3DSections.h"

namespace {

constexpr float kPi = 3.14159265f;

// Records what the loader hands to the animation and physics subsystems.
class RecordingHandlers : public I3DAnimationHandler, public I3DPhysicsHandler {
public:
    RecordingHandlers() {
        I3DSectionHandlers::get().animation = this;
        I3DSectionHandlers::get().physics = this;
    }
    ~RecordingHandlers() override {
        I3DSectionHandlers::get().animation = nullptr;
        I3DSectionHandlers::get().physics = nullptr;
    }
    void addCharacterSet(const I3DCharacterSetDesc& desc) override { sets.push_back(desc); }
    void setRigidBody(RawTransformGroup& node, const I3DRigidBodyDesc& desc) override {
        bodies.emplace_back(node.getName(), desc);
    }
    void setJoint(RawTransformGroup&, const I3DJointDesc&) override {}
    void registerSubtree(TransformGroup&) override {}

    std::vector<I3DCharacterSetDesc> sets;
    std::vector<std::pair<std::string, I3DRigidBodyDesc>> bodies;
};

// Runs the importer on files in a temporary folder and loads what it wrote
// through the engine's scene loader.
class I3DImportTest : public ::testing::Test {
protected:
    void SetUp() override {
        FileSystem::addFileLoader(std::make_unique<NativeFileLoader>(dir.path(), 0));
        materials.install();
    }
    void TearDown() override {
        materials.uninstall();
        FileSystem::clearFileLoaders();
    }

    // Materials are made by the renderer's handler, as in the game.
    MaterialSceneHandler materials;

    testsupport::RunResult import(std::vector<std::string> args) {
        args.insert(args.begin(), I3DIMPORT_EXECUTABLE);
        return testsupport::runProgram(args, dir.path(), {});
    }
    // Imports `input` into "out/<name>" and loads it; the importer's output
    // is kept in `output`.
    bool importAndLoad(const std::string& input, std::vector<std::string> options = {},
                       const std::string& name = "scene.i3d") {
        std::vector<std::string> args{input, "out/" + name};
        args.insert(args.end(), options.begin(), options.end());
        testsupport::RunResult run = import(args);
        output = run.output;
        if (run.exitCode != 0) {
            ADD_FAILURE() << run.output;
            return false;
        }
        text = testsupport::readFile(dir / ("out/" + name));
        return loadI3DFile("out/" + name, result);
    }
    TransformGroup* find(const std::string& name) const {
        return result.root ? findIn(result.root.get(), name) : nullptr;
    }
    static TransformGroup* findIn(Node* node, const std::string& name) {
        if (node->getName() == name) {
            return static_cast<TransformGroup*>(node);
        }
        for (Node* child : node->getChildren()) {
            if (TransformGroup* found = findIn(child, name)) {
                return found;
            }
        }
        return nullptr;
    }

    // The loaded textured hierarchy: "base" with its transform holding
    // "cube" with its own, a cube of 12 triangles; returns the cube.
    Shape* expectHierarchy() const;

    testsupport::TempDir dir;
    testsupport::ScopedLogCapture log;
    I3DLoadResult result;
    std::string output;
    std::string text;
};

void expectVector(const Vector3& actual, const Vector3& expected, const char* what) {
    EXPECT_NEAR(actual.x, expected.x, 1e-4f) << what;
    EXPECT_NEAR(actual.y, expected.y, 1e-4f) << what;
    EXPECT_NEAR(actual.z, expected.z, 1e-4f) << what;
}

Shape* I3DImportTest::expectHierarchy() const {
    TransformGroup* base = find("base");
    auto* cube = dynamic_cast<Shape*>(find("cube"));
    if (base == nullptr || cube == nullptr || cube->getGeometry() == nullptr ||
        cube->getGeometry()->getMeshData() == nullptr) {
        ADD_FAILURE() << "no base or cube mesh\n" << text;
        return nullptr;
    }
    expectVector(base->getTranslation(), {1, 2, 3}, "base translation");
    expectVector(base->getRotation(), {0, kPi / 2, 0}, "base rotation");
    EXPECT_EQ(cube->getParent(), base);
    expectVector(cube->getTranslation(), {0, 1, 0}, "cube translation");
    expectVector(cube->getRotation(), {kPi / 6, 0, 0}, "cube rotation");
    expectVector(cube->getScale(), {2, 2, 2}, "cube scale");
    // base turns (0, 1, 0) onto itself and moves it to (1, 3, 3).
    expectVector(cube->getWorldMatrix().getTranslation(), {1, 3, 3}, "cube world position");
    // 6 faces of 2 triangles.
    EXPECT_EQ(cube->getGeometry()->getMeshData()->triangles.size(), 12u);
    return cube;
}

TEST_F(I3DImportTest, HierarchyKeepsTransformsAndCopiesTheTexture) {
    testsupport::writeTexturedHierarchy(dir.path(), "model");
    ASSERT_TRUE(importAndLoad("model.gltf")) << log.text();

    Shape* cube = expectHierarchy();
    ASSERT_NE(cube, nullptr);
    // All corners with normals and texture coordinates.
    const MeshData* mesh = cube->getGeometry()->getMeshData();
    EXPECT_EQ(
        mesh->triangles[0].attributes & (VertexAttribute::Normal | VertexAttribute::TexCoords0),
        uint32_t(VertexAttribute::Normal | VertexAttribute::TexCoords0));
    ASSERT_EQ(cube->getNumMaterials(), 1u);
    auto* material = static_cast<Material*>(cube->getMaterial(0));
    EXPECT_EQ(material->getDesc().albedoMap.file, "out/scene_textures/paint.png");
    EXPECT_EQ(testsupport::readFile(dir / "out/scene_textures/paint.png"), testsupport::redPng());

    auto* eye = dynamic_cast<Camera*>(find("eye"));
    ASSERT_NE(eye, nullptr) << text;
    expectVector(eye->getTranslation(), {1, 3, 10}, "eye");
    expectVector(eye->getRotation(), {0, 0, 0}, "eye looks down -Z");
    EXPECT_NEAR(eye->getFieldOfView(), 0.8f * 180.0f / kPi, 1e-3f);
    EXPECT_NEAR(eye->getNearClip(), 0.5f, 1e-6f);
    EXPECT_NEAR(eye->getFarClip(), 50.0f, 1e-4f);
    auto* sun = dynamic_cast<LightSource*>(find("sun"));
    ASSERT_NE(sun, nullptr) << text;
    EXPECT_EQ(sun->getType(), LightSource::Directional);
    expectVector(sun->getDiffuseColor(), {1, 1, 0.5f}, "sun colour");
    expectVector(sun->getRotation(), {-kPi / 4, 0, 0}, "sun rotation");
}

TEST_F(I3DImportTest, TexturesCanBeReferencedWhereTheyAre) {
    testsupport::writeTexturedHierarchy(dir.path(), "model");
    ASSERT_TRUE(importAndLoad("model.gltf", {"--reference-textures"})) << log.text();
    auto* cube = dynamic_cast<Shape*>(find("cube"));
    ASSERT_NE(cube, nullptr);
    EXPECT_EQ(static_cast<Material*>(cube->getMaterial(0))->getDesc().albedoMap.file, "paint.png");
    EXPECT_FALSE(std::filesystem::exists(dir / "out/scene_textures"));
}

TEST_F(I3DImportTest, EmbeddedImagesAreWrittenBesideTheScene) {
    testsupport::GltfWriter gltf;
    const std::string cube = testsupport::addGltfCube(gltf);
    const int image = gltf.bytes(testsupport::redPng());
    gltf.write(
        dir.path(), "packed",
        R"("scene":0,"scenes":[{"nodes":[0]}],"nodes":[{"name":"box","mesh":0}],
"meshes":[{"primitives":[{)" +
            cube +
            R"(,"material":0}]}],"materials":[{"name":"m","pbrMetallicRoughness":{"baseColorTexture":{"index":0}}}],
"textures":[{"source":0}],"images":[{"name":"../../skin","bufferView":)" +
            std::to_string(image) + R"(,"mimeType":"image/png"}])");
    ASSERT_TRUE(importAndLoad("packed.gltf", {"--reference-textures"})) << log.text();
    auto* box = dynamic_cast<Shape*>(find("box"));
    ASSERT_NE(box, nullptr) << text;
    const std::string file = static_cast<Material*>(box->getMaterial(0))->getDesc().albedoMap.file;
    // The image's name climbs out of the folder; only its last part is used.
    EXPECT_EQ(file, "out/scene_textures/skin.png");
    EXPECT_EQ(testsupport::readFile(dir / file), testsupport::redPng());
}

TEST_F(I3DImportTest, ObjMaterialsBecomeOneShaderListEntryEach) {
    for (const char* image : {"bump.png", "shine.png", "glow.png"}) {
        testsupport::writeFile(dir / image, testsupport::redPng());
    }
    testsupport::writeFile(dir / "two.mtl",
                           "newmtl red\nKd 1 0 0\nKs 0.5 0.5 0.5\nKe 0.1 0.2 0.3\nNs 50\n"
                           "norm bump.png\nmap_Ns shine.png\nmap_Ke glow.png\n"
                           "newmtl sky,blue\xe9\nKd 0 0 1\nd 0.5\n");
    // Vertex colours follow the positions.
    testsupport::writeFile(dir / "two.obj",
                           "mtllib two.mtl\no panel\nv 0 0 0 1 0 0\nv 1 0 0 0 1 0\nv 1 1 0 0 0 1\n"
                           "v 0 1 0 1 1 1\nusemtl red\nf 1 2 3\nusemtl sky,blue\xe9\nf 1 3 4\n");
    ASSERT_TRUE(importAndLoad("two.obj")) << log.text();
    // A comma would split the list, a Latin-1 byte stop the parser.
    EXPECT_NE(text.find("shaderlist=\"red,sky_blue_\""), std::string::npos) << text;
    auto* panel = dynamic_cast<Shape*>(find("panel"));
    ASSERT_NE(panel, nullptr) << text;
    ASSERT_EQ(panel->getNumMaterials(), 2u);
    const MaterialDesc& red = static_cast<Material*>(panel->getMaterial(0))->getDesc();
    const MaterialDesc& blue = static_cast<Material*>(panel->getMaterial(1))->getDesc();
    EXPECT_EQ(red.diffuseColor[0], 1.0f);
    EXPECT_EQ(red.cosPower, 50.0f);
    EXPECT_EQ(red.specularColor[1], 0.5f);
    EXPECT_EQ(red.emissiveColor[2], 0.3f);
    EXPECT_EQ(red.normalMap.file, "out/scene_textures/bump.png");
    EXPECT_EQ(red.glossMap.file, "out/scene_textures/shine.png");
    EXPECT_EQ(red.emissiveMap.file, "out/scene_textures/glow.png");
    EXPECT_EQ(blue.diffuseColor[2], 1.0f);
    EXPECT_EQ(blue.diffuseColor[3], 0.5f);
    EXPECT_TRUE(blue.alphaBlending);
    const MeshData* mesh = panel->getGeometry()->getMeshData();
    ASSERT_EQ(mesh->triangles.size(), 2u);
    EXPECT_NE(mesh->triangles[0].material, mesh->triangles[1].material);
    ASSERT_NE(mesh->triangles[0].attributes & VertexAttribute::Color, 0u);
    const MeshCorner& second = mesh->triangles[0].corners[1];
    EXPECT_EQ(second.color[0], 0.0f);
    EXPECT_EQ(second.color[1], 1.0f);
}

TEST_F(I3DImportTest, SkinnedMeshBindsItsBonesAndItsClipReachesTheAnimation) {
    RecordingHandlers handlers;
    testsupport::writeSkinnedTwoBones(dir.path(), "rig");
    ASSERT_TRUE(importAndLoad("rig.gltf")) << log.text();

    auto* skin = dynamic_cast<Shape*>(find("skin"));
    ASSERT_NE(skin, nullptr) << text;
    ASSERT_EQ(skin->getBones().size(), 2u) << text;
    EXPECT_EQ(skin->getBones()[0], find("root"));
    EXPECT_EQ(skin->getBones()[1], find("tip"));
    EXPECT_NE(skin->getShapeFlags() & Shape::kSkinned, 0u);
    const MeshData* mesh = skin->getGeometry()->getMeshData();
    ASSERT_EQ(mesh->skinWeights.size(), 6u);
    // The middle row is shared half and half; weights sum to one.
    EXPECT_NEAR(mesh->skinWeights[2][0], 0.5f, 1e-5f);
    EXPECT_NEAR(mesh->skinWeights[2][1], 0.5f, 1e-5f);
    EXPECT_EQ(mesh->boneIndices[5][0], 1);
    EXPECT_NEAR(mesh->skinWeights[5][0], 1.0f, 1e-5f);

    ASSERT_EQ(handlers.sets.size(), 1u);
    const I3DCharacterSetDesc& set = handlers.sets[0];
    ASSERT_EQ(set.clips.size(), 1u);
    const I3DClipDesc& clip = set.clips[0];
    EXPECT_EQ(clip.name, "bend");
    EXPECT_NEAR(clip.duration, 1000.0f, 1e-3f);
    ASSERT_EQ(clip.tracks.size(), 1u);
    const I3DKeyframeTrackDesc& track = clip.tracks[0];
    EXPECT_EQ(track.node, find("tip"));
    ASSERT_EQ(track.keyframes.size(), 2u);
    EXPECT_EQ(track.keyframes[0].attributes, 7u);
    EXPECT_EQ(track.keyframes[1].time, 1000.0f);
    expectVector(track.keyframes[1].rotation, {0, 0, kPi / 2}, "tip end rotation");
    expectVector(track.keyframes[1].translation, {0, 1, 0}, "tip translation kept");
    EXPECT_EQ(track.keyframes[1].linearIn, 7u);
}

// The skin is bound relative to the parent of its first bone; turning the
// scene to Y-up must keep the skinned shape in that same frame.
TEST_F(I3DImportTest, SkinKeepsItsFrameThroughTheUpAxisConversion) {
    testsupport::writeSkinnedTwoBones(dir.path(), "rig");
    ASSERT_TRUE(importAndLoad("rig.gltf", {"--up-axis", "z"})) << log.text();
    auto* skin = dynamic_cast<Shape*>(find("skin"));
    ASSERT_NE(skin, nullptr) << text;
    ASSERT_EQ(skin->getBones().size(), 2u) << text;
    auto* skinFrame = static_cast<TransformGroup*>(skin->getBones()[0]->getParent());
    ASSERT_NE(skinFrame, nullptr);
    const Matrix4 shapeWorld = skin->getWorldMatrix();
    const Matrix4 frameWorld = skinFrame->getWorldMatrix();
    for (int i = 0; i < 16; ++i) {
        EXPECT_NEAR(shapeWorld.m[i], frameWorld.m[i], 1e-5f) << i;
    }
    // Z-up (0, 1, 0) is Y-up (0, 0, -1).
    expectVector(find("tip")->getWorldMatrix().getTranslation(), {0, 0, -1}, "tip");
}

// FBX and Collada files, written by the library's exporter from the glTF
// models: the hierarchy keeps its transforms, its cube and its texture, the
// skin its bones and weights. The exporter keeps only the first key of a clip
// in FBX and writes Collada clips its own reader cannot resolve, so only the
// FBX clip's name and length are checked.
TEST_F(I3DImportTest, FbxAndColladaFilesImportLikeTheirSources) {
    testsupport::writeTexturedHierarchy(dir.path(), "model");
    testsupport::writeSkinnedTwoBones(dir.path(), "rig");
    struct Case {
        const char* format;
        const char* extension;
        bool clips;
    };
    for (const Case& c : {Case{"fbxa", ".fbx", true}, Case{"collada", ".dae", false}}) {
        SCOPED_TRACE(c.format);
        const std::string model = std::string(c.format) + "_model";
        const std::string rig = std::string(c.format) + "_rig";
        std::string error;
        ASSERT_TRUE(testsupport::exportModel(dir / "model.gltf", dir / (model + c.extension),
                                             c.format, false, error))
            << error;
        ASSERT_TRUE(testsupport::exportModel(dir / "rig.gltf", dir / (rig + c.extension), c.format,
                                             c.clips, error))
            << error;

        ASSERT_TRUE(importAndLoad(model + c.extension, {}, model + ".i3d")) << log.text();
        Shape* cube = expectHierarchy();
        ASSERT_NE(cube, nullptr);
        ASSERT_GE(cube->getNumMaterials(), 1u);
        const std::string texture =
            static_cast<Material*>(cube->getMaterial(0))->getDesc().albedoMap.file;
        EXPECT_EQ(texture, "out/" + model + "_textures/paint.png");
        EXPECT_EQ(testsupport::readFile(dir / texture), testsupport::redPng());

        RecordingHandlers handlers;
        ASSERT_TRUE(importAndLoad(rig + c.extension, {}, rig + ".i3d")) << log.text();
        auto* skin = dynamic_cast<Shape*>(find("skin"));
        ASSERT_NE(skin, nullptr) << text;
        ASSERT_EQ(skin->getBones().size(), 2u) << text;
        EXPECT_EQ(skin->getBones()[0], find("root"));
        EXPECT_EQ(skin->getBones()[1], find("tip"));
        expectVector(find("tip")->getWorldMatrix().getTranslation(), {0, 1, 0}, "tip");
        const MeshData* mesh = skin->getGeometry()->getMeshData();
        ASSERT_EQ(mesh->skinWeights.size(), 6u);
        // Rows at heights 0, 1 and 2: root only, half and half, tip only.
        for (size_t v = 0; v < mesh->positions.size(); ++v) {
            const float expectedTip = mesh->positions[v].y * 0.5f;
            float tip = 0.0f;
            for (int k = 0; k < 4; ++k) {
                if (mesh->boneIndices[v][k] == 1) {
                    tip += mesh->skinWeights[v][k];
                }
            }
            EXPECT_NEAR(tip, expectedTip, 1e-5f) << v;
        }
        if (c.clips) {
            ASSERT_EQ(handlers.sets.size(), 1u) << text;
            ASSERT_EQ(handlers.sets[0].clips.size(), 1u);
            EXPECT_EQ(handlers.sets[0].clips[0].name, "bend");
            EXPECT_NEAR(handlers.sets[0].clips[0].duration, 1000.0f, 1e-2f);
        }
    }
}

TEST_F(I3DImportTest, CustomPropertiesBecomeUserAttributes) {
    testsupport::GltfWriter gltf;
    gltf.write(dir.path(), "props", R"("scene":0,"scenes":[{"nodes":[0]}],
"nodes":[{"name":"door","extras":{"health":5,"label":"oak <&> \"x\"","open":true,"weight":2.5,
 "serial":12345678901}}])");
    ASSERT_TRUE(importAndLoad("props.gltf")) << log.text();
    TransformGroup* door = find("door");
    ASSERT_NE(door, nullptr) << text;
    struct Expected {
        const char* name;
        UserAttribute::Type type;
        std::string text;
    };
    const Expected expected[] = {
        {"health", UserAttribute::Integer, "5"},
        {"label", UserAttribute::String, "oak <&> \"x\""},
        {"open", UserAttribute::Boolean, "true"},
        {"weight", UserAttribute::Float, "2.5"},
        {"serial", UserAttribute::String, "12345678901"},
    };
    for (const Expected& e : expected) {
        SCOPED_TRACE(e.name);
        const UserAttribute* a = door->getUserAttribute(e.name);
        ASSERT_NE(a, nullptr) << text;
        EXPECT_EQ(a->type, e.type);
        switch (e.type) {
            case UserAttribute::Integer:
                EXPECT_EQ(std::to_string(a->intValue), e.text);
                break;
            case UserAttribute::Boolean:
                EXPECT_TRUE(a->boolValue);
                break;
            case UserAttribute::Float:
                EXPECT_EQ(a->floatValue, 2.5f);
                break;
            default:
                EXPECT_EQ(a->stringValue, e.text);
        }
    }
}

TEST_F(I3DImportTest, LightsKeepTheirReachAndCone) {
    testsupport::GltfWriter gltf;
    gltf.write(dir.path(), "lights", R"("scene":0,"scenes":[{"nodes":[0,1]}],
"extensionsUsed":["KHR_lights_punctual"],
"nodes":[{"name":"bulb","extensions":{"KHR_lights_punctual":{"light":0}}},
 {"name":"torch","extensions":{"KHR_lights_punctual":{"light":1}}}],
"extensions":{"KHR_lights_punctual":{"lights":[
 {"name":"bulb","type":"point","color":[1,0.5,0.5],"intensity":4},
 {"name":"torch","type":"spot","spot":{"innerConeAngle":0.2,"outerConeAngle":0.4}}]}})");
    ASSERT_TRUE(importAndLoad("lights.gltf")) << log.text();
    auto* bulb = dynamic_cast<LightSource*>(find("bulb"));
    ASSERT_NE(bulb, nullptr) << text;
    EXPECT_EQ(bulb->getType(), LightSource::Point);
    // Colours stay within 1; the brightness of 4 fades to 1/256 at 32.
    expectVector(bulb->getDiffuseColor(), {1, 0.5f, 0.5f}, "bulb colour");
    EXPECT_NEAR(bulb->getRange(), 32.0f, 1e-3f);
    EXPECT_EQ(bulb->getDecayRate(), 2);
    EXPECT_NE(output.find("light bulb: its falloff is written as range 32"), std::string::npos)
        << output;
    auto* torch = dynamic_cast<LightSource*>(find("torch"));
    ASSERT_NE(torch, nullptr) << text;
    EXPECT_EQ(torch->getType(), LightSource::Spot);
    EXPECT_NEAR(torch->getConeAngle(), 0.8f * 180.0f / kPi, 1e-3f);
    EXPECT_NEAR(torch->getDropOff(), 2.5f, 1e-4f);
}

TEST(I3DImportSkin, StrongestFourWeightsAreKeptAndRenormalised) {
    i3dimport::ImportScene scene;
    i3dimport::ImportMesh& mesh = scene.meshes.emplace_back();
    mesh.name = "m";
    mesh.influences = {{{0, 0.1f}, {1, 0.4f}, {2, 0.1f}, {3, 0.2f}, {4, 0.2f}},
                       {{0, 2.0f}, {1, -1.0f}, {2, NAN}},
                       {}};
    i3dimport::limitSkinInfluences(scene);
    ASSERT_EQ(mesh.influences[0].size(), 4u);
    float sum = 0.0f;
    for (const auto& influence : mesh.influences[0]) {
        sum += influence.weight;
    }
    EXPECT_NEAR(sum, 1.0f, 1e-6f);
    EXPECT_EQ(mesh.influences[0][0].bone, 1u);
    EXPECT_NEAR(mesh.influences[0][0].weight, 0.4f / 0.9f, 1e-6f);
    ASSERT_EQ(mesh.influences[1].size(), 1u);
    EXPECT_EQ(mesh.influences[1][0].weight, 1.0f);
    EXPECT_TRUE(mesh.influences[2].empty());
    ASSERT_EQ(scene.warnings.size(), 1u);
    EXPECT_NE(scene.warnings[0].find("1 vertices have more than 4 bone weights"),
              std::string::npos);
}

TEST_F(I3DImportTest, ScaleUpAxisSubdivisionAndPhysicsOptions) {
    RecordingHandlers handlers;
    testsupport::writeTexturedHierarchy(dir.path(), "model");
    ASSERT_TRUE(importAndLoad(
        "model.gltf",
        {"--scale", "2", "--up-axis", "z", "--subd", "cubeMesh", "--static", "base", "--dynamic",
         "cube", "--collision-mask", "cube=0x10", "--static", "nothing"}))
        << log.text();
    TransformGroup* base = find("base");
    TransformGroup* cube = find("cube");
    ASSERT_NE(base, nullptr);
    ASSERT_NE(cube, nullptr);
    // Z-up (1, 2, 3) doubled is Y-up (2, 6, -4); lengths below scale too.
    expectVector(base->getWorldMatrix().getTranslation(), {2, 6, -4}, "base");
    expectVector(cube->getTranslation(), {0, 2, 0}, "cube");
    expectVector(cube->getScale(), {2, 2, 2}, "cube scale is no length");
    EXPECT_NE(text.find("IndexedFaceSet name=\"subd_cubeMesh\""), std::string::npos) << text;
    ASSERT_NE(static_cast<Shape*>(cube)->getGeometry(), nullptr);
    EXPECT_EQ(static_cast<Shape*>(cube)->getGeometry()->getName(), "subd_cubeMesh");
    ASSERT_EQ(handlers.bodies.size(), 2u);
    EXPECT_EQ(handlers.bodies[0].first, "base");
    EXPECT_EQ(handlers.bodies[0].second.flags & 0xF, 0x3u);
    EXPECT_EQ(handlers.bodies[1].first, "cube");
    EXPECT_EQ(handlers.bodies[1].second.flags & 0xF, 0x5u);
    EXPECT_EQ(handlers.bodies[1].second.collisionMask.value, 0x10);
    EXPECT_NE(output.find("warning: --static nothing: no node of that name"), std::string::npos)
        << output;
}

// Each source holds one thing a scene file cannot; the import goes on and
// says what was left out.
TEST_F(I3DImportTest, WhatTheFileCannotHoldIsWarnedAbout) {
    struct Case {
        const char* name;
        std::string members;
        const char* warning;
    };
    testsupport::GltfWriter gltf;
    const std::string cube = testsupport::addGltfCube(gltf);
    const std::string scene = R"("scene":0,"scenes":[{"nodes":[0]}],)";
    const Case cases[] = {
        {"ortho",
         R"("nodes":[{"name":"eye","camera":0}],"cameras":[{"type":"orthographic","orthographic":{"xmag":1,"ymag":1,"znear":0.1,"zfar":10}}])",
         "an orthographic projection cannot be held"},
        {"occlusion",
         R"("nodes":[{"name":"box","mesh":0}],"meshes":[{"primitives":[{)" + cube +
             R"(,"material":0}]}],"materials":[{"name":"stone","occlusionTexture":{"index":0}}],"textures":[{"source":0}],"images":[{"uri":"ao.png"}])",
         "material stone: its light or ambient occlusion map cannot be held"},
        {"points",
         R"("nodes":[{"name":"cloud","mesh":0}],"meshes":[{"name":"dots","primitives":[{"attributes":{"POSITION":0},"mode":0}]}])",
         "points and lines cannot be held"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        gltf.write(dir.path(), c.name, scene + c.members);
        testsupport::RunResult run =
            import({std::string(c.name) + ".gltf", std::string(c.name) + ".i3d"});
        EXPECT_EQ(run.exitCode, 0) << run.output;
        EXPECT_NE(run.output.find(c.warning), std::string::npos) << run.output;
    }
}

TEST_F(I3DImportTest, FailuresWriteNothing) {
    testsupport::writeFile(dir / "broken.gltf", "{\"asset\":{\"version\":\"2.0\"},\"nodes\":[");
    testsupport::writeFile(dir / "notes.xyz", "nothing a model library reads");
    for (const char* input : {"broken.gltf", "notes.xyz", "missing.obj"}) {
        SCOPED_TRACE(input);
        testsupport::RunResult run = import({input, "out/scene.i3d"});
        EXPECT_NE(run.exitCode, 0);
        EXPECT_NE(run.output.find(std::string("cannot read ") + input + ": "), std::string::npos)
            << run.output;
        EXPECT_FALSE(std::filesystem::exists(dir / "out"));
    }

    // An existing output stays as it was without --force, textures included.
    testsupport::writeTexturedHierarchy(dir.path(), "model");
    testsupport::makeDirs(dir / "out");
    testsupport::writeFile(dir / "out/scene.i3d", "keep");
    testsupport::RunResult refused = import({"model.gltf", "out/scene.i3d"});
    EXPECT_NE(refused.exitCode, 0);
    EXPECT_NE(refused.output.find("use --force"), std::string::npos) << refused.output;
    EXPECT_EQ(testsupport::readFile(dir / "out/scene.i3d"), "keep");
    EXPECT_FALSE(std::filesystem::exists(dir / "out/scene_textures"));

    testsupport::makeDirs(dir / "out/fresh_textures");
    testsupport::writeFile(dir / "out/fresh_textures/paint.png", "keep");
    refused = import({"model.gltf", "out/fresh.i3d"});
    EXPECT_NE(refused.exitCode, 0);
    EXPECT_FALSE(std::filesystem::exists(dir / "out/fresh.i3d"));
    EXPECT_EQ(testsupport::readFile(dir / "out/fresh_textures/paint.png"), "keep");

    testsupport::RunResult forced = import({"model.gltf", "out/scene.i3d", "--force"});
    EXPECT_EQ(forced.exitCode, 0) << forced.output;
    EXPECT_NE(testsupport::readFile(dir / "out/scene.i3d").find("<i3D"), std::string::npos);
}

TEST_F(I3DImportTest, MalformedOptionsAreRefusedBeforeReading) {
    testsupport::writeTexturedHierarchy(dir.path(), "model");
    const std::vector<std::vector<std::string>> cases = {
        {"--scale", "0"},
        {"--scale", "2x"},
        {"--scale", "nan"},
        {"--up-axis", "w"},
        {"--collision-mask", "cube"},
        {"--collision-mask", "=3"},
        {"--collision-mask", "cube=0x1FFFFFFFF"},
        {"--static"},
        {"--bogus"},
    };
    for (const auto& options : cases) {
        std::vector<std::string> args{"model.gltf", "out/scene.i3d"};
        args.insert(args.end(), options.begin(), options.end());
        testsupport::RunResult run = import(args);
        EXPECT_EQ(run.exitCode, 2) << options[0] << " " << run.output;
        EXPECT_FALSE(std::filesystem::exists(dir / "out"));
    }
}

// Texture names from the model never place a file outside the output
// folder, however they climb or whatever they contain.
TEST_F(I3DImportTest, TextureFilesStayInsideTheOutputFolder) {
    testsupport::makeDirs(dir / "assets/deep");
    testsupport::makeDirs(dir / "textures");
    testsupport::writeFile(dir / "textures/..evil name.png", testsupport::redPng());
    testsupport::GltfWriter gltf;
    const std::string cube = testsupport::addGltfCube(gltf);
    gltf.write(
        dir / "assets/deep/", "model",
        R"("scene":0,"scenes":[{"nodes":[0]}],"nodes":[{"name":"box","mesh":0}],
"meshes":[{"primitives":[{)" +
            cube +
            R"(,"material":0}]}],"materials":[{"name":"m","pbrMetallicRoughness":{"baseColorTexture":{"index":0}},"emissiveTexture":{"index":1}}],
"textures":[{"source":0},{"source":1}],"images":[{"uri":"../../textures/..evil name.png"},{"uri":"../../textures/absent.png"}])");
    testsupport::RunResult run = import({"assets/deep/model.gltf", "out/scene.i3d"});
    ASSERT_EQ(run.exitCode, 0) << run.output;
    EXPECT_EQ(testsupport::readFile(dir / "out/scene_textures/evil_name.png"),
              testsupport::redPng());
    EXPECT_NE(run.output.find("absent.png is not found; the map is left out"), std::string::npos)
        << run.output;
    size_t files = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(dir / "out")) {
        files += entry.is_regular_file();
    }
    EXPECT_EQ(files, 2u);
}

// Colours that only the materials give: an untextured colour becomes a small
// texture of that colour (one file per distinct colour), emission an
// emissive map, a half-transparent or "BLEND" material blends, an
// "OPAQUE" one ignores its alpha, a textured "MASK" one is alpha-tested at
// its cutoff (scaled by the colour's alpha), and the base colour of a
// textured glTF material tints the vertex colours.
TEST_F(I3DImportTest, MaterialColoursReachWhatTheEngineDraws) {
    testsupport::GltfWriter gltf;
    const std::string cube = testsupport::addGltfCube(gltf);
    testsupport::writeFile(dir / "paint.png", testsupport::redPng());
    std::string nodes, meshes;
    const char* names[] = {"red", "alsoRed", "glass", "tinted", "solid", "leaf"};
    for (int i = 0; i < 6; ++i) {
        const std::string n = std::to_string(i);
        nodes += std::string(i ? "," : "") + R"({"name":")" + names[i] + R"(","mesh":)" + n + "}";
        meshes += std::string(i ? "," : "") + R"({"primitives":[{)" + cube + R"(,"material":)" + n +
                  "}]}";
    }
    gltf.write(dir.path(), "colours",
               R"("scene":0,"scenes":[{"nodes":[0,1,2,3,4,5]}],"nodes":[)" + nodes +
                   R"(],"meshes":[)" + meshes + R"(],
"materials":[
 {"name":"red","pbrMetallicRoughness":{"baseColorFactor":[1,0,0,1]}},
 {"name":"alsoRed","pbrMetallicRoughness":{"baseColorFactor":[1,0,0,1]}},
 {"name":"glass","pbrMetallicRoughness":{"baseColorFactor":[0.2,0.2,1,0.5]},"emissiveFactor":[0,0.6,0],"alphaMode":"BLEND"},
 {"name":"tinted","pbrMetallicRoughness":{"baseColorFactor":[0.5,1,1,1],"baseColorTexture":{"index":0}}},
 {"name":"solid","pbrMetallicRoughness":{"baseColorFactor":[0,0,1,0.3]},"alphaMode":"OPAQUE"},
 {"name":"leaf","pbrMetallicRoughness":{"baseColorFactor":[1,1,1,0.8],"baseColorTexture":{"index":0}},"alphaMode":"MASK","alphaCutoff":0.4}],
"textures":[{"source":0}],"images":[{"uri":"paint.png"}])");
    ASSERT_TRUE(importAndLoad("colours.gltf")) << log.text();
    auto desc = [&](const char* node) -> const MaterialDesc* {
        auto* shape = dynamic_cast<Shape*>(find(node));
        if (shape == nullptr || shape->getNumMaterials() != 1) {
            ADD_FAILURE() << node << "\n" << text;
            return nullptr;
        }
        return &static_cast<Material*>(shape->getMaterial(0))->getDesc();
    };
    const MaterialDesc* red = desc("red");
    const MaterialDesc* alsoRed = desc("alsoRed");
    const MaterialDesc* glass = desc("glass");
    const MaterialDesc* tinted = desc("tinted");
    const MaterialDesc* solid = desc("solid");
    const MaterialDesc* leaf = desc("leaf");
    ASSERT_TRUE(red && alsoRed && glass && tinted && solid && leaf);

    EXPECT_EQ(red->albedoMap.file, "out/scene_textures/colour_ff0000ff.png");
    EXPECT_EQ(alsoRed->albedoMap.file, red->albedoMap.file);
    EXPECT_FALSE(red->emissiveMap.isSet());
    EXPECT_FALSE(red->alphaBlending);
    EXPECT_EQ(glass->albedoMap.file, "out/scene_textures/colour_3333ff80.png");
    EXPECT_EQ(glass->emissiveMap.file, "out/scene_textures/emissive_009900ff.png");
    EXPECT_TRUE(glass->alphaBlending);
    EXPECT_EQ(solid->albedoMap.file, "out/scene_textures/colour_0000ffff.png");
    EXPECT_FALSE(solid->alphaBlending);
    EXPECT_EQ(tinted->albedoMap.file, "out/scene_textures/paint.png");
    EXPECT_FLOAT_EQ(leaf->alphaTestCutoff, 0.5f);
    EXPECT_FALSE(leaf->alphaBlending);
    EXPECT_EQ(red->alphaTestCutoff, 0.0f);
    for (const char* file : {"colour_ff0000ff.png", "colour_3333ff80.png", "emissive_009900ff.png",
                             "colour_0000ffff.png"}) {
        EXPECT_EQ(
            testsupport::readFile(dir / (std::string("out/scene_textures/") + file)).substr(1, 3),
            "PNG")
            << file;
    }

    // Only the tinted cube carries vertex colours: the factor at every corner.
    for (const char* node : {"red", "glass", "tinted"}) {
        const MeshData* mesh = static_cast<Shape*>(find(node))->getGeometry()->getMeshData();
        const MeshTriangle& triangle = mesh->triangles[0];
        const bool coloured = (triangle.attributes & VertexAttribute::Color) != 0;
        EXPECT_EQ(coloured, std::string(node) == "tinted") << node;
        if (coloured) {
            EXPECT_FLOAT_EQ(triangle.corners[1].color[0], 0.5f);
            EXPECT_FLOAT_EQ(triangle.corners[1].color[1], 1.0f);
        }
    }
}

// Where a texture's path leads nowhere (a path of the author's machine,
// Windows or not), the image of that name beside the model is used.
TEST_F(I3DImportTest, TexturesNamedWhereTheyLayElsewhereAreFoundBesideTheModel) {
    testsupport::writeFile(dir / "wood.png", testsupport::redPng());
    testsupport::writeFile(dir / "bump.png", testsupport::redPng());
    testsupport::writeFile(dir / "plank.mtl",
                           "newmtl wood\nKd 1 1 1\nmap_Kd C:\\Users\\artist\\Textures\\wood.png\n"
                           "norm /home/someone/maps/bump.png\n");
    testsupport::writeFile(dir / "plank.obj",
                           "mtllib plank.mtl\no plank\nv 0 0 0\nv 1 0 0\nv 1 1 0\nvt 0 0\nvt 1 0\n"
                           "vt 1 1\nusemtl wood\nf 1/1 2/2 3/3\n");
    ASSERT_TRUE(importAndLoad("plank.obj")) << log.text();
    auto* plank = dynamic_cast<Shape*>(find("plank"));
    ASSERT_NE(plank, nullptr) << text;
    const MaterialDesc& wood = static_cast<Material*>(plank->getMaterial(0))->getDesc();
    EXPECT_EQ(wood.albedoMap.file, "out/scene_textures/wood.png");
    EXPECT_EQ(wood.normalMap.file, "out/scene_textures/bump.png");
    EXPECT_EQ(testsupport::readFile(dir / "out/scene_textures/wood.png"), testsupport::redPng());
    EXPECT_NE(output.find("texture C:/Users/artist/Textures/wood.png is not found there"),
              std::string::npos)
        << output;
}

// A glTF file that requires an extension the importer does not decode is
// refused with the extension's name, in text and binary form; read as if
// plain, its quantized positions would all land at the origin.
TEST_F(I3DImportTest, FilesRequiringUndecodedGltfExtensionsAreRefused) {
    testsupport::GltfWriter gltf;
    const int p = gltf.shorts({0, 0, 0, 32767, 0, 0, 0, 32767, 0}, "VEC3");
    const int i = gltf.indices({0, 1, 2});
    const std::string mesh =
        R"("scene":0,"scenes":[{"nodes":[0]}],"nodes":[{"name":"tri","mesh":0}],
"meshes":[{"primitives":[{"attributes":{"POSITION":)" +
        std::to_string(p) + R"(},"indices":)" + std::to_string(i) + "}]}]";
    struct Case {
        const char* name;
        const char* required;
        bool binary;
        const char* refusal;  // none: the file imports
    };
    const Case cases[] = {
        {"quantized", R"(["KHR_mesh_quantization"])", false, "extension KHR_mesh_quantization"},
        {"packed", R"(["KHR_mesh_quantization","EXT_meshopt_compression"])", true,
         "extensions KHR_mesh_quantization, EXT_meshopt_compression"},
        {"basis", R"(["KHR_texture_basisu"])", false, "extension KHR_texture_basisu"},
        {"unlit", R"(["KHR_materials_unlit"])", false, nullptr},
        // The model library decodes Draco (this file's meshes are plain).
        {"draco", R"(["KHR_draco_mesh_compression"])", false, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        gltf.write(dir.path(), c.name,
                   R"("extensionsUsed":)" + std::string(c.required) + R"(,"extensionsRequired":)" +
                       c.required + "," + mesh);
        std::string input = std::string(c.name) + ".gltf";
        if (c.binary) {
            input = std::string(c.name) + ".glb";
            testsupport::writeFile(dir / input, testsupport::glbContainer(testsupport::readFile(
                                                    dir / (std::string(c.name) + ".gltf"))));
        }
        const std::string target = std::string("out/") + c.name + ".i3d";
        testsupport::RunResult run = import({input, target});
        if (c.refusal == nullptr) {
            EXPECT_EQ(run.exitCode, 0) << run.output;
            continue;
        }
        EXPECT_NE(run.exitCode, 0) << run.output;
        EXPECT_NE(run.output.find(std::string("requires the glTF ") + c.refusal +
                                  ", which the importer cannot decode"),
                  std::string::npos)
            << run.output;
        EXPECT_FALSE(std::filesystem::exists(dir / target));
    }
}

// A node that turns half a turn about Y between two keys, a wheel spinning
// about X in quarter turns, and a turn of 150 degrees about a slanted axis.
// The engine blends each Euler angle on its own; the imported keys must
// keep every pose the clip plays within a degree of the source's turn.
TEST_F(I3DImportTest, RotationKeysFollowTheSourcesTurnWithinADegree) {
    AnimationSceneHandler animation;
    animation.install();
    struct Turn {
        const char* node;
        Vector3 axis;
        std::vector<float> times;  // seconds
        float degreesPerSecond;
    };
    const float slant = 1.0f / std::sqrt(3.0f);
    const Turn turns[] = {
        {"turn", {0, 1, 0}, {0, 1}, 180},
        {"wheel", {1, 0, 0}, {0, 0.25f, 0.5f, 0.75f, 1}, 360},
        {"slant", {slant, slant, slant}, {0, 1}, 150},
    };
    testsupport::GltfWriter gltf;
    std::string nodes, channels, samplers;
    for (int n = 0; n < 3; ++n) {
        const Turn& turn = turns[n];
        std::vector<float> rotations;
        for (float t : turn.times) {
            const float half = turn.degreesPerSecond * t * std::numbers::pi_v<float> / 360.0f;
            const float s = std::sin(half);
            rotations.insert(rotations.end(),
                             {turn.axis.x * s, turn.axis.y * s, turn.axis.z * s, std::cos(half)});
        }
        const int input = gltf.floats(turn.times, "SCALAR");
        const int output = gltf.floats(rotations, "VEC4");
        const std::string k = std::to_string(n);
        nodes += std::string(n ? "," : "") + R"({"name":")" + turn.node + "\"}";
        channels += std::string(n ? "," : "") + R"({"sampler":)" + k + R"(,"target":{"node":)" + k +
                    R"(,"path":"rotation"}})";
        samplers += std::string(n ? "," : "") + R"({"input":)" + std::to_string(input) +
                    R"(,"output":)" + std::to_string(output) + R"(,"interpolation":"LINEAR"})";
    }
    gltf.write(dir.path(), "spin",
               R"("scene":0,"scenes":[{"nodes":[0,1,2]}],"nodes":[)" + nodes +
                   R"(],"animations":[{"name":"spin","channels":[)" + channels +
                   R"(],"samplers":[)" + samplers + "]}]");
    ASSERT_TRUE(importAndLoad("spin.gltf")) << log.text();
    animation.uninstall();

    auto* set = dynamic_cast<CharacterSet*>(find("turn")->getAnimation());
    ASSERT_NE(set, nullptr) << text;
    ASSERT_TRUE(set->assignClip(0, set->getClipIndex("spin")));
    set->setSpeedScale(0, 0.0f);
    set->setEnabled(0, true);
    // The angle between two rotations from the trace of one times the
    // other's transpose.
    auto degreesBetween = [](const Matrix4& a, const Matrix4& b) {
        float trace = 0.0f;
        for (int c = 0; c < 3; ++c) {
            trace += dot(a.getColumn(c), b.getColumn(c));
        }
        return std::acos(std::clamp((trace - 1.0f) * 0.5f, -1.0f, 1.0f)) * 180.0f /
               std::numbers::pi_v<float>;
    };
    // The worst distance from a turn about `k` at the turn's rate.
    auto worstAlong = [&](const Turn& turn, const Vector3& k) {
        float worst = 0.0f;
        for (int ms = 0; ms <= 1000; ms += 5) {
            set->setTime(0, static_cast<float>(ms));
            set->update(0.0);
            // Rodrigues: the source turns about its axis at an even rate.
            const float angle =
                turn.degreesPerSecond * ms * 0.001f * std::numbers::pi_v<float> / 180.0f;
            const float c = std::cos(angle), s = std::sin(angle), v = 1.0f - c;
            Matrix4 source;
            source.setColumn(0,
                             {c + k.x * k.x * v, k.y * k.x * v + k.z * s, k.z * k.x * v - k.y * s});
            source.setColumn(1,
                             {k.x * k.y * v - k.z * s, c + k.y * k.y * v, k.z * k.y * v + k.x * s});
            source.setColumn(2,
                             {k.x * k.z * v + k.y * s, k.y * k.z * v - k.x * s, c + k.z * k.z * v});
            const Matrix4 played =
                composeTransform({0, 0, 0}, find(turn.node)->getRotation(), {1, 1, 1});
            worst = std::max(worst, degreesBetween(source, played));
        }
        return worst;
    };
    for (const Turn& turn : turns) {
        SCOPED_TRACE(turn.node);
        float worst = worstAlong(turn, turn.axis);
        if (turn.degreesPerSecond * (turn.times[1] - turn.times[0]) == 180.0f) {
            // Half a turn is as short one way round as the other; the
            // rounding of the file's numbers picks the way.
            worst = std::min(worst, worstAlong(turn, -turn.axis));
        }
        EXPECT_LT(worst, 1.0f) << text;
    }
    // Keys are added only where the blending needs them, not every
    // millisecond.
    size_t keys = 0;
    for (size_t at = text.find("<Keyframe "); at != std::string::npos;
         at = text.find("<Keyframe ", at + 1)) {
        ++keys;
    }
    EXPECT_LT(keys, 60u) << text;
}

}  // namespace
