// The recovered-message writer: where a message goes, what it is called, its
// log block and report row, and the copy from the staging file into place.
#include "writer.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

#include "platform/fs.h"
#include "platform/strings.h"
#include "subject.h"

namespace pyxol {

namespace {

// Longest output path, in UTF-16 characters.
constexpr size_t kMaxPathChars = 245;

// Numbers the Recovered_Msg<n> sub-directories of every call in the process.
uint32_t g_nextSubDirectory = 1;

StagingFileFactory g_stagingFactory = nullptr;

// Index of the last character of `text` that is in `set`, or npos.
size_t FindLastOf(const std::u16string& text, std::u16string_view set) {
    return text.find_last_of(set.data(), std::u16string::npos, set.size());
}

// Paths on this system: "/" separates directories; a name may hold ":".
constexpr std::u16string_view kExtensionStops = u"./";

}  // namespace

std::u16string AddBackslash(const std::u16string& path) {
    if (!path.empty() && path.back() == u'/') return path;
    return path + u'/';
}

std::u16string PathExtension(const std::u16string& path) {
    const size_t i = FindLastOf(path, kExtensionStops);
    return i != std::u16string::npos && path[i] == u'.' ? path.substr(i) : std::u16string();
}

std::u16string PathWithoutExtension(const std::u16string& path) {
    const size_t i = FindLastOf(path, kExtensionStops);
    return i != std::u16string::npos && path[i] == u'.' ? path.substr(0, i) : path;
}

std::u16string PathDirectory(const std::u16string& path) {
    const size_t i = path.rfind(u'/');
    return i == std::u16string::npos ? std::u16string() : path.substr(0, i + 1);
}

std::u16string PathName(const std::u16string& path) {
    const size_t i = path.rfind(u'/');
    return i == std::u16string::npos ? path : path.substr(i + 1);
}

std::u16string PathTitle(const std::u16string& path) { return PathWithoutExtension(PathName(path)); }

std::u16string SanitizeFileName(const std::u16string& text) {
    std::u16string out = text;
    for (char16_t& c : out) {
        switch (c) {
        case u'\\': case u'/': case u':': case u'*': case u'?':
        case u'"': case u'<': case u'>': case u'|':
            c = u'_';
            break;
        default:
            break;
        }
    }
    return out;
}

std::u16string LimitPathLength(const std::u16string& path) {
    if (path.size() <= kMaxPathChars) return path;
    const size_t excess = path.size() - kMaxPathChars;
    const std::u16string directory = AddBackslash(PathDirectory(path));
    const std::u16string name = PathName(path);
    const std::u16string title = PathTitle(path);
    const std::u16string extension = PathExtension(name);
    if (title.size() >= excess) return directory + title.substr(0, title.size() - excess) + extension;
    if (name.size() >= excess) return directory + name.substr(0, name.size() - excess);
    return path;  // the directory alone is too long
}

std::u16string MakeUniquePath(const std::u16string& path) {
    if (!PathEntryExists(path)) return path;
    const std::u16string stem = PathWithoutExtension(path);
    const std::u16string extension = PathExtension(path);
    for (uint32_t n = 1;; ++n) {
        std::u16string candidate = stem + FormatU16(u"(%lu)", n) + extension;
        if (!PathEntryExists(candidate)) return candidate;
    }
}

bool CanCreateFile(const std::u16string& path) {
    // Control characters and NUL make poor names even where the file system
    // takes them; refusing them gives such messages their numbered name.
    for (char16_t c : PathName(path))
        if (c < 0x20) return false;
    const std::string native = ToUtf8(path);
    // O_EXCL: the probe never truncates or deletes a file it did not create.
    const int fd = ::open(native.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) return false;
    ::close(fd);
    ::unlink(native.c_str());
    return true;
}

std::u16string BuildMessagePath(const std::u16string& directory, const std::u16string& subject,
                                uint32_t messageNumber) {
    std::u16string path = AddBackslash(directory) + SanitizeFileName(subject) + u".eml";
    path = LimitPathLength(path);
    path = MakeUniquePath(path);
    if (!CanCreateFile(path))
        path = MakeUniquePath(AddBackslash(directory) + FormatU16(EngineText(15), messageNumber) + u".eml");
    return path;
}

std::u16string NextSubDirectoryName() { return FormatU16(EngineText(21), g_nextSubDirectory++); }

void SetStagingFileFactoryForTesting(StagingFileFactory factory) { g_stagingFactory = factory; }

void CMessageWriter::SetUpOutputFolder(const std::u16string& fullOutputDir) {
    m_folder.baseDirectory = fullOutputDir;
    m_folder.currentDirectory = fullOutputDir;
    m_folder.entryCount = CountDirectoryEntries(fullOutputDir);
}

std::unique_ptr<CFile> CMessageWriter::OpenStagingFile(std::u16string& stagingPath) {
    stagingPath = CreateTempFileName(GetTempDirectory(), u"VNL");
    std::unique_ptr<CFile> file;
    if (!stagingPath.empty()) {
        file = g_stagingFactory ? g_stagingFactory() : std::make_unique<CFile>();
        if (!file->Open(stagingPath, CFile::modeCreate | CFile::modeWrite | CFile::shareExclusive | CFile::typeBinary,
                        nullptr)) {
            file.reset();
            DeleteFileAt(stagingPath);
        }
    }
    if (!file) {
        stagingPath.clear();
        m_state.m_pCommunicator->SendResourceError(16);
    }
    return file;
}

void CMessageWriter::DeliverMessage(const std::u16string& stagingPath, uint32_t messageNumber, uint32_t size) {
    const CCommunicator& host = *m_state.m_pCommunicator;
    const COptions& options = m_state.m_options;

    if (m_folder.entryCount >= options.MaxMsgCount && options.UseNewDir) {
        const std::u16string name = NextSubDirectoryName();
        m_folder.currentDirectory = AddBackslash(m_folder.baseDirectory) + name;
        CreateDirectoryAt(m_folder.currentDirectory);  // an existing one brings its entries
        m_folder.entryCount = CountDirectoryEntries(m_folder.currentDirectory);
        host.SendResourceFormatted(EVENT_LOG_LINE, 22, static_cast<uint32_t>(options.MaxMsgCount));
        host.SendResourceFormatted(EVENT_LOG_LINE, 23, name.c_str(), m_folder.baseDirectory.c_str());
        host.Send(EVENT_LOG_LINE, u"-");
    }

    const std::u16string subject = ReadSubject(stagingPath, messageNumber);
    const std::u16string outputPath = BuildMessagePath(m_folder.currentDirectory, subject, messageNumber);

    host.SendResourceFormatted(EVENT_LOG_LINE, 9, messageNumber);
    host.Send(EVENT_LOG_LINE, u"Collect detailed information ...");
    const std::u16string subjectLine = u"Message subject: " + subject;
    host.Send(EVENT_LOG_LINE, subjectLine.c_str());
    host.SendResourceFormatted(EVENT_LOG_LINE, 14, size);
    host.SendResourceFormatted(EVENT_LOG_LINE, 13, messageNumber);
    host.Send(EVENT_LOG_LINE, u"-");

    if (!CopyFileReplacing(stagingPath, outputPath)) host.SendResourceError(18);

    host.SendFormatted(EVENT_REPORT_CELL, u"%lu", messageNumber);
    host.Send(EVENT_REPORT_CELL, subject.c_str());

    DeleteFileAt(stagingPath);
    ++m_folder.entryCount;
}

}  // namespace pyxol
