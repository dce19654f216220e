#pragma once

// Builds small PDF files for tests with the PDF library's object model and
// writer. Objects are made directly, so page trees may be nested, share
// nodes, inherit resources or even loop.

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjectHandle.hh>

#include <QStringList>

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace fixture {

using Obj = QPDFObjectHandle;
using Dict = std::map<std::string, QPDFObjectHandle>;

Obj name(const std::string &n); // "/DeviceRGB" or "DeviceRGB"
Obj integer(long long v);
Obj real(double v);
Obj boolean(bool v);
Obj string(const std::string &bytes); // a literal string of these bytes
Obj array(const std::vector<Obj> &items);
Obj numbers(const std::vector<double> &values); // an array of reals
Obj dict(const Dict &items);

// Encoders for filter fixtures.
std::string flate(const std::string &data);
std::string asciiHex(const std::string &data);
std::string ascii85(const std::string &data);
std::string runLength(const std::string &data);
std::string lzw(const std::string &data, bool earlyChange = true);
// PNG predictor rows (every row with the given PNG filter type 0..4) and the
// TIFF predictor 2, over rows of `columns` pixels of `colors` components.
std::string pngPredict(const std::string &data, int columns, int colors, int bpc, int pngType);
std::string tiffPredict(const std::string &data, int columns, int colors, int bpc);

struct WriteOptions {
    bool encrypt = false;
    std::string userPassword; // "" opens with the empty password
    std::string ownerPassword = "owner";
    bool aes256 = true;
    std::string version; // forced header version ("1.7"); empty = library default
};

class PdfFixture
{
public:
    PdfFixture();

    QPDF &qpdf() { return *m_pdf; }
    Obj catalog();
    Obj pagesRoot();

    // An indirect stream holding exactly these (already encoded) bytes.
    Obj stream(const std::string &bytes, const Dict &dictionary = {});
    // An image XObject: samples are encoded by `filters` (names without
    // slash, applied in order, outermost last in the list as PDF lists them:
    // {"ASCIIHexDecode","FlateDecode"} means the data was flated, then hexed).
    Obj image(int width, int height, int bpc, const Obj &colorSpace, const std::string &samples,
              const std::vector<std::string> &filters = {}, const Dict &extra = {});
    // A form XObject using these XObjects.
    Obj form(const Dict &xobjects, const Dict &extra = {});

    // Pages: appended to a parent's /Kids (the root when parent is null).
    Obj page(const Dict &xobjects, Obj parent = Obj());
    Obj pageTreeNode(Obj parent = Obj(), const Dict &extra = {});
    void setKids(Obj node, const std::vector<Obj> &kids);

    void setInfo(const Dict &entries);

    // Writes the file; returns its bytes too.
    std::string write(const QString &path, const WriteOptions &options = {});

private:
    std::shared_ptr<QPDF> m_pdf;
};

// Writes bytes to a file; false on failure. Reads a whole file; empty on failure.
bool writeFile(const QString &path, const std::string &bytes);
QByteArray readFile(const QString &path);
// The names in a folder, hidden ones and folders too, sorted.
QStringList filesIn(const QString &folder);
// `n` bytes of some runs and some noise, the same on every call.
std::string sampleBytes(size_t n);
// `part` written `times` times.
std::string repeated(const std::string &part, int times);

} // namespace fixture
