// The shader library on a real GL context (Mesa llvmpipe): keys built from
// the shared sources, the cache files they leave, warm starts from those
// files, broken files replaced, broken keys remembered, custom code
// injected.

#include <gtest/gtest.h>

#include <dirent.h>

#include <cstdio>

#include <memory>
#include <string>
#include <vector>

#include "CapturingLogSink.h"
#include "TestRenderWindow.h"
#include "TestSupport.h"
#include "base/device/IRenderDevice.h"
#include "foundation/File.h"
#include "render/material/CustomShader.h"
#include "render/shader/ShaderCacheFile.h"
#include "render/shader/ShaderLibrary.h"
#include "shaderlang/compiler/ShaderCompiler.h"

namespace {

using testsupport::ScopedLogCapture;

std::vector<std::string> listFiles(const std::string& folder, const std::string& suffix) {
    std::vector<std::string> names;
    if (DIR* dir = opendir(folder.c_str())) {
        while (dirent* entry = readdir(dir)) {
            std::string name = entry->d_name;
            if (name.size() >= suffix.size() &&
                name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0) {
                names.push_back(name);
            }
        }
        closedir(dir);
    }
    return names;
}

ShaderKey litTexturedKey() {
    ShaderKey key;
    key.words[0] = ShaderKey::kAmbient | ShaderKey::kDiffuse | ShaderKey::kAlbedoMap;
    key.setLightCount(ShaderLightKind::Directional, false, 1);
    return key;
}

class ShaderLibraryTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_device = createRenderDevice().release();
        s_window = testsupport::openTestRenderWindow(*s_device, 32);
    }
    static void TearDownTestSuite() {
        delete s_device;
        s_device = nullptr;
    }
    void SetUp() override {
        ASSERT_NE(s_window, nullptr) << "no GL window";
        FileSystem::clearFileLoaders();
        FileSystem::addFileLoader(std::make_unique<NativeFileLoader>(DATA_FOLDER "/", 10));
        m_cache = m_dir.path() + "shader_cache/";
    }
    void TearDown() override {
        FileSystem::clearFileLoaders();
        if (HasFailure()) {
            std::printf("log:\n%s\n", m_log.text().substr(0, 6000).c_str());
        }
    }

    std::unique_ptr<ShaderLibrary> makeLibrary() {
        auto library = std::make_unique<ShaderLibrary>(*s_device, m_cache);
        EXPECT_TRUE(library->loadSharedSources());
        return library;
    }

    static IRenderDevice* s_device;
    static IRenderWindow* s_window;
    testsupport::TempDir m_dir;
    std::string m_cache;
    ScopedLogCapture m_log;
};

IRenderDevice* ShaderLibraryTest::s_device = nullptr;
IRenderWindow* ShaderLibraryTest::s_window = nullptr;

