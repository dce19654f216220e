#pragma once

#include <QWidget>

class QLabel;
class QToolButton;

namespace zembrix {

// A line in the status area that stays until the next one: what an export
// did ("12 images written to FOLDER", with a Show button), or what could not
// be done. Its tooltip holds the details. Main thread.
class StatusLineView : public QWidget
{
    Q_OBJECT
public:
    explicit StatusLineView(QWidget *parent = nullptr);

    // Shows the line; the Show button only with `showable`.
    void showLine(const QString &text, const QString &details = {}, bool showable = false);
    void clear();
    QString text() const;
    QToolButton *showButton() const { return m_show; }

signals:
    void showRequested();

private:
    QLabel *m_label;
    QToolButton *m_show;
};

} // namespace zembrix
