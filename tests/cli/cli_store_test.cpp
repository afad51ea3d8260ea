// vantrel-cli on stores made by the generator: the JSON stream and the log of
// real repairs, the per-directory limit and a stop by SIGINT.
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <map>
#include <regex>

#include "process.h"
#include "storegen/storegen.h"
#include "temp_dir.h"

using vantrel::test::ProcessResult;
using vantrel::test::ReadFileBytes;
using vantrel::test::RunProcess;
using vantrel::test::SplitLines;
using vantrel::test::TempDir;

namespace fs = std::filesystem;

namespace {

ProcessResult Cli(std::vector<std::string> args) {
    args.insert(args.begin(), VANTREL_CLI_PATH);
    return RunProcess(args);
}

storegen::Manifest WriteStore(const std::string& path, storegen::StoreKind kind, uint32_t messages,
                              std::vector<storegen::Damage> damages = {}) {
    storegen::Options options;
    options.kind = kind;
    options.seed = 7;
    options.messageCount = messages;
    options.damages = std::move(damages);
    const storegen::Store store = storegen::Generate(options);
    FILE* f = std::fopen(path.c_str(), "wb");
    EXPECT_NE(f, nullptr);
    std::fwrite(store.bytes.data(), 1, store.bytes.size(), f);
    std::fclose(f);
    return store.manifest;
}

// Every .eml below `directory`, by content hash.
std::multiset<uint64_t> EmlHashes(const std::string& directory, size_t* count = nullptr) {
    std::multiset<uint64_t> hashes;
    for (const auto& entry : fs::recursive_directory_iterator(directory)) {
        if (entry.is_regular_file() && entry.path().extension() == ".eml") {
            const std::string bytes = ReadFileBytes(entry.path().string());
            hashes.insert(storegen::Fnv1a64(bytes.data(), bytes.size()));
        }
    }
    if (count) *count = hashes.size();
    return hashes;
}

std::multiset<uint64_t> ExpectedHashes(const storegen::Manifest& manifest) {
    std::multiset<uint64_t> hashes;
    for (const auto& r : manifest.recoveries) hashes.insert(r.fnv);
    return hashes;
}

// The value of "text" in a JSON line of ours (no escapes expected in it).
std::string JsonText(const std::string& line) {
    const std::string key = R"("text":")";
    const size_t at = line.find(key);
    if (at == std::string::npos) return {};
    return line.substr(at + key.size(), line.rfind("\"}") - at - key.size());
}

TEST(CliStore, JsonStreamOfADbxRepair) {
    TempDir dir;
    const std::string source = dir.File("Inbox.dbx");
    const storegen::Manifest manifest =
        WriteStore(source, storegen::StoreKind::Dbx, 6, {{storegen::Recipe::Interleaved, 0}});
    const std::string out = dir.File("out");
    const ProcessResult r = Cli({"--json", source, "-o", out});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::vector<std::string> lines = SplitLines(r.out);
    ASSERT_GE(lines.size(), 7u);
    EXPECT_EQ(lines[0], R"({"event":"progress","value":0})");
    EXPECT_EQ(lines[1], R"({"event":"source_file","text":")" + source + R"("})");
    EXPECT_EQ(lines[2], R"({"event":"report_columns","value":2})");
    EXPECT_EQ(lines[3], R"({"event":"report_cell","text":"Message No."})");
    EXPECT_EQ(lines[4], R"({"event":"report_cell","text":"Subject"})");
    EXPECT_EQ(lines[lines.size() - 2], R"({"event":"progress","value":100})");
    EXPECT_EQ(lines.back(), R"({"result":1})");

    // Progress lines only on a change; one row of two cells per message, its
    // number counting up, each after the message's log block.
    int lastProgress = -1;
    std::vector<std::string> cells;
    size_t finishLines = 0;
    for (size_t i = 5; i + 1 < lines.size(); ++i) {
        const std::string& line = lines[i];
        if (line.rfind(R"({"event":"progress","value":)", 0) == 0) {
            const int value = std::stoi(line.substr(28));
            EXPECT_NE(value, lastProgress);
            lastProgress = value;
        } else if (line.rfind(R"({"event":"report_cell")", 0) == 0) {
            cells.push_back(JsonText(line));
        } else if (line.rfind(R"({"event":"log")", 0) == 0) {
            if (JsonText(line).rfind("Finish processing message (No.", 0) == 0) ++finishLines;
        } else {
            ADD_FAILURE() << "unexpected line " << line;
        }
    }
    ASSERT_EQ(cells.size(), 2 * manifest.recoveries.size());
    EXPECT_EQ(finishLines, manifest.recoveries.size());
    for (size_t row = 0; row < manifest.recoveries.size(); ++row) EXPECT_EQ(cells[2 * row], std::to_string(row + 1));
    EXPECT_EQ(EmlHashes(out), ExpectedHashes(manifest));
}

