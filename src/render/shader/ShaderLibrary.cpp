#include "render/shader/ShaderLibrary.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <iterator>

#include "base/device/IRenderDevice.h"
#include "base/platform/Platform.h"
#include "foundation/File.h"
#include "foundation/Log.h"
#include "foundation/Md5.h"
#include "render/material/CustomShader.h"
#include "shaderlang/compiler/ShaderCompiler.h"
#include "shaderlang/preprocessor/Preprocessor.h"

using shaderinterface::Stage;

const char* const ShaderLibrary::kSharedSourceFiles[4] = {
    "shared/shader/shared.cg", "shared/shader/functions_vs.cg", "shared/shader/functions_fs.cg",
    "shared/shader/shaderbuilder.cg"};

namespace {

constexpr const char kTexCoordHeader[] =
    "#define ALBEDOMAP_INPUT_TEXCOORD 0\n"
    "#define NORMALMAP_INPUT_TEXCOORD 0\n"
    "#define GLOSSMAP_INPUT_TEXCOORD 0\n"
    "#define LIGHTMAP_INPUT_TEXCOORD 0\n"
    "\n"
    "#define ALBEDOMAP_TEXCOORD 0\n"
    "#define NORMALMAP_TEXCOORD 0\n"
    "#define GLOSSMAP_TEXCOORD 0\n"
    "#define LIGHTMAP_TEXCOORD 0\n"
    "\n"
    "#define NUM_TEXCOORDS 1\n";

// Texture units and texture coordinate sets are handed out in the order the
// sources use them.
constexpr const char kCounterMacros[] =
    "#define curUnit 0\n"
    "#define IncrementCurUnit #defeval curUnit #eval curUnit+1\n"
    "#define TEXUNITN_(number) TEXUNIT#1\n"
    "#define TEXUNITN TEXUNITN_(curUnit) IncrementCurUnit\n"
    "#define INCREMENT_NUM_TEXCOORDS(step) #defeval NUM_TEXCOORDS #eval NUM_TEXCOORDS+step\n"
    "#define NEXT_TEXCOORD NUM_TEXCOORDS INCREMENT_NUM_TEXCOORDS(1)\n"
    "#define NEXT_I_TEXCOORD(step) NUM_TEXCOORDS INCREMENT_NUM_TEXCOORDS(step)\n";

bool isIdentifierChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_';
}

// The first place of `marker` not followed by an identifier character.
size_t findWholeMarker(const std::string& text, const std::string& marker) {
    for (size_t at = text.find(marker); at != std::string::npos; at = text.find(marker, at + 1)) {
        size_t after = at + marker.size();
        if (after >= text.size() || !isIdentifierChar(text[after])) {
            return at;
        }
    }
    return std::string::npos;
}

const char* stageTag(Stage stage) {
    return stage == Stage::Vertex ? "vs" : "fs";
}

}  // namespace

void injectCustomCode(std::string& text, const std::string& position, const std::string& code) {
    size_t at = findWholeMarker(text, "//customPos_" + position);
    if (at == std::string::npos) {
        at = findWholeMarker(text, "/*customPos_" + position);
    }
    if (at != std::string::npos) {
        text.insert(at, code + "\n");
    }
}

ShaderLibrary::ShaderLibrary(IRenderDevice& device, std::string userCacheFolder)
    : m_device(device), m_userCacheFolder(std::move(userCacheFolder)) {
    if (!m_userCacheFolder.empty() && m_userCacheFolder.back() != '/') {
        m_userCacheFolder += '/';
    }
    platform::createFolderPath(m_userCacheFolder);
    m_caps.vertexVersion = device.getVertexShaderVersion();
    m_caps.fragmentVersion = device.getFragmentShaderVersion();
    m_caps.vertexMaxLocalParameters = device.getVertexMaxLocalParameters();
    m_caps.fragmentMaxLocalParameters = device.getFragmentMaxLocalParameters();
    switch (device.getVendor()) {
        case GPU_VENDOR_ATI:
            m_caps.vendor = "ATI";
            break;
        case GPU_VENDOR_NVIDIA:
            m_caps.vendor = "NVIDIA";
            break;
        default:
            break;
    }
}

