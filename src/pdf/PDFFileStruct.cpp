#include "PDFFileStruct.h"

#include "PageNumbering.h"
#include "images/CoreContext.h"

#include <QFileInfo>

namespace zembrix {

PDFFileStruct::PDFFileStruct(std::shared_ptr<CoreContext> context)
    : m_context(context ? std::move(context) : std::make_shared<CoreContext>())
{
}

PDFFileStruct::~PDFFileStruct() = default;

void PDFFileStruct::setFilePathOnly(const QString &path)
{
    {
        std::lock_guard lock(m_mutex);
        m_images = {};
        m_filePath = path;
    }
    setFileName(QFileInfo(path).fileName());
}

void PDFFileStruct::setFilePath(const QString &path)
{
    setFilePathOnly(path);
    threadFillImageList();
}

bool PDFFileStruct::IsValid() const
{
    return QFileInfo::exists(filePath());
}

void PDFFileStruct::appendInfo(const QString &text)
{
    std::lock_guard lock(m_mutex);
    m_info += text;
}

QList<std::shared_ptr<PDFImageStruct>> PDFFileStruct::images() const
{
    // A list of its own, not one sharing the walk's: the walk appends to its
    // list in place once it finds it unshared, and Qt tells that from a count
    // read without ordering, so a shared copy read here could still be read
    // while the walk moves its entries.
    std::lock_guard lock(m_mutex);
    return {m_images.cbegin(), m_images.cend()};
}

qsizetype PDFFileStruct::imageCount() const
{
    std::lock_guard lock(m_mutex);
    return m_images.size();
}

void PDFFileStruct::appendImage(const std::shared_ptr<PDFImageStruct> &image)
{
    std::lock_guard lock(m_mutex);
    m_images.append(image);
}

QString PDFFileStruct::ReadStatus::text() const
{
    switch (state) {
    case State::Fine: return {};
    case State::Failed: return reason;
    case State::Locked: return QStringLiteral("locked (%1)").arg(reason);
    case State::Stopped: return QStringLiteral("stopped at %1 of %2").arg(stoppedAt).arg(pages);
    }
    return {};
}

void PDFFileStruct::describe(std::shared_ptr<PdfDocument> document)
{
    mOstrelData = OstrelDataSource::initWithPdfDocument(std::move(document));
    if (mOstrelData) {
        makeInfo();
        mOstrelData.reset();
    }
}

} // namespace zembrix
