#include "PDFFileStruct.h"
#include "SpotColorSpace.h"

#include "images/CoreContext.h"

#include <QDataStream>
#include <QDebug>
#include <QFileInfo>

#include <algorithm>
#include <exception>

namespace zembrix {

namespace {

// Reads the saved list of texts written by savePref (a QDataStream list of
// strings: a 32-bit count, then each string as a 32-bit byte length and
// UTF-16 big-endian code units). Preferences may be damaged: every length
// is checked against the bytes that are there before anything is allocated.
std::optional<QStringList> decodeSavedTexts(const QByteArray &bytes)
{
    auto read32 = [&](qsizetype &pos, quint32 *value) {
        if (bytes.size() - pos < 4)
            return false;
        const auto *p = reinterpret_cast<const uchar *>(bytes.constData() + pos);
        *value = quint32(p[0]) << 24 | quint32(p[1]) << 16 | quint32(p[2]) << 8 | p[3];
        pos += 4;
        return true;
    };
    qsizetype pos = 0;
    quint32 count = 0;
    if (!read32(pos, &count) || count > 16)
        return std::nullopt;
    QStringList texts;
    for (quint32 i = 0; i < count; ++i) {
        quint32 length = 0;
        if (!read32(pos, &length))
            return std::nullopt;
        if (length == 0xffffffffu) { // a null string
            texts << QString();
            continue;
        }
        if (length % 2 != 0 || length > quint32(bytes.size() - pos))
            return std::nullopt;
        QString text(qsizetype(length / 2), Qt::Uninitialized);
        const auto *p = reinterpret_cast<const uchar *>(bytes.constData() + pos);
        for (qsizetype c = 0; c < text.size(); ++c)
            text[c] = QChar(char16_t(p[2 * c] << 8 | p[2 * c + 1]));
        pos += qsizetype(length);
        texts << text;
    }
    return texts;
}

} // namespace

bool PDFFileStruct::walkMayContinue() const
{
    return m_imageThreadExist.load() && m_walkGeneration.load() == m_generation.load();
}

void PDFFileStruct::setIsThreading(bool running)
{
    m_imageThreadExist.store(running);
    if (!running) {
        // Under the lock: a parse between its test and its wait still sees it.
        std::lock_guard lock(m_stateMutex);
        m_pauseEnded.notify_all();
    }
}

void PDFFileStruct::threadFillImageList()
{
    quint64 generation = 0;
    {
        std::lock_guard lock(m_stateMutex);
        if (isThreading())
            return;
        {
            std::lock_guard listLock(m_mutex);
            m_readStatus = {};
            m_images.clear();
        }
        generation = ++m_generation;
        m_imageThreadExist.store(true);
        m_pauseEnded.notify_all(); // an older parse still pausing gives up
    }
    std::shared_ptr<PDFFileStruct> self = shared_from_this();
    // Counted before the task runs: a parse that is stopped before it first
    // gets a worker still counts as running until it ends.
    const auto start = std::chrono::steady_clock::now();
    m_context->runningParses().fetch_add(1);
    if (!m_context->startParse([self, generation, start] { self->fillImageListThread(generation, start); })) {
        m_context->runningParses().fetch_sub(1);
        setIsThreading(false);
    }
}

void PDFFileStruct::reparse()
{
    // The used-object list belongs to the walk, which empties it when it
    // starts; a running walk keeps its own.
    {
        std::lock_guard lock(m_mutex);
        m_images = {};
    }
    threadFillImageList();
}

void PDFFileStruct::setReadStatusOf(quint64 generation, const ReadStatus &status)
{
    // A read that a newer one has replaced says nothing any more.
    std::lock_guard stateLock(m_stateMutex);
    if (m_generation.load() != generation)
        return;
    std::lock_guard lock(m_mutex);
    m_readStatus = status;
}

void PDFFileStruct::fillImageListThread(quint64 generation, std::chrono::steady_clock::time_point asked)
{
    {
        // The pause, cut short when the parse is stopped or replaced.
        std::unique_lock lock(m_stateMutex);
        m_pauseEnded.wait_until(lock, asked + m_parsePause,
                                [&] { return !isThreading() || m_generation.load() != generation; });
    }
    {
        // A stopped parse that is still walking finishes first.
        std::lock_guard parseLock(m_parseMutex);
        if (m_generation.load() == generation) {
            m_walkGeneration.store(generation);
            try {
                fillImageListArray(this);
            } catch (const std::exception &e) {
                qWarning("%s", e.what());
            }
        }
        // Only the newest parse ends the running state.
        std::lock_guard lock(m_stateMutex);
        if (m_generation.load() == generation)
            m_imageThreadExist.store(false);
    }
    CoreEvents &events = m_context->events();
    if (m_generation.load() == generation)
        events.fileReadEnded(shared_from_this());
    const int remaining = m_context->runningParses().fetch_sub(1) - 1;
    events.stopSpinAnimation();
    if (remaining == 0)
        events.setToolsButtonState();
}

void PDFFileStruct::fillImageListArray(PDFFileStruct *owner)
{
    // The pool notes the file's size and time before the walk reads it, so
    // a file replaced during the walk is not mistaken for the one walked.
    const QByteArray key = password();
    const quint64 generation = m_walkGeneration.load();
    m_documents = PdfDocumentPool::create(filePath(), key);
    m_tintBudget = std::make_shared<WorkBudget>(SpotColorSpace::kFileBudget, m_context->tintBudget());
    m_colors = m_colorManaged.load() ? m_context->colorTransforms() : nullptr;
    {
        std::lock_guard lock(m_mutex);
        m_skipped.clear();
    }
    PdfOpenFailure failure;
    mOstrelData = OstrelDataSource::initWithPdfDocument(PdfDocument::open(filePath(), key, &failure));
    if (!mOstrelData) {
        ReadStatus status;
        status.state = failure.needsPassword() ? ReadStatus::State::Locked : ReadStatus::State::Failed;
        status.reason = failure.reason.isEmpty() ? QStringLiteral("damaged file") : failure.reason;
        setInfo(QStringLiteral("Not read: %1\n").arg(status.text()));
        setReadStatusOf(generation, status);
    }
    if (mOstrelData) {
        for (const OversizedObject &object : mOstrelData->document()->oversizedObjects())
            noteSkippedImage({QStringLiteral("%1 %2").arg(object.number).arg(object.generation), 0,
                              object.heldObjects.empty()
                                  ? QStringLiteral("an object of more than %1 MB of text, left unread")
                                        .arg(kMaxObjectTextBytes >> 20)
                                  : QStringLiteral("an object stream holding an object of more than %1 MB of "
                                                   "text, left unread with its %2 objects")
                                        .arg(kMaxObjectTextBytes >> 20)
                                        .arg(object.heldObjects.size())});
        makeInfo();
        m_context->events().startSpinAnimation();
        {
            // A repaired document serves the pictures' builds once the walk is
            // done with it, however the walk ends.
            struct HandOver {
                PDFFileStruct *self;
                ~HandOver()
                {
                    if (self->mOstrelData->document()->repaired())
                        self->m_documents->adoptRepaired(self->mOstrelData->document());
                    self->m_documents->handOverRepaired();
                }
            } handOver{this};
            m_pageReached = 0;
            cgPdfParsing(owner);
        }
        // Stopped by the user, not by a newer read: where it stopped.
        if (!m_imageThreadExist.load() && m_walkGeneration.load() == m_generation.load()) {
            ReadStatus status;
            status.state = ReadStatus::State::Stopped;
            status.pages = int(mOstrelData->document()->numberOfPages());
            status.stoppedAt = std::clamp(m_pageReached, 0, std::max(status.pages, 0));
            setReadStatusOf(generation, status);
        }
        mOstrelData.reset();
    }
    m_documents.reset();
    m_tintBudget.reset();
    m_colors.reset();
    if (IsSelected())
        m_context->events().updateIKDatasource();
}

void PDFFileStruct::setNamePattern(const QString &pattern)
{
    const QString old = namePattern();
    std::weak_ptr<PDFFileStruct> weak = weak_from_this();
    m_context->events().registerUndo([weak, old] {
        if (auto self = weak.lock())
            self->setNamePattern(old);
    });
    setNamePatternDirect(pattern);
    updateImageListPatternName();
}

namespace {

// The name without its last extension: "report.final.pdf" -> "report.final".
QString withoutExtension(QString name)
{
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot > 0)
        name.truncate(dot);
    return name;
}

} // namespace

