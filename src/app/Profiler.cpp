#include "app/Profiler.h"

#include <algorithm>
#include <cstdio>

#include "base/platform/Platform.h"
#include "foundation/File.h"
#include "foundation/Log.h"

namespace {

const char kRootName[] = "profiler_root";

template <typename Visit>
void forEachSection(const ProfiledSection& section, int depth, Visit&& visit) {
    visit(section, depth);
    for (const auto& child : section.children) {
        forEachSection(*child, depth + 1, visit);
    }
}

template <typename Visit>
void forEachSectionMutable(ProfiledSection& section, Visit&& visit) {
    visit(section);
    for (auto& child : section.children) {
        forEachSectionMutable(*child, visit);
    }
}

}  // namespace

Profiler& Profiler::get() {
    static Profiler* instance = new Profiler();
    return *instance;
}

Profiler::Profiler() : m_root(kRootName, nullptr) {}

void Profiler::frameStart(int frameNumber) {
    if (m_enableRequest) {
        m_enabled = true;
        m_enableRequest = false;
    } else if (m_disableRequest) {
        m_enabled = false;
        m_disableRequest = false;
    }
    if (m_historyChangePending) {
        forEachSectionMutable(m_root, [this](ProfiledSection& s) { s.historyOn = m_historyValue; });
        m_historyChangePending = false;
    }
    if (m_saveRequest) {
        saveCsv();
        m_saveRequest = false;
    }
    if (m_traceChangePending) {
        m_traceChangePending = false;
        if (m_traceValue && !m_tracing) {
            m_trace.clear();
            // Room for a few thousand frames up front, so tracing itself
            // does not reallocate every few frames.
            m_trace.reserve(size_t(1) << 16);
            m_traceFull = false;
            m_tracing = true;
            m_enabled = true;
        } else if (!m_traceValue) {
            finishTrace();
        }
    }
    if (m_enabled) {
        forEachSectionMutable(m_root, [frameNumber](ProfiledSection& s) {
            s.frameTime = 0.0;
            s.frameCount = 0;
            s.frameNumber = frameNumber;
        });
        m_current = &m_root;
        m_root.startMs = platform::getTimeMs();
    }
}

void Profiler::enterSection(const char* name) {
    if (!m_enabled || m_current == nullptr) {
        return;
    }
    ProfiledSection* found = nullptr;
    for (auto& child : m_current->children) {
        if (child->nameKey == name) {
            found = child.get();
            break;
        }
    }
    if (found == nullptr) {
        m_current->children.push_back(std::make_unique<ProfiledSection>(name, m_current));
        found = m_current->children.back().get();
        found->historyOn = m_root.historyOn;
        found->frameNumber = m_current->frameNumber;
    }
    m_current = found;
    found->startMs = platform::getTimeMs();
}

void Profiler::leaveSection() {
    if (!m_enabled || m_current == nullptr) {
        return;
    }
    ProfiledSection& s = *m_current;
    double elapsed = platform::getTimeMs() - s.startMs;
    ++s.totalCount;
    ++s.frameCount;
    s.frameTime += elapsed;
    s.totalTime += elapsed;
    if (s.historyOn) {
        s.historyTimes.push_back(s.frameTime);
        s.historyFrames.push_back(s.frameNumber);
    }
    if (m_tracing) {
        recordTraceEvent(s, elapsed);
    }
    m_current = s.parent;
}

void Profiler::recordTraceEvent(const ProfiledSection& section, double elapsed) {
    if (m_trace.size() >= kMaxTraceEvents) {
        if (!m_traceFull) {
            Log::get() << "Warning: profiler trace is full (" << std::to_string(kMaxTraceEvents)
                       << " events); later sections are not recorded\n";
            m_traceFull = true;
        }
        return;
    }
    m_trace.push_back({&section, section.startMs, elapsed});
}

void Profiler::frameEnd() {
    if (!m_enabled) {
        return;
    }
    if (m_current != &m_root) {
        Log::get() << "Error: ProfilerManager wrong ENTER_SECTION/LEAVE_SECTION nesting. Check "
                      "MACROS.\n";
        m_enabled = false;
        m_current = nullptr;
        return;
    }
    leaveSection();
    buildTexts();
}

void Profiler::buildTexts() {
    m_treeText.clear();
    m_flatText.clear();
    char buffer[64];
    forEachSection(m_root, 0, [&](const ProfiledSection& s, int depth) {
        m_treeText.append(static_cast<size_t>(depth) * 2, ' ');
        m_treeText += s.name;
        m_treeText += "\n";

        std::snprintf(buffer, sizeof(buffer), "%5d", s.frameCount);
        m_flatText += buffer;
        std::snprintf(buffer, sizeof(buffer), "   %8.0f", s.frameTime * 1000.0);
        m_flatText += buffer;
        double parentTime = s.parent != nullptr ? s.parent->frameTime : s.frameTime;
        if (parentTime > 0.0) {
            std::snprintf(buffer, sizeof(buffer), "   %3.0f\n", 100.0 * s.frameTime / parentTime);
            m_flatText += buffer;
        } else {
            m_flatText += "      0\n";
        }
    });
}

