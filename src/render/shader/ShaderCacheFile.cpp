#include "render/shader/ShaderCacheFile.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include <unistd.h>

#include "foundation/File.h"
#include "foundation/Log.h"
#include "foundation/TextUtil.h"
#include "foundation/XMLConfigFile.h"

namespace {

using shaderinterface::ParamType;
using shaderinterface::SamplerKind;

// A whole decimal number within [minimum, maximum]; false otherwise.
bool parseBounded(const char* text, long minimum, long maximum, int& value) {
    if (text == nullptr || *text == '\0') {
        return false;
    }
    char* end = nullptr;
    long parsed = std::strtol(text, &end, 10);
    if (*end != '\0' || parsed < minimum || parsed > maximum) {
        return false;
    }
    value = static_cast<int>(parsed);
    return true;
}

// Exactly `count` finite floats separated by blanks.
bool parseInitialValue(const char* text, size_t count, std::vector<float>& values) {
    values.clear();
    const char* at = text;
    while (values.size() < count) {
        char* end = nullptr;
        float value = std::strtof(at, &end);
        if (end == at || !std::isfinite(value)) {
            values.clear();
            return false;
        }
        values.push_back(value);
        at = end;
    }
    while (*at == ' ') {
        ++at;
    }
    if (*at != '\0') {
        values.clear();
        return false;
    }
    return true;
}

bool fail(const std::string& path, const char* why) {
    Log::get() << "Error: shader cache file '" << path << "' " << why << "\n";
    return false;
}

}  // namespace

std::string formatShaderCacheFile(const ShaderCacheEntry& entry) {
    std::string out;
    out.reserve(entry.glsl.size() + 64 * entry.reflection.parameters.size() + 512);
    out += "<?xml version=\"1.0\" encoding=\"iso-8859-1\"?>\n\n<ShaderCache>\n";
    out += "  <ShaderCode type=\"glsl\" registers=\"";
    out += std::to_string(entry.reflection.numRegisters);
    out += "\">\n<![CDATA[";
    // A "]]>" inside the text would end the block: close the block between
    // "]]" and ">" and open a new one, which the reader joins again.
    size_t from = 0;
    for (size_t at = entry.glsl.find("]]>"); at != std::string::npos;
         at = entry.glsl.find("]]>", from)) {
        out.append(entry.glsl, from, at + 2 - from);
        out += "]]><![CDATA[";
        from = at + 2;
    }
    out.append(entry.glsl, from, std::string::npos);
    out += "]]>\n  </ShaderCode>\n\n  <Parameters>\n";
    for (const auto& parameter : entry.reflection.parameters) {
        out += "    <Parameter name=\"";
        appendXmlEscaped(out, parameter.name);
        out += "\" index=\"" + std::to_string(parameter.registerIndex) + "\" count=\"" +
               std::to_string(parameter.registerCount) + "\" type=\"" +
               std::to_string(static_cast<int>(parameter.type)) + "\"";
        if (!parameter.initialValue.empty()) {
            // The value a global was declared with, four floats a register.
            out += " init=\"";
            for (size_t i = 0; i < parameter.initialValue.size(); ++i) {
                char number[32];
                std::snprintf(number, sizeof(number), i == 0 ? "%.9g" : " %.9g",
                              parameter.initialValue[i]);
                out += number;
            }
            out += "\"";
        }
        out += "/>\n";
    }
    out += "  </Parameters>\n\n  <Samplers>\n";
    for (const auto& sampler : entry.reflection.samplers) {
        out += "    <Sampler name=\"";
        appendXmlEscaped(out, sampler.name);
        out += "\" glsl=\"";
        appendXmlEscaped(out, sampler.glslName);
        out += "\" unit=\"" + std::to_string(sampler.textureUnit) + "\" kind=\"" +
               std::to_string(static_cast<int>(sampler.kind)) + "\"/>\n";
    }
    out += "  </Samplers>\n\n</ShaderCache>\n";
    return out;
}

