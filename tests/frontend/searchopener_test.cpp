// The main window opening the search window: single selection from the
// Repair page's search button, the chosen file becoming the source file, and
// one search window reused for every opening.
#include "BrelMsgBox.h"
#include "MainFrm.h"
#include "SearchFrm.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

namespace {

template <typename T>
T* Child(QObject* parent, const char* name) {
    T* child = parent->findChild<T*>(QLatin1String(name));
    if (!child)
        qFatal("no control %s", name);
    return child;
}

void WriteFile(const QString& path) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("x");
}

}  // namespace

class SearchOpenerTest : public QObject {
    Q_OBJECT

    QTemporaryDir FConfig;
    QStringList FBoxes;

private slots:
    void initTestCase() {
        // Settings of this run go to a folder of its own.
        qputenv("XDG_CONFIG_HOME", FConfig.path().toLocal8Bit());
        SetBrelMsgPresenter([this](QWidget*, TBrelMsgType, const QString& text, QMessageBox::StandardButtons) {
            FBoxes << text;
            return QMessageBox::Ok;
        });
    }

    void singleModeFromRepairPage() {
        QTemporaryDir tree;
        for (const char* f : {"a/Inbox.dbx", "b/Sent Items.dbx", "c/Outbox.dbx"})
            WriteFile(tree.path() + "/" + f);

        TMainForm form;
        form.FormCreate({});
        TSearchForm* search = form.SearchForm();
        QVERIFY(search);
        QCOMPARE(search->parentWidget(), &form);
        auto* txtSrcFile = Child<QLineEdit>(&form, "txtSrcFile");
        const QString before = txtSrcFile->text();

        // First opening: search, pick the second row, add it.
        bool sawSingleLayout = false;
        QTimer::singleShot(0, [&] {
            QVERIFY(search->isVisible());
            QVERIFY(search->isModal());
            sawSingleLayout = !Child<QPushButton>(search, "btnSelectAll")->isVisible() &&
                              Child<QPushButton>(search, "btnAddSelected")->x() == 527;
            Child<QComboBox>(search, "cmbDirectory")->setEditText(tree.path());
            Child<QPushButton>(search, "btnSearch")->click();
            Child<QTableView>(search, "fl")->selectRow(1);
            Child<QPushButton>(search, "btnAddSelected")->click();
        });
        Child<QPushButton>(&form, "btnSrcSearch")->click();
        QVERIFY(sawSingleLayout);
        QCOMPARE(FBoxes, QStringList({"Search is completed. 3 file(s) found."}));
        QCOMPARE(txtSrcFile->text(), tree.path() + "/b/Sent Items.dbx");

        // Second opening: the same window with its results; "&Close" changes nothing.
        int rowsOnReopen = -1;
        txtSrcFile->setText(before);
        QTimer::singleShot(0, [&] {
            rowsOnReopen = search->ResultsModel()->rowCount();
            Child<QPushButton>(search, "btnClose")->click();
        });
        Child<QPushButton>(&form, "btnSrcSearch")->click();
        QCOMPARE(rowsOnReopen, 3);
        QCOMPARE(form.SearchForm(), search);
        QCOMPARE(txtSrcFile->text(), before);
    }
};

QTEST_MAIN(SearchOpenerTest)
#include "searchopener_test.moc"
