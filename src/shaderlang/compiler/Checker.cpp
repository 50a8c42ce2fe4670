#include "shaderlang/compiler/Checker.h"

#include <algorithm>
#include <map>
#include <unordered_map>

namespace shadercompiler {

bool livesInGlsl(const Type& t) {
    if (t.isSampler() || t.base == BaseType::Void)
        return false;
    if (t.base == BaseType::Struct)
        return t.st && !t.st->phantom;
    return true;
}

int conversionCost(const Type& from, const Type& to) {
    if (from == to)
        return 0;
    if (from.isArray() || to.isArray())
        return -1;
    if (from.isSampler() && to.isSampler()) {
        // A sampler2D and a sampler2DShadow are the same kind of texture.
        auto flat = [](BaseType b) {
            return b == BaseType::Sampler2DShadow ? BaseType::Sampler2D : b;
        };
        return flat(from.base) == flat(to.base) ? 1 : -1;
    }
    if (!from.isNumeric() || !to.isNumeric())
        return -1;
    int baseCost = from.base == to.base ? 0 : 1;
    if (from.isScalar())
        return to.isScalar() ? baseCost : 2 + baseCost;
    if (from.isVector()) {
        if (to.isMatrix())
            return -1;
        if (to.cols == from.cols)
            return baseCost;
        if (to.cols < from.cols)
            return 4 + baseCost;
        return -1;
    }
    // matrix
    if (!to.isMatrix())
        return -1;
    if (to.rows <= from.rows && to.cols <= from.cols)
        return 4 + baseCost;
    return -1;
}

namespace {

struct BuiltinInfo {
    Builtin id;
    int minArgs;
    int maxArgs;
};

const std::unordered_map<std::string, BuiltinInfo>& builtinTable() {
    static const std::unordered_map<std::string, BuiltinInfo> kTable = {
        {"mul", {Builtin::Mul, 2, 2}},
        {"dot", {Builtin::Dot, 2, 2}},
        {"cross", {Builtin::Cross, 2, 2}},
        {"normalize", {Builtin::Normalize, 1, 1}},
        {"length", {Builtin::Length, 1, 1}},
        {"distance", {Builtin::Distance, 2, 2}},
        {"reflect", {Builtin::Reflect, 2, 2}},
        {"refract", {Builtin::Refract, 3, 3}},
        {"lerp", {Builtin::Lerp, 3, 3}},
        {"saturate", {Builtin::Saturate, 1, 1}},
        {"clamp", {Builtin::Clamp, 3, 3}},
        {"min", {Builtin::Min, 2, 2}},
        {"max", {Builtin::Max, 2, 2}},
        {"abs", {Builtin::Abs, 1, 1}},
        {"sign", {Builtin::Sign, 1, 1}},
        {"pow", {Builtin::Pow, 2, 2}},
        {"exp", {Builtin::Exp, 1, 1}},
        {"exp2", {Builtin::Exp2, 1, 1}},
        {"log", {Builtin::Log, 1, 1}},
        {"log2", {Builtin::Log2, 1, 1}},
        {"log10", {Builtin::Log10, 1, 1}},
        {"sqrt", {Builtin::Sqrt, 1, 1}},
        {"rsqrt", {Builtin::Rsqrt, 1, 1}},
        {"frac", {Builtin::Frac, 1, 1}},
        {"floor", {Builtin::Floor, 1, 1}},
        {"ceil", {Builtin::Ceil, 1, 1}},
        {"round", {Builtin::Round, 1, 1}},
        {"trunc", {Builtin::Trunc, 1, 1}},
        {"fmod", {Builtin::Fmod, 2, 2}},
        {"step", {Builtin::Step, 2, 2}},
        {"smoothstep", {Builtin::Smoothstep, 3, 3}},
        {"sin", {Builtin::Sin, 1, 1}},
        {"cos", {Builtin::Cos, 1, 1}},
        {"tan", {Builtin::Tan, 1, 1}},
        {"asin", {Builtin::Asin, 1, 1}},
        {"acos", {Builtin::Acos, 1, 1}},
        {"atan", {Builtin::Atan, 1, 1}},
        {"atan2", {Builtin::Atan2, 2, 2}},
        {"sinh", {Builtin::Sinh, 1, 1}},
        {"cosh", {Builtin::Cosh, 1, 1}},
        {"tanh", {Builtin::Tanh, 1, 1}},
        {"ddx", {Builtin::Ddx, 1, 1}},
        {"ddy", {Builtin::Ddy, 1, 1}},
        {"fwidth", {Builtin::Fwidth, 1, 1}},
        {"any", {Builtin::Any, 1, 1}},
        {"all", {Builtin::All, 1, 1}},
        {"clip", {Builtin::Clip, 1, 1}},
        {"radians", {Builtin::Radians, 1, 1}},
        {"degrees", {Builtin::Degrees, 1, 1}},
        {"transpose", {Builtin::Transpose, 1, 1}},
        {"determinant", {Builtin::Determinant, 1, 1}},
        {"faceforward", {Builtin::Faceforward, 3, 3}},
        {"lit", {Builtin::Lit, 3, 3}},
        {"sincos", {Builtin::Sincos, 3, 3}},
        {"isnan", {Builtin::Isnan, 1, 1}},
        {"isinf", {Builtin::Isinf, 1, 1}},
        {"isfinite", {Builtin::Isfinite, 1, 1}},
        {"tex1D", {Builtin::Tex1D, 2, 4}},
        {"tex1Dproj", {Builtin::Tex1Dproj, 2, 2}},
        {"tex1Dlod", {Builtin::Tex1Dlod, 2, 2}},
        {"tex1Dbias", {Builtin::Tex1Dbias, 2, 2}},
        {"tex1Dgrad", {Builtin::Tex1Dgrad, 4, 4}},
        {"tex2D", {Builtin::Tex2D, 2, 4}},
        {"tex2Dgrad", {Builtin::Tex2Dgrad, 4, 4}},
        {"tex2DARRAY", {Builtin::Tex2DArray, 2, 2}},
        {"tex2DARRAYlod", {Builtin::Tex2DArraylod, 2, 2}},
        {"tex2DARRAYbias", {Builtin::Tex2DArraybias, 2, 2}},
        {"texRECT", {Builtin::TexRect, 2, 2}},
        {"texRECTproj", {Builtin::TexRectproj, 2, 2}},
        {"tex2Dproj", {Builtin::Tex2Dproj, 2, 2}},
        {"tex2Dlod", {Builtin::Tex2Dlod, 2, 2}},
        {"tex2Dbias", {Builtin::Tex2Dbias, 2, 2}},
        {"texCUBE", {Builtin::TexCUBE, 2, 2}},
        {"texCUBElod", {Builtin::TexCUBElod, 2, 2}},
        {"shadow2D", {Builtin::Shadow2D, 2, 2}},
        {"shadow2Dproj", {Builtin::Shadow2Dproj, 2, 2}},
    };
    return kTable;
}

BaseType maxBase(BaseType a, BaseType b) {
    auto rank = [](BaseType t) { return t == BaseType::Float ? 2 : t == BaseType::Int ? 1 : 0; };
    return rank(a) >= rank(b) ? a : b;
}

class Checker {
public:
    Checker(Program& p, Diagnostics& d) : m_prog(p), m_diag(d) {}

