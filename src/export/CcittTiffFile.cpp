#include "CcittTiffFile.h"

#include "ExportResolution.h"

#include <QBuffer>

#include <cstdarg>
#include <vector>

#include <tiffio.h>

namespace zembrix {

namespace {

// libtiff on a QBuffer, with its messages dropped.
tsize_t readProc(thandle_t h, tdata_t data, tsize_t size)
{
    return tsize_t(static_cast<QBuffer *>(h)->read(static_cast<char *>(data), size));
}
tsize_t writeProc(thandle_t h, tdata_t data, tsize_t size)
{
    return tsize_t(static_cast<QBuffer *>(h)->write(static_cast<const char *>(data), size));
}
toff_t seekProc(thandle_t h, toff_t offset, int whence)
{
    auto *buffer = static_cast<QBuffer *>(h);
    qint64 target = qint64(offset);
    if (whence == SEEK_CUR)
        target += buffer->pos();
    else if (whence == SEEK_END)
        target += buffer->size();
    if (target < 0)
        return toff_t(-1);
    if (target > buffer->size() && buffer->isWritable()) {
        const qint64 end = buffer->size();
        buffer->seek(end);
        buffer->write(QByteArray(target - end, '\0'));
    }
    return buffer->seek(target) ? toff_t(target) : toff_t(-1);
}
int closeProc(thandle_t)
{
    return 0;
}
toff_t sizeProc(thandle_t h)
{
    return toff_t(static_cast<QBuffer *>(h)->size());
}
int mapProc(thandle_t, tdata_t *, toff_t *)
{
    return 0;
}
void unmapProc(thandle_t, tdata_t, toff_t)
{
}
int quiet(TIFF *, void *, const char *, const char *, va_list)
{
    return 1;
}

TIFF *openTiff(QBuffer &buffer, const char *mode)
{
    TIFFOpenOptions *options = TIFFOpenOptionsAlloc();
    if (!options)
        return nullptr;
    TIFFOpenOptionsSetErrorHandlerExtR(options, quiet, nullptr);
    TIFFOpenOptionsSetWarningHandlerExtR(options, quiet, nullptr);
    TIFFOpenOptionsSetMaxSingleMemAlloc(options, tmsize_t(64) << 20);
    TIFF *tiff = TIFFClientOpenExt("fax", mode, &buffer, readProc, writeProc, seekProc, closeProc, sizeProc, mapProc,
                                   unmapProc, options);
    TIFFOpenOptionsFree(options);
    return tiff;
}

// Decodes the strip back with libtiff, as a reader of the file will.
bool readsBack(const QByteArray &file, int width, int height)
{
    QByteArray copy = file;
    QBuffer buffer(&copy);
    if (!buffer.open(QIODevice::ReadOnly))
        return false;
    TIFF *tiff = openTiff(buffer, "r");
    if (!tiff)
        return false;
    const tmsize_t rowBytes = (tmsize_t(width) + 7) / 8;
    std::vector<unsigned char> pixels(size_t(rowBytes) * size_t(height));
    const bool ok = TIFFReadEncodedStrip(tiff, 0, pixels.data(), tmsize_t(pixels.size())) == tmsize_t(pixels.size());
    TIFFClose(tiff);
    return ok;
}

// Strips larger than this are not decoded to check them.
constexpr qint64 kMaxCheckedStripBytes = qint64(64) << 20;

} // namespace

OriginalFile faxOriginalFile(const EmbeddedPicture &picture, float dpi)
{
    OriginalFile file;
    file.extension = QStringLiteral("tif");
    uint16_t compression = COMPRESSION_CCITTFAX4;
    uint32_t t4Options = 0;
    if (picture.k < 0) {
        if (picture.endOfLine || picture.encodedByteAlign) {
            file.obstacle =
                QStringLiteral("its Group 4 fax data has EOL codes or aligned rows, which a TIFF cannot describe");
            return file;
        }
    } else if (picture.endOfLine && !picture.encodedByteAlign) {
        compression = COMPRESSION_CCITTFAX3;
        t4Options = picture.k > 0 ? GROUP3OPT_2DENCODING : 0;
    } else if (picture.k == 0 && !picture.endOfLine && picture.encodedByteAlign) {
        compression = COMPRESSION_CCITTRLE;
    } else {
        file.obstacle = QStringLiteral("its Group 3 fax layout has no TIFF form");
        return file;
    }
    if (picture.width < 1 || picture.height < 1 || picture.bytes.isEmpty()) {
        file.obstacle = QStringLiteral("its fax data is empty");
        return file;
    }

    QByteArray out;
    {
        QBuffer buffer(&out);
        if (!buffer.open(QIODevice::ReadWrite))
            return file;
        TIFF *tiff = openTiff(buffer, "w");
        if (!tiff)
            return file;
        const float resolution = exportDpi(dpi);
        bool ok = TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, uint32_t(picture.width))
                  && TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, uint32_t(picture.height))
                  && TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, uint16_t(1))
                  && TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, uint16_t(1))
                  && TIFFSetField(tiff, TIFFTAG_COMPRESSION, compression)
                  && TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC,
                                  uint16_t(picture.blackIs1 ? PHOTOMETRIC_MINISBLACK : PHOTOMETRIC_MINISWHITE))
                  && TIFFSetField(tiff, TIFFTAG_FILLORDER, uint16_t(FILLORDER_MSB2LSB))
                  && TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, uint32_t(picture.height))
                  && TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, uint16_t(PLANARCONFIG_CONTIG))
                  && TIFFSetField(tiff, TIFFTAG_RESOLUTIONUNIT, uint16_t(RESUNIT_INCH))
                  && TIFFSetField(tiff, TIFFTAG_XRESOLUTION, resolution)
                  && TIFFSetField(tiff, TIFFTAG_YRESOLUTION, resolution);
        if (ok && compression == COMPRESSION_CCITTFAX3)
            ok = TIFFSetField(tiff, TIFFTAG_GROUP3OPTIONS, t4Options);
        if (ok)
            ok = TIFFWriteRawStrip(tiff, 0, const_cast<char *>(picture.bytes.constData()),
                                   tmsize_t(picture.bytes.size()))
                 == tmsize_t(picture.bytes.size());
        if (ok)
            ok = TIFFWriteDirectory(tiff);
        TIFFClose(tiff);
        if (!ok)
            return file;
    }
    const qint64 stripBytes = (qint64(picture.width) + 7) / 8 * qint64(picture.height);
    if (stripBytes <= kMaxCheckedStripBytes && !readsBack(out, picture.width, picture.height)) {
        file.obstacle = QStringLiteral("libtiff cannot read its fax data");
        return file;
    }
    file.bytes = std::move(out);
    return file;
}

} // namespace zembrix
