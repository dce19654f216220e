#pragma once

// Readers for the files the writers make: the JPEG 2000 decoder (checked on
// its own against files OpenJPEG's encoder wrote) for JP2, libheif for HEIC,
// plain byte parsing for the boxes and resolution fields.

#include <QByteArray>
#include <QImage>

#include <optional>
#include <utility>
#include <vector>

namespace exporttest {

// A JP2 file decoded into a picture of 8 or 16 bits per component.
// `components` and `precision` report what the codestream holds.
struct Jp2Decoded {
    QImage image;
    int components = 0;
    int precision = 0;
    bool hasAlphaComponent = false;
};
std::optional<Jp2Decoded> decodeJp2(const QByteArray &file);
// The boxes (type, content) that make up `bytes` exactly; none when a length does not fit.
std::optional<std::vector<std::pair<QByteArray, QByteArray>>> jp2Boxes(const QByteArray &bytes);

// An HEIC file decoded by libheif to ARGB32, with its alpha flag and the Exif
// block of the primary image (the 4-byte TIFF header offset already skipped;
// `exifOffset` is that offset as stored).
struct HeicDecoded {
    QImage image;
    bool hasAlpha = false;
    QByteArray exif;
    quint32 exifOffset = 0;
};
std::optional<HeicDecoded> decodeHeic(const QByteArray &file);

// The DPI each format's resolution field holds, read from the file bytes.
std::optional<double> pngDpi(const QByteArray &file);   // pHYs, unit metre
std::optional<double> jpegDpi(const QByteArray &file);  // JFIF APP0, unit inch
std::optional<double> bmpDpi(const QByteArray &file);   // BITMAPINFOHEADER pels per metre
std::optional<double> tiffDpi(const QByteArray &file);  // X/YResolution, unit inch
std::optional<double> jp2Dpi(const QByteArray &file);   // 'resc' box in 'res ' in 'jp2h'
std::optional<double> heicDpi(const QByteArray &file);  // Exif XResolution, unit inch

// The DPI of a file of an export format index (none for ICNS).
std::optional<double> dpiOfFile(int formatIndex, const QByteArray &file);

// Decodes a file of an export format index with the independent reader of
// that format (QImageReader for JPEG, TIFF, PNG, BMP and ICNS).
QImage decodeExportFile(int formatIndex, const QByteArray &file);

} // namespace exporttest
