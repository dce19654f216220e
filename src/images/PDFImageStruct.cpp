#include "images/PDFImageStruct.h"

#include "images/CoreContext.h"

namespace zembrix {

namespace {

// Unique in the process, not only in a context: a view may show records of
// several contexts (each record made without one has its own).
quint64 nextRecordId()
{
    static std::atomic<quint64> next{1};
    return next.fetch_add(1, std::memory_order_relaxed);
}

} // namespace

PDFImageStruct::PDFImageStruct(std::shared_ptr<CoreContext> context)
    : m_context(context ? std::move(context) : std::make_shared<CoreContext>())
    , m_recordId(nextRecordId())
{
}

std::shared_ptr<PDFImageStruct> PDFImageStruct::create(std::shared_ptr<CoreContext> context)
{
    // The constructor is private, so make_shared cannot reach it.
    return std::shared_ptr<PDFImageStruct>(new PDFImageStruct(std::move(context)));
}

PDFImageStruct::~PDFImageStruct()
{
    if (m_pictureSource)
        m_context->pictureCache().remove(m_recordId);
}

QImage PDFImageStruct::image() const
{
    std::shared_ptr<const PictureSource> source;
    {
        std::lock_guard lock(m_mutex);
        if (!m_pictureSource)
            return m_image;
        source = m_pictureSource;
    }
    return m_context->pictureCache().picture(m_recordId, [&] { return source->build(); });
}

std::optional<EmbeddedPicture> PDFImageStruct::embeddedPicture() const
{
    std::shared_ptr<const PictureSource> source;
    {
        std::lock_guard lock(m_mutex);
        source = m_pictureSource;
    }
    return source ? source->embeddedPicture() : std::nullopt;
}

void PDFImageStruct::setImage(const QImage &image)
{
    std::lock_guard lock(m_mutex);
    if (m_pictureSource)
        m_context->pictureCache().remove(m_recordId);
    m_pictureSource.reset();
    m_image = image;
    m_reduced = QImage();
}

void PDFImageStruct::setPictureSource(std::shared_ptr<const PictureSource> source, const QImage &reduced,
                                      const QImage &full)
{
    std::lock_guard lock(m_mutex);
    m_context->pictureCache().insert(m_recordId, full);
    m_pictureSource = std::move(source);
    m_image = QImage();
    m_reduced = reduced;
}

QString PDFImageStruct::info() const
{
    std::lock_guard lock(m_mutex);
    if (!m_info.isNull() || !(m_source.width > 0))
        return m_info;
    return QStringLiteral("Properties: {\n") + QString::asprintf("       Width\t\t\t- %.2f px\n", m_source.width)
           + QString::asprintf("       Height\t\t- %.2f px\n", m_source.height)
           + QString::asprintf("       Bits per sample\t- %ld bit\n", long(m_source.bitsPerComponent))
           + QStringLiteral("       Colorspace\t- %1")
                 .arg(m_source.colorSpace.isEmpty() ? QStringLiteral("(null)") : m_source.colorSpace)
           + QStringLiteral("\n}");
}

ImageSource PDFImageStruct::source() const
{
    std::lock_guard lock(m_mutex);
    ImageSource source = m_source;
    // Pages of its own: the walk appends to the record's in place (see
    // PDFFileStruct::images()).
    source.pages = QList<int>(m_source.pages.cbegin(), m_source.pages.cend());
    return source;
}

void PDFImageStruct::addPage(int page)
{
    std::lock_guard lock(m_mutex);
    QList<int> &pages = m_source.pages;
    if ((pages.isEmpty() || pages.last() != page) && pages.size() < ImageSource::kMaxPages && !pages.contains(page))
        pages.append(page);
}

// The step calls the setter again, so undoing registers the redo step in turn.
// It holds the record weakly: once the record's file has dropped it, the step
// does nothing.
template<typename Argument, typename Value>
void PDFImageStruct::registerUndoOf(void (PDFImageStruct::*setter)(Argument), Value oldValue)
{
    std::weak_ptr<PDFImageStruct> weak = weak_from_this();
    m_context->events().registerUndo([weak, setter, oldValue] {
        if (std::shared_ptr<PDFImageStruct> record = weak.lock())
            (record.get()->*setter)(oldValue);
    });
}

void PDFImageStruct::editDone()
{
    invalidateVersion();
    m_context->events().updateIKDatasource();
}

void PDFImageStruct::setFlip(int flip)
{
    registerUndoOf(&PDFImageStruct::setFlip, m_flip.load());
    m_flip.store(flip);
    editDone();
}

void PDFImageStruct::setAngle(float angle)
{
    registerUndoOf(&PDFImageStruct::setAngle, m_angle.load());
    m_angle.store(angle);
    editDone();
}

void PDFImageStruct::setBrightness(float brightness)
{
    registerUndoOf(&PDFImageStruct::setBrightness, m_brightness.load());
    m_brightness.store(brightness);
    editDone();
}

void PDFImageStruct::setContrast(float contrast)
{
    registerUndoOf(&PDFImageStruct::setContrast, m_contrast.load());
    m_contrast.store(contrast);
    editDone();
}

void PDFImageStruct::setSaturation(float saturation)
{
    registerUndoOf(&PDFImageStruct::setSaturation, m_saturation.load());
    m_saturation.store(saturation);
    editDone();
}

void PDFImageStruct::setGamma(float gamma)
{
    registerUndoOf(&PDFImageStruct::setGamma, m_gamma.load());
    m_gamma.store(gamma);
    editDone();
}

void PDFImageStruct::setHue(float hue)
{
    registerUndoOf(&PDFImageStruct::setHue, m_hue.load());
    m_hue.store(hue);
    editDone();
}

void PDFImageStruct::resetAll(const float *five)
{
    if (!five)
        return;
    resetAll1(QList<float>{five[0], five[1], five[2], five[3], five[4]});
}

void PDFImageStruct::resetAll1(const QList<float> &five)
{
    if (five.size() != 5)
        return;
    QList<float> old{m_brightness.load(), m_contrast.load(), m_saturation.load(), m_gamma.load(), m_hue.load()};
    registerUndoOf(&PDFImageStruct::resetAll1, old);
    m_brightness.store(five[0]);
    m_contrast.store(five[1]);
    m_saturation.store(five[2]);
    m_gamma.store(five[3]);
    m_hue.store(five[4]);
    editDone();
}

EffectParameters PDFImageStruct::effectParameters() const
{
    EffectParameters parameters;
    parameters.angle = m_angle.load();
    parameters.flip = m_flip.load();
    parameters.brightness = m_brightness.load();
    parameters.contrast = m_contrast.load();
    parameters.saturation = m_saturation.load();
    parameters.gamma = m_gamma.load();
    parameters.hue = m_hue.load();
    return parameters;
}

void PDFImageStruct::restoreEdits(const EffectParameters &edits)
{
    m_angle.store(edits.angle);
    m_flip.store(edits.flip);
    m_brightness.store(edits.brightness);
    m_contrast.store(edits.contrast);
    m_saturation.store(edits.saturation);
    m_gamma.store(edits.gamma);
    m_hue.store(edits.hue);
    invalidateVersion();
}

} // namespace zembrix
