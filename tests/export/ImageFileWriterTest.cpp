#include "ExportTestDecoders.h"
#include "ExportTestImages.h"

#include "export/ExportFile.h"
#include "export/ExportFormat.h"
#include "export/ImageFileWriter.h"
#include "export/QtFileWriter.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QImageReader>
#include <QTemporaryDir>
#include <QtEndian>

#include <cmath>
#include <limits>
#include <thread>
#include <vector>

using namespace exporttest;

namespace {

class ImageFileWriterTest : public ::testing::Test
{
protected:
    QString path(const QString &name) const { return QDir(m_dir.path()).filePath(name); }

    QByteArray writeAndRead(const QImage &image, int format, float dpi, const QString &name)
    {
        const QString file = exportFilePath(path(name), format);
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
        const char *label;
        int format;
        QImage source;
        QImage expected;
        int maxDifference;
        double meanDifference;
        bool premultiplied = false; // the reader gives premultiplied pixels
    };
    const Row rows[] = {
        {"PNG keeps alpha exactly", ExportFormat::Png, translucent, translucent, 0, 0.0},
        {"TIFF keeps alpha exactly", ExportFormat::Tiff, translucent, translucent, 0, 0.0, true},
        {"TIFF without alpha is exact", ExportFormat::Tiff, opaque, opaque, 0, 0.0},
        {"BMP without alpha is exact", ExportFormat::Bmp, opaque, opaque, 0, 0.0},
        {"BMP flattens alpha on white", ExportFormat::Bmp, translucent, onWhite(translucent), 1, 0.5},
        {"JPEG-2000 is lossless with alpha", ExportFormat::Jpeg2000, translucent, translucent, 0, 0.0},
        {"JPEG is near, flattened on white", ExportFormat::Jpeg, translucent, onWhite(translucent), 60, 3.0},
        {"JPEG of an opaque picture is near", ExportFormat::Jpeg, opaque, opaque, 40, 2.5},
        {"HEIC is near and keeps alpha", ExportFormat::Heic, translucent, translucent, 80, 3.0, true},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.label);
        const QByteArray file = writeAndRead(row.source, row.format, 300.0f, QStringLiteral("rt"));
        const QImage decoded = decodeExportFile(row.format, file);
        ASSERT_FALSE(decoded.isNull());
        EXPECT_EQ(decoded.size(), row.source.size());
        const PixelDifference difference = compareImages(decoded, row.expected, row.premultiplied);
        EXPECT_LE(difference.maximum, row.maxDifference);
        EXPECT_LE(difference.mean, row.meanDifference);
    }
}

// Each format's resolution field holds the DPI, within what the field's own precision allows,
// and the DPI changes no pixel.
TEST_F(ImageFileWriterTest, WritesTheDpiIntoEachFormatsResolutionField)
{
    const QImage source = gradientImage(40, 30);
    const std::pair<int, double> formats[] = {
        {ExportFormat::Png, 0.02},      // whole pels per metre
        {ExportFormat::Bmp, 0.02},      // whole pels per metre
        {ExportFormat::Jpeg, 0.5},      // whole dots per inch
        {ExportFormat::Tiff, 0.5},      // whole dots per inch through Qt
        {ExportFormat::Jpeg2000, 1e-3}, // exact rational
        {ExportFormat::Heic, 1e-3},     // exact rational
        {ExportFormat::Icns, -1.0},     // no resolution field
    };
    for (const auto &[format, tolerance] : formats) {
        const QImage at72 = decodeExportFile(format, writeAndRead(source, format, 72.0f, QStringLiteral("a")));
        ASSERT_FALSE(at72.isNull());
        EXPECT_TRUE(format == ExportFormat::Icns || at72.size() == source.size());
        // 254 DPI is exactly 10000 pels per metre, where a TIFF writer may switch to centimetres.
        for (float dpi : {72.0f, 150.0f, 254.0f, 300.0f, 600.0f, 3600.0f}) {
            SCOPED_TRACE(testing::Message() << ExportFormat::name(format).toStdString() << " at " << dpi);
            const QByteArray file = writeAndRead(source, format, dpi, QStringLiteral("dpi"));
            EXPECT_EQ(compareImages(decodeExportFile(format, file), at72).maximum, 0);
            if (tolerance >= 0) {
                const std::optional<double> found = dpiOfFile(format, file);
                ASSERT_TRUE(found);
                EXPECT_NEAR(*found, dpi, tolerance);
            }
        }
    }
}

