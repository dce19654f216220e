#include "TestBitmap.h"

#include <algorithm>
#include <random>

namespace {

template<typename Black>
TestBitmap drawn(int w, int h, Black black)
{
    TestBitmap t(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            t.set(x, y, black(x, y));
    return t;
}

} // namespace

QByteArray TestBitmap::packed(bool blackBit) const
{
    QByteArray out(qsizetype(rowBytes()) * height, blackBit ? '\0' : '\xff');
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            if (at(x, y)) // flips the white fill
                out[y * rowBytes() + x / 8] = char(out[y * rowBytes() + x / 8] ^ (0x80 >> (x % 8)));
    return out;
}

TestBitmap TestBitmap::topRows(int rows) const
{
    TestBitmap t(width, rows);
    std::copy_n(black.begin(), t.black.size(), t.black.begin());
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
        for (int x = 0; x < w; b = !b)
            for (int i = 0, len = run(rng) + 1; i < len && x < w; ++i, ++x)
                t.set(x, y, b);
    }
    return t;
}

TestBitmap TestBitmap::filled(int w, int h, bool isBlack)
{
    return drawn(w, h, [isBlack](int, int) { return isBlack; });
}

TestBitmap TestBitmap::checkerboard(int w, int h, int cell)
{
    return drawn(w, h, [cell](int x, int y) { return (x / cell + y / cell) % 2 == 1; });
}

TestBitmap TestBitmap::runLadder(int w, int h)
{
    return drawn(w, h, [](int x, int y) { return x >= y && x < 2 * y; });
}
