// The update check against a real HTTPS server on 127.0.0.1: the server's
// certificate is made by openssl when the test starts and trusted through the
// checker's test seam; message boxes and the desktop's "open" are answered
// through the framework's seams; the windows are driven by a timer that finds
// them on the screen (offscreen platform).

#include "BrelMsgBox.h"
#include "BrelShell.h"
#include "BrelSetting.h"
#include "BrelUtils.h"
#include "MainFrm.h"
#include "CheckUpdateFrm.h"
#include "DownloadFrm.h"
#include "NewVersionFrm.h"
#include "WebUpdate.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QSslCertificate>
#include <QSslKey>
#include <QSslSocket>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>
#include <map>
#include <memory>

namespace {

// A small HTTPS/1.1 server: one route table, one response per connection.
// A held route sends its headers and the first part of its body, then waits
// until Release() before sending the rest.
class THttpsServer : public QTcpServer {
public:
    struct TRoute {
        int status = 200;
        QByteArray body;
        QByteArray extraHeaders;  // "Name: value\r\n" lines
        qint64 holdAfter = -1;    // bytes sent before waiting for Release()
        qint64 announced = -1;    // Content-Length to claim; -1: the body's size
    };

    THttpsServer(const QSslCertificate& certificate, const QSslKey& key)
        : FCertificate(certificate), FKey(key) {}

    std::map<QByteArray, TRoute> Routes;
    QList<QByteArray> Requests;  // request paths in order of arrival

    QString Base() const { return QStringLiteral("https://127.0.0.1:%1").arg(serverPort()); }

    void Release() {
        for (const QPointer<QSslSocket>& socket : FHeld) {
            if (!socket)
                continue;
            socket->write(FHeldRest.value(socket.data()));
            socket->disconnectFromHost();
        }
        FHeld.clear();
        FHeldRest.clear();
    }

protected:
    void incomingConnection(qintptr descriptor) override {
        auto* socket = new QSslSocket(this);
        if (!socket->setSocketDescriptor(descriptor)) {
            delete socket;
            return;
        }
        socket->setLocalCertificate(FCertificate);
        socket->setPrivateKey(FKey);
        socket->setPeerVerifyMode(QSslSocket::VerifyNone);
        auto request = std::make_shared<QByteArray>();
        QObject::connect(socket, &QSslSocket::readyRead, socket, [this, socket, request] {
            request->append(socket->readAll());
            const qsizetype end = request->indexOf("\r\n\r\n");
            if (end < 0 || request->isEmpty())
                return;
            const QList<QByteArray> first = request->left(request->indexOf("\r\n")).split(' ');
            request->clear();
            Answer(socket, first.size() >= 2 ? first[1] : QByteArray());
        });
        QObject::connect(socket, &QSslSocket::disconnected, socket, &QObject::deleteLater);
        QObject::connect(socket, &QSslSocket::errorOccurred, socket, [socket] {
            socket->deleteLater();
        });
        socket->startServerEncryption();
    }

private:
    void Answer(QSslSocket* socket, const QByteArray& path) {
        Requests << path;
        const auto it = Routes.find(path);
        TRoute route;
        if (it == Routes.end()) {
            route.status = 404;
            route.body = "not here";
        } else {
            route = it->second;
        }
        QByteArray head = "HTTP/1.1 " + QByteArray::number(route.status) +
                          (route.status == 200 ? " OK" : " Other") + "\r\n";
        head += "Content-Length: " +
                QByteArray::number(route.announced >= 0 ? route.announced : route.body.size()) +
                "\r\n";
        head += "Connection: close\r\n" + route.extraHeaders + "\r\n";
        if (route.holdAfter >= 0) {
            socket->write(head + route.body.left(route.holdAfter));
            FHeld << socket;
            FHeldRest.insert(socket, route.body.mid(route.holdAfter));
            return;
        }
        socket->write(head + route.body);
        socket->disconnectFromHost();
    }

