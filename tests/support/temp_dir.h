// A temporary folder that lives as long as the object, with helpers to put
// files in it. Removed with everything inside on destruction.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vantrel::test {

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& Path() const { return m_path; }
    // Path of `name` inside the folder (nothing is created).
    std::string File(std::string_view name) const;
    // Writes `bytes` to `name` inside the folder and returns its path.
    std::string Write(std::string_view name, std::string_view bytes) const;
    std::string Write(std::string_view name, const std::vector<uint8_t>& bytes) const;

private:
    std::string m_path;
};

// Whole contents of a file; empty when it cannot be read.
std::string ReadFileBytes(const std::string& path);
// Names of the entries of a directory, sorted.
std::vector<std::string> ListDirectory(const std::string& path);

}  // namespace vantrel::test
