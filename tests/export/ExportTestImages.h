#pragma once

#include "ImageComparison.h"

// Pictures and byte readers shared by the export tests.

#include <QByteArray>
#include <QImage>
#include <QString>

#include <optional>
#include <vector>

namespace exporttest {

// A w x h ARGB32 picture: red grows left to right, green top to bottom, blue fixed; a fully
// transparent block in the top-left quarter (colour kept, alpha 0) and a half-transparent
// stripe along the bottom rows.
QImage gradientImage(int width, int height);
// The same picture with every pixel opaque (RGB32).
QImage opaqueGradientImage(int width, int height);

// Resolution tags of a TIFF structure (a TIFF file or an Exif block starting with its TIFF
// header): XResolution and YResolution, ResolutionUnit (2 when absent, as TIFF defines).
struct TiffResolution {
    double x = 0.0;
    double y = 0.0;
    int unit = 2;
};
std::optional<TiffResolution> readTiffResolution(const QByteArray &tiff);

// The elements of an ICNS file, checking the container lengths.
struct IcnsElement {
    QByteArray type;
    QByteArray data;
};
std::optional<std::vector<IcnsElement>> parseIcns(const QByteArray &file);
const IcnsElement *findElement(const std::vector<IcnsElement> &elements, const char *type);

// Unpacks one ICNS packed RGB channel stream of `count` samples, starting at `offset`, which is
// moved past the channel. Empty on malformed data.
QByteArray unpackIcnsChannel(const QByteArray &packed, qsizetype &offset, qsizetype count);

QByteArray readFile(const QString &path);

} // namespace exporttest
