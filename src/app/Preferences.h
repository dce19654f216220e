#pragma once

#include <QByteArray>
#include <QSize>
#include <QString>
#include <QStringList>
#include <QVariantList>

#include <memory>
#include <optional>

class QSettings;

namespace zembrix {

// What the preferences hold between runs.
struct StoredPreferences {
    // "PDF_FILES" was there: only then is anything below restored.
    bool filesPresent = false;
    // One saved form per file (PDFFileStruct::savePref), in list order.
    QVariantList savedFiles;
    std::optional<QString> exportFolder;
    int zoomIdx = 0;
    QString exportFormat = QStringLiteral("PNG");
    float dpi = 72.0f;
    // Folders the user granted, as plain paths; written only when not empty.
    QStringList bookmarks;
    // Pictures converted through their colour profiles; read even when no
    // file list was stored.
    bool colorManagement = true;
    // Inline, annotation and pattern images too; read as colorManagement.
    bool allImages = false;
    // Export All skips pictures equal to earlier ones; read as colorManagement.
    bool skipDuplicates = false;
    // View > Hide Small Images and its size; read as colorManagement.
    bool hideSmallImages = false;
    QSize smallImageSize{32, 32};
    // The kept edits of the images (ImageEditStore's bytes); empty for none.
    QByteArray imageEdits;
};

// The one class that knows the preference keys. It reads and writes a
// QSettings store: the user's (organisation and application "Zembrix"), or a
// given file. The store may be damaged or written by someone else: reading
// checks every value and falls back to the defaults, and lists are kept as
// byte strings of our own checked format, never as streamed variants, whose
// reader trusts the counts in the file. Main thread.
class Preferences
{
public:
    // The user's store.
    Preferences();
    // An INI file at `fileName` (tests, or another profile).
    explicit Preferences(const QString &fileName);
    ~Preferences();
    Preferences(const Preferences &) = delete;
    Preferences &operator=(const Preferences &) = delete;

    static const char *const kPdfFiles;        // "PDF_FILES"
    static const char *const kPdfFilesArray;   // "PDF_FILES_ARRAY"
    static const char *const kExportFolder;    // "EXPORT_FOLDER"
    static const char *const kListZoom;        // "LIST_ZOOM"
    static const char *const kExportFormat;    // "EXP_FORMAT"
    static const char *const kExportDpi;       // "EXP_DPI"
    static const char *const kBookmarks;       // "SecurityScopedBookmarks"
    static const char *const kWindowFrame;     // "Zembrix"
    static const char *const kColorManagement; // "ColorManagement"
    static const char *const kAllImages;       // "AllImages"
    static const char *const kSkipDuplicates;  // "SkipDuplicates"
    static const char *const kHideSmallImages; // "HideSmallImages"
    static const char *const kSmallImageSize;  // "SmallImageSize", "WxH"
    static const char *const kImageEdits;      // "IMAGE_EDITS"

    // The stored values. When "PDF_FILES" is missing nothing else is read;
    // when it is there, a missing "EXP_DPI" gives 300. Values of the wrong
    // kind or out of range give their defaults.
    StoredPreferences read() const;
    // Writes every key; "EXPORT_FOLDER" only when a folder is given (an
    // earlier one stays otherwise), the bookmarks only when there are some.
    // Then writes the store through.
    void write(const StoredPreferences &values);

    QByteArray windowFrame() const;
    void setWindowFrame(const QByteArray &frame);

    // The byte format of "PDF_FILES_ARRAY".
    static QByteArray encodeFileList(const QVariantList &savedForms);
    static std::optional<QVariantList> decodeFileList(const QByteArray &bytes);

private:
    StoredPreferences readUnchecked() const;

    std::unique_ptr<QSettings> m_settings;
};

} // namespace zembrix
