#include "QtFileWriter.h"

#include "ExportFormat.h"
#include "ExportResolution.h"

#include <QBuffer>
#include <QColorSpace>
#include <QImageWriter>
#include <QPainter>
#include <QtEndian>

#include <algorithm>
#include <cmath>

namespace zembrix {

namespace {

// The picture with its own resolution, sharing `image`'s pixels, which it must
// not outlive. Setting the resolution of a QImage that is shared (the picture
// cache and the caller hold it) would copy every pixel first.
QImage sharingPixels(const QImage &image, int dotsPerMeter)
{
    QImage view(image.constBits(), image.width(), image.height(), image.bytesPerLine(), image.format());
    view.setColorTable(image.colorTable());
    view.setColorSpace(image.colorSpace());
    for (const QString &key : image.textKeys())
        view.setText(key, image.text(key));
    view.setDotsPerMeterX(dotsPerMeter);
    view.setDotsPerMeterY(dotsPerMeter);
    return view;
}

const char *qtFormatName(int formatIndex)
{
    switch (formatIndex) {
    case ExportFormat::Jpeg: return "jpeg";
    case ExportFormat::Tiff: return "tiff";
    case ExportFormat::Png: return "png";
    case ExportFormat::Bmp: return "bmp";
    default: return nullptr;
    }
}

// Qt's TIFF writer switches to centimetres when the pels per metre are a
// multiple of 100 (254 DPI, for one). One pel per metre more changes the DPI
// by less than 0.0003 and keeps the unit in inches, which is what readers
// looking for a DPI expect.
int tiffDotsPerMeter(int dotsPerMeter)
{
    return dotsPerMeter % 100 == 0 ? dotsPerMeter + 1 : dotsPerMeter;
}

// Qt's JPEG writer picks dots per inch or per centimetre, whichever rounds
// better. The JFIF APP0 segment it writes first (SOI, APP0, "JFIF\0", version,
// units at byte 13, X and Y density at 14 and 16) is set to dots per inch here.
void setJfifDensityInInches(QByteArray &jpeg, float dpi)
{
    if (jpeg.size() < 18 || !jpeg.startsWith("\xFF\xD8\xFF\xE0") || jpeg.mid(6, 5) != QByteArray("JFIF\0", 5))
        return;
    const quint16 density = quint16(std::clamp<long>(std::lround(exportDpi(dpi)), 1, 65535));
    jpeg[13] = 1;
    qToBigEndian<quint16>(density, jpeg.data() + 14);
    qToBigEndian<quint16>(density, jpeg.data() + 16);
}

} // namespace

QImage flattenedOnWhite(const QImage &image)
{
    QImage flat(image.size(), QImage::Format_RGB32);
    flat.fill(Qt::white);
    QPainter painter(&flat);
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    painter.drawImage(0, 0, image);
    painter.end();
    return flat;
}

QByteArray encodeWithQtWriter(const QImage &image, int formatIndex, float dpi)
{
    const char *format = qtFormatName(formatIndex);
    if (!format || image.isNull())
        return {};

    const bool dropsAlpha = formatIndex == ExportFormat::Jpeg || formatIndex == ExportFormat::Bmp;
    const QImage flat = dropsAlpha && image.hasAlphaChannel() ? flattenedOnWhite(image) : image;

    int dotsPerMeter = dotsPerMeterForDpi(dpi);
    if (formatIndex == ExportFormat::Tiff)
        dotsPerMeter = tiffDotsPerMeter(dotsPerMeter);
    const QImage out = sharingPixels(flat, dotsPerMeter);

    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    if (formatIndex == ExportFormat::Tiff)
        writer.setCompression(1); // LZW; the pixels stay exact
    // Qt's PNG writer maps quality 0..100 to zlib levels 9..0; 65 is level 3,
    // which writes scanned pages two to three times faster than the default
    // level 6 for files at most a tenth larger.
    if (formatIndex == ExportFormat::Png)
        writer.setQuality(65);
    if (!writer.write(out))
        return {};
    if (formatIndex == ExportFormat::Jpeg)
        setJfifDensityInInches(bytes, dpi);
    return bytes;
}

} // namespace zembrix
