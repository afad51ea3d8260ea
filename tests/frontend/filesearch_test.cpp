// The file-search facility and the local-drive list, on real temporary trees.
#include "BrelDrives.h"
#include "BrelFileSearch.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

void WriteFile(const QString& path, qint64 size) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    QVERIFY2(f.open(QIODevice::WriteOnly), qPrintable(path));
    f.write(QByteArray(size, 'x'));
}

// Sets the access and modification times of `path` to `daysAgo` days before now.
void SetTimes(const QString& path, double accessDaysAgo, double modifyDaysAgo) {
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    timespec times[2] = {{time_t(now - accessDaysAgo * 86400), 0}, {time_t(now - modifyDaysAgo * 86400), 0}};
    QCOMPARE(::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0), 0);
}

// Runs a search and keeps what it reported.
struct Run {
    QStringList found;        // full paths, in report order
    QStringList dirs;         // folders entered
    QStringList events;       // "dir", "found", "finished", "cancel", "end"
};

Run Search(TBrelFileSearch& s) {
    Run r;
    s.OnDirChange = [&](const QString& d) { r.dirs << d; r.events << "dir"; };
    s.OnFound = [&](const TBrelFileSearchRecord& rec) { r.found << rec.FullPath(); r.events << "found"; };
    s.OnFinished = [&] { r.events << "finished"; };
    s.OnCancel = [&] { r.events << "cancel"; };
    s.OnEnd = [&] { r.events << "end"; };
    s.Execute();
    // The handlers refer to this call's record: leave none behind.
    s.OnDirChange = {};
    s.OnFound = {};
    s.OnFinished = s.OnCancel = s.OnEnd = {};
    return r;
}

QStringList Relative(const QStringList& paths, const QString& root) {
    QStringList out;
    for (const QString& p : paths)
        out << QDir(root).relativeFilePath(p);
    out.sort();
    return out;
}

}  // namespace

class FileSearchTest : public QObject {
    Q_OBJECT

private slots:
    void masksMatchInAnyCase_data();
    void masksMatchInAnyCase();
    void namesAndSubFolders();
    void sizeBounds_data();
    void sizeBounds();
    void attributes_data();
    void attributes();
    void timeBounds();
    void overlappingFoldersListedOnce();
    void cancelFromFound();
    void stopRequestedWhilePumping();
    void unreadableFolderPassedOver();
    void vanishedFolderPassedOver();
    void symlinkLoopEnds();
    void oneFileSystemStaysOnItsDevice();
    void missingFolderFindsNothing();
    void mountInfoParsing();
};

void FileSearchTest::masksMatchInAnyCase_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("mask");
    QTest::addColumn<bool>("match");
    QTest::newRow("plain") << "Inbox.dbx" << "*.dbx" << true;
    QTest::newRow("upper name") << "INBOX.DBX" << "*.dbx" << true;
    QTest::newRow("upper mask") << "inbox.dbx" << "*.DBX" << true;
    QTest::newRow("other kind") << "inbox.mbx" << "*.dbx" << false;
    QTest::newRow("suffix after") << "inbox.dbx.bak" << "*.dbx" << false;
    QTest::newRow("bare extension") << ".dbx" << "*.dbx" << true;
    QTest::newRow("question one") << "a.dbx" << "?.dbx" << true;
    QTest::newRow("question needs one") << ".dbx" << "?.dbx" << false;
    QTest::newRow("question not two") << "ab.dbx" << "?.dbx" << false;
    QTest::newRow("star backtracks") << "a.dbx.dbx" << "*.dbx" << true;
    QTest::newRow("inner stars") << "Sent Items.dbx" << "s*i*s.*" << true;
    QTest::newRow("non-ascii case") << "ÄPFEL.DBX" << "äpfel.dbx" << true;
    QTest::newRow("question on non-bmp") << "\U0001F4E7.dbx" << "?.dbx" << true;
    QTest::newRow("empty mask") << "a" << "" << false;
    QTest::newRow("star alone") << "anything" << "*" << true;
}

