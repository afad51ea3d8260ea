// Shared declarations of the fuzz targets. Each target source defines
// LLVMFuzzerTestOneInput (the libFuzzer entry) and FuzzSeeds (its seed
// inputs, made by our own code), and checks its invariants with FUZZ_CHECK.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
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
