// AppIcon: the program's icon for its windows and its About page.
//
// The same picture as the installed hicolor icon (packaging/vantrel.svg),
// compiled in at several sizes, so it shows without an SVG reader and
// before the program is installed.
#pragma once

#include <QIcon>

[[nodiscard]] QIcon GetProgramIcon();
