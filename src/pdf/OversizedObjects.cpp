#include "OversizedObjects.h"

#include <QFile>

#include <qpdf/QPDF.hh>

#include <algorithm>
#include <cstring>
#include <exception>
#include <string_view>

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
    if (!readNumber(text, at, &n) || !readNumber(text, at, &g) || n != number || g != generation
        || !skipWhite(text, at) || text.substr(*at, 3) != "obj")
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

} // namespace

std::vector<OversizedObject> findOversizedObjects(const QString &path, QPDF &pdf, std::int64_t limit)
{
    std::vector<OversizedObject> found;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() <= limit)
        return found;
    const uchar *mapped = file.map(0, file.size());
    if (!mapped)
        return found;
    const std::string_view text(reinterpret_cast<const char *>(mapped), size_t(file.size()));
    try {
        for (const auto &[og, entry] : pdf.getXRefTable()) {
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
    } catch (const std::exception &) {
        found.clear();
    }
    file.unmap(const_cast<uchar *>(mapped));
    return found;
}
