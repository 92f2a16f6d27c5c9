#include "paneltestsupport.h"

#include <QDateTime>

#include <algorithm>

namespace corvane::test {

void ManualScheduler::runAfter(
    std::chrono::milliseconds delay, QObject *context, std::function<void()> task)
{
    m_tasks.push_back({ m_now + delay, m_sequence++, context, std::move(task) });
}

void ManualScheduler::advance(std::chrono::milliseconds by)
{
    const std::chrono::milliseconds end = m_now + by;
    for (;;) {
        const auto next
            = std::min_element(m_tasks.begin(), m_tasks.end(), [](const Task &a, const Task &b) {
                  return a.due < b.due || (a.due == b.due && a.sequence < b.sequence);
              });
        if (next == m_tasks.end() || next->due > end)
            break;
        Task task = std::move(*next);
        m_tasks.erase(next);
        m_now = task.due;
        // Like a timer with a context object: nothing runs once the owner is gone.
        if (task.context)
            task.task();
    }
    m_now = end;
}

void PanelTest::SetUp()
{
    TemporaryFolderTest::SetUp();
    store = std::make_unique<ClipStore>(path(QStringLiteral("Corvane")));
    preferences = std::make_unique<Preferences>(path(QStringLiteral("Corvane.conf")));
    paster = std::make_unique<Paster>(
        *store, pasteboard, keystrokes, scheduler, [this] { return trusted; });
    model = std::make_unique<HistoryModel>(*store, *preferences, *paster, scheduler, input);
}

void PanelTest::TearDown()
{
    model.reset();
    paster.reset();
}

ClipItem PanelTest::addItem(ClipCandidate candidate, int second)
{
    candidate.capturedAt = fromMillis(1'700'000'000'000 + second * 1000LL);
    const std::optional<ClipItem> item = store->record(candidate, 0, 0, ClipStore::payloadCapBytes);
    EXPECT_TRUE(item.has_value());
    return item.value_or(ClipItem {});
}

ClipItem PanelTest::addText(const QString &text, int second)
{
    ClipCandidate candidate;
    candidate.kind = ClipKind::text;
    candidate.text = text.toUtf8();
    candidate.title = text;
    candidate.byteCount = candidate.text->size();
    candidate.sourceBundleID = QStringLiteral("org.example.Editor");
    candidate.sourceAppName = QStringLiteral("Editor");
    return addItem(candidate, second);
}

std::int64_t PanelTest::addPinboard(const QString &name)
{
    return store->createPinboard(name).id;
}

std::vector<std::int64_t> PanelTest::itemIDs() const
{
    std::vector<std::int64_t> ids;
    for (const ClipItem &item : model->items())
        ids.push_back(item.id);
    return ids;
}

QStringList PanelTest::clipboardTypes() const
{
    QStringList types;
    for (const auto &[type, bytes] : pasteboard.contents())
        types << type;
    return types;
}

QByteArray PanelTest::clipboardData(const QString &type) const
{
    for (const auto &[offered, bytes] : pasteboard.contents()) {
        if (offered == type)
            return bytes;
    }
    return {};
}

} // namespace corvane::test
