#include "PdfTestSupport.h"
#include "pdf/OversizedObjects.h"

#include <QFile>

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFWriter.hh>

using namespace zembrix;

using namespace fixture;

namespace {

// A small gray image told apart by its width.
Obj gray(PdfFixture &pdf, int w, int h = 2)
{
    return pdf.image(w, h, 8, name("DeviceGray"), std::string(size_t(w * h), '\x80'));
}

} // namespace

// Images are found page by page in /Kids order, within a dictionary in key
// order, an image used in a form while the form is analysed, and an image
// shared by pages (or by a page and a form) once, at its first use, with
// the pages that use it.
TEST_F(PdfTest, WalkOrderFormsAndSharing)
{
    PdfFixture pdf;
    Obj shared = gray(pdf, 10);
    Obj a = gray(pdf, 1), b = gray(pdf, 2), c = gray(pdf, 3), d = gray(pdf, 4);
    Obj inForm = gray(pdf, 5);
    Obj form = pdf.form({{"/X1", inForm}, {"/X2", shared}});
    pdf.page({{"/Im2", b}, {"/Im1", a}, {"/Sh", shared}});
    pdf.page({{"/A", form}, {"/B", c}, {"/Sh", shared}});
    pdf.page({{"/Sh", shared}, {"/Z", d}});
    const auto record = parse(writeFixture(pdf));

    // Page 1: /Im1, /Im2, /Sh (sorted keys); page 2: the form's image first,
    // then /B; the shared image is not recorded again anywhere.
    EXPECT_EQ(widths(*record), QList<int>({1, 2, 10, 5, 3, 4}));
    EXPECT_EQ(pages(*record), QList<int>({1, 1, 1, 2, 2, 3}));
    // It knows every page that uses it, the one whose form does included.
    EXPECT_EQ(record->images()[2]->source().pages, QList<int>({1, 2, 3}));
    EXPECT_EQ(record->images()[0]->source().pages, QList<int>({1}));
}

// Nested page tree nodes with inherited resources: the node's resources are
// found with the node's first page; /Parent and /Contents are never taken.
TEST_F(PdfTest, InheritedResourcesAndSkippedEntries)
{
    PdfFixture pdf;
    Obj first = gray(pdf, 1);
    pdf.page({{"/P1", first}});
    Obj inherited = gray(pdf, 3);
    Obj node = pdf.pageTreeNode(Obj(), {{"Resources", dict({{"XObject", dict({{"/Inh", inherited}})}})}});
    Obj second = gray(pdf, 2);
    pdf.page({{"/P2", second}}, node);
    pdf.page({}, node);
    // A content stream that claims to be an image is still never analysed.
    Obj page4 = pdf.page({});
    page4.replaceKey("/Contents", gray(pdf, 7));
    const auto record = parse(writeFixture(pdf));

    EXPECT_EQ(widths(*record), QList<int>({1, 2, 3}));
    EXPECT_EQ(pages(*record), QList<int>({1, 2, 2})); // the inherited one with the node's first page
}

TEST_F(PdfTest, NonImagesMasksAndMissingPages)
{
    PdfFixture pdf;
    Obj smask = gray(pdf, 2);
    Obj masked = pdf.image(2, 2, 8, name("DeviceGray"), std::string(4, '\0'), {}, {{"SMask", smask}});
    // A stream with no /Subtype /Image is not an image.
    Obj thumb = pdf.stream(std::string(4, '\0'), {{"Width", integer(2)}, {"Height", integer(2)}});
    // An image stored under the resource name /SMask is built, never listed.
    Obj hidden = gray(pdf, 3);
    pdf.page({{"/Im", masked}, {"/T", thumb}, {"/SMask", hidden}});
    const auto record = parse(writeFixture(pdf));
    EXPECT_EQ(widths(*record), QList<int>({2}));

    PdfFixture noPages;
    noPages.catalog().removeKey("/Pages");
    EXPECT_TRUE(parse(writeFixture(noPages, QStringLiteral("nopages.pdf")))->images().isEmpty());
}

