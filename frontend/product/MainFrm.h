// MainFrm: TMainForm, Vantrel's main window.
//
// Answers the framework window's virtual operations for this product: the
// output is a directory next to the source ("<source>_recovered/"), a repair
// is one call of the recovery engine (Hovar), the engine's log lines, errors
// and message boxes go to the log and the screen, its report cells are kept
// for the report window (MsgFrm), and the options are this product's.
#pragma once

#include "BrelMain.h"

#include <QStringList>

class TSearchForm;

class TMainForm : public TBrelMainForm {
    Q_OBJECT

public:
    explicit TMainForm(QWidget* Parent = nullptr);
    ~TMainForm() override;

    void HandleEngineEvent(int32_t Code, const void* Payload) override;
    QString GetDefaultOutputPath(const QString& SourceFile) override;
    int32_t RepairFile(const QString& SourceFile, const QString& OutputDir) override;
    void BeginRepairLog(const QString& SourceFile, const QString& OutputDir) override;
    void EndRepair() override;
    void EnableInputControls(bool Enabled) override;
    QString GetSuccessMessage(const QString& SourceFile, const QString& OutputDir) override;
    QDialog* CreateReportWindow(const QString& Msg) override;
    bool CanOpenOutput() override;
    void CreateSettings() override;
    void DestroySettings() override;
    void AddSettingInfoLines(QStringList& Lines) override;
    void GetRepairOptionsStruct(void* lpOptions) override;

    // The report cells received from the engine during the current repair,
    // and the number of cells per row (0 until announced).
    const QStringList& Reports() const { return FReports; }
    int32_t ColCount() const { return FColCount; }
    // The search window, created with the main window and reused for every
    // opening.
    TSearchForm* SearchForm() const { return FSearchForm; }

public slots:
    void chkUseNewDirClick();

protected:
    QStringList OpenSearchWindow(bool MultiSelect) override;
    // After the first showing: the automatic update check, when its option
    // is checked and an update server is configured.
    void StartupMessage() override;

private:
    QStringList FReports;
    int32_t FColCount = 0;
    TSearchForm* FSearchForm = nullptr;
};
