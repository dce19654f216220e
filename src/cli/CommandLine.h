#pragma once

#include "PageRange.h"
#include "pdf/PDFFileStruct.h"

#include <QSize>
#include <QString>
#include <QStringList>

namespace zembrix {

// What the command line asks for. Parsing never exits; the caller prints
// the error or the usage text and chooses the exit status.
// The pixel budget of one image, for the window and the headless modes.
inline constexpr qint64 kDefaultMaxPixels = PDFFileStruct::kDefaultMaxPixels;

struct CommandLine {
    enum class Mode { Window, Info, List, Extract, Help, Version, UsageError };
    Mode mode = Mode::Window;
    QStringList files; // as shown in messages
    QString outDir;
    QStringList paths;           // what to open for each of `files`, and for outDir (resolveArgumentPaths)
    QList<QByteArray> fileBytes; // the bytes of each of `files` as given (resolveArgumentPaths)
    QString outPath;
    QString format = QStringLiteral("PNG");
    double dpi = 72;
    QString pattern = QStringLiteral("$_###");
    std::optional<PageRange> pages;       // --pages: only images first found on these pages
    bool quiet = false;                   // --quiet: no lines about images that were not decoded
    qint64 maxPixels = kDefaultMaxPixels; // --max-pixels: larger images are skipped
    bool colorManaged = true;             // --no-color-management: uncalibrated conversions
    bool allImages = false;               // --all-images: inline, annotation and pattern images too
    QString filesFrom;                    // --files-from: more files, one a line ("-": standard input)
    bool nullSeparated = false;           // --null: that list is separated by NUL bytes
    QString manifest;                     // --manifest: one JSON line per image
    bool resume = false;                  // --resume: skip the files the manifest shows done
    bool skipDuplicates = false;          // --skip-duplicates: equal pictures are written once
    std::optional<QSize> minSize;         // --min-size: smaller images are not listed or extracted
    QByteArray password;                  // --password PW, or the first line of --password-file FILE
    bool overwrite = false;               // --overwrite: files of earlier exports are replaced, not kept
    QString error;                        // for UsageError
};

CommandLine parseCommandLine(const QStringList &arguments);
QString usageText();
// What a usage error prints: "zembrix: <error>" and a line pointing at --help.
QString usageErrorText(const QString &error);

} // namespace zembrix
