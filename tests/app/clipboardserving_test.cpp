// X clients asking the running application for the clipboard it keeps cannot block it: a
// requestor that stops reading an incremental transfer is dropped after a timeout, and many
// of them at once cost a bounded amount of memory.

#include "applicationtest.h"

#include <QProcess>
#include <QRandomGenerator>

#include <gtest/gtest.h>

namespace corvane {
namespace {

using namespace std::chrono_literals;
using test::residentKilobytes;
using test::spinUntil;

// Noise does not compress: a PNG of about 20 MB, more than one X request carries.
QByteArray noisePng()
{
    QImage image(2600, 2600, QImage::Format_RGB32);
    QRandomGenerator random(7);
    for (int y = 0; y < image.height(); ++y) {
        auto *line = reinterpret_cast<quint32 *>(image.scanLine(y));
        random.fillRange(line, image.width());
    }
    return test::encoded(image);
}

class StalledRequestors
{
public:
    explicit StalledRequestors(int count)
    {
        m_process.start(QStringLiteral(STALLED_REQUESTOR_PATH),
            { QString::number(count), pasteboardtype::png() });
    }
    ~StalledRequestors()
    {
        m_process.closeWriteChannel();
        if (!m_process.waitForFinished(10000)) {
            m_process.kill();
            m_process.waitForFinished(10000);
        }
    }
    // The next line it prints (empty after 30 s without one).
    QByteArray line()
    {
        spinUntil([&] { return m_process.canReadLine(); }, 30s);
        return m_process.readLine().trimmed();
    }
    QByteArray take()
    {
        m_process.write("take\n");
        return line();
    }

private:
    QProcess m_process;
};

class ClipboardServingTest : public test::ApplicationTest
{ };

TEST_F(ClipboardServingTest, RequestorsThatStopReadingAreDroppedAndCostBoundedMemory)
{
    // AddressSanitizer keeps freed memory aside (up to 256 MB) to catch late uses; resident
    // memory would count it, so the application runs without that quarantine here and its
    // growth is what it really holds.
    QString sanitizerOptions = qEnvironmentVariable("ASAN_OPTIONS");
    if (!sanitizerOptions.isEmpty())
        sanitizerOptions += QLatin1Char(':');
    m_extraEnvironment[QStringLiteral("ASAN_OPTIONS")]
        = sanitizerOptions + QStringLiteral("quarantine_size_mb=0");
    QProcess &instance = startInstance();
    const QByteArray image = noisePng();
    ASSERT_GT(image.size(), 17 << 20);
    const QString source = test::writeFile(scratchPath(QStringLiteral("noise.png")), image);
    {
        test::ClipboardOwnerProcess owner(
            { pasteboardtype::png() + QStringLiteral("=@") + source });
        ASSERT_TRUE(owner.waitUntilReady());
        ASSERT_TRUE(owner.ownAndWait());
        ASSERT_TRUE(spinUntil(
            [&] { return store().items(ClipStore::Filter { .limit = 1 }).size() == 1; }, 20s));
        owner.exit();
    }
    // Kept by the application once its owner is gone.
    QByteArray pasted;
    spinUntil(
        [&] { return (pasted = test::readClipboardWithXclip(pasteboardtype::png())) == image; },
        20s);
    ASSERT_EQ(pasted.size(), image.size());
    const qint64 residentBefore = residentKilobytes(instance.processId());

    // A requestor that takes its chunks promptly is served to the end.
    {
        StalledRequestors prompt(1);
        ASSERT_EQ(prompt.line(), "incr 1");
        EXPECT_EQ(prompt.take(), "continued 1");
    }
    // Fifty that stop reading: the clipboard is still served to others meanwhile, memory
    // stays bounded, and once the transfers time out none of them is sent another chunk.
    StalledRequestors stalled(50);
    ASSERT_EQ(stalled.line(), "incr 50");
    EXPECT_EQ(test::readClipboardWithXclip(pasteboardtype::png()), image);
    const qint64 growth = residentKilobytes(instance.processId()) - residentBefore;
    // Fifty copies of the kept bytes would be a gigabyte; the bound is half of that. The
    // sanitizer build has been measured at 120 to 300 MB here, more than the bytes shared
    // once would explain, which is still to be traced.
    EXPECT_LT(growth, 25 * image.size() / 1024) << growth << " kB more for fifty stalled transfers";
    spinUntil([] { return false; }, 8s);
    EXPECT_EQ(stalled.take(), "continued 0");
    EXPECT_EQ(test::readClipboardWithXclip(pasteboardtype::png()), image);
    EXPECT_EQ(instance.state(), QProcess::Running);
}

} // namespace
} // namespace corvane
