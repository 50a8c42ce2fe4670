#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "CapturingLogSink.h"
#include "animation/CharacterSet.h"
#include "scene/TransformGroup.h"

namespace {

constexpr float kPi = 3.14159265358979323846f;

Keyframe key(float time, uint32_t attributes) {
    Keyframe k;
    k.time = time;
    k.attributes = attributes;
    return k;
}

Keyframe moveKey(float time, float x, uint32_t easeOut = 0) {
    Keyframe k = key(time, KeyframeAttribute::Translation);
    k.translation = {x, 0, 0};
    k.easeOut = easeOut;
    return k;
}

// A clip of `duration` ms whose tracks hold the given keyframes, one track
// per entry.
std::unique_ptr<Clip> makeClip(const std::string& name, float duration,
                               const std::vector<std::vector<Keyframe>>& tracks) {
    auto clip = std::make_unique<Clip>(name, duration);
    for (const std::vector<Keyframe>& keys : tracks) {
        KeyframeTrack& track = clip->addTrack();
        for (const Keyframe& k : keys) {
            track.addKeyframe(k);
        }
        track.finish();
    }
    return clip;
}

// Owns the groups (as a scene would) and one set bound to them; the groups
// hold the set.
struct Rig {
    explicit Rig(size_t groups = 1) {
        for (size_t i = 0; i < groups; ++i) {
            nodes.push_back(std::make_unique<TransformGroup>("bone" + std::to_string(i)));
        }
        set = new CharacterSet("rig");
    }
    // A bound set dies with its groups; one never bound has no holder.
    ~Rig() {
        if (set != nullptr && set->getRefCount() == 0) {
            delete set;
        }
    }
    bool bind() {
        std::vector<Node*> list;
        for (auto& node : nodes) {
            list.push_back(node.get());
        }
        return set->bind(list);
    }
    // Plays track `track` with clip 0 at `time` and applies one update.
    void play(int track, float time, bool loop = false, float weight = 1.0f) {
        set->assignClip(track, 0);
        set->setEnabled(track, true);
        set->setTime(track, time);
        set->setLoop(track, loop);
        set->setBlendWeight(track, weight);
        set->setSpeedScale(track, 0.0f);
        set->update(now += 16.0);
    }
    float x(size_t i = 0) { return nodes[i]->getTranslation().x; }

