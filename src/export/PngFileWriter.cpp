#include "PngFileWriter.h"

#include "ExportFormat.h"
#include "ExportResolution.h"
#include "QtFileWriter.h"

#include <QColorSpace>

#include <png.h>

#include <csetjmp>
#include <cstring>

namespace zembrix {

namespace {

// How the rows of a QImage format reach libpng: the PNG colour type and depth
// and the transforms that turn a row of memory into PNG samples.
struct PngLayout {
    int colorType = -1;
    int bitDepth = 8;
    bool bgr = false;    // blue first in memory (Qt's 32-bit formats on little-endian machines)
    bool filler = false; // a fourth sample to drop
    bool swap = false;   // 16-bit samples in the machine's order, PNG wants big-endian
};

PngLayout layoutOf(QImage::Format format)
{
    const bool little = Q_BYTE_ORDER == Q_LITTLE_ENDIAN;
    switch (format) {
    case QImage::Format_Grayscale8: return {PNG_COLOR_TYPE_GRAY, 8, false, false, false};
    case QImage::Format_Grayscale16: return {PNG_COLOR_TYPE_GRAY, 16, false, false, little};
    case QImage::Format_RGB888: return {PNG_COLOR_TYPE_RGB, 8, false, false, false};
    case QImage::Format_RGBA8888: return {PNG_COLOR_TYPE_RGB_ALPHA, 8, false, false, false};
    case QImage::Format_RGBX64: return {PNG_COLOR_TYPE_RGB, 16, false, true, little};
    case QImage::Format_RGBA64: return {PNG_COLOR_TYPE_RGB_ALPHA, 16, false, false, little};
    case QImage::Format_RGB32: return {PNG_COLOR_TYPE_RGB, 8, little, true, false};
    case QImage::Format_ARGB32: return {PNG_COLOR_TYPE_RGB_ALPHA, 8, little, false, false};
    default: return {};
    }
}

void appendToBuffer(png_structp png, png_bytep data, png_size_t length)
{
    static_cast<QByteArray *>(png_get_io_ptr(png))->append(reinterpret_cast<const char *>(data), qsizetype(length));
}

void flushNothing(png_structp)
{
}

void stopOnError(png_structp png, png_const_charp)
{
    png_longjmp(png, 1);
}

void ignoreWarning(png_structp, png_const_charp)
{
}

// Writes the rows; false when libpng failed. No object with a destructor is
// made between setjmp and the end, so the long jump of an error skips none.
bool writeRows(png_structp png, png_infop info, const QImage &image, const PngLayout &layout, int dotsPerMeter,
               QByteArray *out)
{
    if (setjmp(png_jmpbuf(png)))
        return false;
    png_set_write_fn(png, out, appendToBuffer, flushNothing);
    // Level 3 writes scanned pages two to three times faster than the default
    // level 6 for files at most a tenth larger.
    png_set_compression_level(png, 3);
    png_set_filter(png, PNG_FILTER_TYPE_BASE, layout.bitDepth >= 8 ? PNG_FILTER_UP : PNG_FILTER_NONE);
    png_set_IHDR(png, info, png_uint_32(image.width()), png_uint_32(image.height()), layout.bitDepth, layout.colorType,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_BASE, PNG_FILTER_TYPE_BASE);
    png_set_pHYs(png, info, png_uint_32(dotsPerMeter), png_uint_32(dotsPerMeter), PNG_RESOLUTION_METER);
    png_write_info(png, info);
    if (layout.bgr)
        png_set_bgr(png);
    if (layout.filler)
        png_set_filler(png, 0, PNG_FILLER_AFTER);
    if (layout.swap)
        png_set_swap(png);
    for (int y = 0; y < image.height(); ++y)
        png_write_row(png, image.constScanLine(y));
    png_write_end(png, info);
    return true;
}

} // namespace

QByteArray encodePng(const QImage &image, float dpi)
{
    if (image.isNull())
        return {};
    const PngLayout layout = layoutOf(image.format());
    if (layout.colorType < 0 || image.colorSpace().isValid() || !image.textKeys().isEmpty())
        return encodeWithQtWriter(image, ExportFormat::Png, dpi);

    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, stopOnError, ignoreWarning);
    if (!png)
        return {};
    png_infop info = png_create_info_struct(png);
    QByteArray out;
    // A compressed scan is mostly well under a quarter of its samples.
    out.reserve(qsizetype(std::min<qint64>(image.sizeInBytes() / 4 + 4096, qint64(256) << 20)));
    const bool written = info && writeRows(png, info, image, layout, dotsPerMeterForDpi(dpi), &out);
    png_destroy_write_struct(&png, info ? &info : nullptr);
    return written ? out : QByteArray();
}

} // namespace zembrix
