// NewVersionFrm: the window that offers a newer version with its what's-new
// text. exec() returns QMessageBox::Yes when the user wants to upgrade and
// QMessageBox::No otherwise.
#pragma once

#include <QDialog>

class QLabel;
class QPlainTextEdit;
class QPushButton;

class TNewVersionForm : public QDialog {
    Q_OBJECT
public:
    // NewVerStr is the version text as the server wrote it ("2,6,0,0" is
    // shown as 2.6.0.0); it is shown as text, never as markup.
    TNewVersionForm(QWidget* owner, const QString& newVerStr);

    // Fills txtWhatsNew with the release notes as plain text; an empty text
    // gives the line "Sorry but no what's new information available!".
    void SetWhatsNewText(const QString& text);

    void reject() override;

    QLabel* labNewVersionPrompt;
    QPlainTextEdit* txtWhatsNew;
    QLabel* labUpgradePrompt;
    QPushButton* btnYes;
    QPushButton* btnClose;
};