    QSslCertificate FCertificate;
    QSslKey FKey;
    QList<QPointer<QSslSocket>> FHeld;
    QHash<QSslSocket*, QByteArray> FHeldRest;
};

// Makes a self-signed certificate for 127.0.0.1 with openssl.
bool MakeCertificate(const QString& dir, const QString& name, QSslCertificate& certificate,
                     QSslKey& key) {
    const QString certFile = dir + QLatin1Char('/') + name + QStringLiteral(".crt");
    const QString keyFile = dir + QLatin1Char('/') + name + QStringLiteral(".key");
    QProcess openssl;
    openssl.start(QStringLiteral("openssl"),
                  {QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"),
                   QStringLiteral("ec"), QStringLiteral("-pkeyopt"),
                   QStringLiteral("ec_paramgen_curve:prime256v1"), QStringLiteral("-nodes"),
                   QStringLiteral("-keyout"), keyFile, QStringLiteral("-out"), certFile,
                   QStringLiteral("-days"), QStringLiteral("2"), QStringLiteral("-subj"),
                   QStringLiteral("/CN=127.0.0.1"), QStringLiteral("-addext"),
                   QStringLiteral("subjectAltName=IP:127.0.0.1")});
    if (!openssl.waitForFinished(30000) || openssl.exitCode() != 0)
        return false;
    QFile c(certFile), k(keyFile);
    if (!c.open(QIODevice::ReadOnly) || !k.open(QIODevice::ReadOnly))
        return false;
    certificate = QSslCertificate(c.readAll(), QSsl::Pem);
    key = QSslKey(k.readAll(), QSsl::Ec, QSsl::Pem);
    return !certificate.isNull() && !key.isNull();
}

QByteArray InfoFile(const QByteArray& newVersion, const QByteArray& base,
                    const QByteArray& installer = "/files/vantrel_2.6.0_amd64.deb",
                    const QByteArray& whatsNew = "/files/whatsnew.txt") {
    QByteArray ini = "; Vantrel update information\r\n[update]\r\nnewversion=" + newVersion +
                     "\r\n";
    if (!installer.isEmpty())
        ini += "file=" + base + installer + "\r\n";
    if (!whatsNew.isEmpty())
        ini += "[whatsnew]\r\nfile=" + base + whatsNew + "\r\n";
    return ini;
}

// Calls a function for every event of the application.
class TEventSpy : public QObject {
public:
    explicit TEventSpy(std::function<void(QObject*, QEvent*)> onEvent)
        : FOnEvent(std::move(onEvent)) {}

protected:
    bool eventFilter(QObject* object, QEvent* event) override {
        FOnEvent(object, event);
        return false;
    }

private:
    std::function<void(QObject*, QEvent*)> FOnEvent;
};

// What the "user" saw and how they answered.
struct TSession {
    QStringList Boxes;                  // texts of the message boxes, in order
    QList<QUrl> Opened;                 // what the desktop was asked to open
    bool NewVersionShown = false;
    QString NewVersionPrompt;
    QString WhatsNew;
    QStringList DownloadLabels;
    // Answers
    bool Upgrade = false;               // Yes in the new-version window
    QMessageBox::StandardButton InstallNow = QMessageBox::Yes;
    QList<QMessageBox::StandardButton> AbortAnswers;  // answers to the abort question
    bool OpenSucceeds = true;
    std::function<void(TDownloadForm*)> OnDownloadProgress;
    std::function<void()> WhileAskingAbort;  // runs while the abort question is open
};

}  // namespace

class WebUpdateTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void parseVersion_data();
    void parseVersion();
    void iniNamesInAnyCase();
    void decodeWhatsNewText();
    void installerExtension();
    void infoAddress();

    void windowTexts();
    void offersOnlyNewerVersions_data();
    void offersOnlyNewerVersions();
    void serverFailuresAreSilent_data();
    void serverFailuresAreSilent();
    void untrustedCertificateDownloadsNothing();
    void redirectsOnlyToHttps();
    void emptyBaseAddressSkipsCheck();
    void mainWindowChecksOnceAfterShowing_data();
    void mainWindowChecksOnceAfterShowing();
    void noTemporaryFileKeepsWindowOpen();
    void whatsNewFallback_data();
    void whatsNewFallback();
    void serverTextIsNotMarkup();
    void downloadsAndStartsInstaller();
    void takenInstallerNameGivesNextNumber();
    void plantedLinkIsNotWrittenThrough();
    void abortAnsweredNoContinues();
    void abortConfirmedFails();
    void transferEndsWhileAsking_data();
    void transferEndsWhileAsking();
    void installerNotStartedWhenUserSaysNo();
    void launchFailureIsReported();
    void programInstallerIsRun();
    void installerDownloadFailures_data();
    void installerDownloadFailures();

private:
    // Runs the check window as the main window would and drives the windows
    // that come up with the answers in FSession.
    bool RunCheck(const QString& base);
    QStringList TempFiles() const;

    QTemporaryDir FCertDir;
    QSslCertificate FCertificate, FUntrustedCertificate;
    QSslKey FKey, FUntrustedKey;
    std::unique_ptr<QTemporaryDir> FTempDir;
    std::unique_ptr<THttpsServer> FServer;
    TSession FSession;
};

void WebUpdateTest::initTestCase() {
    QVERIFY(QSslSocket::supportsSsl());
    QVERIFY(FCertDir.isValid());
    QVERIFY(MakeCertificate(FCertDir.path(), QStringLiteral("trusted"), FCertificate, FKey));
    QVERIFY(MakeCertificate(FCertDir.path(), QStringLiteral("untrusted"), FUntrustedCertificate,
                            FUntrustedKey));
    SetUpdateTrustedCertificatesForTesting({FCertificate});
    // The version cases below are written for a program of version 2.5.0.0.
    QCOMPARE(quint64(GetFileVersion64(GetProgramFileName())), quint64(ParseVersion("2.5.0.0")));
    QCOMPARE(GetFileVersion64(FCertDir.path() + QStringLiteral("/trusted.crt")), 0u);
}

void WebUpdateTest::init() {
    // Every test has its own temporary-files folder, so leftovers show.
    FTempDir = std::make_unique<QTemporaryDir>();
    QVERIFY(FTempDir->isValid());
    qputenv("TMPDIR", FTempDir->path().toLocal8Bit());
    QCOMPARE(GetTempDirectory(), FTempDir->path() + QLatin1Char('/'));

    FServer = std::make_unique<THttpsServer>(FCertificate, FKey);
    QVERIFY(FServer->listen(QHostAddress::LocalHost));
    FSession = TSession();
    SetBrelMsgPresenter([this](QWidget*, TBrelMsgType type, const QString& text,
                               QMessageBox::StandardButtons buttons) {
        FSession.Boxes << text;
        // Questions are information boxes with Yes and No; failures error boxes with OK.
        const bool question = buttons == (QMessageBox::Yes | QMessageBox::No);
        if (type != (question ? TBrelMsgType::Information : TBrelMsgType::Error))
            FSession.Boxes << QStringLiteral("(unexpected box kind)");
        if (text.startsWith(QLatin1String("Would you like to abort"))) {
            if (FSession.WhileAskingAbort)
                FSession.WhileAskingAbort();
            if (FSession.AbortAnswers.isEmpty())
                return QMessageBox::No;
            return FSession.AbortAnswers.takeFirst();
        }
        if (text.startsWith(QLatin1String("Download completed successfully")))
            return FSession.InstallNow;
        return QMessageBox::Ok;
    });
    SetBrelShellOpenHandler([this](const QUrl& url) {
        FSession.Opened << url;
        return FSession.OpenSucceeds;
    });
}

