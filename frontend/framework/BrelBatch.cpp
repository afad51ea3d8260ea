// The Batch Repair page of TBrelMainForm: the list of files, its editing
// commands and the batch run, which repairs each listed file into its own
// output directory through the same steps as a single-file repair (log
// header, RepairFile, log trailer, result text) but without a box, a report
// window or an opened folder per file.
#include "BrelMain.h"

#include "BrelMsgBox.h"
#include "BrelSetting.h"
#include "BrelUtils.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScopeGuard>
#include <QTimer>
#include <QTreeWidget>

namespace {

QString Tr(const char* Text) { return QString::fromUtf8(Text); }

// Routes the list's key presses to FileListKeyDown.
class TFileListKeyFilter : public QObject {
public:
    TFileListKeyFilter(TBrelMainForm* Form, QObject* Parent) : QObject(Parent), FForm(Form) {}

protected:
    bool eventFilter(QObject* Watched, QEvent* Event) override {
        if (Event->type() == QEvent::KeyPress) {
            const auto* key = static_cast<QKeyEvent*>(Event);
            if (FForm->FileListKeyDown(key->key(), key->modifiers()))
                return true;
        }
        return QObject::eventFilter(Watched, Event);
    }

private:
    TBrelMainForm* FForm;
};

}  // namespace

void TBrelMainForm::ConnectBatchPage() {
    connect(btnAddFiles, &QPushButton::clicked, this, &TBrelMainForm::btnAddFilesClick);
    connect(btnSearchFiles, &QPushButton::clicked, this, &TBrelMainForm::btnSearchFilesClick);
    connect(btnRemoveFiles, &QPushButton::clicked, this, &TBrelMainForm::btnRemoveFilesClick);
    connect(btnRemoveAll, &QPushButton::clicked, this, &TBrelMainForm::btnRemoveAllClick);
    connect(btnRepairFiles, &QPushButton::clicked, this, &TBrelMainForm::btnRepairFilesClick);
    connect(BatchTimer, &QTimer::timeout, this, &TBrelMainForm::BatchTimerTimer);
    FileList->installEventFilter(new TFileListKeyFilter(this, FileList));
}

void TBrelMainForm::UpdateBatchListCommands() {
    btnRemoveFiles->setEnabled(!FInBatchRepair);
    btnRemoveAll->setEnabled(!FInBatchRepair);
}

// ---------------------------------------------------------------------------
// List editing

void TBrelMainForm::AddFileToBatchList(const QString& FileName) {
    // Paths are compared exactly: on this system two names that differ only
    // in case are two different files, and both may need repairing.
    for (int i = 0; i < FileList->topLevelItemCount(); ++i) {
        if (FileList->topLevelItem(i)->text(colSourceFile) == FileName) {
            BrelMessageBox(this, TBrelMsgType::Error, Tr("File already exists in the list!"));
            return;
        }
    }
    auto* item = new QTreeWidgetItem(
        QStringList{FileName, GetDefaultOutputPath(FileName), Tr(kStatusNotRepaired)});
    item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
    FileList->addTopLevelItem(item);
}

void TBrelMainForm::btnAddFilesClick() {
    QFileDialog dialog(this);
    dialog.setObjectName(QStringLiteral("OpenDialog"));
    dialog.setFileMode(QFileDialog::ExistingFiles);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    const QStringList filters = FilterToNameFilters(Tr(kBrelOpenFilter));
    dialog.setNameFilters(filters);
    // The filter is remembered; the folder is neither taken from nor stored
    // into the settings by this dialog.
    if (FSetting) {
        const int index = FSetting->OpenFilterIndex;
        if (index >= 1 && index <= filters.size())
            dialog.selectNameFilter(filters.at(index - 1));
    }
    if (dialog.exec() != QDialog::Accepted)
        return;
    if (FSetting) {
        const qsizetype index = filters.indexOf(dialog.selectedNameFilter());
        if (index >= 0)
            FSetting->OpenFilterIndex = int(index) + 1;
    }
    const QStringList files = dialog.selectedFiles();
    for (const QString& file : files)
        AddFileToBatchList(file);
}

void TBrelMainForm::btnSearchFilesClick() {
    const QStringList chosen = OpenSearchWindow(true);
    for (const QString& file : chosen)
        AddFileToBatchList(file);
}

void TBrelMainForm::btnRemoveFilesClick() {
    // From the last row to the first, so the positions still to visit stay put.
    for (int i = FileList->topLevelItemCount() - 1; i >= 0; --i) {
        QTreeWidgetItem* item = FileList->topLevelItem(i);
        if (item->isSelected())
            delete FileList->takeTopLevelItem(i);
    }
}

void TBrelMainForm::btnRemoveAllClick() { FileList->clear(); }

