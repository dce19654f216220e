#include "images/PDFImageStruct.h"

#include <gtest/gtest.h>

using namespace zembrix;

// Names of the images of report.pdf (or of the PDF named in the row), the "#" runs expanded
// before the first "$" becomes the PDF's name.
TEST(ImageNaming, NamePatternTable)
{
    struct Row {
        QString pattern;
        qint32 value;
        QString name;
        QString pdf = QStringLiteral("report");
    };
    const Row rows[] = {
        {QStringLiteral("$_###"), 41, QStringLiteral("report_041")},
        {QStringLiteral("$_###"), 1234, QStringLiteral("report_1234")},
        {QStringLiteral("img"), 7, QStringLiteral("img7")},
        {QStringLiteral("a#b#c"), 3, QStringLiteral("a03bc")},
        {QStringLiteral("$-$#"), 5, QStringLiteral("report-$5")},
        {QStringLiteral("$_###"), 0, QStringLiteral("we$ird#name_000"), QStringLiteral("we$ird#name")},
        {QStringLiteral("$"), 2, QStringLiteral("##2"), QStringLiteral("##")},
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
        EXPECT_EQ(PDFImageStruct::makeFileImageName(row.pattern, row.pdf, row.value), row.name)
            << row.pattern.toStdString() << " " << row.value;
}
