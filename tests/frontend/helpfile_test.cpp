// Help finds the manual where the packaging puts it: in <prefix>/share/vantrel
// beside an installed program's bin folder, and beside the program in the
// build tree.
#include "BrelMain.h"
#include "BrelUtils.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class HelpFileTest : public QObject {
    Q_OBJECT

    QTemporaryDir FDir;

    void Touch(const QString& Path) {
        QVERIFY(QDir().mkpath(QFileInfo(Path).absolutePath()));
        QFile f(Path);
        QVERIFY(f.open(QIODevice::WriteOnly));
    }

private slots:
    void installedAndBuildTreeLayouts() {
        QVERIFY(FDir.isValid());
        const QString root = FDir.path();

        // Installed: <prefix>/bin/Vantrel, <prefix>/share/vantrel/manual.html.
        Touch(root + QStringLiteral("/usr/bin/Vantrel"));
        Touch(root + QStringLiteral("/usr/share/vantrel/manual.html"));
        QCOMPARE(TBrelMainForm::HelpFilePathFor(root + QStringLiteral("/usr/bin/Vantrel")),
                 root + QStringLiteral("/usr/share/vantrel/manual.html"));

        // Build tree: build/frontend/Vantrel with manual.html beside it.
        Touch(root + QStringLiteral("/build/frontend/Vantrel"));
        Touch(root + QStringLiteral("/build/frontend/manual.html"));
        QCOMPARE(TBrelMainForm::HelpFilePathFor(root + QStringLiteral("/build/frontend/Vantrel")),
                 root + QStringLiteral("/build/frontend/manual.html"));

        // Neither: the installed place, so the desktop names the missing file.
        Touch(root + QStringLiteral("/bare/bin/Vantrel"));
        QCOMPARE(TBrelMainForm::HelpFilePathFor(root + QStringLiteral("/bare/bin/Vantrel")),
                 root + QStringLiteral("/bare/share/vantrel/manual.html"));
    }

    void runningProgramAsksForItsOwnManual() {
        QCOMPARE(TBrelMainForm::HelpFilePath(), TBrelMainForm::HelpFilePathFor(GetProgramFileName()));
    }
};

QTEST_MAIN(HelpFileTest)
#include "helpfile_test.moc"
