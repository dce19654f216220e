#include "PdfTestSupport.h"

#include "pdf/OstrelNode.h"

using namespace fixture;

// The walk reads numeric entries through their printed value.
TEST(LeadingInteger, ReadsLikeNumericEntries)
{
    const struct {
        const char *text;
        std::int32_t value;
    } rows[] = {{"100", 100}, {"1e+08", 1}, {"  -7x", -7}, {"/Name", 0}, {"", 0}, {"99999999999", INT_MAX},
                {"-99999999999", INT_MIN}, {"+3", 3}, {"12.9", 12}};
    for (const auto &row : rows)
        EXPECT_EQ(leadingInteger(QString::fromLatin1(row.text)), row.value) << row.text;
}
