#include "PdfTestSupport.h"

#include "RecordingEvents.h"
#include "WaitUntil.h"

#include <mutex>

using namespace zembrix;

using namespace fixture;

class BackgroundParsingTest : public PdfTest
{
protected:
    // Parses hold their records; wait for them before the events go away.
    void TearDown() override
    {
        waitUntil([&] { return events.runningParses() == 0; });
    }
    QString fivePages(const QString &fileName)
    {
        PdfFixture pdf;
        for (int i = 0; i < 5; ++i)
            pdf.page({{"/I", pdf.image(i + 1, 1, 8, name("DeviceGray"), std::string(size_t(i + 1), '\0'))}});
        return writeFixture(pdf, fileName);
    }
    std::shared_ptr<PDFFileStruct> newRecord(const QString &file, int pauseMs = 50)
    {
        auto record = std::make_shared<PDFFileStruct>(events.context());
        record->setParsePause(std::chrono::milliseconds(pauseMs));
        record->setNamePatternDirect(QStringLiteral("$_###"));
        record->setFilePath(file);
        return record;
    }
    RecordingEvents events;
};

TEST_F(BackgroundParsingTest, OneParsePerRecordAndTheLastThreadUpdatesTheTools)
{
    auto a = newRecord(fivePages("a.pdf"), 200);
    auto b = newRecord(fivePages("b.pdf"), 250);
    a->threadFillImageList(); // already running: nothing happens
    EXPECT_TRUE(a->isThreading());
    ASSERT_TRUE(waitUntil([&] { return !a->isThreading() && !b->isThreading() && events.runningParses() == 0; }));
    EXPECT_EQ(a->imageCount(), 5);
    EXPECT_EQ(b->imageCount(), 5);
    EXPECT_EQ(events.openBusyPeriods(), 0);
    EXPECT_EQ(events.toolsUpdates(), 1); // by the last parse to end
    EXPECT_TRUE(a->info().contains(QStringLiteral("Pages\t\t- 5")));
}

// A stop after the second image keeps two; a reparse started while the
// stopped parse may still be finishing runs to the end with all five.
TEST_F(BackgroundParsingTest, StopAndReparse)
{
    std::shared_ptr<PDFFileStruct> record;
    events.setOnImage([&] {
        if (record && record->imageCount() == 2)
            record->setIsThreading(false);
    });
    record = newRecord(fivePages("s.pdf"));
    ASSERT_TRUE(waitUntil([&] { return !record->isThreading() && events.runningParses() == 0; }));
    EXPECT_EQ(record->imageCount(), 2);
    events.setOnImage(nullptr);
    record->reparse();
    EXPECT_TRUE(record->isThreading());
    ASSERT_TRUE(waitUntil([&] { return !record->isThreading() && events.runningParses() == 0; }));
    EXPECT_EQ(record->imageCount(), 5);

    // Stop, then reparse at once, many times: the old thread never ends the
    // new parse, and every new parse finds everything.
    for (int round = 0; round < 5; ++round) {
        record->setIsThreading(false);
        record->reparse();
        ASSERT_TRUE(waitUntil([&] { return !record->isThreading() && events.runningParses() == 0; }));
        EXPECT_EQ(record->imageCount(), 5) << round;
    }
}

TEST_F(BackgroundParsingTest, PatternsAndMalformedSavedForms)
{
    auto record = newRecord(fivePages("scan 01.pdf"));
    ASSERT_TRUE(waitUntil([&] { return !record->isThreading() && events.runningParses() == 0; }));
    EXPECT_EQ(record->parsePatternNameFor$(), QStringLiteral("scan 01_###"));
    EXPECT_EQ(record->images()[4]->imagename(), QStringLiteral("scan 01_004"));

    record->setNamePattern(QStringLiteral("pic-$-#"));
    EXPECT_EQ(record->images()[3]->imagename(), QStringLiteral("pic-scan 01-3"));
    auto dotted = std::make_shared<PDFFileStruct>(m_context);
    dotted->setFilePathOnly(path("report.final.pdf"));
    dotted->setNamePatternDirect(QStringLiteral("$_$"));
    EXPECT_EQ(dotted->parsePatternNameFor$(), QStringLiteral("report.final_$"));

    // Malformed saved forms restore nothing and start nothing.
    for (const QVariant &bad : {QVariant(), QVariant(QStringLiteral("x")), QVariant(QVariantList{}),
                                QVariant(QVariantList{QVariantMap{{"PDF_FILE", QByteArray("junk")}}}),
                                QVariant(QVariantList{QVariantMap{{"PDF_FILE", QByteArray("\0\0\0\2\x7f\xff\xff\xf0"
                                                                                          "ab",
                                                                                          10)}}})}) {
        auto r = std::make_shared<PDFFileStruct>(m_context);
        r->readPref(bad);
        EXPECT_TRUE(r->filePath().isEmpty());
        EXPECT_FALSE(r->isThreading());
    }
}

// More parses than may hold workers at once, each stopped in its long pause: the pause ends at
// once, the waiting parses run after the others, and every read ends stopped where it began.
TEST_F(BackgroundParsingTest, StoppedPausesEndAtOnceAndWaitingParsesRun)
{
    std::vector<std::shared_ptr<PDFFileStruct>> records;
    for (int i = 0; i < CoreContext::parsesAtOnce() + 2; ++i)
        records.push_back(newRecord(fivePages(QStringLiteral("p%1.pdf").arg(i)), 600000));
    for (const auto &record : records)
        record->setIsThreading(false);
    ASSERT_TRUE(waitUntil([&] { return events.runningParses() == 0; }, 10000));
    for (const auto &record : records) {
        EXPECT_EQ(record->readStatus().state, PDFFileStruct::ReadStatus::State::Stopped);
        EXPECT_EQ(record->imageCount(), 0);
    }
}
