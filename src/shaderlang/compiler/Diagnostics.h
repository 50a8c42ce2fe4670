#pragma once
// Error listing of one compile: "file(line) : error: message" lines.

#include "shaderlang/compiler/Ast.h"

#include <string>
#include <vector>

namespace shadercompiler {

class Diagnostics {
public:
    explicit Diagnostics(const std::vector<std::string>& files) : m_files(files) {}

    void error(SourceLoc loc, const std::string& message) {
        add(loc, "error", message);
        ++m_errors;
    }
    void warning(SourceLoc loc, const std::string& message) { add(loc, "warning", message); }
    int errorCount() const { return m_errors; }
    const std::string& listing() const { return m_listing; }

private:
    void add(SourceLoc loc, const char* kind, const std::string& message) {
        const std::string& file =
            loc.file >= 0 && loc.file < static_cast<int>(m_files.size()) ? m_files[loc.file] : "";
        m_listing += file + "(" + std::to_string(loc.line) + ") : " + kind + ": " + message + "\n";
    }

    const std::vector<std::string>& m_files;
    std::string m_listing;
    int m_errors = 0;
};

}  // namespace shadercompiler
