// BrelMgfm: TBrelMsgForm, the framework's message window.
//
// A modal window titled "Information" that shows an HTML text next to the
// information icon, with a "&Close" button. Links in the text open with the
// desktop. Products derive it to add their own controls below the text and
// rearrange the window in ArrangeControls.
#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

class TBrelMsgForm : public QDialog {
    Q_OBJECT

public:
    explicit TBrelMsgForm(QWidget* AOwner, const QString& AMessage);

    // Width of the message label; its height follows the text.
    static constexpr int kMessageWidth = 405;

public slots:
    void labMsgLinkClick(const QString& HRef);
    void FormHelp();

protected:
    // Places the controls and sizes the window once the label's height is
    // known: the close button 16 pixels below the label, the window the
    // label's height plus the button's plus 80.
    virtual void ArrangeControls();
    void showEvent(QShowEvent* Event) override;
    // Height the message label takes for its text at the fixed width.
    int MessageHeight() const;

    QLabel* imgIcon;
    QLabel* labMsg;
    QPushButton* btnClose;
};
