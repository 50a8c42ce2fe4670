#include "shaderlang/compiler/GlslEmitter.h"

#include "shaderlang/compiler/Checker.h"
#include "shaderlang/compiler/Parser.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cmath>
#include <cstdio>
#include <map>
#include <set>
#include <unordered_set>

namespace shadercompiler {

using shaderinterface::ParameterInfo;
using shaderinterface::ParamType;
using shaderinterface::Reflection;
using shaderinterface::SamplerInfo;
using shaderinterface::SamplerKind;
using shaderinterface::Stage;

namespace {

// Words a user identifier may not keep in GLSL: keywords, reserved words and
// built-in functions.
const std::unordered_set<std::string>& reservedWords() {
    static const std::unordered_set<std::string> kWords = {"attribute",
                                                           "const",
                                                           "uniform",
                                                           "varying",
                                                           "layout",
                                                           "centroid",
                                                           "flat",
                                                           "smooth",
                                                           "noperspective",
                                                           "patch",
                                                           "sample",
                                                           "break",
                                                           "continue",
                                                           "do",
                                                           "for",
                                                           "while",
                                                           "switch",
                                                           "case",
                                                           "default",
                                                           "if",
                                                           "else",
                                                           "subroutine",
                                                           "in",
                                                           "out",
                                                           "inout",
                                                           "float",
                                                           "double",
                                                           "int",
                                                           "void",
                                                           "bool",
                                                           "true",
                                                           "false",
                                                           "invariant",
                                                           "discard",
                                                           "return",
                                                           "mat2",
                                                           "mat3",
                                                           "mat4",
                                                           "mat2x2",
                                                           "mat2x3",
                                                           "mat2x4",
                                                           "mat3x2",
                                                           "mat3x3",
                                                           "mat3x4",
                                                           "mat4x2",
                                                           "mat4x3",
                                                           "mat4x4",
                                                           "vec2",
                                                           "vec3",
                                                           "vec4",
                                                           "ivec2",
                                                           "ivec3",
                                                           "ivec4",
                                                           "bvec2",
                                                           "bvec3",
                                                           "bvec4",
                                                           "uint",
                                                           "uvec2",
                                                           "uvec3",
                                                           "uvec4",
                                                           "lowp",
                                                           "mediump",
                                                           "highp",
                                                           "precision",
                                                           "sampler1D",
                                                           "sampler2D",
                                                           "sampler3D",
                                                           "samplerCube",
                                                           "sampler1DShadow",
                                                           "sampler2DShadow",
                                                           "samplerCubeShadow",
                                                           "sampler1DArray",
                                                           "sampler2DArray",
                                                           "sampler2DRect",
                                                           "samplerBuffer",
                                                           "sampler2DMS",
                                                           "isampler2D",
                                                           "usampler2D",
                                                           "struct",
                                                           "common",
                                                           "partition",
                                                           "active",
                                                           "asm",
                                                           "class",
                                                           "union",
                                                           "enum",
                                                           "typedef",
                                                           "template",
                                                           "this",
                                                           "packed",
                                                           "goto",
                                                           "inline",
                                                           "noinline",
                                                           "volatile",
                                                           "public",
                                                           "static",
                                                           "extern",
                                                           "external",
                                                           "interface",
                                                           "long",
                                                           "short",
                                                           "half",
                                                           "fixed",
                                                           "unsigned",
                                                           "superp",
                                                           "input",
                                                           "output",
                                                           "hvec2",
                                                           "hvec3",
                                                           "hvec4",
                                                           "dvec2",
                                                           "dvec3",
                                                           "dvec4",
                                                           "fvec2",
                                                           "fvec3",
                                                           "fvec4",
                                                           "sampler3DRect",
                                                           "filter",
                                                           "image1D",
                                                           "image2D",
                                                           "image3D",
                                                           "imageCube",
                                                           "sizeof",
                                                           "cast",
                                                           "namespace",
                                                           "using",
                                                           "resource",
                                                           "buffer",
                                                           "shared",
                                                           "coherent",
                                                           "restrict",
                                                           "readonly",
                                                           "writeonly",
                                                           "main",
                                                           "radians",
                                                           "degrees",
                                                           "sin",
                                                           "cos",
                                                           "tan",
                                                           "asin",
                                                           "acos",
                                                           "atan",
                                                           "sinh",
                                                           "cosh",
                                                           "tanh",
                                                           "asinh",
                                                           "acosh",
                                                           "atanh",
                                                           "pow",
                                                           "exp",
                                                           "log",
                                                           "exp2",
                                                           "log2",
                                                           "sqrt",
                                                           "inversesqrt",
                                                           "abs",
                                                           "sign",
                                                           "floor",
                                                           "trunc",
                                                           "round",
                                                           "roundEven",
                                                           "ceil",
                                                           "fract",
                                                           "mod",
                                                           "modf",
                                                           "min",
                                                           "max",
                                                           "clamp",
                                                           "mix",
                                                           "step",
                                                           "smoothstep",
                                                           "isnan",
                                                           "isinf",
                                                           "floatBitsToInt",
                                                           "intBitsToFloat",
                                                           "length",
                                                           "distance",
                                                           "dot",
                                                           "cross",
                                                           "normalize",
                                                           "faceforward",
                                                           "reflect",
                                                           "refract",
                                                           "matrixCompMult",
                                                           "outerProduct",
                                                           "transpose",
                                                           "determinant",
                                                           "inverse",
                                                           "lessThan",
                                                           "lessThanEqual",
                                                           "greaterThan",
                                                           "greaterThanEqual",
                                                           "equal",
                                                           "notEqual",
                                                           "any",
                                                           "all",
                                                           "not",
                                                           "textureSize",
                                                           "texture",
                                                           "textureProj",
                                                           "textureLod",
                                                           "textureOffset",
                                                           "texelFetch",
                                                           "texelFetchOffset",
                                                           "textureProjOffset",
                                                           "textureLodOffset",
                                                           "textureProjLod",
                                                           "textureProjLodOffset",
                                                           "textureGrad",
                                                           "textureGradOffset",
                                                           "textureProjGrad",
                                                           "textureProjGradOffset",
                                                           "texture2D",
                                                           "texture2DProj",
                                                           "texture2DLod",
                                                           "textureCube",
                                                           "shadow2D",
                                                           "shadow2DProj",
                                                           "dFdx",
                                                           "dFdy",
                                                           "fwidth",
                                                           "noise1",
                                                           "noise2",
                                                           "noise3",
                                                           "noise4",
                                                           "EmitVertex",
                                                           "EndPrimitive"};
    return kWords;
}

bool hasGeneratedPrefix(const std::string& n) {
    static const char* const kPrefixes[] = {"gl_", "cg_", "v_",      "a_",
                                            "o_",  "s_",  "vp_regs", "fp_regs"};
    for (const char* p : kPrefixes) {
        if (n.rfind(p, 0) == 0)
            return true;
    }
    return n.find("__") != std::string::npos;
}

std::string glslType(const Type& t) {
    std::string b;
    switch (t.base) {
        case BaseType::Void:
            return "void";
        case BaseType::Sampler1D:
            return "sampler1D";
        case BaseType::Sampler2D:
            return "sampler2D";
        case BaseType::Sampler2DArray:
            return "sampler2DArray";
        case BaseType::SamplerRect:
            return "sampler2DRect";
        case BaseType::SamplerCube:
            return "samplerCube";
        case BaseType::Sampler2DShadow:
            return "sampler2DShadow";
        case BaseType::Struct:
            return t.st->name;  // renamed by the caller
        case BaseType::Bool:
            b = "b";
            break;
        case BaseType::Int:
            b = "i";
            break;
        case BaseType::Float:
            b = "";
            break;
    }
    if (t.matrix) {
        // A Cg row is a GLSL column: floatRxC is GLSL matRxC (R columns of C).
        if (t.rows == t.cols)
            return "mat" + std::to_string(t.rows);
        return "mat" + std::to_string(t.rows) + "x" + std::to_string(t.cols);
    }
    if (t.cols == 1)
        return t.base == BaseType::Bool ? "bool" : t.base == BaseType::Int ? "int" : "float";
    return b + "vec" + std::to_string(t.cols);
}

SamplerKind samplerKind(BaseType t) {
    switch (t) {
        case BaseType::Sampler1D:
            return SamplerKind::Sampler1D;
        case BaseType::SamplerCube:
            return SamplerKind::SamplerCube;
        case BaseType::Sampler2DShadow:
            return SamplerKind::Sampler2DShadow;
        case BaseType::Sampler2DArray:
            return SamplerKind::Sampler2DArray;
        case BaseType::SamplerRect:
            return SamplerKind::SamplerRect;
        default:
            return SamplerKind::Sampler2D;
    }
}

std::string componentSuffix(int n) {
    static const char* const kSuffix[] = {"", ".x", ".xy", ".xyz", ""};
    return kSuffix[n];
}

std::string formatFloat(double v) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.9g", v);
    std::string s = buf;
    if (s.find_first_of(".eEn") == std::string::npos)
        s += ".0";
    return s;
}

// A stage holds at most this many registers; larger parameter sets are
// refused instead of producing text the driver cannot take.
constexpr int kMaxRegisters = 4096;
// Register counts saturate here, so sizes of absurd types cannot overflow.
constexpr int kSizeLimit = 1 << 30;
// Highest texture unit a TEXUNITn semantic may name.
constexpr int kMaxTextureUnit = 31;

int regSize(const Type& t) {
    long long n = 0;
    if (t.isArray()) {
        n = static_cast<long long>(t.arraySize) * regSize(t.element());
    } else if (t.base == BaseType::Struct) {
        for (const auto& m : t.st->members)
            n = std::min<long long>(n + regSize(m.type), kSizeLimit);
    } else if (!t.isSampler()) {
        n = t.matrix ? t.rows : 1;
    }
    return static_cast<int>(std::min<long long>(n, kSizeLimit));
}

int memberOffset(const StructDecl& st, const std::string& name) {
    int off = 0;
    for (const auto& m : st.members) {
        if (m.name == name)
            break;
        off += regSize(m.type);
    }
    return off;
}

bool isHiddenMember(const StructMember& m) {
    return m.uniform || !livesInGlsl(m.type);
}

ParamType paramType(const Type& t) {
    if (t.matrix) {
        static const ParamType kMat[3][3] = {
            {ParamType::Float2x2, ParamType::Float2x3, ParamType::Float2x4},
            {ParamType::Float3x2, ParamType::Float3x3, ParamType::Float3x4},
            {ParamType::Float4x2, ParamType::Float4x3, ParamType::Float4x4}};
        return kMat[t.rows - 2][t.cols - 2];
    }
    int first = t.base == BaseType::Int    ? static_cast<int>(ParamType::Int)
                : t.base == BaseType::Bool ? static_cast<int>(ParamType::Bool)
                                           : static_cast<int>(ParamType::Float);
    return static_cast<ParamType>(first + t.cols - 1);
}

// "TEXCOORD3" -> ("TEXCOORD", 3); "COLOR" -> ("COLOR", 0).
void splitSemantic(const std::string& s, std::string& base, int& index) {
    size_t i = s.size();
    while (i > 0 && std::isdigit(static_cast<unsigned char>(s[i - 1])))
        --i;
    base = s.substr(0, i);
    index = i < s.size() ? std::atoi(s.c_str() + i) : 0;
}

struct IoLeaf {
    std::string access;  // GLSL path inside the entry's local variable
    Type type;
    std::string semantic;  // canonical ("TEXCOORD1", "POSITION"), empty when none
    std::string autoName;  // varying name for leaves without semantic
    SourceLoc loc;
};

class Emitter {
public:
    Emitter(const Program& p, const FuncDecl& entry, Stage stage, Diagnostics& d)
        : m_prog(p),
          m_entry(entry),
          m_stage(stage),
          m_diag(d),
          m_regs(stage == Stage::Vertex ? shaderinterface::kVertexRegisterArray
                                        : shaderinterface::kFragmentRegisterArray) {}

