#pragma once

#include "TestBitmap.h"

#include <QByteArray>

#include <cstdint>
#include <vector>

// Builders for embedded JBIG2 streams (ITU-T T.88 segments without the file header), the form
// PDF uses. Bitmaps are in JBIG2's sense: black pixels are coded as 1.
namespace jbig2test {

enum SegmentType : int {
    SymbolDictionary = 0,
    ImmediateTextRegion = 6,
    ImmediateGenericRegion = 38,
    ImmediateLosslessGenericRegion = 39,
    PageInformation = 48,
    EndOfPage = 49,
    EndOfStripe = 50,
};

// A segment: header (7.2) and data. `page` 0 is for the segments of a globals stream.
QByteArray segment(std::uint32_t number, int type, std::uint32_t page, const QByteArray &data,
                   const std::vector<std::uint32_t> &referredTo = {});

// Page information segment data (7.4.8). `striping`: bit 15 striped, bits 0-14 maximum stripe size.
QByteArray pageInformation(std::uint32_t width, std::uint32_t height, std::uint8_t flags = 0,
                           std::uint16_t striping = 0);

QByteArray endOfStripe(std::uint32_t lastRow);

// Generic region segment data (7.4.6) for `bitmap` placed at (x, y) of the page, MMR coded with
// the given T.6 data.
QByteArray mmrGenericRegion(const TestBitmap &bitmap, std::uint32_t x, std::uint32_t y, const QByteArray &t6);

// Symbol dictionary data (7.4.2) exporting textSymbols(), arithmetic coded: what an MQ encoder
// wrote for them once.
std::vector<TestBitmap> textSymbols();
QByteArray textSymbolDictionary();

struct Placement {
    int symbol; // index among the exported symbols
    int x;      // top-left corner on the region
    int y;
};

// Seven symbols of widths 6 and 8 on a 40 x 16 region, in strips of their own and sharing one.
std::vector<Placement> textPlacements();
// Text region data (7.4.3), arithmetic coded, placing textPlacements() on a 40 x 16 region at
// the page's top left.
QByteArray textRegion();
// The 40 x 16 page of that region, with these symbols placed.
TestBitmap textPage(const std::vector<TestBitmap> &symbols);

} // namespace jbig2test
