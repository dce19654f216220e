#pragma once

#include <QByteArrayView>
#include <QImage>
#include <QSize>

#include <array>
#include <deque>
#include <vector>

namespace zembrix {

// Brings a one-component picture to another size while its packed rows
// arrive, so that a huge mask never exists at its own size: only one source
// row and the open rows of the result are held.
//
// The rows are PDF sample rows (1, 2, 4 or 8 bits per sample, high-order bits
// first, each row padded to whole bytes), given in pieces of any length.
// Every sample is expanded to 0..255 and mapped through `levels` (the mask's
// /Decode array applied to the 256 values) before it is used.
//
// Averaged: every result pixel is the mean of the source pixels it covers
// (a result larger than the source in one direction repeats source rows or
// columns). Nearest: every result pixel is the source pixel under its centre,
// as the stencil masks are sampled.
class GrayRowReducer
{
public:
    enum class Sampling { Averaged, Nearest };

    // Null (isValid() false) for sizes that are not positive or a depth
    // other than 1, 2, 4 and 8.
    GrayRowReducer(int width, int height, int bitsPerComponent, QSize target, Sampling sampling,
                   const std::array<uchar, 256> &levels);

    bool isValid() const { return !m_result.isNull(); }
    // Takes the next bytes of the rows; bytes past the last row are ignored.
    void add(QByteArrayView bytes);
    // The picture (Grayscale8, the target size), or null while rows are missing.
    QImage result() const;

private:
    void takeRow(const uchar *row);
    qint64 rowStart(int targetRow) const;
    qint64 rowEnd(int targetRow) const;

    int m_width = 0, m_height = 0, m_bits = 8;
    Sampling m_sampling = Sampling::Averaged;
    std::array<uchar, 256> m_levels{};
    qint64 m_rowBytes = 0;
    std::vector<uchar> m_row; // the source row being filled
    qint64 m_rowFill = 0;
    std::vector<uchar> m_expanded;  // its samples, 0..255 after the levels
    std::vector<int> m_columnStart; // target column ox covers [start[ox], end[ox])
    std::vector<int> m_columnEnd;
    std::vector<quint64> m_columnSums;
    std::deque<std::vector<quint64>> m_open; // sums of the unfinished target rows, from m_firstOpen on
    int m_firstOpen = 0;
    int m_sourceRow = 0;
    QImage m_result;
};

} // namespace zembrix
