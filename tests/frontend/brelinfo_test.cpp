// The system-information block: its exact shape for a chosen snapshot, the
// snapshot of the running machine, and the version texts.
#include <QLocale>
#include <QTest>

#include "BrelInfo.h"
#include "BrelUtils.h"

class BrelInfoTest : public QObject {
    Q_OBJECT
private slots:
    void versionTexts();
    void kernelRelease_data();
    void kernelRelease();
    void blockShapeForSnapshot();
    void emptyEnvironmentGivesOneEmptyLine();
    void failedDirectoryQueryShowsCode();
    void blockOfRunningSystem();
};

void BrelInfoTest::versionTexts() {
    QCOMPARE(VersionWordToStr(0x00020005), QStringLiteral("2.5"));
    QCOMPARE(VersionWordToStr(0xFFFF0000), QStringLiteral("65535.0"));
    QCOMPARE(VersionPairToStr(0x00020005, 0x00000007), QStringLiteral("2.5.0.7"));

    const QString self = QCoreApplication::applicationFilePath();
    QCOMPARE(GetFileVersionText(self, fvFileMS), QStringLiteral("2.5"));
    QCOMPARE(GetFileVersionText(self, fvFileLS), QStringLiteral("0.0"));
    QCOMPARE(GetFileVersionText(self, fvFile), QStringLiteral("2.5.0.0"));
    QCOMPARE(GetFileVersionText(self, fvProduct), QStringLiteral("2.5.0.0"));
    QCOMPARE(GetFileVersionText(self, 9), QString());
    QCOMPARE(GetFileVersionText(QStringLiteral("/bin/sh"), fvFile), QString());
}

void BrelInfoTest::kernelRelease_data() {
    QTest::addColumn<QString>("release");
    QTest::addColumn<int>("major");
    QTest::addColumn<int>("minor");
    QTest::addColumn<int>("build");
    QTest::newRow("debian") << "6.1.0-13-amd64" << 6 << 1 << 0;
    QTest::newRow("wsl") << "5.15.90.1-microsoft-standard-WSL2" << 5 << 15 << 90;
    QTest::newRow("short") << "4.9" << 4 << 9 << 0;
    QTest::newRow("garbage") << "abc" << 0 << 0 << 0;
}

void BrelInfoTest::kernelRelease() {
    QFETCH(QString, release);
    QFETCH(int, major);
    QFETCH(int, minor);
    QFETCH(int, build);
    int gotMajor = -1, gotMinor = -1, gotBuild = -1;
    ParseKernelRelease(release, gotMajor, gotMinor, gotBuild);
    QCOMPARE(gotMajor, major);
    QCOMPARE(gotMinor, minor);
    QCOMPARE(gotBuild, build);
}