TEST(CliStore, LogAndReportOfAnMbxRepair) {
    TempDir dir;
    const std::string source = dir.File("Inbox.mbx");
    const storegen::Manifest manifest = WriteStore(source, storegen::StoreKind::Mbx, 4);
    const ProcessResult r = Cli({source});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(EmlHashes(dir.File("Inbox_recovered")), ExpectedHashes(manifest));

    const std::vector<std::string> lines = SplitLines(r.out);
    const auto result = std::find(lines.begin(), lines.end(), "File 'Inbox.mbx' has been repaired successfully.");
    ASSERT_NE(result, lines.end()) << r.out;
    EXPECT_EQ(*(result - 2), "Repair process completes.");
    // The report follows the log: a blank line, the heading, the column
    // captions and one aligned row per message.
    ASSERT_EQ(lines.end() - result, std::ptrdiff_t(4 + manifest.recoveries.size())) << r.out;
    EXPECT_EQ(*(result + 1), "");
    EXPECT_EQ(*(result + 2), "Below are all the recovered messages:");
    EXPECT_EQ(*(result + 3), "Message No.  Subject");
    for (size_t i = 0; i < manifest.recoveries.size(); ++i) {
        const std::string& row = *(result + 4 + std::ptrdiff_t(i));
        EXPECT_TRUE(std::regex_match(row, std::regex(std::to_string(i + 1) + " +\\S.*"))) << row;
    }
}

TEST(CliStore, StopQueriesOnlyWhenAskedFor) {
    TempDir dir;
    const std::string source = dir.File("Inbox.mbx");
    WriteStore(source, storegen::StoreKind::Mbx, 2);
    const std::string query = R"({"event":"query_stop"})";
    ProcessResult r = Cli({"--json", source, "-o", dir.File("a")});
    EXPECT_EQ(r.out.find(query), std::string::npos);
    r = Cli({"--json-stop-queries", source, "-o", dir.File("b")});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::vector<std::string> lines = SplitLines(r.out);
    // The MBX scanner asks before every byte offset it examines.
    EXPECT_GT(std::count(lines.begin(), lines.end(), query), 100);
    EXPECT_EQ(lines.back(), R"({"result":1})");
}

TEST(CliStore, NewDirectoryLimit) {
    TempDir dir;
    const std::string source = dir.File("Inbox.mbx");
    const storegen::Manifest manifest = WriteStore(source, storegen::StoreKind::Mbx, 5);
    const std::string out = dir.File("out");
    const ProcessResult r = Cli({"-q", "--new-dir", "2", source, "-o", out});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "");
    size_t count = 0;
    EXPECT_EQ(EmlHashes(out, &count), ExpectedHashes(manifest));
    size_t subDirectories = 0;
    for (const auto& entry : fs::recursive_directory_iterator(out)) {
        if (entry.is_directory()) {
            ++subDirectories;
            EXPECT_EQ(entry.path().filename().string().rfind("Recovered_Msg", 0), 0u);
        }
    }
    EXPECT_GE(subDirectories, 1u);
}

TEST(CliStore, SigintStopsTheRepairAndKeepsWrittenMessages) {
    TempDir dir;
    const std::string source = dir.File("Big.mbx");
    storegen::Options options;
    options.kind = storegen::StoreKind::Mbx;
    options.seed = 11;
    options.messageCount = 200;
    options.targetSize = 40'000'000;
    storegen::GenerateToFile(options, source);
    const std::string out = dir.File("out");

    bool sent = false;
    const ProcessResult r = RunProcess({VANTREL_CLI_PATH, "--json", source, "-o", out}, {},
                                       [&](pid_t pid, const std::string& soFar) {
                                           if (!sent && soFar.find("Finish processing message (No.1).") !=
                                                            std::string::npos) {
                                               kill(pid, SIGINT);
                                               sent = true;
                                           }
                                       });
    ASSERT_TRUE(sent) << r.out.substr(0, 2000);
    EXPECT_EQ(r.exitCode, 130) << r.err;
    const std::vector<std::string> lines = SplitLines(r.out);
    ASSERT_FALSE(lines.empty());
    EXPECT_TRUE(lines.back() == R"({"result":1})" || lines.back() == R"({"result":0})") << lines.back();
    size_t rows = 0;
    for (const auto& line : lines) rows += line.rfind(R"({"event":"report_cell")", 0) == 0;
    rows = rows / 2 - 1;  // cells in pairs, minus the heading row
    size_t files = 0;
    EmlHashes(out, &files);
    EXPECT_GE(files, 1u);
    EXPECT_EQ(files, rows);
    EXPECT_LT(files, options.messageCount);  // it stopped before the end
}

}  // namespace
