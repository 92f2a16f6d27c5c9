#include "x11hotkeyregistrar.h"

#include "common/logging.h"
#include "platform/x11/x11connection.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QSocketNotifier>

#include <array>
#include <map>
#include <set>
#include <xkbcommon/xkbcommon.h>

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/keysym.h>

namespace corvane {

namespace {

// The symbol each virtual key code types on a US layout with no modifiers: key codes name
// key positions, and the US layout is what they were numbered after.
KeySym keysymForKeyCode(std::uint32_t keyCode)
{
    static const std::map<std::uint32_t, KeySym> symbols = {
        { 0, XK_a },
        { 1, XK_s },
        { 2, XK_d },
        { 3, XK_f },
        { 4, XK_h },
        { 5, XK_g },
        { 6, XK_z },
        { 7, XK_x },
        { 8, XK_c },
        { 9, XK_v },
        { 11, XK_b },
        { 12, XK_q },
        { 13, XK_w },
        { 14, XK_e },
        { 15, XK_r },
        { 16, XK_y },
        { 17, XK_t },
        { 18, XK_1 },
        { 19, XK_2 },
        { 20, XK_3 },
        { 21, XK_4 },
        { 22, XK_6 },
        { 23, XK_5 },
        { 24, XK_equal },
        { 25, XK_9 },
        { 26, XK_7 },
        { 27, XK_minus },
        { 28, XK_8 },
        { 29, XK_0 },
        { 30, XK_bracketright },
        { 31, XK_o },
        { 32, XK_u },
        { 33, XK_bracketleft },
        { 34, XK_i },
        { 35, XK_p },
        { 36, XK_Return },
        { 37, XK_l },
        { 38, XK_j },
        { 39, XK_apostrophe },
        { 40, XK_k },
        { 41, XK_semicolon },
        { 42, XK_backslash },
        { 43, XK_comma },
        { 44, XK_slash },
        { 45, XK_n },
        { 46, XK_m },
        { 47, XK_period },
        { 48, XK_Tab },
        { 49, XK_space },
        { 50, XK_grave },
        { 51, XK_BackSpace },
        { 53, XK_Escape },
        { 64, XK_F17 },
        { 65, XK_KP_Decimal },
        { 67, XK_KP_Multiply },
        { 69, XK_KP_Add },
        { 71, XK_Clear },
        { 75, XK_KP_Divide },
        { 76, XK_KP_Enter },
        { 78, XK_KP_Subtract },
        { 79, XK_F18 },
        { 80, XK_F19 },
        { 81, XK_KP_Equal },
        { 82, XK_KP_0 },
        { 83, XK_KP_1 },
        { 84, XK_KP_2 },
        { 85, XK_KP_3 },
        { 86, XK_KP_4 },
        { 87, XK_KP_5 },
        { 88, XK_KP_6 },
        { 89, XK_KP_7 },
        { 90, XK_F20 },
        { 91, XK_KP_8 },
        { 92, XK_KP_9 },
        { 96, XK_F5 },
        { 97, XK_F6 },
        { 98, XK_F7 },
        { 99, XK_F3 },
        { 100, XK_F8 },
        { 101, XK_F9 },
        { 103, XK_F11 },
        { 105, XK_F13 },
        { 106, XK_F16 },
        { 107, XK_F14 },
        { 109, XK_F10 },
        { 111, XK_F12 },
        { 113, XK_F15 },
        { 114, XK_Insert },
        { 115, XK_Home },
        { 116, XK_Page_Up },
        { 117, XK_Delete },
        { 118, XK_F4 },
        { 119, XK_End },
        { 120, XK_F2 },
        { 121, XK_Page_Down },
        { 122, XK_F1 },
        { 123, XK_Left },
        { 124, XK_Right },
        { 125, XK_Down },
        { 126, XK_Up },
    };
    const auto it = symbols.find(keyCode);
    return it == symbols.end() ? NoSymbol : it->second;
}

// The keyboard map of the server as it is now; Xlib's own cache only follows layout
// changes once their notifications have been read.
class KeyboardMap
{
public:
    explicit KeyboardMap(Display *display)
        : m_desc(XkbGetMap(display, XkbAllClientInfoMask, XkbUseCoreKbd))
    {
        XkbStateRec state {};
        if (XkbGetState(display, XkbUseCoreKbd, &state) == Success)
            m_group = state.group;
    }
    ~KeyboardMap()
    {
        if (m_desc)
            XkbFreeKeyboard(m_desc, 0, True);
    }
    KeyboardMap(const KeyboardMap &) = delete;
    KeyboardMap &operator=(const KeyboardMap &) = delete;

