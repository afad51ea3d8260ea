// vantrel-storegen: writes a generated store and its JSON manifest.
//
//   vantrel-storegen --out FILE [--kind dbx|mbx] [--seed N] [--messages N]
//                    [--damage NAME[:BYTES],...] [--size BYTES]
//                    [--manifest FILE] [--with-bytes]
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>

#include "storegen/storegen.h"

namespace {

int Usage() {
    std::fprintf(stderr,
                 "usage: vantrel-storegen --out FILE [--kind dbx|mbx] [--seed N] [--messages N]\n"
                 "                        [--damage NAME[:BYTES],...] [--size BYTES]\n"
                 "                        [--manifest FILE] [--with-bytes]\n"
                 "damage: back-to-front interleaved self-loop loop merged smashed-header freed\n"
                 "        cut-start:K cut:K insert:K garbage:K truncate (.dbx)\n"
                 "        mbx-truncate mbx-bad-length mbx-huge-length mbx-nested mbx-garbage:K (.mbx)\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    storegen::Options options;
    std::string out, manifestPath;
    bool withBytes = false;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc) { std::fprintf(stderr, "%s needs a value\n", a.c_str()); std::exit(Usage()); }
            return argv[++i];
        };
        if (a == "--out") out = value();
        else if (a == "--manifest") manifestPath = value();
        else if (a == "--with-bytes") withBytes = true;
        else if (a == "--seed") options.seed = std::strtoull(value().c_str(), nullptr, 0);
        else if (a == "--messages") options.messageCount = static_cast<uint32_t>(std::strtoul(value().c_str(), nullptr, 0));
        else if (a == "--size") options.targetSize = std::strtoull(value().c_str(), nullptr, 0);
        else if (a == "--kind") {
            std::string k = value();
            if (k == "dbx") options.kind = storegen::StoreKind::Dbx;
            else if (k == "mbx") options.kind = storegen::StoreKind::Mbx;
            else return Usage();
        } else if (a == "--damage") {
            std::string list = value();
            size_t start = 0;
            while (start <= list.size()) {
                size_t comma = list.find(',', start);
                std::string item = list.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
                start = comma == std::string::npos ? list.size() + 1 : comma + 1;
                if (item.empty()) continue;
                storegen::Damage d{};
                size_t colon = item.find(':');
                if (colon != std::string::npos) d.amount = static_cast<uint32_t>(std::strtoul(item.c_str() + colon + 1, nullptr, 0));
                if (!storegen::RecipeFromName(item.substr(0, colon), d.recipe)) {
                    std::fprintf(stderr, "unknown damage '%s'\n", item.c_str());
                    return Usage();
                }
                options.damages.push_back(d);
            }
        } else {
            return Usage();
        }
    }
    if (out.empty()) return Usage();
    try {
        storegen::Manifest manifest;
        if (withBytes) {
            storegen::Store store = storegen::Generate(options);
            FILE* f = std::fopen(out.c_str(), "wb");
            if (!f || std::fwrite(store.bytes.data(), 1, store.bytes.size(), f) != store.bytes.size() ||
                std::fclose(f) != 0) {
                std::fprintf(stderr, "cannot write %s\n", out.c_str());
                return 1;
            }
            manifest = std::move(store.manifest);
        } else {
            manifest = storegen::GenerateToFile(options, out);
        }
        if (!manifestPath.empty()) {
            FILE* f = std::fopen(manifestPath.c_str(), "wb");
            std::string json = manifest.ToJson(withBytes);
            if (!f || std::fwrite(json.data(), 1, json.size(), f) != json.size() || std::fclose(f) != 0) {
                std::fprintf(stderr, "cannot write %s\n", manifestPath.c_str());
                return 1;
            }
        }
        std::printf("%s: %llu bytes, %zu messages stored, %zu to recover\n", out.c_str(),
                    static_cast<unsigned long long>(manifest.fileSize), manifest.messages.size(),
                    manifest.recoveries.size());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "vantrel-storegen: %s\n", e.what());
        return 1;
    }
    return 0;
}
