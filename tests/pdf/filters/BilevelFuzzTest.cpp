// Random and mutated input for the CCITT and JBIG2 decoders: each call must return, within the
// output limit, without crashing (run under valgrind or a sanitizer to see more).

#include "pdf/filters/CcittFaxDecoder.h"
#include "pdf/filters/Jbig2Decoder.h"

#include "Jbig2TestStreams.h"
#include "TestBitmap.h"
#include "TestFaxEncoder.h"
#include "TiffFaxEncoder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <vector>

namespace {

constexpr qint64 kLimit = 1 << 20;

// ZEMBRIX_FUZZ_ITERATIONS scales the run, e.g. down for valgrind or up for a longer search.
int iterations(int normal)
{
    const char *env = std::getenv("ZEMBRIX_FUZZ_ITERATIONS");
    return env != nullptr ? std::max(1, std::atoi(env)) : normal;
}

QByteArray mutate(const QByteArray &seed, std::mt19937 &rng)
{
    QByteArray d = seed;
    auto pick = [&](int n) { return int(rng() % unsigned(std::max(n, 1))); };
    switch (rng() % 6) {
    case 0: // a few flipped bits
        for (int i = 0, n = 1 + pick(8); i < n && !d.isEmpty(); ++i) {
            const int at = pick(d.size());
            d[at] = char(d[at] ^ (1 << pick(8)));
        }
        break;
    case 1: // overwritten bytes
        for (int i = 0, n = 1 + pick(4); i < n && !d.isEmpty(); ++i)
            d[pick(d.size())] = char(rng());
        break;
    case 2: // cut short
        d.truncate(pick(d.size()));
        break;
    case 3: // random bytes inserted
        d.insert(pick(d.size()), QByteArray(1 + pick(16), char(rng())));
        break;
    case 4: // a stretch repeated
        if (!d.isEmpty()) {
            const int from = pick(d.size());
            d.insert(pick(d.size()), d.mid(from, 1 + pick(64)));
        }
        break;
    default: // pure noise
        d = QByteArray(1 + pick(2000), Qt::Uninitialized);
        for (char &c : d)
            c = char(rng());
        break;
    }
    return d;
}

} // namespace

TEST(BilevelFuzz, CcittFax)
{
    const TestBitmap bitmap = TestBitmap::randomRuns(203, 30, 8, 40);
    const std::vector<QByteArray> seeds = {
        tiffFaxEncode(bitmap, {TiffFax::Group4}),
        tiffFaxEncode(bitmap, {TiffFax::Group3OneD}),
        tiffFaxEncode(bitmap, {TiffFax::Group3TwoD, true}),
        faxEncode(bitmap, {.k = 3, .byteAlign = true}),
        faxEncode(bitmap, {.k = -1, .eol = true, .byteAlign = true}),
    };
    std::mt19937 rng(1234);
    for (int i = 0, n = iterations(4000); i < n; ++i) {
        const QByteArray data = mutate(seeds[rng() % seeds.size()], rng);
        const int ks[] = {-1, 0, 1, 4};
        CcittFaxParams p{.k = ks[rng() % 4], .columns = rng() % 4 != 0 ? 203 : 1 + int(rng() % 3000)};
        p.rows = rng() % 2 != 0 ? 0 : int(rng() % 100);
        p.endOfLine = rng() % 2;
        p.encodedByteAlign = rng() % 2;
        p.endOfBlock = rng() % 2;
        p.blackIs1 = rng() % 2;
        p.damagedRowsBeforeError = int(rng() % 4);
        const qint64 limit = rng() % 8 != 0 ? kLimit : qint64(rng() % 2000);
        if (const auto out = decodeCcittFax(data, p, limit)) {
            const qint64 rowBytes = (p.columns + 7) / 8;
            ASSERT_LE(out->size(), limit) << "case " << i;
            ASSERT_EQ(out->size() % rowBytes, 0) << "case " << i;
            ASSERT_GT(out->size(), 0) << "case " << i;
            ASSERT_TRUE(p.rows == 0 || out->size() / rowBytes <= p.rows) << "case " << i;
        }
    }
}

TEST(BilevelFuzz, Jbig2)
{
    using namespace jbig2test;
    const TestBitmap region = TestBitmap::randomRuns(70, 24, 5, 41);
    auto page = [](const QByteArray &regionData, int type) {
        return segment(0, PageInformation, 1, pageInformation(70, 24)) + segment(1, type, 1, regionData) + segment(2, EndOfPage, 1, {});
    };
    const std::vector<TestBitmap> symbols = {TestBitmap::random(6, 7, 0.5, 42), TestBitmap::random(8, 7, 0.5, 43)};
    const QByteArray globals = segment(1, SymbolDictionary, 0, symbolDictionary(symbols));
    const QByteArray textPage = segment(2, PageInformation, 1, pageInformation(40, 20))
        + segment(3, ImmediateTextRegion, 1, textRegion(40, 20, {6, 8}, {{0, 1, 2}, {1, 9, 2}, {0, 20, 10}}), {1})
        + segment(4, EndOfPage, 1, {});
    const std::vector<QByteArray> seeds = {
        page(mmrGenericRegion(region, 0, 0, tiffFaxEncode(region, {TiffFax::Group4})), ImmediateLosslessGenericRegion),
        page(arithmeticGenericRegion(region, 0, 0), ImmediateGenericRegion),
        textPage,
    };
    std::mt19937 rng(5678);
    for (int i = 0, n = iterations(2000); i < n; ++i) {
        const std::size_t which = rng() % seeds.size();
        const QByteArray data = mutate(seeds[which], rng);
        const QByteArray g = which == 2 ? (rng() % 3 == 0 ? mutate(globals, rng) : globals) : QByteArray();
        const qint64 limit = rng() % 8 != 0 ? kLimit : qint64(rng() % 400);
        if (const auto out = decodeJbig2(data, g, limit)) {
            ASSERT_LE(out->size(), limit) << "case " << i;
            ASSERT_GT(out->size(), 0) << "case " << i;
        }
    }
}
