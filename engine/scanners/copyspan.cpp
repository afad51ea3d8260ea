// CopySpan: moves message bytes from the source into a staging file.
#include <algorithm>
#include <cstring>

#include "scanners/scanners.h"

namespace pyxol {

namespace {

// Zero padding written for one span past the end of the source is capped:
// a corrupt 32-bit length in a tiny file must not write gigabytes of zeros.
// 1 MiB is the largest body a .dbx block can hold, so no real block is cut.
constexpr uint64_t kMaxPadding = 1048576;
constexpr uint32_t kCopyBufferSize = 4096;
constexpr uint32_t kZeroPiece = 512;

// One copy buffer for the process: span copies never overlap, as engine
// calls never do.
uint8_t g_copyBuffer[kCopyBufferSize];

// A span of the source to be written elsewhere. Owns nothing.
class CFieldData {
public:
    CFieldData(uint64_t start, uint64_t length, CFileEx& source)
        : m_nStart(start), m_nLength(length), m_source(source) {}
    virtual ~CFieldData() = default;

    void WriteTo(CFile& destination) const {
        const uint64_t saved = m_source.GetPosition();
        m_source.Seek(static_cast<int64_t>(m_nStart), CFile::begin);
        uint64_t remaining = m_nLength;
        while (remaining) {
            const uint32_t want = static_cast<uint32_t>(std::min<uint64_t>(kCopyBufferSize, remaining));
            const uint32_t got = m_source.Read(g_copyBuffer, want);
            if (got) destination.Write(g_copyBuffer, got);
            remaining -= got;
            if (got < want) {
                static const uint8_t zeros[kZeroPiece] = {};
                for (uint64_t pad = std::min(remaining, kMaxPadding); pad;) {
                    const uint32_t piece = static_cast<uint32_t>(std::min<uint64_t>(kZeroPiece, pad));
                    destination.Write(zeros, piece);
                    pad -= piece;
                }
                break;
            }
        }
        m_source.Seek(static_cast<int64_t>(saved), CFile::begin);
    }

private:
    uint64_t m_nStart;
    uint64_t m_nLength;
    CFileEx& m_source;
};

}  // namespace

void CopySpan(CFileEx& reader, CFile& destination, uint64_t length) {
    if (length == 0) return;
    CFieldData span(reader.GetPosition(), length, reader);
    span.WriteTo(destination);
}

}  // namespace pyxol
