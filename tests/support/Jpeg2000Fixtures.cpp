#include "Jpeg2000Fixtures.h"

#include <QFile>
#include <QTemporaryFile>

#include <algorithm>
#include <cstring>

#include <openjpeg.h>

namespace {

void quiet(const char *, void *)
{
}

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
    // OpenJPEG writes to a file; it is read back whole.
    QTemporaryFile file;
    if (!file.open())
        return {};
    opj_stream_t *stream = opj_stream_create_default_file_stream(QFile::encodeName(file.fileName()).constData(), OPJ_FALSE);
    const bool ok = opj_setup_encoder(codec, &encoder, image) && opj_start_compress(codec, image, stream)
                    && opj_encode(codec, stream) && opj_end_compress(codec, stream);
    opj_stream_destroy(stream);
    opj_destroy_codec(codec);
    opj_image_destroy(image);
    return ok ? file.readAll() : QByteArray();
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
