#include "AppTestSupport.h"

#include "Controller.h"
#include "ExportSettings.h"
#include "Preferences.h"
#include "ThumbnailModel.h"

#include "export/ExportResolution.h"
#include "images/PDFImageStruct.h"
#include "pdf/PDFFileStruct.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace zembrix;

using apptest::waitUntil;

namespace {

QVariant savedForm(const QString &path, const QString &pattern)
{
    auto file = std::make_shared<PDFFileStruct>(nullptr);
    file->setFilePathOnly(path);
    file->setNamePatternDirect(pattern);
    return file->savePref();
}

TEST(Preferences, RoundTripThroughAFile)
{
    QTemporaryDir dir;
    const QString file = dir.filePath("prefs.ini");
    {
        Preferences first(file);
        EXPECT_FALSE(first.read().filesPresent); // no file yet: the defaults
        StoredPreferences values;
        values.savedFiles = {savedForm("/x/scan 01.pdf", "$_###"), savedForm("/y/b.pdf", "img#")};
        values.exportFolder = "/tmp/out";
        values.zoomIdx = 2;
        values.exportFormat = "TIFF";
        values.dpi = 150;
        values.bookmarks = {"/tmp/out"};
        first.write(values);
        // Quitting again without a folder leaves the stored one.
        values.exportFolder.reset();
        first.write(values);
    }
    const StoredPreferences back = Preferences(file).read();
    ASSERT_TRUE(back.filesPresent);
    ASSERT_EQ(back.savedFiles.size(), 2);
    auto restored = std::make_shared<PDFFileStruct>(nullptr);
    restored->setParsePause(std::chrono::milliseconds(0));
    restored->readPref(back.savedFiles[1]);
    EXPECT_EQ(restored->filePath(), "/y/b.pdf");
    EXPECT_EQ(restored->namePattern(), "img#");
    ASSERT_TRUE(waitUntil([&] { return !restored->isThreading(); }));
    EXPECT_EQ(back.exportFolder.value_or(""), "/tmp/out");
    EXPECT_EQ(back.zoomIdx, 2);
    EXPECT_EQ(back.exportFormat, "TIFF");
    EXPECT_EQ(back.dpi, 150.0f);
}

// Damaged or foreign stores fall back to the defaults, key by key.
TEST(Preferences, DamagedStoresGiveDefaults)
{
    struct Case {
        const char *name;
        QByteArray content;
        bool filesPresent;
        int files;
        int zoom;
        float dpi;
    };
    const QByteArray binary = QByteArray::fromStdString(fixture::sampleBytes(4096));
    const Case cases[] = {
        {"binary garbage", binary, false, 0, 0, 72.0f},
        {"array with an absurd count", "[PDF_FILES]\nPDF_FILES_ARRAY=@ByteArray(\\xff\\xff\\xff\\xf0\\0\\0\\0\\x1)\n",
         true, 0, 0, 300.0f},
        {"array cut short", "[PDF_FILES]\nPDF_FILES_ARRAY=@ByteArray(\\0\\0\\0\\x2\\0\\0\\0\\x10abc)\n", true, 0, 0, 300.0f},
        {"values of the wrong kind",
         "[General]\nLIST_ZOOM=large\nEXP_DPI=abc\nEXP_FORMAT=GIF\n[PDF_FILES]\nPDF_FILES_ARRAY=7\n", true, 0, 0, 72.0f},
        {"a streamed list claiming four billion entries",
         "[General]\nEXP_DPI=@Variant(\\0\\0\\0\\t\\0\\xff\\xff\\xff\\xff)\n[PDF_FILES]\nPDF_FILES_ARRAY=@ByteArray()\n", true,
         0, 0, 72.0f},
    };
    for (const Case &c : cases) {
        QTemporaryDir dir;
        const QString path = dir.filePath("prefs.ini");
        ASSERT_TRUE(fixture::writeFile(path, c.content.toStdString()));
        const StoredPreferences values = Preferences(path).read();
        EXPECT_EQ(values.filesPresent, c.filesPresent) << c.name;
        EXPECT_EQ(values.savedFiles.size(), c.files) << c.name;
        EXPECT_EQ(values.zoomIdx, c.zoom) << c.name;
        EXPECT_EQ(values.dpi, c.dpi) << c.name;
        EXPECT_EQ(values.exportFormat, "PNG") << c.name;
    }
}

// A stored file deleted meanwhile does not come back; the other does,
// checked, parsed again under its own pattern.
TEST(Preferences, RestoreDropsMissingFiles)
{
    QTemporaryDir dir;
    const QString kept = dir.filePath("kept.pdf");
    apptest::writePdf(kept, 2);
    const QString store = dir.filePath("prefs.ini");
    {
        StoredPreferences values;
        values.savedFiles = {savedForm(dir.filePath("gone.pdf"), "$_###"), savedForm(kept, "scan_##")};
        values.zoomIdx = 1;
        Preferences(store).write(values);
    }
    Controller controller;
    controller.setParsePause(std::chrono::milliseconds(0));
    Preferences preferences(store);
    controller.awakeFromNib(preferences);
    ASSERT_EQ(controller.pdfFiles().size(), 1);
    const auto file = controller.pdfFiles().first();
    EXPECT_TRUE(file->IsSelected());
    ASSERT_TRUE(waitUntil([&] { return !file->isThreading() && controller.thumbnailModel()->rowCount() == 2; }));
    EXPECT_EQ(file->images().at(1)->imagename(), "scan_01");
    EXPECT_EQ(controller.dpi(), 72.0f);
    EXPECT_EQ(controller.zoomIdx(), 1);
    EXPECT_TRUE(controller.actions()->zoomMiddle->isChecked());
}

TEST(ExportSettings, ResolutionFieldChecksTypedValues)
{
    using E = ExportSettings::DpiEdit;
    struct Case {
        const char *text;
        E edit;
        float dpiAfter; // starting from 150
    };
    const Case cases[] = {{"300", E::Apply, 300}, {"96 dpi", E::Apply, 96}, {"50", E::SelectFirst, 72}, {"5000", E::ShowMaximum, 3600}, {"abc", E::ShowCurrent, 150}, {"-4", E::ShowCurrent, 150}, {"Auto", E::Apply, kPlacedDpi}};
    for (const Case &c : cases) {
        EXPECT_EQ(ExportSettings::classifyDpiText(c.text), c.edit) << c.text;
        Controller controller;
        controller.setDpi(150);
        controller.dpiEdited(c.text);
        EXPECT_EQ(controller.dpi(), c.dpiAfter) << c.text;
    }
    EXPECT_EQ(ExportSettings::dpiChoiceIndex(150), 1);
    EXPECT_EQ(ExportSettings::dpiChoiceIndex(96), -1);
    EXPECT_EQ(ExportSettings::dpiChoiceIndex(kPlacedDpi), 4); // appended: the stored indexes keep their meaning
    EXPECT_EQ(ExportSettings::dpiText(96.7f), "96");
}

} // namespace
