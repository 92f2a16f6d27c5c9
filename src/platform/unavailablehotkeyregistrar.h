#pragma once

#include "platform/hotkeyregistrar.h"

namespace corvane {

// The hot key service of a session that offers none (no X display): every registration is
// refused, as a combination held by another application would be.
class UnavailableHotkeyRegistrar final : public HotkeyRegistrar
{
public:
    using HotkeyRegistrar::HotkeyRegistrar;

    std::optional<Handle> registerHotkey(const HotkeyCombination &, std::uint32_t) override
    {
        return std::nullopt;
    }
    void unregisterHotkey(Handle) override { }
    QString keyText(std::uint32_t) const override { return {}; }
};

} // namespace corvane
