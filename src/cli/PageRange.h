#pragma once

#include <QString>

#include <optional>
#include <utility>
#include <vector>

namespace zembrix {

// A set of page numbers as the command line gives it: "1-20,31", "5-" (5 to
// the end), "7". Pages are 1-based.
class PageRange
{
public:
    // None for text that is not such a list (empty parts, a page 0, a range
    // that runs backwards, numbers past 2^31).
    static std::optional<PageRange> parse(const QString &text);
    bool contains(int page) const;
    // True when a page from 1 to `pageCount` is in the set.
    bool containsAnyUpTo(qsizetype pageCount) const;

private:
    std::vector<std::pair<int, int>> m_spans; // first, last (inclusive)
};

} // namespace zembrix
