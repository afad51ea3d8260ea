// The main window against the real engine: generated stores repaired through
// btnRepairClick, the recovered files compared with what the generator says
// a repair must bring back, a stop in the middle of a real scan, and the
// engine's own message box for a source another program holds locked.
#include "BrelMsgBox.h"
#include "BrelShell.h"
#include "BrelUtils.h"
#include "MainFrm.h"
#include "ModalWatch.h"
#include "NoUpdateCheck.h"
#include "MsgFrm.h"
#include "Setting.h"
#include "storegen/storegen.h"
#include "write_lock.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <fcntl.h>
#include <unistd.h>

#include <vector>

namespace {

struct TBox {
    TBrelMsgType Kind;
    QString Text;
};

// FNV-1a hashes of every .eml file under Dir, however deep.
QList<quint64> RecoveredHashes(const QString& Dir) {
    QList<quint64> hashes;
    QDirIterator it(Dir, {QStringLiteral("*.eml")}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        QFile f(it.next());
        if (!f.open(QIODevice::ReadOnly))
            qFatal("cannot read %s", qPrintable(f.fileName()));
        const QByteArray bytes = f.readAll();
        hashes << storegen::Fnv1a64(bytes.constData(), size_t(bytes.size()));
    }
    std::sort(hashes.begin(), hashes.end());
    return hashes;
}

}  // namespace

class MainWindowEngineTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir FDir;
    std::vector<TBox> FBoxes;
    QStringList FOpened;
    int FReportRows = -1;
    QStringList FReportSubjects;

    QString WriteStore(const QString& Name, const storegen::Options& Options,
                       storegen::Manifest& Manifest) {
        const QString path = FDir.filePath(Name);
        Manifest = storegen::GenerateToFile(Options, path.toStdString());
        return path;
    }

    void CatchReportWindow() {
        OnModalShown<TMsgForm>(this, [this](TMsgForm* form) {
            FReportRows = form->Model()->rowCount();
            for (int r = 0; r < FReportRows; ++r)
                FReportSubjects << form->Model()->ReportListData(r, 1);
            form->findChild<QPushButton*>(QStringLiteral("btnClose"))->click();
        });
    }

    void Repair(TMainForm& Form, const QString& Source, const QString& Output) {
        Form.findChild<QLineEdit*>(QStringLiteral("txtSrcFile"))->setText(Source);
        Form.findChild<QLineEdit*>(QStringLiteral("txtDstFile"))->setText(Output);
        Form.findChild<QPushButton*>(QStringLiteral("btnRepair"))->click();
    }

