#pragma once

#include <QString>

#include <cstdint>
#include <vector>

class QPDF;

namespace zembrix {

// Objects of the file whose text is too long to be parsed: the library builds
// a parsed dictionary or array at some thirty times its text's size, so a
// resource dictionary of a million entries (15 MB of text) would take half a
// gigabyte the moment anything looked at it.
//
// Each object the cross-reference table places in the file itself is measured
// from its "N G obj" to its "stream" or "endobj" keyword, without parsing; an
// object whose header is not where the table says is left to the library.
// An object inside an object stream is measured from the stream's list of
// offsets, when the stream decodes to more than the limit.
struct OversizedObject {
    int number = 0;
    int generation = 0;
    std::int64_t textBytes = 0; // at least this many (the measuring stops past the limit)
    // For an object stream: the numbers of the objects it holds, all left
    // unread with it.
    std::vector<int> heldObjects = {};
};

inline constexpr std::int64_t kMaxObjectTextBytes = 8 << 20;

// The objects of `pdf` (opened from the file at `path`) longer than `limit`.
// None when the file cannot be mapped or the table cannot be read.
std::vector<OversizedObject> findOversizedObjects(const QString &path, QPDF &pdf,
                                                  std::int64_t limit = kMaxObjectTextBytes);

} // namespace zembrix
