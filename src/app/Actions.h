#pragma once

#include <QObject>

class QAction;

// One QAction per command, shared by the menus, the buttons and the keys.
// Their enabling is set in one place (applyState), from the controller's
// state, and again just before a menu shows. The export, effects and undo
// commands join this class with their own actions.
class Actions : public QObject
{
    Q_OBJECT
public:
    explicit Actions(QObject *parent = nullptr);

    // What the enabling depends on.
    struct State {
        int selectedRows = 0;        // rows selected in the file table
        bool busy = false;           // a busy period is open (the spinner)
        int selectedThumbnails = 0;
        qint64 images = 0;           // images of the checked files
        int zoomIdx = 0;
        bool exportRunning = false;  // an export job of the window is running
    };
    void applyState(const State &state);
    const State &state() const { return m_state; }

    QAction *addFiles;           // Add PDF Files... (Open)
    QAction *chooseExportFolder; // Choose Export Folder...
    QAction *removeFiles;        // Remove (Delete)
    QAction *checkFiles;         // Check / Uncheck selected files
    QAction *clearSelection;     // Deselect files
    QAction *reparseFiles;       // Parse Again
    QAction *stop;               // Stop (Escape)
    QAction *selectAllFiles;
    QAction *zoomSmall;
    QAction *zoomMiddle;
    QAction *zoomLarge;
    // Export and clipboard commands (their handlers live with the export commands).
    QAction *exportSelected;     // Export Selected Images... (Ctrl+E), in the chosen format
    QAction *exportAll;          // Export All Images (Ctrl+Shift+E)
    QAction *exportJpg;          // Export Selected as JPEG
    QAction *exportTif;          // Export Selected as TIFF
    QAction *exportPng;          // Export Selected as PNG
    QAction *exportIcns;         // Export Selected as Icon Family
    QAction *copyImage;          // Copy (one selected image)
    QAction *openExportFolder;   // Open Export Folder
    QAction *help;               // Zembrix Help (F1)
    QAction *about;
    QAction *quit;

private:
    State m_state;
};
