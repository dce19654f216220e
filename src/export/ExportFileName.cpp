#include "ExportFileName.h"

#include <QFile>
#include <QStringList>

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

QString fittedFileName(const QString &base, const QString &tail)
{
    const qsizetype budget = kMaxFileNameBytes - QFile::encodeName(tail).size();
    qsizetype used = 0;
    qsizetype end = 0;
    while (end < base.size()) {
        const char16_t unit = base[end].unicode();
        const bool pair = QChar::isHighSurrogate(unit) && end + 1 < base.size() && base[end + 1].isLowSurrogate();
        // UTF-8 lengths; a lone surrogate is written as U+FFFD (3 bytes).
        const qsizetype bytes = pair ? 4 : unit < 0x80 ? 1 : unit < 0x800 ? 2 : 3;
        if (used + bytes > budget)
            break;
        used += bytes;
        end += pair ? 2 : 1;
    }
    return base.left(end) + tail;
}
