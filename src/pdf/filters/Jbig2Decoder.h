#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <optional>

namespace zembrix {

// Undoes JBIG2Decode (ISO 32000-1, 7.4.7): `data` is an embedded JBIG2 stream (segments without
// the file header), `globals` the decoded /JBIG2Globals stream or empty. Gives page 1 as packed
// rows of ceil(width / 8) bytes, most significant bit first, with 0 for black and 1 for white;
// the unused bits at the end of each row are white (1).
//
// A page larger than maxOutputBytes is refused (empty result), before decoding when the page
// information segment gives its size. The decoder's working memory is bounded by a budget
// derived from the declared page size, the limit and the input size, and its work by a budget
// derived from the input size: a page stream that runs past it gives an empty result, globals
// that do are dropped. A page whose decoding jbig2dec reports an error for (or a warning that a
// text region's symbols are missing) gives an empty result, never a page with parts left
// blank; damage that jbig2dec decodes past without an error gives what it made of the page.
// Errors in the globals alone do not count: the page's decode reports what it misses. For an
// empty result, `failure` (when given) receives why, in a few words or jbig2dec's message.
// Thread-safe: no shared state.
std::optional<QByteArray> decodeJbig2(QByteArrayView data, QByteArrayView globals, qint64 maxOutputBytes,
                                      QString *failure = nullptr);

} // namespace zembrix