void WebUpdateTest::cleanup() {
    SetBrelMsgPresenter({});
    SetBrelShellOpenHandler({});
    FServer.reset();
    FTempDir.reset();
    qunsetenv("TMPDIR");
}

bool WebUpdateTest::RunCheck(const QString& base) {
    // The download window is seen when it is shown (a fast transfer may end
    // before any timer fires); later progress is sampled by the timer.
    auto seeDownload = [this](TDownloadForm* form) {
        const QString label = form->labMsg->text();
        if (FSession.DownloadLabels.isEmpty() || FSession.DownloadLabels.last() != label)
            FSession.DownloadLabels << label;
        if (FSession.OnDownloadProgress)
            FSession.OnDownloadProgress(form);
    };
    TEventSpy spy([seeDownload](QObject* object, QEvent* event) {
        if (event->type() == QEvent::Show)
            if (auto* form = qobject_cast<TDownloadForm*>(object))
                seeDownload(form);
    });
    qApp->installEventFilter(&spy);
    QTimer driver;
    driver.setInterval(5);
    QObject::connect(&driver, &QTimer::timeout, [this, seeDownload] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (!w->isVisible())
                continue;
            if (auto* form = qobject_cast<TNewVersionForm*>(w)) {
                FSession.NewVersionShown = true;
                FSession.NewVersionPrompt = form->labNewVersionPrompt->text();
                FSession.WhatsNew = form->txtWhatsNew->toPlainText();
                (FSession.Upgrade ? form->btnYes : form->btnClose)->click();
                return;
            }
            if (auto* form = qobject_cast<TDownloadForm*>(w)) {
                seeDownload(form);
                return;
            }
        }
    });
    driver.start();
    QWidget owner;
    const bool started = RunAutomaticUpdateCheck(&owner, true, base);
    qApp->removeEventFilter(&spy);
    return started;
}

QStringList WebUpdateTest::TempFiles() const {
    return QDir(FTempDir->path()).entryList(QDir::Files | QDir::Hidden | QDir::System);
}

// ---------------------------------------------------------------------------
// Pure parts

void WebUpdateTest::parseVersion_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<quint64>("version");
    QTest::newRow("dots") << "2.6.0.0" << Q_UINT64_C(0x0002000600000000);
    QTest::newRow("commas") << "2,6,1,7" << Q_UINT64_C(0x0002000600010007);
    QTest::newRow("short form") << "2.6" << Q_UINT64_C(0x0002000600000000);
    QTest::newRow("one part") << "3" << Q_UINT64_C(0x0003000000000000);
    QTest::newRow("leading spaces") << " 2, 5, 0, 1" << Q_UINT64_C(0x0002000500000001);
    QTest::newRow("empty parts skipped") << "2..6,,1" << Q_UINT64_C(0x0002000600010000);
    QTest::newRow("spaces-only part skipped") << "2. .6" << Q_UINT64_C(0x0002000600000000);
    QTest::newRow("fifth part ignored") << "1.2.3.4.5" << Q_UINT64_C(0x0001000200030004);
    QTest::newRow("low 16 bits") << "2.65541" << Q_UINT64_C(0x0002000500000000);
    QTest::newRow("65536 is 0") << "65536.1" << Q_UINT64_C(0x0000000100000000);
    QTest::newRow("not a number") << "abc" << Q_UINT64_C(0);
    QTest::newRow("number then letters") << "2.6beta" << Q_UINT64_C(0x0002000000000000);
    QTest::newRow("trailing space is not a number") << "2.6 " << Q_UINT64_C(0x0002000000000000);
    QTest::newRow("beyond 32 bits") << "4294967302.1" << Q_UINT64_C(0x0000000100000000);
    QTest::newRow("negative") << "-1" << Q_UINT64_C(0xFFFF000000000000);
    QTest::newRow("empty") << "" << Q_UINT64_C(0);
    QTest::newRow("separators only") << ".,." << Q_UINT64_C(0);
}

void WebUpdateTest::parseVersion() {
    QFETCH(QString, text);
    QFETCH(quint64, version);
    QCOMPARE(quint64(ParseVersion(text)), version);
}

void WebUpdateTest::iniNamesInAnyCase() {
    const TIniText ini(QByteArray("\xEF\xBB\xBF; comment\r\n"
                                  "[UpDate]\r\n"
                                  "NEWVERSION = \"2,6,0,0\"\r\n"
                                  "newversion=9.9\r\n"
                                  "# other comment\n"
                                  "File=https://example.invalid/a b.deb\n"
                                  "[whatsnew]\rfile=  \r"
                                  "[update]\nextra=1\n"));
    QCOMPARE(ini.ReadString("update", "newversion"), QStringLiteral("2,6,0,0"));
    QCOMPARE(ini.ReadString("UPDATE", "file"), QStringLiteral("https://example.invalid/a b.deb"));
    QCOMPARE(ini.ReadString("Update", "Extra"), QStringLiteral("1"));
    QCOMPARE(ini.ReadString("whatsnew", "file", "x"), QString());
    QCOMPARE(ini.ReadString("whatsnew", "missing", "x"), QStringLiteral("x"));
    QCOMPARE(ini.ReadString("nosection", "file", "x"), QStringLiteral("x"));
    // Not UTF-8: every byte is kept.
    QCOMPARE(TIniText(QByteArray("[a]\nk=caf\xE9\n")).ReadString("A", "K"),
             QStringLiteral("caf\u00E9"));
}

