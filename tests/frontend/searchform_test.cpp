// The search window under the offscreen platform, searching real temporary
// trees, with its message boxes answered through the message-box seam.
#include "BrelMain.h"
#include "BrelMsgBox.h"
#include "BrelShell.h"
#include "SearchFrm.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFile>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <fcntl.h>
#include <sys/stat.h>

namespace {

// Records every box and answers it: with the next scripted answer, else OK
// (or Yes for a question).
class BoxRecorder {
public:
    BoxRecorder() {
        FPrevious = SetBrelMsgPresenter([this](QWidget*, TBrelMsgType type, const QString& text,
                                               QMessageBox::StandardButtons buttons) {
            types.append(type);
            texts.append(text);
            if (!answers.isEmpty())
                return answers.takeFirst();
            return buttons.testFlag(QMessageBox::Ok) ? QMessageBox::Ok : QMessageBox::Yes;
        });
    }
    ~BoxRecorder() { SetBrelMsgPresenter(FPrevious); }

    QList<TBrelMsgType> types;
    QStringList texts;
    QList<QMessageBox::StandardButton> answers;

private:
    TBrelMsgPresenter FPrevious;
};

void WriteFile(const QString& path, qint64 size) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(QByteArray(size, 'x'));
}

// A tree of `folders` sub-folders with one store file each, plus one at the top.
void MakeTree(const QString& root, int folders) {
    WriteFile(root + "/top.dbx", 100);
    for (int i = 0; i < folders; ++i)
        WriteFile(root + QString("/f%1/m%1.dbx").arg(i, 3, 10, QChar('0')), 100);
}

// Runs `action` at the `depth`-th pumping of events from now: the search
// pumps once per folder, so depth 1 acts on entering the first folder and
// depth 2 after the first folder's files were listed.
void AtPump(int depth, std::function<void()> action) {
    if (depth <= 1) {
        QTimer::singleShot(0, action);
        return;
    }
    QTimer::singleShot(0, [depth, action] { AtPump(depth - 1, action); });
}

template <typename T>
T* Child(QObject* form, const char* name) {
    T* child = form->findChild<T*>(QLatin1String(name));
    if (!child)
        qFatal("no control %s", name);
    return child;
}

QStringList FileNames(TSearchResultsModel* model) {
    QStringList names;
    for (int r = 0; r < model->rowCount(); ++r)
        names << model->Row(r).FileName;
    return names;
}

}  // namespace

class SearchFormTest : public QObject {
    Q_OBJECT

private slots:
    void creationDefaults();
    void singleVersusMultiLayout();
    void advancedOptionsToggle();
    void criteriaControlsFollowTheirChecks();
    void searchListsHitsOnce();
    void sizeBounds();
    void attributeAndTimeCriteria();
    void stopDuringSearch();
    void closeDuringSearchYes();
    void closeDuringSearchNo();
    void closeDuringModalSearchEndsTheModalLoop();
    void addSelected();
    void refusedAddSelectedLeavesNoResult();
    void resultsKeptOnReopening();
    void resultTimes();
    void helpOpensTheHelpFile();
    void skinsTakenOnlyOnce();
    void browseSetsTheFolderText();
    void enterStartsTheSearch();
};

