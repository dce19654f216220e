#pragma once

#include "PdfObject.h"
#include "raster/DecodeProblem.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>
#include <optional>

namespace zembrix {

// The chain of filters of one stream, as its dictionary names them, with the
// abbreviated names of inline images expanded (/Fl -> FlateDecode).
struct PdfFilterStep {
    QByteArray name; // without slash, full name
    PdfObject parms; // its /DecodeParms dictionary, or invalid
};
QList<PdfFilterStep> pdfStreamFilters(const PdfObject &stream);
QByteArray expandFilterAbbreviation(const QByteArray &name);

// Undoes the stream's filters in order and stops before DCTDecode (format
// JPEG) or JPXDecode (format JPEG2000), whose data is returned still coded;
// these must be the last filter of the chain, else the stream gives none.
// A filter that fails part-way gives what was decoded before the failure;
// nothing decoded, an unknown filter or a result larger than maxBytes gives
// none. Nothing larger than maxBytes is ever allocated. `cause`, when given,
// gets what stopped a filter (LZW table overflow, bad fax data, damaged data),
// also when what came before was returned.
std::optional<PdfStreamData> decodePdfStream(const PdfObject &stream, qint64 maxBytes, DecodeCause *cause = nullptr);

// Why decodePdfStream() gives none for `stream` when its JBIG2 data is at fault (decoded again
// to find out; see decodeJbig2()); empty when it gives a result or fails for another reason.
QString jbig2StreamFailure(const PdfObject &stream, qint64 maxBytes);

// Undoes the filters as decodePdfStream() does, but gives the decoded bytes
// to `sink` piece by piece: when every filter is a general one (Flate, LZW,
// the ASCII ones, RunLength) nothing of the decoded size is held. Samples
// only: false for coded pictures, an unreadable chain, nothing decoded or
// more than maxBytes (the sink may have had part of the data by then).
bool decodePdfStreamTo(const PdfObject &stream, qint64 maxBytes, const std::function<void(QByteArrayView)> &sink,
                       DecodeCause *cause = nullptr);

// The coded picture of an image stream as it is stored: the stream's bytes
// with only the general filters (Flate, LZW, the ASCII ones, RunLength)
// before its last filter undone, when that last filter is DCTDecode,
// JPXDecode or CCITTFaxDecode. None for any other chain (a picture filter
// that is not last, JBIG2, an unknown filter), a failed filter or more than
// maxBytes.
struct PdfCodedPicture {
    QByteArray bytes;
    PdfFilterStep coding; // the last filter, with its /DecodeParms
};
std::optional<PdfCodedPicture> codedPictureOfStream(const PdfObject &stream, qint64 maxBytes);

// The first `bytes` bytes (or fewer: the whole stream) of the coded picture of
// a stream whose only filter is DCTDecode or JPXDecode, read without the rest:
// enough for the headers a listing checks. None for any other chain or
// unreadable data.
std::optional<PdfStreamData> codedPictureHead(const PdfObject &stream, qint64 bytes);

// The decoded size of a stream whose only filter is JBIG2Decode, as its
// segment headers (and those of its globals) tell it: the bytes of the page
// its first page information segment describes. None when they do not tell
// (a page of unknown height, a segment referring to one that is not there,
// segments the decoder would not be given, other filters).
std::optional<qint64> jbig2DecodedSizeFromHeaders(const PdfObject &stream);

// The default decoded-size limit of a stream: for an image, a generous
// multiple of what its dictionary can use; otherwise a fixed bound.
qint64 pdfStreamDecodedSizeLimit(const PdfObject &stream);

inline constexpr qint64 kMaxDecodedStreamBytes = qint64(1) << 30;
inline constexpr qint64 kMaxAuxiliaryStreamBytes = qint64(64) << 20;

} // namespace zembrix
