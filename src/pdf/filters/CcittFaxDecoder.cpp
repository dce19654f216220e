#include "pdf/filters/CcittFaxDecoder.h"

#include "pdf/filters/CcittBitReader.h"
#include "pdf/filters/CcittFaxCodes.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <vector>

namespace zembrix {

namespace {

// Wider rows are refused; positions then fit an int with room for the vertical-mode arithmetic.
constexpr int kMaxColumns = 1 << 28;

// An EOL code is eleven 0 bits and a 1 bit; fill bits (more 0 bits) may precede it. No run or
// mode code starts with more than seven 0 bits, so eleven of them can only begin an EOL.
constexpr int kEolZeros = 11;

// A place where the next coded line may begin, and how that line is coded.
struct LineStart {
    qint64 pos = 0;
    bool twoDimensional = false;
};

// Decodes one CCITT stream. A row is held as its changing elements: the sorted positions where
// the colour changes, starting from white (T.4 4.2.1.3.1). The previous row's list, followed by
// three sentinels at `columns`, is the reference line of two-dimensional coding.
class CcittFaxDecoder
{
public:
    CcittFaxDecoder(QByteArrayView data, const CcittFaxParams &p, qint64 maxOutputBytes)
        : m_in(reinterpret_cast<const std::uint8_t *>(data.data()), data.size())
        , m_p(p)
        , m_columns(p.columns)
        , m_rowBytes((qint64(p.columns) + 7) / 8)
        , m_maxOutputBytes(maxOutputBytes)
    {
        setWhiteReference();
    }

    // Empty when the result would pass the output limit or no row could be decoded.
    std::optional<QByteArray> run();
    bool damaged() const { return m_damaged; }

private:
    bool findLineStarts(qint64 from, LineStart starts[2], int &count, qint64 &resyncFrom) const;
    LineStart lineAt(qint64 pos) const;
    qint64 findEol(qint64 from) const;
    bool decodeLine(const LineStart &start, bool strict);
    bool decodeOneDimensional(bool strict);
    bool decodeTwoDimensional(bool strict);
    bool readRun(const std::array<ccitt::RunEntry, (1u << ccitt::kRunLookupBits)> &table, int &run);
    void addChange(int pos);
    void setWhiteReference();
    bool reserveRow();
    void renderRow();
    bool repeatPreviousRow();

