#include "images/PDFImageStruct.h"

namespace zembrix {

QString PDFImageStruct::makeNamePattern(const QString &pattern, qint32 value)
{
    QString prefix;
    QString suffix;
    qsizetype width = 0;
    for (const QChar unit : pattern) {
        if (unit == u'#')
            ++width;
        else if (width == 0)
            prefix.append(unit);
        else
            suffix.append(unit);
    }

    // A negative value keeps its "-" in front of the digits, and padding goes
    // in front of the "-": width 3 and -5 give "0-5".
    QString digits = QString::number(value);
    if (width == 0)
        return pattern + digits;
    if (digits.size() < width)
        digits.prepend(QString(width - digits.size(), u'0'));
    return prefix + digits + suffix;
}

void PDFImageStruct::setNamePattern1(const QString &pattern, qint32 value)
{
    if (!changed())
        setImagename(makeNamePattern(pattern, value));
}

QString PDFImageStruct::makeFileImageName(const QString &filePattern, const QString &fileBase, qint32 value)
{
    // The digits hold no "$", and "#" removal keeps the order of the rest:
    // the first "$" of the result is the pattern's first "$".
    QString name = makeNamePattern(filePattern, value);
    const qsizetype dollar = name.indexOf(QLatin1Char('$'));
    return dollar < 0 ? name : name.replace(dollar, 1, fileBase);
}

QString PDFImageStruct::namePatternProblem(const QString &pattern)
{
    if (pattern.contains(QLatin1Char('/')))
        return QStringLiteral(
            "a name pattern cannot contain \"/\": image names are file names inside the export folder");
    return {};
}

} // namespace zembrix
