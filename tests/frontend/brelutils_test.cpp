// Table tests of the framework helpers without widgets: file names, elapsed
// time, plain text, numbers, version record and the shared repair-log lines.
#include <QDir>
#include <QFile>
#include <QLocale>
#include <QTemporaryDir>
#include <QTest>

#include "BrelUtils.h"

class BrelUtilsTest : public QObject {
    Q_OBJECT
private slots:
    void stripFileExt_data();
    void stripFileExt();
    void formatElapsedTime_data();
    void formatElapsedTime();
    void formatElapsedTimeMsMatchesDays();
    void htmlToPlainText_data();
    void htmlToPlainText();
    void formatNumberN();
    void filterToNameFilters();
    void defaultOutputPath();
    void versionRecordOnlyForOwnFile();
    void uniqueTempFileNameSkipsTakenNames();
    void repairLogLines();
    void resultMessages();
};

void BrelUtilsTest::stripFileExt_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("expected");
    QTest::newRow("double ext") << "report.tar.gz" << "report.tar";
    QTest::newRow("dot in folder") << "/dir.old/report" << "/dir.old/report";
    QTest::newRow("colon is ordinary") << "D:file.dbx" << "D:file";
    QTest::newRow("trailing dot") << "/mail/Inbox." << "/mail/Inbox";
    QTest::newRow("no ext") << "/mail/Inbox" << "/mail/Inbox";
    QTest::newRow("hidden file") << "/home/u/.wine" << "/home/u/";
    QTest::newRow("empty") << "" << "";
    QTest::newRow("ext after folder dot") << "/a.b/c.dbx" << "/a.b/c";
}

void BrelUtilsTest::stripFileExt() {
    QFETCH(QString, name);
    QFETCH(QString, expected);
    QCOMPARE(StripFileExt(name), expected);
}

void BrelUtilsTest::formatElapsedTime_data() {
    const QString live = QString::fromLatin1(kElapsedTimeLabelPattern);
    const QString consumed = QString::fromLatin1(kConsumedTimePattern);
    const QString batch = QString::fromLatin1(kBatchConsumedTimePattern);
    const double hour = 1.0 / 24;
    const double minute = hour / 60;
    const double second = minute / 60;

    QTest::addColumn<QString>("pattern");
    QTest::addColumn<double>("days");
    QTest::addColumn<QString>("expected");
    QTest::newRow("live 1.5 days") << live << 1.5 << "1 day(s) 12 hour(s) 0 minute(s) ";
    QTest::newRow("live 0") << live << 0.0 << "0 day(s) 0 hour(s) 0 minute(s) ";
    QTest::newRow("live 2 days 3 min") << live << 2 + 3 * minute << "2 day(s) 0 hour(s) 3 minute(s) ";
    QTest::newRow("live 25 hours") << live << 25 * hour << "1 day(s) 1 hour(s) 0 minute(s) ";
    QTest::newRow("trailer 1h 2min 3.5s")
        << consumed << hour + 2 * minute + 3.5 * second
        << "Consumed time: 0 day(s) 1 hour(s) 2 minute(s) 3 second(s) 500 millisecond(s).";
    QTest::newRow("trailer 0")
        << consumed << 0.0
        << "Consumed time: 0 day(s) 0 hour(s) 0 minute(s) 0 second(s) 0 millisecond(s).";
    QTest::newRow("trailer 25 hours")
        << consumed << 25 * hour
        << "Consumed time: 1 day(s) 1 hour(s) 0 minute(s) 0 second(s) 0 millisecond(s).";
    QTest::newRow("batch 1.5 days 7 ms")
        << batch << 1.5 + 0.007 * second
        << "Batch repair consumed time: 1 day(s) 12 hour(s) 0 minute(s) 0 second(s) 7 millisecond(s).";
    // Rounds up to a whole day: the day count must follow, not stay at 0.
    QTest::newRow("just under a day") << live << 1 - 0.0004 * second << "1 day(s) 0 hour(s) 0 minute(s) ";
    QTest::newRow("negative") << live << -0.25 << "0 day(s) 0 hour(s) 0 minute(s) ";
    QTest::newRow("padded forms") << "hh:nn:ss.zzz" << hour + 2 * minute + 3.5 * second << "01:02:03.500";
    QTest::newRow("single quotes and %%") << "'100%% in %d' h" << 3 + 4 * hour << "100% in 3 4";
}