void WebUpdateTest::decodeWhatsNewText() {
    const QString text = QStringLiteral("Neu: \u00C4nderungen \u2013 fixes");
    QByteArray utf16le("\xFF\xFE", 2);
    for (QChar c : text) {
        utf16le.append(char(c.unicode() & 0xFF));
        utf16le.append(char(c.unicode() >> 8));
    }
    QCOMPARE(DecodeTextWithBom(utf16le), text);
    QCOMPARE(DecodeTextWithBom("\xEF\xBB\xBF" + text.toUtf8()), text);
    QCOMPARE(DecodeTextWithBom("plain"), QStringLiteral("plain"));
}

void WebUpdateTest::installerExtension() {
    QCOMPARE(InstallerExtensionFromUrl(QUrl("https://h/d/vantrel_2.6.0_amd64.deb")), ".deb");
    QCOMPARE(InstallerExtensionFromUrl(QUrl("https://h/Vantrel-2.6.0.AppImage?x=1")), ".AppImage");
    QCOMPARE(InstallerExtensionFromUrl(QUrl("https://h/setup")), QString());
    QCOMPARE(InstallerExtensionFromUrl(QUrl("https://h/a.d%2Fb")), QString());
    QCOMPARE(InstallerExtensionFromUrl(QUrl("https://h/dir.d/")), QString());
}

void WebUpdateTest::infoAddress() {
    QCOMPARE(UpdateInfoUrl("https://updates.example.org"),
             QUrl("https://updates.example.org/update/pyxol/pyxol.inf"));
    QCOMPARE(UpdateInfoUrl(" https://h:8443/mirror/ "), QUrl("https://h:8443/mirror/update/pyxol/pyxol.inf"));
    QVERIFY(UpdateInfoUrl("").isEmpty());
    QVERIFY(UpdateInfoUrl("http://updates.example.org").isEmpty());
    QVERIFY(UpdateInfoUrl("updates.example.org").isEmpty());
}

void WebUpdateTest::windowTexts() {
    TCheckUpdateForm check(nullptr, QString());
    QCOMPARE(check.btnClose->text(), QStringLiteral("&Close"));
    QVERIFY(check.btnClose->isDefault());
    QCOMPARE(check.labMsg->width(), 400);

    TNewVersionForm offer(nullptr, QStringLiteral("2,6,0,0"));
    QCOMPARE(offer.windowTitle(), QStringLiteral("New Version Available"));
    QVERIFY(!(offer.windowFlags() & Qt::WindowCloseButtonHint));
    QCOMPARE(offer.labUpgradePrompt->text(),
             QStringLiteral("<B>Would you like to upgrade to the latest version?</B>"));
    QCOMPARE(offer.btnYes->text(), QStringLiteral("&Yes"));
    QCOMPARE(offer.btnClose->text(), QStringLiteral("&No"));
    QCOMPARE(offer.txtWhatsNew->size(), QSize(645, 330));
    QVERIFY(offer.txtWhatsNew->isReadOnly());
    offer.SetWhatsNewText(QStringLiteral("one\r\ntwo\r\n"));
    QCOMPARE(offer.txtWhatsNew->toPlainText(), QStringLiteral("one\ntwo"));
    offer.SetWhatsNewText(QString());
    QCOMPARE(offer.txtWhatsNew->toPlainText(),
             QStringLiteral("Sorry but no what's new information available!"));
    QTimer::singleShot(0, &offer, [&offer] { QTest::keyClick(&offer, Qt::Key_Escape); });
    QCOMPARE(offer.exec(), int(QMessageBox::No));

    TDownloadForm download(nullptr, QUrl("https://h/x.deb"), QString());
    QCOMPARE(download.windowTitle(), QStringLiteral("Download File..."));
    QCOMPARE(download.btnAbort->text(), QStringLiteral("&Abort"));
    QCOMPARE(download.labMsg->width(), 420);
    QVERIFY(!download.IsSuccess());
}

// ---------------------------------------------------------------------------
// The whole check against the loopback server

void WebUpdateTest::offersOnlyNewerVersions_data() {
    QTest::addColumn<QByteArray>("info");
    QTest::addColumn<bool>("offered");
    QTest::addColumn<QString>("shownAs");
    QTest::newRow("same version") << QByteArray("[update]\nnewversion=2.5.0.0\n") << false << "";
    QTest::newRow("older") << QByteArray("[update]\nnewversion=2.4.9.9\n") << false << "";
    QTest::newRow("commas") << QByteArray("[update]\nnewversion=2,5,0,1\n") << true << "2.5.0.1";
    QTest::newRow("one part") << QByteArray("[update]\nnewversion=3\n") << true << "3";
    QTest::newRow("part wraps to equal") << QByteArray("[update]\nnewversion=2.65541\n") << false
                                         << "";
    QTest::newRow("part wraps to newer") << QByteArray("[update]\nnewversion=2.65542\n") << true
                                         << "2.65542";
    QTest::newRow("not a number") << QByteArray("[update]\nnewversion=latest\n") << false << "";
    QTest::newRow("empty") << QByteArray("[update]\nnewversion=\n") << false << "";
    QTest::newRow("names in other case") << QByteArray("[UPDATE]\nNewVersion=2.6\n") << true
                                         << "2.6";
}

