#pragma once

#include "TestBitmap.h"

#include <QByteArray>

// A small T.4/T.6 encoder for layouts libtiff cannot write (byte-aligned two-dimensional lines,
// EOLs in T.6 data, tag bits without EOLs). Its plain layouts are checked bit for bit against
// libtiff, which makes the other layouts trustworthy.
struct FaxEncodeOptions {
    int k = -1;             // <0 every line 2-D (T.6); 0 every line 1-D; >0 a 1-D line, then k-1 2-D lines
    bool eol = false;       // an EOL before each line
    bool byteAlign = false; // each line, its EOL included, starts on a byte boundary
    bool endMarker = true;  // EOFB (k < 0) or RTC (k >= 0) after the last line
};

QByteArray faxEncode(const TestBitmap &bitmap, const FaxEncodeOptions &options);
