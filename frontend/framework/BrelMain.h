// BrelMain: TBrelMainForm, the framework's main window for single-file
// repair tools.
//
// The window owns the four pages (Repair, Batch Repair, Options, About), the
// repair log, the progress display, the elapsed-time timers and the whole
// check-and-repair sequence of the Repair page. Whatever depends on the
// product (the repair itself, the default output path, the options, the
// report window, the settings) it asks through virtual operations that a
// product window answers. It knows nothing about mail stores or about the
// engine beyond the numeric codes of the two events it dispatches itself.
//
// Life cycle: construct the product window, then call FormCreate once (it
// loads the settings and runs the command line); the product's destructor
// calls FormDestroy, which saves the settings.
#pragma once

#include <QDialog>
#include <QElapsedTimer>
#include <QStringList>
#include <QWidget>

#include <cstdint>

class QButtonGroup;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QSpinBox;
class QTimer;
class QTreeWidget;
class TBrelSetting;
class TDragEdit;
class TSaveLogDialog;
class TDragEdit;

// The event codes the framework window handles itself; every other code goes
// to HandleEngineEvent.
inline constexpr int32_t BREL_EVENT_PROGRESS = 1524;
inline constexpr int32_t BREL_EVENT_QUERY_STOP = 1575;

// The private message a window posts itself on its first showing; its
// handler runs the deferred start-up work (the automatic update check).
inline constexpr int WM_BREL_STARTUP = 1024 + 2000;

// Filter of the dialogs that choose source files.
inline constexpr const char kBrelOpenFilter[] =
    "Outlook Express files (*.dbx;*.mbx)|*.dbx;*.mbx|All files (*.*)|*.*";

class TBrelMainForm : public QWidget {
    Q_OBJECT

public:
    explicit TBrelMainForm(QWidget* Parent = nullptr);
    ~TBrelMainForm() override;

    // Loads the settings into the option controls and, when Args (the
    // program's arguments without the program name) is not empty, shows the
    // window and runs one repair. Returns true when the command line asks the
    // program to end afterwards (switch E).
    bool FormCreate(const QStringList& Args);
    // Saves the settings; runs once, from the product's destructor.
    void FormDestroy();

    // --- Virtual operations, in slot order -------------------------------
    virtual void HandleEngineEvent(int32_t Code, const void* Payload) = 0;
    virtual QString GetDefaultOutputPath(const QString& SourceFile) = 0;
    virtual int32_t RepairFile(const QString& SourceFile, const QString& OutputDir) = 0;
    virtual void BeginRepairLog(const QString& SourceFile, const QString& OutputDir);
    virtual void EndRepair();
    virtual void EnableInputControls(bool Enabled);
    virtual QString GetSuccessMessage(const QString& SourceFile, const QString& OutputDir) = 0;
    virtual void BuildResultMessage(const QString& SourceFile, const QString& OutputDir,
                                    bool& IsPlainMessage, QString& Msg, bool Stopped,
                                    bool Succeeded);
    virtual QDialog* CreateReportWindow(const QString& Msg) = 0;
    virtual bool CanOpenOutput() = 0;
    virtual void CreateSettings() = 0;
    virtual void DestroySettings() = 0;
    virtual void AddSettingInfoLines(QStringList& Lines) = 0;
    virtual int64_t GetSourceFileSize(const QString& FileName);
    virtual void MainTabChanged(int Index);
    virtual void SubTabChanged(int Index);
    virtual void BatchStarted();
    virtual void BatchFinished();
    virtual void GetRepairOptionsStruct(void* lpOptions);

    // --- Engine events ----------------------------------------------------
    // Handles one engine event: progress (gauge, label, event pump), the stop
    // query (returns IsStopRequested), everything else through
    // HandleEngineEvent. Returns true only for a stop query that asks to stop.
    // The two events that come once per byte of a store are answered inline:
    // an unchanged progress value costs a comparison and a counter.
    bool DispatchEngineEvent(int32_t Code, const void* Payload) {
        if (Code == BREL_EVENT_QUERY_STOP)
            return IsStopRequested();
        if (Code == BREL_EVENT_PROGRESS && Payload &&
            *static_cast<const uint8_t*>(Payload) == FShownProgress &&
            ++FEventsSinceClock < kEventsPerClockRead)
            return false;
        return DispatchEngineEventSlow(Code, Payload);
    }
    // Moves Gauge and Label to Value; nothing happens when the gauge already
    // shows it. Returns whether anything changed.
    bool SetProgress(int Value, QProgressBar* Gauge, QLabel* Label);
    bool IsStopRequested() const { return FIsStopping || FIsBatchStopping; }