    // The key producing the symbol, preferring the current group's unmodified level, as
    // a user looks for a key by what is printed on it; 0 when no key has it.
    KeyCode keycodeFor(KeySym symbol) const
    {
        if (!m_desc || symbol == NoSymbol)
            return 0;
        for (int level = 0; level < XkbMaxShiftLevel; ++level) {
            for (int code = m_desc->min_key_code; code <= m_desc->max_key_code; ++code) {
                if (symbolAt(KeyCode(code), m_group, level) == symbol)
                    return KeyCode(code);
            }
        }
        for (int group = 0; group < XkbNumKbdGroups; ++group) {
            for (int level = 0; level < XkbMaxShiftLevel; ++level) {
                for (int code = m_desc->min_key_code; code <= m_desc->max_key_code; ++code) {
                    if (symbolAt(KeyCode(code), group, level) == symbol)
                        return KeyCode(code);
                }
            }
        }
        return 0;
    }

    // What the key types in the current group with no modifiers.
    KeySym unmodifiedSymbol(KeyCode code) const { return symbolAt(code, m_group, 0); }

private:
    KeySym symbolAt(KeyCode code, int group, int level) const
    {
        if (code < m_desc->min_key_code || code > m_desc->max_key_code)
            return NoSymbol;
        const int groups = XkbKeyNumGroups(m_desc, code);
        if (groups == 0)
            return NoSymbol;
        // A group beyond the key's own is wrapped, as the server does for typing.
        if (group >= groups)
            group %= groups;
        if (level >= XkbKeyGroupWidth(m_desc, code, group))
            return NoSymbol;
        return XkbKeySymEntry(m_desc, code, level, group);
    }

    XkbDescPtr m_desc;
    int m_group = 0;
};

// The modifier bit a key is bound to, or the fallback when the key is bound to none.
unsigned modifierMaskOf(Display *display, KeyCode code, unsigned fallback)
{
    XModifierKeymap *map = XGetModifierMapping(display);
    unsigned mask = 0;
    if (map && code != 0) {
        for (int modifier = 0; modifier < 8 && mask == 0; ++modifier) {
            for (int i = 0; i < map->max_keypermod; ++i) {
                if (map->modifiermap[modifier * map->max_keypermod + i] == code) {
                    mask = 1u << modifier;
                    break;
                }
            }
        }
    }
    if (map)
        XFreeModifiermap(map);
    return mask != 0 ? mask : fallback;
}

class X11HotkeyRegistrar final : public HotkeyRegistrar
{
public:
    explicit X11HotkeyRegistrar(Display *display);
    ~X11HotkeyRegistrar() override;

    std::optional<Handle> registerHotkey(
        const HotkeyCombination &combination, std::uint32_t id) override;
    void unregisterHotkey(Handle handle) override;
    QString keyText(std::uint32_t keyCode) const override;

private:
    // The keys one registration holds on the current keyboard map; keycode 0 when its key
    // is not on the layout.
    struct Keys
    {
        KeyCode keycode = 0;
        unsigned modifiers = 0;
        unsigned numLockMask = 0;

        friend bool operator==(const Keys &, const Keys &) = default;
    };
    struct Grab
    {
        HotkeyCombination combination;
        std::uint32_t id;
        Keys keys;
    };

    Keys resolve(const HotkeyCombination &combination) const;
    bool grab(const Keys &keys);
    void ungrab(const Keys &keys);
    void readEvents();
    void followKeyboardMap();