    bool run(std::string& glsl, Reflection& refl) {
        collectNames();
        collectParameters();
        std::vector<const FuncDecl*> order;
        std::set<const FuncDecl*> active;
        if (!reach(&m_entry, order, active))
            return false;

        std::string globals = globalsDecl();
        std::string functions;
        for (const FuncDecl* f : order)
            functions += function(*f);
        std::string mainText = entryMain();
        if (m_diag.errorCount() > 0)
            return false;

        std::string text = "#version 330 core\n";
        text += structs();
        text += globals;
        std::string body = m_helpers + functions + mainText;
        allocate(refl);
        if (m_diag.errorCount() > 0)
            return false;
        if (refl.numRegisters > 0) {
            text += "uniform vec4 " + m_regs + "[" + std::to_string(refl.numRegisters) + "];\n";
        }
        for (const auto& s : refl.samplers) {
            const Sampler& decl = m_samplers[m_samplerByGlsl[s.glslName]];
            text += "uniform " + glslType(decl.type.withBase(decl.kind)) + " " + s.glslName + ";\n";
        }
        text += m_ioDecls;
        text += resolvePlaceholders(body);
        glsl = std::move(text);
        refl.stage = m_stage;
        return true;
    }

private:
    // ---- names ------------------------------------------------------------
    void collectNames() {
        auto add = [&](const std::string& n) { m_userNames.insert(n); };
        for (const auto& s : m_prog.structs) {
            add(s->name);
            for (const auto& m : s->members)
                add(m.name);
        }
        for (const auto& g : m_prog.globals)
            add(g->name);
        std::map<std::string, int> defs;
        for (const auto& f : m_prog.funcs) {
            add(f->name);
            if (f->body)
                ++defs[f->name];
        }
        std::map<std::string, int> seen;
        for (const auto& f : m_prog.funcs) {
            if (!f->body)
                continue;
            std::string n = safe(f->name);
            if (defs[f->name] > 1)
                n = safe(f->name + "_" + std::to_string(++seen[f->name]));
            m_funcNames[f.get()] = n;
        }
    }
    std::string safe(const std::string& n) {
        auto it = m_safe.find(n);
        if (it != m_safe.end())
            return it->second;
        std::string out = n;
        if (reservedWords().count(n) || hasGeneratedPrefix(n)) {
            std::string base = n;
            // Names with double underscores are reserved in GLSL.
            while (base.find("__") != std::string::npos)
                base.erase(base.find("__"), 1);
            if (hasGeneratedPrefix(base) || reservedWords().count(base))
                base = "u" + base;
            out = base + "_";
            while (m_userNames.count(out) || reservedWords().count(out))
                out += "_";
        }
        m_safe[n] = out;
        return out;
    }
    std::string typeStr(const Type& t) {
        return t.base == BaseType::Struct ? safe(t.st->name) : glslType(t);
    }
    std::string declStr(const Type& t, const std::string& name) {
        std::string s = typeStr(t.element()) + " " + name;
        if (t.isArray())
            s += "[" + std::to_string(t.arraySize) + "]";
        return s;
    }

    // ---- uniforms and samplers --------------------------------------------
    struct Root {
        std::string cgName;
        Type type;
        SourceLoc loc;
    };
    struct Sampler {
        std::string cgName;
        Type type;
        BaseType kind;
        int explicitUnit = -1;
        bool used = false;
        std::string glslName;
        SourceLoc loc;
    };
    static constexpr int kAmbiguous = -2;

    int addRoot(const std::string& name, const Type& t, SourceLoc loc) {
        m_roots.push_back({name, t, loc});
        addSamplersWithin(name, t, loc);
        return static_cast<int>(m_roots.size()) - 1;
    }
    int addSampler(const std::string& name, const Type& t, const std::string& semantic,
                   SourceLoc loc) {
        Sampler s;
        s.cgName = name;
        s.type = t;
        s.kind = t.base;
        s.loc = loc;
        if (semantic.rfind("TEXUNIT", 0) == 0) {
            std::string digits = semantic.substr(7);
            if (digits.empty() || digits.size() > 2 ||
                digits.find_first_not_of("0123456789") != std::string::npos ||
                std::stoi(digits) > kMaxTextureUnit) {
                m_diag.error(loc, "sampler '" + name + "' has the semantic " + semantic +
                                      "; texture units go from TEXUNIT0 to TEXUNIT" +
                                      std::to_string(kMaxTextureUnit));
            } else {
                s.explicitUnit = std::stoi(digits);
            }
        }
        std::string g = "s_";
        for (char c : name)
            g += (std::isalnum(static_cast<unsigned char>(c)) ? c : '_');
        while (m_samplerByGlsl.count(g))
            g += "_";
        s.glslName = g;
        m_samplers.push_back(s);
        int idx = static_cast<int>(m_samplers.size()) - 1;
        m_samplerByName[name] = idx;
        m_samplerByGlsl[g] = idx;
        return idx;
    }
    void addSamplersWithin(const std::string& name, const Type& t, SourceLoc loc) {
        if (!t.isStruct())
            return;
        for (const auto& m : t.st->members) {
            if (m.type.isSampler())
                addSampler(name + "." + m.name, m.type, m.semantic, loc);
            else
                addSamplersWithin(name + "." + m.name, m.type, loc);
        }
    }
    template <typename Map>
    static void mapUnique(Map& map, const typename Map::key_type& key, int value) {
        auto it = map.find(key);
        if (it == map.end())
            map[key] = value;
        else if (it->second != value)
            it->second = kAmbiguous;
    }
    void traverseVarying(const std::string& prefix, const StructDecl& st, SourceLoc loc) {
        for (const auto& m : st.members) {
            std::string name = prefix + "." + m.name;
            if (m.type.isSampler()) {
                mapUnique(m_memberSampler, std::make_pair(&st, m.name),
                          addSampler(name, m.type, m.semantic, m.loc));
            } else if (m.uniform) {
                mapUnique(m_memberRoot, std::make_pair(&st, m.name), addRoot(name, m.type, loc));
            } else if (m.type.isStruct()) {
                traverseVarying(name, *m.type.st, loc);
            }
        }
    }
    void collectParameters() {
        for (const auto& g : m_prog.globals) {
            if (!g->uniform)
                continue;
            if (g->type.isSampler()) {
                m_varSampler[g.get()] = addSampler(g->name, g->type, g->semantic, g->loc);
                continue;
            }
            int root = addRoot(g->name, g->type, g->loc);
            m_varRoot[g.get()] = root;
            if (!g->init)
                continue;
            int size = regSize(g->type);
            std::vector<float> image;
            if (size <= kMaxRegisters) {
                image.assign(static_cast<size_t>(size) * 4, 0.0f);
                if (!constantRegisters(*g->init, g->type, image.data(), 0))
                    image.clear();
            }
            if (image.empty()) {
                m_diag.warning(g->init->loc, "initial value of parameter '" + g->name +
                                                 "' is not a constant and is ignored");
            } else {
                m_initialValues[root] = std::move(image);
            }
        }
        for (const auto& p : m_entry.params) {
            if (p->type.isSampler()) {
                m_varSampler[p.get()] = addSampler(p->name, p->type, p->semantic, p->loc);
            } else if (p->uniform) {
                m_varRoot[p.get()] = addRoot(p->name, p->type, p->loc);
            } else if (p->type.isStruct()) {
                traverseVarying(p->name, *p->type.st, p->loc);
            }
        }
    }

