// TBrelPanel rendered over a patterned parent: a transparent panel lets the
// pattern through (also behind its child controls) and still draws its
// bevel; an opaque one covers it with its colour.
#include <QImage>
#include <QLabel>
#include <QPainter>
#include <QTest>

#include "BrelPanel.h"

namespace {

// A window that paints a checkerboard of 4-pixel squares.
class PatternWidget : public QWidget {
public:
    static QColor colorAt(int x, int y) { return ((x / 4 + y / 4) % 2) ? Qt::red : Qt::blue; }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        for (int y = 0; y < height(); y += 4)
            for (int x = 0; x < width(); x += 4)
                p.fillRect(x, y, 4, 4, colorAt(x, y));
    }
};

}  // namespace

class BrelPanelTest : public QObject {
    Q_OBJECT
private slots:
    void transparentShowsParentPattern();
    void opaqueFillsWithColour();
    void settingSameValueIsNoOp();
};

void BrelPanelTest::transparentShowsParentPattern() {
    PatternWidget parent;
    parent.resize(200, 120);
    auto* panel = new TBrelPanel(&parent);
    panel->setGeometry(10, 10, 120, 60);
    panel->SetColor(Qt::green);
    panel->SetTransparent(true);
    auto* label = new QLabel(QStringLiteral("x"), panel);
    label->setGeometry(60, 30, 40, 20);

    QPalette pal = panel->palette();
    pal.setColor(QPalette::Light, Qt::white);
    pal.setColor(QPalette::Dark, Qt::black);
    panel->setPalette(pal);

    const QImage img = parent.grab().toImage();
    // Inside the panel, away from the caption-less centre and the label text.
    for (const QPoint pt : {QPoint(15, 15), QPoint(30, 50), QPoint(100, 20), QPoint(125, 65)})
        QCOMPARE(img.pixelColor(pt), PatternWidget::colorAt(pt.x(), pt.y()));
    // Behind the child label, at a spot the text does not reach.
    const QPoint behindLabel(10 + 60 + 38, 10 + 30 + 18);
    QCOMPARE(img.pixelColor(behindLabel), PatternWidget::colorAt(behindLabel.x(), behindLabel.y()));
    // The raised outer bevel is still drawn: light top-left, dark bottom-right.
    QCOMPARE(img.pixelColor(10, 40), QColor(Qt::white));
    QCOMPARE(img.pixelColor(60, 10), QColor(Qt::white));
    QCOMPARE(img.pixelColor(129, 40), QColor(Qt::black));
    QCOMPARE(img.pixelColor(60, 69), QColor(Qt::black));

    // A lowered bevel swaps the two colours.
    panel->SetBevelOuter(TBrelPanel::TBevelCut::bvLowered);
    const QImage lowered = parent.grab().toImage();
    QCOMPARE(lowered.pixelColor(10, 40), QColor(Qt::black));
    QCOMPARE(lowered.pixelColor(129, 40), QColor(Qt::white));
}

void BrelPanelTest::opaqueFillsWithColour() {
    PatternWidget parent;
    parent.resize(200, 120);
    auto* panel = new TBrelPanel(&parent);
    panel->setGeometry(10, 10, 120, 60);
    panel->SetColor(Qt::green);
    panel->SetBevelOuter(TBrelPanel::TBevelCut::bvNone);
    panel->SetBorderWidth(3);
    QVERIFY(!panel->Transparent());

    const QImage img = parent.grab().toImage();
    for (const QPoint pt : {QPoint(10, 10), QPoint(15, 15), QPoint(60, 40), QPoint(129, 69)})
        QCOMPARE(img.pixelColor(pt), QColor(Qt::green));
    // Outside the panel the pattern is untouched.
    QCOMPARE(img.pixelColor(150, 100), PatternWidget::colorAt(150, 100));

    // Switching to transparent and back repaints the pattern and the fill.
    panel->SetTransparent(true);
    QCOMPARE(parent.grab().toImage().pixelColor(60, 40), PatternWidget::colorAt(60, 40));
    panel->SetTransparent(false);
    QCOMPARE(parent.grab().toImage().pixelColor(60, 40), QColor(Qt::green));
}

void BrelPanelTest::settingSameValueIsNoOp() {
    TBrelPanel panel;
    QVERIFY(panel.testAttribute(Qt::WA_OpaquePaintEvent));
    panel.SetTransparent(false);
    QVERIFY(panel.testAttribute(Qt::WA_OpaquePaintEvent));
    panel.SetTransparent(true);
    QVERIFY(!panel.testAttribute(Qt::WA_OpaquePaintEvent));
    QVERIFY(panel.property("Transparent").toBool());
}

QTEST_MAIN(BrelPanelTest)
#include "brelpanel_test.moc"
