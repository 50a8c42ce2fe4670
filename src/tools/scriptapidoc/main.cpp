// scriptapidoc FOLDER [FOUNDATION_SCRIPT...]: writes the script API
// reference of this build (the Lua annotation file, the Markdown reference
// and the luacheck configuration) into the folder. The globals that the
// foundation scripts define are declared in the luacheck configuration.
// What the declarations leave undocumented is listed on stderr.

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

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

bool readText(const char* path, std::string& text) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        return false;
    }
    std::ostringstream contents;
    contents << file.rdbuf();
    text = contents.str();
    return !file.bad();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: scriptapidoc FOLDER [FOUNDATION_SCRIPT...]\n");
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
    std::vector<std::string> foundationGlobals;
    for (int i = 2; i < argc; ++i) {
        std::string text;
        if (!readText(argv[i], text)) {
            std::fprintf(stderr, "scriptapidoc: cannot read %s\n", argv[i]);
            return 1;
        }
        for (const std::string& name : findTopLevelGlobals(text)) {
            foundationGlobals.push_back(name);
        }
    }
    for (const std::string& gap : findReferenceGaps(api)) {
        std::fprintf(stderr, "scriptapidoc: undocumented: %s\n", gap.c_str());
    }
    const bool ok =
        writeText(folder + kLuaAnnotationsFile, writeLuaAnnotations(api)) &&
        writeText(folder + kMarkdownReferenceFile, writeMarkdownReference(api)) &&
        writeText(folder + kLuacheckConfigFile, writeLuacheckConfig(api, foundationGlobals));
    return ok ? 0 : 1;
}
