#include "DownloadFrm.h"

#include "BrelMsgBox.h"
#include "BrelShell.h"
#include "BrelUtils.h"
#include "UpdateDialogs.h"

#include <QCloseEvent>
#include <QFile>
#include <QLabel>
#include <QPushButton>

bool TDownloadCallback::OnProgress(qint64 progress, qint64 /*total*/) {
    return FDownloadForm->UpdateProgress(progress);
}

TDownloadForm::TDownloadForm(QWidget* owner, const QUrl& url, const QString& fileName)
    : QDialog(owner, kUpdateDialogFlags),
      FURL(url),
      FFileName(fileName),
      FDownloadCallback(this),
      FDownload(new TUrlDownload(this)) {
    setObjectName(QStringLiteral("DownloadForm"));
    setWindowTitle(QStringLiteral("Download File..."));
    setModal(true);

    labMsg = CreateUpdateMessageLabel(this, 420);

    btnAbort = new QPushButton(QStringLiteral("&Abort"), this);
    btnAbort->setObjectName(QStringLiteral("btnAbort"));
    btnAbort->setDefault(true);
    connect(btnAbort, &QPushButton::clicked, this, &TDownloadForm::btnAbortClick);

    LayOutUpdateMessageDialog(this, labMsg, btnAbort);

    InstallUpdateDialogHelp(this);
    connect(FDownload, &TUrlDownload::Finished, this, &TDownloadForm::DownloadFinished);
    UpdateProgress(0);
}

TDownloadForm::~TDownloadForm() = default;

bool TDownloadForm::UpdateProgress(qint64 progress) {
    // The address comes from the server: it is shown as text, not markup.
    labMsg->setText(QStringLiteral("Download file from %1 ...<BR><BR><B>%2 bytes downloaded</B>")
                        .arg(FURL.toString().toHtmlEscaped(), FormatNumberN(progress)));
    return !FAbort;
}

void TDownloadForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (FShown)
        return;
    FShown = true;
    QMetaObject::invokeMethod(this, &TDownloadForm::StartDownload, Qt::QueuedConnection);
}

void TDownloadForm::StartDownload() {
    FDownload->Start(FURL, FFileName, TUrlDownload::TTargetFile::CreateNew, -1,
                     [this](qint64 received, qint64 total) {
                         return FDownloadCallback.OnProgress(received, total);
                     });
}

void TDownloadForm::DownloadFinished(bool ok) {
    FFinished = true;
    FFinishedOk = ok;
    // While the abort question is open the window stays; its answer decides.
    if (FAsking)
        return;
    FIsSuccess = ok && !FAbort;
    accept();
}

void TDownloadForm::btnAbortClick() {
    if (FAsking || FFinished)
        return;
    FAsking = true;
    const bool abort =
        BrelMessageBox(this, TBrelMsgType::Information,
                       QStringLiteral("Would you like to abort the download process?"),
                       QMessageBox::Yes | QMessageBox::No) ==
        QMessageBox::Yes;
    FAsking = false;
    if (abort)
        FAbort = true;
    if (FFinished) {
        // The transfer ended while the question was open.
        if (FAbort && FFinishedOk)
            QFile::remove(FFileName);
        DownloadFinished(FFinishedOk);
    } else if (FAbort) {
        FDownload->Abort();
    }
}

// Esc works as the Abort button.
void TDownloadForm::reject() {
    btnAbortClick();
}

// The window closes only by itself, when the transfer has ended.
void TDownloadForm::closeEvent(QCloseEvent* event) {
    if (!FFinished) {
        event->ignore();
        btnAbortClick();
        return;
    }
    QDialog::closeEvent(event);
}