    bool run() {
        for (auto& s : m_prog.structs) {
            bool phantom = true;
            for (const auto& m : s->members) {
                bool hidden = m.uniform || m.type.element().isSampler() ||
                              (m.type.base == BaseType::Struct && m.type.st->phantom);
                if (!hidden)
                    phantom = false;
                if (m.type.base == BaseType::Void)
                    m_diag.error(m.loc, "member of type void");
            }
            s->phantom = phantom;
        }
        m_scopes.emplace_back();
        int ordinal = 0;
        for (auto& g : m_prog.globals) {
            g->ordinal = ordinal++;
            // A parameter's initial value is its value until the engine
            // sets another; the emitter folds it to constants.
            if (g->init)
                checkInit(*g);
            declare(g.get());
        }
        for (auto& f : m_prog.funcs) {
            if (f->body)
                m_funcs[f->name].push_back(f.get());
        }
        for (auto& f : m_prog.funcs) {
            if (!f->body) {
                auto& list = m_funcs[f->name];
                bool defined = std::any_of(list.begin(), list.end(),
                                           [&](FuncDecl* d) { return sameSignature(*d, *f); });
                if (!defined)
                    list.push_back(f.get());
            }
        }
        for (auto& f : m_prog.funcs) {
            if (f->body)
                checkFunction(*f);
        }
        return m_diag.errorCount() == 0;
    }

private:
    static bool sameSignature(const FuncDecl& a, const FuncDecl& b) {
        if (a.params.size() != b.params.size())
            return false;
        for (size_t i = 0; i < a.params.size(); ++i) {
            if (a.params[i]->type != b.params[i]->type)
                return false;
        }
        return true;
    }

    void declare(VarDecl* v) {
        auto& scope = m_scopes.back();
        if (scope.count(v->name)) {
            m_diag.error(v->loc, "redefinition of '" + v->name + "'");
        }
        scope[v->name] = v;
    }
    VarDecl* lookup(const std::string& name) {
        for (auto it = m_scopes.rbegin(); it != m_scopes.rend(); ++it) {
            auto f = it->find(name);
            if (f != it->end())
                return f->second;
        }
        return nullptr;
    }

    void checkFunction(FuncDecl& f) {
        m_func = &f;
        m_scopes.emplace_back();
        for (auto& p : f.params) {
            if (p->type.isVoid())
                m_diag.error(p->loc, "parameter of type void");
            declare(p.get());
        }
        checkStmt(*f.body, false);
        m_scopes.pop_back();
        if (!f.ret.isVoid() && !alwaysReturns(*f.body)) {
            m_diag.error(f.loc, "missing return statement at the end of function '" + f.name + "'");
        }
        m_func = nullptr;
    }

    static bool alwaysReturns(const Stmt& s) {
        switch (s.kind) {
            case StmtKind::Return:
            case StmtKind::Discard:
                return true;
            case StmtKind::Block:
                return std::any_of(s.body.begin(), s.body.end(),
                                   [](const StmtPtr& c) { return alwaysReturns(*c); });
            case StmtKind::If:
                return s.otherwise && alwaysReturns(*s.then) && alwaysReturns(*s.otherwise);
            case StmtKind::DoWhile:
                return alwaysReturns(*s.then);
            default:
                return false;
        }
    }

