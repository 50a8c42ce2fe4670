#include "render/material/CustomShader.h"

#include <algorithm>
#include <map>
#include <string>

#include "foundation/Log.h"
#include "foundation/TextUtil.h"
#include "foundation/XMLConfigFile.h"

namespace {

std::map<std::string, CustomShader*>& liveShaders() {
    static std::map<std::string, CustomShader*> shaders;
    return shaders;
}

struct RegistryEntry {
    CustomShader* shader = nullptr;
    std::vector<std::string> defineSets;
};

// Slot i holds index i + 1.
std::vector<RegistryEntry>& registry() {
    static std::vector<RegistryEntry> entries(CustomShaderRegistry::kMaxShaders);
    return entries;
}

std::string levelPath(size_t level) {
    return "CustomShader.LodLevel(" + std::to_string(level) + ")";
}

// Reads the entries j = 0, 1, ... of one list until `read(j, keep)` reports
// a missing one; more than kMaxEntriesPerList are dropped with a log line.
// The entry past the limit is only looked for (`keep` false), not kept.
template <typename ReadEntry>
void readList(const std::string& fileName, const char* what, ReadEntry read) {
    for (size_t j = 0;; ++j) {
        if (j == CustomShader::kMaxEntriesPerList) {
            if (read(j, false)) {
                Log::get() << "Warning: CustomShader " << fileName << ", more than "
                           << static_cast<uint32_t>(CustomShader::kMaxEntriesPerList) << " " << what
                           << " in one level, the rest is ignored\n";
            }
            return;
        }
        if (!read(j, true)) {
            return;
        }
    }
}

}  // namespace

CustomShader::CustomShader(std::string fileName) : m_fileName(std::move(fileName)) {}

CustomShader::~CustomShader() {
    if (m_index > 0) {
        CustomShaderRegistry::unregisterShader(m_index);
    }
    auto& live = liveShaders();
    auto found = live.find(m_fileName);
    if (found != live.end() && found->second == this) {
        live.erase(found);
    }
}

bool CustomShader::readLevels(std::vector<LodLevel>& levels) const {
    XMLConfigFile file(m_fileName, "TempConfig", false);
    if (file.isLoaded()) {
        for (size_t i = 0;; ++i) {
            const std::string path = levelPath(i);
            const char* start = file.getString((path + "#startDistance").c_str());
            if (start == nullptr) {
                break;
            }
            if (i == kMaxLodLevels) {
                Log::get() << "Warning: CustomShader " << m_fileName << ", more than "
                           << static_cast<uint32_t>(kMaxLodLevels)
                           << " lod levels, the rest is ignored\n";
                break;
            }
            LodLevel level;
            level.startDistance = readFloat(start);
            readList(m_fileName, "textures", [&](size_t j, bool keep) {
                const char* name = file.getString(
                    (path + ".Textures.Texture(" + std::to_string(j) + ")#name").c_str());
                if (name == nullptr) {
                    return false;
                }
                if (keep) {
                    level.textureNames.emplace_back(name);
                }
                return true;
            });
            readList(m_fileName, "parameters", [&](size_t j, bool keep) {
                const std::string entry = path + ".Parameters.Parameter(" + std::to_string(j) + ")";
                const char* name = file.getString((entry + "#name").c_str());
                const char* target = file.getString((entry + "#target").c_str());
                if (name == nullptr || target == nullptr) {
                    return false;
                }
                if (keep) {
                    level.parameters.push_back({name, target});
                }
                return true;
            });
            readList(m_fileName, "code injections", [&](size_t j, bool keep) {
                const std::string entry =
                    path + ".CodeInjections.CodeInjection(" + std::to_string(j) + ")";
                const char* position = file.getString((entry + "#position").c_str());
                if (position == nullptr) {
                    return false;
                }
                if (keep) {
                    const char* code = file.getString(entry.c_str());
                    level.codeInjections.push_back({position, code != nullptr ? code : ""});
                }
                return true;
            });
            levels.push_back(std::move(level));
        }
    }
    return file.isLoaded();
}

void CustomShader::load() {
    std::vector<LodLevel> levels;
    readLevels(levels);
    setLevels(std::move(levels));
}

bool CustomShader::reloadCode() {
    std::vector<LodLevel> levels;
    if (!readLevels(levels)) {
        Log::get() << "Error: CustomShader " << m_fileName << " cannot be read\n";
        return false;
    }
    if (!replaceCode(sortLevels(std::move(levels)))) {
        Log::get() << "Error: CustomShader " << m_fileName
                   << ": its levels, textures or parameters changed; only code injections and "
                      "start distances change while the game runs\n";
        return false;
    }
    return true;
}

