#pragma once

#include <QByteArray>

#include <chrono>
#include <functional>
#include <optional>

namespace corvane {

// Splits what a descriptor delivers into lines, the last one possibly unterminated. A line
// longer than the limit is not kept: its bytes are dropped as they arrive, so memory stays
// bounded whatever the other side sends, and the line is reported as too long once its end
// is reached.
class LineReader
{
public:
    struct Line
    {
        // Without the line feed; empty when the line was too long.
        QByteArray bytes;
        bool tooLong = false;
    };

    // The longest request line the tool server keeps: 64 MiB. The largest note the history
    // accepts is 32 MiB of UTF-8 (the payload cap); in a JSON string, quotes, backslashes and
    // line breaks take two bytes each, so twice the cap carries any such note with room for
    // the envelope. Handling a line costs a bounded multiple of its length (the decoded text,
    // the parsed document, the note's title and text, SQLite's copies), so this limit is
    // also what bounds the server's memory.
    static constexpr qsizetype maximumLineBytes = qsizetype(64) * 1024 * 1024;

    // Invoked with the text of a read error, after which the input counts as ended.
    using ErrorSink = void (*)(const QString &message);

    explicit LineReader(
        int descriptor, qsizetype maximumLength = maximumLineBytes, ErrorSink onError = nullptr);

    // The next line, or nothing at the end of input.
    std::optional<Line> next();

    // Calls handler once whenever next() has waited this long for input without a whole line,
    // then goes on waiting: the moment to let go of what only a busy reader needs.
    void whenIdle(std::chrono::milliseconds after, std::function<void()> handler);

private:
    // Reads once; false at the end of input.
    bool fill();
    // Waits up to the idle time for input, calling the idle handler when none came.
    void waitOrIdle();

    int m_descriptor;
    qsizetype m_maximumLength;
    ErrorSink m_onError;
    std::chrono::milliseconds m_idleAfter { 0 };
    std::function<void()> m_onIdle;
    QByteArray m_buffer;
    qsizetype m_start = 0;
    qsizetype m_scanned = 0;
    bool m_finished = false;
    // Inside a line that is too long, whose bytes are dropped as they are read.
    bool m_discarding = false;
    // That line's end was read; next() reports it before anything else.
    bool m_overlongLineEnded = false;
};

} // namespace corvane
