#include "IconFileWriter.h"

#include "BitmapImageRep.h"
#include "IconFamily.h"
#include "IconScaling.h"

#include <algorithm>

namespace zembrix {

namespace {

struct SingleIconElements {
    quint32 image;
    quint32 mask; // 0: the image element carries its own alpha
};

SingleIconElements elementsForEdge(int edge)
{
    switch (edge) {
    case 1024: return {IconType::ic10, 0};
    case 512: return {IconType::ic09, 0};
    case 256: return {IconType::ic08, 0};
    case 128: return {IconType::ic07, 0};
    case 48: return {IconType::ih32, IconType::h8mk};
    default: return {IconType::is32, IconType::s8mk};
    }
}

} // namespace

QByteArray encodeSingleIconFile(const QImage &image)
{
    if (image.isNull())
        return {};
    const int edge = getIconSize(IconFileType::Icns, std::min(image.width(), image.height()));
    const QImage square = scaleImage(image, edge);
    if (square.isNull())
        return {};

    const BitmapImageRep rep = BitmapImageRep::fromImage(square);
    const SingleIconElements elements = elementsForEdge(edge);
    IconFamily family;
    const QByteArray argb = IconFamily::get32BitDataFromBitmapImageRep(rep, edge);
    if (family.setIconFamilyData(elements.image, argb) != IconFamily::kNoError)
        return {};
    if (elements.mask != 0) {
        const QByteArray mask = IconFamily::get8BitMaskFromBitmapImageRep(rep, edge);
        if (family.setIconFamilyData(elements.mask, mask) != IconFamily::kNoError)
            return {};
    }
    return family.data();
}

} // namespace zembrix
