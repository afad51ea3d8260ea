// The MBX scanner: carves an OE 4 mail folder for message records at every
// byte offset; each accepted record header yields one message.
#include <algorithm>
#include <cstring>

#include "scanners/scan_common.h"
#include "scanners/scanners.h"
#include "writer.h"

namespace pyxol {

namespace {

// Message record header: four little-endian 32-bit fields.
struct RecordHeader {
    uint32_t marker;  // +0  0x7F007F00 (bytes 00 7F 00 7F)
                      // +4  message number, not examined
    uint32_t size;    // +8  record length: at least text length + 16
    uint32_t length;  // +12 bytes of message text that follow the header
};

constexpr uint32_t kHeaderSize = 16;
constexpr uint32_t kMarker = 0x7F007F00;
constexpr uint8_t kMarkerBytes[4] = {0x00, 0x7F, 0x00, 0x7F};
constexpr uint64_t kEndOfOffsets = 0xFFFFFFFFull;

RecordHeader DecodeHeader(const uint8_t* p) { return {Le32(p), Le32(p + 8), Le32(p + 12)}; }

bool Accepted(const RecordHeader& h) {
    // length + 16 <= size, without overflow for lengths near 2^32.
    return h.marker == kMarker && h.size >= kHeaderSize && h.length <= h.size - kHeaderSize;
}

// Index of the first marker starting in data[from, to] (its four bytes inside
// data), or to + 1. The search only skips offsets whose first four bytes are
// not the marker, which the header test would reject anyway.
uint32_t NextMarker(const uint8_t* data, uint32_t from, uint32_t to) {
    const uint8_t* p = data + from + 1;
    const uint8_t* end = data + to + 2;  // the marker's first 7F byte lies below this
    while (p < end) {
        const auto* q = static_cast<const uint8_t*>(std::memchr(p, 0x7F, static_cast<size_t>(end - p)));
        if (!q) break;
        if (std::memcmp(q - 1, kMarkerBytes, 4) == 0) return static_cast<uint32_t>(q - 1 - data);
        p = q + 1;
    }
    return to + 1;
}

class MbxScan {
public:
    MbxScan(CDBXFile5& state, CFileEx& reader)
        : m_reader(reader), m_host(*state.m_pCommunicator), m_writer(state) {}

    void Scan(const std::u16string& fullOutputDir);
    uint32_t Count() const { return m_number; }

private:
    void Recover(uint64_t p, const RecordHeader& h);
    bool PassOver(uint64_t from, uint64_t to, ProgressValue& progress, uint32_t length);
    bool QueryStop() const { return m_host.Send(EVENT_QUERY_STOP, nullptr) != 0; }

    CFileEx& m_reader;
    const CCommunicator& m_host;
    CMessageWriter m_writer;
    uint32_t m_number = 0;
};

void MbxScan::Recover(uint64_t p, const RecordHeader& h) {
    ++m_number;
    std::u16string stagingPath;
    std::unique_ptr<CFile> staging = m_writer.OpenStagingFile(stagingPath);
    if (!staging) return;  // error 4 is out; the number stays used
    m_reader.Seek(static_cast<int64_t>(p + kHeaderSize), CFile::begin);
    CopySpan(m_reader, *staging, h.length);
    const uint32_t size = static_cast<uint32_t>(staging->GetLength());
    staging->Close();
    staging.reset();
    m_writer.DeliverMessage(stagingPath, m_number, size);
}

// The offsets in [from, to) hold no header: the host hears the stop query
// and the progress of each of them, and nothing else happens. This loop is
// the scanner's hottest: the percentage is held while it cannot change.
// Returns true when the host asked to stop.
bool MbxScan::PassOver(uint64_t from, uint64_t to, ProgressValue& progress, uint32_t length) {
    const RepairCallback callback = m_host.pfnCallback;
    void* const context = m_host.pHostContext;
    if (!callback) return false;  // no host: no question to ask, no progress to tell
    uint64_t x = from;
    while (x < to) {
        if (length == 0) {
            for (; x < to; ++x)
                if (callback(EVENT_QUERY_STOP, nullptr, context)) return true;
            return false;
        }
        // After offset x the progress is that of x + 1 bytes; it holds up to
        // the offset before NextChange.
        const uint8_t percent = progress.At(static_cast<uint32_t>(x + 1));
        const uint64_t end = std::min<uint64_t>(to, progress.NextChange() - 1);
        do {
            if (callback(EVENT_QUERY_STOP, nullptr, context)) return true;
            callback(EVENT_PROGRESS, &percent, context);
        } while (++x < end);
    }
    return false;
}

void MbxScan::Scan(const std::u16string& fullOutputDir) {
    m_reader.Seek(0, CFile::begin);
    const uint32_t length = static_cast<uint32_t>(m_reader.GetLength());
    m_writer.SetUpOutputFolder(fullOutputDir);
    ProgressValue progress(length, 0, 100);

    // After the offset p: the host hears progress for p + 1 bytes.
    auto reportProgress = [&](uint64_t p) {
        if (length == 0) return;
        const uint8_t percent = progress.At(static_cast<uint32_t>(p + 1));
        m_host.Send(EVENT_PROGRESS, &percent);
    };

    uint64_t p = 0;
    while (p < kEndOfOffsets) {
        const uint8_t* data = nullptr;
        const uint32_t run = BufferedRun(m_reader, p, data);
        if (run >= kHeaderSize) {
            const uint64_t last = std::min<uint64_t>(p + run - kHeaderSize, kEndOfOffsets - 1);
            const uint32_t to = static_cast<uint32_t>(last - p);
            const uint32_t marker = NextMarker(data, 0, to);
            // Offsets before the marker hold no header.
            if (PassOver(p, p + std::min(marker, to + 1), progress, length)) return;
            if (marker > to) {
                p = last + 1;
                continue;
            }
            p += marker;
            if (QueryStop()) return;
            const RecordHeader h = DecodeHeader(data + marker);
            if (Accepted(h)) Recover(p, h);  // may refill the buffers
            reportProgress(p);
            ++p;
        } else {
            if (QueryStop()) return;
            uint8_t bytes[kHeaderSize];
            m_reader.Seek(static_cast<int64_t>(p), CFile::begin);
            if (m_reader.Read(bytes, kHeaderSize) < kHeaderSize) return;
            const RecordHeader h = DecodeHeader(bytes);
            if (Accepted(h)) Recover(p, h);
            reportProgress(p);
            ++p;
        }
    }
}

}  // namespace

int32_t ScanMBXFile(CDBXFile5& state, CFileEx& reader, const std::u16string& fullOutputDir) {
    MbxScan scan(state, reader);
    try {
        scan.Scan(fullOutputDir);
    } catch (const CException& error) {
        ReportScanFailure(*state.m_pCommunicator, &error, false, u"ScanMBXFile");
    } catch (const std::bad_alloc&) {
        ReportScanFailure(*state.m_pCommunicator, nullptr, true, u"ScanMBXFile");
    } catch (...) {
        ReportScanFailure(*state.m_pCommunicator, nullptr, false, u"ScanMBXFile");
    }
    return scan.Count() != 0 ? 1 : 0;
}

}  // namespace pyxol
