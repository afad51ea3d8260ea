// vantrel-screenshots: shows each window and page of the desktop program with
// realistic content and saves what it draws as PNG files.
//
//   vantrel-screenshots OUTDIR
//
// Everything it shows is made here: the stores come from the store generator,
// the repair and the batch run through the real engine, the search walks a
// scratch folder, and the update windows are fed through their constructors,
// so nothing leaves the machine. Settings go to a scratch folder too.
#include "AppIcon.h"
#include "BrelMain.h"
#include "BrelMsgBox.h"
#include "BrelSetting.h"
#include "BrelShell.h"
#include "BrelStyle.h"
#include "DownloadFrm.h"
#include "MainFrm.h"
#include "MsgFrm.h"
#include "NewVersionFrm.h"
#include "SearchFrm.h"
#include "storegen/storegen.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QScopeGuard>
#include <QTableView>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <cstdio>
#include <cstdlib>

namespace {

QString g_OutDir;
int g_Failures = 0;

// Lets pending layout, paint and timer work run for a moment.
void Settle(int Ms = 100) {
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < Ms) {
        QApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
}

void Save(QWidget* Window, const char* Name) {
    Settle();
    const QString path = QDir(g_OutDir).filePath(QString::fromLatin1(Name) + QStringLiteral(".png"));
    if (!Window->grab().save(path)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        ++g_Failures;
        return;
    }
    std::printf("%s\n", qPrintable(path));
}

template <typename T>
T* Child(QWidget* Window, const char* Name) {
    T* w = Window->findChild<T*>(QString::fromLatin1(Name));
    if (!w) {
        std::fprintf(stderr, "no control %s\n", Name);
        std::exit(1);
    }
    return w;
}

void Generate(const QString& Path, storegen::StoreKind Kind, uint64_t Seed, uint32_t Messages) {
    storegen::Options options;
    options.kind = Kind;
    options.seed = Seed;
    options.messageCount = Messages;
    storegen::GenerateToFile(options, Path.toStdString());
}

}  // namespace

int main(int argc, char* argv[]) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: vantrel-screenshots OUTDIR\n");
        return 2;
    }
    // Settings of a first run, kept away from the user's own.
    QTemporaryDir scratch;
    if (!scratch.isValid())
        return 1;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(scratch.filePath(QStringLiteral("config"))));

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Vantrel"));
    QApplication::setWindowIcon(GetProgramIcon());
    BrelApplyStyle(app);
    g_OutDir = QDir(QString::fromLocal8Bit(argv[1])).absolutePath();
    QDir().mkpath(g_OutDir);

    {
        // An empty update server address keeps the start-up check at home.
        TBrelRegIniFile ini(GetSettingsFileName(GetSettingsKeyName()));
        ini.WriteString(QString::fromLatin1(TBrelSetting::kSection), QStringLiteral("UpdateServer"),
                        QString());
        if (!ini.Save())
            return 1;
    }
    SetBrelMsgPresenter([](QWidget*, TBrelMsgType Kind, const QString&, QMessageBox::StandardButtons) {
        return Kind == TBrelMsgType::Confirmation ? QMessageBox::No : QMessageBox::Ok;
    });
    SetBrelShellOpenHandler([](const QUrl&) { return true; });

    // A mail folder as users have it, at a fixed place so that the pictures
    // show the same paths on every run.
    QDir stores(QDir::temp().filePath(QStringLiteral("vantrel-screenshots")));
    stores.removeRecursively();
    const QString mail = stores.filePath(QStringLiteral("Outlook Express"));
    QDir().mkpath(mail);
    auto cleanUp = qScopeGuard([&stores] { stores.removeRecursively(); });
    const QString inbox = mail + QStringLiteral("/Inbox.dbx");
    Generate(inbox, storegen::StoreKind::Dbx, 11, 18);
    Generate(mail + QStringLiteral("/Sent Items.dbx"), storegen::StoreKind::Dbx, 12, 9);
    Generate(mail + QStringLiteral("/Drafts.dbx"), storegen::StoreKind::Dbx, 13, 3);
    Generate(mail + QStringLiteral("/Deleted Items.dbx"), storegen::StoreKind::Dbx, 14, 6);
    Generate(mail + QStringLiteral("/Archive.mbx"), storegen::StoreKind::Mbx, 15, 7);

    TMainForm form;
    form.FormCreate({});
    form.show();
    Settle(300);

    // A real repair on the Repair page: the report window appears modally,
    // is saved and closed.
    QTimer report;
    report.setInterval(20);
    QObject::connect(&report, &QTimer::timeout, [&report] {
        auto* window = qobject_cast<TMsgForm*>(QApplication::activeModalWidget());
        if (!window)
            return;
        report.stop();
        Save(window, "report");
        Child<QPushButton>(window, "btnClose")->click();
    });
    report.start();
    Child<QLineEdit>(&form, "txtSrcFile")->setText(inbox);
    Child<QPushButton>(&form, "btnRepair")->click();
    Save(&form, "main-repair");

    // Batch page after a batch run.
    Child<QPushButton>(&form, "btnBatchRepairTab")->click();
    for (const char* name : {"Inbox.dbx", "Sent Items.dbx", "Drafts.dbx", "Archive.mbx"})
        form.AddFileToBatchList(mail + u'/' + QString::fromLatin1(name));
    Child<QPushButton>(&form, "btnRepairFiles")->click();
    Save(&form, "main-batch");

    Child<QPushButton>(&form, "btnOptionsTab")->click();
    Child<QPushButton>(&form, "btnOptionsSubTab")->click();
    Save(&form, "main-options");
    Child<QPushButton>(&form, "btnAdvOptionsSubTab")->click();
    Save(&form, "main-advanced-options");
    Child<QPushButton>(&form, "btnAboutTab")->click();
    Save(&form, "main-about");
    Child<QPushButton>(&form, "btnRepairTab")->click();

    // The search window, collapsed and then expanded with results.
    TSearchForm* search = form.SearchForm();
    search->SetMultiSelect(true);
    search->show();
    Save(search, "search");
    Child<QComboBox>(search, "cmbDirectory")->setEditText(stores.path());
    Child<QPushButton>(search, "btnSearch")->click();
    Child<QPushButton>(search, "btnAdvOptions")->click();
    auto* results = Child<QTableView>(search, "fl");
    if (results->model()->rowCount() > 1) {
        results->selectionModel()->select(results->model()->index(0, 0),
                                          QItemSelectionModel::Select | QItemSelectionModel::Rows);
        results->selectionModel()->select(results->model()->index(1, 0),
                                          QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
    Save(search, "search-expanded");
    search->hide();

    // The update windows, fed directly: nothing is fetched.
    {
        TNewVersionForm offer(&form, QStringLiteral("2,6,0,0"));
        offer.SetWhatsNewText(QStringLiteral(
            "Vantrel 2.6.0.0\n\n"
            "- Repairs .mbx stores whose last record is cut short.\n"
            "- The search window remembers its folder between openings.\n"
            "- Faster scanning of large .dbx stores.\n"));
        offer.show();
        Save(&offer, "update-new-version");
    }
    {
        TDownloadForm download(&form, QUrl(QStringLiteral("https://example.invalid/vantrel_2.6.0.0_amd64.deb")),
                               scratch.filePath(QStringLiteral("vantrel.deb")));
        // Not shown: showing starts the transfer. Its drawing is the same.
        download.UpdateProgress(1843200);
        Save(&download, "update-download");
    }
    return g_Failures == 0 ? 0 : 1;
}
