#include "SearchFrm.h"

#include "BrelDrives.h"
#include "BrelMain.h"
#include "BrelMsgBox.h"
#include "BrelPanel.h"
#include "BrelShell.h"
#include "BrelStyle.h"
#include "BrelUtils.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QLocale>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSpinBox>
#include <QStyle>
#include <QTableView>
#include <QTimer>
#include <QUrl>

#include <algorithm>

namespace {

// Design size of the window; the advanced-options panel adds kAdvOptionsStep
// to its height when shown.
constexpr int kFormWidth = 765;
constexpr int kFormHeight = 505;
constexpr int kFormMinWidth = 757;
constexpr int kFormMinHeight = 497;
constexpr int kAdvOptionsStep = 131;
constexpr int kAdvOptionsTop = 142;
constexpr int kTimerInterval = 60000;
constexpr qint64 kRowsFlushInterval = 100;  // ms between hand-overs of found rows to the list

// Bottom buttons at the design width: "&Add Selected" sits at 307 when the
// select buttons show and takes the place of "&Unselect All" (527) when not.
constexpr int kAddSelectedMultiX = 307;
constexpr int kSelectAllX = 417;
constexpr int kUnselectAllX = 527;
constexpr int kCloseX = 637;
constexpr int kButtonWidth = 100;
constexpr int kButtonHeight = 27;

constexpr char kFileNameFilter[] =
    "Outlook Express 5/6 dbx files (*.dbx)|*.dbx|Outlook Express 4.x mbx files (*.mbx)|*.mbx";
constexpr char kLocalHarddrives[] = "Local Harddrives (%s)";
constexpr char kFilesFound[] = "%d file(s) found";
constexpr char kSearchIn[] = "Search in";
constexpr char kSearchCompleted[] = "Search is completed. %d file(s) found.";
constexpr char kSearchCancelled[] = "Search is cancelled by the user!";
constexpr char kSizeBoundsWrong[] =
    "For file size, at least value must be less than or equal to at most value! Please correct the values!";
constexpr char kNoSelection[] = "Please select the file(s) to be repaired from the search results!";
constexpr char kCancelAndClose[] = "Cancel the current search and close the search window?";


QString Fmt(const char* pattern, const QString& arg) {
    return QString::fromUtf8(pattern).replace(QLatin1String("%s"), arg);
}

// The long time format of the locale without its time-zone name: file times
// are shown in local time and the zone would only widen the column.
QString LongTimeFormatWithoutZone(const QLocale& locale) {
    const QString format = locale.timeFormat(QLocale::LongFormat);
    QString out;
    bool quoted = false;
    for (qsizetype i = 0; i < format.size(); ++i) {
        const QChar c = format[i];
        if (c == u'\'')
            quoted = !quoted;
        if (!quoted && c == u't') {
            while (!out.isEmpty() && out.back().isSpace())
                out.chop(1);
            continue;
        }
        out += c;
    }
    return out.trimmed();
}

}  // namespace

QString FormatSearchResultTime(const QDateTime& time) {
    if (!time.isValid())
        return {};
    // Called for every visible cell at every repaint: the formats are worked
    // out once.
    static const QLocale locale = QLocale::system();
    static const QString dateFormat = locale.dateFormat(QLocale::ShortFormat);
    static const QString timeFormat = LongTimeFormatWithoutZone(locale);
    const QString date = locale.toString(time.date(), dateFormat);
    if (time.time() == QTime(0, 0))
        return date;
    return date + u' ' + locale.toString(time.time(), timeFormat);
}

// ---------------------------------------------------------------------------
// TSearchResultsModel

int TSearchResultsModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(FRows.size());
}

int TSearchResultsModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant TSearchResultsModel::data(const QModelIndex& index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const TBrelFileSearchRecord& r = FRows[size_t(index.row())];
    if (role == Qt::TextAlignmentRole)
        return index.column() == colSize ? QVariant(Qt::AlignRight | Qt::AlignVCenter)
                                         : QVariant(Qt::AlignLeft | Qt::AlignVCenter);
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole)
        return {};
    switch (index.column()) {
    case colName: return r.FileName;
    case colDirectory: return r.Directory;
    case colSize: return QString::number(r.Size);
    case colCreated: return FormatSearchResultTime(r.CreationTime);
    case colLastAccessed: return FormatSearchResultTime(r.LastAccessTime);
    case colLastModified: return FormatSearchResultTime(r.LastWriteTime);
    default: return {};
    }
}

