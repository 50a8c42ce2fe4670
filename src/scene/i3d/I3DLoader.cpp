#include "scene/i3d/I3DLoader.h"

#include <strings.h>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <unordered_map>

#include "foundation/File.h"
#include "foundation/Log.h"
#include "foundation/TextUtil.h"
#include "scene/Camera.h"
#include "scene/LODTransformGroup.h"
#include "scene/LightSource.h"
#include "scene/Shape.h"
#include "scene/SplineGeometry.h"
#include "scene/SubDsGeometry.h"
#include "scene/i3d/ExpatSaxParser.h"
#include "scene/i3d/I3DSections.h"

I3DSectionHandlers& I3DSectionHandlers::get() {
    static I3DSectionHandlers handlers;
    return handlers;
}

namespace {

constexpr float kDegreesToRadians = 3.14159265358979323846f / 180.0f;
constexpr size_t kChunkSize = 8192;

// A particle system's "Gravity" and "Air" children add up.
void addVector(I3DValue<Vector3>& sum, const I3DValue<Vector3>& part) {
    if (part.set) {
        sum.value += part.value;
        sum.set = true;
    }
}

// ---- The element table ----

enum Element : int8_t {
    E_None = -1,
    E_I3D,
    E_Files,
    E_File,
    E_Materials,
    E_Material,
    E_Texture,
    E_Envmap,
    E_Normalmap,
    E_Glossmap,
    E_Emissivemap,
    E_Reflectionmap,
    E_Refractionmap,
    E_DepthBlendmap,
    E_Custommap,
    E_CustomParameter,
    E_Shapes,
    E_NurbsCurve,
    E_CurveCv,
    E_IndexedFaceSet,
    E_Vertices,
    E_V,
    E_Faces,
    E_F,
    E_SkinWeights,
    E_SkinCv,
    E_Precipitation,
    E_Dynamics,
    E_ParticleSystem,
    E_Gravity,
    E_Air,
    E_Scene,
    E_TransformGroup,
    E_Shape,
    E_Camera,
    E_Light,
    E_Dynamic,
    E_AudioSource,
    E_TerrainTransformGroup,
    E_Layers,
    E_Layer,
    E_FoliageLayer,
    E_DetailLayer,
    E_Animation,
    E_CharacterSets,
    E_CharacterSet,
    E_Clip,
    E_Keyframes,
    E_Keyframe,
    E_UserAttributes,
    E_UserAttribute,
    E_Attribute,
    E_Count
};

// The context bit of an element; bit 63 is the document itself.
constexpr uint64_t bit(Element e) {
    return uint64_t(1) << e;
}
constexpr uint64_t kDocument = uint64_t(1) << 63;
constexpr uint64_t kNodeParents = bit(E_Scene) | bit(E_TransformGroup) | bit(E_Shape) |
                                  bit(E_Camera) | bit(E_Light) | bit(E_Dynamic);
static_assert(E_Count < 63, "every element needs a context bit");

struct ElementEntry {
    const char* name;
    Element element;
    uint64_t parents;
};

constexpr ElementEntry kElements[] = {
    {"i3D", E_I3D, kDocument},
    {"Files", E_Files, bit(E_I3D)},
    {"File", E_File, bit(E_Files)},
    {"Materials", E_Materials, bit(E_I3D)},
    {"Material", E_Material, bit(E_Materials)},
    {"Texture", E_Texture, bit(E_Material)},
    {"Envmap", E_Envmap, bit(E_Material)},
    {"Normalmap", E_Normalmap, bit(E_Material)},
    {"Glossmap", E_Glossmap, bit(E_Material)},
    {"Emissivemap", E_Emissivemap, bit(E_Material)},
    {"Reflectionmap", E_Reflectionmap, bit(E_Material)},
    {"Refractionmap", E_Refractionmap, bit(E_Material)},
    {"DepthBlendmap", E_DepthBlendmap, bit(E_Material)},
    {"Custommap", E_Custommap, bit(E_Material)},
    {"CustomParameter", E_CustomParameter, bit(E_Material)},
    {"Shapes", E_Shapes, bit(E_I3D)},
    {"NurbsCurve", E_NurbsCurve, bit(E_Shapes)},
    {"cv", E_CurveCv, bit(E_NurbsCurve)},
    {"IndexedFaceSet", E_IndexedFaceSet, bit(E_Shapes)},
    {"Vertices", E_Vertices, bit(E_IndexedFaceSet)},
    {"v", E_V, bit(E_Vertices)},
    {"Faces", E_Faces, bit(E_IndexedFaceSet)},
    {"f", E_F, bit(E_Faces)},
    {"SkinWeights", E_SkinWeights, bit(E_IndexedFaceSet)},
    {"cv", E_SkinCv, bit(E_SkinWeights)},
    {"Precipitation", E_Precipitation, bit(E_Shapes)},
    {"Dynamics", E_Dynamics, bit(E_I3D)},
    {"ParticleSystem", E_ParticleSystem, bit(E_Dynamics)},
    {"Gravity", E_Gravity, bit(E_ParticleSystem)},
    {"Air", E_Air, bit(E_ParticleSystem)},
    {"Scene", E_Scene, bit(E_I3D)},
    {"TransformGroup", E_TransformGroup, kNodeParents},
    {"Shape", E_Shape, kNodeParents},
    {"Camera", E_Camera, kNodeParents},
    {"Light", E_Light, kNodeParents},
    {"Dynamic", E_Dynamic, kNodeParents},
    {"AudioSource", E_AudioSource, kNodeParents},
    {"TerrainTransformGroup", E_TerrainTransformGroup, kNodeParents},
    {"Layers", E_Layers, bit(E_TerrainTransformGroup)},
    {"Layer", E_Layer, bit(E_Layers)},
    {"FoliageLayer", E_FoliageLayer, bit(E_Layers)},
    {"DetailLayer", E_DetailLayer, bit(E_Layers)},
    {"Animation", E_Animation, bit(E_I3D)},
    {"CharacterSets", E_CharacterSets, bit(E_Animation)},
    {"CharacterSet", E_CharacterSet, bit(E_CharacterSets)},
    {"Clip", E_Clip, bit(E_CharacterSet)},
    {"Keyframes", E_Keyframes, bit(E_Clip)},
    {"Keyframe", E_Keyframe, bit(E_Keyframes)},
    {"UserAttributes", E_UserAttributes, bit(E_I3D)},
    {"UserAttribute", E_UserAttribute, bit(E_UserAttributes)},
    {"Attribute", E_Attribute, bit(E_UserAttribute)},
};

// ---- Attribute values ----

const char* findAttribute(const char** atts, const char* name) {
    for (; atts[0] != nullptr; atts += 2) {
        if (std::strcmp(atts[0], name) == 0) {
            return atts[1];
        }
    }
    return nullptr;
}

// The next number of a blank-separated list through the engine's scene
// text reader; false at the end of the text or at text that is no number.
bool nextFloat(const char*& text, float& value) {
    while (*text == ' ' || *text == '\t' || *text == '\n' || *text == '\r') {
        ++text;
    }
    const char* digits = text + (*text == '-');
    if (*digits == '.') {
        ++digits;
    }
    if (*digits < '0' || *digits > '9') {
        return false;
    }
    value = readFloat(text, &text);
    return true;
}

// Up to `max` floats; stops at the first text that is no number. Returns how
// many were read; the rest of `out` keeps its values.
int parseFloats(const char* text, float* out, int max) {
    int count = 0;
    float value = 0.0f;
    while (text != nullptr && count < max && nextFloat(text, value)) {
        out[count++] = value;
    }
    return count;
}

// Counts the values of a list, keeping the first `max` of them.
int countFloats(const char* text, float* out, int max) {
    int count = 0;
    float value = 0.0f;
    while (text != nullptr && nextFloat(text, value)) {
        if (count < max) {
            out[count] = value;
        }
        ++count;
    }
    return count;
}

bool isFalse(const char* text) {
    return text != nullptr && strcasecmp(text, "false") == 0;
}
bool isTrue(const char* text) {
    return text != nullptr && strcasecmp(text, "true") == 0;
}

class Attributes {
public:
    explicit Attributes(const char** atts) : m_atts(atts) {}

