#include "DragEdit.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>

QString FirstDroppedLocalFile(const QMimeData* mime) {
    if (!mime || !mime->hasUrls())
        return QString();
    for (const QUrl& url : mime->urls())
        if (url.isLocalFile() && !url.toLocalFile().isEmpty())
            return url.toLocalFile();
    return QString();
}

TDragEdit::TDragEdit(QWidget* parent) : QLineEdit(parent) {
    setAcceptDrops(true);  // text drags as in any line edit
}

void TDragEdit::DragAccept(bool accept) {
    FAcceptFiles = accept;
}

void TDragEdit::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls()) {
        // A file drag is ours alone: never let the base class paste the
        // URL as text.
        if (FAcceptFiles && !FirstDroppedLocalFile(event->mimeData()).isEmpty())
            event->acceptProposedAction();
        else
            event->ignore();
        return;
    }
    QLineEdit::dragEnterEvent(event);
}

void TDragEdit::dragMoveEvent(QDragMoveEvent* event) {
    if (event->mimeData()->hasUrls()) {
        if (FAcceptFiles && !FirstDroppedLocalFile(event->mimeData()).isEmpty())
            event->acceptProposedAction();
        else
            event->ignore();
        return;
    }
    QLineEdit::dragMoveEvent(event);
}

void TDragEdit::dropEvent(QDropEvent* event) {
    if (!event->mimeData()->hasUrls()) {
        QLineEdit::dropEvent(event);
        return;
    }
    const QString file = FAcceptFiles ? FirstDroppedLocalFile(event->mimeData()) : QString();
    if (file.isEmpty()) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    if (OnDropFile)
        OnDropFile(this, file);
    emit DropFile(file);
}
