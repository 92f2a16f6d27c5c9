// The real engine over a corpus drawn here, the way people's screenshots look: several fonts,
// sizes, colours, a dark theme and a noisy photo behind the text. Every word should then be
// found by a search of the history, as a user would look for it.
#include "clipboardtesttools.h"
#include "recognition/tesseracttextrecognizer.h"
#include "store/storetestsupport.h"

#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <QRandomGenerator>
#include <QRegularExpression>

namespace corvane {
namespace {

using test::encoded;

const char *const sentences[] = {
    "Traceback most recent call last ValueError invalid literal for int",
    "Your order number 48213 has shipped and will arrive on Thursday",
    "Quarterly revenue grew twelve percent compared with last year",
    "Meeting moved to Friday afternoon in the north conference room",
    "Segmentation fault core dumped while running the nightly build",
    "Total amount due 127.40 EUR including value added tax",
    "Please confirm the delivery address before the courier leaves",
    "Connection refused when contacting the database server on port 5432",
    "The quick brown fox jumps over the lazy dog near the river",
    "Remember to water the plants and feed the cat on Sunday",
    "Permission denied while opening the configuration file for writing",
    "Flight departs at seven fifteen from gate twenty three",
    "Slides for the design review are attached to this message",
    "Warning deprecated function will be removed in the next release",
    "Invoice paid by bank transfer reference number 99120",
    "Install the update and restart your computer to finish",
    "Lunch menu tomato soup grilled cheese and apple pie",
    "Unable to resolve host name check your network settings",
    "Happy birthday hope you have a wonderful day with family",
    "Build failed because three tests did not pass on the server",
    "Temperature tomorrow will reach nineteen degrees with light rain",
    "Password must contain at least twelve characters and one digit",
    "The library closes at eight in the evening on weekdays",
    "Null pointer exception thrown in the payment service handler",
    "Train to Berlin delayed by forty minutes due to signal failure",
    "Customer feedback shows strong interest in the mobile version",
    "Disk almost full only two gigabytes remaining on the volume",
    "Recipe needs flour sugar butter eggs and a pinch of salt",
    "Merge request approved by two reviewers and ready to land",
    "Battery low connect your charger to continue working",
};

struct Look
{
    const char *font;
    int pixelSize;
    QColor ink;
    QColor paper;
    bool noisy;
};

// Thirty looks: every font, size and colour pairing a screen commonly shows.
Look lookFor(int index)
{
    static const char *const fonts[]
        = { "DejaVu Sans", "DejaVu Serif", "DejaVu Sans Mono", "Nimbus Sans", "Nimbus Roman",
              "URW Bookman", "Nimbus Mono PS", "C059", "P052", "URW Gothic" };
    static const int sizes[] = { 11, 12, 13, 15, 17, 20, 24 };
    struct Colours
    {
        QColor ink, paper;
        bool noisy;
    };
    static const Colours colours[] = {
        { Qt::black, Qt::white, false },
        { QColor(0xdd, 0xdd, 0xdd), QColor(0x1e, 0x1e, 0x1e), false }, // a dark theme
        { QColor(0x33, 0x33, 0x33), QColor(0xee, 0xee, 0xee), false },
        { QColor(0x10, 0x3a, 0x8c), QColor(0xff, 0xf8, 0xd8), false },
        { Qt::white, QColor(0x20, 0x3a, 0x60), false },
        { Qt::black, Qt::white, true }, // over a photo
    };
    return { fonts[index % std::size(fonts)], sizes[index % std::size(sizes)],
        colours[index % std::size(colours)].ink, colours[index % std::size(colours)].paper,
        colours[index % std::size(colours)].noisy };
}

// Smooth colour patches with grain, like a photograph behind a caption.
void paintPhoto(QImage &image, quint32 seed)
{
    QRandomGenerator random(seed);
    QPainter painter(&image);
    QLinearGradient sky(0, 0, image.width(), image.height());
    sky.setColorAt(0, QColor(0xa8, 0xc8, 0xe8));
    sky.setColorAt(1, QColor(0xe8, 0xd8, 0xb0));
    painter.fillRect(image.rect(), sky);
    painter.end();
    for (int y = 0; y < image.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const int grain = int(random.bounded(40)) - 20;
            const QRgb pixel = line[x];
            line[x] = qRgb(std::clamp(qRed(pixel) + grain, 0, 255),
                std::clamp(qGreen(pixel) + grain, 0, 255),
                std::clamp(qBlue(pixel) + grain, 0, 255));
        }
    }
}

// The sentence drawn in a window-sized image, wrapped to lines of a few words.
QByteArray drawnSentence(const QString &sentence, const Look &look, quint32 seed)
{
    QFont font(QString::fromLatin1(look.font));
    font.setPixelSize(look.pixelSize);
    const QFontMetrics metrics(font);
    const QStringList words = sentence.split(QLatin1Char(' '));
    QStringList lines;
    for (qsizetype i = 0; i < words.size(); i += 5)
        lines << words.mid(i, 5).join(QLatin1Char(' '));
    int width = 0;
    for (const QString &line : lines)
        width = std::max(width, metrics.horizontalAdvance(line));
    QImage image(width + 80, int(lines.size()) * metrics.lineSpacing() + 60, QImage::Format_RGB32);
    image.fill(look.paper);
    if (look.noisy)
        paintPhoto(image, seed);
    QPainter painter(&image);
    painter.setFont(font);
    painter.setPen(look.ink);
    for (qsizetype i = 0; i < lines.size(); ++i)
        painter.drawText(40, 30 + metrics.ascent() + int(i) * metrics.lineSpacing(), lines[i]);
    painter.end();
    return encoded(image);
}

class TextRecognitionCorpusTest : public test::StoreTest
{
protected:
    // Records each image, reads it as the background reader does and keeps its words.
    std::vector<std::int64_t> recordAndRead(const std::vector<QByteArray> &images)
    {
        std::vector<std::int64_t> ids;
        for (std::size_t i = 0; i < images.size(); ++i) {
            ids.push_back(store()
                              .record(image(images[i], int(i)), 0, 0, ClipStore::payloadCapBytes)
                              .value()
                              .id);
        }
        for (const ClipStore::UnreadImage &unread : store().unreadImages(-1)) {
            const RecognizedText result = m_recognizer.recognize(unread.blobPath, m_stop);
            m_outcomes[unread.id] = result.outcome;
            store().setRecognizedText(unread.id, result.text);
        }
        return ids;
    }

