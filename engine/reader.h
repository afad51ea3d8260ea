// CFileEx: the fault-tolerant buffered reader through which the scanners read
// a damaged store. Two 64 KiB buffers serve the scanners' many small reads and
// short seeks; disk reads are split on sector boundaries so that an unreadable
// sector costs its own bytes (delivered as zeros) and nothing more.
#pragma once

#include <cstdint>

#include "platform/file.h"

namespace pyxol {

struct ReadBuffer {
    uint8_t* pData = nullptr;
    uint32_t nCapacity = 0;
    uint64_t nOffset = 0;
    uint32_t nLength = 0;  // 0 = empty
};

class CFileEx : public CFile {
public:
    CFileEx();
    ~CFileEx() override;

    bool Open(const std::u16string& path, unsigned flags, CFileException* error) override;
    uint64_t GetPosition() const override { return m_nPosition; }
    uint64_t Seek(int64_t offset, int origin) override;
    uint32_t Read(void* destination, uint32_t count) override;
    void Write(const void* source, uint32_t count) override;
    void SetLength(uint64_t length) override;
    void Flush() override;
    void Close() override;
    void Abort() override;
    [[noreturn]] void Duplicate();
    [[noreturn]] void LockRange(uint64_t position, uint64_t count);
    [[noreturn]] void UnlockRange(uint64_t position, uint64_t count);
    [[nodiscard]] bool ReachedEnd() const { return m_bReachedEnd; }

    // Buffered bytes at `position`: a pointer to at least `count` bytes held
    // in one buffer, or nullptr. Lets the scanners test a header without a
    // copy; never reads the disk.
    const uint8_t* PeekBuffered(uint64_t position, uint32_t count) const;

    uint32_t SectorSize() const { return m_nSectorSize; }

private:
    uint32_t RefillBuffer();
    uint32_t ReadSectors(uint32_t count, uint8_t* destination);
    bool ReadOrZeroFill(uint8_t* destination, uint32_t count, uint32_t& delivered);

    bool m_bReachedEnd = false;
    uint8_t* m_pBufferMemory = nullptr;
    uint32_t m_nBufferSize = 65536;
    ReadBuffer* m_pBufferA = nullptr;
    ReadBuffer* m_pBufferB = nullptr;
    uint64_t m_nPosition = 0;
    uint32_t m_nSectorSize = 512;
};

}  // namespace pyxol