TEST_F(ShaderLibraryTest, ColdBuildWritesCacheAndWarmStartCompilesNothing) {
    const ShaderKey key = litTexturedKey();
    {
        auto library = makeLibrary();
        Shader* vs = nullptr;
        Shader* fs = nullptr;
        ASSERT_TRUE(library->getShaders(key, nullptr, vs, fs));
        EXPECT_EQ(library->getStats().compiled, 2u);
        EXPECT_EQ(library->getStats().fromCache, 0u);
        // The uniforms the renderer fills were found in the registers.
        EXPECT_GE(vs->getPerObjectRegister(shaderuniforms::ModelViewProjMatrix), 0);
        EXPECT_GE(fs->getPerObjectRegister(shaderuniforms::AmbientColor), 0);
        EXPECT_TRUE(fs->usesSampler(shaderuniforms::BaseMap));
        EXPECT_FALSE(fs->usesSampler(shaderuniforms::NormalMap));
        ASSERT_EQ(fs->getNumLightSlots(), 1);
        EXPECT_EQ(fs->getLightSlot(0).kind, ShaderLightKind::Directional);
        EXPECT_GE(fs->getLightSlot(0).direction, 0);
        EXPECT_GE(fs->getLightSlot(0).diffuseColor, 0);
        // A known key is served from memory.
        Shader* vs2 = nullptr;
        Shader* fs2 = nullptr;
        ASSERT_TRUE(library->getShaders(key, nullptr, vs2, fs2));
        EXPECT_EQ(vs2, vs);
        EXPECT_EQ(library->getStats().builds, 1u);
    }
    auto vsFiles = listFiles(m_cache, "_vs.xml");
    auto fsFiles = listFiles(m_cache, "_fs.xml");
    ASSERT_EQ(vsFiles.size(), 1u);
    ASSERT_EQ(fsFiles.size(), 1u);
    // The name ends in the device capabilities and the compiler's output
    // format, so that a new compiler never reads old programs.
    const std::string ending =
        "_1_c" + std::to_string(shadercompiler::kOutputFormatVersion) + "_vs.xml";
    EXPECT_EQ(vsFiles[0].compare(vsFiles[0].size() - ending.size(), ending.size(), ending), 0)
        << vsFiles[0];
    std::string text = testsupport::readFile(m_cache + vsFiles[0]);
    EXPECT_EQ(text.rfind("<?xml version=\"1.0\" encoding=\"iso-8859-1\"?>\n\n<ShaderCache>\n"
                         "  <ShaderCode type=\"glsl\"",
                         0),
              0u);
    EXPECT_NE(text.find("<![CDATA[#version 330"), std::string::npos);
    EXPECT_NE(text.find("name=\"In.modelViewProjMatrix\""), std::string::npos);

    auto warm = makeLibrary();
    Shader* vs = nullptr;
    Shader* fs = nullptr;
    ASSERT_TRUE(warm->getShaders(key, nullptr, vs, fs));
    EXPECT_EQ(warm->getStats().compiled, 0u);
    EXPECT_EQ(warm->getStats().fromCache, 2u);
    EXPECT_TRUE(fs->usesSampler(shaderuniforms::BaseMap));
    EXPECT_EQ(fs->getNumLightSlots(), 1);
}

TEST_F(ShaderLibraryTest, KeysWithTheSameTextShareOneFileButNotTheirEntries) {
    auto library = makeLibrary();
    ShaderKey a = litTexturedKey();
    ShaderKey b = a;
    b.words[1] = 77;  // identity only, no define
    Shader* vsA = nullptr;
    Shader* fsA = nullptr;
    Shader* vsB = nullptr;
    Shader* fsB = nullptr;
    ASSERT_TRUE(library->getShaders(a, nullptr, vsA, fsA));
    ASSERT_TRUE(library->getShaders(b, nullptr, vsB, fsB));
    EXPECT_NE(vsA, vsB);
    EXPECT_EQ(vsB->getKey(), b);
    EXPECT_EQ(library->getStats().compiled, 2u);
    EXPECT_EQ(library->getStats().fromCache, 2u);
    EXPECT_EQ(listFiles(m_cache, ".xml").size(), 2u);
}

TEST_F(ShaderLibraryTest, BrokenCacheFilesAreCompiledAgainAndReplaced) {
    const ShaderKey key = litTexturedKey();
    {
        Shader* vs = nullptr;
        Shader* fs = nullptr;
        ASSERT_TRUE(makeLibrary()->getShaders(key, nullptr, vs, fs));
    }
    auto files = listFiles(m_cache, "_fs.xml");
    ASSERT_EQ(files.size(), 1u);
    const std::string path = m_cache + files[0];
    const std::string good = testsupport::readFile(path);

    struct Damage {
        const char* what;
        std::string text;
        const char* message;
    };
    auto replaced = [&](const std::string& from, const std::string& to) {
        std::string text = good;
        size_t at = text.find(from);
        EXPECT_NE(at, std::string::npos) << from;
        return at == std::string::npos ? text : text.replace(at, from.size(), to);
    };
    const Damage damages[] = {
        {"truncated", good.substr(0, good.size() / 2), "Failed to load"},
        {"capital type", replaced("type=\"glsl\"", "type=\"GLSL\""),
         "Error: invalid shader code type\n"},
        {"assembly type", replaced("type=\"glsl\"", "type=\"ASM\""),
         "Error: invalid shader code type\n"},
        {"register count beyond the device", replaced("registers=\"", "registers=\"99999"),
         "register count"},
        {"parameter beyond its registers", replaced(" index=\"", " index=\"4000"),
         "outside its registers"},
        {"sampler unit beyond the device", replaced(" unit=\"", " unit=\"1000"), "texture units"},
    };
    for (const Damage& damage : damages) {
        testsupport::writeFile(path, damage.text);
        ScopedLogCapture log;
        auto library = makeLibrary();
        Shader* vs = nullptr;
        Shader* fs = nullptr;
        EXPECT_TRUE(library->getShaders(key, nullptr, vs, fs)) << damage.what;
        EXPECT_NE(log.text().find(damage.message), std::string::npos)
            << damage.what << ": " << log.text();
        EXPECT_EQ(library->getStats().compiled, 1u) << damage.what;
        EXPECT_EQ(testsupport::readFile(path), good) << damage.what;
    }
}

