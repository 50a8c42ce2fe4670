#pragma once
// The launcher: starts the game with the command line stored in an XML file
// that lies beside the launcher and carries its base name.

#include <string>

namespace launcher {

// The longest command line passed on; longer ones are cut.
constexpr size_t kMaxCommandLineLength = 2599;

// The launcher's name without folder and without its last extension
// ("/games/MyGame.bin" gives "MyGame", "/games/startup" gives "startup").
std::string baseName(const std::string& executablePath);

// Folder of the launcher + base name + ".xml".
std::string configPath(const std::string& executablePath);

// Runs the launcher for the program at that path; returns the exit code.
int run(const std::string& executablePath);

}  // namespace launcher
