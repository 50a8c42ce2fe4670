#pragma once
// The shader library: turns shader keys into built vertex and fragment
// stages. For a new key it writes the key's defines in front of the shared
// shader sources, injects the custom shader's code, preprocesses the text,
// names it by its MD5 digest and either loads both stages from the shader
// cache or compiles them with the engine's compiler and stores them there.
// Built stages stay in memory for the whole run.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "foundation/HotReload.h"
#include "render/material/CustomShader.h"
#include "render/shader/Shader.h"
#include "render/shader/ShaderCacheFile.h"
#include "render/shader/ShaderKey.h"
#include "shaderlang/compiler/ShaderInterface.h"

class IRenderDevice;

class ShaderLibrary : public IHotReloadHandler {
public:
    struct Stats {
        uint32_t builds = 0;      // keys assembled and preprocessed
        uint32_t compiled = 0;    // stages compiled by the engine's compiler
        uint32_t fromCache = 0;   // stages read from cache files
        uint32_t failedKeys = 0;  // keys whose stages could not be built
    };

    // The shared sources, read through the file system in this order.
    static const char* const kSharedSourceFiles[4];
    static constexpr const char* kPrimaryCacheFolder = "shared/shader/cache/";
    static constexpr const char* kPreprocessName = "shared/shader/tempFile.cg";

    // `userCacheFolder` ends in "/" and is created when missing.
    ShaderLibrary(IRenderDevice& device, std::string userCacheFolder);
    ~ShaderLibrary() override;

    // Reads the shared sources; false (logged) when one cannot be read, in
    // which case nothing can be built. The first request for a key reads
    // them when this was not called.
    bool loadSharedSources();
    // Replaces the shared source text (tests and tools).
    void setSharedSourceText(std::string text);

    // The stages for a key, built on first request. A key whose stages
    // failed is remembered: later requests return false without building
    // again. `customTextureNames` are the custom textures of the object's
    // LOD level, marked as used where the fragment stage samples them.
    bool getShaders(const ShaderKey& key, const std::vector<std::string>* customTextureNames,
                    Shader*& vertex, Shader*& fragment);

    // Hot reload of a shared source or a custom shader file: every built
    // key that uses the file is built again from the new text and its
    // stages are replaced in place. When a key does not build, no stage is
    // replaced and the previous text stays in use (the compile error is
    // logged with the file and line it points at).
    HotReloadResult reloadFile(const std::string& name) override;
    // Builds every built key for which `uses` is true again; false (and
    // nothing replaced) when one fails.
    bool rebuildKeys(const std::function<bool(const ShaderKey&)>& uses);

    // The custom shader level a key selects, or none.
    static const CustomShader::LodLevel* customLevel(const ShaderKey& key);
    // The source text of a key before preprocessing. `sharedStartLine`,
    // when given, receives the line of the text at which the shared
    // sources begin.
    std::string assembleSource(const ShaderKey& key, int* sharedStartLine = nullptr) const;
    // "FILE(LINE)" of the shared source line that a line of a key's text
    // (as assembleSource made it) came from; empty before or past them.
    std::string locateSharedLine(int line, int sharedStartLine) const;
    // The cache file name (without "_vs.xml") of a preprocessed text.
    std::string getCacheName(const std::string& preprocessed) const;

    const ShaderDeviceCaps& getCaps() const { return m_caps; }
    const Stats& getStats() const { return m_stats; }
    const std::string& getUserCacheFolder() const { return m_userCacheFolder; }

private:
    using ShaderMap = std::unordered_map<ShaderKey, RefPtr<Shader>, ShaderKeyHash>;

    // Assembles and preprocesses the text of a key; false (logged) when the
    // preprocessor fails.
    bool preprocessKey(const ShaderKey& key, std::string& preprocessed,
                       int* sharedStartLine = nullptr);
    HotReloadResult reloadSharedSources();
    HotReloadResult reloadCustomShader(CustomShader& custom);

    RefPtr<Shader> buildStage(const ShaderKey& key, shaderinterface::Stage stage,
                              const std::string& preprocessed, const std::string& cacheName,
                              const std::vector<std::string>* customTextureNames);
    std::unique_ptr<IShaderObject> createObject(const ShaderCacheEntry& entry,
                                                shaderinterface::Stage stage);
    void writeErrorFile(const ShaderKey& key, shaderinterface::Stage stage,
                        const std::string& listing, const std::string& preprocessed) const;
    // The file and line of the listing's first message in the shared
    // sources, " (FILE(LINE))", or empty.
    std::string sharedSourceOfListing(const ShaderKey& key, const std::string& listing) const;

    IRenderDevice& m_device;
    std::string m_userCacheFolder;
    ShaderDeviceCaps m_caps;
    std::string m_sharedSource;
    // The line of the shared text at which each shared source begins.
    std::vector<std::pair<std::string, int>> m_sourceFirstLines;
    bool m_sourcesTried = false;
    ShaderMap m_vertexShaders;
    ShaderMap m_fragmentShaders;
    std::unordered_set<ShaderKey, ShaderKeyHash> m_failedKeys;
    Stats m_stats;
};

// Inserts each code injection at its "//customPos_NAME" marker (else at
// "/*customPos_NAME"); the marker must be followed by a character that
// cannot continue the name. Injections without a marker are skipped.
void injectCustomCode(std::string& text, const std::string& position, const std::string& code);
