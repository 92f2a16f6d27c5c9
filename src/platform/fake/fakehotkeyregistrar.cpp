#include "fakehotkeyregistrar.h"

#include <vector>

namespace corvane {

std::optional<HotkeyRegistrar::Handle> FakeHotkeyRegistrar::registerHotkey(
    const HotkeyCombination &combination, std::uint32_t id)
{
    if (m_heldElsewhere.contains(combination.rawValue()))
        return std::nullopt;
    const Handle handle = m_nextHandle++;
    m_registrations.emplace(handle, Registration { combination, id });
    return handle;
}

void FakeHotkeyRegistrar::unregisterHotkey(Handle handle)
{
    m_registrations.erase(handle);
}

QString FakeHotkeyRegistrar::keyText(std::uint32_t keyCode) const
{
    return m_keyTexts.value(keyCode);
}

void FakeHotkeyRegistrar::holdElsewhere(const HotkeyCombination &combination)
{
    m_heldElsewhere.insert(combination.rawValue());
}

void FakeHotkeyRegistrar::setKeyText(std::uint32_t keyCode, const QString &text)
{
    m_keyTexts.insert(keyCode, text);
}

bool FakeHotkeyRegistrar::press(const HotkeyCombination &combination)
{
    // Collected first: a press handler may register or unregister.
    std::vector<std::uint32_t> ids;
    for (const auto &[handle, registration] : m_registrations) {
        if (registration.combination == combination)
            ids.push_back(registration.id);
    }
    for (std::uint32_t id : ids)
        Q_EMIT pressed(id);
    return !ids.empty();
}

} // namespace corvane
