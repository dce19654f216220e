#pragma once

#include "ColorSpaceResolution.h"
#include "ImageBuilders.h"
#include "ImageDictionary.h"
#include "ImagePlacement.h"
#include "OstrelDataSource.h"
#include "PdfPictureRecipe.h"
#include "TColorSpace.h"
#include "images/LockedAccess.h"
#include "images/PDFImageStruct.h"
#include "raster/DecodeProblem.h"
#include "raster/RasterImage.h"

#include <QImage>

#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

#include <QVariant>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

namespace zembrix {

class CoreContext;
class PageNumbering;

// One PDF file of the file list: its path and name, whether it is checked,
// whether a parse of it is running, what the parse found, its document
// information text and its image name pattern.
//
// Records are shared (std::make_shared): a parse holds its record. A record
// belongs to the context it is made in (CoreContext.h), which it hands to
// its image records; it reports there and parses on its pool.
//
// Threads: a parse runs on a worker of that pool and owns the document tree
// (mOstrelData) and the walk state; one parse of a record walks at a time.
// `info` and `images` are written by that thread while the main thread reads
// them; they are guarded by one mutex and read as copies. `isThreading` is an
// atomic flag: the main thread clears it to ask a running parse to stop. A
// parse generation number keeps a stopped parse that is still finishing
// from touching the flag of a parse started after it. The check (IsSelected)
// is an atomic flag too.
class PDFFileStruct : public std::enable_shared_from_this<PDFFileStruct>
{
public:
    // In `context` (a context of its own, with no pool, when null).
    explicit PDFFileStruct(std::shared_ptr<CoreContext> context);
    ~PDFFileStruct();
    PDFFileStruct(const PDFFileStruct &) = delete;
    PDFFileStruct &operator=(const PDFFileStruct &) = delete;

    void setSelection(bool selected) { m_selected.store(selected); }
    bool IsSelected() const { return m_selected.load(); }
    bool isThreading() const { return m_imageThreadExist.load(); }
    // Clearing it also ends the pause of a parse that has not begun its walk.
    void setIsThreading(bool running);
    const std::shared_ptr<CoreContext> &context() const { return m_context; }

    QString filePath() const { return lockedCopy(m_mutex, m_filePath); }
    QString fileName() const { return lockedCopy(m_mutex, m_fileName); }
    void setFileName(const QString &name) { lockedSet(m_mutex, m_fileName, name); }
    // New empty lists, the path and name, then a background parse.
    void setFilePath(const QString &path);
    // The same without starting a parse (the headless modes parse at once).
    void setFilePathOnly(const QString &path);
    bool IsValid() const;

    QString namePattern() const { return lockedCopy(m_mutex, m_namePattern); }
    // Registers an undo step, stores the pattern and renames every image.
    void setNamePattern(const QString &pattern);
    void setNamePatternDirect(const QString &pattern) { lockedSet(m_mutex, m_namePattern, pattern); }
    QString parsePatternNameFor$() const;
    // The name of image number `value` of this file under its pattern
    // (PDFImageStruct::makeFileImageName with the file's name without its
    // last extension).
    QString imageNameFor(qint32 value) const;
    void updateImageListPatternName();

    QString info() const { return lockedCopy(m_mutex, m_info); }
    void setInfo(const QString &info) { lockedSet(m_mutex, m_info, info); }

    QList<std::shared_ptr<PDFImageStruct>> images() const;
    void setImages(const QList<std::shared_ptr<PDFImageStruct>> &images) { lockedSet(m_mutex, m_images, images); }
    qsizetype imageCount() const;