void SearchFormTest::creationDefaults() {
    TSearchForm form;
    QCOMPARE(form.size(), QSize(765, 505));
    QCOMPARE(form.minimumSize(), QSize(757, 497));
    QCOMPARE(form.windowTitle(), QString("     "));
    QCOMPARE(Child<QLabel>(&form, "labBanner")->text(), QString("Search for source DBX or MBX files to be repaired "));

    auto* cmbFileName = Child<QComboBox>(&form, "cmbFileName");
    QCOMPARE(cmbFileName->count(), 2);
    QCOMPARE(cmbFileName->currentIndex(), 0);
    QCOMPARE(cmbFileName->itemText(0), QString("Outlook Express 5/6 dbx files (*.dbx)"));
    QCOMPARE(cmbFileName->itemData(0).toString(), QString("*.dbx"));
    QCOMPARE(cmbFileName->itemText(1), QString("Outlook Express 4.x mbx files (*.mbx)"));
    QCOMPARE(cmbFileName->itemData(1).toString(), QString("*.mbx"));
    auto* labFileName = Child<QLabel>(&form, "labFileName");
    QCOMPARE(cmbFileName->x(), labFileName->x() + labFileName->width() + 9);
    QCOMPARE(cmbFileName->x() + cmbFileName->width(), 467);

    auto* cmbDirectory = Child<QComboBox>(&form, "cmbDirectory");
    QVERIFY(cmbDirectory->isEditable());
    QCOMPARE(cmbDirectory->count(), 1);
    QCOMPARE(cmbDirectory->currentText(), "Local Harddrives (" + form.HardDrives() + ")");
    QCOMPARE(cmbDirectory->geometry().left(), cmbFileName->geometry().left());
    QCOMPARE(cmbDirectory->width(), cmbFileName->width());
    // Each mount point ends in "/" and is followed by ";".
    for (const QString& part : form.HardDrives().split(';', Qt::SkipEmptyParts))
        QVERIFY2(part.endsWith('/') && QFileInfo(part).isDir(), qPrintable(part));
    QVERIFY(form.HardDrives().isEmpty() || form.HardDrives().endsWith("/;"));

    QVERIFY(Child<QCheckBox>(&form, "RecurseSubDirs")->isChecked());
    for (const char* g : {"gbFileSize", "gbFileAttr", "gbFileTime"}) {
        QVERIFY(Child<QGroupBox>(&form, g)->isCheckable());
        QVERIFY(!Child<QGroupBox>(&form, g)->isChecked());
    }
    QCOMPARE(Child<QSpinBox>(&form, "txtMinSize")->maximum(), 1073741824);
    QCOMPARE(Child<QSpinBox>(&form, "txtFileCreatedTime")->maximum(), 999);
    QCOMPARE(Child<QWidget>(&form, "palAdvOptions")->height(), 0);
    QVERIFY(!Child<QWidget>(&form, "palAdvOptions")->isEnabled());
    QCOMPARE(Child<QPushButton>(&form, "btnAdvOptions")->text(), QString("&+"));

    QCOMPARE(Child<QLabel>(&form, "labProgress")->text(), QString("0 file(s) found"));
    QVERIFY(Child<QLabel>(&form, "labProgress")->font().bold());
    QCOMPARE(Child<QLabel>(&form, "labConsumedTime")->text(), QString("0 day(s) 0 hour(s) 0 minute(s) "));
    QCOMPARE(Child<QLabel>(&form, "labTimeConsumed")->text(), QString("Time consumed: "));
    QVERIFY(Child<QLabel>(&form, "labDir")->text().isEmpty());
    auto* timer = Child<QTimer>(&form, "Timer");
    QVERIFY(!timer->isActive());
    QCOMPARE(timer->interval(), 60000);

    auto* btnSearch = Child<QPushButton>(&form, "btnSearch");
    QCOMPARE(btnSearch->text(), QString("&Start Search"));
    QCOMPARE(btnSearch->property("look").toString(), QString("startbutton"));
    QVERIFY(btnSearch->isDefault());
    QCOMPARE(Child<QPushButton>(&form, "btnClose")->text(), QString("&Close"));
    QCOMPARE(Child<QPushButton>(&form, "btnHelp")->text(), QString("&Help"));

    auto* fl = Child<QTableView>(&form, "fl");
    const QStringList headers = {"Name", "Directory", "Size(bytes)", "Created", "Last Accessed", "Last Modified"};
    const int widths[] = {129, 200, 65, 112, 112, 112};
    for (int c = 0; c < 6; ++c) {
        QCOMPARE(fl->model()->headerData(c, Qt::Horizontal).toString(), headers[c]);
        // The designed width, widened where the heading would be cut.
        QCOMPARE(fl->columnWidth(c), std::max(widths[c], fl->horizontalHeader()->sectionSizeHint(c)));
    }
    QCOMPARE(fl->selectionBehavior(), QAbstractItemView::SelectRows);
    QCOMPARE(fl->editTriggers(), QAbstractItemView::NoEditTriggers);

    QCOMPARE(Child<QComboBox>(&form, "cmbDirectory")->toolTip(),
             QString("Select or input the folder where file is searched"));
    QCOMPARE(Child<QPushButton>(&form, "btnAdvOptions")->toolTip(), QString("Show/Hide advanced search options"));
    QCOMPARE(Child<QCheckBox>(&form, "chkFileMinSize")->toolTip(), QString("If selected, file size must >= xxx KB"));
    QVERIFY(Child<QCheckBox>(&form, "chkFileSystemAttr")->toolTip().startsWith("If selected, only system file will be searched"));
    QCOMPARE(Child<QPushButton>(&form, "btnClose")->toolTip(),
             QString("Close search window without adding any found files"));
}

