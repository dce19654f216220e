#include "OstrelDataSource.h"

namespace zembrix {

std::unique_ptr<OstrelDataSource> OstrelDataSource::initWithPdfDocument(std::shared_ptr<PdfDocument> document)
{
    if (!document)
        return nullptr;
    std::unique_ptr<OstrelDataSource> source(new OstrelDataSource);
    source->m_document = std::move(document);
    source->m_catalog = source->m_document->catalog();
    source->m_root = OstrelNode::initWithCatalog(source->m_catalog);
    return source;
}

} // namespace zembrix
