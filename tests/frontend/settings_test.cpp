// Settings on a real file in a temporary config home: defaults, value kinds
// after a save, the conversion rules, separate program names, and the
// default source folder found through a fake Wine prefix.
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include "BrelUtils.h"
#include "Setting.h"

namespace {

void writeFile(const QString& path, const QByteArray& text) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(text);
}

QString readFile(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromUtf8(f.readAll());
}

}  // namespace

class SettingsTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void firstRunGivesDefaults();
    void saveKeepsValueKinds();
    void integerStoredAsStringStaysString();
    void conversionRules_data();
    void conversionRules();
    void programNamesKeepSeparateFiles();
    void unknownValuesAndOddTextsSurvive();
    void unwritableConfigHomeFailsCleanly();
    void mailStoreFolderFromWinePrefix();
    void mailStoreFolderIgnoresHostileKeys();

private:
    QTemporaryDir* FHome = nullptr;
    QString configHome() const { return FHome->path() + QStringLiteral("/config"); }
    QString prefix() const { return FHome->path() + QStringLiteral("/wine"); }
};

void SettingsTest::init() {
    FHome = new QTemporaryDir;
    QVERIFY(FHome->isValid());
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(configHome()));
    qputenv("WINEPREFIX", QFile::encodeName(prefix()));
}

void SettingsTest::cleanup() {
    delete FHome;
    FHome = nullptr;
}

void SettingsTest::firstRunGivesDefaults() {
    TSetting s(QStringLiteral("Vantrel"));
    s.LoadSetting();
    QCOMPARE(s.OpenFixed, true);
    QCOMPARE(s.UseNewDir, false);
    QCOMPARE(s.MaxMsgCount, 10000);
    QCOMPARE(s.BufSize, 512);
    QCOMPARE(s.AutoUpdate, true);
    QCOMPARE(s.OpenFilterIndex, 1);
    QCOMPARE(s.SaveFilterIndex, 1);
    QCOMPARE(s.TempDir, GetTempDirectory());
    QVERIFY(s.TempDir.endsWith(u'/'));
    QCOMPARE(s.OpenDirectory, QString());
    QCOMPARE(s.UpdateServer, QString::fromLatin1(kDefaultUpdateServer));
    QCOMPARE(s.FileName(), configHome() + QStringLiteral("/Vantrel/settings.reg"));
    QVERIFY(!QFile::exists(s.FileName()));  // loading writes nothing

    // Without a name the running program's file name (minus extension) is used.
    TSetting own;
    QCOMPARE(own.KeyName(), QStringLiteral("settings_test"));
}

void SettingsTest::saveKeepsValueKinds() {
    TSetting s(QStringLiteral("Vantrel"));
    s.LoadSetting();
    s.OpenDirectory = QStringLiteral("/home/me/mail");
    s.UpdateServer.clear();
    QVERIFY(s.SaveSetting());

    const QString text = readFile(s.FileName());
    for (const char* line : {"[Misc]", "\"OpenDirectory\"=\"/home/me/mail\"", "\"OpenFilterIndex\"=dword:00000001",
                             "\"SaveFilterIndex\"=dword:00000001", "\"AutoUpdate\"=\"1\"", "\"OpenFixed\"=\"1\"",
                             "\"UseNewDir\"=\"0\"", "\"MaxMsgCount\"=dword:00002710", "\"BufSize\"=dword:00000200",
                             "\"UpdateServer\"=\"\""})
        QVERIFY2(text.contains(QString::fromLatin1(line) + u'\n'), line);

    TBrelRegIniFile ini(s.FileName());
    using K = TBrelRegIniFile::TDataType;
    QCOMPARE(ini.GetDataType("Misc", "TempDir"), K::rdString);
    QCOMPARE(ini.GetDataType("misc", "maxmsgcount"), K::rdInteger);  // names ignore case

    TSetting again(QStringLiteral("Vantrel"));
    again.LoadSetting();
    QCOMPARE(again.OpenDirectory, QStringLiteral("/home/me/mail"));
    QCOMPARE(again.UpdateServer, QString());  // empty stays empty: no network check
}

