#include "BrelMain.h"

#include "BrelMsgBox.h"
#include "BrelShell.h"
#include "BrelInfo.h"
#include "BrelPanel.h"
#include "BrelSetting.h"
#include "BrelStyle.h"
#include "BrelUtils.h"
#include "DragEdit.h"
#include "logdlg.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSaveFile>
#include <QScopeGuard>
#include <QScreen>
#include <QShortcut>
#include <QSpinBox>
#include <QStyle>
#include <QTextBlock>
#include <QTimer>
#include <QTreeWidget>

namespace {

constexpr int kFormWidth = 955;
constexpr int kFormHeight = 545;
constexpr int kHeaderHeight = 56;
constexpr int kFooterHeight = 44;
constexpr int kPageHeight = kFormHeight - kHeaderHeight - kFooterHeight;
constexpr int kMargin = 16;
constexpr int kContentWidth = kFormWidth - 2 * kMargin;

// The elapsed-time timers tick once a minute, as the label shows minutes.
constexpr int kTimerInterval = 60000;

// Without a changed value, the queue is pumped when this much time has
// passed since the last pump: often enough for clicks, repaints and timers.
constexpr qint64 kPumpIntervalMs = 15;

constexpr const char* kOpenFilter = kBrelOpenFilter;
const char kLogFilter[] = "Log files (*.log)|*.log";

QString Tr(const char* Text) { return QString::fromUtf8(Text); }

// Absolute form of a path typed by the user, against the current directory;
// a trailing "/" is kept, as it marks a directory.
QString FullPath(const QString& Path) {
    if (Path.isEmpty())
        return Path;
    QString full = QDir::cleanPath(QDir::current().absoluteFilePath(Path));
    if (Path.endsWith(u'/') && !full.endsWith(u'/'))
        full += u'/';
    return full;
}

QPushButton* MakeButton(QWidget* Parent, const char* Name, const char* Caption,
                        const QRect& Geometry) {
    auto* button = new QPushButton(Tr(Caption), Parent);
    button->setObjectName(Tr(Name));
    button->setGeometry(Geometry);
    button->setFocusPolicy(Qt::StrongFocus);
    return button;
}

QLabel* MakeLabel(QWidget* Parent, const char* Name, const QString& Caption,
                  const QPoint& Pos) {
    auto* label = new QLabel(Caption, Parent);
    label->setObjectName(Tr(Name));
    label->move(Pos);
    label->adjustSize();
    return label;
}

// Pages and progress areas are flat opaque panels; the header band is a
// transparent one.
TBrelPanel* MakePanel(QWidget* Parent, const char* Name, const QRect& Geometry,
                      bool Transparent = false) {
    auto* panel = new TBrelPanel(Parent);
    panel->setObjectName(Tr(Name));
    panel->SetBevelOuter(TBrelPanel::TBevelCut::bvNone);
    panel->SetTransparent(Transparent);
    panel->setGeometry(Geometry);
    return panel;
}

QString ProgressText(int Value) { return QStringLiteral("%1% completed").arg(Value); }

}  // namespace

double BrelNow() {
    return double(QDateTime::currentMSecsSinceEpoch()) / 86400000.0;
}

// ---------------------------------------------------------------------------
// Construction

