#include "Jpeg2000Fixtures.h"

#include <algorithm>
#include <cstring>

#include <openjpeg.h>

namespace {

struct MemorySink {
    QByteArray bytes;
    qint64 pos = 0;
};

OPJ_BOOL seekSink(OPJ_OFF_T offset, void *user)
{
    auto *sink = static_cast<MemorySink *>(user);
    sink->pos = offset;
    if (sink->pos > sink->bytes.size())
        sink->bytes.resize(sink->pos);
    return OPJ_TRUE;
}

OPJ_OFF_T skipSink(OPJ_OFF_T count, void *user)
{
    seekSink(static_cast<MemorySink *>(user)->pos + count, user);
    return count;
}

OPJ_SIZE_T writeSink(void *buffer, OPJ_SIZE_T count, void *user)
{
    auto *sink = static_cast<MemorySink *>(user);
    const qint64 at = sink->pos;
    seekSink(at + qint64(count), user);
    std::memcpy(sink->bytes.data() + at, buffer, count);
    return count;
}

void quiet(const char *, void *) {}

// `bytes` bytes of v, big-endian.
QByteArray be(quint32 v, int bytes)
{
    QByteArray out;
    for (int shift = 8 * (bytes - 1); shift >= 0; shift -= 8)
        out.append(char((v >> shift) & 0xff));
    return out;
}

} // namespace

QByteArray encodeJpeg2000(const J2kImage &fixture)
{
    const int count = int(fixture.components.size());
    std::vector<opj_image_cmptparm_t> parameters(static_cast<size_t>(count));
    int smallest = std::min(fixture.width, fixture.height);
    for (int i = 0; i < count; ++i) {
        const J2kComponent &c = fixture.components[size_t(i)];
        opj_image_cmptparm_t &p = parameters[size_t(i)];
        std::memset(&p, 0, sizeof p);
        p.dx = OPJ_UINT32(c.dx);
        p.dy = OPJ_UINT32(c.dy);
        p.w = OPJ_UINT32((fixture.width + c.dx - 1) / c.dx);
        p.h = OPJ_UINT32((fixture.height + c.dy - 1) / c.dy);
        p.prec = OPJ_UINT32(c.precision);
        p.sgnd = c.isSigned ? 1 : 0;
        smallest = std::min({smallest, int(p.w), int(p.h)});
    }
    static constexpr OPJ_COLOR_SPACE spaces[] = {OPJ_CLRSPC_UNSPECIFIED, OPJ_CLRSPC_GRAY, OPJ_CLRSPC_SRGB,
                                                 OPJ_CLRSPC_SYCC, OPJ_CLRSPC_CMYK}; // in the order of J2kSpace
    opj_image_t *image = opj_image_create(OPJ_UINT32(count), parameters.data(), spaces[int(fixture.space)]);
    image->x0 = 0;
    image->y0 = 0;
    image->x1 = OPJ_UINT32(fixture.width);
    image->y1 = OPJ_UINT32(fixture.height);
    for (int i = 0; i < count; ++i) {
        const J2kComponent &c = fixture.components[size_t(i)];
        std::copy(c.values.begin(), c.values.end(), image->comps[i].data);
        image->comps[i].alpha = c.alpha ? 1 : 0;
    }

    opj_cparameters_t encoder;
    opj_set_default_encoder_parameters(&encoder);
    encoder.tcp_numlayers = 1;
    encoder.tcp_rates[0] = 0; // lossless
    encoder.cp_disto_alloc = 1;
    encoder.tcp_mct = fixture.componentTransform ? 1 : 0;
    encoder.numresolution = 1;
    while (encoder.numresolution < 6 && (smallest >> encoder.numresolution) > 0)
        ++encoder.numresolution;

    opj_codec_t *codec = opj_create_compress(fixture.jp2 ? OPJ_CODEC_JP2 : OPJ_CODEC_J2K);
    opj_set_info_handler(codec, quiet, nullptr);
    opj_set_warning_handler(codec, quiet, nullptr);
    opj_set_error_handler(codec, quiet, nullptr);
    MemorySink sink;
    opj_stream_t *stream = opj_stream_create(1 << 16, OPJ_FALSE);
    opj_stream_set_write_function(stream, writeSink);
    opj_stream_set_skip_function(stream, skipSink);
    opj_stream_set_seek_function(stream, seekSink);
    opj_stream_set_user_data(stream, &sink, nullptr);
    const bool ok = opj_setup_encoder(codec, &encoder, image) && opj_start_compress(codec, image, stream)
        && opj_encode(codec, stream) && opj_end_compress(codec, stream);
    opj_stream_destroy(stream);
    opj_destroy_codec(codec);
    opj_image_destroy(image);
    return ok ? sink.bytes : QByteArray();
}

QByteArray jp2Box(const char *type, const QByteArray &content)
{
    return be(quint32(8 + content.size()), 4) + QByteArray(type, 4) + content;
}

QByteArray wrapJp2(const QByteArray &codestream, int width, int height, int components, int bitsPerComponent,
                   int enumeratedSpace, const QByteArray &extraHeaderBoxes)
{
    const QByteArray header = jp2Box("ihdr", be(quint32(height), 4) + be(quint32(width), 4) + be(quint32(components), 2)
                                                 + char(bitsPerComponent - 1) + QByteArray("\x07\x00\x00", 3));
    const QByteArray colour = jp2Box("colr", QByteArray("\x01\x00\x00", 3) + be(quint32(enumeratedSpace), 4));
    return jp2Box("jP  ", QByteArray("\x0d\x0a\x87\x0a", 4)) + jp2Box("ftyp", QByteArray("jp2 \0\0\0\0jp2 ", 12))
        + jp2Box("jp2h", header + colour + extraHeaderBoxes) + jp2Box("jp2c", codestream);
}

QByteArray jp2ResolutionBox(const std::vector<int> &capture, const std::vector<int> &display)
{
    auto resolution = [](const char *type, const std::vector<int> &r) {
        if (r.empty())
            return QByteArray();
        return jp2Box(type, be(quint32(r[0]), 2) + be(quint32(r[1]), 2) + be(quint32(r[2]), 2) + be(quint32(r[3]), 2)
                                + char(r[4]) + char(r[5]));
    };
    return jp2Box("res ", resolution("resc", capture) + resolution("resd", display));
}
