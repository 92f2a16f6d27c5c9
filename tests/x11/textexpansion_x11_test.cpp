#include "eventloopwait.h"
#include "expansion/textexpander.h"
#include "expansionharness.h"
#include "platform/x11/synthetickeyledger.h"
#include "platform/x11/x11activationnotifier.h"
#include "platform/x11/x11keystrokesynthesizer.h"
#include "platform/x11/x11keystroketap.h"

#include <QScopeGuard>

#include <gtest/gtest.h>

#include <X11/keysym.h>

namespace corvane {
namespace {

using namespace std::chrono_literals;

const QString signature = QStringLiteral("Best regards,\nAnn");

// The expander as the application runs it, fed by the real tap, typing with XTest into the
// helper's text field, while xdotool types as the user would.
class TextExpansionOnX11 : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_FALSE(qEnvironmentVariableIsEmpty("DISPLAY")) << "these tests need an X server";
        ASSERT_TRUE(isX11KeyboardAccessAvailable());
        ASSERT_TRUE(m_target.start()) << "the helper window never got the focus";
        m_activations = createX11ActivationNotifier();
        auto ledger = std::make_shared<SyntheticKeyLedger>();
        m_expander = std::make_unique<TextExpander>(
            createX11KeystrokeTap(ledger), createX11KeystrokeSynthesizer(ledger), *m_activations);
        m_expander->triggers = [this] {
            ++m_reports;
            return m_triggers;
        };
        m_expander->isFrontmostAppIgnored = [this] {
            if (m_ignored)
                ++m_reports;
            return m_ignored;
        };
        m_expander->start(QStringLiteral("::"));
    }

    void TearDown() override
    {
        if (m_expander)
            m_expander->stop();
    }

    // Types the keys with xdotool and waits until the tap has reported all of them.
    void type(const QString &keys)
    {
        ASSERT_TRUE(test::xdotool(QStringLiteral("type --delay 15").split(u' ') << keys));
        expectReports(keys.toUcs4().size());
    }

    // Waits until the tap has made count more reports than at the last wait. The presses of
    // an expansion never come back through it.
    void expectReports(qsizetype count)
    {
        m_expectedReports += int(count);
        ASSERT_TRUE(test::spinUntil([&] { return m_reports >= m_expectedReports; }, 10s))
            << "the tap reported " << m_reports << " of " << m_expectedReports << " keys";
    }

    void expectField(const QString &expected)
    {
        EXPECT_TRUE(m_target.waitForText(expected))
            << "the field holds \"" << m_target.text().toStdString() << "\" instead of \""
            << expected.toStdString() << "\"";
    }

    test::ExpansionTarget m_target;
    std::unique_ptr<ActivationNotifier> m_activations;
    std::unique_ptr<TextExpander> m_expander;
    ExpansionMatcher::TriggerTable m_triggers {
        { QStringLiteral("sig"), signature },
        { QStringLiteral("to"), QStringLiteral("Toulouse") },
        { QStringLiteral("tos"), QStringLiteral("Terms of service") },
        { QStringLiteral("uni"), QStringLiteral("caf\u00e9 \u4f60\u597d \U0001F300!") },
    };
    bool m_ignored = false;
    int m_reports = 0;
    int m_expectedReports = 0;
};

TEST_F(TextExpansionOnX11, ReplacesTypedTriggersInTheFocusedField)
{
    const struct
    {
        QString typed;
        QString expected;
    } cases[] = {
        // Expanded the moment the trigger is complete, line break included.
        { QStringLiteral("Hello ::sig"), QStringLiteral("Hello ") + signature },
        // "to" begins "tos": it waits for the word break, which is typed again.
        { QStringLiteral("in ::to "), QStringLiteral("in Toulouse ") },
        { QStringLiteral("::tos"), QStringLiteral("Terms of service") },
        // Characters no US key types: an accented letter, CJK and an emoji.
        { QStringLiteral("::uni"), m_triggers.value(QStringLiteral("uni")) },
        { QStringLiteral("note:sig 10:30 "), QStringLiteral("note:sig 10:30 ") },
    };
    for (const auto &test : cases) {
        SCOPED_TRACE(test.typed.toStdString());
        ASSERT_TRUE(m_target.clear());
        m_expander->matcher().clearBuffer();
        type(test.typed);
        expectField(test.expected);
    }
}

