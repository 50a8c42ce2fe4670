#include "shaderlang/compiler/Parser.h"
#include "shaderlang/preprocessor/Preprocessor.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <map>
#include <set>

namespace shadercompiler {

std::string typeName(const Type& t) {
    std::string s;
    switch (t.base) {
        case BaseType::Void:
            s = "void";
            break;
        case BaseType::Bool:
            s = "bool";
            break;
        case BaseType::Int:
            s = "int";
            break;
        case BaseType::Float:
            s = "float";
            break;
        case BaseType::Sampler1D:
            s = "sampler1D";
            break;
        case BaseType::Sampler2D:
            s = "sampler2D";
            break;
        case BaseType::Sampler2DArray:
            s = "sampler2DARRAY";
            break;
        case BaseType::SamplerRect:
            s = "samplerRECT";
            break;
        case BaseType::SamplerCube:
            s = "samplerCUBE";
            break;
        case BaseType::Sampler2DShadow:
            s = "sampler2DShadow";
            break;
        case BaseType::Struct:
            s = t.st ? t.st->name : "struct";
            break;
    }
    if (t.matrix) {
        s += std::to_string(t.rows) + "x" + std::to_string(t.cols);
    } else if (t.cols > 1) {
        s += std::to_string(t.cols);
    }
    if (t.arraySize > 0)
        s += "[" + std::to_string(t.arraySize) + "]";
    return s;
}

bool parseBuiltinTypeName(std::string_view w, Type& out) {
    if (w == "void") {
        out = Type::scalar(BaseType::Void);
        return true;
    }
    static const struct {
        const char* name;
        BaseType type;
    } kSamplers[] = {{"sampler1D", BaseType::Sampler1D},
                     {"sampler2D", BaseType::Sampler2D},
                     {"samplerCUBE", BaseType::SamplerCube},
                     {"sampler2DShadow", BaseType::Sampler2DShadow},
                     {"sampler2DARRAY", BaseType::Sampler2DArray},
                     {"samplerRECT", BaseType::SamplerRect}};
    for (const auto& s : kSamplers) {
        if (w == s.name) {
            out = Type::scalar(s.type);
            return true;
        }
    }
    BaseType base;
    std::string_view rest;
    if (w.substr(0, 5) == "float" || w.substr(0, 5) == "fixed") {
        base = BaseType::Float;
        rest = w.substr(5);
    } else if (w.substr(0, 4) == "half") {
        base = BaseType::Float;
        rest = w.substr(4);
    } else if (w.substr(0, 3) == "int") {
        base = BaseType::Int;
        rest = w.substr(3);
    } else if (w.substr(0, 4) == "bool") {
        base = BaseType::Bool;
        rest = w.substr(4);
    } else {
        return false;
    }
    auto digit = [](char c) { return c >= '1' && c <= '4'; };
    if (rest.empty()) {
        out = Type::scalar(base);
    } else if (rest.size() == 1 && digit(rest[0])) {
        out = Type::vector(base, rest[0] - '0');
    } else if (rest.size() == 3 && digit(rest[0]) && rest[1] == 'x' && digit(rest[2]) &&
               base == BaseType::Float) {
        int r = rest[0] - '0';
        int c = rest[2] - '0';
        if (r < 2 || c < 2)
            return false;
        out = Type::mat(r, c);
    } else {
        return false;
    }
    return true;
}

bool foldIntOperation(std::string_view op, long long a, long long b, long long& out) {
    if (op == "+")
        return !__builtin_add_overflow(a, b, &out);
    if (op == "-")
        return !__builtin_sub_overflow(a, b, &out);
    if (op == "*")
        return !__builtin_mul_overflow(a, b, &out);
    if ((op != "/" && op != "%") || b == 0 || (a == LLONG_MIN && b == -1))
        return false;
    out = op == "/" ? a / b : a % b;
    return true;
}

namespace {

enum class Tok { End, Ident, Int, Float, Punct };

struct Token {
    Tok kind = Tok::End;
    std::string text;
    SourceLoc loc;
    long long ival = 0;
    double fval = 0.0;
};

class Lexer {
public:
    Lexer(std::string_view src, Program& prog, Diagnostics& diag)
        : m_src(src), m_prog(prog), m_diag(diag) {}

