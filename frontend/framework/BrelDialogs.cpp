#include "BrelDialogs.h"

#include <QApplication>
#include <QDesktopServices>

#include <utility>

namespace {
TBrelMessageBoxHandler& MessageBoxHandler() {
    static TBrelMessageBoxHandler handler;
    return handler;
}
TBrelShellOpenHandler& ShellOpenHandler() {
    static TBrelShellOpenHandler handler;
    return handler;
}
}  // namespace

QMessageBox::StandardButton BrelMessageBox(QWidget* Parent, TBrelMsgKind Kind,
                                           const QString& Text) {
    if (MessageBoxHandler())
        return MessageBoxHandler()(Kind, Text);
    const QString title = QApplication::applicationName();
    switch (Kind) {
    case TBrelMsgKind::Information:
        return QMessageBox::information(Parent, title, Text);
    case TBrelMsgKind::Error:
        return QMessageBox::critical(Parent, title, Text);
    case TBrelMsgKind::Confirmation:
        return QMessageBox::question(Parent, title, Text,
                                     QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes);
    case TBrelMsgKind::Warning:
        return QMessageBox::warning(Parent, title, Text);
    }
    return QMessageBox::NoButton;
}

TBrelMessageBoxHandler SetBrelMessageBoxHandler(TBrelMessageBoxHandler Handler) {
    return std::exchange(MessageBoxHandler(), std::move(Handler));
}

bool BrelShellOpen(const QUrl& Url) {
    if (ShellOpenHandler())
        return ShellOpenHandler()(Url);
    return QDesktopServices::openUrl(Url);
}

TBrelShellOpenHandler SetBrelShellOpenHandler(TBrelShellOpenHandler Handler) {
    return std::exchange(ShellOpenHandler(), std::move(Handler));
}
