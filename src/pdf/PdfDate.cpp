#include "PdfDate.h"

namespace zembrix {

namespace {

// Reads exactly `digits` decimal digits at pos; false when they are not there.
bool readDigits(const QByteArray &s, qsizetype &pos, int digits, int *value)
{
    if (pos + digits > s.size())
        return false;
    int v = 0;
    for (int i = 0; i < digits; ++i) {
        const char c = s[pos + i];
        if (c < '0' || c > '9')
            return false;
        v = v * 10 + (c - '0');
    }
    pos += digits;
    *value = v;
    return true;
}

} // namespace

std::optional<QDateTime> parsePdfDate(const QByteArray &raw)
{
    QByteArray s = raw.trimmed();
    qsizetype pos = 0;
    if (s.startsWith("D:"))
        pos = 2;

    int year = 0;
    if (!readDigits(s, pos, 4, &year))
        return std::nullopt;
    int month = 1, day = 1, hour = 0, minute = 0, second = 0;
    // Each later field is optional, but only in order.
    if (readDigits(s, pos, 2, &month) && readDigits(s, pos, 2, &day) && readDigits(s, pos, 2, &hour)
        && readDigits(s, pos, 2, &minute)) {
        readDigits(s, pos, 2, &second);
    }

    int offsetSeconds = 0;
    if (pos < s.size()) {
        const char sign = s[pos];
        if (sign == '+' || sign == '-') {
            ++pos;
            int oh = 0, om = 0;
            if (readDigits(s, pos, 2, &oh)) {
                if (pos < s.size() && s[pos] == '\'')
                    ++pos;
                readDigits(s, pos, 2, &om);
            }
            if (oh > 23 || om > 59)
                return std::nullopt;
            offsetSeconds = (oh * 3600 + om * 60) * (sign == '-' ? -1 : 1);
        }
        // 'Z' or anything after the fields: UTC, as readers commonly accept.
    }

    const QDate date(year, month, day);
    const QTime time(hour, minute, second);
    if (!date.isValid() || !time.isValid())
        return std::nullopt;
    QDateTime local(date, time, Qt::OffsetFromUTC, offsetSeconds);
    if (!local.isValid())
        return std::nullopt;
    return local.toUTC();
}

} // namespace zembrix
