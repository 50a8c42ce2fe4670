// Runs a harness over every file of the folders (or single files) given on
// the command line, the way the fuzzer would run one input, so the seed and
// regression corpora replay in the normal build without the fuzzer. Exit
// status 0 when every input was run; a crash ends the program as it would
// end the fuzzer. With ENGINE_LOG_STDERR=1 the engine's log goes to standard
// error, each input's lines after its name.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

#include "foundation/Log.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

bool runFile(const std::filesystem::path& path, bool verbose) {
    std::ifstream stream(path, std::ios::binary);
    if (!stream) {
        std::fprintf(stderr, "cannot read %s\n", path.c_str());
        return false;
    }
    const std::vector<char> bytes((std::istreambuf_iterator<char>(stream)),
                                  std::istreambuf_iterator<char>());
    // A copy of exactly the input's size, so a read past its end is caught by
    // the address checker as it is under the fuzzer.
    std::vector<uint8_t> input(bytes.begin(), bytes.end());
    if (verbose) {
        std::fprintf(stderr, "--- %s\n", path.c_str());
    }
    LLVMFuzzerTestOneInput(input.empty() ? nullptr : input.data(), input.size());
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::filesystem::path> files;
    for (int i = 1; i < argc; ++i) {
        const std::filesystem::path argument(argv[i]);
        std::error_code error;
        if (std::filesystem::is_directory(argument, error)) {
            for (const auto& entry : std::filesystem::directory_iterator(argument, error)) {
                if (entry.is_regular_file() && entry.path().filename().string()[0] != '.') {
                    files.push_back(entry.path());
                }
            }
        } else if (std::filesystem::is_regular_file(argument, error)) {
            files.push_back(argument);
        } else {
            std::fprintf(stderr, "no such file or folder: %s\n", argv[i]);
            return 1;
        }
    }
    std::sort(files.begin(), files.end());
    const char* logToStderr = std::getenv("ENGINE_LOG_STDERR");
    const bool verbose = logToStderr != nullptr && std::strcmp(logToStderr, "1") == 0;
    StderrLogSink sink;
    if (verbose) {
        Log::get().addSink(&sink);
    }
    for (const auto& file : files) {
        if (!runFile(file, verbose)) {
            return 1;
        }
    }
    if (verbose) {
        Log::get().removeSink(&sink);
    }
    std::printf("%zu inputs run\n", files.size());
    return files.empty() ? 1 : 0;
}
