#include "ExportFormat.h"

#include <array>

namespace zembrix {

namespace ExportFormat {

namespace {

struct FormatEntry {
    const char *name;
    const char *extension;
};

constexpr std::array<FormatEntry, Count> kFormats{{
    {"JPEG", "jpeg"},
    {"JPEG-2000", "jp2"},
    {"TIFF", "tiff"},
    {"PNG", "png"},
    {"BMP", "bmp"},
    {"ICNS", "icns"},
    {"HEIC", "heic"},
    {"Original", ""},
}};

std::optional<int> findName(QStringView name, Qt::CaseSensitivity cs)
{
    for (int i = 0; i < Count; ++i) {
        if (name.compare(QLatin1String(kFormats[i].name), cs) == 0)
            return i;
    }
    return std::nullopt;
}

} // namespace

QStringList names()
{
    QStringList list;
    list.reserve(Count);
    for (const FormatEntry &entry : kFormats)
        list.append(QLatin1String(entry.name));
    return list;
}

bool isValidIndex(int index)
{
    return index >= 0 && index < Count;
}

QString name(int index)
{
    return isValidIndex(index) ? QString::fromLatin1(kFormats[index].name) : QString();
}

QString extension(int index)
{
    return isValidIndex(index) ? QString::fromLatin1(kFormats[index].extension) : QString();
}

QStringList originalExtensions()
{
    return {QStringLiteral("jpg"), QStringLiteral("jp2"), QStringLiteral("j2k"), QStringLiteral("tif"),
            QStringLiteral("png")};
}

std::optional<int> indexOfName(QStringView name)
{
    return findName(name, Qt::CaseSensitive);
}

std::optional<int> indexOfNameIgnoringCase(QStringView name)
{
    return findName(name, Qt::CaseInsensitive);
}

} // namespace ExportFormat

} // namespace zembrix
