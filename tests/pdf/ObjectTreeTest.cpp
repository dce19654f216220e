#include "PdfTestSupport.h"

#include "pdf/OstrelDataSource.h"

using namespace fixture;

namespace {

OstrelNode *child(OstrelNode *node, const QString &name)
{
    const OstrelNode::ChildList *kids = node ? node->children() : nullptr;
    if (!kids)
        return nullptr;
    for (const auto &c : *kids)
        if (c->name() == name)
            return c.get();
    return nullptr;
}

} // namespace

TEST_F(PdfTest, NodesNamesValuesAndChildren)
{
    PdfFixture pdf;
    Obj shared = pdf.qpdf().makeIndirectObject(dict({{"K", integer(1)}}));
    pdf.catalog().replaceKey("/Test", dict({
        {"Name", name("Image")}, {"Real", real(0.5)}, {"True", boolean(true)},
        {"Int", integer(-42)}, {"Null", QPDFObjectHandle::newNull()}, {"Str", string("ab\xe9")},
        {"Empty", dict({})}, {"EmptyArr", array({})}, {"Arr", array({integer(1), name("X"), shared})},
        {"Shared", shared},
    }));
    auto source = OstrelDataSource::initWithPdfDocument(PdfDocument::open(writeFixture(pdf)));
    ASSERT_TRUE(source);
    OstrelNode *root = source->getRoot();
    EXPECT_EQ(root->type(), PdfTypeDictionary);
    EXPECT_TRUE(root->name().isNull());
    OstrelNode *test = child(root, QStringLiteral("/Test"));
    ASSERT_TRUE(test);

    const struct {
        const char *name;
        int type;
        const char *value;
    } rows[] = {
        {"/Name", PdfTypeName, "/Image"},  {"/Real", PdfTypeReal, "0.5"},
        {"/True", PdfTypeBoolean, "true"}, {"/Int", PdfTypeInteger, "-42"},   {"/Str", PdfTypeString, "ab\u00e9"},
        {"/Empty", PdfTypeDictionary, ""}, {"/Arr", PdfTypeArray, ""},
    };
    for (const auto &row : rows) {
        OstrelNode *n = child(test, QString::fromLatin1(row.name));
        ASSERT_TRUE(n) << row.name;
        EXPECT_EQ(n->type(), row.type) << row.name;
        EXPECT_EQ(n->value(), QString::fromUtf8(row.value)) << row.name;
    }
    // Scalars have no child list; containers keep the one they built.
    EXPECT_EQ(child(test, QStringLiteral("/Int"))->children(), nullptr);
    const auto *empty = child(test, QStringLiteral("/Empty"))->children();
    ASSERT_TRUE(empty);
    EXPECT_TRUE(empty->empty());
    EXPECT_EQ(child(test, QStringLiteral("/Empty"))->children(), empty);

    OstrelNode *arr = child(test, QStringLiteral("/Arr"));
    QStringList names;
    for (const auto &c : *arr->children())
        names << c->name();
    EXPECT_EQ(names, QStringList({"0", "1", "2"}));
    // The same indirect object reached twice has the same identity.
    EXPECT_EQ((*arr->children())[2]->object2Name(), child(test, QStringLiteral("/Shared"))->object2Name());
    EXPECT_TRUE(child(test, QStringLiteral("/Shared"))->object2Name().endsWith(QStringLiteral(" 0")));
    EXPECT_NE((*arr->children())[2]->object2Name(), child(test, QStringLiteral("/Empty"))->object2Name());
}

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
