#include "Preferences.h"
#include "SmallImages.h"

#include "export/ExportResolution.h"

#include "export/ExportFormat.h"

#include <QDebug>
#include <QSettings>
#include <QVariantMap>

#include <cmath>
#include <exception>

namespace zembrix {

const char *const Preferences::kPdfFiles = "PDF_FILES";
const char *const Preferences::kPdfFilesArray = "PDF_FILES_ARRAY";
const char *const Preferences::kExportFolder = "EXPORT_FOLDER";
const char *const Preferences::kListZoom = "LIST_ZOOM";
const char *const Preferences::kColorManagement = "ColorManagement";
const char *const Preferences::kAllImages = "AllImages";
const char *const Preferences::kSkipDuplicates = "SkipDuplicates";
const char *const Preferences::kHideSmallImages = "HideSmallImages";
const char *const Preferences::kSmallImageSize = "SmallImageSize";
const char *const Preferences::kImageEdits = "IMAGE_EDITS";
const char *const Preferences::kExportFormat = "EXP_FORMAT";
const char *const Preferences::kExportDpi = "EXP_DPI";
const char *const Preferences::kBookmarks = "SecurityScopedBookmarks";
const char *const Preferences::kWindowFrame = "Zembrix";

namespace {

const QString kSavedFileEntry = QStringLiteral("PDF_FILE");
constexpr quint32 kMaxStoredFiles = 100000;

QString filesArrayKey()
{
    return QLatin1String(Preferences::kPdfFiles) + QLatin1Char('/') + QLatin1String(Preferences::kPdfFilesArray);
}

void put32(QByteArray &out, quint32 v)
{
    out.append(char(v >> 24)).append(char(v >> 16)).append(char(v >> 8)).append(char(v));
}

} // namespace

Preferences::Preferences()
    : m_settings(std::make_unique<QSettings>(QStringLiteral("Zembrix"), QStringLiteral("Zembrix")))
{
}

Preferences::Preferences(const QString &fileName)
    : m_settings(std::make_unique<QSettings>(fileName, QSettings::IniFormat))
{
}

Preferences::~Preferences() = default;

// Layout: a 32-bit big-endian count, then per file the bytes of its
// "PDF_FILE" entry as a 32-bit length and the bytes.
QByteArray Preferences::encodeFileList(const QVariantList &savedForms)
{
    QByteArray out;
    QList<QByteArray> entries;
    for (const QVariant &form : savedForms) {
        const QVariantList list = form.toList();
        if (list.isEmpty())
            continue;
        const QVariant entry = list.first().toMap().value(kSavedFileEntry);
        if (entry.typeId() == QMetaType::QByteArray)
            entries << entry.toByteArray();
    }
    put32(out, quint32(entries.size()));
    for (const QByteArray &entry : entries) {
        put32(out, quint32(entry.size()));
        out.append(entry);
    }
    return out;
}

std::optional<QVariantList> Preferences::decodeFileList(const QByteArray &bytes)
{
    qsizetype pos = 0;
    auto read32 = [&](quint32 *value) {
        if (bytes.size() - pos < 4)
            return false;
        const auto *p = reinterpret_cast<const uchar *>(bytes.constData() + pos);
        *value = quint32(p[0]) << 24 | quint32(p[1]) << 16 | quint32(p[2]) << 8 | p[3];
        pos += 4;
        return true;
    };
    quint32 count = 0;
    if (!read32(&count) || count > kMaxStoredFiles || count > quint32(bytes.size() / 4))
        return std::nullopt;
    QVariantList forms;
    for (quint32 i = 0; i < count; ++i) {
        quint32 length = 0;
        if (!read32(&length) || length > quint32(bytes.size() - pos))
            return std::nullopt;
        QVariantMap entry;
        entry.insert(kSavedFileEntry, bytes.mid(pos, qsizetype(length)));
        pos += qsizetype(length);
        forms.append(QVariant(QVariantList{entry}));
    }
    if (pos != bytes.size())
        return std::nullopt;
    return forms;
}

StoredPreferences Preferences::read() const
{
    try {
        if (m_settings->status() != QSettings::NoError) {
            qWarning("The preferences file %s cannot be read; the defaults are used.",
                     qPrintable(m_settings->fileName()));
            return {};
        }
        return readUnchecked();
    } catch (const std::exception &e) {
        // A damaged file can make the settings reader ask for absurd amounts
        // of memory while it decodes values we never asked for.
        qWarning("The preferences file %s is damaged (%s); the defaults are used.", qPrintable(m_settings->fileName()),
                 e.what());
        return {};
    }
}

StoredPreferences Preferences::readUnchecked() const
{
    StoredPreferences values;
    QSettings &s = *m_settings;
    // Only an explicit "false" turns colour management off.
    values.colorManagement = s.value(QLatin1String(kColorManagement)).toString() != QLatin1String("false");
    values.allImages = s.value(QLatin1String(kAllImages)).toString() == QLatin1String("true");
    values.skipDuplicates = s.value(QLatin1String(kSkipDuplicates)).toString() == QLatin1String("true");
    values.hideSmallImages = s.value(QLatin1String(kHideSmallImages)).toString() == QLatin1String("true");
    if (const auto size = SmallImages::parseSize(s.value(QLatin1String(kSmallImageSize)).toString()))
        values.smallImageSize = *size;
    if (!s.childGroups().contains(QLatin1String(kPdfFiles)) && !s.contains(filesArrayKey()))
        return values;
    values.filesPresent = true;

    const QVariant array = s.value(filesArrayKey());
    if (array.typeId() == QMetaType::QByteArray) {
        if (std::optional<QVariantList> forms = decodeFileList(array.toByteArray()))
            values.savedFiles = *forms;
    }

    const QVariant edits = s.value(QLatin1String(kImageEdits));
    if (edits.typeId() == QMetaType::QByteArray)
        values.imageEdits = edits.toByteArray();

    const QVariant folder = s.value(QLatin1String(kExportFolder));
    if (folder.typeId() == QMetaType::QString && !folder.toString().isEmpty())
        values.exportFolder = folder.toString();

    bool ok = false;
    const int zoom = s.value(QLatin1String(kListZoom)).toInt(&ok);
    values.zoomIdx = ok ? zoom : 0;

    const QString format = s.value(QLatin1String(kExportFormat)).toString();
    if (ExportFormat::indexOfName(format))
        values.exportFormat = format;

    values.dpi = 300.0f;
    const QVariant dpi = s.value(QLatin1String(kExportDpi));
    if (dpi.isValid()) {
        const float v = dpi.toFloat(&ok);
        values.dpi = ok && ((std::isfinite(v) && v >= 1.0f && v <= 3600.0f) || v == kPlacedDpi) ? v : 72.0f;
    }
    return values;
}

void Preferences::write(const StoredPreferences &values)
{
    QSettings &s = *m_settings;
    s.setValue(filesArrayKey(), encodeFileList(values.savedFiles));
    if (values.exportFolder && !values.exportFolder->isEmpty())
        s.setValue(QLatin1String(kExportFolder), *values.exportFolder);
    s.setValue(QLatin1String(kListZoom), values.zoomIdx);
    s.setValue(QLatin1String(kColorManagement), values.colorManagement);
    s.setValue(QLatin1String(kAllImages), values.allImages);
    s.setValue(QLatin1String(kSkipDuplicates), values.skipDuplicates);
    s.setValue(QLatin1String(kHideSmallImages), values.hideSmallImages);
    s.setValue(QLatin1String(kSmallImageSize), SmallImages::sizeText(values.smallImageSize));
    if (values.imageEdits.isEmpty())
        s.remove(QLatin1String(kImageEdits));
    else
        s.setValue(QLatin1String(kImageEdits), values.imageEdits);
    s.setValue(QLatin1String(kExportFormat), values.exportFormat);
    s.setValue(QLatin1String(kExportDpi), double(values.dpi));
    if (!values.bookmarks.isEmpty())
        s.setValue(QLatin1String(kBookmarks), values.bookmarks);
    s.sync();
}

QByteArray Preferences::windowFrame() const
{
    try {
        const QVariant frame = m_settings->value(QLatin1String(kWindowFrame));
        return frame.typeId() == QMetaType::QByteArray ? frame.toByteArray() : QByteArray();
    } catch (const std::exception &) {
        return {};
    }
}

void Preferences::setWindowFrame(const QByteArray &frame)
{
    m_settings->setValue(QLatin1String(kWindowFrame), frame);
    m_settings->sync();
}

} // namespace zembrix
