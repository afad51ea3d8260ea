// The recovered-message writer: output folders with their per-directory
// limit, staging files, subject-based unique names, the message's log block,
// the copy into place and the report row.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/file.h"
#include "state.h"

namespace pyxol {

struct OutputFolder {
    std::u16string baseDirectory;
    std::u16string currentDirectory;
    uint32_t entryCount = 0;
};

// Path operations on UTF-16 paths with "/" as the separator. The extension
// is the text from the last "." when no "/" follows it.
std::u16string AddBackslash(const std::u16string& path);  // appends "/" unless present
std::u16string PathExtension(const std::u16string& path);
std::u16string PathWithoutExtension(const std::u16string& path);
std::u16string PathDirectory(const std::u16string& path);  // up to and including the last "/"
std::u16string PathName(const std::u16string& path);       // after the last "/"
std::u16string PathTitle(const std::u16string& path);      // the name without its extension
std::u16string SanitizeFileName(const std::u16string& text);
std::u16string LimitPathLength(const std::u16string& path);
std::u16string MakeUniquePath(const std::u16string& path);
// Probe: creates the file (never over an existing one) and deletes it again.
// Names holding a control character (0x00-0x1F) are refused.
bool CanCreateFile(const std::u16string& path);
std::u16string BuildMessagePath(const std::u16string& directory, const std::u16string& subject,
                                uint32_t messageNumber);

class CMessageWriter {
public:
    CMessageWriter(CDBXFile5& state) : m_state(state) {}

    void SetUpOutputFolder(const std::u16string& fullOutputDir);
    // A fresh staging file open for writing, or nullptr after error 4.
    std::unique_ptr<CFile> OpenStagingFile(std::u16string& stagingPath);
    void DeliverMessage(const std::u16string& stagingPath, uint32_t messageNumber, uint32_t size);

    const OutputFolder& Folder() const { return m_folder; }

private:
    CDBXFile5& m_state;
    OutputFolder m_folder;
};

// "Recovered_Msg<n>" from the sub-directory counter shared by every call in
// the process, which it then raises.
std::u16string NextSubDirectoryName();

// Test seam: makes OpenStagingFile open its file through objects from
// `factory` (a CFile subclass that fails writes, say); nullptr restores CFile.
using StagingFileFactory = std::unique_ptr<CFile> (*)();
void SetStagingFileFactoryForTesting(StagingFileFactory factory);

}  // namespace pyxol