    const char* get(const char* name) const { return findAttribute(m_atts, name); }
    const char** raw() const { return m_atts; }
    std::string text(const char* name) const {
        const char* value = get(name);
        return value != nullptr ? value : "";
    }
    // Default true: anything but "false" is true.
    bool flagDefaultTrue(const char* name) const { return !isFalse(get(name)); }
    // Default false: only "true" is true.
    bool flagDefaultFalse(const char* name) const { return isTrue(get(name)); }
    // Present and not "false".
    bool flagPresent(const char* name) const {
        const char* value = get(name);
        return value != nullptr && !isFalse(value);
    }
    float number(const char* name, float defaultValue) const {
        float value = defaultValue;
        parseFloats(get(name), &value, 1);
        return value;
    }
    int32_t integer(const char* name, int32_t defaultValue) const {
        const char* value = get(name);
        if (value == nullptr) {
            return defaultValue;
        }
        char* end = nullptr;
        long long parsed = std::strtoll(value, &end, 10);
        if (end == value) {
            return defaultValue;
        }
        return static_cast<int32_t>(std::clamp<long long>(parsed, INT32_MIN, INT32_MAX));
    }
    Vector3 vector(const char* name, const Vector3& defaultValue) const {
        float v[3] = {defaultValue.x, defaultValue.y, defaultValue.z};
        parseFloats(get(name), v, 3);
        return {v[0], v[1], v[2]};
    }
    template <size_t N>
    std::array<float, N> floats(const char* name, std::array<float, N> values) const {
        parseFloats(get(name), values.data(), static_cast<int>(N));
        return values;
    }
    I3DValue<float> optionalNumber(const char* name) const {
        I3DValue<float> result;
        result.set = parseFloats(get(name), &result.value, 1) == 1;
        return result;
    }
    I3DValue<Vector3> optionalVector(const char* name, float scale = 1.0f) const {
        I3DValue<Vector3> result;
        if (get(name) != nullptr) {
            result.value = vector(name, {0, 0, 0}) * scale;
            result.set = true;
        }
        return result;
    }
    I3DValue<int32_t> optionalInteger(const char* name) const {
        I3DValue<int32_t> result;
        if (get(name) != nullptr) {
            result.value = integer(name, 0);
            result.set = true;
        }
        return result;
    }

private:
    const char** m_atts;
};

// An object mask: unsigned 32-bit with base detection ("0x" hexadecimal, a
// leading 0 octal); negative values as their 32-bit pattern. Anything else
// keeps all bits and is logged.
uint32_t parseObjectMask(const char* text, const std::string& owner) {
    if (text == nullptr) {
        return 0xFFFFFFFFu;
    }
    errno = 0;
    char* end = nullptr;
    long long value = std::strtoll(text, &end, 0);
    if (end == text || errno == ERANGE || value < INT32_MIN || value > 0xFFFFFFFFLL) {
        Log::get() << "Warning: " << owner << ", objectMask '" << text
                   << "' is no 32-bit value, all bits used\n";
        return 0xFFFFFFFFu;
    }
    return static_cast<uint32_t>(value);
}

// A count or size that becomes an allocation: outside [min, max] it is
// clamped with a log line.
I3DValue<int32_t> cappedSize(const Attributes& a, const char* name, int32_t min, int32_t max,
                             const std::string& owner) {
    I3DValue<int32_t> result = a.optionalInteger(name);
    if (result.set && (result.value < min || result.value > max)) {
        int32_t clamped = std::clamp(result.value, min, max);
        Log::get() << "Warning: " << owner << ", " << name << " " << result.value << " is outside "
                   << min << ".." << max << ", using " << clamped << "\n";
        result.value = clamped;
    }
    return result;
}

// A render-texture size (shadow, reflection or depth-blend map): 0 or less
// keeps the default; above the cap it is clamped. Both are logged.
int32_t renderTextureSizeAttribute(const Attributes& a, const char* name, int32_t defaultSize,
                                   const std::string& owner) {
    const I3DValue<int32_t> value = a.optionalInteger(name);
    if (value.set && value.value <= 0) {
        Log::get() << "Warning: " << owner << ", " << name << " " << value.value
                   << " is not above 0, using the default " << defaultSize << "\n";
        return defaultSize;
    }
    const I3DValue<int32_t> capped = cappedSize(a, name, 1, I3DLimits::kMaxResolution, owner);
    return capped.set ? capped.value : defaultSize;
}

// ---- The loader ----

struct StackEntry {
    Element element;
    uint64_t savedContext;
    bool pushedNode;
};

struct SkinnedShape {
    Shape* shape;
    std::vector<std::string> boneNames;
};

struct MeshState {
    std::string name;
    std::unique_ptr<MeshData> mesh;
    std::vector<std::string> shaderList;
    size_t droppedFaces = 0;
    // Vertices and faces past the mesh limits.
    size_t droppedVertices = 0;
    size_t badMaterialIndices = 0;
    size_t extraSkinVertices = 0;
    size_t skinVertex = 0;
};

class I3DLoader : public IXmlElementHandler {
public:
    I3DLoader(const std::string& path, I3DLoadResult& result);

    bool run(File* file, const char* text, size_t length);

    void startElement(const char* name, const char** atts) override;
    void endElement() override;

private:
    void fail();

    std::string resolveFileEntry(const char* entryName, const char* user);
    // A "Materials" entry: the material the handler made (none without a
    // handler) and the vertex attributes its description reads.
    struct MaterialEntry {
        RefPtr<ShapeMaterial> material;
        uint32_t vertexAttributes = 0;
    };
    const MaterialEntry* findMaterialEntry(const std::string& name) const;
    ShapeMaterial* findMaterial(const std::string& name) const;
    // The material an attribute names; a name not in "Materials" is logged.
    ShapeMaterial* materialAttribute(const Attributes& a, const char* attribute) const;

    // Elements
    void startI3D(const Attributes& a);
    void startFile(const Attributes& a);
    void startMaterial(const Attributes& a);
    void startMap(Element element, const Attributes& a);
    void endMaterial();
    void startIndexedFaceSet(const Attributes& a);
    void addVertex(const Attributes& a);
    void startFaces(const Attributes& a);
    void addFace(const Attributes& a);
    void addSkinVertex(const Attributes& a);
    void endIndexedFaceSet();
    void startCurve(const Attributes& a);
    void endCurve();
    void startPrecipitation(const Attributes& a);
    void startParticleSystem(const Attributes& a);
    void endParticleSystem();
    void startScene();
    void endScene();
    bool startNode(Element element, const Attributes& a);
    void endTerrain();
    void startTerrainLayer(Element element, const Attributes& a);
    void startCharacterSet(const Attributes& a);
    void startClip(const Attributes& a);
    void startKeyframes(const Attributes& a);
    void addKeyframe(const Attributes& a);
    void endCharacterSet();
    void startUserAttribute(const Attributes& a);
    void addUserAttribute(const Attributes& a);

    // Nodes
    TransformGroup* makeNode(Element element, const std::string& name, const Attributes& a);
    void placeNode(std::unique_ptr<TransformGroup> node, const Attributes& a, bool physics);
    void applyCommonAttributes(TransformGroup& node, const Attributes& a, bool physics);
    void readDensity(I3DDensityDesc& density, const Attributes& a, const std::string& owner);
    void warnNoHandler(const char* what, const std::string& name);
    void bindSkins();

    std::string m_path;
    I3DLoadResult& m_result;
    ExpatSaxParser* m_parser = nullptr;  // during run only
    uint64_t m_context = kDocument;
    std::vector<StackEntry> m_stack;
    bool m_error = false;

    std::string m_sceneName;
    std::string m_baseFolder;
    std::unique_ptr<TransformGroup> m_root;
    TransformGroup* m_current = nullptr;
    size_t m_nodeDepth = 0;
    bool m_depthWarned = false;

    std::unordered_map<std::string, std::string> m_files;
    std::unordered_map<std::string, MaterialEntry> m_materials;
    // The vertex attributes each mesh geometry was built with.
    std::unordered_map<const Geometry*, uint32_t> m_geometryAttributes;
    std::unordered_map<std::string, std::unique_ptr<Shape>> m_shapes;
    std::unordered_map<std::string, I3DParticleSystemDesc> m_dynamics;
    std::unordered_map<std::string, TransformGroup*> m_nodes;
    std::unordered_map<int32_t, TransformGroup*> m_userAttrIds;
    std::vector<SkinnedShape> m_skinned;
    std::vector<std::pair<TransformGroup*, std::string>> m_onCreate;
    size_t m_ignoredPhysics = 0;

