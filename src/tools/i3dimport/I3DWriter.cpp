#include "I3DWriter.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <string_view>
#include <system_error>
#include <unordered_set>

#include "foundation/TextUtil.h"
#include "scene/i3d/I3DLoader.h"

namespace fs = std::filesystem;

namespace i3dimport {

namespace {

constexpr float kRadiansToDegrees = 57.295779513082320876f;

// ---- Values ----

std::string number(float value) {
    // Rounding noise around 0 is written as 0.
    if (!std::isfinite(value) || std::fabs(value) < 1e-6f) {
        value = 0.0f;
    }
    char buffer[32];
    std::snprintf(buffer, sizeof(buffer), "%.7g", static_cast<double>(value));
    return std::strcmp(buffer, "-0") == 0 ? "0" : buffer;
}

template <typename Values>
std::string numbers(const Values& values) {
    std::string text;
    for (float value : values) {
        if (!text.empty()) {
            text += ' ';
        }
        text += number(value);
    }
    return text;
}

std::string vector3(const Vector3& v) {
    return number(v.x) + " " + number(v.y) + " " + number(v.z);
}

// Euler angles in degrees in the order the loader composes them.
Vector3 eulerDegrees(const ImportKey& key) {
    ImportKey unscaled = key;
    unscaled.scale = {1.0f, 1.0f, 1.0f};
    unscaled.translation = {0.0f, 0.0f, 0.0f};
    Vector3 degrees = rotationFromMatrix(keyMatrix(unscaled)) * kRadiansToDegrees;
    for (int i = 0; i < 3; ++i) {
        // Rounding noise of the conversion is no angle.
        if (std::fabs(degrees[i]) < 1e-4f) {
            degrees[i] = 0.0f;
        }
    }
    return degrees;
}

// Bytes that are no valid UTF-8 (older formats often store Latin-1) would
// stop the XML parser; each such byte becomes "_".
std::string validUtf8(const std::string& text) {
    std::string out;
    size_t i = 0;
    while (i < text.size()) {
        const auto c = static_cast<unsigned char>(text[i]);
        size_t length = c < 0x80                   ? 1
                        : (c >= 0xC2 && c <= 0xDF) ? 2
                        : (c & 0xF0) == 0xE0       ? 3
                        : (c >= 0xF0 && c <= 0xF4) ? 4
                                                   : 0;
        bool valid = length > 0 && i + length <= text.size();
        for (size_t k = 1; valid && k < length; ++k) {
            valid = (static_cast<unsigned char>(text[i + k]) & 0xC0) == 0x80;
        }
        if (valid && length > 2) {
            // No overlong forms, no surrogates, nothing past U+10FFFF.
            const auto next = static_cast<unsigned char>(text[i + 1]);
            valid = !(c == 0xE0 && next < 0xA0) && !(c == 0xED && next >= 0xA0) &&
                    !(c == 0xF0 && next < 0x90) && !(c == 0xF4 && next >= 0x90);
        }
        if (valid) {
            out.append(text, i, length);
            i += length;
        } else {
            out += '_';
            ++i;
        }
    }
    return out;
}

// Names in the file: control characters (and for `blanks`, blanks) become
// "_", as do the characters `also` lists; an empty name takes `fallback`.
std::string cleanName(const std::string& name, const char* also, bool blanks,
                      const std::string& fallback) {
    std::string clean = validUtf8(name);
    for (char& c : clean) {
        unsigned char u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7f || (blanks && c == ' ') || std::strchr(also, c) != nullptr) {
            c = '_';
        }
    }
    return clean.empty() ? fallback : clean;
}

// Hands out names unique within one list: a repeated name gets "_2", "_3".
class UniqueNames {
public:
    std::string take(const std::string& name, const char* what,
                     std::vector<std::string>& warnings) {
        std::string unique = name;
        for (int n = 2; m_used.count(unique) != 0; ++n) {
            unique = name + "_" + std::to_string(n);
        }
        if (unique != name) {
            warnings.push_back(std::string(what) + " name " + name +
                               " is used more than once; written as " + unique);
        }
        m_used.insert(unique);
        return unique;
    }

private:
    std::unordered_set<std::string> m_used;
};

// A file name made of letters, digits, ".", "-" and "_" only, so it stays in
// the folder it is put into.
std::string safeFileName(const std::string& name) {
    std::string safe;
    for (char c : name) {
        bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                     c == '.' || c == '-' || c == '_';
        safe += plain ? c : '_';
    }
    safe.erase(0, safe.find_first_not_of('.'));
    return safe.empty() ? "texture" : safe;
}

bool isInside(const fs::path& folder, const fs::path& path) {
    auto f = folder.begin();
    auto p = path.begin();
    for (; f != folder.end(); ++f, ++p) {
        if (f->empty()) {
            continue;  // the trailing separator of a folder
        }
        if (p == path.end() || *f != *p) {
            return false;
        }
    }
    return true;
}

// ---- Texture files ----

struct PlannedFile {
    fs::path target;                             // where it is written; empty for a reference
    std::string source;                          // the file copied, or empty
    const std::vector<uint8_t>* data = nullptr;  // the bytes written
    std::string entry;                           // the path in the scene file, relative to it
};

class TexturePlan {
public:
    TexturePlan(const fs::path& outputFolder, const std::string& stem, const WriteOptions& options)
        : m_outputFolder(outputFolder),
          m_folderName(safeFileName(stem) + "_textures"),
          m_options(options) {}