    // ---- initial values of parameters --------------------------------------
    // Components of a numeric constant expression (literals, constructors,
    // casts, unary and arithmetic operators, static constants), matrices row
    // by row. False for anything that is not constant.
    bool constComponents(const Expr& e, std::vector<double>& out, int depth) const {
        if (depth > kMaxNesting || out.size() > 16 * 4096)
            return false;
        switch (e.kind) {
            case ExprKind::IntLit:
            case ExprKind::BoolLit:
                out.push_back(static_cast<double>(e.ival));
                return true;
            case ExprKind::FloatLit:
                out.push_back(e.fval);
                return true;
            case ExprKind::Var: {
                const VarDecl* v = e.var;
                if (!v || v->scope != VarDecl::Scope::Global || !v->isStatic || !v->isConst ||
                    !v->init || !v->type.isNumeric())
                    return false;
                // Folded once per constant, as in constIndex.
                auto known = m_constValues.find(v);
                if (known == m_constValues.end()) {
                    std::vector<double> value;
                    bool ok = fitComponents(*v->init, v->type, value, depth + 1);
                    known = m_constValues.emplace(v, std::make_pair(ok, std::move(value))).first;
                }
                if (!known->second.first)
                    return false;
                out.insert(out.end(), known->second.second.begin(), known->second.second.end());
                return true;
            }
            case ExprKind::Unary: {
                if (e.name != "-" && e.name != "+")
                    return false;
                size_t first = out.size();
                if (!constComponents(*e.args[0], out, depth + 1))
                    return false;
                if (e.name == "-") {
                    for (size_t i = first; i < out.size(); ++i)
                        out[i] = -out[i];
                }
                return true;
            }
            case ExprKind::Construct: {
                if (!e.castType.isNumeric())
                    return false;
                std::vector<double> value;
                if (e.args.size() == 1) {
                    if (!fitComponents(*e.args[0], e.castType, value, depth + 1))
                        return false;
                } else {
                    for (const auto& a : e.args) {
                        if (!constComponents(*a, value, depth + 1))
                            return false;
                    }
                    if (static_cast<int>(value.size()) != e.castType.components())
                        return false;
                }
                out.insert(out.end(), value.begin(), value.end());
                return true;
            }
            case ExprKind::Binary: {
                const std::string& op = e.name;
                if (op != "+" && op != "-" && op != "*" && op != "/")
                    return false;
                std::vector<double> a, b;
                if (!constComponents(*e.args[0], a, depth + 1) ||
                    !constComponents(*e.args[1], b, depth + 1))
                    return false;
                if (a.size() == 1)
                    a.assign(b.size(), a[0]);
                if (b.size() == 1)
                    b.assign(a.size(), b[0]);
                if (a.size() != b.size())
                    return false;
                bool integer = e.opType.base != BaseType::Float;
                for (size_t i = 0; i < a.size(); ++i) {
                    double r;
                    if (op == "+") {
                        r = a[i] + b[i];
                    } else if (op == "-") {
                        r = a[i] - b[i];
                    } else if (op == "*") {
                        r = a[i] * b[i];
                    } else {
                        if (integer && b[i] == 0)
                            return false;
                        r = a[i] / b[i];
                    }
                    out.push_back(integer ? std::trunc(r) : r);
                }
                return true;
            }
            default:
                return false;
        }
    }
    // The components of `e` brought to type `t` the way an assignment
    // converts: a scalar fills every component, longer values are cut.
    bool fitComponents(const Expr& e, const Type& t, std::vector<double>& out, int depth) const {
        std::vector<double> value;
        if (e.kind == ExprKind::InitList) {
            for (const auto& a : e.args) {
                if (!constComponents(*a, value, depth + 1))
                    return false;
            }
        } else if (!constComponents(e, value, depth)) {
            return false;
        }
        int n = t.components();
        if (value.size() == 1)
            value.assign(static_cast<size_t>(n), value[0]);
        if (static_cast<int>(value.size()) < n)
            return false;
        value.resize(static_cast<size_t>(n));
        for (double& v : value) {
            if (t.base == BaseType::Bool)
                v = v != 0.0 ? 1.0 : 0.0;
            else if (t.base == BaseType::Int)
                v = std::trunc(v);
        }
        out.insert(out.end(), value.begin(), value.end());
        return true;
    }
    // Writes the constant value of `e` as a `t` into the registers `regs`
    // (four floats each, in the register layout of t).
    bool constantRegisters(const Expr& e, const Type& t, float* regs, int depth) const {
        if (depth > kMaxNesting)
            return false;
        if (e.kind == ExprKind::Var && e.var && e.var->scope == VarDecl::Scope::Global &&
            e.var->isStatic && e.var->isConst && e.var->init && e.var->type == t && !t.isNumeric())
            return constantRegisters(*e.var->init, t, regs, depth + 1);
        if (t.isArray()) {
            if (e.kind != ExprKind::InitList)
                return false;
            int stride = regSize(t.element());
            for (size_t i = 0; i < e.args.size() && static_cast<int>(i) < t.arraySize; ++i) {
                if (!constantRegisters(*e.args[i], t.element(), regs + i * stride * 4, depth + 1))
                    return false;
            }
            return true;
        }
        if (t.isStruct()) {
            if (e.kind != ExprKind::InitList &&
                !(e.kind == ExprKind::Construct && e.name == "construct" && e.castType == t))
                return false;
            for (size_t i = 0; i < e.args.size() && i < t.st->members.size(); ++i) {
                const StructMember& m = t.st->members[i];
                if (!constantRegisters(*e.args[i], m.type, regs + memberOffset(*t.st, m.name) * 4,
                                       depth + 1))
                    return false;
            }
            return true;
        }
        if (!t.isNumeric())
            return false;
        std::vector<double> value;
        if (!fitComponents(e, t, value, depth))
            return false;
        for (int i = 0; i < t.components(); ++i) {
            int row = t.matrix ? i / t.cols : 0;
            int col = t.matrix ? i % t.cols : i;
            regs[row * 4 + col] = static_cast<float>(value[static_cast<size_t>(i)]);
        }
        return true;
    }

    struct UPath {
        int root = -1;
        std::vector<const Expr*> steps;  // Member and Index nodes, outermost last
    };
    bool uniformPath(const Expr& e, UPath& out) {
        if (e.kind == ExprKind::Var) {
            auto it = m_varRoot.find(e.var);
            if (it == m_varRoot.end())
                return false;
            out.root = it->second;
            return true;
        }
        if (e.kind == ExprKind::Member && e.swizzleLen == 0 && !e.type.isSampler()) {
            if (uniformPath(*e.args[0], out)) {
                out.steps.push_back(&e);
                return true;
            }
            if (!e.member || !e.member->uniform)
                return false;
            auto it = m_memberRoot.find(std::make_pair(e.memberOf, e.name));
            if (it == m_memberRoot.end() || it->second == kAmbiguous) {
                m_diag.error(e.loc,
                             std::string("uniform member '") + e.memberOf->name + "." + e.name +
                                 (it == m_memberRoot.end()
                                      ? "' does not belong to a parameter of this entry point"
                                      : "' belongs to more than one parameter"));
                out.root = -1;
                return true;
            }
            out.root = it->second;
            return true;
        }
        if (e.kind == ExprKind::Index && e.args[0]->type.isArray()) {
            if (!uniformPath(*e.args[0], out))
                return false;
            out.steps.push_back(&e);
            return true;
        }
        return false;
    }
    std::string uniformName(const UPath& p) {
        std::string n = m_roots[p.root].cgName;
        for (const Expr* s : p.steps) {
            long long k;
            if (s->kind == ExprKind::Member)
                n += "." + s->name;
            else if (constIndex(*s->args[1], k))
                n += "[" + std::to_string(k) + "]";
            else
                n += "[?]";
        }
        return n;
    }
    // The global sampler an expression names, or -1.
    int samplerOf(const Expr& e) {
        int idx = -1;
        if (e.kind == ExprKind::Var) {
            auto it = m_varSampler.find(e.var);
            if (it != m_varSampler.end())
                idx = it->second;
        } else if (e.kind == ExprKind::Member && e.type.isSampler()) {
            UPath p;
            if (uniformPath(*e.args[0], p)) {
                if (p.root < 0)
                    return -1;
                auto it = m_samplerByName.find(uniformName(p) + "." + e.name);
                if (it != m_samplerByName.end())
                    idx = it->second;
            } else {
                auto it = m_memberSampler.find(std::make_pair(e.memberOf, e.name));
                if (it != m_memberSampler.end())
                    idx = it->second;
            }
            if (idx < 0 || idx == kAmbiguous) {
                m_diag.error(e.loc,
                             "sampler '" + e.name + "' is not a parameter of this entry point");
                return -1;
            }
        }
        if (idx >= 0)
            m_samplers[idx].used = true;
        return idx;
    }

    bool constIndex(const Expr& e, long long& v) {
        switch (e.kind) {
            case ExprKind::IntLit:
                v = e.ival;
                return true;
            case ExprKind::Var:
                if (m_constVars.count(e.var)) {
                    v = m_constVars.at(e.var);
                    return true;
                }
                if (e.var && e.var->isStatic && e.var->isConst && e.var->init &&
                    e.var->type.isScalar() && e.var->type.base == BaseType::Int) {
                    // Each constant is folded once: constants defined from
                    // constants would otherwise cost exponential time.
                    auto known = m_constInts.find(e.var);
                    if (known == m_constInts.end()) {
                        long long value = 0;
                        bool ok = constIndex(*e.var->init, value);
                        known = m_constInts.emplace(e.var, std::make_pair(ok, value)).first;
                    }
                    v = known->second.second;
                    return known->second.first;
                }
                return false;
            case ExprKind::Unary:
                if (e.name != "-" || !constIndex(*e.args[0], v) || v == LLONG_MIN)
                    return false;
                v = -v;
                return true;
            case ExprKind::Binary: {
                long long a, b;
                return constIndex(*e.args[0], a) && constIndex(*e.args[1], b) &&
                       foldIntOperation(e.name, a, b, v);
            }
            default:
                return false;
        }
    }

    // A constant index (also one a loop variable takes once unrolled) must
    // lie inside its array, matrix or vector.
    bool indexInRange(const Expr& index, long long k, const Type& t) {
        int limit = t.isArray() ? t.arraySize : t.isMatrix() ? t.rows : t.cols;
        if (k >= 0 && k < limit)
            return true;
        m_diag.error(index.loc, "index " + std::to_string(k) + " out of range for " + typeName(t));
        return false;
    }

