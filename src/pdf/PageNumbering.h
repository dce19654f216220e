#pragma once

#include "PdfObject.h"

#include <QHash>
#include <QSet>
#include <QString>

namespace zembrix {

// Page numbers of the page tree: for every page and page tree node, the
// 1-based number of the first page at or below it, in document order. A page
// referenced twice counts twice, as viewers count it; a cycle is cut where it
// closes.
class PageNumbering
{
public:
    explicit PageNumbering(const PdfObject &pagesRoot);

    qsizetype pageCount() const { return m_count; }
    // 0 when the object is not part of the page tree.
    int firstPageOf(const ObjectKey &key) const { return m_first.value(key, 0); }

private:
    qsizetype visit(const PdfObject &root);

    QHash<ObjectKey, int> m_first;
    QHash<ObjectKey, qsizetype> m_leafCount;
    QSet<ObjectKey> m_onPath;
    qsizetype m_count = 0;
};

} // namespace zembrix