void SearchFormTest::singleVersusMultiLayout() {
    TSearchForm form;
    auto* add = Child<QPushButton>(&form, "btnAddSelected");
    auto* all = Child<QPushButton>(&form, "btnSelectAll");
    auto* none = Child<QPushButton>(&form, "btnUnselectAll");
    auto* fl = Child<QTableView>(&form, "fl");

    form.SetMultiSelect(true);
    QCOMPARE(add->x(), 307);
    QVERIFY(all->isVisibleTo(&form));
    QVERIFY(none->isVisibleTo(&form));
    QCOMPARE(none->x(), 527);
    QCOMPARE(fl->selectionMode(), QAbstractItemView::ExtendedSelection);

    form.SetMultiSelect(false);
    QCOMPARE(add->x(), 527);
    QVERIFY(!all->isVisibleTo(&form));
    QVERIFY(!none->isVisibleTo(&form));
    QCOMPARE(fl->selectionMode(), QAbstractItemView::SingleSelection);

    // Going from multi to single keeps one selected row, the first.
    QTemporaryDir tmp;
    MakeTree(tmp.path(), 3);
    BoxRecorder boxes;
    form.SetMultiSelect(true);
    Child<QComboBox>(&form, "cmbDirectory")->setEditText(tmp.path());
    Child<QPushButton>(&form, "btnSearch")->click();
    QCOMPARE(form.ResultsModel()->rowCount(), 4);
    all->click();
    QCOMPARE(form.SelectedFiles().size(), 4);
    form.SetMultiSelect(false);
    QCOMPARE(form.SelectedFiles(), QStringList({form.ResultsModel()->FullPath(0)}));
}

void SearchFormTest::advancedOptionsToggle() {
    TSearchForm form;
    form.move(100, 300);
    auto* btn = Child<QPushButton>(&form, "btnAdvOptions");
    auto* pal = Child<QWidget>(&form, "palAdvOptions");
    auto* fl = Child<QTableView>(&form, "fl");
    const int listHeight = fl->height();
    const int y = form.y();

    btn->click();
    QCOMPARE(pal->height(), 131);
    QVERIFY(pal->isEnabled());
    QCOMPARE(form.height(), 505 + 131);
    QCOMPARE(form.minimumHeight(), 497 + 131);
    QCOMPARE(form.y(), y - 65);
    QCOMPARE(btn->text(), QString("&-"));
    QCOMPARE(fl->height(), listHeight);  // the window grew by the panel's height

    btn->click();
    QCOMPARE(pal->height(), 0);
    QVERIFY(!pal->isEnabled());
    QCOMPARE(form.height(), 505);
    QCOMPARE(form.minimumHeight(), 497);
    QCOMPARE(form.y(), y);
    QCOMPARE(btn->text(), QString("&+"));

    // Near the top of the screen the window does not move above it.
    form.move(100, 20);
    btn->click();
    QCOMPARE(form.y(), 0);
}

void SearchFormTest::criteriaControlsFollowTheirChecks() {
    TSearchForm form;
    Child<QPushButton>(&form, "btnAdvOptions")->click();
    auto* gbSize = Child<QGroupBox>(&form, "gbFileSize");
    auto* gbTime = Child<QGroupBox>(&form, "gbFileTime");
    auto* chkMin = Child<QCheckBox>(&form, "chkFileMinSize");
    auto* txtMin = Child<QSpinBox>(&form, "txtMinSize");
    auto* txtMax = Child<QSpinBox>(&form, "txtMaxSize");
    auto* chkMod = Child<QCheckBox>(&form, "chkFileModifiedTime");
    auto* txtMod = Child<QSpinBox>(&form, "txtFileModifiedTime");
    auto* txtCreated = Child<QSpinBox>(&form, "txtFileCreatedTime");

    QVERIFY(!chkMin->isEnabled());
    gbSize->setChecked(true);
    QVERIFY(chkMin->isEnabled());
    QVERIFY(!txtMin->isEnabled());
    chkMin->setChecked(true);
    QVERIFY(txtMin->isEnabled());
    QVERIFY(!txtMax->isEnabled());
    gbSize->setChecked(false);
    QVERIFY(!chkMin->isEnabled());
    QVERIFY(!txtMin->isEnabled());
    gbSize->setChecked(true);
    QVERIFY(txtMin->isEnabled());
    QVERIFY(!txtMax->isEnabled());

    gbTime->setChecked(true);
    QVERIFY(chkMod->isEnabled());
    QVERIFY(!txtMod->isEnabled());
    chkMod->setChecked(true);
    QVERIFY(txtMod->isEnabled());
    QVERIFY(!txtCreated->isEnabled());
}

