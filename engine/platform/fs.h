// File-system services of the engine: full paths, the temporary directory,
// unique temporary files, copy, delete, directories and their entries.
// Paths are UTF-16 with "/" as the separator.
#pragma once

#include <cstdint>
#include <string>

namespace pyxol {

// Absolute, "."/".."-free form of `path` against the working directory;
// empty when it cannot be computed (an empty path, for instance).
std::u16string GetFullPath(const std::u16string& path);
// $TMPDIR or /tmp, with a trailing "/".
std::u16string GetTempDirectory();
// Creates an empty file with a unique name starting with `prefix` in
// `directory` and returns its path; empty on failure.
std::u16string CreateTempFileName(const std::u16string& directory, const std::u16string& prefix);
// Copies `from` onto `to`, replacing an existing file; false on failure.
bool CopyFileReplacing(const std::u16string& from, const std::u16string& to);
bool DeleteFileAt(const std::u16string& path);
bool CreateDirectoryAt(const std::u16string& path);
// True when any directory entry (file, directory, link) has this exact name.
bool PathEntryExists(const std::u16string& path);
// Entries of a directory other than "." and ".."; 0 when it cannot be read.
uint32_t CountDirectoryEntries(const std::u16string& directory);

}  // namespace pyxol
