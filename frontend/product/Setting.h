// Setting: this program's settings (TSetting) on top of the framework's, and
// the lookup of the default source folder among Outlook Express identities.
#pragma once

#include "BrelSetting.h"

#include <QString>

// Update server used when none is stored: the update-information file is
// looked for under this base address. An empty stored value turns the
// network check off.
inline constexpr const char kDefaultUpdateServer[] = "https://update.vantrel.example";

class TSetting : public TBrelSetting {
public:
    explicit TSetting(const QString& keyName = QString());

    bool OpenFixed = true;      // "OpenFixed", string "0"/"1"
    bool UseNewDir = false;     // "UseNewDir", string "0"/"1"
    qint32 MaxMsgCount = 10000;  // "MaxMsgCount", 32-bit number
    QString TempDir;            // "TempDir", string; default the system temporary directory with "/"
    qint32 BufSize = 512;       // "BufSize", 32-bit number
    // Base address of the update server ("https://host[:port][/prefix]");
    // "UpdateServer", string; empty = no network check.
    QString UpdateServer;

    QString GetDefaultOpenDirectory() override;
    bool SaveSetting() override;
    void LoadSetting() override;
};

// The first Outlook Express store folder of the user's mail identities in
// the Wine prefix ($WINEPREFIX, else ~/.wine); empty when none exists.
[[nodiscard]] QString FindMailStoreFolder();

// The same for a given Wine prefix and Windows user name. The identities
// are the subkeys of "Identities" in the prefix's user.reg; for each, in the
// file's order, the per-user identity folder under "Documents and Settings"
// and then the old shared folder under "Windows\Application Data" are tried
// on the prefix's drive_c, matching each path component without regard to
// case as Wine does.
[[nodiscard]] QString FindMailStoreFolderIn(const QString& winePrefix, const QString& userName);

// The logon name of the user running the program.
[[nodiscard]] QString GetLogonUserName();
