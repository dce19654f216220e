#include "PDFFileStruct.h"

#include "PageNumbering.h"

#include <QDebug>

#include <vector>

namespace {
// Deeper than any real nesting of forms; protects the stack.
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
    m_placements = ImagePlacementScan::scan(mOstrelData->document()->catalog(),
                                            [owner] { return owner->walkMayContinue(); });
    const OstrelNode::ChildList *children = root->children();
    if (!children) {
        m_placements.clear();
        return;
    }
    for (const auto &child : *children) {
        if (child->name() == QLatin1String("/Pages")) {
            m_pageNumbers = std::make_unique<PageNumbering>(child->object());
            parsePdfPages(child.get(), owner);
            if (m_allImages.load() && owner->walkMayContinue())
                walkExtraImages(child.get(), owner);
            break;
        }
    }
    mUsedObjName.clear();
    m_entered.clear();
    m_firstPassImages.clear();
    m_pageNumbers.reset();
    m_placements.clear();
}

// The second pass of an all-images walk. Inline images become image objects
// of the resources first; then the page tree is walked again, this time into
// annotation appearances and patterns as well, and every image stream the
// first pass met is passed over, so only the new ones are numbered, after
// the others.
void PDFFileStruct::walkExtraImages(OstrelNode *pages, PDFFileStruct *owner)
{
    mOstrelData->document()->externalizeInlineImages();
    m_placements = ImagePlacementScan::scan(mOstrelData->document()->catalog(),
                                            [owner] { return owner->walkMayContinue(); }, true);
    m_entered.clear();
    m_depth = 0;
    m_currentPage = 0;
    m_extraPass = true;
    parsePdfPages(pages, owner);
    m_extraPass = false;
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

bool PDFFileStruct::enterSharedObject()
{
    if (m_depth >= kMaxWalkDepth)
        return false;
    ++m_depth;
    return true;
}

void PDFFileStruct::leaveObject(const OstrelNode *)
{
    --m_depth;
}

// Depth first through the dictionaries and arrays below `node`, with a
// stack of its own: a page tree thousands of levels deep costs memory in
// proportion, not native stack. Only the form XObjects met on the way
// (parsePdfStream, which walks a form's resources from here again) nest
// native calls, and those are bounded by the walk depth.
void PDFFileStruct::parsePdfPages(OstrelNode *node, PDFFileStruct *owner)
{
    struct Frame {
        OstrelNode *node;
        const OstrelNode::ChildList *children;
        size_t next;
        int savedPage;
    };
    std::vector<Frame> stack;

    // The checks of one container; pushes it when it is to be walked.
    const auto enter = [&](OstrelNode *container) {
        if (testNodeNameExit(container, stack.empty() ? QString() : stack.back().node->name())
            || !owner->walkMayContinue())
            return;
        const OstrelNode::ChildList *children = container->children();
        if (!children)
            return;
        // A page or page tree node sets the page that images found below it
        // belong to. This is counted even when the node was walked before.
        const int savedPage = m_currentPage;
        if (m_pageNumbers && container->type() == PdfTypeDictionary) {
            if (const int first = m_pageNumbers->firstPageOf(container->object2Name()))
                m_currentPage = first;
        }
        // The first container takes a level of the walk depth; the ones below
        // it are only marked as entered.
        bool first = false;
        if (stack.empty()) {
            first = enterObject(container);
        } else {
            const QString key = container->object2Name();
            first = !m_entered.contains(key);
            if (first)
                m_entered.insert(key);
        }
        if (!first) {
            m_currentPage = savedPage;
            return;
        }
        stack.push_back({container, children, 0, savedPage});
    };

    enter(node);
    if (stack.empty())
        return;
    const int pageBefore = stack.front().savedPage;
    while (!stack.empty()) {
        if (!owner->walkMayContinue())
            break;
        Frame &top = stack.back();
        if (top.next == top.children->size()) {
            m_currentPage = top.savedPage;
            top.node->releaseChildren();
            stack.pop_back();
            continue;
        }
        OstrelNode *child = (*top.children)[top.next++].get();
        const std::int32_t type = child->type();
        if (type == PdfTypeArray || type == PdfTypeDictionary) {
            if (child->name() != QLatin1String("/Parent"))
                enter(child);
        } else if (type == PdfTypeStream) {
            if (child->name() != QLatin1String("/Contents"))
                parsePdfStream(child, owner);
        }
    }
    leaveObject(node);
    m_currentPage = pageBefore;
}

bool PDFFileStruct::testNodeNameExit(const OstrelNode *node, const QString &parentName) const
{
    const QString &name = node->name();
    if (!name.startsWith(QLatin1Char('/')))
        return false;
    if (name == QLatin1String("/Kids") || name == QLatin1String("/Pages") || name == QLatin1String("/Resources")
        || name == QLatin1String("/XObject"))
        return false;
    if (!m_extraPass)
        return true;
    // The second pass also takes a page's annotations, their appearance
    // dictionaries (normal, rollover, down) with their states, and patterns.
    if (name == QLatin1String("/Annots") || name == QLatin1String("/AP") || name == QLatin1String("/Pattern"))
        return false;
    const bool appearance = parentName == QLatin1String("/AP")
        && (name == QLatin1String("/N") || name == QLatin1String("/R") || name == QLatin1String("/D"));
    const bool state = parentName == QLatin1String("/N") || parentName == QLatin1String("/R")
        || parentName == QLatin1String("/D");
    return !(appearance || state || parentName == QLatin1String("/Pattern"));
}

bool PDFFileStruct::testNodeInUse(const OstrelNode *node)
{
    const QString key = node->object2Name();
    if (mUsedObjName.contains(key))
        return true;
    mUsedObjName.insert(key);
    return false;
}
