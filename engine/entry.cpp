// RepairSourceFile and the driver of one repair call.
#include "entry.h"

#include <cstring>
#include <new>

#include "platform/fs.h"
#include "platform/strings.h"
#include "reader.h"
#include "scanners/scanners.h"
#include "writer.h"

namespace pyxol {

namespace {

void SendProgress(const CCommunicator& host, uint8_t percent) { host.Send(EVENT_PROGRESS, &percent); }

std::u16string CopyString(const char16_t* text) { return text ? std::u16string(text) : std::u16string(); }

}  // namespace

bool IsMbxSourcePath(const std::u16string& sourcePath) {
    const std::u16string ext = PathExtension(sourcePath);
    if (ext.size() != 4) return false;
    constexpr char16_t kMbx[] = u".mbx";
    for (size_t i = 0; i < 4; ++i) {
        char16_t c = ext[i];
        if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
        if (c != kMbx[i]) return false;
    }
    return true;
}

int32_t RunRepair(const RepairOptions* options, CDBXFile5& state, const std::u16string& sourcePath,
                  const std::u16string& outputDir) {
    const CCommunicator& host = *state.m_pCommunicator;
    CFileEx reader;
    CFileException record;  // cause 0, OS error -1, no file name

    if (options) {
        state.m_options.UseNewDir = options->UseNewDir;
        state.m_options.MaxMsgCount = options->MaxMsgCount ? options->MaxMsgCount : 10000;
    }

    const std::u16string fullOutputDir = GetFullPath(outputDir);
    if (fullOutputDir.empty()) {
        host.SendResourceError(19);
        host.SendResourceFormatted(EVENT_MESSAGE_BOX, 20, outputDir.c_str());
        return 0;
    }

    SendProgress(host, 0);
    int32_t result = 0;
    try {
        host.Send(EVENT_SOURCE_FILE, sourcePath.c_str());
        if (reader.Open(sourcePath, CFile::modeRead | CFile::shareDenyWrite | CFile::typeBinary,
                        &record)) {
            const int32_t columns = 2;
            host.Send(EVENT_REPORT_COLUMNS, &columns);
            host.Send(EVENT_REPORT_CELL, u"Message No.");
            host.Send(EVENT_REPORT_CELL, u"Subject");
            result = IsMbxSourcePath(sourcePath) ? ScanMBXFile(state, reader, fullOutputDir)
                                                 : ScanDBXFile(state, reader, fullOutputDir);
            reader.Close();
        } else {
            std::u16string text;
            if (record.m_cause == kSharingViolation) {
                const std::u16string name = PathName(sourcePath);
                text = FormatU16(EngineText(28), name.c_str());
            } else {
                text = FormatExceptionText(record, 10);
            }
            host.Send(EVENT_ERROR, text.c_str());
            host.Send(EVENT_MESSAGE_BOX, text.c_str());
        }
    } catch (const CException& error) {
        const std::u16string text = FormatExceptionText(error, 11);
        host.Send(EVENT_ERROR, text.c_str());
    } catch (const std::bad_alloc&) {
        const std::u16string text = FormatExceptionText(CMemoryException(), 11);
        host.Send(EVENT_ERROR, text.c_str());
    } catch (...) {
        host.SendUnknownError(u"RunRepair");
    }
    SendProgress(host, 100);
    return result;
}

}  // namespace pyxol

extern "C" PYXOL_API int32_t RepairSourceFile(const RepairParams* params) {
    using namespace pyxol;
    if (!params) return 0;
    // Unmask a private copy; the caller's block stays as it was.
    RepairParams block;
    std::memcpy(&block, params, sizeof block);
    block = PyxolMaskParams(block);

    try {
        CCommunicator communicator(block.pfnCallback, block.pHostContext);
        CDBXFile5 state(&communicator);
        const std::u16string sourcePath = CopyString(block.pszSourceFile);
        const std::u16string outputDir = CopyString(block.pszOutputDir);
        return RunRepair(block.pOptions, state, sourcePath, outputDir);
    } catch (...) {
        // Nothing may escape into a C caller.
        return 0;
    }
}