ShaderLibrary::~ShaderLibrary() = default;

bool ShaderLibrary::loadSharedSources() {
    m_sourcesTried = true;
    std::string text;
    std::vector<std::pair<std::string, int>> firstLines;
    int line = 1;
    for (const char* name : kSharedSourceFiles) {
        std::string contents;
        if (!FileSystem::readWholeFile(name, contents)) {
            Log::get() << "Error: cannot read the shader source '" << name << "'\n";
            return false;
        }
        // A file that does not end its last line shares it with the next.
        firstLines.emplace_back(name, line);
        line += static_cast<int>(std::count(contents.begin(), contents.end(), '\n'));
        text += contents;
    }
    setSharedSourceText(std::move(text));
    m_sourceFirstLines = std::move(firstLines);
    return true;
}

void ShaderLibrary::setSharedSourceText(std::string text) {
    // Carriage returns become blanks; a backslash before one stays a line
    // continuation by swapping the two.
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r') {
            text[i] = ' ';
            if (i > 0 && text[i - 1] == '\\') {
                text[i - 1] = ' ';
                text[i] = '\\';
            }
        }
    }
    m_sharedSource = std::move(text);
    m_sourceFirstLines.clear();
    m_sourcesTried = true;
}

const CustomShader::LodLevel* ShaderLibrary::customLevel(const ShaderKey& key) {
    const int32_t lodField = static_cast<int32_t>(key.getCustomLodLevel());
    const CustomShader* custom =
        CustomShaderRegistry::getShader(static_cast<int32_t>(key.getCustomIndex()));
    if (custom == nullptr || lodField == 0) {
        return nullptr;
    }
    for (const CustomShader::LodLevel& level : custom->getLodLevels()) {
        if (level.defineIndex == lodField) {
            return &level;
        }
    }
    return nullptr;
}

std::string ShaderLibrary::assembleSource(const ShaderKey& key, int* sharedStartLine) const {
    std::string text;
    text.reserve(m_sharedSource.size() + 4096);
    text += '\n';
    text += kTexCoordHeader;
    text += kCounterMacros;
    text += buildShaderDefineText(key, m_caps);
    const int32_t customIndex = static_cast<int32_t>(key.getCustomIndex());
    const int32_t lodField = static_cast<int32_t>(key.getCustomLodLevel());
    if (customIndex != 0 && lodField != 0) {
        if (const std::string* defines =
                CustomShaderRegistry::getLodDefines(customIndex, lodField)) {
            text += *defines;
            text += '\n';
        }
    }
    if (sharedStartLine != nullptr) {
        *sharedStartLine = 1 + static_cast<int>(std::count(text.begin(), text.end(), '\n'));
    }
    text += m_sharedSource;
    if (const CustomShader::LodLevel* level = customLevel(key)) {
        for (const CustomShader::CodeInjection& injection : level->codeInjections) {
            injectCustomCode(text, injection.position, injection.code);
        }
    }
    return text;
}

std::string ShaderLibrary::getCacheName(const std::string& preprocessed) const {
    std::array<uint8_t, 16> digest = md5Digest(preprocessed.data(), preprocessed.size());
    std::string name;
    char word[16];
    for (int i = 0; i < 4; ++i) {
        uint32_t value = uint32_t(digest[i * 4]) | (uint32_t(digest[i * 4 + 1]) << 8) |
                         (uint32_t(digest[i * 4 + 2]) << 16) | (uint32_t(digest[i * 4 + 3]) << 24);
        std::snprintf(word, sizeof(word), i < 3 ? "%x_" : "%x", value);
        name += word;
    }
    name += "_" + std::to_string(m_caps.vertexVersion) + "_" +
            std::to_string(m_caps.fragmentVersion) + "_" +
            std::to_string(m_caps.vertexMaxLocalParameters) + "_" +
            std::to_string(m_caps.fragmentMaxLocalParameters) + "_1";
    // Programs of another compiler output format are never served.
    name += "_c" + std::to_string(shadercompiler::kOutputFormatVersion);
    return name;
}

