#pragma once

#include <QFrame>
#include <QString>

#include <optional>

class QMimeData;

namespace zembrix {

// Shows the export folder as its path components ("home › ann › Pictures"),
// or a placeholder when no folder is set. A click asks for a folder
// (clicked); a folder dropped on it sets the folder (folderDropped). Only a
// drag whose first path is an existing folder is accepted; the control then
// draws a highlight frame until the drag leaves or drops. Main thread only.
class MyPathControl : public QFrame
{
    Q_OBJECT
public:
    explicit MyPathControl(QWidget *parent = nullptr);

    static QString placeholderText(); // "Click to choose export folder."

    void setPath(const QString &folder);
    QString path() const { return m_path; }

    // The drop test: the first dragged path exists and is a folder.
    static bool validateDrop(const QMimeData *mime);
    // The folder a drop sets: the first path when it is a folder, else its
    // parent when that is a folder; none otherwise.
    static std::optional<QString> folderFromDrop(const QMimeData *mime);

    bool isHighlighted() const { return m_dragEnter; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    void clicked();
    void folderDropped(const QString &folder);

protected:
    void paintEvent(QPaintEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dragLeaveEvent(QDragLeaveEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    QString m_path;
    bool m_dragEnter = false;
};

} // namespace zembrix
