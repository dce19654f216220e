#pragma once

#include "OstrelNode.h"
#include "PdfDocument.h"

#include <memory>

namespace zembrix {

// Holds an open document and the tree of its objects, rooted at the catalog.
// The document stays open as long as the holder lives.
class OstrelDataSource
{
public:
    // None when there is no document.
    static std::unique_ptr<OstrelDataSource> initWithPdfDocument(std::shared_ptr<PdfDocument> document);

    const std::shared_ptr<PdfDocument> &document() const { return m_document; }
    OstrelNode *getRoot() const { return m_root.get(); }

private:
    OstrelDataSource() = default;

    std::shared_ptr<PdfDocument> m_document;
    PdfObject m_catalog;
    std::unique_ptr<OstrelNode> m_root;
};

} // namespace zembrix
