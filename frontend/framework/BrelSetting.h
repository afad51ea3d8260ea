// BrelSetting: the per-user settings store and the framework's settings.
//
// Settings live in a small typed text file, one per program name:
//   $XDG_CONFIG_HOME/<program file name without extension>/settings.reg
// ($XDG_CONFIG_HOME defaults to ~/.config), so a copy of the program under
// another name keeps settings of its own. The file keeps the value kinds of
// a registry export, which the reading rules depend on:
//   [Misc]
//   "MaxMsgCount"=dword:00002710
//   "OpenDirectory"="/home/me/mail"
// TBrelRegIniFile reads and writes such a file (atomically); TBrelSetting
// holds what every program of the framework stores; products derive it.
#pragma once

#include <QList>
#include <QString>
#include <QtGlobal>

// A section/value file with registry value kinds and the conversion rules of
// an INI-style registry wrapper:
// - strings are stored as strings;
// - integers are stored as 32-bit numbers, unless the value already exists
//   as a string, in which case the decimal text is stored as a string;
// - integers are read unchanged from numbers and converted from decimal text
//   when stored as strings, the default replacing text that is no number;
// - Booleans are stored as the strings "0" and "1" and read as integers
//   (nonzero = true);
// - an absent value gives the default.
// Section and value names compare without regard to case, as in the registry.
class TBrelRegIniFile {
public:
    enum class TDataType { rdUnknown, rdString, rdInteger, rdOther };

    TBrelRegIniFile() = default;
    explicit TBrelRegIniFile(const QString& fileName) { Load(fileName); }

    // Reads the file. A missing file gives an empty store and true; a file
    // that exists but cannot be read gives an empty store and false.
    // Lines that are not understood are dropped; values of other kinds
    // (for example hex:) are kept as they are and written back unchanged.
    bool Load(const QString& fileName);
    // Writes the whole store to the file named at Load, creating its folder.
    // The file is replaced atomically: on failure the old file stays and
    // false is returned.
    [[nodiscard]] bool Save() const;
    QString FileName() const { return FFileName; }

    bool ValueExists(const QString& section, const QString& name) const;
    TDataType GetDataType(const QString& section, const QString& name) const;

    // A number stored where a string is read gives its decimal text.
    QString ReadString(const QString& section, const QString& name, const QString& def) const;
    qint32 ReadInteger(const QString& section, const QString& name, qint32 def) const;
    bool ReadBool(const QString& section, const QString& name, bool def) const;

    void WriteString(const QString& section, const QString& name, const QString& value);
    void WriteInteger(const QString& section, const QString& name, qint32 value);
    void WriteBool(const QString& section, const QString& name, bool value);
    void DeleteValue(const QString& section, const QString& name);

private:
    struct Value {
        QString name;
        TDataType kind = TDataType::rdUnknown;
        QString text;    // rdString: the text; rdOther: the stored form after "="
        quint32 number = 0;  // rdInteger
    };
    struct Section {
        QString name;
        QList<Value> values;
    };

    const Value* find(const QString& section, const QString& name) const;
    Value& findOrAdd(const QString& section, const QString& name);

    QString FFileName;
    QList<Section> FSections;
};

// Folder of the per-user configuration: $XDG_CONFIG_HOME when it is an
// absolute path, else ~/.config.
[[nodiscard]] QString GetConfigHome();
// Name under which the running program keeps its settings: its file name
// without folder and extension.
[[nodiscard]] QString GetSettingsKeyName();
// The settings file of a program name.
[[nodiscard]] QString GetSettingsFileName(const QString& keyName);

// The settings every program of the framework keeps, all in section "Misc".
class TBrelSetting {
public:
    // keyName: the program name the settings belong to; empty means the
    // running program's file name without extension.
    explicit TBrelSetting(const QString& keyName = QString());
    virtual ~TBrelSetting();
    TBrelSetting(const TBrelSetting&) = delete;
    TBrelSetting& operator=(const TBrelSetting&) = delete;

    QString OpenDirectory;     // "OpenDirectory", string
    qint32 OpenFilterIndex = 1;  // "OpenFilterIndex", 32-bit number
    qint32 SaveFilterIndex = 1;  // "SaveFilterIndex", 32-bit number
    bool AutoUpdate = true;    // "AutoUpdate", string "0"/"1"

    // Folder the open dialog starts in when none is stored yet.
    virtual QString GetDefaultOpenDirectory() = 0;
    // Writes every field (the whole file is replaced atomically); false
    // when the file could not be written, the old settings then stay.
    virtual bool SaveSetting();
    // Reads every field; absent values give the defaults.
    virtual void LoadSetting();

    QString KeyName() const { return FKeyName; }
    QString FileName() const;

    static constexpr const char kSection[] = "Misc";

protected:
    // The store, loaded by LoadSetting/SaveSetting of this class; derived
    // classes read and write their own values through it afterwards.
    TBrelRegIniFile& IniFile() { return FIniFile; }

private:
    QString FKeyName;
    TBrelRegIniFile FIniFile;
};
