#pragma once

#include "ThumbnailSequence.h"

#include "images/EffectParameters.h"

#include <QByteArray>
#include <QHash>
#include <QPair>
#include <QString>

#include <optional>

namespace zembrix {

class PDFFileStruct;

// The edits of the listed files' images, kept across restarts and parses.
// Each edited image is known by its file's path, its object ("12 0") and
// its index in the file; a file is known by its size and modification time
// when it was added, so a file that changed on disk drops its edits instead
// of putting them on other pictures.
//
// Kept edits wait here until their image appears (a walk finds images one by
// one) and are then put on the record (applyPending). What is stored at quit
// is what the records hold, with the edits still waiting for images the
// walks have not reached. Main thread.
class ImageEditStore
{
public:
    struct Stamp {
        qint64 size = -1;
        qint64 modified = 0; // milliseconds since the epoch
        bool operator==(const Stamp &) const = default;
    };
    // The file as it is now; none when it cannot be read.
    static std::optional<Stamp> stampOf(const QString &path);

    struct Entry {
        EffectParameters edits;
        bool exported = false; // an export wrote the picture with these edits
    };
    using Key = QPair<QString, int>; // object, index in the file

    // The stored form (the "IMAGE_EDITS" preference): entries of files whose
    // stamp no longer matches are dropped. Damaged bytes give nothing.
    void load(const QByteArray &bytes);
    QByteArray save(const FileRecordList &files);

    // A file joins the list: its stamp is taken unless one is kept already.
    void fileAdded(const PDFFileStruct &file);
    // Its images are about to be made again (a new parse, a removed file
    // brought back): their edits wait for the new records. A file that
    // changed on disk since its stamp drops them and gets a new stamp.
    void keepEditsOf(const PDFFileStruct &file);
    // Puts waiting edits on the records that are there now.
    void applyPending(const FileRecordList &files);

    // Waiting edits, per file path.
    int pendingCount(const QString &path) const { return int(m_files.value(path).pending.size()); }

    // The byte format, for the preference.
    struct FileEdits {
        Stamp stamp;
        QHash<Key, Entry> pending;
    };
    static QByteArray encode(const QHash<QString, FileEdits> &files);
    static std::optional<QHash<QString, FileEdits>> decode(const QByteArray &bytes);

private:
    QHash<QString, FileEdits> m_files;
};

} // namespace zembrix
