// UpdateDialogs: what the three windows of the update check share: their
// window kind, the information icon and the help key.
#pragma once

#include <Qt>

class QDialog;
class QLabel;
class QPushButton;
class QString;
class QWidget;

// Fixed-size dialogs with a title bar but without title-bar buttons.
inline constexpr Qt::WindowFlags kUpdateDialogFlags =
    Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint;

// The desktop's standard information icon, as a label named "imgInfo".
QLabel* CreateInformationIcon(QWidget* parent);

// The rich-text message label "labMsg" of a fixed width, whose links open
// with the desktop.
QLabel* CreateUpdateMessageLabel(QDialog* dialog, int width);

// Lays a message dialog out: the information icon beside `message`, the one
// `button` centred below, the dialog sized to its contents.
void LayOutUpdateMessageDialog(QDialog* dialog, QLabel* message, QPushButton* button);

// F1 in the dialog opens the program's help file.
void InstallUpdateDialogHelp(QDialog* dialog);

// Opens a link clicked in a message label with the desktop.
void OpenUpdateLink(const QString& link);
