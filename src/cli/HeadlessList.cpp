#include "HeadlessModes.h"
#include "ListField.h"
#include "SmallImages.h"

#include "images/CoreContext.h"
#include "pdf/PDFFileStruct.h"

#include <QFileInfo>

#include <algorithm>
#include <cmath>

namespace zembrix {

namespace {

// Opens and walks one file (the command line's file `index`) on the calling
// thread, without the pause of the window's background parse. Gives none
// (after saying why) when the file cannot be read as a PDF.
std::shared_ptr<PDFFileStruct> parseNow(qsizetype index, const CommandLine &cl,
                                        const std::shared_ptr<CoreContext> &context, QTextStream &err,
                                        bool listing = false)
{
    const QString file = cl.files.value(index);
    const QString path = cl.paths.value(index, file);
    const QFileInfo info(path);
    if (!info.exists()) {
        err << "zembrix: " << file << ": no such file\n";
        return nullptr;
    }
    if (!info.isFile() || !info.isReadable()) {
        err << "zembrix: " << file << ": cannot be read\n";
        return nullptr;
    }
    qsizetype pages = 0;
    PdfOpenFailure failure;
    if (const auto document = PdfDocument::open(path, cl.password, &failure)) {
        pages = document->numberOfPages();
    } else {
        err << "zembrix: " << file << ": " << failure.reason << "\n";
        return nullptr;
    }
    if (cl.pages && !cl.pages->containsAnyUpTo(pages))
        err << "zembrix: " << file << ": no page of --pages is in the file, which has "
            << (pages == 1 ? QStringLiteral("1 page") : QStringLiteral("%1 pages").arg(pages)) << "\n";
    auto record = std::make_shared<PDFFileStruct>(context);
    record->setNamePatternDirect(cl.pattern);
    record->setMaxPixels(cl.maxPixels);
    record->setColorManaged(cl.colorManaged);
    record->setAllImages(cl.allImages);
    record->setFilePathOnly(path);
    record->setFileName(QFileInfo(file).fileName());
    record->setPassword(cl.password);
    record->setKeepsReducedCopies(false);
    record->setChecksHeadersOnly(listing);
    record->setIsThreading(true);
    record->fillImageListArray(record.get());
    record->setIsThreading(false);
    if (!cl.quiet) {
        for (const PDFFileStruct::SkippedImage &skipped : record->skippedImages())
            err << "zembrix: " << file << ": object " << skipped.objectKey
                << (skipped.kept ? ": decoded with damage (" : ": not decoded (") << skipped.reason << ")\n";
        err.flush();
    }
    return record;
}

// A resolution rounded to a whole number; empty for an image never drawn.
QString ppiField(double ppi)
{
    return ppi > 0 ? QString::number(qint64(std::llround(std::min(ppi, 1e15)))) : QString();
}

} // namespace

std::shared_ptr<PDFFileStruct> parseFileHeadless(qsizetype index, const CommandLine &cl,
                                                 const std::shared_ptr<CoreContext> &context, QTextStream &err)
{
    return parseNow(index, cl, context, err);
}

int runList(const CommandLine &cl, const std::shared_ptr<CoreContext> &context, QTextStream &out, QTextStream &err)
{
    // No picture is needed after the walk.
    context->pictureCache().setLimit(0);
    int status = 0;
    int hidden = 0; // smaller than --min-size
    out << "file\tindex\tname\twidth\theight\tbpc\tcolorspace\tfilter\tobject\tpage\tx-ppi\ty-ppi\n";
    for (qsizetype f = 0; f < cl.files.size(); ++f) {
        const QString &file = cl.files[f];
        const auto record = parseNow(f, cl, context, err, true);
        if (!record) {
            status = 1;
            continue;
        }
        const auto images = record->images();
        for (qsizetype i = 0; i < images.size(); ++i) {
            const ImageSource source = images[i]->source();
            if (cl.pages && !cl.pages->contains(source.page))
                continue;
            if (cl.minSize && SmallImages::isSmall(*images[i], *cl.minSize)) {
                ++hidden;
                continue;
            }
            out << listField(file) << '\t' << i << '\t' << listField(images[i]->imagename()) << '\t'
                << qint64(source.width) << '\t' << qint64(source.height) << '\t' << source.bitsPerComponent << '\t'
                << listField(source.colorSpace) << '\t' << listField(source.filter) << '\t'
                << listField(source.objectKey) << '\t' << source.page << '\t' << ppiField(source.xPpi) << '\t'
                << ppiField(source.yPpi) << '\n';
        }
        out.flush();
    }
    if (cl.minSize)
        err << "zembrix: " << SmallImages::hiddenImagesText(hidden, *cl.minSize) << " not listed\n";
    return status;
}

} // namespace zembrix
