#include "TiffFaxEncoder.h"

#include <QTemporaryFile>

#include <tiffio.h>

#include <algorithm>

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
    const bool g4 = options.scheme == TiffFax::Group4;
    TIFFSetField(out, TIFFTAG_COMPRESSION, g4 ? COMPRESSION_CCITTFAX4 : COMPRESSION_CCITTFAX3);
    if (!g4)
        TIFFSetField(out, TIFFTAG_GROUP3OPTIONS, uint32_t((options.scheme == TiffFax::Group3TwoD ? GROUP3OPT_2DENCODING : 0)
                                                          | (options.fillBits ? GROUP3OPT_FILLBITS : 0)));
    if (options.faxMode >= 0)
        TIFFSetField(out, TIFFTAG_FAXMODE, options.faxMode);
    QByteArray rows = bitmap.packed(true);
    bool written = true;
    for (int y = 0; y < bitmap.height && written; ++y)
        written = TIFFWriteScanline(out, rows.data() + y * bitmap.rowBytes(), uint32_t(y), 0) >= 0;
    TIFFClose(out);
    TIFF *in = written ? TIFFOpen(path.constData(), "r") : nullptr;
    if (in == nullptr)
        return {};
    QByteArray raw(std::max<tmsize_t>(0, TIFFRawStripSize(in, 0)), Qt::Uninitialized);
    if (raw.isEmpty() || TIFFReadRawStrip(in, 0, raw.data(), raw.size()) != raw.size())
        raw.clear();
    TIFFClose(in);
    return raw;
}
