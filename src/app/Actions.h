#pragma once

#include <QObject>
#include <QString>

class QAction;

namespace zembrix {

// One QAction per command, shared by the menus, the buttons and the keys.
// Their enabling is set in one place (applyState), from the controller's
// state, and again just before a menu shows. The export, effects and undo
// commands join this class with their own actions.
class Actions : public QObject
{
    Q_OBJECT
public:
    explicit Actions(QObject *parent = nullptr);

    // Where the keyboard focus is: the stop command and removal depend on it.
    enum class Focus { Browser, FileTable, Other };

    // What the enabling depends on.
    struct State {
        int selectedRows = 0; // rows selected in the file table
        bool busy = false;    // a busy period is open (the spinner)
        int selectedThumbnails = 0;
        qint64 images = 0; // images of the checked files
        int zoomIdx = 0;
        bool exportRunning = false; // an export job of the window is running
        Focus focus = Focus::Other;
        bool parsing = false; // a parse is running
        bool canUndo = false;
        bool canRedo = false;
        QString undoText; // the steps' names, empty when unnamed
        QString redoText;
        bool effectsPanelVisible = false;
    };
    void applyState(const State &state);
    const State &state() const { return m_state; }

    QAction *addFiles;           // Add PDF Files... (Open)
    QAction *addFolder;          // Add Folder...: the PDF files inside a folder
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
    QAction *colorManagement; // Color Management: checked while pictures go through their profiles
    QAction *allImages;       // All Images: inline, annotation and pattern images too
    QAction *skipDuplicates;  // Skip Duplicates: Export All writes equal pictures once
    QAction *hideSmallImages; // Hide Small Images: checked while they are hidden
    QAction *smallImageSize;  // Small Image Size...
    // Export and clipboard commands (their handlers live with the export commands).
    QAction *exportSelected;    // Export Selected Images... (Ctrl+E), in the chosen format
    QAction *exportAll;         // Export All Images (Ctrl+Shift+E)
    QAction *exportJpg;         // Export Selected as JPEG
    QAction *exportTif;         // Export Selected as TIFF
    QAction *exportPng;         // Export Selected as PNG
    QAction *exportIcns;        // Export Selected as Icon Family
    QAction *copyImage;         // Copy (one selected image)
    QAction *openExportFolder;  // Open Export Folder
    QAction *removeFilesButton; // the file list's remove button (no focus condition)
    // Editing, undo and windows.
    QAction *undo;            // Undo NAME (Ctrl+Z)
    QAction *redo;            // Redo NAME (Ctrl+Shift+Z)
    QAction *paste;           // never enabled
    QAction *selectAllImages; // Select All Images (Ctrl+A)
    QAction *rotateLeft;      // code 0
    QAction *rotateRight;
    QAction *flipHorizontal;   // code 1
    QAction *flipVertical;     // code 2
    QAction *resetAngle;       // code 3
    QAction *resetFlip;        // code 4
    QAction *resetEffects;     // code 5
    QAction *showEffectsPanel; // checked while the panel shows
    QAction *minimize;
    QAction *help; // Zembrix Help (F1)
    QAction *about;
    QAction *quit;

private:
    State m_state;
};

} // namespace zembrix
