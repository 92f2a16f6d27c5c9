#pragma once

#include "preferences/hotkeycombination.h"
#include "platform/hotkeyregistrar.h"

#include <QPointer>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

namespace corvane {

// One system-wide shortcut, registered from creation until `unregister` or destruction.
// Its presses run the action later on the main thread, never inside the press handler.
// A process-wide table from id to Hotkey keeps every registered Hotkey alive, so dropping
// one without `unregister` keeps it registered. Main thread only.
class Hotkey
{
public:
    using Combination = HotkeyCombination;
    using Action = std::function<void()>;

    // Registers the combination with the registrar; nothing when the registrar refuses it
    // (another application holds it) or the process has used up its ids. Every attempt
    // takes a new id, so ids are never reused within the process.
    static std::shared_ptr<Hotkey> create(
        HotkeyRegistrar &registrar, const Combination &combination, Action action);

    // The modifier symbols in the order ⌃⌥⇧⌘, then the key's name: "↩", "Space", "⎋", or
    // what the key types on the current layout, upper-cased, "?" when that is unknown.
    static QString displayForm(const Combination &combination, const HotkeyRegistrar &registrar);

    ~Hotkey();
    Hotkey(const Hotkey &) = delete;
    Hotkey &operator=(const Hotkey &) = delete;

    std::uint32_t id() const { return m_id; }
    bool isRegistered() const { return m_reference.has_value(); }

    // Gives the registration back and leaves the dispatch table; safe to call again.
    void unregister();

private:
    Hotkey(std::uint32_t id, HotkeyRegistrar &registrar, Action action);
    static void dispatch(std::uint32_t id);

    std::uint32_t m_id;
    std::optional<HotkeyRegistrar::Handle> m_reference;
    Action m_action;
    QPointer<HotkeyRegistrar> m_registrar;
};

} // namespace corvane
