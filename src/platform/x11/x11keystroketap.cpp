#include "x11keystroketap.h"

#include "common/logging.h"
#include "platform/x11/keytranslator.h"
#include "platform/x11/synthetickeyledger.h"
#include "platform/x11/x11connection.h"

#include <xkbcommon/xkbcommon-x11.h>
#include <xkbcommon/xkbcommon.h>

#include <X11/XKBlib.h>
#include <X11/Xlib-xcb.h>
#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>
#include <X11/extensions/XTest.h>

namespace corvane {

namespace {

// The XInput version whose raw events reach us even while another client grabs the keyboard.
constexpr int wantedXInputMajor = 2;
constexpr int wantedXInputMinor = 2;

bool hasKeyboardAccess(Display *display, int *xinputOpcode)
{
    int opcode = 0;
    int event = 0;
    int error = 0;
    if (!XQueryExtension(display, "XInputExtension", &opcode, &event, &error))
        return false;
    int major = wantedXInputMajor;
    int minor = wantedXInputMinor;
    if (XIQueryVersion(display, &major, &minor) != Success || major < 2)
        return false;
    int xtestMajor = 0;
    int xtestMinor = 0;
    if (!XTestQueryExtension(display, &event, &error, &xtestMajor, &xtestMinor))
        return false;
    if (xinputOpcode)
        *xinputOpcode = opcode;
    return true;
}

class X11KeystrokeTap final : public KeystrokeTap
{
public:
    explicit X11KeystrokeTap(std::shared_ptr<SyntheticKeyLedger> ledger)
        : m_ledger(std::move(ledger))
    { }
    ~X11KeystrokeTap() override { stop(); }

protected:
    bool isTrusted() override { return isX11KeyboardAccessAvailable(); }

    bool open() override
    {
        auto connection = std::make_unique<X11Connection>();
        if (!connection->isOpen()) {
            qCWarning(lcKeystrokes,
                "Could not start the keystroke tap: the X display cannot "
                "be opened");
            return false;
        }
        Display *display = connection->display();
        int xinputOpcode = 0;
        int xkbEventBase = 0;
        int xkbError = 0;
        int xkbMajor = XkbMajorVersion;
        int xkbMinor = XkbMinorVersion;
        if (!hasKeyboardAccess(display, &xinputOpcode)
            || !XkbQueryExtension(
                display, nullptr, &xkbEventBase, &xkbError, &xkbMajor, &xkbMinor)) {
            qCWarning(lcKeystrokes,
                "Could not start the keystroke tap: the X server lacks "
                "XInput 2 or XKB");
            return false;
        }
        xcb_connection_t *xcb = XGetXCBConnection(display);
        if (!xkb_x11_setup_xkb_extension(xcb, XKB_X11_MIN_MAJOR_XKB_VERSION,
                XKB_X11_MIN_MINOR_XKB_VERSION, XKB_X11_SETUP_XKB_EXTENSION_NO_FLAGS, nullptr,
                nullptr, nullptr, nullptr)) {
            qCWarning(lcKeystrokes, "Could not start the keystroke tap: XKB cannot be set up");
            return false;
        }
        m_context = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
        m_connection = std::move(connection);
        m_xinputOpcode = xinputOpcode;
        m_xkbEventBase = xkbEventBase;
        X11ErrorTrap trap(display);
        unsigned char maskBits[XIMaskLen(XI_LASTEVENT)] = {};
        XISetMask(maskBits, XI_RawKeyPress);
        XIEventMask mask { XIAllMasterDevices, int(sizeof maskBits), maskBits };
        XISelectEvents(display, DefaultRootWindow(display), &mask, 1);
        // The server's own keyboard state: modifiers and Caps Lock however they were set, and
        // the layout group even when a panel applet switched it.
        XkbSelectEvents(display, XkbUseCoreKbd,
            XkbStateNotifyMask | XkbMapNotifyMask | XkbNewKeyboardNotifyMask,
            XkbStateNotifyMask | XkbMapNotifyMask | XkbNewKeyboardNotifyMask);
        if (!trap.succeeded()) {
            close();
            qCWarning(
                lcKeystrokes, "Could not start the keystroke tap: X error %d", trap.errorCode());
            return false;
        }
        // Read after the notices are asked for, so that no change falls in between: the
        // notices that follow carry the whole state, each as it was when they were sent.
        if (!m_context || !reloadKeymap()) {
            close();
            qCWarning(lcKeystrokes, "Could not start the keystroke tap: the keymap cannot be read");
            return false;
        }
        m_connection->setEventHandler([this](XEvent &event) { handle(event); });
        return true;
    }

