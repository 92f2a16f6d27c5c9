#include "platform/keystroketap.h"
#include "platform/x11/keytranslator.h"

#include <gtest/gtest.h>

namespace corvane {
namespace {

// X key codes of the evdev keymap the X server uses: the Linux key code plus 8.
enum Key : std::uint32_t {
    escape = 9,
    digit1 = 10,
    digit0 = 19,
    equalKey = 21,
    backSpace = 22,
    tab = 23,
    q = 24,
    y = 29,
    returnKey = 36,
    leftControl = 37,
    a = 38,
    semicolon = 47,
    leftShift = 50,
    z = 52,
    leftAlt = 64,
    space = 65,
    capsLock = 66,
    keypadEnter = 104,
    rightAlt = 108,
    home = 110,
    up = 111,
    pageUp = 112,
    left = 113,
    right = 114,
    end = 115,
    down = 116,
    pageDown = 117,
    deleteKey = 119,
    leftSuper = 133,
};

constexpr auto shift = KeystrokeTap::shiftFlag;
constexpr auto control = KeystrokeTap::controlFlag;
constexpr auto alt = KeystrokeTap::alternateFlag;
constexpr auto command = KeystrokeTap::commandFlag;

struct TranslationCase
{
    const char *name;
    const char *layout;
    std::vector<std::uint32_t> held; // pressed before, in order, and kept down
    std::uint32_t key;
    QString characters;
    std::uint16_t keyCode;
    std::uint64_t flags;
};

void PrintTo(const TranslationCase &test, std::ostream *stream)
{
    *stream << test.name;
}

class KeyTranslation : public ::testing::TestWithParam<TranslationCase>
{ };

TEST_P(KeyTranslation, GivesTheCharactersThePositionAndTheModifiersOfAPress)
{
    const TranslationCase &test = GetParam();
    const auto translator = KeyTranslator::fromNames(QString::fromLatin1(test.layout));
    ASSERT_NE(translator, nullptr);
    for (std::uint32_t key : test.held)
        translator->updateKey(key, true);
    const KeyTranslator::Report report = translator->translate(test.key);
    EXPECT_EQ(report.characters, test.characters);
    EXPECT_EQ(report.keyCode, test.keyCode);
    EXPECT_EQ(report.flags, test.flags);
    EXPECT_FALSE(report.isModifier);
}

INSTANTIATE_TEST_SUITE_P(Layouts, KeyTranslation,
    ::testing::Values(TranslationCase { "UsLetter", "us", {}, a, QStringLiteral("a"), 0, 0 },
        TranslationCase {
            "UsShiftedLetter", "us", { leftShift }, a, QStringLiteral("A"), 0, shift },
        TranslationCase { "UsCapsLock", "us", { capsLock }, a, QStringLiteral("A"), 0, 0 },
        TranslationCase {
            "UsControl", "us", { leftControl }, a, QStringLiteral("\x01"), 0, control },
        TranslationCase { "UsAlt", "us", { leftAlt }, a, QStringLiteral("a"), 0, alt },
        TranslationCase { "UsSuper", "us", { leftSuper }, a, QStringLiteral("a"), 0, command },
        TranslationCase { "UsY", "us", {}, y, QStringLiteral("y"), 16, 0 },
        TranslationCase { "UsDigitOne", "us", {}, digit1, QStringLiteral("1"), 18, 0 },
        TranslationCase { "UsDigitZero", "us", {}, digit0, QStringLiteral("0"), 29, 0 },
        TranslationCase { "UsSpace", "us", {}, space, QStringLiteral(" "), 49, 0 },
        // On a German keyboard Z and Y swap: the key reports its US position, Y's code.
        TranslationCase { "GermanZWhereUsYIs", "de", {}, y, QStringLiteral("z"), 16, 0 },
        TranslationCase { "GermanYWhereUsZIs", "de", {}, z, QStringLiteral("y"), 6, 0 },
        TranslationCase {
            "GermanShiftedZ", "de", { leftShift }, y, QStringLiteral("Z"), 16, shift },
        TranslationCase { "GermanUmlaut", "de", {}, semicolon, QStringLiteral("\u00f6"), 41, 0 },
        TranslationCase {
            "GermanAltGrLevelThree", "de", { rightAlt }, q, QStringLiteral("@"), 12, 0 },
        TranslationCase { "GermanDeadAcuteTypesNothingYet", "de", {}, equalKey, QString(), 24, 0 },
        TranslationCase { "FrenchAzerty", "fr", {}, q, QStringLiteral("a"), 12, 0 },
        TranslationCase { "RussianCyrillic", "ru", {}, a, QStringLiteral("\u0444"), 0, 0 }),
    [](const auto &testInfo) { return std::string(testInfo.param.name); });

TEST(KeyTranslator, NamesTheKeysTheMatcherActsOnByTheirMacCodes)
{
    const auto translator = KeyTranslator::fromNames(QStringLiteral("us"));
    ASSERT_NE(translator, nullptr);
    const std::pair<std::uint32_t, std::uint16_t> keys[] = {
        { returnKey, 36 },
        { tab, 48 },
        { space, 49 },
        { backSpace, 51 },
        { escape, 53 },
        { keypadEnter, 76 },
        { home, 115 },
        { pageUp, 116 },
        { deleteKey, 117 },
        { end, 119 },
        { pageDown, 121 },
        { left, 123 },
        { right, 124 },
        { down, 125 },
        { up, 126 },
    };
    for (const auto &[key, macCode] : keys)
        EXPECT_EQ(translator->translate(key).keyCode, macCode) << "X key code " << key;
    EXPECT_EQ(KeyTranslator::macKeyCode("I248"), KeystrokeTap::unknownKeyCode);
    EXPECT_EQ(KeyTranslator::macKeyCode(nullptr), KeystrokeTap::unknownKeyCode);
}

TEST(KeyTranslator, TellsModifierKeysApart)
{
    const auto translator = KeyTranslator::fromNames(QStringLiteral("de"));
    ASSERT_NE(translator, nullptr);
    for (std::uint32_t key : { leftShift, leftControl, leftAlt, leftSuper, capsLock, rightAlt })
        EXPECT_TRUE(translator->translate(key).isModifier) << "X key code " << key;
    for (std::uint32_t key : { a, space, returnKey, equalKey })
        EXPECT_FALSE(translator->translate(key).isModifier) << "X key code " << key;
}

TEST(KeyTranslator, FollowsTheLayoutGroupTheServerAnnounces)
{
    const auto translator = KeyTranslator::fromNames(QStringLiteral("us,de"));
    ASSERT_NE(translator, nullptr);
    EXPECT_EQ(translator->translate(y).characters, QStringLiteral("y"));
    translator->setState(0, 0, 0, 0, 0, 1);
    EXPECT_EQ(translator->translate(y).characters, QStringLiteral("z"));
    EXPECT_EQ(translator->translate(y).keyCode, 16);
    constexpr std::uint32_t shiftMask = 1;
    translator->setState(shiftMask, 0, 0, 0, 0, 1);
    EXPECT_EQ(translator->translate(y).characters, QStringLiteral("Z"));
    EXPECT_EQ(translator->translate(y).flags, shift);
    translator->setState(0, 0, 0, 0, 0, 0);
    EXPECT_EQ(translator->translate(y).characters, QStringLiteral("y"));
}

} // namespace
} // namespace corvane
