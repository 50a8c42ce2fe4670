#pragma once
// Collects what the log receives while it lives.

#include <string>

#include "foundation/Log.h"

struct LogText : ILogSink {
    LogText() { Log::get().addSink(this); }
    ~LogText() override { Log::get().removeSink(this); }
    void write(const char* t) override { text += t; }
    std::string text;
};
