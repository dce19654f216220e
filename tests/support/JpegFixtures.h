#pragma once

#include <QByteArray>

// JPEG files made with libjpeg's encoder for the decoder tests.
enum class JpegStorage { Gray,
                         YCbCr,
                         RGB,
                         CMYK,
                         YCCK };

struct JpegFixture {
    int width = 16;
    int height = 16;
    JpegStorage storage = JpegStorage::YCbCr;
    bool subsampleChroma = false; // 2x2 chroma for YCbCr / YCCK, else 1x1
    bool progressive = false;
    int restartInterval = 0; // in MCUs, 0 none
    int quality = 100;
    bool writeJfif = true;  // libjpeg writes JFIF only for gray and YCbCr
    bool writeAdobe = true; // libjpeg writes APP14 for RGB, CMYK and YCCK
    int densityUnit = 0;    // JFIF: 0 aspect only, 1 dpi, 2 dots per cm
    int xDensity = 1;
    int yDensity = 1;
};

// samples: width * height pixels of inputComponents(storage) interleaved 8-bit values, in the
// encoder's input colour space (gray, RGB or CMYK).
QByteArray encodeJpeg(const QByteArray &samples, const JpegFixture &fixture);
int inputComponents(JpegStorage storage);

// A smooth pattern that survives lossy coding well: every component a different slow gradient.
QByteArray gradientSamples(int width, int height, int components);

// Largest absolute difference between two byte arrays of equal size, or 256 when the sizes differ.
int maxDifference(const QByteArray &a, const QByteArray &b);