    // What is being built.
    MaterialDesc m_material;
    MeshState m_mesh;
    std::string m_curveName;
    bool m_curveClosed = false;
    std::vector<Vector3> m_curvePoints;
    I3DParticleSystemDesc m_particles;
    std::unique_ptr<I3DTerrainDesc> m_terrain;
    // The terrain element's attributes (name, value, ...), applied at its end.
    std::vector<std::string> m_terrainAttributes;
    I3DCharacterSetDesc m_characterSet;
    TransformGroup* m_userAttributeNode = nullptr;
};

I3DLoader::I3DLoader(const std::string& path, I3DLoadResult& result)
    : m_path(path), m_result(result) {
    std::replace(m_path.begin(), m_path.end(), '\\', '/');
    size_t slash = m_path.rfind('/');
    m_baseFolder = slash == std::string::npos ? "" : m_path.substr(0, slash + 1);
}

void I3DLoader::fail() {
    m_error = true;
    m_parser->stop();
}

bool I3DLoader::run(File* file, const char* text, size_t length) {
    auto started = std::chrono::steady_clock::now();
    ExpatSaxParser parser(*this);
    if (!parser.isValid()) {
        Log::get() << "Couldn't allocate memory for expat parser\n";
        return false;
    }
    m_parser = &parser;

    size_t offset = 0;
    bool parsed = true;
    for (bool done = false; !done && parsed;) {
        void* buffer = parser.getBuffer(kChunkSize);
        if (buffer == nullptr) {
            Log::get() << "Couldn't allocate memory for expat parser\n";
            return false;
        }
        size_t count = 0;
        if (file != nullptr) {
            int read = file->read(buffer, static_cast<int>(kChunkSize));
            if (read < 0 || file->hasError()) {
                Log::get() << "Read error\n";
                return false;
            }
            count = static_cast<size_t>(read);
        } else {
            count = std::min(kChunkSize, length - offset);
            std::memcpy(buffer, text + offset, count);
            offset += count;
        }
        done = count == 0;
        parsed = parser.parseBuffer(count, done);
    }
    if (!parsed) {
        // A refused version has logged its own message and stopped the parse.
        if (!m_error) {
            Log::get() << "Parse error at line " << parser.errorLine() << ":\n"
                       << parser.errorText() << "\n";
        }
        return false;
    }
    if (m_error) {
        return false;
    }
    if (!m_root) {
        m_root = std::make_unique<TransformGroup>(m_sceneName);
    }
    m_result.root = std::move(m_root);
    for (auto& [node, function] : m_onCreate) {
        m_result.onCreate.push_back({node->getId(), function});
    }
    auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - started);
    if (m_ignoredPhysics > 0) {
        Log::get() << "Warning: " << m_path
                   << ", no physics support: " << static_cast<uint32_t>(m_ignoredPhysics)
                   << " rigid body or joint descriptions ignored\n";
    }
    Log::get() << "Scenefile " << m_path << " loaded in " << static_cast<uint32_t>(elapsed.count())
               << " ms\n";
    return true;
}

// ---- The state machine ----

void I3DLoader::startElement(const char* name, const char** atts) {
    if (m_error) {
        return;
    }
    const ElementEntry* entry = nullptr;
    for (const ElementEntry& candidate : kElements) {
        if ((candidate.parents & m_context) != 0 && candidate.name[0] == name[0] &&
            std::strcmp(candidate.name, name) == 0) {
            entry = &candidate;
            break;
        }
    }
    // Unknown elements, and known ones where they are not accepted, keep the
    // context: their children are read as if they stood in the enclosing
    // element. Their end changes nothing.
    if (entry == nullptr) {
        m_stack.push_back({E_None, m_context, false});
        return;
    }
    m_stack.push_back({entry->element, m_context, false});
    m_context = bit(entry->element);
    Attributes a(atts);
    switch (entry->element) {
        case E_I3D:
            startI3D(a);
            break;
        case E_File:
            startFile(a);
            break;
        case E_Material:
            startMaterial(a);
            break;
        case E_Texture:
        case E_Envmap:
        case E_Normalmap:
        case E_Glossmap:
        case E_Emissivemap:
        case E_Reflectionmap:
        case E_Refractionmap:
        case E_DepthBlendmap:
        case E_Custommap:
        case E_CustomParameter:
            startMap(entry->element, a);
            break;
        case E_NurbsCurve:
            startCurve(a);
            break;
        case E_CurveCv: {
            float c[3] = {0, 0, 0};
            parseFloats(a.get("c"), c, 3);
            m_curvePoints.push_back({c[0], c[1], c[2]});
            break;
        }
        case E_IndexedFaceSet:
            startIndexedFaceSet(a);
            break;
        case E_V:
            addVertex(a);
            break;
        case E_Faces:
            startFaces(a);
            break;
        case E_F:
            addFace(a);
            break;
        case E_SkinCv:
            addSkinVertex(a);
            break;
        case E_Precipitation:
            startPrecipitation(a);
            break;
        case E_ParticleSystem:
            startParticleSystem(a);
            break;
        case E_Gravity:
            addVector(m_particles.gravityForce, a.optionalVector("force"));
            break;
        case E_Air:
            addVector(m_particles.airVelocity, a.optionalVector("velocity"));
            break;
        case E_Scene:
            startScene();
            break;
        case E_TransformGroup:
        case E_Shape:
        case E_Camera:
        case E_Light:
        case E_Dynamic:
        case E_AudioSource:
        case E_TerrainTransformGroup:
            m_stack.back().pushedNode = startNode(entry->element, a);
            break;
        case E_Layer:
        case E_FoliageLayer:
        case E_DetailLayer:
            startTerrainLayer(entry->element, a);
            break;
        case E_CharacterSet:
            startCharacterSet(a);
            break;
        case E_Clip:
            startClip(a);
            break;
        case E_Keyframes:
            startKeyframes(a);
            break;
        case E_Keyframe:
            addKeyframe(a);
            break;
        case E_UserAttribute:
            startUserAttribute(a);
            break;
        case E_Attribute:
            addUserAttribute(a);
            break;
        default:
            break;
    }
}

// Pops exactly what the matching start pushed.
void I3DLoader::endElement() {
    if (m_error || m_stack.empty()) {
        return;
    }
    StackEntry entry = m_stack.back();
    m_stack.pop_back();
    m_context = entry.savedContext;
    switch (entry.element) {
        case E_Material:
            endMaterial();
            break;
        case E_NurbsCurve:
            endCurve();
            break;
        case E_IndexedFaceSet:
            endIndexedFaceSet();
            break;
        case E_ParticleSystem:
            endParticleSystem();
            break;
        case E_Scene:
            endScene();
            break;
        case E_TerrainTransformGroup:
            endTerrain();
            break;
        case E_CharacterSet:
            endCharacterSet();
            break;
        case E_UserAttribute:
            m_userAttributeNode = nullptr;
            break;
        default:
            break;
    }
    if (entry.pushedNode && m_current != nullptr) {
        m_current = static_cast<TransformGroup*>(m_current->getParent());
        --m_nodeDepth;
    }
}

// ---- Files ----

void I3DLoader::startI3D(const Attributes& a) {
    const char* version = a.get("version");
    if (version == nullptr || std::strcmp(version, "1.5") != 0) {
        Log::get() << "Wrong i3d version file. Version 1.5 required.\n";
        fail();
        return;
    }
    m_sceneName = a.text("name");
}

// Each leading "../" of a relative file name removes one folder from the
// end of the base folder; more of them than folders stop at the empty base.
void I3DLoader::startFile(const Attributes& a) {
    std::string fileName = a.text("filename");
    std::replace(fileName.begin(), fileName.end(), '\\', '/');
    std::string path = fileName;
    if (!isFalse(a.get("relativePath"))) {
        std::string base = m_baseFolder;
        size_t at = 0;
        while (fileName.compare(at, 3, "../") == 0) {
            at += 3;
            if (!base.empty()) {
                size_t cut = base.find_last_of('/', base.size() - 2);
                base = cut == std::string::npos || base.size() < 2 ? "" : base.substr(0, cut + 1);
            }
        }
        path = base + fileName.substr(at);
    }
    m_files[a.text("name")] = path;
}

std::string I3DLoader::resolveFileEntry(const char* entryName, const char* user) {
    if (entryName == nullptr) {
        return "";
    }
    auto found = m_files.find(entryName);
    if (found == m_files.end()) {
        Log::get() << "Warning: " << user << ", file " << entryName << " not found.\n";
        return "";
    }
    return found->second;
}

const I3DLoader::MaterialEntry* I3DLoader::findMaterialEntry(const std::string& name) const {
    auto found = m_materials.find(name);
    return found != m_materials.end() ? &found->second : nullptr;
}

ShapeMaterial* I3DLoader::findMaterial(const std::string& name) const {
    const MaterialEntry* entry = findMaterialEntry(name);
    return entry != nullptr ? entry->material.get() : nullptr;
}