TEST_F(ShaderLibraryTest, CacheFileKeepsTextWithBlockEnd) {
    ShaderCacheEntry entry;
    entry.glsl = "#version 330 core\n// a]]>b ]]>\nvoid main() {}\n";
    entry.reflection.numRegisters = 4;
    entry.reflection.parameters.push_back(
        {"In.a<b>", shaderinterface::ParamType::Float4x4, 0, 4, {}});
    entry.reflection.parameters.push_back(
        {"tint", shaderinterface::ParamType::Float4, 3, 1, {1.0f, 0.5f, -2.25f, 1e-3f}});
    entry.reflection.samplers.push_back(
        {"In.samplers.baseMap", "s_base", shaderinterface::SamplerKind::SamplerCube, 2});
    testsupport::writeFile(m_dir / "entry.xml", formatShaderCacheFile(entry));
    ShaderCacheEntry read;
    ASSERT_TRUE(readShaderCacheFile(m_dir / "entry.xml", shaderinterface::Stage::Fragment,
                                    ShaderCacheLimits(), read));
    EXPECT_EQ(read.glsl, entry.glsl);
    ASSERT_EQ(read.reflection.parameters.size(), 2u);
    EXPECT_EQ(read.reflection.parameters[0].name, "In.a<b>");
    EXPECT_EQ(read.reflection.parameters[0].registerCount, 4);
    EXPECT_TRUE(read.reflection.parameters[0].initialValue.empty());
    // A global's initial value comes back exactly; one of the wrong length
    // makes the file unusable.
    EXPECT_EQ(read.reflection.parameters[1].initialValue,
              (std::vector<float>{1.0f, 0.5f, -2.25f, 1e-3f}));
    ASSERT_EQ(read.reflection.samplers.size(), 1u);
    EXPECT_EQ(read.reflection.samplers[0].textureUnit, 2);
    EXPECT_EQ(read.reflection.samplers[0].kind, shaderinterface::SamplerKind::SamplerCube);
    std::string text = testsupport::readFile(m_dir / "entry.xml");
    size_t init = text.find("init=\"");
    ASSERT_NE(init, std::string::npos);
    text.insert(text.find('"', init + 6), " 7");
    testsupport::writeFile(m_dir / "long.xml", text);
    EXPECT_FALSE(readShaderCacheFile(m_dir / "long.xml", shaderinterface::Stage::Fragment,
                                     ShaderCacheLimits(), read));
}

TEST_F(ShaderLibraryTest, CustomCodeIsInjectedAndABrokenKeyFailsOnce) {
    auto custom = RefPtr<CustomShader>(new CustomShader("test_custom.xml"));
    std::vector<CustomShader::LodLevel> levels(2);
    levels[0].codeInjections.push_back({"POST_ALBEDO_FS", "albedo.rgb = float3(1, 0, 0);"});
    levels[1].startDistance = 10.0f;
    levels[1].codeInjections.push_back({"POST_ALBEDO_FS", "albedo = undefinedThing;"});
    custom->setLevels(std::move(levels));
    ASSERT_GT(custom->getIndex(), 0);
    const auto& stored = custom->getLodLevels();

    auto library = makeLibrary();
    ShaderKey good = litTexturedKey();
    good.setCustom(static_cast<uint32_t>(custom->getIndex()),
                   static_cast<uint32_t>(stored[0].defineIndex));
    std::string source = library->assembleSource(good);
    size_t injected = source.find("albedo.rgb = float3(1, 0, 0);\n//customPos_POST_ALBEDO_FS");
    EXPECT_NE(injected, std::string::npos);
    EXPECT_NE(source.find("#define CUSTOM_SHADER_LOD_LEVEL 0"), std::string::npos);
    Shader* vs = nullptr;
    Shader* fs = nullptr;
    EXPECT_TRUE(library->getShaders(good, nullptr, vs, fs));

    ShaderKey broken = good;
    broken.setCustom(static_cast<uint32_t>(custom->getIndex()),
                     static_cast<uint32_t>(stored[1].defineIndex));
    ScopedLogCapture log;
    for (int frame = 0; frame < 3; ++frame) {
        EXPECT_FALSE(library->getShaders(broken, nullptr, vs, fs));
    }
    EXPECT_EQ(log.count("Error: failed to build the shaders of key"), 1u) << log.text();
    EXPECT_EQ(library->getStats().failedKeys, 1u);
    auto errors = listFiles(m_cache, ".txt");
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].rfind("error_vs_" + std::to_string(broken.words[0]) + "_", 0), 0u);
    std::string text = testsupport::readFile(m_cache + errors[0]);
    EXPECT_EQ(
        text.rfind(
            "Shader Cache:\nCustom shader index: " + std::to_string(custom->getIndex()) + "\n", 0),
        0u);
    EXPECT_NE(text.find("undefinedThing"), std::string::npos);
}

