#pragma once

#include "images/EffectParameters.h"
#include "images/ImageSource.h"
#include "images/LockedAccess.h"
#include "images/PictureSource.h"

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QString>
#include <QtGlobal>

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>

namespace zembrix {

class CoreContext;

// One raster image found in a PDF: the decoded picture, its description, the
// base name under which it is exported and the user's edits (a rotation, a
// mirror code and five colour values). Edits are kept as values and applied
// whenever a picture is rendered, never to the stored image.
//
// Records are always shared (create()); undo steps hold only weak references.
// A record keeps the context it was made in (CoreContext.h): its picture
// cache holds the decoded picture, its events get the undo steps and the
// refresh requests.
//
// Threads: a record is made, filled and named on its file's parse thread and
// then read on the main thread, so the picture, the texts and the source are
// guarded. The edit setters, resetAll, resetAll1 and the undo steps run on the
// main thread; the edit values and the version are atomics because render
// threads (thumbnails, export) read them meanwhile. A rendering reads each
// value once; an edit that arrives during a rendering may or may not be seen.
class PDFImageStruct : public std::enable_shared_from_this<PDFImageStruct>
{
public:
    // A record with no picture, no text, no name and neutral edits, in
    // `context` (a context of its own when null).
    static std::shared_ptr<PDFImageStruct> create(std::shared_ptr<CoreContext> context);

    ~PDFImageStruct();
    PDFImageStruct(const PDFImageStruct &) = delete;
    PDFImageStruct &operator=(const PDFImageStruct &) = delete;

    // The name was set by hand: name pattern updates then leave it alone.
    bool changed() const { return m_changed.load(); }

    // The decoded, unedited full-size picture, possibly with alpha; null when
    // there is none. A record made by the walk holds no pixels: it decodes
    // the picture from its source on demand, through its context's picture
    // cache, so the first call after a while may be slow. Any thread.
    QImage image() const;
    // A picture held in memory as it is (records not made from a document).
    void setImage(const QImage &image);
    // The recipe of the picture and its reduced copy, as the walk makes them.
    // The reduced copy may be null; it is then made from the full picture
    // when first asked for.
    // `full`, when not null, is the full picture the walk happened to build
    // (small images): it goes to the picture cache, not into the record.
    void setPictureSource(std::shared_ptr<const PictureSource> source, const QImage &reduced,
                          const QImage &full = QImage());

    // The stored coded data of the picture (see PictureSource); none for a
    // record without a source. Reads the file: any thread, not the main one.
    std::optional<EmbeddedPicture> embeddedPicture() const;

    // The reduced copy the thumbnail browser draws: the unedited picture with
    // its long edge at most kReducedEdge pixels (smaller pictures as they
    // are). Null when the record has no picture.
    static constexpr int kReducedEdge = 512;
    QImage reducedImage() const;
    // The reduced copy after all edits, as applyAllEffects renders the full
    // picture. Any thread.
    QImage renderThumbnail() const;
    // The unedited picture reduced to fit `edge` on its long side (a smaller
    // one as it is), decoded at about that size where the source allows,
    // else from the full picture. Any thread; not the main one (it decodes).
    QImage pictureReducedTo(int edge) const;

    // An identity that stays the same for the record's whole life and is
    // never reused by another record of the process.
    quint64 recordId() const { return m_recordId; }

    // Multi-line description of the image: the text set, else a description
    // of its source (size, depth, colour space) once that is set; null before.
    // Made when asked, so that a hundred thousand records do not each hold one.
    QString info() const;
    void setInfo(const QString &info) { lockedSet(m_mutex, m_info, info); }

    // Base name of the exported file, without extension; null until set.
    QString imagename() const { return lockedCopy(m_mutex, m_imagename); }
    void setImagename(const QString &name) { lockedSet(m_mutex, m_imagename, name); }

    // The image's object and its dictionary's facts.
    ImageSource source() const;
    void setSource(const ImageSource &source) { lockedSet(m_mutex, m_source, source); }
    // Notes one more page that uses the image (once each, up to the limit
    // of ImageSource::pages). Any thread.
    void addPage(int page);

    // Edit values, stored as given (no clamping). Mirror code: bit value 1
    // top to bottom, bit value 2 left to right. Angle and hue in degrees.
    int flip() const { return m_flip.load(); }
    float angle() const { return m_angle.load(); }
    float brightness() const { return m_brightness.load(); }
    float contrast() const { return m_contrast.load(); }
    float saturation() const { return m_saturation.load(); }
    float gamma() const { return m_gamma.load(); }
    float hue() const { return m_hue.load(); }

