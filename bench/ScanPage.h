#pragma once

// Pages of a book scan for the benchmarks that write scan-like workloads.

#include "PdfFixture.h"
#include "TestBitmap.h"
#include "TestFaxEncoder.h"

#include <QByteArray>
#include <QString>

#include <algorithm>
#include <cstdlib>
#include <random>
#include <string>

inline std::string toStd(const QByteArray &a)
{
    return std::string(a.constData(), size_t(a.size()));
}

// An RGB page: paper tone, lines of "text" and a picture block, placed from the page number,
// with a little sensor noise.
inline QByteArray scanPage(int width, int height, int page)
{
    std::mt19937 rng(unsigned(page) * 7919u + 1);
    QByteArray rgb(qsizetype(width) * height * 3, Qt::Uninitialized);
    auto *p = reinterpret_cast<uchar *>(rgb.data());
    const int margin = 200 + page % 40;
    const int pictureTop = 600 + (page * 37) % std::clamp(height - 1500, 1, 1200);
    for (int y = 0; y < height; ++y) {
        const bool textRow = (y - margin) % 60 < 28 && y > margin && y < height - margin;
        const bool pictureRow = y >= pictureTop && y < pictureTop + 900;
        for (int x = 0; x < width; ++x) {
            int r = 236, g = 230, b = 214;
            if (pictureRow && x > margin && x < width - margin) {
                // Triangle waves: smooth like a photograph, different on every page.
                r = std::abs((x + page * 13) % 512 - 256);
                g = std::abs((y + page * 29) % 512 - 256);
                b = std::abs((x + y + page * 7) % 512 - 256);
            } else if (textRow && x > margin && x < width - margin && ((x / 18 + y / 60 + page) % 7) != 0
                       && (x % 18) < 12) {
                r = g = b = 40;
            }
            const int noise = (x + y) % 5 == 0 ? int(rng() % 5) - 2 : 0;
            *p++ = uchar(std::clamp(r + noise, 0, 255));
            *p++ = uchar(std::clamp(g + noise, 0, 255));
            *p++ = uchar(std::clamp(b + noise, 0, 255));
        }
    }
    return rgb;
}

// Pages of random black runs as CCITT G4 images of width x height, written to `file`.
inline void writeFaxPages(const QString &file, int width, int height, int pages)
{
    using namespace fixture;
    PdfFixture pdf;
    FaxEncodeOptions g4;
    g4.endMarker = false;
    for (int page = 0; page < pages; ++page) {
        const TestBitmap bits = TestBitmap::randomRuns(width, height, 12, unsigned(page) + 3);
        pdf.page(
            {{"/Im", pdf.image(width, height, 1, name("DeviceGray"), toStd(faxEncode(bits, g4)), {"CCITTFaxDecode"},
                               {{"DecodeParms", dict({{"K", integer(-1)},
                                                      {"Columns", integer(width)},
                                                      {"Rows", integer(height)},
                                                      {"BlackIs1", boolean(true)}})}})}});
    }
    pdf.write(file);
}
