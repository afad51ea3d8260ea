#include "BrelSetting.h"

#include "BrelUtils.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringConverter>
#include <QTextStream>

namespace {

// Parses a quoted string starting at s[pos] == '"'; handles \\ \" \n \r \t.
// Sets pos past the closing quote; false when there is none.
bool parseQuoted(const QString& s, qsizetype& pos, QString& out) {
    out.clear();
    for (qsizetype i = pos + 1; i < s.size(); ++i) {
        const QChar c = s.at(i);
        if (c == u'"') {
            pos = i + 1;
            return true;
        }
        if (c == u'\\' && i + 1 < s.size()) {
            const QChar e = s.at(++i);
            if (e == u'n')
                out += u'\n';
            else if (e == u'r')
                out += u'\r';
            else if (e == u't')
                out += u'\t';
            else
                out += e;
            continue;
        }
        out += c;
    }
    return false;
}

QString quoted(const QString& s) {
    QString out;
    out.reserve(s.size() + 2);
    out += u'"';
    for (const QChar c : s) {
        if (c == u'\\' || c == u'"') {
            out += u'\\';
            out += c;
        } else if (c == u'\n') {
            out += QStringLiteral("\\n");
        } else if (c == u'\r') {
            out += QStringLiteral("\\r");
        } else if (c == u'\t') {
            out += QStringLiteral("\\t");
        } else {
            out += c;
        }
    }
    out += u'"';
    return out;
}

// Decimal text to a 32-bit integer, as the registry wrapper converts it:
// surrounding blanks allowed, anything else (or overflow) is no number.
bool decimalToInt(const QString& text, qint32& value) {
    bool ok = false;
    const int v = text.trimmed().toInt(&ok, 10);
    if (ok)
        value = v;
    return ok;
}

}  // namespace

bool TBrelRegIniFile::Load(const QString& fileName) {
    FFileName = fileName;
    FSections.clear();
    QFile file(fileName);
    if (!file.exists())
        return true;
    if (!file.open(QIODevice::ReadOnly))
        return false;
    QTextStream in(&file);
    in.setEncoding(QStringConverter::Utf8);
    Section* current = nullptr;
    while (!in.atEnd()) {
        const QString line = in.readLine().trimmed();
        if (line.isEmpty() || line.startsWith(u';') || line.startsWith(u'#'))
            continue;
        if (line.startsWith(u'[') && line.endsWith(u']')) {
            const QString name = line.mid(1, line.size() - 2);
            current = nullptr;
            for (Section& s : FSections)
                if (s.name.compare(name, Qt::CaseInsensitive) == 0)
                    current = &s;
            if (!current) {
                FSections.append(Section{name, {}});
                current = &FSections.last();
            }
            continue;
        }
        if (!current || !line.startsWith(u'"'))
            continue;
        qsizetype pos = 0;
        QString name;
        if (!parseQuoted(line, pos, name) || pos >= line.size() || line.at(pos) != u'=')
            continue;
        const QString data = line.mid(pos + 1);
        Value v;
        v.name = name;
        if (data.startsWith(u'"')) {
            qsizetype p = 0;
            if (!parseQuoted(data, p, v.text))
                continue;
            v.kind = TDataType::rdString;
        } else if (data.startsWith(QStringLiteral("dword:"), Qt::CaseInsensitive)) {
            bool ok = false;
            v.number = data.mid(6).toUInt(&ok, 16);
            if (!ok)
                continue;
            v.kind = TDataType::rdInteger;
        } else {
            v.kind = TDataType::rdOther;
            v.text = data;
        }
        // A later line for the same name replaces the earlier one.
        bool replaced = false;
        for (Value& old : current->values)
            if (old.name.compare(name, Qt::CaseInsensitive) == 0) {
                old = v;
                replaced = true;
            }
        if (!replaced)
            current->values.append(v);
    }
    return true;
}

