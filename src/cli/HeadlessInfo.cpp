#include "HeadlessModes.h"

#include "pdf/PDFFileStruct.h"

#include <QFileInfo>

namespace zembrix {

int runInfo(const CommandLine &cl, QTextStream &out, QTextStream &err)
{
    const QString file = cl.files.value(0);
    const QString path = cl.paths.value(0, file);
    const QFileInfo info(path);
    if (!info.exists()) {
        err << "zembrix: " << file << ": no such file\n";
        return 1;
    }
    if (!info.isFile() || !info.isReadable()) {
        err << "zembrix: " << file << ": cannot be read\n";
        return 1;
    }
    PdfOpenFailure failure;
    std::shared_ptr<PdfDocument> document = PdfDocument::open(path, cl.password, &failure);
    if (!document) {
        err << "zembrix: " << file << ": " << failure.reason << "\n";
        return 1;
    }
    auto record = std::make_shared<PDFFileStruct>(nullptr); // no walk: a context of its own
    record->setFilePathOnly(path);
    record->setFileName(QFileInfo(file).fileName());
    record->describe(std::move(document));
    out << record->info() << "\n";
    return 0;
}

} // namespace zembrix
