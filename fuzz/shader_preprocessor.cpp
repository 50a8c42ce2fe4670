// The shader preprocessor over the input as the main file, with the engine's
// syntaxes and a few defines; every include, whatever its name, reads the
// input again through the file system, so nesting and its limits are
// reached.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "FuzzSupport.h"
#include "shaderlang/preprocessor/Preprocessor.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::ScopedMemoryFiles files("shared/", data, size);
    PreprocessorOptions options;
    options.fileName = "shared/shader/fuzz.cg";
    options.defines = {{"NUM_BONES", "40"}, {"MAX(a, b)", "((a) > (b) ? (a) : (b))"}};
    options.warnings = true;
    std::string output;
    preprocessText(std::string_view(reinterpret_cast<const char*>(data), size), options, output);
    return 0;
}
