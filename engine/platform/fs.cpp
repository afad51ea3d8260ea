// File-system services over POSIX calls. Paths are UTF-16 inside the engine
// and UTF-8 on the system side.
#include "platform/fs.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cstdio>
#include <random>
#include <string_view>
#include <vector>

#include "platform/strings.h"

namespace pyxol {

std::u16string GetFullPath(const std::u16string& path) {
    if (path.empty()) return {};
    std::string native = ToUtf8(path);
    if (native.find('\0') != std::string::npos) return {};
    if (native.front() != '/') {
        std::vector<char> cwd(PATH_MAX);
        if (!::getcwd(cwd.data(), cwd.size())) return {};
        native = std::string(cwd.data()) + "/" + native;
    }
    const bool trailingSlash = native.size() > 1 && native.back() == '/';

    // Resolve "." and ".." by text, as the path is given: the directory need
    // not exist yet and links are not followed.
    std::vector<std::string> parts;
    size_t i = 0;
    while (i < native.size()) {
        size_t j = native.find('/', i);
        if (j == std::string::npos) j = native.size();
        std::string part = native.substr(i, j - i);
        if (part == "..") {
            if (!parts.empty()) parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(std::move(part));
        }
        i = j + 1;
    }
    std::string full;
    for (const auto& part : parts) {
        full.push_back('/');
        full.append(part);
    }
    if (full.empty() || trailingSlash) full.push_back('/');
    if (full.size() >= PATH_MAX) return {};
    return FromUtf8(full);
}

std::u16string GetTempDirectory() {
    const char* tmp = std::getenv("TMPDIR");
    std::string dir = (tmp && *tmp) ? tmp : "/tmp";
    if (dir.back() != '/') dir += '/';
    return FromUtf8(dir);
}

std::u16string CreateTempFileName(const std::u16string& directory, const std::u16string& prefix) {
    std::string pattern = ToUtf8(directory);
    if (pattern.empty()) return {};
    if (pattern.back() != '/') pattern += '/';
    pattern += ToUtf8(prefix) + "XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    const int fd = ::mkstemp(name.data());
    if (fd < 0) return {};
    ::close(fd);
    return FromUtf8(name.data());
}

namespace {

// Writes all of `size` bytes, retrying short writes; false on failure.
bool WriteAll(int fd, const char* data, size_t size) {
    for (size_t done = 0; done < size;) {
        const ssize_t w = ::write(fd, data + done, size - done);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) return false;
        done += static_cast<size_t>(w);
    }
    return true;
}

// Opens `directory` for creating entries in it: `base` is opened as given
// (following links, it is the folder the caller chose), and every component
// of `directory` below it without following a symbolic link. -1 when
// `directory` is neither `base` nor below it, or a component below it is no
// real directory.
int OpenFolderBelow(std::string base, std::string directory) {
    while (base.size() > 1 && base.back() == '/') base.pop_back();
    while (directory.size() > 1 && directory.back() == '/') directory.pop_back();
    if (base.empty()) return -1;
    std::string rest;
    if (directory != base) {
        const std::string prefix = base == "/" ? base : base + "/";
        if (directory.compare(0, prefix.size(), prefix) != 0) return -1;
        rest = directory.substr(prefix.size());
    }
    int fd = ::open(base.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    size_t i = 0;
    while (fd >= 0 && i < rest.size()) {
        size_t j = rest.find('/', i);
        if (j == std::string::npos) j = rest.size();
        const std::string part = rest.substr(i, j - i);
        i = j + 1;
        if (part.empty()) continue;
        int next = -1;
        if (part != "." && part != "..")
            next = ::openat(fd, part.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        ::close(fd);
        fd = next;
    }
    return fd;
}

// Creates a new, empty file with an unused name in the folder `dirFd`;
// its descriptor, or -1. The name never follows a link (O_EXCL).
int CreateHiddenFileIn(int dirFd, std::string& name) {
    static std::mt19937_64 random{std::random_device{}()};
    for (int attempt = 0; attempt < 100; ++attempt) {
        char text[40];
        std::snprintf(text, sizeof text, ".vantrel-%016llx.tmp", static_cast<unsigned long long>(random()));
        const int fd = ::openat(dirFd, text, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd >= 0) {
            name = text;
            return fd;
        }
        if (errno != EEXIST) return -1;
    }
    return -1;
}

}  // namespace

bool CopyFileIntoFolder(const std::u16string& from, const std::u16string& to, const std::u16string& baseDirectory) {
    const std::string source = ToUtf8(from);
    const std::string target = ToUtf8(to);
    const size_t slash = target.rfind('/');
    if (slash == std::string::npos) return false;
    const std::string name = target.substr(slash + 1);
    if (name.empty() || name == "." || name == ".." || name.find('\0') != std::string::npos) return false;

    const int in = ::open(source.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (in < 0) return false;
    struct stat st {};
    if (::fstat(in, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(in);
        return false;
    }
    const int dirFd = OpenFolderBelow(ToUtf8(baseDirectory), target.substr(0, slash + 1));
    if (dirFd < 0) {
        ::close(in);
        return false;
    }
    // The bytes go to a new file of our own in the target's folder, which is
    // then renamed onto the name: a link of that name is replaced, never
    // written through, a directory of that name is never replaced (rename
    // refuses), and no half-written copy ever carries the name.
    std::string partName;
    const int out = CreateHiddenFileIn(dirFd, partName);
    bool ok = out >= 0;
    if (ok) {
        std::vector<char> buffer(65536);
        for (;;) {
            const ssize_t n = ::read(in, buffer.data(), buffer.size());
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                ok = n == 0;
                break;
            }
            if (!WriteAll(out, buffer.data(), static_cast<size_t>(n))) {
                ok = false;
                break;
            }
        }
        if (::close(out) != 0) ok = false;
        if (ok) ok = ::renameat(dirFd, partName.c_str(), dirFd, name.c_str()) == 0;
        if (!ok) ::unlinkat(dirFd, partName.c_str(), 0);
    }
    ::close(in);
    ::close(dirFd);
    return ok;
}

bool CopyFileReplacing(const std::u16string& from, const std::u16string& to) {
    const std::u16string::size_type slash = to.rfind(u'/');
    if (slash == std::u16string::npos) return CopyFileIntoFolder(from, u"./" + to, u".");
    return CopyFileIntoFolder(from, to, slash == 0 ? std::u16string(u"/") : to.substr(0, slash));
}

bool DeleteFileAt(const std::u16string& path) { return ::unlink(ToUtf8(path).c_str()) == 0; }

bool CreateDirectoryAt(const std::u16string& path) {
    return ::mkdir(ToUtf8(path).c_str(), 0777) == 0;
}

bool PathEntryExists(const std::u16string& path) {
    struct stat st {};
    return ::lstat(ToUtf8(path).c_str(), &st) == 0;
}

bool IsRealDirectory(const std::u16string& path) {
    struct stat st {};
    return ::lstat(ToUtf8(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

uint32_t CountDirectoryEntries(const std::u16string& directory) {
    DIR* dir = ::opendir(ToUtf8(directory).c_str());
    if (!dir) return 0;
    uint32_t count = 0;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view name = entry->d_name;
        if (name != "." && name != "..") ++count;
    }
    ::closedir(dir);
    return count;
}

}  // namespace pyxol
