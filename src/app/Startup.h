#pragma once
// The program entry of `game`: command line, application name and folders,
// the per-user configuration copy, the archive key.

#include <optional>
#include <string>
#include <vector>

class XMLConfigFile;

constexpr const char* kDefaultApplicationName = "VORLAN Engine 0.3.9";

struct StartupParameters {
    XMLConfigFile* config = nullptr;  // owned by main, outlives the application
    std::string applicationName;
    std::string appBasePath;
    std::string userProfileAppPath;
    std::optional<std::string> archiveKey;
    std::string commandLine;
    std::string startupScript;
};

// The value after the first argument equal to `option`; none when the option
// is missing or stands last.
std::optional<std::string> findOption(const std::vector<std::string>& args,
                                      const std::string& option);

// The 16-character archive password derived from the "-key" text.
std::string deriveArchiveKey(const std::string& keyText);

// Per-user folder of an application: user data folder + "/" + name + "/";
// empty when the user data folder is unknown.
std::string userProfileAppPathFor(const std::string& applicationName);

// main of `game`; returns the exit code.
int gameMain(int argc, char** argv);
