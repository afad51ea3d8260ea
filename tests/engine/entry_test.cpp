// The exported entry and its driver: the order of events of one call, the
// failures before the scan, and what the call leaves alone.
#include <gtest/gtest.h>

#include <cstring>
#include <fcntl.h>
#include <unistd.h>

#include "entry.h"
#include "platform/exceptions.h"
#include "platform/fs.h"
#include "recording_host.h"
#include "storegen/storegen.h"
#include "temp_dir.h"
#include "writer.h"
#include "write_lock.h"

using namespace pyxol;
using vantrel::test::RecordedEvent;
using vantrel::test::RecordingHost;
using vantrel::test::RunRepairCall;
using vantrel::test::TempDir;
using vantrel::test::U16;

namespace {

constexpr RepairOptions kDefaults{0, 0, 0};

struct Expected {
    int32_t code;
    std::u16string text;
    int64_t value;
};

// Checks events[from, from + expected.size()) one by one.
void ExpectEvents(const RecordingHost& host, size_t from, const std::vector<Expected>& expected) {
    ASSERT_GE(host.events.size(), from + expected.size()) << host.Dump();
    for (size_t i = 0; i < expected.size(); ++i) {
        const RecordedEvent& e = host.events[from + i];
        SCOPED_TRACE(::testing::Message() << "event " << from + i << "\n" << host.Dump());
        EXPECT_EQ(e.code, expected[i].code);
        if (e.code == EVENT_PROGRESS || e.code == EVENT_REPORT_COLUMNS)
            EXPECT_EQ(e.value, expected[i].value);
        else
            EXPECT_EQ(vantrel::test::U8(e.text), vantrel::test::U8(expected[i].text));
    }
}

class EntryTest : public ::testing::Test {
protected:
    TempDir dir;
    RecordingHost host;
};

TEST_F(EntryTest, EmptyOutputDirectoryIsErrorEightWithoutProgress) {
    const std::string source = dir.Write("in.dbx", "x");
    EXPECT_EQ(RunRepairCall(U16(source), u"", kDefaults, &host), 0);
    ASSERT_EQ(host.events.size(), 2u) << host.Dump();
    ExpectEvents(host, 0,
                 {{EVENT_ERROR, u"Error 8: Invalid destination directory.", 0},
                  {EVENT_MESSAGE_BOX,
                   u"Destination directory '' is invalid. Please try to use another directory.", 0}});
}

TEST_F(EntryTest, MissingSourceIsErrorOneNamingThePath) {
    const std::u16string source = U16(dir.File("gone.dbx"));
    const std::u16string text =
        u"Error 1: Cannot open the file to be repaired. " + source + u" was not found.";
    EXPECT_EQ(RunRepairCall(source, U16(dir.Path()), kDefaults, &host), 0);
    ASSERT_EQ(host.events.size(), 5u) << host.Dump();
    ExpectEvents(host, 0,
                 {{EVENT_PROGRESS, u"", 0},
                  {EVENT_SOURCE_FILE, source, 0},
                  {EVENT_ERROR, text, 0},
                  {EVENT_MESSAGE_BOX, text, 0},
                  {EVENT_PROGRESS, u"", 100}});
}

TEST_F(EntryTest, DirectoryAsSourceIsErrorOneAccessDenied) {
    const std::u16string source = U16(dir.Path());
    EXPECT_EQ(RunRepairCall(source, U16(dir.Path()), kDefaults, &host), 0);
    EXPECT_EQ(host.Texts(EVENT_ERROR),
              std::vector<std::u16string>{u"Error 1: Cannot open the file to be repaired. Access to " +
                                          source + u" was denied."});
}

TEST_F(EntryTest, WriteLockedSourceIsErrorSevenWithoutReportHeader) {
    const std::string source = dir.Write("Inbox.dbx", std::string(4096, '\0'));
    WriteLockHolder writer(source);
    ASSERT_TRUE(writer.Held());

    const std::u16string text =
        u"Error 7: Share violation when opening the source file 'Inbox.dbx'.\r\n"
        u"Please close any other applications accessing the file and try again.\r\n"
        u"If this still cannot work, then please make a copy of the source file, then repair the "
        u"copy instead.";
    EXPECT_EQ(RunRepairCall(U16(source), U16(dir.File("out")), kDefaults, &host), 0);
    writer.Release();
    ASSERT_EQ(host.events.size(), 5u) << host.Dump();
    ExpectEvents(host, 0,
                 {{EVENT_PROGRESS, u"", 0},
                  {EVENT_SOURCE_FILE, U16(source), 0},
                  {EVENT_ERROR, text, 0},
                  {EVENT_MESSAGE_BOX, text, 0},
                  {EVENT_PROGRESS, u"", 100}});
    EXPECT_EQ(host.Count(EVENT_REPORT_COLUMNS), 0u);
}

TEST_F(EntryTest, OpenSourceGetsTheReportHeaderAndEndsAtOneHundred) {
    const std::string source = dir.Write("Inbox.dbx", std::string(4096, '\0'));
    RunRepairCall(U16(source), U16(dir.Path()), kDefaults, &host);
    ExpectEvents(host, 0,
                 {{EVENT_PROGRESS, u"", 0},
                  {EVENT_SOURCE_FILE, U16(source), 0},
                  {EVENT_REPORT_COLUMNS, u"", 2},
                  {EVENT_REPORT_CELL, u"Message No.", 0},
                  {EVENT_REPORT_CELL, u"Subject", 0}});
    ExpectEvents(host, host.events.size() - 1, {{EVENT_PROGRESS, u"", 100}});
    EXPECT_EQ(host.Count(EVENT_ERROR), 0u) << host.Dump();
    EXPECT_EQ(host.Count(EVENT_MESSAGE_BOX), 0u) << host.Dump();
}

TEST_F(EntryTest, HostThatAlwaysStopsStillGetsHeaderAndEnd) {
    host.stopRule = [](uint64_t) { return 1; };
    const std::string source = dir.Write("Inbox.mbx", std::string(70000, 'J'));
    const int32_t result = RunRepairCall(U16(source), U16(dir.Path()), kDefaults, &host);
    EXPECT_TRUE(result == 0 || result == 1);
    EXPECT_EQ(host.Count(EVENT_REPORT_COLUMNS), 1u);
    ASSERT_FALSE(host.events.empty());
    EXPECT_EQ(host.events.back().code, EVENT_PROGRESS);
    EXPECT_EQ(host.events.back().value, 100);
}

TEST_F(EntryTest, NullCallbackRunsSilently) {
    const std::string source = dir.Write("Inbox.dbx", std::string(4096, '\0'));
    EXPECT_EQ(RunRepairCall(U16(source), U16(dir.Path()), kDefaults, nullptr), 0);
    EXPECT_EQ(RunRepairCall(U16(dir.File("gone.dbx")), U16(dir.Path()), kDefaults, nullptr), 0);
    EXPECT_EQ(RunRepairCall(U16(source), u"", kDefaults, nullptr), 0);
}

TEST_F(EntryTest, NullCallbackStillWritesTheRecoveredMessages) {
    for (const auto kind : {storegen::StoreKind::Dbx, storegen::StoreKind::Mbx}) {
        storegen::Options options;
        options.kind = kind;
        options.messageCount = 3;
        const storegen::Store store = storegen::Generate(options);
        const bool dbx = kind == storegen::StoreKind::Dbx;
        SCOPED_TRACE(dbx ? "dbx" : "mbx");
        const std::string source = dir.Write(dbx ? "Inbox.dbx" : "Inbox.mbx", store.bytes);
        const std::string out = dir.File(dbx ? "out-dbx" : "out-mbx");
        ASSERT_TRUE(CreateDirectoryAt(U16(out)));  // the host creates it, as a front end does
        EXPECT_EQ(RunRepairCall(U16(source), U16(out), kDefaults, nullptr), 1);
        size_t files = 0;
        for (const auto& name : vantrel::test::ListDirectory(out)) files += name.ends_with(".eml");
        EXPECT_EQ(files, store.manifest.recoveries.size());
    }
}

TEST_F(EntryTest, CallersBlockIsUnchanged) {
    const std::u16string source = U16(dir.Write("Inbox.dbx", "x"));
    const std::u16string out = U16(dir.Path());
    const RepairOptions options{-1, 0, 0};
    RepairParams params{source.c_str(), &options, 0, out.c_str(), &RecordingHost::Callback, &host};
    const RepairParams masked = PyxolMaskParams(params);
    RepairParams copy;
    std::memcpy(&copy, &masked, sizeof copy);
    RepairSourceFile(&masked);
    EXPECT_EQ(std::memcmp(&copy, &masked, sizeof copy), 0);
    EXPECT_EQ(options.UseNewDir, -1);
    EXPECT_EQ(options.MaxMsgCount, 0);
    EXPECT_EQ(host.Count(EVENT_REPORT_COLUMNS), 1u) << host.Dump();
}

TEST_F(EntryTest, OptionsAreCopiedWithZeroLimitMeaningTenThousand) {
    const std::string source = dir.Write("Inbox.dbx", "x");
    const RepairOptions cases[] = {{0, 0, 0}, {-1, 0, 0}, {1, 1, 0}, {0, 65535, 0}};
    const uint16_t want[] = {10000, 10000, 1, 65535};
    for (size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(i);
        CCommunicator communicator(nullptr, nullptr);
        CDBXFile5 state(&communicator);
        RunRepair(&cases[i], state, U16(source), U16(dir.Path()));
        EXPECT_EQ(state.m_options.UseNewDir, cases[i].UseNewDir);
        EXPECT_EQ(state.m_options.MaxMsgCount, want[i]);
    }
}

TEST(EntryExtension, MbxInAnyCaseElseDbx) {
    const std::pair<const char16_t*, bool> cases[] = {
        {u"INBOX.MBX", true},           {u"inbox.Mbx", true},         {u"/stores/inbox.mbx", true},
        {u"/a:b/in:box.mbx", true},     {u"inbox.mbx.bak", false},    {u"inbox", false},
        {u"/stores.mbx/inbox", false},  {u"inbox.dbx", false},        {u"inbox.mbxx", false},
        {u"", false},
    };
    for (const auto& [path, mbx] : cases) {
        SCOPED_TRACE(vantrel::test::U8(path));
        EXPECT_EQ(IsMbxSourcePath(path), mbx);
    }
    EXPECT_EQ(PathName(u"/a/b/Inbox.dbx"), u"Inbox.dbx");
    EXPECT_EQ(PathName(u"Inbox.dbx"), u"Inbox.dbx");
}

// Failures raised inside the guarded part become error 2 (platform errors,
// with their own text) or error 3, and the call still ends at 100.
TEST_F(EntryTest, FailuresInTheGuardedPartAreReported) {
    const std::string source = dir.Write("Inbox.dbx", "x");
    struct Case {
        std::function<void()> raise;
        std::u16string text;
    };
    const Case cases[] = {
        {[] { throw CFileException(kHardIO, EIO, u"/dev/x"); },
         u"Error 2: General error. Encountered a hardware I/O error while accessing /dev/x."},
        {[] { throw std::bad_alloc(); }, u"Error 2: General error. Out of memory."},
        {[] { throw 42; }, u"Error 3: Unknown error in RunRepair."},
    };
    for (const Case& c : cases) {
        RecordingHost thrower;
        thrower.onEvent = [&](const RecordedEvent& e) {
            if (e.code == EVENT_SOURCE_FILE) c.raise();
        };
        CCommunicator communicator(&RecordingHost::Callback, &thrower);
        CDBXFile5 state(&communicator);
        EXPECT_EQ(RunRepair(&kDefaults, state, U16(source), U16(dir.Path())), 0);
        ExpectEvents(thrower, 1,
                     {{EVENT_SOURCE_FILE, U16(source), 0},
                      {EVENT_ERROR, c.text, 0},
                      {EVENT_PROGRESS, u"", 100}});
    }
}

}  // namespace
