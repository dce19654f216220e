#include "ImagePlacement.h"

#include "ColourComponents.h"
#include "ContentLexer.h"

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjectHandle.hh>

#include <algorithm>

#include <cmath>
#include <exception>
#include <set>
#include <vector>

namespace zembrix {

namespace {

// [a b c d e f] as in the content stream: a point (x, y) goes to
// (a x + c y + e, b x + d y + f).
struct Matrix {
    double a = 1, b = 0, c = 0, d = 1, e = 0, f = 0;
};

// First `m`, then `n`.
Matrix concat(const Matrix &m, const Matrix &n)
{
    return {m.a * n.a + m.b * n.c, m.a * n.b + m.b * n.d,       m.c * n.a + m.d * n.c,
            m.c * n.b + m.d * n.d, m.e * n.a + m.f * n.c + n.e, m.e * n.b + m.f * n.d + n.f};
}

bool number(QPDFObjectHandle object, double *value)
{
    if (!object.isNumber())
        return false;
    *value = object.getNumericValue();
    return std::isfinite(*value);
}

// Six numbers, or none.
bool matrixFrom(const std::vector<QPDFObjectHandle> &values, size_t first, Matrix *m)
{
    double v[6];
    for (size_t i = 0; i < 6; ++i)
        if (first + i >= values.size() || !number(values[first + i], &v[i]))
            return false;
    *m = {v[0], v[1], v[2], v[3], v[4], v[5]};
    return true;
}

struct ScanState {
    ContentScan result;
    bool allImages = false;
    qsizetype inlineImages = 0;
    qint64 objects = 0;                                          // operators and operands read
    qint64 contentBudget = ImagePlacementScan::kMaxContentBytes; // decoded content still to be read
    qint64 inflateBudget = qint64(256) << 20;                    // inline Flate data inflated to find its end
    int page = 0;
    std::function<bool()> mayContinue;
    std::set<QPDFObjGen> formsOnPath;
    // A form is read once: every image it draws is placed by that reading,
    // so reading it again could place nothing new (and a few forms drawing
    // each other many times over would otherwise multiply the work). A form
    // an annotation or a soft mask drew first is read again where a page's
    // own content draws it, for the placements of the page contents alone.
    std::set<std::pair<QPDFObjGen, bool>> formsRead;
    bool stopped = false;

    void place(const ObjectKey &key, const ImagePlacement &placement, bool extra)
    {
        if (!extra && !result.placements.contains(key))
            result.placements.insert(key, placement);
        if (allImages && !result.allPlacements.contains(key))
            result.allPlacements.insert(key, placement);
    }
};

void readContents(ScanState &state, QPDFObjectHandle owner, QPDFObjectHandle resources, const Matrix &start,
                  bool extra);

ObjectKey keyOf(QPDFObjectHandle object)
{
    return PdfObject(object).objectKey();
}

// The resolution at which a width x height image drawn into the unit square
// under `ctm` lands; false when it lands nowhere measurable.
bool resolution(const Matrix &ctm, double width, double height, ImagePlacement *placement)
{
    // Inches the image's unit square spans along its own two edges.
    const double across = std::hypot(ctm.a, ctm.b) / 72.0;
    const double down = std::hypot(ctm.c, ctm.d) / 72.0;
    if (!(across > 1e-9 && down > 1e-9) || !std::isfinite(across) || !std::isfinite(down))
        return false;
    const double x = std::fabs(width) / across;
    const double y = std::fabs(height) / down;
    if (!std::isfinite(x) || !std::isfinite(y))
        return false;
    placement->xPpi = x;
    placement->yPpi = y;
    return true;
}

class ContentReader
{
public:
    ContentReader(ScanState &state, QPDFObjectHandle resources, const Matrix &start, bool extra)
        : m_state(state)
        , m_resources(std::move(resources))
        , m_ctm(start)
        , m_extra(extra)
    {
    }

