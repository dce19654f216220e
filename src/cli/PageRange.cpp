#include "PageRange.h"

#include <QStringList>

#include <climits>

namespace zembrix {

namespace {

std::optional<int> pageNumber(const QString &text)
{
    bool ok = false;
    const int page = text.trimmed().toInt(&ok);
    if (!ok || page < 1)
        return std::nullopt;
    return page;
}

} // namespace

std::optional<PageRange> PageRange::parse(const QString &text)
{
    PageRange range;
    for (const QString &part : text.split(QLatin1Char(','))) {
        const qsizetype dash = part.indexOf(QLatin1Char('-'));
        const std::optional<int> first = pageNumber(dash < 0 ? part : part.left(dash));
        if (!first)
            return std::nullopt;
        int last = *first;
        if (dash >= 0) {
            const QString tail = part.mid(dash + 1);
            if (tail.trimmed().isEmpty()) {
                last = INT_MAX;
            } else {
                const std::optional<int> end = pageNumber(tail);
                if (!end || *end < *first)
                    return std::nullopt;
                last = *end;
            }
        }
        range.m_spans.emplace_back(*first, last);
    }
    return range;
}

bool PageRange::containsAnyUpTo(qsizetype pageCount) const
{
    for (const auto &[first, last] : m_spans)
        if (first <= pageCount)
            return true;
    return false;
}

bool PageRange::contains(int page) const
{
    for (const auto &[first, last] : m_spans)
        if (page >= first && page <= last)
            return true;
    return false;
}

} // namespace zembrix
