#include <gtest/gtest.h>

#include <cstdio>

#include "CapturingLogSink.h"
#include "TestSupport.h"
#include "app/Profiler.h"
#include "app/StatsOverlay.h"
#include "base/platform/Platform.h"
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

// Events of the trace file: name, start and duration in microseconds.
struct TraceEvent {
    std::string name;
    double ts = 0;
    double dur = 0;
};

std::vector<TraceEvent> readTraceEvents(const std::string& json) {
    std::vector<TraceEvent> events;
    const std::string marker = "{\"name\":\"";
    for (size_t at = json.find(marker); at != std::string::npos; at = json.find(marker, at + 1)) {
        size_t nameEnd = json.find('"', at + marker.size());
        TraceEvent event;
        event.name = json.substr(at + marker.size(), nameEnd - at - marker.size());
        size_t ts = json.find("\"ts\":", nameEnd);
        size_t next = json.find(marker, nameEnd);
        if (ts == std::string::npos || (next != std::string::npos && ts > next)) {
            continue;  // the metadata record
        }
        std::sscanf(json.c_str() + ts, "\"ts\":%lf,\"dur\":%lf", &event.ts, &event.dur);
        events.push_back(event);
    }
    return events;
}

TEST_F(ProfilerTest, TraceRecordsNestedSectionsAndIsWrittenWhenStopped) {
    testsupport::TempDir dir;
    FileSystem::addFileLoader(std::make_unique<NativeFileLoader>(dir.path(), 10));
    profiler.reset();  // disabled: starting the trace enables the profiler
    profiler.requestTrace(true);
    EXPECT_TRUE(profiler.isTraceRequested());
    for (int frame = 1; frame <= 2; ++frame) {
        profiler.frameStart(frame);
        profiler.enterSection(kUpdate);
        profiler.enterSection(kRender);
        platform::sleepMs(2);
        profiler.leaveSection();
        profiler.leaveSection();
        profiler.frameEnd();
    }
    EXPECT_TRUE(profiler.isTracing());
    profiler.requestTrace(false);
    profiler.frameStart(3);
    EXPECT_FALSE(profiler.isTracing());

    const std::string json = testsupport::readFile(dir / "profiler_trace.json");
    EXPECT_EQ(json.rfind("{\"displayTimeUnit\":\"ms\",\"traceEvents\":[", 0), 0u) << json;
    EXPECT_EQ(json.substr(json.size() - 4), "\n]}\n");
    const std::vector<TraceEvent> events = readTraceEvents(json);
    // Per frame, in the order the sections were left.
    ASSERT_EQ(events.size(), 6u) << json;
    const char* order[] = {"Render", "Update", "profiler_root"};
    for (size_t i = 0; i < events.size(); ++i) {
        EXPECT_EQ(events[i].name, order[i % 3]) << i;
    }
    EXPECT_EQ(events[2].ts, 0.0);
    for (size_t frame = 0; frame < 2; ++frame) {
        const TraceEvent& render = events[frame * 3];
        const TraceEvent& update = events[frame * 3 + 1];
        const TraceEvent& root = events[frame * 3 + 2];
        EXPECT_GE(render.dur, 1500.0);
        // Children lie inside their parents.
        EXPECT_GE(render.ts, update.ts);
        EXPECT_LE(render.ts + render.dur, update.ts + update.dur + 0.2);
        EXPECT_GE(update.ts, root.ts);
        EXPECT_LE(update.ts + update.dur, root.ts + root.dur + 0.2);
    }
    EXPECT_GT(events[5].ts, events[2].ts + events[2].dur - 0.2);
    EXPECT_NE(log.text().find("Saved profile trace (6 sections) to: profiler_trace.json\n"),
              std::string::npos);
}

TEST_F(ProfilerTest, TraceStopsRecordingWhenFullAndIsWrittenAtFinish) {
    testsupport::TempDir dir;
    FileSystem::addFileLoader(std::make_unique<NativeFileLoader>(dir.path(), 10));
    profiler.requestTrace(true);
    profiler.frameStart(1);
    for (size_t i = 0; i < Profiler::kMaxTraceEvents + 5; ++i) {
        profiler.enterSection(kUpdate);
        profiler.leaveSection();
    }
    profiler.frameEnd();
    EXPECT_EQ(log.count("Warning: profiler trace is full"), 1u);
    profiler.finishTrace();
    EXPECT_FALSE(profiler.isTracing());
    EXPECT_NE(log.text().find("Saved profile trace (" + std::to_string(Profiler::kMaxTraceEvents) +
                              " sections)"),
              std::string::npos);
    EXPECT_TRUE(testsupport::fileExists(dir / "profiler_trace.json"));
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
