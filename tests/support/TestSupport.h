#pragma once
// Small helpers for tests: a temporary folder removed at the end of the test,
// whole-file reads and writes, and running a program with its output caught.

#include <map>
#include <string>
#include <vector>

namespace testsupport {

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    // The folder, ending in "/".
    const std::string& path() const { return m_path; }
    std::string operator/(const std::string& name) const { return m_path + name; }

private:
    std::string m_path;
};

void writeFile(const std::string& path, const std::string& contents);
// Path of a file checked in below tests/fixtures, e.g. "malformed/x.dds".
std::string fixturePath(const std::string& relative);
// Names of the files in a fixture folder (README files left out), sorted.
std::vector<std::string> fixtureFiles(const std::string& folder);
// Writes "physics.xml" with the engine's default settings into the folder
// (ending in "/"): every program folder the engine starts on needs one.
void writePhysicsConfig(const std::string& folder);
std::string readFile(const std::string& path);
bool fileExists(const std::string& path);
void makeDirs(const std::string& path);
// Copies a file keeping its permission bits (used to place a copy of a
// built program into a test folder).
void copyExecutable(const std::string& from, const std::string& to);

struct RunResult {
    int exitCode = -1;   // -1 when the program could not run or was killed
    std::string output;  // stdout and stderr together
    bool timedOut = false;
};

// Runs a program with the given arguments (argv[0] included) in `workDir`,
// with `env` entries added to (or, for an empty value, removed from) the
// environment. Stops it after `timeoutMs`.
RunResult runProgram(const std::vector<std::string>& argv, const std::string& workDir,
                     const std::map<std::string, std::string>& env, int timeoutMs = 60000);

}  // namespace testsupport
