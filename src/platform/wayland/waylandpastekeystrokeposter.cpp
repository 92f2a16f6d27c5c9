#include "waylandpastekeystrokeposter.h"

#include "common/logging.h"
#include "virtual-keyboard-unstable-v1-client-protocol.h"

#include <QHash>

#include <sys/mman.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <wayland-client.h>
#include <xkbcommon/xkbcommon.h>

namespace corvane {

namespace {

// Linux input event codes of the keys the shortcut is made of (xkb key codes less 8).
constexpr std::uint32_t leftControl = 29;
constexpr std::uint32_t leftShift = 42;
constexpr std::uint32_t letterV = 47;

constexpr std::uint32_t keyReleased = 0;
constexpr std::uint32_t keyPressed = 1;

std::uint32_t now()
{
    return std::uint32_t(std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now().time_since_epoch())
                             .count());
}

struct Globals
{
    std::uint32_t seat = 0;
    std::uint32_t manager = 0;
};

const wl_registry_listener registryListener {
    .global =
        [](void *data, wl_registry *, std::uint32_t name, const char *interface, std::uint32_t) {
            auto *globals = static_cast<Globals *>(data);
            if (std::strcmp(interface, "wl_seat") == 0 && globals->seat == 0)
                globals->seat = name;
            else if (std::strcmp(interface, zwp_virtual_keyboard_manager_v1_interface.name) == 0)
                globals->manager = name;
        },
    .global_remove = [](void *, wl_registry *, std::uint32_t) {},
};

} // namespace

std::unique_ptr<WaylandPasteKeystrokePoster> WaylandPasteKeystrokePoster::create(
    const QByteArray &socketName, QString *reason)
{
    std::unique_ptr<WaylandPasteKeystrokePoster> poster(new WaylandPasteKeystrokePoster);
    poster->m_display = wl_display_connect(socketName.isEmpty() ? nullptr : socketName.constData());
    if (!poster->m_display) {
        if (reason)
            *reason = QStringLiteral("no Wayland compositor answered");
        return nullptr;
    }
    if (!poster->bind(reason))
        return nullptr;
    return poster;
}

WaylandPasteKeystrokePoster::~WaylandPasteKeystrokePoster()
{
    if (!m_display)
        return;
    if (m_keyboard)
        zwp_virtual_keyboard_v1_destroy(reinterpret_cast<zwp_virtual_keyboard_v1 *>(m_keyboard));
    if (m_manager)
        wl_proxy_destroy(m_manager);
    if (m_seat)
        wl_proxy_destroy(m_seat);
    if (m_registry)
        wl_proxy_destroy(m_registry);
    wl_display_flush(m_display);
    wl_display_disconnect(m_display);
}

bool WaylandPasteKeystrokePoster::bind(QString *reason)
{
    Globals globals;
    wl_registry *registry = wl_display_get_registry(m_display);
    m_registry = reinterpret_cast<wl_proxy *>(registry);
    wl_registry_add_listener(registry, &registryListener, &globals);
    if (wl_display_roundtrip(m_display) < 0 || globals.manager == 0 || globals.seat == 0) {
        if (reason)
            *reason = QStringLiteral("the Wayland compositor offers no virtual keyboard");
        return false;
    }
    auto *seat
        = static_cast<wl_seat *>(wl_registry_bind(registry, globals.seat, &wl_seat_interface, 1));
    m_seat = reinterpret_cast<wl_proxy *>(seat);
    auto *manager = static_cast<zwp_virtual_keyboard_manager_v1 *>(
        wl_registry_bind(registry, globals.manager, &zwp_virtual_keyboard_manager_v1_interface, 1));
    m_manager = reinterpret_cast<wl_proxy *>(manager);
    m_keyboard = reinterpret_cast<wl_proxy *>(
        zwp_virtual_keyboard_manager_v1_create_virtual_keyboard(manager, seat));
    if (!uploadKeymap() || wl_display_roundtrip(m_display) < 0) {
        if (reason)
            *reason = QStringLiteral("the Wayland compositor refused a virtual keyboard");
        return false;
    }
    return true;
}

// A virtual keyboard sends nothing before it has a keymap.
bool WaylandPasteKeystrokePoster::uploadKeymap()
{
    xkb_context *context = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
    if (!context)
        return false;
    const xkb_rule_names names {
        .rules = nullptr, .model = nullptr, .layout = "us", .variant = nullptr, .options = nullptr
    };
    xkb_keymap *keymap = xkb_keymap_new_from_names(context, &names, XKB_KEYMAP_COMPILE_NO_FLAGS);
    bool uploaded = false;
    if (keymap) {
        m_controlMask = 1u << xkb_keymap_mod_get_index(keymap, XKB_MOD_NAME_CTRL);
        m_shiftMask = 1u << xkb_keymap_mod_get_index(keymap, XKB_MOD_NAME_SHIFT);
        char *text = xkb_keymap_get_as_string(keymap, XKB_KEYMAP_FORMAT_TEXT_V1);
        const int fd = text ? ::memfd_create("corvane-keymap", MFD_CLOEXEC) : -1;
        const std::size_t size = text ? std::strlen(text) + 1 : 0;
        if (fd >= 0 && ::write(fd, text, size) == ssize_t(size)) {
            zwp_virtual_keyboard_v1_keymap(reinterpret_cast<zwp_virtual_keyboard_v1 *>(m_keyboard),
                WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1, fd, std::uint32_t(size));
            uploaded = true;
        }
        if (fd >= 0)
            ::close(fd);
        std::free(text);
        xkb_keymap_unref(keymap);
    }
    xkb_context_unref(context);
    return uploaded;
}

bool WaylandPasteKeystrokePoster::activate(const RunningApplication &)
{
    return false;
}

void WaylandPasteKeystrokePoster::key(std::uint32_t code, bool pressed)
{
    zwp_virtual_keyboard_v1_key(reinterpret_cast<zwp_virtual_keyboard_v1 *>(m_keyboard), now(),
        code, pressed ? keyPressed : keyReleased);
}

void WaylandPasteKeystrokePoster::modifiers(std::uint32_t depressed)
{
    zwp_virtual_keyboard_v1_modifiers(
        reinterpret_cast<zwp_virtual_keyboard_v1 *>(m_keyboard), depressed, 0, 0, 0);
}

bool WaylandPasteKeystrokePoster::postPasteKeystroke(PasteShortcut shortcut)
{
    const bool withShift = shortcut == PasteShortcut::controlShiftV;
    const std::uint32_t held = m_controlMask | (withShift ? m_shiftMask : 0);
    key(leftControl, true);
    if (withShift)
        key(leftShift, true);
    modifiers(held);
    key(letterV, true);
    key(letterV, false);
    if (withShift)
        key(leftShift, false);
    key(leftControl, false);
    modifiers(0);
    // The requests are few and small: they fit the socket's buffer, so this never waits.
    if (wl_display_flush(m_display) < 0) {
        qCWarning(lcPaste, "Could not post the paste keystroke: the Wayland compositor is gone");
        return false;
    }
    // Nothing is expected back; whatever came (errors, deletions) is taken off the socket.
    wl_display_dispatch_pending(m_display);
    return true;
}

} // namespace corvane