    struct Unit {
        int root;
        int offset;  // registers from the root's start in its full layout
        int size;
        Type type;
        std::string cgName;
        int reg = -1;
        bool top = false;
    };
    int unit(int root, int offset, const Type& t, const std::string& name) {
        auto it = m_unitByName.find(name);
        if (it != m_unitByName.end())
            return it->second;
        if (regSize(t) > kMaxRegisters) {
            m_diag.error(m_roots[root].loc, "'" + name + "' needs more than " +
                                                std::to_string(kMaxRegisters) + " registers");
        }
        m_units.push_back({root, offset, std::min(regSize(t), kMaxRegisters), t, name});
        int id = static_cast<int>(m_units.size()) - 1;
        m_unitByName[name] = id;
        return id;
    }
    std::string reg(int unitId, int offset, const std::string& dyn) {
        std::string s =
            m_regs + "[\x01" + std::to_string(unitId) + ":" + std::to_string(offset) + "\x02";
        return s + dyn + "]";
    }
    std::string fromVec4(const std::string& v, const Type& t) {
        std::string comps = v + componentSuffix(t.cols);
        if (t.base == BaseType::Float)
            return comps;
        return glslType(t) + "(" + comps + ")";
    }
    std::string loadLeaf(const Type& t, int unitId, int off, const std::string& dyn) {
        if (t.matrix) {
            std::string s = glslType(t) + "(";
            for (int r = 0; r < t.rows; ++r) {
                s += (r ? ", " : "") + reg(unitId, off + r, dyn) + componentSuffix(t.cols);
            }
            return s + ")";
        }
        return fromVec4(reg(unitId, off, dyn), t);
    }
    // Value of a uniform aggregate or leaf. With `arrayUnit` >= 0 the value
    // lies inside a dynamically indexed array at `rel` + `dyn` from its start.
    std::string loadValue(int root, const std::string& name, const Type& t, int offset,
                          int arrayUnit, int rel, const std::string& dyn) {
        if (t.isArray() || t.isStruct()) {
            std::string s =
                (t.isArray() ? typeStr(t.element()) + "[" + std::to_string(t.arraySize) + "]"
                             : typeStr(t)) +
                "(";
            bool first = true;
            if (t.isArray()) {
                int stride = regSize(t.element());
                for (int i = 0; i < t.arraySize; ++i) {
                    s += (first ? "" : ", ") + loadValue(root, name + "[" + std::to_string(i) + "]",
                                                         t.element(), offset + i * stride,
                                                         arrayUnit, rel + i * stride, dyn);
                    first = false;
                }
            } else {
                for (const auto& m : t.st->members) {
                    if (!livesInGlsl(m.type))
                        continue;
                    int mo = memberOffset(*t.st, m.name);
                    s += (first ? "" : ", ") + loadValue(root, name + "." + m.name, m.type,
                                                         offset + mo, arrayUnit, rel + mo, dyn);
                    first = false;
                }
            }
            return s + ")";
        }
        if (arrayUnit >= 0)
            return loadLeaf(t, arrayUnit, rel, dyn);
        return loadLeaf(t, unit(root, offset, t, name), 0, "");
    }
    std::string loadUniform(const UPath& p) {
        if (p.root < 0)
            return "0.0";
        const Root& r = m_roots[p.root];
        if (regSize(r.type) >= kSizeLimit) {
            m_diag.error(r.loc, "parameter '" + r.cgName + "' is too large");
            return "0.0";
        }
        Type t = r.type;
        std::string name = r.cgName;
        int offset = 0, rel = 0, arrayUnit = -1;
        std::string dyn;
        for (const Expr* s : p.steps) {
            if (s->kind == ExprKind::Member) {
                int mo = memberOffset(*t.st, s->name);
                offset += mo;
                rel += mo;
                name += "." + s->name;
                t = t.st->find(s->name)->type;
                continue;
            }
            Type elem = t.element();
            int stride = regSize(elem);
            long long k;
            if (constIndex(*s->args[1], k)) {
                if (!indexInRange(*s, k, t))
                    return "0.0";
                offset += static_cast<int>(k) * stride;
                rel += static_cast<int>(k) * stride;
                name += "[" + std::to_string(k) + "]";
            } else {
                if (arrayUnit < 0) {
                    arrayUnit = unit(p.root, offset, t, name);
                    rel = 0;
                }
                dyn += " + " + intExpr(*s->args[1]) +
                       (stride != 1 ? " * " + std::to_string(stride) : "");
                name += "[?]";
            }
            t = elem;
        }
        if (regSize(t) > kMaxRegisters) {
            m_diag.error(
                p.steps.empty() ? r.loc : p.steps.back()->loc,
                "'" + name + "' needs more than " + std::to_string(kMaxRegisters) + " registers");
            return "0.0";
        }
        return loadValue(p.root, name, t, offset, arrayUnit, rel, dyn);
    }

    void allocate(Reflection& refl) {
        std::vector<int> order(m_units.size());
        for (size_t i = 0; i < order.size(); ++i)
            order[i] = static_cast<int>(i);
        std::sort(order.begin(), order.end(), [&](int a, int b) {
            const Unit& x = m_units[a];
            const Unit& y = m_units[b];
            if (x.root != y.root)
                return x.root < y.root;
            if (x.offset != y.offset)
                return x.offset < y.offset;
            return x.size > y.size;
        });
        int next = 0;
        const Unit* container = nullptr;
        for (int id : order) {
            Unit& u = m_units[id];
            if (container && container->root == u.root && u.offset >= container->offset &&
                u.offset + u.size <= container->offset + container->size) {
                u.reg = container->reg + (u.offset - container->offset);
                continue;
            }
            u.reg = next;
            u.top = true;
            next += u.size;
            container = &u;
            auto init = m_initialValues.find(u.root);
            listLeaves(
                u.cgName, u.type, u.reg, refl.parameters,
                init == m_initialValues.end() ? nullptr : init->second.data() + u.offset * 4);
        }
        refl.numRegisters = next;
        if (next > kMaxRegisters) {
            m_diag.error(m_entry.loc, "the parameters of '" + m_entry.name + "' need " +
                                          std::to_string(next) + " registers, more than " +
                                          std::to_string(kMaxRegisters));
        }

        std::set<int> taken;
        std::map<int, const Sampler*> owners;
        for (const auto& s : m_samplers) {
            if (!s.used || s.explicitUnit < 0)
                continue;
            taken.insert(s.explicitUnit);
            auto [it, fresh] = owners.emplace(s.explicitUnit, &s);
            if (!fresh) {
                m_diag.error(s.loc, "samplers '" + it->second->cgName + "' and '" + s.cgName +
                                        "' both use texture unit " +
                                        std::to_string(s.explicitUnit));
            }
        }
        int free = 0;
        for (auto& s : m_samplers) {
            if (!s.used)
                continue;
            SamplerInfo info;
            info.name = s.cgName;
            info.glslName = s.glslName;
            info.kind = samplerKind(s.kind);
            if (s.explicitUnit >= 0) {
                info.textureUnit = s.explicitUnit;
            } else {
                while (taken.count(free))
                    ++free;
                info.textureUnit = free;
                taken.insert(free);
            }
            refl.samplers.push_back(info);
        }
    }
    // `init`: the initial value's registers for this part, or null.
    void listLeaves(const std::string& name, const Type& t, int base,
                    std::vector<ParameterInfo>& out, const float* init) {
        if (t.isArray()) {
            int stride = regSize(t.element());
            for (int i = 0; i < t.arraySize; ++i)
                listLeaves(name + "[" + std::to_string(i) + "]", t.element(), base + i * stride,
                           out, init ? init + i * stride * 4 : nullptr);
        } else if (t.isStruct()) {
            for (const auto& m : t.st->members) {
                int offset = memberOffset(*t.st, m.name);
                if (!m.type.isSampler())
                    listLeaves(name + "." + m.name, m.type, base + offset, out,
                               init ? init + offset * 4 : nullptr);
            }
        } else if (t.isNumeric()) {
            int count = t.matrix ? t.rows : 1;
            out.push_back({name, paramType(t), base, count, {}});
            if (init)
                out.back().initialValue.assign(init, init + count * 4);
        }
    }
    std::string resolvePlaceholders(const std::string& body) {
        std::string out;
        out.reserve(body.size());
        for (size_t i = 0; i < body.size(); ++i) {
            if (body[i] != '\x01') {
                out += body[i];
                continue;
            }
            size_t colon = body.find(':', i);
            size_t end = body.find('\x02', colon);
            int id = std::atoi(body.c_str() + i + 1);
            int off = std::atoi(body.c_str() + colon + 1);
            out += std::to_string(m_units[id].reg + off);
            i = end;
        }
        return out;
    }

    // ---- reachability -----------------------------------------------------
    bool reach(const FuncDecl* f, std::vector<const FuncDecl*>& order,
               std::set<const FuncDecl*>& active) {
        if (std::find(order.begin(), order.end(), f) != order.end())
            return true;
        if (active.count(f)) {
            m_diag.error(f->loc, "recursive call of function '" + f->name + "'");
            return false;
        }
        active.insert(f);
        for (const FuncDecl* c : f->calls) {
            if (!reach(c, order, active))
                return false;
        }
        active.erase(f);
        order.push_back(f);
        return true;
    }

    // ---- declarations -----------------------------------------------------
    std::string structs() {
        std::string s;
        for (const auto& st : m_prog.structs) {
            if (st->phantom)
                continue;
            s += "struct " + safe(st->name) + " {\n";
            for (const auto& m : st->members) {
                if (isHiddenMember(m))
                    continue;
                s += "    " + declStr(m.type, safe(m.name)) + ";\n";
            }
            s += "};\n";
        }
        return s;
    }
    std::string globalsDecl() {
        std::string s;
        for (const auto& g : m_prog.globals) {
            if (g->uniform || !livesInGlsl(g->type))
                continue;
            s += declStr(g->type, safe(g->name)) + ";\n";
            if (g->init)
                m_staticInits +=
                    "    " + safe(g->name) + " = " + initValue(*g->init, g->type) + ";\n";
        }
        return s;
    }

