// BrelPanel: TBrelPanel, a panel that can let its parent show through.
//
// The header bands of the windows use it transparent (the window's own
// background stays visible behind the panel and its child controls); tab
// pages and progress areas use it opaque, filled with its colour. Either way
// it draws its bevels, border and single-line caption.
#pragma once

#include <QColor>
#include <QFrame>
#include <QString>

class TBrelPanel : public QFrame {
    Q_OBJECT
    Q_PROPERTY(bool Transparent READ Transparent WRITE SetTransparent)
    Q_PROPERTY(QString Caption READ Caption WRITE SetCaption)
    Q_PROPERTY(QColor Color READ Color WRITE SetColor)

public:
    enum class TBevelCut { bvNone, bvLowered, bvRaised };

    explicit TBrelPanel(QWidget* parent = nullptr);

    bool Transparent() const { return FTransparent; }
    // Does nothing when the value does not change; otherwise repaints the
    // panel and its direct children.
    void SetTransparent(bool value);

    QString Caption() const { return FCaption; }
    void SetCaption(const QString& caption);

    // The fill and border colour; the palette's window colour by default.
    QColor Color() const;
    void SetColor(const QColor& color);

    TBevelCut BevelOuter() const { return FBevelOuter; }
    void SetBevelOuter(TBevelCut cut);
    TBevelCut BevelInner() const { return FBevelInner; }
    void SetBevelInner(TBevelCut cut);
    int BevelWidth() const { return FBevelWidth; }
    void SetBevelWidth(int width);
    int BorderWidth() const { return FBorderWidth; }
    void SetBorderWidth(int width);
    // Horizontal alignment of the caption (Qt::AlignLeft, AlignHCenter, AlignRight).
    Qt::Alignment Alignment() const { return FAlignment; }
    void SetAlignment(Qt::Alignment alignment);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void updateOpacity();

    bool FTransparent = false;
    QString FCaption;
    QColor FColor;  // invalid: follow the palette
    TBevelCut FBevelOuter = TBevelCut::bvRaised;
    TBevelCut FBevelInner = TBevelCut::bvNone;
    int FBevelWidth = 1;
    int FBorderWidth = 0;
    Qt::Alignment FAlignment = Qt::AlignHCenter;
};
