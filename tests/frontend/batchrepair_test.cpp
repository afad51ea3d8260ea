// The Batch Repair page against the real engine: generated stores repaired
// as a list, a file whose output directory cannot be made, a stop in the
// middle of the second file, a file the engine fails, the list protected
// while a batch runs, and the two ways of adding files (file dialog and
// search window) refusing names already listed.
#include "BrelMsgBox.h"
#include "BrelSetting.h"
#include "BrelShell.h"
#include "BrelUtils.h"
#include "MainFrm.h"
#include "NoUpdateCheck.h"
#include "SearchFrm.h"
#include "Setting.h"
#include "storegen/storegen.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <functional>
#include <vector>

namespace {

struct TBox {
    TBrelMsgType Kind;
    QString Text;
};

template <typename T>
T* Child(QObject* Parent, const char* Name) {
    T* child = Parent->findChild<T*>(QLatin1String(Name));
    if (!child)
        qFatal("no control %s", Name);
    return child;
}

int EmlCount(const QString& Dir) {
    int count = 0;
    QDirIterator it(Dir, {QStringLiteral("*.eml")}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        ++count;
    }
    return count;
}

const QString kSeparator = QString::fromLatin1(kRepairLogSeparator);

// The product window with a look inside each engine call: OnRepair runs
// before the engine with the call's number (1 = first file repaired), and
// the batch gauge is noted at every call.
class TBatchForm : public TMainForm {
public:
    std::function<void(int)> OnRepair;
    QList<int> GaugeAtRepair;
    QStringList Repaired;

    int32_t RepairFile(const QString& SourceFile, const QString& OutputDir) override {
        Repaired << SourceFile;
        GaugeAtRepair << BatchGauge->value();
        if (OnRepair)
            OnRepair(int(Repaired.size()));
        return TMainForm::RepairFile(SourceFile, OutputDir);
    }

    TBrelSetting* Setting() const { return FSetting; }
};

}  // namespace

class BatchRepairTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir FDir;
    std::vector<TBox> FBoxes;

    QString WriteStore(const QString& Name, storegen::StoreKind Kind, uint32_t Messages,
                       uint64_t Seed, storegen::Manifest* Manifest = nullptr,
                       uint64_t TargetSize = 0) {
        storegen::Options options;
        options.kind = Kind;
        options.seed = Seed;
        options.messageCount = Messages;
        options.targetSize = TargetSize;
        const QString path = FDir.filePath(Name);
        QDir().mkpath(QFileInfo(path).absolutePath());
        const storegen::Manifest manifest = storegen::GenerateToFile(options, path.toStdString());
        if (Manifest)
            *Manifest = manifest;
        return path;
    }

    static QStringList Column(TMainForm& Form, int Col) {
        auto* list = Child<QTreeWidget>(&Form, "FileList");
        QStringList texts;
        for (int i = 0; i < list->topLevelItemCount(); ++i)
            texts << list->topLevelItem(i)->text(Col);
        return texts;
    }

    QStringList BoxTexts() const {
        QStringList texts;
        for (const TBox& box : FBoxes)
            texts << box.Text;
        return texts;
    }

    // The last lines every batch log ends with.
    static void CheckBatchTrailer(const QStringList& Log, int Succeeded) {
        QVERIFY(Log.size() > 6);
        const qsizetype n = Log.size();
        QCOMPARE(Log.at(n - 1), QStringLiteral("%1 file(s) repaired successfully.").arg(Succeeded));
        QCOMPARE(Log.at(n - 2), kSeparator);
        QCOMPARE(Log.at(n - 3), QStringLiteral("Batch repair process completes."));
        QCOMPARE(Log.at(n - 4), kSeparator);
        QVERIFY2(Log.at(n - 5).startsWith(QStringLiteral("Batch repair consumed time: 0 day(s) 0 hour(s) ")),
                 qPrintable(Log.at(n - 5)));
        QCOMPARE(Log.at(n - 6), kSeparator);
    }

    static void CheckIdle(TMainForm& Form) {
        QVERIFY(!Form.InBatchRepair());
        QVERIFY(!Form.InRepair());
        auto* start = Child<QPushButton>(&Form, "btnRepairFiles");
        QCOMPARE(start->text(), QStringLiteral("&Start Repair"));
        QCOMPARE(start->property("look").toString(), QStringLiteral("startbutton"));
        QVERIFY(Child<QPushButton>(&Form, "btnRepair")->isEnabled());
        QVERIFY(Child<QPushButton>(&Form, "btnRemoveFiles")->isEnabled());
        QVERIFY(Child<QPushButton>(&Form, "btnRemoveAll")->isEnabled());
        QVERIFY(!Child<QTimer>(&Form, "BatchTimer")->isActive());
    }