TEST_F(ShaderLibraryTest, ThePrimaryCacheFolderIsReadFirst) {
    const ShaderKey key = litTexturedKey();
    {
        Shader* vs = nullptr;
        Shader* fs = nullptr;
        ASSERT_TRUE(makeLibrary()->getShaders(key, nullptr, vs, fs));
    }
    // Move the files into a data folder's shared/shader/cache/.
    testsupport::TempDir data;
    testsupport::makeDirs(data / "shared/shader/cache");
    for (const std::string& name : listFiles(m_cache, ".xml")) {
        testsupport::writeFile(data / ("shared/shader/cache/" + name),
                               testsupport::readFile(m_cache + name));
        std::remove((m_cache + name).c_str());
    }
    FileSystem::addFileLoader(std::make_unique<NativeFileLoader>(data.path(), 5));
    auto library = makeLibrary();
    Shader* vs = nullptr;
    Shader* fs = nullptr;
    ASSERT_TRUE(library->getShaders(key, nullptr, vs, fs));
    EXPECT_EQ(library->getStats().fromCache, 2u);
    EXPECT_EQ(library->getStats().compiled, 0u);
    EXPECT_TRUE(listFiles(m_cache, ".xml").empty());
}

TEST_F(ShaderLibraryTest, A128thCustomShaderGetsNoIndex) {
    std::vector<RefPtr<CustomShader>> shaders;
    ScopedLogCapture log;
    for (int i = 0; i < 200; ++i) {
        RefPtr<CustomShader> shader(new CustomShader("custom" + std::to_string(i) + ".xml"));
        shader->setLevels(std::vector<CustomShader::LodLevel>(1));
        shaders.push_back(shader);
        if (shader->getIndex() == 0) {
            break;
        }
        ASSERT_LE(shader->getIndex(), CustomShaderRegistry::kMaxShaders);
    }
    ASSERT_EQ(shaders.back()->getIndex(), 0);
    EXPECT_EQ(shaders.size(), static_cast<size_t>(CustomShaderRegistry::kMaxShaders) + 1);
    EXPECT_EQ(log.count("Error: too many custom defines\n"), 1u);
    // Index 0 is "no custom shader": the key's define text has no custom
    // defines and the LOD field stays clear.
    ShaderKey key = litTexturedKey();
    key.setCustom(static_cast<uint32_t>(shaders.back()->getIndex()), 1);
    EXPECT_EQ(key.getCustomIndex(), 0u);
    auto library = makeLibrary();
    EXPECT_EQ(library->assembleSource(key).find("CUSTOM_SHADER_LOD_LEVEL"), std::string::npos);
}

TEST(ShaderInjectionTest, MarkersMatchWholeNamesOnly) {
    std::string text = "a //customPos_VS_END b //customPos_VS c /*customPos_X*/";
    injectCustomCode(text, "VS", "one");
    EXPECT_EQ(text, "a //customPos_VS_END b one\n//customPos_VS c /*customPos_X*/");
    injectCustomCode(text, "X", "two");
    EXPECT_EQ(text, "a //customPos_VS_END b one\n//customPos_VS c two\n/*customPos_X*/");
    std::string unchanged = text;
    injectCustomCode(text, "MISSING", "three");
    EXPECT_EQ(text, unchanged);
}

}  // namespace