QVariant TSearchResultsModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal)
        return {};
    if (role == Qt::TextAlignmentRole)
        return section == colSize ? QVariant(Qt::AlignRight | Qt::AlignVCenter)
                                  : QVariant(Qt::AlignLeft | Qt::AlignVCenter);
    if (role != Qt::DisplayRole)
        return {};
    switch (section) {
    case colName: return QStringLiteral("Name");
    case colDirectory: return QStringLiteral("Directory");
    case colSize: return QStringLiteral("Size(bytes)");
    case colCreated: return QStringLiteral("Created");
    case colLastAccessed: return QStringLiteral("Last Accessed");
    case colLastModified: return QStringLiteral("Last Modified");
    default: return {};
    }
}

Qt::ItemFlags TSearchResultsModel::flags(const QModelIndex& index) const {
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

void TSearchResultsModel::Clear() {
    if (FRows.empty())
        return;
    beginResetModel();
    FRows.clear();
    endResetModel();
}

void TSearchResultsModel::Append(std::vector<TBrelFileSearchRecord>&& rows) {
    if (rows.empty())
        return;
    const int first = int(FRows.size());
    beginInsertRows({}, first, first + int(rows.size()) - 1);
    FRows.insert(FRows.end(), std::make_move_iterator(rows.begin()), std::make_move_iterator(rows.end()));
    endInsertRows();
    rows.clear();
}

QString TSearchResultsModel::FullPath(int row) const {
    const TBrelFileSearchRecord& r = FRows[size_t(row)];
    QString dir = r.Directory;
    if (!dir.endsWith(u'/'))
        dir += u'/';
    return dir + r.FileName;
}

// ---------------------------------------------------------------------------
// TSearchForm

TSearchForm::TSearchForm(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("SearchForm"));
    CreateControls();
    FormCreate();
}

TSearchForm::~TSearchForm() {
    // The handlers point into this window; a search still on the stack at
    // program end must not call back into a destroyed one.
    FFileSearch.Cancel();
    FFileSearch.OnDirChange = {};
    FFileSearch.OnFound = {};
    FFileSearch.OnFinished = FFileSearch.OnCancel = FFileSearch.OnEnd = {};
}