ShapeMaterial* I3DLoader::materialAttribute(const Attributes& a, const char* attribute) const {
    const char* name = a.get(attribute);
    if (name == nullptr) {
        return nullptr;
    }
    ShapeMaterial* material = findMaterial(name);
    if (material == nullptr) {
        Log::get() << "Warning: material " << name << " not found.\n";
    }
    return material;
}

// ---- Materials ----

void I3DLoader::startMaterial(const Attributes& a) {
    m_material = MaterialDesc();
    MaterialDesc& m = m_material;
    if (const char* name = a.get("name")) {
        m.name = name;
    }
    m.diffuseColor = a.floats<4>("diffuseColor", m.diffuseColor);
    m.ambientColor = a.floats<3>("ambientColor", m.ambientColor);
    m.emissiveColor = a.floats<3>("emissiveColor", m.emissiveColor);
    m.specularColor = a.floats<3>("specularColor", m.specularColor);
    m.cosPower = a.number("cosPower", m.cosPower);
    m.emissiveCoeff = a.number("emissiveCoeff", m.emissiveCoeff);
    m.alphaBlending = a.flagDefaultFalse("alphaBlending");
    // The cutoff of alpha testing, within (0, 1]; anything else is no test.
    const float cutoff = a.number("alphaTest", 0.0f);
    m.alphaTestCutoff = cutoff > 0.0f ? std::min(cutoff, 1.0f) : 0.0f;
    m.allowFog = a.flagDefaultTrue("allowFog");
    m.allowVolumeFog = a.flagDefaultFalse("allowVolumeFog");
    if (const char* shader = a.get("customShader")) {
        m.customShader = resolveFileEntry(shader, ("Material " + m.name).c_str());
    }
}

void I3DLoader::startMap(Element element, const Attributes& a) {
    MaterialDesc& m = m_material;
    const std::string owner = "Material " + m.name;
    MaterialMapDesc map;
    map.wrap = a.flagDefaultTrue("wrap");
    if (const char* file = a.get("file")) {
        map.file = resolveFileEntry(file, owner.c_str());
    }
    switch (element) {
        case E_Texture:
            m.albedoMap = map;
            break;
        case E_Envmap:
            m.environmentMap = map;
            break;
        case E_Normalmap:
            m.normalMap = map;
            m.bumpDepth = a.number("bumpDepth", 1.0f) * 0.035f;
            break;
        case E_Glossmap:
            m.glossMap = map;
            break;
        case E_Emissivemap:
            m.emissiveMap = map;
            break;
        case E_Reflectionmap:
            m.reflectionMap = true;
            m.reflectionCube = a.text("type") == "cube" || a.flagDefaultFalse("cube");
            m.reflectionResolution = renderTextureSizeAttribute(a, "resolution", 256, owner);
            m.refractiveIndex = a.number("refractiveIndex", m.refractiveIndex);
            m.reflectionBumpScale = a.number("bumpScale", m.reflectionBumpScale);
            m.reflectionObjectMask = parseObjectMask(a.get("objectMask"), owner);
            break;
        case E_Refractionmap:
            m.refractionMap = true;
            m.refractionCoeff = a.number("coeff", m.refractionCoeff);
            m.refractionBumpScale = a.number("bumpScale", m.refractionBumpScale);
            break;
        case E_DepthBlendmap: {
            m.depthBlendMap = true;
            m.depthBlendResolution = renderTextureSizeAttribute(a, "resolution", 512, owner);
            m.blendDistances = a.floats<3>("blendDistances", m.blendDistances);
            break;
        }
        case E_Custommap: {
            MaterialMapDesc custom;
            custom.wrap = map.wrap;
            custom.file = resolveFileEntry(a.get("texture"), owner.c_str());
            m.addCustomTexture(a.text("name"), custom);
            break;
        }
        case E_CustomParameter: {
            const char* name = a.get("name");
            const char* value = a.get("value");
            if (name != nullptr && value != nullptr) {
                m.addCustomParameter(name, a.floats<4>("value", {0, 0, 0, 0}));
            }
            break;
        }
        default:
            break;
    }
}

void I3DLoader::endMaterial() {
    MaterialEntry& entry = m_materials[m_material.name];
    entry.vertexAttributes = m_material.getVertexAttributes();
    entry.material = nullptr;
    if (I3DMaterialHandler* handler = I3DSectionHandlers::get().materials) {
        entry.material = handler->createMaterial(m_material);
    } else {
        warnNoHandler("Material", m_material.name);
    }
}

// ---- Meshes ----

void I3DLoader::startIndexedFaceSet(const Attributes& a) {
    m_mesh = MeshState();
    m_mesh.name = a.text("name");
    m_mesh.mesh = std::make_unique<MeshData>();
}

void I3DLoader::addVertex(const Attributes& a) {
    if (m_mesh.mesh->positions.size() >= I3DLimits::kMaxMeshVertices) {
        ++m_mesh.droppedVertices;
        return;
    }
    float c[3] = {0, 0, 0};
    parseFloats(a.get("c"), c, 3);
    m_mesh.mesh->positions.push_back({c[0], c[1], c[2]});
}

void I3DLoader::startFaces(const Attributes& a) {
    m_mesh.mesh->materialNames = a.text("shaderlist");
    m_mesh.shaderList.clear();
    if (!m_mesh.mesh->materialNames.empty()) {
        m_mesh.shaderList = splitText(",", m_mesh.mesh->materialNames, true);
    }
}

// A face lists 3 or 4 vertex indices (further ones are not read); per-corner
// attributes whose value count does not match the corner count are ignored.
void I3DLoader::addFace(const Attributes& a) {
    MeshData& mesh = *m_mesh.mesh;
    int64_t indices[4] = {0, 0, 0, 0};
    int corners = 0;
    const char* text = a.get("vi");
    while (text != nullptr && corners < 4) {
        char* end = nullptr;
        long long value = std::strtoll(text, &end, 10);
        if (end == text) {
            break;
        }
        indices[corners++] = value;
        text = end;
    }
    if (corners < 3) {
        ++m_mesh.droppedFaces;
        return;
    }
    if (mesh.triangles.size() + corners - 2 > I3DLimits::kMaxMeshTriangles) {
        ++m_mesh.droppedVertices;
        return;
    }
    for (int i = 0; i < corners; ++i) {
        if (indices[i] < 0 || static_cast<uint64_t>(indices[i]) >= mesh.positions.size()) {
            ++m_mesh.droppedFaces;
            return;
        }
    }
    float t0[8], t1[8], color[12], normal[12];
    uint32_t attributes = 0;
    if (countFloats(a.get("t0"), t0, 8) == corners * 2) {
        attributes |= VertexAttribute::TexCoords0;
    }
    if (countFloats(a.get("t1"), t1, 8) == corners * 2) {
        attributes |= VertexAttribute::TexCoords1;
    }
    if (countFloats(a.get("c"), color, 12) == corners * 3) {
        attributes |= VertexAttribute::Color;
    }
    if (countFloats(a.get("n"), normal, 12) == corners * 3) {
        attributes |= VertexAttribute::Normal;
    }
    int32_t material = a.integer("ci", 0);
    if (material < 0 ||
        static_cast<size_t>(material) >= std::max<size_t>(1, m_mesh.shaderList.size())) {
        ++m_mesh.badMaterialIndices;
        material = 0;
    }
    MeshCorner face[4];
    for (int i = 0; i < corners; ++i) {
        MeshCorner& corner = face[i];
        corner.position = static_cast<uint32_t>(indices[i]);
        if (attributes & VertexAttribute::TexCoords0) {
            std::memcpy(corner.texCoords0, t0 + 2 * i, sizeof(corner.texCoords0));
        }
        if (attributes & VertexAttribute::TexCoords1) {
            std::memcpy(corner.texCoords1, t1 + 2 * i, sizeof(corner.texCoords1));
        }
        if (attributes & VertexAttribute::Color) {
            std::memcpy(corner.color, color + 3 * i, sizeof(corner.color));
        }
        if (attributes & VertexAttribute::Normal) {
            std::memcpy(corner.normal, normal + 3 * i, sizeof(corner.normal));
        }
    }
    for (int i = 0; i + 2 < corners; ++i) {
        MeshTriangle& triangle = mesh.triangles.emplace_back();
        triangle.corners[0] = face[0];
        triangle.corners[1] = face[i + 1];
        triangle.corners[2] = face[i + 2];
        triangle.attributes = attributes;
        triangle.material = material;
    }
}

