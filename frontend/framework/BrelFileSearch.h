// BrelFileSearch: walks folders for files matching name masks, size,
// attribute and time criteria and reports every match through event handlers.
//
// It has no widgets and no threads: Execute runs the whole walk on the calling
// thread (the user-interface thread) and processes pending events once for
// every folder it enters, so a window that runs a search stays responsive and
// can call Cancel from its own handlers while Execute is on the stack.
//
// Typical use: set Dirs, FileMasks and the criteria, set the On* handlers, call
// Execute. The handlers fire in this order: OnDirChange for each folder entered
// and OnFound for each match, interleaved as the walk goes; then exactly one of
// OnFinished (the walk ran to its end) or OnCancel (Cancel was called); then
// OnEnd.
#pragma once

#include <QDateTime>
#include <QFlags>
#include <QString>
#include <QStringList>
#include <functional>
#include <string>

// File attributes as this program understands them on Linux. Windows-style
// attributes are mapped where a Linux meaning exists:
//   ReadOnly - the current user cannot write the file (the permission bits or
//              the access check refuse writing), or the file carries no write
//              permission bit at all (so a file made read-only with chmod a-w
//              counts as read-only even for root, who could still write it).
//   Hidden   - the file name starts with ".".
//   System, Archive - have no Linux meaning: no file has them, so requiring
//              either matches nothing.
// AnyFile is not an attribute of a file; in a criteria set it means "do not
// test attributes at all".
enum class TBrelFileAttribute : unsigned {
    AnyFile = 0x01,
    ReadOnly = 0x02,
    Archive = 0x04,
    System = 0x08,
    Hidden = 0x10,
};
Q_DECLARE_FLAGS(TBrelFileAttributes, TBrelFileAttribute)
Q_DECLARE_OPERATORS_FOR_FLAGS(TBrelFileAttributes)

// Which lower time bounds the search applies.
enum class TBrelCheckDate : unsigned {
    CreatedAfter = 0x01,
    AccessedAfter = 0x02,
    ModifiedAfter = 0x04,
};
Q_DECLARE_FLAGS(TBrelCheckDates, TBrelCheckDate)
Q_DECLARE_OPERATORS_FOR_FLAGS(TBrelCheckDates)

// One match, as handed to OnFound.
struct TBrelFileSearchRecord {
    QString Directory;  // folder of the file as walked, always ending in "/"
    QString FileName;   // name inside Directory
    TBrelFileAttributes Attributes;
    qint64 Size = 0;
    // Local time. The creation time is the file's birth time where the file
    // system records it (statx STATX_BTIME), else its status-change time,
    // the nearest thing Linux keeps.
    QDateTime CreationTime;
    QDateTime LastAccessTime;
    QDateTime LastWriteTime;

    [[nodiscard]] QString FullPath() const { return Directory + FileName; }
};

class TBrelFileSearch {
public:
    // Folders to search, separated by ";". Each is trimmed of surrounding
    // blanks; a leading "~" stands for the home folder; a relative folder is
    // taken from the current directory. A folder that does not exist or cannot
    // be read is passed over silently.
    QString Dirs;
    // Name masks separated by ";": "*" matches any run of characters, "?"
    // exactly one, letters match in any case. An empty mask list matches
    // every name.
    QString FileMasks;
    bool RecurseSubDirs = true;
    // Inclusive size bounds in bytes; 0 means no bound.
    qint64 MinSize = 0;
    qint64 MaxSize = 0;
    // With AnyFile in the set every file qualifies. Without it a file must
    // have every attribute in the set, and a hidden or system file qualifies
    // only when that attribute is in the set.
    TBrelFileAttributes Attributes = TBrelFileAttribute::AnyFile;
    // A time bound passes when the file's time is at or after it.
    TBrelCheckDates CheckDates;
    QDateTime CreatedAfter;
    QDateTime AccessedAfter;
    QDateTime ModifiedAfter;
    // Stay on the file system of each searched folder, like find -xdev: used
    // when the folders are the mount points of the local drives themselves, so
    // that a search of "/" does not wander into /proc, /sys, network shares or
    // the other drives (which are searched under their own mount points).
    bool OneFileSystem = false;

    std::function<void(const QString& folder)> OnDirChange;  // folder ends in "/"
    std::function<void(const TBrelFileSearchRecord& record)> OnFound;
    std::function<void()> OnFinished;
    std::function<void()> OnCancel;
    std::function<void()> OnEnd;

    // Runs the search to its end (or until cancelled) and returns after OnEnd.
    // Returns false at once, firing nothing, when a search of this object is
    // already running (a nested call from an event handler).
    bool Execute();
    // Asks a running search to stop; the walk checks the request between
    // entries. Does nothing when no search runs.
    void Cancel();
    [[nodiscard]] bool Running() const { return FRunning; }

private:
    bool FRunning = false;
    bool FCancelRequested = false;
};

// Whether `name` matches `mask` ("*" and "?" wildcards, letters in any case).
[[nodiscard]] bool BrelMatchesMask(const QString& name, const QString& mask);
