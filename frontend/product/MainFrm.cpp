#include "MainFrm.h"

#include "BrelMsgBox.h"
#include "BrelShell.h"
#include "BrelUtils.h"
#include "BrelWidgetUtils.h"
#include "CheckUpdateFrm.h"
#include "DragEdit.h"
#include "Hovar.h"
#include "MsgFrm.h"
#include "SearchFrm.h"
#include "Setting.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>

#include <string>

namespace {
QString PayloadText(const void* Payload) {
    return Payload ? QString::fromUtf16(static_cast<const char16_t*>(Payload)) : QString();
}
}  // namespace

TMainForm::TMainForm(QWidget* Parent) : TBrelMainForm(Parent) {
    QApplication::setApplicationName(QStringLiteral("Vantrel"));
    UpdateAboutPage();
    connect(chkUseNewDir, &QCheckBox::toggled, this, &TMainForm::chkUseNewDirClick);
    FSearchForm = new TSearchForm(this);
}

TMainForm::~TMainForm() { FormDestroy(); }

// ---------------------------------------------------------------------------
// Search window

QStringList TMainForm::OpenSearchWindow(bool MultiSelect) {
    FSearchForm->SetSkins(styleSheet(), QString(), QString(), QString());
    FSearchForm->SetMultiSelect(MultiSelect);
    FSearchForm->Tag = 0;
    FSearchForm->exec();
    if (FSearchForm->Tag == 0)
        return {};
    const QStringList chosen = FSearchForm->SelectedFiles();
    return MultiSelect ? chosen : chosen.mid(0, 1);
}

// ---------------------------------------------------------------------------
// Engine

void TMainForm::HandleEngineEvent(int32_t Code, const void* Payload) {
    switch (Code) {
    case EVENT_LOG_LINE:
        AppendLogLine(EngineLogLineText(PayloadText(Payload)));
        break;
    case EVENT_REPORT_CELL:
        FReports.append(PayloadText(Payload));
        break;
    case EVENT_ERROR:
        AppendSeparator();
        AppendLogLine(PayloadText(Payload));
        AppendSeparator();
        break;
    case EVENT_REPORT_COLUMNS:
        if (Payload)
            FColCount = *static_cast<const int32_t*>(Payload);
        break;
    case EVENT_MESSAGE_BOX: {
        // Copied first: the box runs its own event loop before it returns.
        const QString text = PayloadText(Payload);
        FlushLog();  // the log behind the box shows everything up to it
        BrelMessageBox(this, TBrelMsgType::Information, text);
        break;
    }
    default:
        break;
    }
}

int32_t TMainForm::RepairFile(const QString& SourceFile, const QString& OutputDir) {
    RepairOptions options{};
    GetRepairOptionsStruct(&options);
    TBrelMainForm* self = this;
    const std::u16string source = SourceFile.toStdU16String();
    const std::u16string output = OutputDir.toStdU16String();
    return InvokeRepairEngine(source.c_str(), &options, 0, output.c_str(), EngineCallback, &self);
}

void TMainForm::GetRepairOptionsStruct(void* lpOptions) {
    auto* options = static_cast<RepairOptions*>(lpOptions);
    options->UseNewDir = chkUseNewDir->isChecked() ? -1 : 0;
    options->MaxMsgCount = static_cast<uint16_t>(txtMaxMsgCount->value());
}

// ---------------------------------------------------------------------------
// Repair steps

QString TMainForm::GetDefaultOutputPath(const QString& SourceFile) {
    return ::GetDefaultOutputPath(SourceFile);
}

void TMainForm::BeginRepairLog(const QString& SourceFile, const QString& OutputDir) {
    TBrelMainForm::BeginRepairLog(SourceFile, OutputDir);
    FReports.clear();
    FColCount = 0;
}

void TMainForm::EndRepair() {
    FReports.clear();
    FColCount = 0;
    TBrelMainForm::EndRepair();
}

// Every control stays usable during a repair: the running repair has read
// its paths and options already.
void TMainForm::EnableInputControls(bool) {}

QString TMainForm::GetSuccessMessage(const QString& SourceFile, const QString&) {
    return ::GetSuccessMessage(SourceFile);
}

QDialog* TMainForm::CreateReportWindow(const QString& Msg) {
    return new TMsgForm(this, FColCount, &FReports, txtSrcFile->text(), Msg);
}

bool TMainForm::CanOpenOutput() { return true; }

// ---------------------------------------------------------------------------
// Settings

void TMainForm::CreateSettings() {
    FReports.clear();
    FColCount = 0;
    auto* setting = new TSetting();
    setting->LoadSetting();
    FSetting = setting;
    chkOpenFixed->setChecked(setting->OpenFixed);
    chkUseNewDir->setChecked(setting->UseNewDir);
    // The spin boxes clamp a stored value outside their range to the nearer
    // bound, and that bound is what is saved at exit.
    txtMaxMsgCount->setValue(setting->MaxMsgCount);
    txtTempDir->setText(setting->TempDir);
    txtBufSize->setValue(setting->BufSize);
    chkAutoUpdate->setChecked(setting->AutoUpdate);
    chkUseNewDirClick();
}

void TMainForm::DestroySettings() {
    FReports.clear();
    auto* setting = static_cast<TSetting*>(FSetting);
    if (!setting)
        return;
    setting->OpenFixed = chkOpenFixed->isChecked();
    setting->UseNewDir = chkUseNewDir->isChecked();
    setting->MaxMsgCount = txtMaxMsgCount->value();
    setting->TempDir = txtTempDir->text();
    setting->BufSize = txtBufSize->value();
    setting->AutoUpdate = chkAutoUpdate->isChecked();
    // A settings file that cannot be written keeps the previous settings;
    // there is nobody left to tell at exit.
    (void)setting->SaveSetting();
    FSetting = nullptr;
    delete setting;
}

void TMainForm::chkUseNewDirClick() { txtMaxMsgCount->setEnabled(chkUseNewDir->isChecked()); }

void TMainForm::AddSettingInfoLines(QStringList& Lines) {
    const QString separator = QString::fromUtf8(kRepairLogSeparator);
    Lines << QStringLiteral("Setting Information:");
    Lines << CheckBoxStateText(chkOpenFixed);
    Lines << CheckBoxStateText(chkUseNewDir);
    Lines << chkUseNewDir->text() + u' ' + QString::number(txtMaxMsgCount->value());
    Lines << labTempDir->text() + u' ' + txtTempDir->text();
    Lines << labBufSize->text() + u' ' + QString::number(txtBufSize->value());
    Lines << separator << QStringLiteral("End of Setting Information") << separator;
}

// ---------------------------------------------------------------------------
// Automatic update check

void TMainForm::StartupMessage() {
    TBrelMainForm::StartupMessage();
    const auto* setting = dynamic_cast<const TSetting*>(FSetting);
    RunAutomaticUpdateCheck(this, chkAutoUpdate->isChecked(),
                            setting ? setting->UpdateServer : QString());
}