    bool run(std::vector<Token>& out) {
        while (true) {
            skipSpace();
            if (m_failed)
                return false;
            Token t;
            t.loc = {m_file, m_line};
            if (m_pos >= m_src.size()) {
                out.push_back(t);
                return true;
            }
            char c = m_src[m_pos];
            if (std::isalpha(static_cast<unsigned char>(c)) || c == '_') {
                size_t start = m_pos;
                while (m_pos < m_src.size() &&
                       (std::isalnum(static_cast<unsigned char>(m_src[m_pos])) ||
                        m_src[m_pos] == '_')) {
                    ++m_pos;
                }
                t.kind = Tok::Ident;
                t.text = std::string(m_src.substr(start, m_pos - start));
            } else if (std::isdigit(static_cast<unsigned char>(c)) ||
                       (c == '.' && m_pos + 1 < m_src.size() &&
                        std::isdigit(static_cast<unsigned char>(m_src[m_pos + 1])))) {
                if (!lexNumber(t))
                    return false;
            } else {
                static const char* const kPuncts[] = {
                    "<<=", ">>=", "++", "--", "+=", "-=", "*=", "/=", "%=", "&=",
                    "|=",  "^=",  "==", "!=", "<=", ">=", "&&", "||", "<<", ">>"};
                t.kind = Tok::Punct;
                for (const char* p : kPuncts) {
                    std::string_view pv(p);
                    if (m_src.substr(m_pos, pv.size()) == pv) {
                        t.text = std::string(pv);
                        break;
                    }
                }
                if (t.text.empty()) {
                    if (std::string_view("+-*/%<>=!~&|^?:;,.()[]{}").find(c) ==
                        std::string_view::npos) {
                        m_diag.error(t.loc, std::string("unexpected character '") + c + "'");
                        return false;
                    }
                    t.text = std::string(1, c);
                }
                m_pos += t.text.size();
            }
            out.push_back(std::move(t));
        }
    }

private:
    // False (with the error reported) for a constant GLSL cannot hold.
    bool lexNumber(Token& t) {
        size_t start = m_pos;
        bool isFloat = false;
        if (m_src[m_pos] == '0' && m_pos + 1 < m_src.size() &&
            (m_src[m_pos + 1] == 'x' || m_src[m_pos + 1] == 'X')) {
            m_pos += 2;
            while (m_pos < m_src.size() && std::isxdigit(static_cast<unsigned char>(m_src[m_pos])))
                ++m_pos;
            t.kind = Tok::Int;
            t.ival = std::strtoll(std::string(m_src.substr(start + 2, m_pos - start - 2)).c_str(),
                                  nullptr, 16);
        } else {
            while (m_pos < m_src.size() && std::isdigit(static_cast<unsigned char>(m_src[m_pos])))
                ++m_pos;
            if (m_pos < m_src.size() && m_src[m_pos] == '.') {
                isFloat = true;
                ++m_pos;
                while (m_pos < m_src.size() &&
                       std::isdigit(static_cast<unsigned char>(m_src[m_pos])))
                    ++m_pos;
            }
            if (m_pos < m_src.size() && (m_src[m_pos] == 'e' || m_src[m_pos] == 'E')) {
                size_t save = m_pos;
                ++m_pos;
                if (m_pos < m_src.size() && (m_src[m_pos] == '+' || m_src[m_pos] == '-'))
                    ++m_pos;
                if (m_pos < m_src.size() &&
                    std::isdigit(static_cast<unsigned char>(m_src[m_pos]))) {
                    isFloat = true;
                    while (m_pos < m_src.size() &&
                           std::isdigit(static_cast<unsigned char>(m_src[m_pos])))
                        ++m_pos;
                } else {
                    m_pos = save;
                }
            }
            std::string text(m_src.substr(start, m_pos - start));
            if (m_pos < m_src.size() &&
                std::string_view("fFhHxX").find(m_src[m_pos]) != std::string_view::npos) {
                isFloat = true;
                ++m_pos;
            }
            if (isFloat) {
                t.kind = Tok::Float;
                t.fval = std::strtod(text.c_str(), nullptr);
            } else {
                t.kind = Tok::Int;
                t.ival = std::strtoll(text.c_str(), nullptr, 10);
            }
        }
        t.text = std::string(m_src.substr(start, m_pos - start));
        if (t.kind == Tok::Int && t.ival > INT_MAX) {
            m_diag.error(t.loc, "integer constant '" + t.text + "' is too large");
            return false;
        }
        if (t.kind == Tok::Float && !std::isfinite(t.fval)) {
            m_diag.error(t.loc, "floating-point constant '" + t.text + "' is out of range");
            return false;
        }
        return true;
    }