    void read(QByteArrayView bytes, QList<ScannedInlineImage> *inlineImages)
    {
        ContentLexer lexer(
            bytes, [this](const QByteArray &name) { return namedComponents(name); }, &m_state.inflateBudget);
        for (ContentLexer::Token token = lexer.next(); token.kind != ContentLexer::Token::End; token = lexer.next()) {
            if (m_state.stopped)
                return;
            if (++m_state.objects > ImagePlacementScan::kMaxObjects
                || ((m_state.objects & 0xfff) == 0 && m_state.mayContinue && !m_state.mayContinue())) {
                m_state.stopped = true;
                return;
            }
            switch (token.kind) {
            case ContentLexer::Token::Operator:
                operate(token.text);
                m_operands.clear();
                break;
            case ContentLexer::Token::InlineImage:
                if (m_state.allImages && m_state.inlineImages < ImagePlacementScan::kMaxInlineImages) {
                    ++m_state.inlineImages;
                    inlineImages->append({token.image, placeInline(bytes, token.image)});
                }
                m_operands.clear();
                break;
            default:
                // Only the last few operands matter to the operators read here.
                if (m_operands.size() >= kKeptOperands)
                    m_operands.erase(m_operands.begin());
                m_operands.push_back(token);
            }
        }
    }

private:
    static constexpr size_t kKeptOperands = 8;

    int namedComponents(const QByteArray &name) const
    {
        try {
            QPDFObjectHandle spaces = m_resources.isDictionary() ? m_resources.getKey("/ColorSpace") : m_resources;
            if (!spaces.isDictionary())
                return 0;
            return colourSpaceComponents(spaces.getKey("/" + name.toStdString()));
        } catch (const std::exception &) {
            return 0;
        }
    }

    ImagePlacement placeInline(QByteArrayView bytes, const InlineImageSpan &span) const
    {
        ImagePlacement placement;
        QPDFObjectHandle dict = readInlineImageDictionary(bytes.sliced(span.dictBegin, span.dictEnd - span.dictBegin));
        QPDFObjectHandle width = dict.getKey("/Width"), height = dict.getKey("/Height");
        if (width.isNumber() && height.isNumber()
            && resolution(m_ctm, width.getNumericValue(), height.getNumericValue(), &placement))
            placement.page = m_state.page;
        return placement;
    }

    bool matrixOperands(Matrix *m) const
    {
        if (m_operands.size() < 6)
            return false;
        double v[6];
        for (size_t i = 0; i < 6; ++i) {
            const ContentLexer::Token &t = m_operands[m_operands.size() - 6 + i];
            if (t.kind != ContentLexer::Token::Number || !std::isfinite(t.number))
                return false;
            v[i] = t.number;
        }
        *m = {v[0], v[1], v[2], v[3], v[4], v[5]};
        return true;
    }

    void operate(QByteArrayView op)
    {
        if (op == "q") {
            if (m_saved.size() < size_t(ImagePlacementScan::kMaxSaveDepth))
                m_saved.push_back(m_ctm);
            else
                ++m_unsavedDepth;
        } else if (op == "Q") {
            if (m_unsavedDepth > 0) {
                --m_unsavedDepth;
            } else if (!m_saved.empty()) {
                m_ctm = m_saved.back();
                m_saved.pop_back();
            }
        } else if (op == "cm") {
            Matrix m;
            if (matrixOperands(&m))
                m_ctm = concat(m, m_ctm);
        } else if ((op == "Do" || (op == "gs" && m_state.allImages)) && !m_operands.empty()
                   && m_operands.back().kind == ContentLexer::Token::Name) {
            const std::string name = "/" + m_operands.back().text.toByteArray().toStdString();
            if (op == "Do")
                paint(name);
            else
                setGraphicsState(name);
        }
    }

    QPDFObjectHandle resource(const char *category, const std::string &name) const
    {
        if (!m_resources.isDictionary())
            return QPDFObjectHandle::newNull();
        QPDFObjectHandle all = m_resources.getKey(category);
        return all.isDictionary() ? all.getKey(name) : QPDFObjectHandle::newNull();
    }

    // A soft mask set here draws its group under the matrix now in force.
    void setGraphicsState(const std::string &name)
    {
        QPDFObjectHandle state = resource("/ExtGState", name);
        QPDFObjectHandle mask = state.isDictionary() ? state.getKey("/SMask") : QPDFObjectHandle::newNull();
        QPDFObjectHandle group = mask.isDictionary() ? mask.getKey("/G") : QPDFObjectHandle::newNull();
        if (group.isStream())
            drawForm(group, true);
    }

