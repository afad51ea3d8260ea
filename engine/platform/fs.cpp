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

bool CopyFileReplacing(const std::u16string& from, const std::u16string& to) {
    const std::string source = ToUtf8(from);
    const std::string target = ToUtf8(to);
    const int in = ::open(source.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) return false;
    struct stat st {};
    if (::fstat(in, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(in);
        return false;
    }
    const int out = ::open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (out < 0) {
        ::close(in);
        return false;
    }
    std::vector<char> buffer(65536);
    bool ok = true;
    for (;;) {
        ssize_t n = ::read(in, buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            ok = n == 0;
            break;
        }
        for (ssize_t done = 0; ok && done < n;) {
            const ssize_t w = ::write(out, buffer.data() + done, static_cast<size_t>(n - done));
            if (w < 0 && errno == EINTR) continue;
            if (w <= 0) ok = false;
            else done += w;
        }
        if (!ok) break;
    }
    ::close(in);
    if (::close(out) != 0) ok = false;
    // Leave no half-written copy behind.
    if (!ok) ::unlink(target.c_str());
    return ok;
}

bool DeleteFileAt(const std::u16string& path) { return ::unlink(ToUtf8(path).c_str()) == 0; }

bool CreateDirectoryAt(const std::u16string& path) {
    return ::mkdir(ToUtf8(path).c_str(), 0777) == 0;
}

bool PathEntryExists(const std::u16string& path) {
    struct stat st {};
    return ::lstat(ToUtf8(path).c_str(), &st) == 0;
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