QString PDFFileStruct::parsePatternNameFor$() const
{
    QString pattern = namePattern();
    const qsizetype dollar = pattern.indexOf(QLatin1Char('$'));
    if (dollar < 0)
        return pattern;
    return pattern.replace(dollar, 1, withoutExtension(fileName()));
}

QString PDFFileStruct::imageNameFor(qint32 value) const
{
    return PDFImageStruct::makeFileImageName(namePattern(), withoutExtension(fileName()), value);
}

void PDFFileStruct::updateImageListPatternName()
{
    const QList<std::shared_ptr<PDFImageStruct>> list = images();
    for (qsizetype i = 0; i < list.size(); ++i)
        if (!list[i]->changed())
            list[i]->setImagename(imageNameFor(std::int32_t(i)));
}

QVariantList PDFFileStruct::savePref() const
{
    QByteArray bytes;
    {
        QDataStream out(&bytes, QIODevice::WriteOnly);
        out.setVersion(QDataStream::Qt_6_0);
        out << QStringList{filePath(), namePattern()};
    }
    QVariantMap entry;
    entry.insert(QStringLiteral("PDF_FILE"), bytes);
    return QVariantList{entry};
}

void PDFFileStruct::readPref(const QVariant &saved)
{
    if (saved.typeId() != QMetaType::QVariantList)
        return;
    const QVariantList list = saved.toList();
    if (list.isEmpty())
        return;
    const QVariantMap entry = list.first().toMap();
    const QVariant value = entry.value(QStringLiteral("PDF_FILE"));
    if (value.typeId() != QMetaType::QByteArray)
        return;
    const std::optional<QStringList> decoded = decodeSavedTexts(value.toByteArray());
    if (!decoded || decoded->size() < 2)
        return;
    const QStringList &texts = *decoded;
    setNamePatternDirect(texts[1]);
    setFilePath(texts[0]);
}

void PDFFileStruct::noteSkippedImage(SkippedImage skipped)
{
    std::lock_guard lock(m_mutex);
    m_skipped.append(std::move(skipped));
}

QList<PDFFileStruct::SkippedImage> PDFFileStruct::skippedImages() const
{
    std::lock_guard lock(m_mutex);
    return {m_skipped.cbegin(), m_skipped.cend()}; // not sharing the walk's list (see images())
}

} // namespace zembrix