void SettingsTest::integerStoredAsStringStaysString() {
    const QString file = GetSettingsFileName(QStringLiteral("Vantrel"));
    writeFile(file, "[Misc]\n\"MaxMsgCount\"=\"2000\"\n");
    TSetting s(QStringLiteral("Vantrel"));
    s.LoadSetting();
    QCOMPARE(s.MaxMsgCount, 2000);
    s.MaxMsgCount = 3000;
    QVERIFY(s.SaveSetting());
    const QString text = readFile(file);
    QVERIFY(text.contains(QStringLiteral("\"MaxMsgCount\"=\"3000\"\n")));
    QVERIFY(!text.contains(QStringLiteral("\"MaxMsgCount\"=dword")));
}

void SettingsTest::conversionRules_data() {
    QTest::addColumn<QByteArray>("stored");
    QTest::addColumn<bool>("useNewDir");
    QTest::addColumn<bool>("openFixed");
    QTest::addColumn<int>("bufSize");
    QTest::newRow("number 5 is true") << QByteArray("\"UseNewDir\"=dword:00000005\n") << true << true << 512;
    QTest::newRow("yes gives defaults")
        << QByteArray("\"UseNewDir\"=\"yes\"\n\"OpenFixed\"=\"yes\"\n") << false << true << 512;
    QTest::newRow("string 0 and 1") << QByteArray("\"UseNewDir\"=\"1\"\n\"OpenFixed\"=\"0\"\n") << true << false << 512;
    QTest::newRow("integer from text") << QByteArray("\"BufSize\"=\" 64 \"\n") << false << true << 64;
    QTest::newRow("integer bad text") << QByteArray("\"BufSize\"=\"12abc\"\n") << false << true << 512;
    QTest::newRow("negative number") << QByteArray("\"BufSize\"=dword:ffffffff\n") << false << true << -1;
    QTest::newRow("other kind ignored") << QByteArray("\"BufSize\"=hex:01,02\n") << false << true << 512;
    QTest::newRow("other section ignored") << QByteArray("[Other]\n\"BufSize\"=dword:00000007\n") << false << true << 512;
}

void SettingsTest::conversionRules() {
    QFETCH(QByteArray, stored);
    QFETCH(bool, useNewDir);
    QFETCH(bool, openFixed);
    QFETCH(int, bufSize);
    writeFile(GetSettingsFileName(QStringLiteral("Vantrel")), "[Misc]\n" + stored);
    TSetting s(QStringLiteral("Vantrel"));
    s.LoadSetting();
    QCOMPARE(s.UseNewDir, useNewDir);
    QCOMPARE(s.OpenFixed, openFixed);
    QCOMPARE(s.BufSize, bufSize);
}

void SettingsTest::programNamesKeepSeparateFiles() {
    TSetting a(QStringLiteral("Vantrel"));
    a.LoadSetting();
    a.MaxMsgCount = 5;
    QVERIFY(a.SaveSetting());

    TSetting b(QStringLiteral("VantrelCopy"));
    b.LoadSetting();
    QCOMPARE(b.MaxMsgCount, 10000);
    QVERIFY(a.FileName() != b.FileName());
    QVERIFY(!QFile::exists(b.FileName()));
}

