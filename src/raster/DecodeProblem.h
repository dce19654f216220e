#pragma once

#include <QString>

namespace zembrix {

// Why an image's data could not be made into a picture, as the decoders and
// builders find it. Causes are values handed up through an optional out
// parameter (never exceptions); the first one met is the one kept.
enum class DecodeCause {
    None,
    TooManyColourants,           // a DeviceN space past the colourant limit
    TintProgramFailed,           // a tint transform that does not parse or evaluate
    UnsupportedBitsPerComponent, // samples of other than 1, 2, 4, 8 or 16 bits
    LzwTableOverflow,            // LZW codes past a full table
    BadFaxData,                  // CCITT fax data that does not decode
    BadJbig2Data,                // a JBIG2 page that jbig2dec reports an error for, or cannot complete
    DamagedFile,                 // stream data the file or its codec cannot give
};

// The reason text of a cause, lower case ("bad fax data"); empty for None.
QString decodeCauseText(DecodeCause cause);

// Records a cause where the caller asked for one and none is recorded yet.
inline void noteDecodeCause(DecodeCause *where, DecodeCause cause)
{
    if (where && *where == DecodeCause::None)
        *where = cause;
}

// What building one image met: the cause of a failure (or of damage that was
// mended), and the rows of samples that were missing and padded.
struct DecodeReport {
    DecodeCause cause = DecodeCause::None;
    int paddedRows = 0; // of `rows`; the picture was still made
    int rows = 0;
};

} // namespace zembrix
