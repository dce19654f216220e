#include "ListField.h"

namespace zembrix {

QString listField(const QString &text)
{
    QString field;
    field.reserve(text.size());
    for (const QChar c : text) {
        if (c == QLatin1Char('\\'))
            field += QLatin1String("\\\\");
        else if (c == QLatin1Char('\t'))
            field += QLatin1String("\\t");
        else if (c == QLatin1Char('\n'))
            field += QLatin1String("\\n");
        else
            field += c;
    }
    return field;
}

} // namespace zembrix
