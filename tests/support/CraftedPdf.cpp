#include "CraftedPdf.h"

#include "Jbig2TestStreams.h"
#include "PdfFixture.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <map>

namespace fixture {

std::string streamObject(const std::string &dictionary, const std::string &data)
{
    return "<< " + dictionary + " /Length " + std::to_string(data.size()) + " >>\nstream\n" + data + "\nendstream";
}

std::string grayImageObject()
{
    return streamObject("/Subtype /Image /Width 2 /Height 2 /BitsPerComponent 8 /ColorSpace /DeviceGray", "\x10\x20\x30\x40");
}

std::string rawPdf(const std::vector<std::pair<int, std::string>> &objects, int misplaced)
{
    std::string pdf = "%PDF-1.7\n", table;
    std::map<int, size_t> at;
    for (const auto &[number, body] : objects) {
        at.emplace(number, pdf.size());
        pdf += std::to_string(number) + " 0 obj\n" + body + "\nendobj\n";
    }
    for (int n = 0; n <= at.rbegin()->first; ++n) {
        char line[32];
        std::snprintf(line, sizeof line, "%010zu %s \n", n == misplaced ? 2 : at.count(n) ? at[n]
                                                                                          : 0,
                      at.count(n) ? "00000 n" : "65535 f");
        table += line;
    }
    return pdf + "xref\n0 " + std::to_string(at.rbegin()->first + 1) + "\n" + table + "trailer\n<< /Size "
           + std::to_string(at.rbegin()->first + 1) + " /Root 1 0 R >>\nstartxref\n" + std::to_string(pdf.size()) + "\n%%EOF\n";
}

std::string rawPage(const std::string &content, const std::string &resources, int levels,
                    std::vector<std::pair<int, std::string>> objects)
{
    objects.push_back({1, "<< /Type /Catalog /Pages 2 0 R >>"});
    for (int n = 2; n < 10 + levels; n = n == 2 ? 10 : n + 1)
        objects.push_back({n, "<< /Type /Pages /Count 1 /Kids [" + std::to_string(n == 2 ? 10 : n + 1) + " 0 R] >>"});
    objects.push_back({10 + levels, "<< /Type /Page /Contents 3 0 R /Resources << " + resources + " >> >>"});
    objects.push_back({3, streamObject("", content)});
    return rawPdf(objects);
}

std::string sevenByNine(int pages)
{
    PdfFixture pdf;
    for (int i = 0; i < pages; ++i)
        pdf.page({{"/I", pdf.image(7, 9, 8, name("DeviceGray"), std::string(63, char(0x40 + i)))}});
    return pdf.write(QString());
}

std::string replaced(std::string pdf, const std::string &from, const std::string &to)
{
    const size_t at = pdf.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    return at == std::string::npos ? pdf : pdf.replace(at, from.size(), to);
}

std::string jbig2Page(int width, int height, const QByteArray &regions)
{
    using namespace jbig2test;
    return (segment(1, PageInformation, 1, pageInformation(width, height)) + regions
            + segment(regions.isEmpty() ? 2 : 3, EndOfPage, 1, {}))
        .toStdString();
}

} // namespace fixture
