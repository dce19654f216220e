#include "PdfDocument.h"

#include "ImagePlacement.h"
#include "PageNumbering.h"

#include <QFile>
#include <QFileInfo>

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFExc.hh>
#include <qpdf/QPDFObjectHandle.hh>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <exception>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zembrix {

namespace {

// "1.7" -> (1, 7); false when the text is not a version.
bool parseVersion(const std::string &text, int *major, int *minor)
{
    const size_t dot = text.find('.');
    if (dot == std::string::npos || dot == 0 || dot + 1 >= text.size())
        return false;
    int ma = 0, mi = 0;
    for (size_t i = 0; i < dot; ++i) {
        if (text[i] < '0' || text[i] > '9' || ma > 100)
            return false;
        ma = ma * 10 + (text[i] - '0');
    }
    for (size_t i = dot + 1; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9' || mi > 100)
            return false;
        mi = mi * 10 + (text[i] - '0');
    }
    *major = ma;
    *minor = mi;
    return true;
}

} // namespace

PdfDocument::PdfDocument() = default;
PdfDocument::~PdfDocument() = default;

std::shared_ptr<PdfDocument> PdfDocument::open(const QString &path, const QByteArray &password, PdfOpenFailure *failure)
{
    using Kind = PdfOpenFailure::Kind;
    const auto fail = [failure](Kind kind, const QString &reason) -> std::shared_ptr<PdfDocument> {
        if (failure)
            *failure = {kind, reason};
        return nullptr;
    };
    // The file itself first, so that the system's own reason is given.
    QByteArray head;
    {
        const QByteArray name = QFile::encodeName(path);
        const int fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            return fail(Kind::Unreadable, QString::fromLocal8Bit(std::strerror(errno)));
        struct stat info {
        };
        if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
            const int error = S_ISDIR(info.st_mode) ? EISDIR : errno;
            ::close(fd);
            return fail(Kind::Unreadable, QString::fromLocal8Bit(std::strerror(error ? error : EINVAL)));
        }
        head.resize(1024);
        ssize_t got = -1;
        while ((got = ::read(fd, head.data(), size_t(head.size()))) < 0 && errno == EINTR) {
        }
        const int error = errno;
        ::close(fd);
        if (got < 0)
            return fail(Kind::Unreadable, QString::fromLocal8Bit(std::strerror(error)));
        if (got == 0)
            return fail(Kind::Empty, QStringLiteral("empty file"));
        head.truncate(got);
    }
    const bool hasHeader = head.contains("%PDF-");
    std::shared_ptr<PdfDocument> doc(new PdfDocument);
    try {
        doc->m_pdf = std::make_unique<QPDF>();
        doc->m_pdf->setSuppressWarnings(true);
        doc->m_pdf->setAttemptRecovery(true);
        doc->m_pdf->processFile(QFile::encodeName(path).constData(), password.constData());
        doc->m_oversized = findOversizedObjects(path, *doc->m_pdf);
        for (const OversizedObject &object : doc->m_oversized) {
            for (const int held : object.heldObjects)
                doc->m_pdf->replaceObject(held, 0, QPDFObjectHandle::newNull());
            doc->m_pdf->replaceObject(object.number, object.generation, QPDFObjectHandle::newNull());
        }
        QPDFObjectHandle root = doc->m_pdf->getRoot();
        if (!root.isDictionary())
            return fail(hasHeader ? Kind::Damaged : Kind::NotPdf,
                        hasHeader ? QStringLiteral("damaged file") : QStringLiteral("not a PDF file"));
        // The header version, or the catalog's /Version when that is later.
        int major = 1, minor = 0;
        parseVersion(doc->m_pdf->getPDFVersion(), &major, &minor);
        QPDFObjectHandle version = root.getKey("/Version");
        int cmajor = 0, cminor = 0;
        if (version.isName() && parseVersion(version.getName().substr(1), &cmajor, &cminor)
            && (cmajor > major || (cmajor == major && cminor > minor))) {
            major = cmajor;
            minor = cminor;
        }
        doc->m_major = major;
        doc->m_minor = minor;
    } catch (const QPDFExc &e) {
        if (e.getErrorCode() == qpdf_e_password)
            return password.isEmpty() ? fail(Kind::NeedsPassword, QStringLiteral("needs a password"))
                                      : fail(Kind::WrongPassword, QStringLiteral("wrong password"));
        return fail(hasHeader ? Kind::Damaged : Kind::NotPdf,
                    hasHeader ? QStringLiteral("damaged file") : QStringLiteral("not a PDF file"));
    } catch (const std::exception &) {
        return fail(hasHeader ? Kind::Damaged : Kind::NotPdf,
                    hasHeader ? QStringLiteral("damaged file") : QStringLiteral("not a PDF file"));
    }
    return doc;
}

qsizetype PdfDocument::numberOfPages() const
{
    return PageNumbering(catalog().get("Pages")).pageCount();
}

bool PdfDocument::isEncrypted() const
{
    try {
        return m_pdf->isEncrypted();
    } catch (const std::exception &) {
        return false;
    }
}

PdfObject PdfDocument::catalog() const
{
    try {
        return PdfObject(m_pdf->getRoot());
    } catch (const std::exception &) {
        return {};
    }
}

