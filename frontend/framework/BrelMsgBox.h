// BrelMsgBox: the one place the front end shows a message box. Every window
// asks through BrelMessageBox; tests install a presenter that records the box
// and answers it, so no test ever waits for a human.
#pragma once

#include <QMessageBox>
#include <QString>
#include <functional>

class QWidget;

enum class TBrelMsgType { Information, Warning, Error, Confirmation };

// Shows `text` as a modal box of the given type over `parent` with `buttons`
// and returns the button the user pressed (or what the installed presenter
// answers). The title is the application's name.
QMessageBox::StandardButton BrelMessageBox(QWidget* parent, TBrelMsgType type, const QString& text,
                                           QMessageBox::StandardButtons buttons = QMessageBox::Ok);

using TBrelMsgPresenter = std::function<QMessageBox::StandardButton(
    QWidget* parent, TBrelMsgType type, const QString& text, QMessageBox::StandardButtons buttons)>;

// Replaces the presenter behind BrelMessageBox and returns the previous one.
// An empty presenter restores the real message box.
TBrelMsgPresenter SetBrelMsgPresenter(TBrelMsgPresenter presenter);
