// Whole repairs of generated and hand-built stores through RepairSourceFile:
// recovered bytes against the generator's manifest, message numbering, stop
// queries, and the failure paths of staging and output files.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <unistd.h>
#include <filesystem>
#include <map>
#include <memory>

#include "platform/exceptions.h"
#include "platform/file.h"
#include "platform/strings.h"
#include "reader.h"
#include "recording_host.h"
#include "scanners/scanners.h"
#include "storegen/storegen.h"
#include "subject.h"
#include "temp_dir.h"
#include "writer.h"

namespace fs = std::filesystem;
using namespace vantrel::test;

namespace {

// Every .eml under `dir` (sub-directories included): path -> bytes.
std::map<std::string, std::string> OutputFiles(const std::string& dir) {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(dir))
        if (entry.is_regular_file()) files[entry.path().string()] = ReadFileBytes(entry.path().string());
    return files;
}

struct RepairRun {
    int32_t result = 0;
    RecordingHost host;
    std::map<std::string, std::string> files;
};

// Writes `bytes` as store `name` and repairs it into a fresh output folder.
std::unique_ptr<RepairRun> Repair(const TempDir& dir, const std::string& name, const std::vector<uint8_t>& bytes,
                                  RepairOptions options = {}, std::function<int32_t(uint64_t)> stopRule = {}) {
    auto run = std::make_unique<RepairRun>();
    const std::string source = dir.Write(name, bytes);
    const std::string out = dir.File("out-" + name);
    fs::create_directories(out);
    run->host.recordStopQueries = false;
    run->host.recordRepeatedProgress = false;
    if (stopRule) run->host.stopRule = std::move(stopRule);
    run->result = RunRepairCall(U16(source), U16(out), options, &run->host);
    run->files = OutputFiles(out);
    return run;
}

// Every recovery of the manifest appears among the written files exactly as
// often as the manifest has it, and nothing else was written.
void ExpectFilesMatchManifest(const RepairRun& run, const storegen::Manifest& manifest) {
    std::multiset<std::string> written, expected;
    for (const auto& [path, bytes] : run.files) written.insert(bytes);
    for (const storegen::Recovery& r : manifest.recoveries) expected.insert(r.bytes);
    EXPECT_EQ(written.size(), expected.size()) << run.host.Dump().substr(0, 4000);
    for (const storegen::Recovery& r : manifest.recoveries) {
        SCOPED_TRACE("message " + std::to_string(r.messageId) + " head " + std::to_string(r.headPosition));
        EXPECT_EQ(written.count(r.bytes), expected.count(r.bytes));
    }
    EXPECT_EQ(run.host.Count(EVENT_ERROR), 0u) << run.host.Dump().substr(0, 4000);
}

// Message sizes from the log blocks, in message-number order.
std::vector<uint64_t> LoggedSizes(const RecordingHost& host) {
    std::vector<uint64_t> sizes;
    for (const std::u16string& line : host.Texts(EVENT_LOG_LINE)) {
        const std::string s = U8(line);
        if (s.rfind("Message size: ", 0) == 0) sizes.push_back(std::stoull(s.substr(14)));
    }
    return sizes;
}

