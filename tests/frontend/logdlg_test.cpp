// TSaveLogDialog: the extra check box below Qt's own controls, checked at
// creation, and keeping the user's choice from one save to the next.
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "logdlg.h"

class LogDlgTest : public QObject {
    Q_OBJECT
private slots:
    void boxSitsBelowTheDialogControls();
    void choiceCarriesOverBetweenSaves();
    void cancelGivesFalse();
};

void LogDlgTest::boxSitsBelowTheDialogControls() {
    TSaveLogDialog dlg;
    auto* panel = dlg.findChild<QWidget*>(QStringLiteral("InfoPanel"));
    auto* box = dlg.findChild<QCheckBox*>(QStringLiteral("SystemInfoCheckBox"));
    QVERIFY(panel && box);
    QCOMPARE(box->parentWidget(), panel);
    QCOMPARE(box->text(), QStringLiteral("Include S&ystem Information"));
    QCOMPARE(box->toolTip(), QStringLiteral("Include system information in the log file"));
    QVERIFY(box->isChecked());
    QVERIFY(dlg.IncludeSysInfo());
    QVERIFY(dlg.testOption(QFileDialog::DontUseNativeDialog));

    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    QVERIFY(box->isVisible());
    auto* buttons = dlg.findChild<QDialogButtonBox*>();
    QVERIFY(buttons);
    const int boxTop = box->mapTo(&dlg, QPoint(0, 0)).y();
    QVERIFY2(boxTop >= buttons->mapTo(&dlg, QPoint(0, buttons->height())).y() - 1,
             "the check box must come below the dialog's own controls");
    dlg.reject();
}

void LogDlgTest::choiceCarriesOverBetweenSaves() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    TSaveLogDialog dlg;
    dlg.SetFilter(QStringLiteral("Log files (*.log)|*.log"));
    dlg.setDefaultSuffix(QStringLiteral("log"));
    dlg.setDirectory(dir.path());

    bool checkedOnOpen = false;
    QTimer::singleShot(0, &dlg, [&] {
        auto* box = dlg.findChild<QCheckBox*>(QStringLiteral("SystemInfoCheckBox"));
        checkedOnOpen = box->isChecked();
        box->setChecked(false);
        dlg.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(QStringLiteral("first"));
        static_cast<QDialog&>(dlg).accept();  // as the Save button does
    });
    QVERIFY(dlg.Execute());
    QVERIFY(checkedOnOpen);
    QVERIFY(!dlg.IncludeSysInfo());
    QCOMPARE(dlg.FileName(), dir.path() + QStringLiteral("/first.log"));

    QTimer::singleShot(0, &dlg, [&] {
        checkedOnOpen = dlg.findChild<QCheckBox*>(QStringLiteral("SystemInfoCheckBox"))->isChecked();
        dlg.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(QStringLiteral("second.log"));
        static_cast<QDialog&>(dlg).accept();  // as the Save button does
    });
    QVERIFY(dlg.Execute());
    QVERIFY(!checkedOnOpen);  // the second save opens with the box unticked
    QCOMPARE(dlg.FileName(), dir.path() + QStringLiteral("/second.log"));

    // A new dialog object starts checked again.
    TSaveLogDialog fresh;
    QVERIFY(fresh.IncludeSysInfo());
}

void LogDlgTest::cancelGivesFalse() {
    TSaveLogDialog dlg;
    QTimer::singleShot(0, &dlg, [&] { dlg.reject(); });
    QVERIFY(!dlg.Execute());
}

QTEST_MAIN(LogDlgTest)
#include "logdlg_test.moc"
