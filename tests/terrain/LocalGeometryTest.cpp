// The cell window around the camera: immediate builds in the band, one
// deferred build per update, ageing, scrolling, jumps and rebuild marks.

#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <utility>

#include "CapturingLogSink.h"
#include "terrain/LocalGeometryTransformGroup.h"

namespace {

using testsupport::ScopedLogCapture;

// Cells that hold nothing but their build count.
class CountingGroup : public LocalGeometryTransformGroup {
public:
    explicit CountingGroup(float cellSize) : LocalGeometryTransformGroup("cells") {
        setCellSize(cellSize);
    }
    ~CountingGroup() override { destroyLevels(); }

    int builds = 0;
    int releases = 0;
    std::set<std::pair<int32_t, int32_t>> built;

protected:
    bool buildCell(LocalGeometryShape& shape) override {
        ++builds;
        built.insert({shape.cellX, shape.cellZ});
        countBuiltCell();
        return true;
    }
    void releaseCell(LocalGeometryShape& shape) override {
        ++releases;
        built.erase({shape.cellX, shape.cellZ});
    }
    std::unique_ptr<LocalGeometryShape> createCellShape(const std::string& name, int) override {
        return std::make_unique<LocalGeometryShape>(name);
    }
};

TEST(LocalGeometry, LevelsMustGrowAndWindowsStayBounded) {
    CountingGroup group(10.0f);
    ASSERT_TRUE(group.addLevel(25.0f, 0.0f));
    // side = 2 x 25 / 10 + 4 = 9
    EXPECT_EQ(group.getWindowSide(0), 9);
    EXPECT_EQ(group.getNumChildren(), 81u);
    {
        ScopedLogCapture log;
        EXPECT_FALSE(group.addLevel(20.0f, 0.0f));
        EXPECT_NE(
            log.text().find("Error: detail levels must be added in increasing farDistance order"),
            std::string::npos);
    }
    // A huge view distance is clamped to the largest window.
    ScopedLogCapture log;
    ASSERT_TRUE(group.addLevel(1.0e9f, 0.0f));
    EXPECT_EQ(group.getWindowSide(1), LocalGeometryTransformGroup::kMaxWindowSide);
    EXPECT_NE(log.text().find("clamped"), std::string::npos);
}

TEST(LocalGeometry, BandCellsBuildAtOnceOthersOneByOne) {
    CountingGroup group(10.0f);
    ASSERT_TRUE(group.addLevel(25.0f, 0.0f));
    group.updateLocal({0.0f, 0.0f, 0.0f}, 0.0f);
    // Cell centres closer than 25 to the origin: the cells from -3 to 2
    // whose centre (x + 0.5) * 10 lies within the circle.
    int inBand = 0;
    for (int z = -4; z <= 3; ++z) {
        for (int x = -4; x <= 3; ++x) {
            const float dx = (float(x) + 0.5f) * 10.0f;
            const float dz = (float(z) + 0.5f) * 10.0f;
            inBand += dx * dx + dz * dz < 625.0f ? 1 : 0;
        }
    }
    EXPECT_EQ(group.builds, inBand);
    EXPECT_EQ(group.getBuiltCellsLastUpdate(), uint32_t(inBand));
    const size_t pending = group.getNumPendingCells(0);
    EXPECT_GT(pending, 0u);
    // Standing still: one deferred build per elapsed interval, not more.
    group.updateLocal({0.0f, 0.0f, 0.0f}, 150.0f);
    EXPECT_EQ(group.builds, inBand);
    group.updateLocal({0.0f, 0.0f, 0.0f}, 100.0f);
    EXPECT_EQ(group.builds, inBand + 1);
    EXPECT_EQ(group.getNumPendingCells(0), pending - 1);
    group.updateLocal({0.0f, 0.0f, 0.0f}, 1000.0f);
    EXPECT_EQ(group.builds, inBand + 2);
    // Active cells in range keep age 0 and are never released.
    for (int i = 0; i < 10; ++i) {
        group.updateLocal({0.0f, 0.0f, 0.0f}, 500.0f);
    }
    EXPECT_EQ(group.releases, 0);
}

TEST(LocalGeometry, MovingCameraScrollsTheRingAndAgesCells) {
    CountingGroup group(10.0f);
    ASSERT_TRUE(group.addLevel(25.0f, 0.0f));
    group.updateLocal({0.0f, 0.0f, 0.0f}, 0.0f);
    ASSERT_NE(group.findCell(0, 0, 0), nullptr);
    // Walk 100 units along x at 20 units/s in 50 ms frames.
    for (int frame = 1; frame <= 100; ++frame) {
        group.updateLocal({float(frame), 0.0f, 0.0f}, 50.0f);
        EXPECT_LE(group.getBuiltCellsLastUpdate(), 9u) << frame;
    }
    // The window followed: the old cells left it, the new ones are built.
    EXPECT_EQ(group.findCell(0, -3, 0), nullptr);
    ASSERT_NE(group.findCell(0, 10, 0), nullptr);
    EXPECT_TRUE(group.findCell(0, 10, 0)->active);
    EXPECT_TRUE(group.built.count({10, 0}) == 1);
    EXPECT_GT(group.releases, 0);
    // Every built cell is still in the window.
    for (const auto& cell : group.built) {
        EXPECT_NE(group.findCell(0, cell.first, cell.second), nullptr);
    }
}

TEST(LocalGeometry, CellsOutOfRangeAreReleasedAfterTwoSeconds) {
    CountingGroup group(10.0f);
    ASSERT_TRUE(group.addLevel(15.0f, 0.0f));
    group.updateLocal({0.0f, 0.0f, 0.0f}, 0.0f);
    LocalGeometryShape* cell = group.findCell(0, -1, 0);
    ASSERT_NE(cell, nullptr);
    ASSERT_TRUE(cell->active);
    // 30 units along +x: cell -1 (centre -5) is 35 away, beyond the reach
    // of 25, and still inside the 7-cell window (cells -1..5).
    group.updateLocal({30.0f, 0.0f, 0.0f}, 0.0f);
    ASSERT_EQ(group.findCell(0, -1, 0), cell);
    group.updateLocal({30.0f, 0.0f, 0.0f}, 1500.0f);
    EXPECT_TRUE(cell->active);
    EXPECT_FALSE(cell->getVisibility());
    group.updateLocal({30.0f, 0.0f, 0.0f}, 1000.0f);
    group.updateLocal({30.0f, 0.0f, 0.0f}, 10.0f);
    EXPECT_FALSE(cell->active);
    EXPECT_EQ(group.built.count({-1, 0}), 0u);
}

TEST(LocalGeometry, JumpsReassignEverySlotAndBadPositionsAreIgnored) {
    CountingGroup group(10.0f);
    ASSERT_TRUE(group.addLevel(25.0f, 0.0f));
    group.updateLocal({0.0f, 0.0f, 0.0f}, 0.0f);
    const int first = group.builds;
    group.updateLocal({NAN, 0.0f, 0.0f}, 10.0f);
    group.updateLocal({INFINITY, 0.0f, 0.0f}, 10.0f);
    EXPECT_EQ(group.builds, first);
    EXPECT_EQ(group.releases, 0);
    // A jump far away: every old cell released, the same band built there
    // (plus at most one deferred build).
    group.updateLocal({5000.0f, 0.0f, 5000.0f}, 10.0f);
    EXPECT_EQ(group.releases, first);
    EXPECT_GE(group.builds, 2 * first);
    EXPECT_LE(group.builds, 2 * first + 1);
    for (const auto& cell : group.built) {
        EXPECT_GT(cell.first, 490);
        EXPECT_GT(cell.second, 490);
    }
}

TEST(LocalGeometry, MarkedCellsAreRebuilt) {
    CountingGroup group(10.0f);
    ASSERT_TRUE(group.addLevel(25.0f, 0.0f));
    group.updateLocal({0.0f, 0.0f, 0.0f}, 0.0f);
    const int first = group.builds;
    // Immediate: the next update builds the 2 x 2 cells again.
    group.markCellsForRebuild(-1, -1, 0, 0, true);
    group.updateLocal({0.0f, 0.0f, 0.0f}, 0.0f);
    EXPECT_EQ(group.builds, first + 4);
    EXPECT_EQ(group.releases, 4);
    // Deferred: queued, built one per interval.
    group.markCellsForRebuild(0, 0, 0, 0, false);
    EXPECT_TRUE(group.findCell(0, 0, 0)->pending);
    EXPECT_TRUE(group.findCell(0, 0, 0)->active);
    group.updateLocal({0.0f, 0.0f, 0.0f}, 0.0f);
    EXPECT_EQ(group.builds, first + 4);
    group.updateLocal({0.0f, 0.0f, 0.0f}, 300.0f);
    EXPECT_EQ(group.builds, first + 5);
}

}  // namespace
