#include "BrelInfo.h"

#include "BrelDrives.h"

#include "BrelSetting.h"
#include "BrelUtils.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <cerrno>
#include <climits>
#include <limits>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/utsname.h>

extern char** environ;

QString VersionWordToStr(quint32 word) {
    return QStringLiteral("%1.%2").arg(word >> 16).arg(word & 0xFFFF);
}

QString VersionPairToStr(quint32 ms, quint32 ls) {
    return QStringLiteral("%1.%2").arg(VersionWordToStr(ms), VersionWordToStr(ls));
}

QString GetFileVersionText(const QString& fileName, int kind) {
    TVSFixedFileInfo info;
    if (!GetFileFixedVersionInfo(fileName, info))
        return QString();
    switch (kind) {
    case fvFileMS:
        return VersionWordToStr(info.dwFileVersionMS);
    case fvFileLS:
        return VersionWordToStr(info.dwFileVersionLS);
    case fvFile:
        return VersionPairToStr(info.dwFileVersionMS, info.dwFileVersionLS);
    case fvProductMS:
        return VersionWordToStr(info.dwProductVersionMS);
    case fvProductLS:
        return VersionWordToStr(info.dwProductVersionLS);
    case fvProduct:
        return VersionPairToStr(info.dwProductVersionMS, info.dwProductVersionLS);
    default:
        return QString();
    }
}

QString DriveTypeName(int driveType) {
    switch (driveType) {
    case dtNoRootDir:
        return QStringLiteral("Invalid Root Path");
    case dtRemovable:
        return QStringLiteral("Removable Drive");
    case dtFixed:
        return QStringLiteral("Fixed Drive");
    case dtRemote:
        return QStringLiteral("Remote Network Drive");
    case dtCDROM:
        return QStringLiteral("CD-ROM Drive");
    case dtRamDisk:
        return QStringLiteral("RAM Disk");
    default:
        return QStringLiteral("Unknown Drive Type");
    }
}

void ParseKernelRelease(const QString& release, int& major, int& minor, int& build) {
    int parts[3] = {0, 0, 0};
    int index = 0;
    qsizetype i = 0;
    while (index < 3 && i < release.size() && release.at(i).isDigit()) {
        qint64 value = 0;
        while (i < release.size() && release.at(i).isDigit()) {
            value = qMin<qint64>(value * 10 + release.at(i).digitValue(), INT_MAX);
            ++i;
        }
        parts[index++] = int(value);
        if (i < release.size() && release.at(i) == u'.')
            ++i;
        else
            break;
    }
    major = parts[0];
    minor = parts[1];
    build = parts[2];
}

// ---------------------------------------------------------------------------