void SearchFormTest::searchListsHitsOnce() {
    QTemporaryDir tmp;
    const QString root = tmp.path();
    MakeTree(root, 2);
    WriteFile(root + "/f000/Other.DBX", 7);
    WriteFile(root + "/f000/skip.mbx", 7);

    TSearchForm form;
    new QAbstractItemModelTester(form.ResultsModel(), QAbstractItemModelTester::FailureReportingMode::QtTest,
                                 &form);
    BoxRecorder boxes;
    // Overlapping folders: every file is still listed once.
    Child<QComboBox>(&form, "cmbDirectory")->setEditText(root + ";" + root + "/f000;" + root);
    Child<QPushButton>(&form, "btnSearch")->click();

    QCOMPARE(boxes.texts, QStringList({"Search is completed. 4 file(s) found."}));
    QCOMPARE(boxes.types, QList<TBrelMsgType>({TBrelMsgType::Information}));
    TSearchResultsModel* model = form.ResultsModel();
    QCOMPARE(FileNames(model), QStringList({"top.dbx", "Other.DBX", "m000.dbx", "m001.dbx"}));
    QCOMPARE(model->FullPath(1), root + "/f000/Other.DBX");
    QCOMPARE(model->data(model->index(1, TSearchResultsModel::colDirectory)).toString(), root + "/f000/");
    QCOMPARE(model->data(model->index(1, TSearchResultsModel::colSize)).toString(), QString("7"));
    QCOMPARE(model->data(model->index(1, TSearchResultsModel::colSize), Qt::TextAlignmentRole).toInt(),
             int(Qt::AlignRight | Qt::AlignVCenter));
    QVERIFY(!model->data(model->index(1, TSearchResultsModel::colLastModified)).toString().isEmpty());
    QCOMPARE(Child<QLabel>(&form, "labProgress")->text(), QString("4 file(s) found"));
    QVERIFY(Child<QLabel>(&form, "labDir")->text().isEmpty());
    QCOMPARE(Child<QPushButton>(&form, "btnSearch")->text(), QString("&Start Search"));
    QVERIFY(!Child<QTimer>(&form, "Timer")->isActive());
    QVERIFY(!form.InSearch());

    // The second kind, and sub-folders off.
    Child<QComboBox>(&form, "cmbFileName")->setCurrentIndex(1);
    Child<QComboBox>(&form, "cmbDirectory")->setEditText(root);
    Child<QCheckBox>(&form, "RecurseSubDirs")->setChecked(false);
    Child<QPushButton>(&form, "btnSearch")->click();
    QCOMPARE(model->rowCount(), 0);
    Child<QCheckBox>(&form, "RecurseSubDirs")->setChecked(true);
    Child<QPushButton>(&form, "btnSearch")->click();
    QCOMPARE(FileNames(model), QStringList({"skip.mbx"}));

    // A folder that does not exist finds nothing, with only the completion box.
    boxes.texts.clear();
    Child<QComboBox>(&form, "cmbDirectory")->setEditText(root + "/none");
    Child<QPushButton>(&form, "btnSearch")->click();
    QCOMPARE(boxes.texts, QStringList({"Search is completed. 0 file(s) found."}));
}