    // ---- functions --------------------------------------------------------
    bool paramEmitted(const FuncDecl& f, const VarDecl& p) const {
        if (&f == &m_entry && (p.uniform || p.type.isSampler()))
            return false;
        return p.type.isSampler() || livesInGlsl(p.type);
    }
    std::string function(const FuncDecl& f) {
        m_func = &f;
        std::string s = typeStr(f.ret) + " " + m_funcNames[&f] + "(";
        bool first = true;
        for (const auto& p : f.params) {
            if (!paramEmitted(f, *p))
                continue;
            if (!first)
                s += ", ";
            first = false;
            if (p->dir == ParamDir::Out)
                s += "out ";
            else if (p->dir == ParamDir::InOut)
                s += "inout ";
            s += declStr(p->type, safe(p->name));
        }
        s += ") ";
        if (f.ret.isArray())
            m_diag.error(f.loc, "functions cannot return arrays");
        s += stmt(*f.body, 0) + "\n";
        m_func = nullptr;
        return s;
    }

    // A loop "for (int i = a; i < b; i++)" (any comparison, ++, --, += c,
    // -= c) with constant bounds, at most kMaxUnroll passes, no break or
    // continue of its own and no write to i: the loop variable and the values
    // it takes.
    static constexpr int kMaxUnroll = 16;
    // Nested unrolled loops multiply; beyond this many copies of the
    // innermost body the inner loops stay loops.
    static constexpr int kMaxUnrolledPasses = 256;
    const VarDecl* unrollable(const Stmt& s, std::vector<long long>& values) {
        if (!s.init || s.init->kind != StmtKind::Decl || s.init->decls.size() != 1 || !s.expr ||
            !s.step)
            return nullptr;
        const VarDecl* var = s.init->decls[0].get();
        long long start, limit, inc;
        if (var->type != Type::scalar(BaseType::Int) || !var->init ||
            !constIndex(*var->init, start))
            return nullptr;
        const Expr& c = *s.expr;
        if (c.kind != ExprKind::Binary || c.args[0]->kind != ExprKind::Var ||
            c.args[0]->var != var || !constIndex(*c.args[1], limit))
            return nullptr;
        const Expr& st = *s.step;
        if ((st.kind == ExprKind::PostIncDec || st.kind == ExprKind::PreIncDec) &&
            st.args[0]->kind == ExprKind::Var && st.args[0]->var == var) {
            inc = st.name == "++" ? 1 : -1;
        } else if (st.kind == ExprKind::Assign && (st.name == "+=" || st.name == "-=") &&
                   st.args[0]->kind == ExprKind::Var && st.args[0]->var == var &&
                   constIndex(*st.args[1], inc)) {
            if (st.name == "-=")
                inc = -inc;
        } else {
            return nullptr;
        }
        for (long long i = start;;) {
            bool go = c.name == "<"    ? i < limit
                      : c.name == "<=" ? i <= limit
                      : c.name == ">"  ? i > limit
                      : c.name == ">=" ? i >= limit
                      : c.name == "!=" ? i != limit
                                       : false;
            if (!go)
                break;
            if (static_cast<int>(values.size()) == kMaxUnroll || i > INT_MAX || i <= INT_MIN)
                return nullptr;
            values.push_back(i);
            if (__builtin_add_overflow(i, inc, &i))
                return nullptr;
        }
        if (escapes(*s.then, var))
            return nullptr;
        return var;
    }
    // Whether a loop body leaves its pass early or writes the variable.
    static bool escapes(const Stmt& s, const VarDecl* var, bool nested = false) {
        if (!nested && (s.kind == StmtKind::Break || s.kind == StmtKind::Continue))
            return true;
        bool loop =
            s.kind == StmtKind::For || s.kind == StmtKind::While || s.kind == StmtKind::DoWhile;
        for (const auto& c : s.body) {
            if (escapes(*c, var, nested))
                return true;
        }
        for (const Stmt* c : {s.init.get(), s.then.get(), s.otherwise.get()}) {
            if (c && escapes(*c, var, nested || loop))
                return true;
        }
        for (const auto& d : s.decls) {
            if (d->init && writes(*d->init, var))
                return true;
        }
        return (s.expr && writes(*s.expr, var)) || (s.step && writes(*s.step, var));
    }
    static bool writes(const Expr& e, const VarDecl* var) {
        if (e.kind == ExprKind::Assign || e.kind == ExprKind::PostIncDec ||
            e.kind == ExprKind::PreIncDec) {
            const Expr* t = e.args[0].get();
            while (t->kind == ExprKind::Member || t->kind == ExprKind::Index)
                t = t->args[0].get();
            if (t->kind == ExprKind::Var && t->var == var)
                return true;
        }
        if (e.kind == ExprKind::Call && e.func) {
            for (size_t i = 0; i < e.args.size(); ++i) {
                if (e.func->params[i]->dir != ParamDir::In && e.args[i]->kind == ExprKind::Var &&
                    e.args[i]->var == var)
                    return true;
            }
        }
        for (const auto& a : e.args) {
            if (writes(*a, var))
                return true;
        }
        return false;
    }

    std::string indent(int n) { return std::string(static_cast<size_t>(n) * 4, ' '); }

    std::string stmt(const Stmt& s, int depth) {
        std::string in = indent(depth);
        switch (s.kind) {
            case StmtKind::Block: {
                std::string r = "{\n";
                for (const auto& c : s.body)
                    r += indent(depth + 1) + stmt(*c, depth + 1) + "\n";
                return r + in + "}";
            }
            case StmtKind::Decl: {
                std::string r;
                for (size_t i = 0; i < s.decls.size(); ++i) {
                    const VarDecl& v = *s.decls[i];
                    if (!livesInGlsl(v.type))
                        continue;
                    if (!r.empty())
                        r += "\n" + in;
                    r += (v.isConst ? "const " : "") + declStr(v.type, safe(v.name));
                    if (v.init)
                        r += " = " + initValue(*v.init, v.type);
                    r += ";";
                }
                return r.empty() ? ";" : r;
            }
            case StmtKind::ExprStmt:
                return ex(*s.expr) + ";";
            case StmtKind::If: {
                std::string r = "if (" + boolValue(*s.expr) + ") " + stmt(*s.then, depth);
                if (s.otherwise)
                    r += "\n" + in + "else " + stmt(*s.otherwise, depth);
                return r;
            }
            case StmtKind::For: {
                std::vector<long long> values;
                const VarDecl* var = unrollable(s, values);
                if (var &&
                    m_unrollScale * static_cast<long long>(values.size()) <= kMaxUnrolledPasses) {
                    // Unrolled, so that indices by the loop variable are
                    // constants and only the elements used take registers.
                    // Each pass is a block of its own, so declarations in a
                    // body without braces do not clash.
                    std::string r = "{\n";
                    int scale = m_unrollScale;
                    m_unrollScale *= static_cast<int>(values.size());
                    bool block = s.then->kind == StmtKind::Block;
                    for (long long v : values) {
                        m_constVars[var] = v;
                        std::string pass = stmt(*s.then, depth + (block ? 1 : 2));
                        r += indent(depth + 1) +
                             (block ? pass
                                    : "{\n" + indent(depth + 2) + pass + "\n" + indent(depth + 1) +
                                          "}") +
                             "\n";
                    }
                    m_unrollScale = scale;
                    m_constVars.erase(var);
                    return r + in + "}";
                }
                std::string init = s.init ? stmt(*s.init, depth) : ";";
                return "for (" + init + " " + (s.expr ? boolValue(*s.expr) : "") + "; " +
                       (s.step ? ex(*s.step) : "") + ") " + stmt(*s.then, depth);
            }
            case StmtKind::While:
                return "while (" + boolValue(*s.expr) + ") " + stmt(*s.then, depth);
            case StmtKind::DoWhile:
                return "do " + stmt(*s.then, depth) + " while (" + boolValue(*s.expr) + ");";
            case StmtKind::Return:
                if (!s.expr)
                    return "return;";
                return "return " + conv(*s.expr, m_func->ret) + ";";
            case StmtKind::Break:
                return "break;";
            case StmtKind::Continue:
                return "continue;";
            case StmtKind::Discard:
                if (m_stage != Stage::Fragment) {
                    m_diag.error(s.loc, "discard is only allowed in fragment programs");
                }
                return "discard;";
            case StmtKind::Empty:
                return ";";
        }
        return ";";
    }

    std::string initValue(const Expr& e, const Type& t) {
        if (e.kind != ExprKind::InitList)
            return conv(e, t);
        std::string s;
        if (t.isArray()) {
            s = typeStr(t.element()) + "[" + std::to_string(t.arraySize) + "](";
            for (size_t i = 0; i < e.args.size(); ++i)
                s += (i ? ", " : "") + initValue(*e.args[i], t.element());
        } else if (t.isStruct()) {
            s = typeStr(t) + "(";
            for (size_t i = 0; i < e.args.size() && i < t.st->members.size(); ++i)
                s += (i ? ", " : "") + initValue(*e.args[i], t.st->members[i].type);
        } else {
            s = typeStr(t) + "(";
            for (size_t i = 0; i < e.args.size(); ++i)
                s += (i ? ", " : "") + ex(*e.args[i]);
        }
        return s + ")";
    }