void TSearchForm::CreateControls() {
    auto named = [](QWidget* w, const char* name) {
        w->setObjectName(QLatin1String(name));
        return w;
    };

    palHeader = new TBrelPanel(this);
    named(palHeader, "palHeader");
    palHeader->SetTransparent(true);
    palHeader->SetBevelOuter(TBrelPanel::TBevelCut::bvNone);
    imgBanner = new QLabel(palHeader);
    named(imgBanner, "imgBanner");
    imgBanner->setPixmap(style()->standardIcon(QStyle::SP_FileDialogContentsView).pixmap(32, 32));
    labBanner = new QLabel(palHeader);
    named(labBanner, "labBanner");
    QFont bannerFont = labBanner->font();
    bannerFont.setBold(true);
    labBanner->setFont(bannerFont);

    cmbFileName = new QComboBox(this);
    named(cmbFileName, "cmbFileName");
    labFileName = new QLabel(QStringLiteral("S&earch for files named:"), this);
    named(labFileName, "labFileName");
    labFileName->setBuddy(cmbFileName);

    cmbDirectory = new QComboBox(this);
    named(cmbDirectory, "cmbDirectory");
    cmbDirectory->setEditable(true);
    cmbDirectory->setInsertPolicy(QComboBox::NoInsert);
    labDirectory = new QLabel(QStringLiteral("Loo&k in:"), this);
    named(labDirectory, "labDirectory");
    labDirectory->setBuddy(cmbDirectory);
    btnSelectDir = new QPushButton(QStringLiteral("..."), this);
    named(btnSelectDir, "btnSelectDir");
    btnSelectDir->setAutoDefault(false);

    RecurseSubDirs = new QCheckBox(QStringLiteral("Search Su&bfolders"), this);
    named(RecurseSubDirs, "RecurseSubDirs");
    RecurseSubDirs->setChecked(true);

    btnAdvOptions = new QPushButton(QStringLiteral("&+"), this);
    named(btnAdvOptions, "btnAdvOptions");
    btnAdvOptions->setAutoDefault(false);
    labAdvOptions = new QLabel(QStringLiteral("Advanced O&ptions"), this);
    named(labAdvOptions, "labAdvOptions");
    labAdvOptions->setBuddy(btnAdvOptions);

    // The advanced options: three groups, each switched on by its caption's
    // check box.
    palAdvOptions = new QWidget(this);
    named(palAdvOptions, "palAdvOptions");
    auto group = [&](const char* name, const char* caption) {
        auto* g = new QGroupBox(QLatin1String(caption), palAdvOptions);
        named(g, name);
        g->setCheckable(true);
        g->setChecked(false);
        return g;
    };
    auto check = [&](QWidget* parent, const char* name, const char* caption, int x, int y) {
        auto* c = new QCheckBox(QLatin1String(caption), parent);
        named(c, name);
        c->move(x, y);
        c->adjustSize();
        return c;
    };
    auto spin = [&](QWidget* parent, const char* name, int max, int x, int y, int w, const char* unit) {
        auto* s = new QSpinBox(parent);
        named(s, name);
        s->setRange(0, max);
        s->setValue(0);
        s->setGeometry(x, y, w, 22);
        auto* u = new QLabel(QLatin1String(unit), parent);
        u->setObjectName(QLatin1String(name) + QStringLiteral("Unit"));
        u->move(x + w + 4, y + 3);
        u->adjustSize();
        return s;
    };

    gbFileSize = group("gbFileSize", "File Size");
    gbFileSize->setGeometry(8, 2, 240, 125);
    chkFileMinSize = check(gbFileSize, "chkFileMinSize", "A&t least", 12, 32);
    txtMinSize = spin(gbFileSize, "txtMinSize", 1073741824, 100, 30, 100, "KB");
    chkFileMaxSize = check(gbFileSize, "chkFileMaxSize", "At &most", 12, 72);
    txtMaxSize = spin(gbFileSize, "txtMaxSize", 1073741824, 100, 70, 100, "KB");

    gbFileAttr = group("gbFileAttr", "File Attributes");
    gbFileAttr->setGeometry(256, 2, 200, 125);
    chkFileReadOnlyAttr = check(gbFileAttr, "chkFileReadOnlyAttr", "Re&ad only", 12, 24);
    chkFileHiddenAttr = check(gbFileAttr, "chkFileHiddenAttr", "Hidde&n", 12, 48);
    chkFileSystemAttr = check(gbFileAttr, "chkFileSystemAttr", "S&ystem", 12, 72);
    chkFileArchiveAttr = check(gbFileAttr, "chkFileArchiveAttr", "Archi&ve", 12, 96);

    gbFileTime = group("gbFileTime", "File Time");
    gbFileTime->setGeometry(464, 2, 293, 125);
    chkFileCreatedTime = check(gbFileTime, "chkFileCreatedTime", "C&reated in", 12, 28);
    txtFileCreatedTime = spin(gbFileTime, "txtFileCreatedTime", 999, 150, 26, 70, "days");
    chkFileLastAccessedTime = check(gbFileTime, "chkFileLastAccessedTime", "&Last Accessed in", 12, 60);
    txtFileLastAccessedTime = spin(gbFileTime, "txtFileLastAccessedTime", 999, 150, 58, 70, "days");
    chkFileModifiedTime = check(gbFileTime, "chkFileModifiedTime", "Mo&dified in", 12, 92);
    txtFileModifiedTime = spin(gbFileTime, "txtFileModifiedTime", 999, 150, 90, 70, "days");

    // The results list.
    FResults = new TSearchResultsModel(this);
    fl = new QTableView(this);
    named(fl, "fl");
    fl->setModel(FResults);
    fl->setSelectionBehavior(QAbstractItemView::SelectRows);
    fl->setSelectionMode(QAbstractItemView::ExtendedSelection);
    fl->setEditTriggers(QAbstractItemView::NoEditTriggers);
    fl->setShowGrid(false);
    fl->setWordWrap(false);
    fl->setTabKeyNavigation(false);
    fl->verticalHeader()->hide();
    // Fixed row heights keep appending thousands of rows cheap.
    fl->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    fl->verticalHeader()->setDefaultSectionSize(fl->fontMetrics().height() + 6);
    fl->horizontalHeader()->setHighlightSections(false);
    fl->horizontalHeader()->setStretchLastSection(false);
    const int widths[TSearchResultsModel::ColumnCount] = {129, 200, 65, 112, 112, 112};
    // A column is never narrower than its heading, whatever the font.
    for (int c = 0; c < TSearchResultsModel::ColumnCount; ++c)
        fl->setColumnWidth(c, std::max(widths[c], fl->horizontalHeader()->sectionSizeHint(c)));
    labResults = new QLabel(QStringLiteral("Search Res&ults:"), this);
    named(labResults, "labResults");
    labResults->setBuddy(fl);

    // Status line.
    labProgress = new QLabel(this);
    named(labProgress, "labProgress");
    QFont bold = labProgress->font();
    bold.setBold(true);
    labProgress->setFont(bold);
    labTimeConsumed = new QLabel(QStringLiteral("Time consumed: "), this);
    named(labTimeConsumed, "labTimeConsumed");
    labConsumedTime = new QLabel(this);
    named(labConsumedTime, "labConsumedTime");
    labDir = new QLabel(this);
    named(labDir, "labDir");
    labDir->setTextFormat(Qt::PlainText);
    Gauge = new QProgressBar(this);
    named(Gauge, "Gauge");
    Gauge->setTextVisible(false);
    Gauge->setRange(0, 100);
    Gauge->setValue(0);
    Timer = new QTimer(this);
    Timer->setObjectName(QStringLiteral("Timer"));
    Timer->setInterval(kTimerInterval);

    // Buttons.
    btnSearch = new QPushButton(this);
    named(btnSearch, "btnSearch");
    btnSearch->setDefault(true);
    auto button = [&](const char* name, const char* caption) {
        auto* b = new QPushButton(QLatin1String(caption), this);
        named(b, name);
        b->setAutoDefault(false);
        return b;
    };
    btnAddSelected = button("btnAddSelected", "&Add Selected");
    btnSelectAll = button("btnSelectAll", "&Select All");
    btnUnselectAll = button("btnUnselectAll", "&Unselect All");
    btnClose = button("btnClose", "&Close");
    btnHelp = button("btnHelp", "&Help");

    actHelpContents = new QAction(QStringLiteral("Help Contents"), this);
    actHelpContents->setObjectName(QStringLiteral("actHelpContents"));
    actHelpContents->setShortcut(QKeySequence(Qt::Key_F1));
    actHelpContents->setShortcutContext(Qt::WindowShortcut);
    addAction(actHelpContents);

    connect(btnSearch, &QPushButton::clicked, this, &TSearchForm::btnSearchClick);
    connect(btnAddSelected, &QPushButton::clicked, this, &TSearchForm::btnAddSelectedClick);
    connect(btnSelectAll, &QPushButton::clicked, this, &TSearchForm::btnSelectAllClick);
    connect(btnUnselectAll, &QPushButton::clicked, this, &TSearchForm::btnUnselectAllClick);
    connect(btnClose, &QPushButton::clicked, this, &TSearchForm::btnCloseClick);
    connect(btnHelp, &QPushButton::clicked, this, &TSearchForm::btnHelpClick);
    connect(btnSelectDir, &QPushButton::clicked, this, &TSearchForm::btnSelectDirClick);
    connect(btnAdvOptions, &QPushButton::clicked, this, &TSearchForm::btnAdvOptionsClick);
    connect(actHelpContents, &QAction::triggered, this, &TSearchForm::btnHelpClick);
    connect(Timer, &QTimer::timeout, this, &TSearchForm::TimerTimer);
    for (QGroupBox* g : {gbFileSize, gbFileAttr, gbFileTime})
        connect(g, &QGroupBox::toggled, this, &TSearchForm::SetAdvOptControls);
    for (QCheckBox* c : {chkFileMinSize, chkFileMaxSize, chkFileCreatedTime, chkFileLastAccessedTime,
                         chkFileModifiedTime, chkFileReadOnlyAttr})
        connect(c, &QCheckBox::toggled, this, &TSearchForm::SetAdvOptControls);
}