void SearchFormTest::sizeBounds() {
    QTemporaryDir tmp;
    for (qint64 size : {5119, 5120, 5121, 20000})
        WriteFile(tmp.path() + QString("/%1.dbx").arg(size), size);
    TSearchForm form;
    BoxRecorder boxes;
    Child<QComboBox>(&form, "cmbDirectory")->setEditText(tmp.path());
    Child<QPushButton>(&form, "btnAdvOptions")->click();
    Child<QGroupBox>(&form, "gbFileSize")->setChecked(true);
    auto* chkMin = Child<QCheckBox>(&form, "chkFileMinSize");
    auto* chkMax = Child<QCheckBox>(&form, "chkFileMaxSize");
    auto* txtMin = Child<QSpinBox>(&form, "txtMinSize");
    auto* txtMax = Child<QSpinBox>(&form, "txtMaxSize");
    auto* btnSearch = Child<QPushButton>(&form, "btnSearch");

    chkMin->setChecked(true);
    chkMax->setChecked(true);
    txtMin->setValue(5);
    txtMax->setValue(5);
    btnSearch->click();
    QCOMPARE(FileNames(form.ResultsModel()), QStringList({"5120.dbx"}));

    // Contradictory bounds: the box, no search, the earlier results stay.
    boxes.texts.clear();
    txtMin->setValue(10);
    btnSearch->click();
    QCOMPARE(boxes.texts, QStringList({"For file size, at least value must be less than or equal to at most "
                                       "value! Please correct the values!"}));
    QCOMPARE(boxes.types, QList<TBrelMsgType>({TBrelMsgType::Information, TBrelMsgType::Error}));
    QCOMPARE(FileNames(form.ResultsModel()), QStringList({"5120.dbx"}));
    QVERIFY(!form.InSearch());

    // "At most" 0 is no bound at all.
    chkMin->setChecked(false);
    txtMax->setValue(0);
    btnSearch->click();
    QCOMPARE(form.ResultsModel()->rowCount(), 4);

    // Bounds are ignored while the group is off.
    chkMax->setChecked(false);
    chkMin->setChecked(true);
    txtMin->setValue(19);
    Child<QGroupBox>(&form, "gbFileSize")->setChecked(false);
    btnSearch->click();
    QCOMPARE(form.ResultsModel()->rowCount(), 4);
    Child<QGroupBox>(&form, "gbFileSize")->setChecked(true);
    btnSearch->click();
    QCOMPARE(FileNames(form.ResultsModel()), QStringList({"20000.dbx"}));
}

void SearchFormTest::attributeAndTimeCriteria() {
    QTemporaryDir tmp;
    WriteFile(tmp.path() + "/plain.dbx", 1);
    WriteFile(tmp.path() + "/.hidden.dbx", 1);
    WriteFile(tmp.path() + "/old.dbx", 1);
    const qint64 old = QDateTime::currentSecsSinceEpoch() - 30 * 86400;
    const timespec times[2] = {{time_t(old), 0}, {time_t(old), 0}};
    QCOMPARE(::utimensat(AT_FDCWD, QFile::encodeName(tmp.path() + "/old.dbx").constData(), times, 0), 0);

    TSearchForm form;
    BoxRecorder boxes;
    Child<QComboBox>(&form, "cmbDirectory")->setEditText(tmp.path());
    auto* btnSearch = Child<QPushButton>(&form, "btnSearch");
    auto names = [&] {
        QStringList n = FileNames(form.ResultsModel());
        n.sort();
        return n;
    };

    btnSearch->click();
    QCOMPARE(names(), QStringList({".hidden.dbx", "old.dbx", "plain.dbx"}));
    Child<QGroupBox>(&form, "gbFileAttr")->setChecked(true);  // no box ticked: hidden files drop out
    btnSearch->click();
    QCOMPARE(names(), QStringList({"old.dbx", "plain.dbx"}));
    Child<QCheckBox>(&form, "chkFileHiddenAttr")->setChecked(true);
    btnSearch->click();
    QCOMPARE(names(), QStringList({".hidden.dbx"}));
    Child<QGroupBox>(&form, "gbFileAttr")->setChecked(false);

    Child<QGroupBox>(&form, "gbFileTime")->setChecked(true);
    Child<QCheckBox>(&form, "chkFileModifiedTime")->setChecked(true);
    Child<QSpinBox>(&form, "txtFileModifiedTime")->setValue(7);
    btnSearch->click();
    QCOMPARE(names(), QStringList({".hidden.dbx", "plain.dbx"}));
    // Created in 0 days: only files created from the start of the search on.
    Child<QCheckBox>(&form, "chkFileModifiedTime")->setChecked(false);
    Child<QCheckBox>(&form, "chkFileCreatedTime")->setChecked(true);
    Child<QSpinBox>(&form, "txtFileCreatedTime")->setValue(0);
    QTest::qWait(20);
    btnSearch->click();
    QCOMPARE(names(), QStringList());
    Child<QSpinBox>(&form, "txtFileCreatedTime")->setValue(1);
    btnSearch->click();
    QCOMPARE(names().size(), 3);
}

