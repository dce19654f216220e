#pragma once

#include <QDialog>

class QLabel;

namespace zembrix {

class BaseColoredTextButton;

// The alert panel for failed operations: a message line, an informative text,
// the application picture and up to three buttons chosen by a mask. It is
// window-modal on the window that asks. The first button, at the right, is
// the default: Return and Enter press it; Escape presses "Cancel" (or the
// only button). The button numbers 1, 2, 3 are the
// results (0 when the panel is closed some other way). Main thread only.
class KeshAlert : public QDialog
{
    Q_OBJECT
public:
    // Bits of the button mask.
    enum Button {
        Ok = 1,        // first button "OK"
        Yes = 2,       // first button "Yes"
        No = 4,        // second button "No"
        Cancel = 8,    // second button "Cancel"
        Third = 16,    // third button "Cancel"
        Save = 32,     // first button "Save..."
        DontSave = 64, // third button "Don't Save"
    };

    explicit KeshAlert(QWidget *parent = nullptr);

    // A null message or text shows as an empty line.
    void setMessage(const QString &message, const QString &text);
    void setButtons(int mask);

    BaseColoredTextButton *firstButton() const { return m_first; }
    BaseColoredTextButton *secondButton() const { return m_second; }
    BaseColoredTextButton *thirdButton() const { return m_three; }
    QString message() const;
    QString text() const;

protected:
    void keyPressEvent(QKeyEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    BaseColoredTextButton *makeButton(int code);
    void highlight(BaseColoredTextButton *button);

    BaseColoredTextButton *m_first;
    BaseColoredTextButton *m_second;
    BaseColoredTextButton *m_three;
    QLabel *m_message;
    QLabel *m_text;
    QLabel *m_icon;
    int m_mask = 0;
};

} // namespace zembrix
