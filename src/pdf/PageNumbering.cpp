#include "PageNumbering.h"

#include <climits>

namespace {
constexpr int kMaxPageTreeDepth = 256;
}

PageNumbering::PageNumbering(const PdfObject &pagesRoot)
{
    m_count = visit(pagesRoot, 0, 0);
}

qsizetype PageNumbering::visit(const PdfObject &node, qsizetype offset, int depth)
{
    if (node.type() != PdfTypeDictionary || depth > kMaxPageTreeDepth)
        return 0;
    const QString key = node.identityKey();
    if (m_onPath.value(key))
        return 0;
    if (!m_first.contains(key))
        m_first.insert(key, int(std::min<qsizetype>(offset + 1, INT_MAX)));
    // A subtree met again has the same number of pages as the first time.
    auto known = m_leafCount.constFind(key);
    if (known != m_leafCount.constEnd())
        return *known;

    QByteArray type;
    node.getName("Type", &type);
    PdfObject kids;
    qsizetype count = 0;
    if (type == "Page" || !node.getArray("Kids", &kids)) {
        count = type == "Pages" ? 0 : 1;
    } else {
        m_onPath.insert(key, true);
        const int n = kids.arrayCount();
        for (int i = 0; i < n; ++i) {
            count += visit(kids.at(i), offset + count, depth + 1);
            if (count > (qsizetype(1) << 40))
                break;
        }
        m_onPath.remove(key);
    }
    m_leafCount.insert(key, count);
    return count;
}
