// Fuzz target: the update-information INI reader (TIniText).
//
// Invariants: section and key names match in any letter case; the first
// key of a name in a section wins, with its value trimmed and one pair of
// surrounding quotes removed; reading the bytes from a file gives what
// reading them from memory gives; absent names give the default.
#include <QFile>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QTemporaryDir>

#include "WebUpdate.h"
#include "fuzz_target.h"

namespace {

// ASCII letters turned to the other case; other characters stay.
QString SwapAsciiCase(const QString& s) {
    QString out = s;
    for (QChar& c : out) {
        const char16_t u = c.unicode();
        if (u >= u'a' && u <= u'z') c = QChar(u - 32);
        else if (u >= u'A' && u <= u'Z') c = QChar(u + 32);
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const TIniText ini(bytes);

    static QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("pyxol.inf"));
    {
        QFile file(path);
        FUZZ_CHECK(file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size(), "write");
    }
    TIniText fromFile;
    FUZZ_CHECK(fromFile.LoadFromFile(path), "load");

    // The rules, read plainly: the first value of each key of each section.
    QByteArray body = bytes.startsWith("\xEF\xBB\xBF") ? bytes.mid(3) : bytes;
    QStringDecoder utf8(QStringConverter::Utf8);
    QString text = utf8.decode(body);
    if (utf8.hasError()) text = QString::fromLatin1(body);
    QString section;
    bool inSection = false;
    QList<QPair<QString, QString>> seen;  // (section, key) already given a value
    int checked = 0;
    for (const QString& raw : text.split(QRegularExpression(QStringLiteral("\r\n|\r|\n")))) {
        const QString line = raw.trimmed();
        if (line.isEmpty() || line.startsWith(u';') || line.startsWith(u'#')) continue;
        if (line.startsWith(u'[')) {
            const qsizetype close = line.indexOf(u']');
            inSection = close >= 0;
            section = inSection ? line.mid(1, close - 1).trimmed() : QString();
            continue;
        }
        const qsizetype eq = line.indexOf(u'=');
        if (!inSection || eq <= 0) continue;
        const QString key = line.left(eq).trimmed();
        if (key.isEmpty()) continue;
        bool first = true;
        for (const auto& [s, k] : seen)
            if (s.toCaseFolded() == section.toCaseFolded() && k.toCaseFolded() == key.toCaseFolded()) first = false;
        if (!first) continue;
        seen.append({section, key});
        QString value = line.mid(eq + 1).trimmed();
        if (value.size() >= 2 && ((value.front() == u'"' && value.back() == u'"') ||
                                  (value.front() == u'\'' && value.back() == u'\'')))
            value = value.mid(1, value.size() - 2);
        FUZZ_CHECK(ini.ReadString(section, key, QStringLiteral("\x01absent")) == value,
                   "value of " + key.toStdString());
        FUZZ_CHECK(ini.ReadString(SwapAsciiCase(section), SwapAsciiCase(key)) == value, "letter case matters");
        FUZZ_CHECK(fromFile.ReadString(section, key) == value, "file and memory differ");
        if (++checked > 200) break;
    }
    FUZZ_CHECK(ini.ReadString(QStringLiteral("\x02no section"), QStringLiteral("k"), QStringLiteral("d")) ==
                   QStringLiteral("d"),
               "default");
    return 0;
}

std::vector<std::string> FuzzSeeds() {
    return {
        "[pyxol]\nnewversion=2.6.0.0\nwhatsnew=https://example.invalid/whatsnew.txt\n"
        "download=https://example.invalid/vantrel.deb\n",
        "\xef\xbb\xbf[PYXOL]\r\nNewVersion = \"2.7\"\r\nnewversion=3.0\r\n; comment\r\n# other\r\n",
        "[a]\nk='quoted'\n[A]\nK=second\nx=\"\n[b\nk=v\n[c]]\n=novalue\nk=\xe9t\xe9\n",
        "no section=1\n[s]\r k = v \r\n",
    };
}