    // ---- conversions ------------------------------------------------------
    std::string convStr(const std::string& s, const Type& from, const Type& to) {
        if (from == to || to.isSampler() || to.isVoid())
            return s;
        if (!from.isNumeric() || !to.isNumeric())
            return s;
        if (to.isScalar()) {
            std::string v = from.isScalar() ? s : "(" + s + ").x";
            return from.base == to.base ? v : glslType(to) + "(" + v + ")";
        }
        if (to.isMatrix()) {
            if (from.isScalar()) {
                std::string row =
                    glslType(Type::vector(BaseType::Float, to.cols)) + "(float(" + s + "))";
                std::string r = glslType(to) + "(";
                for (int i = 0; i < to.rows; ++i)
                    r += (i ? ", " : "") + row;
                return r + ")";
            }
            return glslType(to) + "(" + s + ")";
        }
        return glslType(to) + "(" + s + ")";
    }
    std::string conv(const Expr& e, const Type& to) { return convStr(ex(e), e.type, to); }
    // Operand of a component-wise operation: a scalar stays a scalar.
    std::string operand(const Expr& e, const Type& opType) {
        if (e.type.isScalar() && !opType.isScalar())
            return conv(e, Type::scalar(opType.base));
        return conv(e, opType);
    }
    std::string boolValue(const Expr& e) { return conv(e, Type::scalar(BaseType::Bool)); }
    std::string intExpr(const Expr& e) { return conv(e, Type::scalar(BaseType::Int)); }
    std::string toVec4(const std::string& s, const Type& t) {
        std::string v =
            t.base == BaseType::Float ? s : glslType(t.withBase(BaseType::Float)) + "(" + s + ")";
        switch (t.cols) {
            case 1:
                return "vec4(" + v + ", 0.0, 0.0, 1.0)";
            case 2:
                return "vec4(" + v + ", 0.0, 1.0)";
            case 3:
                return "vec4(" + v + ", 1.0)";
            default:
                return v;
        }
    }

    std::string zeroValue(const Type& t) {
        if (t.isArray()) {
            std::string s = typeStr(t.element()) + "[" + std::to_string(t.arraySize) + "](";
            for (int i = 0; i < t.arraySize; ++i)
                s += (i ? ", " : "") + zeroValue(t.element());
            return s + ")";
        }
        if (t.isStruct()) {
            std::string s = typeStr(t) + "(";
            bool first = true;
            for (const auto& m : t.st->members) {
                if (isHiddenMember(m))
                    continue;
                s += (first ? "" : ", ") + zeroValue(m.type);
                first = false;
            }
            return s + ")";
        }
        std::string zero = t.base == BaseType::Bool  ? "false"
                           : t.base == BaseType::Int ? "0"
                                                     : "0.0";
        if (t.isScalar())
            return zero;
        if (t.isMatrix())
            return convStr("0.0", Type::scalar(BaseType::Float), t);
        return glslType(t) + "(" + zero + ")";
    }

    // ---- expressions ------------------------------------------------------
    std::string ex(const Expr& e) {
        switch (e.kind) {
            case ExprKind::IntLit:
                return std::to_string(e.ival);
            case ExprKind::FloatLit:
                return formatFloat(e.fval);
            case ExprKind::BoolLit:
                return e.ival ? "true" : "false";
            case ExprKind::Var: {
                UPath p;
                if (uniformPath(e, p))
                    return loadUniform(p);
                int s = samplerOf(e);
                if (s >= 0)
                    return m_samplers[s].glslName;
                auto cv = m_constVars.find(e.var);
                if (cv != m_constVars.end()) {
                    std::string v = std::to_string(cv->second);
                    return cv->second < 0 ? "(" + v + ")" : v;
                }
                return safe(e.name);
            }
            case ExprKind::Member: {
                if (e.swizzleLen > 0)
                    return swizzle(e);
                if (e.type.isSampler()) {
                    int s = samplerOf(e);
                    return s >= 0 ? m_samplers[s].glslName : "0";
                }
                UPath p;
                if (uniformPath(e, p))
                    return loadUniform(p);
                return ex(*e.args[0]) + "." + safe(e.name);
            }
            case ExprKind::Index: {
                UPath p;
                if (uniformPath(e, p))
                    return loadUniform(p);
                long long k;
                if (constIndex(*e.args[1], k))
                    indexInRange(e, k, e.args[0]->type);
                return ex(*e.args[0]) + "[" + intExpr(*e.args[1]) + "]";
            }
            case ExprKind::Call:
                return call(e);
            case ExprKind::Construct:
                return construct(e);
            case ExprKind::Unary: {
                const Expr& a = *e.args[0];
                if (e.name == "!") {
                    if (e.type.isScalar())
                        return "(!" + boolValue(a) + ")";
                    return "not(" + conv(a, e.type) + ")";
                }
                return "(" + e.name + conv(a, e.type) + ")";
            }
            case ExprKind::Binary:
                return binary(e);
            case ExprKind::Assign:
                return assign(e);
            case ExprKind::Ternary:
                return "(" + boolValue(*e.args[0]) + " ? " + conv(*e.args[1], e.type) + " : " +
                       conv(*e.args[2], e.type) + ")";
            case ExprKind::InitList:
                return "0";
            case ExprKind::PostIncDec:
                return "(" + ex(*e.args[0]) + e.name + ")";
            case ExprKind::PreIncDec:
                return "(" + e.name + ex(*e.args[0]) + ")";
        }
        return "0";
    }

    std::string swizzle(const Expr& e) {
        const Expr& base = *e.args[0];
        std::string b = ex(base);
        if (base.type.isScalar()) {
            if (e.swizzleLen == 1)
                return b;
            return glslType(e.type) + "(" + b + ")";
        }
        std::string s = "(" + b + ").";
        for (int i = 0; i < e.swizzleLen; ++i)
            s += "xyzw"[e.swizzle[i]];
        if (b.find_first_not_of(
                "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_.[]") ==
            std::string::npos)
            s = b + s.substr(b.size() + 2);
        return s;
    }

    std::string construct(const Expr& e) {
        const Type& t = e.castType;
        if (t.isStruct() && e.name == "construct") {
            std::string s = typeStr(t) + "(";
            for (size_t i = 0; i < e.args.size() && i < t.st->members.size(); ++i)
                s += (i ? ", " : "") + conv(*e.args[i], t.st->members[i].type);
            return s + ")";
        }
        if (t.isStruct()) {
            if (e.args[0]->type == t)
                return ex(*e.args[0]);
            if (regSize(t) > kMaxRegisters) {
                m_diag.error(e.loc, "struct '" + t.st->name + "' is too large to clear");
                return "0";
            }
            return zeroValue(t);
        }
        if (e.args.size() == 1)
            return conv(*e.args[0], t);
        std::string s = glslType(t) + "(";
        for (size_t i = 0; i < e.args.size(); ++i)
            s += (i ? ", " : "") + ex(*e.args[i]);
        return s + ")";
    }

    std::string binary(const Expr& e) {
        const Expr& a = *e.args[0];
        const Expr& b = *e.args[1];
        const std::string& op = e.name;
        const Type& t = e.opType;
        if ((op == "&&" || op == "||") && t.isScalar())
            return "(" + boolValue(a) + " " + op + " " + boolValue(b) + ")";
        if (op == "&&" || op == "||") {
            // GLSL has no logical operators on vectors: 0/1 integers combine.
            std::string iv = glslType(t.withBase(BaseType::Int));
            return glslType(t) + "(" + iv + "(" + operand(a, t) + ") " + (op == "&&" ? "&" : "|") +
                   " " + iv + "(" + operand(b, t) + "))";
        }
        bool compare =
            op == "==" || op == "!=" || op == "<" || op == ">" || op == "<=" || op == ">=";
        if (compare) {
            if (t.isScalar())
                return "(" + conv(a, t) + " " + op + " " + conv(b, t) + ")";
            static const std::map<std::string, std::string> kFn = {
                {"==", "equal"},      {"!=", "notEqual"},      {"<", "lessThan"},
                {">", "greaterThan"}, {"<=", "lessThanEqual"}, {">=", "greaterThanEqual"}};
            return kFn.at(op) + "(" + conv(a, t) + ", " + conv(b, t) + ")";
        }
        if (op == "%" && t.base == BaseType::Float) {
            useFmod();
            return "cg_fmod(" + conv(a, t) + ", " + conv(b, t) + ")";
        }
        if (op == "*" && a.type.isMatrix() && b.type.isMatrix()) {
            return "matrixCompMult(" + conv(a, t) + ", " + conv(b, t) + ")";
        }
        return "(" + operand(a, t) + " " + op + " " + operand(b, t) + ")";
    }

    std::string assign(const Expr& e) {
        const Expr& l = *e.args[0];
        const Expr& r = *e.args[1];
        std::string lhs = ex(l);
        if (e.name == "=")
            return "(" + lhs + " = " + conv(r, l.type) + ")";
        std::string op = e.name.substr(0, e.name.size() - 1);
        const Type& t = e.opType;
        if (op == "%" && t.base == BaseType::Float) {
            useFmod();
            return "(" + lhs + " = " +
                   convStr("cg_fmod(" + convStr(lhs, l.type, t) + ", " + conv(r, t) + ")", t,
                           l.type) +
                   ")";
        }
        if (op == "*" && l.type.isMatrix() && r.type.isMatrix()) {
            return "(" + lhs + " = matrixCompMult(" + lhs + ", " + conv(r, l.type) + "))";
        }
        if (t == l.type)
            return "(" + lhs + " " + e.name + " " + operand(r, t) + ")";
        return "(" + lhs + " = " +
               convStr("(" + operand(l, t) + " " + op + " " + operand(r, t) + ")", t, l.type) + ")";
    }

    void useFmod() {
        if (m_helperNames.insert("fmod").second) {
            for (const char* t : {"float", "vec2", "vec3", "vec4"}) {
                m_helpers += std::string(t) + " cg_fmod(" + t + " x, " + t +
                             " y) { return x - y * trunc(x / y); }\n";
            }
        }
    }

    std::string args(const Expr& e, const Type& t, size_t from = 0, size_t to = 99) {
        std::string s;
        for (size_t i = from; i < e.args.size() && i < to; ++i)
            s += (i > from ? ", " : "") + conv(*e.args[i], t);
        return s;
    }

    std::string call(const Expr& e) {
        if (e.func) {
            std::string s = m_funcNames[e.func] + "(";
            bool first = true;
            for (size_t i = 0; i < e.args.size(); ++i) {
                const VarDecl& p = *e.func->params[i];
                if (!paramEmitted(*e.func, p))
                    continue;
                s += (first ? "" : ", ") +
                     (p.dir == ParamDir::In ? conv(*e.args[i], p.type) : ex(*e.args[i]));
                first = false;
            }
            return s + ")";
        }
        return builtin(e);
    }

