#include "foundation/Log.h"

#include <algorithm>
#include <cstdio>

void FileLogSink::write(const char* text) {
    const char* mode = m_openedBefore ? "a" : "w";
    m_openedBefore = true;
    FILE* file = std::fopen(m_path.c_str(), mode);
    if (file == nullptr) {
        return;
    }
    std::fputs(text, file);
    std::fclose(file);
}

void StderrLogSink::write(const char* text) {
    std::fputs(text, stderr);
    std::fflush(stderr);
}

Log& Log::get() {
    static Log* instance = new Log();  // lives until process exit
    return *instance;
}

Log& Log::write(const char* text) {
    if (text == nullptr) {
        return *this;
    }
    for (ILogSink* sink : m_sinks) {
        sink->write(text);
    }
    return *this;
}

Log& Log::write(int32_t value) {
    char buffer[16];
    std::snprintf(buffer, sizeof(buffer), "%d", value);
    return write(buffer);
}

Log& Log::write(uint32_t value) {
    char buffer[16];
    std::snprintf(buffer, sizeof(buffer), "%u", value);
    return write(buffer);
}

Log& Log::write(float value) {
    return write(formatLogFloat(value).c_str());
}

void Log::addSink(ILogSink* sink) {
    m_sinks.push_back(sink);
}

void Log::removeSink(ILogSink* sink) {
    auto it = std::find(m_sinks.begin(), m_sinks.end(), sink);
    if (it != m_sinks.end()) {
        m_sinks.erase(it);
    }
}

std::string formatLogFloat(float value) {
    char buffer[32];
    std::snprintf(buffer, sizeof(buffer), "%g", static_cast<double>(value));
    return buffer;
}