    // A marker line of the shader preprocessor ("//include name(line):k")
    // switches the reported file and line. The preprocessor's own mapping
    // reads it: applied to the marker line alone, it names the file and line
    // of the line after it.
    void lineComment() {
        size_t end = m_src.find('\n', m_pos);
        if (end == std::string_view::npos) {
            m_pos = m_src.size();
            return;  // no line follows
        }
        std::string_view marker = m_src.substr(m_pos, end + 1 - m_pos);
        m_pos = end;
        if (marker.substr(2, 8) != "include ")
            return;
        PreprocessorSourceLocation next = locatePreprocessedPosition(marker, marker.size(), "");
        if (next.file.empty())
            return;  // not a marker
        int index = -1;
        for (size_t i = 0; i < m_prog.files.size(); ++i) {
            if (m_prog.files[i] == next.file)
                index = static_cast<int>(i);
        }
        if (index < 0) {
            index = static_cast<int>(m_prog.files.size());
            m_prog.files.push_back(next.file);
        }
        m_file = index;
        // The newline that ends the marker starts the named line.
        ++m_pos;
        m_line = next.line;
        m_lineStart = true;
    }

    void skipSpace() {
        while (m_pos < m_src.size()) {
            char c = m_src[m_pos];
            if (c == '\n') {
                ++m_line;
                ++m_pos;
                m_lineStart = true;
            } else if (c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v') {
                ++m_pos;
            } else if (c == '\\' && m_pos + 1 < m_src.size() && m_src[m_pos + 1] == '\n') {
                m_pos += 2;
                ++m_line;
            } else if (c == '/' && m_pos + 1 < m_src.size() && m_src[m_pos + 1] == '/') {
                lineComment();
            } else if (c == '/' && m_pos + 1 < m_src.size() && m_src[m_pos + 1] == '*') {
                size_t end = m_src.find("*/", m_pos + 2);
                if (end == std::string_view::npos) {
                    m_diag.error({m_file, m_line}, "unterminated comment");
                    m_failed = true;
                    return;
                }
                for (size_t i = m_pos; i < end; ++i) {
                    if (m_src[i] == '\n')
                        ++m_line;
                }
                m_pos = end + 2;
            } else if (c == '#' && m_lineStart) {
                // Left-over directives (#pragma, #line) carry no meaning here.
                size_t end = m_src.find('\n', m_pos);
                m_pos = end == std::string_view::npos ? m_src.size() : end;
            } else {
                m_lineStart = false;
                return;
            }
        }
    }

    std::string_view m_src;
    Program& m_prog;
    Diagnostics& m_diag;
    size_t m_pos = 0;
    int m_file = 0;
    int m_line = 1;
    bool m_lineStart = true;
    bool m_failed = false;
};

struct ParseError {};

// Depth of the deepest nesting of statements and expressions, walked without
// recursion so that the walk itself cannot run out of stack.
bool withinNesting(const Program& program, Diagnostics& diag) {
    struct Item {
        const Expr* e;
        const Stmt* s;
        int depth;
    };
    std::vector<Item> stack;
    for (const auto& g : program.globals) {
        if (g->init)
            stack.push_back({g->init.get(), nullptr, 1});
    }
    for (const auto& f : program.funcs) {
        if (f->body)
            stack.push_back({nullptr, f->body.get(), 1});
    }
    while (!stack.empty()) {
        Item it = stack.back();
        stack.pop_back();
        if (it.depth > kMaxNesting) {
            diag.error(it.e ? it.e->loc : it.s->loc, "statements or expressions nested more than " +
                                                         std::to_string(kMaxNesting) +
                                                         " levels deep");
            return false;
        }
        int d = it.depth + 1;
        if (it.e) {
            for (const auto& a : it.e->args)
                stack.push_back({a.get(), nullptr, d});
            continue;
        }
        const Stmt& s = *it.s;
        for (const auto& c : s.body)
            stack.push_back({nullptr, c.get(), d});
        for (const auto& v : s.decls) {
            if (v->init)
                stack.push_back({v->init.get(), nullptr, d});
        }
        for (const Expr* e : {s.expr.get(), s.step.get()}) {
            if (e)
                stack.push_back({e, nullptr, d});
        }
        for (const Stmt* c : {s.init.get(), s.then.get(), s.otherwise.get()}) {
            if (c)
                stack.push_back({nullptr, c, d});
        }
    }
    return true;
}

class Parser {
public:
    Parser(std::vector<Token> toks, Program& prog, Diagnostics& diag)
        : m_toks(std::move(toks)), m_prog(prog), m_diag(diag) {}

