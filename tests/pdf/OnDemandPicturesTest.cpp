#include "PdfTestSupport.h"
#include "ImageComparison.h"
#include "JpegFixtures.h"

#include <algorithm>

using namespace zembrix;

using namespace fixture;

namespace {

int maxDifference(const QImage &a, const QImage &b)
{
    return compareImages(a, b, true).maximum;
}

// A scan-like page: a smooth gradient that differs from page to page.
QByteArray pageSamples(int width, int height, int page)
{
    QByteArray rgb(qsizetype(width) * height * 3, Qt::Uninitialized);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            char *p = rgb.data() + (qsizetype(y) * width + x) * 3;
            p[0] = char((x / 5 + page * 40) % 256);
            p[1] = char((y / 7 + page * 20) % 256);
            p[2] = char(((x + y) / 9) % 256);
        }
    return rgb;
}

class OnDemandPictures : public PdfTest
{
protected:
    // Pages of 1200 x 900 JPEG scans and a 700 x 500 Flate image with a soft mask on the last page.
    QString writeScans(int pages)
    {
        PdfFixture pdf;
        const JpegFixture f{.width = 1200, .height = 900, .quality = 90};
        for (int page = 0; page < pages; ++page)
            pdf.page({{"/Im", pdf.image(1200, 900, 8, name("DeviceRGB"), toStd(encodeJpeg(pageSamples(1200, 900, page), f)),
                                        {"DCTDecode"})}});
        std::string gray(700 * 500, '\0');
        for (size_t i = 0; i < gray.size(); ++i)
            gray[i] = char(i % 700 * 255 / 699);
        Obj mask = pdf.image(700, 500, 8, name("DeviceGray"), gray, {"FlateDecode"});
        pdf.page({{"/Im", pdf.image(700, 500, 8, name("DeviceGray"), std::string(700 * 500, '\x80'), {"FlateDecode"},
                                    {{"SMask", mask}})}});
        return writeFixture(pdf);
    }
};

} // namespace

// After the walk the records hold reduced copies only; full pictures are built on demand, the same
// every time, and a reduced copy is the full picture scaled down.
TEST_F(OnDemandPictures, RecordsKeepReducedCopiesAndBuildFullPicturesAgain)
{
    PictureCache &cache = m_context->pictureCache();
    cache.clear();
    const auto record = parse(writeScans(3));
    const auto images = record->images();
    ASSERT_EQ(images.size(), 4);
    EXPECT_EQ(cache.bytes(), 0);
    for (const auto &image : images) {
        const QImage reduced = image->reducedImage();
        EXPECT_LE(std::max(reduced.width(), reduced.height()), PDFImageStruct::kReducedEdge);
    }
    EXPECT_EQ(images[0]->reducedImage().size(), QSize(512, 384));
    EXPECT_EQ(images[3]->reducedImage().size(), QSize(512, 365));

    for (const auto &image : images) {
        SCOPED_TRACE(image->imagename().toStdString());
        const QImage full = image->image();
        ASSERT_EQ(full.size(), QSize(int(image->source().width), int(image->source().height)));
        cache.clear();
        EXPECT_EQ(image->image(), full); // built again: the same pixels
        const QImage scaledDown = full.scaled(image->reducedImage().size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        EXPECT_LE(maxDifference(image->reducedImage(), scaledDown), 24);
    }
    // The soft mask is applied to both.
    EXPECT_EQ(qAlpha(images[3]->image().pixel(699, 10)), 255);
    EXPECT_LE(qAlpha(images[3]->image().pixel(0, 10)), 1);
    EXPECT_LE(qAlpha(images[3]->reducedImage().pixel(0, 10)), 8);
}

// Damage decides as before: Flate data damaged past its header is dropped, a JPEG damaged past
// its first rows keeps the rows decoded before it; in the window's walk and the headless one
// alike, where a small JPEG is built whole, not kept from the walk's check (decoded in part at
// an eighth of its size). A file changed after the walk gives no picture.
TEST_F(OnDemandPictures, DamagedAndChangedFiles)
{
    const QByteArray jpeg = encodeJpeg(pageSamples(640, 480, 1), {.width = 640, .height = 480});
    const QByteArray small = encodeJpeg(pageSamples(120, 80, 2), {.width = 120, .height = 80});
    QByteArray damagedLate = jpeg;
    for (qsizetype i = jpeg.size() * 3 / 4; i < jpeg.size() - 2; ++i)
        damagedLate[i] = char(0xff);
    std::string flated = flate(std::string(64 * 64 * 3, '\x40'));
    for (size_t i = 6; i < flated.size(); ++i)
        flated[i] = char(~flated[i]);

    PdfFixture pdf;
    pdf.page({{"/A", pdf.stream(flated, {{"Type", name("XObject")}, {"Subtype", name("Image")}, {"Width", integer(64)}, {"Height", integer(64)}, {"BitsPerComponent", integer(8)}, {"ColorSpace", name("DeviceRGB")}, {"Filter", name("FlateDecode")}})},
              {"/B", pdf.image(640, 480, 8, name("DeviceRGB"), toStd(damagedLate), {"DCTDecode"})},
              {"/C", pdf.image(120, 80, 8, name("DeviceRGB"), toStd(small), {"DCTDecode"})}});
    const QString file = writeFixture(pdf);
    for (const bool keepReduced : {true, false}) {
        const auto record = parse(file, keepReduced);
        ASSERT_EQ(record->images().size(), 2) << keepReduced;
        const QImage full = record->images()[0]->image();
        ASSERT_EQ(full.size(), QSize(640, 480));
        EXPECT_LE(maxDifference(full.copy(0, 0, 640, 64), QImage::fromData(jpeg).copy(0, 0, 640, 64)), 3);
        EXPECT_LE(maxDifference(record->images()[1]->image(), QImage::fromData(small)), 3);
    }

    const auto record = parse(file);
    m_context->pictureCache().clear();
    ASSERT_TRUE(writeFile(file, "%PDF-1.4\n% replaced\n"));
    EXPECT_TRUE(record->images()[0]->image().isNull());
    EXPECT_FALSE(record->images()[0]->reducedImage().isNull());
}