void SettingsTest::unknownValuesAndOddTextsSurvive() {
    const QString file = GetSettingsFileName(QStringLiteral("Vantrel"));
    writeFile(file, "[Misc]\n\"Extra\"=hex:01,02\n\n[Window]\n\"Left\"=dword:0000000a\n");
    TSetting s(QStringLiteral("Vantrel"));
    s.LoadSetting();
    const QString odd = QStringLiteral("/m\u00e4il/\"quoted\" \\back\nline\ttab");
    s.OpenDirectory = odd;
    QVERIFY(s.SaveSetting());

    const QString text = readFile(file);
    QVERIFY(text.contains(QStringLiteral("\"Extra\"=hex:01,02\n")));
    QVERIFY(text.contains(QStringLiteral("[Window]\n\"Left\"=dword:0000000a\n")));
    TSetting again(QStringLiteral("Vantrel"));
    again.LoadSetting();
    QCOMPARE(again.OpenDirectory, odd);
    // No temporary file is left behind by the atomic write.
    QCOMPARE(QDir(QFileInfo(file).absolutePath()).entryList(QDir::Files), QStringList{"settings.reg"});
}

void SettingsTest::unwritableConfigHomeFailsCleanly() {
    // The config home is a plain file: nothing can be created under it.
    writeFile(configHome(), "not a folder");
    TSetting s(QStringLiteral("Vantrel"));
    s.LoadSetting();
    QCOMPARE(s.MaxMsgCount, 10000);
    QVERIFY(!s.SaveSetting());
    QCOMPARE(readFile(configHome()), QStringLiteral("not a folder"));
}

void SettingsTest::mailStoreFolderFromWinePrefix() {
    const QString user = GetLogonUserName();
    QVERIFY(!user.isEmpty());
    // No user.reg at all: nothing found.
    QCOMPARE(FindMailStoreFolder(), QString());

    writeFile(prefix() + QStringLiteral("/user.reg"),
              "WINE REGISTRY Version 2\n"
              ";; All keys relative to \\\\User\\\\S-1-5-21-0-0-0-1000\n\n"
              "[Identities] 1700000000\n\"Default User ID\"=\"{AAAA}\"\n\n"
              "[Identities\\\\{AAAA}] 1700000000\n\"Username\"=\"Main Identity\"\n\n"
              "[Identities\\\\{AAAA}\\\\Software\\\\Microsoft\\\\Outlook Express\\\\5.0] 1700000000\n\n"
              "[Identities\\\\{BBBB}\\\\Software] 1700000000\n\n"
              "[Software\\\\Wine] 1700000000\n");
    QCOMPARE(FindMailStoreFolder(), QString());

    // The second identity has the old shared folder; Wine names it in lower case.
    const QString shared = prefix() + QStringLiteral("/drive_c/windows/Application Data/Outlook Express/{BBBB}");
    QVERIFY(QDir().mkpath(shared));
    QCOMPARE(FindMailStoreFolder(), shared);

    // The first identity's per-user folder wins once it exists.
    const QString perUser = prefix() + QStringLiteral("/drive_c/Documents and Settings/") + user +
                            QStringLiteral("/Local Settings/Application Data/Identities/{AAAA}/Microsoft/Outlook Express");
    QVERIFY(QDir().mkpath(perUser));
    QCOMPARE(FindMailStoreFolder(), perUser);

    // It is the default source folder of a first run.
    TSetting s(QStringLiteral("Vantrel"));
    s.LoadSetting();
    QCOMPARE(s.OpenDirectory, perUser);
    // Another user's per-user folder is not looked at.
    QCOMPARE(FindMailStoreFolderIn(prefix(), QStringLiteral("nobody-here")), shared);
}

void SettingsTest::mailStoreFolderIgnoresHostileKeys() {
    writeFile(prefix() + QStringLiteral("/user.reg"), "[Identities\\\\..] 1\n[Identities\\\\a/b] 1\n");
    // ".." under the shared folder would resolve to "Outlook Express" itself.
    QVERIFY(QDir().mkpath(prefix() + QStringLiteral("/drive_c/Windows/Application Data/Outlook Express/a/b")));
    QCOMPARE(FindMailStoreFolderIn(prefix(), QStringLiteral("me")), QString());
}

QTEST_GUILESS_MAIN(SettingsTest)
#include "settings_test.moc"
