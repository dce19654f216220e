#include "export/ExportFormat.h"

#include <gtest/gtest.h>

using namespace zembrix;

TEST(ExportFormat, TableOrderNamesAndExtensions)
{
    const QStringList expectedNames{"JPEG", "JPEG-2000", "TIFF", "PNG", "BMP", "ICNS", "HEIC"};
    const QStringList expectedExtensions{"jpeg", "jp2", "tiff", "png", "bmp", "icns", "heic"};
    EXPECT_EQ(ExportFormat::names(), expectedNames);
    for (int i = 0; i < ExportFormat::Count; ++i) {
        EXPECT_EQ(ExportFormat::name(i), expectedNames[i]);
        EXPECT_EQ(ExportFormat::extension(i), expectedExtensions[i]);
        EXPECT_EQ(ExportFormat::indexOfName(expectedNames[i]), i);
    }
    for (int outside : {-1, 7, 1000}) {
        EXPECT_TRUE(ExportFormat::name(outside).isEmpty());
        EXPECT_TRUE(ExportFormat::extension(outside).isEmpty());
        EXPECT_FALSE(ExportFormat::isValidIndex(outside));
    }
}

TEST(ExportFormat, NameLookups)
{
    struct Row {
        const char *name;
        std::optional<int> exact;
        std::optional<int> ignoringCase;
        int withDefault;
    };
    const Row rows[] = {
        {"PNG", 3, 3, 3},
        {"png", std::nullopt, 3, 0},
        {"Jpeg-2000", std::nullopt, 1, 0},
        {"HEIC", 6, 6, 6},
        {"heic", std::nullopt, 6, 0},
        {"JPG", std::nullopt, std::nullopt, 0},
        {"JPEG2000", std::nullopt, std::nullopt, 0},
        {" PNG", std::nullopt, std::nullopt, 0},
        {"", std::nullopt, std::nullopt, 0},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        const QString name = QString::fromLatin1(row.name);
        EXPECT_EQ(ExportFormat::indexOfName(name), row.exact);
        EXPECT_EQ(ExportFormat::indexOfNameIgnoringCase(name), row.ignoringCase);
        EXPECT_EQ(ExportFormat::exportIndexOrDefault(name), row.withDefault);
    }
}
