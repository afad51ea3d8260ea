// logdlg: TSaveLogDialog, the save dialog of the repair log with the extra
// check box "Include S&ystem Information" below the dialog's own controls.
//
// The dialog is Qt's own (not the desktop's native one) so it can hold the
// box. The box is checked when the object is created and keeps its state
// from one Execute to the next, so within one run the user's last choice
// stands; it is not stored in the settings.
#pragma once

#include <QFileDialog>

class QCheckBox;

class TSaveLogDialog : public QFileDialog {
    Q_OBJECT
    Q_PROPERTY(bool IncludeSysInfo READ IncludeSysInfo WRITE SetIncludeSysInfo)

public:
    explicit TSaveLogDialog(QWidget* owner = nullptr);
    ~TSaveLogDialog() override;

    // Shows the dialog modally; true when the user confirmed a file name,
    // which FileName() then returns.
    bool Execute();
    QString FileName() const;

    bool IncludeSysInfo() const;
    void SetIncludeSysInfo(bool value);

    // Sets the file types from a "Description|mask;mask|..." filter.
    void SetFilter(const QString& filter);

protected:
    void showEvent(QShowEvent* event) override;

public slots:
    void done(int result) override;

private:
    QWidget* FPanel = nullptr;         // "InfoPanel"
    QCheckBox* FSysInfoCheck = nullptr;  // "SystemInfoCheckBox"
};
