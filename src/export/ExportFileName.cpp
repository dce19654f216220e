#include "ExportFileName.h"

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
