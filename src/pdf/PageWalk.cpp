#include "PDFFileStruct.h"

#include "ColourComponents.h"
#include "ContentLexer.h"
#include "PageNumbering.h"

#include <algorithm>

#include <QDebug>

#include <vector>

namespace zembrix {

namespace {
// Deeper than any real nesting of forms; protects the stack.
constexpr int kMaxWalkDepth = 400;
} // namespace

void PDFFileStruct::cgPdfParsing(PDFFileStruct *owner)
{
    if (!mOstrelData || !owner->walkMayContinue())
        return;
    OstrelNode *root = mOstrelData->getRoot();
    if (!root)
        return;
    mUsedObjName.clear();
    m_imageOfObject.clear();
    m_entered.clear();
    m_currentPage = 0;
    m_depth = 0;
    // With all images, this one reading of the contents serves both passes.
    m_scan = ImagePlacementScan::scan(
        mOstrelData->document()->catalog(), [owner] { return owner->walkMayContinue(); }, m_allImages.load());
    m_placements = std::move(m_scan.placements);
    m_nextInlineNumber = 0;
    const OstrelNode::ChildList *children = root->children();
    if (!children) {
        m_placements.clear();
        m_scan = {};
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
    m_scan = {};
    m_pageResources = {};
}

// The second pass of an all-images walk: the page tree is walked again, this
// time into annotation appearances, patterns and the groups of soft masks as
// well, and every image stream the first pass met is passed over, so only the
// new ones are numbered, after the others. The inline images of a page come
// after the other images of the page, those of a form after the form's.
void PDFFileStruct::walkExtraImages(OstrelNode *pages, PDFFileStruct *owner)
{
    m_placements = std::move(m_scan.allPlacements);
    m_entered.clear();
    m_depth = 0;
    m_currentPage = 0;
    m_extraPass = true;
    parsePdfPages(pages, owner);
    m_extraPass = false;
}

// The inline images of a page's or form's content, each made a stream of its
// own and analysed as an image of the resources would be. The placement scan
// found them where a page draws the content; content it did not read (a form
// no page draws) is read here.
void PDFFileStruct::walkInlineImages(const PdfObject &content, const PdfObject &resources, PDFFileStruct *owner)
{
    const ObjectKey key = content.objectKey();
    const bool scanned = m_scan.contentsRead.contains(key);
    QList<ScannedInlineImage> images = m_scan.inlineImages.take(key);
    if ((scanned && images.isEmpty()) || !content.isIndirect() || !owner->walkMayContinue())
        return;
    PdfDocument &document = *mOstrelData->document();
    const std::optional<QByteArray> bytes = document.contentOf(key, scanned ? nullptr : &m_scan.unreadContentBudget);
    if (!bytes)
        return;
    if (!scanned) {
        m_scan.contentsRead.insert(key);
        const PdfObject spaces = resources.get("ColorSpace");
        ContentLexer lexer(
            QByteArrayView(*bytes),
            [&spaces](const QByteArray &name) {
                QPDFObjectHandle all = spaces.handle() ? *spaces.handle() : QPDFObjectHandle::newNull();
                return all.isDictionary() ? colourSpaceComponents(all.getKey("/" + name.toStdString())) : 0;
            },
            &m_scan.unreadInflateBudget);
        for (ContentLexer::Token token = lexer.next();
             token.kind != ContentLexer::Token::End && images.size() < ImagePlacementScan::kMaxInlineImages;
             token = lexer.next())
            if (token.kind == ContentLexer::Token::InlineImage)
                images.append({token.image, {}});
    }
    for (qsizetype i = 0; i < images.size() && owner->walkMayContinue(); ++i) {
        const InlineImageSpan &span = images[i].span;
        if (span.dictEnd < span.dictBegin || span.dataEnd > bytes->size())
            continue;
        auto origin = std::make_shared<const InlineImageOrigin>(
            makeInlineImageOrigin(key, QByteArrayView(*bytes), span, resources));
        const PdfObject stream = document.inlineImage(*origin);
        if (stream.type() != PdfTypeStream)
            continue;
        // A number past the file's objects, as if the image were one more.
        if (m_nextInlineNumber == 0)
            m_nextInlineNumber = document.objectNumberBound();
        for (int tries = 0; tries < 1000 && document.objectByKey(ObjectKey::indirect(m_nextInlineNumber)).isValid();
             ++tries)
            ++m_nextInlineNumber;
        const ObjectKey objectKey = ObjectKey::indirect(m_nextInlineNumber++);
        if (images[i].placement.xPpi > 0)
            m_placements.insert(objectKey, images[i].placement);
        std::unique_ptr<OstrelNode> node = OstrelNode::initWithObject(stream, QStringLiteral("/IIm%1").arg(i + 1));
        node->setIdentity(objectKey);
        m_inlineImage = {objectKey, std::move(origin)};
        parsePdfStream(node.get(), owner);
        m_inlineImage = {};
    }
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
    const ObjectKey key = node->objectKey();
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
        // Of the second pass, for inline images: whether the node is one of
        // the page tree's, the frame whose node holds the resources it
        // inherits (-1 for none) and the page resources before it.
        bool tree = false;
        int resourcesFrame = -1;
        PdfObject savedResources = {};
    };
    std::vector<Frame> stack;

    // The checks of one container; pushes it when it is to be walked.
    const auto enter = [&](OstrelNode *container) {
        if ((container->type() != PdfTypeArray && container->type() != PdfTypeDictionary)
            || testNodeNameExit(container, stack.empty() ? QString() : stack.back().node->name())
            || !owner->walkMayContinue())
            return;
        // A page or page tree node sets the page that images found below it
        // belong to. This is counted even when the node was walked before.
        const int savedPage = m_currentPage;
        if (m_pageNumbers && container->type() == PdfTypeDictionary) {
            if (const int first = m_pageNumbers->firstPageOf(container->objectKey())) {
                m_currentPage = first;
                if (!m_extraPass)
                    m_pageReached = std::max(m_pageReached, first);
            }
        }
        // The first container takes a level of the walk depth; the ones below
        // it are only marked as entered.
        bool first = false;
        if (stack.empty()) {
            first = enterObject(container);
        } else {
            const ObjectKey key = container->objectKey();
            first = !m_entered.contains(key);
            if (first)
                m_entered.insert(key);
        }
        // Children are taken only once the container is to be walked: a
        // container met again costs nothing.
        const OstrelNode::ChildList *children = first ? container->children() : nullptr;
        if (!children) {
            m_currentPage = savedPage;
            return;
        }
        Frame frame{container, children, 0, savedPage};
        if (m_extraPass && container->type() == PdfTypeDictionary
            && (stack.empty() ? container->name() == QLatin1String("/Pages")
                              : stack.back().node->name() == QLatin1String("/Kids"))) {
            frame.tree = true;
            frame.savedResources = m_pageResources;
            const bool own = container->object().get("Resources").type() == PdfTypeDictionary;
            frame.resourcesFrame = own ? int(stack.size()) : stack.empty() ? -1 : stack.back().resourcesFrame;
            m_pageResources = frame.resourcesFrame < 0 ? PdfObject()
                              : own                    ? container->object().get("Resources")
                                    : stack[size_t(frame.resourcesFrame)].node->object().get("Resources");
        } else if (!stack.empty()) {
            frame.resourcesFrame = stack.back().resourcesFrame;
        }
        stack.push_back(std::move(frame));
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
            if (top.tree) {
                walkInlineImages(top.node->object(), m_pageResources, owner);
                m_pageResources = std::move(top.savedResources);
            }
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
    // dictionaries (normal, rollover, down) with their states, patterns, and
    // the graphics states whose soft masks draw a group.
    if (name == QLatin1String("/Annots") || name == QLatin1String("/AP") || name == QLatin1String("/Pattern")
        || name == QLatin1String("/ExtGState")
        || (name == QLatin1String("/SMask") && node->type() == PdfTypeDictionary))
        return false;
    const bool appearance =
        parentName == QLatin1String("/AP")
        && (name == QLatin1String("/N") || name == QLatin1String("/R") || name == QLatin1String("/D"));
    const bool state =
        parentName == QLatin1String("/N") || parentName == QLatin1String("/R") || parentName == QLatin1String("/D");
    return !(appearance || state || parentName == QLatin1String("/Pattern")
             || parentName == QLatin1String("/ExtGState"));
}

bool PDFFileStruct::testNodeInUse(const OstrelNode *node)
{
    const ObjectKey key = node->objectKey();
    if (mUsedObjName.contains(key))
        return true;
    mUsedObjName.insert(key);
    return false;
}

} // namespace zembrix