TBrelMainForm::TBrelMainForm(QWidget* Parent) : QWidget(Parent) {
    setObjectName(QStringLiteral("MainForm"));
    // The product names the application (UpdateAboutPage shows the name).
    setWindowTitle(QApplication::applicationName());
    // A fixed-size window, centred on its screen.
    setFixedSize(kFormWidth, kFormHeight);
    if (QScreen* screen = QApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());

    BuildHeader();
    palRepair = MakePanel(this, "palRepair", QRect(0, kHeaderHeight, kFormWidth, kPageHeight));
    palBatchRepair =
        MakePanel(this, "palBatchRepair", QRect(0, kHeaderHeight, kFormWidth, kPageHeight));
    palOptions = MakePanel(this, "palOptions", QRect(0, kHeaderHeight, kFormWidth, kPageHeight));
    palAbout = MakePanel(this, "palAbout",
                         QRect(0, kHeaderHeight, kFormWidth, kPageHeight + kFooterHeight));
    palFooter = MakePanel(this, "palFooter",
                          QRect(0, kFormHeight - kFooterHeight, kFormWidth, kFooterHeight));
    btnHelp = MakeButton(palFooter, "btnHelp", "&Help",
                         QRect(kFormWidth - kMargin - 100, 8, 100, 28));
    BuildRepairPage();
    BuildBatchPage();
    BuildOptionsPage();
    BuildAboutPage();
    // Controls are reached with Tab in the order they were made: the page
    // buttons, the shown page's controls, then the footer's Help.
    setTabOrder(chkAutoUpdate, btnHelp);

    // Tool tips.
    btnRepairTab->setToolTip(Tr("Repair a single DBX or MBX file"));
    btnBatchRepairTab->setToolTip(Tr("Repair a batch of DBX or MBX files"));
    btnOptionsTab->setToolTip(Tr("Set repair options"));
    btnAboutTab->setToolTip(Tr("Detailed information about the product"));
    txtSrcFile->setToolTip(Tr("Set DBX or MBX file to be repaired"));
    btnSrcMore->setToolTip(Tr("Browse and select DBX or MBX file to be repaired"));
    btnSrcSearch->setToolTip(Tr("Search DBX or MBX file to be repaired on local computer"));
    txtDstFile->setToolTip(Tr("Set output directory for recovered messages"));
    btnDstMore->setToolTip(Tr("Browse and select output directory"));
    btnAddFiles->setToolTip(Tr("Add one or multiple DBX or MBX files to list"));
    btnSearchFiles->setToolTip(Tr("Search and add one or multiple DBX or MBX files to list"));
    btnRemoveFiles->setToolTip(Tr("Remove selected files from list"));
    btnRemoveAll->setToolTip(Tr("Remove all files in list"));

    // Timers, idle until a repair starts.
    Timer = new QTimer(this);
    Timer->setObjectName(QStringLiteral("Timer"));
    Timer->setInterval(kTimerInterval);
    connect(Timer, &QTimer::timeout, this, &TBrelMainForm::TimerTimer);
    BatchTimer = new QTimer(this);
    BatchTimer->setObjectName(QStringLiteral("BatchTimer"));
    BatchTimer->setInterval(kTimerInterval);

    // Signals.
    for (QPushButton* b : {btnRepairTab, btnBatchRepairTab, btnOptionsTab, btnAboutTab})
        connect(b, &QPushButton::clicked, this, &TBrelMainForm::MainTabChange);
    for (QPushButton* b : {btnOptionsSubTab, btnAdvOptionsSubTab})
        connect(b, &QPushButton::clicked, this, &TBrelMainForm::SubTabChange);
    connect(btnSrcMore, &QPushButton::clicked, this, &TBrelMainForm::btnSrcMoreClick);
    connect(btnSrcSearch, &QPushButton::clicked, this, &TBrelMainForm::btnSrcSearchClick);
    connect(txtSrcFile, &QLineEdit::textChanged, this, &TBrelMainForm::txtSrcFileChange);
    txtSrcFile->OnDropFile = [this](TDragEdit* Sender, const QString& FileName) {
        txtSrcFileDropFile(Sender, FileName);
    };
    connect(btnDstMore, &QPushButton::clicked, this, &TBrelMainForm::btnDstMoreClick);
    connect(btnMoreDir, &QPushButton::clicked, this, &TBrelMainForm::btnMoreDirClick);
    connect(btnRepair, &QPushButton::clicked, this, &TBrelMainForm::btnRepairClick);
    connect(btnSaveLog, &QPushButton::clicked, this, &TBrelMainForm::btnSaveLogClick);
    connect(btnSaveBatchLog, &QPushButton::clicked, this, &TBrelMainForm::btnSaveLogClick);
    connect(btnHelp, &QPushButton::clicked, this, &TBrelMainForm::btnHelpClick);
    auto* help = new QShortcut(QKeySequence::HelpContents, this);
    connect(help, &QShortcut::activated, this, &TBrelMainForm::FormHelp);
    ConnectBatchPage();

    ShowSubTab(1);
    ShowMainTab(1);
}

TBrelMainForm::~TBrelMainForm() = default;

void TBrelMainForm::BuildHeader() {
    palHeader = MakePanel(this, "palHeader", QRect(0, 0, kFormWidth, kHeaderHeight), true);
    // The page buttons sit side by side on the band's lower edge, as a tab
    // bar does.
    constexpr int tabWidth = 140;
    constexpr int tabTop = 12;
    const QRect tab(kMargin, tabTop, tabWidth, kHeaderHeight - tabTop);
    btnRepairTab = MakeButton(palHeader, "btnRepairTab", "&Repair", tab);
    btnBatchRepairTab = MakeButton(palHeader, "btnBatchRepairTab", "&Batch Repair",
                                   tab.translated(tabWidth, 0));
    btnOptionsTab =
        MakeButton(palHeader, "btnOptionsTab", "&Options", tab.translated(2 * tabWidth, 0));
    btnAboutTab = MakeButton(palHeader, "btnAboutTab", "&About", tab.translated(3 * tabWidth, 0));
    FMainTabGroup = new QButtonGroup(this);
    int tag = 1;
    for (QPushButton* b : {btnRepairTab, btnBatchRepairTab, btnOptionsTab, btnAboutTab}) {
        b->setCheckable(true);
        b->setProperty("tag", tag);
        FMainTabGroup->addButton(b, tag++);
    }
}

