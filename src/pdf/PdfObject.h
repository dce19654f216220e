#pragma once

#include "ObjectKey.h"
#include "raster/DecodeProblem.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

class QPDFObjectHandle;

namespace zembrix {

// Type codes of PDF objects as the rest of the system sees them.
enum PdfObjectType : std::int32_t {
    PdfTypeInvalid = 0,
    PdfTypeNull = 1,
    PdfTypeBoolean = 2,
    PdfTypeInteger = 3,
    PdfTypeReal = 4,
    PdfTypeName = 5,
    PdfTypeString = 6,
    PdfTypeArray = 7,
    PdfTypeDictionary = 8,
    PdfTypeStream = 9,
};

// What the bytes of a decoded stream are: fully decoded samples, or data
// still coded by the last filter of the chain.
enum class PdfStreamFormat { Raw = 0, JPEG = 1, JPEG2000 = 2 };

struct PdfStreamData {
    QByteArray bytes;
    PdfStreamFormat format = PdfStreamFormat::Raw;
};

// One PDF object of an open document (a thin value over the PDF library's
// handle). Indirect references are resolved on access. Every accessor is a
// checking one: a damaged file never throws out of here, it gives an empty
// result. An object belongs to its document and to the thread that parses
// it; it is never used after the document is closed.
class PdfObject
{
public:
    PdfObject();
    explicit PdfObject(const QPDFObjectHandle &handle);
    ~PdfObject();
    PdfObject(const PdfObject &);
    PdfObject &operator=(const PdfObject &);
    PdfObject(PdfObject &&) noexcept;
    PdfObject &operator=(PdfObject &&) noexcept;

    bool isValid() const { return type() != PdfTypeInvalid; }
    std::int32_t type() const;

    // Scalars. Each gives false / none when the object is of another type.
    bool getBoolean(bool *value) const;
    bool getInteger(std::int32_t *value) const; // clamped to 32 bits
    bool getNumber(double *value) const;        // integer or real
    std::optional<QByteArray> name() const;     // without the slash
    std::optional<QByteArray> stringBytes() const;
    std::optional<QString> textString() const; // PDFDocEncoding or UTF-16BE with BOM
    std::optional<QDateTime> date() const;     // a PDF date string, as UTC

    // Dictionaries (a stream answers for its own dictionary).
    int dictionaryCount() const;
    void forEachEntry(const std::function<void(const QByteArray &key, const PdfObject &value)> &visit) const;
    PdfObject get(const char *key) const; // invalid when missing
    bool getString(const char *key, PdfObject *value) const;
    bool getName(const char *key, QByteArray *value) const;
    bool getIntegerEntry(const char *key, std::int32_t *value) const;
    bool getBooleanEntry(const char *key, bool *value) const;
    bool getArray(const char *key, PdfObject *value) const;

    // Arrays.
    int arrayCount() const;
    PdfObject at(int index) const;
    bool getNumberAt(int index, double *value) const;

    // Streams.
    // The stream's data with its filters undone, stopping before DCTDecode or
    // JPXDecode. Gives none when the data cannot be read, when a filter is
    // unknown or fails before producing anything, or when the decoded size
    // would pass maxBytes. `cause` gets what stopped a filter (DecodeProblem.h).
    std::optional<PdfStreamData> copyStreamData(qint64 maxBytes, DecodeCause *cause = nullptr) const;
    // The largest decoded size this stream can sensibly need (from the image
    // dictionary when it is one), used as the default limit.
    qint64 decodedSizeLimit() const;

    // Identity: object number and generation ("12 0") of an indirect object;
    // a text unique to the underlying object for a direct one.
    QString identityKey() const;
    ObjectKey objectKey() const;
    bool isIndirect() const;

    // For the access layer's own implementation files only.
    const QPDFObjectHandle *handle() const { return m_handle.get(); }

private:
    std::unique_ptr<QPDFObjectHandle> m_handle;
};

} // namespace zembrix
