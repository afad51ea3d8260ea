// The DBX scanner: carves an OE 5/6 folder file for message data blocks at
// every byte offset (pass 1), then copies each chain found into a message of
// its own (pass 2).
#include <algorithm>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "scanners/scan_common.h"
#include "scanners/scanners.h"
#include "writer.h"

namespace pyxol {

namespace {

// Message data block header: four little-endian 32-bit fields.
struct BlockHeader {
    uint32_t self;  // +0  file offset the block was written at; never 0 for a head
    uint32_t body;  // +4  capacity of the data area, 1..0x100000 (0x200 in ordinary stores)
    uint32_t used;  // +8  message bytes in this block, at most body
    uint32_t next;  // +12 self offset of the next block of the message, 0 = last
};

constexpr uint32_t kHeaderSize = 16;
constexpr uint32_t kStandardBody = 0x200;
constexpr uint32_t kMaxBody = 0x100000;
constexpr uint32_t kClaimedBuckets = 199999;
constexpr uint32_t kHeadBuckets = 14983;
constexpr uint32_t kVisitedBuckets = 17;
constexpr uint32_t kCheckpointInterval = 10000;
// Offsets are 32-bit: the scan stops before the last one rather than wrap.
constexpr uint64_t kEndOfOffsets = 0xFFFFFFFFull;

BlockHeader DecodeHeader(const uint8_t* p) { return {Le32(p), Le32(p + 4), Le32(p + 8), Le32(p + 12)}; }

// The test every block of a chain must pass, the head included.
bool BlockBodyValid(const BlockHeader& h) { return h.body != 0 && h.body <= kMaxBody && h.used <= h.body; }

// A necessary condition of BlockBodyValid on the bytes of the body size
// field alone (bytes 4..7 of the header): nonzero, and at most 0x100000 needs
// byte 7 zero and byte 6 at most 0x10. Offsets failing it are no candidates.
inline bool BodyBytesPlausible(const uint8_t* h) {
    return h[7] == 0 && h[6] <= 0x10 && (h[4] | h[5] | h[6]) != 0;
}

// First index i in [from, to] (to < run - 15) whose header bytes pass
// BodyBytesPlausible, or to + 1.
uint32_t NextPlausible(const uint8_t* data, uint32_t run, uint32_t from, uint32_t to) {
    uint32_t i = from;
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    const __m128i limit6 = _mm_set1_epi8(0x10);
    while (i + 15 <= to && i + 4 + 3 + 16 <= run) {
        const __m128i b4 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i + 4));
        const __m128i b5 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i + 5));
        const __m128i b6 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i + 6));
        const __m128i b7 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i + 7));
        const __m128i seven0 = _mm_cmpeq_epi8(b7, zero);
        const __m128i six_le = _mm_cmpeq_epi8(_mm_max_epu8(b6, limit6), limit6);
        const __m128i all0 = _mm_cmpeq_epi8(_mm_or_si128(_mm_or_si128(b4, b5), b6), zero);
        const int mask = _mm_movemask_epi8(_mm_andnot_si128(all0, _mm_and_si128(seven0, six_le)));
        if (mask) return i + static_cast<uint32_t>(__builtin_ctz(static_cast<unsigned>(mask)));
        i += 16;
    }
#endif
    for (; i <= to; ++i)
        if (BodyBytesPlausible(data + i)) return i;
    return to + 1;
}

class DbxScan {
public:
    DbxScan(CDBXFile5& state, CFileEx& reader)
        : m_reader(reader), m_host(*state.m_pCommunicator),
          m_claimed(state.m_claimedBlocks), m_heads(state.m_chainHeads), m_writer(state) {}

    void Scan();
    void Extract(const std::u16string& fullOutputDir);
    uint32_t HeadCount() const { return m_heads.GetCount(); }

private:
    void Examine(uint32_t p, const BlockHeader& h);
    void MarkChain(uint32_t head, uint32_t shift);
    void ExtractChain(uint32_t head, uint32_t shift, CFile& destination);
    bool ReadHeader(uint64_t position, BlockHeader& h) {
        uint8_t bytes[kHeaderSize];
        if (!ReadAt(m_reader, position, bytes, kHeaderSize)) return false;
        h = DecodeHeader(bytes);
        return true;
    }

    CFileEx& m_reader;
    const CCommunicator& m_host;
    BlockHashMap& m_claimed;
    BlockHashMap& m_heads;
    CMessageWriter m_writer;
};

// The candidate test at file position p, its conditions in order, then the
// chain walk for a new head.
void DbxScan::Examine(uint32_t p, const BlockHeader& h) {
    if (h.self == 0) return;  // a chain head is never at offset 0
    const uint32_t shift = h.self - p;
    // A block away from its stored offset is trusted only as a standard block.
    if (shift != 0 && h.body != kStandardBody) return;
    if (h.body == 0 || h.body > kMaxBody) return;
    if (h.used > h.body) return;
    if (h.used == 0 && h.next == 0) return;  // neither data nor successor
    if (h.next != 0) {
        // The successor's self offset must match the pointer to it.
        uint8_t bytes[4];
        if (!ReadAt(m_reader, static_cast<uint32_t>(h.next - shift), bytes, 4)) return;
        if (Le32(bytes) != h.next) return;
    }
    if (m_claimed.Lookup(p)) return;
    MarkChain(p, shift);
    m_heads.SetAt(p, shift);
}