    void close() override
    {
        m_connection.reset();
        m_translator.reset();
        if (m_context)
            xkb_context_unref(m_context);
        m_context = nullptr;
    }

    bool isSecureInputEnabled() override { return false; }

private:
    bool reloadKeymap()
    {
        xcb_connection_t *xcb = XGetXCBConnection(m_connection->display());
        const std::int32_t device = xkb_x11_get_core_keyboard_device_id(xcb);
        if (device < 0)
            return false;
        xkb_keymap *keymap
            = xkb_x11_keymap_new_from_device(m_context, xcb, device, XKB_KEYMAP_COMPILE_NO_FLAGS);
        if (!keymap)
            return false;
        if (m_translator) {
            // The state goes on as the server announced it. Its state now may be ahead of
            // the presses still queued behind this change: Shift already released, say, for
            // a colon that would then be read as a semicolon.
            auto translator = m_translator->withKeymap(keymap);
            if (!translator)
                return false;
            m_translator = std::move(translator);
            return true;
        }
        xkb_state *state = xkb_x11_state_new_from_device(keymap, xcb, device);
        if (!state) {
            xkb_keymap_unref(keymap);
            return false;
        }
        m_translator = std::make_unique<KeyTranslator>(keymap, state);
        return true;
    }

    void handle(XEvent &event)
    {
        if (event.type == GenericEvent && event.xcookie.extension == m_xinputOpcode) {
            Display *display = m_connection->display();
            if (!XGetEventData(display, &event.xcookie))
                return;
            std::optional<KeyTranslator::Report> pressed;
            if (event.xcookie.evtype == XI_RawKeyPress && m_translator) {
                const auto *raw = static_cast<const XIRawEvent *>(event.xcookie.data);
                const auto keycode = std::uint32_t(raw->detail);
                if (!m_ledger || !m_ledger->takeIfPosted(keycode))
                    pressed = m_translator->translate(keycode);
            }
            XFreeEventData(display, &event.xcookie);
            // Reported after the event is released: the handler may stop the tap.
            if (pressed && !pressed->isModifier)
                report(pressed->characters, pressed->keyCode, pressed->flags);
            return;
        }
        if (event.type != m_xkbEventBase)
            return;
        const auto &xkbEvent = reinterpret_cast<const XkbEvent &>(event);
        switch (xkbEvent.any.xkb_type) {
        case XkbStateNotify:
            if (m_translator) {
                const XkbStateNotifyEvent &state = xkbEvent.state;
                m_translator->setState(state.base_mods, state.latched_mods, state.locked_mods,
                    state.base_group, state.latched_group, state.locked_group);
            }
            break;
        case XkbMapNotify:
        case XkbNewKeyboardNotify:
            // A new layout, or keys bound for typing text: read the keymap again.
            if (!reloadKeymap())
                qCWarning(lcKeystrokes, "Could not read the changed keymap; keeping the old one");
            break;
        default:
            break;
        }
    }

    std::shared_ptr<SyntheticKeyLedger> m_ledger;
    std::unique_ptr<X11Connection> m_connection;
    std::unique_ptr<KeyTranslator> m_translator;
    xkb_context *m_context = nullptr;
    int m_xinputOpcode = 0;
    int m_xkbEventBase = 0;
};

} // namespace

std::unique_ptr<KeystrokeTap> createX11KeystrokeTap(std::shared_ptr<SyntheticKeyLedger> ledger)
{
    return std::make_unique<X11KeystrokeTap>(std::move(ledger));
}

bool isX11KeyboardAccessAvailable()
{
    X11Connection connection;
    return connection.isOpen() && hasKeyboardAccess(connection.display(), nullptr);
}

} // namespace corvane
