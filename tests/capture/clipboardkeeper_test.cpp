#include "capture/clipboardkeeper.h"
#include "capture/clipboardwatcher.h"
#include "eventloopwait.h"
#include "platform/clipboardownership.h"
#include "platform/fake/fakepasteboard.h"
#include "platform/fake/fakeworkspace.h"
#include "platform/pasteboardtypes.h"
#include "preferences/preferences.h"
#include "store/clipstore.h"
#include "testsupport.h"

#include <QCoreApplication>

#include <gtest/gtest.h>
#include <memory>

namespace corvane {
namespace {

using namespace std::chrono_literals;
using test::spinFor;
namespace type = pasteboardtype;

// Numbers each copy of the fake pasteboard as the X server's owner changes would.
class FakeOwnership : public ClipboardOwnership
{
public:
    std::uint64_t currentCopy() override { return copy; }
    bool claimManager() override { return isManager_ = !otherManager; }
    void releaseManager() override { isManager_ = false; }
    bool isManager() const override { return isManager_; }
    void answerSave(std::uint64_t request, bool saved) override
    {
        answers.push_back({ request, saved });
    }
    void vanish() { Q_EMIT ownerVanished(copy); }
    void requestSave(std::uint64_t request) { Q_EMIT saveRequested(request, copy); }

    std::uint64_t copy = 0;
    bool otherManager = false;
    bool isManager_ = false;
    std::vector<std::pair<std::uint64_t, bool>> answers;
};

class ClipboardKeeperTest : public test::TemporaryFolderTest
{
protected:
    void SetUp() override
    {
        TemporaryFolderTest::SetUp();
        m_store = std::make_unique<ClipStore>(path(QStringLiteral("Corvane")));
        m_preferences = std::make_unique<Preferences>(path(QStringLiteral("Corvane.conf")));
        m_watcher = std::make_unique<ClipboardWatcher>(
            *m_store, *m_preferences, m_pasteboard, m_workspace);
        m_keeper = std::make_unique<ClipboardKeeper>(
            *m_watcher, m_pasteboard, m_ownership, *m_preferences, [this](const ClipItem &item) {
                m_pasteboard.clearContents();
                m_pasteboard.setString(*item.text);
                return true;
            });
        QObject::connect(m_watcher.get(), &ClipboardWatcher::recorded, m_keeper.get(),
            &ClipboardKeeper::noteRecorded);
        m_watcher->start(10s);
        m_keeper->start();
    }

    // Another application copies (a new owner), and the watcher looks at it.
    void copy(const FakePasteboard::Contents &contents)
    {
        ++m_ownership.copy;
        m_pasteboard.copyFromOtherProcess(contents);
        settle();
    }
    void copyText(const char *text) { copy({ { type::plainText(), QByteArray(text) } }); }
    void ownerExits() { m_pasteboard.ownerExited(); }
    void settle() { spinFor(20ms); }

    QByteArray clipboardText() const
    {
        for (const auto &[type, bytes] : m_pasteboard.contents()) {
            if (type == type::plainText())
                return bytes;
        }
        return {};
    }
    std::size_t rows() const { return m_store->items(ClipStore::Filter { .limit = 100 }).size(); }

    FakePasteboard m_pasteboard;
    FakeWorkspace m_workspace;
    FakeOwnership m_ownership;
    std::unique_ptr<ClipStore> m_store;
    std::unique_ptr<Preferences> m_preferences;
    std::unique_ptr<ClipboardWatcher> m_watcher;
    std::unique_ptr<ClipboardKeeper> m_keeper;
};

TEST_F(ClipboardKeeperTest, AVanishedCopyComesBackOnceWhicheverConnectionHearsOfTheExitFirst)
{
    // The owner may even exit before the copy is recorded: the read got its contents.
    enum class Order { pasteboardFirst, vanishFirst, pasteboardNever, beforeTheRecording };
    for (const Order order : { Order::pasteboardFirst, Order::vanishFirst, Order::pasteboardNever,
             Order::beforeTheRecording }) {
        SCOPED_TRACE(int(order));
        const std::size_t before = rows();
        const QByteArray text = "kept after the exit, order " + QByteArray::number(int(order));
        if (order == Order::beforeTheRecording) {
            ++m_ownership.copy;
            m_pasteboard.copyFromOtherProcess({ { type::plainText(), text } });
            m_ownership.vanish();
            settle();
            m_pasteboard.ownerExited();
            settle();
        } else {
            copy({ { type::plainText(), text } });
            ASSERT_EQ(rows(), before + 1);
        }
        if (order == Order::pasteboardFirst) {
            m_pasteboard.ownerExited();
            settle();
        }
        if (order != Order::beforeTheRecording)
            m_ownership.vanish();
        settle();
        if (order == Order::vanishFirst)
            m_pasteboard.ownerExited();
        if (order == Order::pasteboardNever)
            spinFor(ClipboardKeeper::vanishSettleTimeout + 100ms);
        settle();
        EXPECT_EQ(clipboardText(), text);
        EXPECT_EQ(rows(), before + 1);
        m_pasteboard.clearContents();
    }
}

TEST_F(ClipboardKeeperTest, NothingIsKeptThatWasNotRecordedOrWhileTheSettingIsOff)
{
    copyText("recorded earlier");
    copy({ { type::passwordManagerHint(), "secret" }, { type::plainText(), "hunter2" } });
    ownerExits();
    m_ownership.vanish();
    settle();
    EXPECT_EQ(clipboardText(), QByteArray());

    m_preferences->setKeepsClipboardAlive(false);
    EXPECT_FALSE(m_ownership.isManager());
    copyText("not kept");
    ownerExits();
    m_ownership.vanish();
    settle();
    EXPECT_EQ(clipboardText(), QByteArray());
    m_preferences->setKeepsClipboardAlive(true);
    EXPECT_TRUE(m_ownership.isManager());
}

TEST_F(ClipboardKeeperTest, SaveRequestsAreAnsweredOnceTheCopyIsRecordedOrRefused)
{
    copyText("recorded before the request");
    m_ownership.requestSave(1);
    settle();

    // Not looked at yet: the request makes the watcher look.
    ++m_ownership.copy;
    m_pasteboard.copyFromOtherProcess({ { type::plainText(), "copied just before exiting" } });
    m_ownership.requestSave(2);
    settle();
    EXPECT_EQ(clipboardText(), "copied just before exiting");

    copy({ { type::concealed(), "" }, { type::plainText(), "concealed" } });
    m_ownership.requestSave(3);
    settle();

    const std::vector<std::pair<std::uint64_t, bool>> expected { { 1, true }, { 2, true },
        { 3, false } };
    EXPECT_EQ(m_ownership.answers, expected);
    EXPECT_EQ(rows(), 2u);
}

} // namespace
} // namespace corvane
