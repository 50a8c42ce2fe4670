#pragma once
// A log sink that keeps what is written as text, for tests that check the
// log.

#include <string>

#include "foundation/Log.h"

namespace testsupport {

class CapturingLogSink : public ILogSink {
public:
    void write(const char* text) override { m_text += text; }
    // The text caught since the last take.
    std::string take() {
        std::string result;
        result.swap(m_text);
        return result;
    }

private:
    std::string m_text;
};

}  // namespace testsupport
