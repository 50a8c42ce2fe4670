// The scene classes and functions as scripts see them.

#include <cmath>

#include "ScriptApiFixture.h"
#include "TestSupport.h"
#include "foundation/File.h"
#include "render/material/Material.h"
#include "scene/Camera.h"
#include "scene/LightSource.h"
#include "scene/Shape.h"
#include "scene/SplineGeometry.h"

namespace scriptapitest {
namespace {

using SceneFunctionsTest = ScriptApiTest;

TEST_F(SceneFunctionsTest, LinkMovesNodesAndChildLookupIsExact) {
    run("a = createTransformGroup('a'); b = createTransformGroup('wheel'); c = "
        "createTransformGroup('c')\n"
        "link(a, b); parentAfterFirst = getParent(b)\n"
        "link(c, b); parentAfterMove = getParent(b)\n"
        "childrenOfA = getNumOfChildren(a); childrenOfC = getNumOfChildren(c)\n"
        "exact = getChild(c, 'wheel'); wrongCase = getChild(c, 'Wheel')\n"
        "first = getChildAt(c, 0); beyond = getChildAt(c, 1); negative = getChildAt(c, -1)\n"
        "unlinkedParent = getParent(a)");
    EXPECT_EQ(number("parentAfterFirst"), number("a"));
    EXPECT_EQ(number("parentAfterMove"), number("c"));
    EXPECT_EQ(number("childrenOfA"), 0);
    EXPECT_EQ(number("childrenOfC"), 1);
    EXPECT_EQ(number("exact"), number("b"));
    EXPECT_EQ(number("wrongCase"), 0);
    EXPECT_EQ(number("first"), number("b"));
    EXPECT_TRUE(isNil("beyond"));
    EXPECT_TRUE(isNil("negative"));
    EXPECT_TRUE(isNil("unlinkedParent"));
    run("delete(a); delete(c)");
}

TEST_F(SceneFunctionsTest, RemoveChildAtLeavesNoLinkToTheOldParent) {
    run("p = createTransformGroup('p'); k = createTransformGroup('k'); link(p, k)\n"
        "removeChildAt(p, 0); left = getNumOfChildren(p); parentOfK = getParent(k)\n"
        "delete(p)\n"
        "kName = getName(k); delete(k)");
    EXPECT_EQ(number("left"), 0);
    EXPECT_TRUE(isNil("parentOfK"));
    EXPECT_EQ(text("kName"), "k");
}

TEST_F(SceneFunctionsTest, UserAttributesKeepTheirTypes) {
    run("n = createTransformGroup('n')\n"
        "setUserAttribute(n, 'count', 'Integer', 2.9)\n"
        "setUserAttribute(n, 'neg', 'Integer', -2.9)\n"
        "setUserAttribute(n, 'f', 'Float', 0.5)\n"
        "setUserAttribute(n, 's', 'String', 'text')\n"
        "setUserAttribute(n, 'b', 'Boolean', true)\n"
        "setUserAttribute(n, 'x', 'integer', 4)\n"
        "setUserAttribute(n, 'count', 'Integer', 'seven')\n"
        "count = getUserAttribute(n, 'count'); neg = getUserAttribute(n, 'neg')\n"
        "f = getUserAttribute(n, 'f'); s = getUserAttribute(n, 's')\n"
        "b = getUserAttribute(n, 'b'); x = getUserAttribute(n, 'x')\n"
        "isTrue = (b == true)\n"
        "delete(n)");
    EXPECT_EQ(number("count"), 2);
    EXPECT_EQ(number("neg"), -2);
    EXPECT_EQ(number("f"), 0.5);
    EXPECT_EQ(text("s"), "text");
    EXPECT_EQ(text("isTrue"), "true");
    EXPECT_TRUE(isNil("x"));
}

TEST_F(SceneFunctionsTest, CloneLinksBesideTheSourceOnlyWhenItHasAParent) {
    run("g = createTransformGroup('g'); link(root, g); setTranslation(g, 1, 2, 3)\n"
        "before = getNumOfChildren(root)\n"
        "linked = clone(g, true); afterLinked = getNumOfChildren(root)\n"
        "rootCopy = clone(root, true); afterRoot = getNumOfChildren(root)\n"
        "rootCopyParent = getParent(rootCopy); rootCopyChildren = getNumOfChildren(rootCopy)\n"
        "cx, cy, cz = getTranslation(linked)\n"
        "delete(rootCopy)");
    EXPECT_EQ(number("afterLinked"), number("before") + 1);
    EXPECT_EQ(number("afterRoot"), number("afterLinked"));
    EXPECT_TRUE(isNil("rootCopyParent"));
    EXPECT_EQ(number("rootCopyChildren"), number("afterLinked"));
    EXPECT_EQ(number("cz"), 3);
}

TEST_F(SceneFunctionsTest, MethodsAreFoundOnlyForTheirClasses) {
    LightSource::Settings settings;
    settings.type = LightSource::Point;
    auto* lamp = new LightSource("lamp", settings);
    root_->addChild(lamp);
    run("lamp = " + std::to_string(lamp->getId()) +
        "\n"
        "g = createTransformGroup('g'); setLightRange(g, 5); groupRange = getLightRange(g)\n"
        "setLightRange(lamp, 5); lampRange = getLightRange(lamp)\n"
        "setLightDiffuseColor(lamp, 0.5, 0.25, 1); dr, dg, db = getLightDiffuseColor(lamp)\n"
        "setTranslation(lamp, 4, 0, 0); lx = getTranslation(lamp)\n"
        "className = getClassName(lamp); groupClass = getClassName(g)\n"
        "delete(g)");
    EXPECT_TRUE(isNil("groupRange"));
    EXPECT_EQ(number("lampRange"), 5);
    EXPECT_EQ(lamp->getRange(), 5);
    EXPECT_EQ(number("dg"), 0.25);
    EXPECT_EQ(number("lx"), 4);
    EXPECT_EQ(text("className"), "Light");
    EXPECT_EQ(text("groupClass"), "TransformGroup");
}

TEST_F(SceneFunctionsTest, TransformsBetweenLocalAndWorld) {
    run("p = createTransformGroup('p'); c = createTransformGroup('c'); link(p, c)\n"
        "setTranslation(p, 10, 0, 0); setRotation(p, 0, math.pi / 2, 0); setScale(p, 2, 2, 2)\n"
        "wx, wy, wz = localToWorld(c, 1, 0, 0)\n"
        "bx, by, bz = worldToLocal(c, wx, wy, wz)\n"
        "dx, dy, dz = localDirectionToWorld(c, 1, 0, 0)\n"
        "tx, ty, tz = getWorldTranslation(c)\n"
        "rx, ry, rz = getWorldRotation(c)\n"
        "delete(p)");
    EXPECT_NEAR(number("wx"), 10, 1e-4);
    EXPECT_NEAR(number("wz"), -2, 1e-4);
    EXPECT_NEAR(number("bx"), 1, 1e-4);
    EXPECT_NEAR(number("bz"), 0, 1e-4);
    EXPECT_NEAR(number("dz"), -2, 1e-4);
    EXPECT_NEAR(number("tx"), 10, 1e-4);
    EXPECT_NEAR(number("ry"), M_PI / 2, 1e-3);  // the scale does not disturb it
}

TEST_F(SceneFunctionsTest, RootCameraAndProjection) {
    context_->viewportWidth = 800;
    context_->viewportHeight = 600;
    run("noCamera = getCamera()\n"
        "cam = createCamera('cam', 60, 1, 100); link(root, cam); setCamera(cam)\n"
        "active = getCamera(); r = getRootNode()\n"
        "sx, sy, sz = project(0, 0, -10)\n"
        "ux, uy, uz = unProject(sx, sy, sz)\n"
        "setRootNode(cam); newRoot = getRootNode(); setRootNode(root)\n"
        "setCamera(root); stillActive = getCamera()");
    EXPECT_TRUE(isNil("noCamera"));
    EXPECT_EQ(number("active"), number("cam"));
    EXPECT_EQ(number("r"), root_->getId());
    EXPECT_NEAR(number("sx"), 0.5, 1e-5);
    EXPECT_NEAR(number("sy"), 0.5, 1e-5);
    EXPECT_NEAR(number("uz"), -10, 1e-3);
    EXPECT_EQ(number("newRoot"), number("cam"));
    EXPECT_EQ(number("stillActive"), number("cam"));  // a plain group is no camera
    run("delete(cam); afterDelete = getCamera()");
    EXPECT_TRUE(isNil("afterDelete"));
}

TEST_F(SceneFunctionsTest, SplineFunctions) {
    auto* curve = new Shape("curve");
    curve->setGeometry(new SplineGeometry(
        "spline", {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {3, 0, 0}, {4, 0, 0}}, false));
    root_->addChild(curve);
    curve->setTranslation({0, 5, 0});
    run("curve = " + std::to_string(curve->getId()) +
        "\n"
        "g = createTransformGroup('g')\n"
        "length = getSplineLength(curve); groupLength = getSplineLength(g)\n"
        "ax, ay = getSplinePosition(curve, 1.25); bx = getSplinePosition(curve, 0.25)\n"
        "cx = getSplinePosition(curve, -0.5); dx = getSplinePosition(curve, 0.5)\n"
        "groupPosition = getSplinePosition(g, 0.5)\n"
        "ox, oy, oz = getSplineOrientation(curve, 0.5, 0, 1, 0)\n"
        "delete(g)");
    EXPECT_GT(number("length"), 0);
    EXPECT_TRUE(isNil("groupLength"));  // no shape: nothing
    EXPECT_EQ(number("ax"), number("bx"));
    EXPECT_EQ(number("ay"), 5);
    EXPECT_EQ(number("cx"), number("dx"));
    EXPECT_TRUE(isNil("groupPosition"));
    EXPECT_NEAR(number("oy"), M_PI / 2, 1e-3);  // the curve runs along +x
}

TEST_F(SceneFunctionsTest, FogAndAmbientGoToTheSceneSettings) {
    run("setFog('exp2', 0.1, 0.2, 0.3, 0.4, 0.5)\n"
        "setVolumeFog('linear', 1, 2, 3, 0.6, 0.7, 0.8)\n"
        "setAmbientColor(0.1, 0.2, 0.3)");
    const SceneEnvironment& env = context_->environment;
    EXPECT_EQ(env.fog.mode, 3);
    EXPECT_FLOAT_EQ(env.fog.parameters[1], 0.2f);
    EXPECT_FLOAT_EQ(env.fog.color[0], 0.3f);
    EXPECT_FLOAT_EQ(env.fog.color[2], 0.5f);
    EXPECT_EQ(env.fog.color[3], 0.0f);
    EXPECT_EQ(env.volumeFog.mode, 1);
    EXPECT_FLOAT_EQ(env.volumeFog.parameters[2], 3.0f);
    EXPECT_FLOAT_EQ(env.volumeFog.color[2], 0.8f);
    EXPECT_FLOAT_EQ(env.ambientColor.z, 0.3f);
    run("setFog('LINEAR', 1, 2, 0, 0, 0)");
    EXPECT_EQ(env.fog.mode, 0);
}

TEST_F(SceneFunctionsTest, TheEngineRootAndItsHoldersAreNotDeleted) {
    run("holder = createTransformGroup('holder')");
    TransformGroup* holder =
        static_cast<TransformGroup*>(EntityRegistry::find(static_cast<int32_t>(number("holder"))));
    holder->addChild(root_.get());
    run("delete(holder); delete(root)");
    EXPECT_EQ(EntityRegistry::find(root_->getId()), root_.get());
    EXPECT_EQ(EntityRegistry::find(holder->getId()), holder);
    root_->unlink();
    run("delete(holder)");
    EXPECT_EQ(EntityRegistry::find(static_cast<int32_t>(number("holder"))), nullptr);
}

// Scripts load scenes: the onCreate functions run during the call, in file
// order, with their node ids; a failed load returns 0; setShaderParameter
// reaches the shape's materials.
TEST_F(SceneFunctionsTest, LoadI3DFileRunsOnCreateAndSetsShaderParameters) {
    testsupport::TempDir dir;
    FileSystem::addFileLoader(std::make_unique<NativeFileLoader>(dir.path(), 0));
    testsupport::writeFile(dir / "scene.i3d", R"(<i3D name="s" version="1.5">
<Materials><Material name="m"><CustomParameter name="tint" value="1 1 1 1"/></Material></Materials>
<Shapes><IndexedFaceSet name="q"><Vertices><v c="0 0 0"/></Vertices><Faces shaderlist="m"/></IndexedFaceSet></Shapes>
<Scene><Shape name="wall" ref="q"/><TransformGroup name="door"/></Scene>
<UserAttributes>
  <UserAttribute name="door"><Attribute name="onCreate" type="scriptCallback" value="made"/></UserAttribute>
  <UserAttribute name="wall"><Attribute name="onCreate" type="scriptCallback" value="made"/></UserAttribute>
</UserAttributes></i3D>)");
    run("order = ''\n"
        "function made(id) order = order .. getName(id) .. ',' end\n"
        "scene = loadI3DFile('scene.i3d'); missing = loadI3DFile('none.i3d')\n"
        "wall = getChild(scene, 'wall')\n"
        "setShaderParameter(wall, 'tint', 0.5, 0.25, 0, 1)");
    EXPECT_EQ(text("order"), "door,wall,");
    EXPECT_EQ(number("missing"), 0);
    auto* wall = dynamic_cast<Shape*>(EntityRegistry::find(static_cast<int32_t>(number("wall"))));
    ASSERT_NE(wall, nullptr);
    auto* material = static_cast<Material*>(wall->getMaterial(0));
    EXPECT_EQ(material->getCustomParameters().at(0).value,
              (std::array<float, 4>{0.5f, 0.25f, 0, 1}));
    run("delete(scene)");
    FileSystem::clearFileLoaders();
}

}  // namespace
}  // namespace scriptapitest
