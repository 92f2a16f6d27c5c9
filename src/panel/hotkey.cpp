#include "hotkey.h"

#include "common/logging.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QSet>

#include <limits>
#include <map>

namespace corvane {

namespace {

// State shared by every Hotkey of the process, as the desktop's hot key service has one
// handler per application.
struct HotkeyTable
{
    std::map<std::uint32_t, std::shared_ptr<Hotkey>> entries;
    std::uint32_t nextId = 1;
    // Set once the last id has been handed out: ids are never reused, so no more
    // registrations can be made in this process.
    bool idsExhausted = false;
    QSet<const HotkeyRegistrar *> handledRegistrars;
};

HotkeyTable &table()
{
    static HotkeyTable instance;
    return instance;
}

} // namespace

Hotkey::Hotkey(std::uint32_t id, HotkeyRegistrar &registrar, Action action)
    : m_id(id)
    , m_action(std::move(action))
    , m_registrar(&registrar)
{ }

Hotkey::~Hotkey()
{
    // The table holds every registered Hotkey alive, so only the registration is left.
    if (m_reference && m_registrar)
        m_registrar->unregisterHotkey(*m_reference);
}

std::shared_ptr<Hotkey> Hotkey::create(
    HotkeyRegistrar &registrar, const Combination &combination, Action action)
{
    HotkeyTable &state = table();
    if (!state.handledRegistrars.contains(&registrar)) {
        state.handledRegistrars.insert(&registrar);
        QObject::connect(&registrar, &HotkeyRegistrar::pressed, &registrar, &Hotkey::dispatch);
        QObject::connect(&registrar, &QObject::destroyed,
            [registrar = &registrar] { table().handledRegistrars.remove(registrar); });
    }

    if (state.idsExhausted) {
        qCWarning(lcHotkey) << "Could not register the hot key: every hot key id of this "
                               "process has been used";
        return nullptr;
    }
    const std::uint32_t id = state.nextId;
    if (id == std::numeric_limits<std::uint32_t>::max())
        state.idsExhausted = true;
    else
        ++state.nextId;

    std::shared_ptr<Hotkey> hotkey(new Hotkey(id, registrar, std::move(action)));
    hotkey->m_reference = registrar.registerHotkey(combination, id);
    if (!hotkey->m_reference)
        return nullptr;
    state.entries.emplace(id, hotkey);
    return hotkey;
}

void Hotkey::unregister()
{
    if (m_reference) {
        if (m_registrar)
            m_registrar->unregisterHotkey(*m_reference);
        m_reference.reset();
    }
    // Taken out of the table before it goes away: the entry may be the last owner of this
    // object, which must outlive this function.
    std::shared_ptr<Hotkey> entry;
    auto &entries = table().entries;
    if (auto it = entries.find(m_id); it != entries.end()) {
        entry = std::move(it->second);
        entries.erase(it);
    }
}

void Hotkey::dispatch(std::uint32_t id)
{
    const auto &entries = table().entries;
    const auto it = entries.find(id);
    if (it == entries.end())
        return;
    // Run later, not inside the press handler; a Hotkey destroyed by then runs nothing.
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [weak = std::weak_ptr<Hotkey>(it->second)] {
            if (const std::shared_ptr<Hotkey> hotkey = weak.lock(); hotkey && hotkey->m_action)
                hotkey->m_action();
        },
        Qt::QueuedConnection);
}

QString Hotkey::displayForm(const Combination &combination, const HotkeyRegistrar &registrar)
{
    QString text;
    if (combination.modifiers & HotkeyCombination::control)
        text += u'⌃';
    if (combination.modifiers & HotkeyCombination::option)
        text += u'⌥';
    if (combination.modifiers & HotkeyCombination::shift)
        text += u'⇧';
    if (combination.modifiers & HotkeyCombination::command)
        text += u'⌘';
    switch (combination.keyCode) {
    case 36:
        return text + u'↩';
    case 49:
        return text + QStringLiteral("Space");
    case 53:
        return text + u'⎋';
    default:
        break;
    }
    const QString name = registrar.keyText(combination.keyCode).left(4).toUpper();
    return text + (name.isEmpty() ? QStringLiteral("?") : name);
}

} // namespace corvane