    // --- Log ---------------------------------------------------------------
    // Appends one line (a text holding line breaks becomes several lines).
    void AppendLogLine(const QString& Line);
    void AppendSeparator();
    void ClearLog();
    // Moves the lines appended since the last pump into the log box.
    void FlushLog();
    // Every line of the repair log, in order.
    QStringList LogLines();
    void EndRepairLog();
    void BuildFullLog(QStringList& Lines);
    // Writes the log to FileName as CR LF lines, with the version, system and
    // setting block when IncludeSysInfo is set. Returns false when the file
    // cannot be written.
    bool SaveLogToFile(const QString& FileName, bool IncludeSysInfo);

    int32_t GetActiveMainTabIndex() const { return FActiveMainTabIndex; }
    int32_t GetActiveSubTabIndex() const { return FActiveSubTabIndex; }
    bool CheckSrcFileExists() const { return FCheckSrcFileExists; }
    void SetCheckSrcFileExists(bool Value) { FCheckSrcFileExists = Value; }
    bool InRepair() const { return FInRepair; }
    bool InBatchRepair() const { return FInBatchRepair; }

    // Path of the manual that help requests open: HelpFilePathFor the
    // running program.
    static QString HelpFilePath();
    // The manual of the program ProgramFile: <prefix>/share/vantrel/manual.html
    // when the program is installed in <prefix>/bin, else manual.html beside
    // the program (the build tree); the installed path when neither exists.
    static QString HelpFilePathFor(const QString& ProgramFile);

signals:
    // Emitted when the deferred start-up message arrives (after the first
    // showing); the automatic update check connects here.
    void startupMessage();

public slots:
    void MainTabChange();
    void SubTabChange();
    void btnSrcMoreClick();
    void btnSrcSearchClick();
    void txtSrcFileChange(const QString& Text);
    void txtSrcFileDropFile(QObject* Sender, const QString& AFile);
    void btnDstMoreClick();
    void btnMoreDirClick();
    void btnRepairClick();
    void btnSaveLogClick();
    void btnHelpClick();
    void FormHelp();
    void TimerTimer();

    // --- Batch repair (BrelBatch.cpp) ---------------------------------------
public:
    // Text of the status column of a batch row.
    static constexpr const char kStatusNotRepaired[] = "Not Repaired";
    static constexpr const char kStatusSuccessful[] = "Successful";
    static constexpr const char kStatusFailed[] = "Failed";
    static constexpr const char kStatusAborted[] = "Aborted";
    static constexpr const char kStatusSkipped[] = "Skipped";
    // Columns of FileList.
    enum TFileListColumn { colSourceFile = 0, colTargetFile = 1, colRepairStatus = 2 };

    // Appends a row for FileName (target: GetDefaultOutputPath, status "Not
    // Repaired") unless a row holds the same path already; then an error box
    // says so and nothing is added. The file need not exist.
    void AddFileToBatchList(const QString& FileName);
    // The log block and status of a batch file whose output directory cannot
    // be created.
    void MarkFileSkipped(int Row, const QString& SourceFile);
    // Delete removes the selected rows, Shift+Delete all rows, each only
    // while its button is enabled. Returns whether the key was one of them.
    bool FileListKeyDown(int Key, Qt::KeyboardModifiers Shift);

public slots:
    void btnAddFilesClick();
    void btnSearchFilesClick();
    void btnRemoveFilesClick();
    void btnRemoveAllClick();
    void btnRepairFilesClick();
    void BatchTimerTimer();

private:
    // Connects the batch page's controls to the handlers above.
    void ConnectBatchPage();
    // Enables the list-shrinking commands exactly while no batch runs: the
    // batch loop addresses rows by position.
    void UpdateBatchListCommands();

protected:
    // Shows the page of Index (1 Repair, 2 Batch Repair, 3 Options, 4 About).
    void ShowMainTab(int Index);
    void ShowSubTab(int Index);
    // Runs the deferred start-up work; the framework emits startupMessage.
    virtual void StartupMessage();
    // Opens the search window; returns the chosen files' full paths (at most
    // one unless MultiSelect), empty when nothing was chosen.
    virtual QStringList OpenSearchWindow(bool MultiSelect);
    // Shows the application's name and the program's version on the About
    // page and in the title bar.
    void UpdateAboutPage();
    // The "startbutton" and "stopbutton" looks of the two start buttons.
    static void SetButtonLook(QPushButton* Button, bool Stop);

