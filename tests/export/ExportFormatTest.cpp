#include "export/ExportFormat.h"

#include <gtest/gtest.h>

using namespace zembrix;

// The names are what the command line, the preferences and the combo box store, so their
// spelling and order are the contract, as are the extensions the export files get.
TEST(ExportFormat, NameLookups)
{
    EXPECT_EQ(ExportFormat::names(), (QStringList{"JPEG", "JPEG-2000", "TIFF", "PNG", "BMP", "ICNS", "HEIC", "Original"}));
    const QStringList extensions = {"jpeg", "jp2", "tiff", "png", "bmp", "icns", "heic"};
    for (int format = 0; format < int(extensions.size()); ++format)
        EXPECT_EQ(ExportFormat::extension(format), extensions[format]);
    for (int outside : {-1, ExportFormat::Count}) {
        EXPECT_TRUE(ExportFormat::name(outside).isEmpty());
        EXPECT_TRUE(ExportFormat::extension(outside).isEmpty());
        EXPECT_FALSE(ExportFormat::isValidIndex(outside));
    }
    // Names are matched whole; the command line also takes them in any case.
    EXPECT_EQ(ExportFormat::indexOfName(u"PNG"), 3);
    EXPECT_EQ(ExportFormat::indexOfName(u"png"), std::nullopt);
    EXPECT_EQ(ExportFormat::indexOfNameIgnoringCase(u"Jpeg-2000"), 1);
    for (const char *name : {"JPG", "JPEG2000", " PNG", ""})
        EXPECT_EQ(ExportFormat::indexOfNameIgnoringCase(QString::fromLatin1(name)), std::nullopt) << name;
}
