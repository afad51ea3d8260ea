// Platform error objects: their message texts and the classification of
// system error numbers into file-error causes.
#include "platform/exceptions.h"

#include <cerrno>
#include <iterator>

namespace pyxol {

namespace {

// Text of each file-error cause; "%1" stands for the file name.
constexpr const char16_t* kCauseTexts[] = {
    u"No error occurred.",
    u"An unknown error occurred while accessing %1.",
    u"%1 was not found.",
    u"%1 contains an incorrect path.",
    u"Could not open %1 because there are too many open files.",
    u"Access to %1 was denied.",
    u"An incorrect file handle was associated with %1.",
    u"Could not remove %1 because it is the current directory.",
    u"Could not create %1 because the directory is full.",
    u"Seek failed on %1",
    u"Encountered a hardware I/O error while accessing %1.",
    u"Encountered a sharing violation while accessing %1.",
    u"Encountered a locking violation while accessing %1.",
    u"Disk full while accessing %1.",
    u"Attempted to access %1 past its end.",
};

}  // namespace

bool CMemoryException::GetErrorMessage(std::u16string& text) const {
    text = u"Out of memory.";
    return true;
}

bool CNotSupportedException::GetErrorMessage(std::u16string& text) const {
    text = u"An unsupported operation was attempted.";
    return true;
}

bool CInvalidArgException::GetErrorMessage(std::u16string& text) const {
    text = u"Encountered an improper argument.";
    return true;
}

bool CFileException::GetErrorMessage(std::u16string& text) const {
    int cause = m_cause;
    if (cause < 0 || cause >= static_cast<int>(std::size(kCauseTexts))) cause = kGeneric;
    const std::u16string name = m_strFileName.empty() ? u"an unnamed file" : m_strFileName;
    text.clear();
    for (const char16_t* p = kCauseTexts[cause]; *p; ++p) {
        if (p[0] == u'%' && p[1] == u'1') {
            text += name;
            ++p;
        } else {
            text += *p;
        }
    }
    return true;
}

int CFileException::OsErrorToCause(int err) {
    switch (err) {
    case 0:
        return kNone;
    case ENOENT:
        return kFileNotFound;
    case ENOTDIR:
    case ENAMETOOLONG:
    case ELOOP:
    case EXDEV:
    case EINVAL:
        return kBadPath;
    case EMFILE:
    case ENFILE:
        return kTooManyOpenFiles;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
    case EEXIST:
        return kAccessDenied;
    case EBADF:
        return kInvalidFile;
    case ENOTEMPTY:
        return kRemoveCurrentDir;
    case ESPIPE:
    case EOVERFLOW:
        return kBadSeek;
    case EIO:
    case ENXIO:
    case ENODEV:
    case ENOMEDIUM:
        return kHardIO;
    case EAGAIN:  // a conflicting open-file-description lock
    case ETXTBSY:
    case EBUSY:
        return kSharingViolation;
    case EDEADLK:
    case ENOLCK:
        return kLockViolation;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
        return kDiskFull;
    default:
        return kGeneric;
    }
}

void ThrowOsFileException(int err, const std::u16string& fileName) {
    throw CFileException(CFileException::OsErrorToCause(err), err, fileName);
}

}  // namespace pyxol
