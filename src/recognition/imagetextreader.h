#pragma once

#include "recognition/textrecognizer.h"

#include <QObject>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

namespace corvane {

class ClipStore;

// Reads the words in recorded images in the background, one image at a time, at idle
// priority, newest images first, and keeps them in the store. Images recorded while it
// was off or before it existed are read when it runs; recording and the panel never wait
// for it.
class ImageTextReader : public QObject
{
    Q_OBJECT

public:
    using RecognizerFactory = std::function<std::unique_ptr<TextRecognizer>()>;

    // The recognizer is made on the reading thread when there is something to read, since
    // loading its data takes a while, and let go once no image came for keepRecognizerFor:
    // its language data holds 15 to 25 MB, and making it again takes 120 to 150 ms of idle
    // time. Half a minute keeps it through a burst of screenshots, and does not hold 20 MB
    // for minutes after an image copied now and then.
    ImageTextReader(ClipStore &store, RecognizerFactory makeRecognizer,
        std::chrono::milliseconds keepRecognizerFor = std::chrono::seconds(30),
        QObject *parent = nullptr);
    ~ImageTextReader() override;

    // Starts or stops reading. Stopping waits for the image being read to be given up.
    void setRunning(bool running);
    bool isRunning() const { return m_thread.joinable(); }

    // An image was recorded: look for unread images now.
    void imagesRecorded();

Q_SIGNALS:
    // Words were kept for an item (emitted on the reading thread).
    void textRecognized(std::int64_t itemID);

private:
    void run();
    void readUnreadImages(std::unique_ptr<TextRecognizer> &recognizer);
    enum class Wake { work, quiet, stop };
    // Waits for images to read, for at most patience when it has a value.
    Wake waitForWork(std::optional<std::chrono::milliseconds> patience);

    ClipStore &m_store;
    RecognizerFactory m_makeRecognizer;
    std::chrono::milliseconds m_keepRecognizerFor;
    std::thread m_thread;
    std::atomic<bool> m_stop = false;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_workPending = false;
};

} // namespace corvane
