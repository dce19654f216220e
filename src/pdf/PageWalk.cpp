#include "PDFFileStruct.h"

#include "PageNumbering.h"

#include <QDebug>

namespace {
// Deeper than any real page tree or form nesting; protects the stack.
constexpr int kMaxWalkDepth = 400;
}

void PDFFileStruct::cgPdfParsing(PDFFileStruct *owner)
{
    if (!mOstrelData || !owner->walkMayContinue())
        return;
    OstrelNode *root = mOstrelData->getRoot();
    if (!root)
        return;
    mUsedObjName.clear();
    m_entered.clear();
    m_currentPage = 0;
    m_depth = 0;
    const OstrelNode::ChildList *children = root->children();
    if (!children)
        return;
    for (const auto &child : *children) {
        if (child->name() == QLatin1String("/Pages")) {
            m_pageNumbers = std::make_unique<PageNumbering>(child->object());
            parsePdfPages(child.get(), owner);
            break;
        }
    }
    mUsedObjName.clear();
    m_entered.clear();
    m_pageNumbers.reset();
}

// Every container and stream is entered at most once per walk. That cuts
// reference cycles (a /Kids entry pointing back up the tree, a form listing
// itself among its own resources), and a structure shared by many pages is
// walked only the first time: walking it again could find nothing new,
// because every image in it is already recorded.
bool PDFFileStruct::enterObject(const OstrelNode *node)
{
    if (m_depth >= kMaxWalkDepth)
        return false;
    const QString key = node->object2Name();
    if (m_entered.contains(key))
        return false;
    m_entered.insert(key);
    ++m_depth;
    return true;
}

void PDFFileStruct::leaveObject(const OstrelNode *)
{
    --m_depth;
}

void PDFFileStruct::parsePdfPages(OstrelNode *node, PDFFileStruct *owner)
{
    const OstrelNode::ChildList *children = node->children();
    if (testNodeNameExit(node))
        return;
    if (!owner->walkMayContinue() || !children)
        return;

    // A page or page tree node sets the page that images found below it
    // belong to. This is counted even when the node was walked before.
    const int savedPage = m_currentPage;
    if (m_pageNumbers && node->type() == PdfTypeDictionary) {
        if (const int first = m_pageNumbers->firstPageOf(node->object2Name()))
            m_currentPage = first;
    }
    if (!enterObject(node)) {
        m_currentPage = savedPage;
        return;
    }

    for (const auto &child : *children) {
        if (!owner->walkMayContinue())
            break;
        const std::int32_t type = child->type();
        if (type == PdfTypeArray || type == PdfTypeDictionary) {
            if (child->name() != QLatin1String("/Parent"))
                parsePdfPages(child.get(), owner);
        } else if (type == PdfTypeStream) {
            if (child->name() != QLatin1String("/Contents"))
                parsePdfStream(child.get(), owner);
        }
    }
    leaveObject(node);
    m_currentPage = savedPage;
}

bool PDFFileStruct::testNodeNameExit(const OstrelNode *node)
{
    const QString &name = node->name();
    if (!name.startsWith(QLatin1Char('/')))
        return false;
    return name != QLatin1String("/Kids") && name != QLatin1String("/Pages") && name != QLatin1String("/Resources")
        && name != QLatin1String("/XObject");
}

bool PDFFileStruct::testNodeInUse(const OstrelNode *node)
{
    const QString key = node->object2Name();
    if (mUsedObjName.contains(key))
        return true;
    mUsedObjName.insert(key);
    return false;
}