    void fragmentOnly(const Expr& e) {
        if (m_stage != Stage::Fragment) {
            m_diag.error(e.loc, "'" + e.name + "' is only available in fragment programs");
        }
    }

    std::string texture(const Expr& e) {
        const Expr& s = *e.args[0];
        const Expr& c = *e.args[1];
        int si = samplerOf(s);
        bool shadowDecl = s.type.base == BaseType::Sampler2DShadow;
        bool wantShadow =
            shadowDecl || e.builtin == Builtin::Shadow2D || e.builtin == Builtin::Shadow2Dproj;
        if (wantShadow && si >= 0)
            m_samplers[si].kind = BaseType::Sampler2DShadow;
        std::string sam = ex(s);
        auto vec = [&](int n) { return conv(c, Type::vector(BaseType::Float, n)); };
        switch (e.builtin) {
            case Builtin::Tex2D:
            case Builtin::Shadow2D:
                if (wantShadow)
                    return "vec4(texture(" + sam + ", " + vec(3) + "))";
                return "texture(" + sam + ", " + vec(2) + ")";
            case Builtin::Tex2Dproj:
            case Builtin::Shadow2Dproj:
                if (wantShadow)
                    return "vec4(textureProj(" + sam + ", " + vec(4) + "))";
                return "textureProj(" + sam + ", " + vec(c.type.cols) + ")";
            case Builtin::Tex2Dlod: {
                std::string v = "(" + vec(4) + ")";
                if (wantShadow)
                    return "vec4(textureLod(" + sam + ", " + v + ".xyz, " + v + ".w))";
                return "textureLod(" + sam + ", " + v + ".xy, " + v + ".w)";
            }
            case Builtin::Tex2Dbias: {
                fragmentOnly(e);
                std::string v = "(" + vec(4) + ")";
                if (wantShadow)
                    return "vec4(texture(" + sam + ", " + v + ".xyz, " + v + ".w))";
                return "texture(" + sam + ", " + v + ".xy, " + v + ".w)";
            }
            case Builtin::TexCUBE:
                return "texture(" + sam + ", " + vec(3) + ")";
            case Builtin::TexCUBElod: {
                std::string v = "(" + vec(4) + ")";
                return "textureLod(" + sam + ", " + v + ".xyz, " + v + ".w)";
            }
            case Builtin::Tex1D:
            case Builtin::Tex2DArray:
            case Builtin::TexRect:
                return "texture(" + sam + ", " + vec(c.type.cols) + ")";
            case Builtin::Tex1Dproj:
            case Builtin::TexRectproj:
                return "textureProj(" + sam + ", " + vec(c.type.cols) + ")";
            case Builtin::Tex1Dlod:
            case Builtin::Tex2DArraylod:
            case Builtin::Tex1Dbias:
            case Builtin::Tex2DArraybias: {
                bool lod = e.builtin == Builtin::Tex1Dlod || e.builtin == Builtin::Tex2DArraylod;
                if (!lod)
                    fragmentOnly(e);
                std::string v = "(" + vec(4) + ")";
                const char* coord =
                    e.builtin == Builtin::Tex1Dlod || e.builtin == Builtin::Tex1Dbias ? ".x"
                                                                                      : ".xyz";
                return std::string(lod ? "textureLod(" : "texture(") + sam + ", " + v + coord +
                       ", " + v + ".w)";
            }
            case Builtin::Tex1Dgrad:
            case Builtin::Tex2Dgrad: {
                int n = e.builtin == Builtin::Tex1Dgrad ? 1 : 2;
                Type d = Type::vector(BaseType::Float, n);
                std::string grads = ", " + conv(*e.args[2], d) + ", " + conv(*e.args[3], d) + ")";
                if (wantShadow)
                    return "vec4(textureGrad(" + sam + ", " + vec(3) + grads + ")";
                return "textureGrad(" + sam + ", " + vec(n) + grads;
            }
            default:
                return "vec4(0.0)";
        }
    }

    std::string builtin(const Expr& e) {
        const Type& t = e.opType;
        auto simple = [&](const char* fn) { return std::string(fn) + "(" + args(e, t) + ")"; };
        switch (e.builtin) {
            case Builtin::Mul: {
                const Expr& a = *e.args[0];
                const Expr& b = *e.args[1];
                if (!a.type.isMatrix() && !b.type.isMatrix()) {
                    if (a.type.isVector() && b.type.isVector()) {
                        Type v = Type::vector(BaseType::Float, a.type.cols);
                        return "dot(" + conv(a, v) + ", " + conv(b, v) + ")";
                    }
                    return "(" + operand(a, e.type) + " * " + operand(b, e.type) + ")";
                }
                // Rows of a Cg matrix are GLSL columns, so the factors swap.
                auto f = [&](const Expr& x) {
                    return x.type.isMatrix() ? ex(x) : conv(x, x.type.withBase(BaseType::Float));
                };
                return "(" + f(b) + " * " + f(a) + ")";
            }
            case Builtin::Dot:
                return simple("dot");
            case Builtin::Cross:
                return simple("cross");
            case Builtin::Normalize:
                return simple("normalize");
            case Builtin::Length:
                return simple("length");
            case Builtin::Distance:
                return simple("distance");
            case Builtin::Reflect:
                return simple("reflect");
            case Builtin::Refract:
                return "refract(" + args(e, t, 0, 2) + ", " +
                       conv(*e.args[2], Type::scalar(BaseType::Float)) + ")";
            case Builtin::Lerp:
                return simple("mix");
            case Builtin::Saturate:
                return "clamp(" + args(e, t) + ", 0.0, 1.0)";
            case Builtin::Clamp:
                return simple("clamp");
            case Builtin::Min:
                return simple("min");
            case Builtin::Max:
                return simple("max");
            case Builtin::Abs:
                return simple("abs");
            case Builtin::Sign:
                return simple("sign");
            case Builtin::Pow:
                return simple("pow");
            case Builtin::Exp:
                return simple("exp");
            case Builtin::Exp2:
                return simple("exp2");
            case Builtin::Log:
                return simple("log");
            case Builtin::Log2:
                return simple("log2");
            case Builtin::Log10:
                return "(log(" + args(e, t) + ") * 0.434294482)";
            case Builtin::Sqrt:
                return simple("sqrt");
            case Builtin::Rsqrt:
                return simple("inversesqrt");
            case Builtin::Frac:
                return simple("fract");
            case Builtin::Floor:
                return simple("floor");
            case Builtin::Ceil:
                return simple("ceil");
            case Builtin::Round:
                return simple("round");
            case Builtin::Trunc:
                return simple("trunc");
            case Builtin::Fmod:
                useFmod();
                return simple("cg_fmod");
            case Builtin::Step:
                return simple("step");
            case Builtin::Smoothstep:
                return simple("smoothstep");
            case Builtin::Sin:
                return simple("sin");
            case Builtin::Cos:
                return simple("cos");
            case Builtin::Tan:
                return simple("tan");
            case Builtin::Asin:
                return simple("asin");
            case Builtin::Acos:
                return simple("acos");
            case Builtin::Atan:
                return simple("atan");
            case Builtin::Atan2:
                return simple("atan");
            case Builtin::Sinh:
                return simple("sinh");
            case Builtin::Cosh:
                return simple("cosh");
            case Builtin::Tanh:
                return simple("tanh");
            case Builtin::Radians:
                return simple("radians");
            case Builtin::Degrees:
                return simple("degrees");
            case Builtin::Faceforward:
                return simple("faceforward");
            case Builtin::Ddx:
                fragmentOnly(e);
                return simple("dFdx");
            case Builtin::Ddy:
                fragmentOnly(e);
                return simple("dFdy");
            case Builtin::Fwidth:
                fragmentOnly(e);
                return simple("fwidth");
            case Builtin::Any:
            case Builtin::All: {
                const Expr& a = *e.args[0];
                const char* fn = e.builtin == Builtin::Any ? "any" : "all";
                if (a.type.isScalar())
                    return boolValue(a);
                if (a.type.base == BaseType::Bool)
                    return std::string(fn) + "(" + ex(a) + ")";
                Type ft = a.type.withBase(BaseType::Float);
                return std::string(fn) + "(notEqual(" + conv(a, ft) + ", " + glslType(ft) +
                       "(0.0)))";
            }
            case Builtin::Clip: {
                fragmentOnly(e);
                std::string ty = glslType(t);
                if (m_helperNames.insert("clip" + ty).second) {
                    std::string test =
                        t.isScalar() ? "x < 0.0" : "any(lessThan(x, " + ty + "(0.0)))";
                    m_helpers += "void cg_clip(" + ty + " x) { if (" + test + ") discard; }\n";
                }
                return simple("cg_clip");
            }
            case Builtin::Sincos: {
                std::string ty = glslType(t);
                if (m_helperNames.insert("sincos" + ty).second) {
                    m_helpers += "void cg_sincos(" + ty + " x, out " + ty + " s, out " + ty +
                                 " c) { s = sin(x); c = cos(x); }\n";
                }
                return "cg_sincos(" + conv(*e.args[0], t) + ", " + ex(*e.args[1]) + ", " +
                       ex(*e.args[2]) + ")";
            }
            case Builtin::Isnan:
                return simple("isnan");
            case Builtin::Isinf:
                return simple("isinf");
            case Builtin::Isfinite: {
                // Finite: neither NaN nor infinite, component by component.
                std::string ty = glslType(t);
                if (m_helperNames.insert("isfinite" + ty).second) {
                    std::string result = glslType(t.withBase(BaseType::Bool));
                    std::string body =
                        t.isScalar() ? "!isnan(x) && !isinf(x)"
                                     : "not(" + result + "(" + glslType(t.withBase(BaseType::Int)) +
                                           "(isnan(x)) + " + glslType(t.withBase(BaseType::Int)) +
                                           "(isinf(x))))";
                    m_helpers += result + " cg_isfinite(" + ty + " x) { return " + body + "; }\n";
                }
                return simple("cg_isfinite");
            }
            case Builtin::Transpose:
                return "transpose(" + ex(*e.args[0]) + ")";
            case Builtin::Determinant:
                return "determinant(" + ex(*e.args[0]) + ")";
            case Builtin::Lit: {
                if (m_helperNames.insert("lit").second) {
                    m_helpers +=
                        "vec4 cg_lit(float n_l, float n_h, float m) { return vec4(1.0, max(n_l, "
                        "0.0), "
                        "(n_l > 0.0) ? pow(max(n_h, 0.0), m) : 0.0, 1.0); }\n";
                }
                return "cg_lit(" + args(e, Type::scalar(BaseType::Float)) + ")";
            }
            default:
                return texture(e);
        }
    }