    void checkInit(VarDecl& v) {
        if (v.init->kind == ExprKind::InitList) {
            checkInitList(*v.init, v.type);
            return;
        }
        checkExpr(*v.init);
        requireConvertible(*v.init, v.type, "initialization of '" + v.name + "'");
    }

    void checkInitList(Expr& list, const Type& target) {
        list.type = target;
        if (target.isArray()) {
            if (static_cast<int>(list.args.size()) != target.arraySize) {
                m_diag.error(list.loc, "initializer list of " + std::to_string(list.args.size()) +
                                           " values for " + typeName(target));
            }
            for (auto& a : list.args) {
                if (a->kind == ExprKind::InitList) {
                    checkInitList(*a, target.element());
                } else {
                    checkExpr(*a);
                    requireConvertible(*a, target.element(), "initializer list element");
                }
            }
            return;
        }
        if (target.isStruct()) {
            if (!structValues(list, *target.st, "initializer list"))
                return;
            for (size_t i = 0; i < list.args.size(); ++i) {
                Expr& a = *list.args[i];
                const StructMember& m = target.st->members[i];
                if (a.kind == ExprKind::InitList) {
                    checkInitList(a, m.type);
                } else {
                    checkExpr(a);
                    requireConvertible(a, m.type, "initialization of member '" + m.name + "'");
                }
            }
            return;
        }
        if (!target.isNumeric()) {
            m_diag.error(list.loc, "initializer list for " + typeName(target));
            return;
        }
        int comps = 0;
        for (auto& a : list.args) {
            if (a->kind == ExprKind::InitList) {
                m_diag.error(a->loc, "nested initializer list");
                continue;
            }
            checkExpr(*a);
            if (!a->type.isNumeric()) {
                m_diag.error(a->loc, "initializer list element is not numeric");
            } else {
                comps += a->type.components();
            }
        }
        if (comps != target.components()) {
            m_diag.error(list.loc, "initializer list of " + std::to_string(comps) +
                                       " components for " + typeName(target));
        }
    }

    // A struct value written member by member (constructor or initializer
    // list): one value per member, and only members that hold values.
    bool structValues(const Expr& e, const StructDecl& st, const char* what) {
        if (e.args.size() != st.members.size()) {
            m_diag.error(e.loc, std::string(what) + " of " + std::to_string(e.args.size()) +
                                    " values for struct '" + st.name + "' of " +
                                    std::to_string(st.members.size()) + " members");
            return false;
        }
        for (const auto& m : st.members) {
            if (m.uniform || !livesInGlsl(m.type)) {
                m_diag.error(e.loc, "struct '" + st.name +
                                        "' cannot be built from values: member '" + m.name +
                                        "' is a uniform or sampler");
                return false;
            }
        }
        return true;
    }

    void requireConvertible(const Expr& e, const Type& to, const std::string& what) {
        if (e.type.base == BaseType::Void && e.kind == ExprKind::Call && m_lastErrorCall)
            return;
        if (conversionCost(e.type, to) < 0) {
            m_diag.error(e.loc, "cannot convert " + typeName(e.type) + " to " + typeName(to) +
                                    " in " + what);
        }
    }

    void checkStmt(Stmt& s, bool inLoop) {
        switch (s.kind) {
            case StmtKind::Block:
                m_scopes.emplace_back();
                for (auto& c : s.body)
                    checkStmt(*c, inLoop);
                m_scopes.pop_back();
                break;
            case StmtKind::Decl:
                for (auto& v : s.decls) {
                    if (v->type.isVoid())
                        m_diag.error(v->loc, "variable of type void");
                    if (v->type.isSampler()) {
                        m_diag.error(v->loc, "sampler '" + v->name + "' must be a parameter");
                    }
                    if (v->init)
                        checkInit(*v);
                    if (v->isConst && !v->init) {
                        m_diag.error(v->loc, "const variable '" + v->name + "' has no value");
                    }
                    declare(v.get());
                }
                break;
            case StmtKind::ExprStmt:
                checkExpr(*s.expr);
                break;
            case StmtKind::If:
                checkCondition(*s.expr);
                scoped(*s.then, inLoop);
                if (s.otherwise)
                    scoped(*s.otherwise, inLoop);
                break;
            case StmtKind::For:
                m_scopes.emplace_back();
                if (s.init)
                    checkStmt(*s.init, inLoop);
                if (s.expr)
                    checkCondition(*s.expr);
                if (s.step)
                    checkExpr(*s.step);
                scoped(*s.then, true);
                m_scopes.pop_back();
                break;
            case StmtKind::While:
            case StmtKind::DoWhile:
                checkCondition(*s.expr);
                scoped(*s.then, true);
                break;
            case StmtKind::Return:
                if (s.expr) {
                    checkExpr(*s.expr);
                    if (m_func->ret.isVoid()) {
                        m_diag.error(s.loc,
                                     "void function '" + m_func->name + "' cannot return a value");
                    } else {
                        requireConvertible(*s.expr, m_func->ret, "return");
                    }
                } else if (!m_func->ret.isVoid()) {
                    m_diag.error(s.loc, "function '" + m_func->name + "' must return a value");
                }
                break;
            case StmtKind::Break:
            case StmtKind::Continue:
                if (!inLoop) {
                    m_diag.error(s.loc,
                                 std::string(s.kind == StmtKind::Break ? "break" : "continue") +
                                     " outside of a loop");
                }
                break;
            case StmtKind::Discard:
                m_func->usesDiscard = true;
                break;
            case StmtKind::Empty:
                break;
        }
    }
    void scoped(Stmt& s, bool inLoop) {
        m_scopes.emplace_back();
        checkStmt(s, inLoop);
        m_scopes.pop_back();
    }
    void checkCondition(Expr& e) {
        checkExpr(e);
        if (!e.type.isScalar()) {
            m_diag.error(e.loc, "condition must be a scalar, not " + typeName(e.type));
        }
    }

