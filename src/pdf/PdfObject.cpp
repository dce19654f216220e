#include "PdfObject.h"

#include "PdfDate.h"
#include "PdfStreamDecoder.h"

#include <qpdf/QPDFObjectHandle.hh>

#include <climits>
#include <exception>

namespace zembrix {

namespace {

// The PDF library reports damage by exceptions; they stop here.
template<typename F, typename R>
R guarded(F &&f, R fallback)
{
    try {
        return f();
    } catch (const std::exception &) {
        return fallback;
    }
}

// `*value` set to get(handle) when is(handle) says the object is of that type.
template<typename T, typename Is, typename Get>
bool readValue(QPDFObjectHandle *handle, T *value, Is is, Get get)
{
    return handle
           && guarded(
               [&] {
                   if (!is(*handle))
                       return false;
                   *value = get(*handle);
                   return true;
               },
               false);
}

} // namespace

PdfObject::PdfObject() = default;

PdfObject::PdfObject(const QPDFObjectHandle &handle)
    : m_handle(std::make_unique<QPDFObjectHandle>(handle))
{
}

PdfObject::~PdfObject() = default;

PdfObject::PdfObject(const PdfObject &other)
    : m_handle(other.m_handle ? std::make_unique<QPDFObjectHandle>(*other.m_handle) : nullptr)
{
}

PdfObject &PdfObject::operator=(const PdfObject &other)
{
    if (this != &other)
        m_handle = other.m_handle ? std::make_unique<QPDFObjectHandle>(*other.m_handle) : nullptr;
    return *this;
}

PdfObject::PdfObject(PdfObject &&) noexcept = default;
PdfObject &PdfObject::operator=(PdfObject &&) noexcept = default;

std::int32_t PdfObject::type() const
{
    if (!m_handle)
        return PdfTypeInvalid;
    return guarded(
        [&] {
            switch (m_handle->getTypeCode()) {
            case ::ot_null: return PdfTypeNull;
            case ::ot_boolean: return PdfTypeBoolean;
            case ::ot_integer: return PdfTypeInteger;
            case ::ot_real: return PdfTypeReal;
            case ::ot_name: return PdfTypeName;
            case ::ot_string: return PdfTypeString;
            case ::ot_array: return PdfTypeArray;
            case ::ot_dictionary: return PdfTypeDictionary;
            case ::ot_stream: return PdfTypeStream;
            default: return PdfTypeInvalid;
            }
        },
        PdfTypeInvalid);
}

bool PdfObject::getBoolean(bool *value) const
{
    return readValue(
        m_handle.get(), value, [](QPDFObjectHandle &h) { return h.isBool(); },
        [](QPDFObjectHandle &h) { return h.getBoolValue(); });
}

bool PdfObject::getInteger(std::int32_t *value) const
{
    return readValue(
        m_handle.get(), value, [](QPDFObjectHandle &h) { return h.isInteger(); },
        [](QPDFObjectHandle &h) { return h.getIntValueAsInt(); });
}

bool PdfObject::getNumber(double *value) const
{
    return readValue(
        m_handle.get(), value, [](QPDFObjectHandle &h) { return h.isNumber(); },
        [](QPDFObjectHandle &h) { return h.getNumericValue(); });
}

std::optional<QByteArray> PdfObject::name() const
{
    if (!m_handle)
        return std::nullopt;
    return guarded(
        [&]() -> std::optional<QByteArray> {
            if (!m_handle->isName())
                return std::nullopt;
            std::string n = m_handle->getName(); // with its leading slash
            if (!n.empty() && n[0] == '/')
                n.erase(0, 1);
            return QByteArray(n.data(), qsizetype(n.size()));
        },
        std::optional<QByteArray>());
}

std::optional<QByteArray> PdfObject::stringBytes() const
{
    if (!m_handle)
        return std::nullopt;
    return guarded(
        [&]() -> std::optional<QByteArray> {
            if (!m_handle->isString())
                return std::nullopt;
            std::string s = m_handle->getStringValue();
            return QByteArray(s.data(), qsizetype(s.size()));
        },
        std::optional<QByteArray>());
}

std::optional<QString> PdfObject::textString() const
{
    if (!m_handle)
        return std::nullopt;
    return guarded(
        [&]() -> std::optional<QString> {
            if (!m_handle->isString())
                return std::nullopt;
            std::string s = m_handle->getUTF8Value();
            return QString::fromUtf8(s.data(), qsizetype(s.size()));
        },
        std::optional<QString>());
}

std::optional<QDateTime> PdfObject::date() const
{
    std::optional<QByteArray> bytes = stringBytes();
    if (!bytes)
        return std::nullopt;
    return parsePdfDate(*bytes);
}

int PdfObject::dictionaryCount() const
{
    if (!m_handle)
        return 0;
    return guarded(
        [&] {
            QPDFObjectHandle dict = m_handle->isStream() ? m_handle->getDict() : *m_handle;
            if (!dict.isDictionary())
                return 0;
            return int(dict.getKeys().size());
        },
        0);
}

void PdfObject::forEachEntry(const std::function<void(const QByteArray &, const PdfObject &)> &visit) const
{
    if (!m_handle)
        return;
    // Entry by entry: a damaged entry must not end the visit of the others,
    // and the visitor's own work is outside the guard. Nothing of an entry is
    // kept past its visit (a dictionary may have millions).
    QPDFObjectHandle dict;
    std::set<std::string> keys; // sorted by name
    try {
        dict = m_handle->isStream() ? m_handle->getDict() : *m_handle;
        if (!dict.isDictionary())
            return;
        keys = dict.getKeys();
    } catch (const std::exception &) {
        return;
    }
    for (auto key = keys.begin(); key != keys.end(); key = keys.erase(key)) {
        std::optional<PdfObject> value;
        try {
            value.emplace(dict.getKey(*key));
        } catch (const std::exception &) {
            continue;
        }
        const qsizetype slash = !key->empty() && (*key)[0] == '/' ? 1 : 0;
        visit(QByteArray(key->data() + slash, qsizetype(key->size()) - slash), *value);
    }
}

PdfObject PdfObject::get(const char *key) const
{
    if (!m_handle)
        return {};
    return guarded(
        [&] {
            QPDFObjectHandle dict = m_handle->isStream() ? m_handle->getDict() : *m_handle;
            if (!dict.isDictionary())
                return PdfObject();
            const std::string k = std::string("/") + key;
            if (!dict.hasKey(k))
                return PdfObject();
            return PdfObject(dict.getKey(k));
        },
        PdfObject());
}

bool PdfObject::getString(const char *key, PdfObject *value) const
{
    PdfObject entry = get(key);
    if (entry.type() != PdfTypeString)
        return false;
    *value = entry;
    return true;
}

bool PdfObject::getName(const char *key, QByteArray *value) const
{
    std::optional<QByteArray> n = get(key).name();
    if (!n)
        return false;
    *value = *n;
    return true;
}

bool PdfObject::getIntegerEntry(const char *key, std::int32_t *value) const
{
    return get(key).getInteger(value);
}

bool PdfObject::getBooleanEntry(const char *key, bool *value) const
{
    return get(key).getBoolean(value);
}

bool PdfObject::getArray(const char *key, PdfObject *value) const
{
    PdfObject entry = get(key);
    if (entry.type() != PdfTypeArray)
        return false;
    *value = entry;
    return true;
}

int PdfObject::arrayCount() const
{
    if (!m_handle)
        return 0;
    return guarded([&] { return m_handle->isArray() ? m_handle->getArrayNItems() : 0; }, 0);
}

PdfObject PdfObject::at(int index) const
{
    if (!m_handle || index < 0)
        return {};
    return guarded(
        [&] {
            if (!m_handle->isArray() || index >= m_handle->getArrayNItems())
                return PdfObject();
            return PdfObject(m_handle->getArrayItem(index));
        },
        PdfObject());
}

bool PdfObject::getNumberAt(int index, double *value) const
{
    return at(index).getNumber(value);
}

std::optional<PdfStreamData> PdfObject::copyStreamData(qint64 maxBytes, DecodeCause *cause) const
{
    if (type() != PdfTypeStream)
        return std::nullopt;
    return decodePdfStream(*this, maxBytes, cause);
}

qint64 PdfObject::decodedSizeLimit() const
{
    return pdfStreamDecodedSizeLimit(*this);
}

QString PdfObject::identityKey() const
{
    return m_handle ? objectKey().text() : QString();
}

ObjectKey PdfObject::objectKey() const
{
    if (!m_handle)
        return {};
    return guarded(
        [&] {
            const QPDFObjGen og = m_handle->getObjGen();
            if (og.isIndirect())
                return ObjectKey{og, 0};
            return ObjectKey{QPDFObjGen(), quintptr(m_handle->getObjectPtr())};
        },
        ObjectKey());
}

bool PdfObject::isIndirect() const
{
    if (!m_handle)
        return false;
    return guarded([&] { return m_handle->isIndirect(); }, false);
}

} // namespace zembrix
