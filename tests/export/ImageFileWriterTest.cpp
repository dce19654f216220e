#include "ExportTestDecoders.h"

#include "export/ExportFile.h"
#include "export/ExportFormat.h"
#include "export/ImageFileWriter.h"
#include "export/QtFileWriter.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

using namespace zembrix;

using namespace exporttest;

namespace {

class ImageFileWriterTest : public ::testing::Test
{
protected:
    QString path(const QString &name) const { return m_dir.filePath(name); }

    QByteArray writeAndRead(const QImage &image, int format, float dpi = 300.0f)
    {
        const QString file = exportFilePath(path("out"), format);
        const WriteResult result = export1(image, file, format, dpi);
        EXPECT_TRUE(result.isWritten()) << qPrintable(result.message());
        return readFile(file);
    }

    QTemporaryDir m_dir;
};

// Source over opaque white, computed here independently of the writer.
QImage onWhite(const QImage &image)
{
    QImage out = image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < out.height(); ++y)
        for (int x = 0; x < out.width(); ++x) {
            const QRgb p = out.pixel(x, y);
            const auto blend = [a = qAlpha(p)](int c) { return (c * a + 255 * (255 - a) + 127) / 255; };
            out.setPixel(x, y, qRgb(blend(qRed(p)), blend(qGreen(p)), blend(qBlue(p))));
        }
    return out;
}

} // namespace

TEST_F(ImageFileWriterTest, RoundTripsThroughAnIndependentReader)
{
    const QImage translucent = gradientImage(67, 45);
    const QImage opaque = opaqueGradientImage(67, 45);
    struct Row {
        int format;
        QImage source, expected;
        int maxDifference;
        double meanDifference;
        bool premultiplied = false; // the reader gives premultiplied pixels
    };
    const Row rows[] = {
        {ExportFormat::Png, translucent, translucent, 0, 0.0},
        {ExportFormat::Tiff, translucent, translucent, 0, 0.0, true},
        {ExportFormat::Tiff, opaque, opaque, 0, 0.0},
        {ExportFormat::Bmp, opaque, opaque, 0, 0.0},
        {ExportFormat::Bmp, translucent, onWhite(translucent), 1, 0.5},
        {ExportFormat::Jpeg2000, translucent, translucent, 0, 0.0},
        {ExportFormat::Jpeg, translucent, onWhite(translucent), 60, 3.0},
        {ExportFormat::Jpeg, opaque, opaque, 40, 2.5},
        {ExportFormat::Heic, translucent, translucent, 80, 3.0, true},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(testing::Message() << ExportFormat::name(row.format).toStdString() << " " << row.source.hasAlphaChannel());
        const QImage decoded = decodeExportFile(row.format, writeAndRead(row.source, row.format));
        ASSERT_EQ(decoded.size(), row.source.size());
        const PixelDifference difference = compareImages(decoded, row.expected, row.premultiplied);
        EXPECT_LE(difference.maximum, row.maxDifference);
        EXPECT_LE(difference.mean, row.meanDifference);
    }
}

// PNG is written with libpng from the picture's rows: every kind of picture reads back as the
// same pixels, in the same format, as Qt's own PNG writer gives for it.
TEST_F(ImageFileWriterTest, PngReadsBackAsQtsWriterWouldHaveWrittenIt)
{
    const QImage translucent = gradientImage(67, 45);
    const QImage::Format formats[] = {QImage::Format_Grayscale8, QImage::Format_Grayscale16, QImage::Format_RGB888,
                                      QImage::Format_RGBA8888, QImage::Format_RGBX64, QImage::Format_RGBA64,
                                      QImage::Format_RGB32, QImage::Format_ARGB32, QImage::Format_Mono};
    for (const QImage::Format format : formats) {
        SCOPED_TRACE(testing::Message() << "format " << int(format));
        QImage source = translucent.convertToFormat(format);
        if (format == QImage::Format_Grayscale16) // values between the 8-bit steps too
            for (int y = 0; y < source.height(); ++y)
                reinterpret_cast<quint16 *>(source.scanLine(y))[y % source.width()] = quint16(y * 997);
        const QImage ours = QImage::fromData(writeAndRead(source, ExportFormat::Png), "png");
        const QImage qts = QImage::fromData(encodeWithQtWriter(source, ExportFormat::Png, 300.0f), "png");
        ASSERT_FALSE(qts.isNull());
        EXPECT_EQ(ours.format(), qts.format());
        EXPECT_TRUE(ours == qts);
        EXPECT_EQ(ours.dotsPerMeterX(), qts.dotsPerMeterX());
    }
}

