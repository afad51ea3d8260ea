#include "NewVersionFrm.h"

#include "UpdateDialogs.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

TNewVersionForm::TNewVersionForm(QWidget* owner, const QString& newVerStr)
    : QDialog(owner, kUpdateDialogFlags) {
    setObjectName(QStringLiteral("NewVersionForm"));
    setWindowTitle(QStringLiteral("New Version Available"));
    setModal(true);

    QString version = newVerStr;
    version.replace(u',', u'.');
    labNewVersionPrompt = new QLabel(this);
    labNewVersionPrompt->setObjectName(QStringLiteral("labNewVersionPrompt"));
    labNewVersionPrompt->setTextFormat(Qt::RichText);
    labNewVersionPrompt->setWordWrap(true);
    labNewVersionPrompt->setFixedWidth(645);
    labNewVersionPrompt->setText(
        QStringLiteral("<B>A new version(%1) is available. Please find the what's new "
                       "information below:</B>")
            .arg(version.toHtmlEscaped()));

    txtWhatsNew = new QPlainTextEdit(this);
    txtWhatsNew->setObjectName(QStringLiteral("txtWhatsNew"));
    txtWhatsNew->setReadOnly(true);
    txtWhatsNew->setFixedSize(645, 330);
    txtWhatsNew->setLineWrapMode(QPlainTextEdit::NoWrap);
    txtWhatsNew->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    txtWhatsNew->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);

    labUpgradePrompt = new QLabel(this);
    labUpgradePrompt->setObjectName(QStringLiteral("labUpgradePrompt"));
    labUpgradePrompt->setTextFormat(Qt::RichText);
    labUpgradePrompt->setText(
        QStringLiteral("<B>Would you like to upgrade to the latest version?</B>"));

    btnYes = new QPushButton(QStringLiteral("&Yes"), this);
    btnYes->setObjectName(QStringLiteral("btnYes"));
    btnYes->setDefault(true);
    btnClose = new QPushButton(QStringLiteral("&No"), this);
    btnClose->setObjectName(QStringLiteral("btnClose"));
    connect(btnYes, &QPushButton::clicked, this, [this] { done(QMessageBox::Yes); });
    connect(btnClose, &QPushButton::clicked, this, [this] { done(QMessageBox::No); });

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btnYes);
    buttons->addWidget(btnClose);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(labNewVersionPrompt);
    layout->addWidget(txtWhatsNew);
    layout->addWidget(labUpgradePrompt);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    InstallUpdateDialogHelp(this);
}

void TNewVersionForm::SetWhatsNewText(const QString& text) {
    QString lines = text;
    lines.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    lines.replace(u'\r', u'\n');
    // A final line break ends the last line; it does not start another one.
    if (lines.endsWith(u'\n'))
        lines.chop(1);
    txtWhatsNew->clear();
    if (lines.trimmed().isEmpty())
        lines = QStringLiteral("Sorry but no what's new information available!");
    txtWhatsNew->setPlainText(lines);
}

// Esc answers No, like the cancel button.
void TNewVersionForm::reject() {
    done(QMessageBox::No);
}
