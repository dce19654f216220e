#pragma once

// Owners of OpenJPEG's codec, stream and image, and a message handler that drops what the
// library says, for the JPEG 2000 decoder and writer. It brings openjpeg.h: include it from
// .cpp files only.

#include <openjpeg.h>

namespace zembrix {

namespace openjpeg {

inline void ignoreMessage(const char *, void *)
{
}

struct CodecDeleter {
    void operator()(opj_codec_t *codec) const { opj_destroy_codec(codec); }
};
struct StreamDeleter {
    void operator()(opj_stream_t *stream) const { opj_stream_destroy(stream); }
};
struct ImageDeleter {
    void operator()(opj_image_t *image) const { opj_image_destroy(image); }
};

} // namespace openjpeg

} // namespace zembrix