    // Whether an expression may be written, with the reason when not.
    bool assignable(const Expr& e, std::string& why) {
        switch (e.kind) {
            case ExprKind::Var:
                if (!e.var)
                    return false;
                if (e.var->uniform) {
                    why = "cannot assign to uniform parameter '" + e.var->name + "'";
                    return false;
                }
                if (e.var->isConst) {
                    why = "cannot assign to const variable '" + e.var->name + "'";
                    return false;
                }
                return true;
            case ExprKind::Member:
                if (e.swizzleLen > 0) {
                    for (int i = 0; i < e.swizzleLen; ++i) {
                        for (int j = 0; j < i; ++j) {
                            if (e.swizzle[i] == e.swizzle[j]) {
                                why = "swizzle '" + e.name + "' repeats a component";
                                return false;
                            }
                        }
                    }
                    return assignable(*e.args[0], why);
                }
                if (e.member && e.member->uniform) {
                    why = "cannot assign to uniform member '" + e.name + "'";
                    return false;
                }
                return assignable(*e.args[0], why);
            case ExprKind::Index:
                return assignable(*e.args[0], why);
            default:
                why = "expression is not assignable";
                return false;
        }
    }
    void requireAssignable(const Expr& e) {
        std::string why;
        if (e.type.isSampler()) {
            m_diag.error(e.loc, "cannot assign to a sampler");
        } else if (!assignable(e, why)) {
            m_diag.error(e.loc, why.empty() ? "expression is not assignable" : why);
        }
    }

    static Type unify(const std::vector<Type>& ts) {
        int cols = 1;
        bool anyVector = false;
        for (const auto& t : ts) {
            if (t.cols > 1) {
                cols = anyVector ? std::min(cols, t.cols) : t.cols;
                anyVector = true;
            }
        }
        return Type::vector(BaseType::Float, cols);
    }

    // Arithmetic result of two operands; Void when they do not combine.
    static Type arithmetic(const Type& a, const Type& b) {
        if (!a.isNumeric() || !b.isNumeric())
            return {};
        BaseType base = maxBase(maxBase(a.base, b.base), BaseType::Int);
        if (a.isScalar())
            return b.withBase(base);
        if (b.isScalar())
            return a.withBase(base);
        if (a.isMatrix() || b.isMatrix()) {
            if (a.isMatrix() && b.isMatrix() && a.rows == b.rows && a.cols == b.cols)
                return a;
            return {};
        }
        return Type::vector(base, std::min(a.cols, b.cols));
    }

    void checkExpr(Expr& e) {
        switch (e.kind) {
            case ExprKind::IntLit:
                e.type = Type::scalar(BaseType::Int);
                break;
            case ExprKind::FloatLit:
                e.type = Type::scalar(BaseType::Float);
                break;
            case ExprKind::BoolLit:
                e.type = Type::scalar(BaseType::Bool);
                break;
            case ExprKind::Var: {
                e.var = lookup(e.name);
                if (!e.var) {
                    m_diag.error(e.loc, "undefined variable '" + e.name + "'");
                    e.type = Type::scalar(BaseType::Float);
                } else {
                    e.type = e.var->type;
                }
                break;
            }
            case ExprKind::Member:
                checkMember(e);
                break;
            case ExprKind::Index:
                checkIndex(e);
                break;
            case ExprKind::Call:
                checkCall(e);
                break;
            case ExprKind::Construct:
                checkConstruct(e);
                break;
            case ExprKind::Unary: {
                checkExpr(*e.args[0]);
                const Type& t = e.args[0]->type;
                if (!t.isNumeric()) {
                    m_diag.error(e.loc, "operator '" + e.name + "' on " + typeName(t));
                    e.type = Type::scalar(BaseType::Float);
                } else if (e.name == "!") {
                    e.type = t.withBase(BaseType::Bool);
                } else if (e.name == "~") {
                    e.type = t.withBase(BaseType::Int);
                } else {
                    e.type = t.base == BaseType::Bool ? t.withBase(BaseType::Int) : t;
                }
                break;
            }
            case ExprKind::Binary:
                checkBinary(e);
                break;
            case ExprKind::Assign: {
                checkExpr(*e.args[0]);
                checkExpr(*e.args[1]);
                requireAssignable(*e.args[0]);
                e.type = e.args[0]->type;
                if (e.name == "=") {
                    requireConvertible(*e.args[1], e.type, "assignment");
                } else {
                    Type r = arithmetic(e.type, e.args[1]->type);
                    if (r.isVoid() || conversionCost(r, e.type) < 0) {
                        m_diag.error(e.loc, "operator '" + e.name + "' on " + typeName(e.type) +
                                                " and " + typeName(e.args[1]->type));
                    }
                    e.opType = r;
                }
                break;
            }
            case ExprKind::Ternary: {
                checkCondition(*e.args[0]);
                checkExpr(*e.args[1]);
                checkExpr(*e.args[2]);
                const Type& a = e.args[1]->type;
                const Type& b = e.args[2]->type;
                if (a == b) {
                    e.type = a;
                } else {
                    e.type = arithmetic(a, b);
                    if (a.base == BaseType::Bool && b.base == BaseType::Bool)
                        e.type = e.type.withBase(BaseType::Bool);
                    if (e.type.isVoid()) {
                        m_diag.error(e.loc, "branches of ?: have types " + typeName(a) + " and " +
                                                typeName(b));
                        e.type = a;
                    }
                }
                break;
            }
            case ExprKind::InitList:
                m_diag.error(e.loc, "initializer list outside of a declaration");
                e.type = Type::scalar(BaseType::Float);
                break;
            case ExprKind::PostIncDec:
            case ExprKind::PreIncDec:
                checkExpr(*e.args[0]);
                requireAssignable(*e.args[0]);
                e.type = e.args[0]->type;
                if (!e.type.isNumeric()) {
                    m_diag.error(e.loc, "operator '" + e.name + "' on " + typeName(e.type));
                }
                break;
        }
    }