    bool run() {
        try {
            while (peek().kind != Tok::End)
                globalDecl();
        } catch (const ParseError&) {
            return false;
        }
        return true;
    }

private:
    const Token& peek(int ahead = 0) const {
        size_t i = std::min(m_pos + ahead, m_toks.size() - 1);
        return m_toks[i];
    }
    bool is(const char* text, int ahead = 0) const {
        const Token& t = peek(ahead);
        return (t.kind == Tok::Punct || t.kind == Tok::Ident) && t.text == text;
    }
    bool accept(const char* text) {
        if (is(text)) {
            ++m_pos;
            return true;
        }
        return false;
    }
    // Bounds the parser's own recursion (parentheses, unary operators,
    // statements, initializer lists).
    struct Nest {
        explicit Nest(Parser& p) : parser(p) {
            if (++parser.m_nesting > kMaxNesting) {
                parser.fail("statements or expressions nested more than " +
                            std::to_string(kMaxNesting) + " levels deep");
            }
        }
        ~Nest() { --parser.m_nesting; }
        Parser& parser;
    };

    [[noreturn]] void fail(const std::string& msg) {
        const Token& t = peek();
        std::string near = t.kind == Tok::End ? "end of file" : "'" + t.text + "'";
        m_diag.error(t.loc, msg + " near " + near);
        throw ParseError{};
    }
    void expect(const char* text) {
        if (!accept(text))
            fail(std::string("syntax error: expected '") + text + "'");
    }
    std::string ident(const char* what) {
        if (peek().kind != Tok::Ident)
            fail(std::string("syntax error: expected ") + what);
        return m_toks[m_pos++].text;
    }

    bool typeAt(int ahead, Type& out) const {
        const Token& t = peek(ahead);
        if (t.kind != Tok::Ident)
            return false;
        if (parseBuiltinTypeName(t.text, out))
            return true;
        auto td = m_typedefs.find(t.text);
        if (td != m_typedefs.end()) {
            out = td->second;
            return true;
        }
        auto it = m_structs.find(t.text);
        if (it == m_structs.end())
            return false;
        out = Type::scalar(BaseType::Struct);
        out.st = it->second;
        return true;
    }
    bool isTypeStart(int ahead = 0) const {
        Type t;
        if (is("struct", ahead))
            return true;
        return typeAt(ahead, t);
    }
    Type type() {
        accept("struct");
        Type t;
        if (!typeAt(0, t))
            fail("syntax error: expected a type");
        ++m_pos;
        return t;
    }

    // Array sizes are integer constant expressions of literals and of
    // "static const int" globals.
    bool constInt(const Expr& e, long long& v) const {
        switch (e.kind) {
            case ExprKind::IntLit:
                v = e.ival;
                return true;
            case ExprKind::Var: {
                auto it = m_constInts.find(e.name);
                if (it == m_constInts.end())
                    return false;
                v = it->second;
                return true;
            }
            case ExprKind::Unary: {
                if (!constInt(*e.args[0], v))
                    return false;
                if (e.name == "-" && v != LLONG_MIN)
                    v = -v;
                else if (e.name != "+")
                    return false;
                return true;
            }
            case ExprKind::Binary: {
                long long a, b;
                return constInt(*e.args[0], a) && constInt(*e.args[1], b) &&
                       foldIntOperation(e.name, a, b, v);
            }
            default:
                return false;
        }
    }
    void arraySuffix(Type& t) {
        if (!accept("["))
            return;
        ExprPtr e = expr();
        long long n = 0;
        if (!constInt(*e, n) || n <= 0) {
            m_diag.error(e->loc, "array size must be a positive integer constant");
            throw ParseError{};
        }
        if (n > kMaxArraySize) {
            m_diag.error(e->loc, "array size " + std::to_string(n) + " is larger than " +
                                     std::to_string(kMaxArraySize));
            throw ParseError{};
        }
        expect("]");
        if (is("["))
            fail("arrays of arrays are not supported");
        if (t.isArray())
            fail("arrays of arrays are not supported");
        t.arraySize = static_cast<int>(n);
    }
    std::string semantic() {
        if (!accept(":"))
            return {};
        std::string s = ident("a semantic");
        if (s == "register" && accept("(")) {
            while (!accept(")")) {
                if (peek().kind == Tok::End)
                    fail("syntax error");
                ++m_pos;
            }
            return {};
        }
        for (char& c : s)
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        return s;
    }