TEST_F(ImageFileWriterTest, FractionalAndUnusableDpiValues)
{
    const QImage source = gradientImage(20, 20);
    struct Row {
        float dpi;
        double expected;
        double jp2Tolerance = 1e-3; // 'resc' holds 16-bit fractions
    };
    const Row rows[] = {
        {72.5f, 72.5},
        {0.0f, 72.0},
        {-300.0f, 72.0},
        {std::numeric_limits<float>::quiet_NaN(), 72.0},
        {std::numeric_limits<float>::infinity(), 72.0},
        {0.25f, 1.0},
        {1e9f, 65535.0, 1.0},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.dpi);
        const QByteArray jp2 = writeAndRead(source, ExportFormat::Jpeg2000, row.dpi, QStringLiteral("f"));
        ASSERT_TRUE(jp2Dpi(jp2));
        EXPECT_NEAR(*jp2Dpi(jp2), row.expected, row.jp2Tolerance);
        const QByteArray png = writeAndRead(source, ExportFormat::Png, row.dpi, QStringLiteral("f"));
        ASSERT_TRUE(pngDpi(png));
        EXPECT_NEAR(*pngDpi(png), row.expected, 0.02);
    }
}

TEST_F(ImageFileWriterTest, Jpeg2000ComponentLayouts)
{
    QImage gray(23, 11, QImage::Format_Grayscale8);
    for (int y = 0; y < gray.height(); ++y)
        for (int x = 0; x < gray.width(); ++x)
            gray.scanLine(y)[x] = uchar(x * 11 + y);

    QImage deep(19, 7, QImage::Format_RGBA64);
    for (int y = 0; y < deep.height(); ++y)
        for (int x = 0; x < deep.width(); ++x)
            deep.setPixelColor(x, y, QColor::fromRgba64(quint16(x * 3001), quint16(y * 9000 + 7), 0x1234,
                                                        quint16(65535 - x * 1000)));

    QImage tiny(1, 1, QImage::Format_RGB32);
    tiny.fill(qRgb(10, 200, 30));

    struct Row {
        const char *label;
        QImage source;
        int components;
        int precision;
        bool alpha;
    };
    const Row rows[] = {
        {"gray", gray, 1, 8, false},
        {"rgb", opaqueGradientImage(30, 20), 3, 8, false},
        {"rgba", gradientImage(30, 20), 4, 8, true},
        {"16-bit rgba", deep, 4, 16, true},
        {"one pixel", tiny, 3, 8, false},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.label);
        const std::optional<Jp2Decoded> decoded =
            decodeJp2(writeAndRead(row.source, ExportFormat::Jpeg2000, 150.0f, QStringLiteral("l")));
        ASSERT_TRUE(decoded);
        EXPECT_EQ(decoded->components, row.components);
        EXPECT_EQ(decoded->precision, row.precision);
        EXPECT_EQ(decoded->hasAlphaComponent, row.alpha);
        if (row.precision == 16) {
            const QImage expected = row.source.convertToFormat(QImage::Format_RGBA64);
            ASSERT_EQ(decoded->image.size(), expected.size());
            for (int y = 0; y < expected.height(); ++y)
                for (int x = 0; x < expected.width(); ++x)
                    ASSERT_EQ(decoded->image.pixelColor(x, y).rgba64(), expected.pixelColor(x, y).rgba64())
                        << x << "," << y;
        } else {
            EXPECT_EQ(compareImages(decoded->image, row.source).maximum, 0);
        }
    }
}

TEST_F(ImageFileWriterTest, Jp2HeaderBoxStaysWellFormed)
{
    // The boxes that make up `bytes`, each filling its length exactly: type and content.
    auto boxes = [](const QByteArray &bytes) {
        QList<std::pair<QByteArray, QByteArray>> out;
        qsizetype pos = 0;
        while (pos + 8 <= bytes.size()) {
            const quint32 length = qFromBigEndian<quint32>(reinterpret_cast<const uchar *>(bytes.constData()) + pos);
            if (length < 8 || pos + qsizetype(length) > bytes.size())
                break;
            out.append({bytes.mid(pos + 4, 4), bytes.mid(pos + 8, length - 8)});
            pos += length;
        }
        EXPECT_EQ(pos, bytes.size());
        return out;
    };
    auto types = [](const QList<std::pair<QByteArray, QByteArray>> &list) {
        QList<QByteArray> out;
        for (const auto &box : list)
            out << box.first;
        return out;
    };
    const auto top = boxes(writeAndRead(gradientImage(16, 16), ExportFormat::Jpeg2000, 300.0f, QStringLiteral("h")));
    ASSERT_EQ(types(top), (QList<QByteArray>{"jP  ", "ftyp", "jp2h", "jp2c"}));
    // 'cdef' marks the alpha component as opacity; the resolution box comes last.
    const QList<QByteArray> header = types(boxes(top[2].second));
    ASSERT_FALSE(header.isEmpty());
    EXPECT_EQ(header.first(), "ihdr");
    EXPECT_EQ(header.last(), "res ");
    EXPECT_TRUE(header.contains("colr"));
    EXPECT_TRUE(header.contains("cdef"));
}

