#include "WebUpdate.h"

#include "BrelMsgBox.h"
#include "BrelShell.h"
#include "BrelUtils.h"
#include "DownloadFrm.h"
#include "NewVersionFrm.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QProcess>
#include <QRegularExpression>
#include <QSslConfiguration>
#include <QStringDecoder>
#include <QTemporaryFile>
#include <QTimer>

#include <cerrno>
#include <cstring>
#include <limits>
#include <stdexcept>

namespace {

// A silent download that does not end within this time of inactivity has
// failed; the installer download uses the same limit between two data chunks.
constexpr int kTransferTimeoutMs = 30000;
// The information file and the what's-new text are small; a server that
// sends more than this is not answered with a full disk.
constexpr qint64 kSmallFileLimit = 4 * 1024 * 1024;
constexpr int kMaxRedirects = 5;

QList<QSslCertificate>& TestCertificates() {
    static QList<QSslCertificate> certificates;
    return certificates;
}

// Reads one part of a version text as the Windows integer conversion does:
// an optional sign and decimal digits that fit a 32-bit integer, else 0.
std::int64_t ReadVersionPart(QStringView part) {
    bool negative = false;
    qsizetype i = 0;
    if (i < part.size() && (part[i] == u'+' || part[i] == u'-')) {
        negative = part[i] == u'-';
        ++i;
    }
    if (i == part.size())
        return 0;
    std::int64_t value = 0;
    for (; i < part.size(); ++i) {
        const char16_t c = part[i].unicode();
        if (c < u'0' || c > u'9')
            return 0;
        value = value * 10 + (c - u'0');
        if (value > std::int64_t(std::numeric_limits<std::int32_t>::max()) + 1)
            return 0;
    }
    if (negative)
        value = -value;
    if (value > std::numeric_limits<std::int32_t>::max() ||
        value < std::numeric_limits<std::int32_t>::min())
        return 0;
    return value;
}

QString FoldName(QStringView name) {
    return name.trimmed().toString().toCaseFolded();
}

// Programs (an AppImage, a self-extracting ".run", a file without extension)
// are made executable and run; packages open with the desktop's handler
// (the software installer for ".deb" and ".rpm").
bool LaunchInstaller(const QString& fileName) {
    const QFileInfo info(fileName);
    const QString ext = info.suffix().toLower();
    if (ext.isEmpty() || ext == QLatin1String("appimage") || ext == QLatin1String("run")) {
        QFile file(fileName);
        if (!file.setPermissions(file.permissions() | QFileDevice::ExeOwner | QFileDevice::ExeUser))
            return false;
        return QProcess::startDetached(info.absoluteFilePath(), {}, info.absolutePath());
    }
    return BrelShellOpen(QUrl::fromLocalFile(info.absoluteFilePath()));
}

// Deletes a file when the scope ends, whatever happens.
class TFileRemover {
public:
    explicit TFileRemover(QString fileName) : FFileName(std::move(fileName)) {}
    ~TFileRemover() {
        if (!FFileName.isEmpty())
            QFile::remove(FFileName);
    }
    TFileRemover(const TFileRemover&) = delete;
    TFileRemover& operator=(const TFileRemover&) = delete;

private:
    QString FFileName;
};

}  // namespace

// ---------------------------------------------------------------------------
// Pure helpers

std::uint64_t ParseVersion(const QString& text) {
    std::uint64_t version = 0;
    int index = 0;
    qsizetype start = 0;
    const qsizetype n = text.size();
    while (start <= n && index < 4) {
        qsizetype end = start;
        while (end < n && text[end] != u',' && text[end] != u'.')
            ++end;
        QStringView part = QStringView(text).mid(start, end - start);
        while (!part.isEmpty() && part.front() == u' ')
            part = part.mid(1);
        if (!part.isEmpty()) {
            const std::uint64_t value = std::uint64_t(ReadVersionPart(part)) & 0xFFFFu;
            version |= value << (48 - 16 * index);
            ++index;
        }
        start = end + 1;
    }
    return version;
}

bool IsNewerVersion(std::uint64_t offered, std::uint64_t running) {
    return offered != 0 && running != 0 && offered > running;
}

std::uint64_t GetFileVersion64(const QString& fileName) {
    TVSFixedFileInfo info;
    if (!GetFileFixedVersionInfo(fileName, info))
        return 0;
    return (std::uint64_t(info.dwFileVersionMS) << 32) | info.dwFileVersionLS;
}