    // "struct Name { ... }"; in a typedef the name may be left out
    // ("typedef struct { ... } Name;") and is then set by the caller.
    StructDecl* structDecl(bool anonymous = false) {
        SourceLoc loc = peek().loc;
        expect("struct");
        auto sd = std::make_unique<StructDecl>();
        if (!anonymous || !is("{"))
            sd->name = ident("a struct name");
        sd->loc = loc;
        if (!sd->name.empty())
            requireNewTypeName(sd->name, loc);
        expect("{");
        int depth = 1;
        while (!accept("}")) {
            bool uniform = false;
            while (is("uniform") || is("const") || is("varying") || is("in")) {
                if (is("uniform"))
                    uniform = true;
                ++m_pos;
            }
            Type base = type();
            if (base.st)
                depth = std::max(depth, m_structDepth[base.st] + 1);
            if (depth > kMaxNesting) {
                m_diag.error(loc, "struct '" + sd->name + "' nests structs more than " +
                                      std::to_string(kMaxNesting) + " levels deep");
                throw ParseError{};
            }
            do {
                StructMember m;
                m.loc = peek().loc;
                m.name = ident("a member name");
                m.type = base;
                m.uniform = uniform;
                arraySuffix(m.type);
                m.semantic = semantic();
                if (sd->find(m.name)) {
                    m_diag.error(m.loc, "duplicate member '" + m.name + "'");
                    throw ParseError{};
                }
                sd->members.push_back(m);
            } while (accept(","));
            expect(";");
        }
        if (!anonymous)
            accept(";");
        StructDecl* result = sd.get();
        if (!sd->name.empty())
            m_structs[sd->name] = result;
        m_structDepth[result] = depth;
        m_prog.structs.push_back(std::move(sd));
        return result;
    }

    void requireNewTypeName(const std::string& name, SourceLoc loc) {
        Type t;
        if (m_structs.count(name) || m_typedefs.count(name) || parseBuiltinTypeName(name, t)) {
            m_diag.error(loc, "redefinition of type '" + name + "'");
            throw ParseError{};
        }
    }

    // "typedef TYPE Name[N], Other;" and "typedef struct [Tag] { ... } Name;":
    // the names stand for the type wherever a type may be written.
    void typedefDecl() {
        expect("typedef");
        Type base;
        StructDecl* fresh = nullptr;
        if (is("struct") && (is("{", 1) || is("{", 2))) {
            fresh = structDecl(true);
            base = Type::scalar(BaseType::Struct);
            base.st = fresh;
        } else {
            base = type();
        }
        do {
            SourceLoc loc = peek().loc;
            std::string name = ident("a type name");
            Type t = base;
            arraySuffix(t);
            if (fresh && fresh->name.empty() && !t.isArray()) {
                requireNewTypeName(name, loc);
                fresh->name = name;
                m_structs[name] = fresh;
                continue;
            }
            requireNewTypeName(name, loc);
            m_typedefs[name] = t;
        } while (accept(","));
        expect(";");
        if (fresh && fresh->name.empty()) {
            // Only array types of it were named: the struct needs a name of its own.
            fresh->name = "anonymous_struct_" + std::to_string(m_prog.structs.size());
        }
    }

