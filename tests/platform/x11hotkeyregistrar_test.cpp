#include "panel/hotkey.h"
#include "platform/x11/x11hotkeyregistrar.h"

#include <QProcess>
#include <QTest>

#include <gtest/gtest.h>

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/keysym.h>

namespace corvane {
namespace {

const HotkeyCombination superShiftV { 9, 768 };
const HotkeyCombination superShiftB { 11, 768 };

// Runs a command of the X tools and reports whether it succeeded.
bool run(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    return process.waitForFinished(10000) && process.exitStatus() == QProcess::NormalExit
        && process.exitCode() == 0;
}

// Presses each space-separated chord in turn, as a user typing quickly would.
bool pressKeys(const char *keys)
{
    return run(QStringLiteral("xdotool"),
        QStringList { QStringLiteral("key") } + QString::fromLatin1(keys).split(u' '));
}

// Whether the lock key with this symbol is locked on now.
bool isLocked(KeySym lockKey)
{
    Display *display = XOpenDisplay(nullptr);
    if (!display)
        return false;
    XkbStateRec state {};
    XkbGetState(display, XkbUseCoreKbd, &state);
    const unsigned mask = XkbKeysymToModifiers(display, lockKey);
    XCloseDisplay(display);
    return mask != 0 && (state.locked_mods & mask) != 0;
}

// Locks Num Lock or Caps Lock for the lifetime of the object, and unlocks it again however
// the test ends.
class Locked
{
public:
    Locked(KeySym key, const char *name)
        : m_key(key)
        , m_name(name)
    {
        EXPECT_TRUE(set(true));
    }
    ~Locked() { set(false); }
    Locked(const Locked &) = delete;
    Locked &operator=(const Locked &) = delete;

private:
    bool set(bool on) const { return isLocked(m_key) == on || pressKeys(m_name); }

    KeySym m_key;
    const char *m_name;
};

class X11HotkeyTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (qEnvironmentVariableIsEmpty("DISPLAY"))
            GTEST_SKIP() << "no X display";
        m_registrar = createX11HotkeyRegistrar();
        ASSERT_TRUE(m_registrar);
    }

    // Registers a combination whose presses count into `count`.
    std::shared_ptr<Hotkey> counting(
        const HotkeyCombination &combination, int &count, HotkeyRegistrar *registrar = nullptr)
    {
        return Hotkey::create(
            registrar ? *registrar : *m_registrar, combination, [&count] { ++count; });
    }

    // Presses Super+Shift+B, registered only for this, and waits for its action: every
    // key event before it has been handled by then.
    void settle()
    {
        int sentinel = 0;
        const auto marker = counting(superShiftB, sentinel);
        ASSERT_TRUE(marker);
        ASSERT_TRUE(pressKeys("super+shift+b"));
        EXPECT_TRUE(QTest::qWaitFor([&] { return sentinel == 1; }, 5000));
        marker->unregister();
    }

    std::unique_ptr<HotkeyRegistrar> m_registrar;
};

TEST_F(X11HotkeyTest, RegisteredCombinationFiresOncePerPressAlsoWithNumLockOrCapsLockOn)
{
    int presses = 0;
    const auto hotkey = counting(superShiftV, presses);
    ASSERT_TRUE(hotkey);

    ASSERT_TRUE(pressKeys("super+shift+v"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return presses == 1; }, 5000));

    // Two quick presses in one command run the action twice.
    ASSERT_TRUE(pressKeys("super+shift+v super+shift+v"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return presses == 3; }, 5000));

    const struct
    {
        KeySym key;
        const char *name;
    } locks[] = { { XK_Num_Lock, "Num_Lock" }, { XK_Caps_Lock, "Caps_Lock" } };
    for (const auto &lock : locks) {
        SCOPED_TRACE(lock.name);
        const Locked locked(lock.key, lock.name);
        ASSERT_TRUE(isLocked(lock.key));
        const int before = presses;
        ASSERT_TRUE(pressKeys("super+shift+v"));
        settle();
        EXPECT_EQ(presses, before + 1);
    }
    {
        const Locked numLock(XK_Num_Lock, "Num_Lock");
        const Locked capsLock(XK_Caps_Lock, "Caps_Lock");
        ASSERT_TRUE(pressKeys("super+shift+v"));
        settle();
        EXPECT_EQ(presses, 6);
    }
    ASSERT_FALSE(isLocked(XK_Num_Lock));
    ASSERT_FALSE(isLocked(XK_Caps_Lock));

    // Other modifiers make another combination.
    ASSERT_TRUE(pressKeys("super+v"));
    ASSERT_TRUE(pressKeys("ctrl+super+shift+v"));
    settle();
    EXPECT_EQ(presses, 6);
    hotkey->unregister();
}

TEST_F(X11HotkeyTest, HoldingTheCombinationDownFiresOnce)
{
    int presses = 0;
    const auto hotkey = counting(superShiftV, presses);
    ASSERT_TRUE(hotkey);
    // Long enough for the server's key repeat (660 ms delay, then 25 per second).
    const bool held = run(QStringLiteral("xdotool"),
        { QStringLiteral("keydown"), QStringLiteral("super+shift+v"), QStringLiteral("sleep"),
            QStringLiteral("1.5"), QStringLiteral("keyup"), QStringLiteral("super+shift+v") });
    ASSERT_TRUE(held);
    settle();
    EXPECT_EQ(presses, 1);
    hotkey->unregister();
}

