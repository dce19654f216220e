#pragma once

#include <QByteArray>
#include <QString>

namespace zembrix {

// An image's coded data as its PDF stores it, for writing it out unchanged:
// JPEG data, a JPEG 2000 file or codestream, or a CCITT fax strip, with the
// general filters before it undone. `obstacle` says why the data cannot
// stand as a file of its own with the same picture (a mask, a /Decode array,
// a colour space the file cannot carry, ...); it is empty when it can.
struct EmbeddedPicture {
    enum class Coding { Jpeg, Jpeg2000, CcittFax };

    Coding coding = Coding::Jpeg;
    QByteArray bytes;
    int width = 0;
    int height = 0;
    // /ColorTransform of a JPEG's /DecodeParms, -1 when absent.
    int colorTransform = -1;
    // CCITT fax parameters, as /DecodeParms gives them.
    int k = 0; // < 0 G4, 0 G3 one-dimensional, > 0 G3 mixed
    bool endOfLine = false;
    bool encodedByteAlign = false;
    bool blackIs1 = false;
    QString obstacle;
};

} // namespace zembrix
