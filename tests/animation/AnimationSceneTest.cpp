#include <gtest/gtest.h>

#include "I3DTestUtil.h"
#include "animation/AnimationSceneHandler.h"
#include "animation/CharacterSet.h"
#include "scene/Clone.h"

namespace {

class AnimationSceneTest : public I3DTest {
protected:
    void SetUp() override {
        I3DTest::SetUp();
        handler.install();
    }
    void TearDown() override {
        handler.uninstall();
        I3DTest::TearDown();
    }
    AnimationSceneHandler handler;
};

// Two clips list their nodes in different orders and one leaves a node out;
// a track names a node the scene lacks.
const char* const kScene = R"(<Scene>
  <TransformGroup name="body" translation="0 1 0">
    <TransformGroup name="arm" translation="2 0 0"/>
  </TransformGroup>
</Scene>
<Animation><CharacterSets>
  <CharacterSet name="robot">
    <Clip name="wave" duration="1000">
      <Keyframes node="arm">
        <Keyframe time="0" rotation="0 0 0" iprout="linear"/>
        <Keyframe time="1000" rotation="0 90 0" iprin="linear"/>
      </Keyframes>
      <Keyframes node="ghost"><Keyframe time="0" translation="1 0 0"/></Keyframes>
      <Keyframes node="body">
        <Keyframe time="0" translation="0 1 0" iptout="linear"/>
        <Keyframe time="1000" translation="0 3 0"/>
      </Keyframes>
    </Clip>
    <Clip name="hop" duration="500">
      <Keyframes node="body"><Keyframe time="0" translation="0 9 0"/></Keyframes>
    </Clip>
  </CharacterSet>
</CharacterSets></Animation>)";

TEST_F(AnimationSceneTest, SceneFileMakesABoundSetThatClonesShare) {
    ASSERT_TRUE(load(kScene));
    EXPECT_NE(log.text().find("CharacterSet robot: skipped transform group ghost not found\n"),
              std::string::npos);
    TransformGroup* body = node("body");
    TransformGroup* arm = node("body/arm");
    ASSERT_NE(body->getAnimation(), nullptr);
    auto* set = static_cast<CharacterSet*>(body->getAnimation());
    EXPECT_EQ(arm->getAnimation(), set);
    ASSERT_TRUE(set->isBound());
    ASSERT_EQ(set->getBoundTransforms().size(), 2u);
    EXPECT_EQ(set->getBoundTransforms()[0], arm);
    EXPECT_EQ(set->getNumClips(), 2u);
    EXPECT_EQ(set->getClipIndex("hop"), 1);
    EXPECT_FLOAT_EQ(set->getClip(1)->getDuration(), 500.0f);

    // Tracks pair by node: "hop" moves the body and leaves the arm alone.
    set->assignClip(0, 1);
    set->setEnabled(0, true);
    set->update(10.0);
    EXPECT_EQ(body->getTranslation(), Vector3(0, 9, 0));
    EXPECT_EQ(arm->getTranslation(), Vector3(2, 0, 0));

    // "wave" at 250 ms: both leave their first keyframe on a straight line.
    set->assignClip(0, 0);
    set->setTime(0, 250.0f);
    set->update(10.0);
    EXPECT_FLOAT_EQ(body->getTranslation().y, 1.5f);
    EXPECT_NEAR(arm->getRotation().y, 0.25f * 3.14159265f / 2.0f, 1e-5f);

    // A clone shares the clips and rests where the original rests, though
    // it was copied from an animated pose.
    std::unique_ptr<TransformGroup> copy = cloneSubtree(*result.root);
    ASSERT_TRUE(copy);
    auto* copyBody = static_cast<TransformGroup*>(copy->getChildren()[0]);
    auto* copySet = static_cast<CharacterSet*>(copyBody->getAnimation());
    ASSERT_NE(copySet, nullptr);
    EXPECT_NE(copySet, set);
    EXPECT_EQ(&copySet->getSource(), &set->getSource());
    EXPECT_EQ(copySet->getBoundTransforms()[1], copyBody);
    copySet->setEnabled(0, false);
    copySet->update(10.0);
    copySet->update(20.0);
    EXPECT_EQ(copyBody->getTranslation(), Vector3(0, 1, 0));
    EXPECT_FLOAT_EQ(body->getTranslation().y, 1.5f);

    // Deleting the scenes ends both sets.
    copy.reset();
    result.root.reset();
    EXPECT_TRUE(CharacterSet::all().empty());
}

TEST_F(AnimationSceneTest, CloningPartOfTheAnimatedNodesIsRefused) {
    ASSERT_TRUE(load(kScene));
    std::unique_ptr<TransformGroup> armCopy = cloneSubtree(*node("body/arm"));
    ASSERT_TRUE(armCopy);
    EXPECT_EQ(armCopy->getAnimation(), nullptr);
    EXPECT_NE(log.text().find("CharacterSet cloning failed. Not all transforms have been cloned: "
                              "robot\n"),
              std::string::npos);
    EXPECT_EQ(CharacterSet::all().size(), 1u);
}

TEST_F(AnimationSceneTest, SetWithoutAnimatedNodesIsNotMade) {
    ASSERT_TRUE(load(R"(<Scene><TransformGroup name="a"/></Scene>
<Animation><CharacterSets><CharacterSet name="empty">
  <Clip name="none" duration="100"><Keyframes node="missing"/></Clip>
</CharacterSet></CharacterSets></Animation>)"));
    EXPECT_NE(log.text().find("Warning: CharacterSet empty animates no transform group\n"),
              std::string::npos);
    EXPECT_EQ(node("a")->getAnimation(), nullptr);
    EXPECT_TRUE(CharacterSet::all().empty());
}

}  // namespace
