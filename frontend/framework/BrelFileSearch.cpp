#include "BrelFileSearch.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <algorithm>
#include <optional>
#include <unordered_set>
#include <utility>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Matches an already case-folded name against an already case-folded mask.
// Iterative, with one backtracking point for the last "*" seen: linear for the
// usual masks and never exponential.
bool MatchFolded(const QChar* name, qsizetype nameLen, const QChar* mask, qsizetype maskLen) {
    qsizetype n = 0, m = 0;
    qsizetype starMask = -1, starName = 0;
    while (n < nameLen) {
        if (m < maskLen && mask[m] == u'*') {
            starMask = m++;
            starName = n;
        } else if (m < maskLen && mask[m] == u'?') {
            // One character, which may be a surrogate pair.
            n += (name[n].isHighSurrogate() && n + 1 < nameLen && name[n + 1].isLowSurrogate()) ? 2 : 1;
            ++m;
        } else if (m < maskLen && mask[m] == name[n]) {
            ++n;
            ++m;
        } else if (starMask >= 0) {
            m = starMask + 1;
            n = ++starName;
        } else {
            return false;
        }
    }
    while (m < maskLen && mask[m] == u'*')
        ++m;
    return m == maskLen;
}

struct DirKey {
    dev_t dev;
    ino_t ino;
    bool operator==(const DirKey&) const = default;
};

struct DirKeyHash {
    size_t operator()(const DirKey& k) const noexcept {
        return std::hash<unsigned long long>()((static_cast<unsigned long long>(k.dev) << 32) ^ k.ino);
    }
};

QDateTime ToLocal(const struct statx_timestamp& t) {
    return QDateTime::fromMSecsSinceEpoch(qint64(t.tv_sec) * 1000 + t.tv_nsec / 1000000, Qt::LocalTime);
}

qint64 ToMSecs(const struct statx_timestamp& t) {
    return qint64(t.tv_sec) * 1000 + t.tv_nsec / 1000000;
}

// One run of Execute: the criteria prepared for fast testing, and the set of
// folders already walked.
class TWalker {
public:
    TWalker(const TBrelFileSearch& search, const bool& cancelRequested)
        : S(search), FCancel(cancelRequested) {
        for (const QString& mask : S.FileMasks.split(u';', Qt::SkipEmptyParts)) {
            const QString trimmed = mask.trimmed();
            if (!trimmed.isEmpty())
                FMasks.append(trimmed.toCaseFolded());
        }
        if (S.CheckDates & TBrelCheckDate::CreatedAfter)
            FCreatedAfter = S.CreatedAfter.toMSecsSinceEpoch();
        if (S.CheckDates & TBrelCheckDate::AccessedAfter)
            FAccessedAfter = S.AccessedAfter.toMSecsSinceEpoch();
        if (S.CheckDates & TBrelCheckDate::ModifiedAfter)
            FModifiedAfter = S.ModifiedAfter.toMSecsSinceEpoch();
    }

    void WalkRoot(const QString& folder) {
        QString path = folder;
        if (!path.endsWith(u'/'))
            path += u'/';
        WalkDir(QFile::encodeName(path).toStdString(), path, true);
    }

private:
    struct Entry {
        std::string name;
        unsigned char type;
    };

    bool NameMatches(const QString& name) const {
        if (FMasks.isEmpty())
            return true;
        const QString folded = name.toCaseFolded();
        for (const QString& mask : FMasks)
            if (MatchFolded(folded.constData(), folded.size(), mask.constData(), mask.size()))
                return true;
        return false;
    }

    void WalkDir(const std::string& path, const QString& qpath, bool isRoot) {
        // Open first and identify the folder by device and inode: a folder
        // reached again (through a symbolic link, a bind mount or overlapping
        // search folders) is not walked a second time, which also ends every
        // symbolic-link loop. A folder that cannot be opened is passed over.
        const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0)
            return;
        struct stat st {};
        if (::fstat(fd, &st) != 0) {
            ::close(fd);
            return;
        }
        if (isRoot)
            FRootDev = st.st_dev;
        const DirKey key{st.st_dev, st.st_ino};
        if ((S.OneFileSystem && st.st_dev != FRootDev) || !FVisited.insert(key).second) {
            ::close(fd);
            return;
        }
        DIR* dir = ::fdopendir(fd);
        if (!dir) {
            ::close(fd);
            return;
        }

        if (S.OnDirChange)
            S.OnDirChange(qpath);
        // Once per folder, never per file: keeps the window responsive at a
        // small cost, and lets a Stop click reach Cancel.
        if (QCoreApplication::instance())
            QCoreApplication::processEvents();
        if (FCancel) {
            ::closedir(dir);
            return;
        }

        std::vector<Entry> entries;
        while (const dirent* de = ::readdir(dir)) {
            const char* n = de->d_name;
            if (n[0] == '.' && (n[1] == 0 || (n[1] == '.' && n[2] == 0)))
                continue;
            entries.push_back({n, de->d_type});
        }
        // A stable order, whatever the file system's own order is.
        std::sort(entries.begin(), entries.end(),
                  [](const Entry& a, const Entry& b) { return a.name < b.name; });

