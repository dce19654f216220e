#include "PdfTestSupport.h"

#include "JpegFixtures.h"

using namespace zembrix;

using namespace fixture;

namespace {

QRgb px(const QImage &image, int x)
{
    return image.convertToFormat(QImage::Format_ARGB32).pixel(x, 0);
}

struct Case {
    Obj image;
    std::vector<QRgb> expected; // the first row, left to right
    int tolerance = 0;
};

} // namespace

class SpotColourTest : public PdfTest
{
protected:
    static Obj calculator(PdfFixture &pdf, const std::string &program, Obj domain, Obj range)
    {
        return pdf.stream(program, {{"FunctionType", integer(4)}, {"Domain", domain}, {"Range", range}});
    }
    static Obj exponential(Obj c0, Obj c1, double n)
    {
        return dict({{"FunctionType", integer(2)}, {"Domain", numbers({0, 1})}, {"C0", c0}, {"C1", c1}, {"N", real(n)}});
    }
    static Obj separation(Obj alternate, Obj tint) { return array({name("Separation"), name("Spot"), alternate, tint}); }
};

// Every function type as a tint transform, each alternate kind, an Indexed
// lookup over a Separation and JPEG-coded tints, against values worked out by hand.
TEST_F(SpotColourTest, TintTransformsGiveTheAlternateColours)
{
    PdfFixture pdf;
    const Obj unit = numbers({0, 1}), rgbRange = numbers({0, 1, 0, 1, 0, 1});
    const Obj inverse = calculator(pdf, "{ 1 exch sub }", unit, unit);
    const Obj icc3 = pdf.stream("profile", {{"N", integer(3)}});
    // White to blue in two samples; tint 128/255 interpolates to 127.
    const Obj sampledRgb = pdf.stream(bytes({255, 255, 255, 0, 0, 255}),
                                      {{"FunctionType", integer(0)}, {"Domain", unit}, {"Range", rgbRange}, {"Size", array({integer(2)})}, {"BitsPerSample", integer(8)}});
    // Two inputs, exclusive or of the corners.
    const Obj sampledXor = pdf.stream(bytes({0, 255, 255, 0}),
                                      {{"FunctionType", integer(0)}, {"Domain", numbers({0, 1, 0, 1})}, {"Range", unit}, {"Size", array({integer(2), integer(2)})}, {"BitsPerSample", integer(8)}});
    // Up to 0.5 rising, then falling, each half encoded to 0..1.
    const Obj stitched = dict({{"FunctionType", integer(3)}, {"Domain", unit}, {"Functions", array({exponential(numbers({0}), numbers({1}), 1), exponential(numbers({1}), numbers({0}), 1)})}, {"Bounds", numbers({0.5})}, {"Encode", numbers({0, 1, 0, 1})}});
    const Obj twoInks = array({name("DeviceN"), array({name("A"), name("B")}), name("DeviceRGB"),
                               calculator(pdf, "{ exch dup 0.5 gt { pop 1 } { 2 mul } ifelse exch 0 }", numbers({0, 1, 0, 1}), rgbRange)});
    const QByteArray coded = encodeJpeg(QByteArray(64, char(200)), {.width = 8, .height = 8, .storage = JpegStorage::Gray});

    const QRgb white = qRgb(255, 255, 255), black = qRgb(0, 0, 0);
    const std::vector<Case> cases = {
        // Magenta to the power 2: 128/255 squared is 64/255 of magenta.
        {pdf.image(3, 1, 8, separation(name("DeviceCMYK"), exponential(numbers({0, 0, 0, 0}), numbers({0, 1, 0, 0}), 2)),
                   bytes({0, 255, 128}), {"FlateDecode"}),
         {white, qRgb(255, 0, 255), qRgb(255, 191, 255)}},
        // 4-bit tints 0, 15, 8, 0 inverted into gray.
        {pdf.image(4, 1, 4, separation(name("DeviceGray"), inverse), bytes({0x0F, 0x80})), {white, black, qRgb(119, 119, 119), white}},
        {pdf.image(2, 1, 8, twoInks, bytes({51, 255, 204, 0})), {qRgb(102, 255, 0), qRgb(255, 0, 0)}},
        {pdf.image(3, 1, 8, separation(array({name("ICCBased"), icc3}), sampledRgb), bytes({0, 255, 128})),
         {white, qRgb(0, 0, 255), qRgb(127, 127, 255)}},
        {pdf.image(3, 1, 8, array({name("DeviceN"), array({name("A"), name("B")}), name("DeviceGray"), sampledXor}),
                   bytes({255, 0, 255, 255, 0, 255})),
         {white, black, white}},
        {pdf.image(4, 1, 8, separation(name("DeviceGray"), stitched), bytes({51, 204, 255, 127})),
         {qRgb(102, 102, 102), qRgb(102, 102, 102), black, qRgb(254, 254, 254)}},
        // 16-bit tints, and a /Decode array that reverses them before the tint.
        {pdf.image(3, 1, 16, separation(name("DeviceGray"), inverse), bytes({0, 0, 255, 255, 128, 0})),
         {white, black, qRgb(127, 127, 127)}},
        {pdf.image(3, 1, 8, separation(name("DeviceGray"), inverse), bytes({0, 255, 100}), {},
                   {{"Decode", array({integer(1), integer(0)})}}),
         {black, white, qRgb(100, 100, 100)}},
        // L* from 100 down to 0 in a Lab alternate.
        {pdf.image(2, 1, 8, separation(array({name("Lab"), dict({{"WhitePoint", numbers({0.9642, 1, 0.8249})}})}), exponential(numbers({100, 0, 0}), numbers({0, 0, 0}), 1)),
                   bytes({0, 255})),
         {white, black},
         5},
        // Indexed entries go through the tint: index 1 is full ink (black), 0 none.
        {pdf.image(2, 1, 8, array({name("Indexed"), separation(name("DeviceGray"), inverse), integer(1), string(bytes({0, 255}))}),
                   bytes({1, 0})),
         {black, white}},
        // Coded tint 200 inverted: 55.
        {pdf.image(8, 8, 8, separation(name("DeviceGray"), inverse), std::string(coded.constData(), size_t(coded.size())),
                   {"DCTDecode"}),
         {qRgb(55, 55, 55)},
         2},
    };
    std::vector<Obj> images;
    for (const Case &c : cases)
        images.push_back(c.image);
    auto record = parsePage(pdf, images);
    ASSERT_EQ(record->images().size(), qsizetype(cases.size()));
    for (size_t i = 0; i < cases.size(); ++i) {
        const QImage picture = record->images()[qsizetype(i)]->image();
        for (size_t x = 0; x < cases[i].expected.size(); ++x) {
            const QRgb got = px(picture, int(x)), want = cases[i].expected[x];
            EXPECT_NEAR(qRed(got), qRed(want), cases[i].tolerance) << "image " << i << " x " << x;
            EXPECT_NEAR(qGreen(got), qGreen(want), cases[i].tolerance) << "image " << i << " x " << x;
            EXPECT_NEAR(qBlue(got), qBlue(want), cases[i].tolerance) << "image " << i << " x " << x;
        }
    }
}

