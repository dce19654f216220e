#pragma once

#include "OstrelDataSource.h"
#include "TColorSpace.h"

#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

class PageNumbering;

// A stream that the page walk took for an image, with what its dictionary
// says and where it was first met.
struct ImageCandidate {
    QString objectKey;        // "12 0"
    QString resourceName;     // the name under which it was reached ("/Im1")
    int page = 0;             // 1-based page on which it was first reached
    double width = 0;
    double height = 0;
    std::int32_t bitsPerComponent = 0;
    QString colorSpace;       // family name, empty when missing
    QStringList filters;
};

// One PDF file of the file list: its path and name, whether it is checked,
// whether a parse of it is running, what the parse found, its document
// information text and its image name pattern.
//
// Threads: a parse runs on a thread of its own and owns the document tree
// (mOstrelData) and the walk state. `info` and the found lists are written by
// that thread while the main thread reads them; they are guarded by one
// mutex and read as copies. `isThreading` is an atomic flag: the main thread
// clears it to ask a running parse to stop.
class PDFFileStruct
{
public:
    PDFFileStruct();
    ~PDFFileStruct();
    PDFFileStruct(const PDFFileStruct &) = delete;
    PDFFileStruct &operator=(const PDFFileStruct &) = delete;

    void setSelection(bool selected) { m_selected = selected; }
    bool IsSelected() const { return m_selected; }
    bool isThreading() const { return m_imageThreadExist.load(); }
    void setIsThreading(bool running) { m_imageThreadExist.store(running); }

    QString filePath() const;
    QString fileName() const;
    void setFileName(const QString &name);
    // New empty lists, the path and name; the parse itself is started by the
    // caller (synchronously with fillImageListArray for now).
    void setFilePath(const QString &path);
    bool IsValid() const;

    QString namePattern() const;
    void setNamePatternDirect(const QString &pattern);

    QString info() const;
    void setInfo(const QString &info);

    QList<ImageCandidate> candidates() const;

    // Opens the document, builds the information text and walks the pages.
    // Runs on the parse thread; `owner` is the record itself.
    void fillImageListArray(PDFFileStruct *owner);

    // Builds the information text of an already opened document, without
    // walking it.
    void describe(std::shared_ptr<PdfDocument> document);

    // The page walk.
    void cgPdfParsing(PDFFileStruct *owner);
    void parsePdfPages(OstrelNode *node, PDFFileStruct *owner);
    static bool testNodeNameExit(const OstrelNode *node);
    bool testNodeInUse(const OstrelNode *node);

    // Analysis of one candidate stream. Gives true for a mask stream that
    // was read as an image (its caller uses it as its mask).
    bool parsePdfStream(OstrelNode *node, PDFFileStruct *owner);

    // Colour spaces.
    static std::shared_ptr<TColorSpace> getColorSpace(OstrelNode *node);
    static void getColorSpaceBase(TColorSpace &record, OstrelNode *node);
    static QStringList getDeviceNnames(OstrelNode *node);
    static std::optional<std::vector<double>> getDecodeColorSpze(const TColorSpace *record, std::int32_t bps);

    // Filter lists.
    static QStringList getFilter(OstrelNode *node);
    static QString gerCurrFilter(std::int32_t &index, bool parse, const QStringList *filters);

    // Document information text.
    void makeInfo();
    void addCGPDFStringValue(const PdfObject &string);
    void addCGPDFStringValueAsDate(const PdfObject &string);

    // The open tree while a parse runs, else none.
    OstrelDataSource *ostrelData() const { return mOstrelData.get(); }

private:
    void appendInfo(const QString &text);
    bool enterObject(const OstrelNode *node);
    void leaveObject(const OstrelNode *node);

    bool m_selected = false;
    std::atomic<bool> m_imageThreadExist{false};
    QString m_fileName;
    QString m_filePath;
    QString m_namePattern;
    std::unique_ptr<OstrelDataSource> mOstrelData;
    QSet<QString> mUsedObjName;

    mutable std::mutex m_mutex; // guards m_info, m_candidates, m_fileName, m_filePath, m_namePattern
    QString m_info;
    QList<ImageCandidate> m_candidates;

    // Walk state (parse thread only).
    std::unique_ptr<PageNumbering> m_pageNumbers;
    QSet<QString> m_entered;
    int m_currentPage = 0;
    int m_depth = 0;
};
