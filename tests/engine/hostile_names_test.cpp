// Hostile subjects and links: whatever a message's subject holds and whatever
// the output folder already holds, each message lands as a regular file
// directly in the output folder (or its Recovered_Msg<n> folder), never
// outside it, never through a symbolic link, never over a directory.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "recording_host.h"
#include "temp_dir.h"
#include "writer.h"

namespace fs = std::filesystem;
using namespace vantrel::test;

namespace {

void Put32(std::string& s, uint32_t v) {
    for (int i = 0; i < 4; ++i) s.push_back(static_cast<char>(v >> (8 * i)));
}

// An .mbx store of one record per text.
std::string MbxStore(const std::vector<std::string>& texts) {
    std::string store(16, '\0');
    uint32_t n = 0;
    for (const std::string& text : texts) {
        store += std::string("\x00\x7f\x00\x7f", 4);
        Put32(store, ++n);
        Put32(store, 16 + static_cast<uint32_t>(text.size()));
        Put32(store, static_cast<uint32_t>(text.size()));
        store += text;
    }
    return store;
}

std::string Message(const std::string& subject) { return "From: a@b\r\nSubject: " + subject + "\r\n\r\nbody\r\n"; }

struct Repaired {
    int32_t result = 0;
    RecordingHost host;
};

void RepairInto(Repaired& run, const std::string& source, const std::string& out, RepairOptions options = {}) {
    run.host.recordStopQueries = false;
    run.host.recordRepeatedProgress = false;
    run.result = RunRepairCall(U16(source), U16(out), options, &run.host);
}

bool IsLink(const std::string& path) { return fs::is_symlink(fs::symlink_status(path)); }

TEST(HostileNames, SubjectsNeverLeaveTheFolder) {
    struct Case {
        std::string subject;  // as stored (bytes)
        std::string file;     // file name written (UTF-8)
        std::u16string row;   // subject in the report row
    };
    const std::string longName(1000, 'L');
    const std::string latin(300, '\xe9');
    const std::vector<Case> cases = {
        {"../../escape", ".._.._escape.eml", u"../../escape"},
        {"/etc/passwd", "_etc_passwd.eml", u"/etc/passwd"},
        {"a\\b\\..\\c", "a_b_.._c.eml", u"a\\b\\..\\c"},
        {"x/../../../y", "x_.._.._.._y.eml", u"x/../../../y"},
        {std::string("nul\0/../byte", 12), "nul.eml", u"nul"},  // the subject ends at NUL
        {"tab\there", "Message 6.eml", u"tab\there"},             // control characters: numbered name
        {"\x1b[31mred", "Message 7.eml", u"\x1b[31mred"},
        {".", "..eml", u"."},
        {"..", "...eml", u".."},
        {"\xe9t\xe9 \xff", "\xc3\xa9t\xc3\xa9 \xc3\xbf.eml", u"\u00e9t\u00e9 \u00ff"},
        {latin, "Message 11.eml", std::u16string(300, u'\u00e9')},  // too long in UTF-8 bytes
        {"   ", "Message 12.eml", u"Message 12"},                     // nothing after trimming
    };
    std::vector<std::string> texts;
    for (const Case& c : cases) texts.push_back(Message(c.subject));
    texts.push_back(Message(longName));
    TempDir dir;
    const std::string source = dir.Write("hostile.mbx", MbxStore(texts));
    const std::string out = dir.File("out");
    fs::create_directories(out);
    Repaired run;
    RepairInto(run, source, out);
    EXPECT_EQ(run.result, 1);
    EXPECT_EQ(run.host.Count(EVENT_ERROR), 0u) << run.host.Dump().substr(0, 3000);
    const auto rows = run.host.ReportRows();
    ASSERT_EQ(rows.size(), cases.size() + 2);
    std::set<std::string> expected;
    for (size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(cases[i].file);
        EXPECT_EQ(rows[i + 1][1], cases[i].row);
        EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(out + "/" + cases[i].file)));
        EXPECT_EQ(ReadFileBytes(out + "/" + cases[i].file), texts[i]);
        expected.insert(cases[i].file);
    }
    // 1,000 characters: cut so the whole path has 245 characters, ".eml" kept.
    const std::string cut = std::string(245 - out.size() - 1 - 4, 'L') + ".eml";
    EXPECT_EQ(ReadFileBytes(out + "/" + cut), texts.back());
    expected.insert(cut);
    const auto listed = ListDirectory(out);
    EXPECT_EQ(std::set<std::string>(listed.begin(), listed.end()), expected);
    // Nothing beside the output folder.
    EXPECT_EQ(ListDirectory(dir.Path()), (std::vector<std::string>{"hostile.mbx", "out"}));
}