    // The "File" entry name of a texture, or empty when it is left out.
    std::string add(const ImportTexture& texture, std::vector<std::string>& warnings) {
        // Images held in memory are one file per distinct content and name.
        std::string key =
            texture.sourcePath.empty()
                ? "embedded:" + texture.nameHint + ":" + std::to_string(texture.data.size()) + ":" +
                      std::to_string(std::hash<std::string_view>()(std::string_view(
                          reinterpret_cast<const char*>(texture.data.data()), texture.data.size())))
                : texture.sourcePath;
        auto known = m_entries.find(key);
        if (known != m_entries.end()) {
            return known->second;
        }
        PlannedFile file;
        if (texture.sourcePath.empty()) {
            if (texture.data.empty()) {
                return "";
            }
            std::string name = safeFileName(texture.nameHint);
            if (!texture.extension.empty()) {
                name = fs::path(name).replace_extension(safeFileName(texture.extension)).string();
            }
            file.target = targetFor(name);
            file.data = &texture.data;
        } else {
            std::error_code ec;
            if (!fs::is_regular_file(texture.sourcePath, ec)) {
                warnings.push_back("texture " + texture.sourcePath +
                                   " is not found; the map is left out");
                m_entries[key] = "";
                return "";
            }
            if (m_options.copyTextures) {
                file.target = targetFor(safeFileName(fs::path(texture.sourcePath).filename()));
                file.source = texture.sourcePath;
            } else {
                fs::path absolute = fs::absolute(texture.sourcePath, ec);
                file.entry =
                    fs::relative(absolute, fs::absolute(m_outputFolder), ec).generic_string();
                if (ec || file.entry.empty()) {
                    file.entry = absolute.generic_string();
                }
            }
        }
        if (!file.target.empty()) {
            file.entry = m_folderName + "/" + file.target.filename().string();
        }
        std::string entryName = "file" + std::to_string(m_files.size());
        m_files.push_back(file);
        m_entryNames.push_back(entryName);
        m_entries[key] = entryName;
        return entryName;
    }

    const std::vector<PlannedFile>& files() const { return m_files; }
    const std::vector<std::string>& entryNames() const { return m_entryNames; }
    fs::path folder() const { return m_outputFolder / m_folderName; }

private:
    fs::path targetFor(const std::string& name) {
        fs::path base(name);
        std::string stem = base.stem().string();
        std::string extension = base.extension().string();
        std::string unique = name;
        for (int n = 2; m_targets.count(unique) != 0; ++n) {
            unique = stem + "_" + std::to_string(n) + extension;
        }
        m_targets.insert(unique);
        return folder() / unique;
    }