void BrelUtilsTest::formatElapsedTime() {
    QFETCH(QString, pattern);
    QFETCH(double, days);
    QFETCH(QString, expected);
    QCOMPARE(FormatElapsedTime(pattern, days), expected);
}

void BrelUtilsTest::formatElapsedTimeMsMatchesDays() {
    const QString consumed = QString::fromLatin1(kConsumedTimePattern);
    QCOMPARE(FormatElapsedTimeMs(consumed, 3723500),
             QStringLiteral("Consumed time: 0 day(s) 1 hour(s) 2 minute(s) 3 second(s) 500 millisecond(s)."));
    QCOMPARE(FormatElapsedTimeMs(consumed, 90000000), FormatElapsedTime(consumed, 25.0 / 24));
}

void BrelUtilsTest::htmlToPlainText_data() {
    QTest::addColumn<QString>("html");
    QTest::addColumn<QString>("expected");
    QTest::newRow("bold and br") << "<B>Done</B><br>Next" << "Done\r\nNext";
    QTest::newRow("mixed case br") << "a<Br>b<BR>c" << "a\r\nb\r\nc";
    QTest::newRow("link") << "See <a href=\"x\">here</a>." << "See here.";
    QTest::newRow("entities kept") << "a &amp; b" << "a &amp; b";
    QTest::newRow("unclosed tag ends") << "a<b>c<d" << "ac<d";
    QTest::newRow("only open") << "<<<" << "<<<";
    QTest::newRow("nested open") << "x<<b>y" << "xy";
    QTest::newRow("plain") << "Fail to repair file '/a b.dbx'!" << "Fail to repair file '/a b.dbx'!";
}

void BrelUtilsTest::htmlToPlainText() {
    QFETCH(QString, html);
    QFETCH(QString, expected);
    QCOMPARE(HtmlToPlainText(html), expected);
}

void BrelUtilsTest::formatNumberN() {
    const QString sep = QLocale::system().groupSeparator();
    QCOMPARE(FormatNumberN(0), QStringLiteral("0"));
    QCOMPARE(FormatNumberN(999), QStringLiteral("999"));
    QCOMPARE(FormatNumberN(1048576), QStringList({"1", "048", "576"}).join(sep));
    QCOMPARE(FormatNumberN(-1), QStringLiteral("-1"));
    QCOMPARE(FormatNumberN(-1234), QStringLiteral("-1") + sep + QStringLiteral("234"));
    QCOMPARE(FormatNumberN(Q_INT64_C(4294967295)),
             QStringList({"4", "294", "967", "295"}).join(sep));
}

void BrelUtilsTest::filterToNameFilters() {
    QCOMPARE(FilterToNameFilters("Outlook Express files (*.dbx;*.mbx)|*.dbx;*.mbx|All files (*.*)|*.*"),
             QStringList({"Outlook Express files (*.dbx *.mbx)", "All files (*)"}));
    QCOMPARE(FilterToNameFilters("Log files (*.log)|*.log"), QStringList({"Log files (*.log)"}));
    QCOMPARE(FilterToNameFilters("Odd|"), QStringList({"Odd (*)"}));
    QCOMPARE(FilterToNameFilters(""), QStringList());
}

void BrelUtilsTest::defaultOutputPath() {
    QCOMPARE(GetDefaultOutputPath("/mail/Inbox.dbx"), QStringLiteral("/mail/Inbox_recovered/"));
    QCOMPARE(GetDefaultOutputPath("/mail.old/Inbox"), QStringLiteral("/mail.old/Inbox_recovered/"));
}

void BrelUtilsTest::versionRecordOnlyForOwnFile() {
    TVSFixedFileInfo info;
    QVERIFY(GetFileFixedVersionInfo(QCoreApplication::applicationFilePath(), info));
    QCOMPARE(info.dwFileVersionMS, (2u << 16) | 5u);
    QCOMPARE(info.dwFileVersionLS, 0u);
    QCOMPARE(info.dwProductVersionMS, info.dwFileVersionMS);
    QCOMPARE(GetProgramVersionText(), QStringLiteral("2.5.0.0"));

    TVSFixedFileInfo untouched;
    untouched.dwFileVersionMS = 77;
    QVERIFY(!GetFileFixedVersionInfo(QStringLiteral("/bin/sh"), untouched));
    QVERIFY(!GetFileFixedVersionInfo(QStringLiteral("/no/such/file"), untouched));
    QVERIFY(!GetFileFixedVersionInfo(QString(), untouched));
    QCOMPARE(untouched.dwFileVersionMS, 77u);
}

