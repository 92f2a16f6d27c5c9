#pragma once

#include "preferences/hotkeycombination.h"

#include <QObject>
#include <QString>

#include <cstdint>
#include <optional>

namespace corvane {

// The desktop's service for system-wide shortcuts: claims a combination for this process,
// reports its presses by the id given when it was claimed, and gives it back.
class HotkeyRegistrar : public QObject
{
    Q_OBJECT

public:
    // The desktop's own token for one registration.
    using Handle = std::uint64_t;

    using QObject::QObject;
    ~HotkeyRegistrar() override;

    // Claims the combination under id; nothing when the desktop refuses it (another client
    // holds it, or the key does not exist on the current keyboard layout).
    virtual std::optional<Handle> registerHotkey(
        const HotkeyCombination &combination, std::uint32_t id)
        = 0;
    // Gives a registration back; a handle already given back is ignored.
    virtual void unregisterHotkey(Handle handle) = 0;
    // What the key types on the current keyboard layout with no modifiers held; empty when
    // the key, the layout or the text cannot be found.
    virtual QString keyText(std::uint32_t keyCode) const = 0;

Q_SIGNALS:
    // A registered combination was pressed.
    void pressed(quint32 id);
};

} // namespace corvane