TIniText::TIniText(const QByteArray& bytes) {
    Parse(bytes);
}

bool TIniText::LoadFromFile(const QString& fileName) {
    FSections.clear();
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    Parse(file.read(kSmallFileLimit));
    return true;
}

void TIniText::Parse(const QByteArray& bytes) {
    QByteArray data = bytes;
    if (data.startsWith("\xEF\xBB\xBF"))
        data.remove(0, 3);
    QStringDecoder utf8(QStringConverter::Utf8);
    QString text = utf8.decode(data);
    if (utf8.hasError())
        text = QString::fromLatin1(data);

    QHash<QString, QString>* section = nullptr;
    const QStringList lines = text.split(QRegularExpression(QStringLiteral("\r\n|\r|\n")));
    for (const QString& rawLine : lines) {
        const QStringView line = QStringView(rawLine).trimmed();
        if (line.isEmpty() || line.front() == u';' || line.front() == u'#')
            continue;
        if (line.front() == u'[') {
            const qsizetype close = line.indexOf(u']');
            if (close < 0) {
                section = nullptr;
                continue;
            }
            const QString name = FoldName(line.mid(1, close - 1));
            // A repeated section adds keys to the first one of that name.
            section = &FSections[name];
            continue;
        }
        if (!section)
            continue;
        const qsizetype eq = line.indexOf(u'=');
        if (eq <= 0)
            continue;
        const QString key = FoldName(line.left(eq));
        if (key.isEmpty() || section->contains(key))
            continue;
        QStringView value = line.mid(eq + 1).trimmed();
        if (value.size() >= 2 && ((value.front() == u'"' && value.back() == u'"') ||
                                  (value.front() == u'\'' && value.back() == u'\'')))
            value = value.mid(1, value.size() - 2);
        section->insert(key, value.toString());
    }
}

QString TIniText::ReadString(const QString& section, const QString& key,
                             const QString& defaultValue) const {
    const auto s = FSections.constFind(FoldName(section));
    if (s == FSections.constEnd())
        return defaultValue;
    const auto k = s->constFind(FoldName(key));
    if (k == s->constEnd())
        return defaultValue;
    return *k;
}

QString DecodeTextWithBom(const QByteArray& bytes) {
    const auto encoding = QStringConverter::encodingForData(bytes);
    QStringDecoder decoder(encoding ? *encoding : QStringConverter::System);
    // The decoder drops the byte-order mark itself.
    return decoder.decode(bytes);
}

QString InstallerExtensionFromUrl(const QUrl& url) {
    const QString name = url.fileName();
    const qsizetype dot = name.lastIndexOf(u'.');
    if (dot < 0)
        return QString();
    const QString ext = name.mid(dot + 1);
    if (ext.isEmpty() || ext.size() > 16)
        return QString();
    for (const QChar c : ext)
        if (!(c.isLetterOrNumber() && c.unicode() < 128))
            return QString();
    return QLatin1Char('.') + ext;
}

bool IsAllowedUpdateUrl(const QUrl& url) {
    return url.isValid() && url.scheme() == QLatin1String("https") && !url.host().isEmpty();
}

QUrl UpdateInfoUrl(const QString& baseAddress) {
    const QString base = baseAddress.trimmed();
    if (base.isEmpty())
        return QUrl();
    QUrl url(base, QUrl::TolerantMode);
    if (!IsAllowedUpdateUrl(url))
        return QUrl();
    QString path = url.path();
    while (path.endsWith(u'/'))
        path.chop(1);
    url.setPath(path + QLatin1String(kUpdateInfoPath));
    url.setQuery(QString());
    url.setFragment(QString());
    return url;
}

void SetUpdateTrustedCertificatesForTesting(const QList<QSslCertificate>& certificates) {
    TestCertificates() = certificates;
}

QString CreateTempFile() {
    const QString folder = GetTempDirectory();
    QTemporaryFile file(folder + QStringLiteral("tmpXXXXXX"));
    file.setAutoRemove(false);
    errno = 0;
    if (!file.open()) {
        // The system's reason: QTemporaryFile often reports only "Unknown error".
        const int error = errno;
        const QString reason =
            error ? QString::fromLocal8Bit(std::strerror(error)) : file.errorString();
        throw std::runtime_error(
            QStringLiteral("Cannot create a temporary file in %1: %2").arg(folder, reason).toStdString());
    }
    return file.fileName();
}

// ---------------------------------------------------------------------------
// TUrlDownload

