#include "HeicFileWriter.h"

#include "ExifResolution.h"
#include "ExportResolution.h"

#include <libheif/heif.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <system_error>
#include <thread>

#include <sys/resource.h>

namespace zembrix {

namespace {

// libheif counts its users; each encode holds one reference so that the
// plugin registry is set up (under libheif's own lock) before it is used.
class HeifLibrary
{
public:
    HeifLibrary()
        : m_ok(heif_init(nullptr).code == heif_error_Ok)
    {
    }
    ~HeifLibrary()
    {
        if (m_ok)
            heif_deinit();
    }
    HeifLibrary(const HeifLibrary &) = delete;
    HeifLibrary &operator=(const HeifLibrary &) = delete;
    bool ok() const { return m_ok; }

private:
    bool m_ok;
};

struct ContextDeleter {
    void operator()(heif_context *context) const { heif_context_free(context); }
};
struct EncoderDeleter {
    void operator()(heif_encoder *encoder) const { heif_encoder_release(encoder); }
};
struct ImageDeleter {
    void operator()(heif_image *image) const { heif_image_release(image); }
};
struct HandleDeleter {
    void operator()(heif_image_handle *handle) const { heif_image_handle_release(handle); }
};

bool succeeded(const heif_error &error)
{
    return error.code == heif_error_Ok;
}

heif_error appendToByteArray(heif_context *, const void *data, size_t size, void *user)
{
    auto *out = static_cast<QByteArray *>(user);
    out->append(static_cast<const char *>(data), qsizetype(size));
    return heif_error{heif_error_Ok, heif_suberror_Unspecified, "ok"};
}

// The pixels as interleaved 8-bit RGB or RGBA (straight alpha) in a heif_image.
std::unique_ptr<heif_image, ImageDeleter> makeHeifImage(const QImage &source)
{
    const bool alpha = source.hasAlphaChannel();
    const QImage image = source.convertToFormat(alpha ? QImage::Format_RGBA8888 : QImage::Format_RGB888);
    if (image.isNull())
        return nullptr;

    heif_image *raw = nullptr;
    if (!succeeded(heif_image_create(image.width(), image.height(), heif_colorspace_RGB,
                                     alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB, &raw)))
        return nullptr;
    std::unique_ptr<heif_image, ImageDeleter> heifImage(raw);
    if (!succeeded(heif_image_add_plane(heifImage.get(), heif_channel_interleaved, image.width(), image.height(), 8)))
        return nullptr;

    int stride = 0;
    uint8_t *plane = heif_image_get_plane(heifImage.get(), heif_channel_interleaved, &stride);
    const size_t rowBytes = size_t(image.width()) * (alpha ? 4 : 3);
    if (!plane || stride < 0 || size_t(stride) < rowBytes)
        return nullptr;
    for (int y = 0; y < image.height(); ++y)
        std::memcpy(plane + size_t(y) * size_t(stride), image.constScanLine(y), rowBytes);
    return heifImage;
}

// Runs the encoder's work on a thread of its own at a lower scheduling
// priority (nice 10); the threads x265 starts from there inherit it. The
// encoder keeps every core busy for seconds; at the caller's priority it
// would delay a window's thread, and the Qt pool threads that thread waits for
// while it draws. Only this thread is lowered (never a Qt pool thread, whose
// priority the threads it starts would inherit). Runs on the caller's thread
// when no thread can be had.
heif_error encodeAtLowerPriority(heif_context *context, const heif_image *image, heif_encoder *encoder,
                                 heif_image_handle **handle)
{
    heif_error result{heif_error_Encoding_error, heif_suberror_Unspecified, "not run"};
    const auto encode = [&] { result = heif_context_encode_image(context, image, encoder, nullptr, handle); };
    try {
        std::thread worker([&] {
            constexpr int kBackgroundNice = 10;
            errno = 0;
            const int nice = ::getpriority(PRIO_PROCESS, 0); // the thread's own on Linux
            if (errno == 0 && nice < kBackgroundNice)
                ::setpriority(PRIO_PROCESS, 0, kBackgroundNice);
            encode();
        });
        worker.join();
    } catch (const std::system_error &) {
        encode();
    }
    return result;
}

} // namespace

const char *heicPresetFor(qint64 pixels)
{
    if (pixels <= kHeicDefaultPresetPixels)
        return nullptr;
    return pixels <= 4 * kHeicDefaultPresetPixels ? "fast" : "ultrafast";
}

QByteArray encodeHeic(const QImage &image, float dpi)
{
    if (image.isNull())
        return {};
    const HeifLibrary library;
    if (!library.ok())
        return {};

    std::unique_ptr<heif_context, ContextDeleter> context(heif_context_alloc());
    if (!context)
        return {};

    heif_encoder *rawEncoder = nullptr;
    if (!succeeded(heif_context_get_encoder_for_format(context.get(), heif_compression_HEVC, &rawEncoder)))
        return {};
    std::unique_ptr<heif_encoder, EncoderDeleter> encoder(rawEncoder);
    if (!succeeded(heif_encoder_set_lossy_quality(encoder.get(), kHeicQuality)))
        return {};
    heif_encoder_set_logging_level(encoder.get(), 0);
    // x265's time grows with the pixels: its default (slow) preset takes
    // about 3 s per megapixel on one core, so large pictures get faster
    // presets, which keep the quality setting and spend fewer bits-saving
    // searches. A 36-megapixel picture takes some 10 s instead of 100.
    const qint64 pixels = qint64(image.width()) * image.height();
    if (const char *preset = heicPresetFor(pixels))
        heif_encoder_set_parameter_string(encoder.get(), "preset", preset);

    std::unique_ptr<heif_image, ImageDeleter> heifImage = makeHeifImage(image);
    if (!heifImage)
        return {};

    heif_image_handle *rawHandle = nullptr;
    if (!succeeded(encodeAtLowerPriority(context.get(), heifImage.get(), encoder.get(), &rawHandle)))
        return {};
    std::unique_ptr<heif_image_handle, HandleDeleter> handle(rawHandle);

    // libheif finds the TIFF header in the block itself and stores the 4-byte
    // offset that the HEIF Exif item starts with.
    const QByteArray exif = exifResolutionBlock(exportDpi(dpi));
    if (!succeeded(heif_context_add_exif_metadata(context.get(), handle.get(), exif.constData(), int(exif.size()))))
        return {};

    QByteArray bytes;
    heif_writer writer{1, appendToByteArray};
    if (!succeeded(heif_context_write(context.get(), &writer, &bytes)))
        return {};
    return bytes;
}

} // namespace zembrix