    fs::path m_outputFolder;
    std::string m_folderName;
    WriteOptions m_options;
    std::map<std::string, std::string> m_entries;
    std::set<std::string> m_targets;
    std::vector<PlannedFile> m_files;
    std::vector<std::string> m_entryNames;
};

// ---- The document ----

class DocumentWriter {
public:
    DocumentWriter(const ImportScene& scene, const std::string& sceneName, TexturePlan& textures,
                   std::vector<std::string>& warnings)
        : m_scene(scene), m_sceneName(sceneName), m_textures(textures), m_warnings(warnings) {}

    std::string write();

private:
    void attribute(const char* name, const std::string& value) {
        m_out += ' ';
        m_out += name;
        m_out += "=\"";
        std::string text = validUtf8(value);
        for (char& c : text) {
            if (static_cast<unsigned char>(c) < 0x20) {
                c = '_';
            }
        }
        appendXmlEscaped(m_out, text);
        m_out += '"';
    }
    void indent(size_t depth) { m_out.append(depth * 2, ' '); }

    void nameEverything();
    void writeFiles();
    void writeMaterials();
    void writeMesh(uint32_t index);
    void writeNode(uint32_t index, size_t depth);
    void writeAnimation();
    void writeUserAttributes();
    bool rootIsWritten() const;

