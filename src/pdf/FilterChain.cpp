#include "PDFFileStruct.h"

QStringList PDFFileStruct::getFilter(OstrelNode *node)
{
    QStringList list;
    if (!node)
        return list;
    if (node->type() == PdfTypeArray) {
        if (const OstrelNode::ChildList *children = node->children())
            for (const auto &child : *children)
                list.append(child->value());
    } else if (node->type() == PdfTypeName) {
        list.append(node->value());
    }
    return list;
}

QString PDFFileStruct::gerCurrFilter(std::int32_t &index, bool parse, const QStringList *filters)
{
    if (index < 0)
        index = 0;
    if (!filters || filters->isEmpty() || index >= filters->size())
        return QString(QLatin1String(""));
    if (!parse)
        return filters->at(index);
    for (qsizetype i = index; i < filters->size(); ++i) {
        if (filters->at(i) != QLatin1String("/ASCII85Decode")) {
            index = std::int32_t(i);
            return filters->at(i);
        }
    }
    index = 1000;
    return QString(QLatin1String(""));
}