TUrlDownload::TUrlDownload(QObject* parent)
    : QObject(parent), FManager(new QNetworkAccessManager(this)) {}

TUrlDownload::~TUrlDownload() {
    if (FRunning) {
        if (FReply) {
            FReply->disconnect(this);
            FReply->abort();
        }
        FFile.close();
        FFile.remove();
    }
}

void TUrlDownload::Start(const QUrl& url, const QString& fileName, TTargetFile target,
                         qint64 maxBytes, TProgress progress) {
    FProgress = std::move(progress);
    FMaxBytes = maxBytes;
    FReceived = 0;
    FFailed = false;
    FIsSuccess = false;
    FRunning = true;

    if (!IsAllowedUpdateUrl(url) || fileName.isEmpty()) {
        QTimer::singleShot(0, this, [this] { Finish(false); });
        return;
    }
    // A target chosen by name is created new, so that nothing planted under
    // that name in a shared temporary folder (a link, a file of someone
    // else's) is written through; our own temporary files are truncated.
    FFile.setFileName(fileName);
    const QIODevice::OpenMode mode =
        target == TTargetFile::CreateNew ? QIODevice::WriteOnly | QIODevice::NewOnly
                                          : QIODevice::WriteOnly | QIODevice::Truncate;
    if (!FFile.open(mode)) {
        QTimer::singleShot(0, this, [this] { Finish(false); });
        return;
    }

    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::UserVerifiedRedirectPolicy);
    request.setMaximumRedirectsAllowed(kMaxRedirects);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute,
                         QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    // Proxies and front caches must also go to the server for its current file.
    request.setRawHeader("Cache-Control", "no-cache");
    request.setRawHeader("Pragma", "no-cache");
    request.setTransferTimeout(kTransferTimeoutMs);
    QSslConfiguration ssl = QSslConfiguration::defaultConfiguration();
    ssl.setPeerVerifyMode(QSslSocket::VerifyPeer);
    if (!TestCertificates().isEmpty())
        ssl.addCaCertificates(TestCertificates());
    request.setSslConfiguration(ssl);

    FReply = FManager->get(request);
    connect(FReply, &QNetworkReply::redirected, this, [this](const QUrl& target) {
        if (IsAllowedUpdateUrl(target))
            emit FReply->redirectAllowed();
        else
            Fail();
    });
    connect(FReply, &QNetworkReply::readyRead, this, &TUrlDownload::ReadAvailable);
    connect(FReply, &QNetworkReply::finished, this, &TUrlDownload::OnFinished);
}

void TUrlDownload::ReadAvailable() {
    if (!FReply || FFailed)
        return;
    const QByteArray chunk = FReply->readAll();
    if (chunk.isEmpty())
        return;
    FReceived += chunk.size();
    if ((FMaxBytes >= 0 && FReceived > FMaxBytes) || FFile.write(chunk) != chunk.size()) {
        Fail();
        return;
    }
    if (FProgress) {
        const QVariant length = FReply->header(QNetworkRequest::ContentLengthHeader);
        const qint64 total = length.isValid() ? length.toLongLong() : -1;
        if (!FProgress(FReceived, total))
            Fail();
    }
}

void TUrlDownload::Abort() {
    if (FRunning)
        Fail();
}

void TUrlDownload::Fail() {
    if (FFailed)
        return;
    FFailed = true;
    // abort() emits finished at once, which ends the transfer with failure.
    if (FReply && FReply->isRunning())
        FReply->abort();
    else if (FRunning && !FReply)
        Finish(false);
}

void TUrlDownload::OnFinished() {
    if (!FReply)
        return;
    // Data that arrived with the end of the transfer is still to be stored.
    if (!FFailed && FReply->error() == QNetworkReply::NoError)
        ReadAvailable();
    QNetworkReply* reply = FReply;
    FReply = nullptr;
    reply->deleteLater();
    bool ok = !FFailed && reply->error() == QNetworkReply::NoError;
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (status < 200 || status > 299)
        ok = false;
    const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
    if (ok && length.isValid() && length.toLongLong() != FReceived)
        ok = false;
    Finish(ok);
}

void TUrlDownload::Finish(bool ok) {
    if (!FRunning)
        return;
    FRunning = false;
    if (FFile.isOpen()) {
        if (!FFile.flush())
            ok = false;
        FFile.close();
        if (FFile.error() != QFileDevice::NoError)
            ok = false;
        if (!ok)
            FFile.remove();
    }
    FIsSuccess = ok;
    emit Finished(ok);
}