void TBrelMainForm::BuildRepairPage() {
    QWidget* page = palRepair;
    labSelSrcFile = MakeLabel(page, "labSelSrcFile", Tr("Select &DBX or MBX file to be repaired:"),
                              QPoint(kMargin, 18));
    labSelDstFile = MakeLabel(page, "labSelDstFile", Tr("O&utput recovered messages to:"),
                              QPoint(kMargin, 52));
    // Both boxes start 7 pixels after the longer prompt.
    const int left = std::max(labSelSrcFile->x() + labSelSrcFile->width(),
                              labSelDstFile->x() + labSelDstFile->width()) + 7;
    const int boxWidth = kFormWidth - kMargin - left - 2 * 34;
    txtSrcFile = new TDragEdit(page);
    txtSrcFile->setObjectName(QStringLiteral("txtSrcFile"));
    txtSrcFile->setGeometry(left, 14, boxWidth, 24);
    labSelSrcFile->setBuddy(txtSrcFile);
    btnSrcMore = MakeButton(page, "btnSrcMore", "...", QRect(left + boxWidth + 4, 14, 30, 24));
    btnSrcSearch = MakeButton(page, "btnSrcSearch", "", QRect(left + boxWidth + 38, 14, 30, 24));
    btnSrcSearch->setIcon(style()->standardIcon(QStyle::SP_FileDialogContentsView));
    txtDstFile = new QLineEdit(page);
    txtDstFile->setObjectName(QStringLiteral("txtDstFile"));
    txtDstFile->setGeometry(left, 48, boxWidth, 24);
    labSelDstFile->setBuddy(txtDstFile);
    btnDstMore = MakeButton(page, "btnDstMore", "...", QRect(left + boxWidth + 4, 48, 30, 24));

    btnRepair = MakeButton(page, "btnRepair", "&Start Repair",
                           QRect(kFormWidth - kMargin - 140, 84, 140, 32));
    SetButtonLook(btnRepair, false);

    // The progress panel lines up with the log below it.
    palProgress = MakePanel(page, "palProgress", QRect(kMargin, 122, kContentWidth, 44));
    labProgress = MakeLabel(palProgress, "labProgress", ProgressText(0), QPoint(0, 0));
    labProgress->resize(200, labProgress->height());
    labConsumedTime = new QLabel(palProgress);
    labConsumedTime->setObjectName(QStringLiteral("labConsumedTime"));
    labConsumedTime->setGeometry(kContentWidth - 260, 0, 260, labProgress->height());
    labConsumedTime->setText(FormatElapsedTime(Tr(kElapsedTimeLabelPattern), 0));
    labConsumedTimePrompt = MakeLabel(palProgress, "labConsumedTimePrompt",
                                      Tr("Time consumed: "), QPoint(0, 0));
    labConsumedTimePrompt->move(labConsumedTime->x() - labConsumedTimePrompt->width(), 0);
    Gauge = new QProgressBar(palProgress);
    Gauge->setObjectName(QStringLiteral("Gauge"));
    Gauge->setRange(0, 100);
    Gauge->setValue(0);
    Gauge->setTextVisible(false);
    Gauge->setGeometry(0, 22, kContentWidth, 18);

    labRepairLogPrompt =
        MakeLabel(page, "labRepairLogPrompt", Tr("Repair process log:"), QPoint(kMargin, 170));
    txtRepairLog = new QPlainTextEdit(page);
    txtRepairLog->setObjectName(QStringLiteral("txtRepairLog"));
    txtRepairLog->setReadOnly(true);
    txtRepairLog->setLineWrapMode(QPlainTextEdit::NoWrap);
    txtRepairLog->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    txtRepairLog->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    txtRepairLog->setGeometry(kMargin, 190, kContentWidth, kPageHeight - 190 - 44);
    labRepairLogPrompt->setBuddy(txtRepairLog);
    btnSaveLog = MakeButton(page, "btnSaveLog", "Save &Log",
                            QRect(kFormWidth - kMargin - 120, kPageHeight - 38, 120, 30));
}

