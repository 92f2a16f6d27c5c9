#pragma once

#include "preferences/preferences.h"
#include "panel/delayscheduler.h"
#include "panel/historymodel.h"
#include "panel/paster.h"
#include "platform/fake/fakeinputdevicestate.h"
#include "platform/fake/fakekeystrokeposter.h"
#include "platform/fake/fakepasteboard.h"
#include "platform/inputdevicestate.h"
#include "platform/pastekeystrokeposter.h"
#include "store/clipstore.h"
#include "testsupport.h"

#include <QPointer>

#include <chrono>
#include <memory>
#include <vector>

namespace corvane::test {

// A clock the test moves by hand: work runs only inside advance, in the order it falls due.
class ManualScheduler : public DelayScheduler
{
public:
    void runAfter(
        std::chrono::milliseconds delay, QObject *context, std::function<void()> task) override;
    // Moves the clock forward, running everything that falls due on the way.
    void advance(std::chrono::milliseconds by);
    std::chrono::milliseconds now() const { return m_now; }
    std::size_t pending() const { return m_tasks.size(); }

private:
    struct Task
    {
        std::chrono::milliseconds due;
        std::uint64_t sequence;
        QPointer<QObject> context;
        std::function<void()> task;
    };
    std::chrono::milliseconds m_now { 0 };
    std::uint64_t m_sequence = 0;
    std::vector<Task> m_tasks;
};

// A store and preferences in a temporary folder, the fake clipboard and keystrokes, a paster
// and the history model over them.
class PanelTest : public TemporaryFolderTest
{
protected:
    void SetUp() override;
    void TearDown() override;

    // Records a text item captured `second` seconds after a fixed time (later = higher).
    ClipItem addText(const QString &text, int second);
    ClipItem addItem(ClipCandidate candidate, int second);
    std::int64_t addPinboard(const QString &name);
    // The ids of the model's items in order.
    std::vector<std::int64_t> itemIDs() const;
    // The types on the fake clipboard, in order, and the bytes of one of them.
    QStringList clipboardTypes() const;
    QByteArray clipboardData(const QString &type) const;

    std::unique_ptr<ClipStore> store;
    std::unique_ptr<Preferences> preferences;
    FakePasteboard pasteboard;
    FakeKeystrokePoster keystrokes;
    ManualScheduler scheduler;
    FakeInputState input;
    bool trusted = true;
    std::unique_ptr<Paster> paster;
    std::unique_ptr<HistoryModel> model;
};

} // namespace corvane::test
