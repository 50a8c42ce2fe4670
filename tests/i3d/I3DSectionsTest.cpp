#include <cmath>

#include "I3DTestUtil.h"
#include "scene/Shape.h"
#include "scene/i3d/I3DSections.h"

namespace {

// Keeps every record handed over and makes plain groups for node sections.
class RecordingHandlers : public I3DTerrainHandler,
                          public I3DDynamicsHandler,
                          public I3DPrecipitationHandler,
                          public I3DAnimationHandler,
                          public I3DAudioHandler,
                          public I3DPhysicsHandler {
public:
    RecordingHandlers() {
        I3DSectionHandlers& h = I3DSectionHandlers::get();
        h.terrain = this;
        h.dynamics = this;
        h.precipitation = this;
        h.animation = this;
        h.audio = this;
        h.physics = this;
    }
    ~RecordingHandlers() override { I3DSectionHandlers::get() = I3DSectionHandlers(); }

    std::unique_ptr<TransformGroup> createTerrain(const I3DTerrainDesc& desc) override {
        terrains.push_back(desc);
        return std::make_unique<TransformGroup>(desc.name);
    }
    std::unique_ptr<TransformGroup> createDynamic(const I3DParticleSystemDesc& system,
                                                  const std::string& nodeName) override {
        systems.push_back(system);
        return std::make_unique<TransformGroup>(nodeName);
    }
    std::unique_ptr<Shape> createPrecipitation(const I3DPrecipitationDesc& desc) override {
        precipitations.push_back(desc);
        return std::make_unique<Shape>(desc.name);
    }
    void addCharacterSet(const I3DCharacterSetDesc& desc) override {
        characterSets.push_back(desc);
    }
    std::unique_ptr<TransformGroup> createAudioSource(const I3DAudioSourceDesc& desc) override {
        audioSources.push_back(desc);
        return std::make_unique<TransformGroup>(desc.name);
    }
    void setRigidBody(RawTransformGroup& node, const I3DRigidBodyDesc& desc) override {
        bodies.emplace_back(node.getName(), desc);
    }
    void setJoint(RawTransformGroup& node, const I3DJointDesc& desc) override {
        joints.emplace_back(node.getName(), desc);
    }
    void registerSubtree(TransformGroup&) override {}

    std::vector<I3DTerrainDesc> terrains;
    std::vector<I3DParticleSystemDesc> systems;
    std::vector<I3DPrecipitationDesc> precipitations;
    std::vector<I3DCharacterSetDesc> characterSets;
    std::vector<I3DAudioSourceDesc> audioSources;
    std::vector<std::pair<std::string, I3DRigidBodyDesc>> bodies;
    std::vector<std::pair<std::string, I3DJointDesc>> joints;
};

const char* kSections = R"(
<Files>
  <File name="height" filename="terrain/height.png"/>
  <File name="rain" filename="../sounds/rain.ogg"/>
</Files>
<Materials><Material name="drop"/></Materials>
<Shapes>
  <Precipitation name="storm" dropMaterial="drop" maxNumDrops="5000000" dropMinVelocity="9" dropMaxVelocity="3"/>
</Shapes>
<Dynamics>
  <ParticleSystem name="smoke" rate="4" maxCount="100" material="nothing">
    <Gravity force="0 -9.8 0"/>
  </ParticleSystem>
</Dynamics>
<Scene>
  <TerrainTransformGroup name="land" heightMap="height" patchSize="64" translation="0 5 0">
    <Layers>
      <Layer detailMap="height" unitSize="4"/>
      <FoliageLayer name="grass" growthNumStates="1" objectMask="0x10"/>
      <DetailLayer name="rocks"/>
    </Layers>
    <TransformGroup name="notAChild"/>
  </TerrainTransformGroup>
  <Dynamic name="chimney" ref="smoke"/>
  <Dynamic name="ghost" ref="fog"/>
  <AudioSource name="ambience" file="rain" range="30"/>
  <AudioSource name="silent" file="nothing"/>
  <Shape name="weather" ref="storm"/>
  <TransformGroup name="crate" dynamic="true" density="2.5" collision="false"/>
  <TransformGroup name="hinge" joint="true" rotMaxY="45" static="true"/>
  <TransformGroup name="lodBody" lodDistance="0 10" kinematic="true"/>
  <TransformGroup name="arm"/>
</Scene>
<Animation><CharacterSets>
  <CharacterSet name="robot">
    <Clip name="wave" duration="1000">
      <Keyframes node="arm">
        <Keyframe time="0" rotation="0 90 0" iprout="linear"/>
        <Keyframe time="1000" rotation="0 0 0"/>
      </Keyframes>
      <Keyframes node="leg"><Keyframe time="0" translation="1 0 0"/></Keyframes>
      <Keyframes node="arm"><Keyframe time="0" visibility="false"/></Keyframes>
    </Clip>
  </CharacterSet>
</CharacterSets></Animation>)";