// Each format's resolution field holds the DPI (unusable values give 72, the range is clamped),
// within the field's own precision, and the DPI changes no pixel.
TEST_F(ImageFileWriterTest, WritesTheDpiIntoEachFormatsResolutionField)
{
    const QImage source = gradientImage(40, 30);
    const std::pair<int, double> formats[] = {
        {ExportFormat::Png, 0.02},      // whole pels per metre
        {ExportFormat::Bmp, 0.02},      // whole pels per metre
        {ExportFormat::Jpeg, 0.5},      // whole dots per inch
        {ExportFormat::Tiff, 0.5},      // whole dots per inch through Qt
        {ExportFormat::Jpeg2000, 1e-3}, // 16-bit fractions
        {ExportFormat::Heic, 1e-3},     // exact rational
        {ExportFormat::Icns, -1.0},     // no resolution field
    };
    const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
    // 254 DPI is exactly 10000 pels per metre, where a TIFF writer may switch to centimetres.
    const std::pair<float, double> dpis[] = {{72, 72}, {150, 150}, {254, 254}, {300, 300}, {600, 600}, {3600, 3600}, {72.5f, 72.5}, {0, 72}, {-300, 72}, {nan, 72}, {inf, 72}, {0.25f, 1}, {1e9f, 65535}};
    for (const auto &[format, tolerance] : formats) {
        const QImage at72 = decodeExportFile(format, writeAndRead(source, format, 72.0f));
        ASSERT_FALSE(at72.isNull());
        EXPECT_TRUE(format == ExportFormat::Icns || at72.size() == source.size());
        for (const auto &[dpi, expected] : dpis) {
            SCOPED_TRACE(testing::Message() << ExportFormat::name(format).toStdString() << " at " << dpi);
            const QByteArray file = writeAndRead(source, format, dpi);
            EXPECT_EQ(compareImages(decodeExportFile(format, file), at72).maximum, 0);
            if (tolerance >= 0) {
                const std::optional<double> found = dpiOfFile(format, file);
                ASSERT_TRUE(found);
                EXPECT_NEAR(*found, expected, std::max(tolerance, expected * 2e-5));
            }
        }
    }
}

// Components and precision of the codestream, the pixels exact (16-bit ones too); the boxes
// fill their lengths exactly, 'cdef' marks the alpha component and the resolution box comes last.
TEST_F(ImageFileWriterTest, Jpeg2000LayoutsAndBoxes)
{
    QImage gray(23, 11, QImage::Format_Grayscale8), deep(19, 7, QImage::Format_RGBA64), tiny(1, 1, QImage::Format_RGB32);
    for (int y = 0; y < gray.height(); ++y)
        for (int x = 0; x < gray.width(); ++x)
            gray.scanLine(y)[x] = uchar(x * 11 + y);
    for (int y = 0; y < deep.height(); ++y)
        for (int x = 0; x < deep.width(); ++x)
            deep.setPixelColor(x, y, QColor::fromRgba64(quint16(x * 3001), quint16(y * 9000 + 7), 0x1234, quint16(65535 - x * 1000)));
    tiny.fill(qRgb(10, 200, 30));
    const std::tuple<QImage, int, int> rows[] = {// source, components, precision
                                                 {gray, 1, 8},
                                                 {opaqueGradientImage(30, 20), 3, 8},
                                                 {gradientImage(30, 20), 4, 8},
                                                 {deep, 4, 16},
                                                 {tiny, 3, 8}};
    for (const auto &[source, components, precision] : rows) {
        SCOPED_TRACE(components * 100 + precision);
        const QByteArray file = writeAndRead(source, ExportFormat::Jpeg2000, 150.0f);
        const std::optional<Jp2Decoded> decoded = decodeJp2(file);
        ASSERT_TRUE(decoded);
        EXPECT_EQ(decoded->components, components);
        EXPECT_EQ(decoded->precision, precision);
        EXPECT_EQ(decoded->hasAlphaComponent, source.hasAlphaChannel());
        const QImage expected = source.convertToFormat(QImage::Format_RGBA64);
        const QImage got = decoded->image.convertToFormat(QImage::Format_RGBA64);
        ASSERT_EQ(got.size(), expected.size());
        for (int y = 0; y < expected.height(); ++y)
            EXPECT_EQ(memcmp(got.constScanLine(y), expected.constScanLine(y), size_t(expected.width()) * 8), 0) << y;

        QList<QByteArray> types, header;
        const std::optional<Boxes> top = jp2Boxes(file);
        ASSERT_TRUE(top);
        for (const auto &box : *top)
            types << box.first;
        ASSERT_EQ(types, (QList<QByteArray>{"jP  ", "ftyp", "jp2h", "jp2c"}));
        for (const auto &box : jp2Boxes((*top)[2].second).value_or(Boxes{}))
            header << box.first;
        ASSERT_FALSE(header.isEmpty());
        EXPECT_EQ(header.first(), "ihdr");
        EXPECT_EQ(header.last(), "res ");
        EXPECT_TRUE(header.contains("colr"));
        EXPECT_TRUE(header.contains("cdef") || !source.hasAlphaChannel());
    }
}

