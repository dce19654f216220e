#include "RecordingController.h"

#include "images/PDFImageStruct.h"

#include <gtest/gtest.h>

#include <QRegularExpression>
#include <QSet>

TEST(ImageNaming, NamePatternTable)
{
    struct Row {
        QString pattern; // as it reaches the record: the first "$" already replaced
        qint32 value;
        QString name;
    };
    const Row rows[] = {
        {QStringLiteral("report_###"), 41, QStringLiteral("report_041")},
        {QStringLiteral("report_###"), 1234, QStringLiteral("report_1234")},
        {QStringLiteral("img"), 7, QStringLiteral("img7")},
        {QStringLiteral("a#b#c"), 3, QStringLiteral("a03bc")},
        {QStringLiteral("report-$#"), 5, QStringLiteral("report-$5")},
        {QStringLiteral("###"), 2147483647, QStringLiteral("2147483647")},
        {QStringLiteral("##x##"), 12, QStringLiteral("0012x")},
        {QString(), 3, QStringLiteral("3")},
        // Negative values are "%d": padding goes in front of the sign.
        {QStringLiteral("n###"), -5, QStringLiteral("n0-5")},
        {QStringLiteral("n"), -2147483647 - 1, QStringLiteral("n-2147483648")},
        // UTF-16 code units: a character outside the BMP is two units and stays whole on its
        // side of the digits.
        {QStringLiteral("\u00e9t\u00e9_##_\U0001F600"), 7, QStringLiteral("\u00e9t\u00e9_07_\U0001F600")},
    };
    for (const Row &row : rows)
        EXPECT_EQ(PDFImageStruct::makeNamePattern(row.pattern, row.value), row.name) << row.pattern.toStdString() << " " << row.value;
}

TEST(ImageNaming, PatternUpdatesLeaveAHandSetNameAlone)
{
    imagestest::RecordingController controller;
    imagestest::MainControllerScope scope(&controller);
    auto record = PDFImageStruct::create();
    record->setNamePattern1(QStringLiteral("report_###"), 4);
    EXPECT_EQ(record->imagename(), QStringLiteral("report_004"));
    record->setNamePattern1(QStringLiteral("scan"), 4);
    EXPECT_EQ(record->imagename(), QStringLiteral("scan4"));
    record->setChanged(true);
    record->setNamePattern1(QStringLiteral("other_#"), 1);
    EXPECT_EQ(record->imagename(), QStringLiteral("scan4"));
    // Renaming is no edit of the picture.
    EXPECT_EQ(record->imageVersion(), 0u);
    EXPECT_TRUE(controller.undoSteps.empty());
}

TEST(ImageNaming, ImageUidIsTheNameAndAFreshSevenDigitNumber)
{
    auto record = PDFImageStruct::create();
    record->setImagename(QStringLiteral("report_007"));
    const QRegularExpression shape(QStringLiteral("^report_007(\\d{7})$"));
    QSet<qint64> numbers;
    for (int i = 0; i < 200; ++i) {
        const QString uid = record->imageUID();
        const QRegularExpressionMatch match = shape.match(uid);
        ASSERT_TRUE(match.hasMatch()) << uid.toStdString();
        numbers.insert(match.captured(1).toLongLong());
    }
    // 200 draws from nine million values: a repeat is possible, many are not.
    EXPECT_GT(numbers.size(), 190);
    EXPECT_GE(*std::min_element(numbers.begin(), numbers.end()), 1000000);
    // A record without a name gives the bare number.
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^\\d{7}$")).match(PDFImageStruct::create()->imageUID()).hasMatch());
}

TEST(ImageNaming, GenRandomStaysInItsRange)
{
    const std::pair<qint64, qint64> ranges[] = {{1000000, 9999999}, {0, 2}, {-5, 5}, {0, qint64(1) << 40}, {7, 8}};
    for (const auto &[lowest, highest] : ranges) {
        SCOPED_TRACE(std::to_string(lowest) + ".." + std::to_string(highest));
        QSet<qint64> seen;
        for (int i = 0; i < 400; ++i) {
            const qint64 value = PDFImageStruct::genRandom(lowest, highest);
            ASSERT_GE(value, lowest);
            ASSERT_LT(value, highest);
            seen.insert(value);
        }
        // Small ranges are covered, large ones are not stuck on few values.
        EXPECT_GE(seen.size(), highest - lowest <= 10 ? highest - lowest : 390);
    }
    // An empty or reversed range cannot loop forever: it gives the lower bound.
    EXPECT_EQ(PDFImageStruct::genRandom(3, 3), 3);
    EXPECT_EQ(PDFImageStruct::genRandom(10, 5), 10);
}