// Links and directories that hold a message's name, before the repair and
// appearing while it runs (between naming the file and copying it).
TEST(HostileNames, LinksAreNeverWrittenThroughAndDirectoriesNeverReplaced) {
    TempDir dir;
    const std::string source = dir.Write("links.mbx", MbxStore({Message("Hello"), Message("Race"), Message("Dir"),
                                                                 Message("Dangling")}));
    const std::string out = dir.File("out");
    fs::create_directories(out);
    fs::create_directories(dir.File("outside"));
    const std::string victim = dir.Write("outside/victim.txt", "victim");
    fs::create_symlink(victim, out + "/Hello.eml");
    fs::create_symlink(dir.File("outside/new.eml"), out + "/Dangling.eml");
    Repaired run;
    run.host.onEvent = [&](const RecordedEvent& e) {
        // The message's name is settled when its log block is sent; its copy
        // follows. Put a link, or a directory, in its way.
        if (e.code != EVENT_LOG_LINE) return;
        if (e.text == u"Message subject: Race") fs::create_symlink(victim, out + "/Race.eml");
        if (e.text == u"Message subject: Dir") {
            fs::create_directories(out + "/Dir.eml");
            dir.Write("out/Dir.eml/inside", "kept");
        }
    };
    RepairInto(run, source, out);
    EXPECT_EQ(run.result, 1);
    EXPECT_EQ(run.host.Texts(EVENT_ERROR), std::vector<std::u16string>{u"Error 6: Cannot create message file."});
    EXPECT_EQ(run.host.ReportRows().size(), 5u);
    // Existing links keep their name and target; the message takes the next name.
    EXPECT_TRUE(IsLink(out + "/Hello.eml"));
    EXPECT_EQ(ReadFileBytes(out + "/Hello(1).eml"), Message("Hello"));
    EXPECT_TRUE(IsLink(out + "/Dangling.eml"));
    EXPECT_EQ(ReadFileBytes(out + "/Dangling(1).eml"), Message("Dangling"));
    EXPECT_FALSE(fs::exists(dir.File("outside/new.eml")));
    // A link that appeared is replaced by the message, its target untouched.
    EXPECT_FALSE(IsLink(out + "/Race.eml"));
    EXPECT_EQ(ReadFileBytes(out + "/Race.eml"), Message("Race"));
    EXPECT_EQ(ReadFileBytes(victim), "victim");
    // A directory that appeared stays as it was: error 6 for that message.
    EXPECT_EQ(ReadFileBytes(out + "/Dir.eml/inside"), "kept");
    EXPECT_EQ(ListDirectory(out + "/Dir.eml"), std::vector<std::string>{"inside"});
    // No half-made copies are left in the folder.
    for (const std::string& name : ListDirectory(out)) EXPECT_EQ(name.find(".vantrel-"), std::string::npos) << name;
    EXPECT_EQ(ListDirectory(dir.File("outside")), std::vector<std::string>{"victim.txt"});
}

// A link where the next Recovered_Msg<n> folder would be takes no message:
// the messages meant for it fail with error 6 and nothing reaches its target.
TEST(HostileNames, LinkInPlaceOfASubDirectoryTakesNothing) {
    TempDir dir;
    const std::string out = dir.File("out");
    fs::create_directories(out);
    fs::create_directories(dir.File("outside"));
    const std::u16string probe = pyxol::NextSubDirectoryName();  // takes one number
    const unsigned next = static_cast<unsigned>(std::stoul(U8(probe).substr(13))) + 1;
    fs::create_directory_symlink(dir.File("outside"), out + "/Recovered_Msg" + std::to_string(next));
    dir.Write("out/already-here", "x");  // the folder is at its limit of 1
    const std::string source = dir.Write("sub.mbx", MbxStore({Message("one"), Message("two")}));
    Repaired run;
    RepairOptions options{};
    options.UseNewDir = 1;
    options.MaxMsgCount = 1;
    RepairInto(run, source, out, options);
    EXPECT_EQ(run.result, 1);
    // Message 1 meets the link and fails; message 2 rolls over to a real folder.
    EXPECT_EQ(run.host.Texts(EVENT_ERROR), std::vector<std::u16string>{u"Error 6: Cannot create message file."});
    EXPECT_EQ(run.host.ReportRows().size(), 3u);
    EXPECT_TRUE(ListDirectory(dir.File("outside")).empty());
    EXPECT_EQ(ReadFileBytes(out + "/Recovered_Msg" + std::to_string(next + 1) + "/two.eml"), Message("two"));
}

}  // namespace
