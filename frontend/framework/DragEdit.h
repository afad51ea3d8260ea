// DragEdit: TDragEdit, a line edit that takes a file dropped from a file
// manager (text/uri-list).
//
// A drop hands the first local file's path to OnDropFile (and the DropFile
// signal); the edit's text is not changed by the drop itself, the handler
// decides. Further files of the same drop are ignored. File drops are taken
// only after DragAccept(true).
#pragma once

#include <QLineEdit>

#include <functional>

class TDragEdit : public QLineEdit {
    Q_OBJECT

public:
    explicit TDragEdit(QWidget* parent = nullptr);

    // Takes (true) or refuses (false) files dropped onto the edit. Plain
    // text drags keep working either way.
    void DragAccept(bool accept);
    bool AcceptsFileDrops() const { return FAcceptFiles; }

    // Called with the edit and the first dropped local file's path.
    std::function<void(TDragEdit* sender, const QString& fileName)> OnDropFile;

signals:
    void DropFile(const QString& fileName);

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    bool FAcceptFiles = false;
};

// The first local file path among the URLs of a drag, or empty.
class QMimeData;
[[nodiscard]] QString FirstDroppedLocalFile(const QMimeData* mime);