    void showEvent(QShowEvent* Event) override;
    void closeEvent(QCloseEvent* Event) override;

    // The event pump of the progress event: the queue is processed on every
    // changed value and otherwise at most every ~15 ms.
    void PumpEvents(bool ValueChanged);

    // Progress events that change nothing are counted, and only every this
    // many of them is the clock read: a clock read costs more than the
    // engine's scan of one byte, and an .mbx store sends one progress event
    // per byte.
    static constexpr uint32_t kEventsPerClockRead = 4096;

    bool FInRepair = false;
    bool FIsStopping = false;
    bool FInBatchRepair = false;
    bool FIsBatchStopping = false;
    bool FCheckSrcFileExists = true;
    double FStartTime = 0;
    double FBatchStartTime = 0;
    int32_t FActiveMainTabIndex = 1;
    int32_t FActiveSubTabIndex = 1;
    TBrelSetting* FSetting = nullptr;

    // Header
    QPushButton* btnRepairTab;
    QPushButton* btnBatchRepairTab;
    QPushButton* btnOptionsTab;
    QPushButton* btnAboutTab;
    QButtonGroup* FMainTabGroup;
    // Pages
    QWidget* palHeader;
    QWidget* palRepair;
    QWidget* palBatchRepair;
    QWidget* palOptions;
    QWidget* palAbout;
    QWidget* palFooter;
    // Repair page
    QLabel* labSelSrcFile;
    TDragEdit* txtSrcFile;
    QPushButton* btnSrcMore;
    QPushButton* btnSrcSearch;
    QLabel* labSelDstFile;
    QLineEdit* txtDstFile;
    QPushButton* btnDstMore;
    QPushButton* btnRepair;
    QWidget* palProgress;
    QLabel* labProgress;
    QProgressBar* Gauge;
    QLabel* labConsumedTimePrompt;
    QLabel* labConsumedTime;
    QLabel* labRepairLogPrompt;
    QPlainTextEdit* txtRepairLog;
    QPushButton* btnSaveLog;
    // Batch Repair page
    QLabel* labFileList;
    QTreeWidget* FileList;
    QPushButton* btnAddFiles;
    QPushButton* btnSearchFiles;
    QPushButton* btnRemoveFiles;
    QPushButton* btnRemoveAll;
    QPushButton* btnRepairFiles;
    QPushButton* btnSaveBatchLog;
    QWidget* palBatchProgress;
    QLabel* labBatchProgress;
    QProgressBar* BatchGauge;
    QLabel* labBatchConsumedTimePrompt;
    QLabel* labBatchConsumedTime;
    // Options page
    QPushButton* btnOptionsSubTab;
    QPushButton* btnAdvOptionsSubTab;
    QButtonGroup* FSubTabGroup;
    QWidget* palOptionsSub;
    QWidget* palAdvOptionsSub;
    QCheckBox* chkOpenFixed;
    QCheckBox* chkUseNewDir;
    QSpinBox* txtMaxMsgCount;
    QLabel* labTempDir;
    QLineEdit* txtTempDir;
    QPushButton* btnMoreDir;
    QLabel* labBufSize;
    QSpinBox* txtBufSize;
    QLabel* labBufSizeUnit;
    QCheckBox* chkAutoUpdate;
    // About page
    QLabel* labTitle;
    QLabel* labVersion;
    QLabel* imgIcon;
    // Footer
    QPushButton* btnHelp;
    // Dialogs
    TSaveLogDialog* SaveLogDialog = nullptr;
    // Timers
    QTimer* Timer;
    QTimer* BatchTimer;

private:
    void BuildHeader();
    void BuildRepairPage();
    void BuildBatchPage();
    void BuildOptionsPage();
    void BuildAboutPage();
    void DeliverStartupMessage();
    bool DispatchEngineEventSlow(int32_t Code, const void* Payload);

    bool FCreated = false;
    bool FDestroyed = false;
    bool FShownOnce = false;
    // Log lines waiting to enter the log box: the engine can send thousands
    // of lines between two pumps, and one append of many lines is far cheaper
    // than many appends.
    QStringList FPendingLog;
    // Pump bookkeeping: events since the clock was last read, and the time of
    // the last pump.
    uint32_t FEventsSinceClock = 0;
    QElapsedTimer FLastPump;
    // The value the single-file gauge shows, as SetProgress last set it; -1
    // when unknown (then the gauge itself is asked).
    int FShownProgress = -1;
};

// Current date-time as days (whole part) and time of day (fraction), the
// form FStartTime and the elapsed-time patterns use.
double BrelNow();
