#include "shaderlang/preprocessor/PreprocessorExpression.h"

#include <cstring>
#include <vector>

#include "foundation/Log.h"

namespace {

// Parentheses, unary operators and operator levels each take one level.
constexpr int kMaxNesting = 256;

enum class Op {
    Or,
    And,
    BitOr,
    BitXor,
    BitAnd,
    NotEqual,
    Equal,
    GreaterEqual,
    Greater,
    LessEqual,
    Less,
    Add,
    Subtract,
    Multiply,
    Divide,
    Modulo
};

struct OperatorText {
    std::string_view text;
    Op op;
};

constexpr OperatorText kOperators[] = {
    {"||", Op::Or},      {"&&", Op::And},       {"|", Op::BitOr},  {"^", Op::BitXor},
    {"&", Op::BitAnd},   {"!=", Op::NotEqual},  {"==", Op::Equal}, {">=", Op::GreaterEqual},
    {">", Op::Greater},  {"<=", Op::LessEqual}, {"<", Op::Less},   {"+", Op::Add},
    {"-", Op::Subtract}, {"*", Op::Multiply},   {"/", Op::Divide}, {"%", Op::Modulo},
};

bool isTrimmed(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

std::string_view trim(std::string_view text) {
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end && isTrimmed(text[begin]))
        ++begin;
    while (end > begin && isTrimmed(text[end - 1]))
        --end;
    return text.substr(begin, end - begin);
}

int32_t wrap(int64_t value) {
    return static_cast<int32_t>(static_cast<uint32_t>(value));
}

bool isComparison(Op op) {
    return op >= Op::NotEqual && op <= Op::Less;
}

// Positions of `op` outside parentheses; a "-" first in the text is a sign.
void findOperator(std::string_view text, std::string_view op, std::vector<size_t>& positions) {
    positions.clear();
    int depth = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '(') {
            ++depth;
        } else if (c == ')') {
            --depth;
        } else if (depth == 0 && c == op[0] && text.compare(i, op.size(), op) == 0) {
            if (op == "-" && i == 0)
                continue;
            positions.push_back(i);
            i += op.size() - 1;
        }
    }
}

bool parseLiteral(std::string_view text, int32_t& value) {
    uint32_t result = 0;
    size_t i = 0;
    uint32_t base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        i = 2;
    } else if (text.size() > 1 && text[0] == '0') {
        base = 8;
        i = 1;
    }
    if (i >= text.size())
        return false;
    for (; i < text.size(); ++i) {
        char c = text[i];
        uint32_t digit;
        if (c >= '0' && c <= '9') {
            digit = static_cast<uint32_t>(c - '0');
        } else if (c >= 'a' && c <= 'f') {
            digit = static_cast<uint32_t>(c - 'a' + 10);
        } else if (c >= 'A' && c <= 'F') {
            digit = static_cast<uint32_t>(c - 'A' + 10);
        } else {
            return false;
        }
        if (digit >= base)
            return false;
        result = result * base + digit;
    }
    value = static_cast<int32_t>(result);
    return true;
}

bool evaluate(std::string_view text, int depth, int32_t& value);

bool compareTexts(Op op, std::string_view left, std::string_view right) {
    int order = left.compare(right);  // char_traits<char>::compare orders as unsigned bytes
    switch (op) {
        case Op::NotEqual:
            return order != 0;
        case Op::Equal:
            return order == 0;
        case Op::GreaterEqual:
            return order >= 0;
        case Op::Greater:
            return order > 0;
        case Op::LessEqual:
            return order <= 0;
        default:
            return order < 0;
    }
}

