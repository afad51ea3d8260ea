// Replay program of a fuzz target: runs inputs through LLVMFuzzerTestOneInput
// without libFuzzer, so ordinary (and sanitizer) builds check the target's
// invariants on a corpus.
//
//   NAME_replay                      the target's own seeds, each also cut
//                                    short and with bytes flipped
//   NAME_replay FILE|DIR...          every file given or inside a folder given
//   NAME_replay --write-seeds DIR    writes the seeds as files (a corpus)
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "fuzz_target.h"

namespace fs = std::filesystem;

namespace {

void Run(const std::string& input) {
    LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(input.data()), input.size());
}

// Cheap variants of a seed that reach the damaged-input paths: cut at a few
// points, and with every 97th byte inverted.
void RunWithVariants(const std::string& seed) {
    Run(seed);
    for (size_t cut : {seed.size() / 2, seed.size() * 7 / 8, seed.size() > 17 ? seed.size() - 17 : 0})
        Run(seed.substr(0, cut));
    std::string flipped = seed;
    for (size_t i = 13; i < flipped.size(); i += 97) flipped[i] = static_cast<char>(~flipped[i]);
    Run(flipped);
}

std::string ReadWhole(const fs::path& path) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    std::string bytes(static_cast<size_t>(std::max<std::streamoff>(in.tellg(), 0)), '\0');
    in.seekg(0);
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return bytes;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--write-seeds") == 0) {
        fs::create_directories(argv[2]);
        const std::vector<std::string> seeds = FuzzSeeds();
        for (size_t i = 0; i < seeds.size(); ++i) {
            std::ofstream out(fs::path(argv[2]) / ("seed-" + std::to_string(i)), std::ios::binary);
            out.write(seeds[i].data(), static_cast<std::streamsize>(seeds[i].size()));
        }
        std::printf("%zu seeds written to %s\n", seeds.size(), argv[2]);
        return 0;
    }
    size_t runs = 0;
    if (argc == 1) {
        for (const std::string& seed : FuzzSeeds()) {
            RunWithVariants(seed);
            ++runs;
        }
    }
    for (int i = 1; i < argc; ++i) {
        const fs::path path = argv[i];
        if (fs::is_directory(path)) {
            for (const auto& entry : fs::recursive_directory_iterator(path)) {
                if (!entry.is_regular_file()) continue;
                Run(ReadWhole(entry.path()));
                ++runs;
            }
        } else {
            Run(ReadWhole(path));
            ++runs;
        }
    }
    std::printf("%zu inputs replayed, every invariant held\n", runs);
    return 0;
}
