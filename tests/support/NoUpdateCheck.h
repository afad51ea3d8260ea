// Tests that show TMainForm call this after they reset the settings: the
// first showing runs the automatic update check, which must not reach out to
// the configured update server from a test.
#pragma once

#include "BrelSetting.h"

#include <QString>

// Stores an empty update-server address (the check's off switch) in the
// running program's settings file; the other values keep their first-run
// defaults. False when the file cannot be written.
inline bool TurnOffUpdateServer() {
    TBrelRegIniFile ini(GetSettingsFileName(GetSettingsKeyName()));
    ini.WriteString(QString::fromLatin1(TBrelSetting::kSection), QStringLiteral("UpdateServer"),
                    QString());
    return ini.Save();
}
