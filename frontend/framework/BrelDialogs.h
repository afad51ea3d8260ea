// BrelDialogs: the one place where the framework's windows show message
// boxes and ask the desktop to open files, folders and links.
//
// Every message box of the program goes through BrelMessageBox and every
// desktop "open" through BrelShellOpen, so that a test can install a handler
// that answers boxes and records opened paths without a human or a file
// manager. Without a handler, the boxes are QMessageBox dialogs and "open"
// is QDesktopServices::openUrl.
#pragma once

#include <QMessageBox>
#include <QString>
#include <QUrl>

#include <functional>

class QWidget;

// The four kinds of box: each has its icon and its button set.
enum class TBrelMsgKind {
    Information,   // information icon, OK
    Error,         // error icon, OK
    Confirmation,  // question icon, Yes and No
    Warning        // warning icon, OK
};

// Shows a modal box with Text and returns the button pressed
// (QMessageBox::Ok, Yes or No).
QMessageBox::StandardButton BrelMessageBox(QWidget* Parent, TBrelMsgKind Kind,
                                           const QString& Text);

// A handler that replaces the real box; it receives the box's kind and text
// and returns the button the "user" pressed. An empty function restores the
// real boxes. Returns the previous handler.
using TBrelMessageBoxHandler =
    std::function<QMessageBox::StandardButton(TBrelMsgKind Kind, const QString& Text)>;
TBrelMessageBoxHandler SetBrelMessageBoxHandler(TBrelMessageBoxHandler Handler);

// Asks the desktop to open Url (a folder in the file manager, a document in
// its viewer, a link in the browser). Returns false when the desktop reports
// failure.
bool BrelShellOpen(const QUrl& Url);

// A handler that replaces the desktop; returns whether "opening" succeeded.
using TBrelShellOpenHandler = std::function<bool(const QUrl& Url)>;
TBrelShellOpenHandler SetBrelShellOpenHandler(TBrelShellOpenHandler Handler);