// Order in which the chain-head table yields heads: ascending bucket, and in
// a bucket the later-inserted (higher) head first.
std::vector<size_t> HeadTableOrder(const std::vector<uint64_t>& heads) {
    std::vector<size_t> order(heads.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::sort(order.begin(), order.end(), [&](size_t a, size_t b) {
        const uint64_t ba = (heads[a] >> 4) % 14983, bb = (heads[b] >> 4) % 14983;
        return ba != bb ? ba < bb : heads[a] > heads[b];
    });
    return order;
}

std::vector<storegen::Damage> AllDbxDamage() {
    using R = storegen::Recipe;
    return {{R::BackToFront}, {R::Interleaved}, {R::SelfLoop}, {R::Loop}, {R::Merged},
            {R::SmashedHeader}, {R::Freed}, {R::CutStart, 7}, {R::CutMiddle, 13},
            {R::InsertMiddle, 5}, {R::Garbage, 3001}, {R::Truncate}};
}

class DbxManifestTest : public ::testing::TestWithParam<uint64_t> {};

TEST_P(DbxManifestTest, DamagedStoreRepairsToManifest) {
    storegen::Options options;
    options.seed = GetParam();
    options.messageCount = 20;
    options.damages = AllDbxDamage();
    const storegen::Store store = storegen::Generate(options);
    ASSERT_GT(store.manifest.recoveries.size(), 20u);

    TempDir dir;
    auto run = Repair(dir, "Inbox.dbx", store.bytes);
    EXPECT_EQ(run->result, 1);
    ExpectFilesMatchManifest(*run, store.manifest);

    // Report: the header, then one row per message numbered 1, 2, 3 ...
    const auto rows = run->host.ReportRows();
    ASSERT_EQ(rows.size(), store.manifest.recoveries.size() + 1);
    for (size_t i = 1; i < rows.size(); ++i) EXPECT_EQ(rows[i][0], U16(std::to_string(i)));

    // Numbering follows the chain-head table.
    std::vector<uint64_t> heads, sizes;
    for (const auto& r : store.manifest.recoveries) {
        heads.push_back(r.headPosition);
        sizes.push_back(r.size);
    }
    std::vector<uint64_t> expected;
    for (size_t i : HeadTableOrder(heads)) expected.push_back(sizes[i]);
    EXPECT_EQ(LoggedSizes(run->host), expected);

    // Each row's subject is the one in its message, or "Message <n>", and a
    // file of the message's bytes carries the name made from it.
    size_t number = 0;
    for (size_t i : HeadTableOrder(heads)) {
        ++number;
        const storegen::Recovery& r = store.manifest.recoveries[i];
        std::u16string subject = pyxol::FindSubject(r.bytes);
        if (subject.empty()) subject = U16("Message " + std::to_string(number));
        EXPECT_EQ(rows[number][1], subject) << "message " << number;
        bool named = false;
        for (const auto& [path, bytes] : run->files) {
            const std::string name = fs::path(path).filename().string();
            const std::string stem = U8(pyxol::SanitizeFileName(subject)).substr(0, 20);
            named |= bytes == r.bytes && (name.rfind(stem, 0) == 0 || name.rfind("Message ", 0) == 0);
        }
        EXPECT_TRUE(named) << "message " << number << " " << U8(subject);
    }

    // Progress: 0, pass 1 up to 50, pass 2 up to 100, never backwards.
    const std::vector<int> progress = run->host.Progress();
    EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
    EXPECT_EQ(progress.back(), 100);
}

INSTANTIATE_TEST_SUITE_P(Seeds, DbxManifestTest, ::testing::Values(1u, 2u, 77u));

TEST(MbxRepair, DamagedStoreRepairsToManifest) {
    using R = storegen::Recipe;
    storegen::Options options;
    options.kind = storegen::StoreKind::Mbx;
    options.seed = 5;
    options.messageCount = 18;
    options.damages = {{R::MbxNested}, {R::MbxBadLength}, {R::MbxGarbage, 777}, {R::MbxTruncate}};
    const storegen::Store store = storegen::Generate(options);

    TempDir dir;
    auto run = Repair(dir, "Inbox.MBX", store.bytes);
    EXPECT_EQ(run->result, 1);
    ExpectFilesMatchManifest(*run, store.manifest);
    // Numbered in file order of the record headers.
    std::vector<uint64_t> sizes;
    for (const auto& r : store.manifest.recoveries) sizes.push_back(r.size);
    EXPECT_EQ(LoggedSizes(run->host), sizes);
    EXPECT_LT(run->host.Progress().end()[-2], 100);  // the scanner's own last value
}

// A corrupt record claiming a 2 GiB text in a small file: what is there is
// kept and the zero padding stops at 1 MiB.
TEST(MbxRepair, HugeTextLengthPadsAtMostOneMebibyte) {
    storegen::Options options;
    options.kind = storegen::StoreKind::Mbx;
    options.messageCount = 2;
    options.damages = {{storegen::Recipe::MbxHugeLength}};
    const storegen::Store store = storegen::Generate(options);
    ASSERT_LT(store.bytes.size(), 64u * 1024);

    TempDir dir;
    auto run = Repair(dir, "huge.mbx", store.bytes);
    ExpectFilesMatchManifest(*run, store.manifest);
    const storegen::Recovery& last = store.manifest.recoveries.back();
    EXPECT_EQ(last.size, store.bytes.size() - last.headPosition - 16 + 1048576);
}

// ---- hand-built .dbx ------------------------------------------------------

void Put32(std::vector<uint8_t>& img, uint64_t at, uint32_t v) {
    if (img.size() < at + 4) img.resize(at + 4);
    for (int i = 0; i < 4; ++i) img[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

void PutBlock(std::vector<uint8_t>& img, uint32_t pos, uint32_t self, uint32_t body, uint32_t used,
              uint32_t next, std::string_view data = {}) {
    Put32(img, pos, self);
    Put32(img, pos + 4, body);
    Put32(img, pos + 8, used);
    Put32(img, pos + 12, next);
    if (img.size() < pos + 16 + data.size()) img.resize(pos + 16 + data.size());
    std::memcpy(img.data() + pos + 16, data.data(), data.size());
}

// A one-block message of `size` bytes at `pos`.
void PutMessage(std::vector<uint8_t>& img, uint32_t pos, uint32_t size) {
    std::string text = "Subject: at " + std::to_string(pos) + "\r\n\r\n";
    text.resize(size, 'x');
    PutBlock(img, pos, pos, 0x200, size, 0, text);
}

TEST(DbxNumbering, AscendingBelowBucketSpanHighestFirstInASlotInterleavedAbove) {
    std::vector<uint8_t> img(600000, 0);
    // Block A at 0x1000 with a successor; B hides 12 bytes into A, in the same
    // 16-byte slot: its self offset is A's next pointer (so it is shifted),
    // its body size and data length are A's first data bytes.
    std::string aData(48, 'a');
    const uint8_t bHeaderTail[12] = {0x00, 0x02, 0x00, 0x00, 0x10, 0, 0, 0, 0, 0, 0, 0};
    std::memcpy(aData.data(), bHeaderTail, 12);
    PutBlock(img, 0x1000, 0x1000, 0x200, 48, 0x2000, aData);
    PutBlock(img, 0x2000, 0x2000, 0x200, 21, 0, "Subject: A's tail\r\n\r\n");
    // Heads 239,728 bytes apart share a bucket: the later one comes first.
    const uint32_t positions[] = {0x3000, 0x4000, 0x3000 + 239728, 0x5000 + 2 * 239728, 0x5000};
    uint32_t size = 100;
    for (uint32_t p : positions) PutMessage(img, p, size += 3);

    TempDir dir;
    auto run = Repair(dir, "order.dbx", img);
    std::vector<uint64_t> heads = {0x1000, 0x100C};
    std::vector<uint64_t> sizes = {48 + 21, 16};
    size = 100;
    for (uint32_t p : positions) {
        heads.push_back(p);
        sizes.push_back(size += 3);
    }
    std::vector<uint64_t> expected;
    for (size_t i : HeadTableOrder(heads)) expected.push_back(sizes[i]);
    EXPECT_EQ(LoggedSizes(run->host), expected);
    // Spelled out: the slot at 0x1000 yields B (16 bytes) before A.
    EXPECT_EQ(expected[0], 16u);
    EXPECT_EQ(expected[1], 69u);
}

// Single blocks at 0x100 of a 0x400-byte source, one candidate rule each.
TEST(DbxRepair, CandidateRules) {
    struct Case {
        const char* why;
        uint32_t self, body, used, next;
        size_t sourceSize;
        const char* expected;  // recovered bytes, nullptr = no message
    };
    const std::string text = "Subject: x\r\n\r\nbody";  // 19 bytes
    const Case cases[] = {
        {"intact, no successor", 0x100, 0x200, 19, 0, 0x400, "Subject: x\r\n\r\nbody"},
        {"shifted standard block", 0x105, 0x200, 19, 0, 0x400, "Subject: x\r\n\r\nbody"},
        {"shifted block of another size", 0x105, 0x400, 19, 0, 0x400, nullptr},
        {"body size 0", 0x100, 0, 0, 0x300, 0x400, nullptr},
        {"body size above 1 MiB", 0x100, 0x100001, 19, 0, 0x400, nullptr},
        {"data length above body size", 0x100, 0x10, 19, 0, 0x400, nullptr},
        {"neither data nor successor", 0x100, 0x200, 0, 0, 0x400, nullptr},
        {"successor beyond the end", 0x100, 0x200, 19, 0x1000, 0x400, nullptr},
        {"successor not pointing back", 0x100, 0x200, 19, 0x300, 0x400, nullptr},
        {"self offset 0", 0, 0x200, 19, 0, 0x400, nullptr},
        {"data past the end is padded", 0x100, 0x200, 40, 0, 0x100 + 16 + 19, "Subject: x\r\n\r\nbody"},
    };
    TempDir dir;
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        std::vector<uint8_t> img(c.sourceSize, 0);
        PutBlock(img, 0x100, c.self, c.body, c.used, c.next, text);
        img.resize(c.sourceSize);
        auto run = Repair(dir, "case" + std::to_string(n++) + ".dbx", img);
        if (!c.expected) {
            EXPECT_TRUE(run->files.empty());
            EXPECT_EQ(run->result, 0);
            continue;
        }
        ASSERT_EQ(run->files.size(), 1u);
        std::string expected = c.expected;
        expected.resize(std::max<size_t>(expected.size(), c.used), '\0');
        EXPECT_EQ(run->files.begin()->second, expected);
        EXPECT_EQ(run->result, 1);
    }
}

TEST(DbxRepair, ShortSourceExaminesNothing) {
    TempDir dir;
    for (const char* name : {"tiny.dbx", "tiny.mbx"}) {
        SCOPED_TRACE(name);
        std::vector<uint8_t> img(15, 0x41);
        auto run = Repair(dir, name, img);
        run->host.recordStopQueries = true;
        EXPECT_EQ(run->result, 0);
        EXPECT_EQ(run->host.Progress(), (std::vector<int>{0, 100}));
        EXPECT_TRUE(run->files.empty());
    }
    // The MBX scanner asks once before its first (and only) offset.
    std::vector<uint8_t> img(15, 0);
    RecordingHost host;
    const std::string source = dir.Write("one.mbx", img);
    RepairOptions options{};
    RunRepairCall(U16(source), U16(dir.Path()), options, &host);
    EXPECT_EQ(host.stopQueries, 1u);
}

std::vector<uint8_t> SmallDbxStore(uint32_t messages) {
    storegen::Options options;
    options.messageCount = messages;
    options.maxMessageSize = 2400;
    return storegen::Generate(options).bytes;
}

TEST(DbxRepair, StopInPassOneEndsTheScanAndPassTwoAsksAgain) {
    std::vector<uint8_t> img(30000, 0);
    PutMessage(img, 0x100, 300);
    PutMessage(img, 20000, 300);
    TempDir dir;
    // Stop at the first checkpoint and keep saying so: pass 2 asks once more
    // before its first message and writes nothing. The head found before the
    // checkpoint makes the result 1.
    auto run = Repair(dir, "stop1.dbx", img, {}, [](uint64_t) { return 1; });
    EXPECT_EQ(run->host.stopQueries, 2u);
    EXPECT_TRUE(run->files.empty());
    EXPECT_EQ(run->result, 1);
    EXPECT_EQ(run->host.Progress(), (std::vector<int>{0, 100}));
    // Continue in pass 1, stop in pass 2: the same scan finds both heads.
    auto all = Repair(dir, "all.dbx", img);
    EXPECT_EQ(all->files.size(), 2u);
    EXPECT_EQ(all->host.stopQueries, 2u + 2u);  // checkpoints 10000 and 20000, then one per message
}

TEST(DbxRepair, StopInPassTwoEndsBeforeTheNextMessage) {
    TempDir dir;
    const std::vector<uint8_t> img = SmallDbxStore(6);
    const uint64_t pass1Queries = (img.size() - 15) / 10000;
    auto run = Repair(dir, "stop2.dbx", img, {}, [&](uint64_t i) { return i >= pass1Queries + 2 ? 1 : 0; });
    EXPECT_EQ(run->result, 1);
    EXPECT_EQ(run->files.size(), 2u);
    EXPECT_EQ(run->host.stopQueries, pass1Queries + 3);
}

TEST(MbxRepair, StopEndsTheScanAtOnce) {
    storegen::Options options;
    options.kind = storegen::StoreKind::Mbx;
    options.messageCount = 5;
    const storegen::Store store = storegen::Generate(options);
    // Stop just after the third record's header was examined.
    const uint64_t third = store.manifest.recoveries[2].headPosition;
    TempDir dir;
    auto run = Repair(dir, "stop.mbx", store.bytes, {}, [&](uint64_t i) { return i > third ? 1 : 0; });
    EXPECT_EQ(run->result, 1);
    EXPECT_EQ(run->files.size(), 3u);
    EXPECT_EQ(run->host.stopQueries, third + 2);
}

// ---- failure paths --------------------------------------------------------

// Staging files that fail as a test asks: the n-th open, or writes beyond a
// byte budget (a temporary directory that fills up).
struct StagingFaults {
    static inline int openCount = 0;
    static inline int failOpenNumber = -1;
    static inline int64_t writeBudget = -1;
};

class FaultyStagingFile : public pyxol::CFile {
public:
    bool Open(const std::u16string& path, unsigned flags, pyxol::CFileException* error) override {
        if (++StagingFaults::openCount == StagingFaults::failOpenNumber) return false;
        return CFile::Open(path, flags, error);
    }
    void Write(const void* buffer, uint32_t count) override {
        if (StagingFaults::writeBudget >= 0) {
            if (count > StagingFaults::writeBudget) pyxol::ThrowOsFileException(ENOSPC, GetFilePath());
            StagingFaults::writeBudget -= count;
        }
        CFile::Write(buffer, count);
    }
};

class StagingFaultTest : public ::testing::Test {
protected:
    void SetUp() override {
        StagingFaults::openCount = 0;
        StagingFaults::failOpenNumber = -1;
        StagingFaults::writeBudget = -1;
        pyxol::SetStagingFileFactoryForTesting([]() -> std::unique_ptr<pyxol::CFile> {
            return std::make_unique<FaultyStagingFile>();
        });
    }
    void TearDown() override { pyxol::SetStagingFileFactoryForTesting(nullptr); }
};

TEST_F(StagingFaultTest, StagingFileThatCannotBeCreatedSkipsOnlyThatNumber) {
    StagingFaults::failOpenNumber = 2;
    storegen::Options options;
    options.kind = storegen::StoreKind::Mbx;
    options.messageCount = 3;
    const storegen::Store store = storegen::Generate(options);
    TempDir dir;
    auto run = Repair(dir, "skip.mbx", store.bytes);
    EXPECT_EQ(run->result, 1);
    EXPECT_EQ(run->host.Texts(EVENT_ERROR), (std::vector<std::u16string>{u"Error 4: Cannot create temporary file."}));
    const auto rows = run->host.ReportRows();
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[1][0], u"1");
    EXPECT_EQ(rows[2][0], u"3");  // message 2 keeps its number
    EXPECT_EQ(run->files.size(), 2u);
}

TEST_F(StagingFaultTest, FullTemporaryDirectoryEndsTheScanWithErrorTwo) {
    StagingFaults::writeBudget = 5000;  // room for the first message or two, not all
    TempDir tmp;
    setenv("TMPDIR", tmp.Path().c_str(), 1);
    for (const char* name : {"full.dbx", "full.mbx"}) {
        SCOPED_TRACE(name);
        StagingFaults::writeBudget = 5000;
        storegen::Options options;
        options.kind = name[5] == 'm' ? storegen::StoreKind::Mbx : storegen::StoreKind::Dbx;
        options.messageCount = 8;
        options.maxMessageSize = 2400;
        const storegen::Store store = storegen::Generate(options);
        TempDir dir;
        auto run = Repair(dir, name, store.bytes);
        EXPECT_EQ(run->result, 1);
        const auto errors = run->host.Texts(EVENT_ERROR);
        ASSERT_EQ(errors.size(), 1u);
        EXPECT_EQ(U8(errors[0]).rfind("Error 2: General error. Disk full while accessing " + tmp.Path() + "/VNL", 0), 0u)
            << U8(errors[0]);
        EXPECT_LT(run->files.size(), store.manifest.recoveries.size());
        EXPECT_EQ(run->host.Progress().back(), 100);
        // The staging file being written when the disk filled stays behind.
        const auto left = ListDirectory(tmp.Path());
        EXPECT_EQ(std::count_if(left.begin(), left.end(), [](const std::string& n) { return n.rfind("VNL", 0) == 0; }), 1)
            << ::testing::PrintToString(left);
        fs::remove_all(tmp.Path());
        fs::create_directories(tmp.Path());
    }
    unsetenv("TMPDIR");
}

TEST(WriterFailures, MissingTemporaryDirectoryGivesErrorFourPerMessage) {
    TempDir dir;
    setenv("TMPDIR", dir.File("no-such-dir").c_str(), 1);
    storegen::Options options;
    options.messageCount = 3;
    options.maxMessageSize = 2400;
    const storegen::Store store = storegen::Generate(options);
    auto run = Repair(dir, "notmp.dbx", store.bytes);
    unsetenv("TMPDIR");
    EXPECT_EQ(run->result, 1);
    EXPECT_EQ(run->host.Count(EVENT_ERROR), 3u);
    EXPECT_TRUE(run->files.empty());
    EXPECT_EQ(run->host.Progress().back(), 100);
}

TEST(WriterFailures, OutputFileThatCannotBeWrittenGivesErrorSixAndStillTheRow) {
    // Sub-directories the writer cannot create (files hold their names):
    // every message fails with error 6, and every report row is still sent.
    TempDir dir;
    const std::string out = dir.File("out");
    fs::create_directories(out);
    const std::u16string probe = pyxol::NextSubDirectoryName();  // takes one number
    const unsigned next = static_cast<unsigned>(std::stoul(U8(probe).substr(13))) + 1;
    for (unsigned n = next; n < next + 4; ++n) dir.Write("out/Recovered_Msg" + std::to_string(n), "x");
    storegen::Options options;
    options.kind = storegen::StoreKind::Mbx;
    options.messageCount = 3;
    const storegen::Store store = storegen::Generate(options);
    const std::string source = dir.Write("blocked.mbx", store.bytes);
    RecordingHost host;
    host.recordStopQueries = false;
    host.recordRepeatedProgress = false;
    RepairOptions ro{};
    ro.UseNewDir = -1;
    ro.MaxMsgCount = 1;
    EXPECT_EQ(RunRepairCall(U16(source), U16(out), ro, &host), 1);
    EXPECT_EQ(host.Count(EVENT_ERROR), 3u);
    EXPECT_EQ(host.ReportRows().size(), 4u);
    // Error 6 comes after the message's log block and before its row.
    const auto codes = host.Codes();
    const auto err = std::find(codes.begin(), codes.end(), EVENT_ERROR);
    ASSERT_NE(err, codes.end());
    EXPECT_EQ(err[-1], EVENT_LOG_LINE);
    EXPECT_EQ(err[1], EVENT_REPORT_CELL);
    EXPECT_EQ(host.Texts(EVENT_ERROR)[0], u"Error 6: Cannot create message file.");
}

TEST(ScannerFailures, UnexpectedFailureIsErrorThreeNamingTheScanner) {
    TempDir dir;
    for (const char* name : {"boom.dbx", "boom.mbx"}) {
        SCOPED_TRACE(name);
        storegen::Options options;
        options.kind = name[5] == 'm' ? storegen::StoreKind::Mbx : storegen::StoreKind::Dbx;
        options.messageCount = 2;
        options.maxMessageSize = 2400;
        const storegen::Store store = storegen::Generate(options);
        const std::string source = dir.Write(name, store.bytes);
        RecordingHost host;
        host.recordStopQueries = false;
        host.recordRepeatedProgress = false;
        host.onEvent = [](const RecordedEvent& e) {
            if (e.code == EVENT_REPORT_CELL && e.text == u"1") throw 42;
        };
        RepairOptions ro{};
        const std::string out = dir.File(std::string("out-") + name);
        fs::create_directories(out);
        EXPECT_EQ(RunRepairCall(U16(source), U16(out), ro, &host), 1);
        const std::string where = name[5] == 'm' ? "ScanMBXFile" : "ScanDBXFile";
        EXPECT_EQ(host.Texts(EVENT_ERROR), (std::vector<std::u16string>{U16("Error 3: Unknown error in " + where + ".")}));
    }
}

// ---- span copy ------------------------------------------------------------

TEST(CopySpan, PadsPastTheEndUpToOneMebibyte) {
    TempDir dir;
    const std::string source = dir.Write("src.bin", std::string(100, 'q'));
    struct Case { uint64_t start, length, expectedSize; };
    const Case cases[] = {
        {50, 200, 200},                        // ordinary truncation: padded to the full length
        {50, 10'000'000, 50 + 1048576},        // corrupt length: padding capped
        {0, 100, 100},                         // all present: nothing padded
        {100, 1048576 + 5, 1048576},           // nothing present: padding alone, capped
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.length);
        pyxol::CFileEx reader;
        ASSERT_TRUE(reader.Open(U16(source), pyxol::CFile::modeRead, nullptr));
        reader.Seek(7, pyxol::CFile::begin);
        pyxol::CFile out;
        const std::string target = dir.File("copy.bin");
        ASSERT_TRUE(out.Open(U16(target), pyxol::CFile::modeCreate | pyxol::CFile::modeWrite, nullptr));
        reader.Seek(static_cast<int64_t>(c.start), pyxol::CFile::begin);
        pyxol::CopySpan(reader, out, c.length);
        EXPECT_EQ(reader.GetPosition(), c.start);  // the reader is put back
        out.Close();
        const std::string bytes = ReadFileBytes(target);
        ASSERT_EQ(bytes.size(), c.expectedSize);
        const size_t present = c.start < 100 ? std::min<size_t>(100 - c.start, c.length) : 0;
        EXPECT_EQ(bytes.substr(0, present), std::string(present, 'q'));
        EXPECT_EQ(bytes.find_first_not_of('\0', present), std::string::npos);
    }
}

}  // namespace

