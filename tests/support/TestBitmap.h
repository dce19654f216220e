#pragma once

#include <QByteArray>

#include <cstdint>
#include <vector>

// A bilevel test image: one byte per pixel, row-major, 1 for black.
struct TestBitmap {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> black;

    TestBitmap(int w, int h)
        : width(w)
        , height(h)
        , black(std::size_t(w) * std::size_t(h), 0)
    {
    }

    bool at(int x, int y) const { return black[std::size_t(y) * width + x] != 0; }
    void set(int x, int y, bool b) { black[std::size_t(y) * width + x] = b ? 1 : 0; }
    int rowBytes() const { return (width + 7) / 8; }

    // Packed rows, most significant bit first: `blackBit` for black pixels, the other value for
    // white pixels and for the padding at the end of each row.
    QByteArray packed(bool blackBit) const;
    TestBitmap topRows(int rows) const;

    static TestBitmap random(int w, int h, double density, unsigned seed);
    // Runs of geometric lengths, rows often copied from the one above: text and line art.
    static TestBitmap randomRuns(int w, int h, int meanRun, unsigned seed);
    static TestBitmap filled(int w, int h, bool isBlack);
    static TestBitmap checkerboard(int w, int h, int cell);
    // Row r: r white pixels, r black ones, then white: every run length below h in both colours.
    static TestBitmap runLadder(int w, int h);
};
