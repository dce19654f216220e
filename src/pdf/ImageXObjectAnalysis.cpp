#include "PDFFileStruct.h"

bool PDFFileStruct::parsePdfStream(OstrelNode *node, PDFFileStruct *owner)
{
    const OstrelNode::ChildList *children = node->children();
    if (!owner->isThreading() || !children || children->empty())
        return false;
    if (!enterObject(node))
        return false;

    bool isImage = false;
    double width = 0;
    double height = 0;
    std::int32_t bitsPerComponent = 0;
    std::optional<QStringList> filters;
    std::shared_ptr<TColorSpace> colorSpace;

    for (const auto &child : *children) {
        if (!owner->isThreading())
            break;
        const QString &name = child->name();
        const std::int32_t type = child->type();
        if (type == PdfTypeArray || type == PdfTypeDictionary) {
            if (name == QLatin1String("/ColorSpace"))
                colorSpace = getColorSpace(child.get());
            else if (name == QLatin1String("/Filter"))
                filters = getFilter(child.get());
            else if (name != QLatin1String("/Parent"))
                parsePdfPages(child.get(), owner); // a form's /Resources
            continue;
        }
        if (type == PdfTypeStream) {
            if (name == QLatin1String("/SMask") || name == QLatin1String("/Mask"))
                parsePdfStream(child.get(), owner);
        }
        if (name == QLatin1String("/BitsPerComponent"))
            bitsPerComponent = leadingInteger(child->value());
        else if (name == QLatin1String("/Width"))
            width = leadingInteger(child->value());
        else if (name == QLatin1String("/Height"))
            height = leadingInteger(child->value());
        else if (name == QLatin1String("/Filter"))
            filters = getFilter(child.get());
        else if (name == QLatin1String("/Subtype")) {
            if (child->value() == QLatin1String("/Image"))
                isImage = true;
        } else if (name == QLatin1String("/ColorSpace"))
            colorSpace = getColorSpace(child.get());
    }

    bool result = false;
    if (isImage && node->streamDataWithFormat() && !testNodeInUse(node)) {
        if (node->name() == QLatin1String("/SMask") || node->name() == QLatin1String("/Mask")) {
            result = true;
        } else {
            ImageCandidate candidate;
            candidate.objectKey = node->object2Name();
            candidate.resourceName = node->name();
            candidate.page = m_currentPage;
            candidate.width = width;
            candidate.height = height;
            candidate.bitsPerComponent = bitsPerComponent;
            if (colorSpace && colorSpace->getName())
                candidate.colorSpace = *colorSpace->getName();
            if (filters)
                candidate.filters = *filters;
            std::lock_guard lock(m_mutex);
            m_candidates.append(candidate);
        }
    }
    leaveObject(node);
    return result;
}
