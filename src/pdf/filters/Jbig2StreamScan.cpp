#include "pdf/filters/Jbig2StreamScan.h"

#include <QSet>

#include <cstdint>

namespace zembrix {

namespace {

// A text region may announce this many symbol instances, plus kInstancesPerByte for each byte
// of its data: a quarter of a bit per instance, far below what an encoder needs.
constexpr std::uint64_t kFreeInstances = 65536;
constexpr std::uint64_t kInstancesPerByte = 32;

constexpr std::uint32_t kUnknownLength = 0xffffffff;

class Reader
{
public:
    explicit Reader(QByteArrayView data)
        : m_data(data)
    {
    }

    qsizetype position() const { return m_pos; }
    bool skip(qsizetype n)
    {
        if (n < 0 || n > m_data.size() - m_pos)
            return false;
        m_pos += n;
        return true;
    }
    bool read(int bytes, std::uint32_t &value)
    {
        if (bytes > m_data.size() - m_pos)
            return false;
        value = 0;
        for (int i = 0; i < bytes; ++i)
            value = (value << 8) | std::uint8_t(m_data[m_pos + i]);
        m_pos += bytes;
        return true;
    }

private:
    QByteArrayView m_data;
    qsizetype m_pos = 0;
};

constexpr std::uint32_t kSymbolDictionary = 0;
constexpr std::uint32_t kPageInformation = 48;
constexpr std::uint32_t kTables = 53;
constexpr std::uint32_t kUnknownHeight = 0xffffffff;

bool isTextRegion(std::uint32_t type)
{
    return type == 4 || type == 6 || type == 7; // intermediate, immediate, immediate lossless
}

// SBNUMINSTANCES of a text region segment's data (T.88 7.4.3.1), or false if the data is short.
bool textRegionInstances(QByteArrayView data, std::uint32_t &instances)
{
    Reader r(data);
    std::uint32_t flags = 0;
    if (!r.skip(17) || !r.read(2, flags)) // region segment information field, then flags
        return false;
    const bool huffman = flags & 0x0001;
    const bool refine = flags & 0x0002;
    const bool refinementTemplate1 = flags & 0x8000;
    if (huffman && !r.skip(2))
        return false;
    if (refine && !refinementTemplate1 && !r.skip(4)) // refinement AT pixels
        return false;
    return r.read(4, instances);
}

} // namespace

Jbig2StreamScan scanJbig2Stream(QByteArrayView stream, const std::vector<std::uint32_t> &known)
{
    Jbig2StreamScan scan;
    scan.acceptedLength = stream.size();
    Reader r(stream);
    QSet<std::uint32_t> defined(known.begin(), known.end());
    for (;;) {
        const qsizetype start = r.position();
        std::uint32_t number = 0, flags = 0, referred = 0, page = 0, length = 0;
        if (!r.read(4, number) || !r.read(1, flags) || !r.read(1, referred))
            return scan;
        std::uint32_t referredCount = referred >> 5;
        if (referredCount == 7) { // long form: 29-bit count, then one retention bit per segment
            std::uint32_t rest = 0;
            if (!r.read(3, rest))
                return scan;
            referredCount = ((referred & 0x1f) << 24 | rest);
            if (!r.skip((qsizetype(referredCount) + 8) / 8))
                return scan;
        }
        const int numberSize = number <= 256 ? 1 : number <= 65536 ? 2 : 4;
        for (std::uint32_t i = 0; i < referredCount; ++i) {
            std::uint32_t other = 0;
            if (!r.read(numberSize, other))
                return scan;
            if (!defined.contains(other))
                scan.refersToMissing = true;
        }
        scan.numbers.push_back(number);
        defined.insert(number);
        if (!r.read((flags & 0x40) ? 4 : 1, page) || !r.read(4, length) || length == kUnknownLength)
            return scan;
        const qsizetype dataStart = r.position();
        if (!r.skip(length))
            return scan;
        const QByteArrayView data = stream.sliced(dataStart, length);
        const std::uint32_t type = flags & 0x3f;

        std::uint32_t width = 0, height = 0;
        Reader info(data);
        if (type == kPageInformation && !scan.hasPage && info.read(4, width) && info.read(4, height)) {
            scan.hasPage = true;
            if (height != kUnknownHeight)
                scan.pageBytes = (std::uint64_t(width) + 7) / 8 * height;
        }

        std::uint32_t instances = 0;
        if (isTextRegion(type) && textRegionInstances(data, instances)
            && instances > kFreeInstances + kInstancesPerByte * length) {
            scan.acceptedLength = start;
            return scan;
        }
        // The first flag of a symbol dictionary, and of a text region after its region
        // information field, says Huffman coding.
        std::uint32_t codingFlags = 0;
        Reader coding(data);
        if ((type == kSymbolDictionary && coding.read(2, codingFlags))
            || (isTextRegion(type) && coding.skip(17) && coding.read(2, codingFlags)))
            scan.huffmanSegments += codingFlags & 1;
        scan.tableSegments += type == kTables;
    }
}

} // namespace zembrix