void BrelInfoTest::blockShapeForSnapshot() {
    TSystemInfo info;
    info.fileVersion = QStringLiteral("2.5.0.0");
    info.productVersion = QStringLiteral("2.5.0.0");
    info.platformName = QStringLiteral("Linux");
    info.majorVersion = 6;
    info.minorVersion = 1;
    info.buildNumber = 0;
    info.platformDetail = QStringLiteral("6.1.0-13-amd64, x86_64");
    info.windowsDirectory.path = QStringLiteral("/home/me");
    info.systemDirectory.path = QStringLiteral("/home/me/.config");
    info.tempDirectory.path = QStringLiteral("/tmp/");
    info.memory = {37, 8000000000, 5000000000, 2000, 1000, 140737488351232, 140000000000000};
    info.environment = {QStringLiteral("HOME=/home/me"), QStringLiteral("=odd=entry")};
    info.drives = {{QStringLiteral("/"), dtFixed, 1048576, 4096},
                   {QStringLiteral("/media/cdrom"), dtCDROM, -1, -1},
                   {QStringLiteral("/mnt/broken"), dtFixed, -1, -1}};

    const QString g = QLocale::system().groupSeparator();
    auto n = [&](QStringList groups) { return groups.join(g); };
    const QString sep(56, u'-');
    const QStringList expected = {
        "Version Information:", "File Version: 2.5.0.0", "Product Version: 2.5.0.0", sep,
        "Operating System: Linux 6.01.0 (6.1.0-13-amd64, x86_64)", sep,
        "Windows Directory: /home/me", "System Directory: /home/me/.config", "Temporary Directory: /tmp/", sep,
        "Memory Status:", "Memory in use: 37%",
        "Total physical memory: " + n({"8", "000", "000", "000"}) + " bytes",
        "Free physical memory: " + n({"5", "000", "000", "000"}) + " bytes",
        "Total page file memory: " + n({"2", "000"}) + " bytes",
        "Free page file memory: " + n({"1", "000"}) + " bytes",
        "Total virtual memory: " + n({"140", "737", "488", "351", "232"}) + " bytes",
        "Free virtual memory: " + n({"140", "000", "000", "000", "000"}) + " bytes", sep,
        "Environment Information:", "HOME=/home/me", "=odd=entry", sep,
        "Drive Information:",
        "/, Fixed Drive, Total Disk Spaces: " + n({"1", "048", "576"}) + " bytes, Free Disk Spaces: " +
            n({"4", "096"}) + " bytes.",
        "/media/cdrom, CD-ROM Drive",
        "/mnt/broken, Fixed Drive, Total Disk Spaces: -1 bytes, Free Disk Spaces: -1 bytes.",
        sep, "End of System Information", sep};
    QCOMPARE(BuildSystemInfoLines(info), expected);

    info.minorVersion = 10;
    info.platformDetail.clear();
    QCOMPARE(BuildSystemInfoLines(info).at(4), QStringLiteral("Operating System: Linux 6.10.0"));
}

void BrelInfoTest::emptyEnvironmentGivesOneEmptyLine() {
    TSystemInfo info;
    const QStringList lines = BuildSystemInfoLines(info);
    const qsizetype heading = lines.indexOf(QStringLiteral("Environment Information:"));
    QVERIFY(heading > 0);
    QCOMPARE(lines.at(heading + 1), QString());
    QCOMPARE(lines.at(heading + 2), QString(56, u'-'));
    // No version record: the lines end after ": ".
    QCOMPARE(lines.at(1), QStringLiteral("File Version: "));
    QCOMPARE(lines.at(2), QStringLiteral("Product Version: "));
}

void BrelInfoTest::failedDirectoryQueryShowsCode() {
    TSystemInfo info;
    info.systemDirectory.errorCode = 2;
    const QStringList lines = BuildSystemInfoLines(info);
    QVERIFY(lines.contains(QStringLiteral("System Directory: Cannot get the required infomation. Error Code: 2.")));
}

void BrelInfoTest::blockOfRunningSystem() {
    const TSystemInfo info = CollectSystemInfo();
    QCOMPARE(info.fileVersion, QStringLiteral("2.5.0.0"));
    QVERIFY(!info.platformName.isEmpty());
    QVERIFY(info.tempDirectory.path.endsWith(u'/'));
    QVERIFY(info.memory.totalPhys > 0);
    QVERIFY(info.memory.memoryLoad <= 100);
    QVERIFY(info.environment.contains(QStringLiteral("QT_QPA_PLATFORM=offscreen")) ||
            !qEnvironmentVariableIsSet("QT_QPA_PLATFORM"));

    QStringList lines{QStringLiteral("before")};
    AddSystemInfoLines(lines);
    QCOMPARE(lines.at(0), QStringLiteral("before"));
    QCOMPARE(lines.at(1), QStringLiteral("Version Information:"));
    QCOMPARE(lines.at(2), QStringLiteral("File Version: 2.5.0.0"));
    QCOMPARE(lines.last(), QString(56, u'-'));
    QCOMPARE(lines.at(lines.size() - 2), QStringLiteral("End of System Information"));
    QVERIFY(lines.contains(QStringLiteral("Drive Information:")));
    for (const TDriveInfo& d : info.drives) {
        QVERIFY(!d.root.isEmpty());
        QVERIFY(d.driveType != dtUnknown);
    }
}

QTEST_GUILESS_MAIN(BrelInfoTest)
#include "brelinfo_test.moc"