PdfObject PdfDocument::info() const
{
    try {
        QPDFObjectHandle trailer = m_pdf->getTrailer();
        QPDFObjectHandle info = trailer.getKey("/Info");
        if (!info.isDictionary())
            return {};
        return PdfObject(info);
    } catch (const std::exception &) {
        return {};
    }
}

PdfObject PdfDocument::objectByKey(const ObjectKey &key) const
{
    if (key.direct != 0 || key.objGen.getObj() <= 0 || key.objGen.getGen() < 0)
        return {};
    try {
        QPDFObjectHandle object = m_pdf->getObject(key.objGen);
        if (object.isNull())
            return {};
        return PdfObject(object);
    } catch (const std::exception &) {
        return {};
    }
}

bool PdfDocument::repaired() const
{
    try {
        if (!m_repaired && m_pdf->anyWarnings())
            for (const QPDFExc &warning : m_pdf->getWarnings()) // and forgets them
                m_repaired = m_repaired || warning.getMessageDetail().find("reconstruct") != std::string::npos;
    } catch (const std::exception &) {
    }
    return m_repaired;
}

int PdfDocument::objectNumberBound() const
{
    try {
        QPDFObjectHandle size = m_pdf->getTrailer().getKey("/Size");
        if (size.isInteger())
            return int(std::clamp<long long>(size.getIntValue(), 1, 1 << 30));
    } catch (const std::exception &) {
    }
    return 1;
}

std::optional<QByteArray> PdfDocument::contentOf(const ObjectKey &ownerKey, qint64 *budget) const
{
    if (ownerKey != m_contentKey || !m_content) {
        qint64 fresh = ImagePlacementScan::kMaxContentBytes;
        m_content.reset(); // before the next one is decoded
        m_content = ImagePlacementScan::contentOf(objectByKey(ownerKey), budget ? budget : &fresh);
        m_contentKey = ownerKey;
    }
    return m_content;
}

namespace {

constexpr int kMaxImportDepth = 32;

// `object` of another document as a direct object of `to`, its indirect
// objects copied there.
QPDFObjectHandle importObject(QPDF &to, QPDFObjectHandle object, int depth = 0)
{
    if (object.isIndirect())
        return object.isNull() ? QPDFObjectHandle::newNull() : to.copyForeignObject(object);
    if (depth > kMaxImportDepth)
        return QPDFObjectHandle::newNull();
    if (object.isBool())
        return QPDFObjectHandle::newBool(object.getBoolValue());
    if (object.isInteger())
        return QPDFObjectHandle::newInteger(object.getIntValue());
    if (object.isReal())
        return QPDFObjectHandle::newReal(object.getRealValue());
    if (object.isName())
        return QPDFObjectHandle::newName(object.getName());
    if (object.isString())
        return QPDFObjectHandle::newString(object.getStringValue());
    if (object.isArray()) {
        QPDFObjectHandle array = QPDFObjectHandle::newArray();
        const int n = std::min(object.getArrayNItems(), 1 << 16);
        for (int i = 0; i < n; ++i)
            array.appendItem(importObject(to, object.getArrayItem(i), depth + 1));
        return array;
    }
    if (object.isDictionary()) {
        QPDFObjectHandle dict = QPDFObjectHandle::newDictionary();
        for (const std::string &key : object.getKeys())
            dict.replaceKey(key, importObject(to, object.getKey(key), depth + 1));
        return dict;
    }
    return QPDFObjectHandle::newNull();
}

} // namespace

PdfObject PdfDocument::inlineImage(const InlineImageOrigin &origin) const
{
    try {
        const std::optional<QByteArray> content = contentOf(origin.ownerKey);
        if (!content || content->size() != origin.contentLength || origin.dataBegin < 0
            || origin.dataEnd < origin.dataBegin || origin.dataEnd > content->size())
            return {};
        if (!m_scratch) {
            m_scratch = std::make_unique<QPDF>();
            m_scratch->setSuppressWarnings(true);
            m_scratch->emptyPDF();
            QPDFObjectHandle intents = m_pdf->getRoot().getKey("/OutputIntents");
            if (intents.isArray())
                m_scratch->getRoot().replaceKey("/OutputIntents", importObject(*m_scratch, intents));
        }
        QPDFObjectHandle dict = QPDFObjectHandle::parse(m_pdf.get(), origin.dictionary.toStdString());
        QPDFObjectHandle stream = m_scratch->newStream(
            std::string(content->constData() + origin.dataBegin, size_t(origin.dataEnd - origin.dataBegin)));
        QPDFObjectHandle streamDict = stream.getDict();
        if (dict.isDictionary())
            for (const std::string &key : dict.getKeys())
                if (key != "/Length")
                    streamDict.replaceKey(key, importObject(*m_scratch, dict.getKey(key)));
        // Streams made before are let go (their data with them).
        constexpr size_t kKept = 4;
        if (m_inlineStreams.size() >= kKept) {
            if (const QPDFObjectHandle *old = m_inlineStreams.front().handle())
                m_scratch->replaceObject(QPDFObjectHandle(*old).getObjGen(), QPDFObjectHandle::newNull());
            m_inlineStreams.pop_front();
        }
        m_inlineStreams.emplace_back(stream);
        return m_inlineStreams.back();
    } catch (const std::exception &) {
        return {};
    }
}

} // namespace zembrix