    void globalDecl() {
        if (accept(";"))
            return;
        if (is("typedef")) {
            typedefDecl();
            return;
        }
        if (is("struct") && peek(2).kind == Tok::Punct && peek(2).text == "{") {
            structDecl();
            return;
        }
        bool uniform = false, isStatic = false, isConst = false;
        while (true) {
            if (accept("uniform"))
                uniform = true;
            else if (accept("static"))
                isStatic = true;
            else if (accept("const"))
                isConst = true;
            else if (accept("extern") || accept("inline") || accept("shared") || accept("volatile"))
                ;
            else
                break;
        }
        // A const global is a constant, not a parameter, unless said so.
        if (isConst && !uniform)
            isStatic = true;
        SourceLoc loc = peek().loc;
        Type base = type();
        std::string name = ident("a name");
        if (is("(")) {
            if (base.isArray())
                fail("a function cannot return an array");
            function(base, name, loc);
            return;
        }
        while (true) {
            auto v = std::make_unique<VarDecl>();
            v->name = name;
            v->loc = loc;
            v->type = base;
            v->scope = VarDecl::Scope::Global;
            v->isStatic = isStatic;
            v->isConst = isConst;
            // A global that is not static is a parameter of the program.
            v->uniform = uniform || !isStatic;
            arraySuffix(v->type);
            v->semantic = semantic();
            if (accept("="))
                v->init = initializer();
            long long cv;
            if (isStatic && isConst && v->init && v->type == Type::scalar(BaseType::Int) &&
                constInt(*v->init, cv))
                m_constInts[v->name] = cv;
            m_prog.globals.push_back(std::move(v));
            if (!accept(","))
                break;
            loc = peek().loc;
            name = ident("a name");
        }
        expect(";");
    }

    void function(const Type& ret, const std::string& name, SourceLoc loc) {
        auto f = std::make_unique<FuncDecl>();
        f->name = name;
        f->ret = ret;
        f->loc = loc;
        expect("(");
        if (is("void") && is(")", 1))
            ++m_pos;
        if (!accept(")")) {
            do {
                auto p = std::make_unique<VarDecl>();
                p->scope = VarDecl::Scope::Param;
                while (true) {
                    if (accept("uniform"))
                        p->uniform = true;
                    else if (accept("in"))
                        p->dir = ParamDir::In;
                    else if (accept("out"))
                        p->dir = ParamDir::Out;
                    else if (accept("inout"))
                        p->dir = ParamDir::InOut;
                    else if (accept("const"))
                        p->isConst = true;
                    else if (accept("varying"))
                        ;
                    else
                        break;
                }
                p->loc = peek().loc;
                p->type = type();
                p->name = ident("a parameter name");
                arraySuffix(p->type);
                p->semantic = semantic();
                if (p->type.isSampler())
                    p->uniform = true;
                f->params.push_back(std::move(p));
            } while (accept(","));
            expect(")");
        }
        f->semantic = semantic();
        if (!accept(";"))
            f->body = block();
        m_prog.funcs.push_back(std::move(f));
    }

    StmtPtr block() {
        auto s = std::make_unique<Stmt>();
        s->kind = StmtKind::Block;
        s->loc = peek().loc;
        expect("{");
        while (!accept("}")) {
            if (peek().kind == Tok::End)
                fail("syntax error: missing '}'");
            s->body.push_back(statement());
        }
        return s;
    }

    bool declStart() const {
        int i = 0;
        while (is("const", i) || is("static", i) || is("uniform", i))
            ++i;
        Type t;
        if (is("struct", i))
            ++i;
        return typeAt(i, t) && peek(i + 1).kind == Tok::Ident;
    }

    StmtPtr declStmt() {
        auto s = std::make_unique<Stmt>();
        s->kind = StmtKind::Decl;
        s->loc = peek().loc;
        bool isConst = false, isStatic = false;
        while (true) {
            if (accept("const"))
                isConst = true;
            else if (accept("static"))
                isStatic = true;
            else if (accept("uniform"))
                fail("uniform variables must be global");
            else
                break;
        }
        Type base = type();
        do {
            auto v = std::make_unique<VarDecl>();
            v->loc = peek().loc;
            v->name = ident("a variable name");
            v->type = base;
            v->isConst = isConst;
            v->isStatic = isStatic;
            v->scope = VarDecl::Scope::Local;
            arraySuffix(v->type);
            if (accept("="))
                v->init = initializer();
            s->decls.push_back(std::move(v));
        } while (accept(","));
        expect(";");
        return s;
    }

