#include "TestBitmap.h"

#include <random>

QByteArray TestBitmap::packed(bool blackBit, int rows) const
{
    if (rows < 0)
        rows = height;
    const int stride = rowBytes();
    QByteArray out(qsizetype(stride) * rows, blackBit ? '\0' : '\xff');
    for (int y = 0; y < rows; ++y) {
        for (int x = 0; x < width; ++x) {
            if (at(x, y)) // the fill is white
                out[y * stride + x / 8] = char(out[y * stride + x / 8] ^ (0x80 >> (x % 8)));
        }
    }
    return out;
}

TestBitmap TestBitmap::topRows(int rows) const
{
    TestBitmap t(width, rows);
    std::copy(black.begin(), black.begin() + std::ptrdiff_t(width) * rows, t.black.begin());
    return t;
}

TestBitmap TestBitmap::random(int w, int h, double density, unsigned seed)
{
    TestBitmap t(w, h);
    std::mt19937 rng(seed);
    std::bernoulli_distribution d(density);
    for (auto &b : t.black)
        b = d(rng) ? 1 : 0;
    return t;
}

TestBitmap TestBitmap::randomRuns(int w, int h, int meanRun, unsigned seed)
{
    TestBitmap t(w, h);
    std::mt19937 rng(seed);
    std::geometric_distribution<int> run(1.0 / meanRun);
    std::bernoulli_distribution copyRow(0.3);
    for (int y = 0; y < h; ++y) {
        if (y > 0 && copyRow(rng)) { // similar rows exercise the vertical modes
            for (int x = 0; x < w; ++x)
                t.set(x, y, t.at(std::min(w - 1, std::max(0, x + int(rng() % 3) - 1)), y - 1));
            continue;
        }
        bool b = rng() % 2;
        for (int x = 0; x < w;) {
            const int len = run(rng) + 1;
            for (int i = 0; i < len && x < w; ++i, ++x)
                t.set(x, y, b);
            b = !b;
        }
    }
    return t;
}

TestBitmap TestBitmap::filled(int w, int h, bool isBlack)
{
    TestBitmap t(w, h);
    std::fill(t.black.begin(), t.black.end(), isBlack ? 1 : 0);
    return t;
}

TestBitmap TestBitmap::checkerboard(int w, int h, int cell)
{
    TestBitmap t(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            t.set(x, y, ((x / cell) + (y / cell)) % 2 == 1);
    return t;
}

TestBitmap TestBitmap::runLadder(int w, int h)
{
    TestBitmap t(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = y; x < std::min(w, 2 * y); ++x)
            t.set(x, y, true);
    return t;
}
