#include "expansion/textexpander.h"
#include "logcapture.h"
#include "platform/fake/fakeactivationnotifier.h"
#include "platform/fake/fakekeystrokesynthesizer.h"
#include "platform/fake/fakekeystroketap.h"

#include <gtest/gtest.h>

namespace corvane {
namespace {

const QString deletePress = QStringLiteral("<Delete>");

QStringList deletes(int count)
{
    return QStringList(count, deletePress);
}

class TextExpanderTest : public ::testing::Test
{
protected:
    TextExpanderTest()
    {
        auto tap = std::make_unique<FakeKeystrokeTap>();
        auto synthesizer = std::make_unique<FakeKeystrokeSynthesizer>();
        m_tap = tap.get();
        m_synthesizer = synthesizer.get();
        m_expander
            = std::make_unique<TextExpander>(std::move(tap), std::move(synthesizer), m_activations);
        m_expander->triggers = [this] {
            ++m_triggerRequests;
            return m_triggers;
        };
        m_expander->isFrontmostAppIgnored = [this] { return m_ignored; };
    }

    FakeActivationNotifier m_activations;
    FakeKeystrokeTap *m_tap;
    FakeKeystrokeSynthesizer *m_synthesizer;
    std::unique_ptr<TextExpander> m_expander;
    ExpansionMatcher::TriggerTable m_triggers { { QStringLiteral("sig"),
        QStringLiteral("Best,\nAnn") } };
    bool m_ignored = false;
    int m_triggerRequests = 0;
};

TEST_F(TextExpanderTest, ErasesPrefixAndTriggerThenTypesTheReplacementAndLogsTheTriggerLength)
{
    test::LogCapture log("com.ferrowen.corvane.expansion");
    m_expander->start(QStringLiteral("::"));
    m_tap->type(QStringLiteral("x ::sig"));

    EXPECT_EQ(m_synthesizer->presses, deletes(5) << QStringLiteral("Best,\nAnn"));
    EXPECT_EQ(m_synthesizer->bursts, 1);
    EXPECT_TRUE(m_expander->matcher().buffer().isEmpty());
    EXPECT_FALSE(m_expander->isExpanding());
    EXPECT_EQ(m_triggerRequests, 7);
    EXPECT_EQ(log.messages(), QStringList { QStringLiteral("Expanded a trigger of 3 characters") });

    // A trigger another extends waits for the word break, which is typed again.
    m_triggers.insert(QStringLiteral("sigs"), QStringLiteral("Many"));
    m_synthesizer->presses.clear();
    m_tap->type(QStringLiteral("::sig"));
    EXPECT_TRUE(m_synthesizer->presses.isEmpty());
    m_tap->type(QStringLiteral(" "));
    EXPECT_EQ(m_synthesizer->presses, deletes(6) << QStringLiteral("Best,\nAnn "));
}

TEST_F(TextExpanderTest, TypesTheReplacementInPressesOfAtMostSixteenUnitsWithoutSplittingCharacters)
{
    const QString emoji = QStringLiteral("\U0001F300");
    const struct
    {
        QString replacement;
        QStringList chunks;
    } cases[] = {
        { QString(40, u'x'), { QString(16, u'x'), QString(16, u'x'), QString(8, u'x') } },
        { QString(15, u'a') + emoji + u'b', { QString(15, u'a'), emoji + u'b' } },
        { QString(15, u'a') + QStringLiteral("\r\nb"),
            { QString(15, u'a'), QStringLiteral("\r\nb") } },
        { QString(), {} },
    };
    m_expander->start(QStringLiteral("::"));
    for (const auto &test : cases) {
        m_triggers = { { QStringLiteral("t"), test.replacement } };
        m_synthesizer->presses.clear();
        m_tap->type(QStringLiteral("::t"));
        EXPECT_EQ(m_synthesizer->presses, deletes(3) + test.chunks)
            << test.replacement.toStdString();
    }
}

TEST_F(TextExpanderTest, IgnoredApplicationsActivationsAndNoWayToTypeForgetWhatWasTyped)
{
    m_expander->start(QStringLiteral("::"));
    m_ignored = true;
    m_tap->type(QStringLiteral("::si"));
    EXPECT_TRUE(m_expander->matcher().buffer().isEmpty());
    m_ignored = false;
    m_tap->type(QStringLiteral("g"));
    EXPECT_TRUE(m_synthesizer->presses.isEmpty());

    m_tap->type(QStringLiteral("::s"));
    m_activations.activate();
    m_tap->type(QStringLiteral("ig"));
    EXPECT_TRUE(m_synthesizer->presses.isEmpty());

    // Without a way to type, nothing is posted or logged and the buffer is emptied.
    test::LogCapture log("com.ferrowen.corvane.expansion");
    m_synthesizer->available = false;
    m_tap->type(QStringLiteral("::sig"));
    EXPECT_TRUE(m_synthesizer->presses.isEmpty());
    EXPECT_TRUE(m_expander->matcher().buffer().isEmpty());
    EXPECT_TRUE(log.messages().isEmpty());
}

TEST_F(TextExpanderTest, IgnoresKeyReportsWhileExpanding)
{
    m_expander->start(QStringLiteral("::"));
    bool wasExpanding = false;
    m_synthesizer->onDeletePress = [this, &wasExpanding] {
        wasExpanding = m_expander->isExpanding();
        m_tap->type(QStringLiteral("::sig"));
    };
    m_tap->type(QStringLiteral("::sig"));
    EXPECT_TRUE(wasExpanding);
    EXPECT_EQ(m_synthesizer->bursts, 1);
    EXPECT_EQ(m_synthesizer->presses, deletes(5) << QStringLiteral("Best,\nAnn"));
}

TEST_F(TextExpanderTest, StartAndStopManageTheTapTheObserverAndTheBuffer)
{
    m_expander->start(QStringLiteral(";;"));
    m_expander->start(QStringLiteral("::"));
    EXPECT_TRUE(m_expander->isRunning());
    EXPECT_EQ(m_activations.observerCount(), 1);
    EXPECT_EQ(m_expander->matcher().prefix(), QStringLiteral("::"));
    m_tap->type(QStringLiteral("::si"));

    m_expander->stop();
    m_expander->stop();
    EXPECT_FALSE(m_expander->isRunning());
    EXPECT_EQ(m_activations.observerCount(), 0);
    EXPECT_TRUE(m_expander->matcher().buffer().isEmpty());

    m_expander->start(QStringLiteral("::"));
    m_tap->type(QStringLiteral("g"));
    EXPECT_TRUE(m_synthesizer->presses.isEmpty());
    m_expander->stop();

    m_tap->trusted = false;
    EXPECT_THROW(m_expander->start(QStringLiteral(";;")), KeystrokeTap::StartFailure);
    EXPECT_FALSE(m_expander->isRunning());
    EXPECT_EQ(m_activations.observerCount(), 0);
    EXPECT_EQ(m_expander->matcher().prefix(), QStringLiteral(";;"));
}

} // namespace
} // namespace corvane
