#include "JpegDecoder.h"

#include "ImageProperties.h"

#include <algorithm>
#include <climits>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <memory>

#include <QtNumeric>

#include <jpeglib.h>

namespace zembrix {

namespace {

// A progressive file may repeat scans; each pass over the coefficients costs
// the whole image, so a hostile file could keep the decoder busy for hours.
constexpr int kMaxScans = 500;
constexpr int kRowsPerCall = 16;
constexpr uchar kMissingSampleFill = 128;
constexpr long kWorkingAllowance = 1L << 20;

struct ErrorManager {
    jpeg_error_mgr base;
    std::jmp_buf jump;
};

[[noreturn]] void errorExit(j_common_ptr cinfo)
{
    std::longjmp(reinterpret_cast<ErrorManager *>(cinfo->err)->jump, 1);
}

// Warnings are libjpeg recovering from damaged data (a fake EOI at the end
// of a short file, a corrupt restart interval); the decoded rows are kept.
void ignoreMessage(j_common_ptr, int)
{
}
void ignoreOutput(j_common_ptr)
{
}

void limitScans(j_common_ptr cinfo)
{
    if (cinfo->is_decompressor && reinterpret_cast<j_decompress_ptr>(cinfo)->input_scan_number > kMaxScans)
        errorExit(cinfo);
}

// One libjpeg decompressor and what it produced. Lives outside the function
// that calls setjmp, so its contents are well defined after a longjmp.
struct Decompressor {
    jpeg_decompress_struct cinfo;
    ErrorManager error;
    jpeg_progress_mgr progress;
    RasterImage image;

    Decompressor()
    {
        std::memset(&cinfo, 0, sizeof cinfo);
        std::memset(&progress, 0, sizeof progress);
        cinfo.err = jpeg_std_error(&error.base);
        error.base.error_exit = errorExit;
        error.base.emit_message = ignoreMessage;
        error.base.output_message = ignoreOutput;
        // jpeg_create_decompress reports failure through error_exit.
        if (setjmp(error.jump) == 0) {
            jpeg_create_decompress(&cinfo);
            created = true;
        }
        progress.progress_monitor = limitScans;
        cinfo.progress = &progress;
    }
    ~Decompressor()
    {
        if (created)
            jpeg_destroy_decompress(&cinfo);
    }
    Decompressor(const Decompressor &) = delete;
    Decompressor &operator=(const Decompressor &) = delete;

    bool created = false;
};

bool hasRgbComponentIds(const jpeg_decompress_struct &cinfo)
{
    return cinfo.comp_info[0].component_id == 'R' && cinfo.comp_info[1].component_id == 'G'
           && cinfo.comp_info[2].component_id == 'B';
}

// Sets the stored and wanted colour spaces; false for component counts that
// PDF does not allow in DCT data.
bool chooseColorSpaces(jpeg_decompress_struct &cinfo, int colorTransform, ColorModel &model)
{
    switch (cinfo.num_components) {
    case 1:
        cinfo.jpeg_color_space = JCS_GRAYSCALE;
        cinfo.out_color_space = JCS_GRAYSCALE;
        model = ColorModel::Gray;
        return true;
    case 3: {
        // The Adobe marker's transform code overrides /ColorTransform
        // (ISO 32000-1, table 13).
        int transform = cinfo.saw_Adobe_marker ? int(cinfo.Adobe_transform) : colorTransform;
        if (transform < 0)
            transform = !cinfo.saw_JFIF_marker && hasRgbComponentIds(cinfo) ? 0 : 1;
        cinfo.jpeg_color_space = transform ? JCS_YCbCr : JCS_RGB;
        cinfo.out_color_space = JCS_RGB;
        model = ColorModel::RGB;
        return true;
    }
    case 4: {
        int transform = cinfo.saw_Adobe_marker ? int(cinfo.Adobe_transform) : colorTransform;
        if (transform < 0)
            transform = 0;
        cinfo.jpeg_color_space = transform ? JCS_YCCK : JCS_CMYK;
        cinfo.out_color_space = JCS_CMYK;
        model = ColorModel::CMYK;
        return true;
    }
    default: return false;
    }
}

// The one place where libjpeg's errors arrive: every longjmp lands in the
// setjmp below, after which the caller destroys the decompressor. Reads the
// header, and the pixels when options is given. Locals here are trivial so
// that a longjmp skips no destructor.
bool runLibjpeg(Decompressor &d, QByteArrayView data, const JpegDecodeOptions *options)
{
    if (setjmp(d.error.jump))
        return false;
    jpeg_decompress_struct &cinfo = d.cinfo;
    jpeg_mem_src(&cinfo, reinterpret_cast<const unsigned char *>(data.data()), static_cast<unsigned long>(data.size()));
    jpeg_read_header(&cinfo, TRUE);
    if (!options)
        return true;

    ColorModel model = ColorModel::Gray;
    if (!chooseColorSpaces(cinfo, options->colorTransform, model))
        return false;
    // libjpeg checks this only when it places the whole-image coefficient
    // buffers of a progressive or multi-scan image; its fixed tables and row
    // buffers get a small allowance on top.
    cinfo.mem->max_memory_to_use =
        long(std::min<qint64>(options->maxBytes, LONG_MAX - kWorkingAllowance) + kWorkingAllowance);
    // The full-size picture must fit the limit even when a smaller one is
    // decoded, so that a reduced copy is refused exactly when the full
    // picture would be.
    qint64 fullBytes = 0;
    if (qMulOverflow(qint64(cinfo.image_width) * qint64(cinfo.image_height), qint64(cinfo.num_components), &fullBytes)
        || fullBytes > options->maxBytes)
        return false;
    if (options->reduceToEdge > 0) {
        const JDIMENSION longEdge = std::max(cinfo.image_width, cinfo.image_height);
        const JDIMENSION wanted = JDIMENSION(options->reduceToEdge) * 3 / 4;
        for (unsigned denominator : {8u, 4u, 2u}) {
            if ((longEdge + denominator - 1) / denominator >= wanted) {
                // A picture made smaller is for viewing: the fast IDCT and
                // plain chroma upsampling are good enough for it.
                cinfo.scale_num = 1;
                cinfo.scale_denom = denominator;
                cinfo.dct_method = JDCT_IFAST;
                cinfo.do_fancy_upsampling = FALSE;
                break;
            }
        }
    }
    jpeg_calc_output_dimensions(&cinfo);
    if (cinfo.output_width > uint(INT_MAX) || cinfo.output_height > uint(INT_MAX))
        return false;
    d.image =
        RasterImage::create(int(cinfo.output_width), int(cinfo.output_height), model, 8, false, options->maxBytes);
    if (d.image.isNull() || cinfo.output_components != d.image.colorComponents())
        return false;

    jpeg_start_decompress(&cinfo);
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW rows[kRowsPerCall];
        const JDIMENSION first = cinfo.output_scanline;
        const JDIMENSION count = std::min<JDIMENSION>(kRowsPerCall, cinfo.output_height - first);
        for (JDIMENSION i = 0; i < count; ++i)
            rows[i] = d.image.row(int(first + i));
        if (jpeg_read_scanlines(&cinfo, rows, count) == 0)
            break;
        if (options->checkOnly) {
            jpeg_abort_decompress(&cinfo);
            return true;
        }
    }
    jpeg_finish_decompress(&cinfo);
    return true;
}

} // namespace