bool ShaderLibrary::getShaders(const ShaderKey& key,
                               const std::vector<std::string>* customTextureNames, Shader*& vertex,
                               Shader*& fragment) {
    auto vit = m_vertexShaders.find(key);
    auto fit = m_fragmentShaders.find(key);
    if (vit != m_vertexShaders.end() && fit != m_fragmentShaders.end()) {
        vertex = vit->second.get();
        fragment = fit->second.get();
        return true;
    }
    vertex = nullptr;
    fragment = nullptr;
    if (m_failedKeys.count(key) != 0) {
        return false;
    }
    if (!m_sourcesTried) {
        loadSharedSources();
    }
    std::string preprocessed;
    bool ok = preprocessKey(key, preprocessed);
    if (ok) {
        std::string cacheName = getCacheName(preprocessed);
        if (vit == m_vertexShaders.end()) {
            RefPtr<Shader> built =
                buildStage(key, Stage::Vertex, preprocessed, cacheName, customTextureNames);
            if (built) {
                vit = m_vertexShaders.emplace(key, built).first;
            }
        }
        // A key fails as a whole: once the vertex stage failed, the fragment
        // stage is not tried (one error file per broken key).
        if (vit != m_vertexShaders.end() && fit == m_fragmentShaders.end()) {
            RefPtr<Shader> built =
                buildStage(key, Stage::Fragment, preprocessed, cacheName, customTextureNames);
            if (built) {
                fit = m_fragmentShaders.emplace(key, built).first;
            }
        }
        ok = vit != m_vertexShaders.end() && fit != m_fragmentShaders.end();
    }
    if (!ok) {
        // Remembered for the run so that a broken key costs one build and
        // one log line, not a build every frame.
        m_failedKeys.insert(key);
        ++m_stats.failedKeys;
        Log::get() << "Error: failed to build the shaders of key " << key.words[0] << " "
                   << key.words[1] << " " << key.words[2] << " " << key.words[3]
                   << " (custom shader " << key.getCustomIndex() << ")\n";
        return false;
    }
    vertex = vit->second.get();
    fragment = fit->second.get();
    return true;
}

bool ShaderLibrary::preprocessKey(const ShaderKey& key, std::string& preprocessed,
                                  int* sharedStartLine) {
    ++m_stats.builds;
    std::string source = assembleSource(key, sharedStartLine);
    PreprocessorOptions options;
    options.fileName = kPreprocessName;
    // Markers wherever lines drop out, so that compiler messages and error
    // files name the shared source and line where the text was written.
    options.insertLineMarkers = true;
    return preprocessText(source, options, preprocessed);
}

std::string ShaderLibrary::locateSharedLine(int line, int sharedStartLine) const {
    const int shared = line - sharedStartLine + 1;
    for (size_t i = m_sourceFirstLines.size(); i-- > 0;) {
        if (shared >= m_sourceFirstLines[i].second) {
            return m_sourceFirstLines[i].first + "(" +
                   std::to_string(shared - m_sourceFirstLines[i].second + 1) + ")";
        }
    }
    return std::string();
}

std::string ShaderLibrary::sharedSourceOfListing(const ShaderKey& key,
                                                 const std::string& listing) const {
    const std::string marker = std::string(kPreprocessName) + "(";
    const size_t at = listing.find(marker);
    if (at == std::string::npos) {
        return std::string();
    }
    const int line = std::atoi(listing.c_str() + at + marker.size());
    int sharedStartLine = 0;
    assembleSource(key, &sharedStartLine);
    const std::string place = locateSharedLine(line, sharedStartLine);
    return place.empty() ? std::string() : " (" + place + ")";
}

