#include "ArgumentPaths.h"

#include "CommandLine.h"

#include <QList>

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zembrix {

namespace {

constexpr char16_t kEscapeBase = 0xDC00;

// The length of the valid UTF-8 sequence at `i`, or 0 (RFC 3629: no overlong
// forms, no surrogates, nothing past U+10FFFF).
qsizetype validSequence(const QByteArray &b, qsizetype i)
{
    const auto at = [&](qsizetype k) { return k < b.size() ? uchar(b[k]) : 0u; };
    const uint c = at(i);
    const auto continuation = [&](qsizetype k, uint low = 0x80, uint high = 0xBF) {
        return at(k) >= low && at(k) <= high;
    };
    if (c < 0x80)
        return 1;
    if (c >= 0xC2 && c <= 0xDF)
        return continuation(i + 1) ? 2 : 0;
    if (c >= 0xE0 && c <= 0xEF) {
        const uint low = c == 0xE0 ? 0xA0 : 0x80, high = c == 0xED ? 0x9F : 0xBF;
        return continuation(i + 1, low, high) && continuation(i + 2) ? 3 : 0;
    }
    if (c >= 0xF0 && c <= 0xF4) {
        const uint low = c == 0xF0 ? 0x90 : 0x80, high = c == 0xF4 ? 0x8F : 0xBF;
        return continuation(i + 1, low, high) && continuation(i + 2) && continuation(i + 3) ? 4 : 0;
    }
    return 0;
}

bool hasEscapes(const QString &text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate())
            ++i;
        else if (c.isLowSurrogate())
            return true;
    }
    return false;
}

QString shown(const QString &text)
{
    QString result = text;
    for (qsizetype i = 0; i < result.size(); ++i) {
        if (result[i].isHighSurrogate() && i + 1 < result.size() && result[i + 1].isLowSurrogate())
            ++i;
        else if (result[i].isLowSurrogate())
            result[i] = QChar::ReplacementCharacter;
    }
    return result;
}

// What Qt opens for the argument `text`.
QString openable(const QString &text, bool folder)
{
    if (!hasEscapes(text))
        return text;
    const QByteArray bytes = argumentBytes(text);
    struct stat info {
    };
    if (folder && ::stat(bytes.constData(), &info) != 0 && errno == ENOENT)
        ::mkdir(bytes.constData(), 0777); // a missing parent leaves it missing: said later
    const int fd = ::open(bytes.constData(), O_PATH | O_CLOEXEC);
    if (fd < 0)
        return shown(text); // not there: the caller says so with the name as shown
    return QStringLiteral("/proc/self/fd/%1").arg(fd);
}

} // namespace

QString argumentText(const QByteArray &bytes)
{
    QString text;
    for (qsizetype i = 0; i < bytes.size();) {
        const qsizetype n = validSequence(bytes, i);
        if (n > 0) {
            text += QString::fromUtf8(bytes.constData() + i, n);
            i += n;
        } else {
            text += QChar(char16_t(kEscapeBase + uchar(bytes[i])));
            ++i;
        }
    }
    return text;
}

QByteArray argumentBytes(const QString &text)
{
    QByteArray bytes;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            bytes += QString(text.mid(i, 2)).toUtf8();
            ++i;
        } else if (c.unicode() >= kEscapeBase + 0x80 && c.unicode() <= kEscapeBase + 0xFF) {
            bytes += char(c.unicode() - kEscapeBase);
        } else {
            bytes += QString(c).toUtf8();
        }
    }
    return bytes;
}

void resolveArgumentPaths(CommandLine &cl)
{
    cl.paths.clear();
    cl.fileBytes.clear();
    for (QString &file : cl.files) {
        cl.paths << openable(file, false);
        cl.fileBytes << argumentBytes(file);
        file = shown(file);
    }
    cl.outPath = cl.outDir.isEmpty() ? QString() : openable(cl.outDir, true);
    cl.outDir = shown(cl.outDir);
    cl.pattern = shown(cl.pattern);
}

} // namespace zembrix
