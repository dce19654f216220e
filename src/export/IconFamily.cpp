#include "IconFamily.h"

#include "ExportFile.h"
#include "IconScaling.h"

#include <QtEndian>

#include <cmath>
#include <cstring>
#include <limits>

namespace zembrix {

namespace {

void logLine(const char *message)
{
    qWarning("%s", message);
}

void logLine(const QString &message)
{
    qWarning("%s", qPrintable(message));
}

// How the family stores the data handed to setIconFamilyData for a type.
enum class Encoding { Png, PackedRgb, PackedRgbWithPrefix, Mask, IconAndMask };

struct ElementKind {
    int edge;
    Encoding encoding;
};

std::optional<ElementKind> elementKind(quint32 type)
{
    switch (type) {
    case IconType::ic10: return ElementKind{1024, Encoding::Png};
    case IconType::ic09: return ElementKind{512, Encoding::Png};
    case IconType::ic08: return ElementKind{256, Encoding::Png};
    case IconType::ic07: return ElementKind{128, Encoding::Png};
    case IconType::it32: return ElementKind{128, Encoding::PackedRgbWithPrefix};
    case IconType::ih32: return ElementKind{48, Encoding::PackedRgb};
    case IconType::il32: return ElementKind{32, Encoding::PackedRgb};
    case IconType::is32: return ElementKind{16, Encoding::PackedRgb};
    case IconType::t8mk: return ElementKind{128, Encoding::Mask};
    case IconType::h8mk: return ElementKind{48, Encoding::Mask};
    case IconType::l8mk: return ElementKind{32, Encoding::Mask};
    case IconType::s8mk: return ElementKind{16, Encoding::Mask};
    case IconType::ICNhash: return ElementKind{32, Encoding::IconAndMask};
    case IconType::icshash: return ElementKind{16, Encoding::IconAndMask};
    default: return std::nullopt;
    }
}

// The extraction setIconFamilyElement applies to each type it sets.
enum class Extraction { Argb32, Mask8, IconAndMask1, Data8 };

struct ElementRule {
    int size;
    Extraction extraction;
};

std::optional<ElementRule> elementRule(quint32 type)
{
    switch (type) {
    case IconType::ic09: return ElementRule{512, Extraction::Argb32};
    case IconType::ic08: return ElementRule{256, Extraction::Argb32};
    case IconType::it32: return ElementRule{128, Extraction::Argb32};
    case IconType::il32: return ElementRule{32, Extraction::Argb32};
    case IconType::is32: return ElementRule{16, Extraction::Argb32};
    case IconType::t8mk: return ElementRule{128, Extraction::Mask8};
    case IconType::l8mk: return ElementRule{32, Extraction::Mask8};
    case IconType::s8mk: return ElementRule{16, Extraction::Mask8};
    case IconType::ICNhash: return ElementRule{32, Extraction::IconAndMask1};
    case IconType::icshash: return ElementRule{16, Extraction::IconAndMask1};
    case IconType::icl8: return ElementRule{32, Extraction::Data8};
    case IconType::ics8: return ElementRule{16, Extraction::Data8};
    default: return std::nullopt;
    }
}

// The size check every extraction makes first, plus the checks that a rep
// made by hand really holds the rows it claims.
bool hasRequiredSize(const BitmapImageRep &bitmap, int requiredPixelSize)
{
    if (requiredPixelSize <= 0 || bitmap.pixelsWide != requiredPixelSize || bitmap.pixelsHigh != requiredPixelSize)
        return false;
    if (bitmap.bitsPerPixel <= 0 || bitmap.bytesPerRow <= 0)
        return false;
    const qsizetype rowBits = qsizetype(requiredPixelSize) * bitmap.bitsPerPixel;
    if (bitmap.bytesPerRow < (rowBits + 7) / 8)
        return false;
    return bitmap.bitmapData.size() / bitmap.bytesPerRow >= requiredPixelSize;
}

long asLong(int value)
{
    return long(value);
}

} // namespace

std::optional<IconFamily> IconFamily::iconFamilyWithThumbnailsOfImage(const QImage &image)
{
    return initWithThumbnailsOfImage(image, ImageInterpolation::High);
}

std::optional<IconFamily> IconFamily::initWithThumbnailsOfImage(const QImage &image, ImageInterpolation interpolation)
{
    IconFamily family;

    const BitmapImageRep base = BitmapImageRep::fromImage(resampleImage(image, 512, interpolation));
    const QImage baseImage = base.toImage();
    if (base.isNull() || baseImage.isNull())
        return std::nullopt;
    family.setIconFamilyElement(IconType::ic09, base);

    // The smaller sizes come from the 512 image, not from the source.
    const auto capture = [&](int size) {
        return BitmapImageRep::fromImage(resampleImage(baseImage, size, interpolation));
    };

    if (const BitmapImageRep rep = capture(256); !rep.isNull())
        family.setIconFamilyElement(IconType::ic08, rep);

    if (const BitmapImageRep rep = capture(128); !rep.isNull()) {
        family.setIconFamilyElement(IconType::it32, rep);
        family.setIconFamilyElement(IconType::t8mk, rep);
    }

    if (const BitmapImageRep rep = capture(32); !rep.isNull()) {
        family.setIconFamilyElement(IconType::il32, rep);
        family.setIconFamilyElement(IconType::icl8, rep);
        family.setIconFamilyElement(IconType::l8mk, rep);
        family.setIconFamilyElement(IconType::ICNhash, rep);
    }

    if (const BitmapImageRep rep = capture(16); !rep.isNull()) {
        family.setIconFamilyElement(IconType::is32, rep);
        family.setIconFamilyElement(IconType::ics8, rep);
        family.setIconFamilyElement(IconType::s8mk, rep);
        family.setIconFamilyElement(IconType::icshash, rep);
    }
    return family;
}

QImage IconFamily::resampleImage(const QImage &image, int iconWidth, ImageInterpolation interpolation)
{
    if (image.isNull() || iconWidth <= 0 || iconWidth > kMaxIconEdge)
        return {};
    const float width = float(image.width());
    const float height = float(image.height());
    const float size = float(iconWidth);
    QSize drawn;
    if (width >= height)
        drawn = QSize(iconWidth, int(std::floor(height * size / width + 0.5f)));
    else
        drawn = QSize(int(std::floor(width * size / height + 0.5f)), iconWidth);
    return drawCentredInSquare(image, iconWidth, drawn, interpolation != ImageInterpolation::None);
}

bool IconFamily::setIconFamilyElement(quint32 type, const BitmapImageRep &bitmap)
{
    const std::optional<ElementRule> rule = elementRule(type);
    if (!rule)
        return false;

    QByteArray data;
    switch (rule->extraction) {
    case Extraction::Argb32: data = get32BitDataFromBitmapImageRep(bitmap, rule->size); break;
    case Extraction::Mask8: data = get8BitMaskFromBitmapImageRep(bitmap, rule->size); break;
    case Extraction::IconAndMask1: data = get1BitMaskFromBitmapImageRep(bitmap, rule->size); break;
    case Extraction::Data8: data = get8BitDataFromBitmapImageRep(bitmap, rule->size); break;
    }
    if (data.isEmpty()) {
        logLine("Null data returned to setIconFamilyElement:fromBitmapImageRep:");
        return false;
    }
    const int error = setIconFamilyData(type, data);
    if (error != kNoError) {
        logLine(QString::asprintf("SetIconFamilyData() returned error %d", error));
        return false;
    }
    return true;
}

QByteArray IconFamily::get32BitDataFromBitmapImageRep(const BitmapImageRep &bitmap, int requiredPixelSize)
{
    if (!hasRequiredSize(bitmap, requiredPixelSize))
        return {};
    if (bitmap.planar) {
        logLine("get32BitDataFromBitmapImageRep:requiredPixelSize: returning NULL due to isPlanar == YES");
        return {};
    }
    if (bitmap.bitsPerSample != 8) {
        logLine(QString::asprintf("get32BitDataFromBitmapImageRep:requiredPixelSize: returning NULL due to "
                                  "bitsPerSample == %ld",
                                  asLong(bitmap.bitsPerSample)));
        return {};
    }
    const bool rgb = bitmap.samplesPerPixel == 3 && bitmap.bitsPerPixel == 24;
    const bool rgba = bitmap.samplesPerPixel == 4 && bitmap.bitsPerPixel == 32;
    if (!rgb && !rgba) {
        logLine(QString::asprintf("get32BitDataFromBitmapImageRep:requiredPixelSize: returning NULL due to "
                                  "samplesPerPixel == %ld, bitsPerPixel == %ld",
                                  asLong(bitmap.samplesPerPixel), asLong(bitmap.bitsPerPixel)));
        return {};
    }

    const int size = requiredPixelSize;
    QByteArray out(qsizetype(size) * size * 4, '\0');
    auto *dst = reinterpret_cast<uchar *>(out.data());
    for (int y = 0; y < size; ++y) {
        const uchar *src = bitmap.row(y);
        for (int x = 0; x < size; ++x, dst += 4) {
            if (rgb) {
                const uchar *p = src + x * 3;
                dst[0] = 255;
                dst[1] = p[0];
                dst[2] = p[1];
                dst[3] = p[2];
                continue;
            }
            const uchar *p = src + x * 4;
            const uchar a = p[3];
            dst[0] = a;
            if (!bitmap.alphaPremultiplied) {
                dst[1] = p[0];
                dst[2] = p[1];
                dst[3] = p[2];
            } else if (a == 0) {
                dst[1] = dst[2] = dst[3] = 0;
            } else {
                // Undo the premultiplication in single precision, truncating.
                const float factor = 255.0f / float(a);
                for (int c = 0; c < 3; ++c) {
                    const float value = float(p[c]) * factor;
                    dst[1 + c] = value >= 255.0f ? 255 : uchar(value);
                }
            }
        }
    }
    return out;
}

QByteArray IconFamily::get8BitMaskFromBitmapImageRep(const BitmapImageRep &bitmap, int requiredPixelSize)
{
    if (!hasRequiredSize(bitmap, requiredPixelSize))
        return {};
    if (bitmap.planar) {
        logLine("get8BitMaskFromBitmapImageRep:requiredPixelSize: returning NULL due to isPlanar == YES");
        return {};
    }
    if (bitmap.bitsPerSample != 8) {
        logLine(QString::asprintf("get8BitMaskFromBitmapImageRep:requiredPixelSize: returning NULL due to "
                                  "bitsPerSample == %ld",
                                  asLong(bitmap.bitsPerSample)));
        return {};
    }
    const int spp = bitmap.samplesPerPixel;
    const int bpp = bitmap.bitsPerPixel;
    if (!((spp == 1 && bpp == 8) || (spp == 3 && bpp == 24) || (spp == 4 && bpp == 32))) {
        logLine(QString::asprintf("get8BitMaskFromBitmapImageRep:requiredPixelSize: returning NULL due to "
                                  "samplesPerPixel == %ld, bitsPerPixel == %ld",
                                  asLong(spp), asLong(bpp)));
        return {};
    }

    const int size = requiredPixelSize;
    QByteArray out(qsizetype(size) * size, char(0xFF));
    if (spp == 3)
        return out; // no alpha: fully opaque
    auto *dst = reinterpret_cast<uchar *>(out.data());
    for (int y = 0; y < size; ++y) {
        const uchar *src = bitmap.row(y);
        for (int x = 0; x < size; ++x)
            *dst++ = spp == 1 ? src[x] : src[x * 4 + 3];
    }
    return out;
}

QByteArray IconFamily::get1BitMaskFromBitmapImageRep(const BitmapImageRep &bitmap, int requiredPixelSize)
{
    if (!hasRequiredSize(bitmap, requiredPixelSize))
        return {};
    if (bitmap.planar) {
        logLine("get1BitMaskFromBitmapImageRep:requiredPixelSize: returning NULL due to isPlanar == YES");
        return {};
    }
    const int bps = bitmap.bitsPerSample;
    const int spp = bitmap.samplesPerPixel;
    const int bpp = bitmap.bitsPerPixel;
    const bool oneBit = bpp == 1 && spp == 1 && bps == 1;
    const bool eightBit = bps == 8 && ((spp == 1 && bpp == 8) || (spp == 3 && bpp == 24) || (spp == 4 && bpp == 32));
    if (!oneBit && !eightBit) {
        logLine(QString::asprintf("get1BitMaskFromBitmapImageRep:requiredPixelSize: returning NULL due to "
                                  "bitsPerPixel == %ld, samplesPerPixel== %ld, bitsPerSample == %ld",
                                  asLong(bpp), asLong(spp), asLong(bps)));
        return {};
    }

    const int size = requiredPixelSize;
    const qsizetype rowBytes = (size + 7) / 8;
    const qsizetype bitmapBytes = rowBytes * size;
    QByteArray out(bitmapBytes * 2, '\0');
    auto *icon = reinterpret_cast<uchar *>(out.data());
    for (int y = 0; y < size; ++y) {
        const uchar *src = bitmap.row(y);
        uchar *dst = icon + y * rowBytes;
        if (oneBit) {
            std::memcpy(dst, src, size_t(rowBytes));
            continue;
        }
        for (int x = 0; x < size; ++x) {
            bool set;
            if (spp == 1)
                set = src[x] != 0;
            else if (spp == 3)
                set = true;
            else
                set = src[x * 4] != 0;
            if (set)
                dst[x / 8] |= uchar(0x80 >> (x % 8));
        }
    }
    std::memcpy(icon + bitmapBytes, icon, size_t(bitmapBytes));
    return out;
}

QByteArray IconFamily::get8BitDataFromBitmapImageRep(const BitmapImageRep &, int)
{
    return {};
}

int IconFamily::setIconFamilyData(quint32 type, const QByteArray &data)
{
    const std::optional<ElementKind> kind = elementKind(type);
    if (!kind)
        return kParamError;
    const qsizetype pixels = qsizetype(kind->edge) * kind->edge;

    QByteArray payload;
    switch (kind->encoding) {
    case Encoding::Png:
        if (data.size() != pixels * 4)
            return kParamError;
        payload = pngFromArgb(data, kind->edge, kind->edge);
        break;
    case Encoding::PackedRgb:
    case Encoding::PackedRgbWithPrefix:
        if (data.size() != pixels * 4)
            return kParamError;
        payload = packedRgbFromArgb(data, pixels);
        if (kind->encoding == Encoding::PackedRgbWithPrefix && !payload.isEmpty())
            payload.prepend(QByteArray(4, '\0'));
        break;
    case Encoding::Mask:
        if (data.size() != pixels)
            return kParamError;
        payload = data;
        break;
    case Encoding::IconAndMask:
        if (data.size() != pixels / 8 * 2)
            return kParamError;
        payload = data;
        break;
    }
    if (payload.isEmpty())
        return kMemFullError;

    // Element and file lengths are 32-bit fields.
    qint64 total = 8 + 8 + payload.size();
    for (const Element &element : m_elements) {
        if (element.type != type)
            total += 8 + element.payload.size();
    }
    if (total > qint64(std::numeric_limits<qint32>::max()))
        return kMemFullError;

    for (Element &element : m_elements) {
        if (element.type == type) {
            element.payload = payload;
            return kNoError;
        }
    }
    m_elements.push_back({type, payload});
    return kNoError;
}

QByteArray IconFamily::data() const
{
    qsizetype total = 8;
    for (const Element &element : m_elements)
        total += 8 + element.payload.size();

    QByteArray out;
    out.reserve(total);
    const auto appendU32 = [&out](quint32 value) {
        char be[4];
        qToBigEndian<quint32>(value, be);
        out.append(be, 4);
    };
    out.append("icns", 4);
    appendU32(quint32(total));
    for (const Element &element : m_elements) {
        appendU32(element.type);
        appendU32(quint32(8 + element.payload.size()));
        out.append(element.payload);
    }
    return out;
}

WriteResult simplySaveICNS(const QImage &image, const QString &pathWithoutExtension)
{
    const std::optional<IconFamily> family = IconFamily::iconFamilyWithThumbnailsOfImage(image);
    if (!family)
        return WriteResult::nothingWritten(QStringLiteral("no icon family could be built"));
    return writeExportFile(pathWithoutExtension + QStringLiteral(".icns"), family->data());
}

} // namespace zembrix