    // Background parsing: one task on the context's pool per parse, which
    // begins its walk a pause after it was asked for (one second in the
    // application; tests may shorten it). Without a pool nothing starts.
    void threadFillImageList();
    void reparse();
    void setParsePause(std::chrono::milliseconds pause) { m_parsePause = pause; }
    // Opens the document, builds the information text and walks the pages.
    // Runs on the parse thread (or the caller's, headless); `owner` is the
    // record itself.
    void fillImageListArray(PDFFileStruct *owner);
    // True while the walk may go on: the flag is set and no newer parse has
    // been started since this one.
    bool walkMayContinue() const;
    // Whether the walk keeps each image's reduced copy for the thumbnails
    // (on by default). The headless modes need none: they build pictures at
    // full size when they write them. Set before the walk.
    void setKeepsReducedCopies(bool keep) { m_keepReducedCopies = keep; }
    // A listing (off by default, needs no reduced copies): whether an image
    // can be built is judged from the headers of its data where they tell
    // (JBIG2 page information), without decoding it. Set before the walk.
    void setChecksHeadersOnly(bool headersOnly) { m_headersOnly = headersOnly; }
    // Whether pictures are converted through their colour profiles (on by
    // default); off gives the uncalibrated conversions. Set before the walk.
    void setColorManaged(bool managed) { m_colorManaged.store(managed); }
    bool colorManaged() const { return m_colorManaged.load(); }
    // Whether the walk also finds inline images and the images of annotation
    // appearances and patterns (off by default). They are numbered after the
    // images of the page resources. Set before the walk.
    void setAllImages(bool all) { m_allImages.store(all); }
    bool allImages() const { return m_allImages.load(); }
    // Images of more pixels than this are skipped. Set before the walk.
    static constexpr qint64 kDefaultMaxPixels = 500000000;
    void setMaxPixels(qint64 pixels) { m_maxPixels = pixels; }

    // An image object the walk found but did not make a record of, and why.
    struct SkippedImage {
        QString objectKey; // "12 0"
        int page = 0;
        QString reason;
        bool kept = false; // the image was still made, its damage mended
    };
    // Those of the last walk, in the order found. Any thread.
    QList<SkippedImage> skippedImages() const;

    // How the last read of the file went. A read that could not open the file
    // says why (the system's reason, "empty file", "not a PDF file", "damaged
    // file"); a file that needs a password is locked; a walk stopped by the
    // user notes the page it was on and the file's pages. Any thread.
    struct ReadStatus {
        enum class State { Fine, Failed, Locked, Stopped };
        State state = State::Fine;
        QString reason;    // Failed and Locked: why
        int stoppedAt = 0; // Stopped: the page the walk was on
        int pages = 0;     // Stopped: the pages of the file
        bool isProblem() const { return state != State::Fine; }
        // "not a PDF file", "locked (needs a password)", "stopped at 3 of 12"; empty when fine.
        QString text() const;
    };
    ReadStatus readStatus() const { return lockedCopy(m_mutex, m_readStatus); }
    // The password the file is opened with: in memory only, never saved.
    // Set before a parse starts.
    void setPassword(const QByteArray &password) { lockedSet(m_mutex, m_password, password); }
    QByteArray password() const { return lockedCopy(m_mutex, m_password); }

    // Saved form: a list holding one map whose "PDF_FILE" entry holds the
    // path and the name pattern.
    QVariantList savePref() const;
    void readPref(const QVariant &saved);

    // Builds the information text of an already opened document, without
    // walking it.
    void describe(std::shared_ptr<PdfDocument> document);

    // The page walk.
    void cgPdfParsing(PDFFileStruct *owner);
    void parsePdfPages(OstrelNode *node, PDFFileStruct *owner);
    void walkExtraImages(OstrelNode *pages, PDFFileStruct *owner);
    void walkInlineImages(const PdfObject &content, const PdfObject &resources, PDFFileStruct *owner);
    bool testNodeNameExit(const OstrelNode *node, const QString &parentName) const;
    bool testNodeInUse(const OstrelNode *node);

    // Analysis of one candidate stream: records an image, or, for a stream
    // named /SMask or /Mask, gives the built mask picture (null otherwise).
    QImage parsePdfStream(OstrelNode *node, PDFFileStruct *owner);
    static std::optional<QString> getImageCreationDate(const PdfStreamData &data);

