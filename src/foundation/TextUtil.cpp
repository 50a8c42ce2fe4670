#include "foundation/TextUtil.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

float readFloat(const char* text, const char** end) {
    if (text == nullptr) {
        if (end) {
            *end = text;
        }
        return 0.0f;
    }
    const char* p = text;
    while (*p == ' ') {
        ++p;
    }
    bool negative = false;
    if (*p == '-') {
        negative = true;
        ++p;
    }
    float value = 0.0f;
    while (*p >= '0' && *p <= '9') {
        value = value * 10.0f + static_cast<float>(*p - '0');
        ++p;
    }
    if (*p == '.') {
        ++p;
        float scale = 0.1f;
        while (*p >= '0' && *p <= '9') {
            value += static_cast<float>(*p - '0') * scale;
            scale *= 0.1f;
            ++p;
        }
    }
    if (*p == 'e') {
        ++p;
        bool negativeExponent = false;
        if (*p == '-' || *p == '+') {
            negativeExponent = *p == '-';
            ++p;
        }
        int exponent = 0;
        while (*p >= '0' && *p <= '9') {
            // Saturate: a float overflows long before this anyway.
            if (exponent < 100000) {
                exponent = exponent * 10 + (*p - '0');
            }
            ++p;
        }
        float factor = 1.0f;
        for (int i = 0; i < exponent && !std::isinf(factor); ++i) {
            factor *= 10.0f;
        }
        value = negativeExponent ? value / factor : value * factor;
    }
    if (end) {
        *end = p;
    }
    return negative ? -value : value;
}

bool readFlag(const char* text) {
    return text != nullptr && strcasecmp(text, "true") == 0;
}

int readInt(const char* text, int defaultValue) {
    return text == nullptr ? defaultValue : std::atoi(text);
}

std::string trimText(const std::string& text) {
    auto isTrimmed = [](char c) { return c == ' ' || c == '\r' || c == '\n'; };
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end && isTrimmed(text[begin])) {
        ++begin;
    }
    while (end > begin && isTrimmed(text[end - 1])) {
        --end;
    }
    return text.substr(begin, end - begin);
}

std::vector<std::string> splitText(const std::string& delimiter, const std::string& text,
                                   bool trim) {
    std::vector<std::string> pieces;
    if (delimiter.empty()) {
        pieces.push_back(trim ? trimText(text) : text);
        return pieces;
    }
    size_t start = 0;
    for (;;) {
        size_t found = text.find(delimiter, start);
        std::string piece =
            text.substr(start, found == std::string::npos ? std::string::npos : found - start);
        pieces.push_back(trim ? trimText(piece) : piece);
        if (found == std::string::npos) {
            break;
        }
        start = found + delimiter.size();
    }
    return pieces;
}

namespace {

// Calls `emit` with each value of a space-separated list; stops when emit
// returns false.
template <typename Emit>
void forEachListValue(const char* text, Emit emit) {
    if (text == nullptr || *text == '\0') {
        return;
    }
    const char* start = text;
    for (;;) {
        const char* space = std::strchr(start, ' ');
        if (!emit(readFloat(start))) {
            return;
        }
        if (space == nullptr) {
            return;
        }
        start = space + 1;
    }
}

}  // namespace

std::vector<float> readFloatList(const char* text) {
    std::vector<float> values;
    forEachListValue(text, [&](float v) {
        values.push_back(v);
        return true;
    });
    return values;
}

int readFloatList(const char* text, float* out, int maxCount) {
    int count = 0;
    if (maxCount <= 0) {
        return 0;
    }
    forEachListValue(text, [&](float v) {
        out[count++] = v;
        return count < maxCount;
    });
    return count;
}

int readIntList(const char* text, int* out) {
    if (text == nullptr) {
        return 0;
    }
    int count = 0;
    const char* p = text;
    while (count < 4) {
        while (*p == ' ') {
            ++p;
        }
        if (*p < '0' || *p > '9') {
            break;
        }
        unsigned value = 0;
        while (*p >= '0' && *p <= '9') {
            value = value * 10u + static_cast<unsigned>(*p - '0');
            ++p;
        }
        out[count++] = static_cast<int>(value);
        if (*p != ' ') {
            break;
        }
    }
    return count;
}

std::string formatFloatValue(float value) {
    char buffer[64];
    std::snprintf(buffer, sizeof(buffer), "%f", static_cast<double>(value));
    return buffer;
}

std::string formatIntValue(int value) {
    return std::to_string(value);
}

void appendXmlEscaped(std::string& out, const std::string& text) {
    for (char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\'':
                out += "&apos;";
                break;
            default:
                out += c;
        }
    }
}
