#include "ExportTestDecoders.h"
#include "Jpeg2000Fixtures.h"
#include "JpegFixtures.h"
#include "PdfFixture.h"
#include "RecordingEvents.h"
#include "TestFaxEncoder.h"

#include "export/ExportFormat.h"
#include "export/ExportJobs.h"
#include "images/PDFImageStruct.h"
#include "pdf/PDFFileStruct.h"

#include <gtest/gtest.h>

#include <QFileInfo>
#include <QTemporaryDir>

#include <tiffio.h>

using namespace zembrix;

using namespace fixture;
using namespace exporttest;

namespace {

std::string bytes(const QByteArray &data)
{
    return data.toStdString();
}

// Each image is told apart by its width and says what the export must make of it.
struct Row {
    const char *what;
    int width;
    Obj image;
    QString extension; // "png": written as PNG instead, with a note
    QByteArray coded;  // the stored coded data, which the file must hold unchanged
};

// The coded data of a file, its resolution fields left out: a JPEG without a leading JFIF
// APP0 segment, the codestream box of a JP2, the raw strip of a TIFF.
QByteArray codedPart(const QString &extension, const QByteArray &file, const QString &path = {})
{
    if (extension == "jpg" && file.mid(2, 2) == "\xFF\xE0" && file.mid(6, 5) == QByteArray("JFIF\0", 5))
        return file.left(2) + file.mid(4 + ((uchar(file[4]) << 8) | uchar(file[5])));
    if (extension == "jp2") {
        const std::optional<Boxes> boxes = jp2Boxes(file);
        return boxes && !boxes->empty() ? boxes->back().second : QByteArray();
    }
    if (extension == "tif" && !path.isEmpty()) {
        TIFF *tiff = TIFFOpen(qPrintable(path), "r");
        if (!tiff)
            return {};
        QByteArray strip(qsizetype(TIFFRawStripSize(tiff, 0)), '\0');
        TIFFReadRawStrip(tiff, 0, strip.data(), strip.size());
        TIFFClose(tiff);
        return strip;
    }
    return file;
}

} // namespace

