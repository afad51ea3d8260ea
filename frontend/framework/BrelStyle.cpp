#include "BrelStyle.h"

#include <QApplication>
#include <QFile>
#include <QStyle>
#include <QStyleFactory>
#include <QWidget>

// The resource lives in this static library; a program linking it must
// register it before the first lookup.
static void InitStyleResource() { Q_INIT_RESOURCE(brelstyle); }

static QString ReadSheet(const QString& Name) {
    InitStyleResource();
    QFile file(QStringLiteral(":/brel/style/") + Name);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        qFatal("style sheet %s missing from the program", qPrintable(Name));
    return QString::fromUtf8(file.readAll());
}

QString BrelStyleSheet() {
    return ReadSheet(QStringLiteral("brel.qss")) + u'\n' + BrelButtonLooks();
}

QString BrelButtonLooks() { return ReadSheet(QStringLiteral("looks.qss")); }

void BrelApplyStyle(QApplication& App) {
    // Fusion looks the same under every desktop theme, so the sheet's
    // spacing and colours come out as designed everywhere.
    if (QStyle* fusion = QStyleFactory::create(QStringLiteral("Fusion")))
        QApplication::setStyle(fusion);
    App.setStyleSheet(BrelStyleSheet());
}

void BrelRepolish(QWidget* Widget) {
    Widget->style()->unpolish(Widget);
    Widget->style()->polish(Widget);
    Widget->update();
}
