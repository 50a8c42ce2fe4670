#include "GltfExtensions.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstring>
#include <iterator>

namespace i3dimport {

namespace {

// Walks the top level of one JSON object: keys and the extent of their
// values, strings with their escapes; values are skipped, not parsed.
class JsonScanner {
public:
    JsonScanner(const std::string& text, size_t start) : m_text(text), m_pos(start) {}

    bool at(char c) {
        skipBlanks();
        if (m_pos < m_text.size() && m_text[m_pos] == c) {
            ++m_pos;
            return true;
        }
        return false;
    }

    // A string at the current place; false when there is none.
    bool string(std::string& out) {
        skipBlanks();
        if (m_pos >= m_text.size() || m_text[m_pos] != '"') {
            return false;
        }
        out.clear();
        for (++m_pos; m_pos < m_text.size(); ++m_pos) {
            char c = m_text[m_pos];
            if (c == '"') {
                ++m_pos;
                return true;
            }
            if (c == '\\' && m_pos + 1 < m_text.size()) {
                c = m_text[++m_pos];
                // Extension names are plain ASCII; other escapes keep their
                // letter, which is enough to tell names apart.
                const char* from = "bfnrt";
                const char* to = "\b\f\n\r\t";
                const char* found = std::strchr(from, c);
                out += found != nullptr && c != '\0' ? to[found - from] : c;
                continue;
            }
            out += c;
        }
        return false;
    }

    // Skips one value of any kind: a string, a nested object or array, a
    // number or a literal.
    bool skipValue() {
        skipBlanks();
        if (m_pos >= m_text.size()) {
            return false;
        }
        std::string ignored;
        if (m_text[m_pos] == '"') {
            return string(ignored);
        }
        if (m_text[m_pos] != '{' && m_text[m_pos] != '[') {
            while (m_pos < m_text.size() && std::strchr(",}] \t\r\n", m_text[m_pos]) == nullptr) {
                ++m_pos;
            }
            return true;
        }
        size_t depth = 0;
        while (m_pos < m_text.size()) {
            const char c = m_text[m_pos];
            if (c == '"') {
                if (!string(ignored)) {
                    return false;
                }
                continue;
            }
            ++m_pos;
            if (c == '{' || c == '[') {
                ++depth;
            } else if (c == '}' || c == ']') {
                if (--depth == 0) {
                    return true;
                }
            }
        }
        return false;
    }

private:
    void skipBlanks() {
        while (m_pos < m_text.size() && std::isspace(static_cast<unsigned char>(m_text[m_pos]))) {
            ++m_pos;
        }
    }

    const std::string& m_text;
    size_t m_pos;
};

uint32_t readU32(const std::string& bytes, size_t at) {
    uint32_t value = 0;
    for (int i = 3; i >= 0; --i) {
        value = (value << 8) | static_cast<uint8_t>(bytes[at + i]);
    }
    return value;
}

}  // namespace

std::vector<std::string> requiredGltfExtensions(const std::string& json) {
    std::vector<std::string> required;
    // A byte order mark may precede the text.
    JsonScanner scanner(json, json.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0);
    if (!scanner.at('{')) {
        return required;
    }
    std::string key;
    while (scanner.string(key) && scanner.at(':')) {
        if (key == "extensionsRequired" && scanner.at('[')) {
            std::string name;
            while (scanner.string(name)) {
                required.push_back(name);
                if (!scanner.at(',')) {
                    break;
                }
            }
            if (!scanner.at(']')) {
                return required;
            }
        } else if (!scanner.skipValue()) {
            return required;
        }
        if (!scanner.at(',')) {
            break;
        }
    }
    return required;
}

std::string gltfJson(const std::string& bytes) {
    // Header: "glTF", version, length; then chunks of length, type, data,
    // the first of them JSON.
    if (bytes.compare(0, 4, "glTF") != 0) {
        return bytes;
    }
    if (bytes.size() < 20 || readU32(bytes, 16) != 0x4E4F534Au) {
        return {};
    }
    const uint64_t length = readU32(bytes, 12);
    return bytes.substr(20, static_cast<size_t>(std::min<uint64_t>(length, bytes.size() - 20)));
}

std::vector<std::string> undecodedGltfExtensions(const std::vector<std::string>& required) {
    // What the model library reads into the scene and the importer carries
    // on (or warns about where a scene file cannot hold it).
    static const char* const kDecoded[] = {
        "KHR_binary_glTF",
        "KHR_draco_mesh_compression",
        "KHR_lights_punctual",
        "KHR_materials_clearcoat",
        "KHR_materials_common",
        "KHR_materials_ior",
        "KHR_materials_pbrSpecularGlossiness",
        "KHR_materials_sheen",
        "KHR_materials_transmission",
        "KHR_materials_unlit",
        "KHR_materials_volume",
        "KHR_texture_transform",
    };
    std::vector<std::string> undecoded;
    for (const std::string& name : required) {
        const bool decoded = std::any_of(std::begin(kDecoded), std::end(kDecoded),
                                         [&](const char* known) { return name == known; });
        if (!decoded && std::find(undecoded.begin(), undecoded.end(), name) == undecoded.end()) {
            undecoded.push_back(name);
        }
    }
    return undecoded;
}

}  // namespace i3dimport
