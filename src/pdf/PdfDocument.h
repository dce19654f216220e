#pragma once

#include "InlineImageOrigin.h"
#include "OversizedObjects.h"
#include "PdfObject.h"

#include <QString>

#include <deque>
#include <memory>
#include <optional>
#include <vector>

class QPDF;

namespace zembrix {

// Why a file could not be opened as a PDF document.
struct PdfOpenFailure {
    enum class Kind { None, Unreadable, Empty, NotPdf, Damaged, NeedsPassword, WrongPassword };
    Kind kind = Kind::None;
    // For the user: the system's reason ("Permission denied"), "empty file",
    // "not a PDF file", "damaged file", "needs a password", "wrong password".
    QString reason;
    bool needsPassword() const { return kind == Kind::NeedsPassword || kind == Kind::WrongPassword; }
};

// An open PDF document. Opening suppresses the library's warnings and
// recovers damaged cross-reference tables; an encrypted file is read with the
// password given (the empty one by default: a file that only restricts
// printing or copying opens without one). A document belongs to one thread
// at a time.
class PdfDocument
{
public:
    // None for a missing, unreadable, damaged or password-protected file; the
    // reason goes to `failure` when one is given.
    static std::shared_ptr<PdfDocument> open(const QString &path, const QByteArray &password = {},
                                             PdfOpenFailure *failure = nullptr);
    ~PdfDocument();

    int majorVersion() const { return m_major; }
    int minorVersion() const { return m_minor; }
    // Number of pages reachable through the page tree (cycles cut).
    qsizetype numberOfPages() const;
    bool isEncrypted() const;
    // The objects left unread because their text is too long (each reads as
    // null), in the order of their numbers.
    const std::vector<OversizedObject> &oversizedObjects() const { return m_oversized; }
    PdfObject catalog() const;
    // The document information dictionary, or an invalid object.
    PdfObject info() const;
    // The indirect object of a key, or an invalid object (for a direct key too).
    PdfObject objectByKey(const ObjectKey &key) const;
    // Whether the library has rebuilt the file's cross-reference table from
    // the objects it found, as a damaged file makes it do when an object is
    // not where the table says: from then on an object may be another than a
    // copy opened later reads under the same number.
    bool repaired() const;
    // The first object number the file's cross-reference table does not
    // reach (its trailer's /Size), at least 1.
    int objectNumberBound() const;
    // The decoded content of the page or form of this key, as the
    // placement scan reads it (the last one asked for is kept), charged to
    // `budget` when one is given.
    std::optional<QByteArray> contentOf(const ObjectKey &ownerKey, qint64 *budget = nullptr) const;
    // An inline image made a stream of its own, in a scratch document of its
    // own (the document's objects stay as the file has them: making objects
    // in it would have the library resolve every object of the file first).
    // Its colour space and the output intents come along. Invalid when its
    // content is not the one it was found in. The stream is valid until the
    // next few calls.
    PdfObject inlineImage(const InlineImageOrigin &origin) const;

private:
    PdfDocument();
    std::unique_ptr<QPDF> m_pdf;
    int m_major = 1;
    int m_minor = 0;
    mutable bool m_repaired = false;
    std::vector<OversizedObject> m_oversized;
    mutable ObjectKey m_contentKey;
    mutable std::optional<QByteArray> m_content;
    mutable std::unique_ptr<QPDF> m_scratch; // after m_pdf: its copied streams read the file
    mutable std::deque<PdfObject> m_inlineStreams;
};

} // namespace zembrix