qsizetype jpegStartOffset(QByteArrayView data)
{
    return data.indexOf(QByteArrayView("\xFF\xD8\xFF", 3));
}

RasterImage decodeJpeg(QByteArrayView data, const JpegDecodeOptions &options)
{
    data = data.sliced(std::max<qsizetype>(0, jpegStartOffset(data)));
    if (data.isEmpty())
        return {};
    auto d = std::make_unique<Decompressor>();
    if (!d->created)
        return {};
    const bool complete = runLibjpeg(*d, data, &options);
    if (d->image.isNull())
        return {};
    // Rows past the last one libjpeg delivered (a fatal error mid-image, or
    // an error in the trailer, which leaves all rows in place).
    const int decodedRows = int(std::min<JDIMENSION>(d->cinfo.output_scanline, JDIMENSION(d->image.height)));
    if (!complete && decodedRows == 0)
        return {};
    for (int y = decodedRows; y < d->image.height; ++y)
        std::memset(d->image.row(y), kMissingSampleFill, size_t(d->image.bytesPerRow));
    return std::move(d->image);
}

std::optional<JpegHeaderFacts> jpegHeaderFacts(QByteArrayView data, const JpegDecodeOptions &options)
{
    if (data.isEmpty())
        return std::nullopt;
    auto d = std::make_unique<Decompressor>();
    if (!d->created || !runLibjpeg(*d, data, nullptr))
        return std::nullopt;
    jpeg_decompress_struct &cinfo = d->cinfo;
    ColorModel model = ColorModel::Gray;
    qint64 fullBytes = 0;
    if (!chooseColorSpaces(cinfo, options.colorTransform, model)
        || qMulOverflow(qint64(cinfo.image_width) * qint64(cinfo.image_height), qint64(cinfo.num_components),
                        &fullBytes)
        || fullBytes > options.maxBytes || cinfo.image_width > uint(INT_MAX) || cinfo.image_height > uint(INT_MAX))
        return std::nullopt;
    return JpegHeaderFacts{int(cinfo.image_width), int(cinfo.image_height), cinfo.num_components};
}

std::optional<QString> jpegPropertiesText(QByteArrayView data)
{
    data = data.sliced(std::max<qsizetype>(0, jpegStartOffset(data)));
    if (data.isEmpty())
        return std::nullopt;
    auto d = std::make_unique<Decompressor>();
    if (!d->created || !runLibjpeg(*d, data, nullptr))
        return std::nullopt;
    const jpeg_decompress_struct &cinfo = d->cinfo;

    ImageProperties properties;
    switch (cinfo.num_components) {
    case 1: properties.model = ColorModel::Gray; break;
    case 3: properties.model = ColorModel::RGB; break;
    case 4: properties.model = ColorModel::CMYK; break;
    default: return std::nullopt;
    }
    properties.depth = cinfo.data_precision;
    properties.pixelWidth = int(cinfo.image_width);
    properties.pixelHeight = int(cinfo.image_height);
    // JFIF density units: 1 dots per inch, 2 dots per centimetre.
    if (cinfo.saw_JFIF_marker && cinfo.X_density > 0 && cinfo.Y_density > 0
        && (cinfo.density_unit == 1 || cinfo.density_unit == 2)) {
        const double perInch = cinfo.density_unit == 1 ? 1.0 : 2.54;
        properties.dpiWidth = cinfo.X_density * perInch;
        properties.dpiHeight = cinfo.Y_density * perInch;
    }
    return formatPropertiesText(properties);
}

} // namespace zembrix
