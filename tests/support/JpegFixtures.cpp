#include "JpegFixtures.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include <jpeglib.h>

int inputComponents(JpegStorage storage)
{
    static constexpr int counts[] = {1, 3, 3, 4, 4}; // in the order of JpegStorage
    return counts[int(storage)];
}

QByteArray encodeJpeg(const QByteArray &samples, const JpegFixture &fixture)
{
    jpeg_compress_struct cinfo;
    jpeg_error_mgr jerr;
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_compress(&cinfo);
    unsigned char *buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);

    const int components = inputComponents(fixture.storage);
    cinfo.image_width = JDIMENSION(fixture.width);
    cinfo.image_height = JDIMENSION(fixture.height);
    cinfo.input_components = components;
    cinfo.in_color_space = components == 1 ? JCS_GRAYSCALE : components == 3 ? JCS_RGB
                                                                             : JCS_CMYK;
    jpeg_set_defaults(&cinfo);
    static constexpr J_COLOR_SPACE stored[] = {JCS_GRAYSCALE, JCS_YCbCr, JCS_RGB, JCS_CMYK, JCS_YCCK};
    jpeg_set_colorspace(&cinfo, stored[int(fixture.storage)]);
    const bool chroma = fixture.storage == JpegStorage::YCbCr || fixture.storage == JpegStorage::YCCK;
    for (int c = 0; c < cinfo.num_components; ++c) {
        const int factor = chroma && fixture.subsampleChroma && (c == 0 || c == 3) ? 2 : 1;
        cinfo.comp_info[c].h_samp_factor = factor;
        cinfo.comp_info[c].v_samp_factor = factor;
    }
    jpeg_set_quality(&cinfo, fixture.quality, TRUE);
    if (fixture.progressive)
        jpeg_simple_progression(&cinfo);
    cinfo.restart_interval = unsigned(fixture.restartInterval);
    cinfo.write_JFIF_header = cinfo.write_JFIF_header && fixture.writeJfif;
    cinfo.write_Adobe_marker = cinfo.write_Adobe_marker && fixture.writeAdobe;
    cinfo.density_unit = UINT8(fixture.densityUnit);
    cinfo.X_density = UINT16(fixture.xDensity);
    cinfo.Y_density = UINT16(fixture.yDensity);

    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = reinterpret_cast<JSAMPROW>(const_cast<char *>(samples.constData()))
                       + cinfo.next_scanline * fixture.width * components;
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    QByteArray out(reinterpret_cast<const char *>(buffer), qsizetype(size));
    std::free(buffer);
    return out;
}

QByteArray gradientSamples(int width, int height, int components)
{
    QByteArray out(width * height * components, Qt::Uninitialized);
    char *p = out.data();
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < components; ++c) {
                const int v = (c % 2 == 0 ? x * 255 / std::max(1, width - 1) : y * 255 / std::max(1, height - 1));
                *p++ = char(c >= 2 ? v / 2 + 64 : v);
            }
    return out;
}

int maxDifference(const QByteArray &a, const QByteArray &b)
{
    if (a.size() != b.size())
        return 256;
    int worst = 0;
    for (qsizetype i = 0; i < a.size(); ++i)
        worst = std::max(worst, std::abs(int(uchar(a[i])) - int(uchar(b[i]))));
    return worst;
}
