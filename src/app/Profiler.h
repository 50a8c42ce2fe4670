#pragma once
// The frame profiler: a tree of named sections timed every frame, the two
// texts of the profiler statistics page, the "profiler.csv" dump, and a
// trace of every section entered while tracing is on, written as
// "profiler_trace.json" in the trace event format that Perfetto and Chrome's
// trace viewer open.
// Sections are identified by the address of their name text.

#include <memory>
#include <string>
#include <vector>

struct ProfiledSection {
    ProfiledSection(const char* key, ProfiledSection* parentSection)
        : nameKey(key), name(key), parent(parentSection) {}

    const char* nameKey;
    std::string name;
    ProfiledSection* parent;
    std::vector<std::unique_ptr<ProfiledSection>> children;

    std::vector<double> historyTimes;
    std::vector<int> historyFrames;
    bool historyOn = false;
    double frameTime = 0.0;
    double totalTime = 0.0;
    int totalCount = 0;
    int frameCount = 0;
    int frameNumber = 0;
    double startMs = 0.0;
};

class Profiler {
public:
    static Profiler& get();
    Profiler();

    // Requests take effect at the next frame start.
    void requestEnable() { m_enableRequest = true; }
    void requestDisable() { m_disableRequest = true; }
    void requestHistory(bool on) {
        m_historyValue = on;
        m_historyChangePending = true;
    }
    void requestSave() { m_saveRequest = true; }
    // Starts (and enables the profiler) or stops the trace at the next frame
    // start; stopping writes the trace file.
    void requestTrace(bool on) {
        m_traceValue = on;
        m_traceChangePending = true;
    }
    bool isTracing() const { return m_tracing; }
    // Whether the trace runs once pending requests have taken effect.
    bool isTraceRequested() const { return m_traceChangePending ? m_traceValue : m_tracing; }
    // Stops a running trace now and writes it (at exit).
    void finishTrace();

    bool isEnabled() const { return m_enabled; }

    void frameStart(int frameNumber);
    void enterSection(const char* name);
    void leaveSection();
    void frameEnd();

    const std::string& getTreeText() const { return m_treeText; }
    const std::string& getFlatText() const { return m_flatText; }
    const ProfiledSection& getRoot() const { return m_root; }

    // The CSV text of "profiler.csv".
    std::string buildCsv() const;
    // Writes "profiler.csv" through the file system and logs where.
    void saveCsv() const;

    // The trace file's text: one complete event per section entered, times
    // in microseconds from the first frame of the trace.
    std::string buildTrace() const;
    // Writes "profiler_trace.json" into the trace folder (through the file
    // system when none is set) and logs where.
    void saveTrace() const;
    // The folder of the trace file, ending in "/" (the per-user folder).
    void setTraceFolder(std::string folder) { m_traceFolder = std::move(folder); }

    // Events one trace keeps at most (about 50 MB); later ones are dropped
    // with one log line, so a trace left on cannot exhaust memory.
    static constexpr size_t kMaxTraceEvents = size_t(1) << 21;

    // Forgets every section (tests).
    void reset();

private:
    struct TraceEvent {
        const ProfiledSection* section;
        double startMs;
        double durationMs;
    };

    void buildTexts();
    void recordTraceEvent(const ProfiledSection& section, double elapsed);

    bool m_enabled = false;
    bool m_enableRequest = false;
    bool m_disableRequest = false;
    bool m_historyValue = false;
    bool m_historyChangePending = false;
    bool m_saveRequest = false;
    bool m_tracing = false;
    bool m_traceValue = false;
    bool m_traceChangePending = false;
    bool m_traceFull = false;
    std::vector<TraceEvent> m_trace;
    std::string m_traceFolder;
    ProfiledSection* m_current = nullptr;
    ProfiledSection m_root;
    std::string m_treeText;
    std::string m_flatText;
};

// Enters a section for the life of the scope.
class ProfileScope {
public:
    explicit ProfileScope(const char* name) {
        Profiler& profiler = Profiler::get();
        if (profiler.isEnabled()) {
            m_profiler = &profiler;
            profiler.enterSection(name);
        }
    }
    ~ProfileScope() {
        if (m_profiler != nullptr) {
            m_profiler->leaveSection();
        }
    }
    ProfileScope(const ProfileScope&) = delete;
    ProfileScope& operator=(const ProfileScope&) = delete;

private:
    Profiler* m_profiler = nullptr;
};