// The n-th "cv" gives vertex n up to 4 weights (normalised when their sum is
// positive) and bone indices into the shape's bind list. A negative bone
// index keeps weight 0; indices past the bind list are checked when the
// shapes are bound.
void I3DLoader::addSkinVertex(const Attributes& a) {
    MeshData& mesh = *m_mesh.mesh;
    if (m_mesh.skinVertex >= mesh.positions.size()) {
        ++m_mesh.extraSkinVertices;
        return;
    }
    if (mesh.skinWeights.size() < mesh.positions.size()) {
        mesh.skinWeights.resize(mesh.positions.size(), {0, 0, 0, 0});
        mesh.boneIndices.resize(mesh.positions.size(), {0, 0, 0, 0});
    }
    std::array<float, 4> weights{0, 0, 0, 0};
    std::array<int32_t, 4> bones{0, 0, 0, 0};
    int numWeights = parseFloats(a.get("w"), weights.data(), 4);
    int numBones = 0;
    const char* text = a.get("bi");
    while (text != nullptr && numBones < 4) {
        char* end = nullptr;
        long long value = std::strtoll(text, &end, 10);
        if (end == text) {
            break;
        }
        bones[numBones++] = static_cast<int32_t>(std::clamp<long long>(value, -1, INT32_MAX));
        text = end;
    }
    for (int i = 0; i < 4; ++i) {
        if (i >= numWeights || i >= numBones || bones[i] < 0 || !std::isfinite(weights[i]) ||
            weights[i] < 0) {
            weights[i] = 0;
            bones[i] = std::max(bones[i], 0);
        }
    }
    float sum = weights[0] + weights[1] + weights[2] + weights[3];
    if (sum > 0) {
        for (float& w : weights) {
            w /= sum;
        }
    }
    mesh.skinWeights[m_mesh.skinVertex] = weights;
    mesh.boneIndices[m_mesh.skinVertex] = bones;
    ++m_mesh.skinVertex;
}

void I3DLoader::endIndexedFaceSet() {
    MeshState& state = m_mesh;
    const std::string owner = "IndexedFaceSet " + state.name;
    if (state.droppedVertices > 0) {
        Log::get() << "Warning: " << owner << ", more than "
                   << static_cast<uint32_t>(I3DLimits::kMaxMeshVertices) << " vertices or "
                   << static_cast<uint32_t>(I3DLimits::kMaxMeshTriangles) << " triangles, "
                   << static_cast<uint32_t>(state.droppedVertices)
                   << " vertices and faces dropped\n";
    }
    if (state.droppedFaces > 0) {
        Log::get() << "Warning: " << owner << ", " << static_cast<uint32_t>(state.droppedFaces)
                   << " faces with missing or out of range vertex indices dropped\n";
    }
    if (state.badMaterialIndices > 0) {
        Log::get() << "Warning: " << owner << ", "
                   << static_cast<uint32_t>(state.badMaterialIndices)
                   << " faces with a material index outside the shader list use material 0\n";
    }
    if (state.extraSkinVertices > 0) {
        Log::get() << "Warning: " << owner << ", " << static_cast<uint32_t>(state.extraSkinVertices)
                   << " skin weights beyond the vertex count ignored\n";
    }
    auto shape = std::make_unique<Shape>(state.name);
    uint32_t attributes = 0;
    for (const std::string& name : state.shaderList) {
        const MaterialEntry* entry = findMaterialEntry(name);
        if (entry == nullptr) {
            Log::get() << "Warning: Shader " << name << " not found.\n";
            continue;
        }
        if (entry->material) {
            shape->addMaterial(entry->material.get());
        }
        attributes |= entry->vertexAttributes;
    }
    Geometry* geometry = nullptr;
    if (state.name.compare(0, 5, "subd_") == 0) {
        geometry = new SubDsGeometry(state.name, std::move(state.mesh), attributes);
    } else {
        geometry = new IndexedFaceSetGeometry(state.name, std::move(state.mesh), attributes);
    }
    m_geometryAttributes[geometry] = attributes;
    shape->setGeometry(geometry);
    m_shapes[state.name] = std::move(shape);
    m_mesh = MeshState();
}

void I3DLoader::startCurve(const Attributes& a) {
    m_curveName = a.text("name");
    m_curveClosed = a.text("form") != "open";
    m_curvePoints.clear();
}

void I3DLoader::endCurve() {
    auto shape = std::make_unique<Shape>(m_curveName);
    shape->setGeometry(new SplineGeometry(m_curveName, std::move(m_curvePoints), m_curveClosed));
    m_shapes[m_curveName] = std::move(shape);
    m_curvePoints.clear();
}

// ---- Precipitation and particle systems ----

void I3DLoader::startPrecipitation(const Attributes& a) {
    I3DPrecipitationDesc d;
    d.name = a.text("name");
    const std::string owner = "Precipitation " + d.name;
    d.dropMaterial = materialAttribute(a, "dropMaterial");
    d.splashMaterial = materialAttribute(a, "splashMaterial");
    d.maxNumDrops = cappedSize(a, "maxNumDrops", 0, I3DLimits::kMaxCount, owner);
    d.boundsWidth = a.optionalNumber("boundsWidth");
    d.boundsHeight = a.optionalNumber("boundsHeight");
    d.dropWidth = a.optionalNumber("dropWidth");
    d.dropHeight = a.optionalNumber("dropHeight");
    d.dropAtlasSize = cappedSize(a, "dropAtlasSize", 1, I3DLimits::kMaxAtlasSize, owner);
    d.dropMinVelocity = a.optionalNumber("dropMinVelocity");
    d.dropMaxVelocity = a.optionalNumber("dropMaxVelocity");
    d.dropMinMass = a.optionalNumber("dropMinMass");
    d.dropMaxMass = a.optionalNumber("dropMaxMass");
    d.generateSplashes = a.flagDefaultFalse("generateSplashes");
    d.splashWidth = a.optionalNumber("splashWidth");
    d.splashHeight = a.optionalNumber("splashHeight");
    d.splashAtlasSize = cappedSize(a, "splashAtlasSize", 1, I3DLimits::kMaxAtlasSize, owner);
    d.windVelocity = a.optionalVector("windVelocity");
    d.rotateWithCameraVelocity = a.flagDefaultFalse("rotateWithCameraVelocity");
    d.useVelocityAlignedBillboards = a.flagDefaultTrue("useVelocityAlignedBillboards");
    if (d.dropMinVelocity.value > d.dropMaxVelocity.value) {
        Log::get() << "Error: dropMinVelocity is bigger than dropMaxVelocity\n";
    }
    if (d.dropMinMass.value > d.dropMaxMass.value) {
        Log::get() << "Error: dropMinMass is bigger than dropMaxMass\n";
    }
    I3DPrecipitationHandler* handler = I3DSectionHandlers::get().precipitation;
    if (handler == nullptr) {
        warnNoHandler("Precipitation", d.name);
        return;
    }
    if (std::unique_ptr<Shape> prototype = handler->createPrecipitation(d)) {
        m_shapes[d.name] = std::move(prototype);
    }
}

void I3DLoader::startParticleSystem(const Attributes& a) {
    I3DParticleSystemDesc& d = m_particles;
    d = I3DParticleSystemDesc();
    d.name = a.text("name");
    const std::string owner = "ParticleSystem " + d.name;
    d.rate = a.optionalNumber("rate");
    d.lifespanInfinite = a.flagDefaultFalse("lifespanInfinite");
    d.speed = a.optionalNumber("speed");
    d.tangentSpeed = a.optionalNumber("tangentSpeed");
    d.normalSpeed = a.optionalNumber("normalSpeed");
    d.lifespan = a.optionalNumber("lifespan");
    d.maxCount = cappedSize(a, "maxCount", 0, I3DLimits::kMaxCount, owner);
    d.spriteScaleX = a.optionalNumber("spriteScaleX");
    d.spriteScaleY = a.optionalNumber("spriteScaleY");
    d.depthSort = a.flagDefaultFalse("depthSort");
    d.blendFactor = a.optionalNumber("blendFactor");
    d.blendInFactor = a.optionalNumber("blendInFactor");
    d.blendOutFactor = a.optionalNumber("blendOutFactor");
    d.spriteScaleXGain = a.optionalNumber("spriteScaleXGain");
    d.spriteScaleYGain = a.optionalNumber("spriteScaleYGain");
    if (const char* name = a.get("emitterShape")) {
        auto found = m_shapes.find(name);
        if (found == m_shapes.end()) {
            Log::get() << "Error: Shape not found (" << name << ")\n";
        } else {
            d.emitterShape = found->second.get();
        }
    }
    if (const char* name = a.get("material")) {
        d.material = findMaterial(name);
        if (d.material == nullptr) {
            Log::get() << "Error: Material not found (" << name << ")\n";
        }
    }
}

void I3DLoader::endParticleSystem() {
    m_dynamics[m_particles.name] = m_particles;
}

