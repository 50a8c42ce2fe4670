#include "GameRunner.h"

#include <filesystem>

GameRunner::GameRunner(const std::string& gameXml) {
    m_executable = m_program / "game";
    testsupport::copyExecutable(GAME_EXECUTABLE, m_executable);
    if (!gameXml.empty()) {
        testsupport::writeFile(m_program / "game.xml", gameXml);
    }
    testsupport::writePhysicsConfig(m_program.path());
    // A startup script that ends the run as soon as the engine is up.
    testsupport::writeFile(m_program / "quit.lua", "function init() requestExit() end\n");
}

std::string GameRunner::defaultGameXml() {
    return "<game>\n"
           "  <development><controls>true</controls></development>\n"
           "  <logging><file filename=\"game.log\" enable=\"true\"/></logging>\n"
           "  <graphic><display><width>320</width><height>240</height></display></graphic>\n"
           "</game>\n";
}

void GameRunner::writeProgramFile(const std::string& relativePath,
                                  const std::string& contents) const {
    std::filesystem::path path = m_program.path() + relativePath;
    std::filesystem::create_directories(path.parent_path());
    testsupport::writeFile(path.string(), contents);
}

void GameRunner::writeSharedShaders() const {
    for (const char* file : {"shared/shader/shared.cg", "shared/shader/functions_vs.cg",
                             "shared/shader/functions_fs.cg", "shared/shader/shaderbuilder.cg"}) {
        writeProgramFile(file, testsupport::readFile(std::string(DATA_FOLDER "/") + file));
    }
}

testsupport::RunResult GameRunner::run(const std::vector<std::string>& args,
                                       std::map<std::string, std::string> env,
                                       int timeoutMs) const {
    std::vector<std::string> argv{m_executable};
    argv.insert(argv.end(), args.begin(), args.end());
    env.emplace("XDG_DATA_HOME", m_user.path());
    env.emplace("SDL_VIDEODRIVER", "offscreen");
    env.emplace("DISPLAY", "");
    return testsupport::runProgram(argv, m_program.path(), env, timeoutMs);
}
