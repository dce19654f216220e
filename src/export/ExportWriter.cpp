#include "ExportWriter.h"

#include "ExportFile.h"
#include "ImageFileWriter.h"

namespace zembrix {

WriteResult saveImage(const ExportRequest &request)
{
    if (request.cancelled && request.cancelled())
        return WriteResult::nothingWritten(QStringLiteral("cancelled"));
    if (!request.encoded.isEmpty())
        return writeExportFile(request.path, request.encoded, request.cancelled);
    return export1(request.image, request.path, request.formatIndex, request.dpi, request.cancelled);
}

ExportWriter::~ExportWriter() = default;

void DirectExportWriter::write(ExportRequest request, Done done)
{
    done(saveImage(request));
}

} // namespace zembrix
