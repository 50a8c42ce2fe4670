#pragma once
// Runs the preprocessor on a text and keeps what it wrote and logged.

#include <string>
#include <string_view>

#include "CapturingLogSink.h"
#include "foundation/Log.h"
#include "shaderlang/preprocessor/Preprocessor.h"

struct Processed {
    bool ok = false;
    std::string output;
    std::string log;
};

using LogCollector = testsupport::ScopedLogCapture;

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
