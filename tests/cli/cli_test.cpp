// vantrel-cli end to end: the built executable on real files, its output
// streams and its exit statuses.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <filesystem>
#include <regex>
#include <unistd.h>

#include "process.h"
#include "temp_dir.h"
#include "write_lock.h"

using vantrel::test::ProcessResult;
using vantrel::test::RunProcess;
using vantrel::test::SplitLines;
using vantrel::test::TempDir;

namespace {

const std::string kSeparator(56, '-');

ProcessResult Cli(std::vector<std::string> args, const std::string& cwd = {}) {
    args.insert(args.begin(), VANTREL_CLI_PATH);
    return RunProcess(args, cwd);
}

TEST(CliUsage, BadUsageExitsWithTwoAndSaysWhy) {
    TempDir dir;
    const std::string a = dir.Write("a.dbx", "x");
    const std::string b = dir.Write("b.dbx", "x");
    struct Case {
        std::vector<std::string> args;
        const char* says;
    };
    const Case cases[] = {
        {{}, "no store file given"},
        {{"--frobnicate", a}, "unknown option '--frobnicate'"},
        {{"-o", dir.File("out"), a, b}, "-o/--output takes one store file"},
        {{a, "-o"}, "option '-o' needs a value"},
        {{"--new-dir", "0", a}, "--new-dir takes a whole number from 1 to 32767, not '0'"},
        {{"--new-dir=32768", a}, "not '32768'"},
        {{"--new-dir", "ten", a}, "not 'ten'"},
        {{""}, "an empty store file name was given"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.says);
        const ProcessResult r = Cli(c.args);
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
        EXPECT_EQ(r.out, "");
    }
    // Nothing was created for a refused command line.
    EXPECT_FALSE(std::filesystem::exists(dir.File("out")));
    EXPECT_FALSE(std::filesystem::exists(dir.File("a_recovered")));
}

TEST(CliUsage, HelpAndVersion) {
    ProcessResult r = Cli({"--help"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out.rfind("Usage: vantrel-cli [options] STORE...", 0), 0u) << r.out;
    r = Cli({"--version"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "vantrel-cli " VANTREL_VERSION "\n");
}

TEST(CliJson, MissingSourceStreamsTheEngineEventsAndFails) {
    TempDir dir;
    const std::string source = dir.File("gone.dbx");
    const ProcessResult r = Cli({"--json", source});
    EXPECT_EQ(r.exitCode, 1);
    const std::string error =
        "Error 1: Cannot open the file to be repaired. " + source + " was not found.";
    const std::vector<std::string> want = {
        R"({"event":"progress","value":0})",
        R"({"event":"source_file","text":")" + source + R"("})",
        R"({"event":"error","text":")" + error + R"("})",
        R"({"event":"message_box","text":")" + error + R"("})",
        R"({"event":"progress","value":100})",
        R"({"result":0})",
    };
    EXPECT_EQ(SplitLines(r.out), want);
    // The message box has no one to click OK: it is a notice on stderr.
    EXPECT_NE(r.err.find("notice: " + error), std::string::npos) << r.err;
}

TEST(CliJson, LockedSourceIsErrorSevenWithEscapedLineBreaks) {
    TempDir dir;
    const std::string source = dir.Write("Inbox.dbx", std::string(1024, '\0'));
    WriteLockHolder writer(source);
    ASSERT_TRUE(writer.Held());
    const ProcessResult r = Cli({"--json", source, "-o", dir.File("out")});
    writer.Release();
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.out.find(R"({"event":"error","text":"Error 7: Share violation when opening the source )"
                         R"(file 'Inbox.dbx'.\r\nPlease close any other applications accessing the )"
                         R"(file and try again.\r\nIf this still)"),
              std::string::npos)
        << r.out;
    EXPECT_EQ(r.out.find("report_columns"), std::string::npos);
}

TEST(CliLog, FailedRepairLogsHeaderErrorBlockTrailerAndResult) {
    TempDir dir;
    const std::string source = dir.File("gone.dbx");
    const ProcessResult r = Cli({source});
    EXPECT_EQ(r.exitCode, 1);
    const std::vector<std::string> lines = SplitLines(r.out);
    const std::string error = "Error 1: Cannot open the file to be repaired. " + source + " was not found.";
    const std::vector<std::string> want = {
        "Start repair process ...",
        kSeparator,
        "File to be repaired: '" + source + "'; File size: 0 bytes",
        "Output recovered messages to: '" + dir.File("gone_recovered/") + "'",
        kSeparator,
        kSeparator,
        error,
        kSeparator,
        kSeparator,
        "CONSUMED",
        kSeparator,
        "Repair process completes.",
        kSeparator,
        "Fail to repair file '" + source + "'!",
    };
    ASSERT_EQ(lines.size(), want.size()) << r.out;
    for (size_t i = 0; i < want.size(); ++i) {
        if (want[i] == "CONSUMED")
            EXPECT_TRUE(std::regex_match(lines[i], std::regex(R"(Consumed time: 0 day\(s\) 0 hour\(s\) 0 )"
                                                              R"(minute\(s\) \d+ second\(s\) \d+ millisecond\(s\)\.)")))
                << lines[i];
        else
            EXPECT_EQ(lines[i], want[i]) << "line " << i;
    }
    EXPECT_TRUE(std::filesystem::is_directory(dir.File("gone_recovered")));
}

TEST(CliLog, DefaultOutputDirectories) {
    TempDir dir;
    std::filesystem::create_directories(dir.File("mail"));
    std::filesystem::create_directories(dir.File("mail.old"));
    dir.Write("mail/Inbox.dbx", std::string(1024, '\0'));
    dir.Write("mail.old/Inbox", std::string(1024, '\0'));
    struct Case {
        std::string source;  // relative to the temporary folder, as typed
        std::string output;
    };
    const Case cases[] = {
        {"mail/Inbox.dbx", "mail/Inbox_recovered/"},
        {"mail.old/Inbox", "mail.old/Inbox_recovered/"},
        {"mail/../mail/Inbox.dbx", "mail/Inbox_recovered/"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.source);
        const ProcessResult r = Cli({c.source}, dir.Path());
        EXPECT_NE(r.out.find("Output recovered messages to: '" + dir.File(c.output) + "'"), std::string::npos)
            << r.out;
        EXPECT_TRUE(std::filesystem::is_directory(dir.File(c.output)));
    }
}

TEST(CliLog, OutputThatCannotBeCreatedAbortsWithoutCallingTheEngine) {
    TempDir dir;
    const std::string source = dir.Write("Inbox.dbx", "x");
    dir.Write("file", "not a directory");
    const std::string output = dir.File("file/out");
    ProcessResult r = Cli({source, "-o", output});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(SplitLines(r.out), std::vector<std::string>{"Abort repairing file 'Inbox.dbx'."});
    EXPECT_NE(r.err.find("Cannot create the directory '" + output + "'!"), std::string::npos) << r.err;

    r = Cli({"--json", source, "-o", output});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out.find("\"event\""), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(R"({"skipped":")" + source + "\""), std::string::npos) << r.out;
}

TEST(CliLog, SeveralSourcesRunAsABatch) {
    TempDir dir;
    const std::string a = dir.File("a.dbx");  // missing: the engine reports it
    dir.Write("file", "x");
    const std::string b = dir.File("file/b.mbx");  // its default directory cannot be made
    const ProcessResult r = Cli({a, b});
    EXPECT_EQ(r.exitCode, 1);
    const std::vector<std::string> lines = SplitLines(r.out);
    ASSERT_GE(lines.size(), 5u) << r.out;
    EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + 5),
              (std::vector<std::string>{"Start batch repair process ...", kSeparator,
                                        "Total file(s) to be repaired: 2.", kSeparator, ""}));
    EXPECT_NE(r.out.find("Fail to repair file '" + a + "'!\n" + kSeparator + "\n\n"), std::string::npos);
    EXPECT_NE(r.out.find(kSeparator + "\nSkip repairing file 'b.mbx'.\n" + kSeparator + "\n\n"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("Batch repair process completes.\n" + kSeparator + "\n0 file(s) repaired successfully.\n"),
              std::string::npos)
        << r.out;
}

}  // namespace
