#include "base/platform/Process.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>

#include "base/platform/Platform.h"

extern char** environ;

namespace platform {

std::vector<std::string> splitCommandLine(const std::string& commandLine) {
    std::vector<std::string> words;
    std::string word;
    for (char c : commandLine) {
        if (c == ' ' || c == '\t' || c == '\n') {
            if (!word.empty()) {
                words.push_back(std::move(word));
                word.clear();
            }
        } else {
            word += c;
        }
    }
    if (!word.empty()) {
        words.push_back(std::move(word));
    }
    return words;
}

int startProcess(const std::string& commandLine) {
    std::vector<std::string> words = splitCommandLine(commandLine);
    if (words.empty()) {
        return -1;
    }
    std::vector<char*> argv;
    argv.reserve(words.size() + 1);
    for (std::string& word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);

    // The new program starts with default signal handling and an empty
    // signal mask, whatever this process changed.
    posix_spawnattr_t attributes;
    if (posix_spawnattr_init(&attributes) != 0) {
        return -1;
    }
    sigset_t noSignals;
    sigset_t allSignals;
    sigemptyset(&noSignals);
    sigfillset(&allSignals);
    posix_spawnattr_setsigmask(&attributes, &noSignals);
    posix_spawnattr_setsigdefault(&attributes, &allSignals);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    pid_t pid = -1;
    int error = posix_spawnp(&pid, argv[0], nullptr, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    return error == 0 ? static_cast<int>(pid) : -1;
}

bool waitForProcess(int processId, unsigned timeoutMs) {
    if (processId <= 0) {
        return false;
    }
    double deadline = getTimeMs() + timeoutMs;
    for (;;) {
        int status = 0;
        pid_t result = waitpid(static_cast<pid_t>(processId), &status, WNOHANG);
        if (result == processId) {
            return true;
        }
        if (result < 0 && errno != EINTR) {
            return false;
        }
        double left = deadline - getTimeMs();
        if (left <= 0) {
            return false;
        }
        sleepMs(left < 5 ? static_cast<unsigned>(left) + 1 : 5u);
    }
}

}  // namespace platform
