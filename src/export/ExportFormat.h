#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

#include <optional>

namespace zembrix {

// The export format table. The position of a name in the table is the
// format index used by the writers, the preferences and the format combo box.
namespace ExportFormat {

enum Index : int {
    Jpeg = 0,
    Jpeg2000 = 1,
    Tiff = 2,
    Png = 3,
    Bmp = 4,
    Icns = 5,
    Heic = 6,
    // The image's own coded data, unchanged but for its resolution fields;
    // PNG for an image whose data cannot stand as a file (OriginalFile.h).
    Original = 7,
};

inline constexpr int Count = 8;

// "JPEG", "JPEG-2000", "TIFF", "PNG", "BMP", "ICNS", "HEIC", "Original", in
// index order.
QStringList names();

// The name at an index; empty for an index outside the table.
QString name(int index);

// The file name extension without the dot ("jpeg", "jp2", "tiff", "png",
// "bmp", "icns", "heic"); empty for an index outside the table and for
// Original, whose extension depends on each image (originalExtensions()).
QString extension(int index);

bool isValidIndex(int index);

// Every extension an Original export may give a file: "jpg", "jp2", "j2k",
// "tif", and "png" for the images written as PNG instead.
QStringList originalExtensions();

// The index of the name equal to `name` (exact comparison, as the format
// combo box gives its text back).
std::optional<int> indexOfName(QStringView name);

// The same, ignoring case: for names typed on the command line ("png", "Jpeg-2000").
std::optional<int> indexOfNameIgnoringCase(QStringView name);

} // namespace ExportFormat

} // namespace zembrix
