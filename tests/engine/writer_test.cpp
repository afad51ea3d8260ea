// The message writer: file names from subjects, the path rules, rollover into
// Recovered_Msg<n> sub-directories, and the subject search itself.
#include <gtest/gtest.h>

#include <filesystem>

#include "recording_host.h"
#include "scanners/hashtable.h"
#include "state.h"
#include "storegen/storegen.h"
#include "subject.h"
#include "temp_dir.h"
#include "writer.h"

namespace fs = std::filesystem;
using namespace vantrel::test;
using pyxol::BuildMessagePath;

namespace {

std::string Name(const std::u16string& path) { return fs::path(U8(path)).filename().string(); }

TEST(MessagePath, NamesFromSubjects) {
    TempDir dir;
    const std::u16string d = U16(dir.Path());
    struct Case { const char16_t* subject; uint32_t number; const char* name; };
    const Case cases[] = {
        {u"Hello", 1, "Hello.eml"},
        {u"Hello", 2, "Hello(1).eml"},
        {u"Hello", 3, "Hello(2).eml"},
        {u"Q&A: 1/2", 4, "Q&A_ 1_2.eml"},
        {u"report.pdf", 5, "report.pdf.eml"},
        {u"report.pdf", 6, "report.pdf(1).eml"},
        {u"a\\b/c:d*e?f\"g<h>i|j", 7, "a_b_c_d_e_f_g_h_i_j.eml"},
        {u"Tab\there", 8, "Message 8.eml"},
        {u"Message 7", 9, "Message 7.eml"},
        {u"Caf\u00E9 \u00E0 la carte", 10, "Caf\u00C3\u00A9 \u00C3\u00A0 la carte.eml"},
        {u"Message 7", 11, "Message 7(1).eml"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(U8(c.subject));
        const std::u16string path = BuildMessagePath(d, c.subject, c.number);
        // Bytes of the UTF-8 name: Latin-1 subjects become two-byte characters.
        std::string expected = c.name;
        if (c.number == 10) expected = "Caf\xC3\xA9 \xC3\xA0 la carte.eml";
        EXPECT_EQ(Name(path), expected);
        EXPECT_EQ(U8(path).substr(0, dir.Path().size() + 1), dir.Path() + "/");
        dir.Write(Name(path), "taken");  // the next message finds it taken
    }
}

TEST(MessagePath, LongPathsAreCutTo245Characters) {
    // A long subject: the title is cut and ".eml" stays.
    const std::u16string longPath = pyxol::LimitPathLength(u"/tmp/" + std::u16string(300, u'x') + u".eml");
    EXPECT_EQ(longPath.size(), 245u);
    EXPECT_EQ(longPath.substr(241), u".eml");
    // A 242-character directory part and the name ab.eml: the cut reaches
    // into the extension and leaves "ab.".
    const std::u16string dir = u"/" + std::u16string(240, u'd') + u"/";
    ASSERT_EQ(dir.size(), 242u);
    const std::u16string cut = pyxol::LimitPathLength(dir + u"ab.eml");
    EXPECT_EQ(cut.size(), 245u);
    EXPECT_EQ(cut.substr(242), u"ab.");
    // A directory too long on its own leaves the path as it is.
    const std::u16string huge = u"/" + std::u16string(300, u'd') + u"/x.eml";
    EXPECT_EQ(pyxol::LimitPathLength(huge), huge);
    // Short paths are untouched.
    EXPECT_EQ(pyxol::LimitPathLength(u"/tmp/a.eml"), u"/tmp/a.eml");
}

TEST(MessagePath, PathParts) {
    struct Case { const char16_t* path; const char16_t* ext; const char16_t* dir; const char16_t* name; const char16_t* title; };
    const Case cases[] = {
        {u"/a/b.c/name.eml", u".eml", u"/a/b.c/", u"name.eml", u"name"},
        {u"/a/b.c/name", u"", u"/a/b.c/", u"name", u"name"},
        {u"name", u"", u"", u"name", u"name"},
        {u"/x/report.pdf.eml", u".eml", u"/x/", u"report.pdf.eml", u"report.pdf"},
        {u"/x/a:b.eml", u".eml", u"/x/", u"a:b.eml", u"a:b"},  // ":" is an ordinary character here
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(U8(c.path));
        EXPECT_EQ(pyxol::PathExtension(c.path), c.ext);
        EXPECT_EQ(pyxol::PathDirectory(c.path), c.dir);
        EXPECT_EQ(pyxol::PathName(c.path), c.name);
        EXPECT_EQ(pyxol::PathTitle(c.path), c.title);
    }
    EXPECT_EQ(pyxol::AddBackslash(u"/a"), u"/a/");
    EXPECT_EQ(pyxol::AddBackslash(u"/a/"), u"/a/");
}

TEST(MessagePath, CanCreateFileIsARealProbe) {
    TempDir dir;
    EXPECT_TRUE(pyxol::CanCreateFile(U16(dir.File("ok.eml"))));
    EXPECT_FALSE(fs::exists(dir.File("ok.eml")));  // deleted again
    EXPECT_FALSE(pyxol::CanCreateFile(U16(dir.File("tab\there.eml"))));
    EXPECT_FALSE(pyxol::CanCreateFile(U16(dir.File("no-such-dir/a.eml"))));
    EXPECT_FALSE(pyxol::CanCreateFile(U16(dir.File(std::string(300, 'n') + ".eml"))));
    // An existing file is never truncated or removed by the probe.
    dir.Write("kept.eml", "data");
    EXPECT_FALSE(pyxol::CanCreateFile(U16(dir.File("kept.eml"))));
    EXPECT_EQ(ReadFileBytes(dir.File("kept.eml")), "data");
}

// Repairs a store of `messages` small messages into `out` with the rollover
// options on.
RecordingHost RepairWithLimit(const TempDir& dir, const std::string& out, uint32_t messages, uint16_t limit) {
    storegen::Options options;
    options.kind = storegen::StoreKind::Mbx;
    options.messageCount = messages;
    options.maxMessageSize = 1500;
    const storegen::Store store = storegen::Generate(options);
    const std::string source = dir.Write(out + ".mbx", store.bytes);
    RecordingHost host;
    host.recordStopQueries = false;
    host.recordRepeatedProgress = false;
    RepairOptions ro{};
    ro.UseNewDir = -1;
    ro.MaxMsgCount = limit;
    RunRepairCall(U16(source), U16(dir.File(out)), ro, &host);
    return host;
}

size_t EmlCount(const std::string& dir) {
    size_t n = 0;
    for (const auto& e : fs::directory_iterator(dir)) n += e.is_regular_file();
    return n;
}

TEST(Rollover, LimitTwoOpensSubDirectoriesAndTheCounterContinues) {
    TempDir dir;
    // The counter is process-wide: learn where it stands.
    const unsigned k = static_cast<unsigned>(std::stoul(U8(pyxol::NextSubDirectoryName()).substr(13))) + 1;
    const auto sub = [&](const std::string& out, unsigned n) { return dir.File(out) + "/Recovered_Msg" + std::to_string(n); };

    fs::create_directories(dir.File("first"));
    RecordingHost host = RepairWithLimit(dir, "first", 6, 2);
    EXPECT_EQ(EmlCount(dir.File("first")), 2u);
    EXPECT_EQ(EmlCount(sub("first", k)), 2u);
    EXPECT_EQ(EmlCount(sub("first", k + 1)), 2u);
    // The limit line, the sub-directory line and a separator come right
    // before the log blocks of messages 3 and 5.
    const auto lines = host.Texts(EVENT_LOG_LINE);
    for (unsigned m : {3u, 5u}) {
        SCOPED_TRACE(m);
        const auto start = std::find(lines.begin(), lines.end(), U16("Start processing message (No." + std::to_string(m) + ") ..."));
        ASSERT_NE(start, lines.end());
        ASSERT_GE(start - lines.begin(), 3);
        const std::string name = "Recovered_Msg" + std::to_string(m == 3 ? k : k + 1);
        EXPECT_EQ(start[-3], u"Count of messages in current directory reaches the limit 2.");
        EXPECT_EQ(start[-2], U16("Create a new sub directory " + name + " under " + dir.File("first") +
                                 " to accommodate the remaining recovered messages."));
        EXPECT_EQ(start[-1], u"-");
    }
    // The log block of a message, as the host sees it.
    const auto first = std::find(lines.begin(), lines.end(), u"Start processing message (No.1) ...");
    ASSERT_LE(first + 6, lines.end());
    EXPECT_EQ(first[1], u"Collect detailed information ...");
    EXPECT_EQ(U8(first[2]).rfind("Message subject: ", 0), 0u);
    EXPECT_EQ(U8(first[3]).rfind("Message size: ", 0), 0u);
    EXPECT_EQ(first[4], u"Finish processing message (No.1).");
    EXPECT_EQ(first[5], u"-");

    // A second repair continues the numbering; an output folder that already
    // holds two entries sends message 1 to a sub-directory at once.
    fs::create_directories(dir.File("second/a"));
    dir.Write("second/b.txt", "b");
    RepairWithLimit(dir, "second", 3, 2);
    EXPECT_EQ(EmlCount(dir.File("second")), 1u);  // just b.txt
    EXPECT_EQ(EmlCount(sub("second", k + 2)), 2u);
    EXPECT_EQ(EmlCount(sub("second", k + 3)), 1u);

    // An existing sub-directory brings its entries: Recovered_Msg<k+4>
    // already holding two takes message 1 (one rollover per message) and
    // message 2 rolls over again, to Recovered_Msg<k+5>.
    fs::create_directories(sub("third", k + 4));
    dir.Write("third/Recovered_Msg" + std::to_string(k + 4) + "/x", "x");
    dir.Write("third/Recovered_Msg" + std::to_string(k + 4) + "/y", "y");
    fs::create_directories(dir.File("third/a"));
    dir.Write("third/b", "b");
    RepairWithLimit(dir, "third", 2, 2);
    EXPECT_EQ(EmlCount(sub("third", k + 4)), 3u);
    EXPECT_EQ(EmlCount(sub("third", k + 5)), 1u);
}

TEST(Rollover, WithoutNewDirEverythingStaysInTheOutputFolder) {
    TempDir dir;
    fs::create_directories(dir.File("flat"));
    storegen::Options options;
    options.kind = storegen::StoreKind::Mbx;
    options.messageCount = 5;
    const storegen::Store store = storegen::Generate(options);
    const std::string source = dir.Write("flat.mbx", store.bytes);
    RecordingHost host;
    host.recordStopQueries = false;
    RepairOptions ro{};
    ro.MaxMsgCount = 1;
    RunRepairCall(U16(source), U16(dir.File("flat")), ro, &host);
    EXPECT_EQ(EmlCount(dir.File("flat")), 5u);
}

// ---- subjects ------------------------------------------------------------

TEST(Subject, FindSubjectTable) {
    struct Case { std::string_view text; const char16_t* subject; };
    const Case cases[] = {
        {"Subject: Hello world\r\n", u"Hello world"},
        {"SUBJECT:Hello\r\n", u"Hello"},
        {"subject :   Hello   \r\n", u"Hello"},
        {"X-Subject-Code: 12\r\nSubject: real\r\n", u"12"},
        {"Subject:\r\nSubject: later\r\n", u""},          // settles the search, empty
        {"Subject:   \t \r\nSubject: later\r\n", u""},
        {"Subject\r\nSubject: second\r\n", u"second"},     // the word alone is passed over
        {"From: a\r\nTo: b\r\n\r\nbody\r\n", u""},
        {"Subject: first part\r\n\tsecond part\r\n", u"first part"},
        {"Subject: =?iso-8859-1?Q?Gr=FC=DFe?=\r\n", u"=?iso-8859-1?Q?Gr=FC=DFe?="},
        {"Subject: Caf\xE9 \xA0\r\n", u"Caf\u00E9"},       // 0xA0 is white space at the ends
        {"From: x\r\n\x1ASubject: hidden\r\n", u""},       // 0x1A ends the text
        {"Subject: lone\rCR\r\n", u"lone\rCR"},            // a lone CR stays in the line
        {"Subject: end\r\r\n", u"end"},                    // CR before CR LF is white space
        {"Subject: no line feed", u"no line feed"},
        {std::string_view("Subject: nul\0after\r\n", 20), u"nul"},
        {"Re: about the subject: this\r\n", u"this"},     // anywhere in the line
        {"Subjects: many\r\n", u"many"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.text));
        EXPECT_EQ(pyxol::FindSubject(c.text), c.subject);
    }
}

TEST(Subject, ReadSubjectFromFileWithFallback) {
    TempDir dir;
    // A line far longer than any read chunk is read whole.
    const std::string longLine = "X-Pad: " + std::string(100000, 'p') + " Subject: deep\r\n";
    EXPECT_EQ(pyxol::ReadSubject(U16(dir.Write("long.eml", longLine)), 3), u"deep");
    EXPECT_EQ(pyxol::ReadSubject(U16(dir.Write("none.eml", "From: a\r\n\r\nbody")), 7), u"Message 7");
    EXPECT_EQ(pyxol::ReadSubject(U16(dir.Write("empty.eml", "")), 8), u"Message 8");
    EXPECT_EQ(pyxol::ReadSubject(U16(dir.File("missing.eml")), 9), u"Message 9");
}

// ---- the hash table whose order numbers the messages -------------------------

TEST(BlockHashMap, IterationOrderFollowsBucketsAndInsertion) {
    pyxol::BlockHashMap map;
    map.InitHashTable(7);
    // (key >> 4) % 7: 0x00 and 0x70 share bucket 0, 0x10 is bucket 1.
    for (uint32_t key : {0x10u, 0x00u, 0x70u, 0x0Fu}) map.SetAt(key, key + 1);
    map.SetAt(0x00, 99);  // an existing key keeps its place
    std::vector<std::pair<uint32_t, uint32_t>> seen;
    map.ForEach([&](uint32_t k, uint32_t v) { seen.emplace_back(k, v); });
    const std::vector<std::pair<uint32_t, uint32_t>> expected = {{0x0F, 0x10}, {0x70, 0x71}, {0x00, 99}, {0x10, 0x11}};
    EXPECT_EQ(seen, expected);
    EXPECT_TRUE(map.RemoveKey(0x70));
    EXPECT_FALSE(map.RemoveKey(0x70));
    seen.clear();
    map.ForEach([&](uint32_t k, uint32_t) { seen.emplace_back(k, 0); });
    EXPECT_EQ(seen, (std::vector<std::pair<uint32_t, uint32_t>>{{0x0F, 0}, {0x00, 0}, {0x10, 0}}));
    EXPECT_EQ(map.GetCount(), 3u);
    // Many entries (blocks of ten) survive removal and reinsertion.
    for (uint32_t k = 0; k < 1000; ++k) map.SetAt(k * 16 + 0x100000, k);
    for (uint32_t k = 0; k < 1000; k += 2) map.RemoveKey(k * 16 + 0x100000);
    uint32_t value = 0;
    EXPECT_TRUE(map.Lookup(999 * 16 + 0x100000, &value));
    EXPECT_EQ(value, 999u);
    EXPECT_FALSE(map.Lookup(998 * 16 + 0x100000));
    EXPECT_EQ(map.GetCount(), 503u);
    map.RemoveAll();
    EXPECT_EQ(map.GetCount(), 0u);
    EXPECT_FALSE(map.Lookup(0x10));
}

}  // namespace
