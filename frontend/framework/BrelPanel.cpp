#include "BrelPanel.h"

#include <QFontMetrics>
#include <QPainter>

TBrelPanel::TBrelPanel(QWidget* parent) : QFrame(parent) {
    // The panel paints its own background when opaque; the parent's fill
    // is never inherited.
    setAutoFillBackground(false);
    updateOpacity();
}

void TBrelPanel::updateOpacity() {
    // An opaque panel covers every pixel itself, so Qt need not paint the
    // parent first; a transparent one relies on exactly that.
    setAttribute(Qt::WA_OpaquePaintEvent, !FTransparent);
    setAttribute(Qt::WA_NoSystemBackground, FTransparent);
}

void TBrelPanel::SetTransparent(bool value) {
    if (value == FTransparent)
        return;
    FTransparent = value;
    updateOpacity();
    update();
    for (QObject* child : children()) {
        if (auto* w = qobject_cast<QWidget*>(child))
            w->update();
    }
}

void TBrelPanel::SetCaption(const QString& caption) {
    FCaption = caption;
    update();
}

QColor TBrelPanel::Color() const {
    return FColor.isValid() ? FColor : palette().color(QPalette::Window);
}

void TBrelPanel::SetColor(const QColor& color) {
    FColor = color;
    update();
}

void TBrelPanel::SetBevelOuter(TBevelCut cut) {
    FBevelOuter = cut;
    update();
}

void TBrelPanel::SetBevelInner(TBevelCut cut) {
    FBevelInner = cut;
    update();
}

void TBrelPanel::SetBevelWidth(int width) {
    FBevelWidth = qMax(1, width);
    update();
}

void TBrelPanel::SetBorderWidth(int width) {
    FBorderWidth = qMax(0, width);
    update();
}

void TBrelPanel::SetAlignment(Qt::Alignment alignment) {
    FAlignment = alignment & Qt::AlignHorizontal_Mask;
    update();
}

namespace {

// A 3-D frame `width` pixels wide inside r: top and left edges in topLeft,
// bottom and right edges in bottomRight. Shrinks r by the width.
void frame3D(QPainter& p, QRect& r, const QColor& topLeft, const QColor& bottomRight, int width) {
    for (int i = 0; i < width && r.width() > 0 && r.height() > 0; ++i) {
        p.setPen(topLeft);
        p.drawLine(r.left(), r.bottom(), r.left(), r.top());
        p.drawLine(r.left(), r.top(), r.right(), r.top());
        p.setPen(bottomRight);
        p.drawLine(r.right(), r.top(), r.right(), r.bottom());
        p.drawLine(r.right(), r.bottom(), r.left(), r.bottom());
        r.adjust(1, 1, -1, -1);
    }
}

}  // namespace

void TBrelPanel::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QColor light = palette().color(QPalette::Light);
    const QColor dark = palette().color(QPalette::Dark);
    const QColor color = Color();

    QRect r = rect();
    auto bevel = [&](TBevelCut cut) {
        if (cut == TBevelCut::bvNone)
            return;
        if (cut == TBevelCut::bvLowered)
            frame3D(p, r, dark, light, FBevelWidth);
        else
            frame3D(p, r, light, dark, FBevelWidth);
    };
    bevel(FBevelOuter);
    frame3D(p, r, color, color, FBorderWidth);
    bevel(FBevelInner);
    if (!FTransparent && r.isValid())
        p.fillRect(r, color);

    if (!FCaption.isEmpty()) {
        // One line as high as a "W", centred vertically, tabs expanded.
        p.setFont(font());
        p.setPen(palette().color(QPalette::WindowText));
        const QFontMetrics fm(font());
        const int lineHeight = fm.boundingRect(QStringLiteral("W")).height();
        QRect line(r.left(), r.top() + (r.height() - lineHeight) / 2, r.width(), lineHeight);
        p.setLayoutDirection(layoutDirection());
        p.drawText(line, int(FAlignment | Qt::AlignVCenter | Qt::TextSingleLine | Qt::TextExpandTabs |
                             Qt::TextDontClip),
                   FCaption);
    }
}
