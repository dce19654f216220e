#include "ColorSpaceResolution.h"

#include "ImageDictionary.h"
#include "OstrelNode.h"
#include "PDFFileStruct.h"

std::shared_ptr<TColorSpace> resolveColorSpace(const PdfObject &entry)
{
    auto record = std::make_shared<TColorSpace>();
    const std::optional<std::vector<PdfObject>> elements = childObjectsOf(entry);
    if (!elements) {
        if (entry.type() == PdfTypeName)
            record->setName(valueText(entry));
        return record;
    }
    for (size_t i = 0; i < elements->size() && i <= 3; ++i) {
        const PdfObject &element = (*elements)[i];
        switch (i) {
        case 0:
            record->setName(valueText(element));
            break;
        case 1:
            resolveColorSpaceBase(*record, element);
            break;
        case 2:
            record->setCount(wholeNumberOf(element));
            break;
        case 3:
            if (element.type() == PdfTypeString) {
                record->setStream(element.stringBytes().value_or(QByteArray()));
            } else if (element.type() == PdfTypeStream) {
                if (std::optional<PdfStreamData> data = element.copyStreamData(element.decodedSizeLimit()))
                    record->setStream(data->bytes);
            }
            break;
        }
    }
    return record;
}

namespace {

void readProfileStream(TBaseColor &base, const PdfObject &profile)
{
    if (std::optional<PdfStreamData> data = profile.copyStreamData(profile.decodedSizeLimit()))
        base.setStream(data->bytes);
    profile.forEachEntry([&base](const QByteArray &key, const PdfObject &value) {
        if (!value.isValid())
            return;
        if (key == "N")
            base.setCount(wholeNumberOf(value));
        else if (key == "Alternate")
            base.setAlternate(valueText(value));
        else if (key == "Length")
            base.setLength(wholeNumberOf(value));
        else if (key == "Filter")
            base.setFilter(valueText(value));
    });
}

} // namespace

void resolveColorSpaceBase(TColorSpace &record, const PdfObject &parameter, int depth)
{
    if (!parameter.isValid() || depth > kMaxColorSpaceDepth)
        return;
    TBaseColor &base = record.getBase();
    const std::optional<std::vector<PdfObject>> elements = childObjectsOf(parameter);
    if (!elements) {
        if (parameter.type() == PdfTypeName)
            base.setName(valueText(parameter));
        return;
    }
    if (parameter.type() == PdfTypeStream) {
        readProfileStream(base, parameter);
        return;
    }
    if (parameter.type() != PdfTypeArray)
        return;
    if (!elements->empty() && valueText((*elements)[0]) == QLatin1String("/DeviceN")) {
        if (elements->size() > 1)
            base.setArray(deviceNNames((*elements)[1]));
        if (elements->size() > 2) {
            resolveColorSpaceBase(record, (*elements)[2], depth + 1);
            base.setName(QStringLiteral("/DeviceN"));
        }
        return;
    }
    if (elements->size() >= 2)
        resolveColorSpaceBase(record, (*elements)[1], depth + 1);
    if (!elements->empty())
        base.setName(valueText((*elements)[0]));
}

QStringList deviceNNames(const PdfObject &names)
{
    QStringList texts;
    if (names.type() != PdfTypeArray)
        return texts;
    if (const std::optional<std::vector<PdfObject>> elements = childObjectsOf(names))
        for (const PdfObject &element : *elements)
            texts.append(valueText(element));
    return texts;
}

std::shared_ptr<TColorSpace> PDFFileStruct::getColorSpace(OstrelNode *node)
{
    return node ? resolveColorSpace(node->object()) : std::make_shared<TColorSpace>();
}

void PDFFileStruct::getColorSpaceBase(TColorSpace &record, OstrelNode *node, int depth)
{
    if (node)
        resolveColorSpaceBase(record, node->object(), depth);
}

QStringList PDFFileStruct::getDeviceNnames(OstrelNode *node)
{
    return node ? deviceNNames(node->object()) : QStringList();
}