void TSearchForm::FormCreate() {
    setMinimumSize(kFormMinWidth, kFormMinHeight);
    resize(kFormWidth, kFormHeight);
    labBanner->setText(QStringLiteral("Search for source DBX or MBX files to be repaired") + u' ');
    labBanner->adjustSize();

    FFileSearch.OnFound = [this](const TBrelFileSearchRecord& r) { lfFound(r); };
    FFileSearch.OnDirChange = [this](const QString& d) { lfDirChange(d); };
    FFileSearch.OnFinished = [this] { lfFinished(); };
    FFileSearch.OnCancel = [this] { lfCancel(); };
    FFileSearch.OnEnd = [this] { lfEnd(); };

    // "description|mask|description|mask": each description is an entry, its
    // mask kept beside it.
    const QStringList parts = QString::fromLatin1(kFileNameFilter).split(u'|');
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2)
        cmbFileName->addItem(parts[i], parts[i + 1]);
    cmbFileName->setCurrentIndex(0);

    // Linux has no drive letters: the local hard drives are the mount points
    // of the device-backed file systems, each ending in "/" and followed by
    // ";", built once per run like the drive list it stands for.
    FHardDrives.clear();
    for (const QString& mountPoint : LocalStorageMountPoints())
        FHardDrives += (mountPoint.endsWith(u'/') ? mountPoint : mountPoint + u'/') + u';';
    cmbDirectory->addItem(LocalHarddrivesText());
    cmbDirectory->setCurrentIndex(0);

    palAdvOptions->setEnabled(false);
    palAdvOptions->setGeometry(0, kAdvOptionsTop, width(), 0);
    SetAdvOptControls();
    SetMultiSelect(true);
    LayoutControls();

    ClearSearchResults();
    Timer->stop();
    FInSearch = false;
    FPromptOnCancel = true;
    SetSearchButtonLook(false);
    setStyleSheet(BrelButtonLooks());

    cmbDirectory->setToolTip(QStringLiteral("Select or input the folder where file is searched"));
    btnSelectDir->setToolTip(QStringLiteral("Browse and select the folder where file is searched"));
    btnAdvOptions->setToolTip(QStringLiteral("Show/Hide advanced search options"));
    gbFileSize->setToolTip(QStringLiteral("Search criteria on file size"));
    chkFileMinSize->setToolTip(QStringLiteral("If selected, file size must >= xxx KB"));
    chkFileMaxSize->setToolTip(QStringLiteral("If selected, file size must <= xxx KB"));
    gbFileAttr->setToolTip(QStringLiteral("Search criteria on file attributes"));
    chkFileReadOnlyAttr->setToolTip(QStringLiteral("If selected, file must be read-only"));
    chkFileHiddenAttr->setToolTip(QStringLiteral("If selected, only hidden file will be searched"));
    // Linux files carry no system or archive attribute: say so where the
    // user ticks them.
    chkFileSystemAttr->setToolTip(QStringLiteral(
        "If selected, only system file will be searched (Linux files have no system attribute: "
        "nothing is found)"));
    chkFileArchiveAttr->setToolTip(QStringLiteral(
        "If selected, only archive file will be searched (Linux files have no archive attribute: "
        "nothing is found)"));
    gbFileTime->setToolTip(QStringLiteral("Search criteria on file time"));
    chkFileCreatedTime->setToolTip(QStringLiteral("If selected, file must be created in specified days"));
    chkFileLastAccessedTime->setToolTip(QStringLiteral("If selected, file is last accessed in specified days"));
    chkFileModifiedTime->setToolTip(QStringLiteral("If selected, file must be modified in specified days"));
    btnAddSelected->setToolTip(QStringLiteral("Close search window and add selected found files"));
    btnSelectAll->setToolTip(QStringLiteral("Select all found files"));
    btnUnselectAll->setToolTip(QStringLiteral("Unselect all found files"));
    btnClose->setToolTip(QStringLiteral("Close search window without adding any found files"));

    setWindowTitle(QStringLiteral("     "));
}

