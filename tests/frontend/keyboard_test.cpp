// Keyboard use of the main window and the search window: Tab reaches every
// enabled control of each page, and each label's accelerator puts the focus
// into the control it names.
#include "BrelMsgBox.h"
#include "BrelStyle.h"
#include "MainFrm.h"
#include "NoUpdateCheck.h"
#include "SearchFrm.h"
#include "Setting.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

namespace {

// The letter a caption marks with "&" ("&&" is a literal ampersand), or 0.
QChar Mnemonic(const QString& Caption) {
    for (qsizetype i = 0; i + 1 < Caption.size(); ++i) {
        if (Caption[i] != u'&')
            continue;
        if (Caption[i + 1] == u'&') {
            ++i;
            continue;
        }
        return Caption[i + 1].toUpper();
    }
    return QChar();
}

QString Caption(QWidget* W) {
    if (auto* label = qobject_cast<QLabel*>(W))
        return label->text();
    if (auto* button = qobject_cast<QAbstractButton*>(W))
        return button->text();
    return QString();
}

QString Describe(QWidget* W) {
    return W ? QStringLiteral("%1 (%2)").arg(W->objectName(), QString::fromLatin1(W->metaObject()->className()))
             : QStringLiteral("nothing");
}

// Every control of Window that a user types into, picks from or presses and
// that Tab can give the focus to now. Parts of a control (the text box inside
// a spin box) hand their focus on and are left out. Of a group of page
// buttons only the pressed one is a Tab stop, as in a tab bar: the arrow keys
// move between them.
QList<QWidget*> InputControls(QWidget* Window) {
    QList<QWidget*> controls;
    for (QWidget* w : Window->findChildren<QWidget*>()) {
        const bool input = qobject_cast<QAbstractButton*>(w) || qobject_cast<QLineEdit*>(w) ||
                           qobject_cast<QAbstractSpinBox*>(w) || qobject_cast<QComboBox*>(w) ||
                           qobject_cast<QAbstractItemView*>(w) || qobject_cast<QPlainTextEdit*>(w);
        if (input && !w->focusProxy() && w->window() == Window && w->isVisible() && w->isEnabled() &&
            (w->focusPolicy() & Qt::TabFocus))
            controls << w;
    }
    return controls;
}

// The widgets that hold the focus while Tab is pressed from Start until the
// focus comes back to it (at most Limit presses).
QList<QWidget*> TabCycle(QWidget* Start, int Limit = 80) {
    QList<QWidget*> seen;
    Start->setFocus(Qt::TabFocusReason);
    for (int i = 0; i < Limit; ++i) {
        QWidget* focus = QApplication::focusWidget();
        if (!focus)
            break;
        if (i > 0 && focus == Start)
            break;
        seen << focus;
        QTest::keyClick(focus, Qt::Key_Tab);
    }
    return seen;
}

// Checks that Alt plus the accelerator of each shown label that has one
// focuses the label's buddy. Where the same letter marks several shown
// controls (the captions are fixed texts), Qt hands the focus from one to
// the next on each press, so the buddy must be reached within that many
// presses.
void CheckLabelAccelerators(QWidget* Window, QWidget* Rest) {
    QMultiHash<QChar, QWidget*> marked;
    for (QWidget* w : Window->findChildren<QWidget*>()) {
        const QChar key = Mnemonic(Caption(w));
        if (!key.isNull() && w->isVisible() && w->isEnabled())
            marked.insert(key, w);
    }
    for (QLabel* label : Window->findChildren<QLabel*>()) {
        const QChar key = Mnemonic(label->text());
        if (key.isNull() || !label->isVisible())
            continue;
        QVERIFY2(label->buddy(), qPrintable(Describe(label) + QStringLiteral(" has no buddy")));
        Rest->setFocus();
        bool reached = false;
        for (int press = 0; press < marked.count(key) && !reached; ++press) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key(key.unicode()), Qt::AltModifier);
            reached = QApplication::focusWidget() == label->buddy();
        }
        QVERIFY2(reached, qPrintable(QStringLiteral("Alt+%1 of %2 gives the focus to %3")
                                         .arg(key, Describe(label), Describe(QApplication::focusWidget()))));
    }
}

}  // namespace

class KeyboardTest : public QObject {
    Q_OBJECT

private:
    template <typename T>
    static T* Child(QWidget* Form, const char* Name) {
        T* w = Form->findChild<T*>(QString::fromLatin1(Name));
        if (!w)
            qFatal("no control %s", Name);
        return w;
    }

    // The pages of the main window, as the buttons that show them.
    struct TPage {
        const char* Tab;
        const char* SubTab;
    };
    static constexpr TPage kPages[] = {
        {"btnRepairTab", nullptr},         {"btnBatchRepairTab", nullptr},
        {"btnOptionsTab", "btnOptionsSubTab"}, {"btnOptionsTab", "btnAdvOptionsSubTab"},
        {"btnAboutTab", nullptr},
    };