void TBrelMainForm::BuildBatchPage() {
    QWidget* page = palBatchRepair;
    constexpr int listWidth = 350 + 350 + 89 + 24;
    constexpr int buttonLeft = kMargin + listWidth + 12;
    constexpr int buttonWidth = kFormWidth - kMargin - buttonLeft;
    labFileList = MakeLabel(page, "labFileList", Tr("&List of files to be repaired:"),
                            QPoint(kMargin, 12));
    FileList = new QTreeWidget(page);
    FileList->setObjectName(QStringLiteral("FileList"));
    FileList->setGeometry(kMargin, 32, listWidth, kPageHeight - 32 - 60);
    FileList->setRootIsDecorated(false);
    FileList->setSelectionMode(QAbstractItemView::ExtendedSelection);
    FileList->setSelectionBehavior(QAbstractItemView::SelectRows);
    FileList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    FileList->setHeaderLabels({Tr("Source File Name"), Tr("Target File Name"),
                               Tr("Repair Status")});
    FileList->header()->resizeSection(0, 350);
    FileList->header()->resizeSection(1, 350);
    FileList->header()->resizeSection(2, 89);
    labFileList->setBuddy(FileList);

    int top = 32;
    auto nextButton = [&](const char* name, const char* caption) {
        QPushButton* b = MakeButton(page, name, caption, QRect(buttonLeft, top, buttonWidth, 30));
        top += 38;
        return b;
    };
    btnAddFiles = nextButton("btnAddFiles", "A&dd Files");
    btnSearchFiles = nextButton("btnSearchFiles", "S&earch Files");
    btnRemoveFiles = nextButton("btnRemoveFiles", "Re&move Files");
    btnRemoveAll = nextButton("btnRemoveAll", "Remo&ve All");
    top += 20;
    btnRepairFiles = nextButton("btnRepairFiles", "&Start Repair");
    SetButtonLook(btnRepairFiles, false);
    btnSaveBatchLog = MakeButton(page, "btnSaveBatchLog", "Save &Log",
                                 QRect(buttonLeft, kPageHeight - 60, buttonWidth, 30));

    // The batch progress panel lines up with the file list.
    palBatchProgress = MakePanel(page, "palBatchProgress",
                                 QRect(kMargin, kPageHeight - 52, listWidth, 44));
    labBatchProgress = MakeLabel(palBatchProgress, "labBatchProgress", ProgressText(0),
                                 QPoint(0, 0));
    labBatchProgress->resize(200, labBatchProgress->height());
    labBatchConsumedTime = new QLabel(palBatchProgress);
    labBatchConsumedTime->setObjectName(QStringLiteral("labBatchConsumedTime"));
    labBatchConsumedTime->setGeometry(listWidth - 260, 0, 260, labBatchProgress->height());
    labBatchConsumedTime->setText(FormatElapsedTime(Tr(kElapsedTimeLabelPattern), 0));
    labBatchConsumedTimePrompt = MakeLabel(palBatchProgress, "labBatchConsumedTimePrompt",
                                           Tr("Time consumed: "), QPoint(0, 0));
    labBatchConsumedTimePrompt->move(
        labBatchConsumedTime->x() - labBatchConsumedTimePrompt->width(), 0);
    BatchGauge = new QProgressBar(palBatchProgress);
    BatchGauge->setObjectName(QStringLiteral("BatchGauge"));
    BatchGauge->setRange(0, 100);
    BatchGauge->setValue(0);
    BatchGauge->setTextVisible(false);
    BatchGauge->setGeometry(0, 22, listWidth, 18);
}

void TBrelMainForm::BuildOptionsPage() {
    QWidget* page = palOptions;
    btnOptionsSubTab = MakeButton(page, "btnOptionsSubTab", "O&ptions",
                                  QRect(kMargin, 16, 170, 32));
    btnAdvOptionsSubTab = MakeButton(page, "btnAdvOptionsSubTab", "A&dvanced Options",
                                     QRect(kMargin, 54, 170, 32));
    FSubTabGroup = new QButtonGroup(this);
    btnOptionsSubTab->setCheckable(true);
    btnOptionsSubTab->setProperty("tag", 1);
    btnOptionsSubTab->setChecked(true);
    btnAdvOptionsSubTab->setCheckable(true);
    btnAdvOptionsSubTab->setProperty("tag", 2);
    FSubTabGroup->addButton(btnOptionsSubTab, 1);
    FSubTabGroup->addButton(btnAdvOptionsSubTab, 2);

    const QRect subRect(kMargin + 190, 16, kFormWidth - kMargin - 190 - kMargin, kPageHeight - 32);
    palOptionsSub = MakePanel(page, "palOptionsSub", subRect);
    palAdvOptionsSub = MakePanel(page, "palAdvOptionsSub", subRect);

    chkOpenFixed = new QCheckBox(
        Tr("Op&en the directory containing all the recovered messages"), palOptionsSub);
    chkOpenFixed->setObjectName(QStringLiteral("chkOpenFixed"));
    chkOpenFixed->setGeometry(8, 8, 600, 24);
    chkUseNewDir = new QCheckBox(
        Tr("&Save recovered messages into new folder when messages in current folder reaches"),
        palOptionsSub);
    chkUseNewDir->setObjectName(QStringLiteral("chkUseNewDir"));
    chkUseNewDir->setGeometry(8, 40, 600, 24);
    txtMaxMsgCount = new QSpinBox(palOptionsSub);
    txtMaxMsgCount->setObjectName(QStringLiteral("txtMaxMsgCount"));
    txtMaxMsgCount->setRange(1, 32767);
    txtMaxMsgCount->setSingleStep(1);
    txtMaxMsgCount->setValue(10000);
    txtMaxMsgCount->setGeometry(32, 70, 100, 24);

    labTempDir = MakeLabel(palAdvOptionsSub, "labTempDir", Tr("Dire&ctory for temporary files:"),
                           QPoint(8, 12));
    txtTempDir = new QLineEdit(palAdvOptionsSub);
    txtTempDir->setObjectName(QStringLiteral("txtTempDir"));
    txtTempDir->setGeometry(8, 34, 480, 24);
    labTempDir->setBuddy(txtTempDir);
    btnMoreDir = MakeButton(palAdvOptionsSub, "btnMoreDir", "...", QRect(492, 34, 30, 24));
    labBufSize = MakeLabel(palAdvOptionsSub, "labBufSize", Tr("I&nternal Processing Buffer Size:"),
                           QPoint(8, 76));
    txtBufSize = new QSpinBox(palAdvOptionsSub);
    txtBufSize->setObjectName(QStringLiteral("txtBufSize"));
    txtBufSize->setRange(1, 65536);
    txtBufSize->setSingleStep(1);
    txtBufSize->setValue(512);
    txtBufSize->setGeometry(labBufSize->x() + labBufSize->width() + 8, 72, 100, 24);
    labBufSize->setBuddy(txtBufSize);
    labBufSizeUnit = MakeLabel(palAdvOptionsSub, "labBufSizeUnit", Tr("Bytes"),
                               QPoint(txtBufSize->x() + txtBufSize->width() + 6, 76));
    chkAutoUpdate = new QCheckBox(Tr("&Auto check and apply product updates"), palAdvOptionsSub);
    chkAutoUpdate->setObjectName(QStringLiteral("chkAutoUpdate"));
    chkAutoUpdate->setGeometry(8, 112, 480, 24);
}

