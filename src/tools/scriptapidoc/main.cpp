// scriptapidoc FOLDER: writes the script API reference of this build (the
// Lua annotation file and the Markdown reference) into the folder.

#include <cstdio>
#include <string>

#include "ScriptApiReference.h"
#include "app/AppScriptApi.h"
#include "base/platform/Platform.h"
#include "scripting/ScriptApi.h"

namespace {

bool writeText(const std::string& path, const std::string& text) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        std::fprintf(stderr, "scriptapidoc: cannot write %s\n", path.c_str());
        return false;
    }
    const bool ok = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    return std::fclose(file) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: scriptapidoc FOLDER\n");
        return 2;
    }
    std::string folder = argv[1];
    if (folder.back() != '/') {
        folder += '/';
    }
    platform::createFolderPath(folder);
    ScriptApi api;
    buildScriptApi(api);
    addApplicationScriptApi(api);
    const bool ok = writeText(folder + kLuaAnnotationsFile, writeLuaAnnotations(api)) &&
                    writeText(folder + kMarkdownReferenceFile, writeMarkdownReference(api));
    return ok ? 0 : 1;
}
