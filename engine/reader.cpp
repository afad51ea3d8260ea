// CFileEx: the buffered, fault-tolerant reader of damaged stores.
#include "reader.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace pyxol {

namespace {

constexpr uint32_t kBufferSize = 65536;

bool IsValid(const ReadBuffer* b) { return b->pData && b->nCapacity && b->nLength; }

bool Holds(const ReadBuffer* b, uint64_t position) {
    return IsValid(b) && position >= b->nOffset && position - b->nOffset < b->nLength;
}

uint32_t ReadBlockSizeFile(const std::string& path) {
    FILE* f = std::fopen(path.c_str(), "r");
    if (!f) return 0;
    unsigned long value = 0;
    if (std::fscanf(f, "%lu", &value) != 1) value = 0;
    std::fclose(f);
    return value <= 1u << 20 ? static_cast<uint32_t>(value) : 0;
}

// Logical block size of the block device behind the file's file system:
// the device's own queue, or for a partition its parent disk's. 0 when the
// file system has no block device (tmpfs, overlay, network) or sysfs is absent.
uint32_t LogicalBlockSizeOf(int fd) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) return 0;
    const std::string device =
        "/sys/dev/block/" + std::to_string(major(st.st_dev)) + ":" + std::to_string(minor(st.st_dev));
    if (uint32_t size = ReadBlockSizeFile(device + "/queue/logical_block_size")) return size;
    return ReadBlockSizeFile(device + "/../queue/logical_block_size");
}

}  // namespace

CFileEx::CFileEx() {
    m_pBufferMemory = new uint8_t[2 * static_cast<size_t>(kBufferSize)];
    m_nBufferSize = kBufferSize;
    m_pBufferA = new ReadBuffer{m_pBufferMemory, kBufferSize, 0, 0};
    m_pBufferB = new ReadBuffer{m_pBufferMemory + kBufferSize, kBufferSize, 0, 0};
}

CFileEx::~CFileEx() {
    delete[] m_pBufferMemory;
    delete m_pBufferA;
    delete m_pBufferB;
    // ~CFile closes the file if it is still open.
}

bool CFileEx::Open(const std::u16string& path, unsigned flags, CFileException* error) {
    m_bReachedEnd = false;
    m_nPosition = 0;
    if (!CFile::Open(path, flags, error)) return false;
    const uint32_t sector = LogicalBlockSizeOf(m_hFile);
    m_nSectorSize = sector ? sector : 512;
    return true;
}

uint64_t CFileEx::Seek(int64_t offset, int origin) {
    const uint64_t before = m_nPosition;
    switch (origin) {
    case begin:
        m_nPosition = static_cast<uint64_t>(offset);
        break;
    case current:
        m_nPosition += static_cast<uint64_t>(offset);
        break;
    case end:
        m_nPosition = CFile::Seek(0, end) + static_cast<uint64_t>(offset);
        break;
    default:
        break;
    }
    if (m_nPosition != before) m_bReachedEnd = false;
    return m_nPosition;
}

uint32_t CFileEx::Read(void* destination, uint32_t count) {
    if (count == 0) return 0;
    auto* out = static_cast<uint8_t*>(destination);
    uint32_t remaining = count;
    while (remaining != 0) {
        ReadBuffer* source = Holds(m_pBufferA, m_nPosition)   ? m_pBufferA
                             : Holds(m_pBufferB, m_nPosition) ? m_pBufferB
                                                              : nullptr;
        if (source) {
            const uint64_t bufferEnd = source->nOffset + source->nLength;
            uint32_t n = remaining;
            if (bufferEnd < m_nPosition + remaining) n = static_cast<uint32_t>(bufferEnd - m_nPosition);
            std::memcpy(out, source->pData + (m_nPosition - source->nOffset), n);
            out += n;
            m_nPosition += n;
            remaining -= n;
        } else if (m_nBufferSize < remaining) {
            // Long reads land in the caller's memory for their whole 64 KiB
            // multiples; only the rest goes through a buffer.
            const uint32_t direct = remaining - remaining % m_nBufferSize;
            const uint32_t delivered = ReadSectors(direct, out);
            out += delivered;
            m_nPosition += delivered;
            remaining -= delivered;
            if (delivered < direct) break;
        } else {
            if (RefillBuffer() == 0) break;
        }
    }
    m_bReachedEnd = remaining != 0;
    return count - remaining;
}

uint32_t CFileEx::RefillBuffer() {
    ReadBuffer* chosen;
    if (!IsValid(m_pBufferA)) {
        chosen = m_pBufferA;
    } else if (!IsValid(m_pBufferB)) {
        chosen = m_pBufferB;
    } else {
        const bool aBehind = m_pBufferA->nOffset < m_nPosition;
        const bool bBehind = m_pBufferB->nOffset < m_nPosition;
        if (aBehind != bBehind) {
            // Keep the buffer just behind the reading point: the scanners
            // step back over what they have just read.
            chosen = aBehind ? m_pBufferB : m_pBufferA;
        } else if (aBehind) {
            chosen = m_pBufferA->nOffset < m_pBufferB->nOffset ? m_pBufferA : m_pBufferB;
        } else {
            chosen = m_pBufferB;
        }
    }
    chosen->nOffset = m_nPosition;
    chosen->nLength = ReadSectors(chosen->nCapacity, chosen->pData);
    return chosen->nLength;
}

