#include "PDFFileStruct.h"

#include "PageNumbering.h"

#include <QFileInfo>

PDFFileStruct::PDFFileStruct() = default;
PDFFileStruct::~PDFFileStruct() = default;

QString PDFFileStruct::filePath() const
{
    std::lock_guard lock(m_mutex);
    return m_filePath;
}

QString PDFFileStruct::fileName() const
{
    std::lock_guard lock(m_mutex);
    return m_fileName;
}

void PDFFileStruct::setFileName(const QString &name)
{
    std::lock_guard lock(m_mutex);
    m_fileName = name;
}

void PDFFileStruct::setFilePath(const QString &path)
{
    {
        std::lock_guard lock(m_mutex);
        m_candidates.clear();
        m_filePath = path;
    }
    mUsedObjName.clear();
    setFileName(QFileInfo(path).fileName());
}

bool PDFFileStruct::IsValid() const
{
    return QFileInfo::exists(filePath());
}

QString PDFFileStruct::namePattern() const
{
    std::lock_guard lock(m_mutex);
    return m_namePattern;
}

void PDFFileStruct::setNamePatternDirect(const QString &pattern)
{
    std::lock_guard lock(m_mutex);
    m_namePattern = pattern;
}

QString PDFFileStruct::info() const
{
    std::lock_guard lock(m_mutex);
    return m_info;
}

void PDFFileStruct::setInfo(const QString &info)
{
    std::lock_guard lock(m_mutex);
    m_info = info;
}

void PDFFileStruct::appendInfo(const QString &text)
{
    std::lock_guard lock(m_mutex);
    m_info += text;
}

QList<ImageCandidate> PDFFileStruct::candidates() const
{
    std::lock_guard lock(m_mutex);
    return m_candidates;
}

void PDFFileStruct::fillImageListArray(PDFFileStruct *owner)
{
    mOstrelData = OstrelDataSource::initWithPdfDocument(PdfDocument::open(filePath()));
    if (mOstrelData) {
        makeInfo();
        cgPdfParsing(owner);
        mOstrelData.reset();
    }
}

void PDFFileStruct::describe(std::shared_ptr<PdfDocument> document)
{
    mOstrelData = OstrelDataSource::initWithPdfDocument(std::move(document));
    if (mOstrelData) {
        makeInfo();
        mOstrelData.reset();
    }
}