void FileSearchTest::masksMatchInAnyCase() {
    QFETCH(QString, name);
    QFETCH(QString, mask);
    QFETCH(bool, match);
    QCOMPARE(BrelMatchesMask(name, mask), match);
}

void FileSearchTest::namesAndSubFolders() {
    QTemporaryDir tmp;
    const QString root = tmp.path();
    for (const char* f : {"a.dbx", "B.DBX", "c.Dbx.bak", "d.mbx", "sub/e.dbx", "sub/deeper/f.DBX", "sub/g.txt"})
        WriteFile(root + "/" + f, 10);

    TBrelFileSearch s;
    s.Dirs = root;
    s.FileMasks = "*.dbx";
    s.RecurseSubDirs = true;
    Run r = Search(s);
    QCOMPARE(Relative(r.found, root), QStringList({"B.DBX", "a.dbx", "sub/deeper/f.DBX", "sub/e.dbx"}));
    QCOMPARE(r.dirs, QStringList({root + "/", root + "/sub/", root + "/sub/deeper/"}));
    // Files of a folder come before its sub-folders; the end events come last.
    QCOMPARE(r.events, QStringList({"dir", "found", "found", "dir", "found", "dir", "found", "finished", "end"}));

    s.RecurseSubDirs = false;
    r = Search(s);
    QCOMPARE(Relative(r.found, root), QStringList({"B.DBX", "a.dbx"}));
    QCOMPARE(r.dirs, QStringList({root + "/"}));

    s.FileMasks = "*.mbx;*.DBX";
    r = Search(s);
    QCOMPARE(Relative(r.found, root), QStringList({"B.DBX", "a.dbx", "d.mbx"}));
}

void FileSearchTest::sizeBounds_data() {
    QTest::addColumn<qint64>("minSize");
    QTest::addColumn<qint64>("maxSize");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("no bounds") << qint64(0) << qint64(0) << QStringList({"0.dbx", "5119.dbx", "5120.dbx", "5121.dbx"});
    QTest::newRow("exactly 5 KB") << qint64(5120) << qint64(5120) << QStringList({"5120.dbx"});
    QTest::newRow("at least 5 KB") << qint64(5120) << qint64(0) << QStringList({"5120.dbx", "5121.dbx"});
    QTest::newRow("at most 5 KB") << qint64(0) << qint64(5120) << QStringList({"0.dbx", "5119.dbx", "5120.dbx"});
    QTest::newRow("contradictory") << qint64(5121) << qint64(5120) << QStringList();
}

void FileSearchTest::sizeBounds() {
    QFETCH(qint64, minSize);
    QFETCH(qint64, maxSize);
    QFETCH(QStringList, expected);
    QTemporaryDir tmp;
    for (qint64 size : {0, 5119, 5120, 5121})
        WriteFile(tmp.path() + QString("/%1.dbx").arg(size), size);
    TBrelFileSearch s;
    s.Dirs = tmp.path();
    s.FileMasks = "*.dbx";
    s.MinSize = minSize;
    s.MaxSize = maxSize;
    QCOMPARE(Relative(Search(s).found, tmp.path()), expected);
}

void FileSearchTest::attributes_data() {
    using A = TBrelFileAttribute;
    QTest::addColumn<int>("attributes");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("any file") << int(A::AnyFile) << QStringList({".hidden.dbx", ".hiddenro.dbx", "plain.dbx", "ro.dbx"});
    QTest::newRow("criterion on, none ticked") << 0 << QStringList({"plain.dbx", "ro.dbx"});
    QTest::newRow("read-only") << int(A::ReadOnly) << QStringList({"ro.dbx"});
    QTest::newRow("hidden") << int(A::Hidden) << QStringList({".hidden.dbx", ".hiddenro.dbx"});
    QTest::newRow("hidden and read-only") << int(A::Hidden | A::ReadOnly) << QStringList({".hiddenro.dbx"});
    QTest::newRow("system") << int(A::System) << QStringList();
    QTest::newRow("archive") << int(A::Archive) << QStringList();
}

