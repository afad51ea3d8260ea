// UpdateDialogs: what the three windows of the update check share: their
// window kind, the information icon and the help key.
#pragma once

#include <Qt>

class QDialog;
class QLabel;
class QWidget;

// Fixed-size dialogs with a title bar but without title-bar buttons.
inline constexpr Qt::WindowFlags kUpdateDialogFlags =
    Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint;

// The desktop's standard information icon, as a label named "imgInfo".
QLabel* CreateInformationIcon(QWidget* parent);

// F1 in the dialog opens the program's help file.
void InstallUpdateDialogHelp(QDialog* dialog);

// Opens a link clicked in a message label with the desktop.
void OpenUpdateLink(const QString& link);
