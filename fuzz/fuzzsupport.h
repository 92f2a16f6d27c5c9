#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

// Reads a fuzzer's input piece by piece; past its end every read gives zeros or nothing.
class FuzzInput
{
public:
    FuzzInput(const std::uint8_t *data, std::size_t size)
        : m_data(data)
        , m_size(size)
    { }

    bool atEnd() const { return m_position >= m_size; }

    std::uint8_t byte() { return atEnd() ? 0 : m_data[m_position++]; }

    // Up to maximum bytes, the count given by the next byte.
    QByteArray bytes(std::size_t maximum = 255)
    {
        std::size_t count = byte();
        if (count > maximum)
            count = maximum;
        if (count > m_size - m_position)
            count = m_size - m_position;
        const QByteArray result(
            reinterpret_cast<const char *>(m_data + m_position), qsizetype(count));
        m_position += count;
        return result;
    }

    QString text(std::size_t maximum = 255) { return QString::fromUtf8(bytes(maximum)); }

    QByteArray rest()
    {
        const QByteArray result(
            reinterpret_cast<const char *>(m_data + m_position), qsizetype(m_size - m_position));
        m_position = m_size;
        return result;
    }

private:
    const std::uint8_t *m_data;
    std::size_t m_size;
    std::size_t m_position = 0;
};

// A broken promise of the code under test: reported like a crash, so the run fails.
#define FUZZ_CHECK(condition)                                                                      \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "check failed: %s (%s:%d)\n", #condition, __FILE__, __LINE__);    \
            std::abort();                                                                          \
        }                                                                                          \
    } while (false)
