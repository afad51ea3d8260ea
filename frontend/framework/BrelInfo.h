// BrelInfo: the system-information block of a saved log and the version
// texts of a file.
//
// AddSystemInfoLines appends the block (version, operating system,
// directories, memory, environment, drives) that support readers look at.
// The block is built in two steps so that its shape can be checked with
// chosen values: CollectSystemInfo reads the machine, BuildSystemInfoLines
// turns a snapshot into lines.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QtGlobal>

// "%d.%d" of the high and the low 16 bits of a version word.
[[nodiscard]] QString VersionWordToStr(quint32 word);
// "%s.%s" of the two word texts.
[[nodiscard]] QString VersionPairToStr(quint32 ms, quint32 ls);

// Kinds of GetFileVersionText.
enum TFileVersionKind : int {
    fvFileMS = 0,        // "2.5"
    fvFileLS = 1,        // "0.0"
    fvFile = 2,          // "2.5.0.0"
    fvProductMS = 3,
    fvProductLS = 4,
    fvProduct = 5,
};
// Version text of a file; empty when it has no version record (every file
// but the program's own) or the kind is unknown.
[[nodiscard]] QString GetFileVersionText(const QString& fileName, int kind);

// Drive kinds, numbered as the Windows drive-type query numbers them.
enum TDriveType : int {
    dtUnknown = 0,
    dtNoRootDir = 1,
    dtRemovable = 2,
    dtFixed = 3,
    dtRemote = 4,
    dtCDROM = 5,
    dtRamDisk = 6,
};
// "Unknown Drive Type", "Invalid Root Path", "Removable Drive", "Fixed Drive",
// "Remote Network Drive", "CD-ROM Drive", "RAM Disk".
[[nodiscard]] QString DriveTypeName(int driveType);

// A directory query: the path, or the error code when it failed (code != 0).
struct TDirectoryQuery {
    QString path;
    int errorCode = 0;
};

struct TMemoryStatus {
    quint32 memoryLoad = 0;  // percent in use
    quint64 totalPhys = 0;
    quint64 availPhys = 0;
    quint64 totalPageFile = 0;  // swap
    quint64 availPageFile = 0;
    quint64 totalVirtual = 0;  // address space of this process
    quint64 availVirtual = 0;
};

struct TDriveInfo {
    QString root;  // the mount point
    int driveType = dtUnknown;
    qint64 totalBytes = -1;  // -1: could not be read
    qint64 freeBytes = -1;   // bytes free to this user
};

struct TSystemInfo {
    QString fileVersion;     // kind 2 of the program's file
    QString productVersion;  // kind 5 of the program's file
    QString platformName;    // the kernel name ("Linux")
    int majorVersion = 0;
    int minorVersion = 0;
    int buildNumber = 0;
    QString platformDetail;  // the full kernel release and the machine
    TDirectoryQuery windowsDirectory;
    TDirectoryQuery systemDirectory;
    TDirectoryQuery tempDirectory;
    TMemoryStatus memory;
    QStringList environment;  // "NAME=value", in the process's order
    QList<TDriveInfo> drives;
};

// Reads the running system. On Linux: the kernel from uname; for the
// "Windows" and "System" directories the user's home directory and the
// per-user configuration directory (where this program's settings live);
// the temporary directory with a trailing "/"; memory from /proc/meminfo
// (swap standing for the page file) and this process's address space;
// the environment of the process; every mounted file system backed by a
// block device or a network share (pseudo file systems are left out).
[[nodiscard]] TSystemInfo CollectSystemInfo();

// The block's lines for a snapshot: "Version Information:" first, the
// separator line last.
[[nodiscard]] QStringList BuildSystemInfoLines(const TSystemInfo& info);

// Appends the block for the running system to lines.
void AddSystemInfoLines(QStringList& lines);

// Kernel release text to numbers: "6.1.0-13-amd64" gives 6, 1, 0; missing
// parts are 0.
void ParseKernelRelease(const QString& release, int& major, int& minor, int& build);
