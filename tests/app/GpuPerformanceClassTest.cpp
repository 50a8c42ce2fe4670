#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "InProcessStartup.h"
#include "LogText.h"
#include "TestSupport.h"
#include "app/EngineApplication.h"
#include "app/GpuPerformanceClass.h"
#include "app/Startup.h"
#include "foundation/File.h"
#include "foundation/Log.h"
#include "foundation/XMLConfigFile.h"
#include "terrain/TerrainSettings.h"

namespace {

class GpuClassTest : public ::testing::Test {
protected:
    void SetUp() override {
        FileSystem::addFileLoader(std::make_unique<NativeFileLoader>(dir.path(), 10));
    }
    void TearDown() override { FileSystem::clearFileLoaders(); }

    // A reference file with the given vendor elements.
    std::string reference(const std::string& vendors) {
        testsupport::writeFile(dir / "reference.xml", "<performanceReference><gpus>" + vendors +
                                                          "</gpus></performanceReference>");
        return "reference.xml";
    }

    testsupport::TempDir dir;
};

TEST_F(GpuClassTest, ReferenceListMatching) {
    const std::string geForce = R"(<vendor name="NVIDIA"><gpu id="GeForce 8" profile="high"/>)"
                                R"(<gpu id="8800" profile="very high"/></vendor>)";
    struct Case {
        const char* label;
        std::string vendors;
        const char* renderer;
        int detected;
    };
    const Case cases[] = {
        {"model number", R"(<vendor name="N"><gpu id="8800" profile="very high"/></vendor>)",
         "GeForce 8800 GTX", gpuclass::VeryHigh},
        {"first match wins", geForce, "GeForce 8800 GTX", gpuclass::High},
        {"both sides lowered", R"(<vendor name="N"><gpu id="GEFORCE" profile="LOW"/></vendor>)",
         "geforce 8800 gtx", gpuclass::Low},
        {"vendor without name ends the search",
         R"(<vendor><gpu id="x" profile="low"/></vendor>)"
         R"(<vendor name="N"><gpu id="8800" profile="high"/></vendor>)",
         "GeForce 8800", gpuclass::Medium},
        {"gpu without profile ends only its vendor",
         R"(<vendor name="A"><gpu id="8800"/><gpu id="8800" profile="low"/></vendor>)"
         R"(<vendor name="B"><gpu id="8800" profile="high"/></vendor>)",
         "GeForce 8800", gpuclass::High},
        {"unknown profile name", R"(<vendor name="N"><gpu id="8800" profile="ultra"/></vendor>)",
         "GeForce 8800", gpuclass::Medium},
        {"no match", geForce, "Radeon 9700", gpuclass::Medium},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(gpuclass::detect(c.renderer, reference(c.vendors)), c.detected) << c.label;
    }
    EXPECT_EQ(gpuclass::detect("GeForce 8800", "missing.xml"), gpuclass::Medium);
}

TEST_F(GpuClassTest, ShippedReferenceList) {
    FileSystem::clearFileLoaders();
    FileSystem::addFileLoader(std::make_unique<NativeFileLoader>(DATA_FOLDER "/", 10));
    const std::string path = "shared/scalability/performanceReference.xml";
    EXPECT_EQ(gpuclass::detect("llvmpipe (LLVM 15.0.6, 256 bits)", path), gpuclass::Low);
    EXPECT_EQ(gpuclass::detect("NVIDIA GeForce RTX 4090/PCIe/SSE2", path), gpuclass::VeryHigh);
    EXPECT_EQ(gpuclass::detect("Mesa Intel(R) UHD Graphics 620 (KBL GT2)", path), gpuclass::Low);
    EXPECT_EQ(gpuclass::detect("Some Future GPU", path), gpuclass::Medium);
}

TEST_F(GpuClassTest, SelectionCoefficientsAndLog) {
    std::string path = reference(R"(<vendor name="S"><gpu id="llvmpipe" profile="low"/></vendor>)");
    struct Case {
        bool automatic;
        int configured;
        int selected;
        std::string log;
    };
    const Case cases[] = {
        {true, 1, gpuclass::Low,
         "GPU profile: Low\n  View Distance Coeff: 0.75\n  Shadow Quality: 0\n"
         "  Terrain LOD Distance Coeff: 0.75\n"},
        // A configured class wins over the detected one.
        {false, gpuclass::High, gpuclass::High,
         "GPU profile: High\n  View Distance Coeff: 1.5\n  Shadow Quality: 1\n"
         "  Terrain LOD Distance Coeff: 1.5\n"},
        {false, gpuclass::VeryHigh, gpuclass::VeryHigh,
         "GPU profile: Very High\n  View Distance Coeff: 2\n  Shadow Quality: 2\n"
         "  Terrain LOD Distance Coeff: 2\n"},
        // Outside the table the coefficients stay as they were.
        {false, 7, 7,
         "GPU profile: Medium\n  View Distance Coeff: 1\n  Shadow Quality: 1\n"
         "  Terrain LOD Distance Coeff: 1\n"},
    };
    for (const Case& c : cases) {
        EngineManager::Scalability scalability;
        scalability.automatic = c.automatic;
        scalability.selectedClass = c.configured;
        LogText log;
        gpuclass::select(scalability, "llvmpipe", path);
        EXPECT_EQ(scalability.detectedClass, gpuclass::Low);
        EXPECT_EQ(scalability.selectedClass, c.selected);
        EXPECT_EQ(log.text(), c.log);
    }
    EXPECT_EQ(gpuclass::fromName("VERY high"), gpuclass::VeryHigh);
    EXPECT_EQ(gpuclass::fromName("auto"), gpuclass::Medium);
    EXPECT_EQ(gpuclass::fromName(nullptr), gpuclass::Medium);
}

// Only the low class takes the terrain's cheaper path: detail layers to
// half their distance and lighting per vertex; the others keep the full
// look.
TEST_F(GpuClassTest, LowClassTakesTheCheaperTerrainPath) {
    std::string path = reference(R"(<vendor name="S"><gpu id="llvmpipe" profile="low"/></vendor>)");
    const struct {
        const char* renderer;
        float layerDistance;
        bool vertexLighting;
    } cases[] = {
        {"llvmpipe", 0.5f, true},
        {"Some Future GPU", 1.0f, false},
    };
    for (const auto& c : cases) {
        EngineManager::Scalability scalability;
        LogText log;
        gpuclass::select(scalability, c.renderer, path);
        EXPECT_EQ(TerrainSettings::getLayerDistanceCoeff(), c.layerDistance) << c.renderer;
        EXPECT_EQ(TerrainSettings::getVertexLighting(), c.vertexLighting) << c.renderer;
    }
}

// The configuration names the class; the script functions read and write
// the raw text, and the detected class stays visible.
TEST_F(GpuClassTest, ConfiguredClassAndScriptFunctions) {
    testsupport::writeFile(dir / "main.lua", R"(
function init()
    print("class " .. tostring(getGPUPerformanceClass()))
    print("auto " .. getAutoGPUPerformanceClass())
    setGPUPerformanceClass("low")
end
)");
    testsupport::writeFile(dir / "game.xml",
                           "<game><graphic><scalability><gpuPerformaceClass>HIGH"
                           "</gpuPerformaceClass></scalability></graphic></game>");
    testsupport::writePhysicsConfig(dir.path());
    XMLConfigFile config(dir / "game.xml", "ConfigFile", false);
    StartupParameters params = inProcessStartup(config, dir.path());
    LogText log;
    {
        EngineApplication app(params);
        ASSERT_EQ(app.getStartupExitCode(), 0);
        EXPECT_EQ(EngineManager::get().getScalability().selectedClass, gpuclass::High);
    }
    EXPECT_NE(log.text().find("GPU profile: High\n"), std::string::npos);
    EXPECT_NE(log.text().find("class HIGH\n"), std::string::npos) << log.text();
    EXPECT_NE(log.text().find("auto Medium\n"), std::string::npos);
    XMLConfigFile saved(dir / "game.xml", "ConfigFile", false);
    EXPECT_STREQ(saved.getString("game.graphic.scalability.gpuPerformaceClass"), "low");
}

}  // namespace
