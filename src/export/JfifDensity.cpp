#include "JfifDensity.h"

#include "raster/JpegDecoder.h"

#include "ExportResolution.h"

#include <QtEndian>

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <optional>

#include <jpeglib.h>

namespace zembrix {

namespace {

struct JpegHeader {
    int width = 0;
    int height = 0;
    int components = 0;
    J_COLOR_SPACE colorSpace = JCS_UNKNOWN; // as a standalone reader takes the data
    bool adobe = false;
};

struct QuietError {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
};

void quietExit(j_common_ptr info)
{
    std::longjmp(reinterpret_cast<QuietError *>(info->err)->jump, 1);
}

void quietMessage(j_common_ptr, int)
{
}

// Only the header is read: small and bounded work whatever the data.
std::optional<JpegHeader> readHeader(QByteArrayView data)
{
    jpeg_decompress_struct info;
    QuietError error;
    info.err = jpeg_std_error(&error.manager);
    error.manager.error_exit = quietExit;
    error.manager.emit_message = quietMessage;
    if (setjmp(error.jump)) {
        jpeg_destroy_decompress(&info);
        return std::nullopt;
    }
    jpeg_create_decompress(&info);
    info.mem->max_memory_to_use = 16L << 20;
    jpeg_mem_src(&info, reinterpret_cast<const unsigned char *>(data.constData()),
                 static_cast<unsigned long>(data.size()));
    if (jpeg_read_header(&info, TRUE) != JPEG_HEADER_OK) {
        jpeg_destroy_decompress(&info);
        return std::nullopt;
    }
    JpegHeader header;
    header.width = int(info.image_width);
    header.height = int(info.image_height);
    header.components = info.num_components;
    header.colorSpace = info.jpeg_color_space;
    header.adobe = info.saw_Adobe_marker;
    jpeg_destroy_decompress(&info);
    return header;
}

// The colours the image's PDF reads from the data: the Adobe marker's
// transform, else /ColorTransform, else a reader's default.
J_COLOR_SPACE pdfColorSpace(const JpegHeader &header, int colorTransform)
{
    if (header.adobe || colorTransform < 0)
        return header.colorSpace;
    if (header.components == 3)
        return colorTransform ? JCS_YCbCr : JCS_RGB;
    if (header.components == 4)
        return colorTransform ? JCS_YCCK : JCS_CMYK;
    return header.colorSpace;
}

// The offset of the units byte of the first JFIF APP0 segment before the
// scan, -1 when there is none, -2 when the segments are not well formed.
qsizetype jfifUnitsOffset(QByteArrayView data)
{
    const auto *bytes = reinterpret_cast<const uchar *>(data.constData());
    const qsizetype size = data.size();
    qsizetype pos = 2;
    for (;;) {
        if (pos + 4 > size || bytes[pos] != 0xFF)
            return -2;
        while (pos + 4 <= size && bytes[pos + 1] == 0xFF)
            ++pos; // fill bytes
        if (pos + 4 > size)
            return -2;
        const uchar marker = bytes[pos + 1];
        if (marker == 0xDA || marker == 0xD9)
            return -1;
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) {
            pos += 2;
            continue;
        }
        const qsizetype length = qFromBigEndian<quint16>(bytes + pos + 2);
        if (length < 2 || pos + 2 + length > size)
            return -2;
        if (marker == 0xE0 && length >= 16 && std::memcmp(bytes + pos + 4, "JFIF\0", 5) == 0)
            return pos + 11;
        pos += 2 + length;
    }
}

void putDensity(uchar *units, float dpi)
{
    const auto density = quint16(exportDpi(dpi) + 0.5f);
    units[0] = 1; // dots per inch
    qToBigEndian<quint16>(density, units + 1);
    qToBigEndian<quint16>(density, units + 3);
}

} // namespace

OriginalFile jpegOriginalFile(const EmbeddedPicture &picture, float dpi)
{
    OriginalFile file;
    file.extension = QStringLiteral("jpg");
    // Bytes before SOI are not part of the file (JpegDecoder.h). The data is
    // looked at in place and copied once, into the file.
    QByteArrayView data(picture.bytes);
    data = data.sliced(std::max<qsizetype>(0, jpegStartOffset(data)));
    qsizetype end = data.size();
    while (end > 0
           && (data[end - 1] == '\0' || data[end - 1] == '\n' || data[end - 1] == '\r' || data[end - 1] == ' '
               || data[end - 1] == '\t'))
        --end;
    data.truncate(end);
    if (data.size() < 4 || !data.startsWith("\xFF\xD8") || !data.endsWith("\xFF\xD9")) {
        file.obstacle = QStringLiteral("its JPEG data is not a complete file");
        return file;
    }
    const std::optional<JpegHeader> header = readHeader(data);
    if (!header) {
        file.obstacle = QStringLiteral("its JPEG header cannot be read");
        return file;
    }
    if (header->width != picture.width || header->height != picture.height) {
        file.obstacle = QStringLiteral("its JPEG data is not of the image's size");
        return file;
    }
    if (pdfColorSpace(*header, picture.colorTransform) != header->colorSpace) {
        file.obstacle = QStringLiteral("its colour transform is set by the PDF, not by the JPEG data");
        return file;
    }

    const qsizetype units = jfifUnitsOffset(data);
    if (units == -2) {
        file.obstacle = QStringLiteral("its JPEG segments are not well formed");
        return file;
    }
    QByteArray out;
    if (units >= 0) {
        out = data.toByteArray();
        putDensity(reinterpret_cast<uchar *>(out.data()) + units, dpi);
    } else {
        QByteArray app0("\xFF\xE0\x00\x10JFIF\x00\x01\x01\x00\x00\x00\x00\x00\x00\x00", 18);
        putDensity(reinterpret_cast<uchar *>(app0.data()) + 11, dpi);
        out.reserve(data.size() + app0.size());
        out.append(data.first(2)).append(app0).append(data.sliced(2));
        const std::optional<JpegHeader> patched = readHeader(out);
        if (!patched || patched->colorSpace != header->colorSpace) {
            // A JFIF segment makes readers take three components as YCbCr.
            out = data.toByteArray();
            file.note = QStringLiteral("written without its resolution: a JFIF header would change its colours");
        }
    }
    file.bytes = std::move(out);
    return file;
}

} // namespace zembrix
