#include "HostileInputs.h"

#include "CraftedPdf.h"
#include "JpegFixtures.h"

#include <gtest/gtest.h>

#include <random>

using namespace fixture;
using Case = HostileInput;

namespace {

Obj gray(PdfFixture &pdf, int width, int height, int bpc, const std::string &samples, const std::vector<std::string> &filters = {},
         const Dict &extra = {})
{
    return pdf.image(width, height, bpc, name("DeviceGray"), samples, filters, extra);
}

// An image in an indexed space whose base is itself, or another indexed space based on it.
Obj indexedLoop(PdfFixture &pdf, bool twoSpaces)
{
    const auto indexed = [&](const Obj &base) {
        return pdf.qpdf().makeIndirectObject(array({name("Indexed"), base, integer(1), string("\x00\x00\x00\xff\xff\xff")}));
    };
    Obj a = indexed(name("DeviceRGB"));
    Obj b = twoSpaces ? indexed(a) : a;
    a.setArrayItem(1, b);
    return pdf.image(4, 4, 8, b, std::string(16, '\x01'));
}

// Two 4 x 4 RGB images (every pixel 10 20 30) under one square mask of these samples (coded by
// `filters`): a gray soft mask, or a stencil (/ImageMask) when bpc is 1. The pictures have the
// larger of the two sizes, the colour, and in each of their 4 x 4 blocks, row by row, these alpha
// values (read at the blocks' centres).
Case sharedMask(const char *name, int side, int bpc, std::function<std::string()> samples, std::function<int(int)> alpha)
{
    return {name, 2, nullptr,
            [=] {
                PdfFixture pdf;
                const bool stencil = bpc == 1;
                const Obj mask = pdf.image(side, side, stencil ? 0 : bpc, stencil ? Obj::newNull() : fixture::name("DeviceGray"), samples(),
                                           {"FlateDecode", "FlateDecode"}, stencil ? Dict{{"ImageMask", boolean(true)}} : Dict{});
                Dict xobjects;
                for (const char *key : {"/A", "/B"})
                    xobjects[key] = pdf.image(4, 4, 8, fixture::name("DeviceRGB"), repeated("\x0a\x14\x1e", 16), {},
                                              {{stencil ? "Mask" : "SMask", mask}});
                pdf.page(xobjects);
                return pdf.write(QString());
            },
            [=](const QList<QImage> &pictures) {
                for (const QImage &picture : pictures) {
                    const QImage image = picture.convertToFormat(QImage::Format_ARGB32);
                    const int block = std::max(side, 4) / 4;
                    ASSERT_EQ(image.size(), QSize(4 * block, 4 * block));
                    for (int i = 0; i < 16; ++i)
                        EXPECT_EQ(image.pixel(i % 4 * block + block / 2, i / 4 * block + block / 2), qRgba(10, 20, 30, alpha(i))) << i;
                }
            }};
}

} // namespace

std::string fileOf(const HostileInput &input)
{
    if (!input.image)
        return input.file();
    PdfFixture pdf;
    pdf.page({{"/I", input.image(pdf)}});
    return pdf.write(QString());
}

