#include "ExportFileName.h"

#include <QFile>
#include <QStringList>

#include <algorithm>
#include <utility>

namespace zembrix {

namespace {

bool isDotsOnly(const QString &name)
{
    return name.isEmpty() || name == QLatin1String(".") || name == QLatin1String("..");
}

} // namespace

QString exportFileName(const QString &imageName)
{
    QString name = imageName;
    name.remove(QChar(0));
    const QStringList components = name.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    QString last = components.isEmpty() ? QString() : components.last();
    if (isDotsOnly(last)) {
        last = name;
        last.replace(QLatin1Char('/'), QLatin1Char('_')).replace(QLatin1Char('.'), QLatin1Char('_'));
        if (last.isEmpty())
            last = QStringLiteral("_");
    }
    return last;
}

namespace {

// UTF-8 bytes of the code point at `i` (a lone surrogate is written as U+FFFD)
// and its length in code units.
std::pair<qsizetype, qsizetype> codePointAt(const QString &text, qsizetype i)
{
    const char16_t unit = text[i].unicode();
    if (QChar::isHighSurrogate(unit) && i + 1 < text.size() && text[i + 1].isLowSurrogate())
        return {4, 2};
    return {unit < 0x80 ? 1 : unit < 0x800 ? 2 : 3, 1};
}

// The longest start of `text` that takes at most `budget` bytes.
QString startWithin(const QString &text, qsizetype budget)
{
    qsizetype used = 0, end = 0;
    while (end < text.size()) {
        const auto [bytes, units] = codePointAt(text, end);
        if (used + bytes > budget)
            break;
        used += bytes;
        end += units;
    }
    return text.left(end);
}

} // namespace

QString fittedFileName(const QString &base, const QString &tail)
{
    const qsizetype budget = kMaxFileNameBytes - QFile::encodeName(tail).size();
    if (QFile::encodeName(base).size() <= budget)
        return base + tail;
    // The end of a name tells images apart (the number of "$_###"): the cut
    // is made before its last characters and marked with an ellipsis.
    constexpr qsizetype kKeptEnd = 16;
    qsizetype endStart = std::max<qsizetype>(0, base.size() - kKeptEnd);
    if (endStart > 0 && base[endStart].isLowSurrogate())
        --endStart;
    const QString end = base.mid(endStart);
    const QString mark = QStringLiteral("\u2026");
    const qsizetype startBudget = budget - QFile::encodeName(end + mark).size();
    if (startBudget < 0)
        return startWithin(base, budget) + tail;
    return startWithin(base.left(endStart), startBudget) + mark + end + tail;
}

} // namespace zembrix
