// The file watcher over Linux inotify: one watch per folder, events matched
// to watched file names.

#include <limits.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <map>

#include "base/platform/FileWatcher.h"

namespace {

// Writes that complete (close after writing), renames into the folder and
// new names (hard links, files made whole at once).
constexpr uint32_t kEvents = IN_CLOSE_WRITE | IN_MOVED_TO | IN_CREATE;

class InotifyFileWatcher : public IFileWatcher {
public:
    explicit InotifyFileWatcher(int fd) : m_fd(fd) {}
    ~InotifyFileWatcher() override { close(m_fd); }

    bool watchFile(const std::string& path) override {
        const size_t slash = path.rfind('/');
        const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
        const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
        if (name.empty()) {
            return false;
        }
        // One spelling per folder: the same folder reached through "..",
        // "./" or links gives the same watch and the same key.
        char resolved[PATH_MAX];
        if (realpath(folder.c_str(), resolved) == nullptr) {
            return false;
        }
        const int wd = inotify_add_watch(m_fd, resolved, kEvents | IN_ONLYDIR);
        if (wd < 0) {
            return false;
        }
        auto& files = m_folders[wd].files;
        auto range = files.equal_range(name);
        for (auto it = range.first; it != range.second; ++it) {
            if (it->second == path) {
                return true;
            }
        }
        files.emplace(name, path);
        return true;
    }

    void poll(std::vector<std::string>& changed) override {
        alignas(inotify_event) char buffer[8192];
        for (;;) {
            const ssize_t length = read(m_fd, buffer, sizeof(buffer));
            if (length <= 0) {
                // EAGAIN: nothing (more) queued.
                return;
            }
            for (ssize_t at = 0; at < length;) {
                const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
                at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
                if (event->len == 0 || (event->mask & IN_ISDIR) != 0) {
                    continue;
                }
                auto folder = m_folders.find(event->wd);
                if (folder == m_folders.end()) {
                    continue;
                }
                auto range = folder->second.files.equal_range(event->name);
                for (auto it = range.first; it != range.second; ++it) {
                    // A new empty file is being written: its close-after-write
                    // follows and counts.
                    if ((event->mask & IN_CREATE) != 0 && isEmptyFile(it->second)) {
                        continue;
                    }
                    bool seen = false;
                    for (const std::string& path : changed) {
                        seen = seen || path == it->second;
                    }
                    if (!seen) {
                        changed.push_back(it->second);
                    }
                }
            }
        }
    }

private:
    struct Folder {
        // File name in the folder -> the paths it was watched under.
        std::multimap<std::string, std::string> files;
    };

    static bool isEmptyFile(const std::string& path) {
        struct stat status;
        return stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode) && status.st_size == 0;
    }

    int m_fd;
    std::map<int, Folder> m_folders;
};

}  // namespace

std::unique_ptr<IFileWatcher> createFileWatcher() {
    const int fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (fd < 0) {
        return nullptr;
    }
    return std::make_unique<InotifyFileWatcher>(fd);
}
