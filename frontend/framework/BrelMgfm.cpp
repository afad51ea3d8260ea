#include "BrelMgfm.h"

#include "BrelMsgBox.h"
#include "BrelShell.h"
#include "BrelMain.h"

#include <QKeySequence>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QShortcut>
#include <QStyle>
#include <QUrl>

namespace {
// Links in the message are drawn bold (and, as links are, underlined).
QString BoldLinks(QString Text) {
    static const QRegularExpression open(QStringLiteral("<a\\b"), QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression close(QStringLiteral("</a\\s*>"), QRegularExpression::CaseInsensitiveOption);
    Text.replace(open, QStringLiteral("<b><a"));
    Text.replace(close, QStringLiteral("</a></b>"));
    return Text;
}
}  // namespace

TBrelMsgForm::TBrelMsgForm(QWidget* AOwner, const QString& AMessage) : QDialog(AOwner) {
    setObjectName(QStringLiteral("MsgForm"));
    setWindowTitle(QStringLiteral("Information"));
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);

    imgIcon = new QLabel(this);
    imgIcon->setObjectName(QStringLiteral("imgIcon"));
    imgIcon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxInformation).pixmap(32, 32));
    imgIcon->setGeometry(16, 16, 32, 32);

    labMsg = new QLabel(this);
    labMsg->setObjectName(QStringLiteral("labMsg"));
    labMsg->setTextFormat(Qt::RichText);
    labMsg->setWordWrap(true);
    labMsg->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    labMsg->setTextInteractionFlags(Qt::TextBrowserInteraction);
    labMsg->setOpenExternalLinks(false);
    labMsg->setText(BoldLinks(AMessage));
    connect(labMsg, &QLabel::linkActivated, this, &TBrelMsgForm::labMsgLinkClick);

    btnClose = new QPushButton(QStringLiteral("&Close"), this);
    btnClose->setObjectName(QStringLiteral("btnClose"));
    btnClose->setDefault(true);
    btnClose->resize(100, 28);
    connect(btnClose, &QPushButton::clicked, this, &QDialog::reject);

    auto* help = new QShortcut(QKeySequence::HelpContents, this);
    connect(help, &QShortcut::activated, this, &TBrelMsgForm::FormHelp);
}

int TBrelMsgForm::MessageHeight() const { return labMsg->heightForWidth(kMessageWidth); }

void TBrelMsgForm::ArrangeControls() {
    const int left = !imgIcon->isHidden() ? 64 : 24;
    labMsg->setGeometry(left, 20, kMessageWidth, MessageHeight());
    const int width = left + kMessageWidth + 24;
    btnClose->move((width - btnClose->width()) / 2, labMsg->geometry().bottom() + 1 + 16);
    setFixedSize(width, labMsg->height() + btnClose->height() + 80);
}

void TBrelMsgForm::showEvent(QShowEvent* Event) {
    ArrangeControls();
    QDialog::showEvent(Event);
}

void TBrelMsgForm::labMsgLinkClick(const QString& HRef) { BrelShellOpen(QUrl(HRef)); }

void TBrelMsgForm::FormHelp() {
    BrelShellOpen(QUrl::fromLocalFile(TBrelMainForm::HelpFilePath()));
}
