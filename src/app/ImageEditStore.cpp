#include "ImageEditStore.h"

#include "images/PDFImageStruct.h"
#include "pdf/PDFFileStruct.h"

#include <QDateTime>
#include <QFileInfo>

#include <climits>
#include <cmath>
#include <cstring>

namespace zembrix {

namespace {

constexpr char kMagic[4] = {'Z', 'E', 'D', '1'};
constexpr quint32 kMaxFiles = 100000;
constexpr quint32 kMaxEntries = 1000000; // over all files

void put32(QByteArray &out, quint32 v)
{
    out.append(char(v >> 24)).append(char(v >> 16)).append(char(v >> 8)).append(char(v));
}

void put64(QByteArray &out, qint64 v)
{
    put32(out, quint32(quint64(v) >> 32));
    put32(out, quint32(quint64(v)));
}

void putFloat(QByteArray &out, float f)
{
    quint32 bits = 0;
    std::memcpy(&bits, &f, 4);
    put32(out, bits);
}

void putText(QByteArray &out, const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    put32(out, quint32(bytes.size()));
    out.append(bytes);
}

// Reads what the writers above wrote; every length is checked against the
// bytes that are there before anything is taken.
class Reader
{
public:
    explicit Reader(const QByteArray &bytes)
        : m_bytes(bytes)
    {
    }
    bool u32(quint32 *v)
    {
        if (m_bytes.size() - m_pos < 4)
            return false;
        const auto *p = reinterpret_cast<const uchar *>(m_bytes.constData() + m_pos);
        *v = quint32(p[0]) << 24 | quint32(p[1]) << 16 | quint32(p[2]) << 8 | p[3];
        m_pos += 4;
        return true;
    }
    bool i64(qint64 *v)
    {
        quint32 hi = 0, lo = 0;
        if (!u32(&hi) || !u32(&lo))
            return false;
        *v = qint64(quint64(hi) << 32 | lo);
        return true;
    }
    bool f32(float *f)
    {
        quint32 bits = 0;
        if (!u32(&bits))
            return false;
        std::memcpy(f, &bits, 4);
        return std::isfinite(*f);
    }
    bool text(QString *out)
    {
        quint32 length = 0;
        if (!u32(&length) || length > quint32(m_bytes.size() - m_pos))
            return false;
        *out = QString::fromUtf8(m_bytes.constData() + m_pos, qsizetype(length));
        m_pos += qsizetype(length);
        return true;
    }
    bool atEnd() const { return m_pos == m_bytes.size(); }
    qsizetype left() const { return m_bytes.size() - m_pos; }

private:
    const QByteArray &m_bytes;
    qsizetype m_pos = 4; // after the magic
};

ImageEditStore::Entry entryOf(const PDFImageStruct &image)
{
    return {image.effectParameters(), !image.hasUnexportedEdits()};
}

} // namespace

std::optional<ImageEditStore::Stamp> ImageEditStore::stampOf(const QString &path)
{
    const QFileInfo info(path);
    if (!info.isFile())
        return std::nullopt;
    return Stamp{info.size(), info.lastModified().toMSecsSinceEpoch()};
}

// Layout: "ZED1", a 32-bit count of files, then per file its path, size and
// modification time, a 32-bit count of entries and per entry the object, the
// index, the mirror code, the six float values and the exported flag.
// Numbers are big-endian, texts UTF-8 after their 32-bit byte length.
QByteArray ImageEditStore::encode(const QHash<QString, FileEdits> &files)
{
    QByteArray out(kMagic, 4);
    put32(out, quint32(files.size()));
    for (auto f = files.cbegin(); f != files.cend(); ++f) {
        putText(out, f.key());
        put64(out, f->stamp.size);
        put64(out, f->stamp.modified);
        put32(out, quint32(f->pending.size()));
        for (auto e = f->pending.cbegin(); e != f->pending.cend(); ++e) {
            putText(out, e.key().first);
            put32(out, quint32(e.key().second));
            const EffectParameters &p = e->edits;
            put32(out, quint32(p.flip));
            for (float v : {p.angle, p.brightness, p.contrast, p.saturation, p.gamma, p.hue})
                putFloat(out, v);
            put32(out, e->exported ? 1 : 0);
        }
    }
    return out;
}

std::optional<QHash<QString, ImageEditStore::FileEdits>> ImageEditStore::decode(const QByteArray &bytes)
{
    if (bytes.size() < 8 || std::memcmp(bytes.constData(), kMagic, 4) != 0)
        return std::nullopt;
    Reader in(bytes);
    quint32 fileCount = 0;
    if (!in.u32(&fileCount) || fileCount > kMaxFiles)
        return std::nullopt;
    QHash<QString, FileEdits> files;
    quint32 entriesLeft = kMaxEntries;
    for (quint32 f = 0; f < fileCount; ++f) {
        QString path;
        FileEdits edits;
        quint32 count = 0;
        if (!in.text(&path) || !in.i64(&edits.stamp.size) || !in.i64(&edits.stamp.modified) || !in.u32(&count)
            || count > entriesLeft || count > quint32(in.left() / 40))
            return std::nullopt;
        entriesLeft -= count;
        for (quint32 i = 0; i < count; ++i) {
            QString object;
            quint32 index = 0, flip = 0, exported = 0;
            Entry entry;
            EffectParameters &p = entry.edits;
            if (!in.text(&object) || !in.u32(&index) || !in.u32(&flip) || !in.f32(&p.angle) || !in.f32(&p.brightness)
                || !in.f32(&p.contrast) || !in.f32(&p.saturation) || !in.f32(&p.gamma) || !in.f32(&p.hue)
                || !in.u32(&exported) || index > quint32(INT_MAX) || flip > 3 || exported > 1)
                return std::nullopt;
            p.flip = int(flip);
            entry.exported = exported == 1;
            edits.pending.insert({object, int(index)}, entry);
        }
        files.insert(path, edits);
    }
    if (!in.atEnd())
        return std::nullopt;
    return files;
}

void ImageEditStore::load(const QByteArray &bytes)
{
    m_files.clear();
    const auto files = decode(bytes);
    if (!files)
        return;
    for (auto f = files->cbegin(); f != files->cend(); ++f)
        if (stampOf(f.key()) == f->stamp)
            m_files.insert(f.key(), *f);
}

QByteArray ImageEditStore::save(const FileRecordList &files)
{
    // Images found since the last browser refresh still wait for their edits.
    applyPending(files);
    QHash<QString, FileEdits> kept;
    for (const auto &file : files) {
        if (!file)
            continue;
        const QString path = file->filePath();
        FileEdits edits = m_files.value(path);
        if (edits.stamp.size < 0) {
            if (const auto stamp = stampOf(path))
                edits.stamp = *stamp;
            else
                continue;
        }
        const auto images = file->images();
        for (qsizetype i = 0; i < images.size(); ++i) {
            const Key key(images[i]->source().objectKey, int(i));
            if (images[i]->effectParameters().isNeutral())
                edits.pending.remove(key);
            else
                edits.pending.insert(key, entryOf(*images[i]));
        }
        if (!edits.pending.isEmpty())
            kept.insert(path, edits);
    }
    return kept.isEmpty() ? QByteArray() : encode(kept);
}

void ImageEditStore::fileAdded(const PDFFileStruct &file)
{
    const QString path = file.filePath();
    if (m_files.contains(path))
        return;
    if (const auto stamp = stampOf(path))
        m_files.insert(path, FileEdits{*stamp, {}});
}

void ImageEditStore::keepEditsOf(const PDFFileStruct &file)
{
    const QString path = file.filePath();
    FileEdits &edits = m_files[path];
    const std::optional<Stamp> now = stampOf(path);
    const bool changed = !now || (edits.stamp.size >= 0 && !(*now == edits.stamp));
    edits.stamp = now.value_or(Stamp{});
    if (changed) {
        edits.pending.clear();
        return;
    }
    const auto images = file.images();
    for (qsizetype i = 0; i < images.size(); ++i)
        if (!images[i]->effectParameters().isNeutral())
            edits.pending.insert(Key(images[i]->source().objectKey, int(i)), entryOf(*images[i]));
}

void ImageEditStore::applyPending(const FileRecordList &files)
{
    for (const auto &file : files) {
        if (!file)
            continue;
        auto found = m_files.find(file->filePath());
        if (found == m_files.end() || found->pending.isEmpty())
            continue;
        const auto images = file->images();
        for (qsizetype i = 0; i < images.size() && !found->pending.isEmpty(); ++i) {
            const auto entry = found->pending.constFind(Key(images[i]->source().objectKey, int(i)));
            if (entry == found->pending.cend())
                continue;
            images[i]->restoreEdits(entry->edits);
            if (entry->exported)
                images[i]->markExported();
            found->pending.erase(entry);
        }
    }
}

} // namespace zembrix