TEST_F(ImageFileWriterTest, HeicAlphaFlagAndExifBlock)
{
    const std::optional<HeicDecoded> decoded =
        decodeHeic(writeAndRead(gradientImage(16, 16), ExportFormat::Heic, 300.0f, QStringLiteral("exif")));
    ASSERT_TRUE(decoded);
    EXPECT_TRUE(decoded->hasAlpha);
    // The HEIF Exif item begins with the offset of the TIFF header, here right after it.
    EXPECT_EQ(decoded->exifOffset, 0u);
    ASSERT_TRUE(decoded->exif.startsWith(QByteArray("MM\0*", 4)));
    const std::optional<TiffResolution> resolution = readTiffResolution(decoded->exif);
    ASSERT_TRUE(resolution);
    EXPECT_EQ(resolution->x, 300.0);
    EXPECT_EQ(resolution->y, 300.0);
    EXPECT_EQ(resolution->unit, 2);

    const std::optional<HeicDecoded> opaque =
        decodeHeic(writeAndRead(opaqueGradientImage(33, 17), ExportFormat::Heic, 72.0f, QStringLiteral("opaque")));
    ASSERT_TRUE(opaque);
    EXPECT_FALSE(opaque->hasAlpha);
}

TEST_F(ImageFileWriterTest, ConcurrentHeicWritesOfOnePathLeaveOneWholeFile)
{
    const QRgb colours[] = {qRgb(220, 20, 20), qRgb(20, 220, 20), qRgb(20, 20, 220), qRgb(128, 128, 128)};
    const QString file = path(QStringLiteral("same.heic"));
    std::vector<std::optional<WriteResult>> results(std::size(colours));
    std::vector<std::thread> threads;
    for (size_t i = 0; i < std::size(colours); ++i)
        threads.emplace_back([&, i] {
            QImage image(24, 24, QImage::Format_RGB32);
            image.fill(colours[i]);
            results[i] = export1(image, file, ExportFormat::Heic, 72.0f);
        });
    for (std::thread &thread : threads)
        thread.join();

    for (const auto &result : results)
        EXPECT_TRUE(result && result->isWritten());
    const std::optional<HeicDecoded> decoded = decodeHeic(readFile(file));
    ASSERT_TRUE(decoded);
    const QRgb centre = decoded->image.pixel(12, 12);
    int nearest = 1000;
    for (QRgb colour : colours)
        nearest = std::min(nearest, std::abs(qRed(centre) - qRed(colour)) + std::abs(qGreen(centre) - qGreen(colour))
                                        + std::abs(qBlue(centre) - qBlue(colour)));
    EXPECT_LE(nearest, 12);
    // No temporary file is left beside it.
    EXPECT_EQ(QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"same.heic"});
}

TEST_F(ImageFileWriterTest, FileNamesAndExistingFiles)
{
    const QString base = path(QStringLiteral("picture_001"));
    const char *const extensions[] = {"jpeg", "jp2", "tiff", "png", "bmp", "icns", "heic"};
    for (int format = 0; format < ExportFormat::Count; ++format) {
        SCOPED_TRACE(extensions[format]);
        const WriteResult result = simplySaveII(gradientImage(20, 20), base, format, 72.0f);
        EXPECT_TRUE(result.isWritten()) << qPrintable(result.message());
        EXPECT_TRUE(QFile::exists(base + "." + extensions[format]));
    }

    // A second write replaces the first file.
    QImage blue(8, 8, QImage::Format_RGB32);
    blue.fill(Qt::blue);
    ASSERT_TRUE(simplySaveII(blue, base, ExportFormat::Png, 72.0f).isWritten());
    EXPECT_EQ(QImage(base + ".png").pixel(3, 3), qRgb(0, 0, 255));
    EXPECT_EQ(QDir(m_dir.path()).entryList(QDir::Files).size(), ExportFormat::Count);
}