    Display *m_display;
    QSocketNotifier *m_notifier = nullptr;
    int m_xkbEventBase = -1;
    std::map<Handle, Grab> m_grabs;
    Handle m_nextHandle = 1;
    std::set<KeyCode> m_held;
};

// Num Lock and Caps Lock change the modifier state, so each grab is made once for every
// combination of them.
std::array<unsigned, 4> lockVariants(unsigned numLockMask)
{
    return { 0u, unsigned(LockMask), numLockMask, numLockMask | LockMask };
}

X11HotkeyRegistrar::X11HotkeyRegistrar(Display *display)
    : m_display(display)
{
    // Without this the server reports a held key as release-press pairs, which would look
    // like separate presses.
    Bool supported = False;
    XkbSetDetectableAutoRepeat(m_display, True, &supported);
    // A new layout can move a symbol to another key; the grabs follow it.
    int opcode = 0, errorBase = 0, major = XkbMajorVersion, minor = XkbMinorVersion;
    if (XkbQueryExtension(m_display, &opcode, &m_xkbEventBase, &errorBase, &major, &minor)) {
        const unsigned long events = XkbNewKeyboardNotifyMask | XkbMapNotifyMask;
        XkbSelectEvents(m_display, XkbUseCoreKbd, events, events);
    } else {
        m_xkbEventBase = -1;
    }

    m_notifier = new QSocketNotifier(ConnectionNumber(m_display), QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &X11HotkeyRegistrar::readEvents);
    // Xlib may read events off the socket while waiting for a reply (XSync in a
    // registration); the notifier never sees those, so the queue is drained before the
    // event loop sleeps.
    if (QAbstractEventDispatcher *dispatcher = QAbstractEventDispatcher::instance()) {
        connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, this, [this] {
            if (XEventsQueued(m_display, QueuedAlready) > 0)
                readEvents();
        });
    }
}

X11HotkeyRegistrar::~X11HotkeyRegistrar()
{
    delete m_notifier;
    // Closing the connection releases its grabs.
    XCloseDisplay(m_display);
}

std::optional<HotkeyRegistrar::Handle> X11HotkeyRegistrar::registerHotkey(
    const HotkeyCombination &combination, std::uint32_t id)
{
    const Keys keys = resolve(combination);
    if (keys.keycode == 0) {
        qCWarning(lcHotkey) << "Could not register the hot key: the key" << combination.keyCode
                            << "is not on the current keyboard layout";
        return std::nullopt;
    }
    // The same client grabbing the same keys again would silently succeed; the desktop's
    // rule is that one combination has one registration.
    for (const auto &[handle, held] : m_grabs) {
        if (held.keys.keycode == keys.keycode && held.keys.modifiers == keys.modifiers) {
            qCWarning(lcHotkey) << "Could not register the hot key: it is already registered";
            return std::nullopt;
        }
    }
    if (!grab(keys)) {
        qCWarning(lcHotkey) << "Could not register the hot key: another application holds it";
        return std::nullopt;
    }
    const Handle handle = m_nextHandle++;
    m_grabs.emplace(handle, Grab { combination, id, keys });
    return handle;
}

void X11HotkeyRegistrar::unregisterHotkey(Handle handle)
{
    const auto it = m_grabs.find(handle);
    if (it == m_grabs.end())
        return;
    ungrab(it->second.keys);
    // Its release, if the key is down now, may never reach this connection.
    m_held.erase(it->second.keys.keycode);
    m_grabs.erase(it);
}

X11HotkeyRegistrar::Keys X11HotkeyRegistrar::resolve(const HotkeyCombination &combination) const
{
    // Read fresh rather than from Xlib's cache, which lags behind a layout switch.
    const KeyboardMap map(m_display);
    Keys keys;
    keys.keycode = map.keycodeFor(keysymForKeyCode(combination.keyCode));
    keys.numLockMask = modifierMaskOf(m_display, map.keycodeFor(XK_Num_Lock), Mod2Mask);
    if (combination.modifiers & HotkeyCombination::command)
        keys.modifiers |= modifierMaskOf(m_display, map.keycodeFor(XK_Super_L), Mod4Mask);
    if (combination.modifiers & HotkeyCombination::shift)
        keys.modifiers |= ShiftMask;
    if (combination.modifiers & HotkeyCombination::option)
        keys.modifiers |= modifierMaskOf(m_display, map.keycodeFor(XK_Alt_L), Mod1Mask);
    if (combination.modifiers & HotkeyCombination::control)
        keys.modifiers |= ControlMask;
    return keys;
}

bool X11HotkeyRegistrar::grab(const Keys &keys)
{
    const Window root = DefaultRootWindow(m_display);
    X11ErrorTrap trap(m_display);
    for (unsigned variant : lockVariants(keys.numLockMask)) {
        XGrabKey(m_display, keys.keycode, keys.modifiers | variant, root, False, GrabModeAsync,
            GrabModeAsync);
    }
    // BadAccess: another client holds one of the variants. The variants of a combination
    // are all or nothing.
    if (trap.succeeded())
        return true;
    ungrab(keys);
    return false;
}

void X11HotkeyRegistrar::ungrab(const Keys &keys)
{
    if (keys.keycode == 0)
        return;
    const Window root = DefaultRootWindow(m_display);
    X11ErrorTrap trap(m_display);
    for (unsigned variant : lockVariants(keys.numLockMask))
        XUngrabKey(m_display, keys.keycode, keys.modifiers | variant, root);
    // The trap waits for the server when it goes, so a failed ungrab is never fatal.
}

void X11HotkeyRegistrar::followKeyboardMap()
{
    for (auto &[handle, entry] : m_grabs) {
        const Keys keys = resolve(entry.combination);
        if (keys == entry.keys)
            continue;
        ungrab(entry.keys);
        m_held.erase(entry.keys.keycode);
        entry.keys = keys;
        if (keys.keycode == 0) {
            qCWarning(lcHotkey) << "Could not keep the hot key: the key"
                                << entry.combination.keyCode << "is not on the new keyboard layout";
        } else if (!grab(keys)) {
            qCWarning(lcHotkey) << "Could not keep the hot key on the new keyboard layout: "
                                   "another application holds it";
            entry.keys.keycode = 0;
        }
    }
}

QString X11HotkeyRegistrar::keyText(std::uint32_t keyCode) const
{
    const KeyboardMap map(m_display);
    const KeyCode keycode = map.keycodeFor(keysymForKeyCode(keyCode));
    if (keycode == 0)
        return {};
    std::array<char, 16> utf8 {};
    const int size
        = xkb_keysym_to_utf8(xkb_keysym_t(map.unmodifiedSymbol(keycode)), utf8.data(), utf8.size());
    if (size <= 1)
        return {};
    const QString text = QString::fromUtf8(utf8.data(), size - 1);
    // Tab, Return and Delete "type" control characters, which have no printable name.
    for (QChar c : text) {
        if (c.category() == QChar::Other_Control)
            return {};
    }
    return text;
}

void X11HotkeyRegistrar::readEvents()
{
    bool keyboardMapChanged = false;
    while (XPending(m_display) > 0) {
        XEvent event;
        XNextEvent(m_display, &event);
        if (m_xkbEventBase >= 0 && event.type == m_xkbEventBase) {
            keyboardMapChanged = true;
            continue;
        }
        if (event.type == KeyRelease) {
            m_held.erase(KeyCode(event.xkey.keycode));
            continue;
        }
        if (event.type != KeyPress)
            continue;
        const KeyCode keycode = KeyCode(event.xkey.keycode);
        // A key held down repeats its press; only the first counts.
        if (!m_held.insert(keycode).second)
            continue;
        for (const auto &[handle, entry] : m_grabs) {
            const unsigned modifiers
                = event.xkey.state & 0xff & ~(LockMask | entry.keys.numLockMask);
            if (entry.keys.keycode == keycode && entry.keys.modifiers == modifiers) {
                Q_EMIT pressed(entry.id);
                break;
            }
        }
    }
    // Once per burst: a layout switch sends several notifications.
    if (keyboardMapChanged)
        followKeyboardMap();
}

} // namespace

std::unique_ptr<HotkeyRegistrar> createX11HotkeyRegistrar(const QByteArray &displayName)
{
    Display *display = XOpenDisplay(displayName.isEmpty() ? nullptr : displayName.constData());
    if (!display) {
        qCWarning(lcHotkey) << "Could not open the X display for hot keys: no display"
                            << (displayName.isEmpty() ? qgetenv("DISPLAY") : displayName);
        return nullptr;
    }
    return std::make_unique<X11HotkeyRegistrar>(display);
}

} // namespace corvane
