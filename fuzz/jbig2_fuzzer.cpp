// The JBIG2 decoder on hostile data. Input: the length of the /JBIG2Globals part (uint16), that
// many bytes of globals, then the embedded JBIG2 stream.

#include "FuzzInput.h"

#include "pdf/filters/Jbig2Decoder.h"

using namespace zembrix;

namespace {
constexpr qint64 kMaxBytes = 64LL << 20;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    FuzzInput in(data, size);
    const QByteArrayView globals = in.take(in.u16());
    const std::optional<QByteArray> page = decodeJbig2(in.rest(), globals, kMaxBytes);
    if (page)
        FUZZ_CHECK(page->size() <= kMaxBytes);
    return 0;
}
