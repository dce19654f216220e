#pragma once

#include "BitmapImageRep.h"
#include "IcnsElements.h"
#include "WriteResult.h"

#include <QByteArray>
#include <QImage>
#include <QString>

#include <optional>
#include <vector>

namespace zembrix {

// Interpolation levels for resampling, as the icon code has always numbered them.
enum class ImageInterpolation { Default = 0, None = 1, Low = 2, High = 3 };

// An icon family: the contents of an ICNS file ("icns", a big-endian total
// length, then elements of a four-character type, a big-endian length that
// counts its 8-byte header, and the data).
//
// A family built from an image holds, in this order: 'ic09' (512, PNG), 'ic08'
// (256, PNG), 'it32' (128, packed RGB after 4 zero bytes), 't8mk', 'il32' (32),
// 'l8mk', 'ICN#', 'is32' (16), 's8mk', 'ics#'. 'icl8' and 'ics8' are attempted
// and never stored (there is no 8-bit palette extraction).
//
// Failures of single elements are written to the log (qWarning, one line each)
// and leave the element out. A family is a value; build it on any thread.
class IconFamily
{
public:
    // Error codes of setIconFamilyData.
    static constexpr int kNoError = 0;
    static constexpr int kParamError = -50;    // unknown type or data of the wrong size
    static constexpr int kMemFullError = -108; // the element cannot be encoded or is too large

    // An empty family: data() is the 8-byte header alone.
    IconFamily() = default;

    // The full family from an image with high-quality interpolation; none when
    // the 512 x 512 base image cannot be made (a null image).
    static std::optional<IconFamily> iconFamilyWithThumbnailsOfImage(const QImage &image);
    static std::optional<IconFamily> initWithThumbnailsOfImage(const QImage &image, ImageInterpolation interpolation);

    // A new `iconWidth` square image (ARGB32 premultiplied): the image fitted
    // with its aspect ratio kept (the longer side becomes iconWidth, the
    // shorter one is rounded to whole pixels), centred, the rest transparent.
    // Null for a null image or a width outside 1 .. 4096.
    static QImage resampleImage(const QImage &image, int iconWidth, ImageInterpolation interpolation);

    // Extracts the element's data from the bitmap with the extraction its
    // type calls for and stores it. False for a type this builder does not
    // set (silently), for an extraction that gives no data (logged as "Null
    // data returned to ...") and for an element the family refuses (logged
    // with its error code).
    bool setIconFamilyElement(quint32 type, const BitmapImageRep &bitmap);

    // Extractions. Each gives none when the bitmap is not exactly
    // requiredPixelSize square (silently) or has a layout it cannot read (logged).
    //  32-bit ARGB: A, R, G, B bytes per pixel, colour not premultiplied.
    static QByteArray get32BitDataFromBitmapImageRep(const BitmapImageRep &bitmap, int requiredPixelSize);
    //  8-bit mask: each pixel's alpha.
    static QByteArray get8BitMaskFromBitmapImageRep(const BitmapImageRep &bitmap, int requiredPixelSize);
    //  1-bit icon then an identical 1-bit mask, rows of size / 8 bytes, the
    //  leftmost pixel in the most significant bit. For RGBA bitmaps a bit is
    //  set when the pixel's first (red) byte is not 0.
    static QByteArray get1BitMaskFromBitmapImageRep(const BitmapImageRep &bitmap, int requiredPixelSize);
    //  8-bit palette data: not supported, always none.
    static QByteArray get8BitDataFromBitmapImageRep(const BitmapImageRep &bitmap, int requiredPixelSize);

    // Stores one element from the data an extraction gives (ARGB for image
    // types, alpha bytes for masks, icon and mask bits for 'ICN#'/'ics#') in
    // the element's ICNS encoding, replacing an element of the same type.
    // Image types: 'ic10', 'ic09', 'ic08', 'ic07' (PNG), 'it32', 'ih32',
    // 'il32', 'is32' (packed RGB); masks 't8mk', 'h8mk', 'l8mk', 's8mk'.
    // Returns kNoError or an error code.
    int setIconFamilyData(quint32 type, const QByteArray &data);

    // The ICNS file: header and elements in the order they were first set.
    QByteArray data() const;

private:
    struct Element {
        quint32 type;
        QByteArray payload;
    };
    std::vector<Element> m_elements;
};

// Builds the full icon family of an image and writes it to
// "<pathWithoutExtension>.icns". Nothing is written when the family cannot be
// built (a null image). Any thread.
WriteResult simplySaveICNS(const QImage &image, const QString &pathWithoutExtension);

} // namespace zembrix
