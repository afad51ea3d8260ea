// WriteLockHolder: another program writing a file, as the engine sees it: an
// open-file-description write lock over the whole file, held until the
// object goes. The engine's deny-writers open fails against it with a
// sharing violation.
#pragma once

#include <fcntl.h>
#include <string>
#include <unistd.h>

class WriteLockHolder {
public:
    explicit WriteLockHolder(const std::string& path) {
        m_fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
        if (m_fd < 0) return;
        struct flock lock {};
        lock.l_type = F_WRLCK;
        lock.l_whence = SEEK_SET;  // l_start 0, l_len 0: the whole file
        if (::fcntl(m_fd, F_OFD_SETLK, &lock) != 0) Release();
    }
    ~WriteLockHolder() { Release(); }
    WriteLockHolder(const WriteLockHolder&) = delete;
    WriteLockHolder& operator=(const WriteLockHolder&) = delete;

    // Whether the lock was taken.
    bool Held() const { return m_fd >= 0; }
    void Release() {
        if (m_fd >= 0) ::close(m_fd);
        m_fd = -1;
    }

private:
    int m_fd = -1;
};