bool combine(Op op, int32_t a, int32_t b, int32_t& result) {
    int64_t x = a;
    int64_t y = b;
    switch (op) {
        case Op::Or:
            result = (a != 0 || b != 0) ? 1 : 0;
            break;
        case Op::And:
            result = (a != 0 && b != 0) ? 1 : 0;
            break;
        case Op::BitOr:
            result = a | b;
            break;
        case Op::BitXor:
            result = a ^ b;
            break;
        case Op::BitAnd:
            result = a & b;
            break;
        case Op::NotEqual:
            result = a != b;
            break;
        case Op::Equal:
            result = a == b;
            break;
        case Op::GreaterEqual:
            result = a >= b;
            break;
        case Op::Greater:
            result = a > b;
            break;
        case Op::LessEqual:
            result = a <= b;
            break;
        case Op::Less:
            result = a < b;
            break;
        case Op::Add:
            result = wrap(x + y);
            break;
        case Op::Subtract:
            result = wrap(x - y);
            break;
        case Op::Multiply:
            result = wrap(x * y);
            break;
        case Op::Divide:
            if (b == 0) {
                Log::get() << "Warning: dividing by zero in string arithmetic evaluation\n";
                result = 0;
            } else {
                result = wrap(x / y);
            }
            break;
        case Op::Modulo:
            if (b == 0) {
                Log::get() << "Warning: modulo with zero in string arithmetic evaluation\n";
                result = 0;
            } else {
                result = wrap(x % y);
            }
            break;
    }
    return true;
}

// Splits at every occurrence of the operator and folds the parts from the
// left, which gives the same value as splitting at the rightmost occurrence
// again and again, without one recursion level per operand.
bool evaluateBinary(std::string_view text, Op op, size_t opLength,
                    const std::vector<size_t>& positions, int depth, int32_t& value) {
    size_t pieceBegin = 0;
    int32_t accumulated = 0;
    bool accumulatedValid = false;
    for (size_t k = 0; k <= positions.size(); ++k) {
        size_t pieceEnd = k < positions.size() ? positions[k] : text.size();
        std::string_view piece = text.substr(pieceBegin, pieceEnd - pieceBegin);
        int32_t pieceValue = 0;
        bool pieceValid = evaluate(piece, depth + 1, pieceValue);
        if (k == 0) {
            accumulated = pieceValue;
            accumulatedValid = pieceValid;
        } else if (isComparison(op)) {
            if (accumulatedValid && pieceValid) {
                combine(op, accumulated, pieceValue, accumulated);
            } else {
                std::string_view left = trim(text.substr(0, positions[k - 1]));
                accumulated = compareTexts(op, left, trim(piece)) ? 1 : 0;
            }
            accumulatedValid = true;
        } else {
            if (!accumulatedValid || !pieceValid)
                return false;
            combine(op, accumulated, pieceValue, accumulated);
        }
        pieceBegin = pieceEnd + opLength;
    }
    if (!accumulatedValid)
        return false;
    value = accumulated;
    return true;
}

bool evaluate(std::string_view text, int depth, int32_t& value) {
    if (depth > kMaxNesting)
        return false;
    text = trim(text);
    if (text.empty())
        return false;

    std::vector<size_t> positions;
    for (const OperatorText& op : kOperators) {
        findOperator(text, op.text, positions);
        if (!positions.empty())
            return evaluateBinary(text, op.op, op.text.size(), positions, depth, value);
    }

    char first = text[0];
    if (first == '~' || first == '!' || first == '-') {
        int32_t operand;
        if (!evaluate(text.substr(1), depth + 1, operand))
            return false;
        if (first == '~')
            value = ~operand;
        else if (first == '!')
            value = operand == 0 ? 1 : 0;
        else
            value = wrap(-static_cast<int64_t>(operand));
        return true;
    }
    constexpr std::string_view kLength = "length(";
    if (text.size() > kLength.size() && text.substr(0, kLength.size()) == kLength &&
        text.back() == ')') {
        value = static_cast<int32_t>(text.size() - kLength.size() - 1);
        return true;
    }
    if (first == '(' && text.back() == ')')
        return evaluate(text.substr(1, text.size() - 2), depth + 1, value);
    return parseLiteral(text, value);
}

}  // namespace

bool evaluatePreprocessorExpression(std::string_view text, int32_t& value) {
    return evaluate(text, 0, value);
}
