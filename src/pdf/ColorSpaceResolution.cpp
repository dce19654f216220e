#include "PDFFileStruct.h"

std::shared_ptr<TColorSpace> PDFFileStruct::getColorSpace(OstrelNode *node)
{
    auto record = std::make_shared<TColorSpace>();
    if (!node)
        return record;
    const OstrelNode::ChildList *children = node->children();
    if (children) {
        for (size_t i = 0; i < children->size() && i <= 3; ++i) {
            OstrelNode *child = (*children)[i].get();
            switch (i) {
            case 0:
                record->setName(child->value());
                break;
            case 1:
                getColorSpaceBase(*record, child);
                break;
            case 2:
                record->setCount(leadingInteger(child->value()));
                break;
            case 3:
                if (child->type() == PdfTypeString) {
                    record->setStream(child->stringData());
                } else if (child->type() == PdfTypeStream) {
                    if (std::optional<QByteArray> data = child->streamData())
                        record->setStream(*data);
                }
                break;
            }
        }
        return record;
    }
    if (node->type() == PdfTypeName)
        record->setName(node->value());
    return record;
}

void PDFFileStruct::getColorSpaceBase(TColorSpace &record, OstrelNode *node, int depth)
{
    if (!node || depth > kMaxColorSpaceDepth)
        return;
    TBaseColor &base = record.getBase();
    const OstrelNode::ChildList *children = node->children();
    if (!children) {
        if (node->type() == PdfTypeName)
            base.setName(node->value());
        return;
    }
    if (node->type() == PdfTypeStream) {
        for (const auto &entry : *children) {
            const QString &key = entry->name();
            if (key == QLatin1String("/N"))
                base.setCount(leadingInteger(entry->value()));
        }
        return;
    }
    if (node->type() != PdfTypeArray)
        return;
    if (!children->empty() && (*children)[0]->value() == QLatin1String("/DeviceN")) {
        if (children->size() > 2) {
            getColorSpaceBase(record, (*children)[2].get(), depth + 1);
            base.setName(QStringLiteral("/DeviceN"));
        }
        return;
    }
    if (children->size() >= 2)
        getColorSpaceBase(record, (*children)[1].get(), depth + 1);
    if (!children->empty())
        base.setName((*children)[0]->value());
}
