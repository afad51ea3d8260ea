// TDragEdit: a drop of files from a file manager delivers the first local
// path only, leaves the edit's text alone, and is refused until DragAccept.
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QSignalSpy>
#include <QTest>
#include <QUrl>

#include "DragEdit.h"

namespace {

QMimeData* uriList(const QList<QUrl>& urls) {
    auto* mime = new QMimeData;
    mime->setUrls(urls);
    // File managers also offer the paths as text; that must not be pasted.
    mime->setText(QStringLiteral("pasted text"));
    return mime;
}

bool sendDragEnter(TDragEdit& edit, QMimeData* mime) {
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&edit, &enter);
    return enter.isAccepted();
}

bool sendDrop(TDragEdit& edit, QMimeData* mime) {
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&edit, &drop);
    return drop.isAccepted();
}

}  // namespace

class DragEditTest : public QObject {
    Q_OBJECT
private slots:
    void dropOfThreeFilesDeliversFirst();
    void refusedWithoutDragAccept();
    void remoteUrlsAreSkipped();
};

void DragEditTest::dropOfThreeFilesDeliversFirst() {
    TDragEdit edit;
    edit.setText(QStringLiteral("/old/path.dbx"));
    edit.DragAccept(true);
    QStringList delivered;
    QObject* sender = nullptr;
    edit.OnDropFile = [&](TDragEdit* s, const QString& file) {
        sender = s;
        delivered << file;
    };
    QSignalSpy spy(&edit, &TDragEdit::DropFile);

    std::unique_ptr<QMimeData> mime(uriList({QUrl::fromLocalFile("/m/a b.dbx"), QUrl::fromLocalFile("/m/b.dbx"),
                                             QUrl::fromLocalFile("/m/c.mbx")}));
    QVERIFY(sendDragEnter(edit, mime.get()));
    QVERIFY(sendDrop(edit, mime.get()));
    QCOMPARE(delivered, QStringList{QStringLiteral("/m/a b.dbx")});
    QCOMPARE(sender, &edit);
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).toString(), QStringLiteral("/m/a b.dbx"));
    QCOMPARE(edit.text(), QStringLiteral("/old/path.dbx"));
}

void DragEditTest::refusedWithoutDragAccept() {
    TDragEdit edit;
    int calls = 0;
    edit.OnDropFile = [&](TDragEdit*, const QString&) { ++calls; };
    std::unique_ptr<QMimeData> mime(uriList({QUrl::fromLocalFile("/m/a.dbx")}));
    QVERIFY(!sendDragEnter(edit, mime.get()));
    sendDrop(edit, mime.get());
    QCOMPARE(calls, 0);
    QCOMPARE(edit.text(), QString());

    edit.DragAccept(true);
    QVERIFY(sendDragEnter(edit, mime.get()));
    edit.DragAccept(false);
    QVERIFY(!sendDragEnter(edit, mime.get()));
}

void DragEditTest::remoteUrlsAreSkipped() {
    TDragEdit edit;
    edit.DragAccept(true);
    QString delivered;
    edit.OnDropFile = [&](TDragEdit*, const QString& file) { delivered = file; };
    std::unique_ptr<QMimeData> remote(uriList({QUrl("https://example.invalid/a.dbx")}));
    QVERIFY(!sendDragEnter(edit, remote.get()));
    std::unique_ptr<QMimeData> mixed(uriList({QUrl("https://example.invalid/a.dbx"), QUrl::fromLocalFile("/m/b.dbx")}));
    QVERIFY(sendDrop(edit, mixed.get()));
    QCOMPARE(delivered, QStringLiteral("/m/b.dbx"));
}

QTEST_MAIN(DragEditTest)
#include "dragedit_test.moc"