void SearchFormTest::stopDuringSearch() {
    QTemporaryDir tmp;
    MakeTree(tmp.path(), 30);
    TSearchForm form;
    BoxRecorder boxes;
    Child<QComboBox>(&form, "cmbDirectory")->setEditText(tmp.path());
    auto* btnSearch = Child<QPushButton>(&form, "btnSearch");
    QString captionDuringSearch, lookDuringSearch;
    bool gaugeBusy = false, timerActive = false;
    AtPump(3, [&] {
        captionDuringSearch = btnSearch->text();
        lookDuringSearch = btnSearch->property("look").toString();
        gaugeBusy = Child<QProgressBar>(&form, "Gauge")->maximum() == 0;
        timerActive = Child<QTimer>(&form, "Timer")->isActive();
        QVERIFY(Child<QLabel>(&form, "labDir")->text().startsWith("Search in " + tmp.path() + "/"));
        btnSearch->click();  // Stop
    });
    btnSearch->click();

    QCOMPARE(captionDuringSearch, QString("&Stop Search"));
    QCOMPARE(lookDuringSearch, QString("stopbutton"));
    QVERIFY(gaugeBusy);
    QVERIFY(timerActive);
    QCOMPARE(boxes.texts, QStringList({"Search is cancelled by the user!"}));
    // The rows found before the stop stay.
    const int rows = form.ResultsModel()->rowCount();
    QVERIFY2(rows >= 2 && rows < 31, qPrintable(QString::number(rows)));
    QCOMPARE(Child<QLabel>(&form, "labProgress")->text(), QString("%1 file(s) found").arg(rows));
    QCOMPARE(btnSearch->text(), QString("&Start Search"));
    QCOMPARE(btnSearch->property("look").toString(), QString("startbutton"));
    QCOMPARE(Child<QProgressBar>(&form, "Gauge")->maximum(), 100);
    QVERIFY(!Child<QTimer>(&form, "Timer")->isActive());
    QVERIFY(!form.InSearch());
}

void SearchFormTest::closeDuringSearchYes() {
    QTemporaryDir tmp;
    MakeTree(tmp.path(), 30);
    TSearchForm form;
    form.show();
    BoxRecorder boxes;
    boxes.answers = {QMessageBox::Yes};
    Child<QComboBox>(&form, "cmbDirectory")->setEditText(tmp.path());
    AtPump(2, [&] { Child<QPushButton>(&form, "btnClose")->click(); });
    Child<QPushButton>(&form, "btnSearch")->click();

    // The question, and no cancellation box.
    QCOMPARE(boxes.texts, QStringList({"Cancel the current search and close the search window?"}));
    QCOMPARE(boxes.types, QList<TBrelMsgType>({TBrelMsgType::Confirmation}));
    QVERIFY(!form.isVisible());
    QVERIFY(!form.InSearch());
    QVERIFY(form.ResultsModel()->rowCount() < 31);
    QCOMPARE(form.Tag, 0);
}

void SearchFormTest::closeDuringSearchNo() {
    QTemporaryDir tmp;
    MakeTree(tmp.path(), 30);
    TSearchForm form;
    form.show();
    BoxRecorder boxes;
    boxes.answers = {QMessageBox::No};
    Child<QComboBox>(&form, "cmbDirectory")->setEditText(tmp.path());
    AtPump(2, [&] { form.close(); });  // any close request, not only the button
    Child<QPushButton>(&form, "btnSearch")->click();

    QCOMPARE(boxes.texts, QStringList({"Cancel the current search and close the search window?",
                                       "Search is completed. 31 file(s) found."}));
    QVERIFY(form.isVisible());
    QCOMPARE(form.ResultsModel()->rowCount(), 31);
}

void SearchFormTest::closeDuringModalSearchEndsTheModalLoop() {
    QTemporaryDir tmp;
    MakeTree(tmp.path(), 30);
    TSearchForm form;
    BoxRecorder boxes;
    Child<QComboBox>(&form, "cmbDirectory")->setEditText(tmp.path());
    bool searchReturned = false;
    QTimer::singleShot(0, [&] {
        // Escape is the close button: the same question.
        AtPump(2, [&] { QTest::keyClick(&form, Qt::Key_Escape); });
        Child<QPushButton>(&form, "btnSearch")->click();
        searchReturned = true;
    });
    form.Tag = 0;
    form.exec();
    QVERIFY(searchReturned);
    QCOMPARE(boxes.texts, QStringList({"Cancel the current search and close the search window?"}));
    QVERIFY(!form.isVisible());
    QVERIFY(!form.InSearch());
    QCOMPARE(form.Tag, 0);
}

