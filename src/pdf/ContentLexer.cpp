#include "ContentLexer.h"
#include "ColourComponents.h"

#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <exception>

namespace zembrix {

namespace {

constexpr int kMaxNesting = 32;

bool isWhite(char c)
{
    return c == ' ' || c == '\n' || c == '\r' || c == '\t' || c == '\f' || c == '\0';
}

bool isDelimiter(char c)
{
    return std::strchr("()<>[]{}/%", c) != nullptr && c != '\0';
}

bool isRegular(char c)
{
    return !isWhite(c) && !isDelimiter(c);
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Reads PDF objects of a content stream (an inline image's dictionary).
class ObjectReader
{
public:
    ObjectReader(QByteArrayView bytes, qint64 pos)
        : m_b(bytes)
        , m_pos(pos)
    {
    }
    qint64 pos() const { return m_pos; }
    bool atEnd() const { return m_pos >= m_b.size(); }
    char peek(qint64 ahead = 0) const { return m_pos + ahead < m_b.size() ? m_b[m_pos + ahead] : '\0'; }

    void skipSpace()
    {
        while (m_pos < m_b.size()) {
            const char c = m_b[m_pos];
            if (isWhite(c)) {
                ++m_pos;
            } else if (c == '%') {
                while (m_pos < m_b.size() && m_b[m_pos] != '\n' && m_b[m_pos] != '\r')
                    ++m_pos;
            } else {
                break;
            }
        }
    }

    // The keyword at the position (a run of regular characters), not consumed.
    QByteArrayView keyword() const
    {
        qint64 end = m_pos;
        while (end < m_b.size() && isRegular(m_b[end]))
            ++end;
        return m_b.sliced(m_pos, end - m_pos);
    }

    QByteArray name()
    {
        ++m_pos; // the slash
        QByteArray n;
        while (m_pos < m_b.size() && isRegular(m_b[m_pos])) {
            const char c = m_b[m_pos];
            if (c == '#' && m_pos + 2 < m_b.size() && hexValue(m_b[m_pos + 1]) >= 0 && hexValue(m_b[m_pos + 2]) >= 0) {
                n += char(hexValue(m_b[m_pos + 1]) * 16 + hexValue(m_b[m_pos + 2]));
                m_pos += 3;
            } else {
                n += c;
                ++m_pos;
            }
        }
        return n;
    }

    std::string literalString()
    {
        ++m_pos;
        std::string s;
        int depth = 1;
        while (m_pos < m_b.size()) {
            char c = m_b[m_pos++];
            if (c == '\\' && m_pos < m_b.size()) {
                c = m_b[m_pos++];
                switch (c) {
                case 'n': s += '\n'; break;
                case 'r': s += '\r'; break;
                case 't': s += '\t'; break;
                case 'b': s += '\b'; break;
                case 'f': s += '\f'; break;
                case '\r':
                    if (m_pos < m_b.size() && m_b[m_pos] == '\n')
                        ++m_pos;
                    break;
                case '\n': break;
                default:
                    if (c >= '0' && c <= '7') {
                        int v = c - '0';
                        for (int i = 0; i < 2 && m_pos < m_b.size() && m_b[m_pos] >= '0' && m_b[m_pos] <= '7'; ++i)
                            v = v * 8 + (m_b[m_pos++] - '0');
                        s += char(v & 0xff);
                    } else {
                        s += c;
                    }
                }
                continue;
            }
            if (c == '(')
                ++depth;
            else if (c == ')' && --depth == 0)
                break;
            s += c;
        }
        return s;
    }

    std::string hexString()
    {
        ++m_pos;
        std::string s;
        int high = -1;
        while (m_pos < m_b.size() && m_b[m_pos] != '>') {
            const int v = hexValue(m_b[m_pos++]);
            if (v < 0)
                continue;
            if (high < 0) {
                high = v;
            } else {
                s += char(high * 16 + v);
                high = -1;
            }
        }
        if (high >= 0)
            s += char(high * 16);
        if (m_pos < m_b.size())
            ++m_pos;
        return s;
    }

    QPDFObjectHandle number()
    {
        const QByteArrayView text = keyword();
        m_pos += text.size();
        const std::string s(text.data(), size_t(text.size()));
        if (s.find('.') == std::string::npos) {
            char *end = nullptr;
            const long long v = std::strtoll(s.c_str(), &end, 10);
            if (end && *end == '\0' && !s.empty())
                return QPDFObjectHandle::newInteger(v);
        }
        char *end = nullptr;
        const double v = std::strtod(s.c_str(), &end);
        return QPDFObjectHandle::newReal(std::isfinite(v) ? v : 0.0, 6);
    }

    // One object; a null for anything it cannot read (which is consumed).
    QPDFObjectHandle object(int depth = 0)
    {
        skipSpace();
        if (atEnd())
            return QPDFObjectHandle::newNull();
        const char c = peek();
        if (c == '/')
            return QPDFObjectHandle::newName("/" + name().toStdString());
        if (c == '(')
            return QPDFObjectHandle::newString(literalString());
        if (c == '<' && peek(1) != '<')
            return QPDFObjectHandle::newString(hexString());
        if (c == '<' || c == '[') {
            const bool isDict = c == '<';
            m_pos += isDict ? 2 : 1;
            QPDFObjectHandle container = isDict ? QPDFObjectHandle::newDictionary() : QPDFObjectHandle::newArray();
            while (true) {
                skipSpace();
                if (atEnd())
                    break;
                if (isDict && peek() == '>' && peek(1) == '>') {
                    m_pos += 2;
                    break;
                }
                if (!isDict && peek() == ']') {
                    ++m_pos;
                    break;
                }
                if (isDict) {
                    if (peek() != '/') { // not a key: skipped
                        skipOne();
                        continue;
                    }
                    const std::string key = "/" + name().toStdString();
                    QPDFObjectHandle value =
                        depth < kMaxNesting ? object(depth + 1) : (skipOne(), QPDFObjectHandle::newNull());
                    container.replaceKey(key, value);
                } else {
                    container.appendItem(depth < kMaxNesting ? object(depth + 1)
                                                             : (skipOne(), QPDFObjectHandle::newNull()));
                }
            }
            return container;
        }
        if (c == '+' || c == '-' || c == '.' || (c >= '0' && c <= '9'))
            return number();
        const QByteArrayView word = keyword();
        if (word.isEmpty()) { // a stray delimiter
            ++m_pos;
            return QPDFObjectHandle::newNull();
        }
        m_pos += word.size();
        if (word == "true" || word == "false")
            return QPDFObjectHandle::newBool(word == "true");
        return QPDFObjectHandle::newNull();
    }

    void skipOne()
    {
        if (atEnd())
            return;
        const char c = peek();
        if (c == '(')
            literalString();
        else if (c == '<' && peek(1) != '<')
            hexString();
        else if (c == '<' || c == '>')
            m_pos += peek(1) == c ? 2 : 1;
        else if (c == '/')
            name();
        else if (isDelimiter(c))
            ++m_pos;
        else
            m_pos += std::max<qint64>(1, keyword().size());
    }

private:
    QByteArrayView m_b;
    qint64 m_pos;
};

std::string expandKey(const std::string &key)
{
    static const std::pair<const char *, const char *> keys[] = {{"/BPC", "/BitsPerComponent"},
                                                                 {"/CS", "/ColorSpace"},
                                                                 {"/D", "/Decode"},
                                                                 {"/DP", "/DecodeParms"},
                                                                 {"/F", "/Filter"},
                                                                 {"/H", "/Height"},
                                                                 {"/IM", "/ImageMask"},
                                                                 {"/I", "/Interpolate"},
                                                                 {"/W", "/Width"},
                                                                 {"/L", "/Length"}};
    for (const auto &[shortKey, longKey] : keys)
        if (key == shortKey)
            return longKey;
    return key;
}

QPDFObjectHandle expandName(QPDFObjectHandle value, const std::pair<const char *, const char *> *table, size_t n)
{
    if (!value.isName())
        return value;
    const std::string name = value.getName();
    for (size_t i = 0; i < n; ++i)
        if (name == table[i].first)
            return QPDFObjectHandle::newName(table[i].second);
    return value;
}

const std::pair<const char *, const char *> kSpaceNames[] = {
    {"/G", "/DeviceGray"}, {"/RGB", "/DeviceRGB"}, {"/CMYK", "/DeviceCMYK"}, {"/I", "/Indexed"}};
const std::pair<const char *, const char *> kFilterNames[] = {
    {"/AHx", "/ASCIIHexDecode"}, {"/A85", "/ASCII85Decode"},  {"/LZW", "/LZWDecode"}, {"/Fl", "/FlateDecode"},
    {"/RL", "/RunLengthDecode"}, {"/CCF", "/CCITTFaxDecode"}, {"/DCT", "/DCTDecode"}};

QPDFObjectHandle expandSpace(QPDFObjectHandle space)
{
    if (space.isArray()) {
        const int n = space.getArrayNItems();
        // [/I base hival lookup]: the family and its base.
        for (int i = 0; i < std::min(n, 2); ++i)
            space.setArrayItem(i, expandName(space.getArrayItem(i), kSpaceNames, std::size(kSpaceNames)));
        return space;
    }
    return expandName(space, kSpaceNames, std::size(kSpaceNames));
}

QPDFObjectHandle expandFilter(QPDFObjectHandle filter)
{
    if (filter.isArray()) {
        for (int i = 0; i < filter.getArrayNItems(); ++i)
            filter.setArrayItem(i, expandName(filter.getArrayItem(i), kFilterNames, std::size(kFilterNames)));
        return filter;
    }
    return expandName(filter, kFilterNames, std::size(kFilterNames));
}

// The entries from the reader's position up to ID (not consumed) or the end.
QPDFObjectHandle readEntries(ObjectReader &reader)
{
    QPDFObjectHandle dict = QPDFObjectHandle::newDictionary();
    while (true) {
        reader.skipSpace();
        if (reader.atEnd())
            break;
        if (reader.peek() != '/') {
            // An operator (ID, or any other: the dictionary was never ended)
            // ends the entries; other stray operands are passed over.
            const QByteArrayView word = reader.keyword();
            if (!word.isEmpty() && ((word[0] >= 'A' && word[0] <= 'Z') || (word[0] >= 'a' && word[0] <= 'z')))
                break;
            reader.skipOne();
            continue;
        }
        const std::string key = expandKey("/" + reader.name().toStdString());
        QPDFObjectHandle value = reader.object();
        if (key == "/ColorSpace")
            value = expandSpace(value);
        else if (key == "/Filter")
            value = expandFilter(value);
        dict.replaceKey(key, value);
    }
    return dict;
}

int integerOf(QPDFObjectHandle dict, const char *key, int fallback)
{
    QPDFObjectHandle v = dict.getKey(key);
    if (v.isInteger())
        return int(std::clamp<long long>(v.getIntValue(), -1, 1 << 30));
    if (v.isReal())
        return int(std::clamp(v.getNumericValue(), -1.0, double(1 << 30)));
    return fallback;
}

// The end (just past EI) when whitespace and then EI, standing alone, follow
// `p`; -1 otherwise.
qint64 eiAt(QByteArrayView b, qint64 p)
{
    while (p < b.size() && isWhite(b[p]))
        ++p;
    if (p + 1 < b.size() && b[p] == 'E' && b[p + 1] == 'I' && (p + 2 == b.size() || !isRegular(b[p + 2])))
        return p + 2;
    return -1;
}

// Where data of this filter that starts at `begin` ends; -1 when unknown.
qint64 filterEnd(QByteArrayView b, qint64 begin, const std::string &filter, QPDFObjectHandle parms,
                 qint64 *inflateBudget)
{
    const qint64 n = b.size();
    if (filter == "/ASCIIHexDecode") {
        const qint64 at = b.indexOf('>', begin);
        return at < 0 ? -1 : at + 1;
    }
    if (filter == "/ASCII85Decode") {
        const qint64 at = b.indexOf("~>", begin);
        return at < 0 ? -1 : at + 2;
    }
    if (filter == "/RunLengthDecode") {
        qint64 p = begin;
        while (p < n) {
            const int length = uchar(b[p]);
            if (length == 128)
                return p + 1;
            p += length < 128 ? length + 2 : 2;
        }
        return -1;
    }
    if (filter == "/DCTDecode") {
        if (n - begin < 2 || uchar(b[begin]) != 0xff || uchar(b[begin + 1]) != 0xd8)
            return -1;
        qint64 p = begin + 2;
        while (p + 1 < n) {
            if (uchar(b[p]) != 0xff) { // entropy-coded data: up to the next marker
                ++p;
                continue;
            }
            const int marker = uchar(b[p + 1]);
            if (marker == 0xd9)
                return p + 2;
            if (marker == 0x00 || marker == 0xff || marker == 0x01 || (marker >= 0xd0 && marker <= 0xd7)) {
                p += marker == 0xff ? 1 : 2;
                continue;
            }
            if (p + 3 >= n)
                return -1;
            p += 2 + (uchar(b[p + 2]) << 8 | uchar(b[p + 3]));
        }
        return -1;
    }
    if (filter == "/FlateDecode") {
        if (*inflateBudget <= 0)
            return -1;
        z_stream z{};
        if (inflateInit(&z) != Z_OK)
            return -1;
        z.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(b.data() + begin));
        z.avail_in = uInt(std::min<qint64>(n - begin, 1 << 30));
        unsigned char sink[1 << 15];
        int status = Z_OK;
        while (status == Z_OK && *inflateBudget > 0) {
            z.next_out = sink;
            z.avail_out = sizeof sink;
            status = inflate(&z, Z_NO_FLUSH);
            *inflateBudget -= qint64(sizeof sink - z.avail_out);
            if (status == Z_BUF_ERROR && z.avail_out != 0)
                break;
            if (status == Z_BUF_ERROR)
                status = Z_OK;
        }
        const qint64 consumed = qint64(z.total_in);
        inflateEnd(&z);
        return status == Z_STREAM_END ? begin + consumed : -1;
    }
    if (filter == "/LZWDecode") {
        int early = 1;
        if (parms.isDictionary() && parms.getKey("/EarlyChange").isInteger())
            early = parms.getKey("/EarlyChange").getIntValue() == 0 ? 0 : 1;
        qint64 bit = begin * 8;
        int width = 9, next = 258;
        bool havePrevious = false;
        while (bit + width <= n * 8) {
            int code = 0;
            for (int i = 0; i < width; ++i, ++bit)
                code = code << 1 | (uchar(b[bit / 8]) >> (7 - bit % 8) & 1);
            if (code == 257)
                return (bit + 7) / 8;
            if (code == 256) {
                width = 9;
                next = 258;
                havePrevious = false;
                continue;
            }
            if (havePrevious && next < 4096)
                ++next;
            havePrevious = true;
            if (next + early >= (1 << width) && width < 12)
                ++width;
        }
        return -1;
    }
    return -1;
}

// The first EI after `begin` that stands alone and is followed by text, as
// a content stream goes on after an image; the end of the bytes otherwise.
qint64 searchEi(QByteArrayView b, qint64 begin, qint64 *eiEnd)
{
    for (qint64 p = b.indexOf("EI", begin); p >= 0; p = b.indexOf("EI", p + 1)) {
        if ((p > begin && !isWhite(b[p - 1])) || (p + 2 < b.size() && !isWhite(b[p + 2])))
            continue;
        bool text = true;
        for (qint64 q = p + 2; q < std::min<qint64>(b.size(), p + 2 + 32); ++q) {
            const uchar c = uchar(b[q]);
            if (c > 0x7e || (c < 0x20 && !isWhite(char(c)))) {
                text = false;
                break;
            }
        }
        if (!text)
            continue;
        *eiEnd = p + 2;
        return p > begin ? p - 1 : p;
    }
    *eiEnd = b.size();
    return b.size();
}

} // namespace

ContentLexer::ContentLexer(QByteArrayView bytes, NamedComponents namedComponents, qint64 *inflateBudget)
    : m_bytes(bytes)
    , m_namedComponents(std::move(namedComponents))
    , m_inflateBudget(inflateBudget)
{
}

void ContentLexer::skipSpace()
{
    ObjectReader reader(m_bytes, m_pos);
    reader.skipSpace();
    m_pos = reader.pos();
}

ContentLexer::Token ContentLexer::next()
{
    skipSpace();
    Token token;
    if (m_pos >= m_bytes.size())
        return token;
    ObjectReader reader(m_bytes, m_pos);
    const char c = m_bytes[m_pos];
    if (c == '/') {
        const qint64 begin = m_pos + 1;
        const QByteArray n = reader.name();
        m_pos = reader.pos();
        token.kind = Token::Name;
        if (n.size() == m_pos - begin) { // no escapes: a view of the bytes
            token.text = m_bytes.sliced(begin, n.size());
        } else {
            m_name = n;
            token.text = QByteArrayView(m_name);
        }
        return token;
    }
    if (c == '+' || c == '-' || c == '.' || (c >= '0' && c <= '9')) {
        QPDFObjectHandle v = reader.number();
        m_pos = reader.pos();
        token.kind = Token::Number;
        token.number = v.getNumericValue();
        return token;
    }
    if (isDelimiter(c)) {
        reader.skipOne();
        m_pos = reader.pos();
        token.kind = Token::Other;
        return token;
    }
    const QByteArrayView word = reader.keyword();
    m_pos += word.size();
    if (word == "BI")
        return readInlineImage(m_pos);
    if (word == "true" || word == "false" || word == "null") {
        token.kind = Token::Other;
        return token;
    }
    token.kind = Token::Operator;
    token.text = word;
    return token;
}

ContentLexer::Token ContentLexer::readInlineImage(qint64 dictBegin)
{
    ObjectReader reader(m_bytes, dictBegin);
    QPDFObjectHandle dict;
    try {
        dict = readEntries(reader);
    } catch (const std::exception &) {
        dict = QPDFObjectHandle::newDictionary();
    }
    Token token;
    token.kind = Token::InlineImage;
    token.image.dictBegin = dictBegin;
    token.image.dictEnd = reader.pos();
    const QByteArrayView b = m_bytes;
    if (reader.keyword() != "ID") { // EI without data, another operator, or the end
        m_pos = reader.pos() + (reader.keyword() == "EI" ? 2 : 0);
        token.image.dataBegin = token.image.dataEnd = token.image.dictEnd;
        return token;
    }
    qint64 begin = reader.pos() + 2;
    const bool crlf = begin + 1 < b.size() && b[begin] == '\r' && b[begin + 1] == '\n';
    if (begin < b.size() && isWhite(b[begin]))
        begin += crlf ? 2 : 1;

    qint64 end = -1, eiEnd = -1;
    // A length that the data is found to have: EI must follow it.
    const auto tryLength = [&](qint64 length) {
        for (qint64 start : {begin, crlf ? begin - 1 : begin}) {
            if (length < 0 || length > b.size() - start)
                continue;
            if (const qint64 after = eiAt(b, start + length); after >= 0) {
                token.image.dataBegin = start;
                end = start + length;
                eiEnd = after;
                return true;
            }
        }
        return false;
    };
    try {
        const int declared = std::max(integerOf(dict, "/Length", -1), integerOf(dict, "/L", -1));
        bool found = declared >= 0 && tryLength(declared);
        QPDFObjectHandle filter = dict.getKey("/Filter");
        QPDFObjectHandle parms = dict.getKey("/DecodeParms");
        if (filter.isArray()) {
            filter = filter.getArrayNItems() > 0 ? filter.getArrayItem(0) : QPDFObjectHandle::newNull();
            parms = parms.isArray() && parms.getArrayNItems() > 0 ? parms.getArrayItem(0) : QPDFObjectHandle::newNull();
        }
        if (!found && filter.isName()) {
            for (qint64 start : {begin, crlf ? begin - 1 : begin}) {
                const qint64 filtered = filterEnd(b, start, filter.getName(), parms, m_inflateBudget);
                if (filtered >= 0 && tryLength(filtered - start)) {
                    found = true;
                    break;
                }
            }
        } else if (!found) {
            bool mask = false;
            if (dict.getKey("/ImageMask").isBool())
                mask = dict.getKey("/ImageMask").getBoolValue();
            const int width = integerOf(dict, "/Width", 0), height = integerOf(dict, "/Height", 0);
            const int bpc = mask ? 1 : integerOf(dict, "/BitsPerComponent", 0);
            int components = 1;
            if (!mask) {
                QPDFObjectHandle space = dict.getKey("/ColorSpace");
                components = colourSpaceComponents(space);
                if (components == 0 && space.isName() && m_namedComponents)
                    components = m_namedComponents(QByteArray::fromStdString(space.getName().substr(1)));
            }
            if (width > 0 && height > 0 && bpc > 0 && bpc <= 16 && components > 0 && components <= 32) {
                const qint64 row = (qint64(width) * components * bpc + 7) / 8;
                if (row <= b.size() && qint64(height) <= b.size())
                    found = tryLength(row * height);
            }
        }
    } catch (const std::exception &) {
    }
    if (end < 0) {
        token.image.dataBegin = begin;
        end = searchEi(b, begin, &eiEnd);
    }
    token.image.dataEnd = end;
    m_pos = eiEnd;
    return token;
}

QPDFObjectHandle readInlineImageDictionary(QByteArrayView bytes)
{
    try {
        ObjectReader reader(bytes, 0);
        QPDFObjectHandle dict = readEntries(reader);
        dict.removeKey("/Length");
        return dict;
    } catch (const std::exception &) {
        return QPDFObjectHandle::newDictionary();
    }
}

} // namespace zembrix