bool CustomShader::replaceCode(const std::vector<LodLevel>& levels) {
    if (levels.size() != m_levels.size()) {
        return false;
    }
    for (size_t i = 0; i < levels.size(); ++i) {
        const LodLevel& now = m_levels[i];
        const LodLevel& next = levels[i];
        if (next.textureNames != now.textureNames ||
            next.parameters.size() != now.parameters.size()) {
            return false;
        }
        for (size_t j = 0; j < next.parameters.size(); ++j) {
            if (next.parameters[j].name != now.parameters[j].name ||
                next.parameters[j].target != now.parameters[j].target) {
                return false;
            }
        }
    }
    for (size_t i = 0; i < levels.size(); ++i) {
        m_levels[i].startDistance = levels[i].startDistance;
        m_levels[i].codeInjections = levels[i].codeInjections;
    }
    return true;
}

std::vector<CustomShader::LodLevel> CustomShader::sortLevels(std::vector<LodLevel> levels) {
    // Levels must start at rising distances: one that does not is dropped,
    // since the level for a distance would otherwise depend on the order
    // rather than on the distances.
    std::vector<LodLevel> sorted;
    sorted.reserve(levels.size() + 1);
    bool dropped = false;
    for (LodLevel& level : levels) {
        if (!sorted.empty() && !(level.startDistance > sorted.back().startDistance)) {
            dropped = true;
            continue;
        }
        sorted.push_back(std::move(level));
    }
    if (dropped) {
        Log::get() << "Error: CustomShader, lod distances have to be sorted\n";
    }
    // Declared levels are numbered from 1 when the first starts beyond 0:
    // an empty level from 0 covers the nearer distances.
    if (!sorted.empty() && sorted.front().startDistance > 0.0f) {
        LodLevel empty;
        empty.startDistance = 0.0f;
        sorted.insert(sorted.begin(), std::move(empty));
    }
    return sorted;
}

void CustomShader::setLevels(std::vector<LodLevel> levels) {
    m_levels = sortLevels(std::move(levels));
    if (m_index == 0) {
        m_index = CustomShaderRegistry::registerShader(this);
    }
    if (m_index == 0) {
        return;
    }
    // The builder selects a level through the key's LOD field; each level's
    // define set names the level for the shader sources.
    for (size_t i = 0; i < m_levels.size(); ++i) {
        m_levels[i].defineIndex = CustomShaderRegistry::registerLodDefines(
            m_index, "#define CUSTOM_SHADER_LOD_LEVEL " + std::to_string(i) + "\n");
    }
}

int32_t CustomShader::getLodLevel(float distance) const {
    int32_t result = -1;
    for (size_t i = 0; i < m_levels.size(); ++i) {
        if (m_levels[i].startDistance <= distance) {
            result = static_cast<int32_t>(i);
        }
    }
    return result;
}

namespace CustomShaderLibrary {

RefPtr<CustomShader> get(const std::string& fileName) {
    if (CustomShader* live = find(fileName)) {
        return RefPtr<CustomShader>(live);
    }
    RefPtr<CustomShader> shader(new CustomShader(fileName));
    liveShaders()[fileName] = shader.get();
    shader->load();
    return shader;
}

RefPtr<CustomShader> create(const std::string& name, std::vector<CustomShader::LodLevel> levels) {
    if (CustomShader* live = find(name)) {
        return RefPtr<CustomShader>(live);
    }
    RefPtr<CustomShader> shader(new CustomShader(name));
    liveShaders()[name] = shader.get();
    shader->setLevels(std::move(levels));
    return shader;
}

CustomShader* find(const std::string& fileName) {
    auto found = liveShaders().find(fileName);
    return found != liveShaders().end() ? found->second : nullptr;
}

}  // namespace CustomShaderLibrary

namespace CustomShaderRegistry {

int32_t registerShader(CustomShader* shader) {
    auto& entries = registry();
    for (size_t i = 0; i < entries.size(); ++i) {
        if (entries[i].shader == nullptr) {
            entries[i].shader = shader;
            entries[i].defineSets.clear();
            return static_cast<int32_t>(i + 1);
        }
    }
    Log::get() << "Error: too many custom defines\n";
    return 0;
}

void unregisterShader(int32_t index) {
    if (index >= 1 && index <= kMaxShaders) {
        registry()[index - 1] = RegistryEntry();
    }
}

int32_t registerLodDefines(int32_t index, const std::string& text) {
    if (index < 1 || index > kMaxShaders || registry()[index - 1].shader == nullptr) {
        return 0;
    }
    auto& sets = registry()[index - 1].defineSets;
    if (sets.size() >= static_cast<size_t>(kMaxDefineSets)) {
        Log::get() << "Error: too many custom defines\n";
        return 0;
    }
    sets.push_back(text);
    return static_cast<int32_t>(sets.size());
}

CustomShader* getShader(int32_t index) {
    return index >= 1 && index <= kMaxShaders ? registry()[index - 1].shader : nullptr;
}

const std::string* getLodDefines(int32_t index, int32_t defineSet) {
    if (getShader(index) == nullptr || defineSet < 1) {
        return nullptr;
    }
    const auto& sets = registry()[index - 1].defineSets;
    return static_cast<size_t>(defineSet) <= sets.size() ? &sets[defineSet - 1] : nullptr;
}

}  // namespace CustomShaderRegistry