    // ---- entry point ------------------------------------------------------
    void collectIo(const std::string& access, const Type& t, const std::string& semantic,
                   const std::string& autoName, SourceLoc loc, std::vector<IoLeaf>& out) {
        if (t.isStruct()) {
            if (t.st->phantom)
                return;
            for (const auto& m : t.st->members) {
                if (isHiddenMember(m))
                    continue;
                collectIo(access + "." + safe(m.name), m.type, m.semantic,
                          t.st->name + "_" + m.name, m.loc, out);
            }
            return;
        }
        if (t.isArray()) {
            std::string base;
            int index = 0;
            splitSemantic(semantic, base, index);
            for (int i = 0; i < t.arraySize; ++i) {
                collectIo(access + "[" + std::to_string(i) + "]", t.element(),
                          semantic.empty() ? "" : base + std::to_string(index + i),
                          autoName + "_" + std::to_string(i), loc, out);
            }
            return;
        }
        IoLeaf leaf{access, t, semantic, autoName, loc};
        if (!semantic.empty()) {
            std::string base;
            int index = 0;
            splitSemantic(semantic, base, index);
            if (base == "TEXCOORD" || base == "COLOR" || base == "ATTR")
                leaf.semantic = base + std::to_string(index);
            if (base == "DIFFUSE")
                leaf.semantic = "COLOR0";
            if (base == "SPECULAR")
                leaf.semantic = "COLOR1";
            if (base == "HPOS" || base == "POSITION")
                leaf.semantic = "POSITION";
            // Vertex inputs with one slot: "NORMAL0" is "NORMAL", so both
            // spellings read the same attribute.
            if (index == 0 && (base == "BLENDWEIGHT" || base == "NORMAL" || base == "TANGENT" ||
                               base == "BINORMAL" || base == "BLENDINDICES"))
                leaf.semantic = base;
        }
        out.push_back(leaf);
    }

    int attributeLocation(const std::string& sem) {
        using namespace shaderinterface;
        std::string base;
        int index = 0;
        splitSemantic(sem, base, index);
        if (sem == "POSITION")
            return kAttribPosition;
        if (sem == "BLENDWEIGHT")
            return kAttribBlendWeight;
        if (sem == "NORMAL")
            return kAttribNormal;
        if (sem == "COLOR0")
            return kAttribColor0;
        if (sem == "COLOR1")
            return kAttribColor1;
        if (sem == "TANGENT")
            return kAttribTangent;
        if (sem == "BINORMAL")
            return kAttribBinormal;
        if (sem == "BLENDINDICES")
            return kAttribBlendIndices;
        if (base == "TEXCOORD" && index < 8)
            return kAttribTexCoord0 + index;
        if (base == "ATTR" && index < kNumAttributes)
            return index;
        return -1;
    }

    void declareIo(const std::string& name, const std::string& decl) {
        if (m_ioNames.insert(name).second)
            m_ioDecls += decl + "\n";
    }

    std::string readInput(const IoLeaf& l) {
        if (m_stage == Stage::Vertex) {
            if (l.semantic.empty()) {
                m_diag.error(l.loc, "vertex input '" + l.autoName + "' has no semantic");
                return "0";
            }
            int loc = attributeLocation(l.semantic);
            if (loc < 0) {
                m_diag.error(l.loc, "unknown vertex input semantic '" + l.semantic + "'");
                return "0";
            }
            std::string name = "a_" + l.semantic;
            declareIo(name, "layout(location = " + std::to_string(loc) + ") in vec4 " + name + ";");
            if (l.type.isMatrix()) {
                m_diag.error(l.loc, "vertex input '" + l.autoName +
                                        "' is a matrix; pass its rows as float4 inputs");
                return "0";
            }
            return fromVec4(name, l.type);
        }
        if (l.semantic == "POSITION" || l.semantic == "WPOS")
            return fromVec4("gl_FragCoord", l.type);
        if (l.semantic == "FACE" || l.semantic == "VFACE")
            return convStr("(gl_FrontFacing ? 1.0 : -1.0)", Type::scalar(BaseType::Float), l.type);
        return fromVec4(varying(l, "in"), l.type);
    }
    std::string varying(const IoLeaf& l, const char* dir) {
        std::string name =
            shaderinterface::kVaryingPrefix + (l.semantic.empty() ? l.autoName : l.semantic);
        if (l.type.isMatrix())
            m_diag.error(l.loc, "matrices cannot be passed between stages");
        declareIo(name, std::string(dir) + " vec4 " + name + ";");
        return name;
    }
    std::string writeOutput(const IoLeaf& l, const std::string& value) {
        if (m_stage == Stage::Vertex) {
            if (l.semantic == "POSITION")
                return "gl_Position = " + toVec4(value, l.type) + ";";
            if (l.semantic == "PSIZE")
                return "gl_PointSize = " + convStr(value, l.type, Type::scalar(BaseType::Float)) +
                       ";";
            return varying(l, "out") + " = " + toVec4(value, l.type) + ";";
        }
        std::string base;
        int index = 0;
        splitSemantic(l.semantic, base, index);
        if (base == "DEPTH")
            return "gl_FragDepth = " + convStr(value, l.type, Type::scalar(BaseType::Float)) + ";";
        if (base == "COLOR") {
            std::string name = shaderinterface::kFragmentColorOutput;
            if (index > 0)
                name += std::to_string(index);
            declareIo(name,
                      "layout(location = " + std::to_string(index) + ") out vec4 " + name + ";");
            return name + " = " + toVec4(value, l.type) + ";";
        }
        m_diag.error(l.loc, "fragment output needs the semantic COLOR or DEPTH");
        return "";
    }

    std::string entryMain() {
        std::string body, call = m_funcNames[&m_entry] + "(", after;
        bool first = true;
        std::set<std::string> outSemantics;
        auto writeAll = [&](const std::vector<IoLeaf>& leaves, const std::string& root) {
            for (const auto& l : leaves) {
                std::string key = l.semantic.empty() ? l.autoName : l.semantic;
                if (!outSemantics.insert(key).second) {
                    m_diag.error(l.loc, "output semantic '" + key + "' is written twice");
                }
                after += "    " + writeOutput(l, root + l.access) + "\n";
            }
        };
        int n = 0;
        for (const auto& p : m_entry.params) {
            if (!paramEmitted(m_entry, *p))
                continue;
            std::string local = "cg_arg" + std::to_string(n++);
            body += "    " + declStr(p->type, local) + ";\n";
            std::vector<IoLeaf> leaves;
            collectIo("", p->type, p->semantic, p->name, p->loc, leaves);
            if (p->dir != ParamDir::Out) {
                for (const auto& l : leaves)
                    body += "    " + local + l.access + " = " + readInput(l) + ";\n";
            }
            if (p->dir != ParamDir::In)
                writeAll(leaves, local);
            call += (first ? "" : ", ") + local;
            first = false;
        }
        call += ")";
        if (!m_entry.ret.isVoid()) {
            body += "    " + declStr(m_entry.ret, "cg_result") + " = " + call + ";\n";
            std::vector<IoLeaf> leaves;
            collectIo("", m_entry.ret, m_entry.semantic, "result", m_entry.loc, leaves);
            if (m_entry.ret.isScalarOrVector() && m_entry.semantic.empty()) {
                m_diag.error(m_entry.loc, "the result of '" + m_entry.name + "' needs a semantic");
            }
            writeAll(leaves, "cg_result");
        } else {
            body += "    " + call + ";\n";
        }
        if (m_stage == Stage::Vertex && !outSemantics.count("POSITION")) {
            m_diag.error(m_entry.loc,
                         "vertex program '" + m_entry.name + "' does not write POSITION");
        }
        return "void main() {\n" + m_staticInits + body + after + "}\n";
    }

    const Program& m_prog;
    const FuncDecl& m_entry;
    Stage m_stage;
    Diagnostics& m_diag;
    std::string m_regs;
    const FuncDecl* m_func = nullptr;

    std::set<std::string> m_userNames;
    std::map<std::string, std::string> m_safe;
    std::map<const FuncDecl*, std::string> m_funcNames;

    std::vector<Root> m_roots;
    std::map<int, std::vector<float>> m_initialValues;  // by root
    // Folded static constants: whether they are constant, and the value.
    std::map<const VarDecl*, std::pair<bool, long long>> m_constInts;
    mutable std::map<const VarDecl*, std::pair<bool, std::vector<double>>> m_constValues;
    std::map<const VarDecl*, int> m_varRoot;
    std::map<std::pair<const StructDecl*, std::string>, int> m_memberRoot;
    std::vector<Sampler> m_samplers;
    std::map<const VarDecl*, int> m_varSampler;
    std::map<std::pair<const StructDecl*, std::string>, int> m_memberSampler;
    std::map<std::string, int> m_samplerByName;
    std::map<std::string, int> m_samplerByGlsl;
    std::vector<Unit> m_units;
    std::map<std::string, int> m_unitByName;

    std::map<const VarDecl*, long long> m_constVars;
    int m_unrollScale = 1;  // copies of the body being emitted, nested loops together
    std::string m_helpers;
    std::set<std::string> m_helperNames;
    std::string m_staticInits;
    std::string m_ioDecls;
    std::set<std::string> m_ioNames;
};

}  // namespace

bool emitGlsl(const Program& program, const FuncDecl& entry, Stage stage, Diagnostics& diag,
              std::string& glsl, Reflection& reflection) {
    Emitter e(program, entry, stage, diag);
    return e.run(glsl, reflection);
}

}  // namespace shadercompiler
