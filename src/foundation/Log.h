#pragma once
// The process-wide log: every piece of text goes unchanged, in order, to each
// sink. Callers compose whole messages ("Error: ...\n") from pieces.

#include <cstdint>
#include <string>
#include <vector>

class ILogSink {
public:
    virtual ~ILogSink() = default;
    virtual void write(const char* text) = 0;
};

// Appends to a text file: truncated on the first write of the sink's life,
// appended to afterwards; opened and closed for every piece.
class FileLogSink : public ILogSink {
public:
    explicit FileLogSink(std::string path) : m_path(std::move(path)) {}
    void write(const char* text) override;
    const std::string& getPath() const { return m_path; }

private:
    bool m_openedBefore = false;
    std::string m_path;
};

// Writes the log to standard error, for a person who runs the engine in a
// terminal.
class StderrLogSink : public ILogSink {
public:
    void write(const char* text) override;
};

class Log {
public:
    static Log& get();

    Log& write(const char* text);
    Log& write(const std::string& text) { return write(text.c_str()); }
    Log& write(int32_t value);
    Log& write(uint32_t value);
    Log& write(float value);

    template <typename T>
    Log& operator<<(const T& value) {
        return write(value);
    }
    Log& operator<<(double value) { return write(static_cast<float>(value)); }

    void addSink(ILogSink* sink);
    void removeSink(ILogSink* sink);

private:
    Log() = default;
    std::vector<ILogSink*> m_sinks;
};

// Six significant digits, fixed or exponent notation whichever is shorter, no
// trailing zeros: the form used for every float the engine prints.
std::string formatLogFloat(float value);