// Claims the blocks of the chain from a new head. A head found earlier that
// lies on this chain stops being a head; its own blocks were claimed then.
void DbxScan::MarkChain(uint32_t head, uint32_t shift) {
    BlockHashMap visited;
    visited.InitHashTable(kVisitedBuckets);
    uint32_t a = head;
    for (;;) {
        if (m_heads.Lookup(a)) {
            m_heads.RemoveKey(a);
            return;
        }
        m_claimed.SetAt(a, 0);
        visited.SetAt(a, 0);
        BlockHeader h;
        if (!ReadHeader(a, h)) return;
        if (h.self - shift != a || !BlockBodyValid(h)) return;
        const uint32_t n = h.next - shift;
        if (h.next == 0 || visited.Lookup(n)) return;
        a = n;
    }
}

// Copies the data of the chain from `head` into `destination`. Whatever was
// copied before the chain breaks is kept.
void DbxScan::ExtractChain(uint32_t head, uint32_t shift, CFile& destination) {
    BlockHashMap visited;
    visited.InitHashTable(kVisitedBuckets);
    uint32_t a = head;
    for (;;) {
        visited.SetAt(a, 0);
        BlockHeader h;
        if (!ReadHeader(a, h)) return;
        if (h.self - shift != a || !BlockBodyValid(h)) return;
        m_reader.Seek(static_cast<int64_t>(static_cast<uint64_t>(a) + kHeaderSize), CFile::begin);
        CopySpan(m_reader, destination, h.used);
        const uint32_t n = h.next - shift;
        if (h.next == 0 || visited.Lookup(n)) return;
        a = n;
    }
}

void DbxScan::Scan() {
    m_reader.Seek(0, CFile::begin);
    // Offsets end at 2^32 - 1, and so does the length progress is measured
    // against: a larger source's length taken modulo 2^32 would send
    // percentages far above 100.
    const uint32_t length = static_cast<uint32_t>(std::min<uint64_t>(m_reader.GetLength(), kEndOfOffsets));
    uint64_t checkpoint = m_reader.GetPosition() + kCheckpointInterval;
    m_claimed.InitHashTable(kClaimedBuckets);
    m_heads.InitHashTable(kHeadBuckets);

    uint64_t p = 0;
    while (p < kEndOfOffsets) {
        const uint8_t* data = nullptr;
        const uint32_t run = BufferedRun(m_reader, p, data);
        if (run >= kHeaderSize) {
            // Offsets whose whole header lies in this buffer, up to the next
            // checkpoint: only those passing the quick test are examined.
            const uint64_t last = std::min({p + run - kHeaderSize, checkpoint - 1, kEndOfOffsets - 1});
            const uint32_t to = static_cast<uint32_t>(last - p);
            const uint32_t i = NextPlausible(data, run, 0, to);
            if (i <= to) {
                // Examining may read elsewhere and refill the buffers: look
                // the buffer up again afterwards.
                Examine(static_cast<uint32_t>(p + i), DecodeHeader(data + i));
                p += i + 1;
            } else {
                p = last + 1;
            }
        } else {
            uint8_t bytes[kHeaderSize];
            m_reader.Seek(static_cast<int64_t>(p), CFile::begin);
            if (m_reader.Read(bytes, kHeaderSize) < kHeaderSize) break;
            Examine(static_cast<uint32_t>(p), DecodeHeader(bytes));
            ++p;
        }
        if (p >= checkpoint) {
            checkpoint = p + kCheckpointInterval;
            if (m_host.Send(EVENT_QUERY_STOP, nullptr)) break;
            if (length != 0) {
                const uint8_t percent = ProgressValue::Exact(static_cast<uint32_t>(p), length, 0, 50);
                m_host.Send(EVENT_PROGRESS, &percent);
            }
        }
    }
    m_claimed.RemoveAll();
}

void DbxScan::Extract(const std::u16string& fullOutputDir) {
    m_writer.SetUpOutputFolder(fullOutputDir);
    std::vector<std::pair<uint32_t, uint32_t>> heads;
    heads.reserve(m_heads.GetCount());
    m_heads.ForEach([&](uint32_t head, uint32_t shift) { heads.emplace_back(head, shift); });
    const uint32_t total = static_cast<uint32_t>(heads.size());
    uint32_t number = 1;
    for (const auto& [head, shift] : heads) {
        if (m_host.Send(EVENT_QUERY_STOP, nullptr)) break;
        std::u16string stagingPath;
        if (std::unique_ptr<CFile> staging = m_writer.OpenStagingFile(stagingPath)) {
            ExtractChain(head, shift, *staging);
            const uint32_t size = static_cast<uint32_t>(staging->GetLength());
            staging->Close();
            staging.reset();
            m_writer.DeliverMessage(stagingPath, number, size);
        }
        const uint8_t percent = ProgressValue::Exact(number, total, 50, 50);
        m_host.Send(EVENT_PROGRESS, &percent);
        ++number;
    }
}

}  // namespace

int32_t ScanDBXFile(CDBXFile5& state, CFileEx& reader, const std::u16string& fullOutputDir) {
    DbxScan scan(state, reader);
    bool scanned = false;
    try {
        scan.Scan();
        scanned = true;
        scan.Extract(fullOutputDir);
    } catch (const CException& error) {
        ReportScanFailure(*state.m_pCommunicator, &error, false, u"ScanDBXFile");
    } catch (const std::bad_alloc&) {
        ReportScanFailure(*state.m_pCommunicator, nullptr, true, u"ScanDBXFile");
    } catch (...) {
        ReportScanFailure(*state.m_pCommunicator, nullptr, false, u"ScanDBXFile");
    }
    // A failure in pass 1 leaves no count to go by.
    return scanned && scan.HeadCount() != 0 ? 1 : 0;
}

}  // namespace pyxol
