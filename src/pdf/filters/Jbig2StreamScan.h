#pragma once

#include <QByteArrayView>

#include <cstdint>
#include <optional>
#include <vector>

namespace zembrix {

// What the segment headers of an embedded JBIG2 stream (segments without the file header) tell
// before the stream is decoded.
struct Jbig2StreamScan {
    // How many leading bytes may be handed to the decoder: the whole stream, or the part before
    // the first segment that announces far more work than its data could hold. jbig2dec loops
    // over the symbol instances a text region header announces even after the region's data has
    // run out, so a 30-byte segment can keep it busy for minutes; memory limits do not catch that.
    qsizetype acceptedLength = 0;
    // Whether a complete page information segment comes before that point; without one there
    // is no page to decode.
    bool hasPage = false;
    // ceil(width / 8) * height of the first page information segment, when it gives the height.
    std::optional<std::uint64_t> pageBytes;
    // Symbol dictionaries and text regions coded with Huffman tables, and custom table segments,
    // among the accepted segments.
    std::uint32_t huffmanSegments = 0;
    std::uint32_t tableSegments = 0;
    // The numbers of the segments read, and whether one of them refers to a segment that is
    // neither among the `known` ones given to the scan nor read before it.
    std::vector<std::uint32_t> numbers;
    bool refersToMissing = false;
};

// Segment headers that cannot be read end the scan and leave the rest to the decoder.
Jbig2StreamScan scanJbig2Stream(QByteArrayView stream, const std::vector<std::uint32_t> &known = {});

} // namespace zembrix