TEST_F(I3DTest, SectionsReachTheirHandlersAsDescriptions) {
    RecordingHandlers handlers;
    ASSERT_TRUE(load(kSections, "levels/one/scene.i3d"));

    ASSERT_EQ(handlers.terrains.size(), 1u);
    const I3DTerrainDesc& terrain = handlers.terrains[0];
    EXPECT_EQ(terrain.heightMap, "levels/one/terrain/height.png");
    EXPECT_EQ(terrain.patchSize.value, 64);
    ASSERT_EQ(terrain.layers.size(), 1u);
    EXPECT_FLOAT_EQ(terrain.layers[0].unitSize.value, 4.0f);
    ASSERT_EQ(terrain.foliageLayers.size(), 1u);
    EXPECT_EQ(terrain.foliageLayers[0].density.objectMask, 0x10u);
    EXPECT_EQ(log.count("Warning: growthNumStates 1 is equal to 0\n"), 1u);
    EXPECT_EQ(terrain.detailLayers.size(), 1u);
    // The terrain node takes its common attributes and accepts no node children.
    TransformGroup* land = node("land");
    ASSERT_NE(land, nullptr);
    EXPECT_FLOAT_EQ(land->getTranslation().y, 5.0f);
    EXPECT_EQ(land->getNumChildren(), 0u);
    EXPECT_EQ(node("notAChild"), nullptr);

    ASSERT_EQ(handlers.systems.size(), 1u);
    EXPECT_TRUE(handlers.systems[0].gravityForce.set);
    EXPECT_FLOAT_EQ(handlers.systems[0].gravityForce.value.y, -9.8f);
    EXPECT_EQ(log.count("Error: Material not found (nothing)\n"), 1u);
    EXPECT_NE(node("chimney"), nullptr);
    EXPECT_EQ(node("ghost"), nullptr);
    EXPECT_EQ(log.count("Warning: Dynamic ghost not found.\n"), 1u);

    ASSERT_EQ(handlers.audioSources.size(), 1u);
    EXPECT_EQ(handlers.audioSources[0].file, "levels/sounds/rain.ogg");
    EXPECT_NEAR(handlers.audioSources[0].innerRange, 9.9f, 1e-5f);
    EXPECT_EQ(node("silent"), nullptr);
    EXPECT_EQ(log.count("Warning: AudioSource silent nothing not found.\n"), 1u);

    ASSERT_EQ(handlers.precipitations.size(), 1u);
    EXPECT_NE(handlers.precipitations[0].dropMaterial, nullptr);
    EXPECT_EQ(handlers.precipitations[0].maxNumDrops.value, I3DLimits::kMaxCount);
    EXPECT_EQ(log.count("Error: dropMinVelocity is bigger than dropMaxVelocity\n"), 1u);
    EXPECT_TRUE(node("weather")->hasKind(EntityKind::Shape));

    ASSERT_EQ(handlers.bodies.size(), 3u);
    EXPECT_EQ(handlers.bodies[0].first, "crate");
    EXPECT_EQ(handlers.bodies[0].second.flags, 0x5u);
    EXPECT_FLOAT_EQ(handlers.bodies[0].second.density.value, 2.5f);
    EXPECT_FALSE(handlers.bodies[0].second.restitution.set);
    EXPECT_EQ(handlers.bodies[1].second.flags, 0x3u | 0x40u);
    EXPECT_EQ(handlers.bodies[2].second.flags, 0x9u | 0x10u | 0x40u);
    ASSERT_EQ(handlers.joints.size(), 1u);
    EXPECT_NEAR(handlers.joints[0].second.rotMax.value.y, 3.14159265f / 4, 1e-5f);
    EXPECT_NE(node("hinge")->getTransformFlags() & RawTransformGroup::kNoTransformInheritance, 0u);

    // The track of the missing node keeps its place, empty.
    ASSERT_EQ(handlers.characterSets.size(), 1u);
    const I3DClipDesc& clip = handlers.characterSets[0].clips.at(0);
    EXPECT_FLOAT_EQ(clip.duration, 1000.0f);
    ASSERT_EQ(clip.tracks.size(), 3u);
    EXPECT_EQ(clip.tracks[0].node, node("arm"));
    ASSERT_EQ(clip.tracks[0].keyframes.size(), 2u);
    EXPECT_EQ(clip.tracks[0].keyframes[0].attributes, 2u);
    EXPECT_NEAR(clip.tracks[0].keyframes[0].rotation.y, 3.14159265f / 2, 1e-5f);
    EXPECT_EQ(clip.tracks[0].keyframes[0].linearOut, 2u);
    EXPECT_EQ(clip.tracks[1].node, nullptr);
    EXPECT_TRUE(clip.tracks[1].keyframes.empty());
    EXPECT_EQ(log.count("CharacterSet robot: skipped transform group leg not found\n"), 1u);
    EXPECT_EQ(clip.tracks[2].keyframes.at(0).attributes, 8u);
    EXPECT_FALSE(clip.tracks[2].keyframes.at(0).visibility);
}

