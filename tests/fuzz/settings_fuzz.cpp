// Fuzz target: the settings file reader (TBrelRegIniFile).
//
// Invariants: whatever a settings file holds, reading it and saving it
// gives a file that reads back to the same values and saves to the same
// bytes again (nothing is lost or changed by a second round), and every
// value found can be read in every way without failing.
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include "BrelSetting.h"
#include "fuzz_target.h"

namespace {

QByteArray ReadAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool WriteAll(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

// Section and value names as the file spells them, found by a loose look at
// its lines: enough to read back what the reader kept.
QList<QPair<QString, QString>> NamesIn(const QByteArray& bytes) {
    QList<QPair<QString, QString>> names;
    QString section;
    for (const QByteArray& raw : bytes.split('\n')) {
        const QString line = QString::fromUtf8(raw).trimmed();
        if (line.startsWith(u'[') && line.endsWith(u']')) section = line.mid(1, line.size() - 2);
        else if (line.startsWith(u'"')) {
            const qsizetype end = line.indexOf(u'"', 1);
            if (end > 0) names.append({section, line.mid(1, end - 1)});
        }
        if (names.size() > 64) break;
    }
    return names;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static QTemporaryDir dir;
    FUZZ_CHECK(dir.isValid(), "temporary folder");
    const QString first = dir.filePath(QStringLiteral("input.reg"));
    const QString second = dir.filePath(QStringLiteral("second.reg"));
    const QString third = dir.filePath(QStringLiteral("third.reg"));
    FUZZ_CHECK(WriteAll(first, QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size))), "write");

    TBrelRegIniFile ini;
    FUZZ_CHECK(ini.Load(first), "load");
    const auto names = NamesIn(QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)));
    for (const auto& [section, name] : names) {
        (void)ini.GetDataType(section, name);
        (void)ini.ReadString(section, name, QStringLiteral("d"));
        (void)ini.ReadInteger(section, name, 7);
        (void)ini.ReadBool(section, name, true);
    }

    // First round: what the reader kept, saved.
    TBrelRegIniFile copy;
    FUZZ_CHECK(copy.Load(first), "load again");
    QFile::remove(second);
    TBrelRegIniFile writer(second);
    for (const auto& [section, name] : names) {
        if (!ini.ValueExists(section, name)) continue;
        switch (ini.GetDataType(section, name)) {
        case TBrelRegIniFile::TDataType::rdString:
            writer.WriteString(section, name, ini.ReadString(section, name, {}));
            break;
        case TBrelRegIniFile::TDataType::rdInteger:
            writer.WriteInteger(section, name, ini.ReadInteger(section, name, 0));
            break;
        default:
            break;
        }
    }
    FUZZ_CHECK(writer.Save(), "save");
    TBrelRegIniFile reread(second);
    for (const auto& [section, name] : names) {
        const auto kind = ini.GetDataType(section, name);
        if (kind != TBrelRegIniFile::TDataType::rdString && kind != TBrelRegIniFile::TDataType::rdInteger) continue;
        FUZZ_CHECK(reread.GetDataType(section, name) == kind, "kind lost in a round");
        FUZZ_CHECK(reread.ReadString(section, name, QStringLiteral("absent")) ==
                       ini.ReadString(section, name, QStringLiteral("absent")),
                   "value changed in a round: " + name.toStdString());
    }

    // Saving the input as read, then reading and saving that again, changes
    // nothing more.
    QFile::remove(third);
    FUZZ_CHECK(QFile::copy(first, third), "copy");
    TBrelRegIniFile a(third);
    FUZZ_CHECK(a.Save(), "save as read");
    const QByteArray once = ReadAll(third);
    TBrelRegIniFile b(third);
    FUZZ_CHECK(b.Save(), "save again");
    FUZZ_CHECK(ReadAll(third) == once, "a second round changed the file");
    return 0;
}

std::vector<std::string> FuzzSeeds() {
    return {
        "[Misc]\n\"MaxMsgCount\"=dword:00002710\n\"OpenDirectory\"=\"/home/me/mail\"\n",
        "[Misc]\r\n\"UseNewDir\"=\"1\"\r\n\"Quoted\"=\"a \\\"b\\\" \\\\ c\\n\\t\"\r\n",
        "; comment\n# other\n[misc]\n\"x\"=hex:01,02\n\"X\"=\"later wins\"\n[MISC]\n\"y\"=dword:ffffffff\n",
        "\xef\xbb\xbf[Misc]\n\"bad\"=dword:zz\n\"empty\"=\n\"unterminated\"=\"abc\n",
        "[Weird]]\n\"\xff\xfe\"=\"\xc3\xa9t\xc3\xa9\"\n[]\n\"\"=\"\"\n",
        "\"orphan\"=\"no section\"\n[A]\n  \"spaced\"  =  \"x\"  \n\"k\"=\"v\"trailing\n",
    };
}