bool readShaderCacheFile(const std::string& path, shaderinterface::Stage stage,
                         const ShaderCacheLimits& limits, ShaderCacheEntry& entry) {
    std::unique_ptr<File> file = FileSystem::openFile(path, FileMode::Read);
    if (!file) {
        return fail(path, "cannot be opened");
    }
    XMLConfigFile xml(*file, path);
    if (!xml.isLoaded()) {
        return fail(path, "is not valid XML");
    }
    const char* type = xml.getString("ShaderCache.ShaderCode#type");
    if (type == nullptr || std::strcmp(type, "glsl") != 0) {
        Log::get() << "Error: invalid shader code type\n";
        return false;
    }
    entry = ShaderCacheEntry();
    entry.reflection.stage = stage;
    if (!xml.hasElement("ShaderCache.ShaderCode")) {
        return fail(path, "has no shader code");
    }
    entry.glsl = xml.getAllText("ShaderCache.ShaderCode");
    // Drop the line break the writer puts between the tag and the block.
    size_t start = entry.glsl.find_first_not_of(" \t\r\n");
    entry.glsl.erase(0, start == std::string::npos ? entry.glsl.size() : start);
    if (entry.glsl.empty()) {
        return fail(path, "has no shader code");
    }
    if (!parseBounded(xml.getString("ShaderCache.ShaderCode#registers"), 0, limits.maxRegisters,
                      entry.reflection.numRegisters)) {
        return fail(path, "has a register count beyond the device's limit");
    }
    const int numRegisters = entry.reflection.numRegisters;
    char key[96];
    for (int i = 0;; ++i) {
        std::snprintf(key, sizeof(key), "ShaderCache.Parameters.Parameter(%d)", i);
        std::string base = key;
        const char* name = xml.getString((base + "#name").c_str());
        if (name == nullptr) {
            break;
        }
        if (i >= limits.maxRegisters) {
            return fail(path, "lists more parameters than registers");
        }
        shaderinterface::ParameterInfo parameter;
        parameter.name = name;
        int type = 0;
        if (!parseBounded(xml.getString((base + "#index").c_str()), 0, numRegisters - 1,
                          parameter.registerIndex) ||
            !parseBounded(xml.getString((base + "#count").c_str()), 1, 4 * numRegisters,
                          parameter.registerCount) ||
            parameter.registerIndex + parameter.registerCount > numRegisters ||
            !parseBounded(xml.getString((base + "#type").c_str()), 0,
                          static_cast<int>(ParamType::Float4x4), type)) {
            return fail(path, "has a parameter outside its registers");
        }
        parameter.type = static_cast<ParamType>(type);
        if (const char* init = xml.getString((base + "#init").c_str())) {
            if (!parseInitialValue(init, static_cast<size_t>(parameter.registerCount) * 4,
                                   parameter.initialValue)) {
                return fail(path, "has a parameter whose initial value does not fit it");
            }
        }
        entry.reflection.parameters.push_back(std::move(parameter));
    }
    for (int i = 0;; ++i) {
        std::snprintf(key, sizeof(key), "ShaderCache.Samplers.Sampler(%d)", i);
        std::string base = key;
        const char* name = xml.getString((base + "#name").c_str());
        if (name == nullptr) {
            break;
        }
        const char* glsl = xml.getString((base + "#glsl").c_str());
        shaderinterface::SamplerInfo sampler;
        int kind = 0;
        if (glsl == nullptr || i >= limits.maxTextureUnits ||
            !parseBounded(xml.getString((base + "#unit").c_str()), 0, limits.maxTextureUnits - 1,
                          sampler.textureUnit) ||
            !parseBounded(xml.getString((base + "#kind").c_str()), 0,
                          static_cast<int>(SamplerKind::SamplerRect), kind)) {
            return fail(path, "has a sampler beyond the device's texture units");
        }
        sampler.name = name;
        sampler.glslName = glsl;
        sampler.kind = static_cast<SamplerKind>(kind);
        entry.reflection.samplers.push_back(std::move(sampler));
    }
    return true;
}

bool writeFileAtomically(const std::string& path, const std::string& text) {
    std::string temporary = path + ".tmp" + std::to_string(static_cast<long>(getpid()));
    FILE* stream = std::fopen(temporary.c_str(), "wb");
    if (stream == nullptr) {
        return false;
    }
    bool ok = std::fwrite(text.data(), 1, text.size(), stream) == text.size();
    ok = std::fclose(stream) == 0 && ok;
    if (!ok || std::rename(temporary.c_str(), path.c_str()) != 0) {
        std::remove(temporary.c_str());
        return false;
    }
    return true;
}
