#pragma once

#include <QByteArray>
#include <QHash>
#include <QJsonObject>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

#include <optional>

namespace zembrix {

// The manifest of --extract: a JSON Lines file, one object per image that was
// written, found equal to an earlier one, skipped or failed. Every line is
// written whole with one system call as its image is done, so a run that is
// killed leaves a file that is valid up to its last line.
//
// Keys: file (the PDF as given; "file_base64" holds its bytes when they are
// not UTF-8), file_images (the lines the file has when complete), page,
// object, index, name, output, width, height, bpc, colorspace, filter, x_ppi,
// y_ppi, bytes, sha256 (of the output file), status ("written", "duplicate",
// "skipped", "failed") and reason; pixels (the SHA-256 of the picture) with
// --skip-duplicates; planned (the name the image was given) for a duplicate,
// whose output and sha256 are those of the first image.
class ManifestFile
{
public:
    ManifestFile() = default;
    ~ManifestFile();
    ManifestFile(const ManifestFile &) = delete;
    ManifestFile &operator=(const ManifestFile &) = delete;

    // Opens the manifest (its path as argumentText() gives it) for appending:
    // emptied first, or, with `kept`, made to hold exactly those lines (put in
    // place whole, by renaming). False with the reason in `error`.
    bool open(const QString &argument, const QList<QByteArray> *kept, QString *error);
    bool isOpen() const { return m_fd >= 0; }
    // Appends the object as one line. False when it could not be written.
    bool append(const QJsonObject &line);

private:
    int m_fd = -1;
};

// The identity of an input in the manifest: its bytes as given.
QByteArray manifestFileKey(const QJsonObject &line);
// The "file" (and, for bytes that are not UTF-8, "file_base64") entries.
void setManifestFile(QJsonObject &line, const QString &shown, const QByteArray &bytes);

// What an earlier run's manifest says for --resume.
struct ResumePlan {
    QSet<QByteArray> doneFiles;  // inputs (their bytes) complete, each written file unchanged on disk
    QList<QByteArray> keptLines; // their lines, as they were
    QStringList reservedPaths;   // their files (and the names of their duplicates), in the output folder
    QHash<QByteArray, QJsonObject> writtenPictures; // by pixel SHA-256: the line that wrote it
    int images = 0;                                 // their images written
};

// Reads the manifest for a resumed run writing into `outFolder` (a path Qt
// opens). A file missing is an empty plan; none when it cannot be read.
// Lines that are not JSON objects (the torn end of a killed run) are ignored.
std::optional<ResumePlan> readResumePlan(const QString &argument, const QString &outFolder, QString *error);

// The SHA-256 of a file's bytes in hex, or empty when it cannot be read.
QString fileSha256(const QString &path);

} // namespace zembrix
