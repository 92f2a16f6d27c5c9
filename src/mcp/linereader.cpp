#include "linereader.h"

#include <QString>

#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <poll.h>

namespace corvane {

LineReader::LineReader(int descriptor, qsizetype maximumLength, ErrorSink onError)
    : m_descriptor(descriptor)
    , m_maximumLength(maximumLength)
    , m_onError(onError)
{ }

std::optional<LineReader::Line> LineReader::next()
{
    while (true) {
        if (m_overlongLineEnded) {
            m_overlongLineEnded = false;
            return Line { {}, true };
        }
        const qsizetype end = m_buffer.indexOf('\n', m_scanned);
        if (end >= 0) {
            const qsizetype length = end - m_start;
            Line line;
            if (length > m_maximumLength)
                line.tooLong = true;
            else
                line.bytes = m_buffer.sliced(m_start, length);
            m_start = m_scanned = end + 1;
            return line;
        }
        m_scanned = m_buffer.size();
        if (m_buffer.size() - m_start > m_maximumLength) {
            // Nothing of this line will be used; from here on its bytes are dropped unread.
            m_discarding = true;
            m_buffer.clear();
            m_start = m_scanned = 0;
        }
        if (m_finished) {
            if (m_discarding) {
                m_discarding = false;
                return Line { {}, true };
            }
            if (m_start == m_buffer.size())
                return std::nullopt;
            Line line { m_buffer.sliced(m_start), false };
            m_buffer.clear();
            m_start = m_scanned = 0;
            return line;
        }
        m_finished = !fill();
    }
}

void LineReader::whenIdle(std::chrono::milliseconds after, std::function<void()> handler)
{
    m_idleAfter = after;
    m_onIdle = std::move(handler);
}

void LineReader::waitOrIdle()
{
    pollfd input { .fd = m_descriptor, .events = POLLIN, .revents = 0 };
    int ready = 0;
    do {
        ready = ::poll(&input, 1, int(m_idleAfter.count()));
    } while (ready < 0 && errno == EINTR);
    // A failed poll leaves the read below to report the descriptor's error.
    if (ready == 0)
        m_onIdle();
}

bool LineReader::fill()
{
    // Drop consumed lines before growing, so a long session does not keep its history.
    if (m_start > 0) {
        m_buffer.remove(0, m_start);
        m_scanned -= m_start;
        m_start = 0;
    }
    if (m_onIdle)
        waitOrIdle();
    std::array<char, 65536> chunk {};
    while (true) {
        const ssize_t count = ::read(m_descriptor, chunk.data(), chunk.size());
        if (count > 0) {
            const QByteArrayView received(chunk.data(), count);
            if (!m_discarding) {
                m_buffer.append(received);
                return true;
            }
            const qsizetype end = received.indexOf('\n');
            if (end < 0)
                continue;
            m_discarding = false;
            m_overlongLineEnded = true;
            m_buffer.append(received.sliced(end + 1));
            return true;
        }
        if (count == 0)
            return false;
        if (errno == EINTR)
            continue;
        if (m_onError) {
            m_onError(QStringLiteral("could not read the input: ")
                + QString::fromLocal8Bit(std::strerror(errno)));
        }
        return false;
    }
}

} // namespace corvane
