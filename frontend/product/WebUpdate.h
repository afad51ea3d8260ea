// WebUpdate: the automatic update check.
//
// Once per program start (when the user's automatic-update option is on and
// an update server is configured), the main window opens TCheckUpdateForm,
// whose TWebUpdate fetches "<base>/update/pyxol/pyxol.inf" from the update
// server, compares its "newversion" with the program's own version, shows the
// what's-new text and, on the user's consent, downloads the installer with a
// progress window, starts it and ends the program.
//
// The pieces that need no window are plain functions here so tests can call
// them directly: ParseVersion, the case-insensitive INI reader TIniText and
// IsNewerVersion. The network transfer (TUrlDownload) speaks HTTPS only, with
// certificate and host-name checks, never uses a cached copy and follows
// redirects only to other HTTPS addresses.
#pragma once

#include <QByteArray>
#include <QFile>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QSslCertificate>
#include <QString>
#include <QUrl>

#include <cstdint>
#include <functional>

class QNetworkAccessManager;
class QNetworkReply;
class QWidget;

// Path of the update-information file on the update server.
inline constexpr const char* kUpdateInfoPath = "/update/pyxol/pyxol.inf";

// Reads a version text such as "2.6.0.0" or "2,6,1,7" into four 16-bit parts,
// the first part in the top 16 bits. Parts are split at "," and ".", leading
// spaces of each part are ignored and empty parts skipped; at most four parts
// count; a part that is not a decimal number counts as 0 and a larger one
// only with its low 16 bits. "2.6" equals "2.6.0.0".
[[nodiscard]] std::uint64_t ParseVersion(const QString& text);

// True when both versions are known (non-zero) and the offered one is
// greater than the running one.
[[nodiscard]] bool IsNewerVersion(std::uint64_t offered, std::uint64_t running);

// The running program's own version in ParseVersion's layout; 0 when the
// program carries no version record.
[[nodiscard]] std::uint64_t GetFileVersion64(const QString& fileName);

// A read-only INI text whose section and key names match in any letter case,
// like the system's profile reader: the first section of a name and the first
// key of a name in it win; values lose surrounding blanks and one pair of
// surrounding quotes; lines starting with ";" or "#" are comments. The text is
// UTF-8 (a UTF-8 byte-order mark is skipped); a value that is not valid UTF-8
// is read as Latin-1 so that no byte is lost.
class TIniText {
public:
    TIniText() = default;
    explicit TIniText(const QByteArray& bytes);

    // Loads a file; false (and an empty INI) when it cannot be read.
    bool LoadFromFile(const QString& fileName);

    // The value of Key in Section, or Default when either is absent.
    [[nodiscard]] QString ReadString(const QString& section, const QString& key,
                                     const QString& defaultValue = QString()) const;

private:
    void Parse(const QByteArray& bytes);
    QHash<QString, QHash<QString, QString>> FSections;  // folded names
};

// Decodes a plain-text file's bytes: a byte-order mark (UTF-8, UTF-16 or
// UTF-32) decides the encoding, otherwise the system's locale encoding.
[[nodiscard]] QString DecodeTextWithBom(const QByteArray& bytes);

// The extension (with its dot) that a downloaded installer keeps: the last
// suffix of the URL's file name when it is a plain word of letters and digits
// (".deb", ".AppImage", ".rpm"), otherwise none.
[[nodiscard]] QString InstallerExtensionFromUrl(const QUrl& url);

// Only HTTPS addresses with a host name are fetched.
[[nodiscard]] bool IsAllowedUpdateUrl(const QUrl& url);

// The update-information address for the configured server base address
// ("https://host[:port][/prefix]"); empty when the base is empty or not an
// HTTPS address.
[[nodiscard]] QUrl UpdateInfoUrl(const QString& baseAddress);

// Test seam: certificates to accept as extra certificate authorities for the
// update connections (tests use it for their self-signed loopback server).
// The shipped program never calls it; ordinary builds trust the system's
// certificate store only.
void SetUpdateTrustedCertificatesForTesting(const QList<QSslCertificate>& certificates);

// One HTTPS transfer of a URL into a file. The file is removed again when the
// transfer does not end with the whole content stored (a 2xx answer, every
// announced byte, nothing over the size limit). Finished(ok) is emitted once,
// after the file is closed.
class TUrlDownload : public QObject {
    Q_OBJECT
public:
    // Called with the bytes stored so far and the announced total (-1 when
    // unknown); returning false aborts the transfer.
    using TProgress = std::function<bool(qint64 received, qint64 total)>;

    explicit TUrlDownload(QObject* parent = nullptr);
    ~TUrlDownload() override;

    // Existing: fileName is our own file (made by CreateTempFile) and is
    // truncated. CreateNew: fileName must not exist yet and is created.
    enum class TTargetFile { Existing, CreateNew };

    // Starts the transfer; Finished(false) follows (queued) when the URL is
    // not allowed or the file cannot be opened. maxBytes < 0: no size limit.
    void Start(const QUrl& url, const QString& fileName, TTargetFile target,
               qint64 maxBytes = -1, TProgress progress = {});
    // Stops a running transfer; it finishes with failure.
    void Abort();

    [[nodiscard]] bool IsRunning() const { return FRunning; }
    [[nodiscard]] bool IsSuccess() const { return FIsSuccess; }

    // Silent synchronous download into our own existing file: runs a local
    // event loop that processes no user input until the transfer ends. True
    // when the whole content was stored in fileName.
    static bool DownloadFile(const QUrl& url, const QString& fileName,
                             qint64 maxBytes = -1);

signals:
    void Finished(bool ok);

private:
    void ReadAvailable();
    void OnFinished();
    void Fail();
    void Finish(bool ok);

    QNetworkAccessManager* FManager;
    QPointer<QNetworkReply> FReply;
    QFile FFile;
    TProgress FProgress;
    qint64 FMaxBytes = -1;
    qint64 FReceived = 0;
    bool FRunning = false;
    bool FFailed = false;
    bool FIsSuccess = false;
};

// Creates a new, empty, uniquely named file with the prefix "tmp" in the
// temporary-files folder and returns its path. Throws std::runtime_error with
// the system's error text when no such file can be created.
[[nodiscard]] QString CreateTempFile();

// The update checker. Opens no window until CheckUpdate is called; the
// windows it opens are owned by FOwner.
class TWebUpdate {
public:
    TWebUpdate(QWidget* owner, QString baseAddress);

    // Runs the whole check: fetch the information file, compare versions,
    // offer the new version, download and start the installer. Failures of
    // the network or the server end it silently; only CreateTempFile's
    // std::runtime_error leaves it.
    void CheckUpdate();

    // True once the installer has been started and the program was asked to
    // end.
    [[nodiscard]] bool InstallerStarted() const { return FInstallerStarted; }

private:
    bool DownloadFile(const QUrl& url, const QString& fileName);
    bool DownloadFileWithProgress(const QUrl& url, const QString& fileName);
    bool IsNewVersionAvailable(const TIniText& ini, QString& newVerStr);
    void DownloadWhatsNew(const TIniText& ini, QString& fileName);
    int ShowNewVersion(const TIniText& ini, const QString& newVerStr);
    bool DownloadAndInstall(const TIniText& ini);

    QWidget* FOwner;
    QString FBaseAddress;
    bool FInstallerStarted = false;
};
