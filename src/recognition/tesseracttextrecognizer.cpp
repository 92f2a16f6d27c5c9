#include "tesseracttextrecognizer.h"

#include <QFile>
#include <QStringList>

#include <chrono>
#include <cmath>
#include <ctime>
#include <leptonica/allheaders.h>
#include <omp.h>
#include <stdexcept>
#include <tesseract/baseapi.h>
#include <tesseract/ocrclass.h>
#include <tesseract/resultiterator.h>

namespace corvane {

namespace {

// The engine's name for a locale's language: ISO 639-2/T codes, except where its trained
// data is split by script.
QString engineLanguage(const QLocale &locale)
{
    if (locale.language() == QLocale::Chinese) {
        return locale.script() == QLocale::TraditionalChineseScript ? QStringLiteral("chi_tra")
                                                                    : QStringLiteral("chi_sim");
    }
    return QLocale::languageToCode(locale.language(), QLocale::ISO639Part2T);
}

struct PixDeleter
{
    void operator()(Pix *pix) const { pixDestroy(&pix); }
};
using PixPointer = std::unique_ptr<Pix, PixDeleter>;

// Processor time of the calling thread. The budget per image counts this rather than the
// clock: at idle priority on a busy machine the thread may wait for seconds between steps.
std::chrono::nanoseconds threadTime()
{
    timespec now {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return std::chrono::seconds(now.tv_sec) + std::chrono::nanoseconds(now.tv_nsec);
}

struct Interruption
{
    const std::atomic<bool> *stop = nullptr;
    std::chrono::nanoseconds budgetEnd {};
    bool overBudget = false;
};

// The engine asks this between steps whether to give up.
bool shouldGiveUp(void *state, int /*words*/)
{
    auto *interruption = static_cast<Interruption *>(state);
    if (threadTime() > interruption->budgetEnd)
        interruption->overBudget = true;
    return interruption->stop->load() || interruption->overBudget;
}

RecognizedText unreadable(const QString &reason)
{
    return { RecognizedText::Outcome::unreadable, QString(), reason };
}

// The image scaled so the engine sees letters of a useful size: huge images down to the
// pixel budget, small ones (screenshots at 1x) up.
PixPointer scaledForReading(
    PixPointer pix, const TesseractTextRecognizer::Limits &limits, QString &failure)
{
    const double width = pixGetWidth(pix.get());
    const double height = pixGetHeight(pix.get());
    double factor = 1.0;
    if (width * height > double(limits.maximumReadPixels))
        factor = std::sqrt(double(limits.maximumReadPixels) / (width * height));
    else if (std::min(width, height) < limits.minimumShortSide)
        factor = std::min(2.0,
            std::min(double(limits.minimumShortSide) / std::min(width, height),
                std::sqrt(double(limits.maximumReadPixels) / (width * height))));
    // Grey levels are all the engine uses, and a quarter of the memory of colour.
    PixPointer grey(pixConvertTo8(pix.get(), 0));
    if (!grey) {
        failure = QStringLiteral("its pixels could not be converted");
        return nullptr;
    }
    pix.reset();
    if (std::abs(factor - 1.0) < 0.05)
        return grey;
    PixPointer scaled(pixScale(grey.get(), float(factor), float(factor)));
    if (!scaled)
        failure = QStringLiteral("it could not be scaled");
    return scaled;
}

// Below this confidence (of 100) a "word" is mostly texture the engine took for letters: the
// grain of a photo, the edge of an icon.
constexpr float minimumWordConfidence = 75.0F;

// The words read with confidence, a line of the image to a line of text.
QString confidentWords(tesseract::TessBaseAPI &engine)
{
    std::unique_ptr<tesseract::ResultIterator> word(engine.GetIterator());
    if (!word)
        return {};
    QStringList lines;
    QStringList line;
    const auto endLine = [&] {
        if (!line.isEmpty())
            lines << line.join(QLatin1Char(' '));
        line.clear();
    };
    do {
        if (word->IsAtBeginningOf(tesseract::RIL_TEXTLINE))
            endLine();
        if (word->Confidence(tesseract::RIL_WORD) < minimumWordConfidence)
            continue;
        const std::unique_ptr<char[]> text(word->GetUTF8Text(tesseract::RIL_WORD));
        if (text && *text.get() != 0)
            line << QString::fromUtf8(text.get());
    } while (word->Next(tesseract::RIL_WORD));
    endLine();
    return lines.join(QLatin1Char('\n'));
}

} // namespace

TesseractTextRecognizer::TesseractTextRecognizer(const QLocale &locale)
    : TesseractTextRecognizer(locale, Limits {})
{ }

TesseractTextRecognizer::TesseractTextRecognizer(const QLocale &locale, Limits limits)
    : m_limits(limits)
    , m_languages(QStringLiteral("eng"))
    , m_engine(std::make_unique<tesseract::TessBaseAPI>())
{
    if (m_engine->Init(nullptr, "eng", tesseract::OEM_LSTM_ONLY) != 0)
        throw std::runtime_error("the English text recognition data is not installed");
    const QString local = engineLanguage(locale);
    if (local.isEmpty() || local == QLatin1String("eng"))
        return;
    std::vector<std::string> installed;
    m_engine->GetAvailableLanguagesAsVector(&installed);
    if (std::find(installed.begin(), installed.end(), local.toStdString()) == installed.end())
        return;
    const QString both = m_languages + QLatin1Char('+') + local;
    if (m_engine->Init(nullptr, both.toUtf8().constData(), tesseract::OEM_LSTM_ONLY) == 0)
        m_languages = both;
    else if (m_engine->Init(nullptr, "eng", tesseract::OEM_LSTM_ONLY) != 0)
        throw std::runtime_error("the English text recognition data could not be loaded");
}

TesseractTextRecognizer::~TesseractTextRecognizer()
{
    m_engine->End();
}

RecognizedText TesseractTextRecognizer::recognize(
    const QString &path, const std::atomic<bool> &stop)
{
    // The engine runs its loops on as many threads as there are cores unless told otherwise;
    // reading in the background must take one.
    omp_set_num_threads(1);

    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return unreadable(file.errorString());
    const QByteArray bytes = file.readAll();
    const auto *data = reinterpret_cast<const l_uint8 *>(bytes.constData());
    l_int32 format = 0, width = 0, height = 0, bitsPerSample = 0, samples = 0, colormap = 0;
    if (pixReadHeaderMem(data, std::size_t(bytes.size()), &format, &width, &height, &bitsPerSample,
            &samples, &colormap)
            != 0
        || width <= 0 || height <= 0)
        return unreadable(QStringLiteral("it is not an image the reader knows"));
    if (std::int64_t(width) * height > m_limits.maximumDecodedPixels) {
        return unreadable(QStringLiteral("%1 × %2 pixels is more than the %3 million read")
                              .arg(width)
                              .arg(height)
                              .arg(m_limits.maximumDecodedPixels / 1'000'000));
    }
    PixPointer pix(pixReadMem(data, std::size_t(bytes.size())));
    if (!pix)
        return unreadable(QStringLiteral("its data is damaged"));
    QString failure;
    PixPointer prepared = scaledForReading(std::move(pix), m_limits, failure);
    if (!prepared)
        return unreadable(failure);

    m_engine->SetImage(prepared.get());
    // Each image gets its own resolution guess; a screenshot says nothing useful about it.
    m_engine->SetSourceResolution(300);
    Interruption interruption { &stop, threadTime() + m_limits.timePerImage };
    tesseract::ETEXT_DESC monitor;
    monitor.cancel = &shouldGiveUp;
    monitor.cancel_this = &interruption;
    const int status = m_engine->Recognize(&monitor);
    if (stop.load()) {
        m_engine->Clear();
        return { RecognizedText::Outcome::cancelled, QString(), QString() };
    }
    // Over its budget the engine stops and keeps what it read so far, which is kept too.
    if (status != 0 && !interruption.overBudget) {
        m_engine->Clear();
        return unreadable(QStringLiteral("the engine failed to read it"));
    }
    QString text = confidentWords(*m_engine);
    m_engine->Clear();
    return { RecognizedText::Outcome::read, text, QString() };
}

} // namespace corvane
