// The desktop window's repair time against vantrel-cli's and against a bare
// engine call.
//
// Generates a .mbx store (one progress event and one stop query per byte:
// the hardest case for the window's event pump) and a .dbx store, then
// repairs each three ways and prints the wall-clock times:
//   engine  RepairSourceFile with a host that only counts events;
//   cli     vantrel-cli with its log sent to /dev/null;
//   window  TMainForm (offscreen) through btnRepairClick, report window
//           closed as soon as it shows.
// The window must stay within 1.5 times the command line's time. Each way
// runs ROUNDS times in turn (the first round also warms the page cache) and
// the best wall and CPU times are kept: on a shared machine the wall clock
// is noisy, the CPU time much less so.
//
// Usage: mainwindow_bench [MBX_MIB [DBX_MIB [MESSAGES [ROUNDS]]]]   (256 1024 2000 2)
#include "BrelMsgBox.h"
#include "BrelSetting.h"
#include "BrelShell.h"
#include "MainFrm.h"
#include "MsgFrm.h"
#include "pyxol/pyxol.h"
#include "storegen/storegen.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <string>

namespace {

// CPU seconds (user + system) of this process or of its finished children:
// on a shared machine they say more than the wall clock.
double CpuSeconds(int Who) {
    rusage usage{};
    getrusage(Who, &usage);
    auto seconds = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

struct TTimes {
    double Wall = 0;
    double Cpu = 0;
};

struct TCounts {
    uint64_t Events = 0;
};

int32_t CountingHost(int32_t, const void*, void* Context) {
    ++static_cast<TCounts*>(Context)->Events;
    return 0;
}

TTimes EngineSeconds(const QString& Source, const QString& Output, uint64_t& Events) {
    QDir(Output).removeRecursively();
    QDir().mkpath(Output);
    const std::u16string src = Source.toStdU16String();
    const std::u16string out = Output.toStdU16String();
    RepairOptions options{};
    TCounts counts;
    RepairParams params{src.c_str(), &options, 0, out.c_str(), &CountingHost, &counts};
    const RepairParams masked = PyxolMaskParams(params);
    const double cpu = CpuSeconds(RUSAGE_SELF);
    QElapsedTimer timer;
    timer.start();
    RepairSourceFile(&masked);
    const TTimes times{double(timer.nsecsElapsed()) / 1e9, CpuSeconds(RUSAGE_SELF) - cpu};
    Events = counts.Events;
    return times;
}

TTimes CliSeconds(const QString& Cli, const QString& Source, const QString& Output) {
    QDir(Output).removeRecursively();
    QProcess process;
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    const double cpu = CpuSeconds(RUSAGE_CHILDREN);
    QElapsedTimer timer;
    timer.start();
    process.start(Cli, {QStringLiteral("-o"), Output, Source});
    process.waitForFinished(-1);
    return {double(timer.nsecsElapsed()) / 1e9, CpuSeconds(RUSAGE_CHILDREN) - cpu};
}

TTimes WindowSeconds(const QString& Source, const QString& Output, int& Rows) {
    QDir(Output).removeRecursively();
    TMainForm form;
    form.FormCreate({});
    form.show();
    form.findChild<QCheckBox*>(QStringLiteral("chkOpenFixed"))->setChecked(false);
    form.findChild<QLineEdit*>(QStringLiteral("txtSrcFile"))->setText(Source);
    form.findChild<QLineEdit*>(QStringLiteral("txtDstFile"))->setText(Output);
    Rows = -1;
    QTimer catcher;
    catcher.setInterval(2);
    QObject::connect(&catcher, &QTimer::timeout, [&] {
        if (auto* report = qobject_cast<TMsgForm*>(QApplication::activeModalWidget())) {
            Rows = report->Model()->rowCount();
            report->reject();
        }
    });
    catcher.start();
    QApplication::processEvents();
    const double cpu = CpuSeconds(RUSAGE_SELF);
    QElapsedTimer timer;
    timer.start();
    form.findChild<QPushButton*>(QStringLiteral("btnRepair"))->click();
    return {double(timer.nsecsElapsed()) / 1e9, CpuSeconds(RUSAGE_SELF) - cpu};
}

QString FindCli() {
    const QString here = QFileInfo(QCoreApplication::applicationFilePath()).absolutePath();
    for (const QString& candidate : {here + QStringLiteral("/../cli/vantrel-cli"),
                                     here + QStringLiteral("/vantrel-cli")})
        if (QFileInfo(candidate).isExecutable())
            return QFileInfo(candidate).canonicalFilePath();
    return QString();
}

TTimes Best(const TTimes& A, const TTimes& B) {
    if (A.Wall == 0)
        return B;
    return {std::min(A.Wall, B.Wall), std::min(A.Cpu, B.Cpu)};
}

void Run(const char* Label, storegen::StoreKind Kind, uint64_t Mib, uint32_t Messages,
         const QString& Dir, const QString& Cli, int Rounds) {
    const QString source =
        Dir + (Kind == storegen::StoreKind::Mbx ? QStringLiteral("/Bench.mbx") : QStringLiteral("/Bench.dbx"));
    storegen::Options options;
    options.kind = Kind;
    options.seed = 11;
    options.messageCount = Messages;
    options.targetSize = Mib << 20;
    const storegen::Manifest manifest = storegen::GenerateToFile(options, source.toStdString());
    const double mib = double(manifest.fileSize) / (1 << 20);
    std::printf("%s store: %.1f MiB, %zu messages to recover\n", Label, mib,
                manifest.recoveries.size());

    auto print = [mib](const char* Name, const TTimes& T) {
        std::printf("  %-7s wall %8.3f s (%7.1f MiB/s)   cpu %8.3f s (%7.1f MiB/s)\n", Name, T.Wall,
                    mib / T.Wall, T.Cpu, mib / T.Cpu);
    };
    uint64_t events = 0;
    int rows = 0;
    TTimes engine, cli, window;
    for (int round = 0; round < Rounds; ++round) {
        engine = Best(engine, EngineSeconds(source, Dir + QStringLiteral("/engine_out/"), events));
        if (!Cli.isEmpty())
            cli = Best(cli, CliSeconds(Cli, source, Dir + QStringLiteral("/cli_out/")));
        window = Best(window, WindowSeconds(source, Dir + QStringLiteral("/window_out/"), rows));
    }
    std::printf("  best of %d rounds\n", Rounds);
    print("engine", engine);
    std::printf("          %llu engine events\n", static_cast<unsigned long long>(events));
    if (!Cli.isEmpty())
        print("cli", cli);
    print("window", window);
    std::printf("          %d report rows\n", rows);
    if (cli.Wall > 0)
        std::printf("  window / cli    = %.2f wall, %.2f cpu (limit 1.50)\n", window.Wall / cli.Wall,
                    window.Cpu / cli.Cpu);
    std::printf("  window / engine = %.2f wall, %.2f cpu\n", window.Wall / engine.Wall,
                window.Cpu / engine.Cpu);
    std::fflush(stdout);
    QFile::remove(source);
    for (const char* out : {"/engine_out/", "/cli_out/", "/window_out/"})
        QDir(Dir + QString::fromLatin1(out)).removeRecursively();
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    QApplication app(argc, argv);
    // The shown window must not look for updates on the network.
    {
        TBrelRegIniFile ini(GetSettingsFileName(GetSettingsKeyName()));
        ini.WriteString(QString::fromLatin1(TBrelSetting::kSection), QStringLiteral("UpdateServer"),
                        QString());
        if (!ini.Save())
            return 1;
    }
    const QStringList args = QCoreApplication::arguments();
    const uint64_t mbxMib = args.size() > 1 ? args[1].toULongLong() : 256;
    const uint64_t dbxMib = args.size() > 2 ? args[2].toULongLong() : 1024;
    const uint32_t messages = args.size() > 3 ? args[3].toUInt() : 2000;
    const int rounds = std::max(args.size() > 4 ? args[4].toInt() : 2, 1);

    SetBrelMsgPresenter([](QWidget*, TBrelMsgType, const QString& Text, QMessageBox::StandardButtons) {
        std::printf("  box: %s\n", qPrintable(Text));
        return QMessageBox::Ok;
    });
    SetBrelShellOpenHandler([](const QUrl&) { return true; });

    QTemporaryDir dir;
    const QString cli = FindCli();
    if (cli.isEmpty())
        std::printf("vantrel-cli not found next to the benchmark: comparing with the engine only\n");
    if (mbxMib)
        Run("mbx", storegen::StoreKind::Mbx, mbxMib, messages, dir.path(), cli, rounds);
    if (dbxMib)
        Run("dbx", storegen::StoreKind::Dbx, dbxMib, messages, dir.path(), cli, rounds);
    return 0;
}
