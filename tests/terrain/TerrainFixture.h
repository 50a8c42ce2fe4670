#pragma once
// A data folder made by each test: heightmaps, weight maps and detail maps
// written as PNG files, read back through the file system. Textures are
// entered without device objects, so the terrain runs without a GPU.

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "CapturingLogSink.h"
#include "HostTextureLoader.h"
#include "PngMaker.h"
#include "TestSupport.h"
#include "foundation/File.h"
#include "foundation/ResourceManager.h"

namespace terraintest {

using testsupport::HostTextureLoader;

class TerrainFixture : public ::testing::Test {
protected:
    void SetUp() override {
        FileSystem::addFileLoader(std::make_unique<NativeFileLoader>(m_dir.path(), 10));
        ResourceManager::instance().registerLoader(std::make_unique<HostTextureLoader>());
    }
    void TearDown() override { FileSystem::clearFileLoaders(); }

    // A 16-bit grey heightmap of width x height with heights from `height`
    // (column, row), first row at the top.
    void writeHeightmap16(const std::string& name, uint32_t width, uint32_t height,
                          const std::function<uint16_t(uint32_t, uint32_t)>& value) {
        std::string rows;
        rows.reserve(size_t(width) * height * 2);
        for (uint32_t row = 0; row < height; ++row) {
            for (uint32_t col = 0; col < width; ++col) {
                const uint16_t v = value(col, row);
                rows += static_cast<char>(v >> 8);
                rows += static_cast<char>(v & 0xFF);
            }
        }
        testsupport::writeFile(m_dir / name, testpng::makePng(width, height, 16, 0, rows));
    }

    // An 8-bit image with `channels` channels (1 grey, 3 RGB) from `value`
    // (column, row, channel).
    void writeImage8(const std::string& name, uint32_t width, uint32_t height, int channels,
                     const std::function<uint8_t(uint32_t, uint32_t, int)>& value) {
        std::string rows;
        for (uint32_t row = 0; row < height; ++row) {
            for (uint32_t col = 0; col < width; ++col) {
                for (int c = 0; c < channels; ++c) {
                    rows += static_cast<char>(value(col, row, c));
                }
            }
        }
        testsupport::writeFile(m_dir / name,
                               testpng::makePng(width, height, 8, channels == 1 ? 0 : 2, rows));
    }

    testsupport::TempDir m_dir;
};

}  // namespace terraintest