void FileSearchTest::attributes() {
    QFETCH(int, attributes);
    QFETCH(QStringList, expected);
    QTemporaryDir tmp;
    for (const char* f : {"plain.dbx", "ro.dbx", ".hidden.dbx", ".hiddenro.dbx"})
        WriteFile(tmp.path() + "/" + f, 1);
    // No write permission bit at all: read-only even for root.
    for (const char* f : {"ro.dbx", ".hiddenro.dbx"})
        QCOMPARE(::chmod(QFile::encodeName(tmp.path() + "/" + f).constData(), 0444), 0);
    TBrelFileSearch s;
    s.Dirs = tmp.path();
    s.FileMasks = "*.dbx";
    s.Attributes = TBrelFileAttributes::fromInt(attributes);
    QCOMPARE(Relative(Search(s).found, tmp.path()), expected);
}

void FileSearchTest::timeBounds() {
    QTemporaryDir tmp;
    const QString root = tmp.path();
    WriteFile(root + "/old.dbx", 1);
    WriteFile(root + "/recent.dbx", 1);
    WriteFile(root + "/readold.dbx", 1);
    SetTimes(root + "/old.dbx", 20, 20);
    SetTimes(root + "/recent.dbx", 1, 1);
    SetTimes(root + "/readold.dbx", 20, 1);
    const QDateTime now = QDateTime::currentDateTime();

    TBrelFileSearch s;
    s.Dirs = root;
    s.FileMasks = "*.dbx";
    s.CreatedAfter = now.addDays(-5);
    s.AccessedAfter = now.addDays(-5);
    s.ModifiedAfter = now.addDays(-5);

    s.CheckDates = TBrelCheckDate::ModifiedAfter;
    QCOMPARE(Relative(Search(s).found, root), QStringList({"readold.dbx", "recent.dbx"}));
    s.CheckDates = TBrelCheckDate::AccessedAfter;
    QCOMPARE(Relative(Search(s).found, root), QStringList({"recent.dbx"}));
    // Every file was created moments ago; a bound in the future finds none,
    // one five days back finds all.
    s.CheckDates = TBrelCheckDate::CreatedAfter;
    QCOMPARE(Relative(Search(s).found, root), QStringList({"old.dbx", "readold.dbx", "recent.dbx"}));
    s.CreatedAfter = QDateTime::currentDateTime().addSecs(60);
    QCOMPARE(Search(s).found, QStringList());
    // The bounds that are not switched on do not filter.
    s.CheckDates = {};
    QCOMPARE(Search(s).found.size(), 3);

    // The record carries the times as set.
    s.FileMasks = "old.dbx";
    TBrelFileSearchRecord rec;
    s.OnFound = [&](const TBrelFileSearchRecord& r) { rec = r; };
    s.Execute();
    QCOMPARE(rec.LastWriteTime.secsTo(now), qint64(20 * 86400));
    QCOMPARE(rec.LastAccessTime.secsTo(now), qint64(20 * 86400));
    QCOMPARE(rec.Size, qint64(1));
    QCOMPARE(rec.Directory, root + "/");
}

void FileSearchTest::overlappingFoldersListedOnce() {
    QTemporaryDir tmp;
    const QString root = tmp.path();
    WriteFile(root + "/top.dbx", 1);
    WriteFile(root + "/Mail/in.dbx", 1);
    WriteFile(root + "/Mail/deep/out.dbx", 1);
    TBrelFileSearch s;
    s.FileMasks = "*.dbx";
    for (const QString& dirs : {root + ";" + root + "/Mail", root + "/Mail;" + root, root + " ; " + root + "/"}) {
        s.Dirs = dirs;
        const Run r = Search(s);
        QCOMPARE(r.found.size(), 3);
        QCOMPARE(Relative(r.found, root), QStringList({"Mail/deep/out.dbx", "Mail/in.dbx", "top.dbx"}));
    }
}

