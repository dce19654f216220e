#include "ExportWriter.h"

#include "ExportFile.h"
#include "ImageFileWriter.h"

WriteResult saveImage(const ExportRequest &request)
{
    if (!request.encoded.isEmpty())
        return writeExportFile(request.path, request.encoded);
    return export1(request.image, request.path, request.formatIndex, request.dpi);
}

ExportWriter::~ExportWriter() = default;

void DirectExportWriter::write(ExportRequest request, Done done)
{
    done(saveImage(request));
}

