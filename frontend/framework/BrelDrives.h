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
// What counts (the Linux meaning of a "fixed drive"): a mount whose source is
// a block device ("/dev/..."), that is not a loop device, not an optical disc
// or squashfs image and not removable media (a USB stick or card reader: the
// kernel's "removable" flag), and whose mount point is a directory. Pseudo
// file systems (proc, sysfs, tmpfs, cgroup, overlay, ...) have no such source
// and are left out, as are network shares. The same sub-tree of a device
// mounted twice (a bind mount of the same root) is listed once, under its
// first mount point.
[[nodiscard]] QStringList LocalStorageMountPoints();

// A path field of the kernel's mount tables with its octal escapes (\040 for
// a blank, \134 for a backslash) decoded.
[[nodiscard]] QByteArray UnescapeMountField(const QByteArray& field);

// Whether the block device `device` ("/dev/sdb1") is removable media, from
// /sys/class/block/<name>/removable of the device or of its disk.
[[nodiscard]] bool IsRemovableBlockDevice(const QString& device);

// The parsing step of LocalStorageMountPoints, kept pure so it can be tested on
// made-up tables: `mountinfo` is the text of a mountinfo file, `isDirectory`
// says whether a mount point is a directory (bind mounts of single files are
// left out) and `isRemovable` whether a device is removable media.
[[nodiscard]] QStringList ParseLocalStorageMountPoints(
    const QByteArray& mountinfo, const std::function<bool(const QString&)>& isDirectory,
    const std::function<bool(const QString&)>& isRemovable);
