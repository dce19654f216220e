#include "OriginalFile.h"

#include "CcittTiffFile.h"
#include "ExportResolution.h"
#include "JfifDensity.h"
#include "Jp2ResolutionBox.h"

#include "raster/Jpeg2000Decoder.h"

namespace zembrix {

namespace {

OriginalFile jpeg2000OriginalFile(const EmbeddedPicture &picture, float dpi)
{
    OriginalFile file;
    static const char kJp2Signature[] = "\x00\x00\x00\x0CjP  \x0D\x0A\x87\x0A";
    const QByteArray &data = picture.bytes;
    const bool jp2 = data.startsWith(QByteArrayView(kJp2Signature, 12));
    const bool codestream = data.startsWith("\xFF\x4F\xFF\x51");
    if (!jp2 && !codestream) {
        file.obstacle = QStringLiteral("its JPEG 2000 data is neither a JP2 file nor a codestream");
        return file;
    }
    if (jpeg2000Size(QByteArrayView(data)) != QSize(picture.width, picture.height)) {
        file.obstacle = QStringLiteral("its JPEG 2000 data is not of the image's size");
        return file;
    }
    if (codestream) {
        // A bare codestream has no resolution field.
        file.extension = QStringLiteral("j2k");
        file.bytes = data;
        return file;
    }
    file.extension = QStringLiteral("jp2");
    file.bytes = setJp2ResolutionBox(data, jp2ResolutionForDpi(exportDpi(dpi)));
    if (file.bytes.isEmpty())
        file.obstacle = QStringLiteral("its JP2 header boxes are not well formed");
    return file;
}

} // namespace

OriginalFile originalFile(const EmbeddedPicture &picture, float dpi)
{
    OriginalFile file;
    if (!picture.obstacle.isEmpty()) {
        file.obstacle = picture.obstacle;
        return file;
    }
    switch (picture.coding) {
    case EmbeddedPicture::Coding::Jpeg: file = jpegOriginalFile(picture, dpi); break;
    case EmbeddedPicture::Coding::Jpeg2000: file = jpeg2000OriginalFile(picture, dpi); break;
    case EmbeddedPicture::Coding::CcittFax: file = faxOriginalFile(picture, dpi); break;
    }
    if (file.bytes.isEmpty() && file.obstacle.isEmpty())
        file.obstacle = QStringLiteral("its file could not be made");
    return file;
}

} // namespace zembrix