QString TSearchForm::LocalHarddrivesText() const {
    return Fmt(kLocalHarddrives, FHardDrives);
}

void TSearchForm::LayoutControls() {
    const int w = width();
    const int h = height();
    const int dx = w - kFormWidth;

    palHeader->setGeometry(0, 0, w, 44);
    imgBanner->setGeometry(8, 6, 32, 32);
    labBanner->move(48, 14);

    // The two combo boxes start 9 pixels right of the file-name label and end
    // at x = 467.
    labFileName->adjustSize();
    labFileName->move(8, 56);
    const int comboLeft = labFileName->x() + labFileName->width() + 9;
    cmbFileName->setGeometry(comboLeft, 52, 467 - comboLeft, 24);
    labDirectory->adjustSize();
    labDirectory->move(8, 86);
    cmbDirectory->setGeometry(comboLeft, 82, 467 - comboLeft, 24);
    btnSelectDir->setGeometry(471, 82, 26, 24);
    RecurseSubDirs->adjustSize();
    RecurseSubDirs->move(comboLeft, 114);
    labAdvOptions->adjustSize();
    labAdvOptions->move(300, 116);
    btnAdvOptions->setGeometry(labAdvOptions->x() + labAdvOptions->width() + 8, 112, 24, 22);
    btnSearch->setGeometry(w - 156, 52, 148, 30);

    const int advHeight = palAdvOptions->height();
    palAdvOptions->setGeometry(0, kAdvOptionsTop, w, advHeight);
    gbFileTime->resize(std::max(200, w - 472), gbFileTime->height());

    const int resultsTop = kAdvOptionsTop + advHeight + 4;
    labResults->adjustSize();
    labResults->move(8, resultsTop);
    const int listTop = resultsTop + labResults->height() + 4;
    const int listBottom = h - 92;
    fl->setGeometry(8, listTop, w - 16, std::max(20, listBottom - listTop));

    labProgress->setGeometry(8, h - 86, 220, 20);
    labTimeConsumed->adjustSize();
    labTimeConsumed->move(236, h - 84);
    labConsumedTime->setGeometry(labTimeConsumed->x() + labTimeConsumed->width(), h - 86,
                                 std::max(50, w - 246 - (labTimeConsumed->x() + labTimeConsumed->width())), 20);
    Gauge->setGeometry(w - 238, h - 84, 230, 16);
    labDir->setGeometry(8, h - 62, w - 16, 20);

    const int buttonTop = h - 8 - kButtonHeight;
    btnHelp->setGeometry(8, buttonTop, kButtonWidth, kButtonHeight);
    btnAddSelected->setGeometry((FMultiSelect ? kAddSelectedMultiX : kUnselectAllX) + dx, buttonTop,
                                kButtonWidth, kButtonHeight);
    btnSelectAll->setGeometry(kSelectAllX + dx, buttonTop, kButtonWidth, kButtonHeight);
    btnUnselectAll->setGeometry(kUnselectAllX + dx, buttonTop, kButtonWidth, kButtonHeight);
    btnClose->setGeometry(kCloseX + dx, buttonTop, kButtonWidth, kButtonHeight);
}