// A page tree where every level lists the next level twice would have 2^40
// paths; each node is walked once and the walk ends at once. (Trees and forms
// that loop are in the hostile catalogue.)
TEST_F(PdfTest, SharedSubtreesAreWalkedOnce)
{
    PdfFixture pdf;
    Obj img = gray(pdf, 1);
    Obj leaf = pdf.page({{"/I", img}});
    Obj level = leaf;
    for (int i = 0; i < 40; ++i) {
        Obj n = pdf.qpdf().makeIndirectObject(dict({{"Type", name("Pages")}, {"Count", integer(1)}}));
        pdf.setKids(n, {level, level});
        level = n;
    }
    pdf.setKids(pdf.pagesRoot(), {level});
    const auto record = parse(writeFixture(pdf));
    EXPECT_EQ(widths(*record), QList<int>({1}));
}

TEST_F(PdfTest, StopFlagEndsTheWalkAndKeepsWhatWasFound)
{
    PdfFixture pdf;
    for (int i = 0; i < 5; ++i)
        pdf.page({{"/I", gray(pdf, 1)}});
    const QString file = writeFixture(pdf);
    auto shared = std::make_shared<PDFFileStruct>(m_context);
    PDFFileStruct &record = *shared;
    record.setFilePathOnly(file);
    // Not running: nothing is walked.
    record.fillImageListArray(&record);
    EXPECT_TRUE(record.images().isEmpty());
    EXPECT_FALSE(record.info().isEmpty()); // the document was opened and described
    record.setIsThreading(true);
    record.fillImageListArray(&record);
    EXPECT_EQ(record.images().size(), 5);
    EXPECT_TRUE(record.IsValid());
    QFile::remove(file);
    EXPECT_FALSE(record.IsValid());
}

// An object is measured by its text up to "stream" or "endobj", not by its
// data, and the keywords count only as tokens of their own outside strings.
// Inside an object stream, the stream is found, with all it holds.
TEST_F(PdfTest, OversizedObjectsAreMeasuredWithoutParsing)
{
    PdfFixture pdf;
    QPDFObjectHandle tricky = pdf.qpdf().makeIndirectObject(QPDFObjectHandle::newDictionary(
        {{"/Alpha", string("endobj ( stream ) endobj")}, {"/Bstream", name("endobj")}, {"/Pad", string(repeated("x", 400))}}));
    pdf.page({{"/L", gray(pdf, 40, 50)}}).replaceKey("/PieceInfo", tricky);
    const QString path = writeFixture(pdf);
    const QString packed = path + ".packed.pdf";
    {
        QPDF in;
        in.processFile(QFile::encodeName(path).constData());
        const QByteArray packedName = QFile::encodeName(packed); // the writer keeps the pointer
        QPDFWriter writer(in, packedName.constData());
        writer.setObjectStreamMode(qpdf_o_generate);
        writer.write();
    }

    for (const auto &[file, limit] : {std::pair{path, 300}, {path, 1000}, {packed, 300}, {packed, 1000}}) {
        QPDF qpdf;
        qpdf.processFile(QFile::encodeName(file).constData());
        const std::vector<OversizedObject> found = findOversizedObjects(file, qpdf, limit);
        ASSERT_EQ(found.size(), limit == 300 ? 1u : 0u) << limit;
        if (limit == 1000)
            continue;
        EXPECT_GT(found[0].textBytes, limit);
        QPDFObjectHandle object = qpdf.getObject(found[0].number, found[0].generation);
        if (file == path) {
            EXPECT_TRUE(object.hasKey("/Alpha"));
            EXPECT_TRUE(found[0].heldObjects.empty());
        } else {
            EXPECT_TRUE(object.isStream() && object.getDict().getKey("/Type").isNameAndEquals("/ObjStm"));
            EXPECT_GT(found[0].heldObjects.size(), 1u);
        }
    }
}