// ---- Scene and nodes ----

void I3DLoader::startScene() {
    if (!m_root) {
        m_root = std::make_unique<TransformGroup>(m_sceneName);
    }
    m_current = m_root.get();
    m_nodeDepth = 0;
}

void I3DLoader::endScene() {
    bindSkins();
    m_current = nullptr;
}

void I3DLoader::warnNoHandler(const char* what, const std::string& name) {
    Log::get() << "Warning: " << what << " " << name
               << " needs a subsystem this engine lacks; it is ignored\n";
}

bool I3DLoader::startNode(Element element, const Attributes& a) {
    if (m_current == nullptr) {
        return false;
    }
    const char* nameText = a.get("name");
    if (nameText == nullptr) {
        return false;
    }
    if (m_nodeDepth >= I3DLimits::kMaxNodeDepth) {
        if (!m_depthWarned) {
            Log::get() << "Warning: " << m_path << ", nodes nested deeper than "
                       << static_cast<uint32_t>(I3DLimits::kMaxNodeDepth) << " are not made\n";
            m_depthWarned = true;
        }
        return false;
    }
    const std::string name = nameText;
    if (element == E_TerrainTransformGroup) {
        // The terrain is made at the end of the element, with its layers.
        m_terrain = std::make_unique<I3DTerrainDesc>();
        I3DTerrainDesc& d = *m_terrain;
        const std::string owner = "TerrainTransformGroup " + name;
        d.name = name;
        d.heightMap = resolveFileEntry(a.get("heightMap"), owner.c_str());
        d.globalLayerMap = resolveFileEntry(a.get("globalLayerMap"), owner.c_str());
        d.globalLayerWeight = a.optionalNumber("globalLayerWeight");
        d.patchSize = cappedSize(a, "patchSize", 1, I3DLimits::kMaxPatchSize, owner);
        d.maxLODDistance = a.optionalNumber("maxLODDistance");
        d.heightScale = a.optionalNumber("heightScale");
        d.unitsPerPixel = a.optionalNumber("unitsPerPixel");
        d.lodBlendStart = a.optionalNumber("lodBlendStart");
        d.lodBlendEnd = a.optionalNumber("lodBlendEnd");
        d.lodTextureSize = cappedSize(a, "lodTextureSize", 1, I3DLimits::kMaxResolution, owner);
        // The common attributes are applied once the node exists.
        m_terrainAttributes.clear();
        for (const char** att = a.raw(); att[0] != nullptr; att += 2) {
            m_terrainAttributes.emplace_back(att[0]);
            m_terrainAttributes.emplace_back(att[1]);
        }
        return false;
    }
    TransformGroup* node = makeNode(element, name, a);
    if (node == nullptr) {
        return false;
    }
    m_current = node;
    ++m_nodeDepth;
    return true;
}

TransformGroup* I3DLoader::makeNode(Element element, const std::string& name, const Attributes& a) {
    std::unique_ptr<TransformGroup> node;
    bool physics = false;
    switch (element) {
        case E_TransformGroup: {
            physics = true;
            if (const char* distances = a.get("lodDistance")) {
                node = std::make_unique<LODTransformGroup>(name, readFloatList(distances));
            } else {
                node = std::make_unique<TransformGroup>(name);
            }
            break;
        }
        case E_Shape: {
            physics = true;
            const char* ref = a.get("ref");
            auto found = ref != nullptr ? m_shapes.find(ref) : m_shapes.end();
            if (found == m_shapes.end()) {
                Log::get() << "Warning: Shape " << name
                           << " not found. Replaced with transform group.\n";
                node = std::make_unique<TransformGroup>(name);
                break;
            }
            std::unique_ptr<TransformGroup> copy = found->second->createCopy();
            auto* shape = static_cast<Shape*>(copy.get());
            shape->setName(name);
            Geometry* geometry = shape->getGeometry();
            if (geometry != nullptr && (geometry->getKindFlags() & Geometry::kListsShapesOnCopy)) {
                geometry->registerShape(shape);
            }
            if (a.get("clipDistance") != nullptr) {
                shape->setClipDistance(std::max(0.0f, a.number("clipDistance", 0.0f)));
            }
            uint32_t flags = 0;
            if (a.flagDefaultFalse("castsShadows"))
                flags |= Shape::kCastsShadows;
            if (a.flagDefaultFalse("receiveShadows"))
                flags |= Shape::kReceivesShadows;
            if (a.flagDefaultFalse("nonRenderable"))
                flags |= Shape::kNotRendered;
            shape->addShapeFlags(flags);
            if (const char* bones = a.get("skinBindNodes")) {
                SkinnedShape skinned{shape, {}};
                for (const std::string& bone : splitText(" ", bones, false)) {
                    if (!bone.empty()) {
                        skinned.boneNames.push_back(bone);
                    }
                }
                m_skinned.push_back(std::move(skinned));
            }
            node = std::move(copy);
            break;
        }
        case E_Camera: {
            const char* fov = a.get("fov");
            const char* nearClip = a.get("nearClip");
            const char* farClip = a.get("farClip");
            if (fov == nullptr || nearClip == nullptr || farClip == nullptr) {
                return nullptr;
            }
            node = std::make_unique<Camera>(name, a.number("fov", 0), a.number("nearClip", 0),
                                            a.number("farClip", 0));
            break;
        }
        case E_Light: {
            LightSource::Settings s;
            const std::string type = a.text("type");
            if (strcasecmp(type.c_str(), "point") == 0) {
                s.type = LightSource::Point;
            } else if (strcasecmp(type.c_str(), "directional") == 0) {
                s.type = LightSource::Directional;
            } else if (strcasecmp(type.c_str(), "spot") == 0) {
                s.type = LightSource::Spot;
            } else {
                s.type = LightSource::Ambient;
            }
            s.diffuseColor = a.vector("diffuseColor", s.diffuseColor);
            s.specularColor = a.vector("specularColor", s.specularColor);
            s.castsShadowMap = a.flagDefaultFalse("castShadowMap");
            if (s.castsShadowMap) {
                s.depthMapBias = a.number("depthMapBias", s.depthMapBias);
                s.depthMapResolution = renderTextureSizeAttribute(
                    a, "depthMapResolution", s.depthMapResolution, "Light " + name);
                s.shadowFarDistance = a.number("shadowFarDistance", s.shadowFarDistance);
                s.shadowTextureOffset = a.number("shadowTextureOffset", s.shadowTextureOffset);
                s.shadowExtrusionDistance =
                    a.number("shadowExtrusionDistance", s.shadowExtrusionDistance);
            }
            s.range = a.number("range", s.range);
            s.decayRate = a.integer("decayRate", s.decayRate);
            if (s.type == LightSource::Spot) {
                s.coneAngle = a.number("coneAngle", s.coneAngle);
                s.dropOff = a.number("dropOff", s.dropOff);
            }
            auto light = std::make_unique<LightSource>(name, s);
            uint32_t flags = light->getLightFlags();
            if (!a.flagDefaultTrue("emitDiffuse")) {
                flags &= ~LightSource::kEmitsDiffuse;
            }
            if (!a.flagDefaultTrue("emitSpecular")) {
                flags &= ~LightSource::kEmitsSpecular;
            }
            light->setLightFlags(flags);
            node = std::move(light);
            break;
        }
        case E_Dynamic: {
            const char* ref = a.get("ref");
            auto found = ref != nullptr ? m_dynamics.find(ref) : m_dynamics.end();
            if (found == m_dynamics.end()) {
                Log::get() << "Warning: Dynamic " << name << " not found.\n";
                return nullptr;
            }
            if (I3DDynamicsHandler* handler = I3DSectionHandlers::get().dynamics) {
                node = handler->createDynamic(found->second, name);
                if (!node) {
                    return nullptr;
                }
            } else {
                warnNoHandler("Dynamic", name);
                node = std::make_unique<TransformGroup>(name);
            }
            break;
        }
        case E_AudioSource: {
            const char* file = a.get("file");
            auto found = file != nullptr ? m_files.find(file) : m_files.end();
            if (found == m_files.end()) {
                Log::get() << "Warning: AudioSource " << name << " "
                           << (file != nullptr ? file : "") << " not found.\n";
                return nullptr;
            }
            I3DAudioSourceDesc d;
            d.name = name;
            d.file = found->second;
            d.range = a.number("range", 10.0f);
            d.innerRange = a.number("innerRange", d.range * 0.33f);
            d.volume = a.number("volume", 1.0f);
            d.loops = a.integer("loops", 0);
            if (I3DAudioHandler* handler = I3DSectionHandlers::get().audio) {
                node = handler->createAudioSource(d);
                if (!node) {
                    return nullptr;
                }
            } else {
                warnNoHandler("AudioSource", name);
                node = std::make_unique<TransformGroup>(name);
            }
            break;
        }
        default:
            return nullptr;
    }
    TransformGroup* made = node.get();
    placeNode(std::move(node), a, physics);
    return made;
}