    const ImportScene& m_scene;
    std::string m_sceneName;
    TexturePlan& m_textures;
    std::vector<std::string>& m_warnings;
    std::string m_out;
    std::vector<std::string> m_nodeNames;
    std::vector<std::string> m_meshNames;
    std::vector<std::string> m_materialNames;
    // Per material: the file entries of its four maps.
    std::vector<std::array<std::string, 4>> m_materialFiles;
    std::vector<bool> m_materialUsed;
};

bool DocumentWriter::rootIsWritten() const {
    const ImportNode& root = m_scene.nodes[0];
    if (root.mesh >= 0 || root.camera >= 0 || root.light >= 0 ||
        root.body != ImportNode::Body::None || !root.attributes.empty() ||
        !(root.local == Matrix4::identity())) {
        return true;
    }
    for (const ImportClip& clip : m_scene.clips) {
        for (const ImportTrack& track : clip.tracks) {
            if (track.node == 0) {
                return true;
            }
        }
    }
    return false;
}

void DocumentWriter::nameEverything() {
    UniqueNames nodes;
    for (const ImportNode& node : m_scene.nodes) {
        // Bind node lists are blank separated.
        m_nodeNames.push_back(
            nodes.take(cleanName(node.name, "", true, "node"), "node", m_warnings));
    }
    UniqueNames meshes;
    for (const ImportMesh& mesh : m_scene.meshes) {
        m_meshNames.push_back(
            meshes.take(cleanName(mesh.name, "", false, "mesh"), "mesh", m_warnings));
    }
    // Only the materials some mesh draws with are written.
    m_materialUsed.assign(m_scene.materials.size(), false);
    for (const ImportMesh& mesh : m_scene.meshes) {
        for (uint32_t material : mesh.materials) {
            m_materialUsed[material] = true;
        }
    }
    UniqueNames materials;
    for (size_t index = 0; index < m_scene.materials.size(); ++index) {
        const ImportMaterial& material = m_scene.materials[index];
        std::array<std::string, 4>& files = m_materialFiles.emplace_back();
        if (!m_materialUsed[index]) {
            m_materialNames.emplace_back();
            continue;
        }
        // Shader lists are comma separated.
        m_materialNames.push_back(materials.take(cleanName(material.name, ",", false, "material"),
                                                 "material", m_warnings));
        const std::optional<ImportTexture>* maps[4] = {&material.baseColorMap, &material.normalMap,
                                                       &material.glossMap, &material.emissiveMap};
        for (int i = 0; i < 4; ++i) {
            if (maps[i]->has_value()) {
                files[i] = m_textures.add(**maps[i], m_warnings);
            }
        }
    }
}

void DocumentWriter::writeFiles() {
    const std::vector<PlannedFile>& files = m_textures.files();
    if (files.empty()) {
        return;
    }
    m_out += "  <Files>\n";
    for (size_t i = 0; i < files.size(); ++i) {
        m_out += "    <File";
        attribute("name", m_textures.entryNames()[i]);
        attribute("filename", files[i].entry);
        m_out += "/>\n";
    }
    m_out += "  </Files>\n";
}

void DocumentWriter::writeMaterials() {
    m_out += "  <Materials>\n";
    for (size_t i = 0; i < m_scene.materials.size(); ++i) {
        if (!m_materialUsed[i]) {
            continue;
        }
        const ImportMaterial& m = m_scene.materials[i];
        m_out += "    <Material";
        attribute("name", m_materialNames[i]);
        attribute("diffuseColor", numbers(m.diffuse));
        attribute("specularColor", numbers(m.specular));
        attribute("emissiveColor", numbers(m.emissive));
        attribute("cosPower", number(m.cosPower));
        if (m.emissiveCoeff != 1.0f) {
            attribute("emissiveCoeff", number(m.emissiveCoeff));
        }
        if (m.diffuse[3] < 1.0f || m.blend) {
            attribute("alphaBlending", "true");
        } else if (m.alphaTest > 0.0f) {
            attribute("alphaTest", number(m.alphaTest));
        }
        const bool anyMap = std::any_of(m_materialFiles[i].begin(), m_materialFiles[i].end(),
                                        [](const std::string& file) { return !file.empty(); });
        if (!anyMap) {
            m_out += "/>\n";
            continue;
        }
        m_out += ">\n";
        const char* elements[4] = {"Texture", "Normalmap", "Glossmap", "Emissivemap"};
        const std::optional<ImportTexture>* maps[4] = {&m.baseColorMap, &m.normalMap, &m.glossMap,
                                                       &m.emissiveMap};
        for (int map = 0; map < 4; ++map) {
            const std::string& file = m_materialFiles[i][map];
            if (file.empty()) {
                continue;
            }
            m_out += "      <";
            m_out += elements[map];
            attribute("file", file);
            if (!(*maps[map])->wrap) {
                attribute("wrap", "false");
            }
            if (map == 1 && m.bumpDepth != 1.0f) {
                attribute("bumpDepth", number(m.bumpDepth));
            }
            m_out += "/>\n";
        }
        m_out += "    </Material>\n";
    }
    m_out += "  </Materials>\n";
}

void DocumentWriter::writeMesh(uint32_t index) {
    const ImportMesh& mesh = m_scene.meshes[index];
    if (mesh.positions.size() > I3DLimits::kMaxMeshVertices ||
        mesh.triangles.size() > I3DLimits::kMaxMeshTriangles) {
        m_warnings.push_back("mesh " + mesh.name + ": " + std::to_string(mesh.positions.size()) +
                             " vertices and " + std::to_string(mesh.triangles.size()) +
                             " triangles; the scene loader reads at most " +
                             std::to_string(I3DLimits::kMaxMeshVertices) + " and " +
                             std::to_string(I3DLimits::kMaxMeshTriangles));
    }
    m_out += "    <IndexedFaceSet";
    attribute("name", m_meshNames[index]);
    m_out += ">\n      <Vertices>\n";
    for (const Vector3& p : mesh.positions) {
        m_out += "        <v c=\"" + vector3(p) + "\"/>\n";
    }
    m_out += "      </Vertices>\n      <Faces";
    std::string shaderList;
    for (uint32_t material : mesh.materials) {
        if (!shaderList.empty()) {
            shaderList += ',';
        }
        shaderList += m_materialNames[material];
    }
    attribute("shaderlist", shaderList);
    m_out += ">\n";
    const size_t count = mesh.positions.size();
    const bool normals = mesh.normals.size() == count;
    const bool uv0 = mesh.texCoords[0].size() == count;
    const bool uv1 = mesh.texCoords[1].size() == count;
    const bool colors = mesh.colors.size() == count;
    for (const ImportTriangle& t : mesh.triangles) {
        std::string vi, n, t0, t1, c;
        for (uint32_t v : t.vertices) {
            auto add = [](std::string& text, const std::string& value) {
                text += text.empty() ? value : " " + value;
            };
            add(vi, std::to_string(v));
            if (normals) {
                add(n, vector3(mesh.normals[v]));
            }
            if (uv0) {
                add(t0, numbers(mesh.texCoords[0][v]));
            }
            if (uv1) {
                add(t1, numbers(mesh.texCoords[1][v]));
            }
            if (colors) {
                add(c, numbers(mesh.colors[v]));
            }
        }
        m_out += "        <f vi=\"" + vi + "\"";
        if (normals) {
            m_out += " n=\"" + n + "\"";
        }
        if (uv0) {
            m_out += " t0=\"" + t0 + "\"";
        }
        if (uv1) {
            m_out += " t1=\"" + t1 + "\"";
        }
        if (colors) {
            m_out += " c=\"" + c + "\"";
        }
        if (t.material != 0) {
            m_out += " ci=\"" + std::to_string(t.material) + "\"";
        }
        m_out += "/>\n";
    }
    m_out += "      </Faces>\n";
    if (!mesh.bones.empty() && mesh.influences.size() == count) {
        m_out += "      <SkinWeights>\n";
        size_t unweighted = 0;
        for (const std::vector<ImportInfluence>& list : mesh.influences) {
            std::string w, bi;
            for (const ImportInfluence& influence : list) {
                w += (w.empty() ? "" : " ") + number(influence.weight);
                bi += (bi.empty() ? "" : " ") + std::to_string(influence.bone);
            }
            if (list.empty()) {
                // A vertex no bone moves would collapse to the skin's origin;
                // it follows the first bone instead.
                ++unweighted;
                w = "1";
                bi = "0";
            }
            m_out += "        <cv w=\"" + w + "\" bi=\"" + bi + "\"/>\n";
        }
        m_out += "      </SkinWeights>\n";
        if (unweighted > 0) {
            m_warnings.push_back("mesh " + mesh.name + ": " + std::to_string(unweighted) +
                                 " vertices without bone weights follow the first bone");
        }
    }
    m_out += "    </IndexedFaceSet>\n";
}

void DocumentWriter::writeNode(uint32_t index, size_t depth) {
    const ImportNode& node = m_scene.nodes[index];
    const char* element = node.camera >= 0  ? "Camera"
                          : node.light >= 0 ? "Light"
                          : node.mesh >= 0  ? "Shape"
                                            : "TransformGroup";
    indent(depth);
    m_out += '<';
    m_out += element;
    attribute("name", m_nodeNames[index]);
    ImportKey key;
    if (!decomposeMatrix(node.local, key)) {
        m_warnings.push_back("node " + node.name +
                             ": its transform has a shear, which a scene file cannot hold; "
                             "the nearest translation, rotation and scale are written");
    }
    if (key.translation != Vector3(0, 0, 0)) {
        attribute("translation", vector3(key.translation));
    }
    Vector3 rotation = eulerDegrees(key);
    if (rotation != Vector3(0, 0, 0)) {
        attribute("rotation", vector3(rotation));
    }
    if (key.scale != Vector3(1, 1, 1)) {
        attribute("scale", vector3(key.scale));
    }
    if (node.camera >= 0) {
        const ImportCamera& camera = m_scene.cameras[node.camera];
        attribute("fov", number(camera.fovDegrees));
        attribute("nearClip", number(camera.nearClip));
        attribute("farClip", number(camera.farClip));
    } else if (node.light >= 0) {
        const ImportLight& light = m_scene.lights[node.light];
        const char* types[] = {"directional", "point", "spot", "ambient"};
        attribute("type", types[light.type]);
        attribute("diffuseColor", vector3(light.diffuse));
        attribute("specularColor", vector3(light.specular));
        attribute("range", number(light.range));
        attribute("decayRate", std::to_string(light.decayRate));
        if (light.type == ImportLight::Spot) {
            attribute("coneAngle", number(light.coneAngleDegrees));
            attribute("dropOff", number(light.dropOff));
        }
    } else if (node.mesh >= 0) {
        attribute("ref", m_meshNames[node.mesh]);
        const ImportMesh& mesh = m_scene.meshes[node.mesh];
        if (!mesh.bones.empty()) {
            std::string bones;
            for (uint32_t bone : mesh.bones) {
                bones += (bones.empty() ? "" : " ") + m_nodeNames[bone];
            }
            attribute("skinBindNodes", bones);
        }
    }
    if (node.camera < 0 && node.light < 0) {
        if (node.body == ImportNode::Body::Static) {
            attribute("static", "true");
        } else if (node.body == ImportNode::Body::Dynamic) {
            attribute("dynamic", "true");
        }
        if (node.collisionMask) {
            attribute("collisionMask", std::to_string(*node.collisionMask));
        }
    }
    if (node.children.empty()) {
        m_out += "/>\n";
        return;
    }
    m_out += ">\n";
    for (uint32_t child : node.children) {
        writeNode(child, depth + 1);
    }
    indent(depth);
    m_out += "</";
    m_out += element;
    m_out += ">\n";
}

// One character set holds every animated node; each clip has a track for
// each of them, in the same order, so that the clips pair with the bound
// nodes. A node a clip does not move keeps its rest pose in that clip.
void DocumentWriter::writeAnimation() {
    std::set<uint32_t> animated;
    for (const ImportClip& clip : m_scene.clips) {
        for (const ImportTrack& track : clip.tracks) {
            if (!track.keys.empty()) {
                animated.insert(track.node);
            }
        }
    }
    if (animated.empty()) {
        return;
    }
    m_out += "  <Animation>\n    <CharacterSets>\n      <CharacterSet";
    attribute("name", m_sceneName);
    m_out += ">\n";
    for (const ImportClip& clip : m_scene.clips) {
        m_out += "        <Clip";
        attribute("name", clip.name);
        attribute("duration", number(clip.durationMs));
        m_out += ">\n";
        for (uint32_t node : animated) {
            std::vector<ImportKey> rest;
            const std::vector<ImportKey>* keys = nullptr;
            for (const ImportTrack& track : clip.tracks) {
                if (track.node == node && !track.keys.empty()) {
                    keys = &track.keys;
                }
            }
            if (keys == nullptr) {
                ImportKey key;
                decomposeMatrix(m_scene.nodes[node].local, key);
                rest.push_back(key);
                keys = &rest;
            }
            m_out += "          <Keyframes";
            attribute("node", m_nodeNames[node]);
            m_out += ">\n";
            // Angles that continue from key to key, with keys added where
            // blending each angle on its own would leave the source's turn.
            for (const EulerKey& key : eulerTrack(*keys)) {
                m_out += "            <Keyframe";
                attribute("time", number(key.timeMs));
                attribute("translation", vector3(key.translation));
                attribute("rotation", vector3(key.rotation * kRadiansToDegrees));
                attribute("scale", vector3(key.scale));
                m_out +=
                    " iptin=\"linear\" iptout=\"linear\" iprin=\"linear\" iprout=\"linear\" "
                    "ipsin=\"linear\" ipsout=\"linear\"/>\n";
            }
            m_out += "          </Keyframes>\n";
        }
        m_out += "        </Clip>\n";
    }
    m_out += "      </CharacterSet>\n    </CharacterSets>\n  </Animation>\n";
}

void DocumentWriter::writeUserAttributes() {
    bool any = false;
    for (uint32_t i = 0; i < m_scene.nodes.size(); ++i) {
        const ImportNode& node = m_scene.nodes[i];
        if (node.attributes.empty()) {
            continue;
        }
        if (!any) {
            m_out += "  <UserAttributes>\n";
            any = true;
        }
        m_out += "    <UserAttribute";
        attribute("name", m_nodeNames[i]);
        m_out += ">\n";
        const char* types[] = {"boolean", "integer", "float", "string"};
        for (const ImportAttribute& a : node.attributes) {
            m_out += "      <Attribute";
            attribute("name", a.name);
            attribute("type", types[a.type]);
            attribute("value", a.value);
            m_out += "/>\n";
        }
        m_out += "    </UserAttribute>\n";
    }
    if (any) {
        m_out += "  </UserAttributes>\n";
    }
}

std::string DocumentWriter::write() {
    nameEverything();
    m_out = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<i3D";
    attribute("name", m_sceneName);
    attribute("version", "1.5");
    m_out += ">\n";
    writeFiles();
    writeMaterials();
    m_out += "  <Shapes>\n";
    for (uint32_t i = 0; i < m_scene.meshes.size(); ++i) {
        writeMesh(i);
    }
    m_out += "  </Shapes>\n  <Scene>\n";
    if (!m_scene.nodes.empty()) {
        if (rootIsWritten()) {
            writeNode(0, 2);
        } else {
            for (uint32_t child : m_scene.nodes[0].children) {
                writeNode(child, 2);
            }
        }
    }
    m_out += "  </Scene>\n";
    writeAnimation();
    writeUserAttributes();
    m_out += "</i3D>\n";
    return m_out;
}

bool writeBytes(const fs::path& path, const char* data, size_t size) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(data, static_cast<std::streamsize>(size));
    out.close();
    return !out.fail();
}

}  // namespace