void WebUpdateTest::offersOnlyNewerVersions() {
    QFETCH(QByteArray, info);
    QFETCH(bool, offered);
    QFETCH(QString, shownAs);
    FServer->Routes["/update/pyxol/pyxol.inf"].body = info;
    QVERIFY(!RunCheck(FServer->Base()));
    QCOMPARE(FServer->Requests, QList<QByteArray>{"/update/pyxol/pyxol.inf"});
    QCOMPARE(FSession.NewVersionShown, offered);
    if (offered)
        QCOMPARE(FSession.NewVersionPrompt,
                 QStringLiteral("<B>A new version(%1) is available. Please find the what's new "
                                "information below:</B>")
                     .arg(shownAs));
    QCOMPARE(FSession.Boxes, QStringList());
    QCOMPARE(TempFiles(), QStringList());  // the information file is deleted
}

void WebUpdateTest::serverFailuresAreSilent_data() {
    QTest::addColumn<int>("status");
    QTest::newRow("not found") << 404;
    QTest::newRow("server error") << 500;
    QTest::newRow("server down") << 0;
    QTest::newRow("information file too large") << 200;
}

void WebUpdateTest::serverFailuresAreSilent() {
    QFETCH(int, status);
    QString base = FServer->Base();
    if (status == 0)
        FServer->close();  // nothing listens on the port any more
    else if (status != 200)
        FServer->Routes["/update/pyxol/pyxol.inf"] = {status, "[update]\nnewversion=9\n", {}, -1};
    else
        FServer->Routes["/update/pyxol/pyxol.inf"].body =
            "[update]\nnewversion=9\n" + QByteArray(5 * 1024 * 1024, ';');
    QVERIFY(!RunCheck(base));
    QVERIFY(!FSession.NewVersionShown);
    QCOMPARE(FSession.Boxes, QStringList());
    QCOMPARE(TempFiles(), QStringList());
}

void WebUpdateTest::untrustedCertificateDownloadsNothing() {
    THttpsServer impostor(FUntrustedCertificate, FUntrustedKey);
    QVERIFY(impostor.listen(QHostAddress::LocalHost));
    impostor.Routes["/update/pyxol/pyxol.inf"].body = InfoFile("9.0", impostor.Base().toLatin1());
    QVERIFY(!RunCheck(impostor.Base()));
    QVERIFY(!FSession.NewVersionShown);
    QCOMPARE(FSession.Boxes, QStringList());
    QCOMPARE(impostor.Requests, QList<QByteArray>());  // no request passed the handshake
    QCOMPARE(TempFiles(), QStringList());
}

void WebUpdateTest::redirectsOnlyToHttps() {
    const QByteArray base = FServer->Base().toLatin1();
    FServer->Routes["/update/pyxol/pyxol.inf"] = {302, "", "Location: " + base + "/moved.inf\r\n", -1};
    FServer->Routes["/moved.inf"].body = "[update]\nnewversion=2.6\n";
    QVERIFY(!RunCheck(FServer->Base()));
    QVERIFY(FSession.NewVersionShown);

    FSession = TSession();
    FServer->Requests.clear();
    QByteArray plain = base;
    plain.replace("https:", "http:");
    FServer->Routes["/update/pyxol/pyxol.inf"].extraHeaders = "Location: " + plain + "/moved.inf\r\n";
    QVERIFY(!RunCheck(FServer->Base()));
    QVERIFY(!FSession.NewVersionShown);
    QCOMPARE(FServer->Requests, QList<QByteArray>{"/update/pyxol/pyxol.inf"});
    QCOMPARE(TempFiles(), QStringList());
}

void WebUpdateTest::emptyBaseAddressSkipsCheck() {
    QWidget owner;
    bool windowShown = false;
    QTimer::singleShot(0, [&] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (qobject_cast<TCheckUpdateForm*>(w) && w->isVisible()) {
                windowShown = true;
                w->close();
            }
    });
    QVERIFY(!RunAutomaticUpdateCheck(&owner, true, QString()));
    QVERIFY(!RunAutomaticUpdateCheck(&owner, false, FServer->Base()));
    QTest::qWait(20);
    QVERIFY(!windowShown);
    QCOMPARE(FServer->Requests, QList<QByteArray>());
}

void WebUpdateTest::mainWindowChecksOnceAfterShowing_data() {
    QTest::addColumn<bool>("autoUpdate");
    QTest::newRow("option on") << true;
    QTest::newRow("option off") << false;
}

void WebUpdateTest::mainWindowChecksOnceAfterShowing() {
    QFETCH(bool, autoUpdate);
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
    TBrelRegIniFile ini(GetSettingsFileName(GetSettingsKeyName()));
    ini.WriteString(QStringLiteral("Misc"), QStringLiteral("UpdateServer"), FServer->Base());
    ini.WriteBool(QStringLiteral("Misc"), QStringLiteral("AutoUpdate"), autoUpdate);
    QVERIFY(ini.Save());
    FServer->Routes["/update/pyxol/pyxol.inf"].body = "[update]\nnewversion=2.5.0.0\n";
    {
        TMainForm form;
        form.FormCreate({});
        QTest::qWait(20);
        QCOMPARE(FServer->Requests, QList<QByteArray>());  // nothing before the showing
        form.show();
        if (autoUpdate)
            QTRY_COMPARE(FServer->Requests, QList<QByteArray>{"/update/pyxol/pyxol.inf"});
        form.hide();
        form.show();  // a second showing checks no more
        QTest::qWait(100);
        QCOMPARE(FServer->Requests.size(), autoUpdate ? 1 : 0);
    }
    qunsetenv("XDG_CONFIG_HOME");
}

