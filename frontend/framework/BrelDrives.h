// BrelDrives: the list of local storage the program treats as "the computer's
// hard drives": the mount points of real, device-backed file systems. The file
// search window searches them and the system-information block reports them,
// so both use this one list.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <functional>

// Mount points of the device-backed file systems of this computer, in the
// order the kernel lists them ("/" first on an ordinary system), without a
// trailing "/" (except "/" itself). Read from /proc/self/mountinfo; an empty
// list when that cannot be read.
//
// What counts: a mount whose source is a block device ("/dev/..."), that is
// not a loop device or an optical or squashfs image, and whose mount point is
// a directory. Pseudo file systems (proc, sysfs, tmpfs, cgroup, overlay, ...)
// have no such source and are left out, as are network shares. The same
// sub-tree of a device mounted twice (a bind mount of the same root) is listed
// once, under its first mount point.
[[nodiscard]] QStringList LocalStorageMountPoints();

// The parsing step of LocalStorageMountPoints, kept pure so it can be tested on
// made-up tables: `mountinfo` is the text of a mountinfo file and `isDirectory`
// says whether a mount point is a directory (bind mounts of single files are
// left out).
[[nodiscard]] QStringList ParseLocalStorageMountPoints(
    const QByteArray& mountinfo, const std::function<bool(const QString&)>& isDirectory);