void TBrelMainForm::BuildAboutPage() {
    imgIcon = new QLabel(palAbout);
    imgIcon->setObjectName(QStringLiteral("imgIcon"));
    imgIcon->setGeometry(kMargin + 24, 40, 64, 64);
    const QIcon icon = QApplication::windowIcon().isNull()
                           ? style()->standardIcon(QStyle::SP_DriveHDIcon)
                           : QApplication::windowIcon();
    imgIcon->setPixmap(icon.pixmap(64, 64).scaled(64, 64, Qt::KeepAspectRatio,
                                                  Qt::SmoothTransformation));
    labTitle = MakeLabel(palAbout, "labTitle", QString(), QPoint(kMargin + 110, 44));
    QFont big = labTitle->font();
    big.setPointSize(big.pointSize() + 8);
    big.setBold(true);
    labTitle->setFont(big);
    labVersion = MakeLabel(palAbout, "labVersion", QString(), QPoint(kMargin + 110, 84));
    auto* about = new QLabel(palAbout);
    about->setObjectName(QStringLiteral("labAboutText"));
    about->setWordWrap(true);
    about->setGeometry(kMargin + 110, 116, 600, 60);
    about->setText(Tr("Salvages e-mail messages from damaged Outlook Express mail stores "
                      "(DBX files of Outlook Express 5 and 6, MBX files of Outlook Express 4) "
                      "and writes each message it can still follow as an EML file named "
                      "after its subject."));
    UpdateAboutPage();
}

void TBrelMainForm::UpdateAboutPage() {
    setWindowTitle(QApplication::applicationName());
    labTitle->setText(QApplication::applicationName());
    labTitle->adjustSize();
    labVersion->setText(GetFileVersionText(GetProgramFileName(), 2));
    labVersion->adjustSize();
}

void TBrelMainForm::SetButtonLook(QPushButton* Button, bool Stop) {
    // The application's style sheet draws the two looks (BrelStyle).
    Button->setProperty("look", Stop ? QStringLiteral("stopbutton") : QStringLiteral("startbutton"));
    BrelRepolish(Button);
}

// ---------------------------------------------------------------------------
// Creation, first showing and destruction

bool TBrelMainForm::FormCreate(const QStringList& Args) {
    if (FCreated)
        return false;
    FCreated = true;
    FInRepair = FIsStopping = FInBatchRepair = FIsBatchStopping = false;
    FCheckSrcFileExists = true;
    FActiveMainTabIndex = FActiveSubTabIndex = 1;
    CreateSettings();
    txtSrcFile->DragAccept(true);
    if (Args.isEmpty())
        return false;

    show();
    // On Linux only "-" introduces a switch: an absolute path starts with "/".
    QString source;
    for (const QString& arg : Args) {
        if (!arg.isEmpty() && !arg.startsWith(u'-')) {
            source = arg;
            break;
        }
    }
    auto hasSwitch = [&Args](QChar Letter) {
        for (const QString& arg : Args)
            if (arg.size() == 2 && arg[0] == u'-' && arg[1].toUpper() == Letter)
                return true;
        return false;
    };
    const QFileInfo info(source);
    if (source.isEmpty() || !info.exists() || info.isDir()) {
        BrelMessageBox(this, TBrelMsgType::Error, QStringLiteral("Cannot open file '%1'!").arg(source));
        return false;
    }
    txtSrcFile->setText(source);
    chkOpenFixed->setChecked(hasSwitch(u'O'));
    btnRepairClick();
    return hasSwitch(u'E');
}

void TBrelMainForm::FormDestroy() {
    if (!FCreated || FDestroyed)
        return;
    FDestroyed = true;
    DestroySettings();
}

void TBrelMainForm::showEvent(QShowEvent* Event) {
    QWidget::showEvent(Event);
    if (FShownOnce)
        return;
    FShownOnce = true;
    btnRepairTab->setFocus();
    ShowMainTab(1);
    // The deferred start-up work runs once the window is on the screen.
    QMetaObject::invokeMethod(this, &TBrelMainForm::DeliverStartupMessage, Qt::QueuedConnection);
}

void TBrelMainForm::DeliverStartupMessage() {
    // A repair started from the command line pumps the queue, so the message
    // can arrive while the engine is on the stack: the start-up work (which
    // may open windows of its own) waits until the repair is over.
    if (FInRepair || FInBatchRepair) {
        QTimer::singleShot(200, this, &TBrelMainForm::DeliverStartupMessage);
        return;
    }
    StartupMessage();
}

void TBrelMainForm::StartupMessage() { emit startupMessage(); }