namespace {

TDirectoryQuery queryDirectory(const QString& path, bool trailingSlash) {
    TDirectoryQuery q;
    struct stat st {};
    if (path.isEmpty()) {
        q.errorCode = ENOENT;
    } else if (::stat(QFile::encodeName(path).constData(), &st) != 0) {
        q.errorCode = errno ? errno : ENOENT;
    } else if (!S_ISDIR(st.st_mode)) {
        q.errorCode = ENOTDIR;
    } else {
        q.path = path;
        if (trailingSlash && !q.path.endsWith(u'/'))
            q.path += u'/';
    }
    return q;
}

// "Name:   123 kB" lines of a /proc file, in bytes.
quint64 procKilobytes(const QByteArray& text, const QByteArray& name) {
    for (const QByteArray& line : text.split('\n')) {
        if (!line.startsWith(name + ':'))
            continue;
        const QList<QByteArray> fields = line.mid(name.size() + 1).simplified().split(' ');
        bool ok = false;
        const quint64 value = fields.value(0).toULongLong(&ok);
        if (!ok)
            return 0;
        return fields.value(1) == "kB" ? value * 1024 : value;
    }
    return 0;
}

QByteArray readProcFile(const char* path) {
    QFile f(QString::fromLatin1(path));
    // /proc files report size 0; read until the end instead.
    if (!f.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return QByteArray();
    return f.readAll();
}

TMemoryStatus readMemoryStatus() {
    TMemoryStatus m;
    const QByteArray meminfo = readProcFile("/proc/meminfo");
    m.totalPhys = procKilobytes(meminfo, "MemTotal");
    m.availPhys = procKilobytes(meminfo, "MemAvailable");
    if (m.availPhys == 0)
        m.availPhys = procKilobytes(meminfo, "MemFree");
    m.totalPageFile = procKilobytes(meminfo, "SwapTotal");
    m.availPageFile = procKilobytes(meminfo, "SwapFree");
    if (m.totalPhys > 0 && m.availPhys <= m.totalPhys)
        m.memoryLoad = quint32((m.totalPhys - m.availPhys) * 100 / m.totalPhys);

    // The process's address space: its limit when one is set, otherwise the
    // usual size of user space (47 bits on 64-bit Linux, 3 GiB on 32-bit).
    rlimit limit {};
    if (getrlimit(RLIMIT_AS, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY)
        m.totalVirtual = limit.rlim_cur;
    else
        m.totalVirtual = sizeof(void*) == 8 ? Q_UINT64_C(0x7FFFFFFFF000) : Q_UINT64_C(0xC0000000);
    const quint64 used = procKilobytes(readProcFile("/proc/self/status"), "VmSize");
    m.availVirtual = used < m.totalVirtual ? m.totalVirtual - used : 0;
    return m;
}

int classifyMount(const QString& device, const QString& fsType) {
    static const QSet<QString> remote = {
        QStringLiteral("nfs"),   QStringLiteral("nfs4"),      QStringLiteral("cifs"),
        QStringLiteral("smb3"),  QStringLiteral("smbfs"),     QStringLiteral("afs"),
        QStringLiteral("ceph"),  QStringLiteral("glusterfs"), QStringLiteral("fuse.sshfs"),
        QStringLiteral("davfs"), QStringLiteral("9p"),
    };
    if (remote.contains(fsType))
        return dtRemote;
    if (!device.startsWith(QStringLiteral("/dev/")))
        return dtUnknown;  // pseudo file systems: left out
    // Read-only package images of snap and the like are loop-mounted
    // squashfs; they are not storage the user works with.
    if (fsType == QStringLiteral("squashfs"))
        return dtUnknown;
    const QString real = QFileInfo(device).canonicalFilePath();
    const QString name = QFileInfo(real.isEmpty() ? device : real).fileName();
    if (fsType == QStringLiteral("iso9660") || fsType == QStringLiteral("udf") ||
        name.startsWith(QStringLiteral("sr")) || name.startsWith(QStringLiteral("scd")))
        return dtCDROM;
    if (IsRemovableBlockDevice(device))
        return dtRemovable;
    return dtFixed;
}

QList<TDriveInfo> readDrives() {
    QList<TDriveInfo> drives;
    QSet<QString> seen;
    const QByteArray mounts = readProcFile("/proc/self/mounts");
    for (const QByteArray& line : mounts.split('\n')) {
        const QList<QByteArray> f = line.split(' ');
        if (f.size() < 3)
            continue;
        const QString device = QFile::decodeName(UnescapeMountField(f.at(0)));
        const QString root = QFile::decodeName(UnescapeMountField(f.at(1)));
        const QString fsType = QString::fromLatin1(f.at(2));
        const int type = classifyMount(device, fsType);
        if (type == dtUnknown || seen.contains(root))
            continue;
        seen.insert(root);
        TDriveInfo d;
        d.root = root;
        d.driveType = type;
        if (type == dtFixed) {
            struct statvfs vfs {};
            if (::statvfs(QFile::encodeName(root).constData(), &vfs) == 0) {
                d.totalBytes = qint64(vfs.f_blocks) * qint64(vfs.f_frsize);
                d.freeBytes = qint64(vfs.f_bavail) * qint64(vfs.f_frsize);
            }
        }
        drives.append(d);
    }
    return drives;
}

}  // namespace

TSystemInfo CollectSystemInfo() {
    TSystemInfo info;
    const QString program = GetProgramFileName();
    info.fileVersion = GetFileVersionText(program, fvFile);
    info.productVersion = GetFileVersionText(program, fvProduct);

    utsname uts {};
    if (uname(&uts) == 0) {
        info.platformName = QString::fromLocal8Bit(uts.sysname);
        const QString release = QString::fromLocal8Bit(uts.release);
        ParseKernelRelease(release, info.majorVersion, info.minorVersion, info.buildNumber);
        info.platformDetail = release + QStringLiteral(", ") + QString::fromLocal8Bit(uts.machine);
    }

    // Linux has no Windows or system directory. The nearest per-user
    // counterparts: the home directory (where the user's own files and
    // settings live) and the configuration directory (where programs keep
    // their settings).
    info.windowsDirectory = queryDirectory(QDir::homePath(), false);
    info.systemDirectory = queryDirectory(GetConfigHome(), false);
    info.tempDirectory = queryDirectory(GetTempDirectory(), true);

    info.memory = readMemoryStatus();

    for (char** e = environ; e && *e; ++e)
        info.environment.append(QString::fromLocal8Bit(*e));

    info.drives = readDrives();
    return info;
}

QStringList BuildSystemInfoLines(const TSystemInfo& info) {
    const QString sep = QString::fromLatin1(kRepairLogSeparator);
    QStringList lines;
    lines << QStringLiteral("Version Information:")
          << QStringLiteral("File Version: %1").arg(info.fileVersion)
          << QStringLiteral("Product Version: %1").arg(info.productVersion) << sep;

    QString os = QStringLiteral("Operating System: %1 %2.%3.%4")
                     .arg(info.platformName)
                     .arg(info.majorVersion)
                     .arg(info.minorVersion, 2, 10, QLatin1Char('0'))
                     .arg(info.buildNumber);
    if (!info.platformDetail.isEmpty())
        os += QStringLiteral(" (%1)").arg(info.platformDetail);
    lines << os << sep;

    auto dirLine = [](const char* prompt, const TDirectoryQuery& q) {
        const QString value =
            q.errorCode != 0
                ? QStringLiteral("Cannot get the required infomation. Error Code: %1.").arg(q.errorCode)
                : q.path;
        return QString::fromLatin1(prompt) + value;
    };
    lines << dirLine("Windows Directory: ", info.windowsDirectory)
          << dirLine("System Directory: ", info.systemDirectory)
          << dirLine("Temporary Directory: ", info.tempDirectory) << sep;

    const TMemoryStatus& m = info.memory;
    auto bytes = [](quint64 v) {
        return FormatNumberN(v > quint64(std::numeric_limits<qint64>::max())
                                 ? std::numeric_limits<qint64>::max()
                                 : qint64(v));
    };
    lines << QStringLiteral("Memory Status:")
          << QStringLiteral("Memory in use: %1%").arg(m.memoryLoad)
          << QStringLiteral("Total physical memory: %1 bytes").arg(bytes(m.totalPhys))
          << QStringLiteral("Free physical memory: %1 bytes").arg(bytes(m.availPhys))
          << QStringLiteral("Total page file memory: %1 bytes").arg(bytes(m.totalPageFile))
          << QStringLiteral("Free page file memory: %1 bytes").arg(bytes(m.availPageFile))
          << QStringLiteral("Total virtual memory: %1 bytes").arg(bytes(m.totalVirtual))
          << QStringLiteral("Free virtual memory: %1 bytes").arg(bytes(m.availVirtual)) << sep;

    lines << QStringLiteral("Environment Information:");
    // An empty environment still yields its one empty entry.
    if (info.environment.isEmpty())
        lines << QString();
    else
        lines << info.environment;
    lines << sep;

    lines << QStringLiteral("Drive Information:");
    for (const TDriveInfo& d : info.drives) {
        if (d.driveType == dtFixed)
            lines << QStringLiteral("%1, %2, Total Disk Spaces: %3 bytes, Free Disk Spaces: %4 bytes.")
                         .arg(d.root, DriveTypeName(d.driveType), FormatNumberN(d.totalBytes),
                              FormatNumberN(d.freeBytes));
        else
            lines << QStringLiteral("%1, %2").arg(d.root, DriveTypeName(d.driveType));
    }
    lines << sep << QStringLiteral("End of System Information") << sep;
    return lines;
}

void AddSystemInfoLines(QStringList& lines) {
    lines << BuildSystemInfoLines(CollectSystemInfo());
}