    bool searchFinds(const QString &word, std::int64_t id)
    {
        ClipStore::Filter filter;
        filter.search = word;
        filter.limit = -1;
        for (const ClipItem &item : store().items(filter)) {
            if (item.id == id)
                return true;
        }
        return false;
    }

    TesseractTextRecognizer m_recognizer { QLocale(QLocale::English) };
    std::atomic<bool> m_stop = false;
    std::map<std::int64_t, RecognizedText::Outcome> m_outcomes;
};

TEST_F(TextRecognitionCorpusTest, NearlyEveryWordDrawnInAnImageIsFoundBySearch)
{
    std::vector<QByteArray> images;
    for (int i = 0; i < int(std::size(sentences)); ++i)
        images.push_back(drawnSentence(QString::fromLatin1(sentences[i]), lookFor(i), quint32(i)));
    const std::vector<std::int64_t> ids = recordAndRead(images);

    int words = 0;
    int found = 0;
    QStringList missed;
    for (std::size_t i = 0; i < ids.size(); ++i) {
        for (const QString &word : QString::fromLatin1(sentences[i]).split(QLatin1Char(' '))) {
            ++words;
            if (searchFinds(word, ids[i]))
                ++found;
            else
                missed << word + QStringLiteral(" (image %1)").arg(i);
        }
    }
    const double share = double(found) / double(words);
    RecordProperty("words", words);
    RecordProperty("found", found);
    std::cout << "Words found by search: " << found << " of " << words << " ("
              << qRound(share * 1000) / 10.0
              << " %); missed: " << missed.join(QStringLiteral(", ")).toStdString() << '\n';
    EXPECT_GE(share, 0.95);
}

TEST_F(TextRecognitionCorpusTest, ImagesWithoutWordsGetNoTextAndBadImagesAreSkipped)
{
    QImage blank(640, 360, QImage::Format_RGB32);
    blank.fill(Qt::white);
    QImage gradient(640, 360, QImage::Format_RGB32);
    {
        QPainter painter(&gradient);
        QLinearGradient fill(0, 0, 640, 360);
        fill.setColorAt(0, Qt::darkBlue);
        fill.setColorAt(1, Qt::yellow);
        painter.fillRect(gradient.rect(), fill);
    }
    QImage photo(640, 360, QImage::Format_RGB32);
    paintPhoto(photo, 7);
    // A checksum broken in the middle of the image data, and a file cut short.
    QByteArray brokenChecksum = drawnSentence(QStringLiteral("checksum"), lookFor(0), 0);
    brokenChecksum[brokenChecksum.size() - 20]
        = char(brokenChecksum[brokenChecksum.size() - 20] ^ 0x5a);
    const QByteArray cutShort = drawnSentence(QStringLiteral("truncated"), lookFor(0), 0).left(60);
    // 400 million pixels, which the reader never decodes.
    QImage huge(20000, 20000, QImage::Format_Mono);
    huge.fill(0);

    const std::vector<std::int64_t> ids = recordAndRead({ encoded(blank), encoded(gradient),
        encoded(photo), brokenChecksum, cutShort, encoded(huge) });
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(store().recognizedText(ids[i]), std::nullopt) << "image " << i;
        EXPECT_EQ(m_outcomes[ids[i]], RecognizedText::Outcome::read) << "image " << i;
    }
    for (std::size_t i = 3; i < ids.size(); ++i) {
        EXPECT_EQ(m_outcomes[ids[i]], RecognizedText::Outcome::unreadable) << "image " << i;
        EXPECT_EQ(store().recognizedText(ids[i]), std::nullopt);
    }
    // Every image counts as read, so none is tried again at the next start.
    EXPECT_TRUE(store().unreadImages(10).empty());
}

} // namespace
} // namespace corvane