// Links the node below the current one, applies the common attributes and
// enters it in the name map.
void I3DLoader::placeNode(std::unique_ptr<TransformGroup> node, const Attributes& a, bool physics) {
    TransformGroup* made = node.release();
    m_current->addChild(made);
    m_nodes[made->getName()] = made;
    applyCommonAttributes(*made, a, physics);
}

void I3DLoader::applyCommonAttributes(TransformGroup& node, const Attributes& a, bool physics) {
    const Vector3 translation = a.vector("translation", {0, 0, 0});
    const Vector3 rotation = a.vector("rotation", {0, 0, 0}) * kDegreesToRadians;
    if (a.get("translation") != nullptr || a.get("rotation") != nullptr) {
        node.setTranslationRotation(translation, rotation);
    }
    if (a.get("scale") != nullptr) {
        node.setScale(a.vector("scale", {1, 1, 1}));
    }
    node.setVisibility(a.flagDefaultTrue("visibility"));
    if (a.flagDefaultFalse("oc")) {
        node.setTransformFlags(node.getTransformFlags() | 0x1);
    }
    if (a.get("userAttrId") != nullptr) {
        m_userAttrIds[a.integer("userAttrId", 0)] = &node;
    }
    if (const char* mask = a.get("objectMask")) {
        node.setObjectMask(parseObjectMask(mask, "Node " + node.getName()));
    }
    if (!physics) {
        return;
    }
    bool isJoint = a.flagPresent("joint");
    if (isJoint) {
        node.setTransformFlags(node.getTransformFlags() |
                               RawTransformGroup::kNoTransformInheritance);
        node.invalidateWorld(0);
    }
    uint32_t flags = 0;
    if (a.flagDefaultFalse("static")) {
        flags = 0x3;
    } else if (a.flagPresent("dynamic")) {
        flags = 0x5;
    } else if (a.flagPresent("kinematic")) {
        flags = 0x9;
    }
    if (a.flagPresent("compound")) {
        flags |= 0x10;
    } else if (a.flagDefaultFalse("compoundChild")) {
        flags |= 0x21;
    }
    I3DPhysicsHandler* handler = I3DSectionHandlers::get().physics;
    if (flags != 0) {
        if (node.hasKind(EntityKind::LODTransformGroup)) {
            flags |= 0x10;
        }
        if (!isFalse(a.get("collision"))) {
            flags |= 0x40;
        }
        if (a.flagPresent("trigger")) {
            flags |= 0x80;
        }
        I3DRigidBodyDesc body;
        body.flags = flags;
        body.collisionMask = a.optionalInteger("collisionMask");
        body.restitution = a.optionalNumber("restitution");
        body.staticFriction = a.optionalNumber("staticFriction");
        body.dynamicFriction = a.optionalNumber("dynamicFriction");
        body.skinWidth = a.optionalNumber("skinWidth");
        body.density = a.optionalNumber("density");
        if (handler != nullptr) {
            handler->setRigidBody(node, body);
        } else {
            ++m_ignoredPhysics;
        }
    }
    if (isJoint) {
        I3DJointDesc joint;
        joint.projection = a.flagDefaultFalse("projection");
        joint.projDistance = a.optionalNumber("projDistance");
        joint.projAngle = a.optionalNumber("projAngle");
        joint.projAngle.value *= kDegreesToRadians;
        joint.xAxisDrive = a.flagDefaultFalse("xAxisDrive");
        joint.yAxisDrive = a.flagDefaultFalse("yAxisDrive");
        joint.zAxisDrive = a.flagDefaultFalse("zAxisDrive");
        joint.drivePos = a.optionalVector("drivePos");
        joint.driveForceLimit = a.optionalNumber("driveForceLimit");
        joint.driveSpring = a.optionalNumber("driveSpring");
        joint.driveDamping = a.optionalNumber("driveDamping");
        auto axes = [&](const char* x, const char* y, const char* z, float scale) {
            I3DValue<Vector3> v;
            I3DValue<float> values[3] = {a.optionalNumber(x), a.optionalNumber(y),
                                         a.optionalNumber(z)};
            v.set = values[0].set || values[1].set || values[2].set;
            v.value = Vector3(values[0].value, values[1].value, values[2].value) * scale;
            return v;
        };
        joint.rotMin = axes("rotMinX", "rotMinY", "rotMinZ", kDegreesToRadians);
        joint.rotMax = axes("rotMaxX", "rotMaxY", "rotMaxZ", kDegreesToRadians);
        joint.transMin = axes("transMinX", "transMinY", "transMinZ", 1.0f);
        joint.transMax = axes("transMaxX", "transMaxY", "transMaxZ", 1.0f);
        const char* rotNames[3][2] = {
            {"rotMinX", "rotMaxX"}, {"rotMinY", "rotMaxY"}, {"rotMinZ", "rotMaxZ"}};
        const char* transNames[3][2] = {
            {"transMinX", "transMaxX"}, {"transMinY", "transMaxY"}, {"transMinZ", "transMaxZ"}};
        for (int i = 0; i < 3; ++i) {
            joint.rotAxisGiven[i] =
                a.get(rotNames[i][0]) != nullptr || a.get(rotNames[i][1]) != nullptr;
            joint.transAxisGiven[i] =
                a.get(transNames[i][0]) != nullptr || a.get(transNames[i][1]) != nullptr;
        }
        joint.breakable = a.flagDefaultFalse("breakableJoint");
        joint.breakForce = a.optionalNumber("jointBreakForce");
        joint.breakTorque = a.optionalNumber("jointBreakTorque");
        if (handler != nullptr) {
            handler->setJoint(node, joint);
        } else {
            ++m_ignoredPhysics;
        }
    }
}

// ---- Terrain ----

void I3DLoader::readDensity(I3DDensityDesc& density, const Attributes& a,
                            const std::string& owner) {
    density.densityMap = resolveFileEntry(a.get("densityMap"), owner.c_str());
    density.materialName = a.text("material");
    density.material = materialAttribute(a, "material");
    density.numDensityMapChannels =
        cappedSize(a, "numDensityMapChannels", 1, I3DLimits::kMaxDensityChannels, owner);
    density.densityMapShaderName = a.text("densityMapShaderName");
    density.cellSize = a.optionalNumber("cellSize");
    density.viewDistance = a.optionalNumber("viewDistance");
    density.terrainOffset = a.optionalNumber("terrainOffset");
    density.objectMask = parseObjectMask(a.get("objectMask"), owner);
}

void I3DLoader::startTerrainLayer(Element element, const Attributes& a) {
    if (!m_terrain) {
        return;
    }
    I3DTerrainDesc& terrain = *m_terrain;
    const std::string owner = "TerrainTransformGroup " + terrain.name;
    if (element == E_Layer) {
        I3DTerrainLayerDesc& layer = terrain.layers.emplace_back();
        layer.detailMap = resolveFileEntry(a.get("detailMap"), owner.c_str());
        layer.weightMap = resolveFileEntry(a.get("weightMap"), owner.c_str());
        layer.unitSize = a.optionalNumber("unitSize");
        if (a.get("plane") != nullptr) {
            layer.plane = {a.floats<4>("plane", {0, 0, 0, 0}), true};
        }
        if (a.get("distanceColor") != nullptr) {
            layer.distanceColor = {a.floats<4>("distanceColor", {0, 0, 0, 1}), true};
        }
    } else if (element == E_FoliageLayer) {
        I3DFoliageLayerDesc& layer = terrain.foliageLayers.emplace_back();
        layer.name = a.text("name");
        const std::string layerOwner = "FoliageLayer " + layer.name;
        readDensity(layer.density, a, layerOwner);
        layer.atlasSize = cappedSize(a, "atlasSize", 1, I3DLimits::kMaxAtlasSize, layerOwner);
        layer.plantThreshold = a.optionalNumber("plantThreshold");
        layer.numBlocksPerUnit =
            cappedSize(a, "numBlocksPerUnit", 1, I3DLimits::kMaxAtlasSize, layerOwner);
        layer.width = a.optionalNumber("width");
        layer.height = a.optionalNumber("height");
        layer.heightVariance = a.optionalNumber("heightVariance");
        layer.horizontalPositionVariance = a.optionalNumber("horizontalPositionVariance");
        layer.growthNumStates =
            cappedSize(a, "growthNumStates", 0, I3DLimits::kMaxGrowthStates, layerOwner);
        if (layer.growthNumStates.set && layer.growthNumStates.value == 1) {
            Log::get() << "Warning: growthNumStates 1 is equal to 0\n";
        }
        layer.growthStateTime = a.optionalNumber("growthStateTime");
    } else {
        I3DDetailLayerDesc& layer = terrain.detailLayers.emplace_back();
        layer.name = a.text("name");
        readDensity(layer.density, a, "DetailLayer " + layer.name);
    }
}