HotReloadResult ShaderLibrary::reloadFile(const std::string& name) {
    for (const char* source : kSharedSourceFiles) {
        if (name == source) {
            return reloadSharedSources();
        }
    }
    if (CustomShader* custom = CustomShaderLibrary::find(name)) {
        return reloadCustomShader(*custom);
    }
    return HotReloadResult::NotMine;
}

HotReloadResult ShaderLibrary::reloadSharedSources() {
    if (!m_sourcesTried) {
        // Nothing was built from them yet: the next build reads them.
        return HotReloadResult::Reloaded;
    }
    std::string previous = m_sharedSource;
    std::vector<std::pair<std::string, int>> previousLines = m_sourceFirstLines;
    if (loadSharedSources() && rebuildKeys([](const ShaderKey&) { return true; })) {
        return HotReloadResult::Reloaded;
    }
    m_sharedSource = std::move(previous);
    m_sourceFirstLines = std::move(previousLines);
    return HotReloadResult::Failed;
}

HotReloadResult ShaderLibrary::reloadCustomShader(CustomShader& custom) {
    const int32_t index = custom.getIndex();
    std::vector<CustomShader::LodLevel> previous = custom.getLodLevels();
    if (!custom.reloadCode()) {
        return HotReloadResult::Failed;
    }
    if (index == 0 || rebuildKeys([index](const ShaderKey& key) {
            return static_cast<int32_t>(key.getCustomIndex()) == index;
        })) {
        return HotReloadResult::Reloaded;
    }
    custom.replaceCode(previous);
    return HotReloadResult::Failed;
}

bool ShaderLibrary::rebuildKeys(const std::function<bool(const ShaderKey&)>& uses) {
    struct Rebuilt {
        Shader* vertex;
        Shader* fragment;
        RefPtr<Shader> newVertex;
        RefPtr<Shader> newFragment;
    };
    std::vector<Rebuilt> rebuilt;
    for (const auto& [key, vertex] : m_vertexShaders) {
        auto fragment = m_fragmentShaders.find(key);
        if (fragment == m_fragmentShaders.end() || !uses(key)) {
            continue;
        }
        std::string preprocessed;
        if (!preprocessKey(key, preprocessed)) {
            return false;
        }
        const std::string cacheName = getCacheName(preprocessed);
        const CustomShader::LodLevel* level = customLevel(key);
        const std::vector<std::string>* names = level != nullptr ? &level->textureNames : nullptr;
        RefPtr<Shader> newVertex = buildStage(key, Stage::Vertex, preprocessed, cacheName, names);
        RefPtr<Shader> newFragment =
            newVertex ? buildStage(key, Stage::Fragment, preprocessed, cacheName, names)
                      : RefPtr<Shader>();
        if (!newFragment) {
            return false;
        }
        rebuilt.push_back(
            {vertex.get(), fragment->second.get(), std::move(newVertex), std::move(newFragment)});
    }
    for (Rebuilt& stages : rebuilt) {
        stages.vertex->replaceWith(std::move(*stages.newVertex));
        stages.fragment->replaceWith(std::move(*stages.newFragment));
    }
    // Keys that failed with the previous text may build with this one.
    for (auto it = m_failedKeys.begin(); it != m_failedKeys.end();) {
        it = uses(*it) ? m_failedKeys.erase(it) : std::next(it);
    }
    return true;
}

std::unique_ptr<IShaderObject> ShaderLibrary::createObject(const ShaderCacheEntry& entry,
                                                           Stage stage) {
    ShaderSourceDesc desc;
    desc.kind = SSK_COMPILED;
    desc.source = entry.glsl;
    desc.reflection = &entry.reflection;
    desc.entryPoint = stage == Stage::Vertex ? "main_vp" : "main_fp";
    desc.stage = stage == Stage::Vertex ? m_caps.vertexVersion : 0;
    desc.fragmentVersion = m_caps.fragmentVersion;
    return m_device.createShader(desc);
}

