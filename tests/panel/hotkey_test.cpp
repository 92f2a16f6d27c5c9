#include "panel/hotkey.h"
#include "platform/fake/fakehotkeyregistrar.h"

#include <QCoreApplication>
#include <QThread>

#include <gtest/gtest.h>

namespace corvane {
namespace {

const HotkeyCombination superShiftV { 9, 768 };
const HotkeyCombination superShiftB { 11, 768 };
const HotkeyCombination optionSpace { 49, 2048 };

TEST(Hotkey, EveryRegistrationAttemptTakesANewIdAndRefusalsGiveNothing)
{
    FakeHotkeyRegistrar registrar;
    registrar.holdElsewhere(superShiftB);
    const auto first = Hotkey::create(registrar, superShiftV, [] {});
    ASSERT_TRUE(first);
    EXPECT_TRUE(first->isRegistered());
    EXPECT_FALSE(Hotkey::create(registrar, superShiftB, [] {}));
    const auto next = Hotkey::create(registrar, optionSpace, [] {});
    ASSERT_TRUE(next);
    EXPECT_EQ(next->id(), first->id() + 2);
    EXPECT_EQ(registrar.registrationCount(), 2);
    first->unregister();
    next->unregister();
}

TEST(Hotkey, PressesRunTheActionLaterOnTheMainThreadOncePerPress)
{
    FakeHotkeyRegistrar registrar;
    int runs = 0;
    bool onMainThread = true;
    const auto hotkey = Hotkey::create(registrar, superShiftV, [&] {
        ++runs;
        onMainThread = onMainThread && QThread::currentThread() == qApp->thread();
    });
    ASSERT_TRUE(hotkey);

    ASSERT_TRUE(registrar.press(superShiftV));
    EXPECT_EQ(runs, 0) << "ran inside the press handler";
    QCoreApplication::processEvents();
    EXPECT_EQ(runs, 1);

    registrar.press(superShiftV);
    registrar.press(superShiftV);
    QCoreApplication::processEvents();
    EXPECT_EQ(runs, 3);
    EXPECT_TRUE(onMainThread);
    hotkey->unregister();
}

// Unregistering frees the combination, and a press still waiting to run when the hot key
// goes away runs nothing; merely dropping the last reference keeps the hot key working.
TEST(Hotkey, OnlyUnregisterEndsAHotkeyAndSilencesEvenAPendingPress)
{
    FakeHotkeyRegistrar registrar;
    int runs = 0;
    std::weak_ptr<Hotkey> watch = Hotkey::create(registrar, superShiftV, [&] { ++runs; });
    ASSERT_FALSE(watch.expired());
    registrar.press(superShiftV);
    QCoreApplication::processEvents();
    EXPECT_EQ(runs, 1);

    auto hotkey = watch.lock();
    const std::uint32_t id = hotkey->id();
    ASSERT_TRUE(registrar.press(superShiftV));
    hotkey->unregister();
    hotkey->unregister();
    EXPECT_FALSE(hotkey->isRegistered());
    EXPECT_EQ(registrar.registrationCount(), 0);
    EXPECT_FALSE(registrar.press(superShiftV));
    hotkey.reset();
    EXPECT_TRUE(watch.expired());
    QCoreApplication::processEvents();
    EXPECT_EQ(runs, 1);

    // The combination is free again, under a new id.
    const auto again = Hotkey::create(registrar, superShiftV, [&] { ++runs; });
    ASSERT_TRUE(again);
    EXPECT_GT(again->id(), id);
    again->unregister();
}

TEST(Hotkey, DisplayFormPutsModifierSymbolsInFixedOrderBeforeTheKeyName)
{
    FakeHotkeyRegistrar registrar;
    registrar.setKeyText(9, QStringLiteral("v"));
    registrar.setKeyText(41, QStringLiteral("ö"));
    registrar.setKeyText(27, QStringLiteral("ß"));
    const struct
    {
        std::uint32_t keyCode;
        std::uint32_t modifiers;
        const char *shown;
    } rows[] = {
        { 9, 768, "⇧⌘V" },
        { 9, 768 | 4096 | 2048, "⌃⌥⇧⌘V" },
        { 9, 4096 | 256, "⌃⌘V" },
        { 49, 2048, "⌥Space" },
        { 36, 256, "⌘↩" },
        { 53, 0, "⎋" },
        { 41, 4096, "⌃Ö" },
        { 27, 256, "⌘SS" },
        { 122, 256, "⌘?" },
        { 9, 1, "V" },
    };
    for (const auto &row : rows) {
        EXPECT_EQ(Hotkey::displayForm({ row.keyCode, row.modifiers }, registrar),
            QString::fromUtf8(row.shown))
            << row.shown;
    }
}

} // namespace
} // namespace corvane
