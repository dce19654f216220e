#pragma once

#include <QByteArray>

#include <vector>

// JPEG 2000 files made with OpenJPEG's encoder (lossless) for the decoder tests, and a JP2
// container written here for the boxes OpenJPEG's encoder does not write (palette, resolution).

struct J2kComponent {
    int precision = 8;
    bool isSigned = false;
    int dx = 1; // subsampling
    int dy = 1;
    bool alpha = false;      // OpenJPEG writes a 'cdef' box for it in JP2
    std::vector<int> values; // ceil(width/dx) * ceil(height/dy), row by row
};

enum class J2kSpace { Unspecified,
                      Gray,
                      SRGB,
                      SYCC,
                      CMYK };

struct J2kImage {
    int width = 0;
    int height = 0;
    std::vector<J2kComponent> components;
    J2kSpace space = J2kSpace::Unspecified;
    bool jp2 = false;                // JP2 file, else raw codestream
    bool componentTransform = false; // the reversible RCT over the first three
};

QByteArray encodeJpeg2000(const J2kImage &fixture);

// One JP2 box: length, type, content.
QByteArray jp2Box(const char *type, const QByteArray &content);

// A JP2 file around a codestream: signature, 'ftyp', 'jp2h' with 'ihdr' and an enumerated 'colr'
// followed by extraHeaderBoxes, then 'jp2c'.
QByteArray wrapJp2(const QByteArray &codestream, int width, int height, int components, int bitsPerComponent,
                   int enumeratedSpace, const QByteArray &extraHeaderBoxes);

// A 'res ' box holding 'resc' and/or 'resd' (an empty array leaves one out); each is {vertical
// numerator, denominator, horizontal numerator, denominator, vertical exponent, horizontal exponent}.
QByteArray jp2ResolutionBox(const std::vector<int> &capture, const std::vector<int> &display);