RefPtr<Shader> ShaderLibrary::buildStage(const ShaderKey& key, Stage stage,
                                         const std::string& preprocessed,
                                         const std::string& cacheName,
                                         const std::vector<std::string>* customTextureNames) {
    const std::string fileName = cacheName + "_" + stageTag(stage) + ".xml";
    ShaderCacheLimits limits;
    limits.maxRegisters = stage == Stage::Vertex ? m_caps.vertexMaxLocalParameters
                                                 : m_caps.fragmentMaxLocalParameters;
    limits.maxTextureUnits = m_device.getTextureUnitCount();

    ShaderCacheEntry entry;
    std::unique_ptr<IShaderObject> object;
    for (const std::string& folder : {std::string(kPrimaryCacheFolder), m_userCacheFolder}) {
        const std::string path = folder + fileName;
        if (!FileSystem::openFile(path, FileMode::Read)) {
            continue;
        }
        if (readShaderCacheFile(path, stage, limits, entry)) {
            object = createObject(entry, stage);
        }
        if (object) {
            ++m_stats.fromCache;
            break;
        }
        // A file that does not load is compiled again and replaced below.
        Log::get() << "Error: Failed to load '" << path << "'\n";
    }
    if (!object) {
        const char* entryPoint = stage == Stage::Vertex ? "main_vp" : "main_fp";
        shadercompiler::CompileOptions options;
        options.fileName = kPreprocessName;
        shadercompiler::CompileResult result =
            shadercompiler::compile(preprocessed, entryPoint, stage, options);
        ++m_stats.compiled;
        if (result.success) {
            entry.glsl = std::move(result.glsl);
            entry.reflection = std::move(result.reflection);
            object = createObject(entry, stage);
        }
        if (!object) {
            writeErrorFile(key, stage,
                           result.success ? m_device.getLastProgramText() : result.listing,
                           preprocessed);
            return RefPtr<Shader>();
        }
        if (!writeFileAtomically(m_userCacheFolder + fileName, formatShaderCacheFile(entry))) {
            Log::get() << "Warning: cannot write the shader cache file '" << m_userCacheFolder
                       << fileName << "'\n";
        }
    }
    RefPtr<Shader> shader(new Shader(key, stage, std::move(object)));
    shader->bindParameters(entry.reflection, customTextureNames);
    if (const CustomShader::LodLevel* level = customLevel(key)) {
        std::vector<std::string> targets;
        for (const CustomShader::Parameter& parameter : level->parameters) {
            targets.push_back(parameter.target);
        }
        shader->bindCustomParameters(entry.reflection, targets);
    }
    return shader;
}

void ShaderLibrary::writeErrorFile(const ShaderKey& key, Stage stage, const std::string& listing,
                                   const std::string& preprocessed) const {
    const uint64_t shapeAndLights = uint64_t(key.words[2]) | (uint64_t(key.words[3]) << 32);
    const std::string path = m_userCacheFolder + "error_" + stageTag(stage) + "_" +
                             std::to_string(key.words[0]) + "_" + std::to_string(shapeAndLights) +
                             "_" + std::to_string(key.getCustomIndex()) + ".txt";
    std::string text =
        "Shader Cache:\nCustom shader index: " + std::to_string(key.getCustomIndex()) + "\n" +
        listing + "\n\n\n------\n\n\n" + preprocessed;
    if (!writeFileAtomically(path, text)) {
        Log::get() << "Warning: cannot write the shader error file '" << path << "'\n";
        return;
    }
    // The first lines of the listing say what went wrong; the file has all.
    size_t end = 0;
    for (int lines = 0; lines < 3 && end != std::string::npos; ++lines) {
        end = listing.find('\n', end == 0 ? 0 : end + 1);
    }
    Log::get() << "Error: the " << (stage == Stage::Vertex ? "vertex" : "fragment")
               << " shader did not compile" << sharedSourceOfListing(key, listing) << ", see '"
               << path << "': " << listing.substr(0, end) << "\n";
}