private slots:
    void initTestCase() {
        QVERIFY(FDir.isValid());
        SetBrelMsgPresenter([this](QWidget*, TBrelMsgType Kind, const QString& Text,
                                   QMessageBox::StandardButtons) {
            FBoxes.push_back({Kind, Text});
            return QMessageBox::Ok;
        });
        // Nothing in a batch opens a folder; a test would notice if it did.
        SetBrelShellOpenHandler([](const QUrl& Url) {
            qFatal("unexpected open of %s", qPrintable(Url.toString()));
            return false;
        });
    }

    void init() {
        FBoxes.clear();
        QFile::remove(GetSettingsFileName(GetSettingsKeyName()));
        QVERIFY(TurnOffUpdateServer());
    }

    // Three files, the second one's output directory blocked by a regular
    // file of that name: it is skipped, the others are repaired, and the
    // gauge stays where the first file left it while the second is skipped.
    void skipsAFileWhoseTargetCannotBeCreated() {
        storegen::Manifest first, third;
        const QString a = WriteStore(QStringLiteral("skip/Inbox.dbx"), storegen::StoreKind::Dbx, 6, 11, &first);
        const QString b = WriteStore(QStringLiteral("skip/Sent.dbx"), storegen::StoreKind::Dbx, 3, 12);
        const QString c = WriteStore(QStringLiteral("skip/Old.mbx"), storegen::StoreKind::Mbx, 5, 13, &third);
        {
            QFile blocker(FDir.filePath(QStringLiteral("skip/Sent_recovered")));
            QVERIFY(blocker.open(QIODevice::WriteOnly));
        }

        TBatchForm form;
        form.FormCreate({});
        Child<QCheckBox>(&form, "chkOpenFixed")->setChecked(true);
        for (const QString& f : {a, b, c})
            form.AddFileToBatchList(f);
        QCOMPARE(Column(form, 1), QStringList({GetDefaultOutputPath(a), GetDefaultOutputPath(b),
                                               GetDefaultOutputPath(c)}));
        auto* gauge = Child<QProgressBar>(&form, "BatchGauge");
        QList<int> gaugeSteps;
        connect(gauge, &QProgressBar::valueChanged, this, [&](int v) { gaugeSteps << v; });
        form.OnRepair = [&](int) {
            QCOMPARE(Child<QPushButton>(&form, "btnRepairFiles")->text(), QStringLiteral("&Stop Repair"));
            QVERIFY(!Child<QPushButton>(&form, "btnRepair")->isEnabled());
            QVERIFY(Child<QTimer>(&form, "BatchTimer")->isActive());
        };
        Child<QPushButton>(&form, "btnRepairFiles")->click();

        QCOMPARE(Column(form, 2), QStringList({"Successful", "Skipped", "Successful"}));
        QCOMPARE(form.Repaired, QStringList({a, c}));
        QCOMPARE(form.GaugeAtRepair, QList<int>({0, 33}));
        QCOMPARE(gaugeSteps, QList<int>({33, 100}));
        QCOMPARE(Child<QLabel>(&form, "labBatchProgress")->text(), QStringLiteral("100% completed"));
        QCOMPARE(EmlCount(GetDefaultOutputPath(a)), int(first.recoveries.size()));
        QCOMPARE(EmlCount(GetDefaultOutputPath(c)), int(third.recoveries.size()));
        QCOMPARE(BoxTexts(), QStringList{"2 file(s) repaired successfully."});
        QCOMPARE(FBoxes[0].Kind, TBrelMsgType::Information);
        CheckIdle(form);

        const QStringList log = form.LogLines();
        QCOMPARE(log.mid(0, 6), QStringList({"Start batch repair process ...", kSeparator,
                                             "Total file(s) to be repaired: 3.", kSeparator, "",
                                             "Start repair process ..."}));
        QCOMPARE(log.at(7), QStringLiteral("File to be repaired: '%1'; File size: %2 bytes")
                                .arg(a, FormatNumberN(qint64(first.fileSize))));
        QCOMPARE(log.at(8), QStringLiteral("Output recovered messages to: '%1'").arg(GetDefaultOutputPath(a)));
        // The first file's block ends with its result text, a separator and
        // an empty line; the skip block follows, then the third file's header.
        const qsizetype skip = log.indexOf(QStringLiteral("Skip repairing file 'Sent.dbx'."));
        QVERIFY(skip > 0);
        const QStringList success = ResultMessageLogLines(GetSuccessMessage(a));
        QVERIFY(!success.isEmpty());
        QCOMPARE(log.mid(skip - 5 - success.size(), success.size() + 9),
                 QStringList() << "Repair process completes." << kSeparator << success << kSeparator
                               << "" << kSeparator << "Skip repairing file 'Sent.dbx'." << kSeparator
                               << "" << "Start repair process ...");
        QCOMPARE(log.count(QStringLiteral("Repair process completes.")), 2);
        CheckBatchTrailer(log, 2);
        QCOMPARE(log.at(log.size() - 7), QString());
        QCOMPARE(log.at(log.size() - 8), kSeparator);
    }

    // Stop clicked while the engine works on the second of four files: that
    // file is aborted, the loop ends, the rest keep "Not Repaired", and the
    // trailer and the count still come.
    void stopDuringTheSecondOfFour() {
        storegen::Manifest big;
        const QString a = WriteStore(QStringLiteral("stop/A.dbx"), storegen::StoreKind::Dbx, 4, 21);
        const QString b = WriteStore(QStringLiteral("stop/Big.mbx"), storegen::StoreKind::Mbx, 400, 22,
                                     &big, 24u << 20);
        const QString c = WriteStore(QStringLiteral("stop/C.dbx"), storegen::StoreKind::Dbx, 4, 23);
        const QString d = WriteStore(QStringLiteral("stop/D.dbx"), storegen::StoreKind::Dbx, 4, 24);

        TBatchForm form;
        form.FormCreate({});
        form.show();
        for (const QString& f : {a, b, c, d})
            form.AddFileToBatchList(f);
        auto* start = Child<QPushButton>(&form, "btnRepairFiles");
        form.OnRepair = [&](int Call) {
            // Clicked from inside the engine's progress pumping.
            if (Call == 2)
                QTimer::singleShot(0, start, [start] { start->click(); });
        };
        start->click();

        QCOMPARE(form.Repaired, QStringList({a, b}));
        QCOMPARE(Column(form, 2), QStringList({"Successful", "Aborted", "Not Repaired", "Not Repaired"}));
        QVERIFY(EmlCount(GetDefaultOutputPath(b)) < int(big.recoveries.size()));
        QVERIFY(!QFileInfo::exists(GetDefaultOutputPath(c)));
        QCOMPARE(Child<QProgressBar>(&form, "BatchGauge")->value(), 100);
        QCOMPARE(BoxTexts(), QStringList{"1 file(s) repaired successfully."});
        CheckIdle(form);

        const QStringList log = form.LogLines();
        QCOMPARE(log.count(QStringLiteral("Start repair process ...")), 2);
        QCOMPARE(log.count(QStringLiteral("User aborts the repair process.")), 1);
        const qsizetype abort = log.indexOf(QStringLiteral("User aborts the repair process."));
        QCOMPARE(log.mid(abort - 2, 5), QStringList({"Repair process completes.", kSeparator,
                                                     "User aborts the repair process.", kSeparator, ""}));
        CheckBatchTrailer(log, 1);
        QCOMPARE(log.size() - 7, abort + 2);
    }

    // A file in which the engine finds nothing, and an empty list.
    void failingFileAndEmptyList() {
        TBatchForm form;
        form.FormCreate({});
        Child<QPushButton>(&form, "btnRepairFiles")->click();
        QCOMPARE(BoxTexts(), QStringList{"Please add files to the list first!"});
        QVERIFY(form.LogLines().isEmpty());
        FBoxes.clear();

        const QString zeros = FDir.filePath(QStringLiteral("fail/Zeros.dbx"));
        QDir().mkpath(QFileInfo(zeros).absolutePath());
        {
            QFile f(zeros);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(QByteArray(64 * 1024, '\0'));
        }
        form.AddFileToBatchList(zeros);
        Child<QPushButton>(&form, "btnRepairFiles")->click();

        QCOMPARE(Column(form, 2), QStringList{"Failed"});
        QCOMPARE(BoxTexts(), QStringList{"0 file(s) repaired successfully."});
        const QStringList log = form.LogLines();
        const QString fail = QStringLiteral("Fail to repair file '%1'!").arg(zeros);
        QVERIFY(log.contains(fail));
        QCOMPARE(log.at(log.size() - 9), fail);
        CheckBatchTrailer(log, 0);
        CheckIdle(form);

        // The next batch starts from "Not Repaired" again, with a fresh log.
        QString statusAtStart;
        form.OnRepair = [&](int) { statusAtStart = Column(form, 2).at(0); };
        Child<QPushButton>(&form, "btnRepairFiles")->click();
        QCOMPARE(statusAtStart, QStringLiteral("Not Repaired"));
        QCOMPARE(form.LogLines().count(QStringLiteral("Start batch repair process ...")), 1);
    }

    // While a batch runs no row can go: both remove buttons are disabled and
    // the Delete keys do nothing; a row can still be added, is not repaired
    // in this batch, and counts in the percentage.
    void listProtectedDuringBatch() {
        const QString a = WriteStore(QStringLiteral("keep/A.dbx"), storegen::StoreKind::Dbx, 3, 31);
        const QString b = WriteStore(QStringLiteral("keep/B.mbx"), storegen::StoreKind::Mbx, 3, 32);
        const QString late = FDir.filePath(QStringLiteral("keep/Late.dbx"));

        TBatchForm form;
        form.FormCreate({});
        form.show();
        auto* list = Child<QTreeWidget>(&form, "FileList");
        auto* removeFiles = Child<QPushButton>(&form, "btnRemoveFiles");
        auto* removeAll = Child<QPushButton>(&form, "btnRemoveAll");
        form.AddFileToBatchList(a);
        form.AddFileToBatchList(b);
        bool checked = false;
        form.OnRepair = [&](int Call) {
            if (Call != 1)
                return;
            QVERIFY(!removeFiles->isEnabled());
            QVERIFY(!removeAll->isEnabled());
            QVERIFY(Child<QPushButton>(&form, "btnAddFiles")->isEnabled());
            QVERIFY(Child<QPushButton>(&form, "btnSearchFiles")->isEnabled());
            list->selectAll();
            QTest::keyClick(list, Qt::Key_Delete, Qt::ShiftModifier);
            QTest::keyClick(list, Qt::Key_Delete);
            removeAll->click();
            removeFiles->click();
            QCOMPARE(list->topLevelItemCount(), 2);
            form.AddFileToBatchList(late);
            QCOMPARE(list->topLevelItemCount(), 3);
            checked = true;
        };
        QList<int> gaugeSteps;
        connect(Child<QProgressBar>(&form, "BatchGauge"), &QProgressBar::valueChanged, this,
                [&](int v) { gaugeSteps << v; });
        Child<QPushButton>(&form, "btnRepairFiles")->click();

        QVERIFY(checked);
        QCOMPARE(form.Repaired, QStringList({a, b}));
        QCOMPARE(Column(form, 2), QStringList({"Successful", "Successful", "Not Repaired"}));
        QCOMPARE(gaugeSteps, QList<int>({33, 66, 100}));
        QVERIFY(form.LogLines().contains(QStringLiteral("Total file(s) to be repaired: 2.")));
        CheckIdle(form);

        // Between batches the keys work again, and the remaining rows keep
        // their statuses: Delete takes the selected rows, Shift+Delete all.
        list->clearSelection();
        list->topLevelItem(0)->setSelected(true);
        list->topLevelItem(2)->setSelected(true);
        QTest::keyClick(list, Qt::Key_Delete);
        QCOMPARE(Column(form, 0), QStringList{b});
        QCOMPARE(Column(form, 2), QStringList{"Successful"});
        form.AddFileToBatchList(a);
        QTest::keyClick(list, Qt::Key_Delete, Qt::ShiftModifier);
        QCOMPARE(list->topLevelItemCount(), 0);
        QVERIFY(FBoxes.size() == 1);
    }

    // Names already listed are refused one box each; the other chosen files
    // are added in the dialog's order. The dialog remembers its filter but
    // not its folder. Names differing only in case are different files here.
    void addFilesRefusesDuplicatesOnceEach() {
        const QString dir = FDir.filePath(QStringLiteral("add"));
        QDir().mkpath(dir);
        for (const char* name : {"a.dbx", "b.dbx", "c.dbx", "A.DBX"}) {
            QFile f(dir + u'/' + QLatin1String(name));
            QVERIFY(f.open(QIODevice::WriteOnly));
        }
        TBatchForm form;
        form.FormCreate({});
        form.Setting()->OpenDirectory = FDir.path();
        form.Setting()->OpenFilterIndex = 1;
        form.AddFileToBatchList(dir + QStringLiteral("/a.dbx"));
        form.AddFileToBatchList(dir + QStringLiteral("/b.dbx"));

        QString startFolder;
        QString startFilter;
        QTimer::singleShot(0, this, [&] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            QCOMPARE(dialog->fileMode(), QFileDialog::ExistingFiles);
            startFolder = dialog->directory().absolutePath();
            startFilter = dialog->selectedNameFilter();
            dialog->setDirectory(dir);
            dialog->selectNameFilter(dialog->nameFilters().at(1));
            Child<QLineEdit>(dialog, "fileNameEdit")
                ->setText(QStringLiteral("\"b.dbx\" \"c.dbx\" \"a.dbx\" \"A.DBX\""));
            static_cast<QDialog*>(dialog)->accept();
        });
        Child<QPushButton>(&form, "btnAddFiles")->click();

        QCOMPARE(BoxTexts(), QStringList({"File already exists in the list!",
                                          "File already exists in the list!"}));
        QCOMPARE(FBoxes[0].Kind, TBrelMsgType::Error);
        QCOMPARE(Column(form, 0), QStringList({dir + "/a.dbx", dir + "/b.dbx", dir + "/c.dbx",
                                               dir + "/A.DBX"}));
        QCOMPARE(Column(form, 2), QStringList(4, QStringLiteral("Not Repaired")));
        QVERIFY(startFolder != FDir.path());
        QVERIFY(startFilter.startsWith(QStringLiteral("Outlook Express files")));
        QCOMPARE(form.Setting()->OpenFilterIndex, 2);
        QCOMPARE(form.Setting()->OpenDirectory, FDir.path());
    }

    // The search window in multi mode: every selected row, in list order;
    // a row already listed gets its box and the rest are added.
    void searchAddsSelectedRowsInOrder() {
        const QString tree = FDir.filePath(QStringLiteral("search"));
        for (const char* name : {"x/Inbox.dbx", "y/Outbox.dbx", "z/Sent.dbx"}) {
            const QString path = tree + u'/' + QLatin1String(name);
            QDir().mkpath(QFileInfo(path).absolutePath());
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
        }
        TBatchForm form;
        form.FormCreate({});
        form.AddFileToBatchList(tree + QStringLiteral("/y/Outbox.dbx"));
        TSearchForm* search = form.SearchForm();
        bool multi = false;
        QStringList found;
        QTimer::singleShot(0, this, [&] {
            multi = Child<QPushButton>(search, "btnSelectAll")->isVisible();
            Child<QComboBox>(search, "cmbDirectory")->setEditText(tree);
            Child<QPushButton>(search, "btnSearch")->click();
            Child<QPushButton>(search, "btnSelectAll")->click();
            found = search->SelectedFiles();
            Child<QPushButton>(search, "btnAddSelected")->click();
        });
        Child<QPushButton>(&form, "btnSearchFiles")->click();

        QVERIFY(multi);
        QCOMPARE(found.size(), 3);
        QStringList expected{tree + QStringLiteral("/y/Outbox.dbx")};
        for (const QString& f : found)
            if (f != expected.first())
                expected << f;
        QCOMPARE(Column(form, 0), expected);
        QCOMPARE(BoxTexts(), QStringList({"Search is completed. 3 file(s) found.",
                                          "File already exists in the list!"}));
    }
};

int main(int argc, char** argv) {
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    QApplication app(argc, argv);
    BatchRepairTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "batchrepair_test.moc"
