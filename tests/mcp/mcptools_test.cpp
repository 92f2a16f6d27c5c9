#include "candidates.h"
#include "common/graphemes.h"
#include "mcp/mcptools.h"
#include "store/clipstore.h"
#include "testsupport.h"

#include <QStringList>

#include <gtest/gtest.h>
#include <optional>

namespace corvane {
namespace {

// One user-perceived character each, of very different UTF-16 lengths.
const QString family
    = QStringLiteral("👨‍👩‍👧"); // three people joined by zero-width joiners
const QString accented = QStringLiteral("e\u0301"); // e with a combining acute accent
const QString flag = QStringLiteral("🇫🇷"); // two regional indicators
const QString ellipsis = QStringLiteral("…");

QString times(const QString &character, qsizetype count)
{
    return character.repeated(count);
}

ClipItem itemWith(
    const QString &title, std::optional<QString> subtitle, std::optional<QString> text)
{
    ClipItem item;
    item.id = 42;
    item.kind = ClipKind::text;
    item.title = title;
    item.subtitle = std::move(subtitle);
    item.text = std::move(text);
    item.createdAt = fromMillis(1714564800123); // 2024-05-01T12:00:00.123Z
    return item;
}

const QString header = QStringLiteral("[42] text · 2024-05-01T12:00:00Z");

TEST(DescribeItem, ShortensTitlesAt200AndTextsAt500GraphemeClusters)
{
    struct Case
    {
        const char *name;
        QString title;
        std::optional<QString> subtitle;
        std::optional<QString> text;
        QStringList expectedLines;
    };
    const Case cases[] = {
        { "a title of exactly 200 emoji is left whole", times(family, 200), std::nullopt,
            std::nullopt, { times(family, 200) } },
        { "a title of 201 accented letters loses the last one", times(accented, 201), std::nullopt,
            std::nullopt, { times(accented, 200) + ellipsis } },
        { "a subtitle is cut like a title", QStringLiteral("Title"), times(flag, 250), std::nullopt,
            { QStringLiteral("Title"), times(flag, 200) + ellipsis } },
        { "a text of exactly 500 flags is left whole", QStringLiteral("Title"), std::nullopt,
            times(flag, 500), { QStringLiteral("Title"), times(flag, 500) } },
        { "a text of 501 mixed clusters is cut after 500", QStringLiteral("Title"), std::nullopt,
            times(family + accented, 250) + flag,
            { QStringLiteral("Title"), times(family + accented, 250) + ellipsis } },
        { "a 250 character title that is also the text is shown once, shortened",
            times(QStringLiteral("x"), 250), std::nullopt, times(QStringLiteral("x"), 250),
            { times(QStringLiteral("x"), 200) + ellipsis } },
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const QString description = describeItem(itemWith(c.title, c.subtitle, c.text), true);
        EXPECT_EQ(description, (QStringList { header } + c.expectedLines).join(u'\n'));
        // A cut never splits a cluster: what precedes the ellipsis is whole clusters only.
        for (const QString &line : description.split(u'\n').mid(1)) {
            if (line.endsWith(ellipsis)) {
                EXPECT_EQ(graphemeCount(line.chopped(1)) + 1, graphemeCount(line));
            }
        }
    }
}

TEST(DescribeItem, GivesEveryValueWholeWhenNotShortening)
{
    const QString title = times(accented, 300);
    const QString subtitle = times(family, 900);
    const QString text = times(flag, 5000);
    EXPECT_EQ(describeItem(itemWith(title, subtitle, text), false),
        QStringList({ header, title, subtitle, text }).join(u'\n'));
}

// The search reads only the start of each text; whatever it lists must read as the whole
// item's shortened description would, however long the text's characters are.
class SearchTool : public test::TemporaryFolderTest
{ };

TEST_F(SearchTool, DescribesLongTextsAsTheirWholeItemsWouldRead)
{
    ClipStore store(path(QStringLiteral("Corvane")));
    const QString texts[] = {
        times(QStringLiteral("x"), 20000), // one line: the title is the whole text
        QStringLiteral("Flags\n") + times(flag, 600), // 500 characters within the start
        QStringLiteral("Marks\na") + times(QStringLiteral("\u0301"), 10000), // one character
        QStringLiteral("Families\n") + times(family, 300), // fewer than 500 in the start
        QStringLiteral("Accents\n") + times(accented, 3000),
    };
    for (const QString &text : texts)
        ASSERT_TRUE(store.record(test::textCandidate(text), 0, 0, ClipStore::payloadCapBytes));

    const auto expected = [&store](const QString &search) {
        ClipStore::Filter filter;
        filter.search = search;
        filter.limit = 20;
        QStringList descriptions;
        for (const ClipItem &item : store.items(filter))
            descriptions.append(describeItem(item, true));
        return descriptions.join(QStringLiteral("\n\n"));
    };
    for (const QString &search : { QString(), QStringLiteral("marks"), QStringLiteral("xxx") }) {
        SCOPED_TRACE(search.toStdString());
        const auto answer = callTool(QStringLiteral("search_clipboard"),
            QJsonObject { { QStringLiteral("query"), search } }, store);
        ASSERT_TRUE(answer);
        EXPECT_EQ(*answer, expected(search));
    }
}

} // namespace
} // namespace corvane
