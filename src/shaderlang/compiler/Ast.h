#pragma once
// Syntax tree and types of the Cg dialect. The parser builds it, the checker
// annotates every expression with its type and resolved symbol, the GLSL
// emitter reads the annotations.

#include <memory>
#include <string>
#include <vector>

namespace shadercompiler {

struct SourceLoc {
    int file = 0;  // index into the compile's file name table
    int line = 1;
};

enum class BaseType {
    Void,
    Bool,
    Int,
    Float,
    Sampler1D,
    Sampler2D,
    SamplerCube,
    Sampler2DShadow,
    Sampler2DArray,
    SamplerRect,
    Struct
};

struct StructDecl;

// A value type: scalar (cols 1), vector (cols 2..4), matrix (rows x cols, one
// Cg row per register), sampler, struct; optionally a one-dimensional array.
struct Type {
    BaseType base = BaseType::Void;
    int rows = 1;
    int cols = 1;
    bool matrix = false;
    int arraySize = 0;  // 0: not an array
    const StructDecl* st = nullptr;

    static Type scalar(BaseType b) { return Type{b, 1, 1, false, 0, nullptr}; }
    static Type vector(BaseType b, int n) { return Type{b, 1, n, false, 0, nullptr}; }
    static Type mat(int r, int c) { return Type{BaseType::Float, r, c, true, 0, nullptr}; }

    bool isArray() const { return arraySize > 0; }
    bool isNumeric() const {
        return !isArray() &&
               (base == BaseType::Bool || base == BaseType::Int || base == BaseType::Float);
    }
    bool isScalar() const { return isNumeric() && !matrix && cols == 1; }
    bool isVector() const { return isNumeric() && !matrix && cols > 1; }
    bool isMatrix() const { return isNumeric() && matrix; }
    bool isScalarOrVector() const { return isNumeric() && !matrix; }
    bool isSampler() const {
        return !isArray() && (base == BaseType::Sampler1D || base == BaseType::Sampler2D ||
                              base == BaseType::SamplerCube || base == BaseType::Sampler2DShadow ||
                              base == BaseType::Sampler2DArray || base == BaseType::SamplerRect);
    }
    bool isStruct() const { return !isArray() && base == BaseType::Struct; }
    bool isVoid() const { return base == BaseType::Void; }
    int components() const { return matrix ? rows * cols : cols; }
    Type element() const {
        Type t = *this;
        t.arraySize = 0;
        return t;
    }
    Type withBase(BaseType b) const {
        Type t = *this;
        t.base = b;
        return t;
    }
    bool operator==(const Type& o) const {
        return base == o.base && rows == o.rows && cols == o.cols && matrix == o.matrix &&
               arraySize == o.arraySize && st == o.st;
    }
    bool operator!=(const Type& o) const { return !(*this == o); }
};

std::string typeName(const Type& t);  // Cg spelling, for messages

struct Expr;
struct Stmt;
struct VarDecl;
struct FuncDecl;
using ExprPtr = std::unique_ptr<Expr>;
using StmtPtr = std::unique_ptr<Stmt>;

struct StructMember {
    std::string name;
    Type type;
    std::string semantic;  // upper case, empty when none
    bool uniform = false;  // declared "uniform" inside the struct
    SourceLoc loc;
};

struct StructDecl {
    std::string name;
    std::vector<StructMember> members;
    SourceLoc loc;
    // Filled by the checker: a struct without any member that lives in GLSL
    // (only uniforms and samplers) exists in the output only as a name.
    bool phantom = false;
    const StructMember* find(const std::string& n) const {
        for (const auto& m : members) {
            if (m.name == n)
                return &m;
        }
        return nullptr;
    }
};

enum class ParamDir { In, Out, InOut };

struct VarDecl {
    enum class Scope { Global, Param, Local };
    std::string name;
    Type type;
    SourceLoc loc;
    Scope scope = Scope::Local;
    bool uniform = false;  // explicitly or implicitly (non-static global)
    bool isStatic = false;
    bool isConst = false;
    ParamDir dir = ParamDir::In;
    std::string semantic;
    ExprPtr init;
    int ordinal = 0;  // declaration order among globals and entry parameters
};

enum class ExprKind {
    IntLit,
    FloatLit,
    BoolLit,
    Var,
    Member,  // member access or swizzle
    Index,
    Call,
    Construct,  // float3(...), also (float3)x casts
    Unary,
    Binary,
    Assign,  // "=", "+=", ...
    Ternary,
    InitList,  // { a, b, c }
    PostIncDec,
    PreIncDec,
};

// Standard library functions the checker knows.
enum class Builtin {
    None,
    Mul,
    Dot,
    Cross,
    Normalize,
    Length,
    Distance,
    Reflect,
    Refract,
    Lerp,
    Saturate,
    Clamp,
    Min,
    Max,
    Abs,
    Sign,
    Pow,
    Exp,
    Exp2,
    Log,
    Log2,
    Log10,
    Sqrt,
    Rsqrt,
    Frac,
    Floor,
    Ceil,
    Round,
    Trunc,
    Fmod,
    Step,
    Smoothstep,
    Sin,
    Cos,
    Tan,
    Asin,
    Acos,
    Atan,
    Atan2,
    Sinh,
    Cosh,
    Tanh,
    Ddx,
    Ddy,
    Fwidth,
    Any,
    All,
    Clip,
    Radians,
    Degrees,
    Transpose,
    Determinant,
    Faceforward,
    Lit,
    Sincos,
    Isnan,
    Isinf,
    Isfinite,
    Tex1D,
    Tex1Dproj,
    Tex1Dlod,
    Tex1Dbias,
    Tex1Dgrad,
    Tex2D,
    Tex2Dgrad,
    Tex2DArray,
    Tex2DArraylod,
    Tex2DArraybias,
    TexRect,
    TexRectproj,
    Tex2Dproj,
    Tex2Dlod,
    Tex2Dbias,
    TexCUBE,
    TexCUBElod,
    Shadow2D,
    Shadow2Dproj,
};

struct Expr {
    Expr() = default;
    Expr(Expr&&) = default;
    Expr& operator=(Expr&&) = default;
    // Takes the operands apart without recursion: a sum of 100 000 terms is
    // a tree that deep, and a recursive destruction would exhaust the stack.
    ~Expr() {
        if (args.empty()) {
            return;
        }
        std::vector<ExprPtr> pending = std::move(args);
        while (!pending.empty()) {
            ExprPtr expr = std::move(pending.back());
            pending.pop_back();
            if (expr) {
                for (ExprPtr& arg : expr->args) {
                    pending.push_back(std::move(arg));
                }
                expr->args.clear();
            }
        }
    }