void TSearchForm::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    LayoutControls();
}

void TSearchForm::SetSkins(const QString& FormStoredSkin, const QString& CtrlStoredSkin,
                           const QString& DialogStoredSkin, const QString& SkinHint) {
    bool changed = false;
    auto take = [&](QString& mine, const QString& given) {
        if (!given.isEmpty() && mine.isEmpty()) {
            mine = given;
            changed = true;
        }
    };
    take(FFormSkin, FormStoredSkin);
    take(FCtrlSkin, CtrlStoredSkin);
    take(FDialogSkin, DialogStoredSkin);
    take(FSkinHint, SkinHint);
    // The message boxes are children of this window and so take its sheet
    // too; the hint look styles QToolTip.
    if (changed)
        setStyleSheet(FFormSkin + u'\n' + FCtrlSkin + u'\n' + FDialogSkin + u'\n' + FSkinHint + u'\n' +
                      BrelButtonLooks());
}

void TSearchForm::SetMultiSelect(bool IsMultiSelect) {
    FMultiSelect = IsMultiSelect;
    fl->setSelectionMode(IsMultiSelect ? QAbstractItemView::ExtendedSelection
                                       : QAbstractItemView::SingleSelection);
    if (!IsMultiSelect) {
        // Keep at most one selected row: the first in list order.
        QModelIndexList rows = fl->selectionModel()->selectedRows();
        if (rows.size() > 1) {
            std::sort(rows.begin(), rows.end());
            fl->selectionModel()->select(rows.first(), QItemSelectionModel::ClearAndSelect |
                                                           QItemSelectionModel::Rows);
        }
    }
    btnSelectAll->setVisible(IsMultiSelect);
    btnUnselectAll->setVisible(IsMultiSelect);
    LayoutControls();
}

QStringList TSearchForm::SelectedFiles() const {
    QModelIndexList rows = fl->selectionModel()->selectedRows();
    std::sort(rows.begin(), rows.end());
    QStringList files;
    files.reserve(rows.size());
    for (const QModelIndex& index : rows)
        files.append(FResults->FullPath(index.row()));
    return files;
}

void TSearchForm::ClearSearchResults() {
    FPending.clear();
    FListedPaths.clear();
    FResults->Clear();
    FLastFlush.invalidate();
    UpdateProgressLabel();
    labDir->clear();
    labConsumedTime->setText(FormatElapsedTime(QLatin1String(kElapsedTimeLabelPattern), 0));
}

void TSearchForm::UpdateProgressLabel() {
    labProgress->setText(QString::asprintf(kFilesFound, FResults->rowCount() + int(FPending.size())));
}

void TSearchForm::FlushPendingRows() {
    FResults->Append(std::move(FPending));
    FPending.clear();
    FLastFlush.start();
}

void TSearchForm::SetAdvOptControls() {
    for (QGroupBox* g : {gbFileSize, gbFileAttr, gbFileTime}) {
        const bool on = g->isChecked();
        for (QWidget* child : g->findChildren<QWidget*>())
            child->setEnabled(on);
    }
    if (gbFileSize->isChecked()) {
        txtMinSize->setEnabled(chkFileMinSize->isChecked());
        txtMaxSize->setEnabled(chkFileMaxSize->isChecked());
    }
    if (gbFileTime->isChecked()) {
        txtFileCreatedTime->setEnabled(chkFileCreatedTime->isChecked());
        txtFileLastAccessedTime->setEnabled(chkFileLastAccessedTime->isChecked());
        txtFileModifiedTime->setEnabled(chkFileModifiedTime->isChecked());
    }
}

