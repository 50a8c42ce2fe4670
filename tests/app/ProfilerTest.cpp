#include <gtest/gtest.h>

#include "CapturingLogSink.h"
#include "TestSupport.h"
#include "app/Profiler.h"
#include "app/StatsOverlay.h"
#include "effects/ParticleSystem.h"
#include "foundation/File.h"
#include "foundation/Log.h"

namespace {

class ProfilerTest : public ::testing::Test {
protected:
    void SetUp() override {
        profiler.reset();
        profiler.requestEnable();
        Log::get().addSink(&log);
    }
    void TearDown() override {
        Log::get().removeSink(&log);
        profiler.reset();
        FileSystem::clearFileLoaders();
    }
    Profiler& profiler = Profiler::get();
    testsupport::CapturingLogSink log;
};

std::vector<std::string> splitRows(const std::string& text) {
    std::vector<std::string> rows;
    size_t start = 0;
    size_t end;
    while ((end = text.find('\n', start)) != std::string::npos) {
        rows.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return rows;
}

const char kUpdate[] = "Update";
const char kRender[] = "Render";

TEST_F(ProfilerTest, SectionsByAddressTreeAndFlatTexts) {
    static const char otherUpdate[] = "Update";  // same text, other address
    profiler.frameStart(1);
    profiler.enterSection(kUpdate);
    profiler.enterSection(kRender);
    profiler.leaveSection();
    profiler.leaveSection();
    profiler.enterSection(kUpdate);  // second leave in the frame
    profiler.leaveSection();
    profiler.enterSection(otherUpdate);
    profiler.leaveSection();
    profiler.frameEnd();

    EXPECT_EQ(profiler.getTreeText(), "profiler_root\n  Update\n    Render\n  Update\n");
    const auto& root = profiler.getRoot();
    ASSERT_EQ(root.children.size(), 2u);
    EXPECT_EQ(root.children[0]->frameCount, 2);
    EXPECT_EQ(root.children[1]->frameCount, 1);
    // One row per section: "%5d   %8.0f   %3.0f\n".
    std::string flat = profiler.getFlatText();
    EXPECT_EQ(std::count(flat.begin(), flat.end(), '\n'), 4);
    EXPECT_EQ(flat.substr(0, 5), "    1");
    EXPECT_EQ(flat.substr(flat.find('\n') + 1, 5), "    2");

    std::string labels = ProfilerStats::labelsText();
    EXPECT_EQ(labels.rfind("Profiler stats\n\nLabels\nprofiler_root\n", 0), 0u);
    EXPECT_EQ(ProfilerStats::tableText().rfind("\n\n\ncount  microsecs     %%\n", 0), 0u);
}

TEST_F(ProfilerTest, WrongNestingDisablesProfiling) {
    profiler.frameStart(1);
    profiler.enterSection(kUpdate);
    profiler.frameEnd();
    EXPECT_EQ(log.text(),
              "Error: ProfilerManager wrong ENTER_SECTION/LEAVE_SECTION nesting. Check MACROS.\n");
    EXPECT_FALSE(profiler.isEnabled());
    profiler.frameStart(2);  // no new enable request: stays off
    EXPECT_FALSE(profiler.isEnabled());
}

TEST_F(ProfilerTest, CsvWithAndWithoutHistory) {
    profiler.frameStart(1);
    profiler.enterSection(kUpdate);
    profiler.leaveSection();
    profiler.frameEnd();
    std::string csv = profiler.buildCsv();
    EXPECT_EQ(csv.rfind("1;2;3;4;5;6;;total count;total microsecs;% hier.\n"
                        "profiler_root;;;;;;;1;",
                        0),
              0u)
        << csv;
    EXPECT_NE(csv.find("\n;Update;;;;;;1;"), std::string::npos) << csv;
    // Without history: header, rows and the frame line, no frame rows.
    EXPECT_EQ(csv.substr(csv.size() - 29), "\nframe;profiler_root;Update;\n");

    profiler.requestHistory(true);
    for (int frame = 2; frame <= 4; ++frame) {
        profiler.frameStart(frame);
        profiler.enterSection(kUpdate);
        profiler.leaveSection();
        if (frame == 3) {
            profiler.enterSection(kRender);  // appears in frame 3 only
            profiler.leaveSection();
        }
        profiler.frameEnd();
    }
    csv = profiler.buildCsv();
    size_t frames = csv.find("frame;profiler_root;Update;Render;\n");
    ASSERT_NE(frames, std::string::npos) << csv;
    std::vector<std::string> rows = splitRows(csv.substr(frames));
    ASSERT_EQ(rows.size(), 4u) << csv;
    EXPECT_EQ(rows[1].rfind("2;", 0), 0u);
    EXPECT_EQ(rows[3].rfind("4;", 0), 0u);
    // Render's history ends in frame 3: nothing after its ";" in frame 4,
    // and it recorded nothing in frame 2.
    EXPECT_EQ(rows[3].back(), ';') << rows[3];
    EXPECT_EQ(rows[1].substr(rows[1].rfind(';')), ";0") << rows[1];

    testsupport::TempDir dir;
    FileSystem::addFileLoader(std::make_unique<NativeFileLoader>(dir.path(), 10));
    profiler.requestSave();
    profiler.frameStart(5);
    EXPECT_EQ(testsupport::readFile(dir / "profiler.csv").substr(0, 10), "1;2;3;4;5;");
    EXPECT_NE(log.text().find("Saved profile results to: profiler.csv\n"), std::string::npos);
}

TEST(StatsOverlayList, CyclesThroughTheStateWithoutAPage) {
    StatsOverlayList list;
    for (int i = 0; i < 5; ++i) {
        list.add(std::make_unique<ProfilerStats>());
    }
    EXPECT_EQ(list.getSelected(), nullptr);
    for (int i = 0; i < 5; ++i) {
        list.next();
        EXPECT_NE(list.getSelected(), nullptr);
    }
    list.next();
    EXPECT_EQ(list.getSelectedIndex(), 0);
    EXPECT_EQ(list.getSelected(), nullptr);
}

TEST(StatsOverlayList, EffectsPageListsEveryLiveParticleSystem) {
    auto mesh = std::make_unique<MeshData>();
    mesh->positions = {{0, 0, 0}, {0, 0, 1}, {1, 0, 0}};
    mesh->triangles.resize(1);
    for (uint32_t c = 0; c < 3; ++c) {
        mesh->triangles[0].corners[c].position = c;
    }
    RefPtr<Geometry> emitter(new IndexedFaceSetGeometry("emitter", std::move(mesh), 0));
    ParticleSystemDesc desc;
    desc.maxCount = 7;
    RefPtr<ParticleSystem> first = ParticleSystem::create(desc, emitter.get(), {});
    desc.maxCount = 9;
    RefPtr<ParticleSystem> second = ParticleSystem::create(desc, emitter.get(), {});
    std::string text = EffectsStats::text();
    EXPECT_EQ(text.rfind("Effects stats\n\n", 0), 0u) << text;
    EXPECT_NE(text.find("Particles: 0/7 "), std::string::npos) << text;
    EXPECT_NE(text.find("Particles: 0/9 "), std::string::npos) << text;
    second.reset();
    EXPECT_EQ(EffectsStats::text().find("Particles: 0/9 "), std::string::npos);
}

}  // namespace
