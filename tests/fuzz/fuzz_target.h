// Shared declarations of the fuzz targets. Each target source defines
// LLVMFuzzerTestOneInput (the libFuzzer entry) and FuzzSeeds (its seed
// inputs, made by our own code), and checks its invariants with FUZZ_CHECK.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>
#include <unistd.h>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

// Seed inputs of the target.
std::vector<std::string> FuzzSeeds();

// An invariant that does not hold is a finding: say which and abort, so
// that libFuzzer keeps the input and the replay program fails.
#define FUZZ_CHECK(condition, what)                                                       \
    do {                                                                                  \
        if (!(condition)) {                                                               \
            std::fprintf(stderr, "invariant failed at %s:%d: %s (%s)\n", __FILE__, __LINE__, \
                         #condition, std::string(what).c_str());                          \
            std::abort();                                                                 \
        }                                                                                 \
    } while (0)

// A folder of the process's own under the temporary directory it started
// with, for targets that write files. Removed when the program ends normally
// (libFuzzer ends by exit).
inline const std::filesystem::path& FuzzWorkFolder() {
    static const std::filesystem::path base = [] {
        std::string pattern = (std::filesystem::temp_directory_path() / "vantrel-fuzz-XXXXXX").string();
        if (!::mkdtemp(pattern.data())) std::abort();
        // The name is kept in plain storage that outlives the path object.
        static char name[4096];
        std::snprintf(name, sizeof name, "%s", pattern.c_str());
        std::atexit([] {
            std::error_code ec;
            std::filesystem::remove_all(name, ec);
        });
        return std::filesystem::path(pattern);
    }();
    return base;
}
