#pragma once

#include "WriteResult.h"

#include <QByteArray>
#include <QImage>
#include <QString>

#include <functional>

namespace zembrix {

// Writing one image to one file in an export format (ExportFormat index),
// with the DPI written as the format's resolution metadata; the pixels are
// never scaled for it. Alpha is kept by PNG, TIFF, JPEG-2000, ICNS and HEIC
// and flattened on white for JPEG and BMP. DPI values that are not usable are
// replaced as exportDpi() says. An existing file is replaced; the folder must
// exist. None of this needs the GUI: any thread.

// The encoded file for an image, or empty when the image is null, the index
// is outside the table or the encoder fails.
QByteArray encodeImageFile(const QImage &image, int formatIndex, float dpi);

// Writes the image to `path` exactly (extension included):
//  - nothing written (no error) for a null image or an index outside 0 .. 6
//    (Original included: a rendered picture has no original file);
//  - failed, "imageDestinationNil" / -2, when the file cannot be created;
//  - failed, "imageEncoder" / -1, when the encoder gives no data. For HEIC
//    this also writes "Error: Failed to finalize image destination." to the log.
// The export window shows "Couldn't create file." for a failure, except for
// HEIC, whose failures are only logged.
// A `cancelled` that answers true before the file is complete leaves none.
WriteResult export1(const QImage &image, const QString &path, int formatIndex, float dpi,
                    const std::function<bool()> &cancelled = nullptr);

// "<pathWithoutExtension>.<extension of the format>", or an empty string for
// an index outside 0 .. 6.
QString exportFilePath(const QString &pathWithoutExtension, int formatIndex);

} // namespace zembrix
