#pragma once

#include <QByteArray>
#include <QtGlobal>

namespace zembrix {

// Element encodings of the ICNS format.

// A four-character element type as the big-endian number the file stores.
constexpr quint32 icnsType(const char (&code)[5])
{
    return (quint32(quint8(code[0])) << 24) | (quint32(quint8(code[1])) << 16) | (quint32(quint8(code[2])) << 8)
           | quint32(quint8(code[3]));
}

namespace IconType {
inline constexpr quint32 ic10 = icnsType("ic10");    // 1024 x 1024 PNG
inline constexpr quint32 ic09 = icnsType("ic09");    // 512 x 512 PNG
inline constexpr quint32 ic08 = icnsType("ic08");    // 256 x 256 PNG
inline constexpr quint32 ic07 = icnsType("ic07");    // 128 x 128 PNG
inline constexpr quint32 it32 = icnsType("it32");    // 128 x 128 packed RGB after 4 zero bytes
inline constexpr quint32 t8mk = icnsType("t8mk");    // 128 x 128 8-bit alpha
inline constexpr quint32 ih32 = icnsType("ih32");    // 48 x 48 packed RGB
inline constexpr quint32 h8mk = icnsType("h8mk");    // 48 x 48 8-bit alpha
inline constexpr quint32 il32 = icnsType("il32");    // 32 x 32 packed RGB
inline constexpr quint32 icl8 = icnsType("icl8");    // 32 x 32 8-bit palette icon
inline constexpr quint32 l8mk = icnsType("l8mk");    // 32 x 32 8-bit alpha
inline constexpr quint32 ICNhash = icnsType("ICN#"); // 32 x 32 1-bit icon and mask
inline constexpr quint32 is32 = icnsType("is32");    // 16 x 16 packed RGB
inline constexpr quint32 ics8 = icnsType("ics8");    // 16 x 16 8-bit palette icon
inline constexpr quint32 s8mk = icnsType("s8mk");    // 16 x 16 8-bit alpha
inline constexpr quint32 icshash = icnsType("ics#"); // 16 x 16 1-bit icon and mask
} // namespace IconType

// Run-length packing of one channel of a packed RGB element: a control byte
// below 0x80 is followed by control + 1 literal bytes; a control byte of 0x80
// or more is followed by one byte repeated control - 0x80 + 3 times (3..130).
// `stride` is the distance between successive samples of the channel.
QByteArray packIcnsChannel(const uchar *samples, qsizetype count, qsizetype stride);

// Packed RGB element data from 32-bit ARGB pixels (A, R, G, B bytes): the
// red channel packed, then green, then blue; alpha is dropped (it goes into
// the mask element). `pixelCount` pixels are read. Empty when the data is short.
QByteArray packedRgbFromArgb(const QByteArray &argb, qsizetype pixelCount);

// A PNG file of `width` x `height` pixels from 32-bit ARGB pixels with
// straight alpha; empty when the data is short or encoding fails.
QByteArray pngFromArgb(const QByteArray &argb, int width, int height);

} // namespace zembrix