    void checkMember(Expr& e) {
        Expr& base = *e.args[0];
        checkExpr(base);
        const Type& t = base.type;
        e.type = Type::scalar(BaseType::Float);
        if (t.isStruct()) {
            const StructMember* m = t.st->find(e.name);
            if (!m) {
                m_diag.error(e.loc, "struct '" + t.st->name + "' has no member '" + e.name + "'");
                return;
            }
            e.member = m;
            e.memberOf = t.st;
            e.type = m->type;
            return;
        }
        if (!t.isScalarOrVector()) {
            m_diag.error(e.loc, "'." + e.name + "' applied to " + typeName(t));
            return;
        }
        static const std::string kXyzw = "xyzw", kRgba = "rgba";
        if (e.name.size() > 4) {
            m_diag.error(e.loc, "swizzle '" + e.name + "' is too long");
            return;
        }
        int set = -1;
        for (size_t i = 0; i < e.name.size(); ++i) {
            size_t px = kXyzw.find(e.name[i]);
            size_t pc = kRgba.find(e.name[i]);
            int thisSet = px != std::string::npos ? 0 : pc != std::string::npos ? 1 : -1;
            if (thisSet < 0 || (set >= 0 && thisSet != set)) {
                m_diag.error(e.loc, "invalid swizzle '" + e.name + "'");
                return;
            }
            set = thisSet;
            int idx = static_cast<int>(thisSet == 0 ? px : pc);
            if (idx >= t.cols) {
                m_diag.error(e.loc, "swizzle '" + e.name + "' out of range for " + typeName(t));
                return;
            }
            e.swizzle[i] = idx;
        }
        e.swizzleLen = static_cast<int>(e.name.size());
        e.type = Type::vector(t.base, e.swizzleLen);
    }

    void checkIndex(Expr& e) {
        checkExpr(*e.args[0]);
        checkExpr(*e.args[1]);
        const Type& t = e.args[0]->type;
        const Type& ix = e.args[1]->type;
        if (!ix.isScalar() || ix.base == BaseType::Bool) {
            m_diag.error(e.args[1]->loc, "index must be an integer scalar");
        }
        int limit = 0;
        if (t.isArray()) {
            e.type = t.element();
            limit = t.arraySize;
        } else if (t.isMatrix()) {
            e.type = Type::vector(BaseType::Float, t.cols);
            limit = t.rows;
        } else if (t.isVector()) {
            e.type = Type::scalar(t.base);
            limit = t.cols;
        } else {
            m_diag.error(e.loc, "subscript applied to " + typeName(t));
            e.type = Type::scalar(BaseType::Float);
            return;
        }
        if (e.args[1]->kind == ExprKind::IntLit &&
            (e.args[1]->ival < 0 || e.args[1]->ival >= limit)) {
            m_diag.error(e.loc, "index " + std::to_string(e.args[1]->ival) + " out of range for " +
                                    typeName(t));
        }
    }

