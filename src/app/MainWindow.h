#pragma once

#include <QMainWindow>

#include <functional>
#include <optional>

class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QAction;
class QDockWidget;
class QDropEvent;
class QStackedWidget;

namespace zembrix {

class BaseColoredButton;
class EffectsPanel;
class Controller;
class ExportCommands;
class ExportProgressView;
class KeshAlert;
class FileTableView;
class InfoArea;
class ImageBrowser;
class MyPathControl;
class MySpinView;
class StatusLineView;
class ViewerPage;

// The main window: the file list and the export controls on the left, the
// thumbnail browser filling the rest, the status and information area below.
// Widgets show the controller's models and state and hand user actions to
// it; they hold no state of their own. PDF files dropped anywhere on the
// window are added. Main thread.
class MainWindow : public QMainWindow
{
    Q_OBJECT
public:
    explicit MainWindow(Controller *controller, QWidget *parent = nullptr);
    ~MainWindow() override;

    ImageBrowser *imageBrowser() const { return m_browser; }
    MyPathControl *exportPathControl() const { return m_pathControl; }
    QComboBox *formatCombo() const { return m_format; }
    QComboBox *dpiCombo() const { return m_dpi; }
    QPlainTextEdit *infoStatusText() const { return m_info; }
    InfoArea *infoArea() const { return m_infoArea; }
    EffectsPanel *effectsPanel() const { return m_effectsPanel; }
    // The image viewer, in the browser's place while it shows an image.
    ViewerPage *viewerPage() const { return m_viewer; }
    void openViewer(int row);
    // The panel shows, or closes when it shows.
    void showImageEffectsPanel();
    ExportCommands *exportCommands() const { return m_export; }
    ExportProgressView *exportProgress() const { return m_progress; }
    // The status area's line: what the last export did, or what could not be shown.
    StatusLineView *statusLine() const { return m_statusLine; }
    // The alert panel on screen, if one is.
    KeshAlert *alertPanel() const { return m_alert; }

    // The window frame saved under "Zembrix"; damaged bytes are ignored.
    void restoreFrame(const QByteArray &frame);

    // The open-files dialog, as a sheet on the window.
    void openFiles();

protected:
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QWidget *buildFilePanel();
    QWidget *buildBrowserArea();
    void buildMenus();
    BaseColoredButton *actionButton(QAction *action, const QString &picture, bool checkable = false);
    void chooseFolder(std::function<void(const QString &)> done);
    void askPassword(const QString &fileName, bool wrongBefore, std::function<void(std::optional<QByteArray>)> done);
    void stopPressed();
    // Where the keyboard focus is, for the stop command and the menus.
    int currentFocus() const;
    void refreshMenuState();
    bool acceptsPdfDrop(const QDropEvent *event) const;
    void showAbout();
    void showStatusText(const QString &text);
    void showImageInfo();
    void queueAlert(const QString &message, const QString &text);
    void showNextAlert();

    Controller *m_controller;
    FileTableView *m_table = nullptr;
    ImageBrowser *m_browser = nullptr;
    QWidget *m_browserArea = nullptr;
    MyPathControl *m_pathControl = nullptr;
    MySpinView *m_spin = nullptr;
    QLineEdit *m_pattern = nullptr;
    QComboBox *m_format = nullptr;
    QComboBox *m_dpi = nullptr;
    QPlainTextEdit *m_info = nullptr;
    InfoArea *m_infoArea = nullptr;
    QLabel *m_browserTitle = nullptr;
    QTimer *m_unpause = nullptr;
    EffectsPanel *m_effectsPanel = nullptr;
    QDockWidget *m_effectsDock = nullptr;
    QStackedWidget *m_browserStack = nullptr;
    ViewerPage *m_viewer = nullptr;
    ExportCommands *m_export = nullptr;
    ExportProgressView *m_progress = nullptr;
    StatusLineView *m_statusLine = nullptr;
    KeshAlert *m_alert = nullptr;
    QList<QPair<QString, QString>> m_pendingAlerts;
    std::function<void()> m_afterAlerts; // a folder prompt waiting for the alerts to be read
};

} // namespace zembrix
