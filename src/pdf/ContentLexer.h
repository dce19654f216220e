#pragma once

#include "InlineImageOrigin.h"

#include <QByteArray>
#include <QByteArrayView>

#include <qpdf/QPDFObjectHandle.hh>

#include <functional>

namespace zembrix {

// The tokens of a decoded content stream that a reader of image placements
// needs: numbers, names and operators. Every other operand (strings, arrays
// and dictionaries, piece by piece) comes as Other. An inline image comes as
// one token, its end found as the usual readers find it: its /Length (/L)
// when given, else where its first filter's data ends, else after the number
// of bytes its unfiltered samples take, and only then by searching for an EI
// that stands alone followed by text. A CR LF after ID counts as one
// separator.
class ContentLexer
{
public:
    struct Token {
        enum Kind { End, Number, Name, Operator, Other, InlineImage };
        Kind kind = End;
        double number = 0;
        QByteArrayView text; // a name without its slash, an operator
        InlineImageSpan image;
    };
    // The number of colour components of a colour space named in the
    // resources (0 when unknown), for the length of unfiltered samples.
    using NamedComponents = std::function<int(const QByteArray &name)>;

    // Inflating Flate data to find where it ends costs time in proportion to
    // what it gives: `inflateBudget` is what may still be inflated (charged;
    // past it the data is searched instead), shared by the lexers of one
    // document.
    ContentLexer(QByteArrayView bytes, NamedComponents namedComponents, qint64 *inflateBudget);
    Token next();

private:
    void skipSpace();
    Token readInlineImage(qint64 dictBegin);

    QByteArrayView m_bytes;
    qint64 m_pos = 0;
    NamedComponents m_namedComponents;
    QByteArray m_name; // a name whose escapes were undone
    qint64 *m_inflateBudget;
};

// The entries of an inline image's dictionary (the bytes between BI and ID)
// as a direct dictionary, keys and abbreviated names spelled out (/W is
// /Width, /F /Fl is /Filter /FlateDecode, /CS /G is /ColorSpace /DeviceGray,
// [/I /RGB 1 <...>] is [/Indexed /DeviceRGB 1 <...>]). /L and /Length are
// dropped. A name for another colour space stays as it is.
QPDFObjectHandle readInlineImageDictionary(QByteArrayView bytes);

} // namespace zembrix
