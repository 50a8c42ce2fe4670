#pragma once
// Log sinks that keep what is written as text, for tests that check the log.

#include <string>

#include "foundation/Log.h"

namespace testsupport {

class CapturingLogSink : public ILogSink {
public:
    void write(const char* text) override { m_text += text; }
    const std::string& text() const { return m_text; }
    // The text caught since the last take.
    std::string take() {
        std::string result;
        result.swap(m_text);
        return result;
    }
    // How often a piece occurs in the caught text (non-overlapping).
    size_t count(const std::string& piece) const {
        size_t n = 0;
        for (size_t at = m_text.find(piece); !piece.empty() && at != std::string::npos;
             at = m_text.find(piece, at + piece.size())) {
            ++n;
        }
        return n;
    }

private:
    std::string m_text;
};

// Catches the log while it lives.
class ScopedLogCapture : public CapturingLogSink {
public:
    ScopedLogCapture() { Log::get().addSink(this); }
    ~ScopedLogCapture() override { Log::get().removeSink(this); }
    ScopedLogCapture(const ScopedLogCapture&) = delete;
    ScopedLogCapture& operator=(const ScopedLogCapture&) = delete;
};

}  // namespace testsupport
