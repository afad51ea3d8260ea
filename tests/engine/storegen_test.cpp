// The store generator is deterministic, and its streaming path writes the
// same bytes as its in-memory path (benchmarks rely on the one, tests on the
// other).
#include <gtest/gtest.h>

#include "storegen/storegen.h"
#include "temp_dir.h"

using namespace vantrel::test;

namespace {

TEST(StoreGenerator, DeterministicAndStreamsTheSameBytes) {
    using R = storegen::Recipe;
    TempDir dir;
    for (storegen::StoreKind kind : {storegen::StoreKind::Dbx, storegen::StoreKind::Mbx}) {
        storegen::Options options;
        options.kind = kind;
        options.seed = 9;
        options.messageCount = 12;
        options.targetSize = 900000;
        options.damages = kind == storegen::StoreKind::Dbx
                              ? std::vector<storegen::Damage>{{R::Merged}, {R::CutMiddle, 6}, {R::Truncate}}
                              : std::vector<storegen::Damage>{{R::MbxNested}, {R::MbxTruncate}};
        const storegen::Store a = storegen::Generate(options);
        const storegen::Store b = storegen::Generate(options);
        EXPECT_EQ(a.bytes, b.bytes);
        const std::string path = dir.File(kind == storegen::StoreKind::Dbx ? "s.dbx" : "s.mbx");
        const storegen::Manifest streamed = storegen::GenerateToFile(options, path);
        const std::string onDisk = ReadFileBytes(path);
        EXPECT_EQ(onDisk, std::string(a.bytes.begin(), a.bytes.end()));
        EXPECT_EQ(streamed.fileSize, a.bytes.size());
        ASSERT_EQ(streamed.recoveries.size(), a.manifest.recoveries.size());
        for (size_t i = 0; i < streamed.recoveries.size(); ++i) {
            EXPECT_EQ(streamed.recoveries[i].fnv, a.manifest.recoveries[i].fnv);
            EXPECT_EQ(streamed.recoveries[i].headPosition, a.manifest.recoveries[i].headPosition);
        }
        options.seed = 10;
        EXPECT_NE(storegen::Generate(options).bytes, a.bytes);
        // The JSON names every recovery.
        const std::string json = a.manifest.ToJson(false);
        size_t count = 0;
        for (size_t at = json.find("\"head\""); at != std::string::npos; at = json.find("\"head\"", at + 1)) ++count;
        EXPECT_EQ(count, a.manifest.recoveries.size());
    }
}

}  // namespace
