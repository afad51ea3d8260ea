#include "UpdateDialogs.h"

#include "BrelMsgBox.h"
#include "BrelShell.h"
#include "BrelMain.h"

#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QShortcut>
#include <QStyle>
#include <QUrl>

QLabel* CreateInformationIcon(QWidget* parent) {
    auto* icon = new QLabel(parent);
    icon->setObjectName(QStringLiteral("imgInfo"));
    const int size = parent->style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, parent);
    icon->setPixmap(
        parent->style()->standardIcon(QStyle::SP_MessageBoxInformation, nullptr, parent).pixmap(size, size));
    icon->setAlignment(Qt::AlignTop | Qt::AlignHCenter);
    return icon;
}

void InstallUpdateDialogHelp(QDialog* dialog) {
    auto* help = new QShortcut(QKeySequence::HelpContents, dialog);
    QObject::connect(help, &QShortcut::activated, dialog, [] {
        BrelShellOpen(QUrl::fromLocalFile(TBrelMainForm::HelpFilePath()));
    });
}

void OpenUpdateLink(const QString& link) {
    BrelShellOpen(QUrl(link, QUrl::TolerantMode));
}
