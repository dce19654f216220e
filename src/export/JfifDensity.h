#pragma once

#include "OriginalFile.h"

namespace zembrix {

// JPEG data as a file of its own: complete (SOI first, EOI last; bytes
// before SOI and blanks a PDF writer left after EOI are dropped), of the
// image's size and read in the same colours by a standalone reader as by the
// image's PDF. The JFIF
// density becomes `dpi` dots per inch: an existing JFIF APP0 segment is
// patched in place, else one is inserted right after SOI, unless that would
// make readers take the colours differently (the file is then written
// without a density, and the note says so).
OriginalFile jpegOriginalFile(const EmbeddedPicture &picture, float dpi);

} // namespace zembrix
