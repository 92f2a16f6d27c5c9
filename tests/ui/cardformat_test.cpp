#include "ui/cardformat.h"

#include <QTimeZone>

#include <gtest/gtest.h>

namespace corvane {
namespace {

TEST(CardFormat, RelativeTime)
{
    const QDateTime now = QDateTime::fromSecsSinceEpoch(1'800'000'000, QTimeZone::utc());
    const struct
    {
        qint64 secondsAgo;
        const char *expected;
    } rows[] = {
        { 0, "just now" },
        { 59, "just now" },
        { 60, "1 minute ago" },
        { 125, "2 minutes ago" },
        { 3600, "1 hour ago" },
        { 86400 * 3, "3 days ago" },
        { 86400 * 14, "2 weeks ago" },
        { 86400 * 400, "1 year ago" },
        { -7200, "in 2 hours" },
    };
    for (const auto &row : rows)
        EXPECT_EQ(CardFormat::relativeTime(now.addSecs(-row.secondsAgo), now),
            QString::fromUtf8(row.expected))
            << row.secondsAgo;
}

TEST(CardFormat, HexadecimalColours)
{
    const struct
    {
        const char *text;
        std::optional<QColor> expected;
    } rows[] = {
        { "#3a7", QColor(0x33, 0xaa, 0x77) },
        { "3A7BD5", QColor(0x3a, 0x7b, 0xd5) },
        { "#11223380", QColor(0x11, 0x22, 0x33, 0x80) },
        { "#1234", std::nullopt },
        { "#12345", std::nullopt },
        { "##123456", std::nullopt },
        { "#12345g", std::nullopt },
        { "+1234567", std::nullopt },
        { "", std::nullopt },
    };
    for (const auto &row : rows)
        EXPECT_EQ(CardFormat::parseHexColor(QString::fromUtf8(row.text)), row.expected) << row.text;
}

TEST(CardFormat, PinboardHelpNamesTheShortcutOfTheFirstNine)
{
    EXPECT_EQ(
        CardFormat::pinboardHelp(QStringLiteral("Work"), 0), QStringLiteral("Work (Ctrl+Shift+1)"));
    EXPECT_EQ(
        CardFormat::pinboardHelp(QStringLiteral("Nine"), 8), QStringLiteral("Nine (Ctrl+Shift+9)"));
    EXPECT_EQ(CardFormat::pinboardHelp(QStringLiteral("Ten"), 9), QStringLiteral("Ten"));
}

TEST(CardFormat, LongTextsAreCutForDisplay)
{
    const QString line(1'000'000, QLatin1Char('x'));
    EXPECT_EQ(CardFormat::lead(line).size(), 400);
    EXPECT_EQ(CardFormat::lead(QStringLiteral("short")), QStringLiteral("short"));
    // A letter under 10,000 combining marks is one character, but not one to lay out whole.
    const QString piled = QStringLiteral("a") + QString(10'000, QChar(0x0301));
    EXPECT_EQ(CardFormat::lead(piled).size(), 400 * 8);
    EXPECT_TRUE(CardFormat::lead(piled).startsWith(QLatin1Char('a')));
}

} // namespace
} // namespace corvane
