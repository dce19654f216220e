#pragma once

#include <QByteArray>

#include <cstdint>

namespace zembrix {

// JP2 resolution metadata (ISO/IEC 15444-1 Annex I.5.3.7). OpenJPEG writes no
// resolution box, so the DPI is added to the encoded file afterwards as a
// 'res ' superbox holding a capture resolution box 'resc'.

// A resolution as the 'resc' box stores it: grid points per metre =
// numerator / denominator x 10^exponent, the same value for both directions.
struct Jp2Resolution {
    std::uint16_t numerator = 0;
    std::uint16_t denominator = 0;
    std::int8_t exponent = 0;
};

// The exact representation of `dpi` (1 .. 65535): points per metre is
// dpi x 5000 / 127, written with denominator 127 and the numerator as large
// as 16 bits allow.
Jp2Resolution jp2ResolutionForDpi(float dpi);

// The 26 bytes of a 'res ' superbox with one 'resc' box.
QByteArray jp2ResolutionSuperbox(const Jp2Resolution &resolution);

// Inserts the superbox at the end of the top-level 'jp2h' box of a JP2 file
// and enlarges the 'jp2h' length by its size. Empty when the file has no
// well-formed 'jp2h' box.
QByteArray insertJp2ResolutionBox(const QByteArray &jp2, const Jp2Resolution &resolution);

// The same for a JP2 file that may already hold a 'res ' box in its 'jp2h':
// that box is taken out first, so the file ends with exactly one. Empty when
// the file has no well-formed 'jp2h' box, or its children are not well formed.
QByteArray setJp2ResolutionBox(const QByteArray &jp2, const Jp2Resolution &resolution);

} // namespace zembrix
