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
// Copies `from` to the path `to`, which lies in `baseDirectory` or in a
// folder below it. The bytes go to a new file in the target's folder that is
// then renamed onto the name, replacing a file (or a link, never followed) of
// that name; a directory of that name is never replaced. Folders below
// `baseDirectory` must be real directories, not links. False on failure,
// with nothing left behind.
bool CopyFileIntoFolder(const std::u16string& from, const std::u16string& to, const std::u16string& baseDirectory);
// CopyFileIntoFolder with the target's own folder as the base.
bool CopyFileReplacing(const std::u16string& from, const std::u16string& to);
bool DeleteFileAt(const std::u16string& path);
bool CreateDirectoryAt(const std::u16string& path);
// True when any directory entry (file, directory, link) has this exact name.
bool PathEntryExists(const std::u16string& path);
// True when `path` names a directory itself, not a link to one.
bool IsRealDirectory(const std::u16string& path);
// Entries of a directory other than "." and ".."; 0 when it cannot be read.
uint32_t CountDirectoryEntries(const std::u16string& directory);

}  // namespace pyxol