void TSearchForm::btnAdvOptionsClick() {
    const int screenHeight = screen() ? screen()->geometry().height() : 0;
    if (palAdvOptions->height() == 0) {
        palAdvOptions->setEnabled(true);
        palAdvOptions->resize(palAdvOptions->width(), kAdvOptionsStep);
        resize(width(), height() + kAdvOptionsStep);
        move(x(), std::max(0, y() - kAdvOptionsStep / 2));
        setMinimumHeight(minimumHeight() + kAdvOptionsStep);
        btnAdvOptions->setText(QStringLiteral("&-"));
    } else {
        palAdvOptions->setEnabled(false);
        palAdvOptions->resize(palAdvOptions->width(), 0);
        setMinimumHeight(minimumHeight() - kAdvOptionsStep);
        resize(width(), height() - kAdvOptionsStep);
        move(x(), std::min(screenHeight, y() + kAdvOptionsStep / 2));
        btnAdvOptions->setText(QStringLiteral("&+"));
    }
    LayoutControls();
}

void TSearchForm::SetSearchButtonLook(bool searching) {
    btnSearch->setText(searching ? QStringLiteral("&Stop Search") : QStringLiteral("&Start Search"));
    btnSearch->setProperty("look", searching ? QStringLiteral("stopbutton") : QStringLiteral("startbutton"));
    btnSearch->style()->unpolish(btnSearch);
    btnSearch->style()->polish(btnSearch);
}

void TSearchForm::btnSearchClick() {
    if (FInSearch) {
        // Stop: only a request; the end arrives through the facility's events.
        FPromptOnCancel = true;
        FFileSearch.Cancel();
        return;
    }

    if (cmbFileName->currentIndex() < 0)
        cmbFileName->setCurrentIndex(cmbFileName->count() - 1);
    FFileSearch.FileMasks = cmbFileName->currentData().toString();
    // The drive entry searches each drive on its own file system; a typed
    // folder is searched as it is, whatever is mounted below it.
    const bool localDrives = cmbDirectory->currentText() == LocalHarddrivesText();
    FFileSearch.Dirs = localDrives ? FHardDrives : cmbDirectory->currentText();
    FFileSearch.OneFileSystem = localDrives;
    FFileSearch.RecurseSubDirs = RecurseSubDirs->isChecked();

    FFileSearch.MinSize = 0;
    FFileSearch.MaxSize = 0;
    if (gbFileSize->isChecked()) {
        const qint64 atLeast = qint64(txtMinSize->value()) * 1024;
        const qint64 atMost = qint64(txtMaxSize->value()) * 1024;
        if (chkFileMinSize->isChecked() && chkFileMaxSize->isChecked() && atMost < atLeast) {
            BrelMessageBox(this, TBrelMsgType::Error, QLatin1String(kSizeBoundsWrong));
            return;
        }
        if (chkFileMinSize->isChecked())
            FFileSearch.MinSize = atLeast;
        if (chkFileMaxSize->isChecked())
            FFileSearch.MaxSize = atMost;
    }

    if (!gbFileAttr->isChecked()) {
        FFileSearch.Attributes = TBrelFileAttribute::AnyFile;
    } else {
        TBrelFileAttributes attrs;
        if (chkFileReadOnlyAttr->isChecked())
            attrs |= TBrelFileAttribute::ReadOnly;
        if (chkFileHiddenAttr->isChecked())
            attrs |= TBrelFileAttribute::Hidden;
        if (chkFileSystemAttr->isChecked())
            attrs |= TBrelFileAttribute::System;
        if (chkFileArchiveAttr->isChecked())
            attrs |= TBrelFileAttribute::Archive;
        FFileSearch.Attributes = attrs;
    }

    TBrelCheckDates dates;
    if (gbFileTime->isChecked()) {
        if (chkFileCreatedTime->isChecked())
            dates |= TBrelCheckDate::CreatedAfter;
        if (chkFileLastAccessedTime->isChecked())
            dates |= TBrelCheckDate::AccessedAfter;
        if (chkFileModifiedTime->isChecked())
            dates |= TBrelCheckDate::ModifiedAfter;
    }
    FFileSearch.CheckDates = dates;
    const QDateTime now = QDateTime::currentDateTime();
    FFileSearch.CreatedAfter = now.addDays(-txtFileCreatedTime->value());
    FFileSearch.AccessedAfter = now.addDays(-txtFileLastAccessedTime->value());
    FFileSearch.ModifiedAfter = now.addDays(-txtFileModifiedTime->value());

    SetSearchButtonLook(true);
    ClearSearchResults();
    FStartTime = QDateTime::currentDateTime();
    Timer->start();
    FPromptOnCancel = true;
    FInSearch = true;
    Gauge->setRange(0, 0);  // the indeterminate, animated look
    FFileSearch.Execute();
}

