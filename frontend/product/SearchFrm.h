// SearchFrm: the search window, TSearchForm, which finds candidate store files
// on this computer and hands the chosen ones back to the window that opened it.
//
// One window is created at start-up and reused for every opening, so the
// criteria and the last results stay between openings. Openers follow this
// order: SetSkins, SetMultiSelect, Tag = 0, exec(); afterwards, when Tag is not
// 0, they take SelectedFiles() (single mode: its first entry; multi mode: each
// one, in list order).
#pragma once

#include "BrelFileSearch.h"

#include <QAbstractTableModel>
#include <QDateTime>
#include <QDialog>
#include <QElapsedTimer>
#include <QHash>
#include <QSet>
#include <vector>

class QAction;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QSpinBox;
class QTableView;
class QTimer;
class QToolButton;
class QWidget;
class TBrelPanel;

// Date and time of a file as the results list shows them: the system's short
// date and long time format (without a time-zone name), the time left out when
// it is exactly midnight.
[[nodiscard]] QString FormatSearchResultTime(const QDateTime& time);

// The rows of the results list: one found file each.
class TSearchResultsModel : public QAbstractTableModel {
    Q_OBJECT

public:
    enum Column { colName, colDirectory, colSize, colCreated, colLastAccessed, colLastModified, ColumnCount };

    using QAbstractTableModel::QAbstractTableModel;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    void Clear();
    // Appends the rows at the end of the list in one step.
    void Append(std::vector<TBrelFileSearchRecord>&& rows);
    [[nodiscard]] const TBrelFileSearchRecord& Row(int row) const { return FRows[size_t(row)]; }
    // The row's folder with a trailing "/" ensured, followed by its name.
    [[nodiscard]] QString FullPath(int row) const;

private:
    std::vector<TBrelFileSearchRecord> FRows;
};

class TSearchForm : public QDialog {
    Q_OBJECT

public:
    explicit TSearchForm(QWidget* parent = nullptr);
    ~TSearchForm() override;

    // Takes the opener's look for the window, its controls, its message boxes
    // and its hints (style sheets); each one only if given and only if the
    // window has none yet.
    void SetSkins(const QString& FormStoredSkin, const QString& CtrlStoredSkin,
                  const QString& DialogStoredSkin, const QString& SkinHint);
    // True: several rows may be selected, "&Select All" and "&Unselect All"
    // show. False: one row, both hidden, "&Add Selected" takes their place.
    void SetMultiSelect(bool IsMultiSelect);

    // 1 after "&Add Selected" closed the window with a selection. The opener
    // sets it to 0 before each opening; no close request changes it.
    int Tag = 0;

    // Full paths of the selected rows, in list order.
    [[nodiscard]] QStringList SelectedFiles() const;
    [[nodiscard]] bool InSearch() const { return FInSearch; }
    // Mount points of the local drives, each ending in "/" and followed by ";".
    [[nodiscard]] const QString& HardDrives() const { return FHardDrives; }
    [[nodiscard]] TSearchResultsModel* ResultsModel() const { return FResults; }

signals:
    // Sent when "&Add Selected" closes the window, with SelectedFiles().
    void FilesChosen(const QStringList& files);

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool event(QEvent* event) override;

private:
    void FormCreate();
    void CreateControls();
    void LayoutControls();
    void ClearSearchResults();
    void SetAdvOptControls();
    void ResetSearchControls();
    void FlushPendingRows();
    void UpdateProgressLabel();
    void SetSearchButtonLook(bool searching);

    void btnSearchClick();
    void btnAddSelectedClick();
    void btnCloseClick();
    void btnSelectAllClick();
    void btnUnselectAllClick();
    void btnSelectDirClick();
    void btnAdvOptionsClick();
    void btnHelpClick();
    void TimerTimer();
    void lfFound(const TBrelFileSearchRecord& record);
    void lfDirChange(const QString& folder);
    void lfFinished();
    void lfCancel();
    void lfEnd();

    QString LocalHarddrivesText() const;

    // Window state.
    QString FHardDrives;
    bool FInSearch = false;
    bool FPromptOnCancel = true;
    QDateTime FStartTime;
    bool FMultiSelect = true;
    bool FAddSelectedClosing = false;  // the pending close comes from "&Add Selected"
    QString FFormSkin, FCtrlSkin, FDialogSkin, FSkinHint;

    TBrelFileSearch FFileSearch;
    TSearchResultsModel* FResults = nullptr;
    // Found rows not yet in the model: they are handed over at folder
    // changes a few times a second, so a search with many hits does not
    // repaint the list view per file or per folder.
    std::vector<TBrelFileSearchRecord> FPending;
    QElapsedTimer FLastFlush;
    // Full paths of every row listed or pending: a file reached twice is
    // listed once.
    QSet<QString> FListedPaths;

    // Controls, named as in the window's design.
    TBrelPanel* palHeader = nullptr;
    QLabel* imgBanner = nullptr;
    QLabel* labBanner = nullptr;
    QLabel* labFileName = nullptr;
    QComboBox* cmbFileName = nullptr;
    QLabel* labDirectory = nullptr;
    QComboBox* cmbDirectory = nullptr;
    QPushButton* btnSelectDir = nullptr;
    QCheckBox* RecurseSubDirs = nullptr;
    QLabel* labAdvOptions = nullptr;
    QPushButton* btnAdvOptions = nullptr;
    QWidget* palAdvOptions = nullptr;
    QGroupBox* gbFileSize = nullptr;
    QCheckBox* chkFileMinSize = nullptr;
    QSpinBox* txtMinSize = nullptr;
    QCheckBox* chkFileMaxSize = nullptr;
    QSpinBox* txtMaxSize = nullptr;
    QGroupBox* gbFileAttr = nullptr;
    QCheckBox* chkFileReadOnlyAttr = nullptr;
    QCheckBox* chkFileHiddenAttr = nullptr;
    QCheckBox* chkFileSystemAttr = nullptr;
    QCheckBox* chkFileArchiveAttr = nullptr;
    QGroupBox* gbFileTime = nullptr;
    QCheckBox* chkFileCreatedTime = nullptr;
    QSpinBox* txtFileCreatedTime = nullptr;
    QCheckBox* chkFileLastAccessedTime = nullptr;
    QSpinBox* txtFileLastAccessedTime = nullptr;
    QCheckBox* chkFileModifiedTime = nullptr;
    QSpinBox* txtFileModifiedTime = nullptr;
    QLabel* labResults = nullptr;
    QTableView* fl = nullptr;
    QLabel* labProgress = nullptr;
    QLabel* labTimeConsumed = nullptr;
    QLabel* labConsumedTime = nullptr;
    QLabel* labDir = nullptr;
    QProgressBar* Gauge = nullptr;
    QTimer* Timer = nullptr;
    QPushButton* btnSearch = nullptr;
    QPushButton* btnAddSelected = nullptr;
    QPushButton* btnSelectAll = nullptr;
    QPushButton* btnUnselectAll = nullptr;
    QPushButton* btnClose = nullptr;
    QPushButton* btnHelp = nullptr;
    QAction* actHelpContents = nullptr;
};
