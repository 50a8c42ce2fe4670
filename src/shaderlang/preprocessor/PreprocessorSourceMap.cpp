// Maps places of preprocessed text back to the file and line they came from,
// through the include marker lines the preprocessor writes.

#include <algorithm>
#include <cstdint>

#include "shaderlang/preprocessor/Preprocessor.h"

namespace {

// "<start>include NAME(LINE):1" or ":2"; NAME may itself contain "(".
bool parseMarker(std::string_view line, std::string_view markerStart, std::string& file,
                 int& number) {
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    std::string_view prefix = "include ";
    if (line.substr(0, markerStart.size()) != markerStart)
        return false;
    line.remove_prefix(markerStart.size());
    if (line.substr(0, prefix.size()) != prefix)
        return false;
    line.remove_prefix(prefix.size());
    if (line.size() < 3 || (line.back() != '1' && line.back() != '2'))
        return false;
    line.remove_suffix(1);
    if (line.substr(line.size() - 2) != "):")
        return false;
    line.remove_suffix(2);
    size_t open = line.rfind('(');
    if (open == std::string_view::npos || open + 1 >= line.size())
        return false;
    // Capped before the next digit, so a line number of any length in the
    // text neither overflows nor passes 2^30.
    int64_t value = 0;
    for (char c : line.substr(open + 1)) {
        if (c < '0' || c > '9')
            return false;
        value = std::min<int64_t>(value * 10 + (c - '0'), int64_t{1} << 30);
    }
    file = std::string(line.substr(0, open));
    number = static_cast<int>(value);
    return true;
}

}  // namespace

PreprocessorSourceLocation locatePreprocessedPosition(std::string_view output, size_t position,
                                                      const std::string& inputName,
                                                      std::string_view markerStart) {
    PreprocessorSourceLocation location{inputName, 1};
    position = std::min(position, output.size());
    size_t lineBegin = 0;
    while (lineBegin < output.size()) {
        size_t lineEnd = output.find('\n', lineBegin);
        if (lineEnd == std::string_view::npos)
            lineEnd = output.size();
        if (position <= lineEnd)
            break;  // the position lies on this line
        std::string file;
        int number = 0;
        if (parseMarker(output.substr(lineBegin, lineEnd - lineBegin), markerStart, file, number)) {
            location.file = std::move(file);
            location.line = number;
        } else {
            ++location.line;
        }
        lineBegin = lineEnd + 1;
    }
    return location;
}

PreprocessorSourceLocation locatePreprocessedLine(std::string_view output, int line,
                                                  const std::string& inputName,
                                                  std::string_view markerStart) {
    size_t position = 0;
    for (int i = 1; i < line && position < output.size(); ++i) {
        size_t newline = output.find('\n', position);
        if (newline == std::string_view::npos) {
            position = output.size();
            break;
        }
        position = newline + 1;
    }
    return locatePreprocessedPosition(output, position, inputName, markerStart);
}
