#include "I3DTestUtil.h"
#include "render/material/Material.h"
#include "scene/Shape.h"

namespace {

TEST(MaterialTest, FresnelReflectanceFromTheRefractiveIndex) {
    struct Case {
        float index;
        float r0;
    };
    for (Case c : {Case{1.33f, 0.02006f}, Case{-1.0f, 0.0f}, Case{1.0f, 0.0f}}) {
        MaterialDesc desc;
        desc.refractiveIndex = c.index;
        RefPtr<Material> material = MaterialLibrary::get(desc);
        EXPECT_NEAR(material->getFresnelR0(), c.r0, 1e-4f) << c.index;
    }
    EXPECT_EQ(MaterialLibrary::count(), 0u);
}

TEST_F(I3DTest, CustomTexturesAndParametersKeepTheirLimits) {
    std::string maps;
    for (int i = 0; i < 7; ++i) {
        maps += "<Custommap name=\"map" + std::to_string(i) + "\" texture=\"t\"/>";
    }
    maps += "<Custommap name=\"" + std::string(64, 'x') + "\" texture=\"t\"/>";
    for (int i = 0; i < 11; ++i) {
        maps += "<CustomParameter name=\"p" + std::to_string(i) + "\" value=\"1 2 3 4\"/>";
    }
    maps += "<CustomParameter name=\"noValue\"/>";
    ASSERT_TRUE(load(R"(<Files><File name="t" filename="t.png"/></Files>
<Materials><Material name="m">)" +
                     maps + R"(</Material></Materials>
<Shapes><IndexedFaceSet name="q"><Vertices><v c="0 0 0"/></Vertices><Faces shaderlist="m"/></IndexedFaceSet></Shapes>
<Scene><Shape name="s" ref="q"/></Scene>)"));
    auto* material = static_cast<Material*>(static_cast<Shape*>(node("s"))->getMaterial(0));
    EXPECT_EQ(material->getDesc().customTextures.size(), 6u);
    EXPECT_EQ(material->getDesc().customParameters.size(), 10u);
    EXPECT_EQ(material->getDesc().customParameters[3].value[3], 4.0f);
    EXPECT_EQ(log.count("Error: too many custom textures! Maximal 6allowed.\n"), 2u);
    EXPECT_EQ(log.count("Error: too many custom parameters! Maximal 10allowed.\n"), 1u);

    MaterialDesc desc;
    EXPECT_FALSE(desc.addCustomTexture(std::string(64, 'y'), {}));
    EXPECT_TRUE(desc.addCustomTexture(std::string(63, 'y'), {}));
    EXPECT_EQ(log.count("Error: too long custom texture name '" + std::string(64, 'y') +
                        "'! Maximal 64allowed.\n"),
              1u);
}

const char* kCustomShader = R"(<CustomShader>
  <LodLevel startDistance="0">
    <Textures><Texture name="dirt"/><Texture name="absent"/></Textures>
    <Parameters>
      <Parameter name="tint" target="In.custom.tint"/>
      <Parameter name="unset" target="In.custom.unset"/>
    </Parameters>
    <CodeInjections>
      <CodeInjection position="FS_ALBEDO">albedo *= In.custom.tint;</CodeInjection>
    </CodeInjections>
  </LodLevel>
  <LodLevel startDistance="50">
    <Parameters><Parameter name="tint" target="In.custom.farTint"/></Parameters>
  </LodLevel>
  <LodLevel startDistance="20"/>
</CustomShader>)";