    void checkConstruct(Expr& e) {
        const Type& target = e.castType;
        e.type = target;
        for (auto& a : e.args)
            checkExpr(*a);
        bool cast = e.name == "cast";
        if (!cast && target.isStruct()) {
            if (!structValues(e, *target.st, "constructor"))
                return;
            for (size_t i = 0; i < e.args.size(); ++i) {
                const StructMember& m = target.st->members[i];
                requireConvertible(*e.args[i], m.type,
                                   "member '" + m.name + "' of '" + target.st->name + "'");
            }
            return;
        }
        if (cast && target.isStruct()) {
            const Expr& a = *e.args[0];
            if (!(a.type.isScalar() &&
                  (a.kind == ExprKind::IntLit || a.kind == ExprKind::FloatLit) && a.ival == 0 &&
                  a.fval == 0.0) &&
                a.type != target) {
                m_diag.error(e.loc, "cannot cast " + typeName(a.type) + " to " + typeName(target));
            }
            return;
        }
        if (!target.isNumeric()) {
            m_diag.error(e.loc, "cannot construct " + typeName(target));
            return;
        }
        if (e.args.size() == 1) {
            const Type& a = e.args[0]->type;
            if (!a.isNumeric()) {
                m_diag.error(e.loc, "cannot convert " + typeName(a) + " to " + typeName(target));
                return;
            }
            if (a.isScalar())
                return;
            if (target.isMatrix() != a.isMatrix() && a.components() != target.components()) {
                m_diag.error(e.loc, "cannot convert " + typeName(a) + " to " + typeName(target));
                return;
            }
            if (cast && conversionCost(a.withBase(target.base), target) >= 0)
                return;
            if (a.components() == target.components() && a.matrix == target.matrix)
                return;
            if (a.isMatrix() && target.isMatrix() && conversionCost(a, target) >= 0)
                return;
        }
        int comps = 0;
        for (auto& a : e.args) {
            if (!a->type.isNumeric()) {
                m_diag.error(a->loc, "constructor argument of type " + typeName(a->type));
                return;
            }
            comps += a->type.components();
        }
        if (comps != target.components()) {
            m_diag.error(e.loc, typeName(target) + " constructed from " + std::to_string(comps) +
                                    " components");
        }
    }

    void checkBinary(Expr& e) {
        checkExpr(*e.args[0]);
        checkExpr(*e.args[1]);
        const Type& a = e.args[0]->type;
        const Type& b = e.args[1]->type;
        const std::string& op = e.name;
        auto bad = [&]() {
            m_diag.error(e.loc, "operator '" + op + "' on " + typeName(a) + " and " + typeName(b));
            e.type = Type::scalar(BaseType::Float);
            e.opType = e.type;
        };
        if (op == "&&" || op == "||") {
            // On vectors both act component by component (both operands are
            // evaluated); a scalar operand stands for every component.
            if (!a.isScalarOrVector() || !b.isScalarOrVector() ||
                (a.isVector() && b.isVector() && a.cols != b.cols))
                return bad();
            e.type = e.opType = Type::vector(BaseType::Bool, std::max(a.cols, b.cols));
            return;
        }
        Type r = arithmetic(a, b);
        if (r.isVoid())
            return bad();
        if (op == "==" || op == "!=" || op == "<" || op == ">" || op == "<=" || op == ">=") {
            if (r.isMatrix())
                return bad();
            if (a.base == BaseType::Bool && b.base == BaseType::Bool)
                r = r.withBase(BaseType::Bool);
            e.opType = r;
            e.type = r.withBase(BaseType::Bool);
            return;
        }
        if (op == "&" || op == "|" || op == "^" || op == "<<" || op == ">>") {
            if (r.base != BaseType::Int || a.base == BaseType::Float || b.base == BaseType::Float ||
                r.isMatrix())
                return bad();
        }
        e.type = e.opType = r;
    }

    void checkCall(Expr& e) {
        for (auto& a : e.args)
            checkExpr(*a);
        m_lastErrorCall = false;
        auto fit = m_funcs.find(e.name);
        if (fit != m_funcs.end()) {
            checkUserCall(e, fit->second);
            return;
        }
        auto bit = builtinTable().find(e.name);
        if (bit == builtinTable().end()) {
            m_diag.error(e.loc, "undefined function '" + e.name + "'");
            e.type = Type::scalar(BaseType::Float);
            m_lastErrorCall = true;
            return;
        }
        const BuiltinInfo& info = bit->second;
        int n = static_cast<int>(e.args.size());
        if (n == 3 && (info.id == Builtin::Tex1D || info.id == Builtin::Tex2D))
            n = 0;  // two coordinates or the coordinates with both gradients
        if (n < info.minArgs || n > info.maxArgs) {
            std::string counts = std::to_string(info.minArgs);
            if (info.maxArgs != info.minArgs)
                counts += " or " + std::to_string(info.maxArgs);
            m_diag.error(e.loc, "function '" + e.name + "' takes " + counts + " arguments, not " +
                                    std::to_string(e.args.size()));
            e.type = Type::scalar(BaseType::Float);
            return;
        }
        e.builtin = info.id;
        // tex1D(s, x, dx, dy) and tex2D(s, uv, dx, dy) take explicit gradients.
        if (n == 4 && info.id == Builtin::Tex1D)
            e.builtin = Builtin::Tex1Dgrad;
        if (n == 4 && info.id == Builtin::Tex2D)
            e.builtin = Builtin::Tex2Dgrad;
        if (m_func)
            m_func->builtinsUsed.push_back(e.builtin);
        checkBuiltin(e);
    }

