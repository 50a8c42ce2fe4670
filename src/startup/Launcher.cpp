#include "startup/Launcher.h"

#include <algorithm>
#include <memory>

#include "base/platform/Platform.h"
#include "base/platform/Process.h"
#include "foundation/File.h"
#include "foundation/XMLConfigFile.h"

namespace launcher {

std::string baseName(const std::string& executablePath) {
    std::string path = executablePath;
    std::replace(path.begin(), path.end(), '\\', '/');
    size_t slash = path.rfind('/');
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    // Only a dot within the file name starts an extension; programs usually
    // have none here.
    size_t dot = name.rfind('.');
    return dot == std::string::npos ? name : name.substr(0, dot);
}

std::string configPath(const std::string& executablePath) {
    return platform::folderOfPath(executablePath) + baseName(executablePath) + ".xml";
}

int run(const std::string& executablePath) {
    // Paths are opened unchanged: absolute, or relative to the working folder.
    FileSystem::addFileLoader(std::make_unique<NativeFileLoader>("", -1));
    std::string title = baseName(executablePath);
    std::string xmlPath = configPath(executablePath);
    XMLConfigFile config(xmlPath, title, true);
    if (!config.isLoaded()) {
        platform::showErrorMessageBox(title, "Can't load xml file: " + xmlPath + "\n");
        return 1;
    }
    const char* commandLine = config.getString("startup.cmdline");
    if (commandLine == nullptr) {
        return 0;
    }
    std::string command(commandLine);
    if (command.size() > kMaxCommandLineLength) {
        command.resize(kMaxCommandLineLength);
    }
    int process = platform::startProcess(command);
    if (process < 0) {
        platform::showErrorMessageBox(title, "Failed to start application\n");
        return 1;
    }
    // The game normally keeps running; this only gives it time to come up.
    platform::waitForProcess(process, 5000);
    return 0;
}

}  // namespace launcher
