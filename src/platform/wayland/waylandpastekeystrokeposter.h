#pragma once

#include "platform/pastekeystrokeposter.h"

#include <QByteArray>
#include <QString>

#include <memory>

struct wl_display;
struct wl_proxy;

namespace corvane {

// The paste keystroke in a Wayland session, through the virtual-keyboard protocol that
// wlroots compositors offer: a keyboard of its own, with a US layout so that the key codes
// below mean Ctrl, Shift and V whatever the user's layout, on a connection of its own.
class WaylandPasteKeystrokePoster : public PasteKeystrokePoster
{
public:
    // The poster on the compositor at socketName (empty: the session's WAYLAND_DISPLAY).
    // Nothing when no compositor answers or it offers no virtual keyboard; `reason` then
    // says which.
    static std::unique_ptr<WaylandPasteKeystrokePoster> create(
        const QByteArray &socketName = {}, QString *reason = nullptr);
    ~WaylandPasteKeystrokePoster() override;

    // Wayland lets no client bring another's window forward; the compositor gives the focus
    // back to the window that had it when the panel goes.
    bool activate(const RunningApplication &application) override;
    bool postPasteKeystroke(PasteShortcut shortcut) override;

private:
    WaylandPasteKeystrokePoster() = default;
    bool bind(QString *reason);
    bool uploadKeymap();
    void key(std::uint32_t code, bool pressed);
    void modifiers(std::uint32_t depressed);

    wl_display *m_display = nullptr;
    wl_proxy *m_registry = nullptr;
    wl_proxy *m_seat = nullptr;
    wl_proxy *m_manager = nullptr;
    wl_proxy *m_keyboard = nullptr;
    std::uint32_t m_controlMask = 0;
    std::uint32_t m_shiftMask = 0;
};

} // namespace corvane