void TBrelMainForm::closeEvent(QCloseEvent* Event) {
    // Closing while the engine is on the stack would destroy the window under
    // it: ask the running repair to stop and close once it has unwound.
    if (FInRepair || FInBatchRepair) {
        FIsStopping = true;
        FIsBatchStopping = true;
        Event->ignore();
        QTimer::singleShot(50, this, &QWidget::close);
        return;
    }
    QWidget::closeEvent(Event);
}

// ---------------------------------------------------------------------------
// Pages

void TBrelMainForm::MainTabChange() {
    const QVariant tag = sender() ? sender()->property("tag") : QVariant();
    ShowMainTab(tag.isValid() ? tag.toInt() : 1);
}

void TBrelMainForm::ShowMainTab(int Index) {
    FActiveMainTabIndex = Index;
    palRepair->hide();
    palBatchRepair->hide();
    palOptions->hide();
    palAbout->hide();
    btnHelp->hide();
    palFooter->hide();
    switch (Index) {
    case 1:
    case 2:
        (Index == 1 ? btnRepairTab : btnBatchRepairTab)->setChecked(true);
        (Index == 1 ? palRepair : palBatchRepair)->show();
        palFooter->show();
        btnHelp->show();
        break;
    case 3:
        btnOptionsTab->setChecked(true);
        palOptions->show();
        ShowSubTab(btnAdvOptionsSubTab->isChecked() ? 2 : 1);
        palFooter->show();
        btnHelp->show();
        break;
    case 4:
        btnAboutTab->setChecked(true);
        palAbout->show();
        break;
    default:
        break;
    }
    MainTabChanged(Index);
}

void TBrelMainForm::SubTabChange() {
    const QVariant tag = sender() ? sender()->property("tag") : QVariant();
    ShowSubTab(tag.isValid() ? tag.toInt() : 1);
}

void TBrelMainForm::ShowSubTab(int Index) {
    FActiveSubTabIndex = Index;
    palOptionsSub->setVisible(Index == 1);
    palAdvOptionsSub->setVisible(Index == 2);
    (Index == 2 ? btnAdvOptionsSubTab : btnOptionsSubTab)->setChecked(true);
    SubTabChanged(Index);
}

// ---------------------------------------------------------------------------
// Framework answers of the virtual operations

void TBrelMainForm::BeginRepairLog(const QString& SourceFile, const QString& OutputDir) {
    FShownProgress = -1;
    FInRepair = true;
    FIsStopping = false;
    for (const QString& line : BeginRepairLogLines(SourceFile, GetSourceFileSize(SourceFile), OutputDir))
        AppendLogLine(line);
    FStartTime = BrelNow();
    labConsumedTime->setText(FormatElapsedTime(Tr(kElapsedTimeLabelPattern), 0));
    Timer->start();
}

void TBrelMainForm::EndRepair() {
    Timer->stop();
    FlushLog();
    FInRepair = false;
    FIsStopping = false;
}

void TBrelMainForm::EnableInputControls(bool Enabled) {
    for (QWidget* w : std::initializer_list<QWidget*>{
             txtSrcFile, btnSrcMore, btnSrcSearch, txtDstFile, btnDstMore, btnSaveLog,
             btnAddFiles, btnSearchFiles, btnRemoveFiles, btnRemoveAll, btnSaveBatchLog})
        w->setEnabled(Enabled);
}

void TBrelMainForm::BuildResultMessage(const QString& SourceFile, const QString& OutputDir,
                                       bool& IsPlainMessage, QString& Msg, bool Stopped,
                                       bool Succeeded) {
    if (Stopped) {
        Msg = UserAbortsText();
    } else if (Succeeded) {
        Msg = GetSuccessMessage(SourceFile, OutputDir);
        IsPlainMessage = false;
    } else {
        Msg = FailToRepairText(SourceFile);
    }
}

int64_t TBrelMainForm::GetSourceFileSize(const QString& FileName) {
    return ::GetSourceFileSize(FileName);
}

void TBrelMainForm::MainTabChanged(int) {}
void TBrelMainForm::SubTabChanged(int) {}
void TBrelMainForm::BatchStarted() {}
void TBrelMainForm::BatchFinished() {}
void TBrelMainForm::GetRepairOptionsStruct(void*) {}

QStringList TBrelMainForm::OpenSearchWindow(bool) {
    BrelMessageBox(this, TBrelMsgType::Information,
                   Tr("The file search is not available in this version."));
    return {};
}

// ---------------------------------------------------------------------------
// Engine events

bool TBrelMainForm::DispatchEngineEventSlow(int32_t Code, const void* Payload) {
    switch (Code) {
    case BREL_EVENT_PROGRESS: {
        const int value = Payload ? *static_cast<const uint8_t*>(Payload) : 0;
        PumpEvents(SetProgress(value, Gauge, labProgress));
        return false;
    }
    case BREL_EVENT_QUERY_STOP:
        return IsStopRequested();
    default:
        HandleEngineEvent(Code, Payload);
        return false;
    }
}