void FileSearchTest::cancelFromFound() {
    QTemporaryDir tmp;
    for (int i = 0; i < 5; ++i)
        WriteFile(tmp.path() + QString("/d%1/f%1.dbx").arg(i), 1);
    TBrelFileSearch s;
    s.Dirs = tmp.path();
    s.FileMasks = "*.dbx";
    Run r;
    s.OnFound = [&](const TBrelFileSearchRecord&) {
        r.events << "found";
        s.Cancel();
    };
    s.OnDirChange = [&](const QString&) { r.events << "dir"; };
    s.OnFinished = [&] { r.events << "finished"; };
    s.OnCancel = [&] { r.events << "cancel"; QVERIFY(!s.Running()); };
    s.OnEnd = [&] { r.events << "end"; };
    QVERIFY(s.Execute());
    QCOMPARE(r.events, QStringList({"dir", "dir", "found", "cancel", "end"}));

    // The next search starts afresh.
    s.OnFound = [&](const TBrelFileSearchRecord&) { r.events << "found"; };
    r.events.clear();
    s.Execute();
    QCOMPARE(r.events.count("found"), 5);
    QCOMPARE(r.events.mid(r.events.size() - 2), QStringList({"finished", "end"}));
}

void FileSearchTest::stopRequestedWhilePumping() {
    // A Stop click reaches the facility through the events it pumps per folder.
    QTemporaryDir tmp;
    for (int i = 0; i < 20; ++i)
        WriteFile(tmp.path() + QString("/d%1/f.dbx").arg(i, 2, 10, QChar('0')), 1);
    TBrelFileSearch s;
    s.Dirs = tmp.path();
    s.FileMasks = "*.dbx";
    QTimer::singleShot(0, [&] {
        QVERIFY(s.Running());
        QVERIFY(!s.Execute());  // no nested search
        s.Cancel();
    });
    const Run r = Search(s);
    QCOMPARE(r.events.mid(r.events.size() - 2), QStringList({"cancel", "end"}));
    QVERIFY(r.found.size() < 20);
}

void FileSearchTest::unreadableFolderPassedOver() {
    if (::geteuid() == 0)
        QSKIP("root reads every folder; vanishedFolderPassedOver covers the failing open");
    QTemporaryDir tmp;
    WriteFile(tmp.path() + "/a.dbx", 1);
    WriteFile(tmp.path() + "/locked/b.dbx", 1);
    WriteFile(tmp.path() + "/z/c.dbx", 1);
    QCOMPARE(::chmod(QFile::encodeName(tmp.path() + "/locked").constData(), 0), 0);
    TBrelFileSearch s;
    s.Dirs = tmp.path();
    s.FileMasks = "*.dbx";
    const Run r = Search(s);
    ::chmod(QFile::encodeName(tmp.path() + "/locked").constData(), 0755);
    QCOMPARE(Relative(r.found, tmp.path()), QStringList({"a.dbx", "z/c.dbx"}));
    QCOMPARE(r.events.last(), QString("end"));
    QVERIFY(r.events.contains("finished"));
}

void FileSearchTest::vanishedFolderPassedOver() {
    // A folder listed by its parent but gone when the walk comes to open it
    // fails to open exactly like an unreadable one, also for root.
    QTemporaryDir tmp;
    WriteFile(tmp.path() + "/a.dbx", 1);
    WriteFile(tmp.path() + "/gone/b.dbx", 1);
    WriteFile(tmp.path() + "/z/c.dbx", 1);
    TBrelFileSearch s;
    s.Dirs = tmp.path();
    s.FileMasks = "*.dbx";
    Run r;
    s.OnFound = [&](const TBrelFileSearchRecord& rec) {
        r.found << rec.FullPath();
        if (rec.FileName == "a.dbx")
            QVERIFY(QDir(tmp.path() + "/gone").removeRecursively());
    };
    s.OnFinished = [&] { r.events << "finished"; };
    s.Execute();
    QCOMPARE(Relative(r.found, tmp.path()), QStringList({"a.dbx", "z/c.dbx"}));
    QCOMPARE(r.events, QStringList({"finished"}));
}