// Without handlers the file still loads: node sections become groups and
// every section says once that it was ignored.
TEST_F(I3DTest, SectionsWithoutHandlersFallBackToGroups) {
    ASSERT_TRUE(load(kSections, "levels/one/scene.i3d"));
    for (const char* name : {"land", "chimney", "ambience", "crate"}) {
        TransformGroup* made = node(name);
        ASSERT_NE(made, nullptr) << name;
        EXPECT_STREQ(made->getClassName(), "TransformGroup") << name;
    }
    EXPECT_EQ(node("weather")->hasKind(EntityKind::Shape), false);
    EXPECT_EQ(log.count("Warning: Shape weather not found. Replaced with transform group.\n"), 1u);
    for (const char* section :
         {"TerrainTransformGroup land", "Dynamic chimney", "AudioSource ambience",
          "Precipitation storm", "CharacterSet robot"}) {
        EXPECT_EQ(log.count(std::string("Warning: ") + section + " needs a subsystem"), 1u)
            << section;
    }
    EXPECT_EQ(log.count("no physics support: 4 rigid body or joint descriptions ignored\n"), 1u);
}

}  // namespace

namespace {

// A file cut anywhere fails cleanly, whatever element was half read (run
// under AddressSanitizer as part of the loader tests).
TEST_F(I3DTest, FilesCutAnywhereFailWithoutHarm) {
    RecordingHandlers handlers;
    const std::string full = std::string("<i3D name=\"cut\" version=\"1.5\">\n") + kSections + R"(
<Shapes>
  <IndexedFaceSet name="skin">
    <Vertices><v c="0 0 0"/><v c="1 0 0"/><v c="0 1 0"/></Vertices>
    <Faces shaderlist="drop"><f vi="0 1 2" ci="0"/></Faces>
    <SkinWeights><cv w="1" bi="0"/><cv w="1" bi="3"/></SkinWeights>
  </IndexedFaceSet>
  <NurbsCurve name="c"><cv c="0 0 0"/></NurbsCurve>
</Shapes>
<Scene><Shape name="s" ref="skin" skinBindNodes="arm"/><Shape name="curve" ref="c"/></Scene>
</i3D>
)";
    ASSERT_TRUE(loadRaw(full));
    // Every prefix that stops before the closing ">" of the document.
    const size_t end = full.rfind("</i3D>") + 6;
    size_t cuts = 0;
    for (size_t length = 0; length < end; length += 5, ++cuts) {
        EXPECT_FALSE(loadRaw(full.substr(0, length))) << length;
        EXPECT_EQ(result.root, nullptr);
    }
    EXPECT_EQ(log.count("Parse error at line "), cuts);
}

}  // namespace