    void checkUserCall(Expr& e, const std::vector<FuncDecl*>& cands) {
        FuncDecl* best = nullptr;
        int bestCost = 1 << 30;
        bool ambiguous = false;
        bool anyArity = false;
        for (FuncDecl* f : cands) {
            if (f->params.size() != e.args.size())
                continue;
            anyArity = true;
            int cost = 0;
            for (size_t i = 0; i < e.args.size() && cost >= 0; ++i) {
                const VarDecl& p = *f->params[i];
                int c = conversionCost(e.args[i]->type, p.type);
                if (p.dir != ParamDir::In && c != 0)
                    c = -1;
                cost = c < 0 ? -1 : cost + c;
            }
            if (cost < 0)
                continue;
            if (cost < bestCost) {
                best = f;
                bestCost = cost;
                ambiguous = false;
            } else if (cost == bestCost) {
                ambiguous = true;
            }
        }
        e.type = Type::scalar(BaseType::Float);
        if (!anyArity) {
            m_diag.error(e.loc, "no overload of function '" + e.name + "' takes " +
                                    std::to_string(e.args.size()) + " arguments");
            m_lastErrorCall = true;
            return;
        }
        if (!best) {
            std::string sig;
            for (auto& a : e.args)
                sig += (sig.empty() ? "" : ", ") + typeName(a->type);
            m_diag.error(e.loc, "no overload of function '" + e.name + "' matches (" + sig + ")");
            m_lastErrorCall = true;
            return;
        }
        if (ambiguous) {
            m_diag.error(e.loc, "ambiguous call to overloaded function '" + e.name + "'");
        }
        if (!best->body) {
            m_diag.error(e.loc, "function '" + e.name + "' is declared but not defined");
        }
        for (size_t i = 0; i < e.args.size(); ++i) {
            if (best->params[i]->dir != ParamDir::In)
                requireAssignable(*e.args[i]);
        }
        e.func = best;
        e.type = best->ret;
        if (m_func &&
            std::find(m_func->calls.begin(), m_func->calls.end(), best) == m_func->calls.end())
            m_func->calls.push_back(best);
    }

    void argError(Expr& e, int i, const char* want) {
        m_diag.error(e.args[i]->loc, "argument " + std::to_string(i + 1) + " of '" + e.name +
                                         "' must be " + want + ", not " +
                                         typeName(e.args[i]->type));
    }

