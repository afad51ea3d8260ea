// CFile: the engine's platform file class, a thin owner of a POSIX file
// descriptor with the operations the reader and the writer need. Failing
// operations raise CFileException (see exceptions.h); Open reports failure in
// a record instead.
#pragma once

#include <cstdint>
#include <string>
#include <sys/types.h>

#include "platform/exceptions.h"

namespace pyxol {

// Seam for the raw system read, so tests can make chosen byte ranges fail
// with EIO. Production code uses ::read.
using RawReadFn = ssize_t (*)(int fd, void* buffer, size_t count, off_t offset);
void SetRawReadForTesting(RawReadFn fn);  // nullptr restores the default
ssize_t RawRead(int fd, void* buffer, size_t count);  // reads at the fd's position

class CFile {
public:
    enum OpenFlags : unsigned {
        modeRead = 0x0000,
        modeWrite = 0x0001,
        modeReadWrite = 0x0002,
        shareDenyWrite = 0x0020,  // read lock (F_OFD_SETLK); fails with cause 11 on a writer's lock
        shareExclusive = 0x0010,
        modeCreate = 0x1000,      // create or truncate
        typeBinary = 0x8000,
    };
    enum SeekOrigin { begin = 0, current = 1, end = 2 };

    CFile() = default;
    virtual ~CFile();
    CFile(const CFile&) = delete;
    CFile& operator=(const CFile&) = delete;

    // Opens `path` with OpenFlags; on failure fills `error` (when given) and
    // returns false. After success GetFilePath() is the full path.
    virtual bool Open(const std::u16string& path, unsigned flags, CFileException* error);
    virtual void Close();  // raises on failure
    virtual void Abort();  // closes, never raises
    virtual uint32_t Read(void* buffer, uint32_t count);  // raises on failure
    virtual void Write(const void* buffer, uint32_t count);
    virtual uint64_t Seek(int64_t offset, int origin);  // moves the handle
    virtual uint64_t GetLength() const;
    virtual void SetLength(uint64_t length);
    virtual void Flush();
    virtual uint64_t GetPosition() const;  // the handle's position

    bool IsOpen() const { return m_hFile >= 0; }
    int Handle() const { return m_hFile; }
    const std::u16string& GetFilePath() const { return m_strFileName; }

protected:
    int m_hFile = -1;
    bool m_bCloseOnDelete = false;
    std::u16string m_strFileName;
};

}  // namespace pyxol