bool TBrelRegIniFile::Save() const {
    if (FFileName.isEmpty())
        return false;
    if (!QDir().mkpath(QFileInfo(FFileName).absolutePath()))
        return false;
    QString text;
    for (const Section& s : FSections) {
        text += u'[' + s.name + QStringLiteral("]\n");
        for (const Value& v : s.values) {
            text += quoted(v.name) + u'=';
            switch (v.kind) {
            case TDataType::rdString:
                text += quoted(v.text);
                break;
            case TDataType::rdInteger:
                text += QStringLiteral("dword:%1").arg(v.number, 8, 16, QLatin1Char('0'));
                break;
            default:
                text += v.text;
                break;
            }
            text += u'\n';
        }
        text += u'\n';
    }
    QSaveFile file(FFileName);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    const QByteArray bytes = text.toUtf8();
    if (file.write(bytes) != bytes.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

const TBrelRegIniFile::Value* TBrelRegIniFile::find(const QString& section, const QString& name) const {
    for (const Section& s : FSections) {
        if (s.name.compare(section, Qt::CaseInsensitive) != 0)
            continue;
        for (const Value& v : s.values)
            if (v.name.compare(name, Qt::CaseInsensitive) == 0)
                return &v;
    }
    return nullptr;
}

TBrelRegIniFile::Value& TBrelRegIniFile::findOrAdd(const QString& section, const QString& name) {
    Section* sec = nullptr;
    for (Section& s : FSections)
        if (s.name.compare(section, Qt::CaseInsensitive) == 0)
            sec = &s;
    if (!sec) {
        FSections.append(Section{section, {}});
        sec = &FSections.last();
    }
    for (Value& v : sec->values)
        if (v.name.compare(name, Qt::CaseInsensitive) == 0)
            return v;
    sec->values.append(Value{name, TDataType::rdUnknown, {}, 0});
    return sec->values.last();
}

bool TBrelRegIniFile::ValueExists(const QString& section, const QString& name) const {
    return find(section, name) != nullptr;
}

TBrelRegIniFile::TDataType TBrelRegIniFile::GetDataType(const QString& section, const QString& name) const {
    const Value* v = find(section, name);
    return v ? v->kind : TDataType::rdUnknown;
}

QString TBrelRegIniFile::ReadString(const QString& section, const QString& name, const QString& def) const {
    const Value* v = find(section, name);
    if (!v)
        return def;
    switch (v->kind) {
    case TDataType::rdString:
        return v->text;
    case TDataType::rdInteger:
        return QString::number(qint32(v->number));
    default:
        return def;
    }
}

qint32 TBrelRegIniFile::ReadInteger(const QString& section, const QString& name, qint32 def) const {
    const Value* v = find(section, name);
    if (!v)
        return def;
    if (v->kind == TDataType::rdInteger)
        return qint32(v->number);
    qint32 value = def;
    if (v->kind == TDataType::rdString && decimalToInt(v->text, value))
        return value;
    return def;
}

bool TBrelRegIniFile::ReadBool(const QString& section, const QString& name, bool def) const {
    return ReadInteger(section, name, def ? 1 : 0) != 0;
}

void TBrelRegIniFile::WriteString(const QString& section, const QString& name, const QString& value) {
    Value& v = findOrAdd(section, name);
    v.kind = TDataType::rdString;
    v.text = value;
    v.number = 0;
}

void TBrelRegIniFile::WriteInteger(const QString& section, const QString& name, qint32 value) {
    // An integer stored as text stays text, so older files keep their form.
    if (GetDataType(section, name) == TDataType::rdString) {
        WriteString(section, name, QString::number(value));
        return;
    }
    Value& v = findOrAdd(section, name);
    v.kind = TDataType::rdInteger;
    v.number = quint32(value);
    v.text.clear();
}

void TBrelRegIniFile::WriteBool(const QString& section, const QString& name, bool value) {
    WriteString(section, name, value ? QStringLiteral("1") : QStringLiteral("0"));
}

void TBrelRegIniFile::DeleteValue(const QString& section, const QString& name) {
    for (Section& s : FSections) {
        if (s.name.compare(section, Qt::CaseInsensitive) != 0)
            continue;
        s.values.removeIf([&](const Value& v) { return v.name.compare(name, Qt::CaseInsensitive) == 0; });
    }
}

// ---------------------------------------------------------------------------

QString GetConfigHome() {
    const QString xdg = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (!xdg.isEmpty() && QDir::isAbsolutePath(xdg))
        return QDir::cleanPath(xdg);
    return QDir::homePath() + QStringLiteral("/.config");
}

QString GetSettingsKeyName() {
    return StripFileExt(QFileInfo(GetProgramFileName()).fileName());
}

QString GetSettingsFileName(const QString& keyName) {
    return GetConfigHome() + u'/' + keyName + QStringLiteral("/settings.reg");
}

TBrelSetting::TBrelSetting(const QString& keyName)
    : FKeyName(keyName.isEmpty() ? GetSettingsKeyName() : keyName) {}

TBrelSetting::~TBrelSetting() = default;

QString TBrelSetting::FileName() const {
    return GetSettingsFileName(FKeyName);
}

void TBrelSetting::LoadSetting() {
    FIniFile.Load(FileName());
    const QString section = QString::fromLatin1(kSection);
    const QString def = GetDefaultOpenDirectory();
    OpenDirectory = FIniFile.ReadString(section, QStringLiteral("OpenDirectory"), def);
    OpenFilterIndex = FIniFile.ReadInteger(section, QStringLiteral("OpenFilterIndex"), 1);
    SaveFilterIndex = FIniFile.ReadInteger(section, QStringLiteral("SaveFilterIndex"), 1);
    AutoUpdate = FIniFile.ReadBool(section, QStringLiteral("AutoUpdate"), true);
}

bool TBrelSetting::SaveSetting() {
    // Start from what is on disk so values this class does not know survive.
    FIniFile.Load(FileName());
    const QString section = QString::fromLatin1(kSection);
    FIniFile.WriteString(section, QStringLiteral("OpenDirectory"), OpenDirectory);
    FIniFile.WriteInteger(section, QStringLiteral("OpenFilterIndex"), OpenFilterIndex);
    FIniFile.WriteInteger(section, QStringLiteral("SaveFilterIndex"), SaveFilterIndex);
    FIniFile.WriteBool(section, QStringLiteral("AutoUpdate"), AutoUpdate);
    return FIniFile.Save();
}
