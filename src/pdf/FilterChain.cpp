#include "FilterChain.h"

#include "PDFFileStruct.h"

#include "PdfStreamDecoder.h"

namespace zembrix {

QStringList filterNamesOf(const PdfObject &entry)
{
    QStringList list;
    if (entry.type() == PdfTypeArray) {
        if (const std::optional<std::vector<PdfObject>> elements = childObjectsOf(entry))
            for (const PdfObject &element : *elements)
                list.append(valueText(element));
    } else if (entry.type() == PdfTypeName) {
        list.append(valueText(entry));
    }
    return list;
}

QStringList PDFFileStruct::getFilter(OstrelNode *node)
{
    return node ? filterNamesOf(node->object()) : QStringList();
}

namespace {

// A filter name with the abbreviations of inline images written out.
QString fullFilterName(const QString &name)
{
    if (!name.startsWith(QLatin1Char('/')))
        return name;
    return QLatin1Char('/') + QString::fromLatin1(expandFilterAbbreviation(name.mid(1).toLatin1()));
}

} // namespace

// The filter that describes the data an image is built from: the first one
// that leaves it coded (DCTDecode, JPXDecode: the stream decoder stops there),
// else the last one, which undoes the innermost coding.
QString PDFFileStruct::gerCurrFilter(std::int32_t &index, bool parse, const QStringList *filters)
{
    if (index < 0)
        index = 0;
    if (!filters || filters->isEmpty() || index >= filters->size())
        return QString(QLatin1String(""));
    if (!parse)
        return filters->at(index);
    for (qsizetype i = index; i < filters->size(); ++i) {
        const QString name = fullFilterName(filters->at(i));
        if (name == QLatin1String("/DCTDecode") || name == QLatin1String("/JPXDecode")) {
            index = std::int32_t(i);
            return name;
        }
    }
    index = std::int32_t(filters->size() - 1);
    return fullFilterName(filters->last());
}

} // namespace zembrix
