#pragma once

#include <QByteArray>

#include <cstdint>
#include <vector>

// A bilevel test image: one bool per pixel, true for black.
struct TestBitmap {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> black; // row-major, 1 = black

    TestBitmap(int w, int h) : width(w), height(h), black(std::size_t(w) * std::size_t(h), 0) {}

    bool at(int x, int y) const { return black[std::size_t(y) * width + x] != 0; }
    void set(int x, int y, bool b) { black[std::size_t(y) * width + x] = b ? 1 : 0; }
    int rowBytes() const { return (width + 7) / 8; }

    // Packed rows, most significant bit first, with `blackBit` for black pixels and the
    // other value for white pixels and the padding at the end of each row.
    QByteArray packed(bool blackBit, int rows = -1) const;
    // The first `rows` rows of the image.
    TestBitmap topRows(int rows) const;

    static TestBitmap random(int w, int h, double density, unsigned seed);
    // Random runs of geometric lengths: the shapes of text and line art.
    static TestBitmap randomRuns(int w, int h, int meanRun, unsigned seed);
    static TestBitmap filled(int w, int h, bool isBlack);
    static TestBitmap checkerboard(int w, int h, int cell);
    // Row r has a white run of r pixels, then a black run of r pixels, then white, so every run
    // length from 0 to height-1 is coded in both colours.
    static TestBitmap runLadder(int w, int h);
};
