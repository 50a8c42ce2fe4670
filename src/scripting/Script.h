#pragma once
// Script: the resource form of a script file (resource type 3). Activating it
// runs the file once through the script system; a later request for the same
// name does not run it again until it was deactivated or reloaded.

#include <string>

#include "foundation/Resource.h"

class Script : public Resource {
public:
    explicit Script(const std::string& name);

    const char* getClassName() const override { return "Script"; }

    // Marks the script loaded; the file is read when it is activated.
    bool load() override;
    // When not yet active: reads the file through the file system and runs
    // it with its name as chunk name. A script error does not fail it; a
    // file that cannot be read does.
    bool activate() override;
    void deactivate() override;
    void unload() override;
    // Runs the changed file again in the same script state: the functions
    // and values it defines replace the old ones, everything else is kept.
    // A file that does not compile or run keeps every previous definition
    // (the error is logged with its line).
    bool reloadFromFile() override;
};

// The script function "source": loads the file as a Script resource, which
// runs it once; the first load of a file is held until the process ends.
void sourceScript(const char* fileName);
