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

namespace {

// Decides a drag that enters or moves over the box. A file drag is the box's
// alone: it is accepted or refused here and never pasted as text by the base
// class. Returns false for any other drag, which the base class handles.
bool DecideFileDrag(QDragMoveEvent* event, bool acceptFiles) {
    if (!event->mimeData()->hasUrls())
        return false;
    if (acceptFiles && !FirstDroppedLocalFile(event->mimeData()).isEmpty())
        event->acceptProposedAction();
    else
        event->ignore();
    return true;
}

}  // namespace

void TDragEdit::dragEnterEvent(QDragEnterEvent* event) {
    if (!DecideFileDrag(event, FAcceptFiles))
        QLineEdit::dragEnterEvent(event);
}

void TDragEdit::dragMoveEvent(QDragMoveEvent* event) {
    if (!DecideFileDrag(event, FAcceptFiles))
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
