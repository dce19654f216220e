#pragma once

#include "OriginalFile.h"

namespace zembrix {

// A CCITT fax strip wrapped, unchanged, as the single strip of a one-bit
// TIFF: Group 4 (K < 0), Group 3 with EOL codes (K >= 0, the T4Options 2-D
// bit for K > 0) or Modified Huffman (K = 0, byte-aligned rows, no EOL
// codes). Photometric is MinIsWhite, or MinIsBlack for /BlackIs1; the DPI
// goes into X/YResolution. Layouts a TIFF cannot describe are refused, and
// so is a strip libtiff cannot read back.
OriginalFile faxOriginalFile(const EmbeddedPicture &picture, float dpi);

} // namespace zembrix
