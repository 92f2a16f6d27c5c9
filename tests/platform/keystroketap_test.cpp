#include "logcapture.h"
#include "platform/fake/fakekeystroketap.h"

#include <gtest/gtest.h>

namespace corvane {
namespace {

struct Report
{
    QString characters;
    std::uint16_t keyCode;
    std::uint64_t flags;
    bool operator==(const Report &) const = default;
};

class KeystrokeTapTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_tap.onKey
            = [this](const QString &characters, std::uint16_t keyCode, std::uint64_t flags) {
                  m_reports.push_back({ characters, keyCode, flags });
              };
    }

    FakeKeystrokeTap m_tap;
    std::vector<Report> m_reports;
};

TEST_F(KeystrokeTapTest, StartFailsAndReportsNothingWithoutTrustOrWhenRefused)
{
    for (const auto &[trusted, refused, reason] :
        { std::tuple(false, false, KeystrokeTap::StartFailure::Reason::notTrusted),
            std::tuple(true, true, KeystrokeTap::StartFailure::Reason::tapRefused) }) {
        m_tap.trusted = trusted;
        m_tap.refusesTap = refused;
        try {
            m_tap.start();
            ADD_FAILURE() << "start succeeded";
        } catch (const KeystrokeTap::StartFailure &failure) {
            EXPECT_EQ(failure.reason(), reason);
        }
        EXPECT_FALSE(m_tap.isRunning());
        m_tap.press(QStringLiteral("a"));
    }
    EXPECT_TRUE(m_reports.empty());
}

TEST_F(KeystrokeTapTest, StartsOnceAndStopsOnceWhateverTheNumberOfCalls)
{
    test::LogCapture log("com.ferrowen.corvane.keystrokes");
    m_tap.start();
    m_tap.start();
    EXPECT_TRUE(m_tap.isRunning());
    m_tap.press(QStringLiteral("a"), 0, KeystrokeTap::shiftFlag);
    m_tap.stop();
    m_tap.stop();
    EXPECT_FALSE(m_tap.isRunning());
    m_tap.press(QStringLiteral("b"));
    m_tap.start();
    m_tap.press(QStringLiteral("c"));

    EXPECT_EQ(m_reports,
        (std::vector<Report> {
            { QStringLiteral("a"), 0, KeystrokeTap::shiftFlag }, { QStringLiteral("c"), 0, 0 } }));
    EXPECT_EQ(log.messages(),
        (QStringList { QStringLiteral("Keystroke tap started"),
            QStringLiteral("Keystroke tap stopped"), QStringLiteral("Keystroke tap started") }));
}

TEST_F(KeystrokeTapTest, ReportsAtMostFourUnitsBlanksOutSecureInputAndNeedsAHandler)
{
    m_tap.start();
    m_tap.press(QStringLiteral("abcdef"), 4, 0);
    m_tap.secureInput = true;
    m_tap.press(QStringLiteral("x"), 7, KeystrokeTap::shiftFlag);
    EXPECT_EQ(
        m_reports, (std::vector<Report> { { QStringLiteral("abcd"), 4, 0 }, { QString(), 0, 0 } }));
    // Without a handler a press is dropped, not delivered to nothing.
    m_tap.onKey = nullptr;
    m_tap.press(QStringLiteral("a"));
    EXPECT_EQ(m_reports.size(), 2u);
}

} // namespace
} // namespace corvane
