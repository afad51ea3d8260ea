// The main window's single-file repair, driven through its real widgets with
// a scripted engine behind the real binding: the checks before the engine
// runs, the log, the report cells and window, stop, failure, the engine's
// message box, the options record, saving the log and the command line.
#include "BrelMsgBox.h"
#include "BrelShell.h"
#include "BrelUtils.h"
#include "Hovar.h"
#include "MainFrm.h"
#include "ModalWatch.h"
#include "NoUpdateCheck.h"
#include "MsgFrm.h"
#include "Setting.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QDropEvent>
#include <QMimeData>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeView>

#include <functional>
#include <string>
#include <vector>

namespace {

const QString kSep = QString::fromUtf8(kRepairLogSeparator);

// ---------------------------------------------------------------------------
// A scripted engine behind the real InvokeRepairEngine: it unmasks the block
// as the library does, records what it was given and runs the test's script.

struct TEngineCall {
    QString Source;
    QString Output;
    RepairOptions Options{};
    intptr_t Reserved = -1;
};

class TEngineHost {
public:
    explicit TEngineHost(const RepairParams& P) : FParams(P) {}
    int32_t Send(int32_t Code, const void* Payload) const {
        return FParams.pfnCallback(Code, Payload, FParams.pHostContext);
    }
    void Text(int32_t Code, const QString& Text) const {
        const std::u16string s = Text.toStdU16String();
        Send(Code, s.c_str());
    }
    void Progress(uint8_t Value) const { Send(EVENT_PROGRESS, &Value); }
    bool QueryStop() const { return Send(EVENT_QUERY_STOP, nullptr) != 0; }
    void Columns(int32_t N) const { Send(EVENT_REPORT_COLUMNS, &N); }

private:
    RepairParams FParams;
};

using TScript = std::function<int32_t(const TEngineHost&)>;
std::vector<TEngineCall> g_Calls;
TScript g_Script;

int32_t ScriptedEngine(const RepairParams* Masked) {
    const RepairParams p = PyxolMaskParams(*Masked);
    TEngineCall call;
    call.Source = QString::fromUtf16(p.pszSourceFile);
    call.Output = QString::fromUtf16(p.pszOutputDir);
    call.Options = *p.pOptions;
    call.Reserved = p.nReserved;
    g_Calls.push_back(call);
    return g_Script ? g_Script(TEngineHost(p)) : 0;
}

// A repair that recovers two messages, as the engine reports it.
int32_t TwoMessageRepair(const TEngineHost& Host) {
    Host.Progress(0);
    Host.Columns(2);
    Host.Text(EVENT_REPORT_CELL, QStringLiteral("Message No."));
    Host.Text(EVENT_REPORT_CELL, QStringLiteral("Subject"));
    Host.Progress(40);
    Host.Text(EVENT_LOG_LINE, QStringLiteral("Start processing message (No.1) ..."));
    Host.Text(EVENT_LOG_LINE, QStringLiteral("-"));
    Host.Text(EVENT_REPORT_CELL, QStringLiteral("1"));
    Host.Text(EVENT_REPORT_CELL, QStringLiteral("Hello"));
    Host.Text(EVENT_ERROR, QStringLiteral("Error 4: Cannot create temporary file."));
    Host.Text(EVENT_LOG_LINE, QStringLiteral(" -"));
    Host.Text(EVENT_REPORT_CELL, QStringLiteral("2"));
    Host.Text(EVENT_REPORT_CELL, QStringLiteral("World"));
    Host.Progress(100);
    return 1;
}

// ---------------------------------------------------------------------------
// Boxes, desktop "open" and the report window, answered by the test.

struct TBox {
    TBrelMsgType Kind;
    QString Text;
};

struct TReportSeen {
    bool Shown = false;
    QString Message;
    QString Title;
    int Rows = -1;
    QStringList Headings;
    QStringList Cells;
};

}  // namespace

class MainWindowTest : public QObject {
    Q_OBJECT

private:
    std::vector<TBox> FBoxes;
    QStringList FOpened;
    bool FOpenSucceeds = true;
    TReportSeen FReport;
    std::function<void()> FOnBox;
    QTemporaryDir FDir;

    template <typename T>
    static T* Child(QWidget* Form, const char* Name) {
        T* w = Form->findChild<T*>(QString::fromLatin1(Name));
        if (!w)
            qFatal("no control %s", Name);
        return w;
    }

