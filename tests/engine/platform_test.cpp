// The platform layer: file-error texts and causes, strings, files and the
// file-system services, on real files.
#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/exceptions.h"
#include "platform/file.h"
#include "platform/fs.h"
#include "platform/strings.h"
#include "recording_host.h"
#include "state.h"
#include "temp_dir.h"
#include "write_lock.h"

using namespace pyxol;
using vantrel::test::ReadFileBytes;
using vantrel::test::TempDir;
using vantrel::test::U16;

namespace {

TEST(FileException, MessageNamesTheFileOrAnUnnamedFile) {
    std::u16string text;
    ASSERT_TRUE(CFileException(kFileNotFound, ENOENT, u"/x/in.dbx").GetErrorMessage(text));
    EXPECT_EQ(text, u"/x/in.dbx was not found.");
    ASSERT_TRUE(CFileException(kSharingViolation, EAGAIN, u"").GetErrorMessage(text));
    EXPECT_EQ(text, u"Encountered a sharing violation while accessing an unnamed file.");
    ASSERT_TRUE(CFileException(kBadSeek, EINVAL, u"f").GetErrorMessage(text));
    EXPECT_EQ(text, u"Seek failed on f");
    ASSERT_TRUE(CFileException(99, 0, u"f").GetErrorMessage(text));  // out of table
    EXPECT_EQ(text, u"An unknown error occurred while accessing f.");
}

TEST(FileException, ErrnoClassification) {
    const std::pair<int, int> cases[] = {
        {0, kNone},           {ENOENT, kFileNotFound},     {ENOTDIR, kBadPath},
        {ENAMETOOLONG, kBadPath}, {EMFILE, kTooManyOpenFiles}, {ENFILE, kTooManyOpenFiles},
        {EACCES, kAccessDenied},  {EPERM, kAccessDenied},   {EROFS, kAccessDenied},
        {EBADF, kInvalidFile},    {EIO, kHardIO},           {EAGAIN, kSharingViolation},
        {ENOSPC, kDiskFull},      {EDQUOT, kDiskFull},      {ENOLCK, kLockViolation},
        {EPROTO, kGeneric},
    };
    for (const auto& [err, cause] : cases) {
        SCOPED_TRACE(err);
        EXPECT_EQ(CFileException::OsErrorToCause(err), cause);
    }
}

TEST(FormatExceptionText, UsesTheRecordTextOrAFallback) {
    struct Silent : CException {
        bool GetErrorMessage(std::u16string&) const override { return false; }
    };
    EXPECT_EQ(FormatExceptionText(Silent(), 11), u"Error 2: General error. No error message is available.");
    EXPECT_EQ(FormatExceptionText(CFileException(kAccessDenied, EACCES, u"/s"), 10),
              u"Error 1: Cannot open the file to be repaired. Access to /s was denied.");
    EXPECT_EQ(FormatExceptionText(CMemoryException(), 11), u"Error 2: General error. Out of memory.");
}

TEST(EngineTexts, NumberedTextsAndUnknownIds) {
    EXPECT_EQ(std::u16string(EngineText(19)), u"Error 8: Invalid destination directory.");
    EXPECT_EQ(std::u16string(EngineText(17)), u"");
    EXPECT_EQ(FormatU16(EngineText(12), u"ScanDBXFile"), u"Error 3: Unknown error in ScanDBXFile.");
    EXPECT_EQ(FormatU16(EngineText(23), u"Recovered_Msg1", u"/out"),
              u"Create a new sub directory Recovered_Msg1 under /out to accommodate the remaining "
              u"recovered messages.");
}

TEST(Strings, Utf8RoundTripAndBadInput) {
    const std::u16string text = u"Gr\u00fc\u00dfe \u20ac \U0001F600";
    EXPECT_EQ(FromUtf8(ToUtf8(text)), text);
    EXPECT_EQ(ToUtf8(u"\u00e9"), "\xc3\xa9");
    EXPECT_EQ(FromUtf8("a\xff" "b"), u"a\ufffd" u"b");      // stray byte
    EXPECT_EQ(FromUtf8("\xc0\xaf"), u"\ufffd\ufffd");       // overlong "/"
    EXPECT_EQ(FromUtf8("\xe2\x82"), u"\ufffd\ufffd");       // cut short
    EXPECT_EQ(ToUtf8(std::u16string(1, char16_t(0xD800))), "\xef\xbf\xbd");  // lone surrogate
    EXPECT_EQ(FromLatin1("\xe9\x41"), u"\u00e9A");
}

TEST(Strings, Formatting) {
    EXPECT_EQ(FormatU16(u"No.%u size %lu of %d: %s 100%%", 7u, 4000000000u, -3, u"x"),
              u"No.7 size 4000000000 of -3: x 100%");
    EXPECT_EQ(FormatU16(u"%q stays, %s", u"y"), u"%q stays, y");
    EXPECT_EQ(FormatU16(u"end %"), u"end %");
}

TEST(FileSystem, FullPaths) {
    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    const std::u16string here = U16(cwd);
    const std::pair<std::u16string, std::u16string> cases[] = {
        {u"", u""},
        {u"/a/b/../c/./d", u"/a/c/d"},
        {u"/a//b/", u"/a/b/"},
        {u"/..", u"/"},
        {u"out", here == u"/" ? u"/out" : here + u"/out"},
    };
    for (const auto& [in, want] : cases) {
        SCOPED_TRACE(vantrel::test::U8(in));
        EXPECT_EQ(GetFullPath(in), want);
    }
}

TEST(FileSystem, TempFilesCopiesAndEntries) {
    TempDir dir;
    const std::u16string base = U16(dir.Path());
    const std::u16string temp = CreateTempFileName(base, u"vtr");
    ASSERT_FALSE(temp.empty());
    EXPECT_EQ(temp.rfind(base + u"/vtr", 0), 0u);
    EXPECT_TRUE(PathEntryExists(temp));
    EXPECT_NE(CreateTempFileName(base, u"vtr"), temp);
    EXPECT_TRUE(CreateTempFileName(U16(dir.File("nowhere")), u"vtr").empty());
    EXPECT_EQ(GetTempDirectory().back(), u'/');

    const std::string from = dir.Write("from.eml", std::string(100000, 'x') + "end");
    const std::string to = dir.Write("to.eml", std::string(200000, 'y'));
    EXPECT_TRUE(CopyFileReplacing(U16(from), U16(to)));
    EXPECT_EQ(ReadFileBytes(to), ReadFileBytes(from));
    EXPECT_FALSE(CopyFileReplacing(U16(dir.File("missing")), U16(to)));
    EXPECT_EQ(ReadFileBytes(to), ReadFileBytes(from));  // a failed copy leaves the target alone

    ASSERT_TRUE(CreateDirectoryAt(U16(dir.File("sub"))));
    EXPECT_FALSE(CreateDirectoryAt(U16(dir.File("sub"))));
    ASSERT_EQ(symlink("dangling-target", dir.File("link").c_str()), 0);
    EXPECT_TRUE(PathEntryExists(U16(dir.File("link"))));  // the link itself counts
    EXPECT_EQ(CountDirectoryEntries(base), 6u);  // two temp files, from, to, sub, link
    EXPECT_TRUE(DeleteFileAt(temp));
    EXPECT_FALSE(PathEntryExists(temp));
    EXPECT_EQ(CountDirectoryEntries(U16(dir.File("missing"))), 0u);
}

TEST(File, DenyWritersFailsOnlyAgainstAWriteLock) {
    TempDir dir;
    const std::string path = dir.Write("locked.dbx", "data");

    CFile reader1;
    CFileException error;
    ASSERT_TRUE(reader1.Open(U16(path), CFile::modeRead | CFile::shareDenyWrite, &error));
    reader1.Close();

    WriteLockHolder writer(path);
    ASSERT_TRUE(writer.Held());
    CFile reader2;
    EXPECT_FALSE(reader2.Open(U16(path), CFile::modeRead | CFile::shareDenyWrite, &error));
    EXPECT_EQ(error.m_cause, kSharingViolation);
    EXPECT_EQ(error.m_strFileName, U16(path));
    // Without the sharing flag the same file opens.
    EXPECT_TRUE(reader2.Open(U16(path), CFile::modeRead, &error));
}

TEST(File, PlainOperations) {
    TempDir dir;
    const std::u16string path = U16(dir.File("plain.bin"));
    CFile file;
    CFileException error;
    ASSERT_TRUE(file.Open(path, CFile::modeCreate | CFile::modeReadWrite, &error));
    EXPECT_EQ(file.GetFilePath(), path);
    file.Write("hello world", 11);
    EXPECT_EQ(file.GetLength(), 11u);
    EXPECT_EQ(file.Seek(-5, CFile::end), 6u);
    char buf[8] = {};
    EXPECT_EQ(file.Read(buf, 8), 5u);
    EXPECT_STREQ(buf, "world");
    file.SetLength(5);
    EXPECT_EQ(file.GetLength(), 5u);
    EXPECT_THROW(file.Seek(-100, CFile::begin), CFileException);
    file.Close();
    EXPECT_THROW(file.GetLength(), CFileException);
}

}  // namespace
