#include "export/ExportFormat.h"

#include <gtest/gtest.h>

// The names are what the command line, the preferences and the combo box store, so their
// spelling and order are the contract; the extensions are checked on written files.
TEST(ExportFormat, NameLookups)
{
    EXPECT_EQ(ExportFormat::names(), (QStringList{"JPEG", "JPEG-2000", "TIFF", "PNG", "BMP", "ICNS", "HEIC", "Original"}));
    for (int outside : {-1, ExportFormat::Count}) {
        EXPECT_TRUE(ExportFormat::name(outside).isEmpty());
        EXPECT_TRUE(ExportFormat::extension(outside).isEmpty());
        EXPECT_FALSE(ExportFormat::isValidIndex(outside));
    }
    struct Row {
        const char *name;
        std::optional<int> exact, ignoringCase;
    };
    const Row rows[] = {
        {"PNG", 3, 3},
        {"png", std::nullopt, 3},
        {"Jpeg-2000", std::nullopt, 1},
        {"HEIC", 6, 6},
        {"JPG", std::nullopt, std::nullopt},
        {"JPEG2000", std::nullopt, std::nullopt},
        {" PNG", std::nullopt, std::nullopt},
        {"", std::nullopt, std::nullopt},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        const QString name = QString::fromLatin1(row.name);
        EXPECT_EQ(ExportFormat::indexOfName(name), row.exact);
        EXPECT_EQ(ExportFormat::indexOfNameIgnoringCase(name), row.ignoringCase);
    }
}
