#include "expansion/emojinametable.h"
#include "testsupport.h"

#include <QFile>

#include <unicode/uchar.h>
#include <unicode/uvernum.h>

#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <thread>
#include <vector>

namespace corvane {
namespace {

using Table = EmojiNameTable::Table;

QString absentPath()
{
    return QStringLiteral("/nonexistent/EmojiShortcodes.json");
}

QString sourceShortcodesPath()
{
    return qEnvironmentVariable("CORVANE_SOURCE_DIR")
        + QStringLiteral("/tests/expansion/EmojiShortcodes.json");
}

// The table without shortcodes, built once for the tests that read it.
const Table &namesOnly()
{
    static const Table table = buildEmojiNameTable(absentPath());
    return table;
}

TEST(EmojiName, FollowsTheUnicodeCharacterName)
{
    struct Case
    {
        char32_t scalar;
        std::optional<QString> name;
    };
    const Case cases[] = {
        { 0x1F300, QStringLiteral("cyclone") },
        { 0x1F602, QStringLiteral("face_with_tears_of_joy") },
        { 0x1F455, QStringLiteral("t_shirt") },
        { 0x1F1EB, QStringLiteral("regional_indicator_symbol_letter_f") },
        { 0x0041, QStringLiteral("latin_capital_letter_a") }, { 0xD83C, std::nullopt },
        { 0x110000, std::nullopt }, { 0xE0080, std::nullopt }, // unassigned
        { 0xE000, std::nullopt }, // private use
        { 0x0007, std::nullopt }, // a control
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << std::uint32_t(c.scalar));
        EXPECT_EQ(emojiName(c.scalar), c.name);
    }
}

TEST(EmojiNameTable, HoldsTheNamesOfEmojiShownInEmojiStyle)
{
    const Table &table = namesOnly();
    EXPECT_EQ(table.value(QStringLiteral("cyclone")), QStringLiteral("🌀"));
    EXPECT_EQ(table.value(QStringLiteral("face_with_tears_of_joy")), QStringLiteral("😂"));
    EXPECT_EQ(table.value(QStringLiteral("t_shirt")), QStringLiteral("👕"));
    EXPECT_EQ(table.value(QStringLiteral("mahjong_tile_red_dragon")), QStringLiteral("🀄"));
    EXPECT_EQ(table.value(QStringLiteral("watch")), QStringLiteral("⌚"));
    // Text-style by default, so left out.
    EXPECT_FALSE(table.contains(QStringLiteral("black_sun_with_rays")));
    EXPECT_FALSE(table.contains(QStringLiteral("white_smiling_face")));
    EXPECT_FALSE(table.contains(QStringLiteral("latin_capital_letter_a")));
    // Emoji-style but outside the walked blocks (U+25FD).
    EXPECT_FALSE(table.contains(QStringLiteral("white_medium_small_square")));
}

TEST(EmojiNameTable, MergesShortcodesOverNames)
{
    for (const QString &path :
        { sourceShortcodesPath(), QStringLiteral(":/testdata/EmojiShortcodes.json") }) {
        SCOPED_TRACE(path.toStdString());
        const Table table = buildEmojiNameTable(path);
        EXPECT_EQ(table.value(QStringLiteral("thumbsup")), QStringLiteral("👍"));
        EXPECT_EQ(table.value(QStringLiteral("sunny")), QStringLiteral("☀️"));
        EXPECT_EQ(table.value(QStringLiteral("cyclone")), QStringLiteral("🌀🌀"));
        EXPECT_EQ(table.value(QStringLiteral("face_with_tears_of_joy")), QStringLiteral("😂"));
        EXPECT_EQ(table.size(), namesOnly().size() + 2);
    }
    // The application ships no shortcodes, so the process's table holds only names.
    EXPECT_EQ(EmojiNameTable::shared().table(), namesOnly());
}

class EmojiShortcodes : public test::TemporaryFolderTest
{ };

TEST_F(EmojiShortcodes, RefuseMalformedFilesWhole)
{
    struct Case
    {
        const char *name;
        QByteArray contents;
        Table expected;
    };
    const Case cases[] = {
        { "valid", R"({"shortcodes": {"tada": "🎉", "ok": "👌"}, "version": 2})",
            { { QStringLiteral("tada"), QStringLiteral("🎉") },
                { QStringLiteral("ok"), QStringLiteral("👌") } } },
        { "empty object", R"({"shortcodes": {}})", {} },
        { "empty file", "", {} },
        { "invalid JSON", R"({"shortcodes": {"tada": "🎉")", {} },
        { "no shortcodes member", R"({"codes": {"tada": "🎉"}})", {} },
        { "shortcodes not an object", R"({"shortcodes": ["🎉"]})", {} },
        { "a value that is not a text", R"({"shortcodes": {"tada": "🎉", "n": 1}})", {} },
        { "a document that is an array", R"([{"shortcodes": {"tada": "🎉"}}])", {} },
        { "not UTF-8 JSON", QByteArray("\xff\xfe{\x00}\x00", 6), {} },
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(loadEmojiShortcodes(
                      test::writeFile(path(QStringLiteral("shortcodes.json")), c.contents)),
            c.expected);
    }
    EXPECT_EQ(loadEmojiShortcodes(path(QStringLiteral("absent.json"))), Table());
    EXPECT_EQ(loadEmojiShortcodes(path()), Table()) << "a folder";
    EXPECT_EQ(loadEmojiShortcodes(QStringLiteral(":/absent/EmojiShortcodes.json")), Table());
}

TEST(EmojiNameTable, BuildsOnceWhileManyThreadsAskAndOutlivesItsWarmUp)
{
    std::atomic<int> builds = 0;
    EmojiNameTable table([&builds] {
        ++builds;
        // Long enough that every thread arrives while the build runs.
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        return Table { { QStringLiteral("cyclone"), QStringLiteral("🌀") } };
    });
    table.warmUp();
    std::vector<std::thread> threads;
    std::vector<const Table *> seen(8, nullptr);
    for (std::size_t i = 0; i < seen.size(); ++i) {
        threads.emplace_back([&table, &seen, i] {
            if (i % 2 == 0)
                table.warmUp();
            seen[i] = &table.table();
        });
    }
    for (std::thread &thread : threads)
        thread.join();
    EXPECT_EQ(builds, 1);
    for (const Table *result : seen) {
        ASSERT_EQ(result, &table.table());
        EXPECT_EQ(result->value(QStringLiteral("cyclone")), QStringLiteral("🌀"));
    }

    // Destroyed while a warm-up still runs, a table waits for it.
    std::atomic<bool> finished = false;
    {
        EmojiNameTable unused([&finished] {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            finished = true;
            return Table();
        });
        unused.warmUp();
    }
    EXPECT_TRUE(finished);
}

TEST(Emoji, ContainsEmojiLooksForEmojiStyleOrSkinToneBases)
{
    const std::pair<QString, bool> cases[] = {
        { QString(), false },
        { QStringLiteral("abc"), false },
        { QStringLiteral("a🌀"), true },
        { QStringLiteral("👍"), true },
        { QStringLiteral("\u261d"), true }, // index pointing up: text style, takes a skin tone
        { QStringLiteral("\u2600"), false }, // sun: text style
        { QStringLiteral("🇫"), true },
    };
    for (const auto &[text, expected] : cases) {
        SCOPED_TRACE(text.toStdString());
        EXPECT_EQ(containsEmoji(text), expected);
    }
}

TEST(Emoji, ResolveEmojiTakesNamesOrEmoji)
{
    const std::pair<QString, std::optional<QString>> cases[] = {
        { QStringLiteral("  Cyclone \n"), QStringLiteral("🌀") },
        { QStringLiteral("FACE_WITH_TEARS_OF_JOY"), QStringLiteral("😂") },
        { QStringLiteral("🇫🇷"), QStringLiteral("🇫🇷") },
        { QStringLiteral("👍"), QStringLiteral("👍") },
        { QStringLiteral(" 👍🏽"), QStringLiteral("👍🏽") },
        { QStringLiteral("👨‍👩‍👧🌀"), QStringLiteral("👨‍👩‍👧🌀") },
        { QStringLiteral("hello"), std::nullopt },
        { QStringLiteral("a👍"), std::nullopt },
        { QStringLiteral("face with tears of joy"), std::nullopt },
        { QStringLiteral(" \t\n"), std::nullopt },
        { QString(), std::nullopt },
    };
    for (const auto &[text, expected] : cases) {
        SCOPED_TRACE(text.toStdString());
        EXPECT_EQ(resolveEmoji(text, namesOnly()), expected);
        EXPECT_EQ(resolveEmoji(text), expected);
    }
}

} // namespace
} // namespace corvane
