// A PDF file through what `zembrix --list --all-images` does (open, information text, page walk
// with its second pass, every image built through its colour profiles), then every found image rendered with the
// neutral edits and the first one edited (rotated, mirrored, colour-adjusted) and encoded as PNG in memory. Input: the
// file's bytes.
//
// The walk opens its document by path, so each input is written to one file per process, in
// /dev/shm when it exists.

#include "FuzzInput.h"

#include "export/ExportFormat.h"
#include "export/ImageFileWriter.h"
#include "pdf/PDFFileStruct.h"
#include "pdf/PdfDocument.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstdio>
#include <unistd.h>

using namespace zembrix;

namespace {

const QString &inputPath()
{
    static const QString path = [] {
        const QString dir =
            QFileInfo(QStringLiteral("/dev/shm")).isWritable() ? QStringLiteral("/dev/shm") : QDir::tempPath();
        const QString p = dir + QStringLiteral("/zembrix-pdf-fuzz-%1.pdf").arg(qint64(getpid()));
        std::atexit([] { QFile::remove(inputPath()); });
        return p;
    }();
    return path;
}

bool writeInput(const std::uint8_t *data, std::size_t size)
{
    QFile file(inputPath());
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    return file.write(reinterpret_cast<const char *>(data), qint64(size)) == qint64(size);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (!writeInput(data, size)) {
        std::perror("pdf_parse_fuzzer: cannot write the input file");
        std::abort();
    }
    if (!PdfDocument::open(inputPath()))
        return 0;
    auto record = std::make_shared<PDFFileStruct>(nullptr);
    record->setNamePatternDirect(QStringLiteral("$_###"));
    record->setFilePathOnly(inputPath());
    record->setAllImages(true);
    record->setIsThreading(true);
    record->fillImageListArray(record.get());
    record->setIsThreading(false);

    (void)record->info();
    for (const auto &image : record->images()) {
        FUZZ_CHECK(!image->imagename().isEmpty());
        const QImage picture = image->image();
        const QImage rendered = image->applyAllEffects();
        FUZZ_CHECK(rendered.isNull() == picture.isNull());
        if (!picture.isNull())
            FUZZ_CHECK(rendered.size() == picture.size());
    }
    const auto images = record->images();
    if (!images.empty()) {
        const auto image = images.front();
        image->setAngle(90.0f);
        image->setFlip(3);
        image->setBrightness(0.2f);
        image->setContrast(1.3f);
        image->setSaturation(0.5f);
        image->setGamma(1.8f);
        image->setHue(45.0f);
        const QImage edited = image->applyAllEffects();
        if (!edited.isNull())
            FUZZ_CHECK(!encodeImageFile(edited, ExportFormat::Png, 150.0f).isEmpty());
    }
    return 0;
}
