#include "PdfDocument.h"

#include "PageNumbering.h"

#include <QFile>
#include <QFileInfo>

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjectHandle.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFPageObjectHelper.hh>

#include <exception>

namespace {

// "1.7" -> (1, 7); false when the text is not a version.
bool parseVersion(const std::string &text, int *major, int *minor)
{
    const size_t dot = text.find('.');
    if (dot == std::string::npos || dot == 0 || dot + 1 >= text.size())
        return false;
    int ma = 0, mi = 0;
    for (size_t i = 0; i < dot; ++i) {
        if (text[i] < '0' || text[i] > '9' || ma > 100)
            return false;
        ma = ma * 10 + (text[i] - '0');
    }
    for (size_t i = dot + 1; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9' || mi > 100)
            return false;
        mi = mi * 10 + (text[i] - '0');
    }
    *major = ma;
    *minor = mi;
    return true;
}

} // namespace

PdfDocument::PdfDocument() = default;
PdfDocument::~PdfDocument() = default;

std::shared_ptr<PdfDocument> PdfDocument::open(const QString &path)
{
    const QFileInfo info(path);
    if (!info.isFile() || !info.isReadable())
        return nullptr;
    std::shared_ptr<PdfDocument> doc(new PdfDocument);
    try {
        doc->m_pdf = std::make_unique<QPDF>();
        doc->m_pdf->setSuppressWarnings(true);
        doc->m_pdf->setAttemptRecovery(true);
        doc->m_pdf->processFile(QFile::encodeName(path).constData(), "");
        QPDFObjectHandle root = doc->m_pdf->getRoot();
        if (!root.isDictionary())
            return nullptr;
        // The header version, or the catalog's /Version when that is later.
        int major = 1, minor = 0;
        parseVersion(doc->m_pdf->getPDFVersion(), &major, &minor);
        QPDFObjectHandle version = root.getKey("/Version");
        int cmajor = 0, cminor = 0;
        if (version.isName() && parseVersion(version.getName().substr(1), &cmajor, &cminor)
            && (cmajor > major || (cmajor == major && cminor > minor))) {
            major = cmajor;
            minor = cminor;
        }
        doc->m_major = major;
        doc->m_minor = minor;
    } catch (const std::exception &) {
        return nullptr;
    }
    return doc;
}

qsizetype PdfDocument::numberOfPages() const
{
    return PageNumbering(catalog().get("Pages")).pageCount();
}

bool PdfDocument::isEncrypted() const
{
    try {
        return m_pdf->isEncrypted();
    } catch (const std::exception &) {
        return false;
    }
}

PdfObject PdfDocument::catalog() const
{
    try {
        return PdfObject(m_pdf->getRoot());
    } catch (const std::exception &) {
        return {};
    }
}

PdfObject PdfDocument::info() const
{
    try {
        QPDFObjectHandle trailer = m_pdf->getTrailer();
        QPDFObjectHandle info = trailer.getKey("/Info");
        if (!info.isDictionary())
            return {};
        return PdfObject(info);
    } catch (const std::exception &) {
        return {};
    }
}

PdfObject PdfDocument::objectByKey(const QString &key) const
{
    const QStringList parts = key.split(QLatin1Char(' '));
    bool numberOk = false, generationOk = false;
    const int number = parts.size() == 2 ? parts[0].toInt(&numberOk) : 0;
    const int generation = parts.size() == 2 ? parts[1].toInt(&generationOk) : 0;
    if (!numberOk || !generationOk || number <= 0 || generation < 0)
        return {};
    try {
        QPDFObjectHandle object = m_pdf->getObject(number, generation);
        if (object.isNull())
            return {};
        return PdfObject(object);
    } catch (const std::exception &) {
        return {};
    }
}

bool PdfDocument::externalizeInlineImages()
{
    try {
        for (QPDFPageObjectHelper &page : QPDFPageDocumentHelper(*m_pdf).getAllPages())
            page.externalizeInlineImages(0, false);
    } catch (const std::exception &) {
        return false;
    }
    return true;
}
