#pragma once

// Test pictures, and readers for the files the writers make: the JPEG 2000
// decoder (checked on its own against OpenJPEG's files) for JP2, libheif for
// HEIC, Qt's readers for the rest; plain byte parsing for boxes and ICNS.

#include "ImageComparison.h"
#include "PdfFixture.h"

#include <QByteArray>
#include <QImage>
#include <QString>

#include <optional>
#include <utility>
#include <vector>

namespace exporttest {

// Red grows left to right, green top to bottom; a fully transparent block in the top-left
// quarter (colour kept) and a half-transparent stripe along the bottom rows.
QImage gradientImage(int width, int height);
QImage opaqueGradientImage(int width, int height); // the same, every pixel opaque (RGB32)

struct Jp2Decoded {
    QImage image;
    int components = 0;
    int precision = 0;
    bool hasAlphaComponent = false;
};
std::optional<Jp2Decoded> decodeJp2(const QByteArray &file);
// The boxes (type, content) that make up `bytes` exactly; none when a length does not fit.
using Boxes = std::vector<std::pair<QByteArray, QByteArray>>;
std::optional<Boxes> jp2Boxes(const QByteArray &bytes);

// The primary image as ARGB32, its alpha flag and its Exif block (after the stored
// 4-byte offset of the TIFF header, `exifOffset`).
struct HeicDecoded {
    QImage image;
    bool hasAlpha = false;
    QByteArray exif;
    quint32 exifOffset = 0;
};
std::optional<HeicDecoded> decodeHeic(const QByteArray &file);

// The DPI in the file's resolution field (none for ICNS, or when X and Y differ).
std::optional<double> dpiOfFile(int formatIndex, const QByteArray &file);
QImage decodeExportFile(int formatIndex, const QByteArray &file);

struct IcnsElement {
    QByteArray type;
    QByteArray data;
};
// The elements of an ICNS file, checking the container lengths.
std::optional<std::vector<IcnsElement>> parseIcns(const QByteArray &file);
QList<QByteArray> icnsTypes(const QByteArray &file);

using fixture::readFile;

} // namespace exporttest
