#include "ExtractManifest.h"

#include "ArgumentPaths.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonParseError>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

namespace zembrix {

namespace {

QString systemError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

bool writeAll(int fd, const QByteArray &bytes)
{
    for (qsizetype done = 0; done < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
}

bool isUtf8(const QByteArray &bytes)
{
    return QString::fromUtf8(bytes).toUtf8() == bytes;
}

} // namespace

ManifestFile::~ManifestFile()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool ManifestFile::open(const QString &argument, const QList<QByteArray> *kept, QString *error)
{
    const QByteArray path = argumentBytes(argument);
    if (kept) {
        // The kept lines replace the file whole: a run killed meanwhile
        // leaves the old manifest or the new one, never a mix.
        const QByteArray partial = path + ".zembrix-part";
        const int fd = ::open(partial.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
        if (fd < 0) {
            *error = systemError();
            return false;
        }
        bool ok = true;
        for (const QByteArray &line : *kept)
            ok = ok && writeAll(fd, line + '\n');
        ok = ok && ::fsync(fd) == 0;
        if (!ok)
            *error = systemError();
        ::close(fd);
        if (!ok || ::rename(partial.constData(), path.constData()) != 0) {
            if (ok)
                *error = systemError();
            ::unlink(partial.constData());
            return false;
        }
    }
    m_fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | (kept ? 0 : O_TRUNC), 0666);
    if (m_fd < 0) {
        *error = systemError();
        return false;
    }
    return true;
}

bool ManifestFile::append(const QJsonObject &line)
{
    return m_fd >= 0 && writeAll(m_fd, QJsonDocument(line).toJson(QJsonDocument::Compact) + '\n');
}

QByteArray manifestFileKey(const QJsonObject &line)
{
    if (line.contains(QLatin1String("file_base64")))
        return QByteArray::fromBase64(line.value(QLatin1String("file_base64")).toString().toLatin1());
    return line.value(QLatin1String("file")).toString().toUtf8();
}

void setManifestFile(QJsonObject &line, const QString &shown, const QByteArray &bytes)
{
    line.insert(QLatin1String("file"), shown);
    if (!isUtf8(bytes))
        line.insert(QLatin1String("file_base64"), QString::fromLatin1(bytes.toBase64()));
}

QString fileSha256(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!hash.addData(&file))
        return {};
    return QString::fromLatin1(hash.result().toHex());
}

std::optional<ResumePlan> readResumePlan(const QString &argument, const QString &outFolder, QString *error)
{
    ResumePlan plan;
    QByteArray bytes;
    const int fd = ::open(argumentBytes(argument).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT)
            return plan;
        *error = systemError();
        return std::nullopt;
    }
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        *error = file.errorString();
        return std::nullopt;
    }
    bytes = file.readAll();
    file.close();

    // The lines of each input, in the order the inputs first appear.
    struct Input {
        QList<QByteArray> lines;
        QList<QJsonObject> objects;
    };
    QHash<QByteArray, Input> inputs;
    QList<QByteArray> order;
    for (const QByteArray &line : bytes.split('\n')) {
        QJsonParseError parseError{};
        const QJsonDocument document = QJsonDocument::fromJson(line, &parseError);
        if (parseError.error != QJsonParseError::NoError || !document.isObject())
            continue;
        const QJsonObject object = document.object();
        const QByteArray key = manifestFileKey(object);
        if (!inputs.contains(key))
            order << key;
        Input &input = inputs[key];
        input.lines << line;
        input.objects << object;
    }

    const QString prefix = outFolder.endsWith(QLatin1Char('/')) ? outFolder : outFolder + QLatin1Char('/');
    const auto inFolder = [&](const QJsonValue &path) { return prefix + QFileInfo(path.toString()).fileName(); };
    for (const QByteArray &key : order) {
        const Input &input = inputs[key];
        // Complete: as many lines as the file has, each of its own image.
        const int expected = input.objects.first().value(QLatin1String("file_images")).toInt(-1);
        QSet<QString> images;
        for (const QJsonObject &object : input.objects)
            images.insert(QJsonDocument(QJsonObject{{QLatin1String("index"), object.value(QLatin1String("index"))},
                                                    {QLatin1String("object"), object.value(QLatin1String("object"))}})
                              .toJson(QJsonDocument::Compact));
        bool done = expected == input.objects.size() && images.size() == expected;
        for (qsizetype i = 0; done && i < input.objects.size(); ++i) {
            const QJsonObject &object = input.objects[i];
            const QString status = object.value(QLatin1String("status")).toString();
            if (status == QLatin1String("written")) {
                const QString path = inFolder(object.value(QLatin1String("output")));
                const QFileInfo info(path);
                done = info.isFile() && info.size() == object.value(QLatin1String("bytes")).toInteger(-1)
                       && fileSha256(path) == object.value(QLatin1String("sha256")).toString();
            } else {
                done = status == QLatin1String("duplicate") || status == QLatin1String("skipped");
            }
        }
        if (!done)
            continue;
        plan.doneFiles.insert(key);
        plan.keptLines << input.lines;
        for (const QJsonObject &object : input.objects) {
            const QString status = object.value(QLatin1String("status")).toString();
            if (status == QLatin1String("written")) {
                ++plan.images;
                plan.reservedPaths << inFolder(object.value(QLatin1String("output")));
                if (object.contains(QLatin1String("pixels")))
                    plan.writtenPictures.insert(
                        QByteArray::fromHex(object.value(QLatin1String("pixels")).toString().toLatin1()), object);
            } else if (status == QLatin1String("duplicate")) {
                // In the Original format a stem: any of its extensions keeps it.
                const QString planned = inFolder(object.value(QLatin1String("planned")));
                plan.reservedPaths << planned << planned + QStringLiteral(".png");
            }
        }
    }
    return plan;
}

} // namespace zembrix
