#pragma once
// Collects what the log receives while it lives.

#include <string>

#include "foundation/Log.h"

class LogCapture : public ILogSink {
public:
    LogCapture() { Log::get().addSink(this); }
    ~LogCapture() override { Log::get().removeSink(this); }
    void write(const char* text) override { m_text += text; }
    const std::string& text() const { return m_text; }

private:
    std::string m_text;
};