    ExprPtr initializer() {
        Nest nest(*this);
        if (is("{")) {
            auto e = std::make_unique<Expr>();
            e->kind = ExprKind::InitList;
            e->loc = peek().loc;
            expect("{");
            if (!is("}")) {
                do {
                    if (is("}"))
                        break;
                    e->args.push_back(initializer());
                } while (accept(","));
            }
            expect("}");
            return e;
        }
        return assignment();
    }

    StmtPtr statement() {
        Nest nest(*this);
        auto s = std::make_unique<Stmt>();
        s->loc = peek().loc;
        if (is("{"))
            return block();
        if (accept(";"))
            return s;
        if (accept("if")) {
            s->kind = StmtKind::If;
            expect("(");
            s->expr = expr();
            expect(")");
            s->then = statement();
            if (accept("else"))
                s->otherwise = statement();
            return s;
        }
        if (accept("for")) {
            s->kind = StmtKind::For;
            expect("(");
            if (declStart()) {
                s->init = declStmt();
            } else if (!accept(";")) {
                auto es = std::make_unique<Stmt>();
                es->kind = StmtKind::ExprStmt;
                es->loc = peek().loc;
                es->expr = expr();
                expect(";");
                s->init = std::move(es);
            }
            if (!is(";"))
                s->expr = expr();
            expect(";");
            if (!is(")"))
                s->step = expr();
            expect(")");
            s->then = statement();
            return s;
        }
        if (accept("while")) {
            s->kind = StmtKind::While;
            expect("(");
            s->expr = expr();
            expect(")");
            s->then = statement();
            return s;
        }
        if (accept("do")) {
            s->kind = StmtKind::DoWhile;
            s->then = statement();
            expect("while");
            expect("(");
            s->expr = expr();
            expect(")");
            expect(";");
            return s;
        }
        if (accept("return")) {
            s->kind = StmtKind::Return;
            if (!is(";"))
                s->expr = expr();
            expect(";");
            return s;
        }
        if (accept("break")) {
            s->kind = StmtKind::Break;
            expect(";");
            return s;
        }
        if (accept("continue")) {
            s->kind = StmtKind::Continue;
            expect(";");
            return s;
        }
        if (accept("discard")) {
            s->kind = StmtKind::Discard;
            expect(";");
            return s;
        }
        if (is("typedef")) {
            typedefDecl();
            return s;
        }
        if (declStart())
            return declStmt();
        s->kind = StmtKind::ExprStmt;
        s->expr = expr();
        expect(";");
        return s;
    }

    ExprPtr make(ExprKind k, SourceLoc loc, std::string name = {}) {
        auto e = std::make_unique<Expr>();
        e->kind = k;
        e->loc = loc;
        e->name = std::move(name);
        return e;
    }

    ExprPtr expr() {
        ExprPtr e = assignment();
        if (is(","))
            fail("the comma operator is not supported");
        return e;
    }

    ExprPtr assignment() {
        ExprPtr lhs = ternary();
        static const char* const kOps[] = {
            "=", "+=", "-=", "*=", "/=", "%=", "&=", "|=", "^=", "<<=", ">>="};
        for (const char* op : kOps) {
            if (is(op) && peek().kind == Tok::Punct) {
                SourceLoc loc = peek().loc;
                ++m_pos;
                auto e = make(ExprKind::Assign, loc, op);
                e->args.push_back(std::move(lhs));
                e->args.push_back(assignment());
                return e;
            }
        }
        return lhs;
    }

    ExprPtr ternary() {
        ExprPtr c = binary(0);
        if (!is("?"))
            return c;
        auto e = make(ExprKind::Ternary, peek().loc);
        ++m_pos;
        e->args.push_back(std::move(c));
        e->args.push_back(assignment());
        expect(":");
        e->args.push_back(assignment());
        return e;
    }

    static int precedence(const std::string& op) {
        static const std::map<std::string, int> kPrec = {
            {"||", 1}, {"&&", 2}, {"|", 3}, {"^", 4},  {"&", 5},  {"==", 6},
            {"!=", 6}, {"<", 7},  {">", 7}, {"<=", 7}, {">=", 7}, {"<<", 8},
            {">>", 8}, {"+", 9},  {"-", 9}, {"*", 10}, {"/", 10}, {"%", 10}};
        auto it = kPrec.find(op);
        return it == kPrec.end() ? -1 : it->second;
    }