bool TBrelMainForm::FileListKeyDown(int Key, Qt::KeyboardModifiers Shift) {
    if (Key != Qt::Key_Delete)
        return false;
    if (Shift & Qt::ShiftModifier) {
        if (btnRemoveAll->isEnabled())
            btnRemoveAllClick();
    } else if (btnRemoveFiles->isEnabled()) {
        btnRemoveFilesClick();
    }
    return true;
}

// ---------------------------------------------------------------------------
// The batch run

void TBrelMainForm::MarkFileSkipped(int Row, const QString& SourceFile) {
    for (const QString& line : SkipFileLogLines(FileNamePart(SourceFile)))
        AppendLogLine(line);
    if (QTreeWidgetItem* item = FileList->topLevelItem(Row))
        item->setText(colRepairStatus, Tr(kStatusSkipped));
}

void TBrelMainForm::BatchTimerTimer() {
    if (FInBatchRepair)
        labBatchConsumedTime->setText(
            FormatElapsedTime(Tr(kElapsedTimeLabelPattern), BrelNow() - FBatchStartTime));
}

void TBrelMainForm::btnRepairFilesClick() {
    if (FInBatchRepair) {
        // The running file ends at the engine's next stop query, the loop
        // before the next file.
        FIsBatchStopping = true;
        return;
    }
    if (FileList->topLevelItemCount() == 0) {
        BrelMessageBox(this, TBrelMsgType::Information, Tr("Please add files to the list first!"));
        return;
    }

    FInBatchRepair = true;
    FIsBatchStopping = false;
    btnRepairFiles->setText(Tr("&Stop Repair"));
    SetButtonLook(btnRepairFiles, true);
    btnRepair->setEnabled(false);
    ClearLog();
    txtRepairLog->repaint();
    EnableInputControls(false);
    // Adding stays possible during a batch; removing does not.
    UpdateBatchListCommands();

    FBatchStartTime = BrelNow();
    BatchTimer->start();
    BatchGauge->setValue(0);
    labBatchProgress->setText(QStringLiteral("%1% completed").arg(0));
    labBatchConsumedTime->setText(FormatElapsedTime(Tr(kElapsedTimeLabelPattern), 0));

    for (int i = 0; i < FileList->topLevelItemCount(); ++i)
        FileList->topLevelItem(i)->setText(colRepairStatus, Tr(kStatusNotRepaired));
    int succeededCount = 0;
    BatchStarted();

    // Rows added from here on are not repaired in this batch.
    const int fileCount = FileList->topLevelItemCount();
    for (const QString& line : BeginBatchRepairLogLines(fileCount))
        AppendLogLine(line);

    {
        // However the loop ends, even by a failure, the window returns to idle
        // and the log gets the batch trailer.
        auto cleanup = qScopeGuard([this] {
            FInBatchRepair = false;
            FIsBatchStopping = false;
            btnRepairFiles->setText(Tr("&Start Repair"));
            SetButtonLook(btnRepairFiles, false);
            btnRepair->setEnabled(true);
            EnableInputControls(true);
            UpdateBatchListCommands();
            BatchTimer->stop();
            const qint64 elapsedMs = qRound64((BrelNow() - FBatchStartTime) * 86400000.0);
            for (const QString& line : EndBatchRepairLogLines(elapsedMs))
                AppendLogLine(line);
            FlushLog();
            BatchFinished();
        });

        for (int i = 0; i < fileCount; ++i) {
            if (FIsBatchStopping)
                break;
            QTreeWidgetItem* item = FileList->topLevelItem(i);
            const QString source = item->text(colSourceFile);
            const QString target = item->text(colTargetFile);

            if (!QDir().mkpath(target)) {
                MarkFileSkipped(i, source);
                continue;
            }

            BeginRepairLog(source, target);
            const bool succeeded = RepairFile(source, target) != 0;
            EndRepairLog();
            const bool stopped = FIsStopping || FIsBatchStopping;
            bool isPlainMessage = true;
            QString msg;
            BuildResultMessage(source, target, isPlainMessage, msg, stopped, succeeded);
            for (const QString& line : ResultMessageLogLines(msg, isPlainMessage))
                AppendLogLine(line);
            AppendSeparator();
            AppendLogLine(QString());
            EndRepair();

            // The row is looked up again: a handler run by the engine's
            // pumping may have added rows (never removed any).
            item = FileList->topLevelItem(i);
            if (succeeded) {
                item->setText(colRepairStatus, Tr(kStatusSuccessful));
                ++succeededCount;
            } else {
                item->setText(colRepairStatus, Tr(stopped ? kStatusAborted : kStatusFailed));
            }
            if (const int rows = FileList->topLevelItemCount(); rows > 0)
                SetProgress((i + 1) * 100 / rows, BatchGauge, labBatchProgress);
            PumpEvents(true);
        }
        SetProgress(100, BatchGauge, labBatchProgress);
    }

    const QString count = BatchSuccessCountText(succeededCount);
    AppendLogLine(count);
    FlushLog();
    BrelMessageBox(this, TBrelMsgType::Information, count);
}
