#include "app/Startup.h"

#include <memory>

#include "app/EngineApplication.h"
#include "base/platform/Platform.h"
#include "foundation/File.h"
#include "foundation/Md5.h"
#include "foundation/XMLConfigFile.h"

namespace {

const char* const kUsageText =
    "Usage:\n"
    "-script startup script (mandatory)\n"
    "-name application name\n"
    "-base base file relocation path\n"
    "-key file archive key\n";

}  // namespace

std::optional<std::string> findOption(const std::vector<std::string>& args,
                                      const std::string& option) {
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == option) {
            if (i + 1 < args.size()) {
                return args[i + 1];
            }
            return std::nullopt;
        }
    }
    return std::nullopt;
}

std::string deriveArchiveKey(const std::string& keyText) {
    auto digest = md5Digest(keyText.data(), keyText.size());
    std::string key(16, '\0');
    for (int i = 0; i < 16; ++i) {
        int b = digest[static_cast<size_t>(i)];
        if (b > 122) {
            b = 122 - i;
        } else if (b < 48) {
            b = 48 + i;
        }
        key[static_cast<size_t>(i)] = static_cast<char>(b);
    }
    return key;
}

std::string userProfileAppPathFor(const std::string& applicationName) {
    std::string base = platform::getUserDataFolder();
    // A fresh account may not have its data folder yet; the per-user
    // application folder below it is created one level deep by start-up.
    // When that fails, copying the configuration reports it.
    if (base.empty()) {
        return std::string();
    }
    platform::createFolderPath(base);
    return base + "/" + applicationName + "/";
}

int gameMain(int argc, char** argv) {
    std::vector<std::string> args(argv, argv + argc);
    if (args.size() < 3) {
        platform::showErrorMessageBox(kDefaultApplicationName, kUsageText);
        return 0;
    }

    StartupParameters params;
    for (size_t i = 0; i < args.size(); ++i) {
        if (i > 0) {
            params.commandLine += ' ';
        }
        params.commandLine += args[i];
    }
    params.appBasePath = platform::folderOfPath(platform::getExecutablePath());

    if (auto base = findOption(args, "-base")) {
        FileSystem::addFileLoader(std::make_unique<NativeFileLoader>(*base + "/", 20));
    }
    FileSystem::addFileLoader(std::make_unique<NativeFileLoader>(params.appBasePath, 10));

    params.applicationName = findOption(args, "-name").value_or(kDefaultApplicationName);
    params.userProfileAppPath = userProfileAppPathFor(params.applicationName);

    const std::string templatePath = params.appBasePath + "game.xml";
    const std::string userPath = params.userProfileAppPath + "game.xml";
    if (!platform::isPlainFile(userPath)) {
        bool copied = false;
        auto created = params.userProfileAppPath.empty()
                           ? platform::CreateFolderResult::AlreadyExists
                           : platform::createFolder(params.userProfileAppPath);
        if (created != platform::CreateFolderResult::MissingParent) {
            copied = platform::copyFile(templatePath, userPath, true);
        }
        if (!copied) {
            platform::showErrorMessageBox(
                params.applicationName,
                "Can't copy xml config file: " + templatePath + " to " + userPath);
            return 1;
        }
    }

    auto config = std::make_unique<XMLConfigFile>(userPath, "ConfigFile", false);
    if (!config->isLoaded()) {
        platform::showErrorMessageBox(params.applicationName,
                                      "Can't load xml config file: " + userPath + "\n");
        return 1;
    }
    params.config = config.get();

    auto script = findOption(args, "-script");
    if (!script) {
        platform::showErrorMessageBox(params.applicationName,
                                      "Missing mandatory command line option:\n-script startup "
                                      "script\n");
        return 1;
    }
    params.startupScript = *script;

    if (auto key = findOption(args, "-key")) {
        params.archiveKey = deriveArchiveKey(*key);
    }

    int exitCode = 0;
    {
        auto application = std::make_unique<EngineApplication>(params);
        exitCode = application->getStartupExitCode();
        if (exitCode == 0) {
            application->run();
        }
    }
    config.reset();
    return exitCode;
}
