// The CCITT fax decoder on hostile data and parameters. Input: 16 bytes of /DecodeParms
//   K (int32), Columns (int32), Rows (int32), flags (bit 0 EndOfLine, 1 EncodedByteAlign,
//   2 EndOfBlock, 3 BlackIs1), DamagedRowsBeforeError (int8), 2 unused bytes,
// then the coded data.

#include "FuzzInput.h"

#include "pdf/filters/CcittFaxDecoder.h"

using namespace zembrix;

namespace {
constexpr qint64 kMaxBytes = 64LL << 20;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    FuzzInput in(data, size);
    CcittFaxParams p;
    p.k = in.i32();
    p.columns = in.i32();
    p.rows = in.i32();
    const std::uint8_t flags = in.u8();
    p.endOfLine = flags & 1;
    p.encodedByteAlign = flags & 2;
    p.endOfBlock = flags & 4;
    p.blackIs1 = flags & 8;
    p.damagedRowsBeforeError = std::int8_t(in.u8());
    in.u16();

    const std::optional<QByteArray> rows = decodeCcittFax(in.rest(), p, kMaxBytes);
    if (rows) {
        FUZZ_CHECK(rows->size() <= kMaxBytes);
        FUZZ_CHECK(p.columns > 0 && rows->size() % ((qint64(p.columns) + 7) / 8) == 0);
        if (p.rows > 0)
            FUZZ_CHECK(rows->size() / ((qint64(p.columns) + 7) / 8) <= p.rows);
    }
    return 0;
}
