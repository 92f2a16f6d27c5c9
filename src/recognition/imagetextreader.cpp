#include "imagetextreader.h"

#include "common/largeblocks.h"
#include "common/logging.h"
#include "store/clipstore.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <exception>
#include <sched.h>
#include <thread>

namespace corvane {

namespace {

// How many unread images are asked of the store at a time.
constexpr std::int64_t imagesPerBatch = 16;

// Gives the calling thread only the time no other thread wants.
void lowerThisThreadsPriority()
{
    static std::atomic<bool> warned = false;
    sched_param parameters {};
    if (sched_setscheduler(0, SCHED_IDLE, &parameters) != 0 && !warned.exchange(true))
        qCWarning(lcRecognition) << "Could not lower the priority of reading text in images:"
                                 << strerror(errno);
}

// Runs work on a thread of idle priority and waits for it; what it throws is thrown here.
// Only the recognition runs there, never a call into the store: a thread of idle priority
// can wait seconds for a processor on a busy machine, and one that waited inside a store
// call held the store's lock, which the recording on the main thread then waited for, and
// a snapshot of the history, which kept SQLite's log from starting over.
template <typename Work> void runAtIdlePriority(Work &&work)
{
    std::exception_ptr failure;
    std::thread idle([&] {
        lowerThisThreadsPriority();
        try {
            work();
        } catch (...) {
            failure = std::current_exception();
        }
    });
    idle.join();
    if (failure)
        std::rethrow_exception(failure);
}

} // namespace

ImageTextReader::ImageTextReader(ClipStore &store, RecognizerFactory makeRecognizer,
    std::chrono::milliseconds keepRecognizerFor, QObject *parent)
    : QObject(parent)
    , m_store(store)
    , m_makeRecognizer(std::move(makeRecognizer))
    , m_keepRecognizerFor(keepRecognizerFor)
{ }

ImageTextReader::~ImageTextReader()
{
    setRunning(false);
}

void ImageTextReader::setRunning(bool running)
{
    if (running == isRunning())
        return;
    if (running) {
        m_stop = false;
        m_workPending = true;
        m_thread = std::thread([this] { run(); });
        return;
    }
    {
        const std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_all();
    m_thread.join();
}

void ImageTextReader::imagesRecorded()
{
    {
        const std::lock_guard lock(m_mutex);
        m_workPending = true;
    }
    m_wake.notify_all();
}

ImageTextReader::Wake ImageTextReader::waitForWork(
    std::optional<std::chrono::milliseconds> patience)
{
    std::unique_lock lock(m_mutex);
    const auto hasWork = [this] { return m_stop || m_workPending; };
    if (!patience)
        m_wake.wait(lock, hasWork);
    else if (!m_wake.wait_for(lock, *patience, hasWork))
        return Wake::quiet;
    m_workPending = false;
    return m_stop ? Wake::stop : Wake::work;
}

void ImageTextReader::run()
{
    std::unique_ptr<TextRecognizer> recognizer;
    for (;;) {
        const Wake wake
            = waitForWork(recognizer ? std::optional(m_keepRecognizerFor) : std::nullopt);
        if (wake == Wake::stop)
            return;
        if (wake == Wake::quiet) {
            recognizer.reset();
            returnFreedMemory();
            continue;
        }
        try {
            readUnreadImages(recognizer);
        } catch (const std::exception &error) {
            // A store that cannot be read now (locked, its disk full) is tried again at the
            // next recorded image.
            qCWarning(lcRecognition) << "Could not read text in images for now:" << error.what();
        }
    }
}

void ImageTextReader::readUnreadImages(std::unique_ptr<TextRecognizer> &recognizer)
{
    while (!m_stop) {
        const std::vector<ClipStore::UnreadImage> images = m_store.unreadImages(imagesPerBatch);
        if (images.empty())
            return;
        if (!recognizer) {
            runAtIdlePriority([&] { recognizer = m_makeRecognizer(); });
            if (!recognizer)
                return;
        }
        for (const ClipStore::UnreadImage &image : images) {
            if (m_stop)
                return;
            RecognizedText result;
            runAtIdlePriority([&] { result = recognizer->recognize(image.blobPath, m_stop); });
            if (result.outcome == RecognizedText::Outcome::cancelled)
                return;
            // A damaged image is kept as read with no words, so that it is not tried at every
            // start. An item deleted meanwhile (pruned, cleared) took its file with it, which
            // is not worth a warning.
            if (!m_store.setRecognizedText(image.id, result.text))
                continue;
            if (result.outcome == RecognizedText::Outcome::unreadable) {
                qCWarning(lcRecognition).noquote() << "Could not read the text in image item"
                                                   << image.id << "since" << result.reason;
            }
            if (!result.text.isEmpty())
                Q_EMIT textRecognized(image.id);
        }
    }
}

} // namespace corvane
