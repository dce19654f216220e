#pragma once

#include <QByteArray>
#include <QImage>

namespace zembrix {

// A bitmap described the way the icon family extractions test it: bits per
// sample, samples per pixel, bits per pixel, planar or meshed, premultiplied
// alpha. Pixel bytes are meshed rows of `bytesPerRow` bytes, top row first;
// 8-bit RGB(A) samples in R, G, B, A order, 16-bit samples in native order,
// 1-bit rows with the leftmost pixel in the most significant bit.
struct BitmapImageRep {
    int pixelsWide = 0;
    int pixelsHigh = 0;
    int bitsPerSample = 0;
    int samplesPerPixel = 0;
    int bitsPerPixel = 0;
    bool planar = false;
    bool alphaPremultiplied = false;
    qsizetype bytesPerRow = 0;
    QByteArray bitmapData;

    bool isNull() const { return pixelsWide <= 0 || pixelsHigh <= 0; }
    const uchar *row(int y) const
    {
        return reinterpret_cast<const uchar *>(bitmapData.constData()) + qsizetype(y) * bytesPerRow;
    }

    // Captures an image as a bitmap:
    //  - Mono / MonoLSB: 1 sample of 1 bit, the image's own index bits;
    //  - Grayscale8: 1 sample of 8 bits; Grayscale16: 1 sample of 16 bits;
    //  - RGB888: 3 samples, 24 bits per pixel;
    //  - 64-bit formats: 4 samples of 16 bits, premultiplied;
    //  - anything else is drawn as 8-bit RGBA with premultiplied alpha, 32 bits per pixel.
    // A null image gives a null rep.
    static BitmapImageRep fromImage(const QImage &image);

    // An 8-bit premultiplied RGBA rep as a QImage (for further resampling);
    // null for any other layout.
    QImage toImage() const;
};

} // namespace zembrix
