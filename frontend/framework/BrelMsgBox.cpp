#include "BrelMsgBox.h"

#include <QCoreApplication>

namespace {

TBrelMsgPresenter& Presenter() {
    static TBrelMsgPresenter presenter;
    return presenter;
}

QMessageBox::StandardButton ShowRealBox(QWidget* parent, TBrelMsgType type, const QString& text,
                                        QMessageBox::StandardButtons buttons) {
    QMessageBox::Icon icon = QMessageBox::Information;
    switch (type) {
    case TBrelMsgType::Information: icon = QMessageBox::Information; break;
    case TBrelMsgType::Warning: icon = QMessageBox::Warning; break;
    case TBrelMsgType::Error: icon = QMessageBox::Critical; break;
    case TBrelMsgType::Confirmation: icon = QMessageBox::Question; break;
    }
    QMessageBox box(icon, QCoreApplication::applicationName(), text, buttons, parent);
    // Box texts are plain: they carry file names, engine messages and
    // network texts, which must show as written, never as markup.
    box.setTextFormat(Qt::PlainText);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

}  // namespace

QMessageBox::StandardButton BrelMessageBox(QWidget* parent, TBrelMsgType type, const QString& text,
                                           QMessageBox::StandardButtons buttons) {
    if (Presenter())
        return Presenter()(parent, type, text, buttons);
    return ShowRealBox(parent, type, text, buttons);
}

TBrelMsgPresenter SetBrelMsgPresenter(TBrelMsgPresenter presenter) {
    TBrelMsgPresenter previous = std::move(Presenter());
    Presenter() = std::move(presenter);
    return previous;
}
