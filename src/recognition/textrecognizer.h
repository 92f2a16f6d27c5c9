#pragma once

#include <QString>

#include <atomic>

namespace corvane {

// What reading the words in one image came to.
struct RecognizedText
{
    enum class Outcome {
        read, // text holds the words found, empty when there were none
        unreadable, // the file is no image that can be read; reason says why
        cancelled, // stopped before the end; nothing is known
    };
    Outcome outcome = Outcome::read;
    QString text;
    QString reason;
};

// Reads the words in an image file. One object is used by one thread at a time.
class TextRecognizer
{
public:
    virtual ~TextRecognizer();

    // Reads the image at path; returns early with `cancelled` once stop becomes true.
    virtual RecognizedText recognize(const QString &path, const std::atomic<bool> &stop) = 0;
};

} // namespace corvane