    ExprPtr binary(int minPrec) {
        ExprPtr lhs = unary();
        while (peek().kind == Tok::Punct) {
            int p = precedence(peek().text);
            if (p < 0 || p <= minPrec)
                break;
            auto e = make(ExprKind::Binary, peek().loc, peek().text);
            ++m_pos;
            e->args.push_back(std::move(lhs));
            e->args.push_back(binary(p));
            lhs = std::move(e);
        }
        return lhs;
    }

    ExprPtr unary() {
        Nest nest(*this);
        SourceLoc loc = peek().loc;
        if (peek().kind == Tok::Punct) {
            const std::string op = peek().text;
            if (op == "-" || op == "+" || op == "!" || op == "~") {
                ++m_pos;
                auto e = make(ExprKind::Unary, loc, op);
                e->args.push_back(unary());
                return e;
            }
            if (op == "++" || op == "--") {
                ++m_pos;
                auto e = make(ExprKind::PreIncDec, loc, op);
                e->args.push_back(unary());
                return e;
            }
            Type t;
            if (op == "(" && typeAt(1, t) && is(")", 2)) {
                m_pos += 3;
                auto e = make(ExprKind::Construct, loc, "cast");
                e->castType = t;
                e->args.push_back(unary());
                return e;
            }
        }
        return postfix(primary());
    }

    ExprPtr postfix(ExprPtr e) {
        while (true) {
            SourceLoc loc = peek().loc;
            if (accept("[")) {
                auto ix = make(ExprKind::Index, loc);
                ix->args.push_back(std::move(e));
                ix->args.push_back(expr());
                expect("]");
                e = std::move(ix);
            } else if (accept(".")) {
                auto m = make(ExprKind::Member, loc, ident("a member name"));
                m->args.push_back(std::move(e));
                e = std::move(m);
            } else if (is("++") || is("--")) {
                auto p = make(ExprKind::PostIncDec, loc, peek().text);
                ++m_pos;
                p->args.push_back(std::move(e));
                e = std::move(p);
            } else {
                return e;
            }
        }
    }

    void callArgs(Expr& e) {
        expect("(");
        if (accept(")"))
            return;
        do {
            e.args.push_back(assignment());
        } while (accept(","));
        expect(")");
    }

    ExprPtr primary() {
        const Token& t = peek();
        SourceLoc loc = t.loc;
        if (t.kind == Tok::Int) {
            auto e = make(ExprKind::IntLit, loc);
            e->ival = t.ival;
            ++m_pos;
            return e;
        }
        if (t.kind == Tok::Float) {
            auto e = make(ExprKind::FloatLit, loc);
            e->fval = t.fval;
            ++m_pos;
            return e;
        }
        if (t.kind == Tok::Ident) {
            if (t.text == "true" || t.text == "false") {
                auto e = make(ExprKind::BoolLit, loc);
                e->ival = t.text == "true";
                ++m_pos;
                return e;
            }
            Type ty;
            if (typeAt(0, ty)) {
                ++m_pos;
                if (!is("("))
                    fail("syntax error: expected '(' after a type name");
                auto e = make(ExprKind::Construct, loc, "construct");
                e->castType = ty;
                callArgs(*e);
                return e;
            }
            std::string name = t.text;
            ++m_pos;
            if (is("(")) {
                auto e = make(ExprKind::Call, loc, name);
                callArgs(*e);
                return e;
            }
            return make(ExprKind::Var, loc, name);
        }
        if (accept("(")) {
            ExprPtr e = expr();
            expect(")");
            return e;
        }
        fail("syntax error");
    }

    std::vector<Token> m_toks;
    size_t m_pos = 0;
    Program& m_prog;
    Diagnostics& m_diag;
    std::map<std::string, const StructDecl*> m_structs;
    std::map<std::string, Type> m_typedefs;
    std::map<std::string, long long> m_constInts;
    std::map<const StructDecl*, int> m_structDepth;
    int m_nesting = 0;
};

}  // namespace

bool parseProgram(std::string_view source, Program& program, Diagnostics& diag) {
    std::vector<Token> toks;
    Lexer lexer(source, program, diag);
    if (!lexer.run(toks))
        return false;
    Parser parser(std::move(toks), program, diag);
    return parser.run() && withinNesting(program, diag);
}

}  // namespace shadercompiler
