#pragma once

#include "PdfObject.h"

#include <QString>

#include <memory>

class QPDF;

// An open PDF document. Opening suppresses the library's warnings and
// recovers damaged cross-reference tables; an encrypted file is read when the
// empty user password opens it. A document belongs to one thread at a time.
class PdfDocument
{
public:
    // None for a missing, unreadable or password-protected file.
    static std::shared_ptr<PdfDocument> open(const QString &path);
    ~PdfDocument();

    int majorVersion() const { return m_major; }
    int minorVersion() const { return m_minor; }
    // Number of pages reachable through the page tree (cycles cut).
    qsizetype numberOfPages() const;
    bool isEncrypted() const;
    PdfObject catalog() const;
    // The document information dictionary, or an invalid object.
    PdfObject info() const;
    // The indirect object of an identity key ("12 0"), or an invalid object.
    PdfObject objectByKey(const QString &key) const;
    // Turns the inline images of every page's content (and of the forms it
    // draws) into image objects listed in the resources, page by page. The
    // same file always gives the same new objects, so copies opened later
    // find them under the same keys. False when the pages cannot be read.
    bool externalizeInlineImages();

private:
    PdfDocument();
    std::unique_ptr<QPDF> m_pdf;
    int m_major = 1;
    int m_minor = 0;
};