bool writeI3DScene(const ImportScene& scene, const std::string& outputPath,
                   const WriteOptions& options, std::vector<std::string>& warnings,
                   std::string& error) {
    std::error_code ec;
    const fs::path output = fs::absolute(outputPath, ec).lexically_normal();
    if (ec || output.filename().empty()) {
        error = "the output path " + outputPath + " names no file";
        return false;
    }
    const fs::path folder = output.parent_path();
    const std::string stem = output.stem().string();

    TexturePlan textures(folder, stem, options);
    DocumentWriter document(scene, stem, textures, warnings);
    const std::string text = document.write();

    // Check every target before writing any.
    std::vector<fs::path> targets{output};
    for (const PlannedFile& file : textures.files()) {
        if (!file.target.empty()) {
            targets.push_back(file.target);
        }
    }
    const fs::path realFolder = fs::weakly_canonical(folder, ec);
    for (const fs::path& target : targets) {
        fs::path real = fs::weakly_canonical(target, ec);
        if (ec || !isInside(realFolder, real)) {
            error = target.string() + " would lie outside the output folder " + folder.string();
            return false;
        }
        if (!options.force && fs::exists(fs::symlink_status(target, ec))) {
            error = target.string() + " exists; use --force to overwrite it";
            return false;
        }
    }

    std::vector<fs::path> written;
    auto undo = [&](const std::string& message) {
        for (const fs::path& path : written) {
            fs::remove(path, ec);
        }
        error = message;
        return false;
    };
    fs::create_directories(folder, ec);
    if (ec) {
        return undo("cannot create " + folder.string() + ": " + ec.message());
    }
    for (const PlannedFile& file : textures.files()) {
        if (file.target.empty()) {
            continue;
        }
        fs::create_directories(file.target.parent_path(), ec);
        if (file.data != nullptr) {
            if (!writeBytes(file.target, reinterpret_cast<const char*>(file.data->data()),
                            file.data->size())) {
                return undo("cannot write " + file.target.string());
            }
        } else if (fs::equivalent(file.source, file.target, ec)) {
            continue;  // the texture already lies where the scene wants it
        } else {
            fs::copy_file(file.source, file.target, fs::copy_options::overwrite_existing, ec);
            if (ec) {
                return undo("cannot copy " + file.source + " to " + file.target.string() + ": " +
                            ec.message());
            }
        }
        written.push_back(file.target);
    }
    // The scene file appears whole or not at all.
    fs::path temporary = output;
    temporary += ".tmp";
    if (!writeBytes(temporary, text.data(), text.size())) {
        fs::remove(temporary, ec);
        return undo("cannot write " + output.string());
    }
    fs::rename(temporary, output, ec);
    if (ec) {
        fs::remove(temporary, ec);
        return undo("cannot write " + output.string() + ": " + ec.message());
    }
    return true;
}

}  // namespace i3dimport
