#include "OversizedObjects.h"

#include <QFile>

#include <qpdf/Pipeline.hh>
#include <qpdf/QPDF.hh>

#include <algorithm>
#include <limits>
#include <cstring>
#include <exception>
#include <map>
#include <stdexcept>
#include <string_view>

namespace zembrix {

namespace {

bool isWhite(unsigned char c)
{
    return c == ' ' || c == '\n' || c == '\r' || c == '\t' || c == '\f' || c == '\0';
}

bool isDelimiter(unsigned char c)
{
    return std::strchr("()<>[]{}/%", c) != nullptr && c != '\0';
}

// Skips white space; false at the end.
bool skipWhite(std::string_view text, size_t *at)
{
    while (*at < text.size() && isWhite(static_cast<unsigned char>(text[*at])))
        ++*at;
    return *at < text.size();
}

bool readNumber(std::string_view text, size_t *at, std::int64_t *value)
{
    if (!skipWhite(text, at))
        return false;
    const size_t start = *at;
    std::int64_t v = 0;
    while (*at < text.size() && text[*at] >= '0' && text[*at] <= '9' && *at - start < 12)
        v = v * 10 + (text[(*at)++] - '0');
    *value = v;
    return *at > start;
}

// Whether "N G obj" opens `text`; `at` is left after it.
bool headerMatches(std::string_view text, int number, int generation, size_t *at)
{
    std::int64_t n = 0, g = 0;
    if (!readNumber(text, at, &n) || !readNumber(text, at, &g) || n != number || g != generation || !skipWhite(text, at)
        || text.substr(*at, 3) != "obj")
        return false;
    *at += 3;
    return true;
}

// Whether `keyword` stands at `i` as a token of its own.
bool keywordAt(std::string_view text, size_t i, std::string_view keyword)
{
    if (text.substr(i, keyword.size()) != keyword)
        return false;
    const size_t end = i + keyword.size();
    if (end < text.size() && !isWhite(static_cast<unsigned char>(text[end]))
        && !isDelimiter(static_cast<unsigned char>(text[end])))
        return false;
    const unsigned char before = static_cast<unsigned char>(text[i - 1]);
    return isWhite(before) || (isDelimiter(before) && before != '/');
}

// The length of an object's text from `at` to its "stream" or "endobj"
// keyword, or `limit` + 1 when neither comes within `limit` bytes. Strings
// and comments are passed over, so a keyword inside them does not count.
std::int64_t objectTextLength(std::string_view text, size_t at, std::int64_t limit)
{
    const size_t start = at;
    const size_t end = std::min(text.size(), start + size_t(limit) + 1);
    int parentheses = 0;
    while (at < end) {
        const char c = text[at];
        if (parentheses > 0) {
            if (c == '\\')
                ++at;
            else if (c == '(')
                ++parentheses;
            else if (c == ')')
                --parentheses;
            ++at;
            continue;
        }
        if (c == '(') {
            parentheses = 1;
        } else if (c == '%') {
            while (at < end && text[at] != '\n' && text[at] != '\r')
                ++at;
            continue;
        } else if ((c == 's' && keywordAt(text, at, "stream")) || (c == 'e' && keywordAt(text, at, "endobj"))) {
            return std::int64_t(at - start);
        }
        ++at;
    }
    // The file ends (a damaged object) within the limit: the library will
    // read no more than there is.
    return end == text.size() && std::int64_t(end - start) <= limit ? std::int64_t(end - start) : limit + 1;
}

// Keeps the first `keep` bytes of a stream and counts the rest, up to `cap`.
class HeadAndCount final : public Pipeline
{
public:
    HeadAndCount(size_t keep, std::int64_t cap)
        : Pipeline("head and count", nullptr)
        , m_keep(keep)
        , m_cap(cap)
    {
    }
    void write(unsigned char const *data, size_t len) override
    {
        if (m_head.size() < m_keep)
            m_head.append(reinterpret_cast<const char *>(data), std::min(len, m_keep - m_head.size()));
        m_total += std::int64_t(len);
        if (m_total > m_cap)
            throw std::length_error("object stream passes its size limit");
    }
    void finish() override {}
    std::string m_head;
    std::int64_t m_total = 0;

private:
    size_t m_keep;
    std::int64_t m_cap;
};

// Object stream `number` when it holds an object longer than `limit`. The
// stream's header lists its objects' offsets; each ends where the next
// begins. The library parses every object of a stream as soon as one of them
// is asked for, so the whole stream is to be left unread.
void measureObjectStream(QPDF &pdf, int number, const std::vector<int> &held, std::int64_t limit,
                         std::vector<OversizedObject> *found)
{
    QPDFObjectHandle stream = pdf.getObject(number, 0);
    if (!stream.isStream())
        return;
    QPDFObjectHandle dict = stream.getDict();
    QPDFObjectHandle first = dict.getKey("/First"), count = dict.getKey("/N"), length = dict.getKey("/Length");
    QPDFObjectHandle filter = dict.getKey("/Filter");
    if (!first.isInteger() || !count.isInteger() || first.getIntValue() < 0 || first.getIntValue() > limit
        || count.getIntValue() < 0)
        return;
    // Deflate expands at most 1032 times: a short stream cannot hold a long object.
    const bool flateOnly = filter.isNull() || (filter.isName() && filter.getName() == "/FlateDecode")
                           || (filter.isArray() && filter.getArrayNItems() == 1 && filter.getArrayItem(0).isName()
                               && filter.getArrayItem(0).getName() == "/FlateDecode");
    if (flateOnly && length.isInteger() && length.getIntValue() >= 0 && length.getIntValue() <= limit / 1032)
        return;
    constexpr std::int64_t kCountCap = std::int64_t(256) << 20;
    HeadAndCount head(size_t(first.getIntValue()), kCountCap);
    bool overflow = false;
    try {
        stream.pipeStreamData(&head, 0, qpdf_dl_generalized, true);
    } catch (const std::length_error &) {
        overflow = true;
    }
    if (!overflow && head.m_total <= limit)
        return;
    // Pairs of object number and offset (from /First).
    std::vector<std::pair<std::int64_t, std::int64_t>> objects;
    size_t at = 0;
    std::int64_t objectNumber = 0, offset = 0;
    while (std::int64_t(objects.size()) < count.getIntValue() && readNumber(head.m_head, &at, &objectNumber)
           && readNumber(head.m_head, &at, &offset))
        objects.emplace_back(offset, objectNumber);
    std::sort(objects.begin(), objects.end());
    const std::int64_t end = overflow ? std::numeric_limits<std::int64_t>::max() : head.m_total - first.getIntValue();
    std::int64_t longest = 0;
    for (size_t i = 0; i < objects.size(); ++i)
        longest = std::max(longest, (i + 1 < objects.size() ? objects[i + 1].first : end) - objects[i].first);
    if (longest > limit)
        found->push_back({number, 0, longest, held});
}

} // namespace

std::vector<OversizedObject> findOversizedObjects(const QString &path, QPDF &pdf, std::int64_t limit)
{
    std::vector<OversizedObject> found;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return found;
    const uchar *mapped = file.map(0, file.size());
    if (!mapped)
        return found;
    const std::string_view text(reinterpret_cast<const char *>(mapped), size_t(file.size()));
    std::map<int, std::vector<int>> objectStreams;
    try {
        for (const auto &[og, entry] : pdf.getXRefTable()) {
            if (entry.getType() == 2)
                objectStreams[entry.getObjStreamNumber()].push_back(og.getObj());
            if (entry.getType() != 1)
                continue;
            const qpdf_offset_t offset = entry.getOffset();
            size_t at = size_t(offset);
            if (offset < 0 || at >= text.size() || !headerMatches(text, og.getObj(), og.getGen(), &at))
                continue;
            const std::int64_t length = objectTextLength(text, at, limit);
            if (length > limit)
                found.push_back({og.getObj(), og.getGen(), length});
        }
        // Measured after the objects in the file: an object stream left
        // unread is not decoded.
        for (const auto &[number, held] : objectStreams)
            if (std::none_of(found.begin(), found.end(),
                             [n = number](const OversizedObject &o) { return o.number == n; }))
                measureObjectStream(pdf, number, held, limit, &found);
    } catch (const std::exception &) {
        found.clear();
    }
    file.unmap(const_cast<uchar *>(mapped));
    return found;
}

} // namespace zembrix