void TSearchForm::lfFound(const TBrelFileSearchRecord& record) {
    // Linux file names are case-sensitive: two paths that differ only in
    // letter case are two files, so the index holds the exact path.
    QString path = record.Directory;
    if (!path.endsWith(u'/'))
        path += u'/';
    path += record.FileName;
    if (!FListedPaths.contains(path)) {
        FListedPaths.insert(path);
        FPending.push_back(record);
    }
    UpdateProgressLabel();
}

void TSearchForm::lfDirChange(const QString& folder) {
    // The facility pumps events right after this. The rows found so far go
    // to the list now if it is still empty or if the last hand-over is
    // kRowsFlushInterval ago: every insertion repaints the whole list, so
    // handing rows over per folder would make a large search spend nearly all
    // its time painting. The first hits thus show at once and later ones a
    // few times a second; the end of the search hands over the rest.
    if (FResults->rowCount() == 0 || !FLastFlush.isValid() || FLastFlush.elapsed() >= kRowsFlushInterval)
        FlushPendingRows();
    labDir->setText(QLatin1String(kSearchIn) + u' ' + folder);
}

void TSearchForm::ResetSearchControls() {
    FlushPendingRows();
    SetSearchButtonLook(false);
    Timer->stop();
    labDir->clear();
    FInSearch = false;
    Gauge->setRange(0, 100);
    Gauge->setValue(0);
}

void TSearchForm::lfFinished() {
    ResetSearchControls();
    BrelMessageBox(this, TBrelMsgType::Information, QString::asprintf(kSearchCompleted, FResults->rowCount()));
}

void TSearchForm::lfCancel() {
    ResetSearchControls();
    if (FPromptOnCancel)
        BrelMessageBox(this, TBrelMsgType::Information, QLatin1String(kSearchCancelled));
}

void TSearchForm::lfEnd() {
    ResetSearchControls();
}

void TSearchForm::TimerTimer() {
    if (!FInSearch)
        return;
    const double days = double(FStartTime.msecsTo(QDateTime::currentDateTime())) / 86400000.0;
    labConsumedTime->setText(FormatElapsedTime(QLatin1String(kElapsedTimeLabelPattern), days));
}

void TSearchForm::btnAddSelectedClick() {
    if (!fl->selectionModel()->hasSelection()) {
        BrelMessageBox(this, TBrelMsgType::Error, QLatin1String(kNoSelection));
        return;
    }
    Tag = 1;
    FAddSelectedClosing = true;
    QTimer::singleShot(0, this, [this] { close(); });
}

void TSearchForm::btnCloseClick() {
    QTimer::singleShot(0, this, [this] { close(); });
}

void TSearchForm::closeEvent(QCloseEvent* event) {
    const bool addSelected = std::exchange(FAddSelectedClosing, false);
    if (FInSearch) {
        if (BrelMessageBox(this, TBrelMsgType::Confirmation, QLatin1String(kCancelAndClose),
                           QMessageBox::Yes | QMessageBox::No) != QMessageBox::Yes) {
            // The search goes on and the window stays. A refused
            // "&Add Selected" must not leave its result behind: a later
            // "&Close" would otherwise hand the selection to the opener.
            if (addSelected)
                Tag = 0;
            event->ignore();
            return;
        }
        FPromptOnCancel = false;
        FFileSearch.Cancel();
    }
    if (addSelected)
        emit FilesChosen(SelectedFiles());
    QDialog::closeEvent(event);
}

void TSearchForm::keyPressEvent(QKeyEvent* event) {
    // Escape is the "&Close" button: it goes through the same close request
    // (and its question during a search) rather than rejecting at once.
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        btnCloseClick();
        return;
    }
    QDialog::keyPressEvent(event);
}

bool TSearchForm::event(QEvent* event) {
    // Any help request of the window (the title bar's help button included)
    // opens the help file.
    if (event->type() == QEvent::EnterWhatsThisMode) {
        btnHelpClick();
        return true;
    }
    return QDialog::event(event);
}

void TSearchForm::btnSelectAllClick() {
    fl->selectAll();
    fl->setFocus();
}

void TSearchForm::btnUnselectAllClick() {
    fl->clearSelection();
}

void TSearchForm::btnSelectDirClick() {
    const QString current = cmbDirectory->currentText();
    const QString start = QFileInfo(current).isDir() ? current : QString();
    const QString chosen = QFileDialog::getExistingDirectory(this, QStringLiteral("Select Directory:"), start);
    if (chosen.isEmpty())
        return;
    cmbDirectory->setCurrentIndex(-1);
    cmbDirectory->setEditText(QDir::toNativeSeparators(chosen));
}

void TSearchForm::btnHelpClick() {
    // The same help file as the main window's.
    BrelShellOpen(QUrl::fromLocalFile(TBrelMainForm::HelpFilePath()));
}