    void paint(const std::string &name)
    {
        QPDFObjectHandle xobject = resource("/XObject", name);
        if (!xobject.isStream())
            return;
        QPDFObjectHandle dict = xobject.getDict();
        QPDFObjectHandle subtype = dict.getKey("/Subtype");
        if (!subtype.isName())
            return;
        if (subtype.getName() == "/Image") {
            const QPDFObjGen og = xobject.getObjGen();
            if (!og.isIndirect())
                return;
            double width = 0, height = 0;
            if (!number(dict.getKey("/Width"), &width) || !number(dict.getKey("/Height"), &height))
                return;
            ImagePlacement placement;
            if (!resolution(m_ctm, width, height, &placement))
                return;
            placement.page = m_state.page;
            m_state.place(ObjectKey{og, 0}, placement, m_extra);
        } else if (subtype.getName() == "/Form") {
            drawForm(xobject, m_extra);
        }
    }

    void drawForm(QPDFObjectHandle form, bool extra)
    {
        const QPDFObjGen og = form.getObjGen();
        if (m_state.formsOnPath.size() >= size_t(ImagePlacementScan::kMaxFormDepth) || m_state.formsOnPath.count(og)
            || !m_state.formsRead.insert({og, extra}).second)
            return;
        QPDFObjectHandle dict = form.getDict();
        Matrix matrix;
        QPDFObjectHandle m = dict.getKey("/Matrix");
        if (m.isArray() && m.getArrayNItems() == 6)
            matrixFrom(m.getArrayAsVector(), 0, &matrix);
        QPDFObjectHandle resources = dict.getKey("/Resources");
        m_state.formsOnPath.insert(og);
        readContents(m_state, form, resources.isDictionary() ? resources : m_resources, concat(matrix, m_ctm), extra);
        m_state.formsOnPath.erase(og);
    }