bool TBrelMainForm::SetProgress(int Value, QProgressBar* Gauge, QLabel* Label) {
    if (Gauge == this->Gauge)
        FShownProgress = Value;
    if (Gauge->value() == Value)
        return false;
    Gauge->setValue(Value);
    Label->setText(ProgressText(Value));
    return true;
}

void TBrelMainForm::PumpEvents(bool ValueChanged) {
    if (!ValueChanged) {
        if (++FEventsSinceClock < kEventsPerClockRead)
            return;
        FEventsSinceClock = 0;
        if (FLastPump.isValid() && FLastPump.elapsed() < kPumpIntervalMs)
            return;
    }
    FEventsSinceClock = 0;
    FlushLog();
    QCoreApplication::processEvents();
    FLastPump.start();
}

// ---------------------------------------------------------------------------
// Log

void TBrelMainForm::AppendLogLine(const QString& Line) {
    if (Line.contains(u'\n') || Line.contains(u'\r')) {
        QString text = Line;
        text.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(u'\r', u'\n');
        FPendingLog.append(text.split(u'\n'));
    } else {
        FPendingLog.append(Line);
    }
}

void TBrelMainForm::AppendSeparator() { AppendLogLine(Tr(kRepairLogSeparator)); }

void TBrelMainForm::FlushLog() {
    if (FPendingLog.isEmpty())
        return;
    txtRepairLog->appendPlainText(FPendingLog.join(u'\n'));
    FPendingLog.clear();
}

void TBrelMainForm::ClearLog() {
    FPendingLog.clear();
    txtRepairLog->clear();
}

QStringList TBrelMainForm::LogLines() {
    FlushLog();
    QStringList lines;
    const QTextDocument* doc = txtRepairLog->document();
    if (doc->isEmpty())
        return lines;
    lines.reserve(doc->blockCount());
    for (QTextBlock block = doc->begin(); block.isValid(); block = block.next())
        lines.append(block.text());
    return lines;
}

void TBrelMainForm::EndRepairLog() {
    Timer->stop();
    const qint64 elapsedMs = qRound64((BrelNow() - FStartTime) * 86400000.0);
    for (const QString& line : EndRepairLogLines(elapsedMs))
        AppendLogLine(line);
    FlushLog();
}

void TBrelMainForm::TimerTimer() {
    if (FInRepair)
        labConsumedTime->setText(
            FormatElapsedTime(Tr(kElapsedTimeLabelPattern), BrelNow() - FStartTime));
}

void TBrelMainForm::BuildFullLog(QStringList& Lines) {
    const QString separator = Tr(kRepairLogSeparator);
    Lines << separator << Tr("Version, system and setting information:") << separator;
    AddSystemInfoLines(Lines);
    AddSettingInfoLines(Lines);
    Lines << QString() << QString() << separator << Tr("Log:") << separator;
    Lines << LogLines();
    Lines << separator;
}

bool TBrelMainForm::SaveLogToFile(const QString& FileName, bool IncludeSysInfo) {
    QStringList lines;
    if (IncludeSysInfo)
        BuildFullLog(lines);
    else
        lines = LogLines();
    QByteArray data;
    for (const QString& line : lines) {
        data += line.toLocal8Bit();
        data += "\r\n";
    }
    // Written to a temporary file and renamed into place: a failed save
    // never leaves half a log behind.
    QSaveFile file(FileName);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    if (file.write(data) != data.size())
        return false;
    return file.commit();
}

void TBrelMainForm::btnSaveLogClick() {
    // Made on first use (a file dialog watches the file system once it
    // exists) and kept, so the system-information choice carries over from
    // one save to the next.
    if (!SaveLogDialog) {
        SaveLogDialog = new TSaveLogDialog(this);
        SaveLogDialog->setObjectName(QStringLiteral("SaveLogDialog"));
        SaveLogDialog->setDefaultSuffix(QStringLiteral("log"));
        SaveLogDialog->SetFilter(Tr(kLogFilter));
    }
    if (!SaveLogDialog->Execute())
        return;
    const QString fileName = SaveLogDialog->FileName();
    if (!SaveLogToFile(fileName, SaveLogDialog->IncludeSysInfo()))
        BrelMessageBox(this, TBrelMsgType::Error,
                       QStringLiteral("Cannot save the log file '%1'!").arg(fileName));
}

// ---------------------------------------------------------------------------
// Source and output selection

