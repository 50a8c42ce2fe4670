// Runs a harness over every file of the folders (or single files) given on
// the command line, the way the fuzzer would run one input, so the seed,
// corpus and regression inputs replay in the normal build without the
// fuzzer. Exit status 0 when every input was run; a crash ends the program as
// it would end the fuzzer. With ENGINE_LOG_STDERR=1 the engine's log goes to
// standard error, each input's lines after its name.
//
// "-malloc_limit_mb=N" (as the fuzzer spells it) ends the program when one
// allocation asks for more than N MiB, the way the fuzzer reports it: an
// input must not make a parser reserve memory its bytes do not back. Every
// C++ allocation is checked; in a sanitizer build every malloc too.

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

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define FUZZ_REPLAY_ASAN 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define FUZZ_REPLAY_ASAN 1
#endif

#if defined(FUZZ_REPLAY_ASAN)
#include <sanitizer/allocator_interface.h>
#include <sanitizer/common_interface_defs.h>
#else
#include <new>
#endif

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

// 0: no limit.
size_t g_mallocLimit = 0;

[[noreturn]] void overLimit(size_t size) {
    std::fprintf(stderr,
                 "==replay== ERROR: out-of-memory (malloc(%zu)): over the limit of %zu MiB\n", size,
                 g_mallocLimit >> 20);
#if defined(FUZZ_REPLAY_ASAN)
    __sanitizer_print_stack_trace();
#endif
    std::abort();
}

#if defined(FUZZ_REPLAY_ASAN)
// The sanitizer's allocator calls this after every allocation.
void mallocHook(const volatile void*, size_t size) {
    if (g_mallocLimit != 0 && size > g_mallocLimit) {
        overLimit(size);
    }
}
#endif

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

#if !defined(FUZZ_REPLAY_ASAN)
// Every other form of new (arrays, no-throw) comes here in the C++ runtime.
void* operator new(std::size_t size) {
    if (g_mallocLimit != 0 && size > g_mallocLimit) {
        overLimit(size);
    }
    if (void* memory = std::malloc(size == 0 ? 1 : size)) {
        return memory;
    }
    throw std::bad_alloc();
}

void operator delete(void* memory) noexcept {
    std::free(memory);
}

void operator delete(void* memory, std::size_t) noexcept {
    std::free(memory);
}
#endif

int main(int argc, char** argv) {
    std::vector<std::filesystem::path> files;
    const char kLimitFlag[] = "-malloc_limit_mb=";
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], kLimitFlag, sizeof(kLimitFlag) - 1) == 0) {
            g_mallocLimit = std::strtoull(argv[i] + sizeof(kLimitFlag) - 1, nullptr, 10) << 20;
            continue;
        }
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
#if defined(FUZZ_REPLAY_ASAN)
    __sanitizer_install_malloc_and_free_hooks(mallocHook, nullptr);
#endif
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