bool TUrlDownload::DownloadFile(const QUrl& url, const QString& fileName, qint64 maxBytes) {
    TUrlDownload download;
    QEventLoop loop;
    connect(&download, &TUrlDownload::Finished, &loop, &QEventLoop::quit);
    download.Start(url, fileName, TTargetFile::Existing, maxBytes);
    if (download.IsRunning())
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    return download.IsSuccess();
}

// ---------------------------------------------------------------------------
// TWebUpdate

TWebUpdate::TWebUpdate(QWidget* owner, QString baseAddress)
    : FOwner(owner), FBaseAddress(std::move(baseAddress)) {}

void TWebUpdate::CheckUpdate() {
    const QUrl infoUrl = UpdateInfoUrl(FBaseAddress);
    if (infoUrl.isEmpty())
        return;
    const QString infoFile = CreateTempFile();
    TFileRemover removeInfo(infoFile);
    if (!DownloadFile(infoUrl, infoFile))
        return;
    TIniText ini;
    ini.LoadFromFile(infoFile);
    QString newVerStr;
    if (!IsNewVersionAvailable(ini, newVerStr))
        return;
    if (ShowNewVersion(ini, newVerStr) == QMessageBox::Yes)
        FInstallerStarted = DownloadAndInstall(ini);
}

bool TWebUpdate::DownloadFile(const QUrl& url, const QString& fileName) {
    return TUrlDownload::DownloadFile(url, fileName, kSmallFileLimit);
}

bool TWebUpdate::DownloadFileWithProgress(const QUrl& url, const QString& fileName) {
    TDownloadForm form(FOwner, url, fileName);
    form.exec();
    return form.IsSuccess();
}

bool TWebUpdate::IsNewVersionAvailable(const TIniText& ini, QString& newVerStr) {
    newVerStr = ini.ReadString(QStringLiteral("update"), QStringLiteral("newversion"));
    if (newVerStr.isEmpty())
        return false;
    return IsNewerVersion(ParseVersion(newVerStr), GetFileVersion64(GetProgramFileName()));
}

void TWebUpdate::DownloadWhatsNew(const TIniText& ini, QString& fileName) {
    fileName.clear();
    const QString urlText = ini.ReadString(QStringLiteral("whatsnew"), QStringLiteral("file"));
    if (urlText.isEmpty())
        return;
    const QString tempFile = CreateTempFile();
    if (DownloadFile(QUrl(urlText, QUrl::TolerantMode), tempFile))
        fileName = tempFile;
    else
        QFile::remove(tempFile);
}

int TWebUpdate::ShowNewVersion(const TIniText& ini, const QString& newVerStr) {
    TNewVersionForm form(FOwner, newVerStr);
    QString whatsNewFile;
    DownloadWhatsNew(ini, whatsNewFile);
    TFileRemover removeWhatsNew(whatsNewFile);
    QString text;
    if (!whatsNewFile.isEmpty()) {
        QFile file(whatsNewFile);
        if (file.open(QIODevice::ReadOnly))
            text = DecodeTextWithBom(file.read(kSmallFileLimit));
    }
    form.SetWhatsNewText(text);
    return form.exec();
}

bool TWebUpdate::DownloadAndInstall(const TIniText& ini) {
    const QString urlText = ini.ReadString(QStringLiteral("update"), QStringLiteral("file"));
    const QUrl url(urlText, QUrl::TolerantMode);
    const QString target =
        urlText.isEmpty() ? QString() : GetUniqueTempFileName(InstallerExtensionFromUrl(url));
    if (urlText.isEmpty() || target.isEmpty() || !DownloadFileWithProgress(url, target)) {
        BrelMessageBox(FOwner, TBrelMsgType::Error, QStringLiteral("Error: Download failed!"));
        return false;
    }
    if (BrelMessageBox(FOwner, TBrelMsgType::Information,
                       QStringLiteral("Download completed successfully. Would you like to "
                                      "install the latest version now?"),
                       QMessageBox::Yes | QMessageBox::No) != QMessageBox::Yes)
        return false;
    if (!LaunchInstaller(target)) {
        BrelMessageBox(FOwner, TBrelMsgType::Error,
                       QStringLiteral("Error: Cannot launch the installer!"));
        return false;
    }
    // Ends the program once the current event handling (the check window and
    // the main window's deferred start-up work) has unwound.
    QMetaObject::invokeMethod(QCoreApplication::instance(), &QCoreApplication::quit,
                              Qt::QueuedConnection);
    return true;
}