    // Colour spaces, over ColorSpaceResolution.h.
    static std::shared_ptr<TColorSpace> getColorSpace(OstrelNode *node);
    static void getColorSpaceBase(TColorSpace &record, OstrelNode *node, int depth = 0);
    static constexpr int kMaxColorSpaceDepth = zembrix::kMaxColorSpaceDepth;

    // Image construction, over the picture builders (ImageBuilders.h, where
    // each is described): the stream's dictionary is read, with the facts
    // given here in place of its own; `colors` converts through the colour
    // profiles (null: the uncalibrated conversions). kCheckOnly: kCheckOnlyEdge.
    static constexpr int kCheckOnly = kCheckOnlyEdge;
    static QImage addOnlyPdfNewImage(const PdfStreamData &data, const QStringList *filters, double width, double height,
                                     const TColorSpace *colorSpace, std::int32_t bps, const PdfObject &stream,
                                     int reduceToEdge = 0, ColorTransformCache *colors = nullptr,
                                     DecodeReport *report = nullptr, WorkBudget *tintBudget = nullptr);
    static QImage jpegImage(const PdfStreamData &data, int width, int height, const PdfObject &stream, int reduceToEdge,
                            ColorTransformCache *colors = nullptr, DecodeCause *cause = nullptr,
                            WorkBudget *tintBudget = nullptr);
    static QImage jpeg2000Image(const PdfStreamData &data, int width, int height, const PdfObject &stream,
                                int reduceToEdge, ColorTransformCache *colors = nullptr,
                                const TColorSpace *colorSpace = nullptr, DecodeCause *cause = nullptr);
    static bool samplesWouldBuild(const PdfObject &stream, const TColorSpace *colorSpace, std::int32_t bps,
                                  double width, double height, qint64 count, DecodeReport *report = nullptr);
    static bool codedPictureWouldBuild(const PdfStreamData &data, double width, double height, const PdfObject &stream);
    static bool endsInCodedPicture(const PdfObject &stream);
    static QImage streamedSampleImage(const PdfObject &stream, double width, double height, bool fourBytes = false);
    static QImage streamedIndexedImage(const PdfObject &stream, const TColorSpace *colorSpace, std::int32_t bps,
                                       double width, double height);
    static bool indexedSamplesFit(const TColorSpace *colorSpace, std::int32_t bps, double width, double height,
                                  qint64 count, const PdfObject &stream);
    static RasterImage makeImageFromStream(const PdfObject &stream, const PdfStreamData &data,
                                           ColorTransformCache *colors = nullptr);
    static RasterImage makeIndexedImage(const QByteArray &data, int width, int height, std::int32_t bps,
                                        const TColorSpace &colorSpace, const PdfObject &stream,
                                        ColorTransformCache *colors = nullptr, bool jpeg2000 = false,
                                        DecodeCause *cause = nullptr, WorkBudget *tintBudget = nullptr);
    static void applyImageDecode(RasterImage &raster, const PdfObject &stream, bool jpeg2000);

    // Filter lists.
    static QStringList getFilter(OstrelNode *node);
    static QString gerCurrFilter(std::int32_t &index, bool parse, const QStringList *filters);

