// Texts from file names, messages and the network show as written wherever
// the front end renders HTML or a message box: a name that looks like markup
// stays a name, on screen and in the log.
#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QTest>
#include <QTextDocument>
#include <QTimer>

#include "BrelMsgBox.h"
#include "BrelUtils.h"
#include "MsgFrm.h"
#include "NewVersionFrm.h"

namespace {

// A file name cannot hold "/", so no closing tags; markup and entities still.
const QString kName = QStringLiteral("<b>x<i>&amp;&lt;'\".dbx");

// What a rich-text label shows for its text.
QString Rendered(const QLabel* label) {
    QTextDocument document;
    document.setHtml(label->text());
    return document.toPlainText();
}

}  // namespace

class HtmlEscapeTest : public QObject {
    Q_OBJECT
private slots:
    void reportWindowShowsTheNameAsWritten();
    void resultLogLinesKeepTheName();
    void messageBoxesArePlainText();
    void newVersionPromptShowsTheServersTextAsWritten();
};

void HtmlEscapeTest::reportWindowShowsTheNameAsWritten() {
    const QString source = QStringLiteral("/stores/") + kName;
    const QStringList reports = {QStringLiteral("Message No."), QStringLiteral("Subject"), QStringLiteral("1"),
                                 QStringLiteral("<i>subject</i>")};
    TMsgForm form(nullptr, 2, &reports, source, GetSuccessMessage(source));
    const auto* label = form.findChild<QLabel*>(QStringLiteral("labMsg"));
    QVERIFY(label);
    QVERIFY2(Rendered(label).contains(QStringLiteral("File '") + kName + QStringLiteral("' has been repaired")),
             qPrintable(Rendered(label)));
}

void HtmlEscapeTest::resultLogLinesKeepTheName() {
    const QString source = QStringLiteral("/stores/") + kName;
    QCOMPARE(ResultMessageLogLines(GetSuccessMessage(source), false),
             QStringList{QStringLiteral("File '") + kName + QStringLiteral("' has been repaired successfully.")});
    QCOMPARE(ResultMessageLogLines(FailToRepairText(source), true),
             QStringList{QStringLiteral("Fail to repair file '") + source + QStringLiteral("'!")});
}

void HtmlEscapeTest::messageBoxesArePlainText() {
    const QString text = QStringLiteral("Error 1: Cannot open the file to be repaired. /stores/") + kName +
                         QStringLiteral(" was not found.");
    Qt::TextFormat format = Qt::AutoText;
    QString shown;
    QTimer::singleShot(0, this, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) return;
        format = box->textFormat();
        shown = box->text();
        box->accept();
    });
    BrelMessageBox(nullptr, TBrelMsgType::Information, text);
    QCOMPARE(format, Qt::PlainText);
    QCOMPARE(shown, text);
}

void HtmlEscapeTest::newVersionPromptShowsTheServersTextAsWritten() {
    const QString version = QStringLiteral("<b>9</b>&amp;");
    TNewVersionForm form(nullptr, version);
    const auto* label = form.findChild<QLabel*>(QStringLiteral("labNewVersionPrompt"));
    QVERIFY(label);
    QVERIFY2(Rendered(label).contains(version), qPrintable(Rendered(label)));
}

QTEST_MAIN(HtmlEscapeTest)
#include "htmlescape_test.moc"
