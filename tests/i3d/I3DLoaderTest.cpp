#include <cmath>

#include "I3DTestUtil.h"
#include "render/material/Material.h"
#include "scene/Camera.h"
#include "scene/LODTransformGroup.h"
#include "scene/LightSource.h"
#include "scene/Shape.h"
#include "scene/SplineGeometry.h"

namespace {

constexpr float kPi = 3.14159265f;

const char* kTriangleShapes = R"(
<Shapes>
  <IndexedFaceSet name="tri">
    <Vertices><v c="0 0 0"/><v c="1 0 0"/><v c="0 1 0"/></Vertices>
    <Faces><f vi="0 1 2"/></Faces>
  </IndexedFaceSet>
</Shapes>)";

TEST_F(I3DTest, BuildsEveryNodeKindWithItsAttributes) {
    ASSERT_TRUE(load(std::string(kTriangleShapes) + R"(
<Scene>
  <TransformGroup name="group" translation="1 2 3" rotation="90 0 0" scale="2 2 2"
                  visibility="false" oc="true" objectMask="0xffffffff">
    <TransformGroup name="masked" objectMask="0x80000001"/>
    <TransformGroup name="octal" objectMask="010"/>
    <TransformGroup name="badMask" objectMask="0x1ffffffff"/>
  </TransformGroup>
  <TransformGroup name="lod" lodDistance="0 10 20"/>
  <Camera name="cam" fov="60" nearClip="0.5" farClip="900"/>
  <Light name="sun" type="Directional" diffuseColor="1 0.5 0.25" emitSpecular="false"/>
  <Light name="spot" type="spot" coneAngle="30" range="12" castShadowMap="true" depthMapResolution="1024"/>
  <Light name="plain" type="neon"/>
  <Shape name="mesh" ref="tri" castsShadows="true" clipDistance="-5"/>
  <Shape name="lost" ref="nothing"/>
</Scene>)"));
    ASSERT_NE(result.root, nullptr);
    EXPECT_EQ(result.root->getName(), "test");
    EXPECT_EQ(result.root->getParent(), nullptr);
    EXPECT_EQ(result.root->getNumChildren(), 8u);

    TransformGroup* group = node("group");
    ASSERT_NE(group, nullptr);
    Vector3 t = group->getTranslation(), r = group->getRotation(), s = group->getScale();
    EXPECT_FLOAT_EQ(t.y, 2.0f);
    EXPECT_NEAR(r.x, kPi / 2, 1e-5f);
    EXPECT_NEAR(r.y, 0.0f, 1e-5f);
    EXPECT_NEAR(s.z, 2.0f, 1e-5f);
    EXPECT_FALSE(group->getVisibility());
    EXPECT_EQ(group->getTransformFlags() & 0x1u, 0x1u);
    EXPECT_EQ(group->getObjectMask(), 0xFFFFFFFFu);
    EXPECT_EQ(node("group/masked")->getObjectMask(), 0x80000001u);
    EXPECT_EQ(node("group/octal")->getObjectMask(), 8u);
    EXPECT_EQ(node("group/badMask")->getObjectMask(), 0xFFFFFFFFu);
    EXPECT_EQ(log.count("objectMask '0x1ffffffff'"), 1u);

    auto* lod = node("lod");
    ASSERT_TRUE(lod->hasKind(EntityKind::LODTransformGroup));
    EXPECT_FLOAT_EQ(static_cast<LODTransformGroup*>(lod)->getDistances()[2], 20.0f);

    auto* camera = dynamic_cast<Camera*>(node("cam"));
    ASSERT_NE(camera, nullptr);
    EXPECT_FLOAT_EQ(camera->getFarClip(), 900.0f);

    auto* sun = dynamic_cast<LightSource*>(node("sun"));
    ASSERT_NE(sun, nullptr);
    EXPECT_EQ(sun->getType(), LightSource::Directional);
    EXPECT_FLOAT_EQ(sun->getDiffuseColor().y, 0.5f);
    EXPECT_EQ(sun->getLightFlags() & LightSource::kEmitsSpecular, 0u);
    EXPECT_NE(sun->getLightFlags() & LightSource::kEmitsDiffuse, 0u);
    auto* spot = dynamic_cast<LightSource*>(node("spot"));
    EXPECT_EQ(spot->getType(), LightSource::Spot);
    EXPECT_FLOAT_EQ(spot->getConeAngle(), 30.0f);
    EXPECT_EQ(spot->getSettings().depthMapResolution, 1024);
    EXPECT_EQ(dynamic_cast<LightSource*>(node("plain"))->getType(), LightSource::Ambient);

    auto* mesh = dynamic_cast<Shape*>(node("mesh"));
    ASSERT_NE(mesh, nullptr);
    ASSERT_NE(mesh->getGeometry(), nullptr);
    EXPECT_EQ(mesh->getGeometry()->getMeshData()->triangles.size(), 1u);
    EXPECT_NE(mesh->getShapeFlags() & Shape::kCastsShadows, 0u);
    EXPECT_EQ(mesh->getClipDistance(), 0.0f);

    TransformGroup* lost = node("lost");
    ASSERT_NE(lost, nullptr);
    EXPECT_FALSE(lost->hasKind(EntityKind::Shape));
    EXPECT_EQ(log.count("Warning: Shape lost not found. Replaced with transform group.\n"), 1u);
    EXPECT_EQ(log.count("Scenefile scene.i3d loaded in "), 1u);
}

TEST_F(I3DTest, RefusedFilesLogTheirReasonAndBuildNothing) {
    struct Case {
        const char* text;
        const char* message;
    };
    const Case cases[] = {
        {"<i3D name=\"old\" version=\"1.4\"><Scene><TransformGroup name=\"a\"/></Scene></i3D>",
         "Wrong i3d version file. Version 1.5 required.\n"},
        {"<i3D name=\"x\" version=\"1.5\">\n<Scene>\n<TransformGroup name=\"a\">\n</Scene></i3D>",
         "Parse error at line 4:\nmismatched tag\n"},
        {"", "Parse error at line 1:\nno element found\n"},
    };
    for (const Case& c : cases) {
        log.take();
        EXPECT_FALSE(loadRaw(c.text)) << c.text;
        EXPECT_EQ(result.root, nullptr);
        EXPECT_EQ(log.text(), c.message) << c.text;
    }
    EXPECT_FALSE(loadI3DFile("missing.i3d", result));
    EXPECT_EQ(result.root, nullptr);
}

// Start and end tags pair through the stack of what each start pushed.
TEST_F(I3DTest, NestingKeepsParentsWhereElementsMakeNoNode) {
    ASSERT_TRUE(load(R"(
<Scene>
  <TransformGroup name="a">
    <TransformGroup>
      <TransformGroup name="underNameless"/>
    </TransformGroup>
    <Camera name="halfCamera" fov="60">
      <TransformGroup name="underCamera"/>
    </Camera>
    <Shape name="missing"/>
    <Wrapper kind="unknown">
      <TransformGroup name="wrapped"/>
    </Wrapper>
    <Vertices>
      <TransformGroup name="underMisplaced"/>
    </Vertices>
    <TransformGroup name="last"/>
  </TransformGroup>
  <TransformGroup name="b"/>
</Scene>)"));
    ASSERT_EQ(result.root->getNumChildren(), 2u);
    TransformGroup* a = node("a");
    ASSERT_NE(a, nullptr);
    std::vector<std::string> names;
    for (Node* child : a->getChildren()) {
        names.push_back(child->getName());
    }
    EXPECT_EQ(names, (std::vector<std::string>{"underNameless", "underCamera", "missing", "wrapped",
                                               "underMisplaced", "last"}));
    EXPECT_NE(node("b"), nullptr);
}

TEST_F(I3DTest, FacesAreRangeCheckedAndTriangulated) {
    ASSERT_TRUE(load(R"(
<Materials><Material name="m0"/><Material name="m1" cosPower="5"/></Materials>
<Shapes>
  <IndexedFaceSet name="quads">
    <Vertices><v c="0 0 0"/><v c="1 0 0"/><v c="1 1 0"/><v c="0 1 0"/><v c="0 2 0"/></Vertices>
    <Faces shaderlist="m0, m1, gone">
      <f vi="0 1 2 3 4" t0="0 0 1 0 1 1 0 1 0 2" n="0 0 1 0 0 1 0 0 1 0 0 1" ci="1"/>
      <f vi="0 1 5"/>
      <f vi="0 -1 2"/>
      <f vi="0 1"/>
      <f vi="2 3 4" ci="7"/>
      <f vi="2 3 4" ci="-2"/>
    </Faces>
  </IndexedFaceSet>
</Shapes>
<Scene><Shape name="s" ref="quads"/></Scene>)"));
    auto* shape = static_cast<Shape*>(node("s"));
    const MeshData* mesh = shape->getGeometry()->getMeshData();
    ASSERT_EQ(mesh->triangles.size(), 4u);
    // Five corners: the first four are read, giving (0,1,2) and (0,2,3); the
    // ten texture values do not match four corners, the normals do.
    const MeshTriangle& second = mesh->triangles[1];
    EXPECT_EQ(second.corners[0].position, 0u);
    EXPECT_EQ(second.corners[1].position, 2u);
    EXPECT_EQ(second.corners[2].position, 3u);
    EXPECT_EQ(second.attributes, VertexAttribute::Normal);
    EXPECT_EQ(second.material, 1);
    EXPECT_EQ(mesh->triangles[2].material, 0);
    EXPECT_EQ(mesh->triangles[3].material, 0);
    EXPECT_EQ(log.count("Warning: IndexedFaceSet quads, 3 faces with missing or out of range "
                        "vertex indices dropped\n"),
              1u);
    EXPECT_EQ(log.count("2 faces with a material index outside the shader list"), 1u);
    EXPECT_EQ(log.count("Warning: Shader gone not found.\n"), 1u);
    EXPECT_EQ(shape->getNumMaterials(), 2u);
}

TEST_F(I3DTest, SkinBindsToNamedNodesAndZeroesForeignBones) {
    ASSERT_TRUE(load(R"(
<Shapes>
  <IndexedFaceSet name="skin">
    <Vertices><v c="0 0 0"/><v c="1 0 0"/><v c="0 1 0"/></Vertices>
    <Faces><f vi="0 1 2"/></Faces>
    <SkinWeights>
      <cv w="1" bi="0"/>
      <cv w="0.25 0.75" bi="0 1"/>
      <cv w="0.5 0.5" bi="1 9"/>
      <cv w="1" bi="0"/>
    </SkinWeights>
  </IndexedFaceSet>
</Shapes>
<Scene>
  <TransformGroup name="root"><TransformGroup name="arm"/></TransformGroup>
  <Shape name="bound" ref="skin" skinBindNodes="root arm"/>
  <Shape name="unbound" ref="skin" skinBindNodes="root hand"/>
</Scene>)"));
    auto* bound = static_cast<Shape*>(node("bound"));
    ASSERT_EQ(bound->getBones().size(), 2u);
    EXPECT_EQ(bound->getBones()[1], node("root/arm"));
    EXPECT_NE(bound->getShapeFlags() & Shape::kSkinned, 0u);
    const MeshData* mesh = bound->getGeometry()->getMeshData();
    EXPECT_FLOAT_EQ(mesh->skinWeights[1][1], 0.75f);
    // Bone 9 is past the two bind nodes: its weight is 0, the index 0.
    EXPECT_FLOAT_EQ(mesh->skinWeights[2][0], 0.5f);
    EXPECT_FLOAT_EQ(mesh->skinWeights[2][1], 0.0f);
    EXPECT_EQ(mesh->boneIndices[2][1], 0);
    EXPECT_EQ(log.count("Warning: IndexedFaceSet skin, 1 skin weights beyond the vertex count"),
              1u);

    auto* unbound = static_cast<Shape*>(node("unbound"));
    EXPECT_TRUE(unbound->getBones().empty());
    EXPECT_EQ(unbound->getShapeFlags() & Shape::kSkinned, 0u);
}

TEST_F(I3DTest, UserAttributesOfEveryTypeAndOnCreateInFileOrder) {
    ASSERT_TRUE(load(R"(
<Scene>
  <TransformGroup name="door" userAttrId="7"/>
  <TransformGroup name="lamp"/>
</Scene>
<UserAttributes>
  <UserAttribute id="7">
    <Attribute name="locked" type="boolean" value="true"/>
    <Attribute name="open" type="boolean" value="TRUE"/>
    <Attribute name="count" type="integer" value="-12"/>
    <Attribute name="speed" type="float" value="2.5"/>
    <Attribute name="label" type="string" value="front door"/>
    <Attribute name="onCreate" type="scriptCallback" value="doorCreated"/>
  </UserAttribute>
  <UserAttribute name="lamp">
    <Attribute name="onCreate" type="scriptCallback" value="lampCreated"/>
  </UserAttribute>
  <UserAttribute name="nobody"><Attribute name="x" type="integer" value="1"/></UserAttribute>
</UserAttributes>)"));
    TransformGroup* door = node("door");
    EXPECT_TRUE(door->getUserAttribute("locked")->boolValue);
    EXPECT_FALSE(door->getUserAttribute("open")->boolValue);
    EXPECT_EQ(door->getUserAttribute("count")->intValue, -12);
    EXPECT_FLOAT_EQ(door->getUserAttribute("speed")->floatValue, 2.5f);
    EXPECT_EQ(door->getUserAttribute("label")->stringValue, "front door");
    EXPECT_EQ(door->getUserAttribute("onCreate")->stringValue, "doorCreated");
    ASSERT_EQ(result.onCreate.size(), 2u);
    EXPECT_EQ(result.onCreate[0].nodeId, door->getId());
    EXPECT_EQ(result.onCreate[0].function, "doorCreated");
    EXPECT_EQ(result.onCreate[1].nodeId, node("lamp")->getId());
    EXPECT_EQ(log.count("node nobody not found"), 1u);
}

TEST_F(I3DTest, EqualMaterialElementsShareOneMaterial) {
    ASSERT_TRUE(load(R"(
<Files><File name="tex" filename="stone.png"/></Files>
<Materials>
  <Material name="a" cosPower="8" specularColor="1 1 1"><Texture file="tex" wrap="false"/></Material>
  <Material name="b" cosPower="8" specularColor="1 1 1"><Texture file="tex" wrap="false"/></Material>
  <Material name="c" cosPower="8" specularColor="1 1 1"><Texture file="tex"/></Material>
</Materials>
<Shapes>
  <IndexedFaceSet name="quad">
    <Vertices><v c="0 0 0"/><v c="1 0 0"/><v c="1 1 0"/></Vertices>
    <Faces shaderlist="a,b,c"><f vi="0 1 2" ci="0"/></Faces>
  </IndexedFaceSet>
</Shapes>
<Scene><Shape name="s" ref="quad"/></Scene>)"));
    auto* shape = static_cast<Shape*>(node("s"));
    ASSERT_EQ(shape->getNumMaterials(), 3u);
    EXPECT_EQ(shape->getMaterial(0), shape->getMaterial(1));
    EXPECT_NE(shape->getMaterial(0), shape->getMaterial(2));
    auto* material = static_cast<Material*>(shape->getMaterial(0));
    EXPECT_EQ(material->getDesc().albedoMap.file, "stone.png");
    EXPECT_FALSE(material->getDesc().albedoMap.wrap);
    EXPECT_FLOAT_EQ(material->getDesc().cosPower, 8.0f);
    EXPECT_EQ(MaterialLibrary::count(), 2u);
    result.root.reset();
    EXPECT_EQ(MaterialLibrary::count(), 0u);
}

TEST_F(I3DTest, SizesThatBecomeAllocationsAreCapped) {
    ASSERT_TRUE(load(R"(
<Materials>
  <Material name="m"><Reflectionmap resolution="1000000"/><DepthBlendmap resolution="-4"/></Material>
</Materials>
<Shapes><IndexedFaceSet name="q"><Vertices><v c="0 0 0"/></Vertices></IndexedFaceSet></Shapes>
<Scene>
  <Light name="l" type="spot" castShadowMap="true" depthMapResolution="99999999"/>
  <Light name="z" type="spot" castShadowMap="true" depthMapResolution="0"/>
  <Shape name="s" ref="q"/>
</Scene>)"));
    auto* light = static_cast<LightSource*>(node("l"));
    EXPECT_EQ(light->getSettings().depthMapResolution, I3DLimits::kMaxResolution);
    EXPECT_EQ(log.count("Light l, depthMapResolution 99999999 is outside 1..8192, using 8192\n"),
              1u);
    EXPECT_EQ(log.count("Material m, resolution 1000000 is outside"), 1u);
    // A size of 0 or less is the default.
    EXPECT_EQ(static_cast<LightSource*>(node("z"))->getSettings().depthMapResolution, 512);
    EXPECT_EQ(log.count("Material m, resolution -4 is not above 0, using the default 512\n"), 1u);
}

TEST_F(I3DTest, NodesNestedTooDeepAreNotMade) {
    std::string open, close;
    for (size_t i = 0; i < I3DLimits::kMaxNodeDepth + 10; ++i) {
        open += "<TransformGroup name=\"n" + std::to_string(i) + "\">";
        close += "</TransformGroup>";
    }
    ASSERT_TRUE(load("<Scene>" + open + close + "<TransformGroup name=\"after\"/></Scene>"));
    size_t depth = 0;
    for (Node* at = result.root.get(); at->getNumChildren() > 0; at = at->getChildAt(0)) {
        ++depth;
    }
    EXPECT_EQ(depth, I3DLimits::kMaxNodeDepth);
    EXPECT_NE(node("after"), nullptr);
    EXPECT_EQ(log.count("are not made"), 1u);
}

TEST_F(I3DTest, NurbsCurvesBecomeSplineShapes) {
    ASSERT_TRUE(load(R"(
<Shapes>
  <NurbsCurve name="path" form="open"><cv c="0 0 0"/><cv c="10 0 0"/><cv c="10 0 10"/></NurbsCurve>
</Shapes>
<Scene><Shape name="track" ref="path"/></Scene>)"));
    auto* spline = getShapeSpline(*static_cast<Shape*>(node("track")));
    ASSERT_NE(spline, nullptr);
    EXPECT_FALSE(spline->isClosed());
    EXPECT_EQ(spline->getNumPoints(), 3u);
}

}  // namespace

namespace {

// File entries resolve against the scene's folder; more "../" than folders
// stop at the empty base instead of reaching above it.
TEST_F(I3DTest, FileEntriesResolveAgainstTheSceneFolder) {
    struct Case {
        const char* attributes;
        const char* path;
    };
    const Case cases[] = {
        {R"(filename="a.png")", "levels/one/a.png"},
        {R"(filename="../a.png")", "levels/a.png"},
        {R"(filename="..\shared\b.png")", "levels/shared/b.png"},
        {R"(filename="../../../../c.png")", "c.png"},
        {R"(filename="fixed/d.png" relativePath="false")", "fixed/d.png"},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(load(std::string("<Files><File name=\"f\" ") + c.attributes +
                             R"(/></Files>
<Materials><Material name="m"><Texture file="f"/></Material></Materials>
<Shapes><IndexedFaceSet name="q"><Vertices><v c="0 0 0"/></Vertices><Faces shaderlist="m"/></IndexedFaceSet></Shapes>
<Scene><Shape name="s" ref="q"/></Scene>)",
                         "levels/one/scene.i3d"))
            << c.attributes;
        auto* material = static_cast<Material*>(static_cast<Shape*>(node("s"))->getMaterial(0));
        EXPECT_EQ(material->getDesc().albedoMap.file, c.path) << c.attributes;
    }
}

}  // namespace

namespace {

// The alpha-test cutoff: within (0, 1]; absent, zero, negative or unreadable
// values leave the material without alpha testing, as older files load.
TEST_F(I3DTest, AlphaTestCutoffOfMaterials) {
    struct Case {
        const char* attributes;
        float cutoff;
    };
    const Case cases[] = {
        {"", 0.0f},
        {R"(alphaTest="0.5")", 0.5f},
        {R"(alphaTest="0.25" alphaBlending="true")", 0.25f},
        {R"(alphaTest="3")", 1.0f},
        {R"(alphaTest="0")", 0.0f},
        {R"(alphaTest="-0.5")", 0.0f},
        {R"(alphaTest="nan")", 0.0f},
        {R"(alphaTest="leaves")", 0.0f},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(load(std::string(R"(<Materials><Material name="m" )") + c.attributes +
                         R"(/></Materials>
<Shapes><IndexedFaceSet name="q"><Vertices><v c="0 0 0"/></Vertices><Faces shaderlist="m"/></IndexedFaceSet></Shapes>
<Scene><Shape name="s" ref="q"/></Scene>)"))
            << c.attributes;
        auto* material = static_cast<Material*>(static_cast<Shape*>(node("s"))->getMaterial(0));
        EXPECT_FLOAT_EQ(material->getDesc().alphaTestCutoff, c.cutoff) << c.attributes;
    }
}

}  // namespace
