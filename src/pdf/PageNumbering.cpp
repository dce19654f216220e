#include "PageNumbering.h"

#include <climits>
#include <vector>

namespace zembrix {

namespace {

// One page tree node whose kids are being counted.
struct Frame {
    ObjectKey key;
    PdfObject kids;
    int next = 0;
    int kidCount = 0;
    qsizetype offset = 0; // pages before this node
    qsizetype count = 0;  // pages found below it so far
};

constexpr qsizetype kMaxCount = qsizetype(1) << 40;

} // namespace

PageNumbering::PageNumbering(const PdfObject &pagesRoot)
{
    m_count = visit(pagesRoot);
}

// Depth first through /Kids with a stack of its own, so that the depth of a
// tree costs memory in proportion, not native stack.
qsizetype PageNumbering::visit(const PdfObject &root)
{
    std::vector<Frame> stack;
    // Numbers a node; gives its page count, or pushes it when its kids are
    // still to be counted.
    const auto enter = [&](const PdfObject &node, qsizetype offset, qsizetype *pages) {
        *pages = 0;
        if (node.type() != PdfTypeDictionary)
            return false;
        const ObjectKey key = node.objectKey();
        if (m_onPath.contains(key))
            return false;
        if (!m_first.contains(key))
            m_first.insert(key, int(std::min<qsizetype>(offset + 1, INT_MAX)));
        // A subtree met again has the same number of pages as the first time.
        auto known = m_leafCount.constFind(key);
        if (known != m_leafCount.constEnd()) {
            *pages = *known;
            return false;
        }
        QByteArray type;
        node.getName("Type", &type);
        PdfObject kids;
        if (type == "Page" || !node.getArray("Kids", &kids)) {
            *pages = type == "Pages" ? 0 : 1;
            m_leafCount.insert(key, *pages);
            return false;
        }
        m_onPath.insert(key);
        stack.push_back({key, kids, 0, kids.arrayCount(), offset, 0});
        return true;
    };

    qsizetype total = 0;
    if (!enter(root, 0, &total))
        return total;
    while (!stack.empty()) {
        Frame &top = stack.back();
        if (top.next < top.kidCount && top.count <= kMaxCount) {
            const PdfObject kid = top.kids.at(top.next++);
            qsizetype pages = 0;
            if (!enter(kid, top.offset + top.count, &pages))
                stack.back().count += pages;
            continue;
        }
        const qsizetype pages = top.count;
        m_onPath.remove(top.key);
        m_leafCount.insert(top.key, pages);
        stack.pop_back();
        if (stack.empty())
            total = pages;
        else
            stack.back().count += pages;
    }
    return total;
}

} // namespace zembrix
