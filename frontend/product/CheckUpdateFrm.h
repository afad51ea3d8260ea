// CheckUpdateFrm: the small window that says "Check for product updates.
// Please wait ..." while TWebUpdate runs the whole update check, and closes
// itself when the check is over.
//
// The main window runs it once after it is first shown:
//     RunAutomaticUpdateCheck(this, autoUpdateChecked, updateServerAddress);
#pragma once

#include "WebUpdate.h"

#include <QDialog>
#include <memory>

class QLabel;
class QPushButton;

class TCheckUpdateForm : public QDialog {
    Q_OBJECT
public:
    // BaseAddress is the update server's base address ("https://host[:port]").
    TCheckUpdateForm(QWidget* owner, const QString& baseAddress);
    ~TCheckUpdateForm() override;

    TWebUpdate* WebUpdate() const { return FWebUpdate.get(); }

    QLabel* labMsg;
    QPushButton* btnClose;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void RunCheck();

    std::unique_ptr<TWebUpdate> FWebUpdate;
    bool FShown = false;
};

// The automatic check of the program's start: when autoUpdate is on and a
// server address is configured, shows a TCheckUpdateForm owned by owner
// modally and frees it. Returns true when an installer was started (the
// program has then been asked to end).
bool RunAutomaticUpdateCheck(QWidget* owner, bool autoUpdate, const QString& baseAddress);