std::vector<HostileInput> hostileInputs()
{
    const std::vector<std::string> twoFlates = {"FlateDecode", "FlateDecode"};
    const std::string samples(64, '\x55');
    const std::string jpeg = encodeJpeg(gradientSamples(64, 64, 3), {.width = 64, .height = 64}).toStdString();
    std::vector<Case> all = {
        // Colour spaces that name themselves, palettes past their lookup (the indices are
        // clamped), an ICC-based space with an impossible /N (laid out from the samples' length,
        // as for any ICC-based space whose profile is not used), a thousand colourants.
        {"IndexedBaseIsItself", 0, [](PdfFixture &pdf) { return indexedLoop(pdf, false); }},
        {"IndexedBasesPointAtEachOther", 0, [](PdfFixture &pdf) { return indexedLoop(pdf, true); }},
        {"IndexedHival100000WithAThreeByteLookup", 1, [=](PdfFixture &pdf) {
             return pdf.image(8, 8, 8, array({name("Indexed"), name("DeviceRGB"), integer(100000), string("\x10\x20\x30")}), samples);
         }},
        {"IccWithN255", 1, [=](PdfFixture &pdf) {
             return pdf.image(8, 8, 8, array({name("ICCBased"), pdf.stream("profile", {{"N", integer(255)}})}), samples);
         }},
        {"DeviceNWith1000Colourants", 0, [=](PdfFixture &pdf) {
             return pdf.image(8, 8, 8, array({name("DeviceN"), array(std::vector<Obj>(1000, name("C"))), name("DeviceGray"), pdf.stream("{pop}", {{"FunctionType", integer(4)}})}), samples);
         }},
        // Large pictures from small files: built at their own size, or refused past the cap.
        {"IndexedExpandingPastTheCap", 0, [=](PdfFixture &pdf) {
             return pdf.image(20000, 20000, 1, array({name("Indexed"), name("DeviceRGB"), integer(1), string(std::string(6, '\x7f'))}),
                              std::string(50000000, '\0'), twoFlates);
         }},
        {"CcittOfHugeSize", 0, [](PdfFixture &pdf) {
             return gray(pdf, 20000, 20000, 1, std::string(64, '\0'), {"CCITTFaxDecode"},
                         {{"DecodeParms", dict({{"K", integer(-1)}, {"Columns", integer(20000)}, {"Rows", integer(20000)}})}});
         }},
        {"LargeGrayImageFromAFewKilobytes", 1, [=](PdfFixture &pdf) { return gray(pdf, 8000, 8000, 8, std::string(64000000, '\0'), twoFlates); }},
        {"SmallJpegDrawnLarge", 1, [=](PdfFixture &pdf) { return gray(pdf, 4000, 4000, 8, jpeg, {"DCTDecode"}); }},
        {"Jbig2OfHugePage", 1, [](PdfFixture &pdf) { return gray(pdf, 20000, 20000, 1, jbig2Page(20000, 20000), {"JBIG2Decode"}); }},
        // A scrambled JPEG scan gives what the decoder makes of it.
        {"JpegScanScrambled", 1, [=](PdfFixture &pdf) {
             std::string j = jpeg;
             std::mt19937 rng(3);
             for (size_t i = j.size() / 2; i + 2 < j.size(); i += 5)
                 j[i] = char(rng());
             return gray(pdf, 64, 64, 8, j, {"DCTDecode"});
         }},
        // A JBIG2 stream naming itself as its own globals: refused, not followed for ever.
        {"Jbig2ThatIsItsOwnGlobals", 1, [](PdfFixture &pdf) {
             Obj image = gray(pdf, 16, 16, 1, jbig2Page(16, 16), {"JBIG2Decode"});
             image.getDict().replaceKey("/DecodeParms", dict({{"JBIG2Globals", image}}));
             return image;
         }},
        // Trees that loop: a page tree node listing the root among its kids, forms drawing each other.
        {"KidsPointBackUp", 1, nullptr, [] {
             PdfFixture pdf;
             Obj node = pdf.pageTreeNode();
             pdf.page({{"/I", gray(pdf, 4, 4, 8, std::string(16, '\x01'))}}, node);
             node.getKey("/Kids").appendItem(pdf.pagesRoot());
             return pdf.write(QString());
         }},
        {"FormsUseEachOther", 1, [](PdfFixture &pdf) {
             Obj a = pdf.form({{"/I", gray(pdf, 4, 4, 8, std::string(16, '\x01'))}});
             Obj b = pdf.form({{"/A", a}});
             a.getDict().getKey("/Resources").getKey("/XObject").replaceKey("/B", b);
             return b;
         }},
        {"ManyNamesOfOneImage", 1, nullptr, [] {
             std::string names;
             for (int i = 0; i < 300000; ++i)
                 names += "/I" + std::to_string(i) + " 4 0 R ";
             return rawPage("", "/XObject << " + names + ">>", 0, {{4, grayImageObject()}});
         }},
        // A table that points the image's number at an older object and the page nowhere: the
        // library rebuilds it from the objects it finds, and the picture is built from the image
        // the walk found.
        {"RepairedTableAndAnOlderObject", 1, nullptr, [] {
             std::string samples;
             for (int i = 0; i < 600 * 600; ++i)
                 samples += char(i % 600 % 251);
             return rawPdf({{3, "<< /Older true >>"}, {1, "<< /Type /Catalog /Pages 2 0 R >>"}, {2, "<< /Type /Pages /Kids [4 0 R] /Count 1 >>"},
                            {4, "<< /Type /Page /Resources << /XObject << /I 3 0 R >> >> >>"},
                            {3, streamObject("/Subtype /Image /Width 600 /Height 600 /BitsPerComponent 8 /ColorSpace /DeviceGray", samples)}}, 4); }, [](const QList<QImage> &pictures) {
             ASSERT_EQ(pictures[0].size(), QSize(600, 600));
             for (int i : {0, 250, 599 * 601})
                 EXPECT_EQ(qGray(pictures[0].pixel(i % 600, i / 600)), i % 600 % 251) << i; }},
        // Damaged files: noise, a length too large, an unknown security handler.
        {"RandomBytes", 0, nullptr, [] {
             std::mt19937 rng(7);
             std::string bytes = "%PDF-1.7\n";
             while (bytes.size() < 8192)
                 bytes += char(rng());
             return bytes;
         }},
        {"LengthTooLarge", 1, nullptr, [] { return replaced(sevenByNine(), "/Length 63", "/Length 99"); }},
        {"UnknownSecurityHandler", 0, nullptr, [] {
             return replaced(sevenByNine(), "trailer <<", "trailer << /Encrypt << /Filter /FooSecurity /V 1 /R 2 >>");
         }},
        // Masks far larger than their two tiny images: a soft mask of blocks of four values and a
        // stencil whose left half is set (removes). (Masks of other sizes: the image
        // construction tests.)
        sharedMask(
            "HugeSoftMaskSharedByTinyImages", 4800, 8, [] {
            std::string row;
            for (int block = 0; block < 4; ++block)
                row += std::string(1200, char(block * 80));
            return repeated(row, 4800); }, [](int i) { return i % 4 * 80; }),
        sharedMask(
            "HugeStencilMaskOnTinyImages", 4800, 1, [] { return repeated(std::string(300, '\xff') + std::string(300, '\0'), 4800); }, [](int i) { return i % 4 < 2 ? 0 : 255; }),
    };
    // A file cut anywhere has lost its trailer, without which it has no root to walk from.
    for (int tenth = 1; tenth < 10; ++tenth)
        all.push_back({"CutAfter" + std::to_string(tenth) + "Tenths", 0, nullptr, [tenth] {
                           const std::string bytes = sevenByNine(3);
                           return bytes.substr(0, bytes.size() * size_t(tenth) / 10);
                       }});
    return all;
}
