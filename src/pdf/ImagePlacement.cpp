#include "ImagePlacement.h"

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjectHandle.hh>

#include <algorithm>

#include <cmath>
#include <exception>
#include <set>
#include <vector>

namespace {

// [a b c d e f] as in the content stream: a point (x, y) goes to
// (a x + c y + e, b x + d y + f).
struct Matrix {
    double a = 1, b = 0, c = 0, d = 1, e = 0, f = 0;
};

// First `m`, then `n`.
Matrix concat(const Matrix &m, const Matrix &n)
{
    return {m.a * n.a + m.b * n.c, m.a * n.b + m.b * n.d, m.c * n.a + m.d * n.c,
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
    QHash<QString, ImagePlacement> placements;
    qint64 objects = 0;      // operators and operands read
    qint64 contentBytes = 0; // decoded content read
    int page = 0;
    std::function<bool()> mayContinue;
    std::set<QPDFObjGen> formsOnPath;
    // A form is read once: every image it draws is placed by that reading,
    // so reading it again could place nothing new (and a few forms drawing
    // each other many times over would otherwise multiply the work).
    std::set<QPDFObjGen> formsRead;
    bool stopped = false;
};

void readContents(ScanState &state, QPDFObjectHandle contents, QPDFObjectHandle resources, const Matrix &start);

class ContentReader final : public QPDFObjectHandle::ParserCallbacks
{
public:
    ContentReader(ScanState &state, QPDFObjectHandle resources, const Matrix &start)
        : m_state(state), m_resources(std::move(resources)), m_ctm(start)
    {
    }

    void handleObject(QPDFObjectHandle object) override
    {
        if (m_state.stopped)
            terminateParsing();
        if (++m_state.objects > ImagePlacementScan::kMaxObjects
            || ((m_state.objects & 0xfff) == 0 && m_state.mayContinue && !m_state.mayContinue())) {
            m_state.stopped = true;
            terminateParsing();
        }
        if (!object.isOperator()) {
            // Only the last few operands matter to the operators read here.
            if (m_operands.size() >= kKeptOperands)
                m_operands.erase(m_operands.begin());
            m_operands.push_back(object);
            return;
        }
        const std::string op = object.getOperatorValue();
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
            if (m_operands.size() >= 6 && matrixFrom(m_operands, m_operands.size() - 6, &m))
                m_ctm = concat(m, m_ctm);
        } else if (op == "Do" && !m_operands.empty() && m_operands.back().isName()) {
            paint(m_operands.back().getName());
        }
        m_operands.clear();
    }

    void handleEOF() override {}

private:
    static constexpr size_t kKeptOperands = 8;

    void paint(const std::string &name)
    {
        if (!m_resources.isDictionary())
            return;
        QPDFObjectHandle xobjects = m_resources.getKey("/XObject");
        if (!xobjects.isDictionary())
            return;
        QPDFObjectHandle xobject = xobjects.getKey(name);
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
            const QString key = QStringLiteral("%1 %2").arg(og.getObj()).arg(og.getGen());
            if (m_state.placements.contains(key))
                return;
            double width = 0, height = 0;
            if (!number(dict.getKey("/Width"), &width) || !number(dict.getKey("/Height"), &height))
                return;
            // Inches the image's unit square spans along its own two edges.
            const double across = std::hypot(m_ctm.a, m_ctm.b) / 72.0;
            const double down = std::hypot(m_ctm.c, m_ctm.d) / 72.0;
            if (!(across > 1e-9 && down > 1e-9) || !std::isfinite(across) || !std::isfinite(down))
                return;
            const double x = std::fabs(width) / across;
            const double y = std::fabs(height) / down;
            if (std::isfinite(x) && std::isfinite(y))
                m_state.placements.insert(key, {x, y, m_state.page});
        } else if (subtype.getName() == "/Form") {
            const QPDFObjGen og = xobject.getObjGen();
            if (m_state.formsOnPath.size() >= size_t(ImagePlacementScan::kMaxFormDepth)
                || !m_state.formsRead.insert(og).second)
                return;
            Matrix form;
            QPDFObjectHandle matrix = dict.getKey("/Matrix");
            if (matrix.isArray() && matrix.getArrayNItems() == 6)
                matrixFrom(matrix.getArrayAsVector(), 0, &form);
            QPDFObjectHandle resources = dict.getKey("/Resources");
            m_state.formsOnPath.insert(og);
            readContents(m_state, xobject, resources.isDictionary() ? resources : m_resources,
                         concat(form, m_ctm));
            m_state.formsOnPath.erase(og);
        }
    }

