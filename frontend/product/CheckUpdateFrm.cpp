#include "CheckUpdateFrm.h"

#include "BrelMsgBox.h"
#include "BrelShell.h"
#include "UpdateDialogs.h"

#include <QCoreApplication>
#include <QLabel>
#include <QPushButton>

#include <exception>

TCheckUpdateForm::TCheckUpdateForm(QWidget* owner, const QString& baseAddress)
    : QDialog(owner, kUpdateDialogFlags),
      FWebUpdate(std::make_unique<TWebUpdate>(this, baseAddress)) {
    setObjectName(QStringLiteral("CheckUpdateForm"));
    setWindowTitle(QStringLiteral("Check for Update..."));
    setModal(true);

    labMsg = CreateUpdateMessageLabel(this, 400);
    labMsg->setText(QStringLiteral("Check for product updates. Please wait ..."));

    btnClose = new QPushButton(QStringLiteral("&Close"), this);
    btnClose->setObjectName(QStringLiteral("btnClose"));
    btnClose->setDefault(true);
    connect(btnClose, &QPushButton::clicked, this, &QDialog::reject);

    LayOutUpdateMessageDialog(this, labMsg, btnClose);

    InstallUpdateDialogHelp(this);
}

TCheckUpdateForm::~TCheckUpdateForm() = default;

void TCheckUpdateForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (FShown)
        return;
    FShown = true;
    // The check runs after the window has been drawn, from the event queue.
    QMetaObject::invokeMethod(this, &TCheckUpdateForm::RunCheck, Qt::QueuedConnection);
}

void TCheckUpdateForm::RunCheck() {
    if (!isVisible())
        return;
    QCoreApplication::processEvents();
    try {
        FWebUpdate->CheckUpdate();
    } catch (const std::exception& e) {
        // No temporary file could be made: the window says why and stays
        // open until the user closes it.
        BrelMessageBox(this, TBrelMsgType::Error, QString::fromUtf8(e.what()));
        return;
    }
    accept();
}

bool RunAutomaticUpdateCheck(QWidget* owner, bool autoUpdate, const QString& baseAddress) {
    if (!autoUpdate || UpdateInfoUrl(baseAddress).isEmpty())
        return false;
    TCheckUpdateForm form(owner, baseAddress);
    form.exec();
    return form.WebUpdate()->InstallerStarted();
}