void WebUpdateTest::noTemporaryFileKeepsWindowOpen() {
    // A temporary-files "folder" that is a plain file: nothing can be made in
    // it, whoever runs the test.
    const QString notAFolder = FTempDir->path() + QStringLiteral("/plain");
    QFile plain(notAFolder);
    QVERIFY(plain.open(QIODevice::WriteOnly));
    plain.close();
    qputenv("TMPDIR", QFile::encodeName(notAFolder));
    FServer->Routes["/update/pyxol/pyxol.inf"].body = "[update]\nnewversion=9\n";
    TCheckUpdateForm form(nullptr, FServer->Base());
    QCOMPARE(form.windowTitle(), QStringLiteral("Check for Update..."));
    QCOMPARE(form.labMsg->text(), QStringLiteral("Check for product updates. Please wait ..."));
    bool stayedOpen = false;
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [&] {
        if (!FSession.Boxes.isEmpty() && form.isVisible()) {
            stayedOpen = true;
            form.btnClose->click();
        }
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* offer = qobject_cast<TNewVersionForm*>(w); offer && offer->isVisible())
                offer->btnClose->click();  // the check went on after all
    });
    closer.start(5);
    form.exec();
    QVERIFY(stayedOpen);
    QCOMPARE(FSession.Boxes.size(), 1);  // the system's reason
    QVERIFY2(FSession.Boxes.first().contains(QLatin1String("Not a directory")),
             qPrintable(FSession.Boxes.first()));
    QCOMPARE(FServer->Requests, QList<QByteArray>());
}

void WebUpdateTest::whatsNewFallback_data() {
    QTest::addColumn<QByteArray>("whatsNewPath");  // empty: no "whatsnew" key
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("shown");
    const QString sorry = QStringLiteral("Sorry but no what's new information available!");
    QTest::newRow("notes") << QByteArray("/files/whatsnew.txt") << 200
                           << QByteArray("Fixes:\r\n- faster scans\r\n") << "Fixes:\n- faster scans";
    QTest::newRow("no key") << QByteArray() << 200 << QByteArray() << sorry;
    QTest::newRow("not found") << QByteArray("/files/whatsnew.txt") << 404 << QByteArray("x")
                               << sorry;
    QTest::newRow("empty file") << QByteArray("/files/whatsnew.txt") << 200 << QByteArray()
                                << sorry;
}

void WebUpdateTest::whatsNewFallback() {
    QFETCH(QByteArray, whatsNewPath);
    QFETCH(int, status);
    QFETCH(QByteArray, body);
    QFETCH(QString, shown);
    const QByteArray base = FServer->Base().toLatin1();
    FServer->Routes["/update/pyxol/pyxol.inf"].body = InfoFile("2.6", base, "/x.deb", whatsNewPath);
    FServer->Routes["/files/whatsnew.txt"] = {status, body, {}, -1};
    QVERIFY(!RunCheck(FServer->Base()));
    QVERIFY(FSession.NewVersionShown);
    QCOMPARE(FSession.WhatsNew, shown);
    QCOMPARE(TempFiles(), QStringList());  // the what's-new file is deleted too
}

void WebUpdateTest::serverTextIsNotMarkup() {
    const QByteArray base = FServer->Base().toLatin1();
    FServer->Routes["/update/pyxol/pyxol.inf"].body =
        InfoFile("3,0,0,1 <img src=x>", base, "/files/<b>setup</b>.deb");
    FServer->Routes["/files/whatsnew.txt"].body = "<b>bold</b> &amp; <a href=x>link</a>";
    FServer->Routes["/files/%3Cb%3Esetup%3C/b%3E.deb"].body = "installer";
    FSession.Upgrade = true;
    FSession.InstallNow = QMessageBox::No;
    RunCheck(FServer->Base());
    QCOMPARE(FSession.NewVersionPrompt,
             QStringLiteral("<B>A new version(3.0.0.1 &lt;img src=x&gt;) is available. Please "
                            "find the what's new information below:</B>"));
    QCOMPARE(FSession.WhatsNew, QStringLiteral("<b>bold</b> &amp; <a href=x>link</a>"));
    QVERIFY(!FSession.DownloadLabels.isEmpty());
    for (const QString& label : FSession.DownloadLabels) {
        QVERIFY2(!label.contains(QLatin1String("<b>")), qPrintable(label));
        QVERIFY2(label.contains(QLatin1String("&lt;b&gt;")) ||
                     label.contains(QLatin1String("%3Cb%3E")),
                 qPrintable(label));
    }
}