    CcittBitReader m_in;
    const CcittFaxParams &m_p;
    const int m_columns;
    const qint64 m_rowBytes;
    const qint64 m_maxOutputBytes;
    std::vector<int> m_reference; // previous row's changing elements, then 3 sentinels
    std::vector<int> m_coding;    // changing elements of the row being decoded
    QByteArray m_out;
    qint64 m_rows = 0;
    bool m_damaged = false; // a line did not decode, and decoding stopped there
};

std::optional<QByteArray> CcittFaxDecoder::run()
{
    const qint64 rowLimit = m_p.rows > 0 ? m_p.rows : std::numeric_limits<qint64>::max();
    // With EOL codes present a damaged line can be skipped (ISO 32000-1, table 11).
    const bool mayConceal = m_p.endOfLine && m_p.k >= 0 && m_p.damagedRowsBeforeError > 0;
    int damagedRows = 0;

    if (m_p.rows > 0 && !m_p.endOfBlock) {
        qint64 total = 0;
        if (!__builtin_mul_overflow(qint64(m_p.rows), m_rowBytes, &total) && total <= m_maxOutputBytes)
            m_out.reserve(total);
    }

    while (m_rows < rowLimit) {
        LineStart starts[2];
        int count = 0;
        qint64 resyncFrom = 0;
        if (!findLineStarts(m_in.position(), starts, count, resyncFrom))
            break;

        // Of two readings, one that fits the row exactly wins over one that needs the tolerance
        // for codes running past the row end.
        bool decoded = false;
        for (int i = 0; count > 1 && i < count && !decoded; ++i)
            decoded = decodeLine(starts[i], true);
        for (int i = 0; i < count && !decoded; ++i)
            decoded = decodeLine(starts[i], false);

        if (decoded) {
            if (!reserveRow())
                return std::nullopt;
            renderRow();
            m_reference.assign(m_coding.begin(), m_coding.end());
            m_reference.insert(m_reference.end(), 3, m_columns);
            continue;
        }

        // A damaged line: without EOL codes there is no way to find the next line.
        m_damaged = !mayConceal || damagedRows >= m_p.damagedRowsBeforeError;
        if (m_damaged)
            break;
        const qint64 eol = findEol(resyncFrom);
        m_damaged = eol < 0;
        if (m_damaged)
            break;
        ++damagedRows;
        m_in.seek(eol);
        // The damaged row repeats the row above it, which stays the reference line.
        if (!repeatPreviousRow())
            return std::nullopt;
    }

    if (m_rows == 0) {
        m_damaged = true; // data, and not one line in it
        return std::nullopt;
    }
    return m_out;
}

// Works out where the line after bit `from` starts. Several EOL layouts are in use: none at all,
// EOLs with or without fill bits, and with EncodedByteAlign either the line data or the EOL
// placed on a byte boundary. Where the layouts disagree, both readings are offered, the one the
// parameters promise first. Returns false at the end of the data: nothing but 0 bits left, or two
// EOLs in a row (T.6 EOFB, T.4 RTC).
bool CcittFaxDecoder::findLineStarts(qint64 from, LineStart starts[2], int &count, qint64 &resyncFrom) const
{
    count = 0;
    bool foundOne = false;
    const qint64 zeros = m_in.countZeros(from, foundOne);
    if (!foundOne)
        return false;

    resyncFrom = from + 1;
    bool haveEol = false;
    LineStart afterEol;
    if (zeros >= kEolZeros) {
        const qint64 pos = from + zeros + 1;
        // In mixed coding every EOL carries a tag bit, so RTC is six times EOL + 1.
        const qint64 next = m_p.k > 0 ? pos + 1 : pos;
        bool nextOne = false;
        const qint64 nextZeros = m_in.countZeros(next, nextOne);
        if (!nextOne || nextZeros >= kEolZeros)
            return false;
        haveEol = true;
        afterEol = lineAt(pos);
        resyncFrom = pos;
    }

    if (m_p.encodedByteAlign) {
        const LineStart aligned = lineAt((from + 7) & ~qint64(7));
        if (haveEol) {
            // Both readings are possible when fill bits plus a code with seven leading 0 bits
            // look like an EOL ending on a byte boundary.
            starts[0] = m_p.endOfLine ? afterEol : aligned;
            starts[1] = m_p.endOfLine ? aligned : afterEol;
            count = 2;
        } else {
            starts[0] = aligned;
            count = 1;
        }
    } else {
        starts[0] = haveEol ? afterEol : lineAt(from);
        count = 1;
    }
    return true;
}

// A line starting at `pos`: in mixed coding (K > 0) a tag bit comes first, 1 for a
// one-dimensionally coded line and 0 for a two-dimensionally coded one.
LineStart CcittFaxDecoder::lineAt(qint64 pos) const
{
    if (m_p.k > 0)
        return {pos + 1, m_in.peekAt(pos, 1) == 0};
    return {pos, m_p.k < 0};
}

// The start of the next EOL (its fill bits included) at or after `from`, or -1.
qint64 CcittFaxDecoder::findEol(qint64 from) const
{
    for (;;) {
        bool foundOne = false;
        const qint64 zeros = m_in.countZeros(from, foundOne);
        if (!foundOne)
            return -1;
        if (zeros >= kEolZeros)
            return from;
        from += zeros + 1;
    }
}

// `strict` refuses runs and vertical codes that pass the end of the row, which encoders get
// wrong often enough that they are otherwise accepted (the row then ends there).
bool CcittFaxDecoder::decodeLine(const LineStart &start, bool strict)
{
    m_in.seek(start.pos);
    m_coding.clear();
    const bool ok = start.twoDimensional ? decodeTwoDimensional(strict) : decodeOneDimensional(strict);
    return ok && !m_in.overrun();
}

// Records a colour change. A change at the same place as the one before cancels it (a run of
// length 0), so the list holds only real changes, as the encoder saw them; positions at or past
// the end of the row are not changes.
void CcittFaxDecoder::addChange(int pos)
{
    if (pos >= m_columns)
        return;
    if (!m_coding.empty() && m_coding.back() == pos)
        m_coding.pop_back();
    else
        m_coding.push_back(pos);
}

// One run: any make-up codes, then a terminating code.
bool CcittFaxDecoder::readRun(const std::array<ccitt::RunEntry, (1u << ccitt::kRunLookupBits)> &table, int &run)
{
    run = 0;
    for (;;) {
        const ccitt::RunEntry e = table[m_in.peek(ccitt::kRunLookupBits)];
        if (e.length == 0)
            return false;
        m_in.skip(e.length);
        run += e.run;
        if (run > m_columns || m_in.overrun())
            return false;
        if (e.run < ccitt::kFirstMakeup)
            return true;
    }
}

// Modified Huffman coding (T.4 4.1): alternating white and black runs, white first.
bool CcittFaxDecoder::decodeOneDimensional(bool strict)
{
    int a0 = 0;
    bool black = false;
    while (a0 < m_columns) {
        int run = 0;
        if (!readRun(black ? ccitt::kBlackTable.entries : ccitt::kWhiteTable.entries, run))
            return false;
        if (strict && run > m_columns - a0)
            return false;
        a0 = std::min(a0 + run, m_columns);
        addChange(a0);
        black = !black;
    }
    return true;
}

// Modified READ coding (T.4 4.2, T.6 2.2). a0 starts on an imaginary white element before the
// row (-1); b1 is the first changing element of the reference line right of a0 whose colour is
// the opposite of a0's colour, b2 the next one.
bool CcittFaxDecoder::decodeTwoDimensional(bool strict)
{
    int a0 = -1;
    int colour = 0; // 0 white, 1 black; the reference element at index i changes to colour (i+1)%2
    std::size_t bi = 0;
    while (a0 < m_columns) {
        while (bi > 0 && m_reference[bi - 1] > a0)
            --bi;
        while (m_reference[bi] <= a0 || int(bi & 1) != colour)
            ++bi;
        const int b1 = m_reference[bi];
        const int b2 = m_reference[bi + 1];

        const ccitt::ModeEntry mode = ccitt::kModeTable.entries[m_in.peek(ccitt::kModeLookupBits)];
        if (mode.length == 0)
            return false;
        m_in.skip(mode.length);

        switch (mode.mode) {
        case ccitt::Mode::Pass: a0 = b2; break;
        case ccitt::Mode::Horizontal: {
            int first = 0;
            int second = 0;
            const auto &firstTable = colour ? ccitt::kBlackTable.entries : ccitt::kWhiteTable.entries;
            const auto &secondTable = colour ? ccitt::kWhiteTable.entries : ccitt::kBlackTable.entries;
            if (!readRun(firstTable, first) || !readRun(secondTable, second))
                return false;
            const int start = std::max(a0, 0);
            if (strict && qint64(first) + second > m_columns - start)
                return false;
            const int a1 = std::min(start + first, m_columns);
            const int a2 = std::min(a1 + second, m_columns);
            addChange(a1);
            addChange(a2);
            a0 = a2;
            break;
        }
        case ccitt::Mode::Vertical: {
            if (strict && b1 + mode.delta > m_columns)
                return false;
            const int a1 = std::min(b1 + mode.delta, m_columns);
            if (a1 <= a0)
                return false;
            addChange(a1);
            a0 = a1;
            colour ^= 1;
            break;
        }
        case ccitt::Mode::Extension: // uncompressed mode is not supported
        case ccitt::Mode::Invalid: return false;
        }
        if (m_in.overrun())
            return false;
    }
    return true;
}

void CcittFaxDecoder::setWhiteReference()
{
    m_reference.assign(3, m_columns);
}

// Makes room for one more row within the output limit.
bool CcittFaxDecoder::reserveRow()
{
    const qint64 needed = m_out.size() + m_rowBytes;
    if (needed > m_maxOutputBytes)
        return false;
    if (needed > m_out.capacity())
        m_out.reserve(std::min(m_maxOutputBytes, std::max(needed, qint64(m_out.capacity()) * 2)));
    return true;
}

void CcittFaxDecoder::renderRow()
{
    const std::uint8_t white = m_p.blackIs1 ? 0x00 : 0xff;
    const qint64 start = m_out.size();
    m_out.resize(start + m_rowBytes);
    auto *row = reinterpret_cast<std::uint8_t *>(m_out.data() + start);
    std::memset(row, white, m_rowBytes);

    // Black spans run from an even-indexed change to the next one (or the row end).
    for (std::size_t i = 0; i < m_coding.size(); i += 2) {
        const int from = m_coding[i];
        const int to = i + 1 < m_coding.size() ? m_coding[i + 1] : m_columns;
        const int firstByte = from >> 3;
        const int lastByte = (to - 1) >> 3;
        std::uint8_t firstMask = std::uint8_t(0xff >> (from & 7));
        const std::uint8_t lastMask = std::uint8_t(0xff << (7 - ((to - 1) & 7)));
        if (firstByte == lastByte)
            firstMask &= lastMask;
        auto paint = [&](int byte, std::uint8_t mask) {
            row[byte] = m_p.blackIs1 ? (row[byte] | mask) : (row[byte] & ~mask);
        };
        paint(firstByte, firstMask);
        if (firstByte != lastByte) {
            if (lastByte > firstByte + 1)
                std::memset(row + firstByte + 1, ~white & 0xff, lastByte - firstByte - 1);
            paint(lastByte, lastMask);
        }
    }
    ++m_rows;
}

bool CcittFaxDecoder::repeatPreviousRow()
{
    if (!reserveRow())
        return false;
    if (m_rows == 0) {
        m_coding.clear();
        renderRow();
        return true;
    }
    const qint64 start = m_out.size();
    m_out.resize(start + m_rowBytes);
    std::memmove(m_out.data() + start, m_out.constData() + start - m_rowBytes, m_rowBytes);
    ++m_rows;
    return true;
}

} // namespace

std::optional<QByteArray> decodeCcittFax(QByteArrayView data, const CcittFaxParams &p, qint64 maxOutputBytes,
                                         bool *damaged)
{
    if (p.columns < 1 || p.columns > kMaxColumns || data.isEmpty() || maxOutputBytes <= 0)
        return std::nullopt;
    CcittFaxDecoder decoder(data, p, maxOutputBytes);
    std::optional<QByteArray> rows = decoder.run();
    if (damaged)
        *damaged = decoder.damaged();
    return rows;
}

} // namespace zembrix
