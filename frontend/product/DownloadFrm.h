// DownloadFrm: the window that downloads the installer, shows the bytes
// received so far and lets the user abort the transfer.
#pragma once

#include "WebUpdate.h"

#include <QDialog>
#include <QUrl>

class QLabel;
class QPushButton;
class TDownloadForm;

// Carries the transfer's progress notifications to the download window.
class TDownloadCallback {
public:
    explicit TDownloadCallback(TDownloadForm* downloadForm) : FDownloadForm(downloadForm) {}

    // Bytes received so far and the announced total (-1 when unknown);
    // false asks the transfer to stop.
    bool OnProgress(qint64 progress, qint64 total);

private:
    TDownloadForm* FDownloadForm;
};

class TDownloadForm : public QDialog {
    Q_OBJECT
public:
    // Downloads URL into FileName (which must not exist yet) once shown;
    // closes itself when the transfer ends.
    TDownloadForm(QWidget* owner, const QUrl& url, const QString& fileName);
    ~TDownloadForm() override;

    // True when the whole installer was stored in the file.
    bool IsSuccess() const { return FIsSuccess; }

    // Shows the byte count; false once the user has asked to abort.
    bool UpdateProgress(qint64 progress);

    void reject() override;

    QLabel* labMsg;
    QPushButton* btnAbort;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void StartDownload();
    void DownloadFinished(bool ok);
    void btnAbortClick();

    QUrl FURL;
    QString FFileName;
    bool FAbort = false;
    bool FIsSuccess = false;
    bool FShown = false;
    bool FAsking = false;        // the abort question is on the screen
    bool FFinished = false;      // the transfer has ended
    bool FFinishedOk = false;
    TDownloadCallback FDownloadCallback;
    TUrlDownload* FDownload;
};
