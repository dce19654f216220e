#pragma once

#include "TestBitmap.h"

#include <QByteArray>

// CCITT fax data written by libtiff: an encoder independent of ours.
enum class TiffFax { Group3OneD, Group3TwoD, Group4 };

struct TiffFaxOptions {
    TiffFax scheme = TiffFax::Group4;
    bool fillBits = false; // T.4 fill bits: each EOL ends on a byte boundary
    // libtiff FAXMODE_* bits (no EOL, no RTC, byte-aligned rows); -1 keeps libtiff's default,
    // which for TIFF files leaves out the RTC.
    int faxMode = -1;
};

// The raw strip holding the whole image (black pixels coded as black runs).
QByteArray tiffFaxEncode(const TestBitmap &bitmap, const TiffFaxOptions &options);
