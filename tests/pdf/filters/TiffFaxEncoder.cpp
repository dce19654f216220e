#include "TiffFaxEncoder.h"

#include <QTemporaryFile>

#include <tiffio.h>

#include <vector>

QByteArray tiffFaxEncode(const TestBitmap &bitmap, const TiffFaxOptions &options)
{
    TIFFSetWarningHandler(nullptr);
    QTemporaryFile file;
    if (!file.open())
        return {};
    const QByteArray path = file.fileName().toLocal8Bit();

    TIFF *out = TIFFOpen(path.constData(), "w");
    if (out == nullptr)
        return {};
    TIFFSetField(out, TIFFTAG_IMAGEWIDTH, uint32_t(bitmap.width));
    TIFFSetField(out, TIFFTAG_IMAGELENGTH, uint32_t(bitmap.height));
    TIFFSetField(out, TIFFTAG_BITSPERSAMPLE, 1);
    TIFFSetField(out, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(out, TIFFTAG_ROWSPERSTRIP, uint32_t(bitmap.height));
    TIFFSetField(out, TIFFTAG_FILLORDER, FILLORDER_MSB2LSB);
    // The fax codecs code 0 bits as white runs: MINISWHITE data, 1 = black.
    TIFFSetField(out, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
    TIFFSetField(out, TIFFTAG_COMPRESSION,
                 options.scheme == TiffFax::Group4 ? COMPRESSION_CCITTFAX4 : COMPRESSION_CCITTFAX3);
    if (options.scheme != TiffFax::Group4) {
        uint32_t g3 = 0;
        if (options.scheme == TiffFax::Group3TwoD)
            g3 |= GROUP3OPT_2DENCODING;
        if (options.fillBits)
            g3 |= GROUP3OPT_FILLBITS;
        TIFFSetField(out, TIFFTAG_GROUP3OPTIONS, g3);
    }
    if (options.faxMode >= 0)
        TIFFSetField(out, TIFFTAG_FAXMODE, options.faxMode);

    const QByteArray rows = bitmap.packed(true);
    std::vector<unsigned char> line(bitmap.rowBytes());
    for (int y = 0; y < bitmap.height; ++y) {
        std::copy_n(rows.constData() + y * bitmap.rowBytes(), line.size(), line.begin());
        if (TIFFWriteScanline(out, line.data(), uint32_t(y), 0) < 0) {
            TIFFClose(out);
            return {};
        }
    }
    TIFFClose(out);

    TIFF *in = TIFFOpen(path.constData(), "r");
    if (in == nullptr)
        return {};
    QByteArray raw;
    const tmsize_t size = TIFFRawStripSize(in, 0);
    if (size > 0) {
        raw.resize(size);
        if (TIFFReadRawStrip(in, 0, raw.data(), size) != size)
            raw.clear();
    }
    TIFFClose(in);
    return raw;
}