void FileSearchTest::symlinkLoopEnds() {
    QTemporaryDir tmp;
    QTemporaryDir outside;
    const QString root = tmp.path();
    WriteFile(root + "/a/x.dbx", 1);
    WriteFile(outside.path() + "/y.dbx", 1);
    QVERIFY(QFile::link(root, root + "/a/back"));         // a/back -> root: a loop
    QVERIFY(QFile::link(root + "/a", root + "/a/self"));  // a/self -> a: a loop
    QVERIFY(QFile::link(outside.path(), root + "/a/out")); // a folder elsewhere: walked once
    QVERIFY(QFile::link(root + "/nowhere", root + "/a/dangling.dbx"));
    QVERIFY(QFile::link(root + "/a/x.dbx", root + "/link.dbx"));
    TBrelFileSearch s;
    s.Dirs = root;
    s.FileMasks = "*.dbx";
    const Run r = Search(s);
    QCOMPARE(Relative(r.found, root), QStringList({"a/out/y.dbx", "a/x.dbx", "link.dbx"}));
    QCOMPARE(r.dirs.size(), 3);
}

void FileSearchTest::oneFileSystemStaysOnItsDevice() {
    struct stat a {}, b {};
    if (::stat("/dev/shm", &b) != 0 || ::stat(QFile::encodeName(QDir::tempPath()).constData(), &a) != 0 ||
        a.st_dev == b.st_dev)
        QSKIP("needs /dev/shm on a file system of its own");
    QTemporaryDir tmp;
    QTemporaryDir other("/dev/shm/vantrel-test-XXXXXX");
    WriteFile(tmp.path() + "/here.dbx", 1);
    WriteFile(other.path() + "/there.dbx", 1);
    QVERIFY(QFile::link(other.path(), tmp.path() + "/elsewhere"));
    TBrelFileSearch s;
    s.Dirs = tmp.path();
    s.FileMasks = "*.dbx";
    s.OneFileSystem = true;
    QCOMPARE(Relative(Search(s).found, tmp.path()), QStringList({"here.dbx"}));
    s.OneFileSystem = false;
    QCOMPARE(Relative(Search(s).found, tmp.path()), QStringList({"elsewhere/there.dbx", "here.dbx"}));
}

void FileSearchTest::missingFolderFindsNothing() {
    TBrelFileSearch s;
    s.Dirs = "/no/such/folder;;";
    s.FileMasks = "*.dbx";
    const Run r = Search(s);
    QCOMPARE(r.events, QStringList({"finished", "end"}));
}

void FileSearchTest::mountInfoParsing() {
    const QByteArray text =
        "22 28 0:21 / /proc rw,relatime - proc proc rw\n"
        "28 1 254:0 / / rw,relatime - ext4 /dev/vda rw\n"
        "29 28 8:2 / /home rw shared:1 - ext4 /dev/sda2 rw\n"
        "30 28 0:26 / /tmp rw - tmpfs tmpfs rw\n"
        "31 28 7:0 / /snap/core/1 ro - squashfs /dev/loop0 ro\n"
        "32 28 11:0 / /media/cd ro - iso9660 /dev/sr0 ro\n"
        "33 28 8:2 / /mnt/again rw - ext4 /dev/sda2 rw\n"
        "34 28 8:3 /@data /mnt/my\\040data rw - btrfs /dev/sda3 rw\n"
        "35 28 8:3 /@home2 /mnt/home2 rw - btrfs /dev/sda3 rw\n"
        "36 28 254:0 /var/lib/hosts /etc/hosts rw - ext4 /dev/vda rw\n"
        "37 28 0:40 / /net rw - nfs4 server:/export rw\n"
        "38 28 8:17 / /media/stick rw - vfat /dev/sdb1 rw\n"
        "39 28 11:0 / /media/dvd ro - udf /dev/sr0 ro\n"
        "garbage line\n";
    const QStringList points = ParseLocalStorageMountPoints(
        text, [](const QString& p) { return p != "/etc/hosts"; },
        [](const QString& device) { return device == "/dev/sdb1"; });
    QCOMPARE(points, QStringList({"/", "/home", "/mnt/my data", "/mnt/home2"}));
    // The live list holds directories only.
    for (const QString& p : LocalStorageMountPoints())
        QVERIFY2(QFileInfo(p).isDir(), qPrintable(p));
}

QTEST_GUILESS_MAIN(FileSearchTest)
#include "filesearch_test.moc"
