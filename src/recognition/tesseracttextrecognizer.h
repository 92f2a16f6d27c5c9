#pragma once

#include "recognition/textrecognizer.h"

#include <QLocale>
#include <QString>

#include <chrono>
#include <memory>

namespace tesseract {
class TessBaseAPI;
}

namespace corvane {

// Reads the words in images with the Tesseract engine, under bounds on the image's size and
// the time spent on it, so a hostile or huge image costs little.
class TesseractTextRecognizer : public TextRecognizer
{
public:
    struct Limits
    {
        // Images with more pixels than this are not decoded at all.
        std::int64_t maximumDecodedPixels = 64'000'000;
        // Larger images are scaled down to about this many pixels before reading.
        std::int64_t maximumReadPixels = 12'000'000;
        // Images whose shorter side is below this are scaled up: the engine misses the small
        // letters of a screenshot taken at 1x.
        int minimumShortSide = 1600;
        // Processor time, not the clock's: at idle priority the clock runs on while waiting.
        std::chrono::milliseconds timePerImage { 20'000 };
    };

    // Loads the engine for English and, when its trained data is installed, the language of
    // locale; throws std::runtime_error when not even English can be loaded.
    explicit TesseractTextRecognizer(const QLocale &locale, Limits limits);
    explicit TesseractTextRecognizer(const QLocale &locale);

    // The languages the engine reads, as "eng+deu".
    QString languages() const { return m_languages; }
    ~TesseractTextRecognizer() override;

    RecognizedText recognize(const QString &path, const std::atomic<bool> &stop) override;

private:
    Limits m_limits;
    QString m_languages;
    std::unique_ptr<tesseract::TessBaseAPI> m_engine;
};

} // namespace corvane