// Hostile tint transforms are refused quickly; the good image beside them stays.
TEST_F(SpotColourTest, HostileTintTransformsAreDropped)
{
    PdfFixture pdf;
    const Obj unit = numbers({0, 1});
    const std::string deepStack = "{" + repeated(" dup", 200), manyOperators = "{ true {" + repeated(" dup pop", 6000),
                      nested = "{" + repeated(" true {", 5000) + repeated(" } if", 5000);
    Obj shortTable = pdf.stream(std::string(10, '\x7f'), {{"FunctionType", integer(0)}, {"Domain", unit}, {"Range", unit}, {"Size", array({integer(1000)})}, {"BitsPerSample", integer(8)}});
    // A stitching function that lists itself, fifty times over.
    Obj self = pdf.stream("", {{"FunctionType", integer(3)}, {"Domain", unit}});
    std::vector<Obj> copies(50, self);
    std::vector<double> bounds, encode;
    for (int i = 0; i < 100; ++i) {
        encode.push_back(i % 2);
        if (i > 0 && i < 50)
            bounds.push_back(i / 50.0);
    }
    self.getDict().replaceKey("/Functions", array(copies));
    self.getDict().replaceKey("/Bounds", numbers(bounds));
    self.getDict().replaceKey("/Encode", numbers(encode));
    std::vector<Obj> tints = {calculator(pdf, deepStack, unit, unit), calculator(pdf, manyOperators + " } if }", unit, unit),
                              calculator(pdf, nested + " }", unit, unit), shortTable, self};
    std::vector<Obj> images;
    for (const Obj &tint : tints)
        images.push_back(pdf.image(2, 1, 8, separation(name("DeviceGray"), tint), bytes({0, 255})));
    images.push_back(pdf.image(2, 1, 8, separation(name("DeviceGray"), calculator(pdf, "{ 1 exch sub }", unit, unit)),
                               bytes({0, 255})));
    auto record = parsePage(pdf, images);
    ASSERT_EQ(record->images().size(), 1);
    EXPECT_EQ(record->skippedImages().size(), qsizetype(tints.size()));
    EXPECT_EQ(px(record->images()[0]->image(), 0), qRgb(255, 255, 255));
    EXPECT_EQ(px(record->images()[0]->image(), 1), qRgb(0, 0, 0));
}