private slots:
    void initTestCase() {
        QVERIFY(FDir.isValid());
        SetBrelMsgPresenter([this](QWidget*, TBrelMsgType Kind, const QString& Text,
                                   QMessageBox::StandardButtons) {
            FBoxes.push_back({Kind, Text});
            return QMessageBox::Ok;
        });
        SetBrelShellOpenHandler([this](const QUrl& Url) {
            FOpened << Url.toLocalFile();
            return true;
        });
    }

    void init() {
        FBoxes.clear();
        FOpened.clear();
        FReportRows = -1;
        FReportSubjects.clear();
        QFile::remove(GetSettingsFileName(GetSettingsKeyName()));
        QVERIFY(TurnOffUpdateServer());
    }

    void repairsGeneratedStores_data() {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("name");
        QTest::newRow("dbx") << int(storegen::StoreKind::Dbx) << QStringLiteral("Inbox.dbx");
        QTest::newRow("mbx") << int(storegen::StoreKind::Mbx) << QStringLiteral("Inbox.mbx");
    }

    void repairsGeneratedStores() {
        QFETCH(int, kind);
        QFETCH(QString, name);
        storegen::Options options;
        options.kind = storegen::StoreKind(kind);
        options.seed = 7;
        options.messageCount = 12;
        storegen::Manifest manifest;
        const QString source = WriteStore(name, options, manifest);
        const QString output = FDir.filePath(name + QStringLiteral("_out/"));
        QVERIFY(!manifest.recoveries.empty());

        TMainForm form;
        form.FormCreate({});
        form.findChild<QCheckBox*>(QStringLiteral("chkOpenFixed"))->setChecked(true);
        CatchReportWindow();
        Repair(form, source, output);

        QVERIFY2(FBoxes.empty(), FBoxes.empty() ? "" : qPrintable(FBoxes[0].Text));
        const int expected = int(manifest.recoveries.size());
        QCOMPARE(FReportRows, expected);
        QList<quint64> want;
        for (const storegen::Recovery& r : manifest.recoveries)
            want << r.fnv;
        std::sort(want.begin(), want.end());
        QCOMPARE(RecoveredHashes(output), want);
        QCOMPARE(FOpened, QStringList{output});

        const QStringList log = form.LogLines();
        QCOMPARE(log.at(0), QStringLiteral("Start repair process ..."));
        QCOMPARE(log.at(2), QStringLiteral("File to be repaired: '%1'; File size: %2 bytes")
                                .arg(source, FormatNumberN(qint64(manifest.fileSize))));
        int firsts = 0, finishes = 0;
        for (const QString& line : log) {
            firsts += line.startsWith(QStringLiteral("Start processing message (No."));
            finishes += line.startsWith(QStringLiteral("Finish processing message (No."));
        }
        QCOMPARE(firsts, expected);
        QCOMPARE(finishes, expected);
        QVERIFY(log.contains(QStringLiteral("Repair process completes.")));
        QVERIFY(log.indexOf(QStringLiteral("Start processing message (No.1) ...")) <
                log.indexOf(QStringLiteral("Repair process completes.")));
    }

    void stopsARealScan() {
        storegen::Options options;
        options.kind = storegen::StoreKind::Mbx;
        options.seed = 3;
        options.messageCount = 400;
        options.targetSize = 24u << 20;
        storegen::Manifest manifest;
        const QString source = WriteStore(QStringLiteral("Big.mbx"), options, manifest);
        const QString output = FDir.filePath(QStringLiteral("big_out/"));

        TMainForm form;
        form.FormCreate({});
        form.show();
        form.findChild<QCheckBox*>(QStringLiteral("chkOpenFixed"))->setChecked(true);
        auto* repair = form.findChild<QPushButton*>(QStringLiteral("btnRepair"));
        // Clicked from inside the engine's progress pumping.
        QTimer::singleShot(0, repair, [repair] { repair->click(); });
        Repair(form, source, output);

        const QStringList log = form.LogLines();
        QCOMPARE(log.last(), QStringLiteral("User aborts the repair process."));
        QCOMPARE(log.at(log.size() - 3), QStringLiteral("Repair process completes."));
        QVERIFY(log.at(log.size() - 5).startsWith(QStringLiteral("Consumed time: ")));
        QCOMPARE(FBoxes.size(), size_t(1));
        QCOMPARE(FBoxes[0].Text, QStringLiteral("User aborts the repair process."));
        QVERIFY(FOpened.isEmpty());
        QVERIFY(RecoveredHashes(output).size() < qsizetype(manifest.recoveries.size()));
        QVERIFY(!form.InRepair());
    }

    void lockedSourceShowsTheEngineBox() {
        storegen::Options options;
        options.messageCount = 2;
        storegen::Manifest manifest;
        const QString source = WriteStore(QStringLiteral("Locked.dbx"), options, manifest);
        // Another program holds a write lock on the whole file.
        WriteLockHolder writer(source.toLocal8Bit().toStdString());
        QVERIFY(writer.Held());

        TMainForm form;
        form.FormCreate({});
        Repair(form, source, FDir.filePath(QStringLiteral("locked_out/")));
        writer.Release();

        QCOMPARE(FBoxes.size(), size_t(2));
        QVERIFY2(FBoxes[0].Text.startsWith(
                     QStringLiteral("Error 7: Share violation when opening the source file 'Locked.dbx'.")),
                 qPrintable(FBoxes[0].Text));
        QCOMPARE(FBoxes[0].Kind, TBrelMsgType::Information);
        QCOMPARE(FBoxes[1].Text, QStringLiteral("Fail to repair file '%1'!").arg(source));
        const QStringList log = form.LogLines();
        QVERIFY(log.contains(QStringLiteral("Error 7: Share violation when opening the source file 'Locked.dbx'.")));
        QCOMPARE(log.last(), QStringLiteral("Fail to repair file '%1'!").arg(source));
    }
};

int main(int argc, char** argv) {
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    QApplication app(argc, argv);
    MainWindowEngineTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "mainwindow_engine_test.moc"
