#pragma once

#include "platform/hotkeyregistrar.h"

#include <QHash>
#include <QSet>

#include <map>

namespace corvane {

// Registrations kept in memory. Combinations marked as held elsewhere are refused, and
// tests press combinations by hand.
class FakeHotkeyRegistrar final : public HotkeyRegistrar
{
public:
    using HotkeyRegistrar::HotkeyRegistrar;

    std::optional<Handle> registerHotkey(
        const HotkeyCombination &combination, std::uint32_t id) override;
    void unregisterHotkey(Handle handle) override;
    QString keyText(std::uint32_t keyCode) const override;

    // Another application holds this combination from now on.
    void holdElsewhere(const HotkeyCombination &combination);
    // What a key types, as the current layout would say.
    void setKeyText(std::uint32_t keyCode, const QString &text);
    // Reports a press of every registration of the combination; false when there is none.
    bool press(const HotkeyCombination &combination);
    // How many registrations are held now.
    int registrationCount() const { return int(m_registrations.size()); }

private:
    struct Registration
    {
        HotkeyCombination combination;
        std::uint32_t id;
    };
    std::map<Handle, Registration> m_registrations;
    QSet<QString> m_heldElsewhere;
    QHash<std::uint32_t, QString> m_keyTexts;
    Handle m_nextHandle = 1;
};

} // namespace corvane