uint32_t CFileEx::ReadSectors(uint32_t count, uint8_t* destination) {
    if (count == 0) return 0;
    if (m_nPosition > static_cast<uint64_t>(INT64_MAX) ||
        ::lseek(m_hFile, static_cast<off_t>(m_nPosition), SEEK_SET) < 0)
        return 0;

    // Healthy stores are read in one system read per request. Only a request
    // whose read fails is split on sector boundaries and read again sector by
    // sector, so an unreadable sector still costs its own bytes and nothing
    // more, and a good read delivers the same bytes either way.
    {
        const ssize_t n = RawRead(m_hFile, destination, count);
        if (n >= 0) return static_cast<uint32_t>(n);
        if (::lseek(m_hFile, static_cast<off_t>(m_nPosition), SEEK_SET) < 0) return 0;
    }

    const uint32_t s = m_nSectorSize;
    const uint32_t misalignment = static_cast<uint32_t>(m_nPosition % s);
    uint32_t head = misalignment ? s - misalignment : 0;
    if (head > count) head = count;
    const uint32_t sectors = (count - head) / s;
    const uint32_t tail = (count - head) % s;

    uint32_t total = 0;
    uint32_t delivered = 0;
    if (head != 0) {
        if (ReadOrZeroFill(destination, head, delivered) && delivered == 0) return 0;
        total += delivered;
        destination += delivered;
    }
    for (uint32_t i = 0; i < sectors; ++i) {
        const bool ok = ReadOrZeroFill(destination, s, delivered);
        if (ok && delivered == 0) return total;
        total += delivered;
        destination += delivered;
    }
    if (tail != 0) {
        ReadOrZeroFill(destination, tail, delivered);
        total += delivered;
    }
    return total;
}

bool CFileEx::ReadOrZeroFill(uint8_t* destination, uint32_t count, uint32_t& delivered) {
    delivered = 0;
    if (count == 0) return true;
    const ssize_t n = RawRead(m_hFile, destination, count);
    if (n >= 0) {
        delivered = static_cast<uint32_t>(n);
        return true;
    }
    // An unreadable span costs its own bytes only: deliver zeros and step
    // the handle over it so reading goes on behind it.
    std::memset(destination, 0, count);
    ::lseek(m_hFile, static_cast<off_t>(count), SEEK_CUR);
    delivered = count;
    return false;
}

const uint8_t* CFileEx::PeekBuffered(uint64_t position, uint32_t count) const {
    for (const ReadBuffer* b : {m_pBufferA, m_pBufferB}) {
        if (Holds(b, position) && position - b->nOffset + count <= b->nLength)
            return b->pData + (position - b->nOffset);
    }
    return nullptr;
}

void CFileEx::Write(const void* source, uint32_t count) {
    const uint64_t before = m_nPosition;
    CFile::Seek(static_cast<int64_t>(m_nPosition), begin);
    // Buffers that hold any of the written range would go stale: empty them.
    for (ReadBuffer* b : {m_pBufferA, m_pBufferB}) {
        if (IsValid(b) && b->nOffset < m_nPosition + count && m_nPosition < b->nOffset + b->nLength)
            b->nLength = 0;
    }
    try {
        CFile::Write(source, count);
    } catch (...) {
        m_nPosition = CFile::GetPosition();
        if (m_nPosition != before) m_bReachedEnd = false;
        throw;
    }
    m_nPosition = CFile::GetPosition();
    if (m_nPosition != before) m_bReachedEnd = false;
}

void CFileEx::SetLength(uint64_t length) {
    CFile::Seek(static_cast<int64_t>(length), begin);
    CFile::SetLength(length);
    // Bytes past the new end are gone; what the buffers hold may be too.
    m_pBufferA->nLength = 0;
    m_pBufferB->nLength = 0;
    m_bReachedEnd = false;
    m_nPosition = 0;
}

void CFileEx::Flush() {
    CFile::Seek(static_cast<int64_t>(m_nPosition), begin);
    CFile::Flush();
}

void CFileEx::Close() {
    m_bReachedEnd = false;
    CFile::Close();
}

void CFileEx::Abort() {
    m_bReachedEnd = false;
    CFile::Abort();
}

void CFileEx::Duplicate() { throw CNotSupportedException(); }
void CFileEx::LockRange(uint64_t, uint64_t) { throw CNotSupportedException(); }
void CFileEx::UnlockRange(uint64_t, uint64_t) { throw CNotSupportedException(); }

}  // namespace pyxol