    ScanState &m_state;
    mutable QPDFObjectHandle m_resources; // the library's accessors are not const
    Matrix m_ctm;
    bool m_extra;
    std::vector<Matrix> m_saved;
    int m_unsavedDepth = 0;
    std::vector<ContentLexer::Token> m_operands;
};

void readContents(ScanState &state, QPDFObjectHandle owner, QPDFObjectHandle resources, const Matrix &start, bool extra)
{
    if (state.stopped)
        return;
    const std::optional<QByteArray> bytes = ImagePlacementScan::contentOf(PdfObject(owner), &state.contentBudget);
    const ObjectKey key = keyOf(owner);
    if (!bytes)
        return;
    QList<ScannedInlineImage> inlineImages;
    try {
        ContentReader(state, std::move(resources), start, extra).read(QByteArrayView(*bytes), &inlineImages);
    } catch (const std::exception &) {
        // A damaged stream: what was read before the damage stays.
    }
    if (state.allImages && !state.result.contentsRead.contains(key)) {
        state.result.contentsRead.insert(key);
        if (!inlineImages.isEmpty())
            state.result.inlineImages.insert(key, inlineImages);
    }
}

bool fourNumbers(QPDFObjectHandle array, double v[4])
{
    if (!array.isArray() || array.getArrayNItems() != 4)
        return false;
    for (int i = 0; i < 4; ++i)
        if (!number(array.getArrayItem(i), &v[i]))
            return false;
    return true;
}

// The normal appearances of a page's annotations, each drawn into its
// annotation's rectangle: the form's box, through its matrix, is fitted to
// the rectangle (ISO 32000-1, 12.5.5).
void readAppearances(ScanState &state, QPDFObjectHandle annotations)
{
    if (!annotations.isArray())
        return;
    const int count = std::min(annotations.getArrayNItems(), ImagePlacementScan::kMaxAnnotations);
    for (int i = 0; i < count && !state.stopped; ++i) {
        QPDFObjectHandle annotation = annotations.getArrayItem(i);
        if (!annotation.isDictionary())
            continue;
        QPDFObjectHandle appearances = annotation.getKey("/AP");
        QPDFObjectHandle normal = appearances.isDictionary() ? appearances.getKey("/N") : QPDFObjectHandle::newNull();
        if (normal.isDictionary()) { // one appearance per state: the current one
            QPDFObjectHandle current = annotation.getKey("/AS");
            normal = current.isName() ? normal.getKey(current.getName()) : QPDFObjectHandle::newNull();
        }
        if (!normal.isStream())
            continue;
        QPDFObjectHandle dict = normal.getDict();
        double rect[4], box[4];
        if (!fourNumbers(annotation.getKey("/Rect"), rect) || !fourNumbers(dict.getKey("/BBox"), box))
            continue;
        Matrix form;
        QPDFObjectHandle matrix = dict.getKey("/Matrix");
        if (matrix.isArray() && matrix.getArrayNItems() == 6)
            matrixFrom(matrix.getArrayAsVector(), 0, &form);
        double xMin = HUGE_VAL, yMin = HUGE_VAL, xMax = -HUGE_VAL, yMax = -HUGE_VAL;
        for (const auto &[x, y] : {std::pair{box[0], box[1]}, {box[2], box[1]}, {box[0], box[3]}, {box[2], box[3]}}) {
            const double tx = form.a * x + form.c * y + form.e, ty = form.b * x + form.d * y + form.f;
            xMin = std::min(xMin, tx), xMax = std::max(xMax, tx), yMin = std::min(yMin, ty), yMax = std::max(yMax, ty);
        }
        const double width = xMax - xMin, height = yMax - yMin;
        if (!(width > 1e-9 && height > 1e-9) || !std::isfinite(width) || !std::isfinite(height)
            || !state.formsRead.insert({normal.getObjGen(), true}).second)
            continue;
        const double sx = std::fabs(rect[2] - rect[0]) / width, sy = std::fabs(rect[3] - rect[1]) / height;
        const Matrix fit{sx, 0, 0, sy, std::min(rect[0], rect[2]) - xMin * sx, std::min(rect[1], rect[3]) - yMin * sy};
        readContents(state, normal, dict.getKey("/Resources"), concat(form, fit), true);
    }
}

} // namespace

ContentScan ImagePlacementScan::scan(const PdfObject &catalog, const std::function<bool()> &mayContinue, bool allImages)
{
    ScanState state;
    state.mayContinue = mayContinue;
    state.allImages = allImages;
    if (!catalog.handle())
        return {};
    QPDFObjectHandle root = *catalog.handle();
    try {
        if (!root.isDictionary())
            return {};
        struct Pending {
            QPDFObjectHandle node;
            QPDFObjectHandle resources; // inherited
        };
        std::vector<Pending> stack{{root.getKey("/Pages"), QPDFObjectHandle::newNull()}};
        std::set<QPDFObjGen> treeNodes;
        while (!stack.empty() && !state.stopped && state.page < kMaxPages) {
            Pending pending = stack.back();
            stack.pop_back();
            QPDFObjectHandle node = pending.node;
            if (!node.isDictionary())
                continue;
            QPDFObjectHandle resources = node.getKey("/Resources");
            if (!resources.isDictionary())
                resources = pending.resources;
            QPDFObjectHandle kids = node.getKey("/Kids");
            if (kids.isArray()) {
                // A tree node is read once: that cuts cycles.
                if (!treeNodes.insert(node.getObjGen()).second)
                    continue;
                const int count = kids.getArrayNItems();
                for (int i = count - 1; i >= 0; --i)
                    stack.push_back({kids.getArrayItem(i), resources});
                continue;
            }
            ++state.page;
            readContents(state, node, resources, Matrix{}, false);
            if (allImages)
                readAppearances(state, node.getKey("/Annots"));
        }
    } catch (const std::exception &) {
    }
    return std::move(state.result);
}

std::optional<QByteArray> ImagePlacementScan::contentOf(const PdfObject &owner, qint64 *budget)
{
    // The content is decoded here, within the document's budget: a parser
    // of the library's own would hold a stream of any decoded size.
    try {
        if (!owner.handle())
            return std::nullopt;
        QPDFObjectHandle object = *owner.handle();
        QPDFObjectHandle contents = object.isStream() ? object : object.getKey("/Contents");
        QByteArray bytes;
        const auto add = [&](QPDFObjectHandle part) {
            if (!part.isStream())
                return;
            const qint64 room = std::min(kMaxStreamBytes, *budget - qint64(bytes.size()));
            if (room <= 0)
                return;
            const std::optional<PdfStreamData> data = PdfObject(part).copyStreamData(room);
            if (!data) {
                // Broken, or too large: skipped, and charged as if read, since
                // the decoder may have done that much work before giving up.
                *budget -= room;
                return;
            }
            bytes.append(data->bytes);
            bytes += '\n';
        };
        if (contents.isArray()) {
            const int count = std::min(contents.getArrayNItems(), 100000);
            for (int i = 0; i < count; ++i)
                add(contents.getArrayItem(i));
        } else {
            add(contents);
        }
        *budget -= qint64(bytes.size());
        if (bytes.isEmpty())
            return std::nullopt;
        return bytes;
    } catch (const std::exception &) {
        return std::nullopt;
    }
}

} // namespace zembrix
