#include "PdfTestSupport.h"

#include "pdf/PdfDate.h"

using namespace zembrix;

using namespace fixture;

namespace {

// Runs a body with the process time zone set, then puts it back.
template<typename F>
void withTimeZone(const char *tz, F body)
{
    const QByteArray old = qgetenv("TZ");
    qputenv("TZ", tz);
    tzset();
    body();
    qputenv("TZ", old);
    tzset();
}

} // namespace

TEST_F(PdfTest, InfoTextEntriesDatesAndEncryption)
{
    PdfFixture pdf;
    pdf.page({});
    // UTF-16BE with a byte order mark: "Grüße €".
    const std::string utf16("\xfe\xff\x00G\x00r\x00\xfc\x00\xdf\x00"
                            "e\x00 \x20\xac",
                            16);
    pdf.setInfo({{"Title", string(utf16)}, {"Author", string("Ann")}, {"Subject", integer(5)}, {"Producer", string("qpdf")}, {"CreationDate", string("D:20240131120000Z")}, {"ModDate", string("not a date")}});
    WriteOptions options;
    options.encrypt = true;
    const QString file = writeFixture(pdf, QStringLiteral("enc.pdf"), options);

    withTimeZone("UTC", [&] {
        // After the version line: every field in order, entries that are no text left empty.
        EXPECT_EQ(parse(file)->info().section(QLatin1Char('\n'), 1),
                  QString::fromUtf8("    Pages\t\t- 1\n    Encrypted\t- Yes\n    Title\t\t- Grüße €\n    Author\t\t- Ann\n"
                                    "    Subject\t\t- \n    Keywords\t- \n    Creator\t\t- \n    Producer\t- qpdf\n"
                                    "    Created\t- 2024-01-31 12:00:00\n    Modified\t- "));
    });
    withTimeZone("UTC-1", [&] { // POSIX sign: one hour ahead of UTC
        EXPECT_TRUE(parse(file)->info().contains(QStringLiteral("    Created\t- 2024-01-31 13:00:00\n")));
    });

    // A file that needs a password is not opened without it: the text says so, no images.
    options.userPassword = "secret";
    const auto locked = parse(writeFixture(pdf, QStringLiteral("locked.pdf"), options));
    EXPECT_EQ(locked->info(), QStringLiteral("Not read: locked (needs a password)\n"));
    EXPECT_EQ(locked->readStatus().state, PDFFileStruct::ReadStatus::State::Locked);
    EXPECT_FALSE(PdfDocument::open(path(QStringLiteral("locked.pdf"))));
    EXPECT_TRUE(PdfDocument::open(path(QStringLiteral("locked.pdf")), "secret"));
}

TEST(PdfDate, Formats)
{
    const struct {
        const char *text;
        const char *utc; // empty: not a date
    } rows[] = {
        {"D:20240131120000Z", "2024-01-31T12:00:00Z"},
        {"D:20240131120000+01'00'", "2024-01-31T11:00:00Z"},
        {"D:20240131120000-05'30", "2024-01-31T17:30:00Z"},
        {"20240131", "2024-01-31T00:00:00Z"},
        {"D:2024", "2024-01-01T00:00:00Z"},
        {"D:20241301", ""},
        {"D:20240230", ""},
        {"yesterday", ""},
        {"", ""},
    };
    for (const auto &row : rows) {
        const auto date = parsePdfDate(QByteArray(row.text));
        if (!*row.utc) {
            EXPECT_FALSE(date) << row.text;
        } else {
            ASSERT_TRUE(date) << row.text;
            EXPECT_EQ(date->toString(Qt::ISODate), QString::fromLatin1(row.utc)) << row.text;
        }
    }
}
