#include "Setting.h"

#include "BrelUtils.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <pwd.h>
#include <unistd.h>

TSetting::TSetting(const QString& keyName) : TBrelSetting(keyName) {
    TempDir = GetTempDirectory();
    UpdateServer = QString::fromLatin1(kDefaultUpdateServer);
}

QString TSetting::GetDefaultOpenDirectory() {
    return FindMailStoreFolder();
}

void TSetting::LoadSetting() {
    TBrelSetting::LoadSetting();
    TBrelRegIniFile& ini = IniFile();
    const QString section = QString::fromLatin1(kSection);
    OpenFixed = ini.ReadBool(section, QStringLiteral("OpenFixed"), true);
    UseNewDir = ini.ReadBool(section, QStringLiteral("UseNewDir"), false);
    MaxMsgCount = ini.ReadInteger(section, QStringLiteral("MaxMsgCount"), 10000);
    TempDir = ini.ReadString(section, QStringLiteral("TempDir"), GetTempDirectory());
    BufSize = ini.ReadInteger(section, QStringLiteral("BufSize"), 512);
    UpdateServer = ini.ReadString(section, QStringLiteral("UpdateServer"),
                                  QString::fromLatin1(kDefaultUpdateServer));
}

bool TSetting::SaveSetting() {
    // The framework's values are written first; its save also reloads the
    // file, so this class writes into the same fresh copy.
    const bool frameworkSaved = TBrelSetting::SaveSetting();
    TBrelRegIniFile& ini = IniFile();
    const QString section = QString::fromLatin1(kSection);
    ini.WriteBool(section, QStringLiteral("OpenFixed"), OpenFixed);
    ini.WriteBool(section, QStringLiteral("UseNewDir"), UseNewDir);
    ini.WriteInteger(section, QStringLiteral("MaxMsgCount"), MaxMsgCount);
    ini.WriteString(section, QStringLiteral("TempDir"), TempDir);
    ini.WriteInteger(section, QStringLiteral("BufSize"), BufSize);
    ini.WriteString(section, QStringLiteral("UpdateServer"), UpdateServer);
    return ini.Save() && frameworkSaved;
}

// ---------------------------------------------------------------------------

QString GetLogonUserName() {
    if (const passwd* pw = getpwuid(geteuid()); pw && pw->pw_name)
        return QString::fromLocal8Bit(pw->pw_name);
    return qEnvironmentVariable("USER");
}

namespace {

// The identity subkeys named in a Wine registry file: the first component
// after "Identities\\" of every key section, without duplicates, in file order.
QStringList identitySubkeys(const QString& userReg) {
    QStringList result;
    QFile file(userReg);
    if (!file.open(QIODevice::ReadOnly))
        return result;
    const QString prefix = QStringLiteral("[Identities\\\\");
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (!line.startsWith(prefix, Qt::CaseInsensitive))
            continue;
        const qsizetype close = line.indexOf(u']');
        if (close < 0)
            continue;
        QString key = line.mid(prefix.size(), close - prefix.size());
        const qsizetype sep = key.indexOf(QStringLiteral("\\\\"));
        if (sep >= 0)
            key.truncate(sep);
        // A key name is one path component on disk; never let it climb out.
        if (key.isEmpty() || key == u'.' || key == QStringLiteral("..") || key.contains(u'/'))
            continue;
        bool seen = false;
        for (const QString& k : result)
            seen = seen || k.compare(key, Qt::CaseInsensitive) == 0;
        if (!seen)
            result.append(key);
    }
    return result;
}

// base joined with the components, each matched without regard to case as
// Wine maps DOS paths onto the Unix file system; empty when a component is
// missing or the result is not a directory.
QString resolveDirectory(const QString& base, const QStringList& components) {
    QString path = base;
    for (const QString& c : components) {
        const QString exact = path + u'/' + c;
        if (QFileInfo::exists(exact)) {
            path = exact;
            continue;
        }
        const QStringList entries = QDir(path).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
        QString match;
        for (const QString& e : entries)
            if (e.compare(c, Qt::CaseInsensitive) == 0) {
                match = e;
                break;
            }
        if (match.isEmpty())
            return QString();
        path += u'/' + match;
    }
    return QFileInfo(path).isDir() ? path : QString();
}

}  // namespace

QString FindMailStoreFolderIn(const QString& winePrefix, const QString& userName) {
    if (winePrefix.isEmpty())
        return QString();
    const QString driveC = winePrefix + QStringLiteral("/drive_c");
    for (const QString& id : identitySubkeys(winePrefix + QStringLiteral("/user.reg"))) {
        // "C:\Documents and Settings\<user>\Local Settings\Application Data
        // \Identities\<id>\Microsoft\Outlook Express" (Wine is an NT system).
        if (!userName.isEmpty()) {
            const QString nt = resolveDirectory(
                driveC, {QStringLiteral("Documents and Settings"), userName, QStringLiteral("Local Settings"),
                         QStringLiteral("Application Data"), QStringLiteral("Identities"), id,
                         QStringLiteral("Microsoft"), QStringLiteral("Outlook Express")});
            if (!nt.isEmpty())
                return nt;
        }
        // C:\Windows\Application Data\Outlook Express\<id>
        const QString shared = resolveDirectory(
            driveC, {QStringLiteral("Windows"), QStringLiteral("Application Data"),
                     QStringLiteral("Outlook Express"), id});
        if (!shared.isEmpty())
            return shared;
    }
    return QString();
}

QString FindMailStoreFolder() {
    QString prefix = qEnvironmentVariable("WINEPREFIX");
    if (prefix.isEmpty())
        prefix = QDir::homePath() + QStringLiteral("/.wine");
    return FindMailStoreFolderIn(QDir::cleanPath(prefix), GetLogonUserName());
}
