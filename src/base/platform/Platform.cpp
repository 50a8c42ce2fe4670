#include "base/platform/Platform.h"

#include <SDL.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <vector>

namespace platform {

std::string getExecutablePath() {
    std::vector<char> buffer(256);
    for (;;) {
        ssize_t n = readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (n < 0) {
            return std::string();
        }
        if (static_cast<size_t>(n) < buffer.size()) {
            return std::string(buffer.data(), static_cast<size_t>(n));
        }
        buffer.resize(buffer.size() * 2);
    }
}

std::string folderOfPath(const std::string& path) {
    std::string result = path;
    for (char& c : result) {
        if (c == '\\') {
            c = '/';
        }
    }
    size_t slash = result.rfind('/');
    if (slash == std::string::npos) {
        return std::string();
    }
    return result.substr(0, slash + 1);
}

std::string getUserDataFolder() {
    auto withoutTrailingSlashes = [](std::string path) {
        while (path.size() > 1 && path.back() == '/') {
            path.pop_back();
        }
        return path;
    };
    // Only absolute values are usable: a relative one would move with the
    // working folder.
    const char* xdg = std::getenv("XDG_DATA_HOME");
    if (xdg != nullptr && xdg[0] == '/') {
        return withoutTrailingSlashes(xdg);
    }
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] == '/') {
        return withoutTrailingSlashes(home) + "/.local/share";
    }
    return std::string();
}

bool isPlainFile(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

int64_t getFileSize(const std::string& path) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        return -1;
    }
    return static_cast<int64_t>(st.st_size);
}

bool isFolder(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

CreateFolderResult createFolder(const std::string& path) {
    if (mkdir(path.c_str(), 0777) == 0) {
        return CreateFolderResult::Created;
    }
    switch (errno) {
        case EEXIST:
            return CreateFolderResult::AlreadyExists;
        case ENOENT:
            return CreateFolderResult::MissingParent;
        default:
            return CreateFolderResult::Failed;
    }
}

bool createFolderPath(const std::string& path) {
    if (path.empty()) {
        return false;
    }
    for (size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
        const std::string prefix = path.substr(0, slash);
        if (!isFolder(prefix) && mkdir(prefix.c_str(), 0700) != 0 && errno != EEXIST) {
            return false;
        }
        if (slash == std::string::npos) {
            break;
        }
    }
    return isFolder(path);
}

bool copyFile(const std::string& from, const std::string& to, bool overwrite) {
    int in = open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) {
        return false;
    }
    struct stat st;
    if (fstat(in, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(in);
        return false;
    }
    // Copying a file onto itself would truncate it before reading a byte.
    struct stat target;
    if (stat(to.c_str(), &target) == 0 && target.st_dev == st.st_dev &&
        target.st_ino == st.st_ino) {
        close(in);
        return false;
    }
    int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (overwrite ? O_TRUNC : O_EXCL);
    int out = open(to.c_str(), flags, 0666);
    if (out < 0) {
        close(in);
        return false;
    }
    bool ok = true;
    char buffer[65536];
    for (;;) {
        ssize_t n = read(in, buffer, sizeof(buffer));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            ok = n == 0;
            break;
        }
        ssize_t done = 0;
        while (done < n) {
            ssize_t w = write(out, buffer + done, static_cast<size_t>(n - done));
            if (w < 0 && errno == EINTR) {
                continue;
            }
            if (w <= 0) {
                ok = false;
                break;
            }
            done += w;
        }
        if (!ok) {
            break;
        }
    }
    close(in);
    if (close(out) != 0) {
        ok = false;
    }
    return ok;
}

int64_t getLastWriteTime(const std::string& path) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0) {
        return 0;
    }
    // Seconds between 1601-01-01 and 1970-01-01.
    constexpr int64_t kEpochDelta = 11644473600LL;
    return (static_cast<int64_t>(st.st_mtim.tv_sec) + kEpochDelta) * 10000000LL +
           st.st_mtim.tv_nsec / 100;
}

void showErrorMessageBox(const std::string& title, const std::string& text) {
    if (SDL_WasInit(SDL_INIT_VIDEO) != 0) {
        SDL_ShowCursor(SDL_ENABLE);
    }
    std::fprintf(stderr, "%s\n%s\n", title.c_str(), text.c_str());
    std::fflush(stderr);
    // Automated runs (offscreen or dummy video) and machines without a
    // display get the text on stderr only; a box nobody can close would hang.
    const char* driver = std::getenv("SDL_VIDEODRIVER");
    if (driver != nullptr &&
        (SDL_strcasecmp(driver, "offscreen") == 0 || SDL_strcasecmp(driver, "dummy") == 0)) {
        return;
    }
    const char* display = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    if ((display == nullptr || display[0] == '\0') && (wayland == nullptr || wayland[0] == '\0')) {
        return;
    }
    SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, title.c_str(), text.c_str(), nullptr);
}

double getTimeMs() {
    using namespace std::chrono;
    return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

void sleepMs(unsigned milliseconds) {
    struct timespec req;
    req.tv_sec = milliseconds / 1000;
    req.tv_nsec = static_cast<long>(milliseconds % 1000) * 1000000L;
    while (nanosleep(&req, &req) != 0 && errno == EINTR) {
    }
}

}  // namespace platform