namespace {

// Reads of the sparse 4 GiB source: its hole is served as zeros without the
// kernel filling page after page of them; the last megabyte is read for real.
ssize_t SparseRead(int fd, void* buffer, size_t count, off_t offset) {
    constexpr off_t kDataFrom = 0xFFF00000;
    if (offset + static_cast<off_t>(count) <= kDataFrom) {
        std::memset(buffer, 0, count);
        return static_cast<ssize_t>(count);
    }
    return ::pread(fd, buffer, count, offset);
}

// Offsets are 32-bit: pass 1 examines offsets up to 2^32 - 2 and ends there
// instead of wrapping to offset 0 (which would scan forever). A sparse file
// keeps the 4 GiB source cheap on disk.
TEST(DbxRepair, PassOneEndsBeforeOffsetsWrap) {
    pyxol::SetRawReadForTesting(&SparseRead);
    TempDir dir;
    const std::string source = dir.File("huge.dbx");
    {
        pyxol::CFile f;
        ASSERT_TRUE(f.Open(U16(source), pyxol::CFile::modeCreate | pyxol::CFile::modeWrite, nullptr));
        std::vector<uint8_t> tail;
        PutBlock(tail, 0, 0xFFFFFFFEu, 0x200, 6, 0, "abcdef");
        tail.resize(64, 0);
        f.Seek(0xFFFFFFFEll, pyxol::CFile::begin);
        f.Write(tail.data(), static_cast<uint32_t>(tail.size()));
        f.Close();
    }
    const std::string out = dir.File("out");
    fs::create_directories(out);
    RecordingHost host;
    host.recordStopQueries = false;
    host.recordRepeatedProgress = false;
    RepairOptions options{};
    EXPECT_EQ(RunRepairCall(U16(source), U16(out), options, &host), 1);
    const auto files = OutputFiles(out);
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files.begin()->second, "abcdef");  // the block at the last examined offset
    // One stop query per 10000 bytes up to 2^32 - 1, one before the message.
    EXPECT_EQ(host.stopQueries, 0xFFFFFFFFull / 10000 + 1);
    pyxol::SetRawReadForTesting(nullptr);
}

}  // namespace