TEST_F(I3DTest, CustomShaderFilesGiveLevelsToTheirMaterials) {
    testsupport::makeDirs(dir / "shaders");
    testsupport::writeFile(dir / "shaders/dirt.xml", kCustomShader);
    testsupport::writeFile(dir / "shaders/late.xml",
                           "<CustomShader><LodLevel startDistance=\"10\"/></CustomShader>");
    ASSERT_TRUE(load(R"(
<Files>
  <File name="shader" filename="shaders/dirt.xml"/>
  <File name="late" filename="shaders/late.xml"/>
  <File name="broken" filename="shaders/none.xml"/>
  <File name="t" filename="dirt.png"/>
</Files>
<Materials>
  <Material name="m" customShader="shader">
    <Custommap name="dirt" texture="t"/>
    <CustomParameter name="tint" value="0.5 0.25 1 1"/>
  </Material>
  <Material name="late" customShader="late"/>
  <Material name="broken" customShader="broken"/>
</Materials>
<Shapes><IndexedFaceSet name="q"><Vertices><v c="0 0 0"/></Vertices><Faces shaderlist="m,late,broken"/></IndexedFaceSet></Shapes>
<Scene><Shape name="s" ref="q"/></Scene>)"));
    auto* shape = static_cast<Shape*>(node("s"));
    auto* material = static_cast<Material*>(shape->getMaterial(0));
    CustomShader* shader = material->getCustomShader();
    ASSERT_NE(shader, nullptr);
    EXPECT_EQ(log.count("Error: CustomShader, lod distances have to be sorted\n"), 1u);
    // The level at 20 comes after the one at 50 and is dropped.
    ASSERT_EQ(shader->getLodLevels().size(), 2u);
    const CustomShader::LodLevel& first = shader->getLodLevels()[0];
    ASSERT_EQ(first.codeInjections.size(), 1u);
    EXPECT_EQ(first.codeInjections[0].position, "FS_ALBEDO");
    EXPECT_EQ(first.codeInjections[0].code, "albedo *= In.custom.tint;");
    EXPECT_EQ(first.parameters[1].target, "In.custom.unset");
    EXPECT_EQ(material->getLodLevel(-1.0f), -1);
    EXPECT_EQ(material->getLodLevel(55.0f), 1);
    EXPECT_EQ(material->getLodLevel(30.0f), 0);

    // The builder's view: the registered index and each level's define set.
    ASSERT_GE(shader->getIndex(), 1);
    EXPECT_EQ(CustomShaderRegistry::getShader(shader->getIndex()), shader);
    const std::string* defines =
        CustomShaderRegistry::getLodDefines(shader->getIndex(), first.defineIndex);
    ASSERT_NE(defines, nullptr);
    EXPECT_EQ(*defines, "#define CUSTOM_SHADER_LOD_LEVEL 0\n");

    // Level data matched by name: textures found or none, values or zero.
    const Material::LodLevelData& level = material->getLodLevelData()[0];
    ASSERT_EQ(level.textures.size(), 2u);
    EXPECT_EQ(level.textures[1], nullptr);
    EXPECT_EQ(level.parameterValues[0], (std::array<float, 4>{0.5f, 0.25f, 1, 1}));
    EXPECT_EQ(level.parameterValues[1], (std::array<float, 4>{0, 0, 0, 0}));
    EXPECT_TRUE(material->setCustomParameter("tint", {2, 2, 2, 2}));
    EXPECT_EQ(material->getLodLevelData()[1].parameterValues[0][0], 2.0f);
    EXPECT_FALSE(material->setCustomParameter("unknown", {1, 1, 1, 1}));

    // A first level that does not start at 0 is preceded by an empty one
    // from 0, so that no distance is without a level.
    CustomShader* late = static_cast<Material*>(shape->getMaterial(1))->getCustomShader();
    ASSERT_EQ(late->getLodLevels().size(), 2u);
    EXPECT_FLOAT_EQ(late->getLodLevels()[0].startDistance, 0.0f);
    EXPECT_FLOAT_EQ(late->getLodLevels()[1].startDistance, 10.0f);
    EXPECT_EQ(late->getLodLevel(5.0f), 0);
    EXPECT_TRUE(late->getLodLevels()[0].parameters.empty());
    EXPECT_TRUE(
        static_cast<Material*>(shape->getMaterial(2))->getCustomShader()->getLodLevels().empty());

    const int32_t index = shader->getIndex();
    result.root.reset();
    EXPECT_EQ(CustomShaderLibrary::find("shaders/dirt.xml"), nullptr);
    EXPECT_EQ(CustomShaderRegistry::getShader(index), nullptr);
}

}  // namespace