    void checkBuiltin(Expr& e) {
        std::vector<Type> ts;
        for (auto& a : e.args)
            ts.push_back(a->type);
        auto requireFloats = [&](int from, int to) {
            for (int i = from; i < to; ++i) {
                if (!ts[i].isScalarOrVector()) {
                    argError(e, i, "a scalar or vector");
                    return false;
                }
            }
            return true;
        };
        // A sampler2DShadow serves where a sampler2D is asked for.
        auto samplerOf = [&](BaseType want) {
            const Type& s = ts[0];
            BaseType have = s.base == BaseType::Sampler2DShadow ? BaseType::Sampler2D : s.base;
            bool ok = s.isSampler() && have == want;
            if (!ok)
                argError(e, 0, ("a " + typeName(Type::scalar(want))).c_str());
            return ok;
        };
        auto sampler = [&](bool cube) {
            return samplerOf(cube ? BaseType::SamplerCube : BaseType::Sampler2D);
        };
        auto coords = [&](int minC, int maxC, int index = 1) {
            const Type& c = ts[index];
            if (!c.isScalarOrVector() || c.cols < minC || c.cols > maxC) {
                std::string want = minC == 1 ? "a float" : "a float" + std::to_string(minC);
                if (maxC != minC)
                    want += " to float" + std::to_string(maxC);
                argError(e, index, want.c_str());
                return false;
            }
            return true;
        };
        const Type f4 = Type::vector(BaseType::Float, 4);
        const Type f1 = Type::scalar(BaseType::Float);
        e.type = f1;
        switch (e.builtin) {
            case Builtin::Mul:
                checkMul(e);
                return;
            case Builtin::Dot:
            case Builtin::Distance:
                if (!requireFloats(0, 2))
                    return;
                e.opType = unify(ts);
                return;
            case Builtin::Length:
                if (!requireFloats(0, 1))
                    return;
                e.opType = unify(ts);
                return;
            case Builtin::Cross:
                if (!requireFloats(0, 2))
                    return;
                e.opType = e.type = Type::vector(BaseType::Float, 3);
                return;
            case Builtin::Any:
            case Builtin::All:
                if (!requireFloats(0, 1))
                    return;
                e.type = Type::scalar(BaseType::Bool);
                return;
            case Builtin::Clip:
                if (!requireFloats(0, 1))
                    return;
                e.opType = unify(ts);
                e.type = Type::scalar(BaseType::Void);
                return;
            case Builtin::Refract:
                if (!requireFloats(0, 3))
                    return;
                if (!ts[2].isScalar())
                    return argError(e, 2, "a scalar");
                e.opType = e.type = unify({ts[0], ts[1]});
                return;
            case Builtin::Transpose:
                if (!ts[0].isMatrix())
                    return argError(e, 0, "a matrix");
                e.type = Type::mat(ts[0].cols, ts[0].rows);
                return;
            case Builtin::Determinant:
                if (!ts[0].isMatrix() || ts[0].rows != ts[0].cols)
                    return argError(e, 0, "a square matrix");
                return;
            case Builtin::Lit:
                for (int i = 0; i < 3; ++i) {
                    if (!ts[i].isScalar())
                        return argError(e, i, "a scalar");
                }
                e.type = f4;
                return;
            case Builtin::Tex2D:
            case Builtin::Shadow2D:
                if (!sampler(false))
                    return;
                if (!coords(
                        e.builtin == Builtin::Shadow2D || ts[0].base == BaseType::Sampler2DShadow
                            ? 3
                            : 2,
                        3))
                    return;
                e.type = f4;
                return;
            case Builtin::Tex2Dproj:
            case Builtin::Shadow2Dproj:
                if (!sampler(false))
                    return;
                if (!coords(e.builtin == Builtin::Shadow2Dproj ||
                                    ts[0].base == BaseType::Sampler2DShadow
                                ? 4
                                : 3,
                            4))
                    return;
                e.type = f4;
                return;
            case Builtin::Tex2Dlod:
            case Builtin::Tex2Dbias:
                if (!sampler(false) || !coords(4, 4))
                    return;
                e.type = f4;
                return;
            case Builtin::TexCUBE:
                if (!sampler(true) || !coords(3, 3))
                    return;
                e.type = f4;
                return;
            case Builtin::Tex1D:
                if (samplerOf(BaseType::Sampler1D) && coords(1, 1))
                    e.type = f4;
                return;
            case Builtin::Tex1Dproj:
                if (samplerOf(BaseType::Sampler1D) && coords(2, 2))
                    e.type = f4;
                return;
            case Builtin::Tex1Dlod:
            case Builtin::Tex1Dbias:
                if (samplerOf(BaseType::Sampler1D) && coords(4, 4))
                    e.type = f4;
                return;
            case Builtin::Tex1Dgrad:
                if (samplerOf(BaseType::Sampler1D) && coords(1, 1) && coords(1, 1, 2) &&
                    coords(1, 1, 3))
                    e.type = f4;
                return;
            case Builtin::Tex2Dgrad: {
                int n = ts[0].base == BaseType::Sampler2DShadow ? 3 : 2;
                if (sampler(false) && coords(n, n) && coords(2, 2, 2) && coords(2, 2, 3))
                    e.type = f4;
                return;
            }
            case Builtin::Tex2DArray:
                if (samplerOf(BaseType::Sampler2DArray) && coords(3, 3))
                    e.type = f4;
                return;
            case Builtin::Tex2DArraylod:
            case Builtin::Tex2DArraybias:
                if (samplerOf(BaseType::Sampler2DArray) && coords(4, 4))
                    e.type = f4;
                return;
            case Builtin::TexRect:
                if (samplerOf(BaseType::SamplerRect) && coords(2, 2))
                    e.type = f4;
                return;
            case Builtin::TexRectproj:
                if (samplerOf(BaseType::SamplerRect) && coords(3, 4))
                    e.type = f4;
                return;
            case Builtin::Sincos: {
                // sincos(x, out s, out c): both outputs have the type of x.
                if (!requireFloats(0, 1))
                    return;
                e.opType = ts[0].withBase(BaseType::Float);
                e.type = Type::scalar(BaseType::Void);
                for (int i = 1; i < 3; ++i) {
                    if (ts[i] != e.opType)
                        return argError(e, i, ("a " + typeName(e.opType)).c_str());
                    requireAssignable(*e.args[i]);
                }
                return;
            }
            case Builtin::Isnan:
            case Builtin::Isinf:
            case Builtin::Isfinite:
                if (!requireFloats(0, 1))
                    return;
                e.opType = ts[0].withBase(BaseType::Float);
                e.type = e.opType.withBase(BaseType::Bool);
                return;
            case Builtin::TexCUBElod:
                if (!sampler(true) || !coords(4, 4))
                    return;
                e.type = f4;
                return;
            default:
                // Component-wise functions: all arguments brought to one type.
                if (!requireFloats(0, static_cast<int>(ts.size())))
                    return;
                e.opType = e.type = unify(ts);
                return;
        }
    }

    void checkMul(Expr& e) {
        const Type& a = e.args[0]->type;
        const Type& b = e.args[1]->type;
        auto bad = [&]() {
            m_diag.error(e.loc, "no form of 'mul' takes " + typeName(a) + " and " + typeName(b));
            e.type = Type::vector(BaseType::Float, 4);
        };
        if (!a.isNumeric() || !b.isNumeric())
            return bad();
        if (a.isMatrix() && b.isMatrix()) {
            if (a.cols != b.rows)
                return bad();
            e.type = Type::mat(a.rows, b.cols);
        } else if (a.isMatrix()) {
            if (!b.isVector() || b.cols != a.cols)
                return bad();
            e.type = Type::vector(BaseType::Float, a.rows);
        } else if (b.isMatrix()) {
            if (!a.isVector() || a.cols != b.rows)
                return bad();
            e.type = Type::vector(BaseType::Float, b.cols);
        } else if (a.isScalar() || b.isScalar()) {
            e.type = arithmetic(a, b).withBase(BaseType::Float);
        } else {
            if (a.cols != b.cols)
                return bad();
            e.type = Type::scalar(BaseType::Float);  // vector . vector
        }
    }

    Program& m_prog;
    Diagnostics& m_diag;
    std::vector<std::unordered_map<std::string, VarDecl*>> m_scopes;
    std::map<std::string, std::vector<FuncDecl*>> m_funcs;
    FuncDecl* m_func = nullptr;
    bool m_lastErrorCall = false;
};

}  // namespace

bool checkProgram(Program& program, Diagnostics& diag) {
    Checker c(program, diag);
    return c.run();
}

}  // namespace shadercompiler
