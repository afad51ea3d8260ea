#include "UpdateDialogs.h"

#include "BrelMsgBox.h"
#include "BrelShell.h"
#include "BrelMain.h"

#include <QApplication>
#include <QDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QShortcut>
#include <QStyle>
#include <QUrl>
#include <QVBoxLayout>

QLabel* CreateInformationIcon(QWidget* parent) {
    auto* icon = new QLabel(parent);
    icon->setObjectName(QStringLiteral("imgInfo"));
    const int size = parent->style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, parent);
    icon->setPixmap(
        parent->style()->standardIcon(QStyle::SP_MessageBoxInformation, nullptr, parent).pixmap(size, size));
    icon->setAlignment(Qt::AlignTop | Qt::AlignHCenter);
    return icon;
}

QLabel* CreateUpdateMessageLabel(QDialog* dialog, int width) {
    auto* label = new QLabel(dialog);
    label->setObjectName(QStringLiteral("labMsg"));
    label->setTextFormat(Qt::RichText);
    label->setWordWrap(true);
    label->setFixedWidth(width);
    QObject::connect(label, &QLabel::linkActivated, dialog, &OpenUpdateLink);
    return label;
}

void LayOutUpdateMessageDialog(QDialog* dialog, QLabel* message, QPushButton* button) {
    auto* top = new QHBoxLayout;
    top->addWidget(CreateInformationIcon(dialog));
    top->addWidget(message, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(button);
    buttons->addStretch();
    auto* layout = new QVBoxLayout(dialog);
    layout->addLayout(top);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
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
