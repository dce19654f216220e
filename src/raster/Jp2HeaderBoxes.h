#pragma once

#include <QByteArrayView>

#include <optional>
#include <vector>

namespace zembrix {

// Facts from the header boxes of a JP2 file (ISO/IEC 15444-1 annex I) that
// OpenJPEG does not report before decoding, or not at all. Used by the
// JPEG 2000 wrapper only.
struct Jp2HeaderBoxes {
    // 'res ' box: the default display resolution 'resd', else the capture
    // resolution 'resc', in dots per inch.
    std::optional<double> dpiWidth;
    std::optional<double> dpiHeight;
    int paletteChannels = 0;        // columns of a 'pclr' box, 0 without one
    int paletteDepth = 0;           // bits of its first column
    std::vector<int> alphaChannels; // 'cdef' channels of type 1 or 2 (opacity)
};

// std::nullopt when the data has no readable 'jp2h' box at the top level.
std::optional<Jp2HeaderBoxes> readJp2HeaderBoxes(QByteArrayView data);

} // namespace zembrix
