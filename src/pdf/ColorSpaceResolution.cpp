#include "ColorSpaceResolution.h"

#include "ImageDictionary.h"
#include "OstrelNode.h"
#include "PDFFileStruct.h"

namespace zembrix {

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
        case 0: record->setName(valueText(element)); break;
        case 1: resolveColorSpaceBase(*record, element); break;
        case 2: record->setCount(wholeNumberOf(element)); break;
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
        base.setCount(wholeNumberOf(parameter.get("N")));
        return;
    }
    if (parameter.type() != PdfTypeArray)
        return;
    if (!elements->empty() && valueText((*elements)[0]) == QLatin1String("/DeviceN")) {
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

std::shared_ptr<TColorSpace> PDFFileStruct::getColorSpace(OstrelNode *node)
{
    return node ? resolveColorSpace(node->object()) : std::make_shared<TColorSpace>();
}

void PDFFileStruct::getColorSpaceBase(TColorSpace &record, OstrelNode *node, int depth)
{
    if (node)
        resolveColorSpaceBase(record, node->object(), depth);
}

} // namespace zembrix
