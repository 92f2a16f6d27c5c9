#include "store/itemtitle.h"

#include <gtest/gtest.h>

namespace corvane {
namespace {

TEST(ItemTitle, FirstLineIsTheTitleAndTheRestTheSubtitle)
{
    const QString longTail = QString(QStringLiteral("é")).repeated(450);
    const QString longLine = QString(QStringLiteral("x")).repeated(100);
    const struct
    {
        const char *name;
        QString text;
        FirstLine firstLine;
        ItemTitle expected;
    } cases[] = {
        { "one line", QStringLiteral("Hello"), FirstLine::trimmed,
            { QStringLiteral("Hello"), {} } },
        { "spaces and tabs trimmed, line breaks kept in the subtitle",
            QStringLiteral(" \tHello there \t\n  second\n\nthird\n\n"), FirstLine::trimmed,
            { QStringLiteral("Hello there"), QStringLiteral("second\n\nthird") } },
        { "spaces kept as written", QStringLiteral("  note  "), FirstLine::asWritten,
            { QStringLiteral("  note  "), {} } },
        { "blank first line gives the text's first 80 characters", QStringLiteral("\n\nBody"),
            FirstLine::trimmed, { QStringLiteral("\n\nBody"), QStringLiteral("Body") } },
        { "spaces only count as blank once trimmed", QStringLiteral("  \nBody"), FirstLine::trimmed,
            { QStringLiteral("  \nBody"), QStringLiteral("Body") } },
        { "untitled text cut to 80 characters", QStringLiteral("\n") + longLine,
            FirstLine::asWritten, { QString(QStringLiteral("\n") + longLine).left(80), longLine } },
        { "a long first line is kept whole", longLine, FirstLine::trimmed, { longLine, {} } },
        { "CRLF does not split", QStringLiteral("first\r\nsecond"), FirstLine::trimmed,
            { QStringLiteral("first\r\nsecond"), {} } },
        { "line feed after CRLF splits", QStringLiteral("a\r\nb\nc"), FirstLine::trimmed,
            { QStringLiteral("a\r\nb"), QStringLiteral("c") } },
        { "the rest keeps its own line breaks and is trimmed as a whole",
            QStringLiteral("t\n \r\nx\r\ny\nz\n\n"), FirstLine::trimmed,
            { QStringLiteral("t"), QStringLiteral("x\r\ny\nz") } },
        { "subtitle cut to 400 characters", QStringLiteral("head\n") + longTail, FirstLine::trimmed,
            { QStringLiteral("head"), longTail.left(400) } },
    };
    for (const auto &c : cases)
        EXPECT_EQ(titleOfText(c.text, c.firstLine), c.expected) << c.name;
}

} // namespace
} // namespace corvane
