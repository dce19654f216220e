#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <optional>

namespace zembrix {

// The /DecodeParms of a CCITTFaxDecode filter (ISO 32000-1, 7.4.6, table 11), with its defaults.
struct CcittFaxParams {
    int k = 0;                      // /K: <0 pure 2-D (G4), 0 pure 1-D (G3), >0 mixed 1-D/2-D (G3 2-D)
    int columns = 1728;             // /Columns
    int rows = 0;                   // /Rows, 0 = unknown
    bool endOfLine = false;         // /EndOfLine
    bool encodedByteAlign = false;  // /EncodedByteAlign
    bool endOfBlock = true;         // /EndOfBlock
    bool blackIs1 = false;          // /BlackIs1
    int damagedRowsBeforeError = 0; // /DamagedRowsBeforeError
};

// Undoes CCITTFaxDecode (ITU-T T.4 one- and two-dimensional coding, T.6). The result holds packed
// rows of ceil(columns / 8) bytes, most significant bit first; black is 0 and white 1, or the other
// way round when blackIs1 is set. The unused bits at the end of each row are white (1, or 0 with
// blackIs1).
//
// Decoding ends at EOFB/RTC, after /Rows rows when /Rows is known, or when the data runs out. EOL
// codes are accepted whether or not /EndOfLine announces them. Data that is damaged or ends early
// gives the rows decoded up to that point, and an empty result when there are none; with
// /EndOfLine and K >= 0, up to /DamagedRowsBeforeError damaged lines in all are replaced by the
// line above and decoding resumes at the next EOL. A result that would be larger than
// maxOutputBytes is refused (empty result) without being allocated. Uncompressed mode (the T.4
// extension code) counts as damage. `damaged`, when given, says whether
// decoding stopped at a line that did not decode. Thread-safe: no shared state.
std::optional<QByteArray> decodeCcittFax(QByteArrayView data, const CcittFaxParams &p, qint64 maxOutputBytes,
                                         bool *damaged = nullptr);

} // namespace zembrix