TEST_F(X11HotkeyTest, CombinationHeldByAnotherClientIsRefusedAndTheNextIdIsHigher)
{
    const std::unique_ptr<HotkeyRegistrar> otherClient = createX11HotkeyRegistrar();
    ASSERT_TRUE(otherClient);
    int ours = 0;
    int theirs = 0;
    const auto held = counting(superShiftV, theirs, otherClient.get());
    ASSERT_TRUE(held);

    const auto refused = counting(superShiftV, ours);
    EXPECT_FALSE(refused);
    // The refusal left nothing behind: the other client's presses still reach it alone.
    ASSERT_TRUE(pressKeys("super+shift+v"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return theirs == 1; }, 5000));

    int other = 0;
    const auto next = counting({ 9, 256 | 4096 }, other);
    ASSERT_TRUE(next);
    EXPECT_EQ(next->id(), held->id() + 2);
    // Registered twice in one process is refused as well.
    EXPECT_FALSE(counting({ 9, 256 | 4096 }, other));
    next->unregister();

    // Once the other client lets go, the combination is ours.
    held->unregister();
    const auto mine = counting(superShiftV, ours);
    ASSERT_TRUE(mine);
    ASSERT_TRUE(pressKeys("super+shift+v"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return ours == 1; }, 5000));
    settle();
    EXPECT_EQ(theirs, 1);
    mine->unregister();
}

TEST_F(X11HotkeyTest, UnregisteringOrClosingTheRegistrarReleasesTheGrab)
{
    int presses = 0;
    const auto hotkey = counting(superShiftV, presses);
    ASSERT_TRUE(hotkey);
    hotkey->unregister();
    hotkey->unregister();
    ASSERT_TRUE(pressKeys("super+shift+v"));
    settle();
    EXPECT_EQ(presses, 0);

    // Released for real: another client can take it now, and once that client's registrar
    // is closed, this one can again.
    auto otherClient = createX11HotkeyRegistrar();
    int theirs = 0;
    const auto taken = counting(superShiftV, theirs, otherClient.get());
    ASSERT_TRUE(taken);
    otherClient.reset();
    const auto again = counting(superShiftV, presses);
    EXPECT_TRUE(again);
    taken->unregister();
    if (again)
        again->unregister();
}

// Restores the US layout however the test ends.
struct LayoutGuard
{
    ~LayoutGuard() { run(QStringLiteral("setxkbmap"), { QStringLiteral("us") }); }
};

TEST_F(X11HotkeyTest, DisplayFormNamesTheKeyByWhatItTypesOnTheCurrentLayout)
{
    const struct
    {
        std::uint32_t keyCode;
        std::uint32_t modifiers;
        const char *us;
        const char *german;
    } rows[] = {
        // The order of the modifier symbols and the named keys are Hotkey's own test.
        { 9, 768, "⇧⌘V", "⇧⌘V" },
        { 18, 256, "⌘1", "⌘1" },
        // The semicolon is Shift+comma on a German keyboard: the key is the comma key.
        { 41, 256, "⌘;", "⌘," },
        // No German key types a plain grave accent.
        { 50, 256, "⌘`", "⌘?" },
        // Keys that type nothing have no name.
        { 122, 256, "⌘?", "⌘?" },
        { 48, 256, "⌘?", "⌘?" },
        { 1000, 256, "⌘?", "⌘?" },
    };
    LayoutGuard guard;
    for (const char *layout : { "us", "de" }) {
        SCOPED_TRACE(layout);
        ASSERT_TRUE(run(QStringLiteral("setxkbmap"), { QLatin1String(layout) }));
        for (const auto &row : rows) {
            const char *expected = qstrcmp(layout, "us") == 0 ? row.us : row.german;
            EXPECT_EQ(Hotkey::displayForm({ row.keyCode, row.modifiers }, *m_registrar),
                QString::fromUtf8(expected))
                << expected;
        }
    }

    // A key that is missing from the layout cannot be registered either.
    int presses = 0;
    EXPECT_FALSE(counting({ 50, 256 }, presses));
}

TEST_F(X11HotkeyTest, GrabsFollowTheirSymbolToAnotherKeyWhenTheLayoutChanges)
{
    LayoutGuard guard;
    ASSERT_TRUE(run(QStringLiteral("setxkbmap"), { QStringLiteral("us") }));
    int presses = 0;
    // Super plus the US semicolon key: on a German keyboard the semicolon is on the comma key.
    const auto hotkey = counting({ 41, 256 }, presses);
    ASSERT_TRUE(hotkey);
    ASSERT_TRUE(pressKeys("super+semicolon"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return presses == 1; }, 5000));

    ASSERT_TRUE(run(QStringLiteral("setxkbmap"), { QStringLiteral("de") }));
    // Let the layout notifications arrive before pressing under the new layout.
    settle();
    ASSERT_TRUE(pressKeys("super+comma"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return presses == 2; }, 5000));
    // The key that typed the semicolon before types ö now and is no longer grabbed.
    ASSERT_TRUE(pressKeys("super+odiaeresis"));
    settle();
    EXPECT_EQ(presses, 2);
    hotkey->unregister();
}

} // namespace
} // namespace corvane