    ScanState &m_state;
    QPDFObjectHandle m_resources;
    Matrix m_ctm;
    std::vector<Matrix> m_saved;
    int m_unsavedDepth = 0;
    std::vector<QPDFObjectHandle> m_operands;
};

void readContents(ScanState &state, QPDFObjectHandle contents, QPDFObjectHandle resources, const Matrix &start)
{
    if (state.stopped)
        return;
    // The content is decoded here, within the document's budget, and parsed
    // from that copy: the library's own parser would hold a stream of any
    // decoded size.
    std::string bytes;
    const auto add = [&](QPDFObjectHandle part) {
        if (!part.isStream())
            return;
        const qint64 room = std::min(ImagePlacementScan::kMaxStreamBytes,
                                     ImagePlacementScan::kMaxContentBytes - state.contentBytes - qint64(bytes.size()));
        if (room <= 0)
            return;
        const std::optional<PdfStreamData> data = PdfObject(part).copyStreamData(room);
        if (!data) {
            // Broken, or too large: skipped, and charged as if read, since
            // the decoder may have done that much work before giving up.
            state.contentBytes += room;
            return;
        }
        bytes.append(data->bytes.constData(), size_t(data->bytes.size()));
        bytes += '\n';
    };
    if (contents.isArray()) {
        const int count = std::min(contents.getArrayNItems(), 100000);
        for (int i = 0; i < count && !state.stopped; ++i)
            add(contents.getArrayItem(i));
    } else {
        add(contents);
    }
    state.contentBytes += qint64(bytes.size());
    QPDF *owner = contents.getOwningQPDF();
    if (bytes.empty() || !owner)
        return;
    ContentReader reader(state, std::move(resources), start);
    try {
        QPDFObjectHandle::parseContentStream(QPDFObjectHandle::newStream(owner, bytes), &reader);
    } catch (const std::exception &) {
        // A damaged stream: what was read before the damage stays.
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
            || !state.formsRead.insert(normal.getObjGen()).second)
            continue;
        const double sx = std::fabs(rect[2] - rect[0]) / width, sy = std::fabs(rect[3] - rect[1]) / height;
        const Matrix fit{sx, 0, 0, sy, std::min(rect[0], rect[2]) - xMin * sx, std::min(rect[1], rect[3]) - yMin * sy};
        readContents(state, normal, dict.getKey("/Resources"), concat(form, fit));
    }
}

} // namespace

QHash<QString, ImagePlacement> ImagePlacementScan::scan(const PdfObject &catalog,
                                                       const std::function<bool()> &mayContinue, bool annotations)
{
    ScanState state;
    state.mayContinue = mayContinue;
    if (!catalog.handle())
        return {};
    QPDFObjectHandle catalogHandle = *catalog.handle();
    QPDFObjectHandle *root = &catalogHandle;
    try {
        if (!root->isDictionary())
            return {};
        struct Pending {
            QPDFObjectHandle node;
            QPDFObjectHandle resources; // inherited
        };
        std::vector<Pending> stack{{root->getKey("/Pages"), QPDFObjectHandle::newNull()}};
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
            QPDFObjectHandle contents = node.getKey("/Contents");
            if (contents.isStream() || contents.isArray())
                readContents(state, contents, resources, Matrix{});
            if (annotations)
                readAppearances(state, node.getKey("/Annots"));
        }
    } catch (const std::exception &) {
    }
    return state.placements;
}
