#pragma once
// Runs the preprocessor on a text and keeps what it wrote and logged.

#include <string>
#include <string_view>

#include "foundation/Log.h"
#include "render/preprocessor/Preprocessor.h"

struct Processed {
    bool ok = false;
    std::string output;
    std::string log;
};

class LogCollector : public ILogSink {
public:
    LogCollector() { Log::get().addSink(this); }
    ~LogCollector() override { Log::get().removeSink(this); }
    LogCollector(const LogCollector&) = delete;
    LogCollector& operator=(const LogCollector&) = delete;
    void write(const char* text) override { m_text += text; }
    const std::string& text() const { return m_text; }

private:
    std::string m_text;
};

inline Processed preprocess(std::string_view text,
                            const PreprocessorOptions& options = PreprocessorOptions()) {
    LogCollector log;
    Processed result;
    result.ok = preprocessText(text, options, result.output);
    result.log = log.text();
    return result;
}

inline PreprocessorOptions withWarnings() {
    PreprocessorOptions options;
    options.warnings = true;
    options.fileName = "test.cg";
    return options;
}
