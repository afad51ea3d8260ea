// Walks a generated tree of 100,000 files in 5,000 folders (10,000 of them
// store files) and prints files per second for the file-search facility alone
// and for a search through the search window, with the longest stretch the
// window went without processing events.
//
// Usage: filesearch_bench [folder]   (default: a new temporary folder)
//        filesearch_bench --local-drives   (one search of this computer's
//        drives, as the window's "Local Harddrives" entry runs it)
// Runs under any Qt platform; QT_QPA_PLATFORM=offscreen is set when no
// display is given.
#include "BrelDrives.h"
#include "BrelFileSearch.h"
#include "BrelMsgBox.h"
#include "SearchFrm.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace {

constexpr int kTopFolders = 50;
constexpr int kSubFolders = 100;  // per top folder: 5,000 folders in all
constexpr int kFilesPerFolder = 20;
constexpr int kStoreEvery = 10;  // one file in ten is a store file
constexpr int kTotalFiles = kTopFolders * kSubFolders * kFilesPerFolder;
constexpr int kTotalHits = kTotalFiles / kStoreEvery;

bool MakeTree(const QString& root) {
    int n = 0;
    for (int t = 0; t < kTopFolders; ++t) {
        for (int s = 0; s < kSubFolders; ++s) {
            const QString dir = QString("%1/t%2/s%3").arg(root).arg(t, 2, 10, QChar('0')).arg(s, 3, 10, QChar('0'));
            if (!QDir().mkpath(dir))
                return false;
            for (int f = 0; f < kFilesPerFolder; ++f, ++n) {
                const QString name = (n % kStoreEvery == 0) ? QString("Folder%1.dbx").arg(f) : QString("note%1.txt").arg(f);
                QFile file(dir + "/" + name);
                if (!file.open(QIODevice::WriteOnly))
                    return false;
                file.write("x", 1);
            }
        }
    }
    return true;
}

}  // namespace

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY") &&
        qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    if (argc > 1 && QByteArray(argv[1]) == "--local-drives") {
        TBrelFileSearch search;
        for (const QString& mountPoint : LocalStorageMountPoints())
            search.Dirs += mountPoint + ";";
        search.FileMasks = "*.dbx";
        search.OneFileSystem = true;
        int folders = 0, found = 0;
        search.OnDirChange = [&](const QString&) { ++folders; };
        search.OnFound = [&](const TBrelFileSearchRecord&) { ++found; };
        QElapsedTimer clock;
        clock.start();
        search.Execute();
        std::printf("local drives %s: %d folders, %d hits, %.3f s\n", qPrintable(search.Dirs), folders, found,
                    clock.nsecsElapsed() / 1e9);
        return 0;
    }

    QTemporaryDir tmp;
    const QString root = argc > 1 ? QString::fromLocal8Bit(argv[1]) : tmp.path();
    QElapsedTimer clock;
    clock.start();
    if (!QFileInfo(root + "/t00").isDir() && !MakeTree(root)) {
        std::fprintf(stderr, "cannot build the tree under %s\n", qPrintable(root));
        return 1;
    }
    std::printf("tree: %d files in %d folders (%d store files) under %s, made in %.1f s\n", kTotalFiles,
                kTopFolders * kSubFolders, kTotalHits, qPrintable(root), clock.elapsed() / 1000.0);

    // The facility alone, best of three runs (the tree is in the page cache).
    double best = 1e9;
    int found = 0;
    for (int run = 0; run < 3; ++run) {
        TBrelFileSearch search;
        search.Dirs = root;
        search.FileMasks = "*.dbx";
        found = 0;
        search.OnFound = [&](const TBrelFileSearchRecord&) { ++found; };
        clock.restart();
        search.Execute();
        best = std::min(best, clock.nsecsElapsed() / 1e9);
    }
    std::printf("facility alone: %d hits, %.3f s, %.0f files/s\n", found, best, kTotalFiles / best);
    if (found != kTotalHits)
        std::printf("  UNEXPECTED hit count (wanted %d)\n", kTotalHits);

    // Through the window: the list fed per folder, the completion box answered.
    SetBrelMsgPresenter([](QWidget*, TBrelMsgType, const QString&, QMessageBox::StandardButtons) {
        return QMessageBox::Ok;
    });
    TSearchForm form;
    form.show();
    form.findChild<QComboBox*>("cmbDirectory")->setEditText(root);
    // A 5 ms ticker measures how long the window went without handling events.
    QElapsedTimer sinceTick;
    qint64 longestGap = 0;
    QTimer ticker;
    ticker.setInterval(5);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        longestGap = std::max(longestGap, sinceTick.elapsed());
        sinceTick.restart();
    });
    ticker.start();
    sinceTick.start();
    clock.restart();
    form.findChild<QPushButton*>("btnSearch")->click();
    const double windowSeconds = clock.nsecsElapsed() / 1e9;
    ticker.stop();
    const int rows = form.ResultsModel()->rowCount();
    std::printf("through the window: %d rows listed, %.3f s, %.0f files/s, longest time without "
                "handling events %lld ms\n",
                rows, windowSeconds, kTotalFiles / windowSeconds, static_cast<long long>(longestGap));
    if (rows != kTotalHits)
        std::printf("  UNEXPECTED row count (wanted %d)\n", kTotalHits);
    return 0;
}