void WebUpdateTest::downloadsAndStartsInstaller() {
    const QByteArray base = FServer->Base().toLatin1();
    QByteArray installer(300000, '\0');
    for (int i = 0; i < installer.size(); ++i)
        installer[i] = char(i * 7 + i / 251);
    FServer->Routes["/update/pyxol/pyxol.inf"].body = InfoFile("2.6.0.0", base);
    FServer->Routes["/files/whatsnew.txt"].body = "Notes";
    FServer->Routes["/files/vantrel_2.6.0_amd64.deb"].body = installer;
    FSession.Upgrade = true;
    QVERIFY(RunCheck(FServer->Base()));

    const QString target = FTempDir->path() + QStringLiteral("/File0.deb");
    QCOMPARE(FSession.Boxes,
             QStringList{"Download completed successfully. Would you like to install the "
                         "latest version now?"});
    QCOMPARE(FSession.Opened, QList<QUrl>{QUrl::fromLocalFile(target)});
    QFile file(target);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), installer);
    // Only the installer stays behind.
    QCOMPARE(TempFiles(), QStringList{"File0.deb"});
    QVERIFY(!FSession.DownloadLabels.isEmpty());
    QCOMPARE(FSession.DownloadLabels.first(),
             QStringLiteral("Download file from %1/files/vantrel_2.6.0_amd64.deb ...<BR><BR>"
                            "<B>0 bytes downloaded</B>")
                 .arg(FServer->Base()));

    TDownloadForm form(nullptr, QUrl("https://h/a&b.deb"), QString());
    QVERIFY(form.UpdateProgress(1234567));
    QCOMPARE(form.labMsg->text(),
             "Download file from https://h/a&amp;b.deb ...<BR><BR><B>" + FormatNumberN(1234567) +
                 " bytes downloaded</B>");
}

void WebUpdateTest::takenInstallerNameGivesNextNumber() {
    QFile taken(FTempDir->path() + QStringLiteral("/File0.deb"));
    QVERIFY(taken.open(QIODevice::WriteOnly));
    taken.write("earlier run");
    taken.close();
    const QByteArray base = FServer->Base().toLatin1();
    FServer->Routes["/update/pyxol/pyxol.inf"].body = InfoFile("2.6.0.0", base);
    FServer->Routes["/files/vantrel_2.6.0_amd64.deb"].body = "new installer";
    FSession.Upgrade = true;
    QVERIFY(RunCheck(FServer->Base()));
    QCOMPARE(FSession.Opened,
             QList<QUrl>{QUrl::fromLocalFile(FTempDir->path() + QStringLiteral("/File1.deb"))});
    QVERIFY(taken.open(QIODevice::ReadOnly));
    QCOMPARE(taken.readAll(), QByteArray("earlier run"));
}

// Someone else's link under the installer's name in the shared temporary
// folder: the download refuses to write through it.
void WebUpdateTest::plantedLinkIsNotWrittenThrough() {
    const QString victim = FCertDir.path() + QStringLiteral("/victim");
    QVERIFY(QFile::link(victim, FTempDir->path() + QStringLiteral("/File0.deb")));
    const QByteArray base = FServer->Base().toLatin1();
    FServer->Routes["/update/pyxol/pyxol.inf"].body = InfoFile("2.6.0.0", base);
    FServer->Routes["/files/vantrel_2.6.0_amd64.deb"].body = "installer";
    FSession.Upgrade = true;
    QVERIFY(!RunCheck(FServer->Base()));
    QVERIFY(!QFileInfo::exists(victim));
    QCOMPARE(FSession.Opened, QList<QUrl>());
    QCOMPARE(FSession.Boxes.last(), QStringLiteral("Error: Download failed!"));
}

void WebUpdateTest::abortAnsweredNoContinues() {
    const QByteArray base = FServer->Base().toLatin1();
    const QByteArray installer(100000, 'i');
    FServer->Routes["/update/pyxol/pyxol.inf"].body = InfoFile("2.6.0.0", base);
    FServer->Routes["/files/vantrel_2.6.0_amd64.deb"] = {200, installer, {}, 4000};
    FSession.Upgrade = true;
    FSession.AbortAnswers = {QMessageBox::No};
    bool pressed = false;
    FSession.OnDownloadProgress = [&](TDownloadForm* form) {
        if (pressed || !form->labMsg->text().contains("<B>" + FormatNumberN(4000) + " bytes"))
            return;
        pressed = true;
        form->btnAbort->click();  // answered No: the transfer goes on
        FServer->Release();
    };
    QVERIFY(RunCheck(FServer->Base()));
    QVERIFY(pressed);
    QCOMPARE(FSession.Boxes,
             (QStringList{"Would you like to abort the download process?",
                          "Download completed successfully. Would you like to install the "
                          "latest version now?"}));
    QFile file(FTempDir->path() + QStringLiteral("/File0.deb"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), installer);
}

void WebUpdateTest::abortConfirmedFails() {
    const QByteArray base = FServer->Base().toLatin1();
    FServer->Routes["/update/pyxol/pyxol.inf"].body = InfoFile("2.6.0.0", base);
    FServer->Routes["/files/vantrel_2.6.0_amd64.deb"] = {200, QByteArray(100000, 'i'), {}, 4000};
    FSession.Upgrade = true;
    FSession.AbortAnswers = {QMessageBox::Yes};
    bool pressed = false;
    FSession.OnDownloadProgress = [&](TDownloadForm* form) {
        if (pressed || !form->labMsg->text().contains("<B>" + FormatNumberN(4000) + " bytes"))
            return;
        pressed = true;
        form->btnAbort->click();
    };
    QVERIFY(!RunCheck(FServer->Base()));
    QVERIFY(pressed);
    QCOMPARE(FSession.Boxes, (QStringList{"Would you like to abort the download process?",
                                          "Error: Download failed!"}));
    QCOMPARE(FSession.Opened, QList<QUrl>());
    QCOMPARE(TempFiles(), QStringList());  // nothing half-written stays
    FServer->Release();
}

