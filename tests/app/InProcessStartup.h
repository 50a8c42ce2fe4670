#pragma once
// Start-up parameters of an engine that a test runs in its own process.

#include <string>

#include "app/Startup.h"

// The configuration and per-user folder the engine uses, and its startup
// script (none when empty).
inline StartupParameters inProcessStartup(XMLConfigFile& config, const std::string& userFolder,
                                          const std::string& startupScript = "main.lua") {
    StartupParameters params;
    params.config = &config;
    params.applicationName = kDefaultApplicationName;
    params.userProfileAppPath = userFolder;
    params.startupScript = startupScript;
    return params;
}
