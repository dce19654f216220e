#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <memory>
#include <optional>

// The base of a colour space record: the base space of an Indexed space, the
// profile of an ICC-based space, or the colourants of a DeviceN space. Only
// N, name and the colourant names are read by the image builders; the other
// members are kept for completeness of the description.
class TBaseColor
{
public:
    void setName(const QString &name) { m_name = name; }
    const std::optional<QString> &getName() const { return m_name; }
    void setAlternate(const QString &alternate) { m_alternate = alternate; }
    const QString &getAlternate() const { return m_alternate; }
    void setFilter(const QString &filter) { m_filter = filter; }
    const QString &getFilter() const { return m_filter; }
    void setStream(const QByteArray &stream) { m_stream = stream; }
    const std::optional<QByteArray> &getStream() const { return m_stream; }
    void setArray(const QStringList &names) { m_devNNames = names; }
    const std::optional<QStringList> &getArray() const { return m_devNNames; }
    void setCount(std::int32_t n) { m_n = n; }
    std::int32_t count() const { return m_n; }
    void setLength(std::int32_t length) { m_length = length; }
    std::int32_t length() const { return m_length; }

private:
    std::int32_t m_n = 0;
    std::int32_t m_length = 0;
    std::optional<QString> m_name;
    QString m_alternate;
    QString m_filter;
    std::optional<QByteArray> m_stream;
    std::optional<QStringList> m_devNNames;
};

// One resolved /ColorSpace entry: the family name ("/DeviceRGB",
// "/Indexed", ...), the third array element read as an integer (the highest
// index of an Indexed space), the fourth as bytes (the lookup table, or a
// tint transform stream's data) and the attached base record.
class TColorSpace
{
public:
    void setName(const QString &name) { m_name = name; }
    const std::optional<QString> &getName() const { return m_name; }
    void setStream(const QByteArray &stream) { m_stream = stream; }
    const std::optional<QByteArray> &getStream() const { return m_stream; }
    TBaseColor &getBase() { return m_base; }
    const TBaseColor &getBase() const { return m_base; }
    void setCount(std::int32_t n) { m_ncolor = n; }
    std::int32_t count() const { return m_ncolor; }

private:
    std::int32_t m_ncolor = 0;
    std::optional<QString> m_name;
    std::optional<QByteArray> m_stream;
    TBaseColor m_base;
};