    QString MakeFile(const QString& Name, const QByteArray& Data = "x") {
        const QString path = FDir.filePath(Name);
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly) || f.write(Data) != Data.size())
            qFatal("cannot write %s", qPrintable(path));
        return path;
    }

    // Closes the report window as soon as it is shown, noting what it holds.
    void CatchReportWindow() {
        OnModalShown<TMsgForm>(this, [this](TMsgForm* form) {
            FReport.Shown = true;
            FReport.Title = form->windowTitle();
            FReport.Message = form->findChild<QLabel*>(QStringLiteral("labMsg"))->text();
            const TReportModel* model = form->Model();
            FReport.Rows = model->rowCount();
            for (int c = 0; c < model->columnCount(); ++c) {
                FReport.Headings << model->headerData(c, Qt::Horizontal).toString();
                for (int r = 0; r < model->rowCount(); ++r)
                    FReport.Cells << model->index(r, c).data().toString();
            }
            form->findChild<QPushButton*>(QStringLiteral("btnClose"))->click();
        });
    }

    QStringList BoxTexts() const {
        QStringList texts;
        for (const TBox& b : FBoxes)
            texts << b.Text;
        return texts;
    }

private slots:
    void initTestCase() {
        QVERIFY(FDir.isValid());
        SetRepairEntry(&ScriptedEngine);
        SetBrelMsgPresenter([this](QWidget*, TBrelMsgType Kind, const QString& Text,
                                   QMessageBox::StandardButtons) {
            FBoxes.push_back({Kind, Text});
            if (FOnBox)
                FOnBox();
            return Kind == TBrelMsgType::Confirmation ? QMessageBox::Yes : QMessageBox::Ok;
        });
        SetBrelShellOpenHandler([this](const QUrl& Url) {
            FOpened << Url.toLocalFile();
            return FOpenSucceeds;
        });
    }

    void init() {
        FBoxes.clear();
        FOpened.clear();
        FOpenSucceeds = true;
        FReport = TReportSeen();
        FOnBox = nullptr;
        g_Calls.clear();
        g_Script = nullptr;
        // Every case starts from a first run's settings.
        QFile::remove(GetSettingsFileName(GetSettingsKeyName()));
        QVERIFY(TurnOffUpdateServer());
    }

    void fullRepairFillsLogReportAndOpensFolder() {
        TMainForm form;
        form.FormCreate({});
        const QString source = MakeFile(QStringLiteral("Inbox.dbx"), QByteArray(1234, 'a'));
        const QString output = FDir.filePath(QStringLiteral("deep/er/out/"));
        Child<QLineEdit>(&form, "txtSrcFile")->setText(source);
        QCOMPARE(Child<QLineEdit>(&form, "txtDstFile")->text(),
                 FDir.filePath(QStringLiteral("Inbox_recovered/")));
        Child<QLineEdit>(&form, "txtDstFile")->setText(output);
        Child<QCheckBox>(&form, "chkOpenFixed")->setChecked(true);
        g_Script = TwoMessageRepair;
        CatchReportWindow();

        QPushButton* repair = Child<QPushButton>(&form, "btnRepair");
        repair->click();

        QCOMPARE(int(g_Calls.size()), 1);
        QCOMPARE(g_Calls[0].Source, source);
        QCOMPARE(g_Calls[0].Output, output);
        QCOMPARE(g_Calls[0].Reserved, intptr_t(0));
        QVERIFY(QDir(output).exists());

        const QStringList log = form.LogLines();
        const QStringList expectedHead = {
            QStringLiteral("Start repair process ..."),
            kSep,
            QStringLiteral("File to be repaired: '%1'; File size: %2 bytes")
                .arg(source, FormatNumberN(1234)),
            QStringLiteral("Output recovered messages to: '%1'").arg(output),
            kSep,
            QStringLiteral("Start processing message (No.1) ..."),
            kSep,
            kSep,
            QStringLiteral("Error 4: Cannot create temporary file."),
            kSep,
            QStringLiteral(" -"),
            kSep,
        };
        QCOMPARE(log.mid(0, expectedHead.size()), expectedHead);
        QVERIFY(log.at(expectedHead.size()).startsWith(QStringLiteral("Consumed time: 0 day(s) 0 hour(s) 0 minute(s) ")));
        QCOMPARE(log.mid(expectedHead.size() + 1, 3),
                 (QStringList{kSep, QStringLiteral("Repair process completes."), kSep}));
        // The success message closes the log as plain text.
        QCOMPARE(log.mid(expectedHead.size() + 4), ResultMessageLogLines(GetSuccessMessage(source)));

        QVERIFY(FReport.Shown);
        QCOMPARE(FReport.Title, QStringLiteral("Information"));
        QVERIFY(FReport.Message.startsWith(GetSuccessMessage(source)));
        QVERIFY(FReport.Message.endsWith(QStringLiteral("<BR><BR><B>Below are all the recovered messages:</B>")));
        QCOMPARE(FReport.Rows, 2);
        QCOMPARE(FReport.Headings, (QStringList{QStringLiteral("Message No."), QStringLiteral("Subject")}));
        QCOMPARE(FReport.Cells, (QStringList{QStringLiteral("1"), QStringLiteral("2"),
                                             QStringLiteral("Hello"), QStringLiteral("World")}));
        QVERIFY(FBoxes.empty());
        QCOMPARE(FOpened, QStringList{output});

        // Back to idle; the cells are gone once the report window closed.
        QCOMPARE(repair->text(), QStringLiteral("&Start Repair"));
        QCOMPARE(repair->property("look").toString(), QStringLiteral("startbutton"));
        QVERIFY(Child<QPushButton>(&form, "btnRepairFiles")->isEnabled());
        QVERIFY(!form.InRepair());
        QVERIFY(form.Reports().isEmpty());
        QCOMPARE(form.ColCount(), 0);
        QCOMPARE(Child<QProgressBar>(&form, "Gauge")->value(), 100);
        QCOMPARE(Child<QLabel>(&form, "labProgress")->text(), QStringLiteral("100% completed"));
    }

    void checksBeforeTheEngine_data() {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("output");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("box");
        QTest::addColumn<bool>("logged");

        const QString existing = MakeFile(QStringLiteral("Exists.mbx"));
        const QString blocker = MakeFile(QStringLiteral("plainfile"));
        QTest::newRow("empty source") << QString() << QStringLiteral("/tmp/x") << int(TBrelMsgType::Information)
                                      << QStringLiteral("Please select or input the file to be repaired!") << false;
        QTest::newRow("blank source") << QStringLiteral("   ") << QStringLiteral("/tmp/x") << int(TBrelMsgType::Information)
                                      << QStringLiteral("Please select or input the file to be repaired!") << false;
        QTest::newRow("missing source") << FDir.filePath(QStringLiteral("Nope.dbx")) << QStringLiteral("/tmp/x")
                                        << int(TBrelMsgType::Information)
                                        << QStringLiteral("'Nope.dbx' does not exist! Please select an existing file!") << false;
        QTest::newRow("folder as source") << FDir.path() << QStringLiteral("/tmp/x") << int(TBrelMsgType::Information)
                                          << QStringLiteral("'%1' does not exist! Please select an existing file!")
                                                 .arg(QDir(FDir.path()).dirName()) << false;
        QTest::newRow("blank output") << existing << QStringLiteral("  ") << int(TBrelMsgType::Information)
                                      << QStringLiteral("Please input the output directory!") << false;
        QTest::newRow("output under a file") << existing << blocker + QStringLiteral("/out/")
                                             << int(TBrelMsgType::Error)
                                             << QStringLiteral("Cannot create the directory '%1/out/'!").arg(blocker)
                                             << true;
    }

    void checksBeforeTheEngine() {
        QFETCH(QString, source);
        QFETCH(QString, output);
        QFETCH(int, kind);
        QFETCH(QString, box);
        QFETCH(bool, logged);
        TMainForm form;
        form.FormCreate({});
        Child<QLineEdit>(&form, "txtSrcFile")->setText(source);
        Child<QLineEdit>(&form, "txtDstFile")->setText(output);
        g_Script = TwoMessageRepair;
        Child<QPushButton>(&form, "btnRepair")->click();

        QVERIFY(g_Calls.empty());
        QCOMPARE(int(FBoxes.size()), 1);
        QCOMPARE(int(FBoxes[0].Kind), kind);
        QCOMPARE(FBoxes[0].Text, box);
        const QStringList log = form.LogLines();
        if (logged) {
            // Header, then the abort line and nothing more.
            QCOMPARE(log.size(), 6);
            QCOMPARE(log.first(), QStringLiteral("Start repair process ..."));
            QCOMPARE(log.last(), QStringLiteral("Abort repairing file 'Exists.mbx'."));
        } else {
            QVERIFY(log.isEmpty());
        }
        QCOMPARE(Child<QPushButton>(&form, "btnRepair")->text(), QStringLiteral("&Start Repair"));
        QVERIFY(!form.InRepair());
    }

    void stopDuringRepair() {
        TMainForm form;
        form.FormCreate({});
        form.show();
        Child<QLineEdit>(&form, "txtSrcFile")->setText(MakeFile(QStringLiteral("Big.mbx")));
        Child<QCheckBox>(&form, "chkOpenFixed")->setChecked(true);
        QPushButton* repair = Child<QPushButton>(&form, "btnRepair");
        int queriesAfterStop = 0;
        int progressEvents = 0;
        g_Script = [&](const TEngineHost& Host) {
            Host.Progress(0);
            Host.Columns(2);
            Host.Text(EVENT_LOG_LINE, QStringLiteral("working"));
            // The click waits in the queue until a progress event pumps it.
            QTimer::singleShot(0, repair, [repair] {
                QCOMPARE(repair->text(), QStringLiteral("&Stop Repair"));
                QCOMPARE(repair->property("look").toString(), QStringLiteral("stopbutton"));
                repair->click();
            });
            for (int i = 1; i <= 100; ++i) {
                if (Host.QueryStop()) {
                    ++queriesAfterStop;
                    if (Host.QueryStop())  // stays set for the rest of the call
                        ++queriesAfterStop;
                    break;
                }
                Host.Progress(uint8_t(i));
                ++progressEvents;
            }
            Host.Progress(100);
            return 0;
        };
        repair->click();

        QCOMPARE(queriesAfterStop, 2);
        QCOMPARE(progressEvents, 1);  // the first changed value pumped the click
        const QStringList log = form.LogLines();
        QCOMPARE(log.last(), QStringLiteral("User aborts the repair process."));
        QCOMPARE(log.at(log.size() - 3), QStringLiteral("Repair process completes."));
        QVERIFY(log.at(log.size() - 5).startsWith(QStringLiteral("Consumed time: ")));
        QVERIFY(log.contains(QStringLiteral("working")));
        QCOMPARE(BoxTexts(), QStringList{QStringLiteral("User aborts the repair process.")});
        QVERIFY(FOpened.isEmpty());
        QCOMPARE(repair->text(), QStringLiteral("&Start Repair"));
        QVERIFY(!form.IsStopRequested());
    }

    void unchangedProgressStillPumpsNowAndThen() {
        // A long stretch of one percentage (an .mbx store sends one progress
        // event per byte): the queue is not pumped per event, but a click
        // still gets through within a few milliseconds.
        TMainForm form;
        form.FormCreate({});
        Child<QLineEdit>(&form, "txtSrcFile")->setText(MakeFile(QStringLiteral("Slow.mbx")));
        QPushButton* repair = Child<QPushButton>(&form, "btnRepair");
        qint64 eventsBeforeStop = 0;
        qint64 msBeforeStop = -1;
        g_Script = [&](const TEngineHost& Host) {
            Host.Progress(5);
            QTimer::singleShot(0, repair, [repair] { repair->click(); });
            QElapsedTimer clock;
            clock.start();
            while (clock.elapsed() < 5000) {
                if (Host.QueryStop()) {
                    msBeforeStop = clock.elapsed();
                    break;
                }
                Host.Progress(5);
                ++eventsBeforeStop;
            }
            return 0;
        };
        repair->click();
        QVERIFY(msBeforeStop >= 0);
        QVERIFY2(msBeforeStop < 1000, qPrintable(QString::number(msBeforeStop)));
        QVERIFY2(eventsBeforeStop >= 4095, qPrintable(QString::number(eventsBeforeStop)));
        QCOMPARE(form.LogLines().last(), QStringLiteral("User aborts the repair process."));
    }

    void closingDuringRepairStopsItFirst() {
        TMainForm form;
        form.FormCreate({});
        form.show();
        Child<QLineEdit>(&form, "txtSrcFile")->setText(MakeFile(QStringLiteral("Closing.dbx")));
        bool stopSeen = false;
        bool visibleWhenStopped = false;
        g_Script = [&](const TEngineHost& Host) {
            QTimer::singleShot(0, &form, [&form] { form.close(); });
            for (int i = 1; i <= 100 && !stopSeen; ++i) {
                Host.Progress(uint8_t(i));
                stopSeen = Host.QueryStop();
            }
            visibleWhenStopped = form.isVisible();
            return 0;
        };
        Child<QPushButton>(&form, "btnRepair")->click();
        QVERIFY(stopSeen);
        QVERIFY(visibleWhenStopped);  // the window outlived the engine call
        QTRY_VERIFY(!form.isVisible());
        QCOMPARE(form.LogLines().last(), QStringLiteral("User aborts the repair process."));
    }

    void helpOpensTheManual() {
        TMainForm form;
        form.FormCreate({});
        Child<QPushButton>(&form, "btnHelp")->click();
        QCOMPARE(FOpened, QStringList{TBrelMainForm::HelpFilePath()});
        QVERIFY(FOpened[0].endsWith(QStringLiteral("/manual.html")));
    }

    void failedRepair() {
        TMainForm form;
        form.FormCreate({});
        const QString source = MakeFile(QStringLiteral("Bad.dbx"));
        Child<QLineEdit>(&form, "txtSrcFile")->setText(source);
        Child<QCheckBox>(&form, "chkOpenFixed")->setChecked(true);
        g_Script = [](const TEngineHost& Host) {
            Host.Progress(0);
            Host.Progress(100);
            return 0;
        };
        Child<QPushButton>(&form, "btnRepair")->click();
        const QString text = QStringLiteral("Fail to repair file '%1'!").arg(source);
        QCOMPARE(BoxTexts(), QStringList{text});
        QCOMPARE(FBoxes[0].Kind, TBrelMsgType::Information);
        QCOMPARE(form.LogLines().last(), text);
        QVERIFY(FOpened.isEmpty());
        QVERIFY(!FReport.Shown);
    }

    void folderThatCannotBeOpened() {
        TMainForm form;
        form.FormCreate({});
        Child<QLineEdit>(&form, "txtSrcFile")->setText(MakeFile(QStringLiteral("Ok.dbx")));
        const QString output = Child<QLineEdit>(&form, "txtDstFile")->text();
        Child<QCheckBox>(&form, "chkOpenFixed")->setChecked(true);
        FOpenSucceeds = false;
        g_Script = TwoMessageRepair;
        CatchReportWindow();
        Child<QPushButton>(&form, "btnRepair")->click();
        QVERIFY(FReport.Shown);
        QCOMPARE(BoxTexts(), QStringList{QStringLiteral("Cannot open directory '%1'!").arg(output)});
        QCOMPARE(FBoxes[0].Kind, TBrelMsgType::Error);
    }

    void engineMessageBoxHoldsTheRepair() {
        TMainForm form;
        form.FormCreate({});
        Child<QLineEdit>(&form, "txtSrcFile")->setText(MakeFile(QStringLiteral("Locked.dbx")));
        QStringList logWhenBoxShown;
        bool engineWaiting = false;
        FOnBox = [&] {
            if (engineWaiting)
                logWhenBoxShown = form.findChild<QPlainTextEdit*>(QStringLiteral("txtRepairLog"))
                                      ->toPlainText().split(u'\n');
        };
        bool continued = false;
        g_Script = [&](const TEngineHost& Host) {
            Host.Progress(0);
            Host.Text(EVENT_ERROR, QStringLiteral("Error 7: Share violation when opening the source file 'Locked.dbx'.\r\nPlease close any other applications accessing the file and try again."));
            engineWaiting = true;
            Host.Text(EVENT_MESSAGE_BOX, QStringLiteral("Error 7: Share violation"));
            engineWaiting = false;
            continued = true;
            Host.Progress(100);
            return 0;
        };
        Child<QPushButton>(&form, "btnRepair")->click();
        QVERIFY(continued);
        QCOMPARE(BoxTexts().first(), QStringLiteral("Error 7: Share violation"));
        QCOMPARE(FBoxes[0].Kind, TBrelMsgType::Information);
        // The log behind the box already shows the error block, its text
        // broken into lines.
        QCOMPARE(logWhenBoxShown.mid(logWhenBoxShown.size() - 4),
                 (QStringList{kSep,
                              QStringLiteral("Error 7: Share violation when opening the source file 'Locked.dbx'."),
                              QStringLiteral("Please close any other applications accessing the file and try again."),
                              kSep}));
        QCOMPARE(int(FBoxes.size()), 2);  // then the failure
    }

    void optionsRecord_data() {
        QTest::addColumn<bool>("useNewDir");
        QTest::addColumn<int>("maxCount");
        QTest::newRow("checked") << true << 250;
        QTest::newRow("unchecked still sends the count") << false << 32767;
    }

    void optionsRecord() {
        QFETCH(bool, useNewDir);
        QFETCH(int, maxCount);
        TMainForm form;
        form.FormCreate({});
        Child<QCheckBox>(&form, "chkUseNewDir")->setChecked(useNewDir);
        QCOMPARE(Child<QSpinBox>(&form, "txtMaxMsgCount")->isEnabled(), useNewDir);
        Child<QSpinBox>(&form, "txtMaxMsgCount")->setValue(maxCount);
        Child<QLineEdit>(&form, "txtSrcFile")->setText(MakeFile(QStringLiteral("Opt.dbx")));
        Child<QPushButton>(&form, "btnRepair")->click();
        QCOMPARE(int(g_Calls.size()), 1);
        QCOMPARE(g_Calls[0].Options.UseNewDir, useNewDir ? -1 : 0);
        QCOMPARE(int(g_Calls[0].Options.MaxMsgCount), maxCount);
    }

    void progressAndStopQuery() {
        TMainForm form;
        auto* gauge = Child<QProgressBar>(&form, "Gauge");
        auto* label = Child<QLabel>(&form, "labProgress");
        QVERIFY(form.SetProgress(37, gauge, label));
        label->setText(QStringLiteral("marker"));
        QVERIFY(!form.SetProgress(37, gauge, label));
        QCOMPARE(label->text(), QStringLiteral("marker"));
        QVERIFY(form.SetProgress(38, gauge, label));
        QCOMPARE(label->text(), QStringLiteral("38% completed"));
        QVERIFY(!form.DispatchEngineEvent(EVENT_QUERY_STOP, nullptr));
        TBrelMainForm* self = &form;
        QCOMPARE(EngineCallback(EVENT_QUERY_STOP, nullptr, &self), 0);
    }

    void reportRowCounts_data() {
        QTest::addColumn<QStringList>("cells");
        QTest::addColumn<int>("cols");
        QTest::addColumn<int>("rows");
        QTest::addColumn<QStringList>("headings");
        const QStringList five = {"Message No.", "Subject", "1", "A", "2"};
        QTest::newRow("five cells, odd one hidden") << five << 2 << 1 << QStringList{"Message No.", "Subject"};
        QTest::newRow("headings only") << five.mid(0, 2) << 2 << 0 << QStringList{"Message No.", "Subject"};
        QTest::newRow("fewer cells than headings") << five.mid(0, 1) << 2 << 0 << QStringList{"Message No.", ""};
        QTest::newRow("no columns announced") << five << 0 << 0 << QStringList{};
    }

    void reportRowCounts() {
        QFETCH(QStringList, cells);
        QFETCH(int, cols);
        QFETCH(int, rows);
        QFETCH(QStringList, headings);
        TReportModel model(&cells, cols);
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QCOMPARE(model.rowCount(), rows);
        QStringList seen;
        for (int c = 0; c < model.columnCount(); ++c)
            seen << model.headerData(c, Qt::Horizontal).toString();
        QCOMPARE(seen, headings);
        if (rows == 1)
            QCOMPARE(model.index(0, 1).data().toString(), QStringLiteral("A"));
    }

    void reportWindowLayout() {
        QStringList cells = {"Message No.", "Subject", "1", "A"};
        TMainForm owner;
        TMsgForm form(&owner, 2, &cells, QStringLiteral("/x/Inbox.dbx"),
                      QStringLiteral("<B>Done</B> <A HREF=\"file:///x/\">folder</A>"));
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        auto* label = form.findChild<QLabel*>(QStringLiteral("labMsg"));
        auto* close = form.findChild<QPushButton*>(QStringLiteral("btnClose"));
        QCOMPARE(label->width(), 405);
        QVERIFY(label->text().contains(QStringLiteral("<b><a HREF=\"file:///x/\">folder</a></b>")));
        QCOMPARE(close->y(), label->geometry().bottom() + 1 + 502);
        QCOMPARE(form.height(), label->height() + close->height() + 559);
        QCOMPARE(form.ReportList()->columnWidth(0), 85);
        QCOMPARE(form.ReportList()->columnWidth(1), 370);
        QVERIFY(form.findChild<QLabel*>(QStringLiteral("imgIcon"))->isHidden());
    }

    void saveLog() {
        TMainForm form;
        form.FormCreate({});
        form.AppendLogLine(QStringLiteral("first"));
        form.AppendLogLine(QStringLiteral("Größe: 2"));
        const QString plain = FDir.filePath(QStringLiteral("plain.log"));
        QVERIFY(form.SaveLogToFile(plain, false));
        QFile f(plain);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), QStringLiteral("first\r\nGröße: 2\r\n").toLocal8Bit());
        f.close();

        const QString full = FDir.filePath(QStringLiteral("full.log"));
        QVERIFY(form.SaveLogToFile(full, true));
        QFile g(full);
        QVERIFY(g.open(QIODevice::ReadOnly));
        const QByteArray data = g.readAll();
        QVERIFY(data.endsWith("\r\n"));
        QVERIFY(!data.contains("\r\r") && !QByteArray(data).replace("\r\n", "").contains('\n'));
        const QStringList lines = QString::fromLocal8Bit(data).split(QStringLiteral("\r\n"));
        QCOMPARE(lines.mid(0, 3), (QStringList{kSep, QStringLiteral("Version, system and setting information:"), kSep}));
        QCOMPARE(lines.at(3), QStringLiteral("Version Information:"));
        const qsizetype setting = lines.indexOf(QStringLiteral("Setting Information:"));
        QVERIFY(setting > 3);
        QCOMPARE(lines.mid(setting - 3, 3), (QStringList{kSep, QStringLiteral("End of System Information"), kSep}));
        QCOMPARE(lines.mid(setting, 11),
                 (QStringList{QStringLiteral("Setting Information:"),
                              QStringLiteral("Op&en the directory containing all the recovered messages: Yes"),
                              QStringLiteral("&Save recovered messages into new folder when messages in current folder reaches: No"),
                              QStringLiteral("&Save recovered messages into new folder when messages in current folder reaches 10000"),
                              QStringLiteral("Dire&ctory for temporary files: ") + Child<QLineEdit>(&form, "txtTempDir")->text(),
                              QStringLiteral("I&nternal Processing Buffer Size: 512"),
                              kSep, QStringLiteral("End of Setting Information"), kSep,
                              QString(), QString()}));
        QCOMPARE(lines.mid(setting + 11),
                 (QStringList{kSep, QStringLiteral("Log:"), kSep, QStringLiteral("first"),
                              QStringLiteral("Größe: 2"), kSep, QString()}));
        QVERIFY(!form.SaveLogToFile(FDir.filePath(QStringLiteral("no/such/dir/x.log")), false));
    }

    void commandLine() {
        const QString source = MakeFile(QStringLiteral("Cmd.dbx"));
        g_Script = TwoMessageRepair;
        {
            TMainForm form;
            CatchReportWindow();
            QVERIFY(form.FormCreate({QStringLiteral("-e"), source, QStringLiteral("-O")}));
            QVERIFY(form.isVisible());
            QCOMPARE(int(g_Calls.size()), 1);
            QCOMPARE(g_Calls[0].Source, source);
            QVERIFY(FReport.Shown);
            QCOMPARE(FOpened, QStringList{FDir.filePath(QStringLiteral("Cmd_recovered/"))});
            QVERIFY(Child<QCheckBox>(&form, "chkOpenFixed")->isChecked());
        }
        init();
        {
            // Without -O the box is unchecked; without -E the program goes on.
            TMainForm form;
            CatchReportWindow();
            QVERIFY(!form.FormCreate({source, QStringLiteral("-x")}));
            QCOMPARE(int(g_Calls.size()), 1);
            QVERIFY(!Child<QCheckBox>(&form, "chkOpenFixed")->isChecked());
            QVERIFY(FOpened.isEmpty());
        }
        init();
        {
            // Only switches: no file at all. "/O" is a path on this system.
            TMainForm form;
            QVERIFY(!form.FormCreate({QStringLiteral("-E"), QStringLiteral("-O")}));
            QCOMPARE(BoxTexts(), QStringList{QStringLiteral("Cannot open file ''!")});
            QCOMPARE(FBoxes[0].Kind, TBrelMsgType::Error);
            QVERIFY(g_Calls.empty());
        }
        init();
        {
            TMainForm form;
            QVERIFY(!form.FormCreate({QStringLiteral("/O"), QStringLiteral("-E")}));
            QCOMPARE(BoxTexts(), QStringList{QStringLiteral("Cannot open file '/O'!")});
        }
    }

    void settingsMeetTheControls() {
        {
            TSetting stored;
            stored.LoadSetting();
            stored.MaxMsgCount = 0;
            stored.BufSize = 100000;
            stored.UseNewDir = true;
            QVERIFY(stored.SaveSetting());
        }
        const QString source = MakeFile(QStringLiteral("Set.dbx"));
        {
            TMainForm form;
            CatchReportWindow();
            g_Script = TwoMessageRepair;
            form.FormCreate({source});
            QCOMPARE(Child<QSpinBox>(&form, "txtMaxMsgCount")->value(), 1);
            QCOMPARE(Child<QSpinBox>(&form, "txtBufSize")->value(), 65536);
            QVERIFY(Child<QSpinBox>(&form, "txtMaxMsgCount")->isEnabled());
            QCOMPARE(int(g_Calls.at(0).Options.MaxMsgCount), 1);
        }
        // The clamped values, and the command line's unchecked box, are what
        // the next start finds.
        TSetting next;
        next.LoadSetting();
        QCOMPARE(next.MaxMsgCount, 1);
        QCOMPARE(next.BufSize, 65536);
        QVERIFY(!next.OpenFixed);
        QVERIFY(next.UseNewDir);
    }

    void startupWorkWaitsForTheCommandLineRepair() {
        const QString source = MakeFile(QStringLiteral("Startup.dbx"));
        TMainForm form;
        int delivered = 0;
        bool duringRepair = false;
        connect(&form, &TBrelMainForm::startupMessage, this, [&] {
            ++delivered;
            duringRepair = duringRepair || form.InRepair();
        });
        g_Script = [](const TEngineHost& Host) {
            for (int i = 0; i <= 100; ++i)
                Host.Progress(uint8_t(i));  // every change pumps the queue
            return 0;
        };
        form.FormCreate({source});
        QTRY_COMPARE(delivered, 1);
        QVERIFY(!duringRepair);
        QTest::qWait(300);
        QCOMPARE(delivered, 1);
    }

    void sourceDialogRemembersFolderAndFilter() {
        const QString folder = FDir.filePath(QStringLiteral("stores"));
        QVERIFY(QDir().mkpath(folder));
        QFile store(folder + QStringLiteral("/Deleted Items.mbx"));
        QVERIFY(store.open(QIODevice::WriteOnly));
        store.close();
        {
            TSetting stored;
            stored.LoadSetting();
            stored.OpenDirectory = folder;
            stored.OpenFilterIndex = 2;
            QVERIFY(stored.SaveSetting());
        }
        QString shownDir, shownFilter;
        {
            TMainForm form;
            form.FormCreate({});
            QTimer::singleShot(0, this, [&] {
                auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
                QVERIFY(dialog);
                shownDir = dialog->directory().absolutePath();
                shownFilter = dialog->selectedNameFilter();
                dialog->selectNameFilter(dialog->nameFilters().first());
                dialog->selectFile(folder + QStringLiteral("/Deleted Items.mbx"));
                QMetaObject::invokeMethod(dialog, "accept");
            });
            Child<QPushButton>(&form, "btnSrcMore")->click();
            QCOMPARE(Child<QLineEdit>(&form, "txtSrcFile")->text(),
                     folder + QStringLiteral("/Deleted Items.mbx"));
            QCOMPARE(Child<QLineEdit>(&form, "txtDstFile")->text(),
                     folder + QStringLiteral("/Deleted Items_recovered/"));
        }
        QCOMPARE(shownDir, folder);
        QCOMPARE(shownFilter, QStringLiteral("All files (*)"));
        TSetting next;
        next.LoadSetting();
        QCOMPARE(next.OpenDirectory, folder);
        QCOMPARE(next.OpenFilterIndex, 1);
    }

    void pagesAndSourceBox() {
        TMainForm form;
        form.FormCreate({});
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QCOMPARE(form.size(), QSize(955, 545));
        Child<QPushButton>(&form, "btnAboutTab")->click();
        QCOMPARE(form.GetActiveMainTabIndex(), 4);
        QVERIFY(!Child<QPushButton>(&form, "btnHelp")->isVisible());
        Child<QPushButton>(&form, "btnOptionsTab")->click();
        Child<QPushButton>(&form, "btnAdvOptionsSubTab")->click();
        QCOMPARE(form.GetActiveMainTabIndex(), 3);
        QCOMPARE(form.GetActiveSubTabIndex(), 2);
        QVERIFY(Child<QLineEdit>(&form, "txtTempDir")->isVisible());
        QVERIFY(Child<QPushButton>(&form, "btnHelp")->isVisible());

        auto* src = Child<QLineEdit>(&form, "txtSrcFile");
        auto* dst = Child<QLineEdit>(&form, "txtDstFile");
        src->setText(QStringLiteral("/mail.old/Inbox"));
        QCOMPARE(dst->text(), QStringLiteral("/mail.old/Inbox_recovered/"));
        dst->setText(QStringLiteral("/elsewhere/"));
        src->clear();
        QCOMPARE(dst->text(), QStringLiteral("/elsewhere/"));
        src->setText(QStringLiteral("/m/a.b.DBX"));
        QCOMPARE(dst->text(), QStringLiteral("/m/a.b_recovered/"));

        // A file dropped onto the source box becomes the source.
        QMimeData mime;
        mime.setUrls({QUrl::fromLocalFile(QStringLiteral("/drop/Sent.mbx")),
                      QUrl::fromLocalFile(QStringLiteral("/drop/Other.mbx"))});
        Child<QPushButton>(&form, "btnRepairTab")->click();
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(src, &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(src, &drop);
        QCOMPARE(src->text(), QStringLiteral("/drop/Sent.mbx"));
        QCOMPARE(dst->text(), QStringLiteral("/drop/Sent_recovered/"));
    }
};

int main(int argc, char** argv) {
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    QApplication app(argc, argv);
    MainWindowTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "mainwindow_test.moc"
