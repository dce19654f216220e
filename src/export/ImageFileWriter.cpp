#include "ImageFileWriter.h"

#include "ExportFile.h"
#include "ExportFormat.h"
#include "HeicFileWriter.h"
#include "IconFileWriter.h"
#include "Jpeg2000FileWriter.h"
#include "PngFileWriter.h"
#include "QtFileWriter.h"

namespace zembrix {

namespace {

// The formats a rendered picture can be encoded in: all but Original, whose
// files are the images' own stored data (OriginalFile.h).
bool isPictureFormat(int formatIndex)
{
    return ExportFormat::isValidIndex(formatIndex) && formatIndex != ExportFormat::Original;
}

} // namespace

QByteArray encodeImageFile(const QImage &image, int formatIndex, float dpi)
{
    if (image.isNull())
        return {};
    switch (formatIndex) {
    case ExportFormat::Jpeg:
    case ExportFormat::Tiff:
    case ExportFormat::Bmp: return encodeWithQtWriter(image, formatIndex, dpi);
    case ExportFormat::Png: return encodePng(image, dpi);
    case ExportFormat::Jpeg2000: return encodeJpeg2000(image, dpi);
    case ExportFormat::Icns: return encodeSingleIconFile(image);
    case ExportFormat::Heic: return encodeHeic(image, dpi);
    default: return {};
    }
}

WriteResult export1(const QImage &image, const QString &path, int formatIndex, float dpi,
                    const std::function<bool()> &cancelled)
{
    if (image.isNull())
        return WriteResult::nothingWritten(QStringLiteral("no image"));
    if (!isPictureFormat(formatIndex))
        return WriteResult::nothingWritten(QStringLiteral("no export format %1").arg(formatIndex));

    const QByteArray bytes = encodeImageFile(image, formatIndex, dpi);
    if (bytes.isEmpty()) {
        if (formatIndex == ExportFormat::Heic)
            qWarning("%s", "Error: Failed to finalize image destination.");
        return WriteResult::failed(
            QString::fromLatin1(WriteResult::kEncoderDomain), WriteResult::kEncoderCode,
            QStringLiteral("The %1 encoder failed for %2").arg(ExportFormat::name(formatIndex), path));
    }
    return writeExportFile(path, bytes, cancelled);
}

QString exportFilePath(const QString &pathWithoutExtension, int formatIndex)
{
    if (!isPictureFormat(formatIndex))
        return {};
    return pathWithoutExtension + QLatin1Char('.') + ExportFormat::extension(formatIndex);
}

} // namespace zembrix
