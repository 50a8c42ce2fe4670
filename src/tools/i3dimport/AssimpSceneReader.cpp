#include "AssimpSceneReader.h"

#include "GltfExtensions.h"

#include <assimp/GltfMaterial.h>
#include <assimp/scene.h>

#include <assimp/postprocess.h>
#include <algorithm>
#include <assimp/Importer.hpp>
#include <cctype>
#include <climits>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <unordered_map>

namespace i3dimport {

namespace {

constexpr float kRadiansToDegrees = 57.295779513082320876f;
// Deeper nodes would not be made by the scene loader.
constexpr size_t kMaxNodeDepth = 512;

Matrix4 toMatrix(const aiMatrix4x4& a) {
    const float values[16] = {a.a1, a.b1, a.c1, a.d1, a.a2, a.b2, a.c2, a.d2,
                              a.a3, a.b3, a.c3, a.d3, a.a4, a.b4, a.c4, a.d4};
    return Matrix4::fromArray(values);
}

Vector3 toVector(const aiVector3D& v) {
    return {v.x, v.y, v.z};
}

bool nearlyEqual(const Matrix4& a, const Matrix4& b) {
    float scale = 1.0f;
    for (int i = 0; i < 16; ++i) {
        scale = std::max(scale, std::fabs(a.m[i]));
    }
    for (int i = 0; i < 16; ++i) {
        if (std::fabs(a.m[i] - b.m[i]) > 1e-3f * scale) {
            return false;
        }
    }
    return true;
}

// The frame whose -Z looks along `direction` with +Y towards `up`: how
// cameras and lights of the scene file are oriented.
Matrix4 lookFrame(Vector3 direction, const Vector3& up) {
    if (dot(direction, direction) == 0.0f) {
        direction = {0, 0, -1};
    }
    Vector3 z = normalize(-direction);
    Vector3 x = cross(up, z);
    if (dot(x, x) < 1e-12f) {
        x = cross(std::fabs(z.y) < 0.9f ? Vector3(0, 1, 0) : Vector3(1, 0, 0), z);
    }
    x = normalize(x);
    Matrix4 m;
    m.setColumn(0, x);
    m.setColumn(1, cross(z, x));
    m.setColumn(2, z);
    return m;
}

// ".gltf" for "Model.GLTF".
std::string lowerExtension(const std::string& path) {
    std::string extension = std::filesystem::path(path).extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension;
}

const char* textureTypeName(aiTextureType type) {
    switch (type) {
        case aiTextureType_AMBIENT:
            return "ambient";
        case aiTextureType_OPACITY:
            return "opacity";
        case aiTextureType_DISPLACEMENT:
            return "displacement";
        case aiTextureType_LIGHTMAP:
            return "light or ambient occlusion";
        case aiTextureType_REFLECTION:
            return "reflection";
        case aiTextureType_METALNESS:
            return "metalness";
        case aiTextureType_DIFFUSE_ROUGHNESS:
            return "roughness";
        case aiTextureType_AMBIENT_OCCLUSION:
            return "ambient occlusion";
        case aiTextureType_SHEEN:
            return "sheen";
        case aiTextureType_CLEARCOAT:
            return "clearcoat";
        case aiTextureType_TRANSMISSION:
            return "transmission";
        case aiTextureType_UNKNOWN:
            return "metallic-roughness or other";
        default:
            return "other";
    }
}

class Reader {
public:
    Reader(const aiScene& source, const std::string& path, ImportScene& scene)
        : m_source(source), m_folder(std::filesystem::path(path).parent_path()), m_scene(scene) {
        const std::string extension = lowerExtension(path);
        m_gltf = extension == ".gltf" || extension == ".glb";
        m_obj = extension == ".obj";
    }

    void read();

private:
    void warn(const std::string& text) { m_scene.warnings.push_back(text); }
    // Notes about a material, kept until it is known to be drawn with.
    void warnMaterial(const std::string& text) { m_materialWarnings.back().push_back(text); }
    void readNodes();
    void readProperties(const aiNode& source, ImportNode& node);
    void readMaterials();
    void readAlphaMode(const aiMaterial& source, ImportMaterial& material);
    std::optional<ImportTexture> readMap(const aiMaterial& material, const std::string& name,
                                         aiTextureType type, aiTextureType fallback);
    void readMeshes();
    int32_t buildMesh(const aiNode& node, uint32_t nodeIndex);
    void placeSkin(ImportMesh& mesh, uint32_t nodeIndex, const std::vector<Matrix4>& offsets);
    void readCameras();
    void readLights();
    void orient(uint32_t nodeIndex, const Matrix4& frame);
    void readAnimations();
    int32_t nodeNamed(const aiString& name) const {
        auto found = m_byName.find(name.C_Str());
        return found != m_byName.end() ? static_cast<int32_t>(found->second) : -1;
    }