    static void ShowPage(TMainForm& Form, const TPage& Page) {
        Child<QPushButton>(&Form, Page.Tab)->click();
        if (Page.SubTab)
            Child<QPushButton>(&Form, Page.SubTab)->click();
    }

private slots:
    void initTestCase() {
        BrelApplyStyle(*qApp);
        SetBrelMsgPresenter([](QWidget*, TBrelMsgType, const QString&, QMessageBox::StandardButtons) {
            return QMessageBox::Ok;
        });
    }

    void init() {
        QFile::remove(GetSettingsFileName(GetSettingsKeyName()));
        QVERIFY(TurnOffUpdateServer());
    }

    void tabReachesEveryControlOfEachPage() {
        TMainForm form;
        form.FormCreate({});
        form.show();
        form.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&form));
        // The spin box beside "Save recovered messages ..." takes part once
        // its check box is checked.
        Child<QAbstractButton>(&form, "chkUseNewDir")->setChecked(true);
        for (const TPage& page : kPages) {
            ShowPage(form, page);
            const QList<QWidget*> cycle = TabCycle(Child<QPushButton>(&form, page.Tab));
            const QString name = QString::fromLatin1(page.SubTab ? page.SubTab : page.Tab);
            for (QWidget* control : InputControls(&form))
                QVERIFY2(cycle.contains(control),
                         qPrintable(name + QStringLiteral(": Tab never reaches ") + Describe(control)));
            // The pressed page button comes first, Help (when shown) last.
            QCOMPARE(cycle.first(), Child<QWidget>(&form, page.Tab));
            auto* help = Child<QWidget>(&form, "btnHelp");
            if (help->isVisible())
                QCOMPARE(cycle.last(), help);
            QCOMPARE(cycle.size(), QSet<QWidget*>(cycle.begin(), cycle.end()).size());
        }
    }

    void arrowKeysMoveBetweenPageButtons() {
        TMainForm form;
        form.FormCreate({});
        form.show();
        form.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&form));
        auto* repairTab = Child<QPushButton>(&form, "btnRepairTab");
        repairTab->setFocus(Qt::TabFocusReason);
        const char* order[] = {"btnBatchRepairTab", "btnOptionsTab", "btnAboutTab"};
        for (const char* name : order) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Right);
            auto* tab = Child<QPushButton>(&form, name);
            QCOMPARE(QApplication::focusWidget(), tab);
            QVERIFY(tab->isChecked());
            QCOMPARE(form.GetActiveMainTabIndex(), tab->property("tag").toInt());
        }
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Left);
        QCOMPARE(form.GetActiveMainTabIndex(), 3);
        QVERIFY(Child<QWidget>(&form, "palOptions")->isVisible());
        // The same between the two sub-page buttons of the Options page.
        Child<QPushButton>(&form, "btnOptionsSubTab")->setFocus(Qt::TabFocusReason);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
        QCOMPARE(form.GetActiveSubTabIndex(), 2);
        QVERIFY(Child<QWidget>(&form, "palAdvOptionsSub")->isVisible());
    }

    void labelAcceleratorsFocusTheirControls() {
        TMainForm form;
        form.FormCreate({});
        form.show();
        form.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&form));
        for (const TPage& page : kPages) {
            ShowPage(form, page);
            CheckLabelAccelerators(&form, Child<QWidget>(&form, "btnRepairTab"));
            if (QTest::currentTestFailed())
                return;
        }
    }

    void searchWindowLabelAccelerators() {
        TSearchForm search;
        search.show();
        search.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&search));
        CheckLabelAccelerators(&search, Child<QWidget>(&search, "btnHelp"));
        // The same with the advanced options shown.
        Child<QPushButton>(&search, "btnAdvOptions")->click();
        CheckLabelAccelerators(&search, Child<QWidget>(&search, "btnHelp"));
    }

    void startAndStopLooksComeFromTheStyleSheet() {
        // Both looks are drawn differently from a plain button: each has a
        // background of its own.
        TMainForm form;
        form.FormCreate({});
        form.show();
        auto* repair = Child<QPushButton>(&form, "btnRepair");
        auto* help = Child<QPushButton>(&form, "btnHelp");
        QCOMPARE(repair->property("look").toString(), QStringLiteral("startbutton"));
        const QImage plain = help->grab().toImage();
        const QImage start = repair->grab().toImage();
        const QRgb startFill = start.pixel(4, start.height() / 2);
        QVERIFY(startFill != plain.pixel(4, plain.height() / 2));
        repair->setProperty("look", QStringLiteral("stopbutton"));
        BrelRepolish(repair);
        const QImage stop = repair->grab().toImage();
        const QRgb stopFill = stop.pixel(4, stop.height() / 2);
        QVERIFY(stopFill != startFill);
        QVERIFY(qRed(stopFill) > qGreen(stopFill));
        QVERIFY(qGreen(startFill) > qRed(startFill));
    }
};

QTEST_MAIN(KeyboardTest)
#include "keyboard_test.moc"