// A missing folder, a null picture and an unknown format write nothing and say so.
TEST_F(ImageFileWriterTest, FailuresAreResultValues)
{
    const QImage image = gradientImage(10, 10);
    EXPECT_TRUE(export1(image, path("no/such/x.png"), ExportFormat::Png, 72.0f).isFailure());
    EXPECT_TRUE(export1(image, path("none/x.heic"), ExportFormat::Heic, 72.0f).isFailure());
    EXPECT_EQ(export1(QImage(), path("null.png"), ExportFormat::Png, 72.0f).status(), WriteResult::Status::NothingWritten);
    for (int index : {-1, 7, 100}) {
        EXPECT_EQ(export1(image, path("bad"), index, 72.0f).status(), WriteResult::Status::NothingWritten);
        EXPECT_TRUE(exportFilePath(path("bad"), index).isEmpty());
    }
    EXPECT_TRUE(fixture::filesIn(m_dir.path()).isEmpty());
}

// A write cancelled before its first byte, between two chunks of a large file or once its
// bytes are out (asked once per MiB and once at the end) leaves the earlier file whole and no
// temporary file.
TEST_F(ImageFileWriterTest, CancelledWriteKeepsTheEarlierFile)
{
    const QString target = path(QStringLiteral("big.bin"));
    const QByteArray earlier(1000, 'a'), bytes(5 * 1024 * 1024 + 7, 'b');
    for (int answersBeforeCancel : {0, 2, 6}) {
        SCOPED_TRACE(answersBeforeCancel);
        ASSERT_TRUE(writeExportFile(target, earlier).isWritten());
        int asked = 0;
        EXPECT_EQ(writeExportFile(target, bytes, [&] { return ++asked > answersBeforeCancel; }).status(),
                  WriteResult::Status::NothingWritten);
        EXPECT_EQ(readFile(target), earlier);
        EXPECT_EQ(fixture::filesIn(m_dir.path()), QStringList{"big.bin"});
    }
    ASSERT_TRUE(writeExportFile(target, bytes, [] { return false; }).isWritten());
    EXPECT_EQ(readFile(target), bytes);
}

// One square icon of the largest size that fits, the picture fitted and centred (IconScaling's
// tests check the placement in detail).
TEST_F(ImageFileWriterTest, IcnsHoldsOneSquareIconOfTheChosenSize)
{
    const std::tuple<QSize, int, QList<QByteArray>> rows[] = {
        {{1100, 1024}, 1024, {"ic10"}},
        {{1000, 600}, 512, {"ic09"}},
        {{300, 256}, 256, {"ic08"}},
        {{200, 130}, 128, {"ic07"}},
        {{100, 60}, 48, {"ih32", "h8mk"}},
        {{40, 30}, 16, {"is32", "s8mk"}},
        {{5, 9}, 16, {"is32", "s8mk"}},
    };
    for (const auto &[size, edge, elements] : rows) {
        SCOPED_TRACE(size.width());
        const QByteArray file = writeAndRead(opaqueGradientImage(size.width(), size.height()), ExportFormat::Icns);
        EXPECT_EQ(icnsTypes(file), elements);
        const QImage argb = decodeExportFile(ExportFormat::Icns, file).convertToFormat(QImage::Format_ARGB32);
        ASSERT_EQ(argb.size(), QSize(edge, edge));
        EXPECT_EQ(qAlpha(argb.pixel(edge / 2, edge / 2)), 255);
    }
}

// Flattening is only for translucent images: a gray JPEG stays gray.
TEST(QtFileWriter, OpaqueGrayJpegStaysGray)
{
    QImage gray(8, 8, QImage::Format_Grayscale8);
    gray.fill(100);
    EXPECT_EQ(QImage::fromData(encodeWithQtWriter(gray, ExportFormat::Jpeg, 72.0f), "jpeg").format(), QImage::Format_Grayscale8);
    EXPECT_TRUE(encodeWithQtWriter(gray, ExportFormat::Jpeg2000, 72.0f).isEmpty());
}
