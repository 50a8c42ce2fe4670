// Configuration XML: the file is opened by name through the file system (an
// in-memory loader here) and queried the way the engine reads game.xml.

#include <cstddef>
#include <cstdint>

#include "FuzzSupport.h"
#include "foundation/XMLConfigFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::ScopedMemoryFiles files("fuzz/", data, size);
    XMLConfigFile config("fuzz/game.xml", "FuzzConfig", false);
    if (!config.isLoaded()) {
        return 0;
    }
    static const char* const kPaths[] = {
        "game.graphic.display#width",
        "game.logging.file#filename",
        "game.logging.stderr#enable",
        "game",
        "a.b.c#d",
        "#",
        ".",
        "..#",
        "game..#x#y",
    };
    for (const char* path : kPaths) {
        config.getString(path);
        config.hasElement(path);
    }
    config.setString("game.graphic.display#width", "1024");
    config.setString("game.new.element#value", "1");
    config.getString("game.new.element#value");
    return 0;
}
