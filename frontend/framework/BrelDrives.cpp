#include "BrelDrives.h"

#include <QFile>
#include <QFileInfo>
#include <QSet>

namespace {

bool IsDeviceBacked(const QByteArray& fsType, const QByteArray& source) {
    if (!source.startsWith("/dev/"))
        return false;
    // Loop devices carry disk images and snap packages, optical discs are
    // removable media: neither is a hard drive of this computer.
    if (source.startsWith("/dev/loop") || source.startsWith("/dev/sr"))
        return false;
    static const QSet<QByteArray> notDrives = {"squashfs", "iso9660", "udf"};
    return !notDrives.contains(fsType);
}

}  // namespace

// mountinfo escapes space, tab, newline and backslash in paths as \ooo.
QByteArray UnescapeMountField(const QByteArray& field) {
    QByteArray out;
    out.reserve(field.size());
    for (qsizetype i = 0; i < field.size(); ++i) {
        const char c = field[i];
        if (c == '\\' && i + 3 < field.size()) {
            const QByteArray oct = field.mid(i + 1, 3);
            bool ok = false;
            const int value = oct.toInt(&ok, 8);
            if (ok && oct.size() == 3) {
                out.append(char(value));
                i += 3;
                continue;
            }
        }
        out.append(c);
    }
    return out;
}

QStringList ParseLocalStorageMountPoints(
    const QByteArray& mountinfo, const std::function<bool(const QString&)>& isDirectory,
    const std::function<bool(const QString&)>& isRemovable) {
    QStringList result;
    QSet<QByteArray> seenRoots;  // "major:minor root" of every mount taken
    for (const QByteArray& line : mountinfo.split('\n')) {
        // id parent major:minor root mountpoint options [optional...] - fstype source superoptions
        const QList<QByteArray> fields = line.split(' ');
        const qsizetype dash = fields.indexOf("-");
        if (dash < 5 || dash + 2 >= fields.size())
            continue;
        const QByteArray& device = fields[2];
        const QByteArray root = UnescapeMountField(fields[3]);
        const QString mountPoint = QFile::decodeName(UnescapeMountField(fields[4]));
        const QByteArray& fsType = fields[dash + 1];
        const QByteArray source = UnescapeMountField(fields[dash + 2]);
        if (!IsDeviceBacked(fsType, source))
            continue;
        const QByteArray key = device + ' ' + root;
        if (seenRoots.contains(key) || result.contains(mountPoint))
            continue;
        if (!isDirectory(mountPoint) || isRemovable(QFile::decodeName(source)))
            continue;
        seenRoots.insert(key);
        result.append(mountPoint);
    }
    return result;
}

bool IsRemovableBlockDevice(const QString& device) {
    // /dev/disk/by-label/x or /dev/mapper/x lead to the kernel's own name.
    const QString real = QFileInfo(device).canonicalFilePath();
    const QString name = QFileInfo(real.isEmpty() ? device : real).fileName();
    const QString sysPath = QFileInfo(QStringLiteral("/sys/class/block/") + name).canonicalFilePath();
    if (name.isEmpty() || sysPath.isEmpty())
        return false;
    // A partition's folder has no "removable" file; its disk's folder, one
    // level up, has.
    for (const QString& dir : {sysPath, QFileInfo(sysPath).absolutePath()}) {
        QFile f(dir + QStringLiteral("/removable"));
        if (f.open(QIODevice::ReadOnly))
            return f.readAll().trimmed() == "1";
    }
    return false;
}

QStringList LocalStorageMountPoints() {
    QFile file(QStringLiteral("/proc/self/mountinfo"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    // /proc files report size 0: read until the end instead.
    const QByteArray text = file.readAll();
    return ParseLocalStorageMountPoints(
        text, [](const QString& path) { return QFileInfo(path).isDir(); }, IsRemovableBlockDevice);
}