std::string Profiler::buildCsv() const {
    std::string csv = "1;2;3;4;5;6;;total count;total microsecs;% hier.\n";
    std::vector<const ProfiledSection*> sections;
    forEachSection(m_root, 0, [&](const ProfiledSection& s, int depth) {
        sections.push_back(&s);
        csv.append(static_cast<size_t>(depth), ';');
        csv += s.name;
        csv.append(static_cast<size_t>(depth < 6 ? 6 - depth : 0), ';');
        double parentTotal = s.parent != nullptr ? s.parent->totalTime : s.totalTime;
        long long micro = static_cast<long long>(s.totalTime * 1000.0);
        long long percent =
            parentTotal > 0.0 ? static_cast<long long>(100.0 * s.totalTime / parentTotal) : 0;
        csv += ";" + std::to_string(s.totalCount) + ";" + std::to_string(micro) + ";" +
               std::to_string(percent) + ";\n";
    });
    csv += "\nframe;";
    for (const ProfiledSection* s : sections) {
        csv += s->name + ";";
    }
    csv += "\n";

    // The frame rows run from the first frame in which any section recorded
    // a positive time to the last recorded frame.
    bool any = false;
    int firstFrame = 0;
    int lastFrame = 0;
    for (const ProfiledSection* s : sections) {
        for (size_t i = 0; i < s->historyFrames.size(); ++i) {
            int frame = s->historyFrames[i];
            if (s->historyTimes[i] > 0.0 && (!any || frame < firstFrame)) {
                firstFrame = frame;
                if (!any) {
                    lastFrame = frame;
                }
                any = true;
            }
        }
    }
    if (!any) {
        return csv;
    }
    for (const ProfiledSection* s : sections) {
        if (!s->historyFrames.empty() && s->historyFrames.back() > lastFrame) {
            lastFrame = s->historyFrames.back();
        }
    }
    std::vector<size_t> cursor(sections.size(), 0);
    for (int frame = firstFrame; frame <= lastFrame; ++frame) {
        csv += std::to_string(frame);
        for (size_t k = 0; k < sections.size(); ++k) {
            const ProfiledSection* s = sections[k];
            size_t& i = cursor[k];
            while (i < s->historyFrames.size() && s->historyFrames[i] < frame) {
                ++i;
            }
            csv += ";";
            if (s->historyFrames.empty() || s->historyFrames.back() < frame) {
                continue;
            }
            double sum = 0.0;
            while (i < s->historyFrames.size() && s->historyFrames[i] == frame) {
                sum += s->historyTimes[i];
                ++i;
            }
            csv += std::to_string(static_cast<long long>(1000.0 * sum));
        }
        csv += "\n";
    }
    return csv;
}

void Profiler::saveCsv() const {
    auto file = FileSystem::openFile("profiler.csv", FileMode::Write);
    if (!file) {
        return;
    }
    std::string csv = buildCsv();
    file->write(csv.data(), static_cast<int>(csv.size()));
    file.reset();
    Log::get() << "Saved profile results to: "
               << "profiler.csv"
               << "\n";
}

std::string Profiler::buildTrace() const {
    std::string json = "{\"displayTimeUnit\":\"ms\",\"traceEvents\":[\n";
    json +=
        "{\"name\":\"thread_name\",\"ph\":\"M\",\"pid\":1,\"tid\":1,"
        "\"args\":{\"name\":\"frame loop\"}}";
    double first = m_trace.empty() ? 0.0 : m_trace.front().startMs;
    for (const TraceEvent& event : m_trace) {
        first = std::min(first, event.startMs);
    }
    char buffer[96];
    for (const TraceEvent& event : m_trace) {
        json += ",\n{\"name\":\"";
        // Section names are engine literals; quotes and backslashes are
        // escaped anyway so the file always parses.
        for (char c : event.section->name) {
            if (c == '"' || c == '\\') {
                json += '\\';
            }
            if (static_cast<unsigned char>(c) >= 0x20) {
                json += c;
            }
        }
        std::snprintf(buffer, sizeof(buffer),
                      "\",\"ph\":\"X\",\"pid\":1,\"tid\":1,\"ts\":%.1f,\"dur\":%.1f}",
                      (event.startMs - first) * 1000.0, event.durationMs * 1000.0);
        json += buffer;
    }
    json += "\n]}\n";
    return json;
}

void Profiler::finishTrace() {
    m_traceChangePending = false;
    if (!m_tracing) {
        return;
    }
    m_tracing = false;
    saveTrace();
    m_trace.clear();
    m_trace.shrink_to_fit();
}

void Profiler::saveTrace() const {
    const std::string path = m_traceFolder + "profiler_trace.json";
    auto file = FileSystem::openFile(path, FileMode::Write);
    if (!file) {
        Log::get() << "Error: Can't write " << path << "\n";
        return;
    }
    std::string json = buildTrace();
    file->write(json.data(), static_cast<int>(json.size()));
    file.reset();
    Log::get() << "Saved profile trace (" << std::to_string(m_trace.size())
               << " sections) to: " << path << "\n";
}

void Profiler::reset() {
    m_root.children.clear();
    m_root = ProfiledSection(kRootName, nullptr);
    m_current = nullptr;
    m_enabled = m_enableRequest = m_disableRequest = false;
    m_historyValue = m_historyChangePending = m_saveRequest = false;
    m_tracing = m_traceValue = m_traceChangePending = m_traceFull = false;
    m_trace.clear();
    m_treeText.clear();
    m_flatText.clear();
}