TEST_F(ImageFileWriterTest, FailuresAreResultValues)
{
    const QImage image = gradientImage(10, 10);

    const QString missing = path(QStringLiteral("no/such/folder/x.png"));
    const WriteResult noFolder = export1(image, missing, ExportFormat::Png, 72.0f);
    EXPECT_TRUE(noFolder.isFailure());
    EXPECT_EQ(noFolder.domain(), QStringLiteral("imageDestinationNil"));
    EXPECT_EQ(noFolder.code(), -2);
    EXPECT_FALSE(QFile::exists(missing));

    EXPECT_EQ(export1(image, path("none/x.heic"), ExportFormat::Heic, 72.0f).code(), -2);

    const WriteResult nullImage = export1(QImage(), path("null.png"), ExportFormat::Png, 72.0f);
    EXPECT_EQ(nullImage.status(), WriteResult::Status::NothingWritten);
    EXPECT_EQ(nullImage.code(), 0);
    EXPECT_FALSE(QFile::exists(path("null.png")));

    for (int index : {-1, 7, 100}) {
        const WriteResult result = simplySaveII(image, path("bad"), index, 72.0f);
        EXPECT_EQ(result.status(), WriteResult::Status::NothingWritten);
        EXPECT_TRUE(exportFilePath(path("bad"), index).isEmpty());
    }
    EXPECT_EQ(QDir(m_dir.path()).entryList(QDir::Files).size(), 0);
}

// A write cancelled before its first byte, between two chunks of a large file
// or once its bytes are out (the writer asks once per MiB and once at the end)
// leaves the earlier file whole and no temporary file.
TEST_F(ImageFileWriterTest, CancelledWriteKeepsTheEarlierFile)
{
    const QString target = path(QStringLiteral("big.bin"));
    const QByteArray earlier(1000, 'a');
    const QByteArray bytes(5 * 1024 * 1024 + 7, 'b');
    for (int answersBeforeCancel : {0, 2, 6}) {
        SCOPED_TRACE(answersBeforeCancel);
        ASSERT_TRUE(writeExportFile(target, earlier).isWritten());
        int asked = 0;
        const WriteResult result = writeExportFile(target, bytes, [&] { return ++asked > answersBeforeCancel; });
        EXPECT_EQ(result.status(), WriteResult::Status::NothingWritten);
        EXPECT_EQ(readFile(target), earlier);
        EXPECT_EQ(QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"big.bin"});
    }
    ASSERT_TRUE(writeExportFile(target, bytes, [] { return false; }).isWritten());
    EXPECT_EQ(readFile(target), bytes);
}

TEST_F(ImageFileWriterTest, IcnsHoldsOneSquareIconOfTheChosenSize)
{
    struct Row {
        QSize source;
        int edge;
        QList<QByteArray> elements;
    };
    const Row rows[] = {
        {{1100, 1024}, 1024, {"ic10"}},
        {{1000, 600}, 512, {"ic09"}},
        {{300, 256}, 256, {"ic08"}},
        {{200, 130}, 128, {"ic07"}},
        {{100, 60}, 48, {"ih32", "h8mk"}},
        {{40, 30}, 16, {"is32", "s8mk"}},
        {{5, 9}, 16, {"is32", "s8mk"}},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(testing::Message() << row.source.width() << "x" << row.source.height());
        const QImage source = opaqueGradientImage(row.source.width(), row.source.height());
        const QByteArray file = writeAndRead(source, ExportFormat::Icns, 300.0f, QStringLiteral("icon"));
        QList<QByteArray> types;
        for (const IcnsElement &element : parseIcns(file).value_or(std::vector<IcnsElement>{}))
            types << element.type;
        EXPECT_EQ(types, row.elements);

        // Fitted and centred: the longer side fills the square, the shorter one is centred.
        const QImage argb = decodeExportFile(ExportFormat::Icns, file).convertToFormat(QImage::Format_ARGB32);
        ASSERT_EQ(argb.size(), QSize(row.edge, row.edge));
        const double k = double(row.edge) / std::max(row.source.width(), row.source.height());
        const int drawnHeight = int(std::lround(k * row.source.height()));
        const int drawnWidth = int(std::lround(k * row.source.width()));
        const int top = (row.edge - drawnHeight) / 2;
        const int left = (row.edge - drawnWidth) / 2;
        EXPECT_EQ(qAlpha(argb.pixel(row.edge / 2, row.edge / 2)), 255);
        EXPECT_TRUE(top == 0 || qAlpha(argb.pixel(row.edge / 2, top - 1)) == 0);
        EXPECT_TRUE(left == 0 || qAlpha(argb.pixel(left - 1, row.edge / 2)) == 0);
        EXPECT_EQ(qAlpha(argb.pixel(left + 1, top + 1)), 255);
    }
}

TEST(QtFileWriter, OpaqueGrayJpegStaysGray)
{
    // Flattening is only for translucent images; a gray JPEG is not turned into RGB.
    QImage gray(8, 8, QImage::Format_Grayscale8);
    gray.fill(100);
    const QImage decoded = QImage::fromData(encodeWithQtWriter(gray, ExportFormat::Jpeg, 72.0f), "jpeg");
    EXPECT_EQ(decoded.format(), QImage::Format_Grayscale8);
    EXPECT_TRUE(encodeWithQtWriter(gray, ExportFormat::Jpeg2000, 72.0f).isEmpty());
}