void WebUpdateTest::transferEndsWhileAsking_data() {
    QTest::addColumn<bool>("abort");
    QTest::newRow("answered No") << false;
    QTest::newRow("answered Yes") << true;
}

// The transfer ends while the abort question is still open: the window waits
// for the answer, which decides.
void WebUpdateTest::transferEndsWhileAsking() {
    QFETCH(bool, abort);
    const QByteArray base = FServer->Base().toLatin1();
    const QByteArray installer(50000, 'i');
    FServer->Routes["/update/pyxol/pyxol.inf"].body = InfoFile("2.6.0.0", base);
    FServer->Routes["/files/vantrel_2.6.0_amd64.deb"] = {200, installer, {}, 4000};
    FSession.Upgrade = true;
    FSession.AbortAnswers = {abort ? QMessageBox::Yes : QMessageBox::No};
    QPointer<TDownloadForm> window;
    bool stayedOpen = false;
    FSession.WhileAskingAbort = [&] {
        FServer->Release();
        const QString target = FTempDir->path() + QStringLiteral("/File0.deb");
        QTRY_COMPARE_WITH_TIMEOUT(QFileInfo(target).size(), qint64(installer.size()), 10000);
        QTest::qWait(50);  // the end of the transfer reaches the window
        stayedOpen = window && window->isVisible();
    };
    FSession.OnDownloadProgress = [&](TDownloadForm* form) {
        if (window || !form->labMsg->text().contains("<B>" + FormatNumberN(4000) + " bytes"))
            return;
        window = form;
        form->btnAbort->click();
    };
    QCOMPARE(RunCheck(FServer->Base()), !abort);
    QVERIFY(stayedOpen);
    if (abort) {
        QCOMPARE(FSession.Boxes.last(), QStringLiteral("Error: Download failed!"));
        QCOMPARE(TempFiles(), QStringList());
    } else {
        QCOMPARE(TempFiles(), QStringList{"File0.deb"});
    }
}

void WebUpdateTest::installerNotStartedWhenUserSaysNo() {
    const QByteArray base = FServer->Base().toLatin1();
    FServer->Routes["/update/pyxol/pyxol.inf"].body = InfoFile("2.6.0.0", base);
    FServer->Routes["/files/vantrel_2.6.0_amd64.deb"].body = "installer";
    FSession.Upgrade = true;
    FSession.InstallNow = QMessageBox::No;
    QVERIFY(!RunCheck(FServer->Base()));
    QCOMPARE(FSession.Opened, QList<QUrl>());
    QCOMPARE(TempFiles(), QStringList{"File0.deb"});  // the download stays
}

void WebUpdateTest::launchFailureIsReported() {
    const QByteArray base = FServer->Base().toLatin1();
    FServer->Routes["/update/pyxol/pyxol.inf"].body = InfoFile("2.6.0.0", base);
    FServer->Routes["/files/vantrel_2.6.0_amd64.deb"].body = "installer";
    FSession.Upgrade = true;
    FSession.OpenSucceeds = false;
    QVERIFY(!RunCheck(FServer->Base()));
    QCOMPARE(FSession.Boxes.last(), QStringLiteral("Error: Cannot launch the installer!"));
}

// An installer without a package extension is a program: it is made
// executable and run in its own folder.
void WebUpdateTest::programInstallerIsRun() {
    const QByteArray base = FServer->Base().toLatin1();
    FServer->Routes["/update/pyxol/pyxol.inf"].body = InfoFile("2.6.0.0", base, "/files/setup");
    FServer->Routes["/files/setup"].body = "#!/bin/sh\necho started > started.txt\n";
    FSession.Upgrade = true;
    QVERIFY(RunCheck(FServer->Base()));
    QCOMPARE(FSession.Opened, QList<QUrl>());
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(FTempDir->path() + QStringLiteral("/started.txt")), 10000);
    QVERIFY(QFileInfo(FTempDir->path() + QStringLiteral("/File0")).isExecutable());
}

void WebUpdateTest::installerDownloadFailures_data() {
    QTest::addColumn<QByteArray>("installerUrl");  // relative to the server; empty: no key
    QTest::newRow("no installer key") << QByteArray();
    QTest::newRow("installer not found") << QByteArray("/files/missing.deb");
    QTest::newRow("plain http") << QByteArray("http");
    QTest::newRow("connection closed early") << QByteArray("/files/truncated.deb");
}

void WebUpdateTest::installerDownloadFailures() {
    QFETCH(QByteArray, installerUrl);
    QByteArray base = FServer->Base().toLatin1();
    QByteArray info = InfoFile("2.6.0.0", base, installerUrl);
    if (installerUrl == "http") {
        FServer->Routes["/files/setup.deb"].body = "installer";
        QByteArray plain = base;
        plain.replace("https:", "http:");
        info = InfoFile("2.6.0.0", plain, "/files/setup.deb");
    }
    FServer->Routes["/update/pyxol/pyxol.inf"].body = info;
    FServer->Routes["/files/truncated.deb"] = {200, QByteArray(10000, 't'), {}, -1, 20000};
    FSession.Upgrade = true;
    QVERIFY(!RunCheck(FServer->Base()));
    QCOMPARE(FSession.Boxes, QStringList{"Error: Download failed!"});
    QCOMPARE(TempFiles(), QStringList());
}

QTEST_MAIN(WebUpdateTest)
#include "webupdate_test.moc"