TEST(OriginalFormat, StoredDataUnchangedButItsResolutionElsePng)
{
    RecordingEvents events;
    QTemporaryDir dir;
    PdfFixture pdf;
    const auto jpeg = [](int w, JpegStorage storage, bool jfif = true) {
        const JpegFixture f{w, 12, storage, false, false, 0, 100, jfif, true, 2};
        return encodeJpeg(gradientSamples(w, 12, inputComponents(storage)), f);
    };
    const auto codestream = [](int w) {
        J2kImage j2k{w, 12, {J2kComponent{}}, J2kSpace::Gray};
        j2k.components[0].values.assign(size_t(w) * 12, 90);
        return encodeJpeg2000(j2k);
    };
    const QByteArray jp2 = wrapJp2(codestream(23), 23, 12, 1, 8, 17, jp2ResolutionBox({1, 1, 1, 1, 0, 0}, {}));
    const TestBitmap page = TestBitmap::randomRuns(40, 30, 5, 7), wide = TestBitmap::randomRuns(41, 30, 5, 8);
    const QByteArray g4 = faxEncode(page, {}), g3 = faxEncode(wide, {0, true});
    const auto fax = [&](int w, int k, bool blackIs1) {
        return Dict{{"DecodeParms", dict({{"K", integer(k)}, {"Columns", integer(w)}, {"Rows", integer(30)}, {"BlackIs1", boolean(blackIs1)}, {"EndOfLine", boolean(k >= 0)}})}};
    };
    const Obj gray = name("DeviceGray"), rgb = name("DeviceRGB");
    const Obj smask = pdf.image(22, 12, 8, gray, std::string(22 * 12, '\x80'));
    const QByteArray jfif = jpeg(20, JpegStorage::Gray), adobe = jpeg(21, JpegStorage::CMYK, false);
    const QByteArray plainRgb = jpeg(29, JpegStorage::RGB, false);
    const Row rows[] = {
        {"JFIF density patched", 20, pdf.image(20, 12, 8, gray, bytes(jfif), {"DCTDecode"}), "jpg", jfif},
        {"JFIF segment added", 21, pdf.image(21, 12, 8, name("DeviceCMYK"), bytes(adobe), {"FlateDecode", "DCTDecode"}), "jpg", adobe},
        {"JP2 res box replaced", 23, pdf.image(23, 12, 8, gray, bytes(jp2), {"JPXDecode"}), "jp2", jp2},
        {"codestream", 24, pdf.image(24, 12, 8, gray, bytes(codestream(24)), {"JPXDecode"}), "j2k", codestream(24)},
        {"G4 fax", 40, pdf.image(40, 30, 1, gray, bytes(g4), {"CCITTFaxDecode"}, fax(40, -1, false)), "tif", g4},
        {"G3 fax, BlackIs1", 41, pdf.image(41, 30, 1, gray, bytes(g3), {"CCITTFaxDecode"}, fax(41, 0, true)), "tif", g3},
        // Three components without JFIF and an Adobe transform of 0: a JFIF segment would make them YCbCr.
        {"bytes before SOI dropped", 30, pdf.image(30, 12, 8, gray, "\r\n " + bytes(jpeg(30, JpegStorage::Gray)), {"DCTDecode"}),
         "jpg", jpeg(30, JpegStorage::Gray)},
        {"no JFIF for RGB", 29, pdf.image(29, 12, 8, rgb, bytes(plainRgb), {"DCTDecode"}), "jpg", plainRgb},
        {"edited", 25, pdf.image(25, 12, 8, rgb, bytes(jpeg(25, JpegStorage::YCbCr)), {"DCTDecode"}), "png", {}},
        {"masked", 22, pdf.image(22, 12, 8, rgb, bytes(jpeg(22, JpegStorage::YCbCr)), {"DCTDecode"}, {{"SMask", smask}}), "png", {}},
        {"decode array", 26, pdf.image(26, 12, 8, gray, bytes(jpeg(26, JpegStorage::Gray)), {"DCTDecode"}, {{"Decode", array({integer(1), integer(0)})}}), "png", {}},
        {"no EOI", 27, pdf.image(27, 12, 8, gray, bytes(jpeg(27, JpegStorage::Gray).chopped(2)), {"DCTDecode"}), "png", {}},
        {"samples", 28, pdf.image(28, 12, 8, gray, std::string(28 * 12, 'x'), {"FlateDecode"}), "png", {}},
    };
    Dict xobjects;
    for (const Row &row : rows)
        xobjects["/I" + std::to_string(row.width)] = row.image;
    pdf.page(xobjects);
    const QString file = dir.filePath("f.pdf");
    pdf.write(file);
    auto parsed = std::make_shared<PDFFileStruct>(events.context());
    parsed->setNamePatternDirect(QStringLiteral("$_###"));
    parsed->setFilePathOnly(file);
    parsed->setIsThreading(true);
    parsed->fillImageListArray(parsed.get());
    parsed->setIsThreading(false);
    ASSERT_EQ(parsed->images().size(), std::size(rows));
    for (const auto &record : parsed->images())
        if (record->source().width == 25)
            record->setFlip(2);
    ExportJobSettings settings;
    settings.folder = dir.path();
    const ExportJobResult result =
        startSelectedImagesExport(events.context(), parsed->images(), ExportFormat::Original, 300, settings).wait();

    ASSERT_EQ(result.filesWritten, int(std::size(rows)));
    for (const ExportedImage &image : result.images) {
        const auto row = std::find_if(std::begin(rows), std::end(rows),
                                      [&](const Row &r) { return r.width == int(image.record->source().width); });
        ASSERT_NE(row, std::end(rows));
        SCOPED_TRACE(row->what);
        const QFileInfo info(image.path);
        EXPECT_EQ(info.suffix(), row->extension);
        EXPECT_EQ(info.absolutePath(), QFileInfo(dir.path()).absoluteFilePath());
        const bool noDensity = row->width == 29;
        EXPECT_EQ(image.note.isEmpty(), row->extension != "png" && !noDensity);
        const QByteArray written = readFile(image.path);
        if (!row->coded.isEmpty()) {
            EXPECT_EQ(codedPart(row->extension, written, image.path), codedPart(row->extension, row->coded));
        }
        // The files show what the window shows, at the chosen resolution (a codestream has none).
        const QImage shown(image.path);
        if (row->extension == "jp2") {
            EXPECT_NEAR(dpiOfFile(ExportFormat::Jpeg2000, written).value_or(0), 300.0, 0.01);
        } else if (row->extension != "j2k") {
            EXPECT_EQ(shown.dotsPerMeterX() == 11811, !noDensity);
        }
        if (row->extension == "tif" || row->extension == "png" || noDensity) {
            EXPECT_EQ(compareImages(shown, image.record->applyAllEffects()).maximum, 0);
        }
    }
}
