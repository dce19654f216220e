#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <optional>

// Undoes JBIG2Decode (ISO 32000-1, 7.4.7): `data` is an embedded JBIG2 stream (segments without
// the file header), `globals` the decoded /JBIG2Globals stream or empty. Gives page 1 as packed
// rows of ceil(width / 8) bytes, most significant bit first, with 0 for black and 1 for white;
// the unused bits at the end of each row are white (1).
//
// A page larger than maxOutputBytes is refused (empty result), before decoding when the page
// information segment gives its size. The decoder's working memory is bounded by a budget
// derived from the declared page size, the limit and the input size, and its work by a budget
// derived from the input size: a page stream that runs past it gives an empty result, globals
// that do are dropped. A damaged stream gives what the decoder could make of the page, or an
// empty result. Thread-safe: no shared state.
std::optional<QByteArray> decodeJbig2(QByteArrayView data, QByteArrayView globals, qint64 maxOutputBytes);