    std::vector<std::unique_ptr<TransformGroup>> nodes;
    CharacterSet* set;
    double now = 0.0;
};

TEST(KeyframeTrack, RefusesKeyframesOutOfOrderOrWithOtherAttributes) {
    testsupport::ScopedLogCapture log;
    KeyframeTrack track;
    EXPECT_TRUE(track.addKeyframe(moveKey(0, 0)));
    EXPECT_TRUE(track.addKeyframe(moveKey(100, 1)));
    EXPECT_FALSE(track.addKeyframe(moveKey(100, 2)));
    EXPECT_EQ(log.count("Error: Can't add keyframe. Time is not strictly monotonic increasing\n"),
              1u);
    EXPECT_FALSE(track.addKeyframe(key(200, KeyframeAttribute::Rotation)));
    EXPECT_EQ(log.count("Error: Can't add keyframe. Keyframe controls not the same attributes.\n"),
              1u);
    EXPECT_FALSE(track.addKeyframe(moveKey(NAN, 2)));
    EXPECT_EQ(track.size(), 2u);
    EXPECT_EQ(track.getAttributes(), KeyframeAttribute::Translation);
}

// The lookup table must find the same keyframes as a plain search, at and
// between irregularly spaced keyframes, up to just below the last one.
TEST(KeyframeTrack, LookupFindsTheSurroundingKeyframes) {
    KeyframeTrack track;
    std::vector<float> times;
    float t = 0.0f;
    for (int i = 0; i < 150; ++i) {
        times.push_back(t);
        track.addKeyframe(moveKey(t, static_cast<float>(i)));
        t += (i % 7 == 0) ? 90.0f : 1.5f;  // clusters and gaps
    }
    track.finish();
    std::vector<float> probes = {times[1], times.back() - 0.001f,
                                 std::nextafter(times.back(), 0.0f)};
    for (float x = 0.25f; x < times.back(); x += 3.7f) {
        probes.push_back(x);
    }
    for (size_t i = 0; i < times.size(); ++i) {
        probes.push_back(times[i]);
    }
    for (float x : probes) {
        KeyframeSample sample;
        ASSERT_TRUE(track.evaluate(x, sample));
        size_t next = 0;
        while (next + 1 < times.size() && times[next] < x) {
            ++next;
        }
        if (x <= times.front()) {
            EXPECT_EQ(sample.next, &track.getKeyframe(0)) << x;
            continue;
        }
        // At a keyframe's own time either neighbour pair gives its value.
        EXPECT_NEAR(sample.translation().x,
                    track.getKeyframe(next - 1).translation.x +
                        (track.getKeyframe(next).translation.x -
                         track.getKeyframe(next - 1).translation.x) *
                            (x - times[next - 1]) / (times[next] - times[next - 1]),
                    1e-3f)
            << x;
    }
}

// Keyframes at 0 and 1000 ms moving 0 -> 10.
TEST(CharacterSet, EvaluatesEasingLoopingAndClipTime) {
    struct Case {
        const char* what;
        float duration;
        float time;
        bool loop;
        uint32_t easeOut;
        float x;
    };
    const Case cases[] = {
        {"linear at 250 ms", 1000, 250, false, 0, 2.5f},
        {"eased out of the previous keyframe", 1000, 250, false, 1, 1.5625f},
        {"ease-out of another channel", 1000, 250, false, 2, 2.5f},
        {"looping at 2500 ms plays 500 ms", 1000, 2500, true, 0, 5.0f},
        {"not looping holds the end", 1000, 2500, false, 0, 10.0f},
        {"negative times wrap when looping", 1000, -250, true, 0, 7.5f},
        {"zero duration plays at 0", 0, 700, true, 0, 0.0f},
        {"negative duration plays at 0", -5, 700, false, 0, 0.0f},
    };
    for (const Case& c : cases) {
        Rig rig;
        rig.set->getSource().addClip(
            makeClip("move", c.duration, {{moveKey(0, 0, c.easeOut), moveKey(1000, 10)}}));
        ASSERT_TRUE(rig.bind());
        rig.play(0, c.time, c.loop);
        EXPECT_FLOAT_EQ(rig.x(), c.x) << c.what;
        EXPECT_FALSE(std::isnan(rig.nodes[0]->getTranslation().x)) << c.what;
    }
}

TEST(CharacterSet, TracksAddOverTheRestPoseByWeight) {
    Rig rig;
    rig.nodes[0]->setTranslation({1, 0, 0});  // the rest pose
    rig.set->getSource().addClip(makeClip("move", 1000, {{moveKey(0, 1), moveKey(1000, 3)}}));
    ASSERT_TRUE(rig.bind());

    rig.play(0, 1000);  // +2
    EXPECT_FLOAT_EQ(rig.x(), 3.0f);
    rig.play(1, 1000);  // +2 more
    EXPECT_FLOAT_EQ(rig.x(), 5.0f);
    rig.play(1, 1000, false, 0.5f);  // +1
    EXPECT_FLOAT_EQ(rig.x(), 4.0f);

    // All off: back to rest on the next update, then left alone.
    rig.set->setEnabled(0, false);
    rig.set->clearClip(1);
    rig.set->update(rig.now += 16);
    EXPECT_FLOAT_EQ(rig.x(), 1.0f);
    rig.nodes[0]->setTranslation({7, 0, 0});
    rig.set->update(rig.now += 16);
    EXPECT_FLOAT_EQ(rig.x(), 7.0f);
}

TEST(CharacterSet, RotationTakesTheShorterArc) {
    Rig rig;
    Keyframe from = key(0, KeyframeAttribute::Rotation);
    from.rotation = {3.0f, 0, -3.0f};
    Keyframe to = key(1000, KeyframeAttribute::Rotation);
    to.rotation = {-3.0f, 0, 3.0f};
    rig.set->getSource().addClip(makeClip("turn", 1000, {{from, to}}));
    ASSERT_TRUE(rig.bind());
    rig.play(0, 500);
    Vector3 r = rig.nodes[0]->getRotation();
    // Half way passes through +-pi, not through 0.
    EXPECT_NEAR(std::fabs(std::sin(r.x)), 0.0f, 1e-4f);
    EXPECT_NEAR(std::cos(r.x), -1.0f, 1e-4f);
    EXPECT_NEAR(std::cos(r.z), -1.0f, 1e-4f);
}

TEST(CharacterSet, TimeAdvancesBySpeedAndVisibilityFollowsHeavyTracks) {
    Rig rig(2);
    Keyframe hidden = key(0, KeyframeAttribute::Visibility);
    hidden.visibility = false;
    const Keyframe shown = key(500, KeyframeAttribute::Visibility);
    // Group 1's track is empty: it is skipped and the group stays at rest.
    rig.set->getSource().addClip(makeClip("blink", 1000, {{hidden, shown}, {}}));
    ASSERT_TRUE(rig.bind());
    rig.set->assignClip(0, 0);
    rig.set->setEnabled(0, true);
    rig.set->setSpeedScale(0, 2.0f);
    rig.set->update(1000.0);  // first update: no time passes
    EXPECT_FLOAT_EQ(rig.set->getTrack(0).time, 0.0f);
    EXPECT_FALSE(rig.nodes[0]->getVisibility());
    rig.set->update(1100.0);
    EXPECT_FLOAT_EQ(rig.set->getTrack(0).time, 200.0f);
    rig.set->setTime(0, 600.0f);
    rig.set->update(1100.0);
    EXPECT_TRUE(rig.nodes[0]->getVisibility());
    // A light track does not decide visibility.
    rig.set->setTime(0, 0.0f);
    rig.set->setBlendWeight(0, 0.5f);
    rig.set->update(1100.0);
    EXPECT_TRUE(rig.nodes[0]->getVisibility());
    EXPECT_TRUE(rig.nodes[1]->getVisibility());
    EXPECT_EQ(rig.nodes[1]->getTranslation(), Vector3(0, 0, 0));
}

TEST(CharacterSet, IndicesAndNumbersFromScriptsAreChecked) {
    testsupport::ScopedLogCapture log;
    Rig rig;
    rig.set->getSource().addClip(makeClip("move", 1000, {{moveKey(0, 0), moveKey(1000, 10)}}));
    ASSERT_TRUE(rig.bind());
    EXPECT_FALSE(rig.set->assignClip(4, 0));
    EXPECT_FALSE(rig.set->assignClip(-1, 0));
    EXPECT_FALSE(rig.set->assignClip(0, 1));
    EXPECT_FALSE(rig.set->setEnabled(9, true));
    EXPECT_FALSE(rig.set->setTime(0, NAN));
    EXPECT_FALSE(rig.set->setSpeedScale(0, INFINITY));
    EXPECT_FALSE(rig.set->setBlendWeight(0, NAN));
    EXPECT_EQ(rig.set->getTrack(0).clip, -1);
    EXPECT_EQ(rig.set->getTrack(0).time, 0.0f);
    EXPECT_EQ(log.count("Warning: "), 7u) << log.text();
    EXPECT_NE(log.text().find("assignAnimTrackClip, rig: track 4 does not exist"),
              std::string::npos);
    EXPECT_EQ(rig.set->getClip(1), nullptr);
    EXPECT_EQ(rig.set->getClipIndex("move"), 0);
    EXPECT_EQ(rig.set->getClipIndex("jump"), -1);
}

TEST(CharacterSet, BindingChecksEverythingBeforeChangingAnything) {
    testsupport::ScopedLogCapture log;
    Rig rig(2);
    rig.set->getSource().addClip(makeClip("move", 1000, {{moveKey(0, 0)}, {moveKey(0, 0)}}));
    ASSERT_TRUE(rig.bind());
    EXPECT_EQ(rig.set->getRefCount(), 2);

    // Not a transform group: logged by name, the old binding stays.
    Node plain("lamp");
    EXPECT_FALSE(rig.set->bind({rig.nodes[0].get(), &plain}));
    EXPECT_NE(log.text().find("CharacterSet binding failed: lamp\n"), std::string::npos);
    EXPECT_TRUE(rig.set->isBound());
    EXPECT_EQ(rig.set->getBoundTransforms().size(), 2u);

    // More groups than the clips have tracks.
    TransformGroup third("bone2");
    EXPECT_FALSE(rig.set->bind({rig.nodes[0].get(), rig.nodes[1].get(), &third}));
    EXPECT_NE(log.text().find("CharacterSet clip failure. All clips must contain the same number "
                              "of transformations.\n"),
              std::string::npos);
    EXPECT_EQ(third.getAnimation(), nullptr);

    // Rebinding to the same groups keeps the set alive.
    ASSERT_TRUE(rig.bind());
    EXPECT_EQ(rig.set->getRefCount(), 2);
    EXPECT_EQ(rig.nodes[1]->getAnimation(), rig.set);
}

TEST(CharacterSet, GroupsLeavingTheSetAreNotTouchedAgain) {
    Rig rig(2);
    rig.set->getSource().addClip(makeClip("move", 1000, {{moveKey(0, 5)}, {moveKey(0, 5)}}));
    ASSERT_TRUE(rig.bind());
    CharacterSet* set = rig.set;

    // A destroyed group leaves an empty slot; the rest still animates.
    rig.nodes[1].reset();
    EXPECT_EQ(set->getBoundTransforms()[1], nullptr);
    EXPECT_EQ(set->getRefCount(), 1);
    rig.play(0, 0);
    EXPECT_FLOAT_EQ(rig.x(0), 5.0f);

    // A group taken over by another set leaves this one, which dies with
    // its last holder.
    int deleted = 0;
    struct Watch : ActionListener {
        int* count;
        void actionPerformed(void*, int kind, int32_t, int32_t) override {
            *count += kind == entityDestroyedEventKind();
        }
    } watch;
    watch.count = &deleted;
    set->addDeleteListener(&watch);
    auto* other = new CharacterSet("other");
    ASSERT_TRUE(other->bind({rig.nodes[0].get()}));
    EXPECT_EQ(deleted, 1);
    rig.set = nullptr;
    EXPECT_EQ(rig.nodes[0]->getAnimation(), other);
    EXPECT_EQ(CharacterSet::all().size(), 1u);
}

TEST(CharacterSet, StatsTextListsTransformsAndClips) {
    Rig rig(7);
    std::vector<std::vector<Keyframe>> tracks(7, std::vector<Keyframe>{moveKey(0, 1)});
    rig.set->getSource().addClip(makeClip("walk", 1000, tracks));
    rig.set->getSource().addClip(makeClip("run", 500, tracks));
    ASSERT_TRUE(rig.bind());
    rig.set->nextClip();
    rig.set->nextClip();
    EXPECT_EQ(rig.set->getActiveClip(), 1);
    EXPECT_EQ(rig.set->getStatsText(),
              "rig (active2/2)\n Transforms: bone0, bone1, bone2, bone3, bone4, bone5,\n bone6\n"
              " Clips: walk (1000 ms), run (500 ms)\n");
    rig.set->nextClip();
    EXPECT_EQ(rig.set->getActiveClip(), 0);
}

}  // namespace