    ExprKind kind = ExprKind::IntLit;
    SourceLoc loc;
    std::string name;  // identifier, member, operator or called function
    std::vector<ExprPtr> args;
    long long ival = 0;
    double fval = 0.0;
    Type castType;  // Construct: the constructed type

    // Annotations of the checker.
    Type type;
    VarDecl* var = nullptr;
    FuncDecl* func = nullptr;
    Builtin builtin = Builtin::None;
    const StructMember* member = nullptr;
    const StructDecl* memberOf = nullptr;
    int swizzle[4] = {0, 0, 0, 0};
    int swizzleLen = 0;  // > 0: a swizzle, not a member
    Type opType;         // Binary: the type both operands are brought to
};

enum class StmtKind {
    Block,
    Decl,
    ExprStmt,
    If,
    For,
    While,
    DoWhile,
    Return,
    Break,
    Continue,
    Discard,
    Empty,
};

struct Stmt {
    StmtKind kind = StmtKind::Empty;
    SourceLoc loc;
    std::vector<StmtPtr> body;  // Block
    std::vector<std::unique_ptr<VarDecl>> decls;
    ExprPtr expr;  // ExprStmt, Return value, If/While/DoWhile/For condition
    StmtPtr init;  // For
    ExprPtr step;  // For
    StmtPtr then;  // If, loops: the body
    StmtPtr otherwise;
};

struct FuncDecl {
    std::string name;
    Type ret;
    std::string semantic;
    std::vector<std::unique_ptr<VarDecl>> params;
    StmtPtr body;  // null for a prototype
    SourceLoc loc;
    std::vector<FuncDecl*> calls;  // filled by the checker
    std::vector<Builtin> builtinsUsed;
    bool usesDiscard = false;
};

struct Program {
    std::vector<std::unique_ptr<StructDecl>> structs;
    std::vector<std::unique_ptr<VarDecl>> globals;
    std::vector<std::unique_ptr<FuncDecl>> funcs;
    std::vector<std::string> files;  // file name table for SourceLoc::file
};

}  // namespace shadercompiler
