#include "TestSupport.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

extern char** environ;

namespace testsupport {

std::string fixturePath(const std::string& relative) {
    return std::string(ENGINE_TEST_FIXTURES) + "/" + relative;
}

std::vector<std::string> fixtureFiles(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(fixturePath(folder))) {
        std::string name = entry.path().filename().string();
        if (entry.is_regular_file() && name != "README.md") {
            names.push_back(name);
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

TempDir::TempDir() {
    std::string base = std::filesystem::temp_directory_path().string() + "/enginetest.XXXXXX";
    std::vector<char> buffer(base.begin(), base.end());
    buffer.push_back('\0');
    if (mkdtemp(buffer.data()) == nullptr) {
        throw std::runtime_error("mkdtemp failed");
    }
    m_path = std::string(buffer.data()) + "/";
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::permissions(m_path, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(m_path, ec);
}

void writePhysicsConfig(const std::string& folder) {
    writeFile(folder + "physics.xml",
              "<physics><gravity>0 -9.81 0</gravity><simulation><timestep>0.016666668"
              "</timestep><maxiter>2</maxiter></simulation></physics>\n");
}

void writeFile(const std::string& path, const std::string& contents) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << contents;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

bool fileExists(const std::string& path) {
    return std::filesystem::exists(path);
}

void makeDirs(const std::string& path) {
    std::filesystem::create_directories(path);
}

void copyExecutable(const std::string& from, const std::string& to) {
    std::filesystem::copy_file(from, to, std::filesystem::copy_options::overwrite_existing);
    std::filesystem::permissions(to, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add);
}

RunResult runProgram(const std::vector<std::string>& argv, const std::string& workDir,
                     const std::map<std::string, std::string>& env, int timeoutMs) {
    RunResult result;
    int pipeFds[2];
    if (pipe(pipeFds) != 0) {
        return result;
    }
    pid_t pid = fork();
    if (pid < 0) {
        close(pipeFds[0]);
        close(pipeFds[1]);
        return result;
    }
    if (pid == 0) {
        dup2(pipeFds[1], 1);
        dup2(pipeFds[1], 2);
        close(pipeFds[0]);
        close(pipeFds[1]);
        int devNull = open("/dev/null", O_RDONLY);
        if (devNull >= 0) {
            dup2(devNull, 0);
        }
        if (!workDir.empty() && chdir(workDir.c_str()) != 0) {
            _exit(126);
        }
        for (const auto& [key, value] : env) {
            if (value.empty()) {
                unsetenv(key.c_str());
            } else {
                setenv(key.c_str(), value.c_str(), 1);
            }
        }
        std::vector<char*> args;
        for (const auto& a : argv) {
            args.push_back(const_cast<char*>(a.c_str()));
        }
        args.push_back(nullptr);
        execv(args[0], args.data());
        _exit(127);
    }
    close(pipeFds[1]);
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    char buffer[4096];
    for (;;) {
        auto now = std::chrono::steady_clock::now();
        if (now >= deadline) {
            kill(pid, SIGKILL);
            result.timedOut = true;
            break;
        }
        int wait = static_cast<int>(
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now).count());
        struct pollfd pfd = {pipeFds[0], POLLIN, 0};
        int ready = poll(&pfd, 1, wait);
        if (ready > 0) {
            ssize_t n = read(pipeFds[0], buffer, sizeof(buffer));
            if (n <= 0) {
                break;
            }
            result.output.append(buffer, static_cast<size_t>(n));
        }
    }
    close(pipeFds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    if (!result.timedOut && WIFEXITED(status)) {
        result.exitCode = WEXITSTATUS(status);
    }
    return result;
}

}  // namespace testsupport
