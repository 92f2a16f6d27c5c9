#include "common/graphemes.h"

#include <algorithm>
#include <gtest/gtest.h>

namespace corvane {
namespace {

struct GraphemeCase
{
    const char *name;
    QString text;
    qsizetype count;
    qsizetype take;
    QString prefix;
};

TEST(Graphemes, CountsAndCutsUserPerceivedCharacters)
{
    const QString family = QStringLiteral("👨‍👩‍👧");
    const QString flag = QStringLiteral("🇫🇷");
    const QString thumbsDark = QStringLiteral("👍🏿");
    const QString eAcute = QStringLiteral("e\u0301");
    const GraphemeCase cases[] = {
        { "empty", QString(), 0, 3, QString() },
        { "ascii", QStringLiteral("hello"), 5, 3, QStringLiteral("hel") },
        { "zero take", QStringLiteral("hello"), 5, 0, QString() },
        { "take beyond end", QStringLiteral("hi"), 2, 10, QStringLiteral("hi") },
        { "combining mark", eAcute + QStringLiteral("x"), 2, 1, eAcute },
        { "zwj family", family + QStringLiteral("a"), 2, 1, family },
        { "flag", flag + flag, 2, 1, flag },
        { "skin tone", thumbsDark + QStringLiteral("!"), 2, 1, thumbsDark },
        { "crlf is one", QStringLiteral("a\r\nb"), 3, 2, QStringLiteral("a\r\n") },
        { "cjk", QStringLiteral("日本語"), 3, 2, QStringLiteral("日本") },
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(graphemeCount(c.text), c.count);
        EXPECT_EQ(leftGraphemes(c.text, c.take), c.prefix);
        // Counting stops one past the limit.
        EXPECT_EQ(graphemeCountUpTo(c.text, c.take), std::min(c.count, c.take + 1));
    }
}

} // namespace
} // namespace corvane
