#pragma once

#include "PdfObject.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

namespace zembrix {

// Where one inline image (BI dictionary ID data EI) lies in a decoded
// content stream, as offsets into it.
struct InlineImageSpan {
    qint64 dictBegin = 0; // just after BI
    qint64 dictEnd = 0;   // at ID
    qint64 dataBegin = 0;
    qint64 dataEnd = 0;
};

// An inline image, which has no object of its own, told by where it is: the
// content that holds it (a page's or a form's object), the
// length of that content decoded, where its data lies there, and its
// dictionary as PDF text, abbreviations spelled out and a colour space named
// in the resources replaced by the one there. Any copy of the document opened
// later makes the same image of it.
struct InlineImageOrigin {
    ObjectKey ownerKey;
    qint64 contentLength = 0;
    qint64 dataBegin = 0;
    qint64 dataEnd = 0;
    QByteArray dictionary;
};

// The origin of the inline image at `span` of `content`, the decoded content
// of the page or form `ownerKey`, whose resources are `resources`.
InlineImageOrigin makeInlineImageOrigin(const ObjectKey &ownerKey, QByteArrayView content, const InlineImageSpan &span,
                                        const PdfObject &resources);

} // namespace zembrix
