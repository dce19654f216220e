#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <memory>
#include <optional>

namespace zembrix {

// The base of a colour space record: the name of the base space of an
// Indexed or DeviceN space, or the /N of an ICC-based space's profile.
class TBaseColor
{
public:
    void setName(const QString &name) { m_name = name; }
    const std::optional<QString> &getName() const { return m_name; }
    void setCount(std::int32_t n) { m_n = n; }
    std::int32_t count() const { return m_n; }

private:
    std::int32_t m_n = 0;
    std::optional<QString> m_name;
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

} // namespace zembrix