void BrelUtilsTest::uniqueTempFileNameSkipsTakenNames() {
    QTemporaryDir tmp;
    QVERIFY(tmp.isValid());
    qputenv("TMPDIR", QFile::encodeName(tmp.path()));
    const QString dir = tmp.path() + QStringLiteral("/");
    QCOMPARE(GetTempDirectory(), dir);
    QCOMPARE(GetUniqueTempFileName(".exe"), dir + QStringLiteral("File0.exe"));
    QFile f(dir + QStringLiteral("File0.exe"));
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.close();
    QVERIFY(QDir(dir).mkdir(QStringLiteral("File1.exe")));
    QCOMPARE(GetUniqueTempFileName(".exe"), dir + QStringLiteral("File2.exe"));
    QVERIFY(!QFile::exists(dir + QStringLiteral("File2.exe")));
    QCOMPARE(GetUniqueTempFileName(".txt"), dir + QStringLiteral("File0.txt"));
    qunsetenv("TMPDIR");
}

void BrelUtilsTest::repairLogLines() {
    const QString sep(56, u'-');
    QCOMPARE(QString::fromLatin1(kRepairLogSeparator), sep);
    const QString g = QLocale::system().groupSeparator();
    QCOMPARE(BeginRepairLogLines("/m/Inbox.dbx", 1048576, "/m/Inbox_recovered/"),
             QStringList({"Start repair process ...", sep,
                          "File to be repaired: '/m/Inbox.dbx'; File size: 1" + g + "048" + g + "576 bytes",
                          "Output recovered messages to: '/m/Inbox_recovered/'", sep}));
    QCOMPARE(EndRepairLogLines(0),
             QStringList({sep, "Consumed time: 0 day(s) 0 hour(s) 0 minute(s) 0 second(s) 0 millisecond(s).",
                          sep, "Repair process completes.", sep}));
    QCOMPARE(EndBatchRepairLogLines(61001),
             QStringList({sep, "Batch repair consumed time: 0 day(s) 0 hour(s) 1 minute(s) 1 second(s) 1 millisecond(s).",
                          sep, "Batch repair process completes.", sep}));
    QCOMPARE(EngineLogLineText("-"), sep);
    QCOMPARE(EngineLogLineText("--"), QStringLiteral("--"));
    QCOMPARE(EngineLogLineText(" -"), QStringLiteral(" -"));
    QCOMPARE(GetSourceFileSize("/no/such/file.dbx"), 0);
}

void BrelUtilsTest::resultMessages() {
    bool plain = false;
    QCOMPARE(BuildResultMessageText("a.dbx", true, true, plain), QStringLiteral("User aborts the repair process."));
    QVERIFY(plain);
    QCOMPARE(BuildResultMessageText("in/a.dbx", false, false, plain), QStringLiteral("Fail to repair file 'in/a.dbx'!"));
    QVERIFY(plain);
    const QString ok = BuildResultMessageText("/x/a<b>.dbx", false, true, plain);
    QVERIFY(!plain);
    QVERIFY(ok.contains(QStringLiteral("a&lt;b&gt;.dbx")));
    QVERIFY(!ok.contains(QStringLiteral("/x/")));
    QCOMPARE(ResultMessageLogLines("Done<BR><BR>Next"), QStringList({"Done", "", "Next"}));
    QCOMPARE(ResultMessageLogLines("  "), QStringList());
    QCOMPARE(AbortRepairingText("a.dbx"), QStringLiteral("Abort repairing file 'a.dbx'."));
    QCOMPARE(SkipRepairingText("a.dbx"), QStringLiteral("Skip repairing file 'a.dbx'."));
    QCOMPARE(BatchSuccessCountText(3), QStringLiteral("3 file(s) repaired successfully."));
}

QTEST_GUILESS_MAIN(BrelUtilsTest)
#include "brelutils_test.moc"
