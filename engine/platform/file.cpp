// CFile over a POSIX file descriptor.
#include "platform/file.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/fs.h"
#include "platform/strings.h"

namespace pyxol {

namespace {

ssize_t DefaultRawRead(int fd, void* buffer, size_t count, off_t offset) {
    return ::pread(fd, buffer, count, offset);
}

RawReadFn g_rawRead = &DefaultRawRead;

}  // namespace

void SetRawReadForTesting(RawReadFn fn) { g_rawRead = fn ? fn : &DefaultRawRead; }

// Reads at the descriptor's position and moves it past what was read, like
// read(2); the seam sees the absolute offset so a test can fail chosen ranges.
ssize_t RawRead(int fd, void* buffer, size_t count) {
    if (g_rawRead == &DefaultRawRead) {
        // No seam installed: one plain read, no position bookkeeping.
        ssize_t n;
        do {
            n = ::read(fd, buffer, count);
        } while (n < 0 && errno == EINTR);
        return n;
    }
    const off_t offset = ::lseek(fd, 0, SEEK_CUR);
    if (offset < 0) return -1;
    ssize_t n;
    do {
        n = g_rawRead(fd, buffer, count, offset);
    } while (n < 0 && errno == EINTR);
    if (n > 0 && ::lseek(fd, offset + n, SEEK_SET) < 0) return -1;
    return n;
}

CFile::~CFile() {
    if (m_hFile >= 0 && m_bCloseOnDelete) ::close(m_hFile);
}

bool CFile::Open(const std::u16string& path, unsigned flags, CFileException* error) {
    if (m_hFile >= 0) Abort();
    auto fail = [&](int cause, int err) {
        if (error) {
            error->m_cause = cause;
            error->m_lOsError = err;
            error->m_strFileName = path;
        }
        return false;
    };

    int oflags = O_CLOEXEC;
    if (flags & modeReadWrite)
        oflags |= O_RDWR;
    else if (flags & modeWrite)
        oflags |= O_WRONLY;
    else
        oflags |= O_RDONLY;
    if (flags & modeCreate) oflags |= O_CREAT | O_TRUNC;

    if (path.empty()) return fail(kFileNotFound, ENOENT);
    const std::string native = ToUtf8(path);
    const int fd = ::open(native.c_str(), oflags, 0666);
    if (fd < 0) {
        const int err = errno;
        return fail(CFileException::OsErrorToCause(err), err);
    }

    struct stat st {};
    if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        // A directory is not a file to read or write.
        const int err = S_ISDIR(st.st_mode) ? EISDIR : errno;
        ::close(fd);
        return fail(CFileException::OsErrorToCause(err), err);
    }

    // Sharing modes become open-file-description locks over the whole file:
    // "deny writers" holds a read lock, which conflicts only with another
    // holder's write lock; "exclusive" holds a write lock when we may write.
    if (flags & (shareDenyWrite | shareExclusive)) {
        struct flock lock {};
        const bool writable = (flags & (modeWrite | modeReadWrite)) != 0;
        lock.l_type = ((flags & shareExclusive) && writable) ? F_WRLCK : F_RDLCK;
        lock.l_whence = SEEK_SET;
        lock.l_start = 0;
        lock.l_len = 0;
        if (::fcntl(fd, F_OFD_SETLK, &lock) != 0) {
            const int err = errno;
            ::close(fd);
            if (err == EAGAIN || err == EACCES) return fail(kSharingViolation, err);
            return fail(CFileException::OsErrorToCause(err), err);
        }
    }

    m_hFile = fd;
    m_bCloseOnDelete = true;
    const std::u16string full = GetFullPath(path);
    m_strFileName = full.empty() ? path : full;
    return true;
}

void CFile::Close() {
    if (m_hFile < 0) return;
    const int fd = m_hFile;
    m_hFile = -1;
    m_bCloseOnDelete = false;
    if (::close(fd) != 0 && errno != EINTR) ThrowOsFileException(errno, m_strFileName);
}

void CFile::Abort() {
    if (m_hFile < 0) return;
    ::close(m_hFile);
    m_hFile = -1;
    m_bCloseOnDelete = false;
}

uint32_t CFile::Read(void* buffer, uint32_t count) {
    if (m_hFile < 0) ThrowOsFileException(EBADF, m_strFileName);
    if (count == 0) return 0;
    ssize_t n;
    do {
        n = ::read(m_hFile, buffer, count);
    } while (n < 0 && errno == EINTR);
    if (n < 0) ThrowOsFileException(errno, m_strFileName);
    return static_cast<uint32_t>(n);
}

void CFile::Write(const void* buffer, uint32_t count) {
    if (m_hFile < 0) ThrowOsFileException(EBADF, m_strFileName);
    const auto* p = static_cast<const uint8_t*>(buffer);
    while (count > 0) {
        const ssize_t n = ::write(m_hFile, p, count);
        if (n < 0) {
            if (errno == EINTR) continue;
            ThrowOsFileException(errno, m_strFileName);
        }
        if (n == 0) ThrowOsFileException(ENOSPC, m_strFileName);
        p += n;
        count -= static_cast<uint32_t>(n);
    }
}

uint64_t CFile::Seek(int64_t offset, int origin) {
    if (m_hFile < 0) ThrowOsFileException(EBADF, m_strFileName);
    const int whence = origin == begin ? SEEK_SET : origin == current ? SEEK_CUR : SEEK_END;
    if (origin != begin && origin != current && origin != end)
        throw CFileException(kBadSeek, EINVAL, m_strFileName);
    const off_t at = ::lseek(m_hFile, static_cast<off_t>(offset), whence);
    if (at < 0) {
        const int err = errno;
        // A negative target is a failed seek, not a bad path.
        throw CFileException(err == EINVAL ? kBadSeek : CFileException::OsErrorToCause(err), err,
                             m_strFileName);
    }
    return static_cast<uint64_t>(at);
}

uint64_t CFile::GetLength() const {
    struct stat st {};
    if (m_hFile < 0 || ::fstat(m_hFile, &st) != 0)
        ThrowOsFileException(m_hFile < 0 ? EBADF : errno, m_strFileName);
    return static_cast<uint64_t>(st.st_size);
}

void CFile::SetLength(uint64_t length) {
    if (m_hFile < 0) ThrowOsFileException(EBADF, m_strFileName);
    if (::ftruncate(m_hFile, static_cast<off_t>(length)) != 0)
        ThrowOsFileException(errno, m_strFileName);
}

// Writes go straight to the kernel, so nothing is held back in this object;
// Flush only checks that there is a file to flush.
void CFile::Flush() {
    if (m_hFile < 0) ThrowOsFileException(EBADF, m_strFileName);
}

uint64_t CFile::GetPosition() const {
    if (m_hFile < 0) ThrowOsFileException(EBADF, m_strFileName);
    const off_t at = ::lseek(m_hFile, 0, SEEK_CUR);
    if (at < 0) ThrowOsFileException(errno, m_strFileName);
    return static_cast<uint64_t>(at);
}

}  // namespace pyxol