    const aiScene& m_source;
    std::filesystem::path m_folder;
    ImportScene& m_scene;
    std::vector<const aiNode*> m_sourceNodes;
    std::unordered_map<std::string, uint32_t> m_byName;
    // Unskinned meshes are shared by every node that draws the same list.
    std::map<std::vector<unsigned>, int32_t> m_meshCache;
    std::vector<std::vector<std::string>> m_materialWarnings;
    bool m_gltf = false;
    bool m_obj = false;
};

void Reader::read() {
    readNodes();
    readMaterials();
    readMeshes();
    std::vector<bool> used(m_scene.materials.size(), false);
    for (const ImportMesh& mesh : m_scene.meshes) {
        for (uint32_t material : mesh.materials) {
            used[material] = true;
        }
    }
    for (size_t i = 0; i < m_materialWarnings.size(); ++i) {
        if (used[i]) {
            m_scene.warnings.insert(m_scene.warnings.end(), m_materialWarnings[i].begin(),
                                    m_materialWarnings[i].end());
        }
    }
    readCameras();
    readLights();
    readAnimations();
    limitSkinInfluences(m_scene);
}

void Reader::readNodes() {
    struct Pending {
        const aiNode* node;
        int32_t parent;
        size_t depth;
    };
    std::vector<Pending> stack{{m_source.mRootNode, -1, 0}};
    size_t tooDeep = 0;
    while (!stack.empty()) {
        Pending p = stack.back();
        stack.pop_back();
        if (p.depth > kMaxNodeDepth) {
            ++tooDeep;
            continue;
        }
        uint32_t index = static_cast<uint32_t>(m_scene.nodes.size());
        ImportNode& node = m_scene.nodes.emplace_back();
        node.name = p.node->mName.C_Str();
        node.parent = p.parent;
        node.local = toMatrix(p.node->mTransformation);
        if (p.parent >= 0) {
            m_scene.nodes[p.parent].children.push_back(index);
        }
        readProperties(*p.node, node);
        m_sourceNodes.push_back(p.node);
        m_byName.emplace(node.name, index);
        for (unsigned i = p.node->mNumChildren; i-- > 0;) {
            stack.push_back({p.node->mChildren[i], static_cast<int32_t>(index), p.depth + 1});
        }
    }
    if (tooDeep > 0) {
        warn(std::to_string(tooDeep) + " nodes nested deeper than " +
             std::to_string(kMaxNodeDepth) + " levels are left out");
    }
}

// Custom properties (glTF "extras", properties of other formats) become
// user attributes; integers beyond 32 bits are kept as text.
void Reader::readProperties(const aiNode& source, ImportNode& node) {
    const aiMetadata* metadata = source.mMetaData;
    if (metadata == nullptr) {
        return;
    }
    for (unsigned i = 0; i < metadata->mNumProperties; ++i) {
        const aiMetadataEntry& entry = metadata->mValues[i];
        if (entry.mData == nullptr) {
            continue;
        }
        ImportAttribute attribute;
        attribute.name = metadata->mKeys[i].C_Str();
        // Settings the FBX reader records on every node are no properties
        // of the user's.
        static const char* const kReaderSettings[] = {"IsNull", "DefaultAttributeIndex",
                                                      "InheritType", "RotationActive"};
        if (std::any_of(std::begin(kReaderSettings), std::end(kReaderSettings),
                        [&](const char* key) { return attribute.name == key; })) {
            continue;
        }
        if (attribute.name == "UserProperties" && entry.mType == AI_AISTRING &&
            static_cast<const aiString*>(entry.mData)->length == 0) {
            continue;
        }
        auto integer = [&attribute](long double value) {
            if (value >= INT32_MIN && value <= INT32_MAX) {
                attribute.type = ImportAttribute::Integer;
            }
            attribute.value = std::to_string(static_cast<long long>(value));
        };
        switch (entry.mType) {
            case AI_BOOL:
                attribute.type = ImportAttribute::Boolean;
                attribute.value = *static_cast<const bool*>(entry.mData) ? "true" : "false";
                break;
            case AI_INT32:
                integer(*static_cast<const int32_t*>(entry.mData));
                break;
            case AI_UINT64:
                integer(static_cast<long double>(*static_cast<const uint64_t*>(entry.mData)));
                break;
            case AI_FLOAT:
                attribute.type = ImportAttribute::Float;
                attribute.value = std::to_string(*static_cast<const float*>(entry.mData));
                break;
            case AI_DOUBLE:
                attribute.type = ImportAttribute::Float;
                attribute.value = std::to_string(*static_cast<const double*>(entry.mData));
                break;
            case AI_AISTRING:
                attribute.value = static_cast<const aiString*>(entry.mData)->C_Str();
                break;
            case AI_AIVECTOR3D: {
                const auto* v = static_cast<const aiVector3D*>(entry.mData);
                attribute.value =
                    std::to_string(v->x) + " " + std::to_string(v->y) + " " + std::to_string(v->z);
                break;
            }
            default:
                warn("node " + node.name + ": the nested property " + attribute.name +
                     " cannot be held and is left out");
                continue;
        }
        node.attributes.push_back(std::move(attribute));
    }
}

std::optional<ImportTexture> Reader::readMap(const aiMaterial& material, const std::string& name,
                                             aiTextureType type, aiTextureType fallback) {
    if (material.GetTextureCount(type) == 0) {
        type = fallback;
    }
    unsigned count = material.GetTextureCount(type);
    if (count == 0) {
        return std::nullopt;
    }
    if (count > 1) {
        warnMaterial("material " + name + ": " + std::to_string(count - 1) +
                     " layered textures of one map are left out; only the first is used");
    }
    aiString file;
    unsigned uvIndex = 0;
    aiTextureMapMode modes[2] = {aiTextureMapMode_Wrap, aiTextureMapMode_Wrap};
    if (material.GetTexture(type, 0, &file, nullptr, &uvIndex, nullptr, nullptr, modes) !=
        AI_SUCCESS) {
        return std::nullopt;
    }
    if (uvIndex != 0) {
        warnMaterial("material " + name + ": a map uses texture coordinate set " +
                     std::to_string(uvIndex) + "; scene file maps use the first set");
    }
    aiUVTransform transform;
    if (material.Get(AI_MATKEY_UVTRANSFORM(type, 0), transform) == AI_SUCCESS &&
        (transform.mScaling != aiVector2D(1, 1) || transform.mTranslation != aiVector2D(0, 0) ||
         transform.mRotation != 0.0f)) {
        warnMaterial("material " + name + ": a texture transform cannot be held and is left out");
    }
    ImportTexture texture;
    texture.wrap = modes[0] != aiTextureMapMode_Clamp && modes[0] != aiTextureMapMode_Decal;
    std::string fileName = file.C_Str();
    if (const aiTexture* embedded = m_source.GetEmbeddedTexture(file.C_Str())) {
        if (embedded->mHeight != 0) {
            warnMaterial(
                "material " + name +
                ": an embedded texture of raw pixels cannot be written; the map is left out");
            return std::nullopt;
        }
        const auto* bytes = reinterpret_cast<const uint8_t*>(embedded->pcData);
        texture.data.assign(bytes, bytes + embedded->mWidth);
        texture.extension = embedded->achFormatHint;
        std::string hint = embedded->mFilename.length > 0 ? embedded->mFilename.C_Str() : "";
        texture.nameHint = hint.empty() || hint[0] == '*'
                               ? name + "_" + std::to_string(static_cast<int>(type))
                               : std::filesystem::path(hint).stem().string();
        return texture;
    }
    std::replace(fileName.begin(), fileName.end(), '\\', '/');
    std::filesystem::path path(fileName);
    texture.sourcePath = (path.is_absolute() ? path : m_folder / path).lexically_normal().string();
    texture.nameHint = path.stem().string();
    // Files made elsewhere often name their textures where they lay on the
    // author's machine ("C:/Users/..." or "/home/..."); an image of that
    // name beside the model is the one meant.
    std::error_code ec;
    const std::string baseName = fileName.substr(fileName.find_last_of('/') + 1);
    const std::filesystem::path beside = (m_folder / baseName).lexically_normal();
    if (!baseName.empty() && !std::filesystem::is_regular_file(texture.sourcePath, ec) &&
        std::filesystem::is_regular_file(beside, ec)) {
        warnMaterial("material " + name + ": texture " + fileName + " is not found there; " +
                     beside.string() + " beside the model is used");
        texture.sourcePath = beside.string();
    }
    return texture;
}

// glTF says how the base colour's alpha is used: not at all ("OPAQUE"),
// blended ("BLEND") or as a cutoff ("MASK"). A cutoff of an untextured
// colour decides once whether the surface shows; with a texture it becomes
// the material's alpha test, which compares the texture's alpha alone, so
// the colour's alpha scales the cutoff instead.
void Reader::readAlphaMode(const aiMaterial& source, ImportMaterial& m) {
    aiString text;
    if (source.Get(AI_MATKEY_GLTF_ALPHAMODE, text) != AI_SUCCESS) {
        return;
    }
    const std::string mode = text.C_Str();
    if (mode == "OPAQUE") {
        m.diffuse[3] = 1.0f;
    } else if (mode == "BLEND") {
        m.blend = true;
    } else if (mode == "MASK") {
        float cutoff = 0.5f;
        source.Get(AI_MATKEY_GLTF_ALPHACUTOFF, cutoff);
        if (m.baseColorMap) {
            const float scale = m.diffuse[3];
            m.alphaTest = scale > 0.0f ? std::clamp(cutoff / scale, 0.0f, 1.0f) : 1.0f;
            m.diffuse[3] = 1.0f;
        } else {
            m.diffuse[3] = m.diffuse[3] >= cutoff ? 1.0f : 0.0f;
        }
    }
}

void Reader::readMaterials() {
    const aiTextureType others[] = {aiTextureType_AMBIENT,
                                    aiTextureType_OPACITY,
                                    aiTextureType_DISPLACEMENT,
                                    aiTextureType_LIGHTMAP,
                                    aiTextureType_REFLECTION,
                                    aiTextureType_METALNESS,
                                    aiTextureType_DIFFUSE_ROUGHNESS,
                                    aiTextureType_AMBIENT_OCCLUSION,
                                    aiTextureType_SHEEN,
                                    aiTextureType_CLEARCOAT,
                                    aiTextureType_TRANSMISSION,
                                    aiTextureType_UNKNOWN};
    for (unsigned i = 0; i < m_source.mNumMaterials; ++i) {
        const aiMaterial& source = *m_source.mMaterials[i];
        ImportMaterial& m = m_scene.materials.emplace_back();
        m_materialWarnings.emplace_back();
        aiString name;
        m.name = source.Get(AI_MATKEY_NAME, name) == AI_SUCCESS ? name.C_Str() : "";
        if (m.name.empty()) {
            m.name = "material" + std::to_string(i);
        }
        aiColor4D diffuse;
        if (source.Get(AI_MATKEY_COLOR_DIFFUSE, diffuse) == AI_SUCCESS ||
            source.Get(AI_MATKEY_BASE_COLOR, diffuse) == AI_SUCCESS) {
            m.diffuse = {diffuse.r, diffuse.g, diffuse.b, diffuse.a};
        }
        float opacity = 1.0f;
        if (source.Get(AI_MATKEY_OPACITY, opacity) == AI_SUCCESS) {
            m.diffuse[3] = std::min(m.diffuse[3], opacity);
        }
        m.colourScalesMaps = m_gltf || m_obj;
        aiColor3D color;
        if (source.Get(AI_MATKEY_COLOR_SPECULAR, color) == AI_SUCCESS) {
            float strength = 1.0f;
            source.Get(AI_MATKEY_SHININESS_STRENGTH, strength);
            m.specular = {color.r * strength, color.g * strength, color.b * strength};
        }
        if (source.Get(AI_MATKEY_COLOR_EMISSIVE, color) == AI_SUCCESS) {
            m.emissive = {color.r, color.g, color.b};
        }
        // FBX files also keep the resulting emissive colour in a property
        // of its own; some writers fill only that one.
        if (m.emissive == std::array<float, 3>{0.0f, 0.0f, 0.0f} &&
            source.Get("$raw.Emissive", 0, 0, color) == AI_SUCCESS) {
            m.emissive = {color.r, color.g, color.b};
        }
        float shininess = 0.0f;
        if (source.Get(AI_MATKEY_SHININESS, shininess) == AI_SUCCESS && shininess > 0.0f) {
            m.cosPower = shininess;
        }
        float metallic = 0.0f;
        if (source.Get(AI_MATKEY_METALLIC_FACTOR, metallic) == AI_SUCCESS && metallic > 0.0f) {
            warnMaterial(
                "material " + m.name +
                ": metallic shading cannot be held; the diffuse and specular colours are used");
        }
        int twoSided = 0;
        if (source.Get(AI_MATKEY_TWOSIDED, twoSided) == AI_SUCCESS && twoSided != 0) {
            warnMaterial("material " + m.name + ": two-sided drawing cannot be held");
        }
        m.baseColorMap = readMap(source, m.name, aiTextureType_BASE_COLOR, aiTextureType_DIFFUSE);
        readAlphaMode(source, m);
        m.normalMap = readMap(source, m.name, aiTextureType_NORMALS, aiTextureType_HEIGHT);
        m.glossMap = readMap(source, m.name, aiTextureType_SHININESS, aiTextureType_SPECULAR);
        m.emissiveMap =
            readMap(source, m.name, aiTextureType_EMISSIVE, aiTextureType_EMISSION_COLOR);
        if (m.normalMap) {
            float bump = 1.0f;
            if (source.Get(AI_MATKEY_BUMPSCALING, bump) == AI_SUCCESS && bump > 0.0f) {
                m.bumpDepth = bump;
            }
        }
        for (aiTextureType type : others) {
            if (source.GetTextureCount(type) > 0) {
                warnMaterial("material " + m.name + ": its " + textureTypeName(type) +
                             " map cannot be held and is left out");
            }
        }
    }
    if (m_scene.materials.empty()) {
        m_scene.materials.emplace_back().name = "default";
    }
}

void Reader::readMeshes() {
    const size_t count = m_scene.nodes.size();
    for (uint32_t i = 0; i < count; ++i) {
        const aiNode& node = *m_sourceNodes[i];
        if (node.mNumMeshes == 0) {
            continue;
        }
        int32_t mesh = buildMesh(node, i);
        if (mesh < 0) {
            continue;
        }
        m_scene.nodes[i].mesh = mesh;
    }
}

// The meshes a node draws become one mesh whose shader list has one entry
// per material.
int32_t Reader::buildMesh(const aiNode& node, uint32_t nodeIndex) {
    std::vector<unsigned> parts;
    bool skinned = false;
    for (unsigned k = 0; k < node.mNumMeshes; ++k) {
        unsigned index = node.mMeshes[k];
        const aiMesh& part = *m_source.mMeshes[index];
        if ((part.mPrimitiveTypes & aiPrimitiveType_TRIANGLE) == 0) {
            warn("mesh " + std::string(part.mName.C_Str()) + " of node " + node.mName.C_Str() +
                 ": points and lines cannot be held and are left out");
            continue;
        }
        parts.push_back(index);
        skinned = skinned || part.mNumBones > 0;
    }
    if (parts.empty()) {
        return -1;
    }
    if (!skinned) {
        auto cached = m_meshCache.find(parts);
        if (cached != m_meshCache.end()) {
            return cached->second;
        }
    }
    ImportMesh mesh;
    mesh.name = parts.size() == 1 && m_source.mMeshes[parts[0]]->mName.length > 0
                    ? m_source.mMeshes[parts[0]]->mName.C_Str()
                    : node.mName.C_Str();
    bool anyNormals = false, anyColors = false, anyUv[2] = {false, false};
    for (unsigned index : parts) {
        const aiMesh& part = *m_source.mMeshes[index];
        anyNormals = anyNormals || part.HasNormals();
        anyColors = anyColors || part.HasVertexColors(0);
        anyUv[0] = anyUv[0] || part.HasTextureCoords(0);
        anyUv[1] = anyUv[1] || part.HasTextureCoords(1);
    }
    std::vector<Matrix4> offsets;
    bool colorAlpha = false;
    for (unsigned index : parts) {
        const aiMesh& part = *m_source.mMeshes[index];
        const uint32_t first = static_cast<uint32_t>(mesh.positions.size());
        const std::string partName = part.mName.C_Str();
        for (unsigned v = 0; v < part.mNumVertices; ++v) {
            mesh.positions.push_back(toVector(part.mVertices[v]));
            if (anyNormals) {
                mesh.normals.push_back(part.HasNormals() ? toVector(part.mNormals[v])
                                                         : Vector3(0, 0, 0));
            }
            for (int set = 0; set < 2; ++set) {
                if (anyUv[set]) {
                    const aiVector3D uv = part.HasTextureCoords(set) ? part.mTextureCoords[set][v]
                                                                     : aiVector3D(0, 0, 0);
                    mesh.texCoords[set].push_back({uv.x, uv.y});
                }
            }
            if (anyColors) {
                aiColor4D c = part.HasVertexColors(0) ? part.mColors[0][v] : aiColor4D(1, 1, 1, 1);
                colorAlpha = colorAlpha || c.a < 1.0f;
                mesh.colors.push_back({c.r, c.g, c.b});
            }
        }
        for (int set = 2; set < AI_MAX_NUMBER_OF_TEXTURECOORDS; ++set) {
            if (part.HasTextureCoords(set)) {
                warn("mesh " + partName + ": texture coordinate set " + std::to_string(set) +
                     " cannot be held (two sets at most) and is left out");
            }
        }
        for (int set = 1; set < AI_MAX_NUMBER_OF_COLOR_SETS; ++set) {
            if (part.HasVertexColors(set)) {
                warn("mesh " + partName + ": vertex colour set " + std::to_string(set) +
                     " cannot be held (one set at most) and is left out");
            }
        }
        if (part.mNumAnimMeshes > 0) {
            warn("mesh " + partName + ": " + std::to_string(part.mNumAnimMeshes) +
                 " morph targets cannot be held and are left out");
        }
        // The material's slot in the shader list.
        uint32_t material =
            std::min(part.mMaterialIndex, static_cast<unsigned>(m_scene.materials.size() - 1));
        auto slot = std::find(mesh.materials.begin(), mesh.materials.end(), material);
        uint32_t slotIndex = static_cast<uint32_t>(slot - mesh.materials.begin());
        if (slot == mesh.materials.end()) {
            mesh.materials.push_back(material);
        }
        size_t dropped = 0;
        for (unsigned f = 0; f < part.mNumFaces; ++f) {
            const aiFace& face = part.mFaces[f];
            if (face.mNumIndices != 3) {
                ++dropped;
                continue;
            }
            ImportTriangle& triangle = mesh.triangles.emplace_back();
            for (int c = 0; c < 3; ++c) {
                triangle.vertices[c] = first + face.mIndices[c];
            }
            triangle.material = slotIndex;
        }
        if (dropped > 0) {
            warn("mesh " + partName + ": " + std::to_string(dropped) +
                 " points and lines cannot be held and are left out");
        }
        if (skinned) {
            mesh.influences.resize(mesh.positions.size());
            for (unsigned b = 0; b < part.mNumBones; ++b) {
                const aiBone& bone = *part.mBones[b];
                int32_t boneNode = nodeNamed(bone.mName);
                if (boneNode < 0) {
                    warn("mesh " + partName + ": bone " + bone.mName.C_Str() +
                         " has no node; its weights are left out");
                    continue;
                }
                auto known = std::find(mesh.bones.begin(), mesh.bones.end(), boneNode);
                uint32_t boneSlot = static_cast<uint32_t>(known - mesh.bones.begin());
                if (known == mesh.bones.end()) {
                    mesh.bones.push_back(boneNode);
                    offsets.push_back(toMatrix(bone.mOffsetMatrix));
                }
                for (unsigned w = 0; w < bone.mNumWeights; ++w) {
                    const aiVertexWeight& weight = bone.mWeights[w];
                    if (weight.mVertexId < part.mNumVertices) {
                        mesh.influences[first + weight.mVertexId].push_back(
                            {boneSlot, weight.mWeight});
                    }
                }
            }
        }
    }
    if (colorAlpha) {
        warn("mesh " + mesh.name + ": vertex colour alpha cannot be held and is left out");
    }
    if (skinned && !mesh.bones.empty()) {
        placeSkin(mesh, nodeIndex, offsets);
    }
    int32_t index = static_cast<int32_t>(m_scene.meshes.size());
    m_scene.meshes.push_back(std::move(mesh));
    if (!skinned) {
        m_meshCache[parts] = index;
    }
    return index;
}

// The scene loader binds a skin in the pose the nodes have when the file is
// loaded, relative to the parent of the first bone. The topmost bone goes
// first, the vertices are expressed in its parent's frame, and the shape
// node is put into that same frame.
void Reader::placeSkin(ImportMesh& mesh, uint32_t nodeIndex, const std::vector<Matrix4>& offsets) {
    auto depth = [&](uint32_t node) {
        size_t d = 0;
        for (int32_t p = m_scene.nodes[node].parent; p >= 0; p = m_scene.nodes[p].parent) {
            ++d;
        }
        return d;
    };
    size_t top = 0;
    for (size_t i = 1; i < mesh.bones.size(); ++i) {
        if (depth(mesh.bones[i]) < depth(mesh.bones[top])) {
            top = i;
        }
    }
    if (top != 0) {
        std::swap(mesh.bones[0], mesh.bones[top]);
        for (auto& list : mesh.influences) {
            for (ImportInfluence& influence : list) {
                if (influence.bone == 0) {
                    influence.bone = static_cast<uint32_t>(top);
                } else if (influence.bone == top) {
                    influence.bone = 0;
                }
            }
        }
    }
    if (mesh.bones.size() > 40) {
        warn("mesh " + mesh.name + ": " + std::to_string(mesh.bones.size()) +
             " bones; the engine skins with at most 40 per mesh");
    }
    const Matrix4 meshWorld = worldMatrix(m_scene, nodeIndex);
    bool poseDiffers = false;
    for (size_t i = 0; i < offsets.size(); ++i) {
        // `offsets` is still in the order the bones were found.
        uint32_t bone = mesh.bones[i == 0 ? top : (i == top ? 0 : i)];
        poseDiffers = poseDiffers ||
                      !nearlyEqual(worldMatrix(m_scene, bone), meshWorld * offsets[i].inverse());
    }
    if (poseDiffers) {
        warn("mesh " + mesh.name +
             ": the nodes are not in the bind pose; the skin is bound in the pose the file "
             "gives its nodes");
    }
    const int32_t skinParent = m_scene.nodes[mesh.bones[0]].parent;
    const Matrix4 skinFrame =
        skinParent >= 0 ? worldMatrix(m_scene, static_cast<uint32_t>(skinParent)) : Matrix4();
    const Matrix4 toSkin = skinFrame.inverse() * meshWorld;
    for (Vector3& p : mesh.positions) {
        p = toSkin.transformPoint(p);
    }
    for (Vector3& n : mesh.normals) {
        Vector3 t = toSkin.transformVector(n);
        n = dot(t, t) > 0.0f ? normalize(t) : t;
    }
    const int32_t shapeParent = m_scene.nodes[nodeIndex].parent;
    const Matrix4 parentWorld =
        shapeParent >= 0 ? worldMatrix(m_scene, static_cast<uint32_t>(shapeParent)) : Matrix4();
    m_scene.nodes[nodeIndex].local = parentWorld.inverse() * skinFrame;
}

// Folds a camera's or light's own frame into its node, keeping the node's
// children where they were.
void Reader::orient(uint32_t nodeIndex, const Matrix4& frame) {
    if (nearlyEqual(frame, Matrix4())) {
        return;
    }
    ImportNode& node = m_scene.nodes[nodeIndex];
    node.local = node.local * frame;
    const Matrix4 back = frame.inverse();
    for (uint32_t child : node.children) {
        m_scene.nodes[child].local = back * m_scene.nodes[child].local;
    }
}

void Reader::readCameras() {
    for (unsigned i = 0; i < m_source.mNumCameras; ++i) {
        const aiCamera& source = *m_source.mCameras[i];
        int32_t node = nodeNamed(source.mName);
        if (node < 0) {
            warn(std::string("camera ") + source.mName.C_Str() + " has no node and is left out");
            continue;
        }
        if (m_scene.nodes[node].mesh >= 0 || m_scene.nodes[node].light >= 0) {
            warn(std::string("camera ") + source.mName.C_Str() +
                 " shares its node with a mesh or light and is left out");
            continue;
        }
        ImportCamera& camera = m_scene.cameras.emplace_back();
        if (source.mOrthographicWidth > 0.0f) {
            warn(std::string("camera ") + source.mName.C_Str() +
                 ": an orthographic projection cannot be held; it is written as perspective");
        }
        // The library gives the horizontal angle of the whole view; scene
        // files store the vertical one.
        float aspect = source.mAspect > 0.0f ? source.mAspect : 1.0f;
        float horizontal = source.mHorizontalFOV > 0.0f ? source.mHorizontalFOV : 0.785398f;
        // From glTF the library gives the vertical angle times the aspect
        // ratio rather than the true horizontal angle.
        float vertical =
            m_gltf ? horizontal / aspect : 2.0f * std::atan(std::tan(horizontal * 0.5f) / aspect);
        camera.fovDegrees = vertical * kRadiansToDegrees;
        camera.nearClip = source.mClipPlaneNear;
        camera.farClip = source.mClipPlaneFar;
        m_scene.nodes[node].camera = static_cast<int32_t>(m_scene.cameras.size() - 1);
        // The node places the camera; some readers copy the node's
        // translation into the camera's own position, so only the
        // camera's orientation is taken.
        orient(static_cast<uint32_t>(node),
               lookFrame(toVector(source.mLookAt), toVector(source.mUp)));
    }
}

void Reader::readLights() {
    for (unsigned i = 0; i < m_source.mNumLights; ++i) {
        const aiLight& source = *m_source.mLights[i];
        const std::string name = source.mName.C_Str();
        int32_t node = nodeNamed(source.mName);
        if (node < 0) {
            warn("light " + name + " has no node and is left out");
            continue;
        }
        if (m_scene.nodes[node].mesh >= 0 || m_scene.nodes[node].camera >= 0) {
            warn("light " + name + " shares its node with a mesh or camera and is left out");
            continue;
        }
        ImportLight light;
        switch (source.mType) {
            case aiLightSource_DIRECTIONAL:
                light.type = ImportLight::Directional;
                break;
            case aiLightSource_SPOT:
                light.type = ImportLight::Spot;
                break;
            case aiLightSource_AMBIENT:
                light.type = ImportLight::Ambient;
                break;
            case aiLightSource_POINT:
                light.type = ImportLight::Point;
                break;
            default:
                warn("light " + name +
                     ": area lights cannot be held; it is written as a point light");
                light.type = ImportLight::Point;
                break;
        }
        light.diffuse = {source.mColorDiffuse.r, source.mColorDiffuse.g, source.mColorDiffuse.b};
        light.specular = {source.mColorSpecular.r, source.mColorSpecular.g,
                          source.mColorSpecular.b};
        if (light.specular == Vector3(0, 0, 0)) {
            light.specular = light.diffuse;
        }
        // Light colours of the scene file stay within 0..1; a brighter
        // source light reaches further instead.
        const float brightness =
            std::max({light.diffuse.x, light.diffuse.y, light.diffuse.z, 1e-6f});
        if (brightness > 1.0f) {
            light.diffuse = light.diffuse * (1.0f / brightness);
            float specular = std::max({light.specular.x, light.specular.y, light.specular.z});
            if (specular > 1.0f) {
                light.specular = light.specular * (1.0f / specular);
            }
        }
        if (light.type == ImportLight::Point || light.type == ImportLight::Spot) {
            // The falloff becomes a decay rate and the distance at which the
            // light has faded to 1/256 of its brightness.
            float c = std::max(0.0f, source.mAttenuationConstant);
            float l = std::max(0.0f, source.mAttenuationLinear);
            float q = std::max(0.0f, source.mAttenuationQuadratic);
            float target = 256.0f * brightness - c;
            light.decayRate = q > 0.0f ? 2 : (l > 0.0f ? 1 : 0);
            if (q > 0.0f) {
                light.range =
                    (-l + std::sqrt(l * l + 4.0f * q * std::max(target, 0.0f))) / (2.0f * q);
            } else if (l > 0.0f) {
                light.range = std::max(target, 0.0f) / l;
            } else {
                light.range = 1000.0f;
            }
            light.range = std::clamp(light.range, 0.01f, 1e6f);
            warn("light " + name + ": its falloff is written as range " +
                 std::to_string(light.range) + " with decay rate " +
                 std::to_string(light.decayRate));
        }
        if (light.type == ImportLight::Spot) {
            float outer = std::clamp(source.mAngleOuterCone, 1e-4f, 3.14159f);
            float inner = std::clamp(source.mAngleInnerCone, 0.0f, outer);
            light.coneAngleDegrees = 2.0f * outer * kRadiansToDegrees;
            light.dropOff = std::clamp(5.0f * (outer - inner) / outer, 0.0f, 5.0f);
        }
        m_scene.lights.push_back(light);
        m_scene.nodes[node].light = static_cast<int32_t>(m_scene.lights.size() - 1);
        orient(static_cast<uint32_t>(node),
               lookFrame(toVector(source.mDirection), toVector(source.mUp)));
    }
}

aiVector3D interpolate(const aiVector3D& a, const aiVector3D& b, float t) {
    return a + (b - a) * t;
}

aiQuaternion interpolate(const aiQuaternion& a, const aiQuaternion& b, float t) {
    aiQuaternion out;
    aiQuaternion::Interpolate(out, a, b, t);
    return out;
}

// The value of a channel at `time`, between the keys around it (found by
// bisection, the keys are in time order); `rest` for a channel without keys.
template <typename Key, typename Value>
Value sample(const Key* keys, unsigned count, double time, const Value& rest) {
    if (count == 0) {
        return rest;
    }
    const Key* next = std::upper_bound(keys, keys + count, time,
                                       [](double t, const Key& key) { return t < key.mTime; });
    if (next == keys) {
        return keys[0].mValue;
    }
    if (next == keys + count) {
        return keys[count - 1].mValue;
    }
    const Key& previous = next[-1];
    double span = next->mTime - previous.mTime;
    float t = span > 0.0 ? static_cast<float>((time - previous.mTime) / span) : 0.0f;
    return interpolate(previous.mValue, next->mValue, t);
}

// Scene file keys give translation, rotation and scale together, so every
// channel is sampled at the times any of them has a key.
void Reader::readAnimations() {
    std::map<std::string, int> clipNames;
    for (unsigned a = 0; a < m_source.mNumAnimations; ++a) {
        const aiAnimation& source = *m_source.mAnimations[a];
        ImportClip clip;
        clip.name = source.mName.length > 0 ? source.mName.C_Str() : "clip" + std::to_string(a);
        if (int n = ++clipNames[clip.name]; n > 1) {
            clip.name += "_" + std::to_string(n);
        }
        const double ticksPerSecond = source.mTicksPerSecond > 0.0 ? source.mTicksPerSecond : 25.0;
        const double toMs = 1000.0 / ticksPerSecond;
        clip.durationMs = static_cast<float>(std::max(0.0, source.mDuration) * toMs);
        if (source.mNumMeshChannels > 0 || source.mNumMorphMeshChannels > 0) {
            warn("animation " + clip.name +
                 ": mesh and morph target animation cannot be held and is left out");
        }
        for (unsigned c = 0; c < source.mNumChannels; ++c) {
            const aiNodeAnim& channel = *source.mChannels[c];
            int32_t node = nodeNamed(channel.mNodeName);
            if (node < 0) {
                warn("animation " + clip.name + ": node " + channel.mNodeName.C_Str() +
                     " is not in the scene; its keys are left out");
                continue;
            }
            if (channel.mPreState == aiAnimBehaviour_LINEAR ||
                channel.mPreState == aiAnimBehaviour_REPEAT ||
                channel.mPostState == aiAnimBehaviour_LINEAR ||
                channel.mPostState == aiAnimBehaviour_REPEAT) {
                warn("animation " + clip.name + ": node " + channel.mNodeName.C_Str() +
                     " continues its keys past their ends, which a clip cannot hold; it keeps "
                     "its first and last key");
            }
            std::vector<double> times;
            for (unsigned k = 0; k < channel.mNumPositionKeys; ++k) {
                times.push_back(channel.mPositionKeys[k].mTime);
            }
            for (unsigned k = 0; k < channel.mNumRotationKeys; ++k) {
                times.push_back(channel.mRotationKeys[k].mTime);
            }
            for (unsigned k = 0; k < channel.mNumScalingKeys; ++k) {
                times.push_back(channel.mScalingKeys[k].mTime);
            }
            std::sort(times.begin(), times.end());
            aiVector3D restScale, restPosition;
            aiQuaternion restRotation;
            m_sourceNodes[node]->mTransformation.Decompose(restScale, restRotation, restPosition);
            ImportTrack& track = clip.tracks.emplace_back();
            track.node = static_cast<uint32_t>(node);
            for (double time : times) {
                if (!std::isfinite(time)) {
                    continue;
                }
                // Keys closer than a microsecond are one key.
                float ms = static_cast<float>(time * toMs);
                if (!track.keys.empty() && ms <= track.keys.back().timeMs + 0.001f) {
                    continue;
                }
                ImportKey& key = track.keys.emplace_back();
                key.timeMs = ms;
                key.translation = toVector(
                    sample(channel.mPositionKeys, channel.mNumPositionKeys, time, restPosition));
                aiQuaternion q =
                    sample(channel.mRotationKeys, channel.mNumRotationKeys, time, restRotation);
                key.rotation = {q.x, q.y, q.z, q.w};
                key.scale = toVector(
                    sample(channel.mScalingKeys, channel.mNumScalingKeys, time, restScale));
            }
        }
        m_scene.clips.push_back(std::move(clip));
    }
}

}  // namespace

namespace {

// A glTF file whose required extensions are not all decoded is refused:
// read as if it were plain, its data would come out wrong without a word.
bool checkGltfExtensions(const std::string& path, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    char magic[4] = {};
    in.read(magic, sizeof(magic));
    const std::string extension = lowerExtension(path);
    const bool binary = in.gcount() == 4 && std::equal(magic, magic + 4, "glTF");
    if (!binary && extension != ".gltf") {
        return true;
    }
    in.clear();
    in.seekg(0);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::vector<std::string> undecoded =
        undecodedGltfExtensions(requiredGltfExtensions(gltfJson(bytes)));
    if (undecoded.empty()) {
        return true;
    }
    error = "the file requires the glTF extension";
    error += undecoded.size() > 1 ? "s " : " ";
    for (size_t i = 0; i < undecoded.size(); ++i) {
        error += (i == 0 ? "" : ", ") + undecoded[i];
    }
    error += ", which the importer cannot decode";
    return false;
}

}  // namespace

bool readModelFile(const std::string& path, ImportScene& scene, std::string& error) {
    if (!checkGltfExtensions(path, error)) {
        return false;
    }
    Assimp::Importer importer;
    const unsigned flags = aiProcess_Triangulate | aiProcess_JoinIdenticalVertices |
                           aiProcess_GenSmoothNormals | aiProcess_SortByPType |
                           aiProcess_ValidateDataStructure;
    const aiScene* source = importer.ReadFile(path, flags);
    if (source == nullptr) {
        error = importer.GetErrorString();
        if (error.empty()) {
            error = "the file could not be read";
        }
        return false;
    }
    if (source->mRootNode == nullptr) {
        error = "the file holds no scene";
        return false;
    }
    ImportScene result;
    Reader(*source, path, result).read();
    if (result.meshes.empty()) {
        result.warnings.push_back("the file holds no meshes");
    }
    scene = std::move(result);
    return true;
}

}  // namespace i3dimport
