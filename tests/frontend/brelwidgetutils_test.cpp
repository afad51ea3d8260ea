// CheckBoxStateText: the caption exactly as the box holds it, then the state.
#include <QCheckBox>
#include <QTest>

#include "BrelWidgetUtils.h"

class BrelWidgetUtilsTest : public QObject {
    Q_OBJECT
private slots:
    void checkBoxStateText();
};

void BrelWidgetUtilsTest::checkBoxStateText() {
    QCheckBox box(QStringLiteral("Op&en the directory containing all the recovered messages"));
    box.setChecked(true);
    QCOMPARE(CheckBoxStateText(&box),
             QStringLiteral("Op&en the directory containing all the recovered messages: Yes"));
    box.setChecked(false);
    QCOMPARE(CheckBoxStateText(&box),
             QStringLiteral("Op&en the directory containing all the recovered messages: No"));
}

QTEST_MAIN(BrelWidgetUtilsTest)
#include "brelwidgetutils_test.moc"