void TBrelMainForm::btnSrcMoreClick() {
    QFileDialog dialog(this);
    dialog.setObjectName(QStringLiteral("OpenDialog"));
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    const QStringList filters = FilterToNameFilters(Tr(kOpenFilter));
    dialog.setNameFilters(filters);
    if (FSetting) {
        if (!FSetting->OpenDirectory.isEmpty())
            dialog.setDirectory(FSetting->OpenDirectory);
        const int index = FSetting->OpenFilterIndex;
        if (index >= 1 && index <= filters.size())
            dialog.selectNameFilter(filters.at(index - 1));
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    const QString file = dialog.selectedFiles().first();
    if (FSetting) {
        FSetting->OpenDirectory = QFileInfo(file).absolutePath();
        FSetting->OpenFilterIndex = int(filters.indexOf(dialog.selectedNameFilter())) + 1;
    }
    txtSrcFile->setText(file);
}

void TBrelMainForm::btnSrcSearchClick() {
    const QStringList chosen = OpenSearchWindow(false);
    if (!chosen.isEmpty())
        txtSrcFile->setText(chosen.first());
}

void TBrelMainForm::txtSrcFileChange(const QString& Text) {
    if (!Text.isEmpty())
        txtDstFile->setText(GetDefaultOutputPath(Text));
}

void TBrelMainForm::txtSrcFileDropFile(QObject*, const QString& AFile) {
    txtSrcFile->setText(AFile);
}

void TBrelMainForm::btnDstMoreClick() {
    QString dir = QFileDialog::getExistingDirectory(this, QString(), txtDstFile->text());
    if (dir.isEmpty())
        return;
    if (!dir.endsWith(u'/'))
        dir += u'/';
    txtDstFile->setText(dir);
}

void TBrelMainForm::btnMoreDirClick() {
    const QString dir = QFileDialog::getExistingDirectory(
        this, Tr("Select directory for temporary files:"), txtTempDir->text(),
        QFileDialog::ShowDirsOnly);
    if (!dir.isEmpty())
        txtTempDir->setText(dir);
}

// ---------------------------------------------------------------------------
// Single-file repair

void TBrelMainForm::btnRepairClick() {
    if (FInRepair) {
        // The running repair sees this at the engine's next stop query.
        FIsStopping = true;
        return;
    }
    const QString source = txtSrcFile->text();
    const QString output = txtDstFile->text();
    if (source.trimmed().isEmpty()) {
        BrelMessageBox(this, TBrelMsgType::Information,
                       Tr("Please select or input the file to be repaired!"));
        return;
    }
    if (FCheckSrcFileExists) {
        const QFileInfo info(source);
        if (!info.exists() || info.isDir()) {
            BrelMessageBox(this, TBrelMsgType::Information,
                           QStringLiteral("'%1' does not exist! Please select an existing file!")
                               .arg(FileNamePart(source)));
            return;
        }
    }
    if (output.trimmed().isEmpty()) {
        BrelMessageBox(this, TBrelMsgType::Information, Tr("Please input the output directory!"));
        return;
    }

    bool isPlainMessage = true;
    QString msg;
    btnRepair->setText(Tr("&Stop Repair"));
    SetButtonLook(btnRepair, true);
    btnRepairFiles->setEnabled(false);
    ClearLog();
    txtRepairLog->repaint();
    EnableInputControls(false);

    const QString fullSource = FullPath(source);
    const QString fullOutput = FullPath(output);
    BeginRepairLog(fullSource, fullOutput);
    // However the repair ends, the window returns to idle.
    auto cleanup = qScopeGuard([this] {
        btnRepair->setText(Tr("&Start Repair"));
        SetButtonLook(btnRepair, false);
        btnRepairFiles->setEnabled(true);
        EnableInputControls(true);
        EndRepair();
    });

    if (!QDir().mkpath(fullOutput)) {
        FlushLog();
        BrelMessageBox(this, TBrelMsgType::Error,
                       QStringLiteral("Cannot create the directory '%1'!").arg(output));
        AppendLogLine(AbortRepairingText(FileNamePart(source)));
        return;
    }

    const bool succeeded = RepairFile(fullSource, fullOutput) != 0;
    EndRepairLog();
    const bool stopped = FIsStopping || FIsBatchStopping;
    BuildResultMessage(source, output, isPlainMessage, msg, stopped, succeeded);
    if (!msg.trimmed().isEmpty()) {
        for (const QString& line : ResultMessageLogLines(msg, isPlainMessage))
            AppendLogLine(line);
        FlushLog();
        if (isPlainMessage) {
            BrelMessageBox(this, TBrelMsgType::Information, msg);
        } else {
            QDialog* report = CreateReportWindow(msg);
            report->exec();
            delete report;
        }
    }
    if (succeeded && !stopped && CanOpenOutput() && chkOpenFixed->isChecked()) {
        if (!BrelShellOpen(QUrl::fromLocalFile(fullOutput)))
            BrelMessageBox(this, TBrelMsgType::Error,
                           QStringLiteral("Cannot open directory '%1'!").arg(output));
    }
}

// ---------------------------------------------------------------------------
// Help

QString TBrelMainForm::HelpFilePath() { return HelpFilePathFor(GetProgramFileName()); }

QString TBrelMainForm::HelpFilePathFor(const QString& ProgramFile) {
    const QString dir = QFileInfo(ProgramFile).absolutePath();
    // Installed under <prefix>/share/vantrel; in the build tree beside the
    // program.
    const QStringList candidates = {
        QDir::cleanPath(dir + QStringLiteral("/../share/vantrel/manual.html")),
        dir + QStringLiteral("/manual.html"),
    };
    for (const QString& candidate : candidates)
        if (QFileInfo::exists(candidate))
            return candidate;
    return candidates.first();
}

void TBrelMainForm::btnHelpClick() { FormHelp(); }

void TBrelMainForm::FormHelp() { BrelShellOpen(QUrl::fromLocalFile(HelpFilePath())); }
