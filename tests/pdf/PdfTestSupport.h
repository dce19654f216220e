#pragma once

#include "PdfFixture.h"
#include "images/CoreContext.h"
#include "pdf/PDFFileStruct.h"

#include <QStringList>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace zembrix;

// A fresh temporary folder per test, and helpers to walk a written fixture.
class PdfTest : public ::testing::Test
{
protected:
    QString path(const QString &fileName) const { return m_dir.filePath(fileName); }

    QString writeFixture(fixture::PdfFixture &pdf, const QString &fileName = QStringLiteral("f.pdf"),
                         const fixture::WriteOptions &options = {})
    {
        const QString p = path(fileName);
        pdf.write(p, options);
        return p;
    }

    // Parses a file synchronously and gives the record; `keepsReducedCopies` false parses as the
    // headless modes do.
    std::shared_ptr<PDFFileStruct> parse(const QString &file, bool keepsReducedCopies = true, bool colorManaged = true)
    {
        auto record = std::make_shared<PDFFileStruct>(m_context);
        record->setColorManaged(colorManaged);
        record->setNamePatternDirect(QStringLiteral("$_###"));
        record->setFilePathOnly(file);
        record->setKeepsReducedCopies(keepsReducedCopies);
        record->setIsThreading(true);
        record->fillImageListArray(record.get());
        record->setIsThreading(false);
        return record;
    }

    // One page holding the given images, which the walk finds in this order;
    // parsed with the plain colour formulas unless `colorManaged`.
    std::shared_ptr<PDFFileStruct> parsePage(fixture::PdfFixture &pdf, const std::vector<fixture::Obj> &images,
                                             bool colorManaged = false)
    {
        fixture::Dict xobjects;
        for (size_t i = 0; i < images.size(); ++i)
            xobjects["/I" + std::to_string(100 + i)] = images[i];
        pdf.page(xobjects);
        return parse(writeFixture(pdf), true, colorManaged);
    }

    // The writer renumbers objects, so fixtures tell their images apart by
    // width: the widths of the found images, in order.
    static QList<int> widths(const PDFFileStruct &record)
    {
        QList<int> w;
        for (const auto &image : record.images())
            w << int(image->source().width);
        return w;
    }
    static QList<int> pages(const PDFFileStruct &record)
    {
        QList<int> p;
        for (const auto &image : record.images())
            p << image->source().page;
        return p;
    }

    static std::string toStd(const QByteArray &a) { return a.toStdString(); }
    static std::string bytes(std::initializer_list<int> values)
    {
        std::string s;
        for (int v : values)
            s += char(v);
        return s;
    }

    QTemporaryDir m_dir;
    // The parses' context: do-nothing events, no pool.
    std::shared_ptr<CoreContext> m_context = std::make_shared<CoreContext>();
};
