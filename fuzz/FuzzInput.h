#pragma once

#include <QByteArrayView>

#include <cstddef>
#include <cstdint>

// The leading parameter bytes of a fuzz input, read little-endian in order; reads past the end
// give 0. rest() is what follows the bytes read so far: a view of the fuzzer's own buffer, so an
// overread of it is seen by the address sanitizer.
class FuzzInput
{
public:
    FuzzInput(const std::uint8_t *data, std::size_t size)
        : m_data(data)
        , m_size(size)
    {
    }

    std::uint8_t u8() { return m_pos < m_size ? m_data[m_pos++] : (m_pos++, 0); }
    std::uint16_t u16() { return std::uint16_t(u8() | (u8() << 8)); }
    std::uint32_t u32() { return std::uint32_t(u16()) | (std::uint32_t(u16()) << 16); }
    std::int32_t i32() { return std::int32_t(u32()); }
    std::int16_t i16() { return std::int16_t(u16()); }

    // The next n bytes (fewer when the input ends first).
    QByteArrayView take(std::size_t n)
    {
        const std::size_t from = m_pos < m_size ? m_pos : m_size;
        const std::size_t count = n < m_size - from ? n : m_size - from;
        m_pos = from + count;
        return QByteArrayView(m_data + from, qsizetype(count));
    }
    QByteArrayView rest() const
    {
        const std::size_t from = m_pos < m_size ? m_pos : m_size;
        return QByteArrayView(m_data + from, qsizetype(m_size - from));
    }

private:
    const std::uint8_t *m_data;
    std::size_t m_size;
    std::size_t m_pos = 0;
};

// Stops the run as a crash: a result broke a promise of the function under test.
#define FUZZ_CHECK(condition)                                                                                          \
    do {                                                                                                               \
        if (!(condition))                                                                                              \
            __builtin_trap();                                                                                          \
    } while (0)