void SearchFormTest::addSelected() {
    QTemporaryDir tmp;
    MakeTree(tmp.path(), 3);
    TSearchForm form;
    BoxRecorder boxes;
    QSignalSpy chosen(&form, &TSearchForm::FilesChosen);
    form.SetMultiSelect(true);
    form.show();
    Child<QComboBox>(&form, "cmbDirectory")->setEditText(tmp.path());
    Child<QPushButton>(&form, "btnSearch")->click();
    QCOMPARE(form.ResultsModel()->rowCount(), 4);

    // None selected: the error box, the window stays.
    boxes.texts.clear();
    form.Tag = 0;
    Child<QPushButton>(&form, "btnAddSelected")->click();
    QCOMPARE(boxes.texts, QStringList({"Please select the file(s) to be repaired from the search results!"}));
    QCOMPARE(boxes.types.last(), TBrelMsgType::Error);
    QCoreApplication::processEvents();
    QVERIFY(form.isVisible());
    QCOMPARE(form.Tag, 0);

    // Rows 3 and 1 selected: handed back in list order.
    auto* fl = Child<QTableView>(&form, "fl");
    fl->selectionModel()->select(form.ResultsModel()->index(3, 0),
                                 QItemSelectionModel::Select | QItemSelectionModel::Rows);
    fl->selectionModel()->select(form.ResultsModel()->index(1, 0),
                                 QItemSelectionModel::Select | QItemSelectionModel::Rows);
    Child<QPushButton>(&form, "btnAddSelected")->click();
    QCOMPARE(form.Tag, 1);
    QTRY_VERIFY(!form.isVisible());
    const QStringList expected = {form.ResultsModel()->FullPath(1), form.ResultsModel()->FullPath(3)};
    QCOMPARE(form.SelectedFiles(), expected);
    QCOMPARE(chosen.size(), 1);
    QCOMPARE(chosen.first().first().toStringList(), expected);

    // Select all and unselect all.
    form.show();
    Child<QPushButton>(&form, "btnSelectAll")->click();
    QCOMPARE(form.SelectedFiles().size(), 4);
    Child<QPushButton>(&form, "btnUnselectAll")->click();
    QVERIFY(form.SelectedFiles().isEmpty());

    // The close button leaves Tag as the opener set it.
    form.Tag = 0;
    Child<QPushButton>(&form, "btnClose")->click();
    QTRY_VERIFY(!form.isVisible());
    QCOMPARE(form.Tag, 0);
    QCOMPARE(chosen.size(), 1);
}

void SearchFormTest::refusedAddSelectedLeavesNoResult() {
    // "&Add Selected" during a search asks to cancel it; answered No, the
    // window stays and a later "&Close" must not hand the selection over.
    QTemporaryDir tmp;
    MakeTree(tmp.path(), 30);
    TSearchForm form;
    form.show();
    BoxRecorder boxes;
    boxes.answers = {QMessageBox::No};
    Child<QComboBox>(&form, "cmbDirectory")->setEditText(tmp.path());
    form.Tag = 0;
    AtPump(3, [&] {
        Child<QTableView>(&form, "fl")->selectRow(0);
        Child<QPushButton>(&form, "btnAddSelected")->click();
    });
    Child<QPushButton>(&form, "btnSearch")->click();
    QCOMPARE(boxes.texts.first(), QString("Cancel the current search and close the search window?"));
    QVERIFY(form.isVisible());
    QCOMPARE(form.Tag, 0);
    Child<QPushButton>(&form, "btnClose")->click();
    QTRY_VERIFY(!form.isVisible());
    QCOMPARE(form.Tag, 0);
}

void SearchFormTest::resultsKeptOnReopening() {
    QTemporaryDir tmp;
    MakeTree(tmp.path(), 2);
    TSearchForm form;
    BoxRecorder boxes;
    auto* cmbDirectory = Child<QComboBox>(&form, "cmbDirectory");
    cmbDirectory->setEditText(tmp.path());
    Child<QPushButton>(&form, "btnAdvOptions")->click();
    Child<QPushButton>(&form, "btnSearch")->click();
    QCOMPARE(form.ResultsModel()->rowCount(), 3);

    QTimer::singleShot(0, [&] { Child<QPushButton>(&form, "btnClose")->click(); });
    form.exec();
    QTimer::singleShot(0, [&] {
        QCOMPARE(form.ResultsModel()->rowCount(), 3);
        QCOMPARE(cmbDirectory->currentText(), tmp.path());
        QCOMPARE(Child<QWidget>(&form, "palAdvOptions")->height(), 131);
        QCOMPARE(Child<QLabel>(&form, "labProgress")->text(), QString("3 file(s) found"));
        Child<QPushButton>(&form, "btnClose")->click();
    });
    form.exec();
    QCOMPARE(form.ResultsModel()->rowCount(), 3);
}