TEST_F(TextExpansionOnX11, NeverExpandsWhatItTypedItself)
{
    m_triggers.insert(QStringLiteral("loop"), QStringLiteral("::loop"));
    type(QStringLiteral("::loop"));
    expectField(QStringLiteral("::loop"));
    type(QStringLiteral(" x"));
    expectField(QStringLiteral("::loop x"));
    EXPECT_EQ(m_expander->matcher().buffer(), QStringLiteral("x"));
}

TEST_F(TextExpansionOnX11, LeavesTriggersAloneInIgnoredApplicationsAndAcrossWindowSwitches)
{
    m_ignored = true;
    type(QStringLiteral("::sig"));
    m_ignored = false;
    // The next trigger shows the first one was left as typed, and that nothing stuck.
    type(QStringLiteral(" ::sig"));
    expectField(QStringLiteral("::sig ") + signature);

    ASSERT_TRUE(m_target.clear());
    m_expander->matcher().clearBuffer();
    type(QStringLiteral("::"));
    ASSERT_EQ(m_expander->matcher().buffer(), QStringLiteral("::"));
    ASSERT_TRUE(test::announceActiveWindow(m_target.otherWindow()));
    ASSERT_TRUE(test::spinUntil([this] { return m_expander->matcher().buffer().isEmpty(); }, 10s))
        << "the activation never reached the expander";
    ASSERT_TRUE(test::announceActiveWindow(m_target.window()));
    type(QStringLiteral("sig ::sig"));
    expectField(QStringLiteral("::sig ") + signature);
}

TEST_F(TextExpansionOnX11, ReadsKeysQueuedBehindAKeymapChangeInTheStateTheyWerePressedIn)
{
    // Shift goes down, another client changes the keymap, a colon is typed and Shift goes up,
    // all before the tap reads any of it: the server's state by the time the tap reads the
    // changed keymap is no longer the one the colon was typed in.
    const auto releaseShift = qScopeGuard([] {
        test::xdotool({ QStringLiteral("keyup"), QStringLiteral("shift") });
    });
    const auto xdotoolHoldingEvents = [](const char *command) {
        return test::runProgramHoldingEvents(
            QStringLiteral("xdotool"), QString::fromLatin1(command).split(u' '));
    };
    m_expander->matcher().clearBuffer();
    ASSERT_TRUE(xdotoolHoldingEvents("keydown shift"));
    const test::SpareKeyBinding binding(XK_F20);
    ASSERT_TRUE(binding.isBound());
    ASSERT_TRUE(xdotoolHoldingEvents("key semicolon keyup shift"));
    expectReports(1);
    EXPECT_EQ(m_expander->matcher().buffer(), QStringLiteral(":"));
}

TEST_F(TextExpansionOnX11, FollowsASwitchToAGermanLayout)
{
    // setxkbmap changes the layout of the whole server; the lock of these tests keeps the
    // other typing tests away meanwhile, and the US layout comes back in any case.
    const auto setLayout = [](const char *layout) {
        return test::runProgram(
            QStringLiteral("setxkbmap"), { QStringLiteral("-layout"), QLatin1String(layout) });
    };
    const auto restoreLayout = qScopeGuard([&] { setLayout("us"); });
    ASSERT_TRUE(setLayout("de"));
    m_triggers = { { QStringLiteral("zy"), QStringLiteral("Gr\u00fc\u00dfe aus Z\u00fcrich") } };
    m_expander->matcher().clearBuffer();

    // xdotool presses the keys that type these on a German keyboard, where Y and Z swap.
    type(QStringLiteral("::zy"));
    expectField(QStringLiteral("Gr\u00fc\u00dfe aus Z\u00fcrich"));
}

} // namespace
} // namespace corvane
