// The background reader over a real store, with a recognizer whose answers the test chooses:
// the order images are read in, what is kept for damaged ones, stopping and resuming.
#include "logcapture.h"
#include "recognition/imagetextreader.h"
#include "store/clipstore.h"
#include "store/storetestsupport.h"

#include <QFile>

#include <chrono>
#include <functional>
#include <mutex>
#include <sched.h>
#include <thread>
#include <utility>

namespace corvane {
namespace {

using namespace std::chrono_literals;

// Answers from the image file's bytes: "words:<text>", "damaged", "endless" (reads until
// told to stop) or "deleted" (the item is deleted while it is read: duringRead runs, and
// the file is gone). Notes the order it was asked in.
class ScriptedRecognizer : public TextRecognizer
{
public:
    struct Asked
    {
        std::mutex mutex;
        std::vector<QString> contents;
        std::function<void()> duringRead;
        // The scheduling policy of each reading thread.
        std::vector<int> policies;
        // How many recognizers were made and let go.
        std::atomic<int> made = 0;
        std::atomic<int> released = 0;

        std::vector<QString> taken()
        {
            const std::lock_guard lock(mutex);
            return std::exchange(contents, {});
        }
        std::size_t size()
        {
            const std::lock_guard lock(mutex);
            return contents.size();
        }
    };

    explicit ScriptedRecognizer(Asked &asked)
        : m_asked(asked)
    {
        ++m_asked.made;
    }
    ~ScriptedRecognizer() override { ++m_asked.released; }

    RecognizedText recognize(const QString &path, const std::atomic<bool> &stop) override
    {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return { RecognizedText::Outcome::unreadable, QString(), file.errorString() };
        const QString content = QString::fromUtf8(file.readAll());
        {
            const std::lock_guard lock(m_asked.mutex);
            m_asked.contents.push_back(content);
            m_asked.policies.push_back(sched_getscheduler(0));
        }
        if (content == QLatin1String("damaged"))
            return { RecognizedText::Outcome::unreadable, QString(), QStringLiteral("damaged") };
        if (content == QLatin1String("deleted")) {
            m_asked.duringRead();
            return { RecognizedText::Outcome::unreadable, QString(),
                QStringLiteral("No such file or directory") };
        }
        if (content == QLatin1String("endless")) {
            while (!stop)
                std::this_thread::sleep_for(1ms);
            return { RecognizedText::Outcome::cancelled, QString(), QString() };
        }
        return { RecognizedText::Outcome::read, content.mid(6), QString() };
    }

private:
    Asked &m_asked;
};

class ImageTextReaderTest : public test::StoreTest
{
protected:
    std::int64_t recordImage(const QByteArray &bytes, int minute)
    {
        return store().record(image(bytes, minute), 0, 0, ClipStore::payloadCapBytes).value().id;
    }

    std::unique_ptr<ImageTextReader> makeReader(std::chrono::milliseconds keepRecognizerFor = 5min)
    {
        return std::make_unique<ImageTextReader>(
            store(), [this] { return std::make_unique<ScriptedRecognizer>(m_asked); },
            keepRecognizerFor);
    }

    // Waits until done gives true, for at most 10 s.
    static bool eventually(const std::function<bool()> &done)
    {
        const auto deadline = std::chrono::steady_clock::now() + 10s;
        while (!done()) {
            if (std::chrono::steady_clock::now() > deadline)
                return false;
            std::this_thread::sleep_for(5ms);
        }
        return true;
    }

    // Waits until no image is left unread.
    bool allRead()
    {
        return eventually([this] { return store().unreadImages(1).empty(); });
    }

    ScriptedRecognizer::Asked m_asked;
};

TEST_F(ImageTextReaderTest, ReadsNewestFirstKeepsWordsSkipsDamagedImagesOnceAndReadsNewOnes)
{
    const std::int64_t older = recordImage("words:invoice 42", 1);
    const std::int64_t damaged = recordImage("damaged", 2);
    const std::int64_t newer = recordImage("words:stack trace", 3);
    // Pruned while it was read: its file went with it, and that is no fault to report.
    const std::int64_t pruned = recordImage("deleted", 0);
    m_asked.duringRead = [&] { store().deleteItems({ pruned }); };
    test::LogCapture log("com.ferrowen.corvane.recognition");
    auto reader = makeReader();
    reader->setRunning(true);
    ASSERT_TRUE(allRead());
    reader->setRunning(false);

    EXPECT_EQ(m_asked.taken(),
        (std::vector<QString> { QStringLiteral("words:stack trace"), QStringLiteral("damaged"),
            QStringLiteral("words:invoice 42"), QStringLiteral("deleted") }));
    EXPECT_EQ(store().recognizedText(newer), std::optional<QString>(QStringLiteral("stack trace")));
    EXPECT_EQ(store().recognizedText(older), std::optional<QString>(QStringLiteral("invoice 42")));
    EXPECT_EQ(store().recognizedText(damaged), std::nullopt);
    EXPECT_EQ(
        log.count(
            QStringLiteral("Could not read the text in image item %1 since damaged").arg(damaged)),
        1);
    EXPECT_EQ(log.messages().size(), 1) << log.messages().join(u'\n').toStdString();
    // Reading takes only the time nobody else wants.
    EXPECT_EQ(m_asked.policies, std::vector<int>(4, SCHED_IDLE));

    // A later run reads an image recorded while it runs, and not the damaged one again.
    reader->setRunning(true);
    const std::int64_t late = recordImage("words:late arrival", 4);
    reader->imagesRecorded();
    ASSERT_TRUE(allRead());
    reader->setRunning(false);
    EXPECT_EQ(m_asked.taken(), std::vector<QString> { QStringLiteral("words:late arrival") });
    EXPECT_EQ(store().recognizedText(late), std::optional<QString>(QStringLiteral("late arrival")));
}

TEST_F(ImageTextReaderTest, StoppingGivesUpTheImageBeingReadAndTheNextRunResumesIt)
{
    const std::int64_t endless = recordImage("endless", 1);
    auto reader = makeReader();
    reader->setRunning(true);
    ASSERT_TRUE(eventually([this] { return m_asked.size() == 1; }));
    // Stopping returns once the recognizer gave up; nothing is kept for the image.
    reader->setRunning(false);
    ASSERT_EQ(store().unreadImages(5).size(), 1u);
    EXPECT_EQ(store().unreadImages(5).front().id, endless);

    // Deleted while unread, it is simply not read; a new image is.
    store().deleteItems({ endless });
    const std::int64_t next = recordImage("words:resumed", 2);
    reader->setRunning(true);
    ASSERT_TRUE(allRead());
    EXPECT_EQ(store().recognizedText(next), std::optional<QString>(QStringLiteral("resumed")));
}

TEST_F(ImageTextReaderTest, LetsTheRecognizerGoWhenNoImageCameForAWhileAndMakesItAgain)
{
    recordImage("words:first", 1);
    auto reader = makeReader(50ms);
    reader->setRunning(true);
    ASSERT_TRUE(allRead());
    ASSERT_TRUE(eventually([this] { return m_asked.released == 1; }));

    const std::int64_t second = recordImage("words:second", 2);
    reader->imagesRecorded();
    ASSERT_TRUE(allRead());
    EXPECT_EQ(m_asked.made, 2);
    EXPECT_EQ(store().recognizedText(second), std::optional<QString>(QStringLiteral("second")));
}

} // namespace
} // namespace corvane