        const int dfd = ::dirfd(dir);
        std::vector<std::pair<std::string, QString>> subDirs;
        for (const Entry& e : entries) {
            if (FCancel)
                break;
            if (e.type == DT_DIR) {
                if (S.RecurseSubDirs)
                    subDirs.emplace_back(e.name, QFile::decodeName(e.name.c_str()));
                continue;
            }
            if (e.type != DT_REG && e.type != DT_LNK && e.type != DT_UNKNOWN)
                continue;  // devices, pipes and sockets are never store files
            const QString name = QFile::decodeName(e.name.c_str());
            const bool nameMatches = NameMatches(name);
            if (e.type == DT_REG && !nameMatches)
                continue;
            if (e.type != DT_REG && !nameMatches && !S.RecurseSubDirs)
                continue;
            // Follows symbolic links: a link to a file is reported under its
            // own name, a link to a folder is walked (once). A dangling link
            // fails here and is passed over.
            struct statx stx {};
            if (::statx(dfd, e.name.c_str(), AT_STATX_SYNC_AS_STAT,
                        STATX_BASIC_STATS | STATX_BTIME, &stx) != 0)
                continue;
            if (S_ISDIR(stx.stx_mode)) {
                if (S.RecurseSubDirs)
                    subDirs.emplace_back(e.name, name);
                continue;
            }
            if (!S_ISREG(stx.stx_mode) || !nameMatches)
                continue;
            TestAndReport(dfd, e.name, qpath, name, stx);
        }
        ::closedir(dir);

        for (const auto& [name, qname] : subDirs) {
            if (FCancel)
                return;
            WalkDir(path + name + '/', qpath + qname + u'/', false);
        }
    }

    void TestAndReport(int dfd, const std::string& rawName, const QString& qpath, const QString& name,
                       const struct statx& stx) {
        const qint64 size = qint64(stx.stx_size);
        if (S.MinSize > 0 && size < S.MinSize)
            return;
        if (S.MaxSize > 0 && size > S.MaxSize)
            return;

        // Birth time where the file system keeps one; the status-change time
        // otherwise, the closest Linux has to a creation time.
        const struct statx_timestamp& created =
            (stx.stx_mask & STATX_BTIME) ? stx.stx_btime : stx.stx_ctime;
        if (FCreatedAfter && ToMSecs(created) < *FCreatedAfter)
            return;
        if (FAccessedAfter && ToMSecs(stx.stx_atime) < *FAccessedAfter)
            return;
        if (FModifiedAfter && ToMSecs(stx.stx_mtime) < *FModifiedAfter)
            return;

        TBrelFileAttributes attrs;
        if (name.startsWith(u'.'))
            attrs |= TBrelFileAttribute::Hidden;
        if ((stx.stx_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0 ||
            ::faccessat(dfd, rawName.c_str(), W_OK, AT_EACCESS) != 0)
            attrs |= TBrelFileAttribute::ReadOnly;
        if (!(S.Attributes & TBrelFileAttribute::AnyFile)) {
            const TBrelFileAttributes required =
                S.Attributes & (TBrelFileAttribute::ReadOnly | TBrelFileAttribute::Hidden |
                                TBrelFileAttribute::System | TBrelFileAttribute::Archive);
            if ((attrs & required) != required)
                return;
            if ((attrs & TBrelFileAttribute::Hidden) && !(required & TBrelFileAttribute::Hidden))
                return;
        }

        if (!S.OnFound)
            return;
        TBrelFileSearchRecord record;
        record.Directory = qpath;
        record.FileName = name;
        record.Attributes = attrs;
        record.Size = size;
        record.CreationTime = ToLocal(created);
        record.LastAccessTime = ToLocal(stx.stx_atime);
        record.LastWriteTime = ToLocal(stx.stx_mtime);
        S.OnFound(record);
    }

    const TBrelFileSearch& S;
    const bool& FCancel;
    QStringList FMasks;
    std::optional<qint64> FCreatedAfter, FAccessedAfter, FModifiedAfter;
    std::unordered_set<DirKey, DirKeyHash> FVisited;
    dev_t FRootDev = 0;
};

QStringList SearchRoots(const QString& dirs) {
    QStringList roots;
    for (const QString& part : dirs.split(u';', Qt::SkipEmptyParts)) {
        QString dir = part.trimmed();
        if (dir.isEmpty())
            continue;
        if (dir == u"~" || dir.startsWith(u"~/"))
            dir = QDir::homePath() + dir.mid(1);
        dir = QDir::cleanPath(QDir::current().absoluteFilePath(dir));
        if (!dir.endsWith(u'/'))
            dir += u'/';
        roots.append(dir);
    }
    return roots;
}

}  // namespace

bool BrelMatchesMask(const QString& name, const QString& mask) {
    const QString n = name.toCaseFolded();
    const QString m = mask.toCaseFolded();
    return MatchFolded(n.constData(), n.size(), m.constData(), m.size());
}

bool TBrelFileSearch::Execute() {
    if (FRunning)
        return false;
    FRunning = true;
    FCancelRequested = false;
    {
        TWalker walker(*this, FCancelRequested);
        for (const QString& root : SearchRoots(Dirs)) {
            if (FCancelRequested)
                break;
            walker.WalkRoot(root);
        }
    }
    const bool cancelled = FCancelRequested;
    // The search counts as ended before the handlers run, so a handler may
    // start the next one.
    FRunning = false;
    FCancelRequested = false;
    if (cancelled) {
        if (OnCancel)
            OnCancel();
    } else if (OnFinished) {
        OnFinished();
    }
    if (OnEnd)
        OnEnd();
    return true;
}

void TBrelFileSearch::Cancel() {
    if (FRunning)
        FCancelRequested = true;
}