void I3DLoader::endTerrain() {
    if (!m_terrain) {
        return;
    }
    std::unique_ptr<I3DTerrainDesc> desc = std::move(m_terrain);
    std::unique_ptr<TransformGroup> node;
    if (I3DTerrainHandler* handler = I3DSectionHandlers::get().terrain) {
        node = handler->createTerrain(*desc);
        if (!node) {
            return;
        }
    } else {
        warnNoHandler("TerrainTransformGroup", desc->name);
        node = std::make_unique<TransformGroup>(desc->name);
    }
    std::vector<const char*> atts;
    for (const std::string& text : m_terrainAttributes) {
        atts.push_back(text.c_str());
    }
    atts.push_back(nullptr);
    // "static" gives the terrain a height field in the physics world.
    placeNode(std::move(node), Attributes(atts.data()), true);
}

// ---- Animation ----

void I3DLoader::startCharacterSet(const Attributes& a) {
    m_characterSet = I3DCharacterSetDesc();
    m_characterSet.name = a.text("name");
}

void I3DLoader::startClip(const Attributes& a) {
    I3DClipDesc& clip = m_characterSet.clips.emplace_back();
    clip.name = a.text("name");
    clip.duration = a.number("duration", 0.0f);
}

// A track whose node is missing stays in the clip, empty, so that the
// tracks of every clip still pair with the bound transforms by position.
void I3DLoader::startKeyframes(const Attributes& a) {
    if (m_characterSet.clips.empty()) {
        return;
    }
    I3DKeyframeTrackDesc& track = m_characterSet.clips.back().tracks.emplace_back();
    track.nodeName = a.text("node");
    auto found = m_nodes.find(track.nodeName);
    if (found == m_nodes.end()) {
        Log::get() << "CharacterSet " << m_characterSet.name << ": skipped transform group "
                   << track.nodeName << " not found\n";
        return;
    }
    track.node = found->second;
}

void I3DLoader::addKeyframe(const Attributes& a) {
    if (m_characterSet.clips.empty() || m_characterSet.clips.back().tracks.empty()) {
        return;
    }
    I3DKeyframeTrackDesc& track = m_characterSet.clips.back().tracks.back();
    if (track.node == nullptr) {
        return;
    }
    I3DKeyframeDesc& key = track.keyframes.emplace_back();
    key.time = a.number("time", 0.0f);
    if (a.get("translation") != nullptr) {
        key.attributes |= 1;
        key.translation = a.vector("translation", {0, 0, 0});
    }
    if (a.get("rotation") != nullptr) {
        key.attributes |= 2;
        key.rotation = a.vector("rotation", {0, 0, 0}) * kDegreesToRadians;
    }
    if (a.get("scale") != nullptr) {
        key.attributes |= 4;
        key.scale = a.vector("scale", {1, 1, 1});
    }
    if (a.get("visibility") != nullptr) {
        key.attributes |= 8;
        key.visibility = a.flagDefaultTrue("visibility");
    }
    const char* channels[3][2] = {{"iptin", "iptout"}, {"iprin", "iprout"}, {"ipsin", "ipsout"}};
    for (uint32_t c = 0; c < 3; ++c) {
        if (a.text(channels[c][0]) == "linear")
            key.linearIn |= 1u << c;
        if (a.text(channels[c][1]) == "linear")
            key.linearOut |= 1u << c;
    }
}

void I3DLoader::endCharacterSet() {
    if (I3DAnimationHandler* handler = I3DSectionHandlers::get().animation) {
        handler->addCharacterSet(m_characterSet);
    } else {
        warnNoHandler("CharacterSet", m_characterSet.name);
    }
    m_characterSet = I3DCharacterSetDesc();
}

// ---- User attributes ----

void I3DLoader::startUserAttribute(const Attributes& a) {
    m_userAttributeNode = nullptr;
    if (const char* id = a.get("id")) {
        auto found = m_userAttrIds.find(a.integer("id", 0));
        if (found != m_userAttrIds.end()) {
            m_userAttributeNode = found->second;
        } else {
            Log::get() << "Warning: UserAttribute, no node with userAttrId " << id << "\n";
        }
        return;
    }
    const std::string name = a.text("name");
    auto found = m_nodes.find(name);
    if (found != m_nodes.end()) {
        m_userAttributeNode = found->second;
    } else {
        Log::get() << "Warning: UserAttribute, node " << name << " not found\n";
    }
}

void I3DLoader::addUserAttribute(const Attributes& a) {
    if (m_userAttributeNode == nullptr) {
        return;
    }
    const std::string name = a.text("name");
    const std::string type = a.text("type");
    const char* value = a.get("value");
    const std::string text = value != nullptr ? value : "";
    UserAttribute attribute;
    if (type == "boolean") {
        attribute = UserAttribute::makeBoolean(text == "true");
    } else if (type == "integer") {
        attribute = UserAttribute::makeInteger(a.integer("value", 0));
    } else if (type == "float") {
        attribute = UserAttribute::makeFloat(a.number("value", 0.0f));
    } else {
        attribute = UserAttribute::makeString(text);
        if (type == "scriptCallback" && name == "onCreate") {
            m_onCreate.emplace_back(m_userAttributeNode, text);
        }
    }
    m_userAttributeNode->setUserAttribute(name, attribute);
}

// ---- Skin binding ----

// Bones are looked up by name; one missing name binds the shape to no
// bones and leaves it unskinned. A vertex bone index past the bind list would read outside the
// bone palette: such weights become 0 in a geometry of the shape's own.
void I3DLoader::bindSkins() {
    for (SkinnedShape& skinned : m_skinned) {
        std::vector<RawTransformGroup*> bones;
        for (const std::string& name : skinned.boneNames) {
            auto found = m_nodes.find(name);
            if (found == m_nodes.end()) {
                // The shape binds no bones and draws unskinned.
                bones.assign(1, nullptr);
                break;
            }
            bones.push_back(found->second);
        }
        Shape& shape = *skinned.shape;
        Geometry* geometry = shape.getGeometry();
        const MeshData* mesh = geometry != nullptr ? geometry->getMeshData() : nullptr;
        if (mesh != nullptr && !bones.empty() && bones[0] != nullptr &&
            !mesh->boneIndices.empty()) {
            bool outside = false;
            for (const auto& indices : mesh->boneIndices) {
                for (int32_t index : indices) {
                    outside = outside || static_cast<size_t>(index) >= bones.size();
                }
            }
            if (outside) {
                auto fixed = std::make_unique<MeshData>(*mesh);
                for (size_t v = 0; v < fixed->boneIndices.size(); ++v) {
                    for (int i = 0; i < 4; ++i) {
                        if (static_cast<size_t>(fixed->boneIndices[v][i]) >= bones.size()) {
                            fixed->boneIndices[v][i] = 0;
                            fixed->skinWeights[v][i] = 0;
                        }
                    }
                }
                Log::get() << "Warning: Shape " << shape.getName() << ", bone indices past its "
                           << static_cast<uint32_t>(bones.size()) << " bind nodes get weight 0\n";
                auto built = m_geometryAttributes.find(geometry);
                uint32_t attributes = built != m_geometryAttributes.end() ? built->second : 0;
                shape.setGeometry(
                    new IndexedFaceSetGeometry(geometry->getName(), std::move(fixed), attributes));
            }
        }
        shape.bindSkin(bones);
    }
    m_skinned.clear();
}

}  // namespace

bool loadI3DFile(const std::string& path, I3DLoadResult& result) {
    result = I3DLoadResult();
    std::string normalized = path;
    std::replace(normalized.begin(), normalized.end(), '\\', '/');
    std::unique_ptr<File> file = FileSystem::openFile(normalized, FileMode::Read);
    if (!file) {
        Log::get() << "Error: Can't open scene file " << normalized << "\n";
        return false;
    }
    I3DLoader loader(normalized, result);
    return loader.run(file.get(), nullptr, 0);
}

bool loadI3DText(const std::string& path, const char* text, size_t length, I3DLoadResult& result) {
    result = I3DLoadResult();
    I3DLoader loader(path, result);
    return loader.run(nullptr, text, length);
}
