#include "expansion/expansionmatcher.h"

#include <gtest/gtest.h>
#include <ostream>
#include <vector>

namespace corvane {

void PrintTo(const ExpansionMatcher::Expansion &expansion, std::ostream *os)
{
    *os << "{" << expansion.charactersToDelete << ", \"" << expansion.insertion.toStdString()
        << "\", \"" << expansion.trigger.toStdString() << "\"}";
}

namespace {

using Expansion = ExpansionMatcher::Expansion;

constexpr std::uint16_t anyKey = 0;
constexpr std::uint16_t spaceKey = 49;
constexpr std::uint16_t returnKey = 36;
constexpr std::uint16_t leftArrowKey = 123;
constexpr std::uint16_t deleteKey = 51;
constexpr std::uint16_t forwardDeleteKey = 117;
constexpr std::uint64_t shiftFlag = 0x20000;
constexpr std::uint64_t optionFlag = 0x80000;

// One key report and the decision expected from it.
struct Key
{
    QString characters;
    std::uint16_t keyCode = anyKey;
    std::uint64_t flags = 0;
    std::optional<Expansion> expected;
};

using Keys = std::vector<Key>;

// Types text one code point per report, as a keyboard does, expecting no decision.
Keys typed(const QString &text)
{
    Keys keys;
    for (const char32_t scalar : text.toUcs4())
        keys.push_back({ QString::fromUcs4(&scalar, 1), anyKey, 0, std::nullopt });
    return keys;
}

// Types text and expects the decision at its last report.
Keys typed(const QString &text, Expansion expected)
{
    Keys keys = typed(text);
    keys.back().expected = std::move(expected);
    return keys;
}

Keys press(std::uint16_t keyCode, const QString &characters = {},
    std::optional<Expansion> expected = std::nullopt)
{
    return { { characters, keyCode, 0, std::move(expected) } };
}

Keys report(const QString &characters, std::optional<Expansion> expected = std::nullopt,
    std::uint64_t flags = 0)
{
    return { { characters, anyKey, flags, std::move(expected) } };
}

Keys operator+(Keys first, const Keys &second)
{
    first.insert(first.end(), second.begin(), second.end());
    return first;
}

struct StreamCase
{
    const char *name;
    QString prefix;
    ExpansionMatcher::TriggerTable triggers;
    Keys keys;
    QString bufferAfter;
};

const QString signature = QStringLiteral("Best regards,\nAda");
const QString signatures = QStringLiteral("Ada and Bob");
const QString coffee = QStringLiteral("☕");
const QString thumbsUp = QStringLiteral("👍");
const QString mediumSkin = QStringLiteral("🏽");
const QString zwj = QStringLiteral("\u200d");

void replay(const StreamCase &c)
{
    SCOPED_TRACE(c.name);
    ExpansionMatcher matcher(c.prefix);
    for (std::size_t i = 0; i < c.keys.size(); ++i) {
        const Key &key = c.keys[i];
        SCOPED_TRACE(testing::Message()
            << "report " << i << " \"" << key.characters.toStdString() << "\" key " << key.keyCode);
        matcher.setTriggers(c.triggers);
        EXPECT_EQ(matcher.feed(key.characters, key.keyCode, key.flags), key.expected);
    }
    EXPECT_EQ(matcher.buffer().toStdString(), c.bufferAfter.toStdString());
}

TEST(ExpansionMatcher, DecidesOnTriggersAfterTheLastPrefix)
{
    const ExpansionMatcher::TriggerTable sigOnly { { QStringLiteral("sig"), signature } };
    const ExpansionMatcher::TriggerTable sigAndSigs { { QStringLiteral("sig"), signature },
        { QStringLiteral("sigs"), signatures } };
    const QString colons = QStringLiteral("::");
    const StreamCase cases[] = {
        { "a trigger no other extends expands at its last character", colons, sigOnly,
            typed(QStringLiteral("::sig"), { 5, signature, QStringLiteral("sig") }),
            QStringLiteral("::sig") },
        { "a trigger another extends waits for the word break", colons, sigAndSigs,
            typed(QStringLiteral("::sig"))
                + press(spaceKey, QStringLiteral(" "),
                    Expansion { 6, signature + QStringLiteral(" "), QStringLiteral("sig") })
                + typed(QStringLiteral("x")),
            QStringLiteral("x") },
        { "the longer trigger expands at its last character", colons, sigAndSigs,
            typed(QStringLiteral("::sigs"), { 6, signatures, QStringLiteral("sigs") }),
            QStringLiteral("::sigs") },
        { "a prefix inside a word never occurs", colons, sigOnly,
            typed(QStringLiteral("10:30 note:sig note:sig")), QStringLiteral("note:sig") },
        { "only what follows the last prefix counts", colons, sigOnly,
            typed(QStringLiteral("a::b::sig"), { 5, signature, QStringLiteral("sig") }),
            QStringLiteral("a::b::sig") },
        { "a trigger containing the prefix never matches", colons,
            { { QStringLiteral("a::b"), signature } }, typed(QStringLiteral("::a::b ")),
            QString() },
        { "an empty prefix disables matching", QString(), sigOnly, typed(QStringLiteral("sig sig")),
            QStringLiteral("sig") },
        { "an empty table never matches", colons, {}, typed(QStringLiteral("::sig ")), QString() },
        { "a prefix with nothing after it is no trigger", colons, sigOnly,
            typed(QStringLiteral(":: ")), QString() },
        { "Command cancels a report and empties the buffer", colons, sigOnly,
            typed(QStringLiteral("::si"))
                + report(QStringLiteral("g"), {}, ExpansionMatcher::commandFlag)
                + typed(QStringLiteral("g")),
            QStringLiteral("g") },
        { "Control cancels a report and empties the buffer", colons, sigOnly,
            typed(QStringLiteral("::si"))
                + report(QStringLiteral("g"), {}, ExpansionMatcher::controlFlag),
            QString() },
        { "Shift and Option do not cancel", colons, { { QStringLiteral("Sig"), signature } },
            typed(QStringLiteral("::")) + report(QStringLiteral("S"), {}, shiftFlag)
                + report(QStringLiteral("i"), {}, optionFlag)
                + report(QStringLiteral("g"), Expansion { 5, signature, QStringLiteral("Sig") },
                    shiftFlag | optionFlag),
            QStringLiteral("::Sig") },
        { "Delete takes back one character", colons, sigOnly,
            typed(QStringLiteral("::si")) + press(deleteKey, QStringLiteral("\b"))
                + press(forwardDeleteKey)
                + typed(QStringLiteral("sig"), { 5, signature, QStringLiteral("sig") }),
            QStringLiteral("::sig") },
        { "Delete on an empty buffer does nothing", colons, sigOnly,
            press(deleteKey)
                + typed(QStringLiteral("::sig"), { 5, signature, QStringLiteral("sig") }),
            QStringLiteral("::sig") },
        { "Left arrow empties the buffer", colons, sigOnly,
            typed(QStringLiteral("::si")) + press(leftArrowKey) + typed(QStringLiteral("g")),
            QStringLiteral("g") },
        { "Return ends the word without expanding", colons, sigAndSigs,
            typed(QStringLiteral("::sig")) + press(returnKey, QStringLiteral("\r")), QString() },
        { "a report without characters empties the buffer", colons, sigOnly,
            typed(QStringLiteral("::si")) + report(QString()) + typed(QStringLiteral("g")),
            QStringLiteral("g") },
        { "a no-break space is a word break and is typed again", colons, sigAndSigs,
            typed(QStringLiteral("::sig"))
                + report(QStringLiteral("\u00a0"),
                    Expansion { 6, signature + QStringLiteral("\u00a0"), QStringLiteral("sig") }),
            QString() },
        { "several characters in one report", colons, sigOnly,
            typed(QStringLiteral("::s"))
                + report(QStringLiteral("ig"), Expansion { 5, signature, QStringLiteral("sig") }),
            QStringLiteral("::sig") },
        { "the last decision of a report is kept", colons, sigAndSigs,
            typed(QStringLiteral("::si"))
                + report(QStringLiteral("g x"),
                    Expansion { 6, signature + QStringLiteral(" "), QStringLiteral("sig") }),
            QStringLiteral("x") },
    };
    for (const StreamCase &c : cases)
        replay(c);
}

TEST(ExpansionMatcher, CountsEmojiAndCombiningMarksAsOneCharacter)
{
    const QString colons = QStringLiteral("::");
    const QString cafeDecomposed = QStringLiteral("cafe\u0301");
    const QString cafeComposed = QStringLiteral("caf\u00e9");
    const QString family
        = QStringLiteral("👨") + zwj + QStringLiteral("👩") + zwj + QStringLiteral("👧");
    const ExpansionMatcher::TriggerTable sigh { { QStringLiteral("sigh"), signature } };
    const StreamCase cases[] = {
        { "an emoji in a trigger", colons, { { QStringLiteral("hi👋"), signature } },
            typed(QStringLiteral("::hi👋"), { 5, signature, QStringLiteral("hi👋") }),
            QStringLiteral("::hi👋") },
        { "a skin tone typed after its emoji joins it", colons,
            { { QStringLiteral("ok") + thumbsUp + mediumSkin, coffee } },
            typed(QStringLiteral("::ok") + thumbsUp + mediumSkin,
                { 5, coffee, QStringLiteral("ok") + thumbsUp + mediumSkin }),
            QStringLiteral("::ok") + thumbsUp + mediumSkin },
        { "a combining mark typed after its letter", colons, { { cafeDecomposed, coffee } },
            typed(QStringLiteral("::") + cafeDecomposed, { 6, coffee, cafeDecomposed }),
            QStringLiteral("::") + cafeDecomposed },
        { "a composed letter matches a decomposed trigger", colons, { { cafeDecomposed, coffee } },
            typed(QStringLiteral("::") + cafeComposed, { 6, coffee, cafeComposed }),
            QStringLiteral("::") + cafeComposed },
        { "a decomposed letter matches a composed trigger", colons, { { cafeComposed, coffee } },
            typed(QStringLiteral("::") + cafeDecomposed, { 6, coffee, cafeDecomposed }),
            QStringLiteral("::") + cafeDecomposed },
        { "emoji before the prefix", colons, sigh,
            typed(QStringLiteral("🌀") + family + QStringLiteral("::sigh"),
                { 6, signature, QStringLiteral("sigh") }),
            QStringLiteral("🌀") + family + QStringLiteral("::sigh") },
        { "Delete takes back a whole emoji with its skin tone", colons, sigh,
            typed(QStringLiteral("::sig") + thumbsUp + mediumSkin) + press(deleteKey)
                + typed(QStringLiteral("h"), { 6, signature, QStringLiteral("sigh") }),
            QStringLiteral("::sigh") },
        { "Delete takes back a whole family", colons, sigh,
            typed(QStringLiteral("::sig") + family) + press(deleteKey)
                + typed(QStringLiteral("h"), { 6, signature, QStringLiteral("sigh") }),
            QStringLiteral("::sigh") },
        { "Delete after a combining mark takes back the letter with it", colons, sigh,
            typed(QStringLiteral("::sige\u0301")) + press(deleteKey)
                + typed(QStringLiteral("h"), { 6, signature, QStringLiteral("sigh") }),
            QStringLiteral("::sigh") },
        { "a prefix typed in decomposed form", QStringLiteral("\u00e9;"), sigh,
            typed(QStringLiteral("e\u0301;sigh"), { 6, signature, QStringLiteral("sigh") }),
            QStringLiteral("e\u0301;sigh") },
        { "a decomposed prefix typed composed", QStringLiteral("e\u0301;"), sigh,
            typed(QStringLiteral("\u00e9;sigh"), { 6, signature, QStringLiteral("sigh") }),
            QStringLiteral("\u00e9;sigh") },
        { "a prefix never matches part of a character", QStringLiteral(";a"), sigh,
            typed(QStringLiteral(";a\u0308sigh ")), QString() },
        { "a flag and a colon as the prefix", QStringLiteral("🇫🇷:"), sigh,
            typed(QStringLiteral("x🇫🇷:sigh"), { 6, signature, QStringLiteral("sigh") }),
            QStringLiteral("x🇫🇷:sigh") },
        { "a lone regional indicator is not the flag", QStringLiteral("🇫🇷:"), sigh,
            typed(QStringLiteral("🇷🇫🇷:sigh")), QStringLiteral("🇷🇫🇷:sigh") },
    };
    for (const StreamCase &c : cases)
        replay(c);
}

TEST(ExpansionMatcher, KeepsOnlyTheLast128CharactersOfALongWord)
{
    const ExpansionMatcher::TriggerTable triggers { { QString(127, QLatin1Char('q')), signature },
        { QStringLiteral("sig"), signature } };
    // After "::" and 126 letters the buffer is full with the prefix at its front; the next
    // letter pushes a colon out, so the 127-letter trigger never matches.
    replay({ "a prefix pushed out of the window no longer counts", QStringLiteral("::"), triggers,
        typed(QStringLiteral("::") + QString(198, QLatin1Char('q'))),
        QString(128, QLatin1Char('q')) });
    replay({ "a prefix inside a long word still counts", QStringLiteral("::"), triggers,
        typed(QString(195, QLatin1Char('a')) + QStringLiteral("::sig"),
            { 5, signature, QStringLiteral("sig") }),
        QString(123, QLatin1Char('a')) + QStringLiteral("::sig") });

    ExpansionMatcher matcher;
    for (int i = 0; i < 200; ++i)
        matcher.feed(QStringLiteral("😀"), anyKey, 0);
    EXPECT_EQ(matcher.bufferLength(), ExpansionMatcher::bufferLimit);
    EXPECT_EQ(matcher.buffer().size(), 2 * ExpansionMatcher::bufferLimit);
}

TEST(ExpansionMatcher, EveryResetKeyEmptiesTheBuffer)
{
    for (const std::uint16_t keyCode : { 36, 48, 53, 76, 115, 116, 119, 121, 123, 124, 125, 126 }) {
        SCOPED_TRACE(keyCode);
        ExpansionMatcher matcher;
        matcher.setTriggers({ { QStringLiteral("sig"), signature } });
        matcher.feed(QStringLiteral("::si"), anyKey, 0);
        EXPECT_EQ(matcher.feed(QStringLiteral("g"), keyCode, 0), std::nullopt);
        EXPECT_TRUE(matcher.buffer().isEmpty());
    }
}

TEST(ExpansionMatcher, MatchLooksWithoutChangingAnything)
{
    ExpansionMatcher matcher;
    matcher.feed(QStringLiteral("::sig"), anyKey, 0);
    EXPECT_EQ(matcher.match(), std::nullopt);
    // A table set after typing is used for the next decision.
    matcher.setTriggers({ { QStringLiteral("sig"), signature } });
    const Expansion expected { 5, signature, QStringLiteral("sig") };
    EXPECT_EQ(matcher.match(), expected);
    EXPECT_EQ(matcher.match(), expected);
    EXPECT_EQ(matcher.buffer(), QStringLiteral("::sig"));
    // A changed prefix applies to what is already buffered.
    matcher.setPrefix(QStringLiteral(";"));
    EXPECT_EQ(matcher.match(), std::nullopt);
    matcher.clearBuffer();
    EXPECT_EQ(matcher.bufferLength(), 0);
}

} // namespace
} // namespace corvane
