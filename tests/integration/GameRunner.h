#pragma once
// A copy of `game` in a program folder of its own, started with a private
// per-user folder, so that each test sees a first start.

#include <map>
#include <string>
#include <vector>

#include "TestSupport.h"

class GameRunner {
public:
    // Puts a copy of the program, `gameXml` (the template) and "quit.lua" (a
    // startup script that quits at once) into a fresh program folder; an
    // empty template text leaves the template out.
    explicit GameRunner(const std::string& gameXml = defaultGameXml());

    static std::string defaultGameXml();

    const std::string& programFolder() const { return m_program.path(); }
    std::string userDataFolder() const { return m_user.path(); }
    // Per-user folder of an application name.
    std::string userFolder(const std::string& name = "VORLAN Engine 0.3.9") const {
        return m_user.path() + name + "/";
    }
    void writeProgramFile(const std::string& relativePath, const std::string& contents) const;
    // Copies the shared shader sources of the sample data into the program
    // folder, for runs that draw a scene.
    void writeSharedShaders() const;

    // Runs the program with the arguments after the program path.
    testsupport::RunResult run(const std::vector<std::string>& args,
                               std::map<std::string, std::string> env = {},
                               int timeoutMs = 60000) const;

private:
    testsupport::TempDir m_program;
    testsupport::TempDir m_user;
    std::string m_executable;
};
