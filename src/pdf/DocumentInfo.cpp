#include "PDFFileStruct.h"

namespace zembrix {

void PDFFileStruct::makeInfo()
{
    if (!mOstrelData || !mOstrelData->document())
        return;
    const PdfDocument &document = *mOstrelData->document();
    const PdfObject info = document.info();

    setInfo(QString(QLatin1String("")));
    appendInfo(QString::asprintf("    PDF Version\t- %d.%d\n", document.majorVersion(), document.minorVersion()));
    appendInfo(QString::asprintf("    Pages\t\t- %lu\n", static_cast<unsigned long>(document.numberOfPages())));
    appendInfo(QStringLiteral("    Encrypted\t- %1\n")
                   .arg(document.isEncrypted() ? QStringLiteral("Yes") : QStringLiteral("No")));

    static const struct {
        const char *key;
        const char *label;
    } textLines[] = {
        {"Title", "    Title\t\t- "},     {"Author", "    Author\t\t- "},   {"Subject", "    Subject\t\t- "},
        {"Keywords", "    Keywords\t- "}, {"Creator", "    Creator\t\t- "}, {"Producer", "    Producer\t- "},
    };
    PdfObject string;
    for (const auto &line : textLines) {
        appendInfo(QLatin1String(line.label));
        if (info.getString(line.key, &string))
            addCGPDFStringValue(string);
        appendInfo(QStringLiteral("\n"));
    }
    appendInfo(QStringLiteral("    Created\t- "));
    if (info.getString("CreationDate", &string))
        addCGPDFStringValueAsDate(string);
    appendInfo(QStringLiteral("\n"));
    appendInfo(QStringLiteral("    Modified\t- "));
    if (info.getString("ModDate", &string))
        addCGPDFStringValueAsDate(string);
}

void PDFFileStruct::addCGPDFStringValue(const PdfObject &string)
{
    if (std::optional<QString> text = string.textString())
        appendInfo(*text);
}

void PDFFileStruct::addCGPDFStringValueAsDate(const PdfObject &string)
{
    if (std::optional<QDateTime> date = string.date())
        appendInfo(date->toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
}

} // namespace zembrix
