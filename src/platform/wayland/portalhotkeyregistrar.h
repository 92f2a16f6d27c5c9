#pragma once

#include "platform/hotkeyregistrar.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QList>
#include <QString>
#include <QVariantMap>

#include <functional>
#include <map>
#include <memory>

namespace corvane {

// One shortcut as the desktop portal lists it: an id and its properties.
struct PortalShortcut
{
    QString id;
    QVariantMap properties;
};

// Its D-Bus form, the structure (sa{sv}).
QDBusArgument &operator<<(QDBusArgument &argument, const PortalShortcut &shortcut);
const QDBusArgument &operator>>(const QDBusArgument &argument, PortalShortcut &shortcut);

// The hot key through the desktop portal's GlobalShortcuts interface (KDE Plasma, GNOME 48
// and later), which works whichever window has the focus, Wayland or X11. The combination is
// offered as the preferred trigger; the desktop may ask the user to confirm or choose
// another, so a registration is accepted at once and its presses arrive once the desktop has
// bound it.
class PortalHotkeyRegistrar : public HotkeyRegistrar
{
    Q_OBJECT

public:
    // What a key types on the current layout, for the trigger and keyText.
    using KeyText = std::function<QString(std::uint32_t keyCode)>;

    // The registrar on the bus's portal; nothing when the portal offers no GlobalShortcuts.
    static std::unique_ptr<PortalHotkeyRegistrar> create(
        const QDBusConnection &bus, KeyText keyText);
    ~PortalHotkeyRegistrar() override;

    std::optional<Handle> registerHotkey(
        const HotkeyCombination &combination, std::uint32_t id) override;
    void unregisterHotkey(Handle handle) override;
    QString keyText(std::uint32_t keyCode) const override;

    // The trigger text the portal's shortcuts take ("SHIFT+LOGO+v"); empty when the key
    // types nothing nameable.
    QString triggerText(const HotkeyCombination &combination) const;

private Q_SLOTS:
    void onSessionCreated(uint response, const QVariantMap &results);
    void onActivated(const QDBusMessage &message);

private:
    PortalHotkeyRegistrar(const QDBusConnection &bus, KeyText keyText);
    void createSession();
    void bindShortcuts();
    QString requestPath(const QString &token) const;

    QDBusConnection m_bus;
    KeyText m_keyText;
    QString m_session;
    bool m_creatingSession = false;
    // The registrations by id, with the trigger each asks for.
    std::map<std::uint32_t, QString> m_registered;
    int m_nextToken = 0;
};

} // namespace corvane

Q_DECLARE_METATYPE(corvane::PortalShortcut)
