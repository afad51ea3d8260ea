// Platform error objects raised inside the engine's work and caught by the
// scanners and the driver (which turn them into "Error 2: General error. %s").
// CFileException is the file-error record: a cause from a fixed table, the
// system's error number and the file name, with a message built from the
// cause's text.
#pragma once

#include <cstdint>
#include <string>

namespace pyxol {

// Base of every platform error object. GetErrorMessage fills `text` with the
// object's own message and returns false when it has none.
class CException {
public:
    virtual ~CException() = default;
    [[nodiscard]] virtual bool GetErrorMessage(std::u16string& text) const = 0;
};

class CMemoryException : public CException {
public:
    bool GetErrorMessage(std::u16string& text) const override;
};

class CNotSupportedException : public CException {
public:
    bool GetErrorMessage(std::u16string& text) const override;
};

class CInvalidArgException : public CException {
public:
    bool GetErrorMessage(std::u16string& text) const override;
};

// File-error causes (the record's m_cause).
enum FileErrorCause : int {
    kNone = 0,
    kGeneric = 1,
    kFileNotFound = 2,
    kBadPath = 3,
    kTooManyOpenFiles = 4,
    kAccessDenied = 5,
    kInvalidFile = 6,
    kRemoveCurrentDir = 7,
    kDirectoryFull = 8,
    kBadSeek = 9,
    kHardIO = 10,
    kSharingViolation = 11,
    kLockViolation = 12,
    kDiskFull = 13,
    kEndOfFile = 14,
};

class CFileException : public CException {
public:
    CFileException() = default;
    CFileException(int cause, int32_t osError, std::u16string fileName)
        : m_cause(cause), m_lOsError(osError), m_strFileName(std::move(fileName)) {}

    // The cause's text with "%1" replaced by the file name, or by
    // "an unnamed file" when the name is empty.
    bool GetErrorMessage(std::u16string& text) const override;

    // Maps an errno value to a cause (ENOENT -> 2, EACCES -> 5, ...).
    [[nodiscard]] static int OsErrorToCause(int err);

    int m_cause = kNone;
    int32_t m_lOsError = -1;
    std::u16string m_strFileName;
};

// Raises a CFileException for errno value `err` about `fileName`.
[[noreturn]] void ThrowOsFileException(int err, const std::u16string& fileName);

}  // namespace pyxol