    // The edit setters. Each registers one undo step with its context's
    // events (the same setter with the old value, on this record while it
    // exists), stores the value, raises the version and asks the events to
    // refresh the browser and sliders. An unchanged
    // value still does all of that. Main thread.
    void setFlip(int flip);
    void setAngle(float angle);
    void setBrightness(float brightness);
    void setContrast(float contrast);
    void setSaturation(float saturation);
    void setGamma(float gamma);
    void setHue(float hue);

    // Sets brightness, contrast, saturation, gamma and hue, in this order, as
    // one undo step; angle and flip stay. resetAll ignores a null pointer and
    // otherwise reads exactly five floats; resetAll1 ignores a list that does
    // not hold exactly five entries. Main thread.
    void resetAll(const float *five);
    void resetAll1(const QList<float> &five);

    // The name for image number `value` of a file under `pattern`, whose
    // first "$" the caller has already replaced by the file's name. Every
    // "#" is dropped; the text before the first one is the prefix, the rest
    // the suffix, and their count the width the decimal value ("%d") is
    // zero-padded to (never cut). Without any "#" the value is appended to
    // the whole pattern. Works on UTF-16 code units.
    static QString makeNamePattern(const QString &pattern, qint32 value);
    // Renames the record by makeNamePattern unless its name was set by hand.
    void setNamePattern1(const QString &pattern, qint32 value);
    // The name of image number `value` of the PDF named `fileBase` (without
    // its extension) under the file's own pattern: the "#" runs are expanded
    // first, then the first "$" is replaced by `fileBase`, so a "#" or "$" in
    // the PDF's name is plain text ("we$ird#name" and "$_###" give
    // "we$ird#name_000").
    static QString makeFileImageName(const QString &filePattern, const QString &fileBase, qint32 value);
    // Why a name pattern cannot be used, or empty: image names are file names
    // inside the export folder, so a pattern holds no "/".
    static QString namePatternProblem(const QString &pattern);

    // Version of the rendered picture: starts at 0 and grows by one on every
    // edit and every undo of one.
    quint64 imageVersion() const { return m_version.load(); }
    void invalidateVersion() { m_version.fetch_add(1); }

    // The current edits, read once each.
    EffectParameters effectParameters() const;
    // Sets all edits at once, as kept from an earlier run or parse: no undo
    // step and no refresh request; the version is raised. Main thread.
    void restoreEdits(const EffectParameters &edits);
    // An export wrote the picture with the edits of the current version
    // (any thread); hasUnexportedEdits: edits that no file holds yet.
    void markExported() { m_exportedVersion.store(m_version.load()); }
    bool hasUnexportedEdits() const
    {
        return !effectParameters().isNeutral() && m_exportedVersion.load() != m_version.load();
    }

    // The picture after all edits: rotate, mirror, then the colour stage. A
    // null image when the record has no picture. Any thread; nothing is cached.
    QImage applyAllEffects() const;
    // The same rendering, for the single-image export and the icon family
    // writer respectively.
    QImage getBitmapRepImg() const { return applyAllEffects(); }
    QImage getNSImage() const { return getBitmapRepImg(); }

private:
    explicit PDFImageStruct(std::shared_ptr<CoreContext> context);

    template<typename Argument, typename Value>
    void registerUndoOf(void (PDFImageStruct::*setter)(Argument), Value oldValue);
    void editDone();

    const std::shared_ptr<CoreContext> m_context;
    const quint64 m_recordId;
    std::atomic<bool> m_changed{false};

    mutable std::mutex m_mutex; // guards the pictures, m_info, m_imagename, m_source
    QImage m_image;             // a held picture (setImage)
    std::shared_ptr<const PictureSource> m_pictureSource;
    mutable QImage m_reduced;
    QString m_info;
    QString m_imagename;
    ImageSource m_source;

    std::atomic<int> m_flip{0};
    std::atomic<float> m_angle{0.0f};
    std::atomic<float> m_brightness{0.0f};
    std::atomic<float> m_contrast{1.0f};
    std::atomic<float> m_saturation{1.0f};
    std::atomic<float> m_gamma{1.0f};
    std::atomic<float> m_hue{0.0f};

    std::atomic<quint64> m_version{0};
    std::atomic<quint64> m_exportedVersion{~quint64(0)};
};

} // namespace zembrix