void SearchFormTest::resultTimes() {
    const QDateTime midnight(QDate(2024, 3, 5), QTime(0, 0));
    const QString date = QLocale::system().toString(midnight.date(), QLocale::ShortFormat);
    QCOMPARE(FormatSearchResultTime(midnight), date);
    const QString withTime = FormatSearchResultTime(midnight.addSecs(3 * 3600 + 4 * 60 + 5));
    QVERIFY(withTime.startsWith(date + " "));
    // Minutes and seconds are there, the time zone is not.
    QVERIFY2(withTime.contains("04") && withTime.contains("05"), qPrintable(withTime));
    QVERIFY2(!withTime.contains(midnight.timeZoneAbbreviation()), qPrintable(withTime));
    // One millisecond past midnight is not midnight.
    QVERIFY(FormatSearchResultTime(midnight.addMSecs(1)).size() > date.size());
}

void SearchFormTest::helpOpensTheHelpFile() {
    QStringList opened;
    const TBrelShellOpenHandler previous = SetBrelShellOpenHandler([&](const QUrl& url) {
        opened << url.toLocalFile();
        return true;
    });
    TSearchForm form;
    form.show();
    form.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&form));
    Child<QPushButton>(&form, "btnHelp")->click();
    QTest::keyClick(&form, Qt::Key_F1);
    SetBrelShellOpenHandler(previous);
    QCOMPARE(opened, QStringList({TBrelMainForm::HelpFilePath(), TBrelMainForm::HelpFilePath()}));
}

void SearchFormTest::skinsTakenOnlyOnce() {
    TSearchForm form;
    form.SetSkins("QDialog { background: red; }", "", "", "QToolTip { color: blue; }");
    form.SetSkins("QDialog { background: green; }", "QPushButton { color: black; }", "", "QToolTip { color: red; }");
    const QString sheet = form.styleSheet();
    QVERIFY(sheet.contains("red;"));
    QVERIFY(!sheet.contains("green"));
    QVERIFY(sheet.contains("QPushButton { color: black; }"));
    QVERIFY(sheet.contains("QToolTip { color: blue; }"));
    QVERIFY(!sheet.contains("QToolTip { color: red; }"));
    QVERIFY(sheet.contains("stopbutton"));  // the start and stop looks stay
}

void SearchFormTest::browseSetsTheFolderText() {
    QTemporaryDir start, chosen;
    TSearchForm form;
    form.show();
    auto* cmbDirectory = Child<QComboBox>(&form, "cmbDirectory");
    cmbDirectory->setEditText(start.path());
    QString title, startDir;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        title = dialog->windowTitle();
        startDir = dialog->directory().absolutePath();
        dialog->setDirectory(chosen.path());
        dialog->selectFile(chosen.path());
        QMetaObject::invokeMethod(dialog, "accept");
    });
    Child<QPushButton>(&form, "btnSelectDir")->click();
    QCOMPARE(title, QString("Select Directory:"));
    QCOMPARE(startDir, start.path());
    QCOMPARE(cmbDirectory->currentIndex(), -1);
    QCOMPARE(cmbDirectory->currentText(), chosen.path());
    QCOMPARE(cmbDirectory->count(), 1);  // the drive entry stays in the list
}

void SearchFormTest::enterStartsTheSearch() {
    // "&Start Search" is the default button: Enter in the folder box starts it.
    QTemporaryDir tmp;
    MakeTree(tmp.path(), 1);
    TSearchForm form;
    BoxRecorder boxes;
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    auto* cmbDirectory = Child<QComboBox>(&form, "cmbDirectory");
    cmbDirectory->setFocus();
    cmbDirectory->setEditText(tmp.path());
    QTest::keyClick(cmbDirectory->lineEdit(), Qt::Key_Return);
    QCOMPARE(boxes.texts, QStringList({"Search is completed. 2 file(s) found."}));
    QCOMPARE(cmbDirectory->count(), 1);  // typed folders are not added to the list
}

QTEST_MAIN(SearchFormTest)
#include "searchform_test.moc"