    // Document information text.
    void makeInfo();
    void addCGPDFStringValue(const PdfObject &string);
    void addCGPDFStringValueAsDate(const PdfObject &string);

private:
    // The analysis of one candidate stream (parsePdfStream()), in its steps.
    enum class BuildCheck { NotMade, Builds, Fails, Unreadable };
    // A mask picture the walk built for an image, and how to build it again.
    struct WalkMask {
        QImage picture;
        std::optional<ImageStreamRecipe> recipe;
    };
    // `known`: the stream's dictionary when the caller has read it.
    std::optional<ImageDictionary> readStreamEntries(OstrelNode *node, PDFFileStruct *owner,
                                                     std::optional<ImageDictionary> known = std::nullopt);
    WalkMask analyseMask(OstrelNode *node, QSize target, PDFFileStruct *owner,
                         std::optional<ImageDictionary> known = std::nullopt);
    void analyseImage(OstrelNode *node, const ImageDictionary &image, PDFFileStruct *owner);
    BuildCheck checkWithoutBuilding(const ImageDictionary &image, std::optional<PdfStreamData> &data,
                                    DecodeReport &report) const;
    void buildAndRecord(OstrelNode *node, const ImageDictionary &image, const std::optional<PdfStreamData> &data,
                        bool fits, WalkMask mask, QSizeF pictureSize, DecodeReport &report);
    ImageSource sourceOf(const ImageDictionary &image, const ObjectKey &key) const;
    void fillImageListThread(quint64 generation, std::chrono::steady_clock::time_point asked);
    void appendInfo(const QString &text);
    void appendImage(const std::shared_ptr<PDFImageStruct> &image);
    void setReadStatusOf(quint64 generation, const ReadStatus &status);
    void noteSkippedImage(SkippedImage skipped);
    bool enterObject(const OstrelNode *node);
    bool enterSharedObject(); // within the depth limit only, however often

    void leaveObject(const OstrelNode *node);

    const std::shared_ptr<CoreContext> m_context;
    std::atomic<bool> m_selected{false};
    std::atomic<bool> m_colorManaged{true};
    std::atomic<bool> m_allImages{false};
    // The walk's second pass, for the images only all-images finds, and the
    // image streams the first pass met (the second passes them over).
    bool m_extraPass = false;
    QSet<ObjectKey> m_firstPassImages;
    std::atomic<bool> m_imageThreadExist{false};
    QString m_fileName;
    QString m_filePath;
    QString m_namePattern;
    std::unique_ptr<OstrelDataSource> mOstrelData;
    QSet<ObjectKey> mUsedObjName;
    // The record made of each image object, for the later pages that use it.
    QHash<ObjectKey, std::weak_ptr<PDFImageStruct>> m_imageOfObject;

    mutable std::mutex m_mutex; // guards m_info, m_images, m_fileName, m_filePath, m_namePattern
    QString m_info;
    QList<std::shared_ptr<PDFImageStruct>> m_images;

    std::mutex m_parseMutex;              // held by the thread that walks
    std::mutex m_stateMutex;              // start of a parse against the end of an older one
    std::atomic<quint64> m_generation{0}; // raised by every parse start
    std::atomic<quint64> m_walkGeneration{0};
    std::chrono::milliseconds m_parsePause{1000};
    std::condition_variable m_pauseEnded; // with m_stateMutex: a stop or a newer parse

    // Walk state (parse thread only).
    std::unique_ptr<PageNumbering> m_pageNumbers;
    QSet<ObjectKey> m_entered;
    QHash<ObjectKey, ImagePlacement> m_placements; // first placement of each image drawn
    ContentScan m_scan;                            // what the reading of the contents learned
    PdfObject m_pageResources;                     // of the page walked (second pass)
    int m_nextInlineNumber = 0;                    // the object number the next inline image is given
    std::pair<ObjectKey, std::shared_ptr<const InlineImageOrigin>> m_inlineImage; // the one analysed
    int m_currentPage = 0;
    int m_depth = 0;
    bool m_keepReducedCopies = true;
    bool m_headersOnly = false;
    qint64 m_maxPixels = kDefaultMaxPixels;
    QList<SkippedImage> m_skipped; // guarded by m_mutex
    ReadStatus m_readStatus;       // guarded by m_mutex
    QByteArray m_password;         // guarded by m_mutex
    int m_pageReached = 0;
    std::shared_ptr<PdfDocumentPool> m_documents;  // the file, for building pictures again
    std::shared_ptr<WorkBudget> m_tintBudget;      // of the file's tint transforms, walk and builds together
    std::shared_ptr<ColorTransformCache> m_colors; // the context's colour transforms; null when not managed
};

} // namespace zembrix
