#pragma once

#include <QWidget>

class QLabel;
class QProgressBar;
class QTimer;
class QToolButton;

namespace zembrix {

// The progress of a long export in the status area: "Exporting 12 of 340",
// a bar and a cancel button beside it. It appears only once a job has run
// for a moment, so short exports leave the status area alone. Main thread.
class ExportProgressView : public QWidget
{
    Q_OBJECT
public:
    explicit ExportProgressView(QWidget *parent = nullptr);

    // A job starts (shown after the delay), moves on, or ends (hidden).
    void begin();
    void setProgress(int done, int total);
    void end();

signals:
    void cancelRequested();

private:
    QLabel *m_label;
    QProgressBar *m_bar;
    QToolButton *m_cancel;
    QTimer *m_delay;
};

} // namespace zembrix
